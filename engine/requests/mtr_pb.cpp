// Phonebook requests of task 0.
#include "mtr_pb.h"

#include <functional>

#include "ati.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "mtr_gen.h"

namespace {

uint8_t g_current = 0;
uint8_t g_number_len[MTR_PB_CODES];
uint8_t g_name_len[MTR_PB_CODES];

// The AT task cuts what it reads to the current storage's limits.
void make_current(uint8_t code)
{
    g_current = code;
    ati_limits.pb_number_len = g_number_len[code];
    ati_limits.pb_name_len = g_name_len[code];
}

int storage_code(int storage)
{
    switch (storage) {
    case PB_SRC_SIM: case PB_DST_SIM: return MTR_PB_SM;
    case PB_SRC_SIM_FD: case PB_DST_SIM_FD: return MTR_PB_FD;
    case PB_SRC_EEPROM: case PB_DST_EEPROM: return MTR_PB_ME;
    default: return -1;
    }
}

// One entry of a +CPBR answer (confirm 176), decoded in place.
struct entry {
    uint8_t place;
    std::string number, name;
    uint8_t type;
};

entry decode(krn_msg* d)
{
    entry e;
    e.place = d[2];
    e.type = d[4 + d[3]];  // after the number (taking it ends it in place)
    uint8_t* cur = d + 3;
    e.number = mtr_get_string(&cur, true);  // the pause comes back as 'p'
    e.name = mtr_get_string(&cur);
    return e;
}

// Sends a +CPBR request and collects its entries one behind: each is
// delivered when the next line (or the final OK) is in, so an error at the
// end drops the entry held. `deliver` returns false to fail the request.
MTR_RESULT read_places(uint8_t first, uint8_t last, const std::function<bool(const entry&)>& deliver)
{
    krn_msg* req = mtr_new_request(AT_REQ_CPBR, 4);
    req[2] = first;
    req[3] = last;
    if (!mtr_send_request(req))
        return MTR_FAILED;
    MTR_RESULT result = MTR_DONE;
    krn_msg* held = nullptr;
    auto hand_over = [&]() {
        if (held && result == MTR_DONE && !deliver(decode(held)))
            result = MTR_FAILED;
        if (held)
            krn_free(held);
        held = nullptr;
    };
    for (;;) {
        krn_msg* m = nullptr;
        mtr_wait(&m);
        const uint16_t number = krn_msg_number(m);
        if (number == AT_CNF_CPBR && result == MTR_DONE) {
            hand_over();
            held = m;
            continue;
        }
        if (number == AT_CNF_OK) {
            krn_free(m);
            hand_over();
            return mtr_end_request(result);
        }
        MTR_RESULT r = mtr_check_result(m);
        if (number == AT_CNF_RESULT) {
            krn_free(m);
            if (held)
                krn_free(held);
            return mtr_end_request(result == MTR_DONE ? r : result);
        }
        if (r != MTR_DONE) {
            krn_free(m);
            if (held)
                krn_free(held);
            held = nullptr;
            if (result == MTR_DONE)
                result = r;
        }
    }
}

}  // namespace

uint8_t mtr_PB_number_length(uint8_t code) { return code < MTR_PB_CODES ? g_number_len[code] : 0; }
uint8_t mtr_PB_name_length(uint8_t code) { return code < MTR_PB_CODES ? g_name_len[code] : 0; }
uint8_t mtr_PB_current_storage() { return g_current; }

void mtr_PB_reset()
{
    g_current = 0;
    for (unsigned i = 0; i < MTR_PB_CODES; ++i)
        g_number_len[i] = g_name_len[i] = 0;
}

MTR_RESULT mtr_PB_get_storage(MTR_PB_STORAGE records[MTR_PB_RECORDS])
{
    if (!gv_pDoc)
        return MTR_FAILED;
    if (!gv_pDoc->PhonebookFeature())
        return MTR_DONE;
    uint8_t list[16] = {0};
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_CPBS_TEST), AT_CNF_CPBS_LIST, [&](const krn_msg* d) {
        uint8_t n = d[2] < 15 ? d[2] : 15;
        list[0] = n;
        for (uint8_t i = 0; i < n; ++i)
            list[1 + i] = d[3 + i];
    });
    if (r == MTR_DONE) {
        records[MTR_PB_REC_SIM_ADN].available = mtr_list_has_value(list, MTR_PB_SM);
        records[MTR_PB_REC_EEPROM_ADN].available = mtr_list_has_value(list, MTR_PB_ME);
        records[MTR_PB_REC_SIM_FDN].available = mtr_list_has_value(list, MTR_PB_FD);
        engine_trace("mtr_PB_get_storage -> Is the SIM ADN storage available = " +
                     std::to_string(records[MTR_PB_REC_SIM_ADN].available));
        engine_trace("mtr_PB_get_storage -> Is the EEPROM ADN storage available = " +
                     std::to_string(records[MTR_PB_REC_EEPROM_ADN].available));
        engine_trace("mtr_PB_get_storage -> Is the SIM FDN storage available = " +
                     std::to_string(records[MTR_PB_REC_SIM_FDN].available));
    } else {
        for (int i = 0; i < MTR_PB_RECORDS; ++i)
            records[i].available = 0;
        engine_trace("mtr_PB_get_storage -> Something wrong, all Phonebooks are not available");
    }
    engine_trace("MTR : Value of the Phonebook SIM FDN storage = 0");
    engine_trace("MTR : Value of the Phonebook EEPROM ADN storage = 2");
    engine_trace("MTR : Value of the Phonebook SIM ADN storage = 4");
    return r;
}

MTR_RESULT mtr_PB_storage_setup(uint8_t code, MTR_PB_STORAGE* record)
{
    if (code >= MTR_PB_CODES || record == nullptr)
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_CPBS_SET, 3);
    req[2] = code;
    MTR_RESULT r = mtr_request(req);
    if (r != MTR_DONE) {
        record->available = 0;
        return r;
    }
    make_current(code);
    engine_trace("mtr_PB_storage_setup -> The current selected storage for the Phonebook is " + std::to_string(code));
    uint8_t capacity = 0, number_len = 0, name_len = 0;
    r = mtr_request_data(mtr_new_request(AT_REQ_CPBW_TEST), AT_CNF_CPBW_TEST, [&](const krn_msg* d) {
        const uint8_t np = d[2];
        // The last range ends at the highest place, whatever ranges come
        // before it (the handler clamps places to a byte).
        if (np > 0)
            capacity = d[3 + 2 * (np - 1) + 1];
        const uint8_t* p = d + 3 + 2 * np;
        number_len = p[0];
        const uint8_t nt = p[1];
        name_len = p[2 + 2 * nt];
    });
    if (r != MTR_DONE) {
        record->available = 0;
        return r;
    }
    record->capacity = capacity ? capacity : 1;
    record->number_length = number_len;
    record->name_length = name_len;
    g_number_len[code] = number_len;
    g_name_len[code] = name_len;
    make_current(code);
    engine_trace("mtr_PB_storage_setup -> The maximum number of entries in the current PB is " +
                 std::to_string(record->capacity));
    engine_trace("mtr_PB_storage_setup -> Max number of digits for the phone number in the current PB is " +
                 std::to_string(number_len));
    engine_trace("mtr_PB_storage_setup -> Max number of characters for the name in the current PB is " +
                 std::to_string(name_len));
    return MTR_DONE;
}

MTR_RESULT mtr_PB_setup(MTR_PB_STORAGE records[MTR_PB_RECORDS])
{
    for (int i = 0; i < MTR_PB_RECORDS; ++i)
        records[i].available = 0;
    MTR_RESULT r = mtr_PB_get_storage(records);
    // Every storage the phone offers is set up, whatever the others' results;
    // the set-up succeeded only when each of them did (the first failure is
    // reported), so that a phonebook nobody can use is not called ready.
    const struct {
        uint8_t code;
        int record;
    } order[] = {{MTR_PB_SM, MTR_PB_REC_SIM_ADN}, {MTR_PB_ME, MTR_PB_REC_EEPROM_ADN}, {MTR_PB_FD, MTR_PB_REC_SIM_FDN}};
    for (const auto& o : order) {
        if (!records[o.record].available)
            continue;
        MTR_RESULT s = mtr_PB_storage_setup(o.code, &records[o.record]);
        if (s != MTR_DONE && r == MTR_DONE)
            r = s;
    }
    return r;
}

MTR_RESULT mtr_PB_select_storage(int storage)
{
    int code = storage_code(storage);
    if (!gv_pDoc || code < 0)
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_CPBS_SET, 3);
    req[2] = static_cast<uint8_t>(code);
    MTR_RESULT r = mtr_request(req);
    if (r == MTR_DONE)
        make_current(static_cast<uint8_t>(code));
    return r;
}

MTR_RESULT mtr_PB_read_entry(uint8_t place, std::string& number, std::string& name, uint8_t* type)
{
    number.clear();
    name.clear();
    if (type)
        *type = 0;
    if (!gv_pDoc || place == 0)
        return MTR_FAILED;
    std::string num, nam;
    uint8_t typ = 0;
    MTR_RESULT r = read_places(place, place, [&](const entry& e) {
        if (e.place != place)
            return false;
        num = e.number;
        nam = e.name;
        typ = e.type;
        return true;
    });
    if (r == MTR_DONE) {
        number = num;
        name = nam;
        if (type)
            *type = typ;
    }
    return r;
}

MTR_RESULT mtr_PB_read_range(uint8_t first, uint8_t last)
{
    if (!gv_pDoc)
        return MTR_FAILED;
    MTR_RESULT r = MTR_FAILED;
    if (first != 0 && last >= first)
        r = read_places(first, last, [](const entry& e) {
            if (gv_pDoc)
                gv_pDoc->mmi_PB_read_entry_cnf(e.place, e.number, e.name, e.type);
            return true;
        });
    if (gv_pDoc)
        gv_pDoc->mmi_PB_read_range_end_cnf();
    return r;
}

MTR_RESULT mtr_PB_write_entry(uint8_t place, const std::string& number, const std::string& name, uint8_t type)
{
    if (!gv_pDoc || place == 0)
        return MTR_FAILED;
    // An empty number erases the place on most phones: a write never does.
    if (number.find_first_not_of(' ') == std::string::npos)
        return MTR_FAILED;
    const uint8_t name_max = g_name_len[g_current];
    if (name_max && name.size() > name_max)
        return MTR_FAILED;
    const uint8_t number_max = g_number_len[g_current] ? g_number_len[g_current] : 40;
    krn_msg* req = mtr_new_request(AT_REQ_CPBW, static_cast<uint16_t>(2 + 1 + number.size() + 2 + name.size() + 1));
    uint8_t* cur = req + 3;
    req[2] = place;
    if (!mtr_pack_number(&cur, number, number_max)) {
        krn_free(req);
        return MTR_FAILED;
    }
    // The AT task writes 145 for a number with '+' whatever is given here.
    if (type)
        cur[-1] = type;
    if (!mtr_put_string8(cur, name)) {
        krn_free(req);
        return MTR_FAILED;
    }
    return mtr_request(req);
}

MTR_RESULT mtr_PB_erase_entry(uint8_t place)
{
    if (!gv_pDoc || place == 0)
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_CPBW, 6);
    req[2] = place;  // then an empty number of type 0 and an empty name
    return mtr_request(req);
}

MTR_RESULT mtr_PB_is_sim_busy(uint8_t place)
{
    if (!gv_pDoc)
        return MTR_FAILED;
    MTR_RESULT r = read_places(place, place, [](const entry&) { return true; });
    return mtr_failed_sim_busy(r) ? MTR_DONE : MTR_FAILED;
}
