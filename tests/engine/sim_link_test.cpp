// The request frame against the phone simulator over a pseudo-terminal.
#include "engine_fixture.h"

#include <chrono>
#ifdef ZORQ_HAVE_PHONESIM

using namespace engine_test;

namespace {

// Sends a request and reports how its command ended: "OK" or "230/<code>",
// after the numbers of the other messages that reached task 0 meanwhile.
std::string raw_request(uint8_t number, std::initializer_list<uint8_t> params = {})
{
    if (!send_request(number, params))
        return "nested";
    std::string seen;
    for (;;) {
        krn_msg* c = nullptr;
        mtr_wait(&c);
        uint16_t n = krn_msg_number(c);
        if (n == AT_CNF_OK) {
            krn_free(c);
            mtr_end_request(MTR_DONE);
            return seen + "OK";
        }
        if (n == AT_CNF_RESULT) {
            std::string r = seen + "230/" + std::to_string(c[2]);
            krn_free(c);
            mtr_end_request(MTR_FAILED);
            return r;
        }
        seen += std::to_string(n) + " ";
        krn_free(c);
    }
}

using SimTest = LinkTest;

}  // namespace

TEST_F(SimTest, BatteryQueryReturnsItsValues)
{
    Start("battery 0 80\n");
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(level, 80);
}

TEST_F(SimTest, ErrorAnswersBecomeResults)
{
    Start("sim absent\n");
    EXPECT_EQ(simple_request(AT_REQ_CPIN_GET), 10);  // +CME ERROR: 10, SIM not inserted
    sim->command("sim present");
    // Reading an empty message location.
    EXPECT_EQ(simple_request(AT_REQ_CMGR, {29}), 321);
    sim->command("set refuse-mver on");
    EXPECT_EQ(simple_request(AT_REQ_MVER), MTR_FAILED);  // plain ERROR
}

TEST_F(SimTest, AnIndicationMidRequestIsQueuedAndHandledAfterIt)
{
    Start();
    EXPECT_EQ(raw_request(AT_REQ_CIND_TEST), "171 OK");
    EXPECT_EQ(simple_request(AT_REQ_CMER_SET, {4, 1, 0, 0, 1}), MTR_DONE);
    polled().clear();
    sim->command("set dial-delay 500");
    // While the dial waits for its OK, the signal indicator changes.
    host.on_dispatch = [&] { sim->command("indicator signal 2"); };
    krn_msg* m = nullptr;
    krn_alloc(&m, 9);
    uint8_t* p = m + 2;
    m[0] = 0;
    m[1] = AT_REQ_DIAL;
    ASSERT_EQ(mtr_pack_number(&p, "0612", 21), 1);
    ASSERT_TRUE(mtr_send_request(m));
    EXPECT_TRUE(polled().empty());
    EXPECT_EQ(mtr_wait_final(), MTR_DONE);
    // Handled by the poll that ended the request.
    ASSERT_EQ(polled().size(), 1u);
    EXPECT_EQ(polled()[0][1], AT_CNF_CIEV);
    EXPECT_EQ(polled()[0][2], AT_IND_EVT_SIGNAL);
    EXPECT_EQ(polled()[0][3], 2);
}

TEST_F(SimTest, SilenceIsCode7)
{
    Start();
    sim->command("mute on");
    EXPECT_EQ(raw_request(AT_REQ_CBC), "230/7");
    sim->command("mute off");
}

// A silence drains the line for a quiet period before the next command,
// lest a late answer be taken for the next one's. A scan that goes on to
// another port (or opens the port again) has a line of its own, where
// nothing of that answer can come: its first request is written at once.
TEST_F(SimTest, AfterASilenceTheNextPortOpenedIsAskedWithoutWaitingForTheOldLineToBeQuiet)
{
    Start();
    phonesim::Process& next = Sim(2);
    sim->command("mute on");
    ASSERT_EQ(raw_request(AT_REQ_CBC), "230/7");
    Close_Serial();
    ASSERT_EQ(Init_Serial(2), 1);
    const auto asked = std::chrono::steady_clock::now();
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(level, 80);
    // The old line's quiet period is 200 ticks of 10 ms from the silence:
    // more than 1.6 s were still to run when the port was open again. The
    // new line's phone answers within a few milliseconds.
    const bool waitedForTheOldLine = std::chrono::steady_clock::now() - asked >= std::chrono::seconds(1);
    EXPECT_FALSE(waitedForTheOldLine) << "the request waited out the quiet period of a line closed since";
    EXPECT_EQ(next.command("count +CBC"), "ok 1");
}

TEST_F(SimTest, PartialAnswerIsCode1ThenTheLinkResynchronises)
{
    Start();
    sim->command("set partial-next on");
    EXPECT_EQ(raw_request(AT_REQ_CBC), "230/1");
    // The next request runs once the line has been quiet, and gets its own answer.
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(level, 80);
}

// A malformed answer (notes longer than a confirm holds) fails its request;
// the rest of that answer, down to its own final OK, may still be on its way
// when the next request is sent. The next request gets its own answer.
TEST_F(SimTest, TheRequestAfterAMalformedAnswerGetsItsOwnAnswer)
{
    Start("melody 2 \"Two\" 100 C4 c250 E4 c250\nmelody 3 \"Three\" 90 G4 c500\n");
    sim->command("set long-mmyr on");
    EXPECT_EQ(raw_request(AT_REQ_MMYR, {1, 1}), "230/5");
    sim->command("set long-mmyr off");
    // At once, with the refused answer's OK still unread.
    EXPECT_EQ(raw_request(AT_REQ_MMYR, {2, 2}), "223 OK");
    EXPECT_EQ(raw_request(AT_REQ_CBC), "166 OK");

    // The same with the rest of the answer (the other melodies and the OK)
    // coming a second and a half after the malformed one, while the next
    // request waits.
    sim->command("set long-mmyr on");
    sim->command("set partial-next on");
    sim->command("set partial-rest-delay 1500");
    EXPECT_EQ(raw_request(AT_REQ_MMYR, {1, 3}), "230/5");
    sim->command("set long-mmyr off");
    EXPECT_EQ(raw_request(AT_REQ_CBC), "166 OK");
    EXPECT_EQ(raw_request(AT_REQ_MMYR, {3, 3}), "223 OK");
}

TEST_F(SimTest, BareOkWithoutDataEndsTheRequest)
{
    Start();
    sim->command("set bare-ok-next on");
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_FAILED);
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
}

TEST_F(SimTest, RawIdentificationSkipsWhatIsNotIt)
{
    Start();
    sim->command("set echo on");
    sim->command("set unknown-before-cgmi on");
    krn_msg* m = nullptr;
    krn_alloc(&m, 2);
    m[0] = 0;
    m[1] = AT_REQ_CGMI;
    ASSERT_TRUE(mtr_send_request(m));
    krn_msg* d = nullptr;
    ASSERT_EQ(mtr_wait_data(AT_CNF_CGMI, &d), MTR_DONE);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d + 3), d[2]), "Quenvale");
    krn_free(d);
    EXPECT_EQ(mtr_wait_final(), MTR_DONE);
}

// Every query of the engine, answered by the simulator, is parsed: the data
// confirm expected, then the final OK, never a malformed line.
TEST_F(SimTest, EveryQueryIsUnderstood)
{
    Start();
    struct q {
        uint8_t req;
        std::initializer_list<uint8_t> params;
        const char* expect;
    };
    const q queries[] = {
        {AT_REQ_CGMI, {}, "144 OK"},
        {AT_REQ_MVER, {}, "213 OK"},
        {AT_REQ_CREG_GET, {}, "151 OK"},
        {AT_REQ_COPS_GET, {}, "153 OK"},
        {AT_REQ_CLCK_TEST, {}, "156 OK"},
        {AT_REQ_CLCK_SET, {2, 21, 2}, "155 OK"},
        {AT_REQ_CPWD_TEST, {}, "158 OK"},
        {AT_REQ_CPIN_GET, {}, "163 OK"},
        {AT_REQ_MPIN_GET, {}, "165 OK"},
        {AT_REQ_CBC, {}, "166 OK"},
        {AT_REQ_CSQ, {}, "168 OK"},
        {AT_REQ_CIND_TEST, {}, "171 OK"},
        {AT_REQ_CIND_GET, {}, "170 OK"},
        {AT_REQ_CPBS_TEST, {}, "175 OK"},
        {AT_REQ_CPBS_SET, {4}, "OK"},
        {AT_REQ_CPBW_TEST, {}, "178 OK"},
        {AT_REQ_CPBR, {1, 2}, "176 176 OK"},
        {AT_REQ_CCLK_GET, {}, "179 OK"},
        {AT_REQ_CPMS_TEST, {}, "187 OK"},
        {AT_REQ_CPMS_SET, {2, 3, 2}, "185 OK"},
        {AT_REQ_CMGF_TEST, {}, "189 OK"},
        {AT_REQ_CSCA_GET, {}, "192 OK"},
        {AT_REQ_CSMP_GET, {}, "193 OK"},
        {AT_REQ_CSAS_TEST, {}, "196 OK"},
        {AT_REQ_CRES_TEST, {}, "197 OK"},
        {AT_REQ_MDAF_GET, {}, "214 OK"},
        {AT_REQ_MTIF_GET, {}, "215 OK"},
        {AT_REQ_MDRR_TEST, {}, "216 OK"},
        {AT_REQ_MALR, {0}, "219 OK"},
        {AT_REQ_MMYW_TEST, {}, "222 OK"},
        {AT_REQ_MMYR, {1, 1}, "223 OK"},
        {AT_REQ_CMGF_SET, {0}, "OK"},
        {AT_REQ_CMGR, {2}, "202 OK"},
        {AT_REQ_CMGL, {1}, "200 OK"},
        {AT_REQ_CMGF_SET, {1}, "OK"},
        {AT_REQ_CMGR, {2}, "202 OK"},
        {AT_REQ_CMGL, {1}, "200 OK"},
    };
    for (const q& x : queries) {
        if (x.req == AT_REQ_CMGF_SET)
            ati_sms_mode = *x.params.begin();
        EXPECT_EQ(raw_request(x.req, x.params), x.expect) << "request " << int(x.req);
    }
}

TEST_F(SimTest, MessagesAreSentAndStoredInBothModes)
{
    Start();
    // Text mode.
    ati_sms_mode = 1;
    EXPECT_EQ(raw_request(AT_REQ_CMGF_SET, {1}), "OK");
    std::vector<uint8_t> body = {0, 0, 0, 4, '0', '6', '1', '2', 129, 5, 'H', 'e', 'l', 'l', 'o'};
    auto send = [&](uint8_t req, const std::vector<uint8_t>& p) {
        krn_msg* m = nullptr;
        krn_alloc(&m, static_cast<uint16_t>(2 + p.size()));
        m[0] = 0;
        m[1] = req;
        std::copy(p.begin(), p.end(), m + 2);
        EXPECT_TRUE(mtr_send_request(m));
        std::string seen;
        for (;;) {
            krn_msg* c = nullptr;
            mtr_wait(&c);
            uint16_t n = krn_msg_number(c);
            seen += std::to_string(n) + (n == AT_CNF_RESULT ? "/" + std::to_string(c[2]) : "") + " ";
            krn_free(c);
            if (n == AT_CNF_OK || n == AT_CNF_RESULT)
                break;
        }
        mtr_end_request(MTR_DONE);
        return seen;
    };
    EXPECT_EQ(send(AT_REQ_CMGS, body), "204 229 ");
    std::vector<uint8_t> store = {0, 0, 1, 2, 4, '0', '6', '1', '2', 129, 2, 'H', 'i'};
    EXPECT_EQ(send(AT_REQ_CMGW, store), "206 229 ");
    // PDU mode: no service centre in the header, submit with reference 0,
    // relative validity 167.
    ati_sms_mode = 0;
    EXPECT_EQ(raw_request(AT_REQ_CMGF_SET, {0}), "OK");
    std::vector<uint8_t> header = {0, 0x11, 1, 0, 0, 0, 0, 1, 167};
    std::vector<uint8_t> pdu = {static_cast<uint8_t>(header.size())};
    pdu.insert(pdu.end(), header.begin(), header.end());
    for (uint8_t b : std::initializer_list<uint8_t>{0, 0, 5, '+', '3', '3', '6', '1', 145, 5, 'H', 'e', 'l', 'l', 'o'})
        pdu.push_back(b);
    EXPECT_EQ(send(AT_REQ_CMGS, pdu), "204 229 ");
}

TEST_F(SimTest, AStormOfIndicationsDuringARequestIsCoalesced)
{
    Start();
    EXPECT_EQ(raw_request(AT_REQ_CIND_TEST), "171 OK");
    EXPECT_EQ(simple_request(AT_REQ_CMER_SET, {4, 1, 0, 0, 1}), MTR_DONE);
    polled().clear();
    sim->command("set dial-delay 500");
    host.on_dispatch = [&] { sim->command("set ciev-storm 300"); };
    krn_msg* m = nullptr;
    krn_alloc(&m, 9);
    uint8_t* p = m + 2;
    m[0] = 0;
    m[1] = AT_REQ_DIAL;
    ASSERT_EQ(mtr_pack_number(&p, "0612", 21), 1);
    ASSERT_TRUE(mtr_send_request(m));
    EXPECT_EQ(mtr_wait_final(), MTR_DONE);
    // Only the newest value of the indicator waited for polling.
    ASSERT_EQ(polled().size(), 1u);
    EXPECT_EQ(polled()[0][1], AT_CNF_CIEV);
    EXPECT_EQ(polled()[0][2], AT_IND_EVT_SIGNAL);
    // No block was lost on the way.
    EXPECT_EQ(krn_pool_free(0), 100);
}
#endif
