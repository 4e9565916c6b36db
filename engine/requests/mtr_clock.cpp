// Clock, diary and alarm requests.
#include "mtr_clock.h"

#include <cstring>
#include <ctime>

#include "ati.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_request.h"

namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

MTR_DATETIME today_at(int hour, int minute, int second)
{
    std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    MTR_DATETIME d;
    d.year = now.tm_year + 1900;
    d.month = now.tm_mon + 1;
    d.day = now.tm_mday;
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    return d;
}

bool time_of_day_valid(const MTR_DATETIME& t)
{
    return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60;
}

// The diary's place, date and text request (116): [2] place, [3..10] the
// date-time record, the text (length-prefixed), a, b, c.
MTR_RESULT diary_write(uint8_t place, uint8_t* chosen, const MTR_DATETIME& when, const std::string& text, uint8_t a,
                       uint8_t b, uint8_t c)
{
    if (!mtr_time_valid(when) || text.size() > 255) {
        engine_trace("mtr_ORG_write_diary -> refused: bad date or text too long");
        return MTR_FAILED;
    }
    // The phone's own limit, when it told it, is checked here too: a longer
    // text would only be refused by the phone or cut by it.
    uint16_t limit = ati_limits.diary_text_len;
    if (limit && text.size() > limit) {
        engine_trace("mtr_ORG_write_diary -> refused: text longer than the phone's diary text");
        return MTR_FAILED;
    }
    krn_msg* m = mtr_new_request(AT_REQ_MDRW, static_cast<uint16_t>(2 + 1 + 8 + 1 + text.size() + 3));
    m[2] = place;
    mtr_time_to_record(when, m + 3);
    uint8_t* p = mtr_put_string8(m + 11, text);
    p[0] = a;
    p[1] = b;
    p[2] = c;
    return mtr_request_data(m, AT_CNF_MDRW, [&](const krn_msg* d) {
        if (chosen)
            *chosen = d[2];
    });
}

// Asks the phone for its diary's places and text length (~MDRR=?); the AT
// task keeps the length and sizes the card texts by it.
MTR_RESULT learn_diary_length()
{
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_MDRR_TEST, 2), AT_CNF_MDRR_TEST, [](const krn_msg*) {});
    engine_trace("mtr_ORG_read_diary -> diary text length = " + std::to_string(ati_limits.diary_text_len));
    return r;
}

MTR_RESULT get_code(uint8_t req, uint8_t cnf, int32_t* code)
{
    return mtr_request_data(mtr_new_request(req, 2), cnf, [&](const krn_msg* d) { *code = d[2]; });
}

MTR_RESULT set_code(uint8_t req, uint8_t code)
{
    krn_msg* m = mtr_new_request(req, 3);
    m[2] = code;
    return mtr_request(m);
}

}  // namespace

void mtr_time_to_record(const MTR_DATETIME& when, uint8_t record[8])
{
    record[0] = static_cast<uint8_t>(mtr_year_to_2digits(when.year));
    record[1] = static_cast<uint8_t>(when.month);
    record[2] = static_cast<uint8_t>(when.day);
    record[3] = static_cast<uint8_t>(when.hour);
    record[4] = static_cast<uint8_t>(when.minute);
    record[5] = static_cast<uint8_t>(when.second);
    record[6] = 0;
    record[7] = 0;
}

MTR_DATETIME mtr_record_to_time(const uint8_t* record)
{
    MTR_DATETIME d;
    d.year = mtr_year_from_2digits(record[0]);
    d.month = record[1];
    d.day = record[2];
    d.hour = record[3];
    d.minute = record[4];
    d.second = record[5];
    return d;
}

bool mtr_time_valid(const MTR_DATETIME& w)
{
    return w.year >= 1996 && w.year <= 2095 && w.month >= 1 && w.month <= 12 && w.day >= 1 &&
           w.day <= days_in_month(w.year, w.month) && time_of_day_valid(w);
}

MTR_RESULT mtr_CLK_get_clock(MTR_DATETIME* out)
{
    return mtr_request_data(mtr_new_request(AT_REQ_CCLK_GET, 2), AT_CNF_CCLK,
                           [&](const krn_msg* d) { *out = mtr_record_to_time(d + 2); });
}

MTR_RESULT mtr_CLK_set_clock(MTR_DATETIME when)
{
    if (!mtr_time_valid(when))
        return MTR_FAILED;
    krn_msg* m = mtr_new_request(AT_REQ_CCLK_SET, 10);
    mtr_time_to_record(when, m + 2);
    return mtr_request(m);
}

MTR_RESULT mtr_CLK_set_date_format(uint8_t code) { return set_code(AT_REQ_MDAF_SET, code); }
MTR_RESULT mtr_CLK_get_date_format(int32_t* code) { return get_code(AT_REQ_MDAF_GET, AT_CNF_MDAF, code); }
MTR_RESULT mtr_CLK_set_time_format(uint8_t code) { return set_code(AT_REQ_MTIF_SET, code); }
MTR_RESULT mtr_CLK_get_time_format(int32_t* code) { return get_code(AT_REQ_MTIF_GET, AT_CNF_MTIF, code); }

MTR_RESULT mtr_ORG_read_diary(uint8_t first, uint8_t last)
{
    if (!gv_pDoc)
        return MTR_FAILED;
    // Card texts are sized by the phone's diary text length: learn it once.
    if (ati_limits.diary_text_len == 0)
        learn_diary_length();
    krn_msg* m = mtr_new_request(AT_REQ_MDRR, 4);
    m[2] = first;
    m[3] = last;
    return mtr_request_list(m, AT_CNF_MDRR, [](const krn_msg* d) {
        // [2] index, [3] 1, [4..11] date-time, text (length, characters,
        // zero), a, b, c.
        uint8_t* p = const_cast<krn_msg*>(d) + 12;
        const char* text = mtr_get_string(&p);
        if (gv_pDoc)
            gv_pDoc->mmi_ORG_read_diary_cnf(d[2], mtr_record_to_time(d + 4), text, p[0], p[1], p[2]);
    });
}

MTR_RESULT mtr_ORG_add_diary(uint8_t* place, MTR_DATETIME when, const std::string& text, uint8_t a, uint8_t b,
                             uint8_t c)
{
    return diary_write(255, place, when, text, a, b, c);
}

MTR_RESULT mtr_ORG_write_diary(uint8_t place, MTR_DATETIME when, const std::string& text, uint8_t a, uint8_t b,
                               uint8_t c)
{
    if (place == 255)  // 255 stands for "a free place" on the line
        return MTR_FAILED;
    return diary_write(place, nullptr, when, text, a, b, c);
}

MTR_RESULT mtr_ORG_delete_diary(uint8_t place) { return set_code(AT_REQ_MDRD, place); }

uint16_t mtr_ORG_diary_text_length() { return ati_limits.diary_text_len; }

MTR_RESULT mtr_ALA_set_alarm(uint8_t kind, uint8_t state, MTR_DATETIME time)
{
    if (kind > 2 || !time_of_day_valid(time))
        return MTR_FAILED;
    krn_msg* m = mtr_new_request(AT_REQ_MALW, 9);
    m[2] = kind;
    m[3] = state;
    m[4] = static_cast<uint8_t>(time.hour);
    m[5] = static_cast<uint8_t>(time.minute);
    // second 0, zone "+00"
    return mtr_request(m);
}

MTR_RESULT mtr_ALA_get_alarm(uint8_t kind)
{
    if (kind > 2)
        return MTR_FAILED;
    krn_msg* m = mtr_new_request(AT_REQ_MALR, 3);
    m[2] = kind;
    return mtr_request_data(m, AT_CNF_MALR, [&](const krn_msg* d) {
        // [2] kind, [3] state, [4] 1, [5..9] hour, minute, second, sign, zone
        if (gv_pDoc)
            gv_pDoc->mmi_ALA_get_alarm_cnf(kind, d[3], today_at(d[5], d[6], d[7]));
    });
}

void mtr_ALA_alarm_ind(krn_msg*) {}

void mtr_CLK_clock_ind(krn_msg* msg)
{
    if (gv_pDoc)
        gv_pDoc->mmi_CLK_read_date_time_cnf(mtr_record_to_time(msg + 2));
}

void mtr_ORG_diary_ind(krn_msg* msg)
{
    if (gv_pDoc)
        gv_pDoc->mmi_GEN_void_cnf(msg[2]);
}
