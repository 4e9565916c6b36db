// Clock, diary and alarm requests of the engine (task 0): the phone's date
// and time, its date and time display formats, its diary cards and its
// alarm, switch-on and switch-off times.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"
#include "krn.h"

// A calendar date and time of day, as the screens' date-time values hold
// them (the application converts to and from its own type).
struct MtrDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const MtrDateTime&) const = default;
};

// The 8-byte record of requests: year modulo 100, month, day, hour, minute,
// second, zone sign 0 (plus), zone 0.
void mtr_time_to_record(const MtrDateTime& when, uint8_t record[8]);
// From a confirm's year (two digits), month, day, hour, minute, second: a
// year below 96 is 20yy, otherwise 19yy.
MtrDateTime mtr_record_to_time(const uint8_t* record);
// A date-time the phone can be given: months 1-12, days of the month,
// 00:00:00-23:59:59, years 1996-2095 (two digits on the line).
bool mtr_time_valid(const MtrDateTime& when);

// Date-format codes 0 "dd-mm-yy", 1 "mm-dd-yy", 2 "yy-mm-dd"; time-format
// codes 0 "12h", 1 "24h"; alarm kinds 0 "ALA" (alarm), 1 "AUS" (switch-off),
// 2 "AUW" (switch-on).
MTR_RESULT mtr_CLK_get_clock(MtrDateTime* out);
MTR_RESULT mtr_CLK_set_clock(MtrDateTime when);
MTR_RESULT mtr_CLK_set_date_format(uint8_t code);
MTR_RESULT mtr_CLK_get_date_format(int32_t* code);
MTR_RESULT mtr_CLK_set_time_format(uint8_t code);
MTR_RESULT mtr_CLK_get_time_format(int32_t* code);

// Reads the diary cards first..last; each card goes to the document's
// mmi_ORG_read_diary_cnf. The first read asks the phone how long its diary
// texts are (~MDRR=?), so that no card text is cut short.
MTR_RESULT mtr_ORG_read_diary(uint8_t first, uint8_t last);
// Adds a card at the place the phone chooses (written to *place).
MTR_RESULT mtr_ORG_add_diary(uint8_t* place, MtrDateTime when, const std::string& text, uint8_t a, uint8_t b,
                             uint8_t c);
MTR_RESULT mtr_ORG_write_diary(uint8_t place, MtrDateTime when, const std::string& text, uint8_t a, uint8_t b,
                               uint8_t c);
MTR_RESULT mtr_ORG_delete_diary(uint8_t place);
// The diary's text length as the phone gave it (0 until learnt).
uint16_t mtr_ORG_diary_text_length();

MTR_RESULT mtr_ALA_set_alarm(uint8_t kind, uint8_t state, MtrDateTime time);
// The setting goes to the document's mmi_ALA_get_alarm_cnf, on today's date.
MTR_RESULT mtr_ALA_get_alarm(uint8_t kind);

// Relays of queued indications, called by the poll step with the message.
void mtr_ALA_alarm_ind(krn_msg* msg);   // 238 ~MALI
void mtr_CLK_clock_ind(krn_msg* msg);   // 239 ~MCLK
void mtr_ORG_diary_ind(krn_msg* msg);   // 240 ~MDRI
