// The deletion run's pace under Yes to all: after each item's own work the
// run stands a whole pause, with the progress window showing that item,
// before it goes to the next one; a slow item does not shorten the pause
// of the item after it.
#include "confirm.h"
#include "deleterun.h"
#include "dlgprogress.h"
#include "strutil.h"

#include "ui_test_util.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kPauseMs = 300;
constexpr int kSlowMs = 250;  // the work of every other item

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

CDlgProgress* VisibleProgress()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<CDlgProgress*>(w); p && p->isVisible())
            return p;
    return nullptr;
}

// Six items, the first question answered with a click on "Yes to all";
// items 1, 3 and 5 take 250 ms of work each (the loop running, as a
// database or phone wait keeps it). Noted: when each item's work ended and
// the next one's began, and what the progress window showed meanwhile.
TEST_F(DeleteRunPace, EachItemStandsAWholePauseAfterItsOwnWorkWhateverThatWorkTook)
{
    const QStringList names{"A", "B", "C", "D", "E", "F"};
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> began, ended;
    // What the progress window showed between the items' work: the
    // position seen by each tick of a sampler while no item was at work.
    bool working = false;
    std::vector<std::vector<int>> shownAfter(names.size());
    int lastEnded = -1;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (working || lastEnded < 0)
            return;
        CDlgProgress* p = VisibleProgress();
        shownAfter[static_cast<size_t>(lastEnded)].push_back(p ? p->GetPos() : -1);
    });
    sampler.start(10);
    uitest::OnNextModal([](QWidget* w) {
        auto* all = qobject_cast<CDlgConfirm*>(w) ? w->findChild<QWidget*>(QStringLiteral("id1078")) : nullptr;
        ASSERT_NE(all, nullptr);
        QTest::mouseClick(all, Qt::LeftButton);
    });
    const int deleted = RunConfirmedDeletion(&owner, QPoint(-1, -1), CONFIRM_PB_ENTRY, names, [&](int i) {
        working = true;
        began.push_back(clock.elapsed());
        if (i % 2 == 1)
            PumpMessagesFor(kSlowMs, false);
        ended.push_back(clock.elapsed());
        lastEnded = i;
        working = false;
        return DeleteOutcome::Deleted;
    });
    sampler.stop();
    EXPECT_EQ(deleted, 6);
    ASSERT_EQ(began.size(), 6u);
    for (size_t k = 1; k < began.size(); ++k) {
        SCOPED_TRACE(k);
        // The whole pause after the work of the item before, slow or not
        // (a pause never ends early: it runs until its time has passed).
        EXPECT_GE(began[k] - ended[k - 1], kPauseMs) << "the item's work was taken from its pause";
        // Meanwhile the progress window stood, showing that item.
        ASSERT_FALSE(shownAfter[k - 1].empty());
        for (int pos : shownAfter[k - 1])
            EXPECT_EQ(pos, static_cast<int>(k)) << "the progress window did not show the item just deleted";
    }
}

}  // namespace
