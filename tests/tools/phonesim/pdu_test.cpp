#include "pdu.h"

#include <gtest/gtest.h>

namespace phonesim {
namespace {

// Reference PDUs built by hand, field by field, from GSM 03.40.
// SCA "+33689004000": length 07, type 91, semi-octets 33 86 09 40 00 F0.
const char* const kSca = "07913386094000F0";
// Address "+33612345678": 11 digits, type 91, 33 16 32 54 76 F8.
const char* const kAddr = "0B913316325476F8";

Tpdu decodeHex(const std::string& hex) {
    const auto bytes = fromHex(hex);
    EXPECT_TRUE(bytes);
    std::string error;
    const auto t = decodeTpdu(*bytes, &error);
    EXPECT_TRUE(t) << error;
    return t ? *t : Tpdu{};
}

TEST(Pdu, DeliverSevenBit) {
    // fo 04, OA, PID 00, DCS 00, SCTS 24/05/06 14:30:00 +08 quarters,
    // UDL 05, "Hello" packed.
    const std::string tpdu = std::string("04") + kAddr + "0000" + "42506041030080" + "05C8329BFD06";
    const Tpdu t = decodeHex(tpdu);
    EXPECT_EQ(t.kind, Tpdu::Kind::Deliver);
    EXPECT_EQ(t.addr, (Address{"+33612345678", 145}));
    EXPECT_EQ(t.scts.text(), "24/05/06,14:30:00+08");
    EXPECT_EQ(t.ud, "Hello");
    EXPECT_EQ(toHex(encodeTpdu(t)), tpdu);
    EXPECT_EQ(encodeTpdu(t).size(), 24u);

    const auto split = splitSca(*fromHex(kSca + tpdu));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->sca, (Address{"+33689004000", 145}));
    EXPECT_EQ(toHex(encodeSca(split->sca)), kSca);
    EXPECT_EQ(toHex(split->tpdu), tpdu);
}

TEST(Pdu, SubmitSevenBitWithRelativeValidity) {
    // fo 31 (submit, relative VP, status report), MR 00, DA, PID, DCS,
    // VP A7 (one day), UDL 05, "Hello".
    const std::string tpdu = std::string("3100") + kAddr + "0000A7" + "05C8329BFD06";
    const Tpdu t = decodeHex(tpdu);
    EXPECT_EQ(t.kind, Tpdu::Kind::Submit);
    EXPECT_EQ(t.fo, 0x31);
    EXPECT_EQ(t.vpRelative, 0xA7);
    EXPECT_EQ(t.ud, "Hello");
    EXPECT_EQ(toHex(encodeTpdu(t)), tpdu);
    EXPECT_EQ(encodeTpdu(t).size(), 19u);
}

TEST(Pdu, SubmitSevenBitWithConcatenationHeader) {
    // fo 51 (UDHI + relative VP + submit); UDH 05 00 03 2A 02 01 (ref 42,
    // part 1 of 2) is 7 septets with one fill bit; "Hi" follows: 90 69.
    // UDL = 7 + 2 = 9 septets.
    const std::string tpdu = std::string("5100") + kAddr + "0000A7" + "09" + "0500032A0201" + "9069";
    const Tpdu t = decodeHex(tpdu);
    EXPECT_EQ(t.udh, (std::vector<uint8_t>{0x00, 0x03, 0x2A, 0x02, 0x01}));
    EXPECT_EQ(t.ud, "Hi");
    EXPECT_EQ(toHex(encodeTpdu(t)), tpdu);
}

TEST(Pdu, DeliverEightBitAndUcs2) {
    const std::string eight = std::string("04") + kAddr + "0004" + "42506041030080" + "030102FF";
    const Tpdu t8 = decodeHex(eight);
    EXPECT_EQ(alphabetOf(t8.dcs), Alphabet::Eight);
    EXPECT_EQ(t8.ud, std::string("\x01\x02\xFF", 3));
    EXPECT_EQ(toHex(encodeTpdu(t8)), eight);

    // "Hé" in UCS2: 00 48 00 E9, UDL counts octets.
    const std::string ucs2 = std::string("04") + kAddr + "0008" + "42506041030080" + "04004800E9";
    const Tpdu t16 = decodeHex(ucs2);
    EXPECT_EQ(alphabetOf(t16.dcs), Alphabet::Ucs2);
    EXPECT_EQ(t16.ud, std::string("\x00\x48\x00\xE9", 4));
    EXPECT_EQ(toHex(encodeTpdu(t16)), ucs2);
}

TEST(Pdu, StatusReport) {
    // fo 06, MR 2A, RA, SCTS 14:30:00, DT 14:30:05, ST 00: 25 octets.
    const std::string tpdu = std::string("062A") + kAddr + "42506041030080" + "42506041035080" + "00";
    const Tpdu t = decodeHex(tpdu);
    EXPECT_EQ(t.kind, Tpdu::Kind::StatusReport);
    EXPECT_EQ(t.mr, 42);
    EXPECT_EQ(t.dt.text(), "24/05/06,14:30:05+08");
    EXPECT_EQ(encodeTpdu(t).size(), 25u);
    EXPECT_EQ(toHex(encodeTpdu(t)), tpdu);
}

TEST(Pdu, NegativeZoneAndNationalNumbers) {
    Tpdu t;
    t.addr = {"0612345678", 129};
    t.scts = *Timestamp::parse("99/12/31,23:59:58-16");
    t.ud = "x";
    const auto bytes = encodeTpdu(t);
    // Zone -16 quarters: digits 1,6 swapped, sign bit 0x08 in the tens nibble.
    EXPECT_EQ(toHex(bytes).substr(20, 14), "99211332958569");
    const auto back = decodeTpdu(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->scts.text(), "99/12/31,23:59:58-16");
    EXPECT_EQ(back->addr, t.addr);
}

TEST(Pdu, MalformedPdusAreRefused) {
    std::string error;
    // UDL disagreeing with the data: too few octets, then one too many.
    EXPECT_FALSE(decodeTpdu(*fromHex(std::string("04") + kAddr + "0000" + "42506041030080" + "08C8329BFD06"), &error));
    EXPECT_FALSE(decodeTpdu(*fromHex(std::string("3100") + kAddr + "0000A7" + "05C8329BFD0600"), &error));
    // Address longer than the PDU.
    EXPECT_FALSE(decodeTpdu(*fromHex("31001491331632"), &error));
    // A header length beyond the user data.
    EXPECT_FALSE(decodeTpdu(*fromHex(std::string("5100") + kAddr + "0000A7" + "02" + "0900"), &error));
    EXPECT_FALSE(fromHex("0G"));
    EXPECT_FALSE(fromHex("123"));
    EXPECT_FALSE(Timestamp::parse("24/13/06,14:30:00+08"));
    EXPECT_FALSE(Timestamp::parse("24/05/06 14:30:00+08"));
}

}  // namespace
}  // namespace phonesim
