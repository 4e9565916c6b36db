// Short-message answers in text and PDU mode, status reports, and the
// SMS-SUBMIT builder.
//
// +CMGL confirm 200 (at most AT_SMS_CNF_SIZE bytes):
//   [2] index, [3] status 0-3,
//   text mode: [4] 0, then the tail below;
//   PDU mode:  [4] 1, [5] L, [6..6+L) L = 1 with the message reference of a
//              submit (else 0), then the parameters, then the tail.
// +CMGR confirm 202:
//   [2] status, [3] L, [4..4+L): PDU mode L = 2 {reference present,
//   reference}, text mode L = 0; then the tail, then the parameters, then
//   the text.
// Tail: number (length, characters, type); name presence (0 none, 1, 2 cut)
//   and the name (length, characters); time-stamp presence and 8 bytes
//   (yy MM dd hh mm ss sign zone). In 200 the text follows the tail.
// Parameters: first octet, protocol identifier, coding scheme; validity
//   (length 0, 1 or 8, then its bytes); service-centre number (length,
//   characters, type); concatenation presence and reference, total,
//   sequence.
// Text: length, characters, zero.
//
// +CDS confirm 242: [2] first octet, [3] reference, [4] number presence,
//   number length and characters, type, 0; time-stamp presence and 8 bytes;
//   discharge-time presence and 8 bytes; status.
#include "at_sms.h"

#include <cstring>

#include "at_charset.h"
#include "at_scan.h"

namespace {

constexpr uint8_t CR = 13, LF = 10;

krn_msg* syntax() { return ati_stop_result(AT_RESULT_SYNTAX); }

int hexval(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// ---- PDU decoding --------------------------------------------------------------

struct reader {
    const uint8_t* p;
    size_t n;
    size_t i = 0;
    bool ok = true;
    uint8_t get()
    {
        if (i >= n) {
            ok = false;
            return 0;
        }
        return p[i++];
    }
    bool need(size_t k)
    {
        if (n - i < k)
            ok = false;
        return ok;
    }
};

uint8_t semi(uint8_t o) { return static_cast<uint8_t>((o & 15) * 10 + (o >> 4)); }

char digit_char(unsigned d)
{
    static const char map[] = "0123456789*#abc";
    return d < 15 ? map[d] : 0;
}

void unpack7(const uint8_t* in, size_t septets, unsigned skip_bits, uint8_t* out)
{
    for (size_t k = 0; k < septets; ++k) {
        size_t bit = skip_bits + k * 7;
        unsigned v = in[bit / 8] >> (bit % 8);
        if (bit % 8 > 1)
            v |= in[bit / 8 + 1] << (8 - bit % 8);
        out[k] = static_cast<uint8_t>(v & 0x7F);
    }
}

// Address: digit count (semi-octets), type, digits. Kept as text, with '+'
// in front of an international number.
bool read_address(reader& r, uint8_t* text, uint8_t* type, bool sca)
{
    uint8_t len = r.get();
    if (!r.ok)
        return false;
    text[0] = 0;
    *type = 0;
    if (sca) {  // service centre: length in octets, type included
        if (len == 0)
            return true;
        if (len > 11 || !r.need(len))
            return false;
        *type = r.get();
        size_t octets = len - 1u;
        unsigned n = 0;
        if (*type == 0x91)
            text[1 + n++] = '+';
        for (size_t k = 0; k < octets; ++k) {
            uint8_t o = r.get();
            for (unsigned d : {o & 15u, unsigned(o >> 4)}) {
                if (d == 15)
                    continue;
                text[1 + n++] = static_cast<uint8_t>(digit_char(d));
            }
        }
        text[0] = static_cast<uint8_t>(n);
        return r.ok;
    }
    if (len > 20)
        return false;
    *type = r.get();
    size_t octets = (len + 1u) / 2;
    if (!r.need(octets))
        return false;
    const uint8_t* d = r.p + r.i;
    r.i += octets;
    if ((*type & 0x70) == 0x50) {  // alphanumeric, GSM 7-bit
        size_t septets = len * 4u / 7u;
        uint8_t tmp[24];
        unpack7(d, septets, 0, tmp);
        for (size_t k = 0; k < septets; ++k)
            text[1 + k] = at_gsm_to_win(tmp[k]);
        text[0] = static_cast<uint8_t>(septets);
        return true;
    }
    unsigned n = 0;
    if (*type == 0x91)
        text[1 + n++] = '+';
    for (unsigned k = 0; k < len; ++k) {
        unsigned v = (k & 1) ? d[k / 2] >> 4 : d[k / 2] & 15;
        // Some phones count the filler of an odd number in the length.
        if (v == 15)
            continue;
        char c = digit_char(v);
        if (!c)
            return false;
        text[1 + n++] = static_cast<uint8_t>(c);
    }
    text[0] = static_cast<uint8_t>(n);
    return true;
}

void read_stamp(reader& r, uint8_t* out)
{
    if (!r.need(7))
        return;
    for (int k = 0; k < 6; ++k)
        out[k] = semi(r.get());
    uint8_t tz = r.get();
    out[6] = (tz & 0x08) ? 1 : 0;
    out[7] = static_cast<uint8_t>((tz & 7) * 10 + (tz >> 4));
}

bool read_user_data(reader& r, at_sms_fields* f)
{
    uint8_t udl = r.get();
    if (!r.ok)
        return false;
    int alphabet = at_dcs_alphabet(f->dcs);
    size_t octets = alphabet == 0 ? (udl * 7u + 7) / 8 : udl;
    if (!r.need(octets))
        return false;
    const uint8_t* ud = r.p + r.i;
    r.i += octets;
    size_t header = 0;  // octets of the header, its length byte included
    if (f->fo & 0x40) {
        if (octets == 0)
            return false;
        header = ud[0] + 1u;
        if (header > octets)
            return false;
        for (size_t k = 1; k + 1 < header;) {
            uint8_t iei = ud[k], iel = ud[k + 1];
            if (k + 2 + iel > header)
                return false;
            if (iei == 0 && iel == 3) {
                f->has_concat = true;
                std::memcpy(f->concat, ud + k + 2, 3);
            } else if (iei == 8 && iel == 4) {
                f->has_concat = true;
                f->concat[0] = ud[k + 3];
                f->concat[1] = ud[k + 4];
                f->concat[2] = ud[k + 5];
            }
            k += 2u + iel;
        }
    }
    if (alphabet == 0) {
        size_t skip_septets = header ? (header * 8 + 6) / 7 : 0;
        if (skip_septets > udl)
            return false;
        size_t septets = udl - skip_septets;
        if (septets > 160)
            return false;
        uint8_t tmp[160];
        unpack7(ud, septets, static_cast<unsigned>(skip_septets * 7), tmp);
        f->text_len = static_cast<uint8_t>(at_gsm7_to_win(tmp, septets, f->text));
    } else {
        size_t k = octets - header;
        if (k > 140)
            return false;
        std::memcpy(f->text, ud + header, k);
        f->text_len = static_cast<uint8_t>(k);
    }
    return true;
}

}  // namespace

uint8_t at_number_type(const uint8_t* number, size_t length, uint8_t given)
{
    if (length && number[0] == '+')
        return 145;
    return (given & 0x80) && given != 145 ? given : 129;
}

int at_dcs_alphabet(uint8_t dcs)
{
    if ((dcs & 0xC0) == 0x00 || (dcs & 0xC0) == 0x40) {
        unsigned a = (dcs >> 2) & 3;
        return a == 3 ? 1 : static_cast<int>(a);
    }
    if ((dcs & 0xF0) == 0xF0)
        return (dcs & 4) ? 1 : 0;
    if ((dcs & 0xF0) == 0xE0)
        return 2;
    return 0;
}

bool at_pdu_decode(const uint8_t* pdu, size_t n, bool with_sca, at_sms_fields* f)
{
    *f = at_sms_fields{};
    reader r{pdu, n};
    if (with_sca && !read_address(r, f->sca, &f->sca_type, true))
        return false;
    if (f->sca_type == 0x91)
        f->sca_type = 145;
    else if (f->sca[0])
        f->sca_type = f->sca_type ? f->sca_type : 129;
    f->fo = r.get();
    if (!r.ok)
        return false;
    switch (f->fo & 3) {
    case 0:  // deliver
        if (!read_address(r, f->number, &f->number_type, false))
            return false;
        f->pid = r.get();
        f->dcs = r.get();
        read_stamp(r, f->ts);
        f->has_ts = true;
        if (!r.ok)
            return false;
        break;
    case 1: {  // submit
        f->mr = r.get();
        f->has_mr = true;
        if (!read_address(r, f->number, &f->number_type, false))
            return false;
        f->pid = r.get();
        f->dcs = r.get();
        unsigned vpf = (f->fo >> 3) & 3;
        if (vpf == 2) {
            f->vp_len = 1;
            f->vp[0] = r.get();
        } else if (vpf == 3) {
            f->vp_len = 8;
            read_stamp(r, f->vp);
        } else if (vpf == 1) {
            if (!r.need(7))
                return false;
            r.i += 7;  // enhanced format: not kept
        }
        if (!r.ok)
            return false;
        break;
    }
    case 2:  // status report
        f->mr = r.get();
        f->has_mr = true;
        if (!read_address(r, f->number, &f->number_type, false))
            return false;
        read_stamp(r, f->ts);
        f->has_ts = true;
        read_stamp(r, f->dt);
        f->has_dt = true;
        f->status = r.get();
        return r.ok;
    default:
        return false;
    }
    // The type is kept as the phone gave it (0x91 is 145): a national number
    // written back as 129 would be another number on some networks.
    return read_user_data(r, f);
}

namespace {

// ---- Reading answers -------------------------------------------------------------

// One comma-separated field of a text-mode answer.
struct field {
    int kind = 0;  // 0 empty, 1 number, 2 quoted
    uint16_t number = 0;
    uint8_t text[48] = {};  // length, raw characters (not converted)
    bool cut = false;
};

// Reads ",field,field..." up to the line end (not consumed). A field that is
// neither a number nor a quoted text is malformed.
krn_msg* read_fields(field* f, unsigned max, unsigned* count)
{
    *count = 0;
    krn_msg* stop = nullptr;
    while (rd_peek_is(',', &stop)) {
        if (*count >= max)
            return syntax();
        field& x = f[(*count)++];
        x = field{};
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        ati_ungetc(c);
        if (c == '"') {
            x.kind = 2;
            if (krn_msg* m = rd_quoted(x.text, sizeof x.text - 1, &x.cut, false))
                return m;
        } else if (c >= '0' && c <= '9') {
            x.kind = 1;
            if (krn_msg* m = rd_word(&x.number))
                return m;
        } else if (c != ',' && c != CR && c != LF) {
            return syntax();
        }
    }
    return stop;
}

// "yy/MM/dd,hh:mm:ss+zz" (zone optional) from a field's text.
bool parse_stamp(const uint8_t* t, uint8_t* out)
{
    size_t n = t[0];
    const uint8_t* s = t + 1;
    if (n != 17 && n != 20)
        return false;
    auto two = [&](size_t at, uint8_t* v) {
        if (s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9')
            return false;
        *v = static_cast<uint8_t>((s[at] - '0') * 10 + (s[at + 1] - '0'));
        return true;
    };
    if (s[2] != '/' || s[5] != '/' || s[8] != ',' || s[11] != ':' || s[14] != ':')
        return false;
    for (int k = 0; k < 6; ++k)
        if (!two(static_cast<size_t>(k * 3), &out[k]))
            return false;
    out[6] = out[7] = 0;
    if (n == 20) {
        if (s[17] != '+' && s[17] != '-')
            return false;
        out[6] = s[17] == '-' ? 1 : 0;
        if (!two(18, &out[7]))
            return false;
    }
    return true;
}

void decode_into(uint8_t* dst, const uint8_t* src, size_t room)
{
    size_t n = src[0] < room ? src[0] : room;
    for (size_t k = 0; k < n; ++k)
        dst[1 + k] = ati_decode(src[1 + k]);
    dst[0] = static_cast<uint8_t>(n);
}

// Reads a hexadecimal PDU line (up to the line end, which is read too).
krn_msg* read_pdu_line(uint8_t* out, size_t room, size_t* n)
{
    *n = 0;
    int high = -1;
    bool bad = false, quote = false;
    for (;;) {
        uint8_t c;
        if (krn_msg* m = ati_getc(&c))
            return m;
        if (c == CR || c == LF) {
            ati_ungetc(c);
            break;
        }
        // Some phones close the hexadecimal with a quote: nothing may follow it.
        if (c == '"' && !quote) {
            quote = true;
            continue;
        }
        int v = hexval(c);
        if (v < 0 || quote) {
            bad = true;
            continue;
        }
        if (high < 0) {
            high = v;
        } else {
            if (*n < room)
                out[(*n)++] = static_cast<uint8_t>(high * 16 + v);
            else
                bad = true;
            high = -1;
        }
    }
    if (krn_msg* m = rd_line_end())
        return m;
    if (bad || high >= 0)
        return syntax();
    return nullptr;
}

// Text-mode body: exactly `length` characters, or 2 x length hexadecimal
// characters for 8-bit and UCS2 data (hex 1 yes, 0 no, -1 recognised by the
// count: the line goes on after `length` characters that are all hex).
krn_msg* read_text_body(int length, int hex, at_sms_fields* f)
{
    uint8_t raw[320];
    size_t n = 0;
    auto get = [&](size_t count) -> krn_msg* {
        for (size_t k = 0; k < count; ++k) {
            uint8_t c;
            if (krn_msg* m = ati_getc(&c))
                return m;
            raw[n++] = c;
        }
        return nullptr;
    };
    if (length < 0) {  // no length given: the line as it is
        for (;;) {
            uint8_t c;
            if (krn_msg* m = ati_getc(&c))
                return m;
            if (c == CR || c == LF) {
                ati_ungetc(c);
                break;
            }
            if (n >= 160)
                return syntax();
            raw[n++] = c;
        }
        hex = 0;
    } else {
        if (krn_msg* m = get(static_cast<size_t>(hex == 1 ? 2 * length : length)))
            return m;
        if (hex < 0) {
            hex = 0;
            bool all_hex = length > 0;
            for (size_t k = 0; k < n && all_hex; ++k)
                all_hex = hexval(raw[k]) >= 0;
            krn_msg* stop = nullptr;
            uint8_t c;
            if (all_hex) {
                if ((stop = ati_getc(&c)))
                    return stop;
                ati_ungetc(c);
                if (c != CR && c != LF) {
                    if (krn_msg* m = get(static_cast<size_t>(length)))
                        return m;
                    hex = 1;
                }
            }
        }
    }
    if (hex == 1) {
        if (n % 2)
            return syntax();
        for (size_t k = 0; k < n / 2; ++k) {
            int h = hexval(raw[2 * k]), l = hexval(raw[2 * k + 1]);
            if (h < 0 || l < 0)
                return syntax();
            f->text[k] = static_cast<uint8_t>(h * 16 + l);
        }
        f->text_len = static_cast<uint8_t>(n / 2);
    } else if (ati_decode == at_gsm_to_win) {
        // In the GSM character set an extension character is the escape
        // and its code.
        f->text_len = static_cast<uint8_t>(at_gsm7_to_win(raw, n, f->text));
    } else {
        for (size_t k = 0; k < n; ++k)
            f->text[k] = ati_decode(raw[k]);
        f->text_len = static_cast<uint8_t>(n);
    }
    return rd_line_end();
}

krn_msg* read_state(bool pdu, uint8_t* status)
{
    if (pdu) {
        uint8_t s;
        if (krn_msg* m = rd_small(&s))
            return m;
        if (s > 3)
            return syntax();
        *status = s;
        return nullptr;
    }
    uint8_t word[24];
    bool cut;
    if (krn_msg* m = rd_quoted(word, 20, &cut, false))
        return m;
    uint8_t quoted[24];
    quoted[0] = '"';
    std::memcpy(quoted + 1, word + 1, word[0]);
    quoted[1 + word[0]] = '"';
    uint16_t code = at_value_code(AT_LIST_MSG_STATE,
                                  std::string_view(reinterpret_cast<char*>(quoted), word[0] + 2u));
    if (cut || code == 0xFFFF)
        return syntax();
    *status = at_msg_state_status(static_cast<uint8_t>(code));
    return nullptr;
}

// ---- Building confirms -------------------------------------------------------------

struct out_buf {
    krn_msg* m;
    uint16_t n = 2;
    void b(uint8_t v)
    {
        if (n < AT_SMS_CNF_SIZE)
            m[n++] = v;
    }
    void bytes(const uint8_t* p, size_t k)
    {
        for (size_t i = 0; i < k; ++i)
            b(p[i]);
    }
};

void put_tail(out_buf& o, const at_sms_fields& f, const uint8_t* alpha, uint8_t alpha_state)
{
    o.b(f.number[0]);
    o.bytes(f.number + 1, f.number[0]);
    o.b(f.number_type);
    o.b(alpha_state);
    if (alpha_state) {
        o.b(alpha[0]);
        o.bytes(alpha + 1, alpha[0]);
    }
    o.b(f.has_ts ? 1 : 0);
    if (f.has_ts)
        o.bytes(f.ts, 8);
}

void put_params(out_buf& o, const at_sms_fields& f)
{
    o.b(f.fo);
    o.b(f.pid);
    o.b(f.dcs);
    o.b(f.vp_len);
    o.bytes(f.vp, f.vp_len);
    o.b(f.sca[0]);
    o.bytes(f.sca + 1, f.sca[0]);
    o.b(f.sca_type);
    o.b(f.has_concat ? 1 : 0);
    if (f.has_concat)
        o.bytes(f.concat, 3);
}

void put_text(out_buf& o, const at_sms_fields& f)
{
    o.b(f.text_len);
    o.bytes(f.text, f.text_len);
    o.b(0);
}

// The optional alpha field of a text-mode answer: presence 1, or 2 when cut.
uint8_t alpha_of(const field& x, uint8_t* alpha)
{
    if (x.kind != 2 || x.text[0] == 0)
        return 0;
    decode_into(alpha, x.text, 20);
    return (x.cut || x.text[0] > 20) ? 2 : 1;
}

bool number_of(const field& x, at_sms_fields* f)
{
    if (x.kind != 2 || x.cut || x.text[0] > 25)
        return false;
    decode_into(f->number, x.text, 25);
    f->number_type = f->number[0] && f->number[1] == '+' ? 145 : 129;
    return true;
}

krn_msg* sms_answer(bool list)
{
    const bool pdu = ati_sms_mode == 0;
    uint8_t index = 0, status = 0;
    if (krn_msg* m = rd_colon())
        return m;
    if (list) {
        if (krn_msg* m = rd_small(&index))
            return m;
        if (krn_msg* m = rd_comma())
            return m;
    }
    if (krn_msg* m = read_state(pdu, &status))
        return m;
    field fl[10];
    unsigned nf = 0;
    if (krn_msg* m = read_fields(fl, 10, &nf))
        return m;
    if (krn_msg* m = rd_line_end())
        return m;

    at_sms_fields f;
    uint8_t alpha[24] = {0};
    uint8_t alpha_state = 0;
    if (pdu) {
        // [<alpha>],<length>
        if (nf < 1 || fl[nf - 1].kind != 1)
            return syntax();
        if (nf >= 2)
            alpha_state = alpha_of(fl[0], alpha);
        uint16_t tpdu = fl[nf - 1].number;
        uint8_t raw[AT_PDU_MAX + 8];
        size_t n;
        if (krn_msg* m = read_pdu_line(raw, sizeof raw, &n))
            return m;
        if (tpdu > n || !at_pdu_decode(raw, n, n > tpdu, &f))
            return syntax();
    } else {
        // <address>,[<alpha>],[<scts>][,<type>,<length>] and the fuller +CMGR
        // forms (deliver: ...,<scts>,<tooa>,<fo>,<pid>,<dcs>,<sca>,<tosca>,<length>;
        // submit: ...,<toda>,<fo>,<pid>,<dcs>,[<vp>],<sca>,<tosca>,<length>).
        if (nf < 1 || !number_of(fl[0], &f))
            return syntax();
        if (nf >= 2)
            alpha_state = alpha_of(fl[1], alpha);
        int length = -1;
        bool deliver = status <= 1;
        if (nf >= 3 && fl[2].kind == 2) {
            if (!parse_stamp(fl[2].text, f.ts))
                return syntax();
            f.has_ts = true;
        }
        if (nf == 5) {  // <address>,[<alpha>],[<scts>],<type>,<length>
            if (fl[3].kind == 1)
                f.number_type = static_cast<uint8_t>(fl[3].number);
            if (fl[4].kind != 1)
                return syntax();
            length = fl[4].number;
        } else if (nf == 10) {
            // deliver: <type>,<fo>,<pid>,<dcs>,<sca>,<tosca>,<length> after the stamp;
            // submit: <type>,<fo>,<pid>,<dcs>,[<vp>],<sca>,<tosca>,<length> after the alpha.
            const field* d = fl + (deliver ? 3 : 2);
            if (d[0].kind == 1)
                f.number_type = static_cast<uint8_t>(d[0].number);
            f.fo = static_cast<uint8_t>(d[1].number);
            f.pid = static_cast<uint8_t>(d[2].number);
            f.dcs = static_cast<uint8_t>(d[3].number);
            unsigned s = 4;
            if (!deliver) {
                const field& vp = d[4];
                if (vp.kind == 1) {
                    f.vp_len = 1;
                    f.vp[0] = static_cast<uint8_t>(vp.number);
                } else if (vp.kind == 2 && parse_stamp(vp.text, f.vp)) {
                    f.vp_len = 8;
                }
                s = 5;
            }
            if (d[s].kind == 2 && !d[s].cut && d[s].text[0] <= 21) {
                decode_into(f.sca, d[s].text, 21);
                f.sca_type = static_cast<uint8_t>(d[s + 1].number);
            }
            if (d[s + 2].kind != 1)
                return syntax();
            length = d[s + 2].number;
        } else if (nf > 3) {
            return syntax();
        }
        if (length > 160)
            return syntax();
        int alphabet = nf == 10 ? at_dcs_alphabet(f.dcs) : -1;
        int hex = alphabet < 0 ? (length >= 0 ? -1 : 0) : (alphabet == 0 ? 0 : 1);
        if (krn_msg* m = read_text_body(length, hex, &f))
            return m;
    }

    krn_msg* c = ati_new_confirm(list ? AT_CNF_CMGL : AT_CNF_CMGR, AT_SMS_CNF_SIZE);
    out_buf o{c};
    if (list) {
        o.b(index);
        o.b(status);
        if (pdu) {
            o.b(1);
            o.b(f.has_mr ? 1 : 0);
            if (f.has_mr)
                o.b(f.mr);
            put_params(o, f);
        } else {
            o.b(0);
        }
        put_tail(o, f, alpha, alpha_state);
        put_text(o, f);
        if (ati_command == AT_CMD_CMGL)
            ati_start_timeout(1000, AT_REQ_CMGL);
    } else {
        o.b(status);
        if (pdu) {
            o.b(2);
            o.b(f.has_mr ? 1 : 0);
            o.b(f.mr);
        } else {
            o.b(0);
        }
        put_tail(o, f, alpha, alpha_state);
        put_params(o, f);
        put_text(o, f);
    }
    ati_send_answer(c);
    return nullptr;
}

}  // namespace

krn_msg* at_sms_cmgl() { return sms_answer(true); }
krn_msg* at_sms_cmgr() { return sms_answer(false); }

// "+CDS: <fo>,<mr>,[<ra>],[<tora>],<scts>,<dt>,<st>" or "+CDS: <length>" and
// a PDU line.
krn_msg* at_sms_cds()
{
    uint16_t first;
    if (krn_msg* m = rd_colon())
        return m;
    if (krn_msg* m = rd_word(&first))
        return m;
    field fl[8];
    unsigned nf = 0;
    if (krn_msg* m = read_fields(fl, 8, &nf))
        return m;
    if (krn_msg* m = rd_line_end())
        return m;
    at_sms_fields f;
    if (nf == 0) {
        uint8_t raw[AT_PDU_MAX + 8];
        size_t n;
        if (krn_msg* m = read_pdu_line(raw, sizeof raw, &n))
            return m;
        if (first > n || !at_pdu_decode(raw, n, n > first, &f) || (f.fo & 3) != 2)
            return syntax();
    } else {
        if (nf != 6 || fl[0].kind != 1 || fl[5].kind != 1)
            return syntax();
        f.fo = static_cast<uint8_t>(first);
        f.mr = static_cast<uint8_t>(fl[0].number);
        if (fl[1].kind == 2 && !number_of(fl[1], &f))
            return syntax();
        if (fl[2].kind == 1)
            f.number_type = static_cast<uint8_t>(fl[2].number);
        f.has_ts = fl[3].kind == 2 && parse_stamp(fl[3].text, f.ts);
        f.has_dt = fl[4].kind == 2 && parse_stamp(fl[4].text, f.dt);
        f.status = static_cast<uint8_t>(fl[5].number);
    }
    uint8_t tmp[2 + 4 + 24 + 2 + 18 + 1];
    size_t n = 0;
    tmp[n++] = f.fo;
    tmp[n++] = f.mr;
    tmp[n++] = f.number[0] ? 1 : 0;
    tmp[n++] = f.number[0];
    std::memcpy(tmp + n, f.number + 1, f.number[0]);
    n += f.number[0];
    if (f.number_type)
        tmp[n++] = f.number_type;
    tmp[n++] = 0;
    tmp[n++] = f.has_ts ? 1 : 0;
    if (f.has_ts) {
        std::memcpy(tmp + n, f.ts, 8);
        n += 8;
    }
    tmp[n++] = f.has_dt ? 1 : 0;
    if (f.has_dt) {
        std::memcpy(tmp + n, f.dt, 8);
        n += 8;
    }
    tmp[n++] = f.status;
    krn_msg* c = ati_try_alloc(static_cast<uint16_t>(2 + n));
    if (!c)
        return nullptr;
    c[0] = 0;
    c[1] = AT_CNF_CDS;
    std::memcpy(c + 2, tmp, n);
    ati_send_main(c);
    return nullptr;
}

// ---- SMS-SUBMIT ---------------------------------------------------------------------

namespace {

// Semi-octet digits of a phone number; false for a character that has no code.
bool put_digits(const uint8_t* p, size_t n, uint8_t* out, size_t* octets, size_t* digits)
{
    size_t d = 0;
    uint8_t cur = 0;
    size_t o = 0;
    for (size_t k = 0; k < n; ++k) {
        uint8_t c = p[k];
        unsigned v;
        if (c == '+' && k == 0)
            continue;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c == '*') v = 10;
        else if (c == '#') v = 11;
        else if (c == 'p' || c == 'A' || c == 'a') v = 12;
        else if (c == 'b' || c == 'B') v = 13;
        else if (c == 'c' || c == 'C') v = 14;
        else return false;
        if (d % 2 == 0) {
            cur = static_cast<uint8_t>(v);
        } else {
            out[o++] = static_cast<uint8_t>(cur | (v << 4));
        }
        ++d;
    }
    if (d % 2)
        out[o++] = static_cast<uint8_t>(cur | 0xF0);
    *octets = o;
    *digits = d;
    return true;
}

uint8_t bcd(unsigned v) { return static_cast<uint8_t>((v % 10) << 4 | (v / 10 % 10)); }

}  // namespace

size_t at_pdu_submit(const at_sms_submit& s, uint8_t* out, size_t* tpdu_len)
{
    size_t n = 0;
    size_t octets, digits;
    uint8_t tmp[16];
    // Service centre
    if (s.sca_len == 0) {
        out[n++] = 0;
    } else {
        if (!put_digits(s.sca, s.sca_len, tmp, &octets, &digits) || octets > 10 || digits == 0)
            return 0;
        out[n++] = static_cast<uint8_t>(octets + 1);
        out[n++] = at_number_type(s.sca, s.sca_len, s.sca_type);
        std::memcpy(out + n, tmp, octets);
        n += octets;
    }
    size_t tpdu_start = n;
    uint8_t fo = static_cast<uint8_t>((s.fo & ~0x18) | 0x01);
    if (s.vp_len == 1)
        fo |= 0x10;
    else if (s.vp_len >= 7)
        fo |= 0x18;
    if (s.concat)
        fo |= 0x40;
    else
        fo &= static_cast<uint8_t>(~0x40);
    out[n++] = fo;
    out[n++] = s.mr;
    if (!put_digits(s.da, s.da_len, tmp, &octets, &digits) || octets > 10)
        return 0;
    out[n++] = static_cast<uint8_t>(digits);
    out[n++] = at_number_type(s.da, s.da_len, s.da_type);
    std::memcpy(out + n, tmp, octets);
    n += octets;
    out[n++] = s.pid;
    out[n++] = s.dcs;
    if (s.vp_len == 1) {
        out[n++] = s.vp[0];
    } else if (s.vp_len >= 7) {
        for (int k = 0; k < 6; ++k)
            out[n++] = bcd(s.vp[k]);
        // The zone in quarter hours; any non-zero sign byte other than '+'
        // means minus ('+' itself is kept by some records for plus).
        uint8_t sign = s.vp[6];
        bool minus = sign != 0 && sign != '+';
        out[n++] = static_cast<uint8_t>(bcd(s.vp[7]) | (minus ? 0x08 : 0));
    }
    int alphabet = at_dcs_alphabet(s.dcs);
    size_t header = s.concat ? 6 : 0;
    uint8_t udh[6] = {5, 0, 3, s.ref, s.total, s.seq};
    if (alphabet == 0) {
        size_t skip = header ? (header * 8 + 6) / 7 : 0;
        // The user-data length counts septets: an extension character is
        // two. A text that does not fit is refused whole, so no part ever
        // ends between an escape and its code.
        const std::string codes = at_win_to_gsm7(s.text, s.text_len);
        if (codes.size() + skip > 160)
            return 0;
        size_t septets = skip + codes.size();
        size_t ud_octets = (septets * 7 + 7) / 8;
        out[n++] = static_cast<uint8_t>(septets);
        uint8_t* ud = out + n;
        std::memset(ud, 0, ud_octets);
        std::memcpy(ud, udh, header);
        for (size_t k = 0; k < codes.size(); ++k) {
            unsigned v = static_cast<uint8_t>(codes[k]);
            size_t bit = (skip + k) * 7;
            ud[bit / 8] = static_cast<uint8_t>(ud[bit / 8] | (v << (bit % 8)));
            if (bit % 8 > 1)
                ud[bit / 8 + 1] = static_cast<uint8_t>(ud[bit / 8 + 1] | (v >> (8 - bit % 8)));
        }
        n += ud_octets;
    } else {
        if (header + s.text_len > 140)
            return 0;
        out[n++] = static_cast<uint8_t>(header + s.text_len);
        std::memcpy(out + n, udh, header);
        n += header;
        std::memcpy(out + n, s.text, s.text_len);
        n += s.text_len;
    }
    *tpdu_len = n - tpdu_start;
    return n;
}
