#include "mtr_frame.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>

#include <atomic>
#include <cstring>

#include "engine_host.h"
#include "serial.h"

int gv_mtr_pumping = 0;
// A wait on a phone that never answers ends by the AT task's time-out. Should
// engine time stand still (the tick stopped, as at program exit), no wait may
// be endless: after this much wall time without any message the request is
// ended as if the phone had timed out.
long gv_mtr_wait_limit_ms = 60000;
int gv_is_alive_armed = 0;
krn_timer* gv_poll_script_slot[MTR_POLL_SLOTS];

namespace {

// Read by the user-interface thread while the message-sending worker runs
// a request.
std::atomic<bool> g_request_running{false};


long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// Input batching while an answer streams in (see sleep_until_event).
constexpr long STREAM_GAP_MS = 5;
constexpr long STREAM_PAUSE_MS = 3;
constexpr int STREAM_BATCH = 64;

// Sleeps until the port has bytes, the host has an event, or the next tick
// is due (at most 10 ms when there is no tick source).
void sleep_until_event()
{
    // While an answer streams in, waking for every byte or two costs more
    // processor than the whole exchange: once the port has been readable
    // within the last few milliseconds, a few more bytes gather before the
    // port is looked at again (a short wait, taken before the poll so that
    // it costs one sleep, not a wake for the next byte and then a sleep).
    // The answer to a command sent since then is another answer: its first
    // bytes are read at once, so that a phone answering at once is not held
    // up at every command.
    static long last_input = -1000;
    static uint64_t sent_at_input = 0;
    const int port = serial_fd();
    uint64_t received = 0, sent = 0;
    serial_byte_counts(&received, &sent);
    if (port >= 0 && now_ms() - last_input <= STREAM_GAP_MS && sent == sent_at_input) {
        int waiting = 0;
        if (ioctl(port, FIONREAD, &waiting) == 0 && waiting < STREAM_BATCH) {
            timespec pause{0, STREAM_PAUSE_MS * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
    pollfd fds[3];
    nfds_t n = 0;
    if (port >= 0)
        fds[n++] = pollfd{port, POLLIN, 0};
    if (EngineHost* h = engine_host())
        if (int fd = h->EventFd(); fd >= 0)
            fds[n++] = pollfd{fd, POLLIN, 0};
    int tick = krn_tick_fd();
    if (tick >= 0)
        fds[n++] = pollfd{tick, POLLIN, 0};
    poll(fds, n, tick >= 0 ? 50 : 10);
    if (port >= 0 && (fds[0].revents & POLLIN)) {
        last_input = now_ms();
        sent_at_input = sent;
    }
}

}  // namespace

void mtr_pump()
{
    gv_mtr_pumping = 1;
    EngineHost* host = engine_host();
    for (;;) {
        RearmTickTimer();
        Read_Serial_Line();
        if (!host || !host->DispatchOneMessage())
            break;
        // Once task 0 has a message the wait takes it before dispatching
        // more. While the phone streams an answer (a long listing) the
        // serial layer holds input back until task 0 has taken its
        // confirms; the port stays readable and the window side never runs
        // dry, so pumping on would wait for blocks that only the wait frees.
        if (!krn_mbx_empty(KRN_TASK_MAIN))
            break;
    }
    RearmTickTimer();
    gv_mtr_pumping = 0;
    Read_Serial_Line();
}

void mtr_wait(krn_msg** out)
{
    long last = now_ms();
    for (;;) {
        if (krn_mbx_empty(KRN_TASK_MAIN)) {
            mtr_pump();
            if (krn_mbx_empty(KRN_TASK_MAIN)) {
                if (now_ms() - last > gv_mtr_wait_limit_ms) {
                    // The AT task's command ends with this made-up result, or
                    // its late answer would be taken by the next request.
                    krn_msg* abort = nullptr;
                    krn_alloc(&abort, 2);
                    krn_set_msg_number(abort, ATI_MSG_ABORT);
                    krn_send(KRN_TASK_ATI, abort);
                    krn_msg* m = nullptr;
                    krn_alloc(&m, 5);
                    m[0] = 0;
                    m[1] = AT_CNF_RESULT;
                    m[2] = AT_RESULT_SILENCE;
                    m[3] = m[4] = 0;
                    *out = m;
                    return;
                }
                sleep_until_event();
            }
            continue;
        }
        if (krn_running_task() != KRN_TASK_MAIN)
            krn_fatal(0, KRN_ERR_REQUEST_TASK, 0);
        krn_msg* m = nullptr;
        krn_receive(KRN_TASK_MAIN, &m);
        last = now_ms();
        if (m[0] == KRN_CLASS_SERIAL) {
            Serial_Output(m);
            continue;
        }
        *out = m;
        return;
    }
}

MTR_RESULT mtr_check_result(krn_msg* msg)
{
    uint16_t number = krn_msg_number(msg);
    if (number == AT_CNF_OK || (number >= AT_CNF_BUSY && number <= AT_CNF_CDS)) {
        // Indications of one kind that wait unhandled are coalesced: only
        // the newest value of an indicator or of the registration matters,
        // and a burst of them must not use up the pools.
        if (number == AT_CNF_CIEV || number == AT_CNF_CREG_IND || number == AT_CNF_RING) {
            for (krn_msg* q = krn_queue_first(&gv_poll_queue); q; q = krn_queue_next(&gv_poll_queue, q)) {
                if (krn_msg_number(q) == number && (number != AT_CNF_CIEV || q[2] == msg[2])) {
                    krn_queue_remove(&gv_poll_queue, q);
                    krn_free(q);
                    break;
                }
            }
        }
        // The queue is bounded: past its limit the oldest indication goes
        // (timer entries and scripts are never dropped).
        if (krn_queue_count(&gv_poll_queue) >= MTR_POLL_QUEUE_MAX) {
            krn_msg* oldest = nullptr;
            for (krn_msg* q = krn_queue_first(&gv_poll_queue); q; q = krn_queue_next(&gv_poll_queue, q))
                if (q[0] == 0)
                    oldest = q;
            if (oldest) {
                krn_queue_remove(&gv_poll_queue, oldest);
                krn_free(oldest);
            }
        }
        krn_queue_put_front(&gv_poll_queue, msg);
        return MTR_DONE;
    }
    if (number == AT_CNF_RESULT) {
        switch (msg[2]) {
        case AT_RESULT_CME:
            return msg[3];
        case AT_RESULT_CMS:
            return static_cast<MTR_RESULT>(msg[3] << 8 | msg[4]);
        case AT_RESULT_NO_LINK:
        case AT_RESULT_PARTIAL:
            // Refused with the link down, or the phone stopped half-way
            // through its answer and said nothing more: either way the
            // phone did not answer, which is what the user is told.
            return MTR_RESULT::Unanswered();
        case AT_RESULT_SILENCE: {
            // Polling treats a time-out with no answer as the loss of the link.
            if (krn_msg* copy = krn_try_alloc(3)) {
                copy[0] = 0;
                copy[1] = AT_CNF_RESULT;
                copy[2] = AT_RESULT_SILENCE;
                krn_queue_put_front(&gv_poll_queue, copy);
            }
            return MTR_RESULT::Unanswered();
        }
        default:
            return MTR_FAILED;
        }
    }
    switch (number) {
    case MTR_TIMER_POLL_SCRIPT:
        if (msg[8] < MTR_POLL_SLOTS)
            gv_poll_script_slot[msg[8]] = nullptr;
        krn_queue_put_front(&gv_poll_queue, msg);
        return MTR_DONE;
    case MTR_TIMER_IS_ALIVE:
        gv_is_alive_armed = 0;
        krn_queue_put_front(&gv_poll_queue, msg);
        return MTR_DONE;
    case MTR_TIMER_BATTERY:
    case MTR_TIMER_MSG_ICON:
    case MTR_TIMER_DIAL:
    case MTR_MSG_HANGUP:
    case MTR_POLL_ONCE:
        krn_queue_put_front(&gv_poll_queue, msg);
        return MTR_DONE;
    default:
        return MTR_FAILED;
    }
}

bool mtr_request_running() { return g_request_running; }

bool mtr_send_request(krn_msg* req)
{
    if (g_request_running) {
        krn_free(req);
        return false;
    }
    g_request_running = true;
    krn_send(KRN_TASK_ATI, req);
    return true;
}

MTR_RESULT mtr_end_request(MTR_RESULT result)
{
    g_request_running = false;
    mtr_poll();
    return result;
}

// Every command of the AT task ends with exactly one final confirm (229 or
// 230). A request ends only there: when something else makes it fail first,
// its result is kept and the wait goes on to the final confirm, so that a
// late answer is never taken for the next request's.
namespace {

// Waits for the request's final confirm, handing out the data confirm `cnf`
// instead when one is wanted (0: none) and nothing has failed before it.
MTR_RESULT wait_final_or_data(uint16_t cnf, krn_msg** out)
{
    *out = nullptr;
    MTR_RESULT result = MTR_DONE;
    for (;;) {
        krn_msg* m = nullptr;
        mtr_wait(&m);
        uint16_t number = krn_msg_number(m);
        if (cnf != 0 && number == cnf && result == MTR_DONE) {
            *out = m;
            return MTR_DONE;
        }
        if (number == AT_CNF_OK) {
            // A bare OK before the data: the request is over, without data.
            krn_free(m);
            return mtr_end_request(result);
        }
        MTR_RESULT r = mtr_check_result(m);
        if (number == AT_CNF_RESULT) {
            krn_free(m);
            return mtr_end_request(result == MTR_DONE ? r : result);
        }
        if (r != MTR_DONE) {
            krn_free(m);
            if (result == MTR_DONE)
                result = r;
        }
    }
}

}  // namespace

MTR_RESULT mtr_wait_final()
{
    krn_msg* none = nullptr;
    return wait_final_or_data(0, &none);
}

MTR_RESULT mtr_wait_data(uint8_t cnf, krn_msg** out)
{
    return wait_final_or_data(cnf, out);
}

void mtr_idle()
{
    krn_msg* m = nullptr;
    mtr_wait(&m);
    if (mtr_check_result(m) == MTR_DONE)
        mtr_poll();
    else
        krn_free(m);
}

void mtr_start_dial_timer()
{
    krn_msg* m = nullptr;
    krn_timer_alloc(&m, 2);
    krn_set_msg_number(m, MTR_TIMER_DIAL);
    krn_timer_start(m, 10, 0, KRN_TASK_MAIN);
}

// ---- Payload helpers --------------------------------------------------------------

uint8_t* mtr_put_string8(uint8_t* cur, const std::string& text, size_t limit)
{
    if (limit > 255)
        limit = 255;
    if (text.size() > limit)
        return nullptr;
    *cur++ = static_cast<uint8_t>(text.size());
    std::memcpy(cur, text.data(), text.size());
    return cur + text.size();
}

uint8_t* mtr_put_string16(uint8_t* cur, const std::string& text)
{
    if (text.size() > 65535)
        return nullptr;
    *cur++ = static_cast<uint8_t>(text.size() >> 8);
    *cur++ = static_cast<uint8_t>(text.size());
    std::memcpy(cur, text.data(), text.size());
    return cur + text.size();
}

uint8_t* mtr_copy_string(uint8_t* dst, const uint8_t* src)
{
    std::memcpy(dst, src, 1u + src[0]);
    return dst + 1 + src[0];
}

const char* mtr_get_string(uint8_t** cur, bool number)
{
    uint8_t* p = *cur;
    uint8_t n = p[0];
    char* text = reinterpret_cast<char*>(p + 1);
    p[1 + n] = 0;
    if (number)
        for (uint8_t i = 0; i < n; ++i)
            if (text[i] == 'A')
                text[i] = 'p';
    *cur = p + 2 + n;
    return text;
}

bool mtr_list_has_value(const uint8_t* list, uint8_t value)
{
    for (uint8_t i = 0; i < list[0]; ++i)
        if (list[1 + i] == value)
            return true;
    return false;
}

bool mtr_ranges_have_value(const uint8_t* list, uint8_t value)
{
    for (uint8_t i = 0; i < list[0]; ++i)
        if (list[1 + 2 * i] <= value && value <= list[2 + 2 * i])
            return true;
    return false;
}

int mtr_pack_number(uint8_t** cur, const std::string& text, unsigned maximum)
{
    uint8_t buf[256];
    unsigned n = 0, used = 0;
    bool plus = false;
    for (char ch : text) {
        if (ch == ' ')
            continue;
        if (ch == '+') {
            if (n != 0)  // '+' only in front
                return 0;
            plus = true;
            buf[n++] = '+';
            continue;
        }
        bool ok = (ch >= '0' && ch <= '9') || ch == '*' || ch == '#' || ch == 'p' || ch == 'P' || ch == 'w' ||
                  ch == 'W';
        if (!ok || used == maximum || n == 255)
            return 0;
        buf[n++] = (ch == 'p' || ch == 'P') ? 'A' : static_cast<uint8_t>(ch);
        ++used;
    }
    uint8_t* p = *cur;
    *p++ = static_cast<uint8_t>(n);
    std::memcpy(p, buf, n);
    p += n;
    *p++ = plus ? 145 : 129;
    *cur = p;
    return 1;
}

int mtr_year_from_2digits(int yy) { return yy < 96 ? 2000 + yy : 1900 + yy; }
int mtr_year_to_2digits(int year) { return year % 100; }
