// Melody requests.
#include "mtr_melody.h"

#include "engine_host.h"
#include "mmi_melody.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_request.h"

MmiMelodyView* gv_pMelodyView = nullptr;

namespace {

// Write and play share their layout: the header as a length-prefixed text,
// the notes with a 16-bit length. A melody that does not fit in one request
// block is refused.
MTR_RESULT send_melody(uint8_t req, const std::string& header, const std::string& notes)
{
    size_t size = 2 + 1 + header.size() + 2 + notes.size();
    if (header.empty() || header.size() > 255 || size > 1984) {
        engine_trace("mtr_MELODY -> melody refused: header or notes too long");
        return MTR_FAILED;
    }
    krn_msg* m = mtr_new_request(req, static_cast<uint16_t>(size));
    uint8_t* p = mtr_put_string8(m + 2, header);
    mtr_put_string16(p, notes);
    return mtr_request(m);
}

}  // namespace

MTR_RESULT mtr_MELODY_setup(MELODY_CAPS* caps)
{
    MELODY_CAPS got;
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_MMYW_TEST, 2), AT_CNF_MMYW_TEST, [&](const krn_msg* d) {
        // [2] range count, the (low, high) pairs, name length, notes (word)
        uint8_t n = d[2];
        const uint8_t* p = d + 3 + 2 * n;
        got.nb_melodies = (n == 1 && d[3] == 1) ? d[4] : 0;
        got.name_max = p[0];
        got.notes_max = static_cast<uint16_t>(p[1] << 8 | p[2]);
    });
    if (r == MTR_DONE) {
        engine_trace("mtr_MELODY_setup -> Number of melodies in the mobile = " + std::to_string(got.nb_melodies));
        engine_trace("mtr_MELODY_setup -> Max length of a melody name = " + std::to_string(got.name_max));
        engine_trace("mtr_MELODY_setup -> Max notes of a melody = " + std::to_string(got.notes_max));
        if (caps)
            *caps = got;
    }
    return r;
}

MTR_RESULT mtr_MELODY_read(uint8_t first, uint8_t last)
{
    if (!gv_pMelodyView)
        return MTR_FAILED;
    krn_msg* m = mtr_new_request(AT_REQ_MMYR, 4);
    m[2] = first;
    m[3] = last;
    return mtr_request_list(m, AT_CNF_MMYR, [](const krn_msg* d) {
        // [2] index, name (length, characters, zero), value and notes
        // length as words, then the notes.
        const uint8_t* p = d + 3;
        std::string name(reinterpret_cast<const char*>(p + 1), p[0]);
        p += 1 + p[0] + 1;
        unsigned value = static_cast<unsigned>(p[0] << 8 | p[1]);
        size_t length = static_cast<size_t>(p[2] << 8 | p[3]);
        std::string notes(reinterpret_cast<const char*>(p + 4), length);
        std::string header = std::to_string(d[2]) + ",\"" + name + "\"," + std::to_string(value);
        if (gv_pMelodyView)
            gv_pMelodyView->mmi_MELODY_add_melody(header, notes);
    });
}

MTR_RESULT mtr_MELODY_write(const std::string& header, const std::string& notes)
{
    return send_melody(AT_REQ_MMYW, header, notes);
}

MTR_RESULT mtr_MELODY_play(const std::string& header, const std::string& notes)
{
    return send_melody(AT_REQ_MMYP, header, notes);
}

MTR_RESULT mtr_MELODY_stop() { return mtr_request(mtr_new_request(AT_REQ_MMYS, 2)); }

void mtr_MELODY_stop_relay()
{
    if (gv_pMelodyView)
        gv_pMelodyView->mmi_MELODY_stop_ind();
}
