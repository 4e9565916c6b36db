// Writes the program's two GSM conversion tables into the folder given:
//   GSMToWin.cvt  128 bytes: the Windows-1252 byte of each GSM default-alphabet code
//   WinToGSM.cvt  256 bytes: the GSM default-alphabet code of each Windows-1252 byte
//
// GSM codes with no Windows-1252 character (the Greek capitals) and the
// escape 0x1B decode to '?'. Windows characters with no default-alphabet code
// are written as a close look-alike (an accented letter as its plain letter,
// brackets and braces as parentheses, a backslash as '/', typographic quotes
// and dashes as their plain forms), else '?'. The characters of the extension
// table (escape 0x1B then a code) cannot be expressed one byte for one byte,
// so they take the substitutes too; no Windows byte is ever encoded as the
// escape 0x1B or as 0x1A (which would end a text-mode message).
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int NONE = -1;

// Windows-1252 byte of each GSM default-alphabet code, or NONE.
constexpr std::array<int, 128> gsm_to_win = {
    0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xF9, 0xEC,         // @ £ $ ¥ è é ù ì
    0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,         // ò Ç LF Ø ø CR Å å
    NONE, 0x5F, NONE, NONE, NONE, NONE, NONE, NONE,         // Δ _ Φ Γ Λ Ω Π Ψ
    NONE, NONE, NONE, NONE, 0xC6, 0xE6, 0xDF, 0xC9,         // Σ Θ Ξ (escape) Æ æ ß É
    0x20, 0x21, 0x22, 0x23, 0xA4, 0x25, 0x26, 0x27,         // space ! " # ¤ % & '
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,         // ( ) * + , - . /
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,         // 0-7
    0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,         // 8 9 : ; < = > ?
    0xA1, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,         // ¡ A-G
    0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,         // H-O
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,         // P-W
    0x58, 0x59, 0x5A, 0xC4, 0xD6, 0xD1, 0xDC, 0xA7,         // X Y Z Ä Ö Ñ Ü §
    0xBF, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,         // ¿ a-g
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,         // h-o
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,         // p-w
    0x78, 0x79, 0x7A, 0xE4, 0xF6, 0xF1, 0xFC, 0xE0,         // x y z ä ö ñ ü à
};

// Windows-1252 characters without a default-alphabet code, and the
// Windows-1252 character whose code they take instead.
struct look_alike {
    uint8_t win;
    uint8_t as;
};
constexpr look_alike look_alikes[] = {
    {0x09, ' '},                                               // tab
    {'[', '('}, {']', ')'}, {'{', '('}, {'}', ')'}, {'\\', '/'}, {'`', '\''},
    {0x82, ','}, {0x84, '"'}, {0x8A, 'S'}, {0x8B, '<'}, {0x8C, 'O'}, {0x8E, 'Z'},
    {0x91, '\''}, {0x92, '\''}, {0x93, '"'}, {0x94, '"'}, {0x95, '.'}, {0x96, '-'},
    {0x97, '-'}, {0x9A, 's'}, {0x9B, '>'}, {0x9C, 'o'}, {0x9E, 'z'}, {0x9F, 'Y'},
    {0xA0, ' '}, {0xA2, 'c'}, {0xAB, '"'}, {0xAD, '-'}, {0xB4, '\''}, {0xB7, '.'},
    {0xBB, '"'}, {0xD7, 'x'},
    {0xC0, 'A'}, {0xC1, 'A'}, {0xC2, 'A'}, {0xC3, 'A'}, {0xC8, 'E'}, {0xCA, 'E'},
    {0xCB, 'E'}, {0xCC, 'I'}, {0xCD, 'I'}, {0xCE, 'I'}, {0xCF, 'I'}, {0xD0, 'D'},
    {0xD2, 'O'}, {0xD3, 'O'}, {0xD4, 'O'}, {0xD5, 'O'}, {0xD9, 'U'}, {0xDA, 'U'},
    {0xDB, 'U'}, {0xDD, 'Y'},
    {0xE1, 'a'}, {0xE2, 'a'}, {0xE3, 'a'}, {0xE7, 0xC7}, {0xEA, 'e'}, {0xEB, 'e'},
    {0xED, 'i'}, {0xEE, 'i'}, {0xEF, 'i'}, {0xF3, 'o'}, {0xF4, 'o'}, {0xF5, 'o'},
    {0xFA, 'u'}, {0xFB, 'u'}, {0xFD, 'y'}, {0xFF, 'y'},
};

constexpr uint8_t SUBSTITUTE = '?';

bool write_file(const std::filesystem::path& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cvtgen <folder>\n");
        return 2;
    }
    std::array<uint8_t, 128> g2w{};
    std::array<int, 256> w2g;
    w2g.fill(NONE);
    for (int code = 0; code < 128; ++code) {
        int win = gsm_to_win[code];
        g2w[code] = win == NONE ? SUBSTITUTE : static_cast<uint8_t>(win);
        if (win != NONE)
            w2g[win] = code;
    }
    for (const look_alike& l : look_alikes) {
        if (w2g[l.win] != NONE || w2g[l.as] == NONE) {
            std::fprintf(stderr, "cvtgen: look-alike of 0x%02X is wrong\n", l.win);
            return 1;
        }
        w2g[l.win] = w2g[l.as];
    }
    std::array<uint8_t, 256> w2g_bytes{};
    for (int win = 0; win < 256; ++win)
        w2g_bytes[win] = static_cast<uint8_t>(w2g[win] == NONE ? w2g[SUBSTITUTE] : w2g[win]);

    std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!write_file(folder / "GSMToWin.cvt", g2w.data(), g2w.size()) ||
        !write_file(folder / "WinToGSM.cvt", w2g_bytes.data(), w2g_bytes.size())) {
        std::fprintf(stderr, "cvtgen: cannot write the tables into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
