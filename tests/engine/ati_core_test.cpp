// The AT task's control core: link state, the waiting request, time-outs
// and resynchronisation.
#include <gtest/gtest.h>

#include "ati_harness.h"

TEST(AtiCore, LinkDownLetsOnlyIdentificationThrough)
{
    AtiHarness h;
    gv_SPIO_com_status = SPIO_no_com_available;
    h.request(AT_REQ_CPIN_GET);
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "230/8");
    h.request(AT_REQ_CGMI);
    h.run();
    EXPECT_EQ(h.output(), "<BREAK>AT+CGMI\r");
    EXPECT_EQ(ati_command, AT_CMD_CGMI);
}

TEST(AtiCore, ANewerWaitingRequestWithdrawsTheOlder)
{
    AtiHarness h;
    h.request(AT_REQ_CSQ);
    h.request(AT_REQ_CBC);
    h.request(AT_REQ_CREG_GET);
    h.run();
    EXPECT_EQ(h.output(), "AT+CSQ\r");
    h.feed("\r\n+CSQ: 10,0\r\n\r\nOK\r\n");
    h.run();
    std::string out = h.output();
    EXPECT_EQ(h.confirm_summary(), "168 229 230/6");
    EXPECT_EQ(out, "AT+CREG?\r");
    EXPECT_EQ(ati_command, AT_CMD_CREG_GET);
}

TEST(AtiCore, SilenceGivesCode7AndTheLineIsDrainedBeforeTheNextCommand)
{
    AtiHarness h;
    h.request(AT_REQ_CSQ);
    h.run();
    h.output();
    ASSERT_TRUE(h.expire(ATI_TIMER_COMMAND));
    h.request(AT_REQ_CBC);
    h.run();
    EXPECT_EQ(h.confirm_summary(), "230/7");
    EXPECT_EQ(h.output(), "");  // the next command waits for a quiet line
    // The late answer of the timed-out command arrives: it is drained, even
    // though it holds line ends, and the waiting request is kept.
    h.feed("\r\n+CSQ: 10,0\r\n\r\nOK\r\n");
    h.run();
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));  // a quiet period
    h.run();
    EXPECT_EQ(h.output(), "AT+CBC\r");
    EXPECT_FALSE(h.timer_running(ATI_TIMER_RESYNC));
    h.feed("\r\n+CBC: 0,50\r\n\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "166 229");
}

TEST(AtiCore, APartialAnswerThenSilenceGivesCode1)
{
    AtiHarness h;
    h.request(AT_REQ_CBC);
    h.feed("\r\n+CBC: 0,");
    h.run();
    ASSERT_TRUE(h.expire(ATI_TIMER_COMMAND));
    h.run();
    EXPECT_EQ(h.confirm_summary(), "230/1");
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
    EXPECT_EQ(ati_parse_state, ATI_PARSE_RESYNC);
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(ati_command, AT_CMD_NONE);
    EXPECT_EQ(ati_parse_state, ATI_PARSE_KEYWORD);
}

TEST(AtiCore, ResyncAfterABrokenLine)
{
    AtiHarness h;
    // A malformed line: the line is drained until it is quiet, line ends
    // included, so that the broken answer's own final OK is not taken for the
    // next command's.
    h.request(AT_REQ_CBC);
    h.feed("\r\n+CBC: x");
    h.run();
    EXPECT_EQ(h.output(), "AT+CBC\r");
    EXPECT_EQ(h.confirm_summary(), "230/5");
    h.request(AT_REQ_CSQ);
    h.feed("\r\n\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));  // bytes came: the request waits on
    h.run();
    EXPECT_EQ(h.output(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));  // a quiet period lets it run
    h.run();
    EXPECT_EQ(h.output(), "AT+CSQ\r");
    EXPECT_FALSE(h.timer_running(ATI_TIMER_RESYNC));
    h.feed("\r\n+CSQ: 10,0\r\n\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "168 229");

    // A broken answer with no request waiting: the drain still ends on a
    // quiet period.
    h.request(AT_REQ_CBC);
    h.feed("\r\n+CBC: ?\r\n");
    h.run();
    h.output();
    EXPECT_EQ(h.confirm_summary(), "230/5");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(ati_command, AT_CMD_NONE);
    EXPECT_EQ(ati_parse_state, ATI_PARSE_KEYWORD);

    // The phone keeps sending while a request waits: the request is kept for
    // a few busy periods, then dropped with code 4; the drain goes on.
    h.request(AT_REQ_CBC);
    h.feed("\r\n+CBC: ?");
    h.run();
    h.output();
    EXPECT_EQ(h.confirm_summary(), "230/5");
    h.request(AT_REQ_CSQ);
    int periods = 0;
    while (h.confirm_summary().empty() && periods < 20) {
        h.feed("\r\nRING\r\n");
        h.run();
        ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
        h.run();
        ++periods;
    }
    EXPECT_EQ(periods, 5);
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(ati_command, AT_CMD_NONE);
}

TEST(AtiCore, TheDialRunsUntilItsAnswer)
{
    AtiHarness h;
    h.request(AT_REQ_DIAL, cat({lp("0612"), {129}}));
    h.request(AT_REQ_CSQ);
    h.run();
    EXPECT_EQ(h.output(), "ATD0612;\r");
    EXPECT_EQ(ati_command, AT_CMD_DIAL);
    // Its OK is its own; the waiting request runs after it.
    h.feed("\r\nOK\r\n");
    h.run();
    std::string out = h.output();
    EXPECT_EQ(h.confirm_summary(), "229");
    EXPECT_EQ(out, "AT+CSQ\r");
    h.feed("\r\n+CSQ: 3,0\r\n\r\nOK\r\n");
    h.run();
    h.confirms();

    h.request(AT_REQ_DIAL, cat({lp("0612"), {129}}));
    h.feed("\r\nBUSY\r\n");
    h.run();
    h.output();
    // A busy line ends the dial with a failure.
    EXPECT_EQ(h.confirm_summary(), "231 230/0");
    EXPECT_EQ(ati_command, AT_CMD_NONE);
}

TEST(AtiCore, AnUnansweredDialFailsAsACallNotAsASilentPhone)
{
    AtiHarness h;
    h.request(AT_REQ_DIAL, cat({lp("0612"), {129}}));
    h.request(AT_REQ_CSQ);
    h.run();
    EXPECT_EQ(h.output(), "ATD0612;\r");
    // A phone rings far longer than any command takes to answer.
    EXPECT_GE(h.timer_ticks(ATI_TIMER_COMMAND), 3000u);
    ASSERT_TRUE(h.expire(ATI_TIMER_COMMAND));
    h.run();
    // No answer in time: a failed call, not the silence that drops the link.
    EXPECT_EQ(h.confirm_summary(), "233 230/0");
    // The request queued behind the dial still runs once the line is quiet.
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(h.output(), "AT+CSQ\r");
}

TEST(AtiCore, NoBlockIsLostOverARun)
{
    size_t before;
    {
        AtiHarness h;
        before = h.live_blocks();
        h.request(AT_REQ_CSQ);
        h.feed("\r\n+CSQ: 10,0\r\n\r\nOK\r\n", 3);
        h.request(AT_REQ_CMGS, cat({{0, 0, 0}, lp("0612"), {129}, lp("Hi")}));
        h.run();
        h.feed("\r\n> ");
        h.run();
        h.feed("\r\n+CMGS: 1\r\n\r\nOK\r\n");
        h.run();
        h.confirms();
        EXPECT_EQ(h.live_blocks(), before);
    }
}

TEST(AtiCore, IdleChatterDoesNotHideASilentPhone)
{
    AtiHarness h;
    // Bytes that came while no command ran...
    h.feed("\r\nRING\r\n");
    h.run();
    h.confirms();
    // ...do not count as an answer of the next command.
    h.request(AT_REQ_CSQ);
    h.run();
    ASSERT_TRUE(h.expire(ATI_TIMER_COMMAND));
    h.run();
    EXPECT_EQ(h.confirm_summary(), "230/7");
}
