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

bool at_gsm_ext_to_win(uint8_t code, uint8_t* out)
{
    static const uint8_t pairs[][2] = {{0x65, 0x80}, {0x3C, '['}, {0x3E, ']'}, {0x28, '{'}, {0x29, '}'},
                                       {0x2F, '\\'}, {0x14, '^'}, {0x3D, '~'}, {0x40, '|'}, {0x0A, '\f'}};
    for (const auto& p : pairs)
        if (p[0] == code) {
            *out = p[1];
            return true;
        }
    return false;
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
