// Shared fixture of the kernel tests: a fresh kernel per test, fatal errors
// observed through the hooks (the stop hook throws back into the test), and
// a scriptable ATI task.
#pragma once

#include "krn.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace krn_test {

struct fatal_stop {};

inline std::string& box_text()
{
    static std::string text;
    return text;
}

inline void record_box(const char* text) { box_text() = text; }
inline void throw_stop() { throw fatal_stop{}; }

// What the test ATI task saw, and what it does with each message.
inline std::vector<uint16_t>& ati_seen()
{
    static std::vector<uint16_t> seen;
    return seen;
}

inline std::function<void(krn_msg*)>& ati_handler()
{
    static std::function<void(krn_msg*)> handler;
    return handler;
}

inline void ati_entry()
{
    for (;;) {
        krn_msg* m = nullptr;
        krn_receive(KRN_TASK_ATI, &m);
        ati_seen().push_back(krn_msg_number(m));
        if (ati_handler())
            ati_handler()(m);
        krn_free(m);
    }
}

inline krn_msg* make_msg(uint16_t number, uint16_t size = 8)
{
    krn_msg* m = nullptr;
    krn_alloc(&m, size);
    krn_set_msg_number(m, number);
    return m;
}

// Takes every message waiting for task 0 and returns their numbers.
inline std::vector<uint16_t> drain_main()
{
    std::vector<uint16_t> numbers;
    while (!krn_mbx_empty(KRN_TASK_MAIN)) {
        krn_msg* m = nullptr;
        krn_receive(KRN_TASK_MAIN, &m);
        numbers.push_back(krn_msg_number(m));
        krn_free(m);
    }
    return numbers;
}

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        krn_reset_for_tests();
        krn_set_fatal_box(record_box);
        krn_set_stop_hook(throw_stop);
        box_text().clear();
        ati_seen().clear();
        ati_handler() = nullptr;
    }

    void TearDown() override
    {
        krn_reset_for_tests();
        ati_handler() = nullptr;
    }

    void StartWithAti()
    {
        krn_set_ati_entry(ati_entry);
        krn_start();
    }

    // Runs f, which must end in a fatal error, and returns the error record.
    template <typename F>
    krn_error_record ExpectFatal(F f)
    {
        bool stopped = false;
        try {
            f();
        } catch (const fatal_stop&) {
            stopped = true;
        }
        EXPECT_TRUE(stopped) << "no fatal error";
        return krn_last_error();
    }
};

}  // namespace krn_test
