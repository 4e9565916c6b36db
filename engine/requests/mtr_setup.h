// The engine's start, the set-up of a phone once found, and the stop; the
// link-identity test and the PIN requests that the set-up uses.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"
#include "krn.h"
#include "mtr_melody.h"
#include "mtr_pb.h"
#include "sms_types.h"

// Loads the GSM conversion tables from the Files folder (a missing or
// malformed table ends the program after a message), resets the request
// side, arms the link test and reads the AT trace switch.
void mtr_init(const std::string& manufacturer_id);
void mtr_stop();
void mtr_disable_unsol_res();

// The manufacturer text the phone must answer ("" accepts any phone).
const std::string& mtr_expected_manufacturer();

// -35 when the phone on the open port answers +CGMI with the expected
// manufacturer, else -36. Both texts are compared with blanks around them
// removed and cut to the 20 characters the engine keeps of the answer.
MTR_RESULT mtr_IsComWithMobile();
// Compares a phone's answer with the expected text as above.
bool mtr_manufacturer_matches(const std::string& expected, const std::string& answer);

// +CPIN?: the state index (0 "PH-SIM PIN", 1 "READY", 2 "SIM PIN",
// 3 "SIM PIN2", 4 "SIM PUK", 5 "SIM PUK2").
MTR_RESULT mtr_GEN_req_pin_status(int* state);
// +CPIN=<code>[,<new code>]; an empty code is refused (-36), nothing sent.
MTR_RESULT mtr_GEN_set_pin(const std::string& code, const std::string& new_code);

// ---- The phone's capabilities and the set-up ------------------------------------


// The phone's capabilities, cleared by the document and filled by mtr_setup
// and its set-up steps (the document keeps it as m_MSParam).
struct MS_PARAM {
    MTR_PB_STORAGE pb[MTR_PB_RECORDS];  // SIM, SIM fixed dialling, phone memory
    int32_t st1_available = 0;
    SMS_PROFILE_RANGE profiles;         // message profiles (255, 255 when none)
    SMS_STORAGE_INFO sms;               // message storages and mode
    int32_t clock_available = 0;
    uint8_t date_format = 0, time_format = 0;
    int32_t alarm_available = 0;
    int32_t melody_available = 0;
    MELODY_CAPS melody;
    uint8_t melody_max_duration = 0, melody_min_duration = 0, melody_max_tempo = 0, melody_min_tempo = 0;
    uint8_t melody_default_octave = 0, melody_high_octave = 0, melody_low_octave = 0;
    uint8_t melody_high_note = 0, melody_low_note = 0;
};

// What mtr_setup reports: 0 when it gave up at the PIN or SIM question (the
// link is then marked 0); otherwise MTR_SETUP_WENT_ON with a bit for each of
// the phonebook and message set-ups that succeeded.
enum : int {
    MTR_SETUP_WENT_ON = 1,
    MTR_SETUP_PB_OK = 2,
    MTR_SETUP_SMS_OK = 4,
};
int mtr_setup(MS_PARAM* param);

// The PIN prompt state: 0 none, 1 a prompt is shown, 2 the user gave up at
// the "SIM not inserted" question (later set-ups give up at once until one
// goes through).
int mtr_pin_prompt_state();

// Selects the GSM character set (+CSCS="GSM").
MTR_RESULT mtr_select_charset();

// The indications of the clock, diary, alarm and melody areas that the poll
// step hands on (238 ~MALI, 239 ~MCLK, 240 ~MDRI, 241 ~MMPI); mtr_init
// installs it for those four with polling.
void mtr_setup_indication(krn_msg* msg);
