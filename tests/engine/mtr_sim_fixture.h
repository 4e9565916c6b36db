// A running engine against one or more phone simulators, with a document
// and a melody screen that record what the engine hands them.
#pragma once

#if __has_include("phonesim_client.h")
#define ZORQ_HAVE_PHONESIM 1
#include <fstream>
#include <memory>
#include <vector>

#include "phonesim_client.h"

#include "link_fixture.h"
#include "mmi_doc_setup.h"
#include "mmi_melody.h"
#include "mtr_poll.h"
#include "mtr_setup.h"

namespace sim_test {

struct RecordingDoc : MmiDocSetup {
    void mmi_CLK_read_date_time_cnf(const MtrDateTime& when) override { clock_reports.push_back(when); }
    void mmi_GEN_void_cnf(int index) override { diary_alarms.push_back(index); }
    void mmi_ORG_read_diary_cnf(uint8_t index, const MtrDateTime& when, const char* text, uint8_t a, uint8_t b,
                                uint8_t c) override
    {
        cards.push_back({index, when, text, a, b, c});
    }
    void mmi_ALA_get_alarm_cnf(uint8_t kind, uint8_t state, const MtrDateTime& time) override
    {
        alarms.push_back({kind, state, time});
    }
    std::string GetVxdFileName() override { return vxd; }
    void CheckMobileVersion() override
    {
        ++version_checks;
        if (on_version)
            on_version();
    }
    struct card {
        uint8_t index;
        MtrDateTime when;
        std::string text;
        uint8_t a, b, c;
    };
    struct alarm {
        uint8_t kind, state;
        MtrDateTime time;
    };
    std::vector<MtrDateTime> clock_reports;
    std::vector<int> diary_alarms;
    std::vector<card> cards;
    std::vector<alarm> alarms;
    std::string vxd;
    int version_checks = 0;
    std::function<void()> on_version;
};

struct RecordingMelodyView : MmiMelodyView {
    void mmi_MELODY_add_melody(const std::string& header, const std::string& notes) override
    {
        melodies.emplace_back(header, notes);
    }
    void mmi_MELODY_stop_ind() override { ++stops; }
    std::vector<std::pair<std::string, std::string>> melodies;
    int stops = 0;
};

class EngineSimTest : public link_test::LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        gv_pDocSetup = &doc;
        gv_pMelodyView = nullptr;
        // Polling as the engine runs it, with the relays mtr_init installs.
        mtr_set_poll_handler(nullptr);
        mtr_poll_reset();
        for (uint8_t cnf : {AT_CNF_MALI, AT_CNF_MCLK, AT_CNF_MDRI, AT_CNF_MMPI})
            mtr_set_indication_handler(cnf, mtr_setup_indication);
    }
    void TearDown() override
    {
        gv_pDocSetup = nullptr;
        gv_pMelodyView = nullptr;
        LinkTest::TearDown();
        sims.clear();
    }
    // Starts a simulator and points COM<port> at it.
    phonesim::Process& Sim(int port, const std::string& scenario = "")
    {
        sims.push_back(std::make_unique<phonesim::Process>(scenario));
        WriteIniProfileString("Ports", "COM" + std::to_string(port), sims.back()->device());
        return *sims.back();
    }
    // Points every port of 1..6 not yet mapped at a device that does not exist.
    void NoOtherPorts()
    {
        for (int p = 1; p <= 6; ++p)
            if (GetIniProfileString("Ports", "COM" + std::to_string(p), "").empty())
                WriteIniProfileString("Ports", "COM" + std::to_string(p), "/dev/zorq-absent-" + std::to_string(p));
    }
    // Opens the phone of COM1 with the link up.
    phonesim::Process& Phone(const std::string& scenario = "")
    {
        phonesim::Process& s = Sim(1, scenario);
        EXPECT_EQ(Init_Serial(1), 1);
        gv_SPIO_com_status = SPIO_com_available;
        return s;
    }
    // Conversion tables in the Files folder (identity for ASCII), as the
    // program folder holds them.
    void WriteTables(size_t gsm_size = 128, size_t win_size = 256)
    {
        std::string g, w;
        for (size_t i = 0; i < gsm_size; ++i)
            g += static_cast<char>(i);
        for (size_t i = 0; i < win_size; ++i)
            w += static_cast<char>(i < 128 ? i : '?');
        std::ofstream(host.folder + "GSMToWin.cvt", std::ios::binary) << g;
        std::ofstream(host.folder + "WinToGSM.cvt", std::ios::binary) << w;
    }
    RecordingDoc doc;
    RecordingMelodyView view;
    std::vector<std::unique_ptr<phonesim::Process>> sims;
};

// What the simulator's state dump says about a key (the lines starting with it).
inline std::string dump_lines(phonesim::Process& sim, const std::string& prefix)
{
    std::string all = sim.dump(), out;
    size_t at = 0;
    while (at < all.size()) {
        size_t e = all.find('\n', at);
        std::string line = all.substr(at, e - at);
        if (line.rfind(prefix, 0) == 0)
            out += line + "\n";
        if (e == std::string::npos)
            break;
        at = e + 1;
    }
    return out;
}

}  // namespace sim_test
#endif
