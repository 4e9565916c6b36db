// The response handlers: one per keyword. Each runs right after its keyword
// was read, parses the rest of the line and sends one confirm to task 0, or
// returns the message that stops the parse.
//
// Confirm layouts. Every confirm is [0] 0, [1] its number, data from [2].
// A text is a length byte and its characters followed by a zero byte (the
// spare that the request side terminates the text in), except a phone
// number, which is a length byte, its characters and its type byte (the type
// byte is the spare). Layouts that are not obvious from the table below are
// written at their handler.
#include <cstring>

#include "at_scan.h"
#include "at_sms.h"

namespace {

constexpr uint8_t CR = 13, LF = 10;

bool is_line_end(uint8_t c) { return c == CR || c == LF; }

krn_msg* syntax() { return ati_stop_result(AT_RESULT_SYNTAX); }

// A confirm being filled: bytes are appended while there is room; the
// confirm is sized for the longest answer its fields allow.
struct cnf_builder {
    krn_msg* m;
    uint16_t size;
    uint16_t n = 2;
    cnf_builder(uint8_t cnf, uint16_t sz) : m(ati_new_confirm(cnf, sz)), size(sz) {}
    ~cnf_builder()
    {
        if (m)
            ati_free(m);
    }
    void byte(uint8_t b)
    {
        if (n < size)
            m[n++] = b;
    }
    void word(uint16_t w)
    {
        byte(static_cast<uint8_t>(w >> 8));
        byte(static_cast<uint8_t>(w));
    }
    void bytes(const uint8_t* p, size_t k)
    {
        for (size_t i = 0; i < k; ++i)
            byte(p[i]);
    }
    void text(const uint8_t* counted)  // length byte, characters, zero
    {
        bytes(counted, 1u + counted[0]);
        byte(0);
    }
    void send()
    {
        ati_send_answer(m);
        m = nullptr;
    }
};

// Sends a small unsolicited indication. When every pool is exhausted the
// indication is dropped: the program never ends for an indication.
void send_unsolicited(uint8_t cnf, const uint8_t* data, uint16_t n)
{
    krn_msg* m = ati_try_alloc(static_cast<uint16_t>(2 + n));
    if (!m)
        return;
    m[0] = 0;
    m[1] = cnf;
    if (n)
        std::memcpy(m + 2, data, n);
    ati_send_main(m);
}

void send_plain(uint8_t cnf) { send_unsolicited(cnf, nullptr, 0); }

// ---- Final answers -----------------------------------------------------------

krn_msg* h_ok()
{
    if (krn_msg* m = rd_line_end())
        return m;
    ati_send_answer(ati_new_confirm(AT_CNF_OK, 2));
    if (ati_command == AT_CMD_CSCS_SET && ati_cscs_index < 3)
        ati_select_charset(ati_cscs_index);
    ati_finish_command();
    return nullptr;
}

krn_msg* h_error()
{
    if (krn_msg* m = rd_line_end())
        return m;
    if (ati_command != AT_CMD_NONE && ati_command != AT_CMD_RESYNC)
        ati_send_result(AT_RESULT_ERROR);
    ati_finish_command();
    return nullptr;
}

krn_msg* h_cme_error()
{
    uint8_t n;
    if (krn_msg* m = rd_colon())
        return m;
    if (krn_msg* m = rd_byte_clamped(&n))
        return m;
    if (krn_msg* m = rd_line_end())
        return m;
    krn_msg* r = ati_new_confirm(AT_CNF_RESULT, 5);
    r[2] = AT_RESULT_CME;
    r[3] = n;
    ati_send_answer(r);
    ati_finish_command();
    return nullptr;
}

krn_msg* h_cms_error()
{
    uint16_t n;
    if (krn_msg* m = rd_colon())
        return m;
    if (krn_msg* m = rd_word(&n))
        return m;
    if (krn_msg* m = rd_line_end())
        return m;
    krn_msg* r = ati_new_confirm(AT_CNF_RESULT, 5);
    r[2] = AT_RESULT_CMS;
    r[3] = static_cast<uint8_t>(n >> 8);
    r[4] = static_cast<uint8_t>(n);
    ati_send_answer(r);
    ati_finish_command();
    return nullptr;
}

// ---- Call progress -------------------------------------------------------------

// A call's final word also ends a dial that is still the running command:
// the dial failed, and its caller gets its final answer.
void end_dial()
{
    if (ati_command == AT_CMD_DIAL) {
        ati_send_result(AT_RESULT_ERROR);
        ati_finish_command();
    }
}

krn_msg* call_word(uint8_t cnf)
{
    if (krn_msg* m = rd_line_end())
        return m;
    send_plain(cnf);
    end_dial();
    return nullptr;
}

krn_msg* h_ring()
{
    uint8_t c;
    if (krn_msg* m = ati_getc(&c))
        return m;
    if (is_line_end(c))
        ati_ungetc(c);
    if (krn_msg* m = rd_line_end())
        return m;
    send_plain(AT_CNF_RING);
    return nullptr;
}

krn_msg* h_busy() { return call_word(AT_CNF_BUSY); }
krn_msg* h_no_carrier() { return call_word(AT_CNF_NO_CARRIER); }
krn_msg* h_no_answer() { return call_word(AT_CNF_NO_ANSWER); }

krn_msg* h_connect() { return rd_skip_line(); }

krn_msg* h_no_dialtone()
{
    if (krn_msg* m = rd_skip_line())
        return m;
    end_dial();
    return nullptr;
}

// ---- Unsolicited indications -------------------------------------------------

krn_msg* h_cmti()
{
    uint16_t mem;
    uint8_t index;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_quoted_value(AT_LIST_MEM13, &mem)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&index)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    uint8_t d[2] = {static_cast<uint8_t>(mem == 0xFFFF ? 0xFF : mem), index};
    send_unsolicited(AT_CNF_CMTI, d, 2);
    return nullptr;
}

// "+CREG: <stat>" (unsolicited, possibly followed by location fields) or
// "+CREG: <n>,<stat>[,...]" (the answer to +CREG?).
krn_msg* h_creg()
{
    uint8_t a, b;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&a)) return m;
    bool two = false;
    if (rd_peek_is(',', &stop)) {
        if (rd_peek_digit(&stop)) {
            if (krn_msg* m = rd_small(&b)) return m;
            two = true;
        } else if (stop) {
            return stop;
        }
        if (krn_msg* m = rd_skip_line()) return m;
    } else if (stop) {
        return stop;
    }
    if (krn_msg* m = rd_line_end()) return m;
    if (two) {
        krn_msg* c = ati_new_confirm(AT_CNF_CREG, 4);
        c[2] = a;
        c[3] = b;
        ati_send_answer(c);
    } else {
        send_unsolicited(AT_CNF_CREG_IND, &a, 1);
    }
    return nullptr;
}

krn_msg* h_ciev()
{
    uint8_t ind, value;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&ind)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_byte_clamped(&value)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    if (ind >= 1 && ind <= ATI_CIND_MAX && ati_cind_map[ind - 1] != 0xFF) {
        uint8_t d[2] = {ati_cind_map[ind - 1], value};
        send_unsolicited(AT_CNF_CIEV, d, 2);
    }
    return nullptr;
}

krn_msg* h_mali()
{
    uint16_t kind;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_quoted_value(AT_LIST_ALARM_KIND, &kind)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    uint8_t d = static_cast<uint8_t>(kind == 0xFFFF ? 0xFF : kind);
    send_unsolicited(AT_CNF_MALI, &d, 1);
    return nullptr;
}

krn_msg* h_mclk()
{
    uint8_t dt[9];
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_datetime(dt)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    send_unsolicited(AT_CNF_MCLK, dt + 1, 8);
    return nullptr;
}

krn_msg* h_mdri()
{
    uint8_t index;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&index)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    send_unsolicited(AT_CNF_MDRI, &index, 1);
    return nullptr;
}

krn_msg* h_mmpi()
{
    if (krn_msg* m = rd_line_end()) return m;
    send_plain(AT_CNF_MMPI);
    return nullptr;
}

// ---- Answers with data -----------------------------------------------------------

// "+COPS: <mode>[,<format>,<oper>]". 153: [2] 1 or 3, [3] mode, [4] format,
// [5] operator length, text, zero.
krn_msg* h_cops()
{
    uint8_t mode, format = 0;
    uint8_t oper[40] = {0};
    bool cut = false, have_oper = false;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&mode)) return m;
    if (rd_peek_is(',', &stop)) {
        if (krn_msg* m = rd_small(&format)) return m;
        if (krn_msg* m = rd_comma()) return m;
        if (krn_msg* m = rd_quoted(oper, 30, &cut)) return m;
        have_oper = true;
        if (rd_peek_is(',', &stop)) {  // access technology of newer phones
            if (krn_msg* m = rd_skip_line()) return m;
        } else if (stop) {
            return stop;
        }
    } else if (stop) {
        return stop;
    }
    if (krn_msg* m = rd_line_end()) return m;
    if (have_oper) {
        if (format == 0 && (cut || oper[0] > 19)) return syntax();
        if (format == 1 && (cut || oper[0] > 9)) return syntax();
        if (format == 2) {
            if (oper[0] != 5) return syntax();
            for (int i = 1; i <= 5; ++i) {
                uint8_t c = oper[i];
                if (!((c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'a' || c == 'b' || c == 'c'))
                    return syntax();
            }
        }
        if (format > 2) return syntax();
    }
    cnf_builder c(AT_CNF_COPS, 2 + 3 + 1 + 19 + 1);
    c.byte(have_oper ? 3 : 1);
    c.byte(mode);
    c.byte(format);
    c.text(oper);
    c.send();
    return nullptr;
}

// "+CLCK: <status>[,<class>...]" (155: [2] status) or "+CLCK: (<fac>,...)"
// (156: [2] count, then facility codes).
krn_msg* h_clck()
{
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_digit(&stop)) {
        uint8_t status;
        if (krn_msg* m = rd_small(&status)) return m;
        if (krn_msg* m = rd_skip_line()) return m;
        if (krn_msg* m = rd_line_end()) return m;
        krn_msg* c = ati_new_confirm(AT_CNF_CLCK_STATUS, 3);
        c[2] = status;
        ati_send_answer(c);
        if (ati_command == AT_CMD_CLCK_SET)
            ati_start_timeout(400, AT_REQ_CLCK_SET);
        return nullptr;
    }
    if (stop) return stop;
    uint8_t codes[25], count;
    if (krn_msg* m = rd_value_list(AT_LIST_FACILITY, codes, 25, &count)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_CLCK_LIST, 3 + 25);
    c.byte(count);
    c.bytes(codes, count);
    c.send();
    return nullptr;
}

// "+CPWD: ("<fac>",<len>),...". 158: [2] count, then (facility, length) pairs.
krn_msg* h_cpwd()
{
    constexpr unsigned MAX = 25;
    uint8_t pairs[2 * MAX];
    unsigned count = 0;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    for (;;) {
        uint16_t fac;
        uint8_t len;
        if (krn_msg* m = rd_char('(')) return m;
        if (krn_msg* m = rd_quoted_value(AT_LIST_FACILITY, &fac)) return m;
        if (krn_msg* m = rd_comma()) return m;
        if (krn_msg* m = rd_byte_clamped(&len)) return m;
        if (krn_msg* m = rd_char(')')) return m;
        if (fac != 0xFFFF) {
            if (count >= MAX) return syntax();
            pairs[2 * count] = static_cast<uint8_t>(fac);
            pairs[2 * count + 1] = len;
            ++count;
        }
        if (!rd_peek_is(',', &stop)) {
            if (stop) return stop;
            break;
        }
    }
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_CPWD_LIST, 3 + 2 * MAX);
    c.byte(static_cast<uint8_t>(count));
    c.bytes(pairs, 2 * count);
    c.send();
    return nullptr;
}

// A PIN state word (unquoted, found by the keyword search); "SIM PIN" and
// "SIM PUK" followed by "2" give "SIM PIN2" and "SIM PUK2".
krn_msg* pin_state(uint8_t* state)
{
    krn_msg* stop = nullptr;
    uint16_t code;
    if (krn_msg* m = rd_keyword(at_value_list(AT_LIST_PIN_STATE), &code)) return m;
    if (code == 0xFFFF) return syntax();
    if (code == AT_PIN_SIM_PIN || code == AT_PIN_SIM_PUK) {
        if (rd_peek_is('2', &stop))
            ++code;
        else if (stop)
            return stop;
    }
    *state = static_cast<uint8_t>(code);
    return nullptr;
}

krn_msg* h_cpin()
{
    uint8_t state;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = pin_state(&state)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(AT_CNF_CPIN, 3);
    c[2] = state;
    ati_send_answer(c);
    return nullptr;
}

// "~MPIN: <a>[,<b>[,<c>]]" counters (164) or "~MPIN: <state>[,<n>]" (165).
krn_msg* h_mpin()
{
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_digit(&stop)) {
        uint8_t v[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            if (krn_msg* m = rd_small(&v[i])) return m;
            if (i == 2 || !rd_peek_is(',', &stop)) {
                if (stop) return stop;
                break;
            }
        }
        if (krn_msg* m = rd_line_end()) return m;
        krn_msg* c = ati_new_confirm(AT_CNF_MPIN_COUNTERS, 5);
        std::memcpy(c + 2, v, 3);
        ati_send_answer(c);
        return nullptr;
    }
    if (stop) return stop;
    uint8_t state, n = 0;
    if (krn_msg* m = pin_state(&state)) return m;
    if (rd_peek_is(',', &stop)) {
        if (krn_msg* m = rd_small(&n)) return m;
    } else if (stop) {
        return stop;
    }
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(AT_CNF_MPIN_STATE, 4);
    c[2] = state;
    c[3] = n;
    ati_send_answer(c);
    return nullptr;
}

krn_msg* two_numbers(uint8_t cnf)
{
    uint8_t a, b;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&a)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&b)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(cnf, 4);
    c[2] = a;
    c[3] = b;
    ati_send_answer(c);
    return nullptr;
}

krn_msg* h_cbc() { return two_numbers(AT_CNF_CBC); }
krn_msg* h_csq() { return two_numbers(AT_CNF_CSQ); }

// "+CIND: <v>,<v>,..." (170: [2] count, then (indicator, value) pairs for the
// positions the +CIND=? answer named) or "+CIND: ("<name>",(<lo>-<hi>)),..."
// (171: [2] count of known names, then for each its code, a range count and
// at most two (low, high) pairs). The list answer rebuilds the position map.
krn_msg* h_cind()
{
    constexpr unsigned MAX = 16;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_digit(&stop)) {
        uint8_t pairs[2 * MAX];
        unsigned count = 0;
        for (unsigned pos = 0;; ++pos) {
            uint8_t v;
            if (krn_msg* m = rd_byte_clamped(&v)) return m;
            if (pos < ATI_CIND_MAX && ati_cind_map[pos] != 0xFF && count < MAX) {
                pairs[2 * count] = ati_cind_map[pos];
                pairs[2 * count + 1] = v;
                ++count;
            }
            if (!rd_peek_is(',', &stop)) {
                if (stop) return stop;
                break;
            }
        }
        if (krn_msg* m = rd_line_end()) return m;
        cnf_builder c(AT_CNF_CIND_VALUES, 3 + 2 * MAX);
        c.byte(static_cast<uint8_t>(count));
        c.bytes(pairs, 2 * count);
        c.send();
        return nullptr;
    }
    if (stop) return stop;
    uint8_t map[ATI_CIND_MAX];
    std::memset(map, 0xFF, sizeof map);
    cnf_builder c(AT_CNF_CIND_LIST, 3 + MAX * 6);
    c.byte(0);
    unsigned count = 0;
    for (unsigned pos = 0;; ++pos) {
        uint16_t code;
        uint8_t ranges[4], nr;
        if (krn_msg* m = rd_char('(')) return m;
        if (krn_msg* m = rd_quoted_value(AT_LIST_INDICATOR, &code)) return m;
        if (krn_msg* m = rd_comma()) return m;
        if (krn_msg* m = rd_range_list(ranges, 2, &nr)) return m;
        if (krn_msg* m = rd_char(')')) return m;
        if (code != 0xFFFF && count < MAX) {
            if (pos < ATI_CIND_MAX)
                map[pos] = static_cast<uint8_t>(code);
            c.byte(static_cast<uint8_t>(code));
            c.byte(nr);
            c.bytes(ranges, 2u * nr);
            ++count;
        }
        if (!rd_peek_is(',', &stop)) {
            if (stop) return stop;
            break;
        }
    }
    if (krn_msg* m = rd_line_end()) return m;
    c.m[2] = static_cast<uint8_t>(count);
    std::memcpy(ati_cind_map, map, sizeof map);
    c.send();
    return nullptr;
}

// "+CPBS: ("FD","SM",...)" -> 175: [2] count, codes. The current-storage
// form is not an answer the engine asks for.
krn_msg* h_cpbs()
{
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (!rd_peek_is('(', &stop)) {
        if (stop) return stop;
        return ati_stop_result(AT_RESULT_UNEXPECTED);
    }
    ati_ungetc('(');
    uint8_t codes[9], count;
    if (krn_msg* m = rd_value_list(AT_LIST_PB_STORAGE, codes, 9, &count)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_CPBS_LIST, 3 + 9);
    c.byte(count);
    c.bytes(codes, count);
    c.send();
    return nullptr;
}

// "+CPBR: <index>,"<number>",<type>,"<name>"" -> 176: [2] index, number
// (length, characters, type), name (length, characters, zero). The number
// is cut to the storage's number length, one more when it starts with '+'
// (the length counts digits only); the name to the storage's name length.
krn_msg* h_cpbr()
{
    constexpr unsigned ROOM = 80;
    krn_msg* stop = nullptr;
    uint8_t index, type;
    uint8_t number[ROOM + 2], name[ROOM + 2];
    bool cut;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_is('(', &stop)) return syntax();
    if (stop) return stop;
    if (krn_msg* m = rd_small(&index)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_quoted(number, ROOM, &cut)) return m;
    bool cut_number = cut;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&type)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_quoted(name, ROOM, &cut)) return m;
    if (cut || cut_number) return syntax();  // longer than any entry can be
    if (krn_msg* m = rd_line_end()) return m;
    if (ati_limits.pb_number_len) {
        unsigned max = ati_limits.pb_number_len + (number[0] && number[1] == '+' ? 1u : 0u);
        if (number[0] > max)
            number[0] = static_cast<uint8_t>(max);
    }
    if (ati_limits.pb_name_len && name[0] > ati_limits.pb_name_len)
        name[0] = ati_limits.pb_name_len;
    cnf_builder c(AT_CNF_CPBR, static_cast<uint16_t>(2 + 1 + 1 + ROOM + 1 + 1 + ROOM + 1));
    c.byte(index);
    c.byte(number[0]);
    c.bytes(number + 1, number[0]);
    c.byte(type);
    c.text(name);
    c.send();
    if (ati_command == AT_CMD_CPBR)
        ati_start_timeout(1000, AT_REQ_CPBR);
    return nullptr;
}

// "+CPBW: (<range>),<nlength>,(<types>),<tlength>" -> 178: [2] count of place
// ranges and the pairs, number length, count of type ranges and the pairs,
// name length. The lengths also become the current storage's limits.
krn_msg* h_cpbw()
{
    constexpr unsigned MAX = 8;
    uint8_t places[2 * MAX], types[2 * MAX], np, nt, nlen, tlen;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_range_list(places, MAX, &np)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_byte_clamped(&nlen)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_range_list(types, MAX, &nt)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_byte_clamped(&tlen)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_CPBW_TEST, 2 + 1 + 2 * MAX + 1 + 1 + 2 * MAX + 1);
    c.byte(np);
    c.bytes(places, 2u * np);
    c.byte(nlen);
    c.byte(nt);
    c.bytes(types, 2u * nt);
    c.byte(tlen);
    c.send();
    ati_limits.pb_number_len = nlen;
    ati_limits.pb_name_len = tlen;
    return nullptr;
}

krn_msg* h_cclk()
{
    uint8_t dt[9];
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_datetime(dt)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(AT_CNF_CCLK, 10);
    std::memcpy(c + 2, dt + 1, 8);
    ati_send_answer(c);
    return nullptr;
}

// "+CPMS: <used>,<total>[,...]" -> 185: the counts in order, each clamped to
// a byte. "+CPMS: (<mem1>),(<mem2>),(<mem3>)" -> 187: three counted lists.
krn_msg* h_cpms()
{
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_digit(&stop)) {
        cnf_builder c(AT_CNF_CPMS_COUNTS, 2 + 6);
        for (unsigned i = 0;; ++i) {
            uint8_t v;
            if (i >= 6) return syntax();
            if (krn_msg* m = rd_byte_clamped(&v)) return m;
            c.byte(v);
            if (!rd_peek_is(',', &stop)) {
                if (stop) return stop;
                break;
            }
        }
        if (krn_msg* m = rd_line_end()) return m;
        c.send();
        return nullptr;
    }
    if (stop) return stop;
    static const AT_LIST lists[3] = {AT_LIST_MEM13, AT_LIST_MEM2, AT_LIST_MEM13};
    static const uint8_t max[3] = {8, 7, 8};
    cnf_builder c(AT_CNF_CPMS_LISTS, 2 + 3 + 8 + 7 + 8);
    for (int i = 0; i < 3; ++i) {
        uint8_t codes[8], count = 0;
        if (i > 0) {
            if (!rd_peek_is(',', &stop)) {
                if (stop) return stop;
                c.byte(0);  // a phone without a receive-memory list
                continue;
            }
        }
        if (krn_msg* m = rd_value_list(lists[i], codes, max[i], &count)) return m;
        c.byte(count);
        c.bytes(codes, count);
    }
    if (krn_msg* m = rd_line_end()) return m;
    c.send();
    return nullptr;
}

// "<keyword>: (<range>)" -> [2] count, then (low, high) pairs.
krn_msg* range_answer(uint8_t cnf)
{
    constexpr unsigned MAX = 8;
    uint8_t pairs[2 * MAX], n;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_range_list(pairs, MAX, &n)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(cnf, 3 + 2 * MAX);
    c.byte(n);
    c.bytes(pairs, 2u * n);
    c.send();
    return nullptr;
}

krn_msg* h_cmgf() { return range_answer(AT_CNF_CMGF_TEST); }
krn_msg* h_csas() { return range_answer(AT_CNF_CSAS_TEST); }
krn_msg* h_cres() { return range_answer(AT_CNF_CRES_TEST); }

// "+CSCA: "<sca>",<tosca>" -> 192: number (length, characters, type).
krn_msg* h_csca()
{
    uint8_t sca[24], type = 0;
    bool cut;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_quoted(sca, 22, &cut)) return m;
    if (cut || sca[0] > 21) return syntax();
    if (rd_peek_is(',', &stop)) {
        if (krn_msg* m = rd_small(&type)) return m;
    } else if (stop) {
        return stop;
    }
    if (krn_msg* m = rd_line_end()) return m;
    if (!type)
        type = sca[0] && sca[1] == '+' ? 145 : 129;
    cnf_builder c(AT_CNF_CSCA, 2 + 1 + 21 + 1 + 1);
    c.byte(sca[0]);
    c.bytes(sca + 1, sca[0]);
    c.byte(type);
    c.send();
    return nullptr;
}

// "+CSMP: <fo>,<vp>,<pid>,<dcs>" -> 193: [2] first octet, [3] validity
// length (0 none, 1 relative, 8 absolute) and the validity, then protocol
// identifier and coding scheme.
krn_msg* h_csmp()
{
    uint8_t fo, pid, dcs;
    uint8_t vp[9] = {0};
    uint8_t vplen = 0;
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&fo)) return m;
    if (krn_msg* m = rd_comma()) return m;
    unsigned vpf = (fo >> 3) & 3;
    if (rd_peek_digit(&stop)) {
        uint8_t v;
        if (krn_msg* m = rd_small(&v)) return m;
        if (vpf == 2) {
            vplen = 1;
            vp[1] = v;
        }
    } else if (stop) {
        return stop;
    } else if (rd_peek_is('"', &stop)) {
        ati_ungetc('"');
        uint8_t dt[9];
        if (krn_msg* m = rd_datetime(dt)) return m;
        if (vpf == 3) {
            vplen = 8;
            std::memcpy(vp + 1, dt + 1, 8);
        }
    } else if (stop) {
        return stop;
    }
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&pid)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&dcs)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_CSMP, 2 + 1 + 9 + 2);
    c.byte(fo);
    c.byte(vplen);
    c.bytes(vp + 1, vplen);
    c.byte(pid);
    c.byte(dcs);
    c.send();
    return nullptr;
}

// "+CMGS: <mr>", "+CMSS: <mr>", "+CMGW: <index>": [2] the number. Text-mode
// acknowledgement fields after it are skipped.
krn_msg* one_number(uint8_t cnf)
{
    uint8_t v;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_byte_clamped(&v)) return m;
    if (krn_msg* m = rd_skip_line()) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(cnf, 3);
    c[2] = v;
    ati_send_answer(c);
    return nullptr;
}

krn_msg* h_cmgs() { return one_number(AT_CNF_CMGS); }
krn_msg* h_cmss() { return one_number(AT_CNF_CMSS); }
krn_msg* h_cmgw() { return one_number(AT_CNF_CMGW); }
krn_msg* h_mdrw() { return one_number(AT_CNF_MDRW); }

krn_msg* quoted_code(AT_LIST list, uint8_t cnf)
{
    uint16_t code;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_quoted_value(list, &code)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(cnf, 3);
    c[2] = static_cast<uint8_t>(code == 0xFFFF ? 0xFF : code);
    ati_send_answer(c);
    return nullptr;
}

krn_msg* h_mdaf() { return quoted_code(AT_LIST_DATE_FORMAT, AT_CNF_MDAF); }
krn_msg* h_mtif() { return quoted_code(AT_LIST_TIME_FORMAT, AT_CNF_MTIF); }

// Diary text room when the phone never told its length.
constexpr uint16_t DIARY_DEFAULT_ROOM = 100;
constexpr uint16_t DIARY_MAX_ROOM = 250;

// "~MDRR: (<range>),<textlen>" -> 216: [2] count, pairs (at most 3), text
// length as a word; it also becomes the diary text length.
// "~MDRR: <index>,<date-time>,"<text>",<a>,<b>,<c>" -> 217: [2] index, [3] 1,
// [4..11] date-time, text (length, characters, zero), a, b, c.
krn_msg* h_mdrr()
{
    krn_msg* stop = nullptr;
    if (krn_msg* m = rd_colon()) return m;
    if (rd_peek_is('(', &stop)) {
        ati_ungetc('(');
        uint8_t pairs[6], n;
        uint16_t len;
        if (krn_msg* m = rd_range_list(pairs, 3, &n)) return m;
        if (krn_msg* m = rd_comma()) return m;
        if (krn_msg* m = rd_word(&len)) return m;
        if (krn_msg* m = rd_line_end()) return m;
        cnf_builder c(AT_CNF_MDRR_TEST, 2 + 1 + 6 + 2);
        c.byte(n);
        c.bytes(pairs, 2u * n);
        c.word(len);
        c.send();
        ati_limits.diary_text_len = len;
        return nullptr;
    }
    if (stop) return stop;
    uint8_t index, dt[9], text[DIARY_MAX_ROOM + 2], v[3];
    bool cut;
    uint16_t room = ati_limits.diary_text_len ? ati_limits.diary_text_len : DIARY_DEFAULT_ROOM;
    if (room > DIARY_MAX_ROOM)
        room = DIARY_MAX_ROOM;
    if (krn_msg* m = rd_small(&index)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_datetime(dt)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_quoted(text, room, &cut)) return m;
    for (int i = 0; i < 3; ++i) {
        if (krn_msg* m = rd_comma()) return m;
        if (krn_msg* m = rd_small(&v[i])) return m;
    }
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_MDRR, static_cast<uint16_t>(2 + 2 + 8 + 1 + DIARY_MAX_ROOM + 1 + 3));
    c.byte(index);
    c.bytes(dt, 9);
    c.text(text);
    c.bytes(v, 3);
    c.send();
    return nullptr;
}

// "~MALR: "<kind>",<state>,"<time>"" -> 219: [2] kind, [3] state, [4] 1,
// [5..9] hour, minute, second, sign, zone.
krn_msg* h_malr()
{
    uint16_t kind;
    uint8_t state, t[6];
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_quoted_value(AT_LIST_ALARM_KIND, &kind)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_small(&state)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_short_time(t)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    krn_msg* c = ati_new_confirm(AT_CNF_MALR, 10);
    c[2] = static_cast<uint8_t>(kind == 0xFFFF ? 0xFF : kind);
    c[3] = state;
    std::memcpy(c + 4, t, 6);
    ati_send_answer(c);
    return nullptr;
}

// "~MMYW: (<range>),<namelen>,<notes>" -> 222: [2] count, pairs (at most 3),
// name length, notes as a word. The name length becomes the melody limit.
krn_msg* h_mmyw()
{
    uint8_t pairs[6], n, namelen;
    uint16_t notes;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_range_list(pairs, 3, &n)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_byte_clamped(&namelen)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_word(&notes)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    cnf_builder c(AT_CNF_MMYW_TEST, 2 + 1 + 6 + 1 + 2);
    c.byte(n);
    c.bytes(pairs, 2u * n);
    c.byte(namelen);
    c.word(notes);
    c.send();
    ati_limits.melody_name_len = namelen;
    return nullptr;
}

}  // namespace

// Largest notes text that one melody confirm carries.
constexpr uint16_t MMYR_CNF_MAX = 1984;
constexpr uint16_t MMYR_NAME_ROOM = 64;

// "~MMYR: <index>,"<name>",<a>,<length>" then a line of exactly <length>
// bytes -> 223: [2] index, name (length, characters, zero), a and length as
// words, then the notes bytes. Notes longer than a confirm can hold are read
// and dropped, and the answer is malformed.
krn_msg* h_mmyr()
{
    uint8_t index, name[MMYR_NAME_ROOM + 2];
    uint16_t a, length;
    bool cut;
    if (krn_msg* m = rd_colon()) return m;
    if (krn_msg* m = rd_small(&index)) return m;
    if (krn_msg* m = rd_comma()) return m;
    uint16_t room = ati_limits.melody_name_len ? ati_limits.melody_name_len : MMYR_NAME_ROOM;
    if (room > MMYR_NAME_ROOM)
        room = MMYR_NAME_ROOM;
    if (krn_msg* m = rd_quoted(name, room, &cut)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_word(&a)) return m;
    if (krn_msg* m = rd_comma()) return m;
    if (krn_msg* m = rd_word(&length)) return m;
    if (krn_msg* m = rd_line_end()) return m;
    uint16_t head = static_cast<uint16_t>(2 + 1 + 1 + name[0] + 1 + 4);
    if (length > MMYR_CNF_MAX - head) {
        for (uint16_t i = 0; i < length; ++i) {
            uint8_t ch;
            if (krn_msg* m = ati_getc(&ch)) return m;
        }
        return syntax();
    }
    krn_msg* c = ati_new_confirm(AT_CNF_MMYR, static_cast<uint16_t>(head + length));
    uint16_t n = 2;
    c[n++] = index;
    c[n++] = name[0];
    std::memcpy(c + n, name + 1, name[0]);
    n = static_cast<uint16_t>(n + name[0]);
    c[n++] = 0;
    c[n++] = static_cast<uint8_t>(a >> 8);
    c[n++] = static_cast<uint8_t>(a);
    c[n++] = static_cast<uint8_t>(length >> 8);
    c[n++] = static_cast<uint8_t>(length);
    for (uint16_t i = 0; i < length; ++i) {
        uint8_t ch;
        if (krn_msg* m = ati_getc(&ch)) {
            ati_free(c);
            return m;
        }
        c[n++] = ch;
    }
    ati_send_answer(c);
    return nullptr;
}

namespace {

krn_msg* h_prompt() { return ati_write_second_phase(); }
krn_msg* h_unexpected() { return ati_stop_result(AT_RESULT_UNEXPECTED); }

}  // namespace

const ati_handler ati_handlers[AT_KW_COUNT] = {
    h_cbc,          // +CBC
    h_cclk,         // +CCLK
    at_sms_cds,     // +CDS
    h_ciev,         // +CIEV
    h_cind,         // +CIND
    h_clck,         // +CLCK
    h_cme_error,    // +CME ERROR
    h_unexpected,   // +CMER
    h_unexpected,   // +CMGD
    h_cmgf,         // +CMGF
    at_sms_cmgl,    // +CMGL
    at_sms_cmgr,    // +CMGR
    h_cmgs,         // +CMGS
    h_cmgw,         // +CMGW
    h_cms_error,    // +CMS ERROR
    h_cmss,         // +CMSS
    h_cmti,         // +CMTI
    h_unexpected,   // +CNMI
    h_cops,         // +COPS
    h_cpbr,         // +CPBR
    h_cpbs,         // +CPBS
    h_cpbw,         // +CPBW
    h_cpin,         // +CPIN
    h_cpms,         // +CPMS
    h_cpwd,         // +CPWD
    h_creg,         // +CREG
    h_cres,         // +CRES
    h_csas,         // +CSAS
    h_csca,         // +CSCA
    h_unexpected,   // +CSCS
    h_csmp,         // +CSMP
    h_csq,          // +CSQ
    h_prompt,       // "> "
    h_busy,         // BUSY
    h_connect,      // CONNECT
    h_error,        // ERROR
    h_no_answer,    // NO ANSWER
    h_no_carrier,   // NO CARRIER
    h_no_dialtone,  // NO DIALTONE
    h_ok,           // OK
    h_ring,         // RING
    h_mali,         // ~MALI
    h_malr,         // ~MALR
    h_mclk,         // ~MCLK
    h_mdaf,         // ~MDAF
    h_mdri,         // ~MDRI
    h_mdrr,         // ~MDRR
    h_mdrw,         // ~MDRW
    h_mmpi,         // ~MMPI
    h_mmyr,         // ~MMYR
    h_mmyw,         // ~MMYW
    h_mpin,         // ~MPIN
    h_mtif,         // ~MTIF
};
