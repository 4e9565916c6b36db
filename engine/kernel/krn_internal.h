// Kernel internals shared by krn_task.cpp, krn_msg.cpp and krn_timer.cpp.
// Nothing outside the kernel includes this file.
#pragma once

#include "krn.h"

#include <ucontext.h>

#include <cstddef>
#include <cstdint>

namespace krn_detail {

// ---- Kernel lock ----------------------------------------------------------
// Recursive by owner thread. The nesting depth belongs to the task that runs:
// a task switch saves the leaving task's depth and restores the resumed
// task's, so the depth that a blocked task held inside its kernel call comes
// back with it and never keeps the lock after task 0 leaves the kernel.
void lock_enter();
void lock_leave();

struct lock_section {
    lock_section() { lock_enter(); }
    ~lock_section() { lock_leave(); }
    lock_section(const lock_section&) = delete;
    lock_section& operator=(const lock_section&) = delete;
};

// ---- Blocks ---------------------------------------------------------------
constexpr int kPoolCount = 4;
constexpr uint16_t kHeaderSize = 16;
constexpr uint16_t kMaxUsable = 1984;

// Block header, 16 bytes in front of the user area. On a 64-bit build a
// pointer does not fit the header's size, so the owning pool is an index and
// the links are block references (the user area's offset in the pool arena;
// 0 means none). The header stays 16 bytes with the user area right behind it.
struct block_header {
    uint16_t pool;     // owning pool
    uint8_t state;     // 'F' free, 'U' used, timer messages 'A' 'R' 'T' 'C' 'M' 'S'
    uint8_t spare;     // 0xFF
    uint16_t size;     // size asked for; timer message: distance to its timer record
    uint16_t reserved;
    uint32_t next;     // free list, mailbox or queue link
    uint32_t prev;     // queue link
};
static_assert(sizeof(block_header) == kHeaderSize, "the block header is 16 bytes");

uint32_t ref_of(const block_header* h);
block_header* header_of_ref(uint32_t ref);
// The header of a user area handed out by the pools, or nullptr when the
// pointer is not one.
block_header* header_of(const krn_msg* msg);
inline krn_msg* user_of(block_header* h) { return reinterpret_cast<krn_msg*>(h) + kHeaderSize; }

// Takes a block from `pool` (whose count says it has one; nullptr when its
// free chain has ended all the same) / returns one to its pool.
block_header* pool_take(int pool, uint16_t size);
void pool_put(block_header* h);
void pools_init();

// ---- Mailboxes ------------------------------------------------------------
struct task;

struct mailbox {
    block_header* head;
    block_header* tail;
    task* owner;       // first task that received from it
    uint16_t reserved;
};

// Unlinks `h` from the mailbox of `task_id`; false when it is not there.
bool mailbox_unlink(uint8_t task_id, block_header* h);
void mailboxes_init();

// ---- Tasks ----------------------------------------------------------------
struct ready_queue {
    task* head;
    task* tail;
};

struct task {
    ucontext_t ctx;        // saved registers and stack position
    task* next;            // next task in the same ready queue
    uint32_t reserved;
    ready_queue* queue;    // ready queue of the task's priority
    uint32_t prio_bit;
    uint8_t priority;
    uint8_t state;         // 'D' 'R' 'E' 'W'
    uint8_t id;            // 0xFF while unused
    // Realisation
    krn_task_entry entry;
    int lock_depth;        // kernel lock depth while switched away
    const void* stack_bottom;
    size_t stack_size;
    void* fake_stack;      // sanitizer bookkeeping of the suspended task
};

task* running_task();

// Ends the program through the stop hook (never returns).
[[noreturn]] void stop_program();
task* task_by_id(uint8_t id);

// Wake-up rule applied to a waiting task (send to an empty owned mailbox,
// event bits complete).
void wake(task* t);
// Blocks the running task until it is woken. Raises KRN_ERR_WOULD_BLOCK with
// `what` when the running task is task 0 and nothing else can run.
void block(uint16_t what);

// ---- Timers ---------------------------------------------------------------
}  // namespace krn_detail

// The timer record; its address is the timer handle.
struct krn_timer {
    krn_timer* next;
    krn_timer* prev;
    krn_detail::block_header* header;
    void* owner;
    uint32_t period;
    uint32_t delta;
    uint8_t task;
    uint8_t cyclic;
};

namespace krn_detail {

constexpr uint8_t kTimeEventGroup = 0;

bool is_timer_state(uint8_t state);
krn_timer* timer_of(block_header* h);
// Puts a cyclic timer whose expiry its receiver has just taken back into the
// delta list.
void timer_rearm(block_header* h);
// Timer service set-up (empty list, task TIME created); called by krn_start.
void timer_service_init();
void timer_reset();
void create_task(uint8_t id, krn_task_entry entry);

}  // namespace krn_detail
