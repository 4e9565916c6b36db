// What the engine calls in the document: status icons, call status, link
// changes, phonebook entries and received-message notices. The document
// (CZorqMMIDoc) implements it; headless tests implement it to record what
// arrives. While gv_pDoc is null the engine skips every callback.
#pragma once

#include <cstdint>
#include <string>

// A date-time as the engine hands it over: full year, month, day, hour,
// minute, second (all 0 when the phone sent none).
struct MMI_DATETIME {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

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
    // storage: 1 SIM, 2 phone memory.
    virtual void mmi_MNGT_sms_received(int storage, int index) = 0;
    virtual void mmi_MNGT_report_received(int reference, int flags, const std::string& number,
                                          const MMI_DATETIME& stamp, const MMI_DATETIME& discharge,
                                          int status) = 0;

    // ---- Link -----------------------------------------------------------------------------
    // The link state changed (gv_SPIO_com_status holds the new state). Only
    // records the change and posts a window message: phone detection runs
    // later from the message loop, never inside a request's wait.
    virtual void mmi_TestComWithMobile() = 0;

    // ---- Phonebook ----------------------------------------------------------------------
    virtual void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name) = 0;
    virtual void mmi_PB_read_range_end_cnf() = 0;
};

// The document, or nullptr before it exists and after it is gone.
extern MmiDoc* gv_pDoc;

// A window that receives posted list messages (the facility lists).
class MmiWindow {
public:
    virtual ~MmiWindow() = default;
    virtual void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};
