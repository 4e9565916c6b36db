// The document's side that the engine's start, port discovery, clock, diary
// and alarm requests call: the document of the application implements it,
// headless tests implement it to record what arrives. While gv_pDocSetup is
// null the engine skips every callback (and discovery reports no document).
#pragma once

#include <cstdint>
#include <string>

#include "mtr_clock.h"

class MmiDocSetup {
public:
    virtual ~MmiDocSetup() = default;

    // ---- Clock, diary and alarms ----
    // The phone reported its date and time (~MCLK).
    virtual void mmi_CLK_read_date_time_cnf(const MtrDateTime& when) = 0;
    // A diary card's alarm went off (~MDRI), with the card's index.
    virtual void mmi_GEN_void_cnf(int index) = 0;
    // One diary card read from the phone.
    virtual void mmi_ORG_read_diary_cnf(uint8_t index, const MtrDateTime& when, const char* text, uint8_t a,
                                        uint8_t b, uint8_t c) = 0;
    // An alarm setting read from the phone (its time on today's date).
    virtual void mmi_ALA_get_alarm_cnf(uint8_t kind, uint8_t state, const MtrDateTime& time) = 0;

    // ---- Phone detection and set-up ----
    // The file name of a virtual-port driver (".VXD") in the program folder,
    // or "" when there is none.
    virtual std::string GetVxdFileName() { return {}; }
    // Reads the phone's feature versions (~MVER) and sets the feature flags,
    // with the availability fields of the capability record being set up.
    virtual void CheckMobileVersion() = 0;
};

extern MmiDocSetup* gv_pDocSetup;
