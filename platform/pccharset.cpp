#include "pccharset.h"

#include <QList>

namespace {

// Unicode of the PC bytes 0x80-0x9F; the five bytes without a character keep
// the control code of the same number, so any byte string survives a round
// trip.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t PcByteToUnicode(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
}

char UnicodeToPcByte(char32_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<char>(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u)
            return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t u)
{
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `i`; its length, or 0 when malformed.
size_t DecodeUtf8At(const std::string& s, size_t i, char32_t& u)
{
    const unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len;
    char32_t min;
    if (b < 0x80) {
        u = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        len = 2; u = b & 0x1F; min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3; u = b & 0x0F; min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4; u = b & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        u = (u << 6) | (c & 0x3F);
    }
    if (u < min || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

QString PcToQString(const std::string& pc)
{
    QString out;
    out.reserve(static_cast<qsizetype>(pc.size()));
    for (unsigned char b : pc)
        out += QChar(static_cast<char16_t>(PcByteToUnicode(b)));
    return out;
}

std::string QStringToPc(const QString& text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (uint u : text.toUcs4())
        out += UnicodeToPcByte(u);
    return out;
}

std::string PcToUtf8(const std::string& pc)
{
    std::string out;
    out.reserve(pc.size());
    for (unsigned char b : pc)
        AppendUtf8(out, PcByteToUnicode(b));
    return out;
}

std::string Utf8ToPc(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t u = 0;
        const size_t len = DecodeUtf8At(utf8, i, u);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        if (u != 0xFEFF)  // a byte-order mark carries no text
            out += UnicodeToPcByte(u);
        i += len;
    }
    return out;
}

bool LooksLikeUtf8(const std::string& bytes)
{
    bool multi = false;
    for (size_t i = 0; i < bytes.size();) {
        char32_t u = 0;
        const size_t len = DecodeUtf8At(bytes, i, u);
        if (len == 0)
            return false;
        multi = multi || len > 1;
        i += len;
    }
    return multi;
}

bool HasNonAscii(const std::string& bytes)
{
    for (unsigned char b : bytes)
        if (b >= 0x80)
            return true;
    return false;
}
