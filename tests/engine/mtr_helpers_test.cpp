// Payload helpers of the request frame and the conversion-table loader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "at_charset.h"
#include "mtr_frame.h"

namespace {

std::string packed(const std::string& number, unsigned maximum, int* ok)
{
    uint8_t buf[300];
    uint8_t* p = buf;
    *ok = mtr_pack_number(&p, number, maximum);
    if (!*ok) {
        EXPECT_EQ(p, buf);  // the cursor does not move on a refusal
        return "";
    }
    return std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(p - buf));
}

}  // namespace

TEST(MtrPackNumber, BlanksPausesAndTheInternationalSign)
{
    int ok;
    EXPECT_EQ(packed(" +33 1 23p4", 20, &ok), std::string("\x08+33123A4\x91", 10));
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(packed("0612", 20, &ok), std::string("\x04" "0612\x81", 6));
    EXPECT_EQ(packed("*#21#", 20, &ok), std::string("\x05*#21#\x81", 7));
    // A trailing blank after a full-length number is no extra character.
    EXPECT_EQ(packed("+" + std::string(20, '1') + " ", 20, &ok).size(), 23u);
    EXPECT_EQ(ok, 1);
}

TEST(MtrPackNumber, LimitsAndRefusals)
{
    int ok;
    packed(std::string(21, '1'), 20, &ok);
    EXPECT_EQ(ok, 0);
    packed("+" + std::string(20, '1'), 20, &ok);  // the '+' does not count
    EXPECT_EQ(ok, 1);
    packed("+33+12", 20, &ok);
    EXPECT_EQ(ok, 0);
    packed("33+12", 20, &ok);  // '+' only in front
    EXPECT_EQ(ok, 0);
    // Characters that could end or add a command line are refused.
    for (std::string bad : std::vector<std::string>{"0612\"", "06;12", "06\r12", std::string("06\x1a"), "06,1", "06A1", "ATH"}) {
        packed(bad, 20, &ok);
        EXPECT_EQ(ok, 0) << bad;
    }
}

TEST(MtrPayload, StringsListsAndYears)
{
    uint8_t buf[600];
    EXPECT_EQ(mtr_put_string8(buf, std::string(255, 'x')), buf + 256);
    EXPECT_EQ(mtr_put_string8(buf, std::string(256, 'x')), nullptr);  // would wrap the length byte
    EXPECT_EQ(mtr_put_string8(buf, "abcdef", 5), nullptr);
    uint8_t* end = mtr_put_string16(buf, std::string(300, 'y'));
    EXPECT_EQ(end, buf + 302);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 44);

    // A string sent back by the AT task: length, characters, spare byte.
    uint8_t number[] = {4, '1', 'A', '2', 'A', 145, 9};
    uint8_t* cur = number;
    EXPECT_STREQ(mtr_get_string(&cur, true), "1p2p");
    EXPECT_EQ(cur, number + 6);
    uint8_t name[] = {10, 'B', 'A', 'N', 'K', ' ', 'A', 'L', 'E', 'R', 'T', 0};
    cur = name;
    EXPECT_STREQ(mtr_get_string(&cur), "BANK ALERT");  // an alphanumeric sender is kept

    uint8_t copy[8];
    const uint8_t src[] = {3, 'a', 'b', 'c'};
    EXPECT_EQ(mtr_copy_string(copy, src), copy + 4);
    EXPECT_EQ(std::memcmp(copy, src, 4), 0);

    const uint8_t list[] = {3, 0, 2, 4};
    EXPECT_TRUE(mtr_list_has_value(list, 2));
    EXPECT_FALSE(mtr_list_has_value(list, 3));
    const uint8_t ranges[] = {2, 1, 10, 20, 30};
    EXPECT_TRUE(mtr_ranges_have_value(ranges, 25));
    EXPECT_FALSE(mtr_ranges_have_value(ranges, 15));

    EXPECT_EQ(mtr_year_from_2digits(95), 2095);
    EXPECT_EQ(mtr_year_from_2digits(96), 1996);
    EXPECT_EQ(mtr_year_to_2digits(2008), 8);
}

TEST(ConversionTables, ReadWholeAndBinary)
{
    std::string dir = ::testing::TempDir() + "cvt-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(dir);
    auto write = [&](const std::string& name, size_t n) {
        std::ofstream f(dir + name, std::ios::binary);
        for (size_t i = 0; i < n; ++i)
            f.put(static_cast<char>((n - 1 - i) % 256));
    };
    std::string failed;
    EXPECT_FALSE(at_load_conversion_tables(dir, &failed));
    EXPECT_EQ(failed, dir + "GSMToWin.cvt");
    write("GSMToWin.cvt", 127);  // short
    write("WinToGSM.cvt", 256);
    EXPECT_FALSE(at_load_conversion_tables(dir, &failed));
    EXPECT_EQ(failed, dir + "GSMToWin.cvt");
    write("GSMToWin.cvt", 128);
    write("WinToGSM.cvt", 257);  // long
    EXPECT_FALSE(at_load_conversion_tables(dir, &failed));
    EXPECT_EQ(failed, dir + "WinToGSM.cvt");
    write("WinToGSM.cvt", 256);
    ASSERT_TRUE(at_load_conversion_tables(dir));
    // Every byte arrives as it is, ^Z, CR and LF included.
    EXPECT_EQ(at_gsm_to_win(0), 127);
    EXPECT_EQ(at_gsm_to_win(127 - 0x1A), 0x1A);
    EXPECT_EQ(at_gsm_to_win(127 - 13), 13);
    EXPECT_EQ(at_gsm_to_win(200), 200);  // above 127: unchanged
    EXPECT_EQ(at_win_to_gsm(255 - 10), 10);
    uint8_t g[128], w[256];
    for (int i = 0; i < 128; ++i) g[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i) w[i] = static_cast<uint8_t>(i);
    at_set_conversion_tables(g, w);
    std::filesystem::remove_all(dir);
}
