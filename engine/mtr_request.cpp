#include "mtr_request.h"

#include <cstring>

#include "mtr_frame.h"

namespace {
constexpr uint16_t LARGEST_BLOCK = 1984;
}

krn_msg* mtr_make_request(uint8_t number, uint16_t size)
{
    if (size < 2 || size > LARGEST_BLOCK)
        return nullptr;
    krn_msg* m = krn_try_alloc(size);
    if (!m)
        return nullptr;
    std::memset(m, 0, size);
    m[1] = number;
    return m;
}

MTR_RESULT mtr_request_final(krn_msg* req)
{
    if (!req || !mtr_send_request(req))
        return MTR_FAILED;
    return mtr_wait_final();
}

MTR_RESULT mtr_request_one(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& take)
{
    if (!req || !mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(cnf, &d);
    if (!d)
        return r == MTR_DONE ? MTR_FAILED : r;
    take(d);
    krn_free(d);
    return mtr_wait_final();
}

MTR_RESULT mtr_request_list(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& deliver)
{
    if (!req || !mtr_send_request(req))
        return MTR_FAILED;
    krn_msg* held = nullptr;
    for (;;) {
        krn_msg* d = nullptr;
        MTR_RESULT r = mtr_wait_data(cnf, &d);
        if (!d) {
            if (held) {
                if (r == MTR_DONE)
                    deliver(held);
                krn_free(held);
            }
            return r;
        }
        if (held) {
            deliver(held);
            krn_free(held);
        }
        held = d;
    }
}
