// A running engine (kernel, AT task, request frame) talking to a phone over
// a pseudo-terminal: either a scripted phone in a thread of the test or the
// phone simulator.
#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ati.h"
#include "engine_host.h"
#include "krn.h"
#include "mtr_frame.h"
#include "profile.h"
#include "serial.h"

namespace link_test {

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
// `respond`, whose text is written back at once.
class ScriptedPhone {
public:
    explicit ScriptedPhone(std::function<std::string(const std::string&)> respond) : respond_(std::move(respond))
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
    std::string commands()
    {
        std::lock_guard<std::mutex> g(m_);
        return seen_;
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
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buf[256];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard<std::mutex> g(m_);
                raw_.append(buf, static_cast<size_t>(n));
            }
            for (ssize_t i = 0; i < n; ++i) {
                char c = buf[i];
                if (c == '\r') {
                    {
                        std::lock_guard<std::mutex> g(m_);
                        seen_ += line + "|";
                    }
                    std::string reply = respond_(line);
                    if (!reply.empty())
                        ::write(master_, reply.data(), reply.size());
                    line.clear();
                } else if (c != '\0') {
                    line += c;
                }
            }
        }
    }
    std::function<std::string(const std::string&)> respond_;
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::string seen_;
    std::string raw_;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("zorq-link-" + std::to_string(getpid()) + "-" + std::to_string(++counter()));
        std::filesystem::create_directories(dir_);
        host.folder = dir_.string() + "/";
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
    }
    // Points COM1 at `device` and opens it.
    int Open(const std::string& device)
    {
        WriteIniProfileString("Ports", "COM1", device);
        return Init_Serial(1);
    }
    static std::vector<std::vector<uint8_t>>& polled()
    {
        static std::vector<std::vector<uint8_t>> p;
        return p;
    }
    static void record_polled(krn_msg* m) { polled().emplace_back(m, m + 5); }
    static int& counter()
    {
        static int c = 0;
        return c;
    }
    TestHost host;
    std::filesystem::path dir_;
};

// Sends a request {0, number, params} and waits for its final answer.
inline MTR_RESULT simple_request(uint8_t number, std::initializer_list<uint8_t> params = {})
{
    krn_msg* m = nullptr;
    krn_alloc(&m, static_cast<uint16_t>(2 + params.size()));
    m[0] = 0;
    m[1] = number;
    uint8_t* p = m + 2;
    for (uint8_t b : params)
        *p++ = b;
    if (!mtr_send_request(m))
        return MTR_FAILED;
    return mtr_wait_final();
}

// The battery query: request 33, confirm 166 with the connection status and
// the charge level, then the final OK.
inline MTR_RESULT battery(uint8_t* status, uint8_t* level)
{
    krn_msg* m = nullptr;
    krn_alloc(&m, 2);
    m[0] = 0;
    m[1] = AT_REQ_CBC;
    if (!mtr_send_request(m))
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

}  // namespace link_test
