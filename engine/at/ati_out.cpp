// The AT task's serial-output writers: command text is collected in one open
// 120-byte block that is sent to task 0 when it is full or a line ends.
#include "ati.h"

namespace {

krn_msg* block = nullptr;
uint16_t used = 0;

const char hex_digits[] = "0123456789ABCDEF";

void put_escaped(uint8_t c, bool escape_quote)
{
    uint8_t e = ati_encode(c);
    if (e >= 32 && e <= 126 && e != '\\' && (e != '"' || !escape_quote)) {
        ati_out_char(e);
    } else {
        ati_out_char('\\');
        ati_out_char(static_cast<uint8_t>(hex_digits[e >> 4]));
        ati_out_char(static_cast<uint8_t>(hex_digits[e & 15]));
    }
}

}  // namespace

void ati_out_open()
{
    block = ati_alloc(AT_OUT_BLOCK_SIZE);
    block[0] = 0x01;
    block[1] = 0x01;
    block[2] = 0;
    block[3] = 0;
    used = 0;
}

void ati_out_char(uint8_t c)
{
    if (!block)
        ati_out_open();
    block[4 + used++] = c;
    if (used == AT_OUT_TEXT_MAX)
        ati_out_flush();
}

void ati_out_bytes(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        ati_out_char(p[i]);
}

void ati_out_text(std::string_view text)
{
    ati_out_bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void ati_out_decimal(unsigned value)
{
    char buf[12];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        ati_out_char(static_cast<uint8_t>(buf[--n]));
}

void ati_out_2digits(unsigned value)
{
    value %= 100;
    ati_out_char(static_cast<uint8_t>('0' + value / 10));
    ati_out_char(static_cast<uint8_t>('0' + value % 10));
}

void ati_out_quoted(const uint8_t* p, size_t n)
{
    ati_out_char('"');
    for (size_t i = 0; i < n; ++i)
        put_escaped(p[i], true);
    ati_out_char('"');
}

void ati_out_escaped(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        put_escaped(p[i], false);
}

void ati_out_hex(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        ati_out_char(static_cast<uint8_t>(hex_digits[p[i] >> 4]));
        ati_out_char(static_cast<uint8_t>(hex_digits[p[i] & 15]));
    }
}

void ati_out_flush()
{
    if (!block || used == 0)
        return;
    block[2] = static_cast<uint8_t>(used >> 8);
    block[3] = static_cast<uint8_t>(used);
    krn_msg* full = block;
    block = nullptr;
    used = 0;
    ati_send_main(full);
    ati_out_open();
}

void ati_out_eol()
{
    ati_out_char(13);
    ati_out_flush();
}

void ati_out_break()
{
    ati_out_flush();
    krn_msg* m = ati_alloc(2);
    m[0] = 0x01;
    m[1] = 0x02;
    ati_send_main(m);
}
