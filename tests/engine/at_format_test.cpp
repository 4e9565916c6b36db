// Golden command text of every request number the formatter knows.
#include <gtest/gtest.h>

#include <set>

#include "at_charset.h"
#include "ati_harness.h"

namespace {

struct Golden {
    uint8_t req;
    std::vector<uint8_t> params;
    const char* text;
    uint32_t command;
    uint32_t ticks;  // 0: no time-out
};

// Date-time record: yy MM dd hh mm ss sign zone.
const std::vector<uint8_t> when = {8, 12, 24, 7, 5, 9, 0, 4};

const Golden golden[] = {
    {0, {}, "AT&T9\r", 7, 400},
    {1, {}, "AT+CGMI\r", 31, 200},
    {2, {0}, "AT+CSCS=\"GSM\"\r", 38, 400},
    {2, {2}, "AT+CSCS=\"PCCP437\"\r", 38, 400},
    {9, cat({lp("+3312A4"), {145}}), "ATD+3312A4;\r", 43, 5000},
    {10, {}, "ATH\r", 44, 400},
    {15, {2}, "AT+CREG=2\r", 34, 400},
    {16, {}, "AT+CREG?\r", 35, 200},
    {18, {2, 3, 0}, "AT+COPS=3,0\r", 36, 200},
    {19, {}, "AT+COPS?\r", 37, 200},
    {21, cat({{3, 21, 1}, lp("1234")}), "AT+CLCK=\"SC\",1,\"1234\"\r", 66, 800},
    {21, {2, 6, 2}, "AT+CLCK=\"FD\",2\r", 66, 800},
    {21, cat({{3, 21, 2}, lp("")}), "AT+CLCK=\"SC\",2\r", 66, 800},
    {22, {}, "AT+CLCK=?\r", 67, 400},
    {23, cat({{14}, lp("1111"), lp("2222")}), "AT+CPWD=\"P2\",\"1111\",\"2222\"\r", 68, 400},
    {24, {}, "AT+CPWD=?\r", 69, 400},
    {29, cat({lp("1234"), {0}}), "AT+CPIN=\"1234\"\r", 70, 1000},
    {29, cat({lp("12345678"), lp("4321")}), "AT+CPIN=\"12345678\",\"4321\"\r", 70, 1000},
    {30, {}, "AT+CPIN?\r", 39, 1000},
    {31, {21}, "AT~MPIN=\"SC\"\r", 72, 1000},
    {32, {}, "AT~MPIN?\r", 71, 1000},
    {33, {}, "AT+CBC\r", 30, 200},
    {35, {}, "AT+CSQ\r", 33, 200},
    {38, {}, "AT+CIND?\r", 42, 200},
    {39, {}, "AT+CIND=?\r", 41, 200},
    {40, {4, 1, 0, 0, 1}, "AT+CMER=1,0,0,1\r", 40, 200},
    {43, {4}, "AT+CPBS=\"SM\"\r", 4, 400},
    {45, {}, "AT+CPBS=?\r", 5, 400},
    {46, {7, 7}, "AT+CPBR=7\r", 1, 1000},
    {46, {7, 9}, "AT+CPBR=7,9\r", 1, 1000},
    {48, cat({{3}, lp("+33123"), {145}, lp("A\"B")}), "AT+CPBW=3,\"+33123\",145,\"A\\22B\"\r", 2, 1000},
    {48, cat({{3}, lp("0612"), {129}, lp("Ann\xe9")}), "AT+CPBW=3,\"0612\",129,\"Ann\\E9\"\r", 2, 1000},
    // A national (161) or network-specific (177) type is written as the
    // phone gave it; 145 only ever goes with a '+'.
    {48, cat({{3}, lp("0612"), {161}, lp("N")}), "AT+CPBW=3,\"0612\",161,\"N\"\r", 2, 1000},
    {48, cat({{3}, lp("1234"), {177}, lp("N")}), "AT+CPBW=3,\"1234\",177,\"N\"\r", 2, 1000},
    {48, cat({{3}, lp("0612"), {145}, lp("N")}), "AT+CPBW=3,\"0612\",129,\"N\"\r", 2, 1000},
    {48, cat({{3}, lp("+336"), {161}, lp("N")}), "AT+CPBW=3,\"+336\",145,\"N\"\r", 2, 1000},
    {48, cat({{5}, lp(""), {}, lp("")}), "AT+CPBW=5\r", 2, 1000},
    {48, cat({{5}, lp(""), {}, lp("Bob")}), "AT+CPBW=5,\"\",129,\"Bob\"\r", 2, 1000},
    {49, {}, "AT+CPBW=?\r", 3, 400},
    {50, {}, "AT+CCLK?\r", 57, 800},
    {51, when, "AT+CCLK=\"08/12/24,07:05:09+04\"\r", 56, 800},
    {51, {8, 12, 24, 7, 5, 9, '+', 0}, "AT+CCLK=\"08/12/24,07:05:09+00\"\r", 56, 800},
    {51, {8, 12, 24, 7, 5, 9, 1, 8}, "AT+CCLK=\"08/12/24,07:05:09-08\"\r", 56, 800},
    {62, {1, 3}, "AT+CPMS=\"SM\"\r", 19, 400},
    {62, {3, 1, 0, 3}, "AT+CPMS=\"ME\",\"ME\",\"SM\"\r", 19, 400},
    {64, {}, "AT+CPMS=?\r", 20, 400},
    {65, {0}, "AT+CMGF=0\r", 9, 400},
    {67, {}, "AT+CMGF=?\r", 10, 400},
    {72, cat({lp("+3360"), {145}}), "AT+CSCA=\"+3360\"\r", 21, 400},
    {72, cat({lp("+3360"), {129}}), "AT+CSCA=\"+3360\",129\r", 21, 400},
    {72, cat({lp("0660"), {129}}), "AT+CSCA=\"0660\"\r", 21, 400},
    {73, {}, "AT+CSCA?\r", 23, 400},
    {74, cat({{4, 17}, lp("\xa7"), {0, 0}}), "AT+CSMP=17,167,0,0\r", 24, 400},
    {74, cat({{4, 25}, {8, 8, 12, 24, 7, 5, 9, '+', 0}, {0, 4}}), "AT+CSMP=25,\"08/12/24,07:05:09+00\",0,4\r", 24, 400},
    {74, cat({{2, 1}, lp("")}), "AT+CSMP=1,\r", 24, 400},
    {74, {1, 17}, "AT+CSMP=17\r", 24, 400},
    {75, {}, "AT+CSMP?\r", 25, 400},
    {79, {1}, "AT+CSAS=1\r", 26, 1000},
    {80, {}, "AT+CSAS=?\r", 27, 400},
    {81, {2}, "AT+CRES=2\r", 28, 1000},
    {82, {}, "AT+CRES=?\r", 29, 400},
    {87, {4, 1, 1, 0, 0}, "AT+CNMI=1,1,0,0\r", 18, 400},
    {90, {0}, "AT+CMGL=\"REC UNREAD\"\r", 16, 1000},
    {90, {3}, "AT+CMGL=\"STO SENT\"\r", 16, 1000},
    {92, {12}, "AT+CMGR=12\r", 15, 1000},
    {94, cat({{0, 0, 0}, lp("+336"), {145}, lp("Hi")}), "AT+CMGS=\"+336\",145\r", 13, 1000},
    {95, cat({{4}, {0}}), "AT+CMSS=4\r", 17, 2050},
    {95, cat({{4}, lp("0612"), {129}}), "AT+CMSS=4,\"0612\",129\r", 17, 2050},
    {96, cat({{0, 0, 1, 3}, lp("0612"), {129}, lp("Hi")}), "AT+CMGW=\"0612\",129,\"STO SENT\"\r", 14, 1000},
    {96, cat({{0, 0, 1, 2}, lp("0612"), {129}, lp("Hi")}), "AT+CMGW=\"0612\",129\r", 14, 1000},
    {97, {9}, "AT+CMGD=9\r", 8, 1000},
    {109, {}, "AT~MVER\r", 32, 200},
    {110, {1}, "AT~MDAF=\"mm-dd-yy\"\r", 45, 800},
    {111, {}, "AT~MDAF?\r", 46, 800},
    {112, {1}, "AT~MTIF=\"24h\"\r", 47, 800},
    {113, {}, "AT~MTIF?\r", 48, 800},
    {114, {}, "AT~MDRR=?\r", 50, 800},
    {115, {1, 1}, "AT~MDRR=1\r", 49, 800},
    {115, {1, 3}, "AT~MDRR=1,3\r", 49, 800},
    {116, cat({{255}, when, lp("")}), "AT~MDRW=,\"08/12/24,07:05:09+04\",\r", 51, 800},
    {116, cat({{2}, when, lp("Tea \"now\""), {1, 2, 3}}),
     "AT~MDRW=2,\"08/12/24,07:05:09+04\",\"Tea \\22now\\22\",1,2,3\r", 51, 800},
    {117, {4}, "AT~MDRD=4\r", 52, 800},
    {118, {0, 1, 7, 30, 0, 0, 0}, "AT~MALW=\"ALA\",1,\"07:30:00+00\"\r", 53, 800},
    {119, {2}, "AT~MALR=\"AUW\"\r", 54, 800},
    {120, {1, 0}, "AT~MMER=1,0\r", 55, 800},
    {125, {3, 3}, "AT~MMYR=3\r", 58, 800},
    {125, {1, 5}, "AT~MMYR=1,5\r", 58, 800},
    {126, cat({lp("1,\"Tune\",3"), {0, 2}, {'a', 'b'}}), "AT~MMYW=1,\"Tune\",3\r", 60, 800},
    {127, {}, "AT~MMYW=?\r", 61, 800},
    {128, cat({lp("1,\"Tune\",3"), {0, 1}, {'a'}}), "AT~MMYP=1,\"Tune\",3\r", 63, 800},
    {129, {}, "AT~MMYS\r", 64, 800},
    {134, {}, "AT\r", 6, 200},
};

std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s)
        out += c == '\r' ? std::string("<CR>") : std::string(1, static_cast<char>(c));
    return out;
}

}  // namespace

TEST(AtFormat, GoldenCommandTextOfEveryRequest)
{
    std::set<int> covered;
    for (const Golden& g : golden) {
        AtiHarness h;
        h.request(g.req, g.params);
        h.run();
        SCOPED_TRACE("request " + std::to_string(g.req));
        EXPECT_EQ(printable(h.output()), printable(g.text));
        EXPECT_EQ(ati_command, g.command);
        EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), g.ticks);
        EXPECT_EQ(h.confirm_summary(), "");
        covered.insert(g.req);
    }
    // Every request number with a formatter has a golden line.
    for (int n = 0; n < 135; ++n) {
        if (ati_formatter_for(static_cast<uint8_t>(n))) {
            EXPECT_TRUE(covered.count(n)) << "no golden text for request " << n;
        }
    }
}

TEST(AtFormat, RequestWithoutFormatterIsAnsweredAtOnce)
{
    for (uint8_t n : {3, 47, 93, 133}) {
        AtiHarness h;
        h.request(n);
        h.run();
        EXPECT_EQ(h.output(), "");
        EXPECT_EQ(h.confirm_summary(), "230/9");
        EXPECT_EQ(ati_command, AT_CMD_NONE);
    }
}

TEST(AtFormat, InjectionIntoNumbersIsRefused)
{
    // A quote, a semicolon, a line end or ^Z in a number written as it is
    // would end the command line or start another command.
    for (std::string bad : std::vector<std::string>{"0612\";+CMGD=1", "06;12", "06\r12", std::string("06\x1a") + "1", "06+12", "06 12"}) {
        SCOPED_TRACE(printable(bad));
        for (uint8_t req : {AT_REQ_DIAL, AT_REQ_CPBW, AT_REQ_CSCA_SET, AT_REQ_CMSS, AT_REQ_CMGS}) {
            AtiHarness h;
            std::vector<uint8_t> p;
            if (req == AT_REQ_DIAL || req == AT_REQ_CSCA_SET)
                p = cat({lp(bad), {129}});
            else if (req == AT_REQ_CPBW)
                p = cat({{1}, lp(bad), {129}, lp("x")});
            else if (req == AT_REQ_CMSS)
                p = cat({{1}, lp(bad), {129}});
            else
                p = cat({{0, 0, 0}, lp(bad), {129}, lp("hi")});
            h.request(req, p);
            h.run();
            EXPECT_EQ(h.output(), "") << "request " << int(req);
            EXPECT_EQ(h.confirm_summary(), "230/0") << "request " << int(req);
            EXPECT_EQ(ati_command, AT_CMD_NONE);
        }
    }
}

TEST(AtFormat, MalformedRequestBlocksAreRefused)
{
    AtiHarness h;
    h.request(AT_REQ_CPBW, {3, 40, '1'});  // number length past the block's end
    h.request(AT_REQ_CPBS_SET, {9});        // no such storage
    h.request(AT_REQ_CLCK_SET, cat({{3, 21, 1}, lp(std::string(17, '1'))}));  // password > 16
    h.request(AT_REQ_CPIN_SET, cat({lp(std::string(20, '1')), {0}}));
    h.request(AT_REQ_CMER_SET, {9, 1});
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "230/0 230/0 230/0 230/0 230/0");
}

TEST(AtFormat, LongLineGoesOutInSeveralBlocksAsOneLine)
{
    AtiHarness h;
    std::string name(100, 'x');
    h.request(AT_REQ_CPBW, cat({{1}, lp("0612"), {129}, lp(name + "\"")}));
    h.run();
    auto msgs = h.confirms();  // nothing but text blocks
    EXPECT_TRUE(msgs.empty());
    AtiHarness h2;
    h2.request(AT_REQ_CPBW, cat({{1}, lp("0612"), {129}, lp(name + "\"")}));
    h2.run();
    h2.collect();
    ASSERT_EQ(h2.pending_confirms_.size(), 2u);
    EXPECT_EQ((h2.pending_confirms_[0][2] << 8) | h2.pending_confirms_[0][3], 116);
    EXPECT_EQ(h2.output(), "AT+CPBW=1,\"0612\",129,\"" + name + "\\22\"\r");
}

TEST(AtFormat, QuotedTextPassesTheEncodeConversion)
{
    uint8_t g2w[128], w2g[256];
    for (int i = 0; i < 128; ++i) g2w[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i) w2g[i] = static_cast<uint8_t>(i);
    w2g[0xE9] = 0x05;  // e acute in the GSM alphabet
    w2g['@'] = 0x00;
    at_set_conversion_tables(g2w, w2g);
    AtiHarness h;
    h.request(AT_REQ_CPBW, cat({{1}, lp("1"), {129}, lp("\xe9@a")}));
    h.run();
    EXPECT_EQ(h.output(), "AT+CPBW=1,\"1\",129,\"\\E9@a\"\r");  // identity, then escaped
    h.feed("\r\nOK\r\n");
    h.request(AT_REQ_CSCS_SET, {0});
    h.feed("\r\nOK\r\n");
    h.request(AT_REQ_CPBW, cat({{1}, lp("1"), {129}, lp("\xe9@a")}));
    h.run();
    std::string out = h.output();
    EXPECT_EQ(h.confirm_summary(), "229 229");
    EXPECT_EQ(out, "AT+CSCS=\"GSM\"\rAT+CPBW=1,\"1\",129,\"\\05\\00a\"\r");
    at_set_conversion_tables(g2w, w2g);
    for (int i = 0; i < 256; ++i) w2g[i] = static_cast<uint8_t>(i);
    at_set_conversion_tables(g2w, w2g);
}

TEST(AtFormat, MelodyNotesGoOutALineAfterEachPrompt)
{
    AtiHarness h;
    std::string notes = "c4 d4\re4\rf4 g4\r";
    h.request(AT_REQ_MMYW, cat({lp("1,\"Tune\",3"), {0, static_cast<uint8_t>(notes.size())},
                                std::vector<uint8_t>(notes.begin(), notes.end())}));
    h.run();
    EXPECT_EQ(h.output(), "AT~MMYW=1,\"Tune\",3\r");
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "c4 d4\r");
    EXPECT_EQ(ati_command, AT_CMD_MMYW);
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "e4\r");
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "f4 g4\r\x1a");
    EXPECT_EQ(ati_command, AT_CMD_MMYW_BODY);
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 800u);
    h.feed("\r\nOK\r\n");
    h.run();
    EXPECT_EQ(h.confirm_summary(), "229");
    EXPECT_EQ(ati_command, AT_CMD_NONE);
}

TEST(AtFormat, TextModeMessageBodyAfterThePrompt)
{
    AtiHarness h;
    h.request(AT_REQ_CMGS, cat({{0, 0, 0}, lp("0612"), {129}, lp("Hello\rworld")}));
    h.run();
    EXPECT_EQ(h.output(), "AT+CMGS=\"0612\",129\r");
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "Hello\r");
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "world\x1a");
    EXPECT_EQ(ati_command, AT_CMD_CMGS_BODY);
    EXPECT_EQ(h.timer_ticks(ATI_TIMER_COMMAND), 2050u);
    h.feed("\r\n+CMGS: 17\r\n\r\nOK\r\n");
    h.run();
    auto c = h.confirms();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0][1], AT_CNF_CMGS);
    EXPECT_EQ(c[0][2], 17);
    EXPECT_EQ(c[1][1], AT_CNF_OK);
}

TEST(AtFormat, BodiesThatWouldEndOrAbortTheMessageAreRefused)
{
    for (char bad : {'\x1a', '\x1b'}) {
        AtiHarness h;
        h.request(AT_REQ_CMGS, cat({{0, 0, 0}, lp("0612"), {129}, lp(std::string("ab") + bad + "cd")}));
        h.run();
        EXPECT_EQ(h.output(), "");
        EXPECT_EQ(h.confirm_summary(), "230/0");
    }
}

TEST(AtFormat, PduModeSubmit)
{
    AtiHarness h;
    ati_sms_mode = 0;
    // Header: no service centre, fo 0x11, submit (1, mr 0), pid 0, dcs 0,
    // 0, relative validity 167; no concatenation; send; destination; text.
    std::vector<uint8_t> header = cat({lp(""), {0x11, 1, 0, 0, 0, 0}, lp("\xa7")});
    h.request(AT_REQ_CMGS, cat({{static_cast<uint8_t>(header.size())}, header, {0, 0},
                                lp("+33612345678"), {145}, lp("hellohello")}));
    h.run();
    EXPECT_EQ(h.output(), "AT+CMGS=23\r");
    h.feed("\r\n> ");
    h.run();
    EXPECT_EQ(h.output(), "0011000B913316325476F80000A70AE8329BFD4697D9EC37\x1a");
    EXPECT_EQ(ati_command, AT_CMD_CMGS_BODY);
}

TEST(AtFormat, PduModeRefusesTooLongText)
{
    AtiHarness h;
    ati_sms_mode = 0;
    std::vector<uint8_t> header = cat({lp(""), {0x11, 1, 0, 0, 0, 0}, lp("\xa7")});
    h.request(AT_REQ_CMGS, cat({{static_cast<uint8_t>(header.size())}, header, {0, 0},
                                lp("0612"), {129}, lp(std::string(161, 'a'))}));
    h.run();
    EXPECT_EQ(h.output(), "");
    EXPECT_EQ(h.confirm_summary(), "230/0");
}
