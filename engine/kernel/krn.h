// The engine's task kernel: three cooperative tasks inside the calling
// thread, fixed message pools, mailboxes, event groups and timers.
//
// Task 0 "MOTOR+IHM" is the thread that calls krn_start (the user-interface
// thread); task 1 "TIME" runs the timer list; task 2 "ATI" is the AT
// interpreter. Control passes between tasks only inside kernel calls.
#pragma once

#include <cstddef>
#include <cstdint>

// A message is the user area of a pool block. Bytes 0-1 hold the message
// number, high byte first; the high byte is its class.
typedef uint8_t krn_msg;

enum : uint8_t {
    KRN_TASK_MAIN = 0,  // "MOTOR+IHM"
    KRN_TASK_TIME = 1,  // "TIME"
    KRN_TASK_ATI = 2,   // "ATI"
    KRN_TASK_COUNT = 3,
};

// Message classes (byte 0 of a message).
enum : uint8_t {
    KRN_CLASS_REQUEST = 0x00,   // requests and confirms
    KRN_CLASS_SERIAL = 0x01,    // 0x0100 input, 0x0101 output text, 0x0102 line break
    KRN_CLASS_TIMER = 0x02,     // timer expiry, byte 1 the timer kind
    KRN_CLASS_POLL_ONCE = 0x03, // one-time poll script
};

// Reads / writes the 16-bit message number at bytes 0-1.
inline uint16_t krn_msg_number(const krn_msg* m) { return static_cast<uint16_t>((m[0] << 8) | m[1]); }
inline void krn_set_msg_number(krn_msg* m, uint16_t n)
{
    m[0] = static_cast<uint8_t>(n >> 8);
    m[1] = static_cast<uint8_t>(n);
}

// Fatal error codes (class 1 unless stated).
enum : uint16_t {
    KRN_ERR_POOL_EMPTY = 0x1030,       // first pool large enough is empty; extra = pool
    KRN_ERR_SIZE_TOO_LARGE = 0x1031,   // above 1984 bytes; extra = size
    KRN_ERR_SIZE_ZERO = 0x1032,        // size 0
    KRN_ERR_TIMER_NO_TIMERS = 0x1120,  // TIME woken with an empty timer list
    KRN_ERR_TIMER_NOT_ALLOC = 0x1130,  // timer started in a state other than 'A'; extra = state
    KRN_ERR_TIMER_ZERO = 0x1131,       // timer started with 0 ticks
    KRN_ERR_TIMER_STOP_STATE = 0x1140, // timer stopped in a state without a timer; extra = state
    KRN_ERR_WOULD_BLOCK = 0x1150,      // task 0 would wait with no other task able to run; extra = mailbox / group
    KRN_ERR_SECOND_START = 0x1160,     // scheduler started a second time
    KRN_ERR_TIMER_SETUP = 0x11F0,      // timer service set up outside the main task; extra = task
    KRN_ERR_REQUEST_TASK = 0x0000,     // class 0: request wait entered by a task other than task 0
};

// ---- Kernel start, tasks and events -------------------------------------

// The entry of a task other than task 0 (never returns).
typedef void (*krn_task_entry)();

// Installs the entry of task ATI before krn_start (the AT interpreter sets
// it; a kernel started without one creates no ATI task).
void krn_set_ati_entry(krn_task_entry entry);

// Builds the kernel and runs TIME and ATI until both wait. A second start of
// the scheduler is fatal 0x1160.
void krn_start();

// The id of the running task (the idle work runs only while it is 0).
uint8_t krn_running_task();

void krn_event_set(uint8_t group, uint8_t bits);
void krn_event_wait(uint8_t group, uint8_t mask);

// ---- Pools, mailboxes and queues ----------------------------------------

// Takes a block with at least `size` bytes of user area. Every failure is
// fatal: 0x1032 for size 0, 0x1031 above 1984 bytes, 0x1030 when the first
// pool large enough is empty.
void krn_alloc(krn_msg** out, uint16_t size);

// Like krn_alloc, but tries the larger pools when the first one large enough
// is empty, and returns nullptr instead of ending the program when none has a
// free block. For messages the engine may drop or coalesce (queued
// unsolicited indications).
krn_msg* krn_try_alloc(uint16_t size);

// The size asked for when the block was taken (for a timer message: its
// user area, rounded up).
uint16_t krn_msg_size(const krn_msg* msg);

void krn_free(krn_msg* msg);
void krn_send(uint8_t task, krn_msg* msg);
void krn_receive(uint8_t task, krn_msg** out);
bool krn_mbx_empty(uint8_t task);

// Free blocks left in a pool (0-3), for tests and diagnostics.
uint16_t krn_pool_free(int pool);

// General message queue, chained through the block headers.
struct krn_queue {
    void* head;
    void* tail;
    uint16_t count;
};
void krn_queue_init(krn_queue* q);
uint16_t krn_queue_count(const krn_queue* q);
void krn_queue_put_front(krn_queue* q, krn_msg* msg);
krn_msg* krn_queue_take_back(krn_queue* q);   // nullptr when empty
krn_msg* krn_queue_take_front(krn_queue* q);  // nullptr when empty
void krn_queue_remove(krn_queue* q, krn_msg* msg);
krn_msg* krn_queue_first(const krn_queue* q);
krn_msg* krn_queue_next(const krn_queue* q, const krn_msg* msg);

// ---- Fatal errors ---------------------------------------------------------

// Records the error, calls the error hook, shows "Error %d" through the
// fatal-box hook and stops the engine for good. Never returns.
[[noreturn]] void krn_fatal(uint8_t cls, uint16_t code, uint16_t extra);

// The last fatal error recorded (task id, class, code, extra).
struct krn_error_record {
    uint8_t task;
    uint8_t cls;
    uint16_t code;
    uint16_t extra;
};
krn_error_record krn_last_error();

// Shows "Error %d" to the user; installed by the application. Without one
// the text goes to standard error.
typedef void (*krn_fatal_box_hook)(const char* text);
void krn_set_fatal_box(krn_fatal_box_hook hook);

// How the program stops after a fatal error. The default ends the process;
// tests install one that leaves by an exception so that the fatal path can be
// observed. It must not return. It always runs on task 0's stack: a fatal
// error inside TIME or ATI first abandons that task and resumes task 0 inside
// the kernel call it was suspended in, so an exception unwinds only task 0's
// frames (krn_reset_for_tests rebuilds the abandoned task). The fatal-box
// hook runs where the error occurred and must return.
typedef void (*krn_stop_hook)();
void krn_set_stop_hook(krn_stop_hook hook);

// ---- Timers and the tick --------------------------------------------------

struct krn_timer;  // the timer record; its address is the timer handle

void krn_timer_alloc(krn_msg** out, uint16_t size);
krn_timer* krn_timer_start(krn_msg* msg, uint32_t ticks, uint8_t cyclic, uint8_t task);
void krn_timer_stop(krn_timer* handle);

// Starts / stops the 10 ms tick source (its callback only raises a flag).
void krn_start_timer();
void krn_stop_timer();

// A descriptor that becomes readable when the next tick is due, so that a
// waiting loop can block in poll() until then; -1 while the source is stopped.
// Only RearmTickTimer consumes it.
int krn_tick_fd();

// The tick source's callback: counts and raises the tick flag.
void krn_timer_callback();

// The tick step, run by the user-interface thread: counts at most one tick
// when the flag is up, expires due timers and re-arms the 10 ms source.
void RearmTickTimer();

// ---- Kernel lock ----------------------------------------------------------

// The kernel lock is a real mutex: every entry into the kernel from outside
// (a request's frame, the tick step, the idle step) holds it until it
// returns, so two threads never run kernel code at once.
class krn_lock_guard {
public:
    krn_lock_guard();
    ~krn_lock_guard();
    krn_lock_guard(const krn_lock_guard&) = delete;
    krn_lock_guard& operator=(const krn_lock_guard&) = delete;
};

// ---- Tests ----------------------------------------------------------------

// Returns the kernel to its state before krn_start (tasks, pools, mailboxes,
// timers, fatal state, the tick source, the ATI entry and any priority
// override) so that each test starts from a fresh kernel. The fatal-box and
// stop hooks stay installed. Must be called from task 0 outside any kernel
// call, also after a fatal error (it releases the lock krn_fatal kept).
void krn_reset_for_tests();

// Gives a task another priority (1-32) from the next krn_start on, so that
// tests can build equal or reversed priorities. Cleared by the reset.
void krn_set_task_priority_for_tests(uint8_t task, uint8_t priority);

// ---- Diagnostics ----------------------------------------------------------

// The ready mask (bit layout: krn_priority_bit) and a priority's bit in it.
uint32_t krn_ready_mask();
uint32_t krn_priority_bit(uint8_t priority);

// A task's state letter: 'D' dormant, 'R' ready, 'E' executing, 'W' waiting.
char krn_task_state(uint8_t task);

// The task waiting on an event group / owning a mailbox, or -1.
int krn_event_waiter(uint8_t group);
int krn_mbx_owner(uint8_t task);
