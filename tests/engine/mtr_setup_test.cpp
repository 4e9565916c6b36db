// The engine's start, the detection and set-up of a phone, and the stop,
// against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include <chrono>
#include <fstream>
#include <sstream>

#include "mtr_discovery.h"
#include "mtr_gen.h"

using namespace engine_test;

namespace {

// The application's document as the engine sees it: indicator and link
// callbacks, the short-message side, and the set-up side. Its version check
// reads ~MVER and sets the feature flags against the program's own
// AT-protocol versions, as the application does.
struct AppDoc : RecordingDoc {
    void CheckMobileVersion() override
    {
        std::string text;
        mtr_GEN_req_version(text);
        RecordingDoc::CheckMobileVersion();
        if (text.empty())
            text = "PB=1.0,SMS=1.0,ST1=1.0";
        auto version = [&](const std::string& t, const std::string& key) {
            size_t at = t.find(key);
            return at == std::string::npos ? -1.0 : std::atof(t.c_str() + at + key.size());
        };
        const std::string program = "PB=1.0,SMS=2.0,CB=1.0,ST1=1.0,ORG=1.0,CLK=1.0,ALA=1.0,MDY=1.0";
        auto has = [&](const char* key) { return version(program, key) >= 0 && version(text, key) >= 0; };
        phonebook = has("PB=");
        sms = has("SMS=");
        extended = sms && version(text, "SMS=") >= 2.0 && version(text, "SMS=") >= version(program, "SMS=");
        st1 = has("ST1=");
        if (param) {
            for (MTR_PB_STORAGE& pb : param->pb)
                pb.available = phonebook;
            param->st1_available = st1;
            param->melody_available = has("MDY=");
        }
    }
    MS_PARAM* param = nullptr;
};

// The commands the phone received, in order, from the AT trace.
std::vector<std::string> commands_in_trace(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string t = ss.str();
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = t.find("\n-> ", at)) != std::string::npos) {
        size_t start = t.find('\n', at + 1);
        if (start == std::string::npos)
            break;
        ++start;
        size_t end = t.find('\r', start);
        out.push_back(t.substr(start, end - start));
        at = start;
    }
    return out;
}

class SetupTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        WriteTables();
        WriteIniProfileInt("Pellard", "Debug", 1);
        gv_pDoc = &app;
        app.param = &param;
        mtr_init("Quenvale");
        gv_SPIO_com_status = SPIO_no_com_available;
    }
    // Detection as the document runs it: the link test, then the set-up.
    int Detect()
    {
        if (mtr_GEN_test_communication() != MTR_DONE)
            return -1;
        gv_SPIO_com_status = SPIO_com_available;
        return mtr_setup(&param);
    }
    std::vector<std::string> Commands() { return commands_in_trace(host.folder + "debugAT.txt"); }
    AppDoc app;
    MS_PARAM param;
};

std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& c : v)
        s += c + "\n";
    return s;
}

}  // namespace

// The set-up sequence of a phone with every feature, after the link test
// found it on the first port scanned.
const char* const FULL_SEQUENCE_HEAD =
    "AT+CGMI\n"
    "AT~MVER\n"
    "AT+CPIN?\n"
    "AT+CSCS=\"GSM\"\n"
    "AT+CIND=?\n"
    "AT+CIND?\n"
    "AT+CMER=1,0,0,1\n"
    "AT+CPBS=?\n"
    "AT+CPBS=\"SM\"\nAT+CPBW=?\n"
    "AT+CPBS=\"ME\"\nAT+CPBW=?\n"
    "AT+CPBS=\"FD\"\nAT+CPBW=?\n"
    "AT+CMGF=?\n";
// The message storages: phone memory to read and write, new messages kept
// on the SIM (the receive memory is set, so that they reach the program).
const char* const FULL_SEQUENCE_TAIL =
    "AT+CPMS=?\n"
    "AT+CPMS=\"ME\",\"ME\",\"SM\"\n"
    "AT+CPMS=\"SM\",\"SM\"\n"
    "AT+CNMI=1,1,0,1\n"
    "AT+CRES=?\n"
    "AT~MMYW=?\n";

TEST_F(SetupTest, DetectionAndSetUpOfAPduPhoneInOrder)
{
    Sim(1);
    NoOtherPorts();
    EXPECT_EQ(Detect(), MTR_SETUP_WENT_ON | MTR_SETUP_PB_OK | MTR_SETUP_SMS_OK);
    EXPECT_EQ(joined(Commands()), std::string(FULL_SEQUENCE_HEAD) + "AT+CMGF=0\n" + FULL_SEQUENCE_TAIL);
    EXPECT_EQ(app.version_checks, 1);
    // The capabilities the set-up learnt.
    EXPECT_EQ(param.pb[MTR_PB_REC_SIM_ADN].capacity, 250);
    EXPECT_EQ(param.pb[MTR_PB_REC_SIM_ADN].number_length, 20);
    EXPECT_EQ(param.pb[MTR_PB_REC_SIM_ADN].name_length, 14);
    EXPECT_EQ(param.pb[MTR_PB_REC_EEPROM_ADN].capacity, 200);
    EXPECT_EQ(param.pb[MTR_PB_REC_SIM_FDN].capacity, 10);
    EXPECT_EQ(param.sms.pdu_mode, 1);
    EXPECT_EQ(param.sms.me_size, 100);
    EXPECT_EQ(param.sms.sim_size, 30);
    EXPECT_EQ(param.profiles.lowest, 0);
    EXPECT_EQ(param.profiles.highest, 3);
    EXPECT_EQ(param.melody.nb_melodies, 8);
    EXPECT_EQ(param.melody.name_max, 12);
    EXPECT_EQ(param.melody.notes_max, 500);
    // The indicators' first values reached the status display.
    EXPECT_TRUE(app.has("battery 3")) << app.all();
    EXPECT_TRUE(app.has("signal 4")) << app.all();
}

TEST_F(SetupTest, ATextOnlyPhoneIsSetUpInTextMode)
{
    Sim(1, "set text-only on\n");
    NoOtherPorts();
    EXPECT_EQ(Detect(), MTR_SETUP_WENT_ON | MTR_SETUP_PB_OK | MTR_SETUP_SMS_OK);
    EXPECT_EQ(joined(Commands()), std::string(FULL_SEQUENCE_HEAD) + "AT+CMGF=1\n" + FULL_SEQUENCE_TAIL);
    EXPECT_EQ(param.sms.pdu_mode, 0);
}

TEST_F(SetupTest, FeatureFlagsFromTheVersionAnswerShapeTheSetUp)
{
    // No ST1 and a basic message service: no profile query, and the plain
    // new-message indication.
    Sim(1, "version PB=1.0,SMS=1.0,MDY=1.0\n");
    NoOtherPorts();
    EXPECT_EQ(Detect() & MTR_SETUP_WENT_ON, MTR_SETUP_WENT_ON);
    std::string seq = joined(Commands());
    EXPECT_EQ(seq.find("AT+CRES=?"), std::string::npos) << seq;
    EXPECT_NE(seq.find("AT+CNMI=1,1,0,0\n"), std::string::npos) << seq;
    EXPECT_NE(seq.find("AT~MMYW=?"), std::string::npos) << seq;  // always asked
    EXPECT_EQ(param.profiles.lowest, 255);
}

namespace {

// A host whose user answers the PIN prompt and the SIM question.
struct AnsweringHost : engine_test::TestHost {
    int AskSecurityCode(int state) override
    {
        asked.push_back(state);
        return ask ? ask(state) : 2;
    }
    int MessageBoxById(int id, int) override
    {
        boxes.push_back(id);
        return box_answer;
    }
    std::function<int(int)> ask;
    int box_answer = 2;
    std::vector<int> asked, boxes;
};

}  // namespace

TEST_F(SetupTest, ThePinIsAskedForAndTheSetUpGoesOn)
{
    AnsweringHost user;
    user.folder = host.folder;
    engine_set_host(&user);
    Sim(1, "pin-state SIM PIN\nlock SC on\n");
    NoOtherPorts();
    user.ask = [](int) { return mtr_GEN_set_pin("1234", "") == MTR_DONE ? 1 : 2; };
    int report = Detect();
    engine_set_host(&host);
    EXPECT_EQ(report & MTR_SETUP_WENT_ON, MTR_SETUP_WENT_ON);
    EXPECT_EQ(user.asked, (std::vector<int>{AT_PIN_SIM_PIN}));
    std::string seq = joined(Commands());
    // The code went to the phone; the trace shows it starred.
    EXPECT_NE(seq.find("AT+CPIN?\nAT+CPIN=\"****\"\nAT+CPIN?\nAT+CSCS=\"GSM\"\n"), std::string::npos) << seq;
    EXPECT_EQ(seq.find("1234"), std::string::npos);
    EXPECT_EQ(mtr_pin_prompt_state(), 0);
}

TEST_F(SetupTest, ACancelledPinLeavesTheLinkMarkedUnused)
{
    AnsweringHost user;
    user.folder = host.folder;
    engine_set_host(&user);
    Sim(1, "pin-state SIM PUK\n");
    NoOtherPorts();
    int report = Detect();
    engine_set_host(&host);
    EXPECT_EQ(report, 0);
    EXPECT_EQ(gv_SPIO_com_status, 0);
    EXPECT_EQ(user.asked, (std::vector<int>{AT_PIN_SIM_PUK}));
    std::string seq = joined(Commands());
    EXPECT_EQ(seq.find("AT+CSCS"), std::string::npos) << seq;
    // The periodic link test leaves the link alone until the user asks for
    // a new detection: no question every period.
    size_t sent = Commands().size();
    krn_msg* m = nullptr;
    krn_alloc(&m, 2);
    krn_set_msg_number(m, MTR_TIMER_IS_ALIVE);
    krn_queue_put_front(&gv_poll_queue, m);
    mtr_poll();
    EXPECT_EQ(gv_SPIO_com_status, 0);
    EXPECT_EQ(app.count("link"), 0) << app.all();
    EXPECT_EQ(Commands().size(), sent);
}

TEST_F(SetupTest, NoSimQuestionCancelledOnceIsNotAskedAgain)
{
    AnsweringHost user;
    user.folder = host.folder;
    engine_set_host(&user);
    phonesim::Process& sim = Sim(1, "sim absent\n");
    NoOtherPorts();
    EXPECT_EQ(Detect(), 0);
    EXPECT_EQ(user.boxes, (std::vector<int>{31432}));
    EXPECT_EQ(mtr_pin_prompt_state(), 2);
    // The next set-up gives up at once, for a missing SIM or a PIN alike.
    gv_SPIO_com_status = SPIO_com_available;
    EXPECT_EQ(mtr_setup(&param), 0);
    sim.command("sim present");
    sim.command("pin-state SIM PIN");
    gv_SPIO_com_status = SPIO_com_available;
    EXPECT_EQ(mtr_setup(&param), 0);
    EXPECT_EQ(user.boxes.size(), 1u);
    EXPECT_TRUE(user.asked.empty());
    // A phone that is ready goes through and clears it.
    sim.command("pin-state READY");
    gv_SPIO_com_status = SPIO_com_available;
    EXPECT_EQ(mtr_setup(&param) & MTR_SETUP_WENT_ON, MTR_SETUP_WENT_ON);
    EXPECT_EQ(mtr_pin_prompt_state(), 0);
    engine_set_host(&host);
}

TEST_F(SetupTest, APhoneThatDoesNotKnowThePinQueryIsSetUpAnyway)
{
    Sim(1);
    NoOtherPorts();
    ASSERT_EQ(mtr_GEN_test_communication(), MTR_DONE);
    gv_SPIO_com_status = SPIO_com_available;
    // The PIN query, right after the version check, fails (a bare OK
    // without its state); the set-up goes on.
    app.on_version = [&] { sims[0]->command("set bare-ok-next on"); };
    EXPECT_EQ(mtr_setup(&param), MTR_SETUP_WENT_ON | MTR_SETUP_PB_OK | MTR_SETUP_SMS_OK);
    EXPECT_NE(host.trace.find("AT+CPIN? command may not be implemented"), std::string::npos);
    EXPECT_EQ(mtr_GEN_set_pin("", ""), MTR_FAILED);
    EXPECT_NE(host.trace.find("mtr_GEN_set_pin -> no in code specified"), std::string::npos);
    EXPECT_EQ(mtr_GEN_set_pin(std::string(17, '1'), ""), MTR_FAILED);
}

TEST_F(SetupTest, StopSwitchesReportsOffOnceAndClosesThePort)
{
    Sim(1);
    NoOtherPorts();
    ASSERT_EQ(Detect() & MTR_SETUP_WENT_ON, MTR_SETUP_WENT_ON);
    size_t before = Commands().size();
    mtr_stop();
    mtr_stop();
    std::vector<std::string> cmds = Commands();
    ASSERT_EQ(cmds.size(), before + 2);
    EXPECT_EQ(cmds[before], "AT+CNMI=1,0,0,0");
    EXPECT_EQ(cmds[before + 1], "AT+CMER=1,0,0,0");
    EXPECT_EQ(serial_fd(), -1);
}

TEST_F(SetupTest, StopReturnsQuicklyWhenThePhoneIsGone)
{
    for (const char* how : {"unplug", "mute on"}) {
        mtr_init("Quenvale");
        sims.clear();
        WriteIniProfileString("Ports", "COM1", "");
        Sim(1);
        gv_SPIO_com_status = SPIO_no_com_available;
        ASSERT_EQ(mtr_GEN_test_communication(), MTR_DONE);
        gv_SPIO_com_status = SPIO_com_available;
        sims[0]->command(how);
        auto start = std::chrono::steady_clock::now();
        mtr_stop();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(ms.count(), 2000) << how;
        std::printf("mtr_stop after '%s': %lld ms\n", how, static_cast<long long>(ms.count()));
        EXPECT_EQ(serial_fd(), -1) << how;
        gv_bCallMtrPoll = 1;
    }
}

// What polling set aside goes back to the pools when the engine stops. An
// entry that a run left in the poll queue all the same (polling off, the
// kernel gone) must not follow the engine into a new start in the same
// process: the kernel's start gave its block back, and the engine's start
// must not write into it. The new start polls, with an empty queue, and
// every pool hands out every block it counts free.
TEST_F(SetupTest, TheStopGivesBackWhatPollingSetAsideAndANewStartBeginsClean)
{
    const uint16_t cops = AT_REQ_COPS_GET;
    const uint16_t small = krn_pool_free(0);
    mtr_set_poll_state(0);
    ASSERT_TRUE(mtr_queue_poll_script(1, 0, 1, &cops));
    ASSERT_EQ(krn_pool_free(0), small - 1);
    mtr_stop();
    EXPECT_EQ(krn_queue_count(&gv_poll_queue), 0);
    EXPECT_EQ(krn_pool_free(0), small);

    ASSERT_TRUE(mtr_queue_poll_script(1, 0, 1, &cops));
    krn_stop_timer();
    krn_reset_for_tests();
    krn_set_fatal_box(ignore_box);
    krn_set_stop_hook(throw_stop);
    ati_use_kernel();
    krn_start();
    krn_start_timer();
    mtr_init("Quenvale");
    EXPECT_EQ(krn_queue_count(&gv_poll_queue), 0);
    EXPECT_EQ(gv_bCallMtrPoll, 1);
    const uint16_t usable[] = {64, 96, 160, 1984};
    for (int p = 0; p < 4; ++p) {
        const uint16_t counted = krn_pool_free(p);
        std::vector<krn_msg*> taken;
        try {
            for (uint16_t i = 0; i < counted; ++i) {
                krn_msg* m = nullptr;
                krn_alloc(&m, usable[p]);
                taken.push_back(m);
            }
        } catch (const fatal_stop&) {
            ADD_FAILURE() << "pool " << p << " ran dry after " << taken.size() << " of " << counted << " blocks";
            return;
        }
        for (krn_msg* m : taken)
            krn_free(m);
        EXPECT_EQ(krn_pool_free(p), counted) << "pool " << p;
    }
}

TEST(EngineStart, AMalformedConversionTableEndsTheProgram)
{
    engine_test::TestHost host;
    host.folder = ::testing::TempDir() + "zorq-tables-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(host.folder);
    std::ofstream(host.folder + "GSMToWin.cvt", std::ios::binary) << std::string(127, 'a');
    std::ofstream(host.folder + "WinToGSM.cvt", std::ios::binary) << std::string(256, 'a');
    engine_set_host(&host);
    EXPECT_EXIT(mtr_init(""), ::testing::ExitedWithCode(EXIT_FAILURE), "");
    engine_set_host(nullptr);
    std::filesystem::remove_all(host.folder);
}

TEST(EngineStart, ManufacturerComparison)
{
    EXPECT_TRUE(mtr_manufacturer_matches("", "Anything"));
    EXPECT_TRUE(mtr_manufacturer_matches("Quenvale", "Quenvale"));
    EXPECT_TRUE(mtr_manufacturer_matches("Quenvale ", " Quenvale"));
    EXPECT_FALSE(mtr_manufacturer_matches("Quenvale", "quenvale"));
    EXPECT_FALSE(mtr_manufacturer_matches("Quenvale", "Othercorp"));
    // The phone's answer is kept to 20 characters: a longer expected text
    // is cut the same way.
    EXPECT_TRUE(mtr_manufacturer_matches("Quenvale Mobile Telephones", "Quenvale Mobile Tele"));
}
#endif
