// The GSM conversion tables the build lays in the program's Files folder,
// loaded through the engine's loader.
#include <gtest/gtest.h>

#include <string>

#include "at_charset.h"
#if __has_include("gsm_alphabet.h")
#include "gsm_alphabet.h"
#define HAVE_SIM_ALPHABET 1
#endif

namespace {

class BuiltConversionTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failed;
        ASSERT_TRUE(at_load_conversion_tables(ZORQ_TEST_PROGRAM_DIR "/Files/", &failed)) << failed;
    }
    void TearDown() override
    {
        // Back to the identity tables the other tests start from.
        uint8_t g2w[128], w2g[256];
        for (int i = 0; i < 256; ++i) {
            if (i < 128)
                g2w[i] = static_cast<uint8_t>(i);
            w2g[i] = static_cast<uint8_t>(i);
        }
        at_set_conversion_tables(g2w, w2g);
    }
};

}  // namespace

TEST_F(BuiltConversionTables, KnownCodesMapBothWays)
{
    struct pair {
        uint8_t gsm, win;
    };
    const pair pairs[] = {
        {0x00, 0x40}, {0x01, 0xA3}, {0x02, 0x24}, {0x05, 0xE9}, {0x09, 0xC7}, {0x0A, 0x0A},
        {0x0D, 0x0D}, {0x11, 0x5F}, {0x1C, 0xC6}, {0x1E, 0xDF}, {0x1F, 0xC9}, {0x20, 0x20},
        {0x24, 0xA4}, {0x40, 0xA1}, {0x41, 'A'},  {0x5B, 0xC4}, {0x5F, 0xA7}, {0x60, 0xBF},
        {0x61, 'a'},  {0x7B, 0xE4}, {0x7F, 0xE0},
    };
    for (const pair& p : pairs) {
        EXPECT_EQ(at_gsm_to_win(p.gsm), p.win) << "GSM " << int(p.gsm);
        EXPECT_EQ(at_win_to_gsm(p.win), p.gsm) << "Windows " << int(p.win);
    }
    // Codes with no Windows-1252 character, and the escape, decode to '?'.
    for (uint8_t gsm : {0x10, 0x12, 0x1A, 0x1B})
        EXPECT_EQ(at_gsm_to_win(gsm), '?') << int(gsm);
    // Bytes above 127 from the phone pass unchanged.
    EXPECT_EQ(at_gsm_to_win(0x80), 0x80);
}

TEST_F(BuiltConversionTables, EveryGsmCharacterComesBackAndNothingEncodesToAControlCode)
{
    for (int gsm = 0; gsm < 128; ++gsm) {
        uint8_t win = at_gsm_to_win(static_cast<uint8_t>(gsm));
        if (win == '?' && gsm != 0x3F)
            continue;  // no Windows-1252 character
        EXPECT_EQ(at_win_to_gsm(win), gsm) << "GSM " << gsm;
    }
    for (int win = 0; win < 256; ++win) {
        uint8_t gsm = at_win_to_gsm(static_cast<uint8_t>(win));
        EXPECT_LT(gsm, 0x80) << win;
        // Never the escape or ^Z: either would break a text-mode message.
        EXPECT_NE(gsm, 0x1B) << win;
        EXPECT_NE(gsm, 0x1A) << win;
    }
}

TEST_F(BuiltConversionTables, CharactersWithoutADefaultCodeTakeASubstitute)
{
    // Extension-table characters cannot be written one byte for one byte.
    EXPECT_EQ(at_win_to_gsm('['), '(');
    EXPECT_EQ(at_win_to_gsm('}'), ')');
    EXPECT_EQ(at_win_to_gsm('\\'), '/');
    EXPECT_EQ(at_win_to_gsm('^'), '?');
    EXPECT_EQ(at_win_to_gsm('~'), '?');
    EXPECT_EQ(at_win_to_gsm('|'), '?');
    EXPECT_EQ(at_win_to_gsm(0x80), '?');  // euro sign
    // Accented letters the alphabet lacks lose their accent.
    EXPECT_EQ(at_win_to_gsm(0xE1), 'a');  // á
    EXPECT_EQ(at_win_to_gsm(0xC8), 'E');  // È
    EXPECT_EQ(at_win_to_gsm(0xE7), 0x09); // ç as Ç
    EXPECT_EQ(at_win_to_gsm(0x00), '?');
}

#ifdef HAVE_SIM_ALPHABET
// The simulator keeps its own mapping: the two must agree wherever a
// character has a default-alphabet code.
TEST_F(BuiltConversionTables, AgreeWithTheSimulatorsMapping)
{
    for (int gsm = 0; gsm < 128; ++gsm) {
        if (gsm == 0x1B)
            continue;
        std::string win = phonesim::gsmToWin(std::string(1, static_cast<char>(gsm)));
        ASSERT_EQ(win.size(), 1u);
        EXPECT_EQ(at_gsm_to_win(static_cast<uint8_t>(gsm)), static_cast<uint8_t>(win[0])) << gsm;
    }
    for (int win = 0; win < 256; ++win) {
        std::string gsm = phonesim::winToGsm(std::string(1, static_cast<char>(win)));
        if (gsm.size() != 1 || (gsm[0] == '?' && win != '?'))
            continue;  // extension character or none: the tables substitute
        EXPECT_EQ(at_win_to_gsm(static_cast<uint8_t>(win)), static_cast<uint8_t>(gsm[0])) << win;
    }
}
#endif
