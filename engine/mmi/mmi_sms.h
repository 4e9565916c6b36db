// The message screen's side of the engine: the callbacks through which the
// messages read or listed from the phone reach it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sms_types.h"

class MmiShortMsg {
public:
    virtual ~MmiShortMsg() = default;
    // One message read (mtr_SMS_read) or listed (mtr_SMS_list_all). Every
    // argument is valid only during the call: the screen copies what it
    // keeps. `text` holds `text_len` bytes (8-bit and UCS2 data may contain
    // zero bytes) and is terminated after them; `number` and `sca` are
    // terminated texts.
    virtual void mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                                 const char* number, const MTR_DATETIME& stamp, const char* sca) = 0;
    virtual void mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                                 const char* number, const MTR_DATETIME& stamp, const char* sca) = 0;
};

// The registered message screen (null when none is shown).
extern MmiShortMsg* gv_pShortMsg;
