// GSM 03.40 short-message PDUs: SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT,
// with the service-centre address prefix used on the AT interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace phonesim {

// A time stamp as "yy/MM/dd,hh:mm:ss" plus a zone in signed quarter hours.
struct Timestamp {
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int zone = 0;

    // "yy/MM/dd,hh:mm:ss+zz" (22 characters with the quotes added by callers).
    std::string text() const;
    static std::optional<Timestamp> parse(std::string_view text);
    bool operator==(const Timestamp&) const = default;
};

// A phone number: digits (and * # a b c) with a leading '+' when the type is
// international (145); an alphanumeric address (type 208) holds Windows-1252 text.
struct Address {
    std::string number;
    int type = 129;
    bool operator==(const Address&) const = default;
};

enum class Alphabet { Default7, Eight, Ucs2 };
Alphabet alphabetOf(int dcs);

struct Tpdu {
    enum class Kind { Deliver, Submit, StatusReport };
    Kind kind = Kind::Deliver;
    int fo = 0x04;
    int mr = 0;
    Address addr;  // originator (deliver), destination (submit), recipient (report)
    int pid = 0;
    int dcs = 0;
    Timestamp scts;  // deliver, status report
    Timestamp dt;    // status report: discharge time
    int st = 0;      // status report
    int vpRelative = 167;  // submit, fo bits 3-4 = 10
    Timestamp vpAbsolute;  // submit, fo bits 3-4 = 11
    std::vector<uint8_t> udh;  // user-data header without its length octet
    std::string ud;  // 7-bit: one GSM code per byte; otherwise raw octets
};

std::string toHex(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> fromHex(std::string_view hex);

// The service-centre prefix: length, type, semi-octets; "00" when empty.
std::vector<uint8_t> encodeSca(const Address& sca);
std::vector<uint8_t> encodeTpdu(const Tpdu& tpdu);

// Decodes a TPDU; the message type comes from the first octet (0 deliver,
// 1 submit, 2 status report). Returns nullopt and an error text when the
// PDU is malformed or its length fields disagree with its size.
std::optional<Tpdu> decodeTpdu(const std::vector<uint8_t>& bytes, std::string* error = nullptr);

// Splits "<sca><tpdu>" bytes; nullopt when the prefix is malformed.
struct ScaSplit {
    Address sca;
    std::vector<uint8_t> tpdu;
};
std::optional<ScaSplit> splitSca(const std::vector<uint8_t>& bytes);

}  // namespace phonesim
