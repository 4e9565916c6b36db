// The AT task's input reader and response scanner.
#include "at_scan.h"

#include "at_charset.h"

#include <cstring>

namespace {

krn_msg* cur = nullptr;      // current serial-input message
uint16_t pos = 0;            // read position in it
uint16_t left = 0;           // bytes left in it
uint8_t back[64];            // pushed-back characters (last pushed read first)
unsigned nback = 0;

constexpr uint8_t CR = 13, LF = 10;

bool is_line_end(uint8_t c) { return c == CR || c == LF; }
bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

int hex_value(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

krn_msg* ati_stop_result(uint8_t code)
{
    krn_msg* m = ati_new_confirm(AT_CNF_RESULT, 5);
    m[2] = code;
    return m;
}

static krn_msg* syntax() { return ati_stop_result(AT_RESULT_SYNTAX); }

void ati_input_reset()
{
    cur = nullptr;
    pos = left = 0;
    nback = 0;
}

size_t ati_input_buffered() { return left + nback; }

krn_msg* ati_getc(uint8_t* c)
{
    if (nback) {
        *c = back[--nback];
        return nullptr;
    }
    while (left == 0) {
        if (cur) {
            ati_free(cur);
            cur = nullptr;
        }
        krn_msg* m = nullptr;
        ati_kernel.receive(KRN_TASK_ATI, &m);
        if (m[0] == KRN_CLASS_REQUEST) {
            ati_request_arrived(m);
            continue;
        }
        if (krn_msg_number(m) == AT_MSG_SERIAL_INPUT) {
            uint16_t n = static_cast<uint16_t>((m[2] << 8) | m[3]);
            if (n == 0) {
                ati_free(m);
                continue;
            }
            if (n > AT_IN_MAX)
                n = AT_IN_MAX;
            cur = m;
            pos = 4;
            left = n;
            ati_input_arrived();
            break;
        }
        return m;
    }
    *c = cur[pos++];
    --left;
    return nullptr;
}

void ati_ungetc(uint8_t c)
{
    if (nback < sizeof back)
        back[nback++] = c;
}

krn_msg* rd_char(uint8_t expected)
{
    uint8_t c;
    if (krn_msg* m = ati_getc(&c))
        return m;
    if (c != expected) {
        ati_ungetc(c);
        return syntax();
    }
    return nullptr;
}

bool rd_peek_is(uint8_t expected, krn_msg** stop)
{
    uint8_t c;
    *stop = ati_getc(&c);
    if (*stop)
        return false;
    if (c == expected)
        return true;
    ati_ungetc(c);
    return false;
}

bool rd_peek_digit(krn_msg** stop)
{
    uint8_t c;
    *stop = ati_getc(&c);
    if (*stop)
        return false;
    ati_ungetc(c);
    return is_digit(c);
}

krn_msg* rd_line_end()
{
    uint8_t first = 0;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (!is_line_end(c)) {
            ati_ungetc(c);
            return syntax();
        }
        if (first && c != first)
            return nullptr;
        first = c;
    }
}

krn_msg* rd_skip_line_ends()
{
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (!is_line_end(c)) {
            ati_ungetc(c);
            return nullptr;
        }
    }
}

krn_msg* rd_skip_line()
{
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (is_line_end(c)) {
            ati_ungetc(c);
            return nullptr;
        }
    }
}

krn_msg* rd_colon()
{
    if (krn_msg* m = rd_char(':'))
        return m;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (c != ' ') {
            ati_ungetc(c);
            return nullptr;
        }
    }
}

krn_msg* rd_comma() { return rd_char(','); }

krn_msg* rd_number(uint16_t* value, uint16_t max)
{
    uint32_t v = 0;
    unsigned digits = 0;
    bool over = false;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (!is_digit(c)) {
            ati_ungetc(c);
            break;
        }
        ++digits;
        v = v * 10 + (c - '0');
        if (v > max) {
            over = true;
            v = max;
        }
    }
    if (!digits || over)
        return syntax();
    *value = static_cast<uint16_t>(v);
    return nullptr;
}

krn_msg* rd_byte_clamped(uint8_t* value)
{
    uint16_t v = 0;
    if (krn_msg* m = rd_word(&v))
        return m;
    *value = static_cast<uint8_t>(v > 255 ? 255 : v);
    return nullptr;
}

krn_msg* rd_quoted(uint8_t* dst, size_t room, bool* truncated, bool decode)
{
    if (krn_msg* m = rd_char('"'))
        return m;
    size_t n = 0;
    *truncated = false;
    // In the GSM character set an escape (0x1B) and the code after it are
    // one character of the extension table (euro sign, brackets...).
    const bool gsm = decode && ati_decode == at_gsm_to_win;
    bool escaped = false;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (c == '"')
            break;
        if (is_line_end(c)) {
            ati_ungetc(c);
            return syntax();
        }
        if (c == '\\') {
            uint8_t h, l;
            if (krn_msg* m = ati_getc(&h))
                return m;
            int hv = hex_value(h);
            if (hv < 0) {
                ati_ungetc(h);
                return syntax();
            }
            if (krn_msg* m = ati_getc(&l))
                return m;
            int lv = hex_value(l);
            if (lv < 0) {
                ati_ungetc(l);
                return syntax();
            }
            c = static_cast<uint8_t>(hv * 16 + lv);
        }
        if (gsm && !escaped && c == 0x1B) {
            escaped = true;
            continue;
        }
        uint8_t ext;
        if (escaped && at_gsm_ext_to_win(c, &ext))
            c = ext;
        else if (decode)
            c = ati_decode(c);
        escaped = false;
        if (n < room && n < 255)
            dst[1 + n++] = c;
        else
            *truncated = true;
    }
    dst[0] = static_cast<uint8_t>(n);
    return nullptr;
}

namespace {

// Reads exactly two decimal digits.
krn_msg* two_digits(uint8_t* out)
{
    uint8_t a, b;
    if (krn_msg* m = ati_getc(&a))
        return m;
    if (!is_digit(a)) {
        ati_ungetc(a);
        return syntax();
    }
    if (krn_msg* m = ati_getc(&b))
        return m;
    if (!is_digit(b)) {
        ati_ungetc(b);
        return syntax();
    }
    *out = static_cast<uint8_t>((a - '0') * 10 + (b - '0'));
    return nullptr;
}

// hh:mm:ss then an optional zone (+zz / -zz), then the closing quote.
krn_msg* time_and_zone(uint8_t* out)  // out: hour, minute, second, sign, zone
{
    if (krn_msg* m = two_digits(&out[0])) return m;
    if (krn_msg* m = rd_char(':')) return m;
    if (krn_msg* m = two_digits(&out[1])) return m;
    if (krn_msg* m = rd_char(':')) return m;
    if (krn_msg* m = two_digits(&out[2])) return m;
    out[3] = 0;
    out[4] = 0;
    uint8_t c;
    if (krn_msg* m = ati_getc(&c))
        return m;
    if (c == '+' || c == '-') {
        out[3] = c == '-' ? 1 : 0;
        if (krn_msg* m = two_digits(&out[4]))
            return m;
        return rd_char('"');
    }
    if (c != '"') {
        ati_ungetc(c);
        return syntax();
    }
    return nullptr;
}

}  // namespace

krn_msg* rd_datetime(uint8_t out[9])
{
    if (krn_msg* m = rd_char('"')) return m;
    if (krn_msg* m = two_digits(&out[1])) return m;
    if (krn_msg* m = rd_char('/')) return m;
    if (krn_msg* m = two_digits(&out[2])) return m;
    if (krn_msg* m = rd_char('/')) return m;
    if (krn_msg* m = two_digits(&out[3])) return m;
    if (krn_msg* m = rd_char(',')) return m;
    if (krn_msg* m = time_and_zone(&out[4])) return m;
    out[0] = 1;
    return nullptr;
}

krn_msg* rd_short_time(uint8_t out[6])
{
    if (krn_msg* m = rd_char('"')) return m;
    if (krn_msg* m = time_and_zone(&out[1])) return m;
    out[0] = 1;
    return nullptr;
}

krn_msg* rd_range_list(uint8_t* pairs, unsigned max_pairs, uint8_t* count)
{
    *count = 0;
    if (krn_msg* m = rd_char('('))
        return m;
    krn_msg* stop = nullptr;
    if (rd_peek_is(')', &stop))
        return nullptr;
    if (stop)
        return stop;
    for (;;) {
        uint8_t lo, hi;
        if (krn_msg* m = rd_byte_clamped(&lo))
            return m;
        hi = lo;
        if (rd_peek_is('-', &stop)) {
            if (krn_msg* m = rd_byte_clamped(&hi))
                return m;
        } else if (stop) {
            return stop;
        }
        if (*count >= max_pairs)
            return syntax();
        pairs[2 * *count] = lo;
        pairs[2 * *count + 1] = hi;
        ++*count;
        if (rd_peek_is(',', &stop))
            continue;
        if (stop)
            return stop;
        return rd_char(')');
    }
}

krn_msg* rd_quoted_value(AT_LIST list, uint16_t* code)
{
    uint8_t word[40];
    bool cut = false;
    if (krn_msg* m = rd_quoted(word, sizeof word - 1, &cut, false))
        return m;
    if (cut)
        return syntax();
    *code = at_value_code(list, std::string_view(reinterpret_cast<const char*>(word + 1), word[0]));
    return nullptr;
}

krn_msg* rd_value_list(AT_LIST list, uint8_t* out, unsigned max, uint8_t* count)
{
    *count = 0;
    if (krn_msg* m = rd_char('('))
        return m;
    krn_msg* stop = nullptr;
    if (rd_peek_is(')', &stop))
        return nullptr;
    if (stop)
        return stop;
    for (;;) {
        uint16_t code;
        if (krn_msg* m = rd_quoted_value(list, &code))
            return m;
        if (code != 0xFFFF) {
            if (*count >= max)
                return syntax();
            out[(*count)++] = static_cast<uint8_t>(code);
        }
        if (rd_peek_is(',', &stop))
            continue;
        if (stop)
            return stop;
        return rd_char(')');
    }
}

krn_msg* rd_keyword(const at_word_list& list, uint16_t* index)
{
    uint8_t read[24];
    unsigned nread = 0;
    int lo = 0, hi = list.count - 1;
    *index = 0xFFFF;
    auto give_back = [&](unsigned keep) {
        while (nread > keep)
            ati_ungetc(read[--nread]);
    };
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        std::string_view e = list.words[mid];
        int dir = 0;
        unsigned i = 0;
        for (; i < e.size(); ++i) {
            if (i == nread) {
                if (nread == sizeof read)
                    break;
                uint8_t c;
                if (krn_msg* m = ati_getc(&c)) {
                    give_back(0);
                    return m;
                }
                read[nread++] = c;
            }
            uint8_t ec = static_cast<uint8_t>(e[i]);
            if (read[i] != ec) {
                dir = read[i] > ec ? 1 : -1;
                break;
            }
        }
        if (dir == 0 && i == e.size()) {
            give_back(static_cast<unsigned>(e.size()));
            *index = static_cast<uint16_t>(mid);
            return nullptr;
        }
        if (dir > 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    give_back(0);
    return nullptr;
}

krn_msg* ati_keyword_scan()
{
    if (krn_msg* m = rd_skip_line_ends())
        return m;
    uint16_t kw;
    if (krn_msg* m = rd_keyword(at_keyword_table, &kw))
        return m;
    if (kw == 0xFFFF) {
        ati_parse_state = ATI_PARSE_RAW;
        return nullptr;
    }
    return ati_handlers[kw]();
}

namespace {

// A line that cannot be the identification text: an echo of a command, or
// an unsolicited result (+XXX: ..., ^XXX: ..., ^SYSSTART).
bool not_an_answer(const uint8_t* p, size_t n)
{
    if (n >= 2 && (p[0] == 'A' || p[0] == 'a') && (p[1] == 'T' || p[1] == 't'))
        return true;
    return n >= 2 && (p[0] == '+' || p[0] == '^') && p[1] >= 'A' && p[1] <= 'Z';
}

}  // namespace

krn_msg* ati_raw_scan()
{
    ati_parse_state = ATI_PARSE_KEYWORD;
    uint32_t cmd = ati_command;
    size_t keep = cmd == AT_CMD_CGMI ? 20 : cmd == AT_CMD_MVER ? 220 : 0;
    uint8_t line[224];
    size_t n = 0;
    size_t total = 0;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (is_line_end(c)) {
            ati_ungetc(c);
            break;
        }
        if (total < 8 || n < keep)  // enough to recognise an echo
            if (n < sizeof line)
                line[n++] = c;
        ++total;
    }
    if (keep == 0 || not_an_answer(line, n))
        return nullptr;  // skipped; the line end is read by the next scan
    if (n > keep)
        n = keep;
    while (n && line[n - 1] == ' ')
        --n;
    if (krn_msg* m = rd_line_end())
        return m;
    uint8_t cnf = cmd == AT_CMD_CGMI ? AT_CNF_CGMI : AT_CNF_MVER;
    krn_msg* out = ati_new_confirm(cnf, static_cast<uint16_t>(3 + keep + 1));
    out[2] = static_cast<uint8_t>(n);
    std::memcpy(out + 3, line, n);
    ati_send_answer(out);
    return nullptr;
}
