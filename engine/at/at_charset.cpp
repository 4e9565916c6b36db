#include "at_charset.h"

#include <cstdio>
#include <cstring>

#include "ati.h"

namespace {

uint8_t gsm_to_win[128];
uint8_t win_to_gsm[256];

struct tables_init {
    tables_init()
    {
        for (int i = 0; i < 128; ++i)
            gsm_to_win[i] = static_cast<uint8_t>(i);
        for (int i = 0; i < 256; ++i)
            win_to_gsm[i] = static_cast<uint8_t>(i);
    }
} init_identity;

bool read_exact(const std::string& path, uint8_t* out, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    size_t got = std::fread(out, 1, size, f);
    int extra = std::fgetc(f);
    std::fclose(f);
    return got == size && extra == EOF;
}

}  // namespace

bool at_load_conversion_tables(const std::string& folder, std::string* failed_path)
{
    uint8_t g2w[128];
    uint8_t w2g[256];
    std::string p1 = folder + "GSMToWin.cvt";
    std::string p2 = folder + "WinToGSM.cvt";
    if (!read_exact(p1, g2w, sizeof g2w)) {
        if (failed_path)
            *failed_path = p1;
        return false;
    }
    if (!read_exact(p2, w2g, sizeof w2g)) {
        if (failed_path)
            *failed_path = p2;
        return false;
    }
    at_set_conversion_tables(g2w, w2g);
    return true;
}

void at_set_conversion_tables(const uint8_t g2w[128], const uint8_t w2g[256])
{
    std::memcpy(gsm_to_win, g2w, sizeof gsm_to_win);
    std::memcpy(win_to_gsm, w2g, sizeof win_to_gsm);
}

uint8_t at_gsm_to_win(uint8_t c) { return c < 128 ? gsm_to_win[c] : c; }
uint8_t at_win_to_gsm(uint8_t c) { return win_to_gsm[c]; }

namespace {

// Extension-table code, PC character.
const uint8_t ext_pairs[][2] = {{0x65, 0x80}, {0x3C, '['}, {0x3E, ']'}, {0x28, '{'}, {0x29, '}'},
                                {0x2F, '\\'}, {0x14, '^'}, {0x3D, '~'}, {0x40, '|'}, {0x0A, '\f'}};
constexpr uint8_t GSM_ESCAPE = 0x1B;

}  // namespace

bool at_gsm_ext_to_win(uint8_t code, uint8_t* out)
{
    for (const auto& p : ext_pairs)
        if (p[0] == code) {
            *out = p[1];
            return true;
        }
    return false;
}

bool at_win_to_gsm_ext(uint8_t win, uint8_t* code)
{
    for (const auto& p : ext_pairs)
        if (p[1] == win) {
            *code = p[0];
            return true;
        }
    return false;
}

std::string at_win_to_gsm7(const uint8_t* text, size_t n)
{
    std::string out;
    out.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        uint8_t code;
        if (at_win_to_gsm_ext(text[k], &code)) {
            out += static_cast<char>(GSM_ESCAPE);
            out += static_cast<char>(code);
        } else {
            out += static_cast<char>(at_win_to_gsm(text[k]) & 0x7F);
        }
    }
    return out;
}

size_t at_gsm7_to_win(const uint8_t* codes, size_t n, uint8_t* out)
{
    size_t w = 0;
    for (size_t k = 0; k < n; ++k) {
        uint8_t c = codes[k];
        if (c == GSM_ESCAPE) {
            if (k + 1 == n)
                break;  // an escape cut off from its code stands for nothing
            c = codes[++k];
            if (at_gsm_ext_to_win(c, &out[w])) {
                ++w;
                continue;
            }
        }
        out[w++] = at_gsm_to_win(c);
    }
    return w;
}

namespace {

// The PC characters 0x80-0x9F; the rest of the set is Latin-1. The five
// places the set leaves empty keep their own code.
const uint16_t win_high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint16_t win_to_unicode(uint8_t c) { return c >= 0x80 && c < 0xA0 ? win_high[c - 0x80] : c; }

uint8_t unicode_to_win(uint16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<uint8_t>(u);
    for (int k = 0; k < 32; ++k)
        if (win_high[k] == u)
            return static_cast<uint8_t>(0x80 + k);
    return '?';
}

}  // namespace

std::string at_ucs2_to_win(const std::string& octets)
{
    std::string out;
    out.reserve(octets.size() / 2);
    for (size_t k = 0; k + 1 < octets.size(); k += 2) {
        uint16_t u = static_cast<uint16_t>(static_cast<uint8_t>(octets[k]) << 8 | static_cast<uint8_t>(octets[k + 1]));
        // A surrogate pair is one character the set cannot hold.
        if (u >= 0xD800 && u <= 0xDBFF && k + 3 < octets.size())
            k += 2;
        out += static_cast<char>(unicode_to_win(u));
    }
    return out;
}

std::string at_win_to_ucs2(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        uint16_t u = win_to_unicode(static_cast<uint8_t>(c));
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

uint8_t ati_identity(uint8_t c) { return c; }

void ati_select_charset(uint8_t index)
{
    switch (index) {
    case 0:
        ati_decode = at_gsm_to_win;
        ati_encode = at_win_to_gsm;
        break;
    case 1:
    case 2:
        ati_decode = ati_identity;
        ati_encode = ati_identity;
        break;
    default:
        break;
    }
}
