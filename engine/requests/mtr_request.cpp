#include "mtr_request.h"

#include "mtr_frame.h"

MTR_RESULT mtr_request_list(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& deliver)
{
    if (!mtr_send_request(req))
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
