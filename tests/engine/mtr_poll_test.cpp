// Indicators, the poll script, link loss and the link test against the
// phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include <cstring>

#include "at_tables.h"
#include "mtr_gen.h"
#include "mtr_mmng.h"

using namespace engine_test;

namespace {

using PollTest = EngineTest;

TEST(SignalLevel, ThresholdsAndUnknown)
{
    EXPECT_EQ(mtr_signal_level(4), 0);
    EXPECT_EQ(mtr_signal_level(5), 1);
    EXPECT_EQ(mtr_signal_level(20), 3);
    EXPECT_EQ(mtr_signal_level(25), 4);
    EXPECT_EQ(mtr_signal_level(31), 4);
    EXPECT_EQ(mtr_signal_level(99), 0);  // not known to the phone
}

TEST_F(PollTest, IndicatorSetUpAndChangesReachTheDocument)
{
    Start("indicators battchg:5 signal:31 message:1 smsfull:1 roam:1\n"
          "indicator battchg 2\nindicator signal 31\n");
    ASSERT_EQ(mtr_MMNG_setup(), MTR_DONE);
    EXPECT_EQ(gv_mtr_icons_by_polling, 0);
    EXPECT_TRUE(doc.has("battery 2")) << doc.all();
    // The phone's 0-31 signal range is brought to the display's 0-4.
    EXPECT_TRUE(doc.has("signal 4")) << doc.all();
    EXPECT_TRUE(doc.has("roam 0")) << doc.all();
    EXPECT_NE(host.trace.find("Activate event reporting"), std::string::npos);
    EXPECT_NE(host.trace.find("mtr_MMNG_update_icon -> AT_IND_EVT_SIGNAL with iconVal = 31"), std::string::npos);

    doc.events.clear();
    sim->command("indicator signal 16");
    sim->command("indicator roam 1");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("roam 1"); }, 3000)) << doc.all();
    EXPECT_TRUE(doc.has("signal 2")) << doc.all();

    // smsfull 1 starts the message-icon blink, 0 stops it.
    sim->command("indicator smsfull 1");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("smsfull 1"); }, 3000)) << doc.all();
    EXPECT_EQ(gv_mtr_msg_icon_mode, 2);
    ASSERT_TRUE(IdleUntil([&] { return doc.has("msgicon 1"); }, 3000)) << doc.all();
    sim->command("indicator smsfull 0");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("smsfull 0"); }, 3000)) << doc.all();
    EXPECT_EQ(gv_mtr_msg_icon_mode, 0);
}

TEST_F(PollTest, BatteryLevelFiveChangesNothingAndZeroBlinks)
{
    Start();
    gv_pDoc = &doc;
    mtr_MMNG_update_icon(AT_IND_EVT_BATTCHG, 5);
    EXPECT_TRUE(doc.events.empty()) << doc.all();
    mtr_MMNG_update_icon(AT_IND_EVT_BATTCHG, 0);
    EXPECT_EQ(gv_mtr_battery_mode, 2);
    ASSERT_TRUE(IdleUntil([&] { return doc.has("battery 3"); }, 2000)) << doc.all();
    doc.events.clear();
    ASSERT_TRUE(IdleUntil([&] { return doc.has("battery 0"); }, 2000)) << doc.all();
    mtr_MMNG_update_icon(AT_IND_EVT_BATTCHG, 3);
    EXPECT_EQ(gv_mtr_battery_mode, 0);
    doc.events.clear();
    IdleUntil([] { return false; }, 700);
    EXPECT_TRUE(doc.events.empty()) << doc.all();  // the blink stopped
}

TEST_F(PollTest, ThePollScriptStandsInWhenIndicatorsAreRefused)
{
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    Start("set refuse-cind-test on\nbattery 0 24\n");
    EXPECT_EQ(mtr_MMNG_setup(), MTR_FAILED);
    EXPECT_EQ(gv_mtr_icons_by_polling, 1);
    EXPECT_EQ(host.trace.find("AT+CIND?"), std::string::npos);
    EXPECT_EQ(host.trace.find("AT+CMER"), std::string::npos);
    // The script is queued: the next poll runs it.
    mtr_poll();
    EXPECT_TRUE(doc.has("battery 0")) << doc.all();
    EXPECT_TRUE(doc.has("signal 3")) << doc.all();  // rssi 20
    EXPECT_TRUE(doc.has("operator Tarvel Net")) << doc.all();
    EXPECT_TRUE(doc.has("registration 1")) << doc.all();
    EXPECT_EQ(gv_mtr_battery_mode, 2);  // level 24 on battery: the blink
    // And it comes again every second.
    sim->command("battery 0 80");
    ASSERT_TRUE(IdleUntil([&] { return gv_mtr_battery_mode == 0; }, 3000)) << doc.all();
    EXPECT_EQ(doc.events.back(), "registration 1");
    EXPECT_EQ(doc.count("operator "), 2);
}

TEST_F(PollTest, PollingOffKeepsEntriesUntilSwitchedOnAndABurstDoesNotExhaustThePool)
{
    Start("indicators signal:4 battchg:4\n");
    ASSERT_EQ(mtr_MMNG_setup(), MTR_DONE);
    ASSERT_EQ(engine_test::simple_request(AT_REQ_CNMI_SET, {5, 1, 1, 0, 0, 0}), MTR_DONE);
    doc.events.clear();
    mtr_set_poll_state(0);
    for (int i = 0; i < 30; ++i)
        sim->command("sms-receive ME +33611111111 hello");
    for (int i = 0; i < 40; ++i)
        sim->command("call-result ring");
    sim->command("set ciev-storm 400");
    std::string id;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
    IdleUntil([] { return false; }, 300);
    EXPECT_TRUE(doc.events.empty()) << doc.all();
    // Indicator values and rings are kept once each; the queue never
    // holds more than its bound, and the pools are not used up.
    EXPECT_EQ(krn_queue_count(&gv_poll_queue), MTR_POLL_QUEUE_MAX);
    EXPECT_GT(krn_pool_free(0), 50);
    mtr_set_poll_state(1);
    EXPECT_EQ(krn_queue_count(&gv_poll_queue), 0);
    EXPECT_EQ(doc.count("signal "), 1) << doc.all();
    EXPECT_EQ(doc.count("sms 2 "), MTR_POLL_QUEUE_MAX - 2) << doc.all();
    // The newest notices were kept.
    EXPECT_TRUE(doc.has("sms 2 32")) << doc.all();
}

TEST_F(PollTest, ABlinkingIconWhilePollingWaitsKeepsOneEntryAndBlinksOnAfterwards)
{
    // The battery blinks (a cyclic half-second timer) while polling is off
    // and a request waits two seconds for a phone that says nothing: its
    // expiry waits in the poll queue all that time (a walk through that
    // queue, as indications make, must still end).
    Start("indicators signal:4 battchg:4\n");
    ASSERT_EQ(mtr_MMNG_setup(), MTR_DONE);
    mtr_MMNG_update_icon(AT_IND_EVT_BATTCHG, 0);
    ASSERT_EQ(gv_mtr_battery_mode, 2);
    mtr_set_poll_state(0);
    sim->command("set silent-next on");
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);
    IdleUntil([] { return false; }, 1200);
    // Each entry once, and the walk through the queue ends.
    int walked = 0, blinks = 0;
    for (krn_msg* q = krn_queue_first(&gv_poll_queue); q && walked < 100; q = krn_queue_next(&gv_poll_queue, q)) {
        ++walked;
        blinks += krn_msg_number(q) == MTR_TIMER_BATTERY;
    }
    EXPECT_EQ(walked, krn_queue_count(&gv_poll_queue));
    EXPECT_EQ(blinks, 1);
    doc.events.clear();
    mtr_set_poll_state(1);
    EXPECT_EQ(krn_queue_count(&gv_poll_queue), 0);
    ASSERT_TRUE(IdleUntil([&] { return doc.count("battery ") >= 2; }, 3000)) << doc.all();
}

TEST_F(PollTest, RegistrationAbroadReachesTheDocumentAndReadsTheNewOperator)
{
    Start();
    ASSERT_EQ(engine_test::simple_request(AT_REQ_CREG_SET, {1}), MTR_DONE);
    ASSERT_EQ(sim->command("operator \"Quay Mobile\" Quay 20899"), "ok");
    sim->command("creg 5");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("operator Quay Mobile"); }, 3000)) << doc.all();
    EXPECT_TRUE(doc.has("registration 5")) << doc.all();
    // Searching (2) is passed on but reads no operator.
    doc.events.clear();
    sim->command("creg 2");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("registration 2"); }, 3000)) << doc.all();
    IdleUntil([] { return false; }, 200);
    EXPECT_EQ(doc.count("operator "), 0) << doc.all();
}

TEST_F(PollTest, RegistrationHomeReadsTheOperatorAgain)
{
    Start();
    ASSERT_EQ(engine_test::simple_request(AT_REQ_CREG_SET, {1}), MTR_DONE);
    sim->command("creg 1");
    ASSERT_TRUE(IdleUntil([&] { return doc.has("operator Tarvel Net"); }, 3000)) << doc.all();
    EXPECT_TRUE(doc.has("registration 1"));
    std::string name;
    ASSERT_EQ(mtr_MMNG_get_operator_name(name), MTR_DONE);
    EXPECT_EQ(name, "Tarvel Net");
    // Only the format was set: no forced automatic selection.
    EXPECT_NE(host.trace.find("AT+COPS=3,0"), std::string::npos);
    EXPECT_EQ(host.trace.find("AT+COPS=0"), std::string::npos);
}

TEST_F(PollTest, NewMessageNoticesByMemory)
{
    Start();
    ASSERT_EQ(engine_test::simple_request(AT_REQ_CNMI_SET, {5, 1, 1, 0, 0, 0}), MTR_DONE);
    sim->command("sms-receive SM +33611111111 hello");
    ASSERT_TRUE(IdleUntil([&] { return doc.count("sms 1 ") == 1; }, 3000)) << doc.all();
    sim->command("sms-receive ME +33611111111 hello");
    ASSERT_TRUE(IdleUntil([&] { return doc.count("sms 2 ") == 1; }, 3000)) << doc.all();
}

TEST_F(PollTest, NewMessageNamingMtReachesTheDocumentAsTheReceiveMemory)
{
    Start();
    // The set-up chooses the memory new messages go to and asks for +CMTI.
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    ASSERT_EQ(mtr_SMS_receive_storage(), SMS_SRC_SIM);
    sim->command("set receive-memory MT");
    sim->command("sms-receive SM +33611111111 hello");
    ASSERT_TRUE(IdleUntil([&] { return doc.count("sms ") == 1; }, 3000)) << doc.all();
    EXPECT_EQ(doc.count("sms 1 "), 1) << doc.all();
    ASSERT_EQ(doc.received.size(), 1u);
    EXPECT_EQ(doc.received[0].storage, SMS_SRC_SIM);
}

TEST_F(PollTest, AMutedPhoneIsALostLinkAndTheLinkTestFindsItAgain)
{
    Start();
    sim->command("mute on");
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);  // the request returns
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_EQ(doc.count("link "), 1) << doc.all();
    EXPECT_EQ(serial_fd(), -1);
    // A second failure while the link is down posts nothing more.
    EXPECT_EQ(mtr_GEN_hang_up(), MTR_FAILED);
    EXPECT_EQ(doc.count("link "), 1) << doc.all();

    sim->command("mute off");
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    mtr_arm_is_alive();
    ASSERT_TRUE(IdleUntil([&] { return gv_SPIO_com_status == SPIO_com_available; }, 5000)) << doc.all();
    EXPECT_TRUE(doc.has("link 2")) << doc.all();
    EXPECT_GE(serial_fd(), 0);  // the port was opened again
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
}

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long Count(const std::string& text, const std::string& what)
{
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(PollTest, APortThatHangsUpIsClosedOnceAndEveryLaterRequestFailsAtOnce)
{
    Start();
    // The phone is pulled while a request waits for its answer (a muted
    // phone would otherwise answer with the command's time-out).
    sim->command("mute on");
    host.on_dispatch = [&] { sim->command("unplug"); };
    std::string id;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1000)
        << "the request ended by the hang-up, not by its time-out";
    EXPECT_EQ(serial_fd(), -1);
    EXPECT_TRUE(serial_hung_up());
    ASSERT_TRUE(IdleUntil([&] { return doc.count("link ") > 0; }, 2000)) << doc.all();
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_TRUE(doc.has("link 1")) << doc.all();

    // From now on everything fails at once and nothing is told again.
    const size_t traced = host.trace.size();
    const double c0 = CpuSeconds();
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(Read_Serial_Line(), 0);
        EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);
    }
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count(),
              1000);
    IdleUntil([] { return false; }, 1000);
    EXPECT_LT(CpuSeconds() - c0, 0.25) << "one idle second after 200 refused requests";
    EXPECT_EQ(doc.count("link "), 1) << doc.all();
    EXPECT_EQ(Count(host.trace, "the port hung up"), 1) << host.trace;
    EXPECT_EQ(Count(host.trace.substr(traced), "Read_Serial_Line"), 0) << host.trace.substr(traced, 2000);

    // Plugged back (a new phone on the same port entry): the link test
    // opens the port again and the phone answers.
    Sim(1);
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    mtr_arm_is_alive();
    ASSERT_TRUE(IdleUntil([&] { return gv_SPIO_com_status == SPIO_com_available; }, 5000)) << doc.all();
    EXPECT_FALSE(serial_hung_up());
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_DONE);
    EXPECT_EQ(id, "Quenvale");
}

TEST_F(PollTest, APortThatHangsUpBetweenRequestsIsNoticedAtIdleTime)
{
    Start();
    sim->command("unplug");
    const double c0 = CpuSeconds();
    ASSERT_TRUE(IdleUntil([&] {
        // What the application's idle step does.
        Read_Serial_Line();
        return doc.count("link ") > 0;
    }, 2000)) << doc.all();
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    IdleUntil([] {
        Read_Serial_Line();
        return false;
    }, 1000);
    EXPECT_LT(CpuSeconds() - c0, 0.25);
    EXPECT_EQ(doc.count("link "), 1) << doc.all();
    EXPECT_EQ(Count(host.trace, "the port hung up"), 1) << host.trace;
}

// A request that the hang-up ends leaves the loss known, with no idle step
// needed: at its return while polling is on, and, during an operation that
// holds polling off, as soon as polling resumes.
TEST_F(PollTest, ALinkLostUnderARequestIsKnownWhenItReturns)
{
    Start();
    sim->command("mute on");
    host.on_dispatch = [&] { sim->command("unplug"); };
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_EQ(doc.count("link 1"), 1) << doc.all();
}

TEST_F(PollTest, ALinkLostUnderARequestWithPollingOffIsKnownWhenPollingResumes)
{
    Start();
    mtr_set_poll_state(0);
    sim->command("mute on");
    host.on_dispatch = [&] { sim->command("unplug"); };
    std::string id;
    EXPECT_EQ(mtr_GEN_req_manufacturer_id(id), MTR_FAILED);
    host.on_dispatch = nullptr;
    EXPECT_EQ(doc.count("link "), 0) << "told while polling was off: " << doc.all();
    mtr_set_poll_state(1);
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_EQ(doc.count("link 1"), 1) << doc.all();
}

TEST_F(PollTest, TheLinkTestLeavesAGivenUpLinkAlone)
{
    Start();
    gv_SPIO_com_status = 0;  // the user cancelled the code prompt
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    mtr_arm_is_alive();
    ASSERT_TRUE(IdleUntil([&] { return host.trace.find("appel de mtr_GEN_test_communication") != std::string::npos; },
                          3000));
    EXPECT_EQ(gv_SPIO_com_status, 0);
    EXPECT_EQ(doc.count("link "), 0) << doc.all();
    EXPECT_EQ(gv_is_alive_armed, 1);  // tested again later
}


TEST_F(PollTest, StatusReportIsDecodedForTheDocument)
{
    Start();
    // As the AT task lays out a +CDS: first octet, reference, number
    // present, number, type and end, time stamp, discharge time, status.
    const uint8_t body[] = {6, 42, 1, 4, '+', '3', '3', '6', 145, 0,
                            1, 26, 12, 8, 10, 11, 12, 0, 0,
                            0, 0};
    krn_msg* m = nullptr;
    krn_alloc(&m, static_cast<uint16_t>(2 + sizeof body));
    m[0] = 0;
    m[1] = AT_CNF_CDS;
    std::memcpy(m + 2, body, sizeof body);
    krn_queue_put_front(&gv_poll_queue, m);
    mtr_poll();
    EXPECT_EQ(doc.all(), "report 42 +336 0; ");
    // A report cut short is dropped, not read past its end.
    krn_alloc(&m, 6);
    m[0] = 0;
    m[1] = AT_CNF_CDS;
    m[2] = 6;
    m[3] = 1;
    m[4] = 1;
    m[5] = 200;
    krn_queue_put_front(&gv_poll_queue, m);
    mtr_poll();
    EXPECT_EQ(doc.count("report "), 1);
}

// The user is told "no phone" only for a phone that stopped answering: an
// answer cut half-way counts as much as none at all. Each request's result
// says it of that request: one answered later changes nothing of it.
TEST_F(PollTest, AnAnswerLostOrCutCountsAsThePhoneNotAnswering)
{
    Start();
    std::string id;
    const MTR_RESULT answered = mtr_GEN_req_manufacturer_id(id);
    ASSERT_EQ(answered, MTR_DONE);
    EXPECT_FALSE(answered.IsUnanswered());
    sim->command("set partial-next on");
    const MTR_RESULT cut = mtr_GEN_req_manufacturer_id(id);
    EXPECT_EQ(cut, MTR_FAILED);
    EXPECT_TRUE(cut.IsUnanswered());
    ASSERT_TRUE(IdleUntil([&] { return mtr_GEN_req_manufacturer_id(id) == MTR_DONE; }, 5000));
    EXPECT_TRUE(mtr_failed_unanswered(cut));
    // A refusal is an answer.
    sim->command("refuse +CGMI");
    const MTR_RESULT refused = mtr_GEN_req_manufacturer_id(id);
    EXPECT_NE(refused, MTR_DONE);
    EXPECT_FALSE(refused.IsUnanswered());
    EXPECT_FALSE(mtr_failed_unanswered(refused));
    sim->command("refuse none");
    sim->command("set silent-next on");
    const MTR_RESULT lost = mtr_GEN_req_manufacturer_id(id);
    EXPECT_EQ(lost, MTR_FAILED);
    EXPECT_TRUE(lost.IsUnanswered());
}

// A request the phone refused stays refused, whatever the link came to
// after it: a link test that loses the phone later does not turn that
// refusal into silence.
TEST_F(PollTest, ARefusalStaysARefusalWhenALaterLinkTestLosesThePhone)
{
    Start();
    sim->command("set refuse-mver on");
    std::string version;
    const MTR_RESULT refused = mtr_GEN_req_version(version);
    ASSERT_EQ(refused, MTR_FAILED);
    EXPECT_FALSE(mtr_failed_unanswered(refused));
    sim->command("mute on");
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    mtr_arm_is_alive();
    ASSERT_TRUE(IdleUntil([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 30000))
        << "the link test did not lose the silent phone";
    EXPECT_FALSE(mtr_failed_unanswered(refused));
    EXPECT_FALSE(refused.IsUnanswered());
}

// The link test, due while a request waits for an answer that never ends,
// runs as that request ends, before its caller reads the result; the phone
// answers the test. The caller must still learn that its own request went
// unanswered, with the link up.
TEST_F(PollTest, TheLinkTestRunAsAnUnansweredRequestEndsLeavesItUnanswered)
{
    Start();
    WriteIniProfileInt("PoolingTime", "Pool", 1);
    mtr_arm_is_alive();
    sim->command("set partial-next on");
    std::string id;
    const MTR_RESULT r = mtr_GEN_req_manufacturer_id(id);
    ASSERT_NE(host.trace.find("appel de mtr_GEN_test_communication"), std::string::npos)
        << "the link test did not run inside the request";
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_EQ(r, MTR_FAILED);
    EXPECT_TRUE(mtr_failed_unanswered(r));
}

}  // namespace
#endif
