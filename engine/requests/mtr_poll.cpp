// The poll queue's drain. Everything that reaches task 0 without being the
// answer of the running request waits here; the polling module installs the
// handler that turns each entry into a document callback or an engine step.
#include "engine_host.h"
#include "mtr_frame.h"
#include "mtr_poll.h"

krn_queue gv_poll_queue{};
int gv_bCallMtrPoll = 1;

namespace {
mtr_poll_handler g_handler = nullptr;
}

void mtr_set_poll_handler(mtr_poll_handler handler) { g_handler = handler; }

void mtr_poll()
{
    if (!gv_bCallMtrPoll) {
        engine_trace("mtr_poll -> gv_bCallMtrPoll = FALSE, so nothing done");
        return;
    }
    engine_trace("mtr_poll -> gv_bCallMtrPoll = TRUE, so a treatment is done");
    // Called from window code while a request waits: the entries wait for
    // that request's end, so that no script or link test runs inside it.
    if (mtr_request_running())
        return;
    // Entries are put in front: the oldest is at the back.
    while (krn_msg* m = krn_queue_take_back(&gv_poll_queue)) {
        if (g_handler)
            g_handler(m);
        else
            mtr_poll_entry(m);
        krn_free(m);
    }
}

// ---- Handling of the entries -------------------------------------------------------

#include <algorithm>
#include <cstring>

#include "mmi_doc.h"
#include "mtr_gen.h"
#include "mtr_mmng.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "profile.h"
#include "serial.h"

int gv_mtr_icons_by_polling = 0;
int gv_mtr_battery_mode = 0;
int gv_mtr_msg_icon_mode = 0;

namespace {

constexpr uint16_t STANDARD_SCRIPT[] = {AT_REQ_CBC, AT_REQ_CSQ, AT_REQ_COPS_GET, AT_REQ_CREG_GET};
constexpr uint8_t SIGNAL_THRESHOLDS[] = {5, 10, 15, 25, 35, 45, 64};

mtr_link_test_fn g_link_test = mtr_quick_link_test;
mtr_indication_fn g_indication[256];
// Bumped by every cancel, so that a script running meanwhile is not re-armed.
unsigned g_script_generation = 0;
bool g_slot_used[MTR_POLL_SLOTS];
krn_timer* g_is_alive_timer = nullptr;

struct animation {
    krn_timer* timer = nullptr;
    krn_msg* msg = nullptr;
};
animation g_battery, g_msg_icon;

animation& animation_of(uint16_t kind) { return kind == MTR_TIMER_BATTERY ? g_battery : g_msg_icon; }

bool screen_steps_allowed() { return gv_pDoc && !gv_pDoc->ScreenSwitching(); }

int pool_seconds() { return GetIniProfileInt("PoolingTime", "Pool", 0); }

// ---- The poll script ----------------------------------------------------------------

void script_request(uint16_t number)
{
    switch (number) {
    case AT_REQ_CREG_GET:
        mtr_request_data(mtr_new_request(AT_REQ_CREG_GET), AT_CNF_CREG, [&](const krn_msg* d) {
            if (gv_pDoc)
                gv_pDoc->mmi_MNGT_registration_ind(d[3]);
        });
        break;
    case AT_REQ_COPS_GET:
        mtr_request_data(mtr_new_request(AT_REQ_COPS_GET), AT_CNF_COPS, [&](const krn_msg* d) {
            if (gv_pDoc)
                gv_pDoc->mmi_MNGT_operator_name_ind(
                    d[2] == 3 ? std::string(reinterpret_cast<const char*>(d + 6), d[5]) : std::string());
        });
        break;
    case AT_REQ_CBC:
        mtr_request_data(mtr_new_request(AT_REQ_CBC), AT_CNF_CBC,
                         [&](const krn_msg* d) { mtr_battery_answer(d[2], d[3]); });
        break;
    case AT_REQ_CSQ:
        mtr_request_data(mtr_new_request(AT_REQ_CSQ), AT_CNF_CSQ, [&](const krn_msg* d) {
            if (gv_pDoc)
                gv_pDoc->mmi_MNGT_signal_quality_ind(mtr_signal_level(d[2]));
        });
        break;
    default:
        break;  // not a script request: skipped
    }
}

void rearm_script(const krn_msg* m)
{
    uint8_t n = m[7];
    uint32_t period = static_cast<uint32_t>(m[3]) << 24 | static_cast<uint32_t>(m[4]) << 16 |
                      static_cast<uint32_t>(m[5]) << 8 | m[6];
    uint8_t slot = m[8];
    if (period == 0 || slot >= MTR_POLL_SLOTS)
        return;
    krn_msg* t = nullptr;
    krn_timer_alloc(&t, static_cast<uint16_t>(10 + 2 * n));
    std::memcpy(t, m, 9u + 2u * n);
    krn_set_msg_number(t, MTR_TIMER_POLL_SCRIPT);
    gv_poll_script_slot[slot] = krn_timer_start(t, period, 0, KRN_TASK_MAIN);
}

void run_script(krn_msg* m)
{
    const unsigned generation = g_script_generation;
    const uint8_t n = m[7];
    for (uint8_t i = 0; i < n; ++i) {
        if (gv_SPIO_com_status != SPIO_com_available || generation != g_script_generation)
            break;
        script_request(static_cast<uint16_t>(m[9 + 2 * i] << 8 | m[10 + 2 * i]));
    }
    if (m[2] == 0 && generation == g_script_generation)
        rearm_script(m);
    else if (m[2] == 0 && m[8] < MTR_POLL_SLOTS && !gv_poll_script_slot[m[8]])
        g_slot_used[m[8]] = false;
}

// ---- Link changes ---------------------------------------------------------------------

void link_lost(const char* trace_state, const char* trace_call)
{
    gv_SPIO_com_status = SPIO_no_com_available;
    engine_trace(trace_state);
    engine_trace(trace_call);
    Close_Serial();
    gv_pDoc->mmi_TestComWithMobile();
}

// Set while the link test waits for its answer.
bool g_testing_link = false;

void silence()
{
    mtr_cancel_poll_scripts();
    // The silence of an earlier request, handled while the link test waits:
    // the test's own answer, newer, says what the link is. Losing the link
    // here would close the port under the test, which would then call the
    // phone found with no port to reach it.
    if (g_testing_link) {
        engine_trace("mtr_poll -> SILENCE left to the link test under way");
        return;
    }
    if (gv_pDoc && gv_SPIO_com_status == SPIO_com_available)
        link_lost("gv_SPIO_com_status set to SPIO_no_com_available in mtr_poll() (case SILENCE).",
                  "mtr_poll -> Appel de mmi_TestComWithMobile sur SILENCE");
}

// The serial layer closed a port that hung up. The running request has
// already ended; the link is lost once, whatever else reports it too.
void hang_up()
{
    mtr_cancel_poll_scripts();
    if (gv_pDoc && gv_SPIO_com_status == SPIO_com_available)
        link_lost("gv_SPIO_com_status set to SPIO_no_com_available in mtr_poll() (case HANGUP).",
                  "mtr_poll -> Appel de mmi_TestComWithMobile sur HANGUP");
}

void is_alive()
{
    engine_trace("mtr_poll -> appel de mtr_GEN_test_communication.");
    mtr_test_link_now();
    if (!gv_is_alive_armed)
        mtr_arm_is_alive();
}

// ---- Animations ---------------------------------------------------------------------------

void battery_step(krn_msg* m)
{
    if (m != g_battery.msg || !screen_steps_allowed())
        return;
    if (gv_mtr_battery_mode == 1) {
        m[3] = static_cast<uint8_t>(m[3] + 1);
        if (m[3] >= 4)
            m[3] = 1;
        gv_pDoc->mmi_MNGT_battery_charge_ind(m[3]);
    } else if (gv_mtr_battery_mode == 2) {
        m[3] = static_cast<uint8_t>(m[3] - 1);
        if (m[3] == 0) {
            m[2] = m[2] ? 0 : 1;
            gv_pDoc->mmi_MNGT_battery_charge_ind(m[2] == 1 ? 3 : 0);
            m[3] = 1;
        }
    }
}

void msg_icon_step(krn_msg* m)
{
    if (m != g_msg_icon.msg || !screen_steps_allowed() || gv_mtr_msg_icon_mode != 2)
        return;
    m[3] = static_cast<uint8_t>(m[3] - 1);
    if (m[3] == 0) {
        m[2] = m[2] ? 0 : 1;
        gv_pDoc->mmi_MNGT_message_icon_ind(m[2] == 1 ? 1 : -1);
        m[3] = 1;
    }
}

}  // namespace

// ---- Public -------------------------------------------------------------------------------

MTR_RESULT mtr_test_link_now()
{
    // After the user gave up at the code prompt the link stays as it is
    // until the user asks again: no test, no new detection.
    if (gv_SPIO_com_status == 0)
        return MTR_FAILED;
    const bool nested = g_testing_link;
    g_testing_link = true;
    MTR_RESULT r = g_link_test ? g_link_test() : MTR_FAILED;
    g_testing_link = nested;
    if (r == MTR_DONE) {
        // A silence still waiting for polling (polling off around an
        // operation) is older than this answer: the link is not lost.
        for (krn_msg* q = krn_queue_first(&gv_poll_queue); q;) {
            krn_msg* next = krn_queue_next(&gv_poll_queue, q);
            if (krn_msg_number(q) == AT_CNF_RESULT && q[2] == AT_RESULT_SILENCE) {
                krn_queue_remove(&gv_poll_queue, q);
                krn_free(q);
            }
            q = next;
        }
        if (gv_pDoc && gv_SPIO_com_status != SPIO_com_available) {
            gv_SPIO_com_status = SPIO_com_available;
            engine_trace("gv_SPIO_com_status set to SPIO_com_available in mtr_poll() (case IS_ALIVE).");
            engine_trace("mtr_poll -> appel de mmi_TestComWithMobile sur TIMEOUT_IS_ALIVE.");
            gv_pDoc->mmi_TestComWithMobile();
        }
        if (gv_mtr_icons_by_polling)
            mtr_arm_poll_script();
    } else if (gv_pDoc && gv_SPIO_com_status == SPIO_com_available) {
        link_lost("gv_SPIO_com_status set to SPIO_no_com_available in mtr_poll() (case MTR_TIMEOUT_IS_ALIVE).",
                  "mtr_poll -> Appel de mmi_TestComWithMobile sur passage à NO COM");
    }
    return r;
}

void mtr_set_link_test(mtr_link_test_fn test) { g_link_test = test ? test : mtr_quick_link_test; }

void mtr_set_indication_handler(uint8_t cnf, mtr_indication_fn handler) { g_indication[cnf] = handler; }

MTR_RESULT mtr_quick_link_test()
{
    // After a lost link the port was closed: open the one last used again,
    // otherwise nothing could ever answer.
    if (serial_fd() < 0) {
        uint16_t port = serial_last_port();
        if (port == 0 || Init_Serial(port) != 1)
            return MTR_FAILED;
    }
    std::string id;
    MTR_RESULT r = mtr_GEN_req_manufacturer_id(id);
    return r == MTR_DONE && !id.empty() ? MTR_DONE : MTR_FAILED;
}

MTR_RESULT mtr_probe_phone(int ms)
{
    if (gv_SPIO_com_status == 0)
        return MTR_FAILED;
    const bool opened = serial_fd() < 0;
    if (opened) {
        uint16_t port = serial_last_port();
        if (port == 0 || Init_Serial(port) != 1)
            return MTR_FAILED;
    }
    krn_msg* req = mtr_new_request(AT_REQ_AT, 3);
    req[2] = static_cast<uint8_t>(std::clamp(ms / 10, 1, 255));
    const MTR_RESULT r = mtr_request(req);
    // Opened only for the question: the link test opens it itself, and a
    // port left open on a lost link would make it look reachable.
    if (opened)
        Close_Serial();
    return r;
}

int mtr_signal_level(unsigned rssi)
{
    if (rssi == 99)
        return 0;
    int level = 0;
    for (uint8_t t : SIGNAL_THRESHOLDS)
        if (t <= rssi)
            ++level;
    return level;
}

void mtr_start_animation(uint16_t kind, uint8_t b2, uint8_t b3)
{
    mtr_stop_animation(kind);
    animation& a = animation_of(kind);
    krn_msg* m = nullptr;
    krn_timer_alloc(&m, 4);
    krn_set_msg_number(m, kind);
    m[2] = b2;
    m[3] = b3;
    a.msg = m;
    a.timer = krn_timer_start(m, 50, 1, KRN_TASK_MAIN);
}

void mtr_stop_animation(uint16_t kind)
{
    animation& a = animation_of(kind);
    if (a.timer)
        krn_timer_stop(a.timer);
    a.timer = nullptr;
    a.msg = nullptr;
}

void mtr_battery_answer(uint8_t status, uint8_t level)
{
    if (!screen_steps_allowed())
        return;
    if (status == 0) {
        mtr_stop_animation(MTR_TIMER_BATTERY);
        if (level < 25) {
            gv_mtr_battery_mode = 2;
            gv_pDoc->mmi_MNGT_battery_charge_ind(0);
            mtr_start_animation(MTR_TIMER_BATTERY, 0, 1);
            return;
        }
        gv_mtr_battery_mode = 0;
        gv_pDoc->mmi_MNGT_battery_charge_ind(level > 74 ? 3 : level >= 50 ? 2 : 1);
    } else if (status == 1) {
        mtr_stop_animation(MTR_TIMER_BATTERY);
        gv_mtr_battery_mode = 1;
        gv_pDoc->mmi_MNGT_battery_charge_ind(1);
        mtr_start_animation(MTR_TIMER_BATTERY, 0, 1);
    }
}

void mtr_set_poll_state(int state)
{
    engine_trace("mtr_set_poll_state -> gv_bCallMtrPoll set to " + std::to_string(state));
    gv_bCallMtrPoll = state;
    if (state)
        mtr_poll();
}

bool mtr_queue_poll_script(int kind, uint32_t period, uint8_t count, const uint16_t* list)
{
    uint8_t slot = 0;
    if (kind == 0) {
        while (slot < MTR_POLL_SLOTS && (g_slot_used[slot] || gv_poll_script_slot[slot]))
            ++slot;
        if (slot == MTR_POLL_SLOTS)
            return false;
        g_slot_used[slot] = true;
    }
    krn_msg* m = nullptr;
    krn_alloc(&m, static_cast<uint16_t>(9 + 2 * count));
    krn_set_msg_number(m, kind == 0 ? MTR_TIMER_POLL_SCRIPT : MTR_POLL_ONCE);
    m[2] = kind == 0 ? 0 : 1;
    m[3] = static_cast<uint8_t>(period >> 24);
    m[4] = static_cast<uint8_t>(period >> 16);
    m[5] = static_cast<uint8_t>(period >> 8);
    m[6] = static_cast<uint8_t>(period);
    m[7] = count;
    m[8] = slot;
    for (uint8_t i = 0; i < count; ++i) {
        m[9 + 2 * i] = static_cast<uint8_t>(list[i] >> 8);
        m[10 + 2 * i] = static_cast<uint8_t>(list[i]);
    }
    krn_queue_put_front(&gv_poll_queue, m);
    return true;
}

void mtr_cancel_poll_scripts()
{
    ++g_script_generation;
    for (bool again = true; again;) {
        again = false;
        for (krn_msg* q = krn_queue_first(&gv_poll_queue); q; q = krn_queue_next(&gv_poll_queue, q))
            if (krn_msg_number(q) == MTR_TIMER_POLL_SCRIPT) {
                krn_queue_remove(&gv_poll_queue, q);
                krn_free(q);
                again = true;
                break;
            }
    }
    for (unsigned i = 0; i < MTR_POLL_SLOTS; ++i) {
        if (gv_poll_script_slot[i])
            krn_timer_stop(gv_poll_script_slot[i]);
        gv_poll_script_slot[i] = nullptr;
        g_slot_used[i] = false;
    }
}

void mtr_arm_poll_script()
{
    mtr_cancel_poll_scripts();
    int pool = pool_seconds();
    if (pool > 0)
        mtr_queue_poll_script(0, static_cast<uint32_t>(pool) * 100u, 4, STANDARD_SCRIPT);
}

void mtr_arm_is_alive()
{
    int pool = pool_seconds();
    if (pool < 1)
        return;
    krn_msg* m = nullptr;
    krn_timer_alloc(&m, 2);
    krn_set_msg_number(m, MTR_TIMER_IS_ALIVE);
    g_is_alive_timer = krn_timer_start(m, static_cast<uint32_t>(pool) * 100u, 0, KRN_TASK_MAIN);
    gv_is_alive_armed = 1;
}

void mtr_poll_stop()
{
    mtr_stop_animation(MTR_TIMER_BATTERY);
    mtr_stop_animation(MTR_TIMER_MSG_ICON);
    gv_mtr_battery_mode = 0;
    gv_mtr_msg_icon_mode = 0;
    mtr_cancel_poll_scripts();
    if (gv_is_alive_armed && g_is_alive_timer)
        krn_timer_stop(g_is_alive_timer);
    g_is_alive_timer = nullptr;
    gv_is_alive_armed = 0;
}

void mtr_poll_reset()
{
    while (krn_msg* m = krn_queue_take_back(&gv_poll_queue))
        krn_free(m);
    for (unsigned i = 0; i < MTR_POLL_SLOTS; ++i) {
        gv_poll_script_slot[i] = nullptr;
        g_slot_used[i] = false;
    }
    g_battery = {};
    g_msg_icon = {};
    g_is_alive_timer = nullptr;
    gv_is_alive_armed = 0;
    gv_mtr_icons_by_polling = 0;
    gv_mtr_battery_mode = 0;
    gv_mtr_msg_icon_mode = 0;
    ++g_script_generation;
}

void mtr_poll_entry(krn_msg* m)
{
    MmiDoc* doc = gv_pDoc;
    switch (krn_msg_number(m)) {
    case MTR_TIMER_POLL_SCRIPT:
    case MTR_POLL_ONCE:
        run_script(m);
        return;
    case MTR_TIMER_BATTERY:
        battery_step(m);
        return;
    case MTR_TIMER_MSG_ICON:
        msg_icon_step(m);
        return;
    case MTR_TIMER_IS_ALIVE:
        is_alive();
        return;
    case MTR_MSG_HANGUP:
        hang_up();
        return;
    default:
        break;
    }
    if (m[0] != 0)
        return;
    switch (m[1]) {
    case AT_CNF_OK:
        if (doc) doc->UpdateStatusDlg(0);
        break;
    case AT_CNF_BUSY:
        if (doc) doc->UpdateStatusDlg(1);
        break;
    case AT_CNF_NO_CARRIER:
        if (doc) doc->UpdateStatusDlg(2);
        break;
    case AT_CNF_NO_ANSWER:
        if (doc) doc->UpdateStatusDlg(3);
        break;
    case AT_CNF_CREG_IND:
        // 0 to 5 are the registration states; 5 is "registered, roaming".
        if (m[2] <= 5 && doc)
            doc->mmi_MNGT_registration_ind(m[2]);
        if (m[2] == 1 || m[2] == 5) {
            // Registered (at home or abroad): read the operator name again.
            const uint16_t cops = AT_REQ_COPS_GET;
            mtr_queue_poll_script(1, 0, 1, &cops);
        }
        break;
    case AT_CNF_CMTI:
    case AT_CNF_CDS:
        // A new message (the memory "MT" names the one the set-up chose) or
        // a status report: one decoder serves the poll and the message side.
        mtr_SMS_indication(m);
        break;
    case AT_CNF_CIEV:
        mtr_MMNG_update_icon(m[2], m[3]);
        break;
    case AT_CNF_RESULT:
        if (m[2] == AT_RESULT_SILENCE)
            silence();
        break;
    case AT_CNF_MALI:
    case AT_CNF_MCLK:
    case AT_CNF_MDRI:
    case AT_CNF_MMPI:
        if (g_indication[m[1]])
            g_indication[m[1]](m);
        break;
    default:
        break;
    }
}
