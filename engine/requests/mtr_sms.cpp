// Short-message requests: set-up, storages, listing, reading, deleting, the
// conversion of a message's settings into the screen's parameter record,
// and the new-message and status-report indications.
#include "mtr_sms.h"

#include <algorithm>
#include <cstring>

#include "ati.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mmi_sms.h"
#include "mtr_frame.h"
#include "mtr_sms_internal.h"
#include "profile.h"

MmiShortMsg* gv_pShortMsg = nullptr;

namespace {

// Memory codes of the AT task: read (and receive) memories "BM","ME","MT",
// "SM","TA"; write memories "ME","MT","SM","TA".
constexpr uint8_t READ_ME = 1, READ_MT = 2, READ_SM = 3;
constexpr uint8_t WRITE_ME = 0, WRITE_SM = 2;

int g_receive_storage = SMS_NOSELECT;
std::vector<uint8_t> g_pending_reads;

void trace(const std::string& line) { engine_trace(line); }

}  // namespace

// ---- Shared helpers (mtr_sms_internal.h) ----------------------------------------------

krn_msg* sms_new_request(uint8_t number, uint16_t params)
{
    krn_msg* m = nullptr;
    krn_alloc(&m, static_cast<uint16_t>(2 + params));
    std::memset(m, 0, 2u + params);
    m[0] = 0;
    m[1] = number;
    return m;
}

MTR_RESULT sms_simple_request(uint8_t number, std::initializer_list<uint8_t> params)
{
    krn_msg* m = sms_new_request(number, static_cast<uint16_t>(params.size()));
    uint8_t* p = m + 2;
    for (uint8_t b : params)
        *p++ = b;
    if (!mtr_send_request(m))
        return MTR_FAILED;
    return mtr_wait_final();
}

MTR_RESULT sms_query(krn_msg* req, uint8_t cnf, const std::function<void(const sms_cursor&)>& take)
{
    if (!mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(cnf, &d);
    if (!d)  // a bare OK without the data line is no answer
        return r == MTR_DONE ? MTR_FAILED : r;
    take(sms_cursor(d));
    krn_free(d);
    return mtr_wait_final();
}

MTR_RESULT sms_collect(uint8_t cnf, const std::function<void(krn_msg*)>& deliver, bool hold)
{
    krn_msg* held = nullptr;
    MTR_RESULT result = MTR_DONE;
    for (;;) {
        krn_msg* m = nullptr;
        mtr_wait(&m);
        uint16_t number = krn_msg_number(m);
        if (number == cnf && result == MTR_DONE && !hold) {
            deliver(m);
            krn_free(m);
            continue;
        }
        if (number == cnf && result == MTR_DONE) {
            if (held) {
                deliver(held);
                krn_free(held);
            }
            held = m;
            continue;
        }
        if (number == AT_CNF_OK) {
            krn_free(m);
            if (held) {
                if (result == MTR_DONE)
                    deliver(held);
                krn_free(held);
            }
            return mtr_end_request(result);
        }
        MTR_RESULT r = mtr_check_result(m);
        if (number == AT_CNF_RESULT) {
            krn_free(m);
            if (held)
                krn_free(held);  // an error drops the message held last
            return mtr_end_request(result == MTR_DONE ? r : result);
        }
        if (r != MTR_DONE) {
            krn_free(m);
            if (result == MTR_DONE)
                result = r;
        }
    }
}

sms_cursor::sms_cursor(const krn_msg* m) : p(m), n(krn_msg_size(m)) {}

uint8_t sms_cursor::byte() const
{
    if (i >= n) {
        ok = false;
        return 0;
    }
    return p[i++];
}

const uint8_t* sms_cursor::bytes(size_t k) const
{
    if (i > n || n - i < k) {
        ok = false;
        i = n;
        return nullptr;
    }
    const uint8_t* q = p + i;
    i += k;
    return q;
}

std::string sms_cursor::text() const
{
    size_t len = byte();
    const uint8_t* q = bytes(len);
    return q ? std::string(reinterpret_cast<const char*>(q), len) : std::string();
}

std::string sms_cursor::number(uint8_t* type) const
{
    size_t len = byte();
    const uint8_t* q = bytes(len);
    uint8_t t = byte();
    if (type)
        *type = t;
    if (!q)
        return std::string();
    std::string s(reinterpret_cast<const char*>(q), len);
    // The pause travels as 'A' in numeric numbers; an alphanumeric sender
    // (type 0x50 class) keeps its letters.
    if ((t & 0x70) != 0x50)
        std::replace(s.begin(), s.end(), 'A', 'p');
    return s;
}

MTR_DATETIME sms_cursor::stamp() const
{
    const uint8_t* q = bytes(8);
    return q ? mtr_record_to_time(q) : MTR_DATETIME{};
}

std::string sms_dial_number(const std::string& number)
{
    std::string out;
    bool plus = false;
    for (char c : number) {
        if ((c >= '0' && c <= '9') || c == 'p' || c == '*' || c == '#')
            out += c;
        else if (c == '+' && !plus) {
            out += c;
            plus = true;
        }
    }
    return out;
}

int sms_phone_status(int status)
{
    if (status >= 5 && status <= 16)
        return (status - 5) / 3;
    return status >= 0 && status <= 3 ? status : 2;
}

// ---- Mode -----------------------------------------------------------------------------

int mtr_SMS_mode() { return ati_sms_mode; }
void mtr_SMS_set_mode(int mode) { ati_sms_mode = static_cast<uint8_t>(mode ? 1 : 0); }
int mtr_SMS_receive_storage() { return g_receive_storage; }
const std::vector<uint8_t>& mtr_SMS_pending_reads() { return g_pending_reads; }

// ---- Set-up -----------------------------------------------------------------------------

namespace {

struct memory_lists {
    std::vector<uint8_t> read, write, receive;
    bool has(const std::vector<uint8_t>& v, uint8_t code) const
    {
        return std::find(v.begin(), v.end(), code) != v.end();
    }
};

// +CPMS= with read, optional write and optional receive memory; the counts
// of 185 ([2..7]: used and total of each memory) go to `counts`.
MTR_RESULT select_memories(std::initializer_list<uint8_t> codes, uint8_t counts[6])
{
    krn_msg* req = sms_new_request(AT_REQ_CPMS_SET, static_cast<uint16_t>(1 + codes.size()));
    req[2] = static_cast<uint8_t>(codes.size());
    uint8_t* p = req + 3;
    for (uint8_t c : codes)
        *p++ = c;
    return sms_query(req, AT_CNF_CPMS_COUNTS, [&](const sms_cursor& c) {
        for (int k = 0; k < 6; ++k)
            counts[k] = c.byte();
    });
}

MTR_RESULT setup_sequence(SMS_STORAGE_INFO* info)
{
    // 1. Message modes.
    bool pdu_offered = false, text_offered = false;
    MTR_RESULT r = sms_query(sms_new_request(AT_REQ_CMGF_TEST, 0), AT_CNF_CMGF_TEST, [&](const sms_cursor& c) {
        const uint8_t* list = c.p + 2;
        size_t pairs = c.n > 2 ? c.p[2] : 0;
        if (3 + 2 * pairs > c.n)  // a list longer than its confirm: none of it
            return;
        pdu_offered = mtr_ranges_have_value(list, 0);
        text_offered = mtr_ranges_have_value(list, 1);
    });
    if (r != MTR_DONE)
        return r;
    int wanted = GetIniProfileInt("Configuration", "SmsMode", 0);
    int mode;
    if (wanted == 0 && pdu_offered) {
        mode = 0;
        trace("mtr_SMS_setup -> AT_pCMGF_HELP_CNF: pdu mode available and will be selected");
    } else if (text_offered) {
        mode = 1;
        trace("mtr_SMS_setup -> AT_pCMGF_HELP_CNF: text mode available and will be selected");
    } else {
        trace("mtr_SMS_setup -> AT_pCMGF_HELP_CNF: no pdu mode, no text mode available");
        return MTR_FAILED;
    }
    // 2. Select it.
    r = sms_simple_request(AT_REQ_CMGF_SET, {static_cast<uint8_t>(mode)});
    if (r != MTR_DONE)
        return r;
    mtr_SMS_set_mode(mode);
    info->pdu_mode = mode == 0 ? 1 : 0;

    // 3. The memories offered.
    memory_lists lists;
    r = sms_query(sms_new_request(AT_REQ_CPMS_TEST, 0), AT_CNF_CPMS_LISTS, [&](const sms_cursor& c) {
        for (auto* v : {&lists.read, &lists.write, &lists.receive}) {
            size_t count = c.byte();
            const uint8_t* codes = c.bytes(count);
            if (codes)
                v->assign(codes, codes + count);
        }
    });
    if (r != MTR_DONE)
        return r;
    info->sim_read = lists.has(lists.read, READ_SM);
    info->sim_write = lists.has(lists.write, WRITE_SM);
    info->me_read = lists.has(lists.read, READ_ME);
    info->me_write = lists.has(lists.write, WRITE_ME);
    trace("mtr_SMS_setup -> Is reading in the SIM message storage available = " + std::to_string(info->sim_read));
    trace("mtr_SMS_setup -> Is writing in the SIM message storage available = " + std::to_string(info->sim_write));
    trace("mtr_SMS_setup -> Is reading in the EEPROM message storage available =" + std::to_string(info->me_read));
    trace("mtr_SMS_setup -> Is writing in the EEPROM message storage available = " +
          std::to_string(info->me_write));

    // 4. First selection: the phone memory where it can be read or written.
    if (!info->sim_read && !info->me_read)
        return MTR_FAILED;
    uint8_t read = info->me_read ? READ_ME : READ_SM;
    bool writable = info->sim_write || info->me_write;
    uint8_t write = info->me_write ? WRITE_ME : WRITE_SM;
    // New messages must land where the program reads: the receive memory is
    // set explicitly (a phone left on "MT" would report them elsewhere).
    int receive = SMS_NOSELECT;
    uint8_t receive_code = 0;
    if (info->sim_read && lists.has(lists.receive, READ_SM)) {
        receive = SMS_SRC_SIM;
        receive_code = READ_SM;
    } else if (info->me_read && lists.has(lists.receive, READ_ME)) {
        receive = SMS_SRC_EEPROM;
        receive_code = READ_ME;
    }
    uint8_t counts[6] = {};
    if (writable && receive != SMS_NOSELECT)
        r = select_memories({read, write, receive_code}, counts);
    else if (writable)
        r = select_memories({read, write}, counts);
    else
        r = select_memories({read}, counts);
    if (r != MTR_DONE)
        return r;
    if (writable && receive != SMS_NOSELECT)
        g_receive_storage = receive;
    if (info->me_read) {
        info->me_size = counts[1];
        trace("mtr_SMS_setup -> The maximum number of messages in the EEPROM message storage is " +
              std::to_string(info->me_size));
    } else {
        info->sim_size = counts[1];
        trace("mtr_SMS_setup -> The maximum number of messages in the SIM message storage is " +
              std::to_string(info->sim_size));
    }
    // A phone that gives the counts of the read memory only leaves the
    // write total at 0: it is then not taken.
    if (info->me_write && counts[3]) {
        info->me_size = std::min(info->me_size, counts[3]);
        trace("mtr_SMS_setup -> The maximum number of messages in the EEPROM message storage is " +
              std::to_string(info->me_size));
    } else if (info->sim_write && !info->me_write && counts[3]) {
        info->sim_size = std::min(info->sim_size, counts[3]);
        trace("mtr_SMS_setup -> The maximum number of messages in the SIM message storage is " +
              std::to_string(info->sim_size));
    }

    // 6. Second selection for the SIM when both memories are usable.
    bool both_read = info->sim_read && info->me_read;
    bool both_write = info->sim_write && info->me_write;
    if (!both_read && !both_write)
        return MTR_DONE;
    read = info->sim_read ? READ_SM : READ_ME;
    if (both_write)
        r = select_memories({read, WRITE_SM}, counts);
    else
        r = select_memories({read}, counts);
    if (r != MTR_DONE)
        return r;
    if (info->sim_read)
        info->sim_size = std::min(info->sim_size, counts[1]);
    if (both_write && counts[3])
        info->sim_size = std::min(info->sim_size, counts[3]);
    trace("mtr_SMS_setup -> The maximum number of messages in the SIM message storage is " +
          std::to_string(info->sim_size));
    return MTR_DONE;
}

}  // namespace

MTR_RESULT mtr_SMS_setup(SMS_STORAGE_INFO* info)
{
    if (!gv_pDoc || !info)
        return MTR_FAILED;
    if (!gv_pDoc->IsSMSAvailable())
        return MTR_DONE;
    info->sim_size = info->me_size = 255;
    info->sim_read = info->sim_write = info->me_read = info->me_write = 0;
    g_receive_storage = SMS_NOSELECT;
    MTR_RESULT result = setup_sequence(info);
    if (result != MTR_DONE) {
        info->sim_read = info->sim_write = info->me_read = info->me_write = 0;
        trace("mtr_SMS_setup -> Something wrong, all message storages are not available in reading and in writing");
    }
    if (!info->sim_read && !info->sim_write) {
        info->sim_size = 0;
        trace("mtr_SMS_setup -> SIM message storage is not available in reading/writing, so the max number of "
              "messages in the SIM storage is set to 0");
    }
    if (!info->me_read && !info->me_write) {
        info->me_size = 0;
        trace("mtr_SMS_setup -> EEPROM message storage is not available in reading/writing, so the max number of "
              "messages in the EEPROM storage is set to 0");
    }
    mtr_poll();
    mtr_SMS_set_new_msg_indication(1, gv_pDoc && gv_pDoc->IsSMSExtendedAvailable() ? 1 : 0);
    trace("mtr_SMS_setup -> New message indication unsollicited result is enable");
    return result;
}

MTR_RESULT mtr_SMS_set_new_msg_indication(uint8_t mt, uint8_t ds)
{
    return sms_simple_request(AT_REQ_CNMI_SET, {4, 1, mt, 0, ds});
}

MTR_RESULT mtr_SMS_select_storage(int read_storage, int write_storage)
{
    uint8_t read, write;
    if (read_storage == SMS_SRC_SIM)
        read = READ_SM;
    else if (read_storage == SMS_SRC_EEPROM)
        read = READ_ME;
    else
        return MTR_FAILED;
    if (write_storage == SMS_DST_SIM)
        write = WRITE_SM;
    else if (write_storage == SMS_DST_EEPROM)
        write = WRITE_ME;
    else
        return MTR_FAILED;
    // The counts are not used here: a phone that answers a bare OK has
    // still selected the memories.
    krn_msg* req = sms_new_request(AT_REQ_CPMS_SET, 3);
    req[2] = 2;
    req[3] = read;
    req[4] = write;
    if (!mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(AT_CNF_CPMS_COUNTS, &d);
    if (!d)
        return r;
    krn_free(d);
    return mtr_wait_final();
}

// ---- Listing and reading ------------------------------------------------------------------

namespace {

// The decoded fields of a 200 or 202 confirm; pointers into the confirm.
struct sms_entry {
    uint8_t index = 0;
    SMS_SETTINGS s;
    std::string number, sca;
    MTR_DATETIME stamp;
    const char* text = "";
    size_t text_len = 0;
};

void take_params(const sms_cursor& c, sms_entry* e)
{
    e->s.first_octet = c.byte();
    e->s.pid = c.byte();
    e->s.dcs = c.byte();
    uint8_t vlen = c.byte();
    if (vlen == 1 || vlen == 8) {
        if (const uint8_t* v = c.bytes(vlen)) {
            e->s.validity[0] = vlen;
            std::memcpy(e->s.validity + 1, v, vlen);
        }
    } else if (vlen != 0) {
        c.ok = false;
    }
    e->sca = c.number(nullptr);
    if (c.byte()) {
        if (const uint8_t* k = c.bytes(3)) {
            e->s.concat = 1;
            e->s.concat_ref = k[0];
            e->s.concat_total = k[1];
            e->s.concat_seq = k[2];
        }
    }
}

void take_tail(const sms_cursor& c, sms_entry* e)
{
    e->number = c.number(nullptr);
    if (c.byte())
        (void)c.text();  // the phonebook name is not used
    if (c.byte())
        e->stamp = c.stamp();
}

bool take_text(const sms_cursor& c, sms_entry* e)
{
    size_t len = c.byte();
    const uint8_t* t = c.bytes(len + 1);  // the text and its terminating zero
    if (!t || t[len] != 0)
        return false;
    e->text = reinterpret_cast<const char*>(t);
    e->text_len = len;
    return true;
}

bool decode_list_entry(const krn_msg* m, sms_entry* e)
{
    sms_cursor c(m);
    c.i = 2;
    e->index = c.byte();
    e->s.status = c.byte();
    bool pdu = c.byte() != 0;
    if (pdu) {
        e->s.kind = SMS_KIND_PDU;
        size_t len = c.byte();
        const uint8_t* block = c.bytes(len);
        e->s.reference = (block && len) ? block[0] : 0;
        take_params(c, e);
    } else {
        e->s.kind = SMS_KIND_TEXT;
    }
    take_tail(c, e);
    return take_text(c, e) && c.ok;
}

bool decode_read_entry(const krn_msg* m, bool as_unread, sms_entry* e)
{
    sms_cursor c(m);
    c.i = 2;
    uint8_t status = c.byte();
    e->s.status = as_unread ? 0 : status;
    size_t len = c.byte();
    const uint8_t* block = c.bytes(len);
    if (mtr_SMS_mode() == 0) {
        e->s.kind = SMS_KIND_PDU;
        e->s.reference = (block && len >= 2 && block[0]) ? block[1] : 0;
    } else {
        e->s.kind = SMS_KIND_TEXT;
    }
    take_tail(c, e);
    take_params(c, e);
    return take_text(c, e) && c.ok;
}

}  // namespace

MTR_RESULT mtr_SMS_list()
{
    return mtr_SMS_mode() == 1 ? mtr_SMS_list_then_read() : mtr_SMS_list_all(0);
}

MTR_RESULT mtr_SMS_list_all(uint8_t status)
{
    if (!gv_pShortMsg)
        return MTR_FAILED;
    krn_msg* req = sms_new_request(AT_REQ_CMGL, 1);
    req[2] = status;
    if (!mtr_send_request(req))
        return MTR_FAILED;
    // An entry that cannot be decoded is skipped, the others are still
    // delivered, and the listing fails: the screen's list is not complete.
    bool bad = false;
    MTR_RESULT r = sms_collect(AT_CNF_CMGL, [&](krn_msg* m) {
        sms_entry e;
        if (!decode_list_entry(m, &e)) {
            trace("mtr_SMS_list_all -> a listed message could not be decoded");
            bad = true;
            return;
        }
        if (gv_pShortMsg)
            gv_pShortMsg->mmi_SM_list_cnf(e.index, &e.s, e.text, e.text_len, e.number.c_str(), e.stamp,
                                          e.sca.c_str());
    });
    return r == MTR_DONE && bad ? MTR_FAILED : r;
}

MTR_RESULT mtr_SMS_list_then_read()
{
    if (!gv_pShortMsg)  // listing would mark the messages read for nobody
        return MTR_FAILED;
    // Messages whose read failed last time are no longer unread in the
    // phone: they are tried again first.
    std::vector<uint8_t> indices = g_pending_reads;
    g_pending_reads.clear();
    krn_msg* req = sms_new_request(AT_REQ_CMGL, 1);
    req[2] = 0;
    MTR_RESULT result = MTR_FAILED;
    if (mtr_send_request(req)) {
        result = sms_collect(AT_CNF_CMGL, [&](krn_msg* m) {
            sms_cursor c(m);
            c.i = 2;
            uint8_t index = c.byte();
            if (c.ok && std::find(indices.begin(), indices.end(), index) == indices.end())
                indices.push_back(index);
        }, false);  // every index listed counts: the phone marked it read
    }
    for (uint8_t index : indices) {
        MTR_RESULT r = mtr_SMS_read(index, 1);
        if (r == MTR_DONE)
            continue;
        // An index the phone no longer holds (+CMS 321) is not kept.
        if (r != 321)
            g_pending_reads.push_back(index);
        if (result == MTR_DONE)
            result = r;
    }
    return result;
}

MTR_RESULT mtr_SMS_read(uint8_t index, int as_unread)
{
    if (!gv_pShortMsg)
        return MTR_FAILED;
    krn_msg* req = sms_new_request(AT_REQ_CMGR, 1);
    req[2] = index;
    if (!mtr_send_request(req))
        return MTR_FAILED;
    bool bad = false;
    MTR_RESULT r = sms_collect(AT_CNF_CMGR, [&](krn_msg* m) {
        sms_entry e;
        if (!decode_read_entry(m, as_unread != 0, &e)) {
            trace("mtr_SMS_read -> the message read could not be decoded");
            bad = true;
            return;
        }
        if (gv_pShortMsg)
            gv_pShortMsg->mmi_SM_read_cnf(index, &e.s, e.text, e.text_len, e.number.c_str(), e.stamp,
                                          e.sca.c_str());
    });
    return r == MTR_DONE && bad ? MTR_FAILED : r;
}

MTR_RESULT mtr_SMS_delete(uint8_t index) { return sms_simple_request(AT_REQ_CMGD, {index}); }

void mtr_SMS_cnf_to_param(SMS_PARAMETERS* out, const SMS_SETTINGS* in)
{
    *out = SMS_PARAMETERS{};
    uint8_t fo = in->first_octet;
    if (in->kind == SMS_KIND_CSMP)
        out->status = (fo & 3) != 1 ? 1 : 2;
    else
        out->status = in->status;
    out->kind = out->status > 1 ? 2 : 1;
    out->pid = in->pid;
    switch (in->pid) {
    case 0: out->format = 0; break;
    case 36: out->format = 1; break;
    case 34: out->format = 2; break;
    case 49: out->format = 3; break;
    case 38: out->format = 4; break;
    case 50: out->format = 5; break;
    default: out->format = 6; break;
    }
    out->reply_path = (fo & SMS_FO_REPLY_PATH) ? 1 : 0;
    out->udh = (fo & SMS_FO_UDH) ? 1 : 0;
    if (out->status > 1) {
        out->report_request = (fo & SMS_FO_STATUS_REPORT) ? 1 : 0;
        out->report_indication = 3;
        out->validity = 4;
        if (in->validity[0] == 1) {
            switch (in->validity[1]) {
            case 71: out->validity = 0; break;
            case 143: out->validity = 1; break;
            case 167: out->validity = 2; break;
            case 255: out->validity = 3; break;
            default: break;
            }
        }
    } else {
        out->report_indication = (fo & SMS_FO_STATUS_REPORT) ? 1 : 0;
        out->report_request = 3;
        out->validity = 5;
        if (in->validity[0] == 8)
            out->date = mtr_record_to_time(in->validity + 1);
    }
    switch (in->dcs) {
    case 0: out->coding = 0; break;
    case 4: out->coding = 1; break;
    case 8: out->coding = 2; break;
    default: out->coding = 3; break;
    }
    out->reference = in->reference;
    out->concat = in->concat ? 1 : 0;
    if (out->concat) {
        out->concat_ref = in->concat_ref;
        out->concat_total = in->concat_total;
        out->concat_seq = in->concat_seq;
    }
}

// ---- Indications ---------------------------------------------------------------------------

int mtr_SMS_storage_of_memory(uint8_t memory)
{
    switch (memory) {
    case READ_ME: return SMS_SRC_EEPROM;
    case READ_SM: return SMS_SRC_SIM;
    case READ_MT: return g_receive_storage;  // "MT": the memory the set-up chose
    default: return SMS_NOSELECT;
    }
}

bool mtr_SMS_indication(const krn_msg* msg)
{
    uint16_t number = krn_msg_number(msg);
    if (number == AT_CNF_CMTI) {
        sms_cursor c(msg);
        c.i = 2;
        uint8_t mem = c.byte(), index = c.byte();
        if (!c.ok || !gv_pDoc)
            return true;
        int storage = mtr_SMS_storage_of_memory(mem);
        if (storage != SMS_NOSELECT)
            gv_pDoc->mmi_MNGT_sms_received(storage, index);
        return true;
    }
    if (number == AT_CNF_CDS) {
        // [2] first octet, [3] reference, [4] number presence, the number
        // (length, characters), its type when non-zero, a zero; time-stamp
        // presence and 8 bytes; discharge-time presence and 8 bytes; status.
        sms_cursor c(msg);
        c.i = 3;
        uint8_t reference = c.byte();
        (void)c.byte();
        size_t len = c.byte();
        const uint8_t* digits = c.bytes(len);
        if (c.byte() != 0)
            (void)c.byte();
        MTR_DATETIME stamp, discharge;
        if (c.byte())
            stamp = c.stamp();
        if (c.byte())
            discharge = c.stamp();
        uint8_t status = c.byte();
        if (!c.ok) {
            trace("mtr_poll -> a status report could not be decoded");
            return true;
        }
        std::string recipient = digits ? std::string(reinterpret_cast<const char*>(digits), len) : std::string();
        if (gv_pDoc)
            gv_pDoc->mmi_MNGT_report_received(reference, recipient, stamp, discharge, status);
        return true;
    }
    return false;
}
