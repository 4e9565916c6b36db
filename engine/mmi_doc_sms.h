// The document's short-message side as the engine sees it: the two
// indications (new message, status report) and the feature flags the message
// set-up reads.
#pragma once

#include <cstdint>

#include "sms_types.h"

class MmiDocSms {
public:
    virtual ~MmiDocSms() = default;
    // A new message was stored at `index` of `storage` (SMS_SRC_SIM or
    // SMS_SRC_EEPROM).
    virtual void mmi_MNGT_sms_received(int storage, int index) = 0;
    // A status report for the message sent with `reference`. `number` is the
    // recipient; a time not given is the zero date.
    virtual void mmi_MNGT_report_received(int reference, int unused, const char* number, const SMS_DATETIME& stamp,
                                          const SMS_DATETIME& discharge, int status) = 0;

    // Feature flags of the phone.
    virtual bool IsSMSAvailable() const { return true; }
    virtual bool IsSMSExtendedAvailable() const { return false; }
    virtual bool IsST1Available() const { return true; }
};

// The document (null until it exists).
extern MmiDocSms* gv_pDocSms;
