// The AT interpreter task (ATI): its state and the internal interfaces that
// its parts share: the control core (dispatch, queueing, time-outs,
// resynchronisation), the command formatters and output writers, the input
// reader and scanner, and the response handlers.
//
// The task only ever talks to the rest of the engine through kernel
// messages. The kernel services it uses are reached through `ati_kernel`, so
// that the formatters, the scanner and the handlers can also be driven by a
// test harness without a running kernel (tests/engine/ati_harness.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "at_defs.h"
#include "at_tables.h"
#include "krn.h"

// ---- Kernel services used by the task --------------------------------------
struct ati_env {
    void (*alloc)(krn_msg** out, uint16_t size);
    krn_msg* (*try_alloc)(uint16_t size);
    void (*free)(krn_msg* msg);
    uint16_t (*msg_size)(const krn_msg* msg);
    void (*send)(uint8_t task, krn_msg* msg);
    void (*receive)(uint8_t task, krn_msg** out);
    void (*timer_alloc)(krn_msg** out, uint16_t size);
    krn_timer* (*timer_start)(krn_msg* msg, uint32_t ticks, uint8_t cyclic, uint8_t task);
    void (*timer_stop)(krn_timer* handle);
    void (*fatal)(uint8_t cls, uint16_t code, uint16_t extra);
};
extern ati_env ati_kernel;

// Points `ati_kernel` at the real kernel and installs the task's entry
// (krn_set_ati_entry). Called by the engine start before krn_start.
void ati_use_kernel();

krn_msg* ati_alloc(uint16_t size);      // every failure is fatal (pool rules)
krn_msg* ati_try_alloc(uint16_t size);  // nullptr when no pool has a block
void ati_free(krn_msg* msg);
void ati_send_main(krn_msg* msg);       // to task 0 "MOTOR+IHM"

// Allocates a confirm of `size` bytes (at least 2) with [0] 0, [1] cnf and the
// rest zeroed.
krn_msg* ati_new_confirm(uint8_t cnf, uint16_t size);

// ---- Task state (owned by the ATI task) --------------------------------------
extern uint32_t ati_command;     // AT_CMD of the running command, 0 none
extern int ati_parse_state;      // 0 resync, 1 keyword scan, 2 raw line
extern bool ati_silent;          // no byte since the running command was written
// How long a dial may wait for the call's outcome (ticks of 10 ms). A ringing
// phone says nothing until the call is answered or refused, so this is a
// call set-up time, not a silence time-out; tests may shorten it.
extern uint32_t gv_ati_dial_timeout_ticks;

enum : int { ATI_PARSE_RESYNC = 0, ATI_PARSE_KEYWORD = 1, ATI_PARSE_RAW = 2 };

// Second-phase holders: the +CMGS / +CMGW request (text mode) or built PDU
// (PDU mode), and the ~MMYW / ~MMYP request. Released when the command ends.
extern krn_msg* ati_sms_holder;
extern krn_msg* ati_melody_holder;

// Character conversion pair (identity until the phone accepted +CSCS).
typedef uint8_t (*ati_conv)(uint8_t);
extern ati_conv ati_decode;  // phone -> PC
extern ati_conv ati_encode;  // PC -> phone
extern uint8_t ati_cscs_index;  // set index written by the last +CSCS= request

// ---- Engine settings the task reads (written by the request functions) -----
// Message mode chosen by the short-message set-up: 1 text, 0 PDU.
extern uint8_t ati_sms_mode;

// Limits learned from the phone. 0 means "not learned": texts are then bounded
// only by the room in their confirm.
struct ati_limits_t {
    uint8_t pb_number_len;     // digits of the current phonebook storage
    uint8_t pb_name_len;       // name length of the current phonebook storage
    uint16_t diary_text_len;   // from ~MDRR=?
    uint8_t melody_name_len;   // from ~MMYW=?
};
extern ati_limits_t ati_limits;

// +CIND position map: position in the phone's +CIND=? answer -> indicator
// code (AT_IND_EVT), 0xFF where no known name stands.
constexpr unsigned ATI_CIND_MAX = 32;
extern uint8_t ati_cind_map[ATI_CIND_MAX];

// ---- Control core (ati_core.cpp) ---------------------------------------------
void ati_init();              // state as at task start (also used by tests)
[[noreturn]] void ati_task_entry();
void ati_step();              // one scan of the current parse state
void ati_dispatch(krn_msg* req);
void ati_request_arrived(krn_msg* req);  // a request met by the input reader
void ati_input_arrived();     // a serial-data message became the current input
void ati_send_result(uint8_t code);
// Sends a command's answer (data or final result) to task 0. With no command
// running, the answer is a stray one (a late answer of a command already
// ended): it is dropped, so that it is never taken for the next request's.
void ati_send_answer(krn_msg* msg);
void ati_end_command();
void ati_finish_command();
// Enters resynchronisation (after a time-out or a broken answer): the line is
// drained until it has been quiet for a whole period, so that the rest of an
// answer, or a late one, is never taken for the next command's.
void ati_enter_resync();
void ati_handle_stop(krn_msg* msg);  // a message that stopped a parse
void ati_stop_command();      // engine stop: stop the command timer

// Command time-out (timer 0x0200 carrying the request number) and its stop.
void ati_start_timeout(uint32_t ticks, uint8_t req);
void ati_stop_timer();        // stops the command or resync timer, if any

// ---- Output writers (ati_out.cpp) --------------------------------------------
void ati_out_open();          // opens the first block (task start)
void ati_out_char(uint8_t c);
void ati_out_text(std::string_view text);             // as is
void ati_out_bytes(const uint8_t* p, size_t n);       // as is
void ati_out_decimal(unsigned value);
void ati_out_2digits(unsigned value);                 // 0-99, two digits
void ati_out_quoted(const uint8_t* p, size_t n);      // encoded, escaped, in quotes
void ati_out_escaped(const uint8_t* p, size_t n);     // encoded, escaped, '"' as is
void ati_out_hex(const uint8_t* p, size_t n);         // two upper-case digits a byte
void ati_out_flush();         // sends the open block when it holds text
void ati_out_eol();           // CR, then flush
void ati_out_break();         // queues a line-break message for task 0
inline void ati_out_quoted(std::string_view s)
{
    ati_out_quoted(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// ---- Formatters (at_format.cpp) ------------------------------------------------
enum ati_fmt_result {
    ATI_FMT_DONE,     // line written; the core releases the request
    ATI_FMT_KEPT,     // line written; the formatter keeps the request (second phase)
    ATI_FMT_REFUSED,  // bad parameters: nothing written, the core answers -36
};
typedef ati_fmt_result (*ati_formatter)(krn_msg* req);
// The formatter of a request number, or nullptr when it has none.
ati_formatter ati_formatter_for(uint8_t req);
// On the "> " prompt: writes the second phase of the running command.
// Returns nullptr, or a 230 code 5 stop message when no two-phase command runs.
krn_msg* ati_write_second_phase();
// A phone number that may be written as it is: 0-9 * # A-D p w, '+' only
// first. Anything else could end the command line or start another command.
bool ati_number_ok(const uint8_t* p, size_t n);

// ---- Character sets (at_charset.cpp) ---------------------------------------------
uint8_t ati_identity(uint8_t c);
// Sets the conversion pair of character-set index 0-2 (0 "GSM", 1 "IRA", 2 "PCCP437").
void ati_select_charset(uint8_t index);

// ---- Input reader and scanner (at_scan.cpp) ----------------------------------------
void ati_input_reset();       // drops the current and pushed-back input
size_t ati_input_buffered();  // bytes buffered and not yet read
// Next character in *c (nullptr), or the non-data message that stops the parse.
krn_msg* ati_getc(uint8_t* c);
void ati_ungetc(uint8_t c);
krn_msg* ati_keyword_scan();  // parse state 1
krn_msg* ati_raw_scan();      // parse state 2
// A 230 confirm with `code` built as a stop message.
krn_msg* ati_stop_result(uint8_t code);
