// Task kernel: the kernel lock, the three tasks as coroutines, scheduling,
// event groups, kernel start and the fatal-error path.
//
// Tasks TIME and ATI are ucontext coroutines with stacks of their own inside
// the thread that runs as task 0; control passes between them only inside
// kernel calls (block, wake-up), so at no moment do two tasks run.

#include "krn_internal.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#ifdef ZORQ_SANITIZE
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace krn_detail {

// ---- Kernel lock ----------------------------------------------------------

namespace {

struct kernel_lock {
    std::mutex mutex;
    std::atomic<std::thread::id> owner{};
    int depth = 0;      // touched only by the owner thread
    bool dead = false;  // taken for good by krn_fatal
};

kernel_lock g_lock;

}  // namespace

void lock_enter()
{
    const std::thread::id me = std::this_thread::get_id();
    if (g_lock.owner.load(std::memory_order_acquire) == me) {
        ++g_lock.depth;
        return;
    }
    g_lock.mutex.lock();
    g_lock.owner.store(me, std::memory_order_release);
    g_lock.depth = 1;
}

void lock_leave()
{
    if (g_lock.owner.load(std::memory_order_acquire) != std::this_thread::get_id())
        return;
    if (g_lock.depth > 0)
        --g_lock.depth;
    if (g_lock.depth == 0 && !g_lock.dead) {
        g_lock.owner.store(std::thread::id(), std::memory_order_release);
        g_lock.mutex.unlock();
    }
}

// ---- Task table -------------------------------------------------------------

namespace {

struct task_record {
    uint8_t id;
    uint8_t priority;
    uint16_t stack_size;
};

constexpr task_record kTaskTable[KRN_TASK_COUNT] = {
    {0, 32, 32048},  // "MOTOR+IHM": the calling thread itself, no stack of its own
    {1, 4, 32048},   // "TIME": krn_timer_task
    {2, 6, 32048},   // "ATI": the AT interpreter
};

// Under AddressSanitizer every frame carries red zones, so the coroutine
// stacks of the table would overflow; the sanitizer build gives each task
// 256 KB instead (and announces every switch to the sanitizer, see
// context_switch).
#ifdef ZORQ_SANITIZE
constexpr size_t kSanitizerStack = 256 * 1024;
#endif

size_t stack_bytes(const task_record& r)
{
#ifdef ZORQ_SANITIZE
    return r.stack_size > kSanitizerStack ? r.stack_size : kSanitizerStack;
#else
    return r.stack_size;
#endif
}

struct semaphore {
    uint16_t count;
    uint16_t limit;
};

struct event_group {
    task* waiter;
    uint16_t flags;
    uint16_t mask;
};

struct kernel_state {
    task tasks[KRN_TASK_COUNT];
    task* running;
    task* main;
    uint32_t ready_mask;
    ready_queue queues[32];
    ready_queue fallback;
    task* switched_from;
    bool started;
    semaphore semaphores[KRN_TASK_COUNT];
    event_group events[KRN_TASK_COUNT];
};

kernel_state g;

// The running task's id, readable without the lock: the idle loop asks it
// while a worker thread may be inside the kernel.
std::atomic<uint8_t> g_running_id{0};

krn_task_entry g_ati_entry = nullptr;
uint8_t g_priority_override[KRN_TASK_COUNT] = {};

// Stack areas: mapped once and kept, each with an inaccessible guard page
// below it so that an overflow stops the program instead of silently
// overwriting other data.
uint8_t* g_stack_area[KRN_TASK_COUNT] = {};

// Fatal-error state.
krn_error_record g_last_error = {};
void (*g_error_hook)() = nullptr;
krn_fatal_box_hook g_fatal_box = nullptr;
krn_stop_hook g_stop_hook = nullptr;
bool g_in_fatal = false;
bool g_fatal_stop_pending = false;

[[noreturn]] void call_stop_hook()
{
    if (g_stop_hook != nullptr)
        g_stop_hook();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

// Switches from `from` (the running task, already marked) to `to`. Returns
// when `from` is resumed. With `abandon` the leaving task is never resumed.
void context_switch(task* from, task* to, bool abandon)
{
    from->lock_depth = g_lock.depth;
    g.switched_from = from;
#ifdef ZORQ_SANITIZE
    // The sanitizer must learn of every stack change, or it reports the other
    // task's frames as stack overflows and loses track of fake stacks.
    __sanitizer_start_switch_fiber(abandon ? nullptr : &from->fake_stack, to->stack_bottom,
                                   to->stack_size);
#else
    (void)abandon;
#endif
    swapcontext(&from->ctx, &to->ctx);
#ifdef ZORQ_SANITIZE
    const void* bottom = nullptr;
    size_t size = 0;
    __sanitizer_finish_switch_fiber(from->fake_stack, &bottom, &size);
    g.switched_from->stack_bottom = bottom;
    g.switched_from->stack_size = size;
#endif
    g_lock.depth = from->lock_depth;
    if (g_fatal_stop_pending && from == g.main) {
        // A task raised a fatal error and handed control back here, so that
        // the stop (an exit, or a test's exception) leaves from the thread's
        // own stack.
        g_fatal_stop_pending = false;
        call_stop_hook();
    }
}

void switch_to(task* next, bool abandon = false)
{
    task* from = g.running;
    next->state = 'E';
    g.running = next;
    g_running_id.store(next->id, std::memory_order_relaxed);
    context_switch(from, next, abandon);
}

void make_ready(task* t)
{
    t->next = nullptr;
    ready_queue* q = t->queue;
    if (q->tail != nullptr)
        q->tail->next = t;
    else
        q->head = t;
    q->tail = t;
    g.ready_mask |= t->prio_bit;
    t->state = 'R';
}

int most_urgent_level(uint32_t mask)
{
    for (int byte = 3; byte >= 0; --byte) {
        const uint32_t bits = (mask >> (8 * byte)) & 0xFFu;
        if (bits == 0)
            continue;
        for (int bit = 0; bit < 8; ++bit)
            if (bits & (1u << bit))
                return (3 - byte) * 8 + bit + 1;
    }
    return 0;
}

task* pop(ready_queue* q)
{
    task* t = q->head;
    if (t == nullptr)
        return nullptr;
    q->head = t->next;
    if (q->head == nullptr)
        q->tail = nullptr;
    t->next = nullptr;
    return t;
}

task* take_next()
{
    if (g.ready_mask != 0) {
        const int level = most_urgent_level(g.ready_mask);
        ready_queue* q = &g.queues[level - 1];
        task* t = pop(q);
        if (q->head == nullptr)
            g.ready_mask &= ~krn_priority_bit(static_cast<uint8_t>(level));
        return t;
    }
    return pop(&g.fallback);
}

// First code of every coroutine.
void task_trampoline()
{
#ifdef ZORQ_SANITIZE
    const void* bottom = nullptr;
    size_t size = 0;
    __sanitizer_finish_switch_fiber(nullptr, &bottom, &size);
    g.switched_from->stack_bottom = bottom;
    g.switched_from->stack_size = size;
#endif
    task* self = g.running;
    g_lock.depth = self->lock_depth;
    self->entry();
    // An entry that returns ends its task; the others go on.
    self->state = 'D';
    task* next = take_next();
    if (next == nullptr)
        krn_fatal(1, KRN_ERR_WOULD_BLOCK, self->id);
    switch_to(next, true);
}

void reset_state()
{
    std::memset(static_cast<void*>(&g), 0, sizeof g);
    for (uint8_t i = 0; i < KRN_TASK_COUNT; ++i) {
        g.tasks[i].id = i;
        g.tasks[i].state = 'D';
    }
    g.running = &g.tasks[0];
    g.main = &g.tasks[0];
    g_running_id.store(0, std::memory_order_relaxed);
    pools_init();
    mailboxes_init();
    timer_reset();
}

void fill_block(task* t, uint8_t id)
{
    uint8_t prio = kTaskTable[id].priority;
    if (g_priority_override[id] >= 1 && g_priority_override[id] <= 32)
        prio = g_priority_override[id];
    t->id = id;
    t->priority = prio;
    t->prio_bit = krn_priority_bit(prio);
    t->queue = &g.queues[prio - 1];
}

void debugger_break_hook()
{
    // Break only when a debugger is attached: without one SIGTRAP would end
    // the program before the user sees the error.
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    if (tracer != 0)
        std::raise(SIGTRAP);
}

// One static initialisation so that the pools work before krn_start.
struct initialiser {
    initialiser() { reset_state(); }
} g_initialiser;

}  // namespace

task* running_task() { return g.running; }

void stop_program() { call_stop_hook(); }

task* task_by_id(uint8_t id) { return id < KRN_TASK_COUNT ? &g.tasks[id] : nullptr; }

void create_task(uint8_t id, krn_task_entry entry)
{
    task* t = &g.tasks[id];
    fill_block(t, id);
    t->entry = entry;
    const size_t size = stack_bytes(kTaskTable[id]);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t mapped = (size + page - 1) / page * page;
    if (g_stack_area[id] == nullptr) {
        void* area = mmap(nullptr, mapped + page, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED) {
            std::fprintf(stderr, "kernel: no memory for the stack of task %u\n", id);
            call_stop_hook();
        }
        mprotect(area, page, PROT_NONE);
        g_stack_area[id] = static_cast<uint8_t*>(area) + page;
    }
    uint8_t* stack = g_stack_area[id];
#ifdef ZORQ_SANITIZE
    // A task abandoned by a fatal error or a reset leaves poisoned frames.
    ASAN_UNPOISON_MEMORY_REGION(stack, size);
#endif
    getcontext(&t->ctx);
    t->ctx.uc_stack.ss_sp = stack;
    t->ctx.uc_stack.ss_size = size;
    t->ctx.uc_link = nullptr;
    makecontext(&t->ctx, task_trampoline, 0);
    t->stack_bottom = stack;
    t->stack_size = size;
    t->fake_stack = nullptr;
    t->lock_depth = 1;  // a task other than 0 only ever runs inside the kernel
    make_ready(t);
}

void wake(task* t)
{
    if (t == nullptr || t->state != 'W')
        return;
    task* self = g.running;
    if (t->priority < self->priority) {
        make_ready(self);
        switch_to(t);
    } else {
        make_ready(t);
    }
}

void block(uint16_t what)
{
    task* self = g.running;
    if (self == g.main && g.ready_mask == 0 && g.started)
        krn_fatal(1, KRN_ERR_WOULD_BLOCK, what);
    self->state = 'W';
    task* next = take_next();
    if (next == nullptr)
        krn_fatal(1, KRN_ERR_WOULD_BLOCK, what);
    switch_to(next);
}

}  // namespace krn_detail

using namespace krn_detail;

// ---- Public interface -----------------------------------------------------------

krn_lock_guard::krn_lock_guard() { lock_enter(); }
krn_lock_guard::~krn_lock_guard() { lock_leave(); }

uint32_t krn_priority_bit(uint8_t priority)
{
    if (priority < 1 || priority > 32)
        return 0;
    const unsigned p = priority - 1u;
    return 1u << ((3 - p / 8) * 8 + p % 8);
}

void krn_set_ati_entry(krn_task_entry entry) { g_ati_entry = entry; }

void krn_set_task_priority_for_tests(uint8_t task_id, uint8_t priority)
{
    if (task_id < KRN_TASK_COUNT)
        g_priority_override[task_id] = priority;
}

void krn_start()
{
    lock_section lock;  // step 1
    // Checked before anything is rebuilt, so that a second start cannot wipe
    // the running kernel before it stops.
    if (g.started)
        krn_fatal(1, KRN_ERR_SECOND_START, 0);

    // Step 2: control blocks; block 0 stands for the calling thread.
    for (uint8_t i = 0; i < KRN_TASK_COUNT; ++i) {
        std::memset(static_cast<void*>(&g.tasks[i]), 0, sizeof(task));
        g.tasks[i].state = 'D';
        g.tasks[i].id = i;
    }
    g.running = &g.tasks[0];
    g.main = &g.tasks[0];
    g.ready_mask = 0;
    for (auto& q : g.queues)
        q = ready_queue{nullptr, nullptr};
    fill_block(&g.tasks[0], 0);
    g.tasks[0].state = 'E';
    g.fallback = ready_queue{&g.tasks[0], &g.tasks[0]};

    g_error_hook = debugger_break_hook;  // step 3
    mailboxes_init();                    // step 4
    pools_init();                        // step 5
    for (auto& s : g.semaphores)         // step 6
        s = semaphore{1, 1};
    for (auto& e : g.events)             // step 7
        e = event_group{nullptr, 0, 0};

    // Step 8: record 1 sets up the timer service (creating TIME); every
    // other record with an entry creates its task.
    timer_service_init();
    if (g_ati_entry != nullptr)
        create_task(KRN_TASK_ATI, g_ati_entry);

    // Step 9: run the created tasks until each waits; the fallback queue
    // brings control back to task 0.
    g.started = true;
    task* next = take_next();
    if (next != nullptr && next != g.main) {
        g.main->state = 'W';
        switch_to(next);
    }
    g.main->state = 'E';
    g.fallback = ready_queue{nullptr, nullptr};
}

uint8_t krn_running_task() { return g_running_id.load(std::memory_order_relaxed); }

void krn_event_set(uint8_t group, uint8_t bits)
{
    lock_section lock;
    if (group >= KRN_TASK_COUNT)
        return;
    event_group& e = g.events[group];
    e.flags |= bits;
    if (e.waiter != nullptr && (e.flags & e.mask) == e.mask)
        wake(e.waiter);
}

void krn_event_wait(uint8_t group, uint8_t mask)
{
    lock_section lock;
    if (group >= KRN_TASK_COUNT)
        return;
    event_group& e = g.events[group];
    e.mask = mask;
    // Woken for anything else than its bits, the task waits again.
    while ((e.flags & mask) != mask) {
        e.waiter = g.running;
        block(group);
    }
    e.waiter = nullptr;
    e.flags &= static_cast<uint16_t>(~mask);
}

// ---- Fatal errors ---------------------------------------------------------------

[[noreturn]] void krn_fatal(uint8_t cls, uint16_t code, uint16_t extra)
{
    lock_enter();
    g_lock.dead = true;  // the lock is never released again
    if (!g_in_fatal) {
        g_in_fatal = true;
        krn_stop_timer();
        g_last_error = krn_error_record{g.running->id, cls, code, extra};
        if (g_error_hook != nullptr)
            g_error_hook();
        char text[32];
        std::snprintf(text, sizeof text, "Error %d", static_cast<int>(code));
        if (g_fatal_box != nullptr)
            g_fatal_box(text);
        else
            std::fprintf(stderr, "%s\n", text);
    }
    if (g.started && g.running != g.main) {
        // Leave the task's coroutine for good and stop from task 0, which is
        // suspended inside a kernel call on the thread's own stack.
        g_fatal_stop_pending = true;
        task* from = g.running;
        from->state = 'D';
        g.main->state = 'E';
        g.running = g.main;
        g_running_id.store(0, std::memory_order_relaxed);
        context_switch(from, g.main, true);
    }
    call_stop_hook();
}

krn_error_record krn_last_error() { return g_last_error; }

void krn_set_fatal_box(krn_fatal_box_hook hook) { g_fatal_box = hook; }

void krn_set_stop_hook(krn_stop_hook hook) { g_stop_hook = hook; }

// ---- Tests and diagnostics -----------------------------------------------------

void krn_reset_for_tests()
{
    krn_stop_timer();
    if (g_lock.dead && g_lock.owner.load() == std::this_thread::get_id()) {
        g_lock.dead = false;
        g_lock.depth = 0;
        g_lock.owner.store(std::thread::id());
        g_lock.mutex.unlock();
    }
    lock_section lock;
    reset_state();
    g_ati_entry = nullptr;
    std::memset(g_priority_override, 0, sizeof g_priority_override);
    g_last_error = krn_error_record{};
    g_error_hook = nullptr;
    g_in_fatal = false;
    g_fatal_stop_pending = false;
}

uint32_t krn_ready_mask()
{
    lock_section lock;
    return g.ready_mask;
}

char krn_task_state(uint8_t task_id)
{
    lock_section lock;
    return task_id < KRN_TASK_COUNT ? static_cast<char>(g.tasks[task_id].state) : '\0';
}

int krn_event_waiter(uint8_t group)
{
    lock_section lock;
    if (group >= KRN_TASK_COUNT || g.events[group].waiter == nullptr)
        return -1;
    return g.events[group].waiter->id;
}
