#include "gsm_alphabet.h"

#include <array>

namespace phonesim {
namespace {

constexpr int kNone = -1;

// Windows-1252 byte for each GSM default-alphabet code, or kNone.
constexpr std::array<int, 128> kGsmToWin = {
    0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xF9, 0xEC,  // @ £ $ ¥ è é ù ì
    0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,  // ò Ç LF Ø ø CR Å å
    kNone, 0x5F, kNone, kNone, kNone, kNone, kNone, kNone,  // Δ _ Φ Γ Λ Ω Π Ψ
    kNone, kNone, kNone, kNone, 0xC6, 0xE6, 0xDF, 0xC9,     // Σ Θ Ξ ESC Æ æ ß É
    0x20, 0x21, 0x22, 0x23, 0xA4, 0x25, 0x26, 0x27,  // space ! " # ¤ % & '
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0xA1, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,  // ¡ A..
    0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,
    0x58, 0x59, 0x5A, 0xC4, 0xD6, 0xD1, 0xDC, 0xA7,  // ..Z Ä Ö Ñ Ü §
    0xBF, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,  // ¿ a..
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,
    0x78, 0x79, 0x7A, 0xE4, 0xF6, 0xF1, 0xFC, 0xE0,  // ..z ä ö ñ ü à
};

struct Extension {
    uint8_t code;
    uint8_t win;
};

// The extension table: escape 0x1B followed by the code.
constexpr std::array<Extension, 10> kExtensions = {{
    {0x0A, 0x0C},  // form feed
    {0x14, '^'},
    {0x28, '{'},
    {0x29, '}'},
    {0x2F, '\\'},
    {0x3C, '['},
    {0x3D, '~'},
    {0x3E, ']'},
    {0x40, '|'},
    {0x65, 0x80},  // euro sign
}};

constexpr uint8_t kEscape = 0x1B;

std::array<int, 256> buildWinToGsm() {
    std::array<int, 256> table{};
    table.fill(kNone);
    for (int code = 0; code < 128; ++code)
        if (kGsmToWin[code] != kNone && table[kGsmToWin[code]] == kNone)
            table[kGsmToWin[code]] = code;
    return table;
}

}  // namespace

std::string winToGsm(std::string_view win) {
    static const std::array<int, 256> table = buildWinToGsm();
    std::string out;
    out.reserve(win.size());
    for (unsigned char c : win) {
        bool extended = false;
        for (const Extension& e : kExtensions) {
            if (e.win == c) {
                out += static_cast<char>(kEscape);
                out += static_cast<char>(e.code);
                extended = true;
                break;
            }
        }
        if (extended) continue;
        out += static_cast<char>(table[c] == kNone ? '?' : table[c]);
    }
    return out;
}

std::string gsmToWin(std::string_view gsm) {
    std::string out;
    out.reserve(gsm.size());
    for (size_t i = 0; i < gsm.size(); ++i) {
        const auto c = static_cast<unsigned char>(gsm[i]);
        if (c >= 128) {
            out += static_cast<char>(c);
            continue;
        }
        if (c == kEscape && i + 1 < gsm.size()) {
            const auto next = static_cast<unsigned char>(gsm[i + 1]);
            bool found = false;
            for (const Extension& e : kExtensions) {
                if (e.code == next) {
                    out += static_cast<char>(e.win);
                    found = true;
                    break;
                }
            }
            ++i;
            // An unknown extension code shows as a blank, as on the phone.
            if (!found) out += ' ';
            continue;
        }
        out += static_cast<char>(kGsmToWin[c] == kNone ? '?' : kGsmToWin[c]);
    }
    return out;
}

std::vector<uint8_t> packSeptets(std::string_view septets, int fillBits) {
    const size_t bits = static_cast<size_t>(fillBits) + septets.size() * 7;
    std::vector<uint8_t> out((bits + 7) / 8, 0);
    size_t pos = static_cast<size_t>(fillBits);
    for (unsigned char c : septets) {
        const unsigned value = c & 0x7F;
        for (int b = 0; b < 7; ++b, ++pos)
            if (value & (1u << b)) out[pos / 8] |= static_cast<uint8_t>(1u << (pos % 8));
    }
    return out;
}

std::string unpackSeptets(const uint8_t* data, size_t size, int count, int fillBits) {
    std::string out;
    size_t pos = static_cast<size_t>(fillBits);
    for (int i = 0; i < count; ++i) {
        unsigned value = 0;
        for (int b = 0; b < 7; ++b, ++pos) {
            if (pos / 8 >= size) return out;
            if (data[pos / 8] & (1u << (pos % 8))) value |= 1u << b;
        }
        out += static_cast<char>(value);
    }
    return out;
}

}  // namespace phonesim
