// The engine host and document every benchmark of the engine needs: no
// windows, no questions, entries counted.
#pragma once

#include <time.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ati.h"
#include "engine_host.h"
#include "krn.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "profile.h"
#include "serial.h"

namespace bench {

class Host : public EngineHost {
public:
    bool DispatchOneMessage() override { return false; }
    int MessageBox(const std::string&, int) override { return 1; }
    int MessageBoxById(int, int) override { return 1; }
    int AskSecurityCode(int) override { return 2; }
    void Trace(const std::string&) override {}
    std::string ProgramFolder() override { return folder; }
    std::string FilesFolder() override { return folder; }
    std::string folder;
};

class Doc : public MmiDoc {
public:
    void UpdateStatusDlg(int) override {}
    void mmi_MNGT_registration_ind(int) override {}
    void mmi_MNGT_operator_name_ind(const std::string&) override {}
    void mmi_MNGT_battery_charge_ind(int) override {}
    void mmi_MNGT_signal_quality_ind(int) override {}
    void mmi_MNGT_message_icon_ind(int) override {}
    void mmi_MNGT_edit_mode_ind(int) override {}
    void mmi_MNGT_me_storage_ind(int) override {}
    void mmi_MNGT_unread_msg_ind(int) override {}
    void mmi_MNGT_call_icon_ind(int) override {}
    void mmi_MNGT_roaming_ind(int) override {}
    void mmi_MNGT_sim_storage_ind(int) override {}
    void mmi_MNGT_sms_full_ind(int) override {}
    void mmi_MNGT_voice_mail_icon_ind(int) override {}
    void mmi_MNGT_sms_received(int, int) override {}
    void mmi_MNGT_report_received(int, const std::string&, const MTR_DATETIME&, const MTR_DATETIME&, int) override {}
    void mmi_TestComWithMobile() override {}
    void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name, uint8_t) override
    {
        ++entries;
        if (onEntry)
            onEntry(place, number, name);
    }
    void mmi_PB_read_range_end_cnf() override {}
    void mmi_CLK_read_date_time_cnf(const MTR_DATETIME&) override {}
    void mmi_GEN_void_cnf(int) override {}
    void mmi_ORG_read_diary_cnf(uint8_t, const MTR_DATETIME&, const char*, uint8_t, uint8_t, uint8_t) override {}
    void mmi_ALA_get_alarm_cnf(uint8_t, uint16_t, const MTR_DATETIME&) override {}
    void CheckMobileVersion() override {}
    int entries = 0;
    std::function<void(uint8_t, const std::string&, const std::string&)> onEntry;
};

inline double seconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Starts the engine's kernel with the host's folder as the profile folder
// and the document registered.
// The simulator scenario of a full 250-entry SIM phonebook the reading
// benches share.
inline std::string simPhonebook250()
{
    std::string s;
    for (int i = 1; i <= 250; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "entry SM %d +336%08d 145 \"Contact %03d\"\n", i, 10000000 + i * 137, i);
        s += line;
    }
    return s;
}

inline void startEngine(Host& host, Doc& doc, const std::string& folder)
{
    host.folder = folder;
    SetIniProfileFile(host.folder);
    engine_set_host(&host);
    ati_use_kernel();
    krn_start();
    krn_start_timer();
    krn_queue_init(&gv_poll_queue);
    gv_SPIO_com_status = SPIO_com_available;
    gv_pDoc = &doc;
}

inline void stopEngine()
{
    gv_pDoc = nullptr;
    krn_stop_timer();
}

}  // namespace bench
