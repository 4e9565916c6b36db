// The engine's start, the set-up of a phone once found, and the stop.
#include "mtr_setup.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>

#include "at_charset.h"
#include "ati.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_clock.h"
#include "mtr_discovery.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_melody.h"
#include "mtr_mmng.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "profile.h"
#include "serial.h"

namespace {

std::string g_manufacturer;
int g_pin_prompt = 0;
bool g_stopped = false;

// The engine keeps this much of the phone's +CGMI answer.
constexpr size_t MANUFACTURER_KEPT = 20;
// Each of the stop's two requests may take this long in wall time.
constexpr long STOP_WAIT_MS = 500;
constexpr int SIM_NOT_INSERTED = 10;
constexpr int STRING_SIM_NOT_INSERTED = 31432;
constexpr int MB_OK = 0, MB_OKCANCEL = 1, IDCANCEL = 2;

std::string trimmed(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The port's other end is gone (the phone was unplugged).
bool port_hung_up()
{
    int fd = serial_fd();
    if (fd < 0)
        return true;
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

const std::string& mtr_expected_manufacturer() { return g_manufacturer; }
int mtr_pin_prompt_state() { return g_pin_prompt; }

void mtr_init(const std::string& manufacturer_id)
{
    g_manufacturer = manufacturer_id;
    EngineHost* host = engine_host();
    std::string failed;
    if (!at_load_conversion_tables(host ? host->FilesFolder() : std::string(), &failed)) {
        // A table read short, long or not at all would garble every text
        // exchanged with the phone: the program cannot run without both.
        engine_trace("mtr_init -> Could not open the file = " + failed);
        if (host)
            host->MessageBox("The directory is not where it should be.", MB_OK);
        std::exit(EXIT_FAILURE);
    }
    // The kernel start before this gave every block back to its pool: what
    // the poll queue held in an earlier run in this process belongs to no
    // one, and walking it would write into free blocks. The engine starts
    // with an empty queue and with polling on, as in a new process.
    krn_queue_init(&gv_poll_queue);
    gv_bCallMtrPoll = 1;
    mtr_poll_reset();
    mtr_PB_reset();
    g_stopped = false;
    g_pin_prompt = 0;
    // The periodic link test runs the full discovery; the clock, diary,
    // alarm and melody indications come back here from polling.
    mtr_set_link_test(mtr_GEN_test_communication);
    for (uint8_t cnf : {AT_CNF_MALI, AT_CNF_MCLK, AT_CNF_MDRI, AT_CNF_MMPI})
        mtr_set_indication_handler(cnf, mtr_setup_indication);
    mtr_arm_is_alive();
    // The AT trace is opened once for the whole run and appended to, so
    // that the exchange of a failed port or link test is kept.
    if (GetIniProfileInt("Pellard", "Debug", 0) == 1 && host)
        serial_trace_start(host->ProgramFolder());
}

bool mtr_manufacturer_matches(const std::string& expected, const std::string& answer)
{
    std::string e = trimmed(expected), a = trimmed(answer);
    if (e.empty())
        return true;
    return trimmed(e.substr(0, MANUFACTURER_KEPT)) == trimmed(a.substr(0, MANUFACTURER_KEPT));
}

MTR_RESULT mtr_IsComWithMobile()
{
    engine_trace("mtr_IsComWithMobile -> before mtr_GEN_req_manufacturer_id with strManufacturerId:" +
                 g_manufacturer);
    // A port closed by a lost link carries no command: asking would only
    // hold the program in a request until the command's time-out.
    if (serial_fd() < 0) {
        engine_trace("mtr_IsComWithMobile -> the port is closed, no phone can answer");
        return MTR_FAILED;
    }
    std::string answer;
    MTR_RESULT r = mtr_GEN_req_manufacturer_id(answer);
    engine_trace("mtr_IsComWithMobile -> Manufacturer identification requested = " + g_manufacturer);
    engine_trace("mtr_IsComWithMobile -> Manufacturer identification returned by the mobile = " + answer);
    return r == MTR_DONE && mtr_manufacturer_matches(g_manufacturer, answer) ? MTR_DONE : MTR_FAILED;
}

MTR_RESULT mtr_GEN_req_pin_status(int* state)
{
    uint32_t s = 0;
    MTR_RESULT r = mtr_req_cpin_state(&s);
    if (r == MTR_DONE)
        *state = static_cast<int>(s);
    return r;
}

MTR_RESULT mtr_GEN_set_pin(const std::string& code, const std::string& new_code)
{
    if (code.empty()) {
        engine_trace("mtr_GEN_set_pin -> no in code specified");
        return MTR_FAILED;
    }
    // Codes longer than any phone's (16) are refused before anything is built.
    return mtr_send_cpin(code, new_code);
}

MTR_RESULT mtr_select_charset()
{
    krn_msg* m = mtr_new_request(AT_REQ_CSCS_SET, 3);
    m[2] = 0;  // "GSM"
    return mtr_request(m);
}

int mtr_setup(MS_PARAM* param)
{
    engine_trace("mtr_setup -> BEGIN");
    engine_trace("mtr_setup -> check mobile version");
    if (gv_pDoc)
        gv_pDoc->CheckMobileVersion();
    engine_trace("mtr_setup -> check mobile version");

    EngineHost* host = engine_host();
    bool give_up = false, go = false;
    while (!give_up && !go) {
        int state = 1;
        MTR_RESULT r = mtr_GEN_req_pin_status(&state);
        engine_trace("mtr_setup -> The password required by the mobile is = " + std::to_string(state));
        if (r == MTR_DONE && (state == AT_PIN_SIM_PIN || state == AT_PIN_PH_SIM_PIN || state == AT_PIN_SIM_PUK)) {
            if (g_pin_prompt == 2) {
                give_up = true;
                continue;
            }
            g_pin_prompt = 1;
            int answer = host ? host->AskSecurityCode(state) : IDCANCEL;
            engine_trace(state == AT_PIN_SIM_PUK ? "mtr_setup -> SIM PUK required" : "mtr_setup -> SIM PIN required");
            if (answer == IDCANCEL) {
                give_up = true;
                g_pin_prompt = 0;
            }
        } else if (r == MTR_DONE) {
            go = true;
            engine_trace("mtr_setup -> Setup can be done, no pin required");
        } else if (r == SIM_NOT_INSERTED) {
            if (g_pin_prompt == 2) {
                give_up = true;
                continue;
            }
            g_pin_prompt = 1;
            int answer = host ? host->MessageBoxById(STRING_SIM_NOT_INSERTED, MB_OKCANCEL) : IDCANCEL;
            engine_trace("mtr_setup -> The SIM is not inserted");
            if (answer == IDCANCEL) {
                give_up = true;
                g_pin_prompt = 2;
            }
        } else {
            go = true;
            engine_trace("mtr_setup -> AT+CPIN? command may not be implemented, so try to do the setup");
        }
    }

    int report = 0;
    if (give_up) {
        mtr_cancel_poll_scripts();
        gv_SPIO_com_status = 0;
        engine_trace("gv_SPIO_com_status set to SPIO_no_com_available in mtr_setup().");
        engine_trace("mtr_setup -> No communication required by the user");
    } else {
        g_pin_prompt = 0;
        engine_trace("mtr_setup -> Setup will start");
        report = MTR_SETUP_WENT_ON;
        // Each step runs whatever the others' results.
        MS_PARAM scratch;
        MS_PARAM* p = param ? param : &scratch;
        mtr_select_charset();
        mtr_MMNG_setup();
        if (mtr_PB_setup(p->pb) == MTR_DONE)
            report |= MTR_SETUP_PB_OK;
        if (mtr_SMS_setup(&p->sms) == MTR_DONE)
            report |= MTR_SETUP_SMS_OK;
        mtr_SMS_get_profile_range(&p->profiles);
        mtr_MELODY_setup(&p->melody);
    }
    engine_trace("mtr_setup -> END");
    return report;
}

void mtr_disable_unsol_res()
{
    mtr_SMS_set_new_msg_indication(0, 0);
    engine_trace("mtr_disable_unsol_res -> new message indication unsollicited result is disable");
    mtr_MMNG_set_event_reporting(0);
    engine_trace("mtr_disable_unsol_res -> event reporting desactivated");
}

void mtr_stop()
{
    if (g_stopped)
        return;
    g_stopped = true;
    // Nothing the phone still says is acted upon now: a lost link must not
    // start a new detection while the program closes.
    gv_bCallMtrPoll = 0;
    if (port_hung_up()) {
        engine_trace("mtr_stop -> the phone's port is gone");
        Close_Serial();
    } else if (gv_SPIO_com_status == SPIO_com_available) {
        // The two commands run on engine time, each bounded in wall time,
        // so a phone that no longer answers cannot hold the program open.
        long saved = gv_mtr_wait_limit_ms;
        gv_mtr_wait_limit_ms = STOP_WAIT_MS;
        mtr_disable_unsol_res();
        gv_mtr_wait_limit_ms = saved;
    }
    mtr_poll_stop();
    // What polling set aside is not acted upon any more: its blocks go back
    // now rather than outlive the engine.
    mtr_poll_reset();
    ati_stop_command();
    Close_Serial();
    serial_trace_flush();
}

void mtr_setup_indication(krn_msg* msg)
{
    switch (krn_msg_number(msg)) {
    case AT_CNF_MALI: mtr_ALA_alarm_ind(msg); break;
    case AT_CNF_MCLK: mtr_CLK_clock_ind(msg); break;
    case AT_CNF_MDRI: mtr_ORG_diary_ind(msg); break;
    case AT_CNF_MMPI: mtr_MELODY_stop_relay(); break;
    default: break;
    }
}
