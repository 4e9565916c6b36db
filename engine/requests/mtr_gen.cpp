// General requests of task 0 and the request helpers shared by the request
// modules.
#include "mtr_gen.h"

#include <cstring>

#include "at_tables.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "mtr_sec.h"

krn_msg* mtr_new_request(uint8_t number, uint16_t size)
{
    krn_msg* m = nullptr;
    krn_alloc(&m, size < 2 ? 2 : size);
    std::memset(m, 0, size < 2 ? 2 : size);
    m[0] = 0;
    m[1] = number;
    return m;
}

MTR_RESULT mtr_request(krn_msg* req)
{
    if (!mtr_send_request(req))
        return MTR_FAILED;
    return mtr_wait_final();
}

MTR_RESULT mtr_request_data(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& take)
{
    if (!mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(cnf, &d);
    if (!d)  // over: an error, or a bare OK without the data asked for
        return r == MTR_DONE ? MTR_FAILED : r;
    // The data counts only once the phone has confirmed the command: a
    // final error after it leaves the caller's values untouched.
    r = mtr_wait_final();
    if (r == MTR_DONE)
        take(d);
    krn_free(d);
    return r;
}

namespace {

// A text confirm: [2] length, characters from [3].
std::string confirm_text(const krn_msg* d, size_t offset)
{
    return std::string(reinterpret_cast<const char*>(d + offset + 1), d[offset]);
}

}  // namespace

MTR_RESULT mtr_GEN_req_manufacturer_id(std::string& out)
{
    out.clear();
    krn_msg* req = mtr_new_request(AT_REQ_CGMI);
    if (!mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(AT_CNF_CGMI, &d);
    if (!d)
        return r == MTR_DONE ? MTR_FAILED : r;
    out = confirm_text(d, 2);
    krn_free(d);
    r = mtr_wait_final();
    if (r != MTR_DONE)
        out.clear();
    return r;
}

MTR_RESULT mtr_GEN_req_version(std::string& out)
{
    out.clear();
    std::string text;
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_MVER), AT_CNF_MVER,
                                    [&](const krn_msg* d) { text = confirm_text(d, 2); });
    if (r == MTR_DONE)
        out = text;
    return r;
}

MTR_RESULT mtr_GEN_dial(const char* number)
{
    if (number == nullptr)
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_DIAL, 2 + 1 + 64 + 1);
    uint8_t* cur = req + 2;
    if (!mtr_pack_number(&cur, number, 21)) {
        krn_free(req);
        return MTR_FAILED;
    }
    if (!mtr_send_request(req))
        return MTR_FAILED;
    mtr_start_dial_timer();
    // The dial runs until its own final answer. BUSY, NO CARRIER and NO
    // ANSWER reach the call status through polling; OK is reported here.
    MTR_RESULT r = mtr_wait_final();
    if (r == MTR_DONE && gv_pDoc)
        gv_pDoc->UpdateStatusDlg(0);
    return r;
}

MTR_RESULT mtr_GEN_hang_up() { return mtr_request(mtr_new_request(AT_REQ_HANGUP)); }

MTR_RESULT mtr_GEN_req_code_state(uint32_t* state, int* counter)
{
    uint8_t s = 0, n = 0;
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_MPIN_GET), AT_CNF_MPIN_STATE, [&](const krn_msg* d) {
        s = d[2];
        n = d[3];
    });
    if (r == MTR_DONE) {
        if (state)
            *state = s;
        if (counter)
            *counter = n;
    }
    return r;
}

MTR_RESULT mtr_req_cpin_state(uint32_t* state)
{
    uint8_t s = 0;
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_CPIN_GET), AT_CNF_CPIN,
                                    [&](const krn_msg* d) { s = d[2]; });
    if (r == MTR_DONE && state)
        *state = s;
    return r;
}

MTR_RESULT mtr_send_cpin(const std::string& code, const std::string& new_code)
{
    krn_msg* req = mtr_new_request(AT_REQ_CPIN_SET, static_cast<uint16_t>(2 + 2 + code.size() + new_code.size()));
    uint8_t* cur = mtr_put_string8(req + 2, code, 16);
    if (cur && !new_code.empty())
        cur = mtr_put_string8(cur, new_code, 16);
    if (!cur || code.empty()) {
        krn_free(req);
        return MTR_FAILED;
    }
    return mtr_request(req);
}

MTR_RESULT mtr_GEN_get_code_state(uint32_t* state, int* counter)
{
    MTR_RESULT r = mtr_GEN_req_code_state(state, counter);
    if (r != MTR_FAILED)
        return r;
    if (counter)
        *counter = -1;
    return mtr_req_cpin_state(state);
}

MTR_RESULT mtr_GEN_req_code_info(uint8_t facility, int* a, int* b, int* c)
{
    if (at_value_word(AT_LIST_FACILITY, facility).empty())
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_MPIN_SET, 3);
    req[2] = facility;
    uint8_t v[3] = {0, 0, 0};
    MTR_RESULT r = mtr_request_data(req, AT_CNF_MPIN_COUNTERS, [&](const krn_msg* d) { std::memcpy(v, d + 2, 3); });
    if (r == MTR_DONE) {
        if (a)
            *a = v[0];
        if (b)
            *b = v[1];
        if (c)
            *c = v[2];
    }
    return r;
}

MTR_RESULT mtr_GEN_get_facility_code_info(uint8_t facility, int* c)
{
    return mtr_GEN_req_code_info(facility, nullptr, nullptr, c);
}

MTR_RESULT mtr_GEN_get_code_info(uint32_t pin_state, int* counter)
{
    if (pin_state == AT_PIN_SIM_PUK || pin_state == AT_PIN_SIM_PUK2) {
        uint32_t state = 0;
        return mtr_GEN_get_code_state(&state, counter);
    }
    int facility = mtr_GEN_state_to_facility(pin_state);
    if (facility < 0)
        return MTR_FAILED;
    return mtr_GEN_req_code_info(static_cast<uint8_t>(facility), nullptr, nullptr, counter);
}

int mtr_GEN_state_to_facility(uint32_t pin_state)
{
    switch (pin_state) {
    case AT_PIN_PH_SIM_PIN: return MTR_FAC_PS;
    case AT_PIN_SIM_PIN: return MTR_FAC_SC;
    case AT_PIN_SIM_PIN2: return MTR_FAC_P2;
    default: return -1;
    }
}

// Every failure a screen reports takes the same road: its generic failure
// text, with the phone's own number as the detail. The number itself is
// never a condition for showing the text.
MTR_RESULT mtr_GEN_translate_error(MTR_RESULT) { return MTR_FAILED; }
