// The response scanner and handlers fed with byte streams.
#include <gtest/gtest.h>

#include <algorithm>

#include "at_charset.h"
#include "ati_harness.h"

namespace {

// Sends a request, feeds the answer and returns the confirms' summary.
std::string answer(AtiHarness& h, uint8_t req, const std::vector<uint8_t>& params, const std::string& bytes,
                   size_t chunk = 128)
{
    h.request(req, params);
    h.feed(bytes, chunk);
    h.run();
    h.output();
    return h.confirm_summary();
}

std::vector<uint8_t> first_confirm(AtiHarness& h, uint8_t req, const std::string& bytes,
                                   const std::vector<uint8_t>& params = {})
{
    h.request(req, params);
    h.feed(bytes);
    h.run();
    auto c = h.confirms();
    return c.empty() ? std::vector<uint8_t>{} : c[0];
}

// A confirm is sized for its longest answer: what follows the data is zero.
bool same(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want)
{
    if (got.size() < want.size() || !std::equal(want.begin(), want.end(), got.begin()))
        return false;
    return std::all_of(got.begin() + static_cast<long>(want.size()), got.end(), [](uint8_t b) { return b == 0; });
}

// Lets a resynchronisation period pass with no byte: the drain ends (and a
// waiting request runs).
void quiet_period(AtiHarness& h)
{
    ASSERT_EQ(ati_command, AT_CMD_RESYNC);
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    ASSERT_EQ(ati_parse_state, ATI_PARSE_KEYWORD);
    ASSERT_NE(ati_command, AT_CMD_RESYNC);
}

std::vector<uint8_t> bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

}  // namespace

TEST(AtScan, KeywordsThatShareTheirStartAreToldApart)
{
    AtiHarness h;
    auto c = first_confirm(h, AT_REQ_CPIN_GET, "\r\n+CME ERROR: 10\r\n");
    EXPECT_PRED2(same, c, bytes({0, 230, 2, 10, 0}));
    EXPECT_EQ(ati_command, AT_CMD_NONE);
    // +CMER is a keyword of its own: not an answer the engine expects.
    EXPECT_EQ(answer(h, AT_REQ_CSQ, {}, "\r\n+CMER: 1\r\n"), "230/9");
    // The rest of the line is drained until the line is quiet.
    quiet_period(h);
    EXPECT_EQ(ati_command, AT_CMD_NONE);
    EXPECT_EQ(answer(h, AT_REQ_HANGUP, {}, "\r\nNO ANSWER\r\n"), "233");
    EXPECT_EQ(answer(h, AT_REQ_HANGUP, {}, ""), "");
    h.feed("\r\nNO CARRIER\r\n\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "232 229");
    // OKAY matches OK and then fails the line end.
    EXPECT_EQ(answer(h, AT_REQ_AT, {}, "\r\nOKAY\r\n"), "230/5");
    quiet_period(h);
    EXPECT_EQ(answer(h, AT_REQ_AT, {}, "\r\n+CMS ERROR: 321\r\n"), "230/3");
}

TEST(AtScan, CmsNumberIsAWordAndCmeNumberIsClamped)
{
    AtiHarness h;
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_AT, "\r\n+CMS ERROR: 65535\r\n"), bytes({0, 230, 3, 255, 255}));
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_AT, "\r\n+CME ERROR: 300\r\n"), bytes({0, 230, 2, 255, 0}));
    EXPECT_EQ(answer(h, AT_REQ_AT, {}, "\r\n+CMS ERROR: 65536\r\n"), "230/5");
}

TEST(AtScan, SmallNumbersStopAt255)
{
    AtiHarness h;
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_CSQ, "\r\n+CSQ: 255,0\r\n"), bytes({0, 168, 255, 0}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_EQ(answer(h, AT_REQ_CSQ, {}, "\r\n+CSQ: 256,0\r\n"), "230/5");
}

TEST(AtScan, AcceptedLineEnds)
{
    for (std::string end : {"\r\n", "\n\r", "\r\r\n"}) {
        AtiHarness h;
        EXPECT_EQ(answer(h, AT_REQ_CBC, {}, end + "+CBC: 0,80" + end + end + "OK" + end), "166 229");
    }
    AtiHarness h;
    // A bare CR followed by text is not a line end.
    EXPECT_EQ(answer(h, AT_REQ_CBC, {}, "\r\n+CBC: 0,80\rOK\r\n"), "230/5");
}

TEST(AtScan, EscapesAndTheGsmDecode)
{
    uint8_t g2w[128], w2g[256];
    for (int i = 0; i < 128; ++i) g2w[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i) w2g[i] = static_cast<uint8_t>(i);
    g2w[0x05] = 0xE9;
    g2w[0x40] = 0xA1;  // inverted exclamation mark at GSM 0x40
    at_set_conversion_tables(g2w, w2g);
    AtiHarness h;
    auto c = first_confirm(h, AT_REQ_CPBR, "\r\n+CPBR: 1,\"0612\",129,\"Ann\\E9\"\r\n", {1, 1});
    EXPECT_PRED2(same, c, bytes({0, 176, 1, 4, '0', '6', '1', '2', 129, 4, 'A', 'n', 'n', 0xE9, 0}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_EQ(answer(h, AT_REQ_CSCS_SET, {0}, "\r\nOK\r\n"), "229");
    c = first_confirm(h, AT_REQ_CPBR, "\r\n+CPBR: 2,\"1\",129,\"\\40\\05\\80\"\r\n", {2, 2});
    EXPECT_PRED2(same, c, bytes({0, 176, 2, 1, '1', 129, 3, 0xA1, 0xE9, 0x80, 0}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    // Lower-case hexadecimal digits and a lone backslash are malformed.
    EXPECT_EQ(answer(h, AT_REQ_CPBR, {3, 3}, "\r\n+CPBR: 3,\"1\",129,\"a\\e9\"\r\n"), "230/5");
    quiet_period(h);
    // An escape and its code are one character of the extension table (euro
    // sign, brackets, bar); an unknown code after it reads as itself.
    c = first_confirm(h, AT_REQ_CPBR, "\r\n+CPBR: 4,\"1\",129,\"\\1Be\\1B<\\1B>\\1B@\\1B/x\\1BA\"\r\n", {4, 4});
    EXPECT_PRED2(same, c, bytes({0, 176, 4, 1, '1', 129, 7, 0x80, '[', ']', '|', '\\', 'x', 'A', 0}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    for (int i = 0; i < 128; ++i) g2w[i] = static_cast<uint8_t>(i);
    at_set_conversion_tables(g2w, w2g);
}

TEST(AtScan, PhonebookEntriesAreCutToTheStorageLimits)
{
    AtiHarness h;
    h.request(AT_REQ_CPBW_TEST);
    h.feed("\r\n+CPBW: (1-250),20,(129,145),14\r\n");
    h.run();
    EXPECT_EQ(ati_limits.pb_number_len, 20);
    EXPECT_EQ(ati_limits.pb_name_len, 14);
    auto cs = h.confirms();
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_PRED2(same, cs[0], bytes({0, 178, 1, 1, 250, 20, 2, 129, 129, 145, 145, 14}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    // A full-length international number keeps its last digit; names are cut.
    std::string num = "+" + std::string(20, '1');
    auto c = first_confirm(h, AT_REQ_CPBR, "\r\n+CPBR: 5,\"" + num + "2\",145,\"A very long name here\"\r\n", {5, 5});
    ASSERT_GT(c.size(), 3u);
    EXPECT_EQ(c[3], 21);
    EXPECT_EQ(std::string(c.begin() + 4, c.begin() + 25), num);
    EXPECT_EQ(c[26], 14);
    EXPECT_EQ(std::string(c.begin() + 27, c.begin() + 41), "A very long na");
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    // A name longer than any entry's room is a malformed answer, not a copy
    // past the end of the confirm.
    EXPECT_EQ(answer(h, AT_REQ_CPBR, {6, 6}, "\r\n+CPBR: 6,\"1\",129,\"" + std::string(300, 'n') + "\"\r\n"),
              "230/5");
}

TEST(AtScan, AnswersThatDependOnTheRunningCommand)
{
    AtiHarness h;
    // +CREG with one number is the unsolicited form even while +CREG? runs.
    EXPECT_EQ(answer(h, AT_REQ_CREG_GET, {}, "\r\n+CREG: 1\r\n"), "235");
    h.feed("\r\n+CREG: 2,1\r\n\r\nOK\r\n");
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_PRED2(same, c[0], bytes({0, 151, 2, 1}));

}

TEST(AtScan, ListEntriesRestartTheTimeOut)
{
    AtiHarness h;
    h.request(AT_REQ_CLCK_SET, {2, 21, 2});
    h.run();
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 800u);
    h.feed("\r\n+CLCK: 1,1\r\n");
    h.run();
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 400u);
    h.feed("\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "155 229");

    // 200 entries keep coming: the listing never times out.
    h.request(AT_REQ_CPBR, {1, 200});
    h.run();
    h.output();
    std::string list;
    for (int i = 1; i <= 200; ++i)
        list += "\r\n+CPBR: " + std::to_string(i) + ",\"061234\",129,\"N" + std::to_string(i) + "\"";
    h.feed(list + "\r\n\r\nOK\r\n", 37);
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 201u);
    EXPECT_EQ(c[199][2], 200);
    EXPECT_EQ(c[200][1], AT_CNF_OK);
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 0u);
}

TEST(AtScan, PromptWithoutATwoPhaseCommandIsMalformed)
{
    AtiHarness h;
    EXPECT_EQ(answer(h, AT_REQ_CSQ, {}, "\r\n> "), "230/5");
    EXPECT_EQ(ati_parse_state, ATI_PARSE_RESYNC);
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
}

TEST(AtScan, ErrorWhileNoCommandRunsSendsNothing)
{
    AtiHarness h;
    h.feed("\r\nERROR\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "");
    EXPECT_EQ(answer(h, AT_REQ_CSQ, {}, "\r\nERROR\r\n"), "230/0");
}

TEST(AtScan, RawIdentificationAnswers)
{
    AtiHarness h;
    auto c = first_confirm(h, AT_REQ_CGMI, "AT+CGMI\r\r\n+CGREG: 1\r\n\r\nTarvel Mobile Phones Ltd\r\n\r\nOK\r\n");
    // The echo and the unsolicited-looking line are skipped; the text is cut to 20.
    EXPECT_EQ(std::string(c.begin() + 3, c.begin() + 3 + c[2]), "Tarvel Mobile Phones");
    EXPECT_EQ(c[1], AT_CNF_CGMI);

    std::string version = "V" + std::string(300, '9');
    c = first_confirm(h, AT_REQ_MVER, "\r\n^SYSSTART: 1\r\n" + version + "\r\nOK\r\n");
    EXPECT_EQ(c[1], AT_CNF_MVER);
    EXPECT_EQ(c[2], 220);
    EXPECT_EQ(std::string(c.begin() + 3, c.begin() + 223), version.substr(0, 220));

    // Any other command ignores a line that no keyword matches.
    EXPECT_EQ(answer(h, AT_REQ_CSQ, {}, "AT+CSQ\r\r\n+CSQ: 20,0\r\n\r\nOK\r\n"), "168 229");
}

TEST(AtScan, MalformedLinesGiveCode5AndResynchronise)
{
    AtiHarness h;
    EXPECT_EQ(answer(h, AT_REQ_CBC, {}, "\r\n+CBC: 0;80"), "230/5");
    EXPECT_EQ(ati_command, AT_CMD_RESYNC);
    // A request that arrives meanwhile waits until the line is quiet: the rest
    // of the broken answer, line ends and final OK included, is drained.
    h.request(AT_REQ_CSQ);
    h.run();
    EXPECT_EQ(h.output(), "");
    h.feed("junk\r\n\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.output(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));  // bytes came in this period
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));  // a quiet one
    h.run();
    EXPECT_EQ(h.output(), "AT+CSQ\r");
    EXPECT_EQ(answer(h, AT_REQ_AT, {}, "\r\n+CSQ: 1,2\r\n\r\nOK\r\n\r\nOK\r\n"), "168 229 229");

    // Unclosed quote, bad escape, a list longer than its receiver.
    EXPECT_EQ(answer(h, AT_REQ_CPBR, {1, 1}, "\r\n+CPBR: 1,\"0612,129,\"x\"\r\n"), "230/5");
    quiet_period(h);
    EXPECT_EQ(answer(h, AT_REQ_CMGF_TEST, {}, "\r\n+CMGF: (0,1,2,3,4,5,6,7,8)\r\n"), "230/5");
    quiet_period(h);
    EXPECT_EQ(answer(h, AT_REQ_CLCK_TEST, {}, "\r\n+CLCK: (\"SC\",\"PN\",\"XX\")\r\n\r\nOK\r\n"), "156 229");
}

TEST(AtScan, AnAnswerSplitAtEveryByteBoundary)
{
    const std::string ans =
        "\r\n+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"xyz\",(0,1)),(\"roam\",(0-1))\r\n\r\nOK\r\n";
    std::vector<std::vector<uint8_t>> expect;
    {
        AtiHarness h;
        h.request(AT_REQ_CIND_TEST);
        h.feed(ans, ans.size());
        h.run();
        expect = h.confirms();
    }
    ASSERT_EQ(expect.size(), 2u);
    EXPECT_PRED2(same, expect[0], bytes({0, 171, 3, 1, 1, 0, 5, 13, 1, 0, 5, 11, 1, 0, 1}));
    for (size_t cut = 1; cut < ans.size(); ++cut) {
        AtiHarness h;
        h.request(AT_REQ_CIND_TEST);
        h.feed(ans.substr(0, cut));
        h.feed(ans.substr(cut));
        h.run();
        EXPECT_EQ(h.confirms(), expect) << "cut at " << cut;
    }
    for (size_t chunk : {1, 2, 3, 7}) {
        AtiHarness h;
        h.request(AT_REQ_CIND_TEST);
        h.feed(ans, chunk);
        h.run();
        EXPECT_EQ(h.confirms(), expect) << "chunks of " << chunk;
    }
}

TEST(AtScan, IndicatorEventsFollowThePositionMap)
{
    AtiHarness h;
    answer(h, AT_REQ_CIND_TEST, {}, "\r\n+CIND: (\"battchg\",(0-5)),(\"xyz\",(0-1)),(\"signal\",(0-5))\r\n\r\nOK\r\n");
    h.feed("\r\n+CIEV: 3,4\r\n\r\n+CIEV: 2,1\r\n\r\n+CIEV: 9,1\r\n");
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_PRED2(same, c[0], bytes({0, 237, AT_IND_EVT_SIGNAL, 4}));
    auto v = first_confirm(h, AT_REQ_CIND_GET, "\r\n+CIND: 5,0,3\r\n");
    EXPECT_PRED2(same, v, bytes({0, 170, 2, AT_IND_EVT_BATTCHG, 5, AT_IND_EVT_SIGNAL, 3}));
}

TEST(AtScan, UnsolicitedIndicationsAreDroppedWhenNoBlockIsLeft)
{
    AtiHarness h;
    answer(h, AT_REQ_CIND_TEST, {}, "\r\n+CIND: (\"battchg\",(0-5))\r\n\r\nOK\r\n");
    h.fail_try_alloc = true;
    h.feed("\r\n+CIEV: 1,4\r\n\r\n+CMTI: \"SM\",3\r\nRING\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "");
    h.fail_try_alloc = false;
    h.feed("\r\n+CMTI: \"SM\",3\r\n\r\nRINGx\r\n");
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_PRED2(same, c[0], bytes({0, 236, 3, 3}));
    EXPECT_PRED2(same, c[1], bytes({0, 234}));
}

TEST(AtScan, PinStates)
{
    AtiHarness h;
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_CPIN_GET, "\r\n+CPIN: SIM PUK2\r\n"), bytes({0, 163, 5}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_CPIN_GET, "\r\n+CPIN: SIM PIN\r\n"), bytes({0, 163, 2}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_CPIN_GET, "\r\n+CPIN: READY\r\n"), bytes({0, 163, 1}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_MPIN_GET, "\r\n~MPIN: SIM PIN2,3\r\n"), bytes({0, 165, 3, 3}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    EXPECT_PRED2(same, first_confirm(h, AT_REQ_MPIN_GET, "\r\n~MPIN: 3,2,10\r\n"), bytes({0, 164, 3, 2, 10}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    // The state is a bare word: a quoted one is malformed.
    EXPECT_EQ(answer(h, AT_REQ_CPIN_GET, {}, "\r\n+CPIN: \"SIM PIN\"\r\n"), "230/5");
}

TEST(AtScan, DataAnswers)
{
    AtiHarness h;
    auto next = [&](uint8_t req, const std::string& line, const std::vector<uint8_t>& params = {}) {
        auto c = first_confirm(h, req, "\r\n" + line + "\r\n", params);
        h.feed("\r\nOK\r\n");
        h.run();
        h.confirms();
        return c;
    };
    EXPECT_PRED2(same, next(AT_REQ_COPS_GET, "+COPS: 0,0,\"Orange F\""), bytes({0, 153, 3, 0, 0, 8, 'O', 'r', 'a', 'n', 'g', 'e', ' ', 'F', 0}));
    EXPECT_PRED2(same, next(AT_REQ_COPS_GET, "+COPS: 0,2,\"20801\""), bytes({0, 153, 3, 0, 2, 5, '2', '0', '8', '0', '1', 0}));
    EXPECT_EQ(next(AT_REQ_COPS_GET, "+COPS: 0")[2], 1);
    EXPECT_PRED2(same, next(AT_REQ_CCLK_GET, "+CCLK: \"08/12/24,07:05:09-04\""), bytes({0, 179, 8, 12, 24, 7, 5, 9, 1, 4}));
    EXPECT_PRED2(same, next(AT_REQ_CPMS_SET, "+CPMS: 3,30,3,300", {1, 3}), bytes({0, 185, 3, 30, 3, 255}));
    EXPECT_PRED2(same, next(AT_REQ_CPMS_TEST, "+CPMS: (\"ME\",\"SM\"),(\"ME\",\"SM\",\"XX\"),(\"MT\")"),
              bytes({0, 187, 2, 1, 3, 2, 0, 2, 1, 2}));
    EXPECT_PRED2(same, next(AT_REQ_CSCA_GET, "+CSCA: \"+33609001390\",145"),
              bytes({0, 192, 12, '+', '3', '3', '6', '0', '9', '0', '0', '1', '3', '9', '0', 145}));
    EXPECT_PRED2(same, next(AT_REQ_CSMP_GET, "+CSMP: 17,167,0,0"), bytes({0, 193, 17, 1, 167, 0, 0}));
    EXPECT_PRED2(same, next(AT_REQ_CSMP_GET, "+CSMP: 1,,0,8"), bytes({0, 193, 1, 0, 0, 8}));
    EXPECT_PRED2(same, next(AT_REQ_CRES_TEST, "+CRES: (0-3)"), bytes({0, 197, 1, 0, 3}));
    EXPECT_PRED2(same, next(AT_REQ_CPWD_TEST, "+CPWD: (\"SC\",8),(\"P2\",8),(\"ZZ\",4)"), bytes({0, 158, 2, 21, 8, 14, 8}));
    EXPECT_PRED2(same, next(AT_REQ_CPBS_TEST, "+CPBS: (\"FD\",\"SM\",\"ME\")"), bytes({0, 175, 3, 0, 4, 2}));
    EXPECT_PRED2(same, next(AT_REQ_MDAF_GET, "~MDAF: \"yy-mm-dd\""), bytes({0, 214, 2}));
    EXPECT_PRED2(same, next(AT_REQ_MALR, "~MALR: \"AUS\",1,\"07:30:00+00\"", {1}), bytes({0, 219, 1, 1, 1, 7, 30, 0, 0, 0}));
    EXPECT_PRED2(same, next(AT_REQ_MDRR_TEST, "~MDRR: (1-50),300"), bytes({0, 216, 1, 1, 50, 1, 44}));
    EXPECT_EQ(ati_limits.diary_text_len, 300);
    auto card = next(AT_REQ_MDRR, "~MDRR: 2,\"08/12/24,07:05:09+00\",\"Tea\",1,2,3", {2, 2});
    EXPECT_PRED2(same, card, bytes({0, 217, 2, 1, 8, 12, 24, 7, 5, 9, 0, 0, 3, 'T', 'e', 'a', 0, 1, 2, 3}));
    EXPECT_PRED2(same, next(AT_REQ_MMYW_TEST, "~MMYW: (1-10),12,2000"), bytes({0, 222, 1, 1, 10, 12, 7, 208}));
}

TEST(AtScan, MelodyNotesLongerThanAConfirmAreMalformed)
{
    AtiHarness h;
    auto c = first_confirm(h, AT_REQ_MMYR, "\r\n~MMYR: 1,\"Tune\",3,5\r\nabcde\r\n", {1, 1});
    EXPECT_PRED2(same, c, bytes({0, 223, 1, 4, 'T', 'u', 'n', 'e', 0, 0, 3, 0, 5, 'a', 'b', 'c', 'd', 'e'}));
    h.feed("\r\nOK\r\n");
    h.run();
    h.confirms();
    std::string notes(3000, 'x');
    EXPECT_EQ(answer(h, AT_REQ_MMYR, {1, 1}, "\r\n~MMYR: 1,\"Tune\",3,3000\r\n" + notes + "\r\n"), "230/5");
    // The answer's own final OK comes after the notes, while the next read
    // already waits: it is drained, and the next read gets its own answer.
    h.request(AT_REQ_MMYR, {2, 2});
    h.feed("\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.output(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "");
    ASSERT_TRUE(h.expire(ATI_TIMER_RESYNC));
    h.run();
    EXPECT_EQ(h.output(), "AT~MMYR=2\r");
    h.feed("\r\n~MMYR: 2,\"Bell\",4,2\r\nfg\r\n\r\nOK\r\n");
    h.run();
    auto cs = h.confirms();
    ASSERT_EQ(cs.size(), 2u);
    EXPECT_PRED2(same, cs[0], bytes({0, 223, 2, 4, 'B', 'e', 'l', 'l', 0, 0, 4, 0, 2, 'f', 'g'}));
    EXPECT_EQ(cs[1][1], AT_CNF_OK);
}

TEST(AtScan, ListingEntriesAndCurrentStorageForms)
{
    AtiHarness h;
    // Each +CMGL entry restarts the listing's time-out.
    h.request(AT_REQ_CMGL, {1});
    h.run();
    h.output();
    size_t timers = h.timer_records_.size();
    h.feed("\r\n+CMGL: 1,\"REC READ\",\"0612\",,\"08/12/24,07:05:09+04\",129,2\r\nHi\r\n");
    h.run();
    EXPECT_EQ(h.timer_records_.size(), timers + 1);  // a new time-out
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 1000u);
    EXPECT_EQ(h.confirm_summary(), "200");
    h.feed("\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "229");
    // The current-storage form of +CPBS is not an answer the engine asks for.
    EXPECT_EQ(answer(h, AT_REQ_CPBS_TEST, {}, "\r\n+CPBS: \"SM\",10,250\r\n"), "230/9");
}
