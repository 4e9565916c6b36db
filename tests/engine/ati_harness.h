// Drives the AT interpreter task without a running kernel: the harness plays
// the kernel services the task uses (pools, mailboxes, timers), feeds it
// requests and serial bytes, and collects what it sends to task 0.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ati.h"

class AtiHarness {
public:
    AtiHarness();   // fresh task state, link up, identity character set
    ~AtiHarness();  // releases every block still allocated

    // Queues a request {0, number, params...} for the task.
    void request(uint8_t number, const std::vector<uint8_t>& params = {});
    // Queues serial-input messages of at most `chunk` bytes.
    void feed(const std::string& bytes, size_t chunk = 128);
    // Runs the task until its input is used up.
    void run();
    // Queues the running timer of this kind as expired (false when none runs).
    bool expire(uint16_t number);
    bool timer_running(uint16_t number) const;
    uint32_t timer_ticks(uint16_t number) const;  // of the running one, 0 if none

    // Command text sent to task 0 since the last call ("<BREAK>" for a line
    // break), and the confirms sent meanwhile (whole messages).
    std::string output();
    std::vector<std::vector<uint8_t>> confirms();
    // Confirms only, as "number" or "230/code" strings, e.g. "166 229".
    std::string confirm_summary();

    size_t live_blocks() const { return live_.size(); }
    bool fail_try_alloc = false;

    // --- kernel services (static trampolines use the current harness) ---
    struct Timer {
        krn_msg* msg;
        uint32_t ticks = 0;
        bool cyclic = false;
        enum State { IDLE, RUNNING, QUEUED, HELD, DONE } state = IDLE;
    };
    krn_msg* alloc(uint16_t size);
    void release(krn_msg* m);
    std::deque<krn_msg*> inbox_;
    std::vector<krn_msg*> to_main_;
    std::map<krn_msg*, uint16_t> live_;
    std::map<krn_msg*, Timer*> timers_;
    std::vector<Timer*> timer_records_;
    std::vector<std::vector<uint8_t>> pending_confirms_;
    void collect();
};

// A request parameter helper: a length-prefixed text.
std::vector<uint8_t> lp(const std::string& text);
// Concatenates parameter pieces.
std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts);
