// The command formatters: one per request number. Each reads the request's
// parameters, writes "AT" + the command + CR, sets the running command code
// and starts the command time-out. Parameters are checked against the
// request message's size and against what may be sent as it is: a request
// that does not hold together is refused and nothing is written.
#include <cstring>

#include "at_sms.h"
#include "ati.h"
#include "mtr_sms_pdu.h"

namespace {

constexpr uint8_t CTRL_Z = 26, ESC = 27, CR = 13;

// Reads a request's parameters from byte 2 on, never past its end.
struct params {
    const krn_msg* m;
    size_t n;
    size_t i = 2;
    bool ok = true;
    explicit params(const krn_msg* msg) : m(msg), n(ati_kernel.msg_size ? ati_kernel.msg_size(msg) : 2) {}
    uint8_t byte()
    {
        if (i >= n) {
            ok = false;
            return 0;
        }
        return m[i++];
    }
    uint16_t word()
    {
        uint16_t hi = byte();
        return static_cast<uint16_t>(hi << 8 | byte());
    }
    // A length-prefixed text.
    const uint8_t* text(size_t* len)
    {
        *len = byte();
        if (!ok || n - i < *len) {
            ok = false;
            *len = 0;
            return nullptr;
        }
        const uint8_t* p = m + i;
        i += *len;
        return p;
    }
    const uint8_t* bytes(size_t k)
    {
        if (n - i < k || i > n) {
            ok = false;
            return nullptr;
        }
        const uint8_t* p = m + i;
        i += k;
        return p;
    }
};

// A packed phone number: length, characters, type.
struct number {
    const uint8_t* p = nullptr;
    size_t len = 0;
    uint8_t type = 0;
};

bool read_number(params& r, number* out, size_t max_digits)
{
    out->p = r.text(&out->len);
    out->type = out->len ? r.byte() : 0;
    if (!r.ok)
        return false;
    size_t digits = out->len - (out->len && out->p[0] == '+' ? 1 : 0);
    return digits <= max_digits && ati_number_ok(out->p, out->len);
}

void cmd(std::string_view text) { ati_out_text(text); }

void finish(uint32_t code, uint32_t ticks, uint8_t req)
{
    ati_out_eol();
    ati_command = code;
    if (ticks)
        ati_start_timeout(ticks, req);
}

// A word of a value list, in quotes. False for an index outside the list.
bool quoted_value(AT_LIST list, uint8_t index)
{
    std::string_view w = at_value_word(list, index);
    if (w.empty())
        return false;
    ati_out_char('"');
    ati_out_text(w);
    ati_out_char('"');
    return true;
}

bool value_ok(AT_LIST list, uint8_t index) { return !at_value_word(list, index).empty(); }

// "hh:mm:ss+zz" from a time record (hour, minute, second, sign, zone). A
// sign of 0 or '+' is plus.
void time_text(const uint8_t* t)
{
    ati_out_2digits(t[0]);
    ati_out_char(':');
    ati_out_2digits(t[1]);
    ati_out_char(':');
    ati_out_2digits(t[2]);
    ati_out_char(t[3] == 0 || t[3] == '+' ? '+' : '-');
    ati_out_2digits(t[4]);
}

// "yy/MM/dd,hh:mm:ss+zz" in quotes from a date-time record.
void datetime_text(const uint8_t* d)
{
    ati_out_char('"');
    ati_out_2digits(d[0]);
    ati_out_char('/');
    ati_out_2digits(d[1]);
    ati_out_char('/');
    ati_out_2digits(d[2]);
    ati_out_char(',');
    time_text(d + 3);
    ati_out_char('"');
}

// ---- Commands without parameters --------------------------------------------

struct simple_cmd {
    uint8_t req;
    const char* text;
    uint32_t code;
    uint32_t ticks;
};

const simple_cmd simple[] = {
    {AT_REQ_AND_T9, "AT&T9", AT_CMD_AND_T9, 400},
    {AT_REQ_CGMI, "AT+CGMI", AT_CMD_CGMI, 200},
    {AT_REQ_HANGUP, "ATH", AT_CMD_HANGUP, 400},
    {AT_REQ_CREG_GET, "AT+CREG?", AT_CMD_CREG_GET, 200},
    {AT_REQ_COPS_GET, "AT+COPS?", AT_CMD_COPS_GET, 200},
    {AT_REQ_CLCK_TEST, "AT+CLCK=?", AT_CMD_CLCK_TEST, 400},
    {AT_REQ_CPWD_TEST, "AT+CPWD=?", AT_CMD_CPWD_TEST, 400},
    {AT_REQ_CPIN_GET, "AT+CPIN?", AT_CMD_CPIN_GET, 1000},
    {AT_REQ_MPIN_GET, "AT~MPIN?", AT_CMD_MPIN_GET, 1000},
    {AT_REQ_CBC, "AT+CBC", AT_CMD_CBC, 200},
    {AT_REQ_CSQ, "AT+CSQ", AT_CMD_CSQ, 200},
    {AT_REQ_CIND_GET, "AT+CIND?", AT_CMD_CIND_GET, 200},
    {AT_REQ_CIND_TEST, "AT+CIND=?", AT_CMD_CIND_TEST, 200},
    {AT_REQ_CPBS_TEST, "AT+CPBS=?", AT_CMD_CPBS_TEST, 400},
    {AT_REQ_CPBW_TEST, "AT+CPBW=?", AT_CMD_CPBW_TEST, 400},
    {AT_REQ_CCLK_GET, "AT+CCLK?", AT_CMD_CCLK_GET, 800},
    {AT_REQ_CPMS_TEST, "AT+CPMS=?", AT_CMD_CPMS_TEST, 400},
    {AT_REQ_CMGF_TEST, "AT+CMGF=?", AT_CMD_CMGF_TEST, 400},
    {AT_REQ_CSCA_GET, "AT+CSCA?", AT_CMD_CSCA_GET, 400},
    {AT_REQ_CSMP_GET, "AT+CSMP?", AT_CMD_CSMP_GET, 400},
    {AT_REQ_CSAS_TEST, "AT+CSAS=?", AT_CMD_CSAS_TEST, 400},
    {AT_REQ_CRES_TEST, "AT+CRES=?", AT_CMD_CRES_TEST, 400},
    {AT_REQ_MVER, "AT~MVER", AT_CMD_MVER, 200},
    {AT_REQ_MDAF_GET, "AT~MDAF?", AT_CMD_MDAF_GET, 800},
    {AT_REQ_MTIF_GET, "AT~MTIF?", AT_CMD_MTIF_GET, 800},
    {AT_REQ_MDRR_TEST, "AT~MDRR=?", AT_CMD_MDRR_TEST, 800},
    {AT_REQ_MMYW_TEST, "AT~MMYW=?", AT_CMD_MMYW_TEST, 800},
    {AT_REQ_MMYS, "AT~MMYS", AT_CMD_MMYS, 800},
    {AT_REQ_AT, "AT", AT_CMD_AT, 200},
};

ati_fmt_result f_simple(krn_msg* req)
{
    uint8_t number = req[1];
    for (const simple_cmd& s : simple)
        if (s.req == number) {
            // A bare AT may carry its own time-out (ticks, byte 2): a probe
            // for a phone that may be away waits only a moment for it.
            uint32_t ticks = s.ticks;
            if (number == AT_REQ_AT && ati_kernel.msg_size(req) >= 3 && req[2] != 0)
                ticks = req[2];
            cmd(s.text);
            finish(s.code, ticks, s.req);
            return ATI_FMT_DONE;
        }
    return ATI_FMT_REFUSED;
}

// ---- One number ----------------------------------------------------------------

struct number_cmd {
    uint8_t req;
    const char* text;
    uint32_t code;
    uint32_t ticks;
};

// The table entry of a request number, or nullptr.
template <size_t N>
const number_cmd* find_cmd(const number_cmd (&table)[N], uint8_t req)
{
    for (const number_cmd& s : table)
        if (s.req == req)
            return &s;
    return nullptr;
}

const number_cmd one_number[] = {
    {AT_REQ_CREG_SET, "AT+CREG=", AT_CMD_CREG_SET, 400},
    {AT_REQ_CMGF_SET, "AT+CMGF=", AT_CMD_CMGF_SET, 400},
    {AT_REQ_CSAS_SET, "AT+CSAS=", AT_CMD_CSAS_SET, 1000},
    {AT_REQ_CRES_SET, "AT+CRES=", AT_CMD_CRES_SET, 1000},
    {AT_REQ_CMGR, "AT+CMGR=", AT_CMD_CMGR, 1000},
    {AT_REQ_CMGD, "AT+CMGD=", AT_CMD_CMGD, 1000},
    {AT_REQ_MDRD, "AT~MDRD=", AT_CMD_MDRD, 800},
};

ati_fmt_result f_one_number(krn_msg* req)
{
    params r(req);
    uint8_t v = r.byte();
    if (!r.ok)
        return ATI_FMT_REFUSED;
    const number_cmd* s = find_cmd(one_number, req[1]);
    if (!s)
        return ATI_FMT_REFUSED;
    cmd(s->text);
    ati_out_decimal(v);
    finish(s->code, s->ticks, s->req);
    return ATI_FMT_DONE;
}

// first[,last]: last only when it differs.
const number_cmd ranges[] = {
    {AT_REQ_CPBR, "AT+CPBR=", AT_CMD_CPBR, 1000},
    {AT_REQ_MDRR, "AT~MDRR=", AT_CMD_MDRR, 800},
    {AT_REQ_MMYR, "AT~MMYR=", AT_CMD_MMYR, 800},
};

ati_fmt_result f_range(krn_msg* req)
{
    params r(req);
    uint8_t first = r.byte(), last = r.byte();
    if (!r.ok)
        return ATI_FMT_REFUSED;
    const number_cmd* s = find_cmd(ranges, req[1]);
    if (!s)
        return ATI_FMT_REFUSED;
    cmd(s->text);
    ati_out_decimal(first);
    if (last != first) {
        ati_out_char(',');
        ati_out_decimal(last);
    }
    finish(s->code, s->ticks, s->req);
    return ATI_FMT_DONE;
}

// Counted list: a count, then that many numbers, separated by ",".
const number_cmd lists[] = {
    {AT_REQ_COPS_SET, "AT+COPS=", AT_CMD_COPS_SET, 200},
    {AT_REQ_CMER_SET, "AT+CMER=", AT_CMD_CMER_SET, 200},
    {AT_REQ_CNMI_SET, "AT+CNMI=", AT_CMD_CNMI_SET, 400},
};

ati_fmt_result f_list(krn_msg* req)
{
    params r(req);
    size_t count = r.byte();
    const uint8_t* v = r.bytes(count);
    unsigned max = req[1] == AT_REQ_CNMI_SET ? 5 : 8;
    if (!r.ok || count == 0 || count > max)
        return ATI_FMT_REFUSED;
    const number_cmd* s = find_cmd(lists, req[1]);
    if (!s)
        return ATI_FMT_REFUSED;
    cmd(s->text);
    for (size_t k = 0; k < count; ++k) {
        if (k)
            ati_out_char(',');
        ati_out_decimal(v[k]);
    }
    finish(s->code, s->ticks, s->req);
    return ATI_FMT_DONE;
}

// One value-list word in quotes.
struct word_cmd {
    uint8_t req;
    const char* text;
    AT_LIST list;
    uint32_t code;
    uint32_t ticks;
};

const word_cmd one_word[] = {
    {AT_REQ_CSCS_SET, "AT+CSCS=", AT_LIST_CHARSET, AT_CMD_CSCS_SET, 400},
    {AT_REQ_MPIN_SET, "AT~MPIN=", AT_LIST_FACILITY, AT_CMD_MPIN_SET, 1000},
    {AT_REQ_CPBS_SET, "AT+CPBS=", AT_LIST_PB_STORAGE, AT_CMD_CPBS_SET, 400},
    {AT_REQ_MDAF_SET, "AT~MDAF=", AT_LIST_DATE_FORMAT, AT_CMD_MDAF_SET, 800},
    {AT_REQ_MTIF_SET, "AT~MTIF=", AT_LIST_TIME_FORMAT, AT_CMD_MTIF_SET, 800},
    {AT_REQ_MALR, "AT~MALR=", AT_LIST_ALARM_KIND, AT_CMD_MALR, 800},
};

ati_fmt_result f_word(krn_msg* req)
{
    params r(req);
    uint8_t index = r.byte();
    if (!r.ok)
        return ATI_FMT_REFUSED;
    for (const word_cmd& s : one_word)
        if (s.req == req[1]) {
            if (!value_ok(s.list, index))
                return ATI_FMT_REFUSED;
            cmd(s.text);
            quoted_value(s.list, index);
            if (s.req == AT_REQ_CSCS_SET)
                ati_cscs_index = index;
            finish(s.code, s.ticks, s.req);
            return ATI_FMT_DONE;
        }
    return ATI_FMT_REFUSED;
}

// ---- Commands with their own forms -----------------------------------------------

ati_fmt_result f_dial(krn_msg* req)
{
    params r(req);
    number n;
    if (!read_number(r, &n, 21) || n.len == 0)
        return ATI_FMT_REFUSED;
    cmd("ATD");
    ati_out_bytes(n.p, n.len);
    ati_out_char(';');
    // The dial is a command like any other: it runs until its final answer
    // (OK, ERROR, BUSY...), so that the answer is never taken for another
    // command's, and its caller learns whether the phone refused it. A
    // ringing phone sends nothing, so its time-out is a call set-up time.
    finish(AT_CMD_DIAL, gv_ati_dial_timeout_ticks, AT_REQ_DIAL);
    return ATI_FMT_DONE;
}

ati_fmt_result f_clck(krn_msg* req)
{
    params r(req);
    uint8_t count = r.byte(), fac = r.byte(), mode = r.byte();
    size_t plen = 0;
    const uint8_t* pw = count == 3 ? r.text(&plen) : nullptr;
    if (!r.ok || (count != 2 && count != 3) || !value_ok(AT_LIST_FACILITY, fac) || plen > 16)
        return ATI_FMT_REFUSED;
    cmd("AT+CLCK=");
    quoted_value(AT_LIST_FACILITY, fac);
    ati_out_char(',');
    ati_out_decimal(mode);
    if (plen) {
        ati_out_char(',');
        ati_out_quoted(pw, plen);
    }
    finish(AT_CMD_CLCK_SET, 800, AT_REQ_CLCK_SET);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cpwd(krn_msg* req)
{
    params r(req);
    uint8_t fac = r.byte();
    size_t l1, l2;
    const uint8_t* p1 = r.text(&l1);
    const uint8_t* p2 = r.text(&l2);
    if (!r.ok || !value_ok(AT_LIST_FACILITY, fac) || l1 > 16 || l2 > 16)
        return ATI_FMT_REFUSED;
    cmd("AT+CPWD=");
    quoted_value(AT_LIST_FACILITY, fac);
    ati_out_char(',');
    ati_out_quoted(p1, l1);
    ati_out_char(',');
    ati_out_quoted(p2, l2);
    finish(AT_CMD_CPWD_SET, 400, AT_REQ_CPWD_SET);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cpin(krn_msg* req)
{
    params r(req);
    size_t l1, l2 = 0;
    const uint8_t* p1 = r.text(&l1);
    const uint8_t* p2 = r.i < r.n ? r.text(&l2) : nullptr;
    if (!r.ok || l1 > 16 || l2 > 16)
        return ATI_FMT_REFUSED;
    cmd("AT+CPIN=");
    if (l1)
        ati_out_quoted(p1, l1);
    if (l2) {
        ati_out_char(',');
        ati_out_quoted(p2, l2);
    }
    finish(AT_CMD_CPIN_SET, 1000, AT_REQ_CPIN_SET);
    return ATI_FMT_DONE;
}

// +CPBW=<index>[,"<number>",<type>,"<name>"]. An entry with a name and no
// number is written with an empty number; only an entry with neither erases.
ati_fmt_result f_cpbw(krn_msg* req)
{
    params r(req);
    uint8_t index = r.byte();
    number n;
    bool num_ok = read_number(r, &n, 40);
    size_t name_len = 0;
    const uint8_t* name = r.text(&name_len);
    if (!r.ok || !num_ok)
        return ATI_FMT_REFUSED;
    cmd("AT+CPBW=");
    ati_out_decimal(index);
    if (n.len || name_len) {
        ati_out_char(',');
        ati_out_char('"');
        ati_out_bytes(n.p, n.len);
        ati_out_char('"');
        ati_out_char(',');
        ati_out_decimal(at_number_type(n.p, n.len, n.type));
        ati_out_char(',');
        ati_out_quoted(name, name_len);
    }
    finish(AT_CMD_CPBW, 1000, AT_REQ_CPBW);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cclk(krn_msg* req)
{
    params r(req);
    const uint8_t* d = r.bytes(8);
    if (!r.ok)
        return ATI_FMT_REFUSED;
    cmd("AT+CCLK=");
    datetime_text(d);
    finish(AT_CMD_CCLK_SET, 800, AT_REQ_CCLK_SET);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cpms(krn_msg* req)
{
    static const AT_LIST lists3[3] = {AT_LIST_MEM13, AT_LIST_MEM2, AT_LIST_MEM13};
    params r(req);
    uint8_t count = r.byte();
    const uint8_t* v = r.bytes(count);
    if (!r.ok || count < 1 || count > 3)
        return ATI_FMT_REFUSED;
    for (unsigned k = 0; k < count; ++k)
        if (!value_ok(lists3[k], v[k]))
            return ATI_FMT_REFUSED;
    cmd("AT+CPMS=");
    for (unsigned k = 0; k < count; ++k) {
        if (k)
            ati_out_char(',');
        quoted_value(lists3[k], v[k]);
    }
    finish(AT_CMD_CPMS_SET, 400, AT_REQ_CPMS_SET);
    return ATI_FMT_DONE;
}

ati_fmt_result f_csca(krn_msg* req)
{
    params r(req);
    number n;
    if (!read_number(r, &n, 20) || n.len == 0)
        return ATI_FMT_REFUSED;
    cmd("AT+CSCA=\"");
    ati_out_bytes(n.p, n.len);
    ati_out_char('"');
    bool plus = n.p[0] == '+';
    if (!((n.type == 145 && plus) || (n.type == 129 && !plus))) {
        ati_out_char(',');
        ati_out_decimal(n.type);
    }
    finish(AT_CMD_CSCA_SET, 400, AT_REQ_CSCA_SET);
    return ATI_FMT_DONE;
}

// +CSMP=<fo>[,<vp>[,<pid>[,<dcs>]]] from: count, first octet, validity
// (length 1: relative; 8: absolute date-time; other: left empty), pid, dcs.
ati_fmt_result f_csmp(krn_msg* req)
{
    params r(req);
    uint8_t count = r.byte(), fo = r.byte();
    size_t vlen = 0;
    const uint8_t* vp = count >= 2 ? r.text(&vlen) : nullptr;
    uint8_t pid = count >= 3 ? r.byte() : 0;
    uint8_t dcs = count >= 4 ? r.byte() : 0;
    if (!r.ok || count < 1 || count > 4)
        return ATI_FMT_REFUSED;
    cmd("AT+CSMP=");
    ati_out_decimal(fo);
    if (count >= 2) {
        ati_out_char(',');
        if (vlen == 1)
            ati_out_decimal(vp[0]);
        else if (vlen == 8)
            datetime_text(vp);
    }
    if (count >= 3) {
        ati_out_char(',');
        ati_out_decimal(pid);
    }
    if (count >= 4) {
        ati_out_char(',');
        ati_out_decimal(dcs);
    }
    finish(AT_CMD_CSMP_SET, 400, AT_REQ_CSMP_SET);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cmgl(krn_msg* req)
{
    params r(req);
    uint8_t status = r.byte();
    if (!r.ok || status > 3)
        return ATI_FMT_REFUSED;
    cmd("AT+CMGL=");
    if (ati_sms_mode == 0)
        ati_out_decimal(status);
    else
        ati_out_text(at_msg_state_name(status));
    finish(AT_CMD_CMGL, 1000, AT_REQ_CMGL);
    return ATI_FMT_DONE;
}

ati_fmt_result f_cmss(krn_msg* req)
{
    params r(req);
    uint8_t index = r.byte();
    number n;
    if (!read_number(r, &n, 24))
        return ATI_FMT_REFUSED;
    cmd("AT+CMSS=");
    ati_out_decimal(index);
    if (n.len) {
        ati_out_text(",\"");
        ati_out_bytes(n.p, n.len);
        ati_out_text("\",");
        ati_out_decimal(at_number_type(n.p, n.len, n.type));
    }
    finish(AT_CMD_CMSS, 2050, AT_REQ_CMSS);
    return ATI_FMT_DONE;
}

ati_fmt_result f_mdrw(krn_msg* req)
{
    params r(req);
    uint8_t index = r.byte();
    const uint8_t* d = r.bytes(8);
    size_t tlen = 0;
    const uint8_t* text = r.text(&tlen);
    uint8_t a = 0, b = 0, c = 0;
    if (tlen) {
        a = r.byte();
        b = r.byte();
        c = r.byte();
    }
    if (!r.ok)
        return ATI_FMT_REFUSED;
    cmd("AT~MDRW=");
    if (index != 255)
        ati_out_decimal(index);
    ati_out_char(',');
    datetime_text(d);
    ati_out_char(',');
    if (tlen) {
        ati_out_quoted(text, tlen);
        ati_out_char(',');
        ati_out_decimal(a);
        ati_out_char(',');
        ati_out_decimal(b);
        ati_out_char(',');
        ati_out_decimal(c);
    }
    finish(AT_CMD_MDRW, 800, AT_REQ_MDRW);
    return ATI_FMT_DONE;
}

ati_fmt_result f_malw(krn_msg* req)
{
    params r(req);
    uint8_t kind = r.byte(), state = r.byte();
    const uint8_t* t = r.bytes(5);
    if (!r.ok || !value_ok(AT_LIST_ALARM_KIND, kind))
        return ATI_FMT_REFUSED;
    cmd("AT~MALW=");
    quoted_value(AT_LIST_ALARM_KIND, kind);
    ati_out_char(',');
    ati_out_decimal(state);
    ati_out_char(',');
    ati_out_char('"');
    time_text(t);
    ati_out_char('"');
    finish(AT_CMD_MALW, 800, AT_REQ_MALW);
    return ATI_FMT_DONE;
}

ati_fmt_result f_mmer(krn_msg* req)
{
    params r(req);
    uint8_t a = r.byte(), b = r.byte();
    if (!r.ok)
        return ATI_FMT_REFUSED;
    cmd("AT~MMER=");
    ati_out_decimal(a);
    ati_out_char(',');
    ati_out_decimal(b);
    finish(AT_CMD_MMER, 800, AT_REQ_MMER);
    return ATI_FMT_DONE;
}

// ---- Melody write and play: header now, notes after each "> " ----------------

// The kept request's first four bytes become {notes left, notes offset}.
ati_fmt_result f_melody(krn_msg* req)
{
    params r(req);
    size_t hlen;
    const uint8_t* header = r.text(&hlen);
    uint16_t nlen = r.word();
    const uint8_t* notes = r.bytes(nlen);
    if (!r.ok)
        return ATI_FMT_REFUSED;
    for (size_t k = 0; k < nlen; ++k)
        if (notes[k] == CTRL_Z || notes[k] == ESC)
            return ATI_FMT_REFUSED;
    bool play = req[1] == AT_REQ_MMYP;
    cmd(play ? "AT~MMYP=" : "AT~MMYW=");
    ati_out_escaped(header, hlen);
    size_t offset = static_cast<size_t>(notes - req);
    req[0] = static_cast<uint8_t>(nlen >> 8);
    req[1] = static_cast<uint8_t>(nlen);
    req[2] = static_cast<uint8_t>(offset >> 8);
    req[3] = static_cast<uint8_t>(offset);
    if (ati_melody_holder)
        ati_free(ati_melody_holder);
    ati_melody_holder = req;
    finish(play ? AT_CMD_MMYP : AT_CMD_MMYW, 800, AT_REQ_MMYW);
    return ATI_FMT_KEPT;
}

krn_msg* melody_phase2()
{
    krn_msg* m = ati_melody_holder;
    if (!m)
        return ati_stop_result(AT_RESULT_SYNTAX);
    ati_stop_timer();
    size_t left = static_cast<size_t>(m[0] << 8 | m[1]);
    size_t off = static_cast<size_t>(m[2] << 8 | m[3]);
    while (left) {
        uint8_t c = m[off++];
        --left;
        ati_out_char(c);
        if (c == CR)
            break;
    }
    if (left) {
        ati_out_flush();
        m[0] = static_cast<uint8_t>(left >> 8);
        m[1] = static_cast<uint8_t>(left);
        m[2] = static_cast<uint8_t>(off >> 8);
        m[3] = static_cast<uint8_t>(off);
        ati_start_timeout(800, AT_REQ_MMYW);
        return nullptr;
    }
    ati_out_char(CTRL_Z);
    ati_out_flush();
    ati_command = ati_command == AT_CMD_MMYP ? AT_CMD_MMYP_BODY : AT_CMD_MMYW_BODY;
    ati_start_timeout(800, AT_REQ_MMYW);
    ati_free(m);
    ati_melody_holder = nullptr;
    return nullptr;
}

// ---- Message send and store ---------------------------------------------------------

// The parsed request of +CMGS / +CMGW.
struct sms_request {
    bool ok = false;
    // parameter header (PDU mode)
    number sca;
    uint8_t fo = 0, mr = 0, pid = 0, dcs = 0;
    size_t vlen = 0;
    const uint8_t* vp = nullptr;
    // concatenation values
    size_t nconcat = 0;
    const uint8_t* concat = nullptr;
    bool write = false;
    uint8_t status = 2;
    number da;
    size_t tlen = 0;
    const uint8_t* text = nullptr;
    size_t text_offset = 0;
};

sms_request parse_sms(const krn_msg* req)
{
    sms_request s;
    params r(req);
    size_t hlen = r.byte();
    size_t hend = r.i + hlen;
    if (hlen) {
        if (!read_number(r, &s.sca, 20))
            return s;
        s.fo = r.byte();
        bool submit = (s.fo & 3) == 1;
        if (r.byte())
            s.mr = r.byte();
        s.pid = r.byte();
        s.dcs = r.byte();
        if (submit)
            r.byte();
        s.vp = r.text(&s.vlen);
        if (!submit)
            r.byte();
        if (!r.ok || r.i != hend)
            return s;
    }
    s.nconcat = r.byte();
    s.concat = r.bytes(s.nconcat);
    s.write = r.byte() != 0;
    if (s.write)
        s.status = r.byte();
    if (!read_number(r, &s.da, 24))
        return s;
    s.text = r.text(&s.tlen);
    s.text_offset = s.text ? static_cast<size_t>(s.text - req) : 0;
    s.ok = r.ok && (s.nconcat == 0 || s.nconcat == 3 || s.nconcat == 4) && s.status <= 3;
    return s;
}

ati_fmt_result f_sms(krn_msg* req)
{
    bool write = req[1] == AT_REQ_CMGW;
    sms_request s = parse_sms(req);
    if (!s.ok || s.write != write)
        return ATI_FMT_REFUSED;
    if (ati_sms_mode != 0) {
        // Text mode: the body must not carry ^Z or ESC, which would end or
        // abort the message early.
        // A part carries a user-data header, which makes the body hexadecimal.
        if (s.nconcat == 4)
            return ATI_FMT_REFUSED;
        bool hex = s.nconcat == 3;
        if (!hex)
            for (size_t k = 0; k < s.tlen; ++k) {
                uint8_t e = ati_encode(s.text[k]);
                if (e == CTRL_Z || e == ESC)
                    return ATI_FMT_REFUSED;
            }
        if (s.tlen > 160)
            return ATI_FMT_REFUSED;
        cmd(write ? "AT+CMGW=" : "AT+CMGS=");
        ati_out_char('"');
        ati_out_bytes(s.da.p, s.da.len);
        ati_out_text("\",");
        ati_out_decimal(at_number_type(s.da.p, s.da.len, s.da.type));
        if (write && s.status != 2) {
            ati_out_char(',');
            ati_out_text(at_msg_state_name(s.status));
        }
        // Kept for the body: {text left, text offset, header state, hex}.
        size_t left = s.tlen;
        krn_msg* m = req;
        m[0] = static_cast<uint8_t>(left);
        m[1] = static_cast<uint8_t>(s.text_offset >> 8);
        m[2] = static_cast<uint8_t>(s.text_offset);
        // [3]: bit 0 header pending, bit 1 hexadecimal body. The header
        // values (coding, total, sequence) stay where they are in the request.
        uint8_t flags = 0;
        if (s.nconcat == 3) {
            flags = 3;
            m[4] = s.concat[1];
            m[5] = s.concat[2];
        }
        m[3] = flags;
        if (ati_sms_holder)
            ati_free(ati_sms_holder);
        ati_sms_holder = req;
        finish(write ? AT_CMD_CMGW : AT_CMD_CMGS, 1000, write ? AT_REQ_CMGW : AT_REQ_CMGS);
        return ATI_FMT_KEPT;
    }
    // PDU mode: build the whole PDU now, send it after the prompt.
    at_sms_submit p;
    p.sca = s.sca.p;
    p.sca_len = s.sca.len;
    p.sca_type = s.sca.type;
    p.fo = s.fo;
    p.mr = s.mr;
    p.pid = s.pid;
    p.dcs = s.dcs;
    p.vp_len = static_cast<uint8_t>(s.vlen == 1 ? 1 : s.vlen == 8 ? 8 : 0);
    p.vp = s.vp;
    p.da = s.da.p;
    p.da_len = s.da.len;
    p.da_type = s.da.type;
    if (s.nconcat == 4) {
        p.concat = true;
        p.ref = s.concat[1];
        p.total = s.concat[2];
        p.seq = s.concat[3];
    }
    p.text = s.text;
    p.text_len = s.tlen;
    krn_msg* pdu = ati_alloc(static_cast<uint16_t>(2 + AT_PDU_MAX));
    size_t tpdu = 0;
    // A received message written back is stored as the SMS-DELIVER it was.
    size_t n = write && (s.fo & 3) == 0 ? mtr_sms_pdu_deliver(p, pdu + 2, &tpdu) : at_pdu_submit(p, pdu + 2, &tpdu);
    if (n == 0) {
        ati_free(pdu);
        return ATI_FMT_REFUSED;
    }
    pdu[0] = static_cast<uint8_t>(n >> 8);
    pdu[1] = static_cast<uint8_t>(n);
    cmd(write ? "AT+CMGW=" : "AT+CMGS=");
    ati_out_decimal(static_cast<unsigned>(tpdu));
    if (write) {
        ati_out_char(',');
        ati_out_decimal(s.status);
    }
    if (ati_sms_holder)
        ati_free(ati_sms_holder);
    ati_sms_holder = pdu;
    finish(write ? AT_CMD_CMGW : AT_CMD_CMGS, 1000, write ? AT_REQ_CMGW : AT_REQ_CMGS);
    return ATI_FMT_DONE;
}

void sms_end_body()
{
    bool write = ati_command == AT_CMD_CMGW;
    ati_out_char(CTRL_Z);
    ati_out_flush();
    ati_command = write ? AT_CMD_CMGW_BODY : AT_CMD_CMGS_BODY;
    ati_start_timeout(write ? 1000 : 2050, write ? AT_REQ_CMGW : AT_REQ_CMGS);
    ati_free(ati_sms_holder);
    ati_sms_holder = nullptr;
}

krn_msg* sms_phase2()
{
    krn_msg* m = ati_sms_holder;
    if (!m)
        return ati_stop_result(AT_RESULT_SYNTAX);
    ati_stop_timer();
    if (ati_sms_mode == 0) {
        size_t n = static_cast<size_t>(m[0] << 8 | m[1]);
        ati_out_hex(m + 2, n);
        sms_end_body();
        return nullptr;
    }
    size_t left = m[0];
    size_t off = static_cast<size_t>(m[1] << 8 | m[2]);
    uint8_t flags = m[3];
    if (flags & 1) {
        uint8_t udh[6] = {5, 0, 3, 0, m[4], m[5]};
        ati_out_hex(udh, 6);
        m[3] = static_cast<uint8_t>(flags & ~1);
    }
    bool hex = flags & 2;
    while (left) {
        uint8_t c = m[off++];
        --left;
        if (hex) {
            ati_out_hex(&c, 1);
        } else {
            ati_out_char(ati_encode(c));
            if (c == CR)
                break;
        }
    }
    if (left) {
        ati_out_flush();
        m[0] = static_cast<uint8_t>(left);
        m[1] = static_cast<uint8_t>(off >> 8);
        m[2] = static_cast<uint8_t>(off);
        bool write = ati_command == AT_CMD_CMGW;
        ati_start_timeout(1000, write ? AT_REQ_CMGW : AT_REQ_CMGS);
        return nullptr;
    }
    sms_end_body();
    return nullptr;
}

}  // namespace

bool ati_number_ok(const uint8_t* p, size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        uint8_t c = p[k];
        bool ok = (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D') ||
                  c == 'p' || c == 'P' || c == 'w' || c == 'W' || (c == '+' && k == 0);
        if (!ok)
            return false;
    }
    return true;
}

ati_formatter ati_formatter_for(uint8_t req)
{
    switch (req) {
    case AT_REQ_AND_T9: case AT_REQ_CGMI: case AT_REQ_HANGUP: case AT_REQ_CREG_GET:
    case AT_REQ_COPS_GET: case AT_REQ_CLCK_TEST: case AT_REQ_CPWD_TEST: case AT_REQ_CPIN_GET:
    case AT_REQ_MPIN_GET: case AT_REQ_CBC: case AT_REQ_CSQ: case AT_REQ_CIND_GET:
    case AT_REQ_CIND_TEST: case AT_REQ_CPBS_TEST: case AT_REQ_CPBW_TEST: case AT_REQ_CCLK_GET:
    case AT_REQ_CPMS_TEST: case AT_REQ_CMGF_TEST: case AT_REQ_CSCA_GET: case AT_REQ_CSMP_GET:
    case AT_REQ_CSAS_TEST: case AT_REQ_CRES_TEST: case AT_REQ_MVER: case AT_REQ_MDAF_GET:
    case AT_REQ_MTIF_GET: case AT_REQ_MDRR_TEST: case AT_REQ_MMYW_TEST: case AT_REQ_MMYS:
    case AT_REQ_AT:
        return f_simple;
    case AT_REQ_CREG_SET: case AT_REQ_CMGF_SET: case AT_REQ_CSAS_SET: case AT_REQ_CRES_SET:
    case AT_REQ_CMGR: case AT_REQ_CMGD: case AT_REQ_MDRD:
        return f_one_number;
    case AT_REQ_CPBR: case AT_REQ_MDRR: case AT_REQ_MMYR:
        return f_range;
    case AT_REQ_COPS_SET: case AT_REQ_CMER_SET: case AT_REQ_CNMI_SET:
        return f_list;
    case AT_REQ_CSCS_SET: case AT_REQ_MPIN_SET: case AT_REQ_CPBS_SET: case AT_REQ_MDAF_SET:
    case AT_REQ_MTIF_SET: case AT_REQ_MALR:
        return f_word;
    case AT_REQ_DIAL: return f_dial;
    case AT_REQ_CLCK_SET: return f_clck;
    case AT_REQ_CPWD_SET: return f_cpwd;
    case AT_REQ_CPIN_SET: return f_cpin;
    case AT_REQ_CPBW: return f_cpbw;
    case AT_REQ_CCLK_SET: return f_cclk;
    case AT_REQ_CPMS_SET: return f_cpms;
    case AT_REQ_CSCA_SET: return f_csca;
    case AT_REQ_CSMP_SET: return f_csmp;
    case AT_REQ_CMGL: return f_cmgl;
    case AT_REQ_CMSS: return f_cmss;
    case AT_REQ_MDRW: return f_mdrw;
    case AT_REQ_MALW: return f_malw;
    case AT_REQ_MMER: return f_mmer;
    case AT_REQ_MMYW: case AT_REQ_MMYP: return f_melody;
    case AT_REQ_CMGS: case AT_REQ_CMGW: return f_sms;
    default:
        return nullptr;
    }
}

krn_msg* ati_write_second_phase()
{
    switch (ati_command) {
    case AT_CMD_CMGS:
    case AT_CMD_CMGW:
        return sms_phase2();
    case AT_CMD_MMYW:
    case AT_CMD_MMYP:
        return melody_phase2();
    default:
        return ati_stop_result(AT_RESULT_SYNTAX);
    }
}
