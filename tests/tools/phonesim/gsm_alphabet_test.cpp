#include "gsm_alphabet.h"

#include <gtest/gtest.h>

#include "phone.h"

namespace phonesim {
namespace {

TEST(GsmAlphabet, BasicTableBothWays) {
    // Letters and digits keep their codes; the others move.
    EXPECT_EQ(winToGsm("Az09 !?"), "Az09 !?");
    EXPECT_EQ(winToGsm("@"), std::string(1, '\x00'));
    EXPECT_EQ(winToGsm("\xE9"), "\x05");          // é
    EXPECT_EQ(winToGsm("\xA3\xA5\xE8"), "\x01\x03\x04");  // £ ¥ è
    EXPECT_EQ(winToGsm("_"), "\x11");
    EXPECT_EQ(winToGsm("\xA1\xBF\xE0"), "\x40\x60\x7F");  // ¡ ¿ à
    EXPECT_EQ(winToGsm("\xC4\xF6\xD1\xFC\xA7"), "\x5B\x7C\x5D\x7E\x5F");
    EXPECT_EQ(winToGsm("$\xA4"), "\x02\x24");  // $ and ¤ swap places
    EXPECT_EQ(gsmToWin(std::string("\x00\x05\x11\x24\x40\x60\x7F", 7)), "@\xE9_\xA4\xA1\xBF\xE0");
    // Greek capitals have no Windows-1252 form; unmappable PC characters become '?'.
    EXPECT_EQ(gsmToWin("\x10\x12"), "??");
    EXPECT_EQ(winToGsm("\xB5"), "?");
    // Every GSM code with a Windows-1252 form survives the round trip.
    for (int code = 0; code < 128; ++code) {
        if (code == 0x1B) continue;
        const std::string win = gsmToWin(std::string(1, static_cast<char>(code)));
        if (win == "?" && code != 0x3F) continue;
        EXPECT_EQ(winToGsm(win), std::string(1, static_cast<char>(code))) << "code " << code;
    }
}

TEST(GsmAlphabet, ExtensionTable) {
    const std::string win = "\x80[]{}\\^~|";
    const std::string gsm = winToGsm(win);
    EXPECT_EQ(gsm, std::string("\x1B\x65\x1B\x3C\x1B\x3E\x1B\x28\x1B\x29\x1B\x2F\x1B\x14\x1B\x3D\x1B\x40", 18));
    EXPECT_EQ(gsmToWin(gsm), win);
    // An unknown extension code reads as a blank, not as the next character.
    EXPECT_EQ(gsmToWin("\x1B\x41" "A"), " A");
}

TEST(GsmAlphabet, SeptetPacking) {
    // "Hello" is the classic C8 32 9B FD 06.
    const std::vector<uint8_t> packed = packSeptets("Hello");
    EXPECT_EQ(packed, (std::vector<uint8_t>{0xC8, 0x32, 0x9B, 0xFD, 0x06}));
    EXPECT_EQ(unpackSeptets(packed.data(), packed.size(), 5), "Hello");
    // Eight septets fill exactly seven octets.
    const std::vector<uint8_t> eight = packSeptets("12345678");
    EXPECT_EQ(eight.size(), 7u);
    EXPECT_EQ(unpackSeptets(eight.data(), eight.size(), 8), "12345678");
    // After a 6-octet header the text starts one fill bit later.
    const std::vector<uint8_t> shifted = packSeptets("Hi", 1);
    EXPECT_EQ(shifted, (std::vector<uint8_t>{0x90, 0x69}));
    EXPECT_EQ(unpackSeptets(shifted.data(), shifted.size(), 2, 1), "Hi");
}

std::string at(Phone& phone, const std::string& command) {
    phone.receive(command + "\r");
    return phone.takeOutput();
}

TEST(GsmAlphabet, QuotedTextsAreGsmCodedAndEscapedAfterCscs) {
    Phone phone;
    ASSERT_EQ(phone.apply("entry SM 5 \"+33612345678\" 145 \"\\E9l\\E8ve@\\80[\\22\""), "ok");
    // Before +CSCS the name passes unchanged, non-printing bytes escaped.
    EXPECT_EQ(at(phone, "AT+CPBR=5"),
              "\r\n+CPBR: 5,\"+33612345678\",145,\"\\E9l\\E8ve@\\80[\\22\"\r\n\r\nOK\r\n");
    EXPECT_EQ(at(phone, "AT+CSCS=\"GSM\""), "\r\nOK\r\n");
    // After it: GSM codes, every byte outside 32-126 and every quote and
    // backslash escaped with upper-case hex.
    EXPECT_EQ(at(phone, "AT+CPBR=5"),
              "\r\n+CPBR: 5,\"+33612345678\",145,\"\\05l\\04ve\\00\\1Be\\1B<\\22\"\r\n\r\nOK\r\n");
    // What the program writes in GSM codes is read back the same way.
    EXPECT_EQ(at(phone, "AT+CPBW=6,\"0123\",129,\"\\1B\\3C\\05\\5C\""), "\r\nOK\r\n");
    // GSM 0x5C is Ö; it goes back as 0x5C, the backslash byte, so escaped.
    EXPECT_EQ(at(phone, "AT+CPBR=6"), "\r\n+CPBR: 6,\"0123\",129,\"\\1B<\\05\\5C\"\r\n\r\nOK\r\n");
    ASSERT_EQ(phone.apply("set lowercase-hex on"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBR=6"), "\r\n+CPBR: 6,\"0123\",129,\"\\1b<\\05\\5c\"\r\n\r\nOK\r\n");
}

}  // namespace
}  // namespace phonesim
