// Security and general requests against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include "at_tables.h"
#include "mtr_gen.h"
#include "mtr_sec.h"

using namespace engine_test;

namespace {

class Window : public MmiWindow {
public:
    void PostMessage(unsigned message, uintptr_t w, intptr_t l) override
    {
        posted.push_back({message, w, l});
    }
    struct post {
        unsigned message;
        uintptr_t w;
        intptr_t l;
    };
    std::vector<post> posted;
};

using SecTest = EngineTest;

TEST_F(SecTest, SimPinWrongThenRightWithTheAttemptCounters)
{
    Start("pin-state SIM PIN\n");
    uint32_t state = 99;
    int counter = -5;
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_SIM_PIN);
    EXPECT_EQ(counter, 3);

    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, "1111", ""), 16);  // incorrect password
    ASSERT_EQ(mtr_GEN_get_code_info(AT_PIN_SIM_PIN, &counter), MTR_DONE);
    EXPECT_EQ(counter, 2);

    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, "1234", ""), MTR_DONE);
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_READY);
}

TEST_F(SecTest, PukSetsANewPin)
{
    Start("pin-state SIM PUK\nattempts SC 0\n");
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PUK, -1, "00000000", "4321"), 16);
    int counter = 0;
    ASSERT_EQ(mtr_GEN_get_code_info(AT_PIN_SIM_PUK, &counter), MTR_DONE);
    EXPECT_EQ(counter, 9);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PUK, -1, "12345678", "4321"), MTR_DONE);
    // The phone is ready now: a PIN is checked by changing it into itself.
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, "4321", ""), MTR_DONE);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, "1234", ""), 16);
    // No facility stands behind a PUK state on a ready phone.
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PUK, -1, "12345678", "1"), MTR_FAILED);
}

TEST_F(SecTest, PhoneCodeAtStartUp)
{
    Start("pin-state PH-SIM PIN\ncode PS 2468\n");
    uint32_t state = 99;
    int counter = -5;
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_PH_SIM_PIN);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_PH_SIM_PIN, -1, "0000", ""), 16);  // incorrect password
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_PH_SIM_PIN);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_PH_SIM_PIN, -1, "2468", ""), MTR_DONE);
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_READY);
}

TEST_F(SecTest, Pin2IsCheckedBeforeAFixedDiallingWrite)
{
    Start();
    MTR_PB_STORAGE rec[MTR_PB_RECORDS];
    ASSERT_EQ(mtr_PB_setup(rec), MTR_DONE);
    ASSERT_EQ(mtr_PB_select_storage(PB_DST_SIM_FD), MTR_DONE);
    EXPECT_EQ(mtr_PB_write_entry(1, "112", "Emergency"), 17);  // SIM PIN2 required
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN2, -1, "0000", ""), 16);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN2, -1, "5678", ""), MTR_DONE);
    EXPECT_EQ(mtr_PB_write_entry(1, "112", "Emergency"), MTR_DONE);
    std::string number, name;
    ASSERT_EQ(mtr_PB_read_entry(1, number, name), MTR_DONE);
    EXPECT_EQ(number, "112");
    EXPECT_EQ(name, "Emergency");
}

TEST_F(SecTest, FacilityCodesAreNotTakenForPinStates)
{
    Start("code barring 4444\ncode PS 9999\n");
    // "AO" has the number of the PUK state: it is still the barring password.
    EXPECT_EQ(mtr_GEN_enter_code(-1, MTR_FAC_AO, "4444", ""), MTR_DONE);
    EXPECT_EQ(mtr_GEN_enter_code(-1, MTR_FAC_AO, "0000", ""), 16);
    // The phone code.
    EXPECT_EQ(mtr_GEN_enter_code(-1, MTR_FAC_PS, "9999", ""), MTR_DONE);
    EXPECT_EQ(mtr_GEN_enter_code(-1, MTR_FAC_PS, "1234", ""), 16);
    EXPECT_EQ(mtr_GEN_enter_code(-1, 99, "1234", ""), MTR_FAILED);
}

TEST_F(SecTest, FacilityLockQuerySwitchAndWrongPassword)
{
    Start();
    uint32_t status = 9;
    ASSERT_EQ(mtr_FAC_get_status(&status, MTR_FAC_SC), MTR_DONE);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(mtr_FAC_set_status(1, MTR_FAC_SC, "1234"), MTR_DONE);
    ASSERT_EQ(mtr_FAC_get_status(&status, MTR_FAC_SC), MTR_DONE);
    EXPECT_EQ(status, 1u);
    // Already locked: a wrong password is still refused, a right one passes.
    EXPECT_EQ(mtr_FAC_set_status(1, MTR_FAC_SC, "9999"), 16);
    EXPECT_NE(host.trace.find("status is the same so no change status"), std::string::npos);
    EXPECT_EQ(mtr_FAC_set_status(1, MTR_FAC_SC, "1234"), MTR_DONE);
    EXPECT_EQ(mtr_FAC_set_status(0, MTR_FAC_SC, "1234"), MTR_DONE);
    ASSERT_EQ(mtr_FAC_get_status(&status, MTR_FAC_SC), MTR_DONE);
    EXPECT_EQ(status, 0u);
}

TEST_F(SecTest, OverlongPasswordsAreRefusedBeforeAnyRequest)
{
    Start();
    const std::string seventeen(17, '1');
    EXPECT_EQ(mtr_FAC_set_status(1, MTR_FAC_SC, seventeen), MTR_FAILED);
    EXPECT_NE(host.trace.find("mtr_FAC_set_status -> password so long:17"), std::string::npos);
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, seventeen, "1"), MTR_FAILED);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, seventeen, ""), MTR_FAILED);
    EXPECT_EQ(host.trace.find("AT+CLCK"), std::string::npos);
    EXPECT_EQ(host.trace.find("AT+CPWD"), std::string::npos);
}

TEST_F(SecTest, PasswordChangeAndTheLists)
{
    Start();
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "1234", "5555"), MTR_DONE);
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "1234", "6666"), 16);
    EXPECT_EQ(mtr_GEN_enter_code(AT_PIN_SIM_PIN, -1, "5555", ""), MTR_DONE);

    Window locks, passwords;
    ASSERT_EQ(mtr_FAC_get_lock_list(&locks, 0x500), MTR_DONE);
    ASSERT_EQ(locks.posted.size(), 11u);
    EXPECT_EQ(locks.posted[0].message, 0x500u);
    EXPECT_EQ(locks.posted[0].w, MTR_FAC_SC);
    EXPECT_EQ(locks.posted[0].l, 0);
    EXPECT_EQ(locks.posted[10].w, MTR_FAC_PS);

    ASSERT_EQ(mtr_FAC_get_list_pwdmax(&passwords, 0x501), MTR_DONE);
    ASSERT_EQ(passwords.posted.size(), 7u);
    EXPECT_EQ(passwords.posted[0].w, MTR_FAC_SC);
    EXPECT_EQ(passwords.posted[0].l, 8);
    EXPECT_EQ(passwords.posted[3].w, MTR_FAC_AO);
    EXPECT_EQ(passwords.posted[3].l, 4);

    EXPECT_EQ(mtr_FAC_get_list(1, nullptr, 0x501), MTR_FAILED);
    EXPECT_NE(host.trace.find("mtr_FAC_get_list_pwdmax:Hwnd_CallBack is NULL"), std::string::npos);
}

TEST_F(SecTest, CodeStateFallsBackToCpinWithoutMpin)
{
    Start("pin-state SIM PIN\nset refuse-mpin on\n");
    uint32_t state = 0;
    int counter = 5;
    ASSERT_EQ(mtr_GEN_get_code_state(&state, &counter), MTR_DONE);
    EXPECT_EQ(state, AT_PIN_SIM_PIN);
    EXPECT_EQ(counter, -1);
    // READY has no facility: refused without a request.
    EXPECT_EQ(mtr_GEN_get_code_info(AT_PIN_READY, &counter), MTR_FAILED);
}

TEST_F(SecTest, IdentityDialAndErrorTranslation)
{
    Start("manufacturer Quenvale\nversion PB=1.0\n");
    std::string id, version;
    ASSERT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
    EXPECT_EQ(id, "Quenvale");
    ASSERT_EQ(mtr_GEN_req_version(version), MTR_DONE);
    EXPECT_EQ(version, "PB=1.0");

    EXPECT_EQ(mtr_GEN_dial("0123456789"), MTR_DONE);
    EXPECT_TRUE(doc.has("status 0")) << doc.all();
    EXPECT_EQ(mtr_GEN_hang_up(), MTR_DONE);
    EXPECT_EQ(mtr_GEN_dial("1234567890123456789012"), MTR_FAILED);  // 22 digits
    EXPECT_EQ(mtr_GEN_dial("12;+CPBW=1"), MTR_FAILED);
    EXPECT_EQ(host.trace.find("ATD1234567890123456789012"), std::string::npos);

    // Any result, an error number of the phone too, reads as a plain failure.
    for (MTR_RESULT r : {MTR_RESULT(16), MTR_RESULT(321), MTR_RESULT(3), MTR_FAILED, MTR_DONE})
        EXPECT_EQ(mtr_GEN_translate_error(r), MTR_FAILED) << r;
}

TEST_F(SecTest, ADialRefusedByTheNetworkReachesTheCallStatus)
{
    Start("set dial-delay 300\n");
    // The dial waits for its own final answer; BUSY arrives before it.
    host.on_dispatch = [&] { sim->command("call-result busy"); };
    MTR_RESULT r = mtr_GEN_dial("0600000000");
    // BUSY ends the dial as failed, and the next command gets its own answer.
    EXPECT_EQ(r, MTR_FAILED);
    EXPECT_TRUE(doc.has("status 1")) << doc.all();
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
    EXPECT_EQ(id, "Quenvale");
}


TEST_F(SecTest, ALongRingingDialKeepsTheLink)
{
    uint32_t saved = gv_ati_dial_timeout_ticks;
    gv_ati_dial_timeout_ticks = 150;  // 1.5 s instead of the call set-up time
    Start("set dial-delay 600\n");
    // Answered within the dial's time: its OK reaches the call status.
    EXPECT_EQ(mtr_GEN_dial("0600000000"), MTR_DONE);
    EXPECT_TRUE(doc.has("status 0")) << doc.all();

    // Ringing past it: a failed call reported as unanswered; the phone stays
    // connected and the next request gets its own answer.
    sim->command("set dial-delay 2500");
    EXPECT_EQ(mtr_GEN_dial("0600000000"), MTR_FAILED);
    gv_ati_dial_timeout_ticks = saved;
    EXPECT_TRUE(IdleUntil([&] { return doc.has("status 3"); }, 1000)) << doc.all();
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_FALSE(doc.has("link 1")) << doc.all();
    EXPECT_GE(serial_fd(), 0);
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
    EXPECT_EQ(id, "Quenvale");
}

TEST_F(SecTest, QueriesAnsweredByABareOkFail)
{
    Start();
    sim->command("set bare-ok-next on");
    std::string version = "old";
    EXPECT_EQ(mtr_GEN_req_version(version), MTR_FAILED);
    EXPECT_EQ(version, "");
    sim->command("set bare-ok-next on");
    uint32_t status = 7;
    EXPECT_EQ(mtr_FAC_get_status(&status, MTR_FAC_SC), MTR_FAILED);
    EXPECT_EQ(status, 7u);
    EXPECT_NE(host.trace.find("mtr_FAC_get_status -> Something wrong"), std::string::npos);
    // The phone goes on answering normally.
    EXPECT_EQ(mtr_FAC_get_status(&status, MTR_FAC_SC), MTR_DONE);
}

}  // namespace
#endif
