// The deletion run's pace under Yes to all: each item stands the pause from
// when the run reached it, and the item's own work is part of that pause,
// not added to it.
#include "confirm.h"
#include "deleterun.h"
#include "strutil.h"

#include "ui_test_util.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kPauseMs = 500;
constexpr int kSlowMs = 300;  // the work of every other item

struct DeleteRunPace : ::testing::Test {
    void SetUp() override
    {
        before = g_nDeletePauseMs;
        g_nDeletePauseMs = kPauseMs;
        owner.resize(400, 300);
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }
    void TearDown() override { g_nDeletePauseMs = before; }

    uitest::RecordingUi ui;
    QWidget owner;
    int before = 500;
};

// Six items, the first question answered with a click on "Yes to all";
// items 1, 3 and 5 take 300 ms of work each (the loop running, as a
// database or phone wait keeps it). Measured: when each deletion began and
// ended.
TEST_F(DeleteRunPace, AnItemsOwnWorkIsPartOfItsPauseNotAddedToIt)
{
    const QStringList names{"A", "B", "C", "D", "E", "F"};
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> began, ended;
    uitest::OnNextModal([](QWidget* w) {
        auto* all = qobject_cast<CDlgConfirm*>(w) ? w->findChild<QWidget*>(QStringLiteral("id1078")) : nullptr;
        ASSERT_NE(all, nullptr);
        QTest::mouseClick(all, Qt::LeftButton);
    });
    const int deleted = RunConfirmedDeletion(&owner, QPoint(-1, -1), CONFIRM_PB_ENTRY, names, [&](int i) {
        began.push_back(clock.elapsed());
        if (i % 2 == 1)
            PumpMessagesFor(kSlowMs, false);
        ended.push_back(clock.elapsed());
        return DeleteOutcome::Deleted;
    });
    EXPECT_EQ(deleted, 6);
    ASSERT_EQ(began.size(), 6u);
    for (size_t k = 1; k < began.size(); ++k) {
        SCOPED_TRACE(k);
        // Each item stood its pause: item k began k pauses after the first
        // at the earliest (a timer may wake a millisecond early).
        EXPECT_GE(began[k] - began[0], static_cast<qint64>(k) * kPauseMs - 2);
        // Between two deletions there is always a moment.
        EXPECT_GE(began[k] - ended[k - 1], kPauseMs / 5 - 2);
        // After a slow item only what is left of its pause is waited: the
        // 300 ms of work were half a second more before.
        if (k % 2 == 0) {
            EXPECT_LT(began[k] - ended[k - 1], kPauseMs - kSlowMs / 2) << "the work was added to the pause";
        }
    }
}

}  // namespace
