#include "krn_fixture.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace krn_test;

namespace {

class KernelTimerTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        StartWithAti();
    }

    // One tick step with the tick flag raised, as the 10 ms source would.
    static void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            krn_timer_callback();
            RearmTickTimer();
        }
    }

    static krn_timer* Start(uint16_t number, uint32_t ticks, bool cyclic, uint8_t task = KRN_TASK_MAIN,
                            krn_msg** msg = nullptr)
    {
        krn_msg* m = nullptr;
        krn_timer_alloc(&m, 6);
        krn_set_msg_number(m, number);
        if (msg != nullptr)
            *msg = m;
        return krn_timer_start(m, ticks, cyclic ? 1 : 0, task);
    }
};

TEST_F(KernelTimerTest, OneShotExpiresAfterItsTicksAndFrees)
{
    krn_msg* m = nullptr;
    Start(0x0205, 10, false, KRN_TASK_MAIN, &m);
    EXPECT_EQ(krn_pool_free(0), 99);
    EXPECT_EQ(krn_msg_size(m), 8);  // 6 rounded up
    Tick(9);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0205});
    EXPECT_EQ(krn_pool_free(0), 100);
    Tick(20);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
}

TEST_F(KernelTimerTest, EqualOneShotsExpireTogetherInStartOrder)
{
    Start(0x0201, 50, false);
    Start(0x0202, 50, false);
    Start(0x0204, 20, false);
    Start(0x0205, 50, false);
    Tick(20);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0204});
    Tick(29);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{0x0201, 0x0202, 0x0205}));
}

TEST_F(KernelTimerTest, CyclicJoinsPartnersNextExpiryWhenTooEarly)
{
    Start(0x0201, 100, true);
    Tick(30);
    Start(0x0202, 100, true);  // partner due in 70 < 90 ticks: join at 170
    Tick(70);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0201});  // re-armed on receipt
    Tick(99);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{0x0202, 0x0201}));
    Tick(99);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{0x0202, 0x0201}));
    EXPECT_EQ(krn_pool_free(0), 98);  // cyclic messages stay with their timers
}

TEST_F(KernelTimerTest, CyclicJoinsPartnerDueAfterNinetyPercent)
{
    Start(0x0201, 100, true);
    Tick(5);
    Start(0x0202, 100, true);  // partner due in 95 >= 90: expire with it
    Tick(94);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{0x0201, 0x0202}));
}

TEST_F(KernelTimerTest, CyclicPeriodCountsFromReceipt)
{
    Start(0x0201, 10, true);
    Tick(10);
    Tick(5);  // expiry waits in the mailbox; the timer is not running
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0201});
    Tick(9);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0201});
}

TEST_F(KernelTimerTest, StoppingTheHeadKeepsTheNextExpiry)
{
    krn_timer* a = Start(0x0201, 50, false);
    Start(0x0202, 80, false);
    Tick(20);
    krn_timer_stop(a);
    EXPECT_EQ(krn_pool_free(0), 99);
    Tick(59);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0202});
}

TEST_F(KernelTimerTest, StoppingAMiddleTimerKeepsTheLaterExpiry)
{
    Start(0x0201, 10, false);
    krn_timer* b = Start(0x0202, 30, false);
    Start(0x0204, 60, false);
    Tick(5);
    krn_timer_stop(b);
    Tick(5);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0201});
    Tick(49);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0204});
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTimerTest, StoppingAnExpiredOneShotTakesItOutOfTheMailbox)
{
    krn_send(KRN_TASK_MAIN, make_msg(0x0001));
    krn_timer* t = Start(0x0205, 3, false);
    krn_send(KRN_TASK_MAIN, make_msg(0x0002));
    Tick(3);
    krn_send(KRN_TASK_MAIN, make_msg(0x0003));
    krn_timer_stop(t);
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTimerTest, StoppingACyclicTimerHeldByItsReceiver)
{
    krn_timer* t = Start(0x0202, 5, true);
    Tick(5);
    krn_msg* m = nullptr;
    krn_receive(KRN_TASK_MAIN, &m);  // re-armed, held
    krn_timer_stop(t);
    EXPECT_EQ(krn_pool_free(0), 99);  // still the receiver's
    Tick(10);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    // Stopping it again is a fault.
    krn_error_record e = ExpectFatal([&] { krn_timer_stop(t); });
    EXPECT_EQ(e.code, KRN_ERR_TIMER_STOP_STATE);
    EXPECT_EQ(e.extra, 'S');
    krn_reset_for_tests();
}

TEST_F(KernelTimerTest, ACyclicExpiryStillHeldByItsReceiverTakesInTheNextOnes)
{
    // The receiver sets the expiry aside in a queue of its own for longer
    // than the period: the block is not sent again while it is held there.
    krn_msg* m = nullptr;
    Start(0x0202, 5, true, KRN_TASK_MAIN, &m);
    Tick(5);
    krn_msg* held = nullptr;
    krn_receive(KRN_TASK_MAIN, &held);
    ASSERT_EQ(held, m);
    krn_queue aside;
    krn_queue_init(&aside);
    krn_send(KRN_TASK_MAIN, make_msg(0x0001));
    krn_msg* other = nullptr;
    krn_receive(KRN_TASK_MAIN, &other);
    krn_queue_put_front(&aside, other);
    krn_queue_put_front(&aside, held);
    Tick(17);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    ASSERT_EQ(krn_queue_count(&aside), 2);
    EXPECT_EQ(krn_queue_first(&aside), held);
    EXPECT_EQ(krn_queue_next(&aside, held), other);
    EXPECT_EQ(krn_queue_next(&aside, other), nullptr);
    // Once handled and freed, it expires again a period after the last
    // folded expiry.
    krn_queue_remove(&aside, held);
    krn_free(held);
    krn_free(krn_queue_take_back(&aside));
    Tick(3);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0202});
    Tick(5);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0202});
    EXPECT_EQ(krn_pool_free(0), 99);  // only the running timer's block
}

TEST_F(KernelTimerTest, StoppingAReceivedOneShotLeavesItToItsHolder)
{
    krn_timer* t = Start(0x0205, 2, false);
    Tick(2);
    krn_msg* m = nullptr;
    krn_receive(KRN_TASK_MAIN, &m);
    krn_timer_stop(t);
    EXPECT_EQ(krn_pool_free(0), 99);
    krn_free(m);
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTimerTest, FreeingARunningTimerMessageKeepsItRunning)
{
    krn_msg* m = nullptr;
    Start(0x0201, 4, false, KRN_TASK_MAIN, &m);
    krn_free(m);
    EXPECT_EQ(krn_pool_free(0), 99);
    Tick(4);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0201});
}

TEST_F(KernelTimerTest, TimeDeliversBeforeAtiRuns)
{
    Start(0x0210, 3, false, KRN_TASK_ATI);
    Start(0x0211, 3, false, KRN_TASK_ATI);
    Tick(2);
    EXPECT_TRUE(ati_seen().empty());
    Tick();  // both handled inside the tick step, in mailbox order
    EXPECT_EQ(ati_seen(), (std::vector<uint16_t>{0x0210, 0x0211}));
    EXPECT_EQ(krn_task_state(KRN_TASK_ATI), 'W');
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelTimerTest, NoTickStepMeansNoExpiryAndAPauseCountsOneTick)
{
    Start(0x0205, 3, false);
    for (int i = 0; i < 50; ++i)
        krn_timer_callback();  // the source fired, the thread was busy
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    RearmTickTimer();  // one tick
    RearmTickTimer();  // no new signal: no tick
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    Tick();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0205});
}

TEST_F(KernelTimerTest, RealTickSourceSignalsThroughItsDescriptor)
{
    EXPECT_EQ(krn_tick_fd(), -1);
    Start(0x0205, 2, false);
    krn_start_timer();
    const int fd = krn_tick_fd();
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    RearmTickTimer();  // a long pause: one tick only
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);  // re-armed for the next tick
    RearmTickTimer();
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0205});
    krn_stop_timer();
    EXPECT_EQ(krn_tick_fd(), -1);
}

// Steps the tick each time the real source signals, as the program's loop
// does, until the main mailbox holds something or `limit_ms` passes. The
// number of signals seen and the time taken.
struct RealRun {
    int signals = 0;
    double ms = 0;
};

RealRun RunRealTicks(int limit_ms)
{
    RealRun run;
    const auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    };
    while (krn_mbx_empty(KRN_TASK_MAIN) && elapsed() < limit_ms) {
        pollfd p{krn_tick_fd(), POLLIN, 0};
        if (poll(&p, 1, 20) == 1) {
            ++run.signals;
            RearmTickTimer();
        }
    }
    run.ms = elapsed();
    return run;
}

TEST_F(KernelTimerTest, TheSourceSleepsThroughTheCountdownAndStaysQuietWithoutTimers)
{
    krn_start_timer();
    const int fd = krn_tick_fd();
    ASSERT_GE(fd, 0);
    // No timer runs: nothing signals.
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 60), 0);

    // A 30-tick timer is due after 300 ms, not before, and the source
    // signals once for the whole run instead of thirty times.
    Start(0x0205, 30, false);
    RealRun run = RunRealTicks(2000);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0205});
    EXPECT_GE(run.ms, 295);
    EXPECT_LT(run.ms, 1500);
    EXPECT_LE(run.signals, 2);
    EXPECT_EQ(poll(&p, 1, 60), 0) << "unarmed again once the last timer expired";
    krn_stop_timer();
}

TEST_F(KernelTimerTest, ATimerStartedMidWayKeepsTheRunningOneOnTime)
{
    krn_start_timer();
    ASSERT_GE(krn_tick_fd(), 0);
    const auto t0 = std::chrono::steady_clock::now();
    Start(0x0205, 40, false);  // due at 400 ms
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Start(0x0206, 10, false);  // due at 250 ms: becomes the head
    RealRun first = RunRealTicks(2000);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0206});
    RealRun second = RunRealTicks(2000);
    EXPECT_EQ(drain_main(), std::vector<uint16_t>{0x0205});
    const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    // Ten ticks from a start that falls between two ticks: at least nine
    // whole ones (an expiry early by less than a tick is the clock's grain).
    EXPECT_GE(first.ms, 89);
    // The first timer's 150 ms before the second began are not counted twice
    // nor lost: it still ends about 400 ms after its start (losing them would
    // give 550). How late the loop saw the second expiry tells how loaded the
    // machine is; the bound allows for that.
    const double late = std::max(0.0, first.ms - 100);
    EXPECT_GE(total, 395);
    EXPECT_LT(total, 500 + 2 * late);
    EXPECT_LE(first.signals + second.signals, 4);
    krn_stop_timer();
}

TEST_F(KernelTimerTest, MisuseIsFatal)
{
    krn_msg* m = nullptr;
    krn_timer_alloc(&m, 2);
    krn_error_record e = ExpectFatal([&] { krn_timer_start(m, 0, 0, KRN_TASK_MAIN); });
    EXPECT_EQ(e.code, KRN_ERR_TIMER_ZERO);

    krn_reset_for_tests();
    StartWithAti();
    krn_start_timer();
    ASSERT_GE(krn_tick_fd(), 0);
    krn_timer_alloc(&m, 2);
    krn_timer_start(m, 5, 0, KRN_TASK_MAIN);
    e = ExpectFatal([&] { krn_timer_start(m, 5, 0, KRN_TASK_MAIN); });
    EXPECT_EQ(e.code, KRN_ERR_TIMER_NOT_ALLOC);
    EXPECT_EQ(e.extra, 'R');
    // A fatal error stops the tick source.
    EXPECT_EQ(krn_tick_fd(), -1);

    krn_reset_for_tests();
    StartWithAti();
    e = ExpectFatal([] {
        krn_msg* big = nullptr;
        krn_timer_alloc(&big, 1984);
    });
    EXPECT_EQ(e.code, KRN_ERR_SIZE_TOO_LARGE);
}

}  // namespace
