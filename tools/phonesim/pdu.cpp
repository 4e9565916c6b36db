#include "pdu.h"

#include <cstdio>

#include "gsm_alphabet.h"

namespace phonesim {
namespace {

constexpr char kSemiDigits[] = "0123456789*#abc";

int semiValue(char c) {
    for (int i = 0; i < 15; ++i)
        if (kSemiDigits[i] == c) return i;
    if (c == 'A') return 10;  // the program's pause marker
    if (c >= 'B' && c <= 'E') return c - 'A' + 10;
    return -1;
}

void putSemiOctets(std::vector<uint8_t>& out, std::string_view digits) {
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int lo = semiValue(digits[i]);
        const int hi = i + 1 < digits.size() ? semiValue(digits[i + 1]) : 15;
        out.push_back(static_cast<uint8_t>(((hi & 15) << 4) | (lo & 15)));
    }
}

std::string getSemiOctets(const uint8_t* data, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const int nibble = (i % 2 == 0) ? (data[i / 2] & 15) : (data[i / 2] >> 4);
        if (nibble == 15) break;
        out += kSemiDigits[nibble];
    }
    return out;
}

uint8_t bcd(int value) {
    return static_cast<uint8_t>(((value % 10) << 4) | ((value / 10) % 10));
}

int unbcd(uint8_t octet) { return (octet & 15) * 10 + (octet >> 4); }

void putTimestamp(std::vector<uint8_t>& out, const Timestamp& t) {
    out.push_back(bcd(t.year));
    out.push_back(bcd(t.month));
    out.push_back(bcd(t.day));
    out.push_back(bcd(t.hour));
    out.push_back(bcd(t.minute));
    out.push_back(bcd(t.second));
    const int q = t.zone < 0 ? -t.zone : t.zone;
    uint8_t zone = bcd(q);
    if (t.zone < 0) zone |= 0x08;
    out.push_back(zone);
}

Timestamp getTimestamp(const uint8_t* p) {
    Timestamp t;
    t.year = unbcd(p[0]);
    t.month = unbcd(p[1]);
    t.day = unbcd(p[2]);
    t.hour = unbcd(p[3]);
    t.minute = unbcd(p[4]);
    t.second = unbcd(p[5]);
    t.zone = unbcd(p[6] & 0xF7);
    if (p[6] & 0x08) t.zone = -t.zone;
    return t;
}

bool isAlphanumeric(const Address& a) { return (a.type & 0x70) == 0x50; }

void putAddress(std::vector<uint8_t>& out, const Address& a) {
    if (isAlphanumeric(a)) {
        const std::string septets = winToGsm(a.number);
        const std::vector<uint8_t> packed = packSeptets(septets);
        out.push_back(static_cast<uint8_t>((septets.size() * 7 + 3) / 4));
        out.push_back(static_cast<uint8_t>(a.type));
        out.insert(out.end(), packed.begin(), packed.end());
        return;
    }
    std::string_view digits = a.number;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    out.push_back(static_cast<uint8_t>(digits.size()));
    out.push_back(static_cast<uint8_t>(a.type));
    putSemiOctets(out, digits);
}

// Reads an address whose first octet counts semi-octets; advances pos.
bool getAddress(const std::vector<uint8_t>& b, size_t& pos, Address& a) {
    if (pos + 2 > b.size()) return false;
    const size_t digits = b[pos];
    const size_t octets = (digits + 1) / 2;
    a.type = b[pos + 1];
    if (digits > 20 || pos + 2 + octets > b.size()) return false;
    if (isAlphanumeric(a)) {
        a.number = gsmToWin(unpackSeptets(&b[pos + 2], octets, static_cast<int>(digits * 4 / 7)));
    } else {
        a.number = getSemiOctets(&b[pos + 2], digits);
        if (a.number.size() != digits) return false;
        if (a.type == 145) a.number.insert(0, "+");
    }
    pos += 2 + octets;
    return true;
}

void fail(std::string* error, const char* text) {
    if (error) *error = text;
}

}  // namespace

std::string Timestamp::text() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", year % 100, month % 100,
                  day % 100, hour % 100, minute % 100, second % 100, zone < 0 ? '-' : '+',
                  (zone < 0 ? -zone : zone) % 100);
    return buf;
}

std::optional<Timestamp> Timestamp::parse(std::string_view s) {
    if (s.size() != 20) return std::nullopt;
    auto two = [&](size_t at, int& out) {
        if (s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9') return false;
        out = (s[at] - '0') * 10 + (s[at + 1] - '0');
        return true;
    };
    Timestamp t;
    if (s[2] != '/' || s[5] != '/' || s[8] != ',' || s[11] != ':' || s[14] != ':') return std::nullopt;
    if (s[17] != '+' && s[17] != '-') return std::nullopt;
    if (!two(0, t.year) || !two(3, t.month) || !two(6, t.day) || !two(9, t.hour) ||
        !two(12, t.minute) || !two(15, t.second) || !two(18, t.zone))
        return std::nullopt;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 59)
        return std::nullopt;
    if (s[17] == '-') t.zone = -t.zone;
    return t;
}

Alphabet alphabetOf(int dcs) {
    if ((dcs & 0xC0) == 0x00) {
        switch ((dcs >> 2) & 3) {
            case 1: return Alphabet::Eight;
            case 2: return Alphabet::Ucs2;
            default: return Alphabet::Default7;
        }
    }
    if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) ? Alphabet::Eight : Alphabet::Default7;
    if ((dcs & 0xF0) == 0xE0) return Alphabet::Ucs2;
    return Alphabet::Default7;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<std::vector<uint8_t>> fromHex(std::string_view hex) {
    if (hex.size() % 2) return std::nullopt;
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::vector<uint8_t> out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

std::vector<uint8_t> encodeSca(const Address& sca) {
    std::vector<uint8_t> out;
    std::string_view digits = sca.number;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    if (digits.empty()) return {0};
    out.push_back(static_cast<uint8_t>(1 + (digits.size() + 1) / 2));
    out.push_back(static_cast<uint8_t>(sca.number[0] == '+' ? 145 : sca.type));
    putSemiOctets(out, digits);
    return out;
}

std::optional<ScaSplit> splitSca(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return std::nullopt;
    const size_t len = bytes[0];
    if (len > 11 || 1 + len > bytes.size()) return std::nullopt;
    ScaSplit split;
    if (len > 0) {
        split.sca.type = bytes[1];
        split.sca.number = getSemiOctets(&bytes[2], (len - 1) * 2);
        if (split.sca.type == 145) split.sca.number.insert(0, "+");
    }
    split.tpdu.assign(bytes.begin() + static_cast<long>(1 + len), bytes.end());
    return split;
}

std::vector<uint8_t> encodeTpdu(const Tpdu& t) {
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(t.fo));
    if (t.kind == Tpdu::Kind::StatusReport) {
        out.push_back(static_cast<uint8_t>(t.mr));
        putAddress(out, t.addr);
        putTimestamp(out, t.scts);
        putTimestamp(out, t.dt);
        out.push_back(static_cast<uint8_t>(t.st));
        return out;
    }
    if (t.kind == Tpdu::Kind::Submit) out.push_back(static_cast<uint8_t>(t.mr));
    putAddress(out, t.addr);
    out.push_back(static_cast<uint8_t>(t.pid));
    out.push_back(static_cast<uint8_t>(t.dcs));
    if (t.kind == Tpdu::Kind::Deliver) {
        putTimestamp(out, t.scts);
    } else {
        const int vpf = (t.fo >> 3) & 3;
        if (vpf == 2) out.push_back(static_cast<uint8_t>(t.vpRelative));
        if (vpf == 3) putTimestamp(out, t.vpAbsolute);
    }
    std::vector<uint8_t> header;
    if (!t.udh.empty()) {
        header.push_back(static_cast<uint8_t>(t.udh.size()));
        header.insert(header.end(), t.udh.begin(), t.udh.end());
    }
    if (alphabetOf(t.dcs) == Alphabet::Default7) {
        const int headerSeptets = static_cast<int>((header.size() * 8 + 6) / 7);
        const int fill = headerSeptets * 7 - static_cast<int>(header.size() * 8);
        out.push_back(static_cast<uint8_t>(headerSeptets + static_cast<int>(t.ud.size())));
        out.insert(out.end(), header.begin(), header.end());
        const std::vector<uint8_t> packed = packSeptets(t.ud, fill);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        out.push_back(static_cast<uint8_t>(header.size() + t.ud.size()));
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), t.ud.begin(), t.ud.end());
    }
    return out;
}

std::optional<Tpdu> decodeTpdu(const std::vector<uint8_t>& b, std::string* error) {
    Tpdu t;
    if (b.empty()) return fail(error, "empty PDU"), std::nullopt;
    size_t pos = 0;
    t.fo = b[pos++];
    switch (t.fo & 3) {
        case 0: t.kind = Tpdu::Kind::Deliver; break;
        case 1: t.kind = Tpdu::Kind::Submit; break;
        case 2: t.kind = Tpdu::Kind::StatusReport; break;
        default: return fail(error, "reserved message type"), std::nullopt;
    }
    if (t.kind != Tpdu::Kind::Deliver) {
        if (pos >= b.size()) return fail(error, "truncated"), std::nullopt;
        t.mr = b[pos++];
    }
    if (!getAddress(b, pos, t.addr)) return fail(error, "bad address"), std::nullopt;
    if (t.kind == Tpdu::Kind::StatusReport) {
        if (pos + 15 > b.size()) return fail(error, "truncated"), std::nullopt;
        t.scts = getTimestamp(&b[pos]);
        t.dt = getTimestamp(&b[pos + 7]);
        t.st = b[pos + 14];
        return t;
    }
    if (pos + 2 > b.size()) return fail(error, "truncated"), std::nullopt;
    t.pid = b[pos++];
    t.dcs = b[pos++];
    if (t.kind == Tpdu::Kind::Deliver) {
        if (pos + 7 > b.size()) return fail(error, "truncated"), std::nullopt;
        t.scts = getTimestamp(&b[pos]);
        pos += 7;
    } else {
        const int vpf = (t.fo >> 3) & 3;
        if (vpf == 2) {
            if (pos >= b.size()) return fail(error, "truncated"), std::nullopt;
            t.vpRelative = b[pos++];
        } else if (vpf != 0) {
            if (pos + 7 > b.size()) return fail(error, "truncated"), std::nullopt;
            t.vpAbsolute = getTimestamp(&b[pos]);
            pos += 7;
        }
    }
    if (pos >= b.size()) return fail(error, "no user-data length"), std::nullopt;
    const size_t udl = b[pos++];
    const size_t rest = b.size() - pos;
    const bool sevenBit = alphabetOf(t.dcs) == Alphabet::Default7;
    const size_t udOctets = sevenBit ? (udl * 7 + 7) / 8 : udl;
    if (udOctets != rest) return fail(error, "user-data length disagrees with the data"), std::nullopt;
    size_t headerOctets = 0;
    if (t.fo & 0x40) {
        if (rest < 1 || b[pos] + 1u > rest) return fail(error, "bad user-data header"), std::nullopt;
        headerOctets = b[pos] + 1u;
        t.udh.assign(b.begin() + static_cast<long>(pos + 1), b.begin() + static_cast<long>(pos + headerOctets));
    }
    if (sevenBit) {
        const size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        if (headerSeptets > udl) return fail(error, "bad user-data header"), std::nullopt;
        const int fill = static_cast<int>(headerSeptets * 7 - headerOctets * 8);
        t.ud = unpackSeptets(&b[pos + headerOctets], rest - headerOctets,
                             static_cast<int>(udl - headerSeptets), fill);
    } else {
        t.ud.assign(b.begin() + static_cast<long>(pos + headerOctets), b.end());
    }
    return t;
}

}  // namespace phonesim
