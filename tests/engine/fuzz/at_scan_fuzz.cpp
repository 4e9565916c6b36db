// libFuzzer target: the AT task's scanner and handlers fed with arbitrary
// bytes while a command chosen by the input runs, then its time-outs.
// Built only with -DZORQ_FUZZ=ON and clang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "at_sms.h"
#include "ati_harness.h"

namespace {

const uint8_t requests[] = {
    AT_REQ_AT, AT_REQ_CGMI, AT_REQ_MVER, AT_REQ_CBC, AT_REQ_CSQ, AT_REQ_CREG_GET, AT_REQ_COPS_GET,
    AT_REQ_CLCK_TEST, AT_REQ_CPWD_TEST, AT_REQ_CPIN_GET, AT_REQ_MPIN_GET, AT_REQ_CIND_TEST,
    AT_REQ_CIND_GET, AT_REQ_CPBS_TEST, AT_REQ_CPBW_TEST, AT_REQ_CCLK_GET, AT_REQ_CPMS_TEST,
    AT_REQ_CMGF_TEST, AT_REQ_CSCA_GET, AT_REQ_CSMP_GET, AT_REQ_CSAS_TEST, AT_REQ_CRES_TEST,
    AT_REQ_MDAF_GET, AT_REQ_MTIF_GET, AT_REQ_MDRR_TEST, AT_REQ_MMYW_TEST,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    {
        at_sms_fields f;
        at_pdu_decode(data + 3, size - 3, data[2] & 1, &f);
    }
    AtiHarness h;
    ati_sms_mode = data[1] & 1;
    uint8_t pick = data[0];
    size_t chunk = 1 + (data[2] >> 1) % 64;
    if (pick < sizeof requests) {
        h.request(requests[pick]);
    } else if (pick < 200) {
        // Commands with parameters, list answers and the two-phase ones.
        switch (pick % 8) {
        case 0: h.request(AT_REQ_CPBR, {1, 200}); break;
        case 1: h.request(AT_REQ_CMGL, {static_cast<uint8_t>(pick & 3)}); break;
        case 2: h.request(AT_REQ_CMGR, {1}); break;
        case 3: h.request(AT_REQ_MDRR, {1, 3}); break;
        case 4: h.request(AT_REQ_MMYR, {1, 2}); break;
        case 5: h.request(AT_REQ_MALR, {0}); break;
        case 6: h.request(AT_REQ_CMGS, cat({{0, 0, 0}, lp("0612"), {129}, lp("Hi\rthere")})); break;
        default: h.request(AT_REQ_MMYW, cat({lp("1,\"T\",3"), {0, 4}, {'a', '\r', 'b', '\r'}})); break;
        }
    }
    h.feed(std::string(reinterpret_cast<const char*>(data + 3), size - 3), chunk);
    h.run();
    for (int i = 0; i < 3; ++i) {
        if (!h.expire(ATI_TIMER_COMMAND) && !h.expire(ATI_TIMER_RESYNC))
            break;
        h.run();
    }
    h.confirms();
    return 0;
}
