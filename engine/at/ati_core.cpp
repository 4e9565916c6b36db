// The AT interpreter task's control core: dispatch of requests, the one
// running command, the one waiting request, command time-outs and the
// resynchronisation after a broken answer.
#include <cstdlib>

#include "ati.h"
#include "serial.h"

int gv_SPIO_com_status = SPIO_no_com_available;

ati_env ati_kernel{};

uint32_t ati_command = AT_CMD_NONE;
int ati_parse_state = ATI_PARSE_KEYWORD;
bool ati_silent = true;
// Below the request side's 60 s wall-time limit, so that the dial's own
// outcome always comes first.
uint32_t gv_ati_dial_timeout_ticks = 5000;
krn_msg* ati_sms_holder = nullptr;
krn_msg* ati_melody_holder = nullptr;
ati_conv ati_decode = ati_identity;
ati_conv ati_encode = ati_identity;
uint8_t ati_cscs_index = 0xFF;
uint8_t ati_sms_mode = 1;
ati_limits_t ati_limits{};
uint8_t ati_cind_map[ATI_CIND_MAX];

namespace {

krn_msg* waiting = nullptr;        // the one waiting request
uint16_t withdrawn = 0;            // replaced waiting requests still to answer
krn_timer* timer = nullptr;        // command time-out or resync timer
krn_msg* resync_msg = nullptr;     // the running resync timer's message
bool bytes_this_period = false;    // input seen during the current resync period
bool resync_held = false;          // we hold the resync expiry being handled
unsigned resync_line = 0;          // the line (serial_line) the resync drains
unsigned busy_periods = 0;         // busy periods of a resync with a waiting request
constexpr unsigned BUSY_PERIODS_MAX = 5;

constexpr uint32_t RESYNC_TICKS = 200;
void release_holders()
{
    if (ati_sms_holder) {
        ati_free(ati_sms_holder);
        ati_sms_holder = nullptr;
    }
    if (ati_melody_holder) {
        ati_free(ati_melody_holder);
        ati_melody_holder = nullptr;
    }
}

void answer_withdrawn()
{
    while (withdrawn) {
        --withdrawn;
        ati_send_result(AT_RESULT_WITHDRAWN);
    }
}

// Ends the running command without running the waiting request: used when
// resynchronisation follows at once (the waiting request then runs when the
// line is clean again).
void abort_command()
{
    ati_stop_timer();
    release_holders();
    answer_withdrawn();
    ati_command = AT_CMD_NONE;
}

// The line is clean: the resync ends and a waiting request runs.
void end_resync()
{
    ati_stop_timer();  // also releases an expiry we hold
    ati_end_command();  // dispatches a waiting request
    if (ati_command != AT_CMD_RESYNC)
        ati_parse_state = ATI_PARSE_KEYWORD;
    else
        ati_enter_resync();
}

// One period of the resynchronisation timer. A whole period without a byte
// ends it and lets a waiting request run. While bytes keep coming (the rest of
// a broken or late answer), a waiting request is kept for a few periods, then
// given up with code 4 so that its caller does not wait on a chattering line.
void handle_resync_timer(krn_msg* m)
{
    if (m != resync_msg) {  // a stale expiry of a stopped timer
        ati_free(m);
        return;
    }
    resync_held = true;
    bool quiet = !bytes_this_period;
    bytes_this_period = false;
    if (quiet) {
        end_resync();
        return;
    }
    if (m[2] == 2) {
        if (++busy_periods < BUSY_PERIODS_MAX) {
            m[2] = 1;
        } else {
            busy_periods = 0;
            if (waiting) {
                ati_free(waiting);
                waiting = nullptr;
                ati_send_result(AT_RESULT_DROPPED);
            }
            m[2] = 0;
        }
    }
    resync_held = false;
    ati_free(m);  // a re-armed cyclic timer keeps its block
}

// Drains the line: every byte is dropped, line ends included, since the rest
// of a broken answer (its data lines and its own final OK) may still follow.
krn_msg* resync_scan()
{
    for (;;) {
        uint8_t c;
        krn_msg* m = ati_getc(&c);
        // A resync ended by a request for a new line (see
        // ati_request_arrived): what comes now is that request's.
        if (ati_parse_state != ATI_PARSE_RESYNC) {
            if (!m)
                ati_ungetc(c);
            return m;
        }
        if (!m)
            continue;
        if (krn_msg_number(m) == ATI_TIMER_RESYNC) {
            handle_resync_timer(m);
            if (ati_parse_state != ATI_PARSE_RESYNC)
                return nullptr;
        } else {
            ati_free(m);
        }
    }
}

void send_no_answer()
{
    if (krn_msg* n = ati_try_alloc(2)) {
        n[0] = 0;
        n[1] = AT_CNF_NO_ANSWER;
        ati_send_main(n);
    }
}

void command_timeout(krn_msg* m)
{
    timer = nullptr;  // the expired one-shot timer is ours now
    if (ati_command == AT_CMD_NONE || ati_command == AT_CMD_RESYNC) {
        ati_free(m);
        return;
    }
    uint8_t code = ati_silent ? AT_RESULT_SILENCE : AT_RESULT_PARTIAL;
    if (ati_command == AT_CMD_DIAL) {
        // Nobody took the call in time: the call failed as unanswered, which
        // the call status learns; the phone itself is not lost.
        send_no_answer();
        code = AT_RESULT_ERROR;
    }
    m[0] = 0;
    m[1] = AT_CNF_RESULT;
    m[2] = code;
    m[3] = 0;
    m[4] = 0;
    ati_send_main(m);
    abort_command();
    ati_enter_resync();
}

}  // namespace

krn_msg* ati_alloc(uint16_t size)
{
    krn_msg* m = nullptr;
    ati_kernel.alloc(&m, size);
    return m;
}

krn_msg* ati_try_alloc(uint16_t size) { return ati_kernel.try_alloc(size); }
void ati_free(krn_msg* msg) { ati_kernel.free(msg); }
void ati_send_main(krn_msg* msg) { ati_kernel.send(KRN_TASK_MAIN, msg); }

krn_msg* ati_new_confirm(uint8_t cnf, uint16_t size)
{
    if (size < 2)
        size = 2;
    krn_msg* m = ati_alloc(size);
    for (uint16_t i = 0; i < size; ++i)
        m[i] = 0;
    m[1] = cnf;
    return m;
}

void ati_init()
{
    ati_command = AT_CMD_NONE;
    ati_parse_state = ATI_PARSE_KEYWORD;
    ati_silent = true;
    waiting = nullptr;
    withdrawn = 0;
    timer = nullptr;
    resync_msg = nullptr;
    bytes_this_period = false;
    resync_held = false;
    busy_periods = 0;
    ati_sms_holder = nullptr;
    ati_melody_holder = nullptr;
    ati_decode = ati_identity;
    ati_encode = ati_identity;
    ati_cscs_index = 0xFF;
    for (uint8_t& p : ati_cind_map)
        p = 0xFF;
    ati_input_reset();
    ati_out_open();
}

void ati_task_entry()
{
    ati_init();
    for (;;)
        ati_step();
}

void ati_step()
{
    krn_msg* stop = nullptr;
    switch (ati_parse_state) {
    case ATI_PARSE_RESYNC: stop = resync_scan(); break;
    case ATI_PARSE_KEYWORD: stop = ati_keyword_scan(); break;
    case ATI_PARSE_RAW: stop = ati_raw_scan(); break;
    default:
        ati_kernel.fatal(1, 1, 1);
        std::abort();
    }
    if (stop)
        ati_handle_stop(stop);
}

void ati_send_result(uint8_t code)
{
    krn_msg* m = ati_new_confirm(AT_CNF_RESULT, 5);
    m[2] = code;
    ati_send_main(m);
}

void ati_send_answer(krn_msg* msg)
{
    if (ati_command == AT_CMD_NONE || ati_command == AT_CMD_RESYNC) {
        ati_free(msg);
        return;
    }
    ati_send_main(msg);
}

void ati_dispatch(krn_msg* req)
{
    uint16_t number = krn_msg_number(req);
    bool link = gv_SPIO_com_status == SPIO_com_available;
    // A port that hung up takes nothing until it is opened again: the
    // request would only wait for its time-out.
    if (serial_hung_up() || (!link && number != AT_REQ_CGMI && number != AT_REQ_MVER && number != AT_REQ_AT)) {
        ati_free(req);
        ati_send_result(AT_RESULT_NO_LINK);
        return;
    }
    ati_formatter fmt = number < AT_REQ_COUNT ? ati_formatter_for(static_cast<uint8_t>(number)) : nullptr;
    if (!fmt) {
        // An unknown request is answered at once: its caller never waits forever.
        ati_free(req);
        ati_send_result(AT_RESULT_UNEXPECTED);
        return;
    }
    // A bare AT with its own time-out only asks whether a phone is there:
    // no line break first (its 300 ms would hold the caller longer than
    // the question's own time-out), that is the link test's.
    const bool probe = number == AT_REQ_AT && ati_kernel.msg_size(req) >= 3 && req[2] != 0;
    if (!link && !probe)
        ati_out_break();
    switch (fmt(req)) {
    case ATI_FMT_DONE:
        ati_free(req);
        break;
    case ATI_FMT_KEPT:
        break;
    case ATI_FMT_REFUSED:
        ati_free(req);
        ati_send_result(AT_RESULT_ERROR);
        return;
    }
    // No byte has come for the command just written yet.
    ati_silent = true;
}

void ati_request_arrived(krn_msg* req)
{
    if (ati_command == AT_CMD_NONE) {
        ati_dispatch(req);
        return;
    }
    if (waiting) {
        ati_free(waiting);
        ++withdrawn;
    }
    waiting = req;
    if (ati_command == AT_CMD_RESYNC && resync_line != serial_line()) {
        // The line being drained was closed and another opened since (the
        // next port of a scan, the same port opened again): nothing of the
        // broken answer can come on this one, so the request need not wait
        // for a quiet period.
        end_resync();
        return;
    }
    if (ati_command == AT_CMD_RESYNC && resync_msg && resync_msg[2] == 0)
        resync_msg[2] = 1;
}

void ati_input_arrived()
{
    ati_silent = false;
    bytes_this_period = true;
    if (ati_command == AT_CMD_RESYNC && resync_msg && resync_msg[2] == 1)
        resync_msg[2] = 2;
}

void ati_end_command()
{
    release_holders();
    answer_withdrawn();
    ati_command = AT_CMD_NONE;
    if (waiting) {
        krn_msg* next = waiting;
        waiting = nullptr;
        ati_dispatch(next);
    }
    if (ati_command == AT_CMD_NONE)
        ati_silent = ati_input_buffered() == 0;
}

void ati_finish_command()
{
    if (ati_command != AT_CMD_NONE)
        ati_stop_timer();
    ati_end_command();
}

void ati_enter_resync()
{
    ati_parse_state = ATI_PARSE_RESYNC;
    release_holders();
    ati_stop_timer();
    ati_command = AT_CMD_RESYNC;
    resync_line = serial_line();
    bytes_this_period = false;
    busy_periods = 0;
    krn_msg* m = nullptr;
    ati_kernel.timer_alloc(&m, 3);
    m[0] = 0x02;
    m[1] = 0x01;
    m[2] = waiting ? 1 : 0;
    resync_msg = m;
    timer = ati_kernel.timer_start(m, RESYNC_TICKS, 1, KRN_TASK_ATI);
}

void ati_handle_stop(krn_msg* msg)
{
    uint16_t number = krn_msg_number(msg);
    if (number == AT_CNF_RESULT) {
        if (ati_command != AT_CMD_NONE && ati_command != AT_CMD_RESYNC)
            ati_send_main(msg);
        else
            ati_free(msg);
        abort_command();
        ati_enter_resync();
        return;
    }
    if (number == ATI_TIMER_COMMAND && msg != resync_msg) {
        command_timeout(msg);
        return;
    }
    if (number == ATI_TIMER_RESYNC) {
        handle_resync_timer(msg);
        return;
    }
    if (number == ATI_MSG_HANGUP) {
        // The port is gone: nothing can answer the running command and there
        // is no line to drain. It ends now with the link-lost result, and so
        // does a request that waited behind it.
        ati_free(msg);
        const bool running = ati_command != AT_CMD_NONE && ati_command != AT_CMD_RESYNC;
        abort_command();
        if (running)
            ati_send_result(AT_RESULT_NO_LINK);
        if (waiting) {
            ati_free(waiting);
            waiting = nullptr;
            ati_send_result(AT_RESULT_NO_LINK);
        }
        ati_input_reset();
        ati_parse_state = ATI_PARSE_KEYWORD;
        ati_silent = true;
        return;
    }
    if (number == ATI_MSG_ABORT) {
        // Task 0 has already ended the request: no confirm, but the command
        // ends here too and its late answer is drained with the line.
        ati_free(msg);
        if (ati_command != AT_CMD_NONE && ati_command != AT_CMD_RESYNC) {
            abort_command();
            ati_enter_resync();
        }
        return;
    }
    ati_free(msg);
    if (ati_command != AT_CMD_NONE && ati_command != AT_CMD_RESYNC)
        ati_send_result(AT_RESULT_UNEXPECTED);
    abort_command();
    ati_enter_resync();
}

void ati_stop_command()
{
    if (ati_command != AT_CMD_NONE)
        ati_stop_timer();
}

void ati_start_timeout(uint32_t ticks, uint8_t req)
{
    ati_stop_timer();
    krn_msg* m = nullptr;
    ati_kernel.timer_alloc(&m, 5);
    m[0] = 0x02;
    m[1] = 0x00;
    m[2] = 0;
    m[3] = 0;
    m[4] = req;
    timer = ati_kernel.timer_start(m, ticks, 0, KRN_TASK_ATI);
}

void ati_stop_timer()
{
    if (timer) {
        krn_timer* t = timer;
        krn_msg* m = resync_msg;
        timer = nullptr;
        resync_msg = nullptr;
        ati_kernel.timer_stop(t);
        // A cyclic expiry that we hold is not freed by the stop.
        if (m && resync_held)
            ati_free(m);
        resync_held = false;
    }
}
