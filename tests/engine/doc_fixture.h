// The engine against the phone simulator with a document that records every
// callback it gets.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link_fixture.h"
#include "mmi_doc.h"
#include "mtr_pb.h"
#include "mtr_poll.h"
#include "phonesim_client.h"

namespace doc_test {

class RecordingDoc : public MmiDoc {
public:
    bool PhonebookFeature() override { return phonebook; }
    void UpdateStatusDlg(int step) override { add("status " + std::to_string(step)); }
    void mmi_MNGT_registration_ind(int v) override { add("registration " + std::to_string(v)); }
    void mmi_MNGT_operator_name_ind(const std::string& n) override { add("operator " + n); }
    void mmi_MNGT_battery_charge_ind(int v) override { add("battery " + std::to_string(v)); }
    void mmi_MNGT_signal_quality_ind(int v) override { add("signal " + std::to_string(v)); }
    void mmi_MNGT_message_icon_ind(int v) override { add("msgicon " + std::to_string(v)); }
    void mmi_MNGT_edit_mode_ind(int v) override { add("alpha " + std::to_string(v)); }
    void mmi_MNGT_me_storage_ind(int v) override { add("me " + std::to_string(v)); }
    void mmi_MNGT_unread_msg_ind(int v) override { add("unread " + std::to_string(v)); }
    void mmi_MNGT_call_icon_ind(int v) override { add("call " + std::to_string(v)); }
    void mmi_MNGT_roaming_ind(int v) override { add("roam " + std::to_string(v)); }
    void mmi_MNGT_sim_storage_ind(int v) override { add("sim " + std::to_string(v)); }
    void mmi_MNGT_sms_full_ind(int v) override { add("smsfull " + std::to_string(v)); }
    void mmi_MNGT_voice_mail_icon_ind(int v) override { add("voicemail " + std::to_string(v)); }
    void mmi_MNGT_sms_received(int s, int i) override { add("sms " + std::to_string(s) + " " + std::to_string(i)); }
    void mmi_MNGT_report_received(int ref, int, const std::string& number, const MMI_DATETIME&,
                                  const MMI_DATETIME&, int status) override
    {
        add("report " + std::to_string(ref) + " " + number + " " + std::to_string(status));
    }
    void mmi_TestComWithMobile() override { add("link " + std::to_string(gv_SPIO_com_status)); }
    void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name) override
    {
        add("entry " + std::to_string(place) + " " + number + " " + name);
    }
    void mmi_PB_read_range_end_cnf() override { add("end"); }

    void add(const std::string& s) { events.push_back(s); }
    bool has(const std::string& s) const
    {
        for (const auto& e : events)
            if (e == s)
                return true;
        return false;
    }
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0)
                ++n;
        return n;
    }
    std::string all() const
    {
        std::string s;
        for (const auto& e : events)
            s += e + "; ";
        return s;
    }
    std::vector<std::string> events;
    bool phonebook = true;
};

class DocTest : public link_test::LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        mtr_set_poll_handler(nullptr);  // the engine's own polling
        mtr_poll_reset();
        mtr_PB_reset();
        mtr_set_link_test(nullptr);
        gv_pDoc = &doc;
    }
    void TearDown() override
    {
        gv_pDoc = nullptr;
        mtr_poll_stop();
        mtr_poll_reset();
        LinkTest::TearDown();
        sim.reset();
    }
    void Start(const std::string& scenario = "", int baud = 0)
    {
        sim = std::make_unique<phonesim::Process>(scenario, baud);
        ASSERT_EQ(Open(sim->device()), 1);
    }
    // Lets the engine run idle (ticks, port, polling) until `done` or `ms`.
    template <typename F>
    bool IdleUntil(F done, int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            if (krn_mbx_empty(KRN_TASK_MAIN)) {
                mtr_pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            mtr_idle();
        }
        return true;
    }
    RecordingDoc doc;
    std::unique_ptr<phonesim::Process> sim;
};

}  // namespace doc_test
