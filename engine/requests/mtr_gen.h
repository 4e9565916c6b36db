// General requests: the phone's identity, voice calls, the state of its
// security codes and the translation of a failed request's result. Every
// function blocks in the request wait and returns an MTR_RESULT.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "at_defs.h"
#include "krn.h"

// ---- Shared by the request modules ---------------------------------------------------

// A request message {0, number} with `size` bytes in all (zeroed).
krn_msg* mtr_new_request(uint8_t number, uint16_t size = 2);
// Sends `req`, waits for its one data confirm `cnf` and its final answer, and
// hands the confirm to `take` only when that answer is OK. A query answered by a bare OK carries no data: -36. A nested
// call fails at once with -36.
MTR_RESULT mtr_request_data(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& take);
// Sends `req` and waits for its final answer only.
MTR_RESULT mtr_request(krn_msg* req);

// ---- General requests ------------------------------------------------------------------

MTR_RESULT mtr_GEN_req_manufacturer_id(std::string& out);
MTR_RESULT mtr_GEN_req_version(std::string& out);
// Dials a voice call and waits for the dial's own final answer, which also
// reaches the document's call status.
MTR_RESULT mtr_GEN_dial(const char* number);
MTR_RESULT mtr_GEN_hang_up();
// The PIN state the phone waits for (AT_PIN_STATE) and its counter (~MPIN?).
MTR_RESULT mtr_GEN_req_code_state(uint32_t* state, int* counter = nullptr);
// As above; on a phone without ~MPIN the +CPIN? state with the counter -1.
MTR_RESULT mtr_GEN_get_code_state(uint32_t* state, int* counter = nullptr);
// The three counters of a facility's code (~MPIN="<fac>").
MTR_RESULT mtr_GEN_req_code_info(uint8_t facility, int* a = nullptr, int* b = nullptr, int* c = nullptr);
MTR_RESULT mtr_GEN_get_facility_code_info(uint8_t facility, int* c);
MTR_RESULT mtr_GEN_get_code_info(uint32_t pin_state, int* counter);
// 0 PH-SIM PIN -> "PS", 2 SIM PIN -> "SC", 3 SIM PIN2 -> "P2"; else -1.
int mtr_GEN_state_to_facility(uint32_t pin_state);
// The result as callers judge it: -36 for every result, so that each
// failure shows the caller's failure text (with the number as detail).
MTR_RESULT mtr_GEN_translate_error(MTR_RESULT result);

// The +CPIN? state (AT_PIN_STATE) and +CPIN=<code>[,<new code>], used by
// the code checks.
MTR_RESULT mtr_req_cpin_state(uint32_t* state);
MTR_RESULT mtr_send_cpin(const std::string& code, const std::string& new_code);
