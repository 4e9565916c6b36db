// Kernel timers: the delta list kept by task TIME, cyclic re-arming, and the
// 10 ms tick.
//
// The tick source is a timerfd armed one-shot: nothing runs when it expires,
// it only becomes readable. RearmTickTimer (the tick step, in the thread that
// runs task 0) reads it, which stands for the source's callback raising the
// tick flag. Kernel time therefore advances only in the tick step, and a
// waiting loop can block in poll() on krn_tick_fd() instead of spinning.
//
// Ticks only matter to the countdown of the head timer, so the source is not
// re-armed every 10 ms: it is armed for the whole countdown at once (the run
// of 10 ms ticks that would have passed with nothing else due) and left
// unarmed while no timer runs. An idle program then wakes only when one of
// its timers is due. One signal counts the ticks it was armed for; a step
// that comes late still counts only those, so time lost while the thread was
// busy stays lost, as with a chain of single ticks. A timer started or
// stopped mid-way first takes the whole ticks already elapsed off the
// countdown, so the delta list stays true to the time the source measures.

#include "krn_internal.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace krn_detail {

namespace {

krn_timer* g_head = nullptr;   // head of the delta list
uint32_t g_countdown = 0;      // ticks left until the head expires
uint8_t g_countdown_active = 0;

std::atomic<int> g_tick_fd{-1};
// The source's current arming: how many ticks it stands for (0: unarmed) and
// when the first of them began.
uint32_t g_armed_ticks = 0;
int64_t g_armed_at = 0;
std::atomic<uint32_t> g_callback_count{0};
std::atomic<uint8_t> g_tick_flag{0};

// The timer record follows the user area, aligned for its pointers.
constexpr uint32_t kRecordAlign = alignof(krn_timer);

uint32_t record_distance(uint16_t size)
{
    const uint32_t even = (uint32_t(size) + 1u) & ~1u;
    const uint32_t aligned = (even + kRecordAlign - 1) / kRecordAlign * kRecordAlign;
    return aligned + kHeaderSize;
}

constexpr int64_t kTickNs = 10000000;

int64_t now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void set_source(int64_t deadline_ns)
{
    const int fd = g_tick_fd.load();
    if (fd < 0)
        return;
    itimerspec spec{};
    if (deadline_ns > 0) {
        spec.it_value.tv_sec = deadline_ns / 1000000000;
        spec.it_value.tv_nsec = deadline_ns % 1000000000;
    }
    // An absolute deadline already passed signals at once; zero disarms.
    timerfd_settime(fd, deadline_ns > 0 ? TFD_TIMER_ABSTIME : 0, &spec, nullptr);
}

// Takes the whole ticks elapsed since the arming began off the countdown,
// leaving at least one for the signal itself to count.
void catch_up()
{
    if (g_armed_ticks <= 1 || g_countdown_active != 1 || g_countdown <= 1)
        return;
    const int64_t elapsed = (now_ns() - g_armed_at) / kTickNs;
    if (elapsed <= 0)
        return;
    uint32_t take = g_armed_ticks - 1;
    if (g_countdown - 1 < take)
        take = g_countdown - 1;
    if (uint64_t(elapsed) < take)
        take = static_cast<uint32_t>(elapsed);
    g_countdown -= take;
    g_armed_ticks -= take;
    g_armed_at += int64_t(take) * kTickNs;
}

// Arms the source for the countdown of the head timer (one tick while TIME
// still has an expiry to hand out), or leaves it unarmed when no timer runs.
// An arming in progress keeps its start, so a partly elapsed tick is not
// lost each time a timer is started.
void retime()
{
    if (g_tick_fd.load() < 0)
        return;
    if (g_countdown_active != 1) {
        g_armed_ticks = 0;
        set_source(0);
        return;
    }
    const uint32_t wanted = g_countdown != 0 ? g_countdown : 1;
    if (g_armed_ticks == 0)
        g_armed_at = now_ns();
    g_armed_ticks = wanted;
    set_source(g_armed_at + int64_t(wanted) * kTickNs);
}

void insert_list(krn_timer* rec)
{
    const uint32_t ticks = rec->period;
    rec->next = rec->prev = nullptr;
    if (g_head == nullptr) {
        rec->delta = ticks;
        g_countdown = ticks;
        g_head = rec;
        g_countdown_active = 1;
        return;
    }
    g_head->delta = g_countdown;
    krn_timer* cur = g_head;
    uint64_t cum = cur->delta;
    uint64_t target = ticks;
    bool partner = false;
    for (;;) {
        // A cyclic timer joins the first equal-period cyclic timer when that
        // one expires no earlier than 90% of the period, else its next expiry.
        if (rec->cyclic && !partner && cur->cyclic && cur->period == ticks) {
            partner = true;
            target = (uint64_t(ticks) * 9000u / 10000u <= cum) ? cum : ticks + cum;
        }
        if (cum <= target && cur->next != nullptr) {
            cur = cur->next;
            cum += cur->delta;
        } else {
            break;
        }
    }
    if (cum > target) {
        const uint32_t over = static_cast<uint32_t>(cum - target);
        rec->delta = cur->delta - over;
        cur->delta = over;
        rec->next = cur;
        rec->prev = cur->prev;
        if (cur->prev != nullptr)
            cur->prev->next = rec;
        else
            g_head = rec;
        cur->prev = rec;
        if (g_head == rec)
            g_countdown = rec->delta;
    } else {
        rec->delta = static_cast<uint32_t>(target - cum);
        rec->prev = cur;
        cur->next = rec;
    }
}

void insert(krn_timer* rec)
{
    if (g_countdown_active != 1)
        g_armed_ticks = 0;  // nothing was counting: the first tick begins now
    catch_up();
    insert_list(rec);
    retime();
}

void unlink(krn_timer* rec)
{
    catch_up();
    if (rec == g_head) {
        krn_timer* next = rec->next;
        g_head = next;
        if (next != nullptr) {
            next->prev = nullptr;
            g_countdown += next->delta;
            next->delta = g_countdown;
        } else {
            g_countdown = 0;
            g_countdown_active = 0;
        }
    } else {
        rec->prev->next = rec->next;
        if (rec->next != nullptr) {
            rec->next->prev = rec->prev;
            rec->next->delta += rec->delta;
        }
    }
    rec->next = rec->prev = nullptr;
    retime();
}

// Entry of task TIME.
void krn_timer_task()
{
    for (;;) {
        krn_event_wait(kTimeEventGroup, 1);
        lock_section lock;
        if (g_head == nullptr)
            krn_fatal(1, KRN_ERR_TIMER_NO_TIMERS, 0);
        g_head->delta = 0;
        while (g_head != nullptr && g_head->delta == 0) {
            krn_timer* rec = g_head;
            g_head = rec->next;
            if (g_head != nullptr) {
                g_head->prev = nullptr;
                g_countdown = g_head->delta;
            }
            rec->next = rec->prev = nullptr;
            rec->header->state = rec->cyclic ? 'C' : 'T';
            // TIME is more urgent than every receiver: no switch here.
            krn_send(rec->task, user_of(rec->header));
        }
        g_countdown_active = g_head != nullptr ? 1 : 0;
        retime();
    }
}

}  // namespace

bool is_timer_state(uint8_t state)
{
    return state == 'A' || state == 'R' || state == 'T' || state == 'C' || state == 'M' || state == 'S';
}

krn_timer* timer_of(block_header* h)
{
    return reinterpret_cast<krn_timer*>(reinterpret_cast<uint8_t*>(h) + h->size);
}

void timer_rearm(block_header* h) { insert(timer_of(h)); }

void timer_reset()
{
    g_head = nullptr;
    g_countdown = 0;
    g_countdown_active = 0;
    g_tick_flag.store(0);
    g_callback_count.store(0);
    g_armed_ticks = 0;
    g_armed_at = 0;
}

void timer_service_init()
{
    const uint8_t running = running_task()->id;
    if (running != KRN_TASK_MAIN)
        krn_fatal(1, KRN_ERR_TIMER_SETUP, running);
    g_head = nullptr;
    g_countdown = 0;
    g_countdown_active = 0;
    create_task(KRN_TASK_TIME, krn_timer_task);
}

}  // namespace krn_detail

using namespace krn_detail;

void krn_timer_alloc(krn_msg** out, uint16_t size)
{
    const uint32_t distance = record_distance(size);
    uint32_t total = distance - kHeaderSize + sizeof(krn_timer);
    if (total > 0xFFFF)
        total = 0xFFFF;  // beyond every pool: krn_alloc ends with its size error
    krn_alloc(out, static_cast<uint16_t>(total));
    lock_section lock;
    block_header* h = header_of(*out);
    h->state = 'A';
    h->size = static_cast<uint16_t>(distance);
    h->next = h->prev = 0;
    krn_timer* rec = timer_of(h);
    std::memset(static_cast<void*>(rec), 0, sizeof *rec);
    rec->header = h;
    rec->owner = nullptr;
}

krn_timer* krn_timer_start(krn_msg* msg, uint32_t ticks, uint8_t cyclic, uint8_t task)
{
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr || h->state != 'A')
        krn_fatal(1, KRN_ERR_TIMER_NOT_ALLOC, h != nullptr ? h->state : 0);
    if (ticks == 0)
        krn_fatal(1, KRN_ERR_TIMER_ZERO, 0);
    krn_timer* rec = timer_of(h);
    h->state = 'R';
    rec->header = h;
    rec->period = ticks;
    rec->cyclic = cyclic != 0 ? 1 : 0;
    rec->task = task;
    insert(rec);
    return rec;
}

void krn_timer_stop(krn_timer* handle)
{
    if (handle == nullptr)
        return;
    lock_section lock;
    block_header* h = handle->header;
    switch (h->state) {
    case 'R':
    case 'M': {
        const bool held = h->state == 'M';
        unlink(handle);
        h->state = 'S';
        if (!held)
            pool_put(h);  // otherwise the receiver holds it and frees it
        break;
    }
    case 'T':
    case 'C':
        h->state = 'S';
        // An expiry still in its mailbox is taken out and freed. One that its
        // receiver has already taken stays with the receiver, which frees it:
        // freeing it here as well would put the block on its free list twice.
        if (mailbox_unlink(handle->task, h))
            pool_put(h);
        break;
    default:
        krn_fatal(1, KRN_ERR_TIMER_STOP_STATE, h->state);
    }
}

// ---- Tick --------------------------------------------------------------------------

void krn_start_timer()
{
    lock_section lock;
    krn_stop_timer();
    g_tick_flag.store(0);
    g_callback_count.store(0);
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        // Without a tick no engine timer could ever expire.
        std::fprintf(stderr, "kernel: no tick source (%s)\n", std::strerror(errno));
        stop_program();
    }
    g_tick_fd.store(fd);
    // With timers already running, the first signal comes after 1 ms and
    // counts one tick; from then on the source follows the timers.
    g_armed_ticks = 0;
    if (g_countdown_active == 1) {
        g_armed_at = now_ns();
        g_armed_ticks = 1;
        set_source(g_armed_at + 1000000);
    }
}

void krn_stop_timer()
{
    lock_section lock;
    const int fd = g_tick_fd.exchange(-1);
    if (fd >= 0)
        close(fd);
    g_armed_ticks = 0;
}

int krn_tick_fd() { return g_tick_fd.load(); }

void krn_timer_callback()
{
    g_callback_count.fetch_add(1, std::memory_order_relaxed);
    g_tick_flag.store(1, std::memory_order_release);
}

void RearmTickTimer()
{
    lock_section lock;
    const int fd = g_tick_fd.load();
    uint32_t ticks = 1;
    if (fd >= 0) {
        uint64_t expirations = 0;
        if (read(fd, &expirations, sizeof expirations) == sizeof expirations && expirations != 0) {
            krn_timer_callback();
            ticks = g_armed_ticks != 0 ? g_armed_ticks : 1;
            g_armed_ticks = 0;  // the next arming starts now, not at the missed deadline
        }
    }
    // However many signals came since the last step, they count as one:
    // the ticks the source was armed for (one when the flag was raised
    // without it).
    if (g_tick_flag.exchange(0, std::memory_order_acq_rel) == 0)
        return;
    if (g_countdown_active == 1) {
        g_countdown = g_countdown > ticks ? g_countdown - ticks : 0;
        if (g_countdown == 0)
            krn_event_set(kTimeEventGroup, 1);  // TIME runs at once
    }
    retime();
}
