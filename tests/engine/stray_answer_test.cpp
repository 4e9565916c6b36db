// Answers that come while no command runs: a phone that sends a second
// final result, or a data line, after a command already ended.
#include "engine_fixture.h"

using namespace engine_test;

namespace {

using StrayAnswerTest = LinkTest;

TEST_F(StrayAnswerTest, LateAnswersAreNotTakenForTheNextRequests)
{
    int at_count = 0;
    ScriptedPhone phone([&](const std::string& cmd) -> std::string {
        if (cmd == "AT") {
            // The command's own OK, then a second final result or a data
            // line of nothing asked for, and a genuine ring.
            if (++at_count == 1)
                return "\r\nOK\r\n\r\n+CME ERROR: 3\r\n";
            if (at_count == 2)
                return "\r\nOK\r\n\r\n+CBC: 1,55\r\n\r\n+CMS ERROR: 500\r\n";
            return "\r\nOK\r\n\r\nERROR\r\n\r\nRING\r\n\r\nOK\r\n";
        }
        if (cmd == "AT+CBC")
            return "\r\n+CBC: 0,80\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(simple_request(AT_REQ_AT), MTR_DONE);
        usleep(50000);  // the stray lines are on the line before the next request
        for (int k = 0; k < 2; ++k) {
            uint8_t status = 9, level = 0;
            EXPECT_EQ(battery(&status, &level), MTR_DONE);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(level, 80);
        }
    }
    // An unsolicited indication among them still reaches polling.
    bool ring = false;
    for (const auto& m : polled())
        ring = ring || m[1] == AT_CNF_RING;
    EXPECT_TRUE(ring);
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
}

}  // namespace

namespace {

using WaitLimitTest = LinkTest;

// Engine time stands still (no tick, so no command time-out): the request
// side gives up after its wall-time limit, and the command it gave up on
// must end in the AT task too.
TEST_F(WaitLimitTest, AnAnswerAfterTheWaitLimitIsNotTakenByTheNextRequest)
{
    std::atomic<int> cbc{0};
    ScriptedPhone phone([&](const std::string& cmd) -> std::string {
        if (cmd == "AT+CBC")
            return ++cbc == 1 ? std::string() : std::string("\r\n+CBC: 0,80\r\n\r\nOK\r\n");
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    long saved = gv_mtr_wait_limit_ms;
    gv_mtr_wait_limit_ms = 300;
    krn_stop_timer();
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_FAILED);
    gv_mtr_wait_limit_ms = saved;
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
    // The phone's late answer to the command given up on.
    phone.write("\r\n+CBC: 1,55\r\n\r\nOK\r\n");
    usleep(50000);
    krn_start_timer();
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(level, 80);
    EXPECT_EQ(simple_request(AT_REQ_AT), MTR_DONE);
    EXPECT_EQ(cbc.load(), 2);
}

}  // namespace
