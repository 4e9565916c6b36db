// What one compose or open sequence decides in its send dialog and hands to
// the treatment: send, store or both, and where a stored message goes.
#pragma once

#include "sms_types.h"

#include <string>

struct SMS_SEND_OPTIONS {
    // The message can only be stored: it has no recipient, or the phone
    // link is not there.
    int storeOnly = 0;
    // Store only because the phone link was not there while the message
    // had recipients to send to: the user asked to send it, and is told
    // when it is stored instead.
    int noPhone = 0;
    // 0 send, 1 store, 2 send and store.
    int mode = 0;
    // Where a stored message goes: SMS_DST_PC or SMS_DST_SIM.
    int destination = SMS_DST_PC;
    // The PC message database a stored message goes to.
    std::string databaseFile;
    // The send dialog offers the message's own service centre as a profile.
    int offerOwnCentre = 1;
};

enum : int {
    SEND_MODE_SEND = 0,
    SEND_MODE_STORE = 1,
    SEND_MODE_SEND_AND_STORE = 2,
};

// Results of the treatment after the send dialog.
enum : int {
    TREATMENT_PREVIOUS = 3,   // back to the dialog before the send dialog
    TREATMENT_SEND_AGAIN = 4, // back to the send dialog
    TREATMENT_DONE = 9,
};
