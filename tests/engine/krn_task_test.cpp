#include "krn_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace krn_test;

namespace {

using KernelTaskTest = KernelTest;

TEST(KernelPriorityBits, FollowTheByteLayout)
{
    EXPECT_EQ(krn_priority_bit(1), 0x01000000u);
    EXPECT_EQ(krn_priority_bit(4), 0x08000000u);
    EXPECT_EQ(krn_priority_bit(6), 0x20000000u);
    EXPECT_EQ(krn_priority_bit(8), 0x80000000u);
    EXPECT_EQ(krn_priority_bit(9), 0x00010000u);
    EXPECT_EQ(krn_priority_bit(17), 0x00000100u);
    EXPECT_EQ(krn_priority_bit(25), 0x00000001u);
    EXPECT_EQ(krn_priority_bit(32), 0x00000080u);
    EXPECT_EQ(krn_priority_bit(0), 0u);
    EXPECT_EQ(krn_priority_bit(33), 0u);
}

TEST_F(KernelTaskTest, StartLeavesTimeAndAtiWaiting)
{
    StartWithAti();
    EXPECT_EQ(krn_running_task(), KRN_TASK_MAIN);
    EXPECT_EQ(krn_task_state(KRN_TASK_MAIN), 'E');
    EXPECT_EQ(krn_task_state(KRN_TASK_TIME), 'W');
    EXPECT_EQ(krn_event_waiter(0), KRN_TASK_TIME);
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
    EXPECT_EQ(krn_mbx_owner(KRN_TASK_ATI), KRN_TASK_ATI);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_ATI));
    EXPECT_EQ(krn_ready_mask(), 0u);
    EXPECT_TRUE(ati_seen().empty());
}

TEST_F(KernelTaskTest, SendToAtiReturnsOnlyAfterAtiBlockedAgain)
{
    uint8_t running_in_ati = 0xFF;
    uint32_t mask_in_ati = 0;
    char main_state_in_ati = 0;
    ati_handler() = [&](krn_msg*) {
        running_in_ati = krn_running_task();
        mask_in_ati = krn_ready_mask();
        main_state_in_ati = krn_task_state(KRN_TASK_MAIN);
    };
    StartWithAti();
    krn_send(KRN_TASK_ATI, make_msg(0x0005));
    // ATI ran inside the send, preempting task 0, which waited ready.
    ASSERT_EQ(ati_seen(), std::vector<uint16_t>{0x0005});
    EXPECT_EQ(running_in_ati, KRN_TASK_ATI);
    EXPECT_EQ(mask_in_ati, krn_priority_bit(32));
    EXPECT_EQ(main_state_in_ati, 'R');
    // And it is blocked again on its empty mailbox.
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
    EXPECT_EQ(krn_running_task(), KRN_TASK_MAIN);
    EXPECT_EQ(krn_ready_mask(), 0u);
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTaskTest, SendFromAtiToMainDoesNotSwitch)
{
    uint8_t running_after_send = 0xFF;
    bool main_mailbox_filled = false;
    ati_handler() = [&](krn_msg* m) {
        krn_send(KRN_TASK_MAIN, make_msg(static_cast<uint16_t>(krn_msg_number(m) + 0xE0)));
        running_after_send = krn_running_task();
        main_mailbox_filled = !krn_mbx_empty(KRN_TASK_MAIN);
    };
    StartWithAti();
    // Task 0 owns its mailbox once it has received from it.
    krn_send(KRN_TASK_MAIN, make_msg(1));
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{1});
    ASSERT_EQ(krn_mbx_owner(KRN_TASK_MAIN), KRN_TASK_MAIN);

    krn_send(KRN_TASK_ATI, make_msg(0x0005));
    EXPECT_EQ(running_after_send, KRN_TASK_ATI);
    EXPECT_TRUE(main_mailbox_filled);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x00E5});
}

TEST_F(KernelTaskTest, PartialEventBitsKeepTheWaiterWaiting)
{
    int woken = 0;
    ati_handler() = [&](krn_msg*) {
        krn_event_wait(1, 0x03);
        ++woken;
    };
    StartWithAti();
    krn_send(KRN_TASK_ATI, make_msg(7));
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
    EXPECT_EQ(krn_event_waiter(1), KRN_TASK_ATI);

    krn_event_set(1, 0x01);
    EXPECT_EQ(woken, 0);
    EXPECT_EQ(krn_event_waiter(1), KRN_TASK_ATI);

    krn_event_set(1, 0x02);  // all bits now: ATI runs at once
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(krn_event_waiter(1), -1);
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');

    // The awaited bits were consumed: the next wait blocks again.
    krn_send(KRN_TASK_ATI, make_msg(8));
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(krn_event_waiter(1), KRN_TASK_ATI);
    krn_event_set(1, 0x03);
    EXPECT_EQ(woken, 2);
}

TEST_F(KernelTaskTest, EqualPrioritiesRunInReadinessOrder)
{
    // TIME is created (made ready) before ATI. With equal priorities TIME runs
    // first and is already waiting when ATI starts.
    char time_state_at_ati_start = 0;
    static char* observed;
    observed = &time_state_at_ati_start;
    krn_set_task_priority_for_tests(KRN_TASK_ATI, 4);
    krn_set_ati_entry([] {
        *observed = krn_task_state(KRN_TASK_TIME);
        ati_entry();
    });
    krn_start();
    EXPECT_EQ(time_state_at_ati_start, 'W');

    // With ATI the more urgent, ATI runs first although TIME was ready first.
    krn_reset_for_tests();
    krn_set_task_priority_for_tests(KRN_TASK_ATI, 2);
    krn_set_ati_entry([] {
        *observed = krn_task_state(KRN_TASK_TIME);
        ati_entry();
    });
    krn_start();
    EXPECT_EQ(time_state_at_ati_start, 'R');
    EXPECT_EQ(krn_task_state(KRN_TASK_TIME), 'W');
}

TEST_F(KernelTaskTest, EqualPriorityDoesNotPreempt)
{
    krn_set_task_priority_for_tests(KRN_TASK_ATI, 32);
    StartWithAti();
    krn_send(KRN_TASK_ATI, make_msg(3));
    // Made ready behind task 0, not run.
    EXPECT_TRUE(ati_seen().empty());
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'R');
    EXPECT_EQ(krn_ready_mask(), krn_priority_bit(32));
    EXPECT_EQ(krn_running_task(), KRN_TASK_MAIN);
}

TEST_F(KernelTaskTest, SecondStartIsFatal)
{
    StartWithAti();
    krn_error_record e = ExpectFatal([] { krn_start(); });
    EXPECT_EQ(e.code, KRN_ERR_SECOND_START);
    EXPECT_EQ(e.cls, 1);
    EXPECT_EQ(e.task, KRN_TASK_MAIN);
    EXPECT_EQ(box_text(), "Error 4448");
    // The running kernel was not rebuilt before stopping.
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
}

TEST_F(KernelTaskTest, MainTaskNeverBlocksInReceive)
{
    StartWithAti();
    krn_error_record e = ExpectFatal([] {
        krn_msg* m = nullptr;
        krn_receive(KRN_TASK_MAIN, &m);
    });
    EXPECT_EQ(e.code, KRN_ERR_WOULD_BLOCK);
    EXPECT_EQ(e.extra, KRN_TASK_MAIN);
    EXPECT_EQ(e.task, KRN_TASK_MAIN);
}

TEST_F(KernelTaskTest, FatalInsideAtiStopsFromMainAndKernelRestarts)
{
    ati_handler() = [](krn_msg*) {
        krn_msg* m = nullptr;
        krn_alloc(&m, 0);
    };
    StartWithAti();
    krn_error_record e = ExpectFatal([] { krn_send(KRN_TASK_ATI, make_msg(9)); });
    EXPECT_EQ(e.task, KRN_TASK_ATI);
    EXPECT_EQ(e.code, KRN_ERR_SIZE_ZERO);
    EXPECT_EQ(box_text(), "Error 4146");
    EXPECT_EQ(krn_running_task(), KRN_TASK_MAIN);

    // A fresh kernel runs normally on the same stacks.
    krn_reset_for_tests();
    ati_seen().clear();
    ati_handler() = nullptr;
    StartWithAti();
    krn_send(KRN_TASK_ATI, make_msg(10));
    EXPECT_EQ(ati_seen(), std::vector<uint16_t>{10});
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTaskTest, TimeWokenWithoutTimersIsFatal)
{
    StartWithAti();
    krn_error_record e = ExpectFatal([] { krn_event_set(0, 1); });
    EXPECT_EQ(e.task, KRN_TASK_TIME);
    EXPECT_EQ(e.code, KRN_ERR_TIMER_NO_TIMERS);
}

TEST_F(KernelTaskTest, LockKeepsASecondThreadOut)
{
    StartWithAti();
    std::atomic<bool> entered{false};
    std::thread other;
    {
        krn_lock_guard guard;
        other = std::thread([&] {
            krn_lock_guard inner;
            entered = true;
        });
        // Kernel calls from the holder nest, switches included.
        krn_send(KRN_TASK_ATI, make_msg(4));
        EXPECT_EQ(ati_seen(), std::vector<uint16_t>{4});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(entered.load());
    }
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST_F(KernelTaskTest, AnotherThreadCanActAsTaskZero)
{
    // The message-sending worker calls requests from its own thread: the
    // tasks then run on that thread, one thread at a time.
    std::thread::id ati_thread;
    ati_handler() = [&](krn_msg* m) {
        ati_thread = std::this_thread::get_id();
        krn_send(KRN_TASK_MAIN, make_msg(static_cast<uint16_t>(krn_msg_number(m) + 1)));
    };
    StartWithAti();
    std::thread::id worker_id;
    std::thread worker([&] {
        worker_id = std::this_thread::get_id();
        krn_lock_guard guard;
        krn_send(KRN_TASK_ATI, make_msg(0x0010));
    });
    worker.join();
    EXPECT_EQ(ati_thread, worker_id);
    // Back on this thread, the same tasks go on.
    krn_send(KRN_TASK_ATI, make_msg(0x0020));
    EXPECT_EQ(ati_thread, std::this_thread::get_id());
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{0x0011, 0x0021}));
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
}

TEST_F(KernelTaskTest, FatalKeepsTheLockUntilReset)
{
    StartWithAti();
    ExpectFatal([] { krn_start(); });
    std::atomic<bool> entered{false};
    std::thread other([&] {
        krn_mbx_empty(KRN_TASK_ATI);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    krn_reset_for_tests();
    other.join();
    EXPECT_TRUE(entered.load());
}

}  // namespace
