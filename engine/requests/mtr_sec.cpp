// Security requests of task 0.
#include "mtr_sec.h"

#include "at_tables.h"
#include "engine_host.h"
#include "mtr_frame.h"
#include "mtr_gen.h"

namespace {

bool facility_ok(int facility) { return facility >= 0 && !at_value_word(AT_LIST_FACILITY, static_cast<uint8_t>(facility)).empty(); }

// +CLCK=<fac>,<mode>,<password>
MTR_RESULT send_lock(int mode, uint8_t facility, const std::string& password)
{
    krn_msg* req = mtr_new_request(AT_REQ_CLCK_SET, static_cast<uint16_t>(5 + 1 + password.size()));
    req[2] = 3;
    req[3] = facility;
    req[4] = static_cast<uint8_t>(mode);
    mtr_put_string8(req + 5, password, MTR_CODE_MAX);
    return mtr_request(req);
}

}  // namespace

MTR_RESULT mtr_FAC_get_status(uint32_t* status, uint8_t facility)
{
    if (!facility_ok(facility)) {
        engine_trace("mtr_FAC_get_status -> Something wrong");
        return MTR_FAILED;
    }
    krn_msg* req = mtr_new_request(AT_REQ_CLCK_SET, 5);
    req[2] = 2;
    req[3] = facility;
    req[4] = 2;
    uint8_t s = 0;
    MTR_RESULT r = mtr_request_data(req, AT_CNF_CLCK_STATUS, [&](const krn_msg* d) { s = d[2]; });
    if (r == MTR_DONE) {
        if (status)
            *status = s;
    } else {
        engine_trace("mtr_FAC_get_status -> Something wrong");
    }
    return r;
}

MTR_RESULT mtr_FAC_set_status(int mode, uint8_t facility, const std::string& password)
{
    if (password.size() > MTR_CODE_MAX) {
        engine_trace("mtr_FAC_set_status -> password so long:" + std::to_string(password.size()));
        return MTR_FAILED;
    }
    if (!facility_ok(facility) || (mode != 0 && mode != 1))
        return MTR_FAILED;
    uint32_t status = 0;
    MTR_RESULT r = mtr_FAC_get_status(&status, facility);
    if (r == MTR_DONE) {
        // Even with nothing to change the password goes to the phone: a
        // wrong one must never pass for right.
        if (status == static_cast<uint32_t>(mode))
            engine_trace("mtr_FAC_set_status -> status is the same so no change status");
        else
            engine_trace("mtr_FAC_set_status -> status is not the same so we try to change status");
    }
    return send_lock(mode, facility, password);
}

MTR_RESULT mtr_FAC_change_password(uint8_t facility, const std::string& old_code, const std::string& new_code)
{
    if (!facility_ok(facility) || old_code.size() > MTR_CODE_MAX || new_code.size() > MTR_CODE_MAX)
        return MTR_FAILED;
    krn_msg* req = mtr_new_request(AT_REQ_CPWD_SET, static_cast<uint16_t>(3 + 2 + old_code.size() + new_code.size()));
    req[2] = facility;
    uint8_t* cur = mtr_put_string8(req + 3, old_code, MTR_CODE_MAX);
    mtr_put_string8(cur, new_code, MTR_CODE_MAX);
    return mtr_request(req);
}

MTR_RESULT mtr_FAC_get_list(int kind, MmiWindow* window, unsigned message)
{
    if (window == nullptr) {
        engine_trace("mtr_FAC_get_list_pwdmax:Hwnd_CallBack is NULL");
        return MTR_FAILED;
    }
    const bool passwords = kind == 1;
    krn_msg* req = mtr_new_request(passwords ? AT_REQ_CPWD_TEST : AT_REQ_CLCK_TEST);
    MTR_RESULT r = mtr_request_data(req, passwords ? AT_CNF_CPWD_LIST : AT_CNF_CLCK_LIST, [&](const krn_msg* d) {
        for (unsigned i = 0; i < d[2]; ++i) {
            if (passwords)
                window->PostMessage(message, d[3 + 2 * i], d[4 + 2 * i]);
            else
                window->PostMessage(message, d[3 + i], 0);
        }
    });
    if (r != MTR_DONE)
        engine_trace("mtr_FAC_get_list -> Something wrong, nothing in the list");
    return r;
}

MTR_RESULT mtr_FAC_get_lock_list(MmiWindow* window, unsigned message) { return mtr_FAC_get_list(0, window, message); }
MTR_RESULT mtr_FAC_get_list_pwdmax(MmiWindow* window, unsigned message)
{
    return mtr_FAC_get_list(1, window, message);
}

MTR_RESULT mtr_GEN_enter_code(int pin_state, int facility, const std::string& code, const std::string& new_code)
{
    if (code.size() > MTR_CODE_MAX || new_code.size() > MTR_CODE_MAX)
        return MTR_FAILED;
    if (pin_state < 0)
        return facility_ok(facility) ? mtr_FAC_change_password(static_cast<uint8_t>(facility), code, code)
                                     : MTR_FAILED;
    if (pin_state > AT_PIN_SIM_PUK2 || pin_state == AT_PIN_READY)
        return MTR_FAILED;
    uint32_t phone_state = 0;
    MTR_RESULT r = mtr_req_cpin_state(&phone_state);
    if (r != MTR_DONE)
        return r;
    if (phone_state == AT_PIN_READY) {
        // No code is awaited: the code is checked by changing it into itself.
        int fac = mtr_GEN_state_to_facility(static_cast<uint32_t>(pin_state));
        if (fac < 0)
            return MTR_FAILED;
        return mtr_FAC_change_password(static_cast<uint8_t>(fac), code, code);
    }
    return mtr_send_cpin(code, new_code);
}
