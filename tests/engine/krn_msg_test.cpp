#include "krn_fixture.h"

#include <set>

using namespace krn_test;

namespace {

class KernelMsgTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        StartWithAti();
    }
};

TEST_F(KernelMsgTest, SizesChooseTheFirstPoolLargeEnough)
{
    struct {
        uint16_t size;
        int pool;
    } cases[] = {{1, 0}, {64, 0}, {65, 1}, {96, 1}, {97, 2}, {160, 2}, {161, 3}, {1984, 3}};
    for (const auto& c : cases) {
        const uint16_t before = krn_pool_free(c.pool);
        krn_msg* m = nullptr;
        krn_alloc(&m, c.size);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(krn_pool_free(c.pool), before - 1) << "size " << c.size;
        EXPECT_EQ(krn_msg_size(m), c.size);
        m[c.size - 1] = 0xAB;  // the whole user area is usable
        krn_free(m);
        EXPECT_EQ(krn_pool_free(c.pool), before);
    }
}

TEST_F(KernelMsgTest, SizeZeroAndOversizeAreFatal)
{
    krn_error_record e = ExpectFatal([] {
        krn_msg* m = nullptr;
        krn_alloc(&m, 1985);
    });
    EXPECT_EQ(e.code, KRN_ERR_SIZE_TOO_LARGE);
    EXPECT_EQ(e.extra, 1985);

    krn_reset_for_tests();
    e = ExpectFatal([] {
        krn_msg* m = nullptr;
        krn_alloc(&m, 0);
    });
    EXPECT_EQ(e.code, KRN_ERR_SIZE_ZERO);
    EXPECT_EQ(e.extra, 0);
}

TEST_F(KernelMsgTest, EmptyFirstPoolIsFatalEvenWithLargerPoolsFree)
{
    std::set<krn_msg*> blocks;
    for (int i = 0; i < 100; ++i) {
        krn_msg* m = nullptr;
        krn_alloc(&m, 64);
        blocks.insert(m);
    }
    EXPECT_EQ(blocks.size(), 100u);
    EXPECT_EQ(krn_pool_free(0), 0);
    EXPECT_EQ(krn_pool_free(1), 50);
    krn_error_record e = ExpectFatal([] {
        krn_msg* m = nullptr;
        krn_alloc(&m, 10);
    });
    EXPECT_EQ(e.cls, 1);
    EXPECT_EQ(e.code, KRN_ERR_POOL_EMPTY);
    EXPECT_EQ(e.extra, 0);
    EXPECT_EQ(box_text(), "Error 4144");
    EXPECT_EQ(krn_pool_free(1), 50);
}

TEST_F(KernelMsgTest, TryAllocFallsBackAndNeverEndsTheProgram)
{
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(krn_try_alloc(10), nullptr);
    EXPECT_EQ(krn_pool_free(0), 0);
    krn_msg* m = krn_try_alloc(10);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(krn_pool_free(1), 49);
    EXPECT_EQ(krn_msg_size(m), 10);
    // Large requests skip the smaller pools; when all are empty: nullptr.
    while (krn_try_alloc(10) != nullptr) {
    }
    EXPECT_EQ(krn_pool_free(1) + krn_pool_free(2) + krn_pool_free(3), 0);
    EXPECT_EQ(krn_try_alloc(10), nullptr);
    EXPECT_EQ(krn_try_alloc(0), nullptr);
    EXPECT_EQ(krn_try_alloc(1985), nullptr);
    krn_free(m);
    EXPECT_EQ(krn_try_alloc(60), m);
}

TEST_F(KernelMsgTest, SecondFreeDoesNotChainABlockTwice)
{
    krn_msg* a = make_msg(1);
    krn_free(a);
    krn_free(a);
    EXPECT_EQ(krn_pool_free(0), 100);
    krn_msg* b = make_msg(2);
    krn_msg* c = make_msg(3);
    EXPECT_NE(b, c);
    EXPECT_EQ(krn_pool_free(0), 98);
}

// A queue kept across a restart of the kernel still names a block that went
// back to its pool; taking from it writes into the free block and cuts the
// pool's free chain short. The pool is then reported empty (fatal 4144 from
// krn_alloc, the next pool from krn_try_alloc), never a null link followed.
TEST_F(KernelMsgTest, AFreeChainCutShortIsReportedAsAnEmptyPool)
{
    krn_queue stale;
    krn_queue_init(&stale);
    krn_msg* kept = nullptr;
    for (int i = 0; i < 3; ++i)
        kept = make_msg(static_cast<uint16_t>(i));
    krn_queue_put_front(&stale, kept);
    krn_reset_for_tests();
    krn_set_fatal_box(record_box);
    krn_set_stop_hook(throw_stop);
    StartWithAti();
    ASSERT_EQ(krn_pool_free(0), 100);
    ASSERT_EQ(krn_queue_take_back(&stale), kept);

    int taken = 0;
    while (krn_pool_free(0) != 0 && taken < 100) {
        ASSERT_NE(krn_try_alloc(10), nullptr);
        ++taken;
    }
    EXPECT_LT(taken, 100) << "the free chain was not cut: nothing here was tried";
    EXPECT_EQ(krn_pool_free(0), 0);
    const uint16_t medium = krn_pool_free(1);
    EXPECT_NE(krn_try_alloc(10), nullptr);
    EXPECT_EQ(krn_pool_free(1), medium - 1);
    krn_error_record e = ExpectFatal([] {
        krn_msg* m = nullptr;
        krn_alloc(&m, 10);
    });
    EXPECT_EQ(e.code, KRN_ERR_POOL_EMPTY);
    EXPECT_EQ(e.extra, 0);
    EXPECT_EQ(box_text(), "Error 4144");
}

TEST_F(KernelMsgTest, MailboxDeliversInSendingOrder)
{
    for (uint16_t n = 1; n <= 5; ++n)
        krn_send(KRN_TASK_MAIN, make_msg(n, n == 3 ? 500 : 8));
    EXPECT_EQ(drain_main(), (std::vector<uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
    EXPECT_EQ(krn_pool_free(0), 100);
    EXPECT_EQ(krn_pool_free(3), 35);
}

TEST_F(KernelMsgTest, MessagesQueuedForABusyTaskKeepTheirOrder)
{
    // While ATI handles its first message, two more arrive in its mailbox.
    ati_handler() = [](krn_msg* m) {
        if (krn_msg_number(m) == 1) {
            krn_send(KRN_TASK_ATI, make_msg(2));
            krn_send(KRN_TASK_ATI, make_msg(3));
        }
    };
    krn_send(KRN_TASK_ATI, make_msg(1));
    EXPECT_EQ(ati_seen(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(krn_pool_free(0), 100);
}

TEST_F(KernelMsgTest, GeneralQueue)
{
    krn_queue q;
    krn_queue_init(&q);
    EXPECT_EQ(krn_queue_count(&q), 0);
    EXPECT_EQ(krn_queue_first(&q), nullptr);
    EXPECT_EQ(krn_queue_take_back(&q), nullptr);
    EXPECT_EQ(krn_queue_take_front(&q), nullptr);

    krn_msg* a = make_msg(1);
    krn_msg* b = make_msg(2);
    krn_msg* c = make_msg(3);
    krn_msg* d = make_msg(4);
    krn_queue_put_front(&q, a);
    krn_queue_put_front(&q, b);
    krn_queue_put_front(&q, c);
    krn_queue_put_front(&q, d);
    EXPECT_EQ(krn_queue_count(&q), 4);

    // Walk from the newest.
    std::vector<krn_msg*> walk;
    for (krn_msg* m = krn_queue_first(&q); m != nullptr; m = krn_queue_next(&q, m))
        walk.push_back(m);
    EXPECT_EQ(walk, (std::vector<krn_msg*>{d, c, b, a}));

    // Taking from the back yields the oldest first.
    EXPECT_EQ(krn_queue_take_back(&q), a);
    // Removing from the middle keeps the chain both ways.
    krn_queue_remove(&q, c);
    EXPECT_EQ(krn_queue_count(&q), 2);
    EXPECT_EQ(krn_queue_first(&q), d);
    EXPECT_EQ(krn_queue_next(&q, d), b);
    // A message not in the queue is left alone.
    krn_queue_remove(&q, c);
    krn_queue_remove(&q, a);
    EXPECT_EQ(krn_queue_count(&q), 2);
    EXPECT_EQ(krn_queue_take_back(&q), b);
    EXPECT_EQ(krn_queue_take_front(&q), d);
    EXPECT_EQ(krn_queue_count(&q), 0);
    EXPECT_EQ(krn_queue_first(&q), nullptr);

    // Removing the only message empties it; the queue is usable again.
    krn_queue_put_front(&q, a);
    krn_queue_remove(&q, a);
    EXPECT_EQ(krn_queue_count(&q), 0);
    EXPECT_EQ(krn_queue_take_back(&q), nullptr);
    krn_queue_put_front(&q, b);
    EXPECT_EQ(krn_queue_take_front(&q), b);

    for (krn_msg* m : {a, b, c, d})
        krn_free(m);
    EXPECT_EQ(krn_pool_free(0), 100);
}

}  // namespace
