// SMS-DELIVER TPDUs as a phone sends them, for the simulator's
// sms-receive-pdu command.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Packs a 7-bit text after an optional user-data header, as a phone sends it.
inline std::string Pack7(const std::vector<uint8_t>& udh, const std::string& text, int* udl)
{
    std::vector<int> bits;
    for (uint8_t b : udh)
        for (int i = 0; i < 8; ++i)
            bits.push_back((b >> i) & 1);
    while (!udh.empty() && bits.size() % 7)
        bits.push_back(0);
    for (unsigned char c : text)
        for (int i = 0; i < 7; ++i)
            bits.push_back((c >> i) & 1);
    *udl = static_cast<int>(bits.size() / 7);
    std::string hex;
    for (size_t at = 0; at < bits.size(); at += 8) {
        int byte = 0;
        for (int i = 0; i < 8 && at + i < bits.size(); ++i)
            byte |= bits[at + i] << i;
        char h[3];
        std::snprintf(h, sizeof h, "%02X", byte);
        hex += h;
    }
    return hex;
}

// An SMS-DELIVER from +33612345678 of 9 December 2026 10:11:12, 7-bit,
// optionally a part (reference, parts, sequence) of a concatenated message.
inline std::string Deliver(const std::string& text, int ref = -1, int total = 0, int seq = 0)
{
    std::vector<uint8_t> udh;
    if (ref >= 0)
        udh = {5, 0, 3, static_cast<uint8_t>(ref), static_cast<uint8_t>(total), static_cast<uint8_t>(seq)};
    int udl = 0;
    const std::string ud = Pack7(udh, text, &udl);
    char head[64];
    std::snprintf(head, sizeof head, "%02X0B913316325476F8000062219001112100%02X", ref >= 0 ? 0x44 : 0x04, udl);
    return head + ud;
}

// An SMS-DELIVER from the same sender and time carrying `ud` as it is, with
// the coding octet `dcs` (0x04 8-bit data, 0x08 UCS2).
inline std::string DeliverOctets(int dcs, const std::string& ud)
{
    char head[64];
    std::snprintf(head, sizeof head, "040B913316325476F800%02X62219001112100%02X", dcs,
                  static_cast<unsigned>(ud.size()));
    std::string hex = head;
    for (unsigned char c : ud) {
        char h[3];
        std::snprintf(h, sizeof h, "%02X", c);
        hex += h;
    }
    return hex;
}

}  // namespace
