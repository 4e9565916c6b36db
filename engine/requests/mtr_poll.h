// Polling: the handling of everything that reached task 0 without being the
// answer of the running request (indications, call results, time-outs, the
// engine's timers), the poll script that asks for battery, signal, operator
// and registration when the phone cannot report indicators itself, the
// periodic link test and the battery and message-icon animations.
#pragma once

#include <cstdint>

#include "at_defs.h"
#include "krn.h"

// The handler of one poll-queue entry (installed by default).
void mtr_poll_entry(krn_msg* msg);
// Switches polling off (0) or on; switching it on drains the queue at once.
void mtr_set_poll_state(int state);

// The standard poll script (+CBC, +CSQ, +COPS?, +CREG?) every `Pool`
// seconds of section PoolingTime, when that is above 0.
void mtr_arm_poll_script();
// Queues a script of `count` request numbers: kind 0 repeats every `period`
// ticks, kind 1 runs once. false when it could not be queued.
bool mtr_queue_poll_script(int kind, uint32_t period, uint8_t count, const uint16_t* list);
void mtr_cancel_poll_scripts();
// Starts the link test timer (every `Pool` seconds, when at least 1).
void mtr_arm_is_alive();
// Tests the link at once, as the timed link test does, whatever `Pool`
// says: a phone that answers (the port last used reopened) is linked again
// and one that does not is lost, the document told of either change. -35
// when a phone answers; a silence of an earlier request still queued for
// polling is then dropped, the phone having answered since. For a screen
// that waits for the phone while it stands, with no link test to find it
// again, and for an operation that must know what an unanswered request
// did.
MTR_RESULT mtr_test_link_now();
// Asks the port last used, with a time-out of `ms` (10 to 2550), whether a
// phone answers there at all, opening the port for the question when the
// link was lost and closing it again after. The link's state is left as it
// is: a phone that answers is then linked by mtr_test_link_now. Done when a
// phone answered. For a screen that looks for the phone while the user
// acts on it: the full link test waits seconds for a silent phone, and
// holds the user's input meanwhile.
MTR_RESULT mtr_probe_phone(int ms);
// Stops the animations and the script and link-test timers (engine stop).
void mtr_poll_stop();
// Polling state as at engine start (queue emptied, flags cleared).
void mtr_poll_reset();

// Set while the phone refused +CIND=?: icons come from the poll script.
extern int gv_mtr_icons_by_polling;
// 0 none, 1 charging animation, 2 empty-battery blink.
extern int gv_mtr_battery_mode;
// 0 off, 2 blinking.
extern int gv_mtr_msg_icon_mode;

// The link test: -35 when a phone answers. The default reopens the port
// last used when it is closed and asks for the manufacturer id; phone
// discovery installs the full test.
typedef MTR_RESULT (*mtr_link_test_fn)();
void mtr_set_link_test(mtr_link_test_fn test);
MTR_RESULT mtr_quick_link_test();

// Handlers of the indications that belong to other modules (alarm, clock,
// diary, melody end): called with the entry, which is freed afterwards.
typedef void (*mtr_indication_fn)(krn_msg* msg);
void mtr_set_indication_handler(uint8_t cnf, mtr_indication_fn handler);

// Signal level 0-4 of a +CSQ rssi (99, not known, is 0).
int mtr_signal_level(unsigned rssi);
// Battery step 0-3, or -1 for no change, of a +CBC answer; starts or stops
// the animations as a side effect.
void mtr_battery_answer(uint8_t status, uint8_t level);
// Starts (kind 0x0201 or 0x0202) a cyclic 50-tick animation timer with
// bytes 2 and 3, stopping the one running of that kind.
void mtr_start_animation(uint16_t kind, uint8_t b2, uint8_t b3);
void mtr_stop_animation(uint16_t kind);
