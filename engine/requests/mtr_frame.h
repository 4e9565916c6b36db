// The request frame of the engine's blocking requests (task 0): sending a
// request to the AT task, the wait that pumps window messages and reads the
// port meanwhile, the request result, and the payload helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "at_defs.h"
#include "krn.h"

// ---- The wait ------------------------------------------------------------------

// The next message for task 0 that is not serial output (serial output is
// written to the port on the way). While none waits, the pump runs and the
// thread sleeps in poll() on the port, the host's event source and the tick.
void mtr_wait(krn_msg** out);
// Dispatches all waiting window messages with the tick and the port reader.
void mtr_pump();
// Wall time (ms) a wait goes without any message before it ends as a
// time-out with no answer: 60 s, lowered by the engine's stop so that
// closing the program never hangs on a vanished phone.
extern long gv_mtr_wait_limit_ms;
// 1 while the pump dispatches window messages.
extern int gv_mtr_pumping;
// Classifies a message that is not the awaited one: -35 when it was set
// aside for polling (or is harmless), else the request's result.
MTR_RESULT mtr_check_result(krn_msg* msg);
// Waits for the final answer of the running request (229 OK or 230); then
// polls. Anything else that fails the request is remembered and the wait
// goes on to the final answer.
MTR_RESULT mtr_wait_final();
// One engine step from idle time (when task 0's mailbox holds a message).
void mtr_idle();

// ---- Starting and ending a request -----------------------------------------------

// Sends a request to the AT task. Requests do not nest: while another request
// waits (a request started from window code that its pump dispatched), the
// message is freed and false returned; the caller answers -36.
bool mtr_send_request(krn_msg* req);
// Waits for a data confirm `cnf` of the running request. -35 with *out set:
// the confirm (the caller frees it). -35 with *out nullptr: the request ended
// with a bare OK and no data. Anything else: the request failed with that
// result. When *out is nullptr the request is over (polled, guard released).
MTR_RESULT mtr_wait_data(uint8_t cnf, krn_msg** out);
// Ends the running request with `result`: polls and releases the guard.
MTR_RESULT mtr_end_request(MTR_RESULT result);
bool mtr_request_running();
// A result of -36 that came of the phone's silence: the request was not
// answered, or not sent for a link known lost (see MTR_RESULT). Decided by
// the request's own result alone: what the link came to afterwards (a
// later link test losing the phone) does not make a refusal silence.
inline bool mtr_failed_unanswered(MTR_RESULT result) { return result == MTR_FAILED && result.IsUnanswered(); }
// The SIM refused because it is busy (+CME ERROR 14, +CMS ERROR 314): it
// passes, unlike other refusals.
inline bool mtr_failed_sim_busy(MTR_RESULT result) { return result == 14 || result == 314; }

// The poll queue (the general queue of set-aside messages) and its drain.
extern krn_queue gv_poll_queue;
// Most indications kept while polling is off.
constexpr uint16_t MTR_POLL_QUEUE_MAX = 24;
extern int gv_bCallMtrPoll;
void mtr_poll();
// Polling's handler of one queued message (the message is freed after it).
typedef void (*mtr_poll_handler)(krn_msg* msg);
void mtr_set_poll_handler(mtr_poll_handler handler);
// The is-alive-armed flag and the poll-script timer slots that
// mtr_check_result clears.
extern int gv_is_alive_armed;
constexpr unsigned MTR_POLL_SLOTS = 8;
extern krn_timer* gv_poll_script_slot[MTR_POLL_SLOTS];

// ---- Payload helpers --------------------------------------------------------------

// A length byte and the characters; nullptr when the text is longer than
// `limit` (at most 255).
uint8_t* mtr_put_string8(uint8_t* cur, const std::string& text, size_t limit = 255);
uint8_t* mtr_put_string16(uint8_t* cur, const std::string& text);
// Copies a length-prefixed string; returns the cursor after the copy.
uint8_t* mtr_copy_string(uint8_t* dst, const uint8_t* src);
// Takes a string sent back by the AT task (length byte, characters, spare
// byte): the text is terminated in the spare byte and the cursor moves past
// it. With `number`, the pause written as 'A' becomes 'p' again; other texts
// (names, alphanumeric senders) are left as they are.
const char* mtr_get_string(uint8_t** cur, bool number = false);
bool mtr_list_has_value(const uint8_t* list, uint8_t value);
bool mtr_ranges_have_value(const uint8_t* list, uint8_t value);
// Packs a phone number: length byte, characters, type (145 with a leading
// '+', else 129). Blanks are dropped, the pause 'p' is written as 'A'; only
// 0-9 * # p w and one leading '+' are accepted, at most `maximum` dialling
// characters (the '+' not counted). 1 done, 0 refused (cursor unchanged).
int mtr_pack_number(uint8_t** cur, const std::string& text, unsigned maximum);
int mtr_year_from_2digits(int yy);
int mtr_year_to_2digits(int year);
void mtr_start_dial_timer();
