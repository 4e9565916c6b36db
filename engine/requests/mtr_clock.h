// Clock, diary and alarm requests of the engine (task 0): the phone's date
// and time, its date and time display formats, its diary cards and its
// alarm, switch-on and switch-off times.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"
#include "krn.h"
#include "mtr_datetime.h"

// Date-format codes 0 "dd-mm-yy", 1 "mm-dd-yy", 2 "yy-mm-dd"; time-format
// codes 0 "12h", 1 "24h"; alarm kinds 0 "ALA" (alarm), 1 "AUS" (switch-off),
// 2 "AUW" (switch-on).
MTR_RESULT mtr_CLK_get_clock(MTR_DATETIME* out);
MTR_RESULT mtr_CLK_set_clock(MTR_DATETIME when);
MTR_RESULT mtr_CLK_set_date_format(uint8_t code);
MTR_RESULT mtr_CLK_get_date_format(int32_t* code);
MTR_RESULT mtr_CLK_set_time_format(uint8_t code);
MTR_RESULT mtr_CLK_get_time_format(int32_t* code);

// Reads the diary cards first..last; each card goes to the document's
// mmi_ORG_read_diary_cnf. The first read asks the phone how long its diary
// texts are (~MDRR=?), so that no card text is cut short.
MTR_RESULT mtr_ORG_read_diary(uint8_t first, uint8_t last);
// Adds a card at the place the phone chooses (written to *place).
MTR_RESULT mtr_ORG_add_diary(uint8_t* place, MTR_DATETIME when, const std::string& text, uint8_t a, uint8_t b,
                             uint8_t c);
MTR_RESULT mtr_ORG_write_diary(uint8_t place, MTR_DATETIME when, const std::string& text, uint8_t a, uint8_t b,
                               uint8_t c);
MTR_RESULT mtr_ORG_delete_diary(uint8_t place);
// The diary's text length as the phone gave it (0 until learnt).
uint16_t mtr_ORG_diary_text_length();

MTR_RESULT mtr_ALA_set_alarm(uint8_t kind, uint8_t state, MTR_DATETIME time);
// The setting goes to the document's mmi_ALA_get_alarm_cnf, on today's date.
MTR_RESULT mtr_ALA_get_alarm(uint8_t kind);

// Relays of queued indications, called by the poll step with the message.
void mtr_ALA_alarm_ind(krn_msg* msg);   // 238 ~MALI
void mtr_CLK_clock_ind(krn_msg* msg);   // 239 ~MCLK
void mtr_ORG_diary_ind(krn_msg* msg);   // 240 ~MDRI
