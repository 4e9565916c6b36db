#include "mtr_sms_pdu.h"

#include <cstring>

size_t mtr_sms_pdu_deliver(const at_sms_submit& s, uint8_t* out, size_t* tpdu_len)
{
    // A deliver is laid out as a submit with an absolute validity, less the
    // message reference: the validity's seven octets stand where the time
    // stamp goes.
    static const uint8_t zero_stamp[8] = {};
    at_sms_submit d = s;
    if (s.vp_len < 7 || !s.vp)
        d.vp = zero_stamp;
    d.vp_len = 8;
    size_t n = at_pdu_submit(d, out, tpdu_len);
    if (n == 0 || *tpdu_len < 2)
        return 0;
    size_t start = n - *tpdu_len;
    // Reply path, header and status-report indication stay; "no more
    // messages waiting" is set as a received message has it.
    out[start] = static_cast<uint8_t>((out[start] & 0xE0) | 0x04);
    std::memmove(out + start + 1, out + start + 2, n - start - 2);
    --*tpdu_len;
    return n - 1;
}
