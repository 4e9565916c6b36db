// What the phone simulator was sent (its "sent" listing), decoded by the
// simulator's own codec, for the tests that check what left the program.
#pragma once

#include "pdu.h"
#include "phonesim_client.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace smstest {

struct SentPdu {
    int mr;
    std::string sca;
    phonesim::Tpdu tpdu;
};

inline std::vector<SentPdu> SentPdus(phonesim::Process& sim)
{
    std::vector<SentPdu> out;
    for (const std::string& line : sim.listing("sent")) {
        std::istringstream in(line);
        std::string word, hex;
        int mr = -1;
        in >> word >> mr >> hex;
        auto bytes = phonesim::fromHex(hex);
        EXPECT_TRUE(bytes.has_value()) << line;
        auto split = bytes ? phonesim::splitSca(*bytes) : std::nullopt;
        EXPECT_TRUE(split.has_value()) << line;
        if (!split)
            continue;
        std::string problem;
        auto t = phonesim::decodeTpdu(split->tpdu, &problem);
        EXPECT_TRUE(t.has_value()) << problem;
        out.push_back({mr, split->sca.number, t.value_or(phonesim::Tpdu{})});
    }
    return out;
}

// The PC character set's characters 0x80-0x9F.
inline const uint16_t* PcHighCodes()
{
    static const uint16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return high;
}

// PC text as UCS2 user data, as a phone sends it.
inline std::string ToUcs2(const std::string& pc)
{
    std::string out;
    for (unsigned char c : pc) {
        const unsigned u = c >= 0x80 && c < 0xA0 ? PcHighCodes()[c - 0x80] : c;
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

// UCS2 user data back to text: Latin-1 characters as themselves, the PC
// character set's others (0x80-0x9F) by their code, anything else as '#'.
inline std::string FromUcs2(const std::string& ud)
{
    const uint16_t* high = PcHighCodes();
    EXPECT_EQ(ud.size() % 2, 0u);
    std::string out;
    for (size_t k = 0; k + 1 < ud.size(); k += 2) {
        const unsigned u = static_cast<unsigned char>(ud[k]) << 8 | static_cast<unsigned char>(ud[k + 1]);
        char c = '#';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            c = static_cast<char>(u);
        for (int i = 0; i < 32; ++i)
            if (high[i] == u)
                c = static_cast<char>(0x80 + i);
        out += c;
    }
    return out;
}

// The concatenation element of a block as "reference parts sequence", or
// empty for a message without one.
inline std::string ConcatOf(const phonesim::Tpdu& t)
{
    if (t.udh.size() < 5 || t.udh[0] != 0 || t.udh[1] != 3)
        return std::string();
    return std::to_string(t.udh[2]) + " " + std::to_string(t.udh[3]) + " " + std::to_string(t.udh[4]);
}

}  // namespace smstest
