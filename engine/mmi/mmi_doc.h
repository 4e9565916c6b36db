// What the engine calls in the document: status icons, call status, link
// changes, phonebook entries, received-message notices, clock, diary and
// alarm answers, and the phone detection's questions. The document
// (CZorqMMIDoc) implements it; headless tests implement it to record what
// arrives. While gv_pDoc is null the engine skips every callback (and the
// requests that need a document fail).
#pragma once

#include <cstdint>
#include <string>

#include "mtr_datetime.h"

class MmiDoc {
public:
    virtual ~MmiDoc() = default;

    // ---- Switches the engine reads ---------------------------------------------
    // Icon updates of the status display are on (else indicator events are dropped).
    virtual bool IconUpdatesOn() { return true; }
    // A screen switch is in progress: battery and message-icon steps are skipped.
    virtual bool ScreenSwitching() { return false; }
    // The phone's version answer gave it a phonebook (else no +CPBS=? is sent).
    virtual bool PhonebookFeature() { return true; }
    // Feature flags of the phone's version answer: short messages, the
    // extended new-message indication, ST1 (parameter profiles).
    virtual bool IsSMSAvailable() const { return true; }
    virtual bool IsSMSExtendedAvailable() const { return false; }
    virtual bool IsST1Available() const { return true; }

    // ---- Call status -----------------------------------------------------------------
    // 0 OK, 1 BUSY, 2 NO CARRIER, 3 NO ANSWER.
    virtual void UpdateStatusDlg(int step) = 0;

    // ---- Indicators ------------------------------------------------------------------
    virtual void mmi_MNGT_registration_ind(int value) = 0;
    virtual void mmi_MNGT_operator_name_ind(const std::string& name) = 0;
    virtual void mmi_MNGT_battery_charge_ind(int icon) = 0;     // 0-3
    virtual void mmi_MNGT_signal_quality_ind(int level) = 0;    // 0-4
    virtual void mmi_MNGT_message_icon_ind(int state) = 0;      // 1 shown, -1 hidden, 0 off
    virtual void mmi_MNGT_edit_mode_ind(int value) = 0;
    virtual void mmi_MNGT_me_storage_ind(int value) = 0;
    virtual void mmi_MNGT_unread_msg_ind(int value) = 0;
    virtual void mmi_MNGT_call_icon_ind(int value) = 0;
    virtual void mmi_MNGT_roaming_ind(int value) = 0;
    virtual void mmi_MNGT_sim_storage_ind(int value) = 0;
    virtual void mmi_MNGT_sms_full_ind(int value) = 0;
    virtual void mmi_MNGT_voice_mail_icon_ind(int value) = 0;

    // ---- Short-message notices -------------------------------------------------------
    // A new message was stored at `index` of `storage` (SMS_SRC_SIM or
    // SMS_SRC_EEPROM).
    virtual void mmi_MNGT_sms_received(int storage, int index) = 0;
    // A status report for the message sent with `reference`. `number` is the
    // recipient; a time not given is the zero date.
    virtual void mmi_MNGT_report_received(int reference, const std::string& number, const MTR_DATETIME& stamp,
                                          const MTR_DATETIME& discharge, int status) = 0;

    // ---- Link -----------------------------------------------------------------------------
    // The link state changed (gv_SPIO_com_status holds the new state). Only
    // records the change and posts a window message: phone detection runs
    // later from the message loop, never inside a request's wait.
    virtual void mmi_TestComWithMobile() = 0;

    // ---- Phonebook ----------------------------------------------------------------------
    // `type` is the type of number the phone gave (129, 145, a national 161...).
    virtual void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name,
                                       uint8_t type) = 0;
    virtual void mmi_PB_read_range_end_cnf() = 0;

    // ---- Clock, diary and alarms -------------------------------------------------------
    // The phone reported its date and time (~MCLK).
    virtual void mmi_CLK_read_date_time_cnf(const MTR_DATETIME& when) = 0;
    // A diary card's alarm went off (~MDRI), with the card's index.
    virtual void mmi_GEN_void_cnf(int index) = 0;
    // One diary card read from the phone.
    virtual void mmi_ORG_read_diary_cnf(uint8_t index, const MTR_DATETIME& when, const char* text, uint8_t a,
                                        uint8_t b, uint8_t c) = 0;
    // An alarm setting read from the phone (its time on today's date).
    virtual void mmi_ALA_get_alarm_cnf(uint8_t kind, uint16_t state, const MTR_DATETIME& time) = 0;

    // ---- Phone detection and set-up ------------------------------------------------------
    // The file name of a virtual-port driver (".VXD") in the program folder,
    // or "" when there is none.
    virtual std::string GetVxdFileName() { return {}; }
    // Reads the phone's feature versions (~MVER) and sets the feature flags,
    // with the availability fields of the capability record being set up.
    virtual void CheckMobileVersion() = 0;
};

// The document, or nullptr before it exists and after it is gone.
extern MmiDoc* gv_pDoc;

// A window that receives posted list messages (the facility lists).
class MmiWindow {
public:
    virtual ~MmiWindow() = default;
    virtual void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};
