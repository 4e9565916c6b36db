// The one fixture of the engine's tests: a running engine (kernel, AT task,
// request frame) talking to a phone over a pseudo-terminal, either a
// scripted phone in a thread of the test or the phone simulator, with a
// document, a message screen and a melody screen that record what the
// engine hands them.
//   LinkTest    the kernel, the AT task and a host; polling recorded only.
//   EngineTest  the same with the engine's own polling and the recorders
//               installed (gv_pDoc, gv_pShortMsg).
//   SmsTest     EngineTest whose Start also runs the message set-up.
#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#if __has_include("phonesim_client.h")
#define ZORQ_HAVE_PHONESIM 1
#include "phonesim_client.h"
#endif

#include "ati.h"
#include "engine_host.h"
#include "krn.h"
#include "mmi_doc.h"
#include "mmi_melody.h"
#include "mmi_sms.h"
#include "mtr_frame.h"
#include "mtr_pb.h"
#include "mtr_poll.h"
#include "mtr_setup.h"
#include "mtr_sms.h"
#include "profile.h"
#include "temp_folder.h"
#include "serial.h"

namespace engine_test {


struct fatal_stop {};
inline void throw_stop() { throw fatal_stop{}; }
inline void ignore_box(const char*) {}

// A host without windows: records trace lines and counts pump rounds.
class TestHost : public EngineHost {
public:
    bool DispatchOneMessage() override
    {
        ++rounds;
        if (on_dispatch) {
            auto f = std::move(on_dispatch);
            on_dispatch = nullptr;
            f();
            return true;
        }
        return false;
    }
    int MessageBox(const std::string&, int) override { return 1; }
    int MessageBoxById(int, int) override { return 1; }
    int AskSecurityCode(int) override { return 2; }
    void Trace(const std::string& line) override { trace += line + "\n"; }
    std::string ProgramFolder() override { return folder; }
    std::string FilesFolder() override { return folder; }
    std::string folder;
    std::string trace;
    long rounds = 0;
    std::function<void()> on_dispatch;  // window code run once by the pump
};

// A phone played by a thread: each command line (up to CR) is answered by
// `respond`, whose text is written back at once. With `messages` it also
// takes message bodies the way a phone does: +CMGS/+CMGW get the "> "
// prompt, the body up to Ctrl-Z is kept and answered with a message
// reference (sending) or a place (storing), and a line `respond` leaves
// unanswered gets OK.
class ScriptedPhone {
public:
    explicit ScriptedPhone(std::function<std::string(const std::string&)> respond, bool messages = false)
        : respond_(std::move(respond)), messages_(messages)
    {
        char name[128];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        path_ = name;
        thread_ = std::thread([this] { loop(); });
    }
    ~ScriptedPhone()
    {
        stop_ = true;
        thread_.join();
        close(master_);
        close(slave_);
    }
    const std::string& path() const { return path_; }
    void write(const std::string& bytes) { ::write(master_, bytes.data(), bytes.size()); }
    // The command lines received, each followed by '|'.
    std::string commands()
    {
        std::lock_guard<std::mutex> g(m_);
        return seen_;
    }
    // The command lines received, one an element.
    std::vector<std::string> command_lines()
    {
        std::lock_guard<std::mutex> g(m_);
        return lines_;
    }
    // The message bodies received (without the Ctrl-Z).
    std::vector<std::string> bodies()
    {
        std::lock_guard<std::mutex> g(m_);
        return bodies_;
    }
    // Every byte received, as it came.
    std::string raw()
    {
        std::lock_guard<std::mutex> g(m_);
        return raw_;
    }

private:
    void loop()
    {
        std::string line;
        bool body = false;
        int mr = 7;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buf[512];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard<std::mutex> g(m_);
                raw_.append(buf, static_cast<size_t>(n));
            }
            for (ssize_t i = 0; i < n; ++i) {
                char c = buf[i];
                if (body) {
                    if (c == 0x1A) {
                        bool stored;
                        {
                            std::lock_guard<std::mutex> g(m_);
                            bodies_.push_back(line);
                            stored = lines_.back().rfind("AT+CMGW", 0) == 0;
                        }
                        line.clear();
                        body = false;
                        write(stored ? "\r\n+CMGW: 9\r\n\r\nOK\r\n"
                                     : "\r\n+CMGS: " + std::to_string(mr++) + "\r\n\r\nOK\r\n");
                    } else {
                        line += c;
                    }
                    continue;
                }
                if (c != '\r') {
                    if (c != '\0' && !(messages_ && c == '\n'))
                        line += c;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> g(m_);
                    seen_ += line + "|";
                    lines_.push_back(line);
                }
                if (messages_ && (line.rfind("AT+CMGS=", 0) == 0 || line.rfind("AT+CMGW=", 0) == 0)) {
                    body = true;
                    write("\r\n> ");
                } else {
                    std::string reply = respond_ ? respond_(line) : std::string();
                    if (reply.empty() && messages_)
                        reply = "\r\nOK\r\n";
                    if (!reply.empty())
                        write(reply);
                }
                line.clear();
            }
        }
    }
    std::function<std::string(const std::string&)> respond_;
    bool messages_;
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::string seen_;
    std::vector<std::string> lines_, bodies_;
    std::string raw_;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder no earlier run can have left behind: process numbers come
        // round again on a long run, and a folder named after one could still
        // hold the files of a test that ended without tidying up.
        host.folder = zorqtest::MakeTempFolder("zorq-link-");
        ASSERT_FALSE(host.folder.empty());
        dir_ = host.folder;
        SetIniProfileFile(host.folder);
        engine_set_host(&host);
        krn_reset_for_tests();
        krn_set_fatal_box(ignore_box);
        krn_set_stop_hook(throw_stop);
        ati_use_kernel();
        krn_start();
        krn_start_timer();
        krn_queue_init(&gv_poll_queue);
        gv_bCallMtrPoll = 1;
        gv_SPIO_com_status = SPIO_com_available;
        ati_sms_mode = 1;
        ati_limits = {};
        mtr_set_poll_handler(record_polled);
        polled().clear();
    }
    void TearDown() override
    {
        Close_Serial();
        serial_trace_stop();
        mtr_set_poll_handler(nullptr);
        krn_stop_timer();
        krn_reset_for_tests();
        engine_set_host(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
#ifdef ZORQ_HAVE_PHONESIM
        sim = nullptr;
        sims.clear();
#endif
    }
    // Points COM1 at `device` and opens it.
    int Open(const std::string& device)
    {
        WriteIniProfileString("Ports", "COM1", device);
        return Init_Serial(1);
    }
#ifdef ZORQ_HAVE_PHONESIM
    // Starts a simulator and points COM<port> at it.
    phonesim::Process& Sim(int port, const std::string& scenario = "", int baud = 0)
    {
        sims.push_back(std::make_unique<phonesim::Process>(scenario, baud));
        WriteIniProfileString("Ports", "COM" + std::to_string(port), sims.back()->device());
        return *sims.back();
    }
    // Starts the simulator of COM1 (`sim`) and opens the port.
    void Start(const std::string& scenario = "", int baud = 0)
    {
        sim = &Sim(1, scenario, baud);
        ASSERT_EQ(Init_Serial(1), 1);
    }
    std::string Dump() { return sim->dump(); }
    std::vector<std::unique_ptr<phonesim::Process>> sims;
    phonesim::Process* sim = nullptr;
#endif
    static std::vector<std::vector<uint8_t>>& polled()
    {
        static std::vector<std::vector<uint8_t>> p;
        return p;
    }
    static void record_polled(krn_msg* m) { polled().emplace_back(m, m + 5); }
    TestHost host;
    std::filesystem::path dir_;
};

// Sends a request {0, number, params}; false when another one is running.
inline bool send_request(uint8_t number, std::initializer_list<uint8_t> params = {})
{
    krn_msg* m = nullptr;
    krn_alloc(&m, static_cast<uint16_t>(2 + params.size()));
    m[0] = 0;
    m[1] = number;
    uint8_t* p = m + 2;
    for (uint8_t b : params)
        *p++ = b;
    return mtr_send_request(m);
}

// Sends a request {0, number, params} and waits for its final answer.
inline MTR_RESULT simple_request(uint8_t number, std::initializer_list<uint8_t> params = {})
{
    if (!send_request(number, params))
        return MTR_FAILED;
    return mtr_wait_final();
}

// The battery query: request 33, confirm 166 with the connection status and
// the charge level, then the final OK.
inline MTR_RESULT battery(uint8_t* status, uint8_t* level)
{
    if (!send_request(AT_REQ_CBC))
        return MTR_FAILED;
    krn_msg* d = nullptr;
    MTR_RESULT r = mtr_wait_data(AT_CNF_CBC, &d);
    if (!d)
        return r == MTR_DONE ? MTR_FAILED : r;  // a bare OK carries no values
    *status = d[2];
    *level = d[3];
    krn_free(d);
    return mtr_wait_final();
}

// ---- Recorders of the engine's callbacks ------------------------------------------------

struct Received {
    int storage, index;
};
struct Report {
    int reference;
    std::string number;
    MTR_DATETIME stamp, discharge;
    int status;
};

// The document: indicator, call-status, link and phonebook callbacks as
// event lines; messages, reports, clock, diary and alarm answers as records.
// The feature flags and the version check are the test's to set.
class RecordingDoc : public MmiDoc {
public:
    bool PhonebookFeature() override { return phonebook; }
    bool IsSMSAvailable() const override { return sms; }
    bool IsSMSExtendedAvailable() const override { return extended; }
    bool IsST1Available() const override { return st1; }

    void UpdateStatusDlg(int step) override { add("status " + std::to_string(step)); }
    void mmi_MNGT_registration_ind(int v) override { add("registration " + std::to_string(v)); }
    void mmi_MNGT_operator_name_ind(const std::string& n) override { add("operator " + n); }
    void mmi_MNGT_battery_charge_ind(int v) override { add("battery " + std::to_string(v)); }
    void mmi_MNGT_signal_quality_ind(int v) override { add("signal " + std::to_string(v)); }
    void mmi_MNGT_message_icon_ind(int v) override { add("msgicon " + std::to_string(v)); }
    void mmi_MNGT_edit_mode_ind(int v) override { add("alpha " + std::to_string(v)); }
    void mmi_MNGT_me_storage_ind(int v) override { add("me " + std::to_string(v)); }
    void mmi_MNGT_unread_msg_ind(int v) override { add("unread " + std::to_string(v)); }
    void mmi_MNGT_call_icon_ind(int v) override { add("call " + std::to_string(v)); }
    void mmi_MNGT_roaming_ind(int v) override { add("roam " + std::to_string(v)); }
    void mmi_MNGT_sim_storage_ind(int v) override { add("sim " + std::to_string(v)); }
    void mmi_MNGT_sms_full_ind(int v) override { add("smsfull " + std::to_string(v)); }
    void mmi_MNGT_voice_mail_icon_ind(int v) override { add("voicemail " + std::to_string(v)); }
    void mmi_MNGT_sms_received(int s, int i) override
    {
        add("sms " + std::to_string(s) + " " + std::to_string(i));
        received.push_back({s, i});
    }
    void mmi_MNGT_report_received(int ref, const std::string& number, const MTR_DATETIME& stamp,
                                  const MTR_DATETIME& discharge, int status) override
    {
        add("report " + std::to_string(ref) + " " + number + " " + std::to_string(status));
        reports.push_back({ref, number, stamp, discharge, status});
    }
    void mmi_TestComWithMobile() override { add("link " + std::to_string(gv_SPIO_com_status)); }
    void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name, uint8_t) override
    {
        add("entry " + std::to_string(place) + " " + number + " " + name);
    }
    void mmi_PB_read_range_end_cnf() override { add("end"); }

    void mmi_CLK_read_date_time_cnf(const MTR_DATETIME& when) override { clock_reports.push_back(when); }
    void mmi_GEN_void_cnf(int index) override { diary_alarms.push_back(index); }
    void mmi_ORG_read_diary_cnf(uint8_t index, const MTR_DATETIME& when, const char* text, uint8_t a, uint8_t b,
                                uint8_t c) override
    {
        cards.push_back({index, when, text, a, b, c});
    }
    void mmi_ALA_get_alarm_cnf(uint8_t kind, uint16_t state, const MTR_DATETIME& time) override
    {
        alarms.push_back({kind, state, time});
    }
    std::string GetVxdFileName() override { return vxd; }
    void CheckMobileVersion() override
    {
        ++version_checks;
        if (on_version)
            on_version();
    }

    void add(const std::string& s) { events.push_back(s); }
    bool has(const std::string& s) const
    {
        for (const auto& e : events)
            if (e == s)
                return true;
        return false;
    }
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0)
                ++n;
        return n;
    }
    std::string all() const
    {
        std::string s;
        for (const auto& e : events)
            s += e + "; ";
        return s;
    }

    struct card {
        uint8_t index;
        MTR_DATETIME when;
        std::string text;
        uint8_t a, b, c;
    };
    struct alarm {
        uint8_t kind;
        uint16_t state;
        MTR_DATETIME time;
    };
    bool phonebook = true, sms = true, extended = true, st1 = true;
    std::vector<std::string> events;
    std::vector<Received> received;
    std::vector<Report> reports;
    std::vector<MTR_DATETIME> clock_reports;
    std::vector<int> diary_alarms;
    std::vector<card> cards;
    std::vector<alarm> alarms;
    std::string vxd;
    int version_checks = 0;
    std::function<void()> on_version;
};

struct RecordingMelodyView : MmiMelodyView {
    void mmi_MELODY_add_melody(const std::string& header, const std::string& notes) override
    {
        melodies.emplace_back(header, notes);
    }
    void mmi_MELODY_stop_ind() override { ++stops; }
    std::vector<std::pair<std::string, std::string>> melodies;
    int stops = 0;
};

struct Entry {
    bool listed;
    int index;
    SMS_SETTINGS settings;
    std::string text, number, sca;
    MTR_DATETIME stamp;
};

class FakeScreen : public MmiShortMsg {
public:
    void mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* s, const char* text, size_t len, const char* number,
                         const MTR_DATETIME& stamp, const char* sca) override
    {
        entries.push_back({false, index, *s, std::string(text, len), number, sca, stamp});
    }
    void mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS* s, const char* text, size_t len, const char* number,
                         const MTR_DATETIME& stamp, const char* sca) override
    {
        entries.push_back({true, index, *s, std::string(text, len), number, sca, stamp});
    }
    std::vector<Entry> entries;
};

class TestMessage : public SmsMessage {
public:
    int GetStatus() const override { return status; }
    std::string GetText() const override { return text; }
    int GetDcs() const override { return dcs; }
    MTR_DATETIME GetDate() const override { return date; }
    int CountRecipients() const override { return static_cast<int>(recipients.size()); }
    std::string GetRecipientNumber(int i) const override { return recipients.at(static_cast<size_t>(i)); }
    std::string GetServiceCentre() const override { return sca; }
    int GetFormat() const override { return format; }
    int GetValidity() const override { return validity; }
    int GetReplyPath() const override { return reply_path; }
    int GetStatusReport() const override { return report; }
    uint8_t GetConcatRef() const override { return ref; }
    int status = 2, dcs = 0, format = 0, validity = 2, reply_path = 0, report = 0;
    uint8_t ref = 0;
    std::string text, sca;
    MTR_DATETIME date;
    std::vector<std::string> recipients;
};

class TestProfile : public SmsProfile {
public:
    int GetIndex() const override { return index; }
    int GetFormat() const override { return format; }
    int GetValidity() const override { return validity; }
    std::string GetDialNumber() const override { return sms_dial_number(number); }
    void SetNumber(const std::string& n) override { number = n; }
    void SetParameters(const SMS_PARAMETERS& p) override
    {
        format = p.format;
        validity = p.validity;
        ++set_count;
    }
    int index = 1, format = 0, validity = 2, set_count = 0;
    std::string number;
};

// ---- The engine with its recorders ----------------------------------------------------------

class EngineTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        gv_pDoc = &doc;
        gv_pShortMsg = &screen;
        gv_pMelodyView = nullptr;
        // Polling as the engine runs it, with the relays mtr_init installs.
        mtr_set_poll_handler(nullptr);
        mtr_poll_reset();
        mtr_PB_reset();
        mtr_set_link_test(nullptr);
        for (uint8_t cnf : {AT_CNF_MALI, AT_CNF_MCLK, AT_CNF_MDRI, AT_CNF_MMPI})
            mtr_set_indication_handler(cnf, mtr_setup_indication);
    }
    void TearDown() override
    {
        gv_pDoc = nullptr;
        gv_pShortMsg = nullptr;
        gv_pMelodyView = nullptr;
        mtr_poll_stop();
        mtr_poll_reset();
        LinkTest::TearDown();
    }
    // Lets the engine run idle (ticks, port, polling) until `done` or `ms`.
    template <typename F>
    bool IdleUntil(F done, int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            if (krn_mbx_empty(KRN_TASK_MAIN)) {
                mtr_pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            mtr_idle();
        }
        return true;
    }
    // Lets unsolicited results that the phone sent reach the document.
    void Settle(size_t want_received, size_t want_reports)
    {
        for (int k = 0; k < 40 && (doc.received.size() < want_received || doc.reports.size() < want_reports); ++k) {
            simple_request(AT_REQ_AT);
            usleep(20000);
        }
    }
#ifdef ZORQ_HAVE_PHONESIM
    // Points every port of 1..6 not yet mapped at a device that does not exist.
    void NoOtherPorts()
    {
        for (int p = 1; p <= 6; ++p)
            if (GetIniProfileString("Ports", "COM" + std::to_string(p), "").empty())
                WriteIniProfileString("Ports", "COM" + std::to_string(p), "/dev/zorq-absent-" + std::to_string(p));
    }
    // Opens the phone of COM1 with the link up.
    phonesim::Process& Phone(const std::string& scenario = "")
    {
        phonesim::Process& s = Sim(1, scenario);
        EXPECT_EQ(Init_Serial(1), 1);
        gv_SPIO_com_status = SPIO_com_available;
        return s;
    }
#endif
    // Conversion tables in the Files folder (identity for ASCII), as the
    // program folder holds them.
    void WriteTables(size_t gsm_size = 128, size_t win_size = 256)
    {
        std::string g, w;
        for (size_t i = 0; i < gsm_size; ++i)
            g += static_cast<char>(i);
        for (size_t i = 0; i < win_size; ++i)
            w += static_cast<char>(i < 128 ? i : '?');
        std::ofstream(host.folder + "GSMToWin.cvt", std::ios::binary) << g;
        std::ofstream(host.folder + "WinToGSM.cvt", std::ios::binary) << w;
    }
    RecordingDoc doc;
    RecordingMelodyView view;
    FakeScreen screen;
    SMS_STORAGE_INFO info;
};

#ifdef ZORQ_HAVE_PHONESIM
// The short-message requests: Start also runs the message set-up.
class SmsTest : public EngineTest {
protected:
    void Start(const std::string& scenario = "", bool setup = true)
    {
        EngineTest::Start(scenario);
        if (setup) {
            ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
        }
    }
};

// What the simulator's state dump says about a key (the lines starting with it).
inline std::string dump_lines(phonesim::Process& sim, const std::string& prefix)
{
    std::string all = sim.dump(), out;
    size_t at = 0;
    while (at < all.size()) {
        size_t e = all.find('\n', at);
        std::string line = all.substr(at, e - at);
        if (line.rfind(prefix, 0) == 0)
            out += line + "\n";
        if (e == std::string::npos)
            break;
        at = e + 1;
    }
    return out;
}
#endif

}  // namespace engine_test
