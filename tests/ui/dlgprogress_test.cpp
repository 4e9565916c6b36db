#include "dlgbase.h"
#include "dlgprogress.h"
#include "strutil.h"
#include "ui_test_support.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QWindow>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using zorqtest::RecordingServices;

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgressNotices::running = ProgressNotices::smsPending = ProgressNotices::reportPending = false;
        ProgressNotices::smsBoxShown = ProgressNotices::reportBoxShown = false;
        owner.resize(400, 300);
        owner.show();
    }
    void TearDown() override { QCoreApplication::processEvents(); }

    RecordingServices services;
    QWidget owner;
};

TEST_F(ProgressTest, StartShowsTheWindowDisablesTheOwnerAndFinishGivesItBack)
{
    CDlgProgressText dlg(&owner, 179);
    QElapsedTimer stood;
    stood.start();
    dlg.Start(31313, 1, 0);  // any string serves as a title
    ASSERT_TRUE(dlg.IsWindowCreated());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.windowTitle(), services.LoadString(31313));
    EXPECT_EQ(dlg.GetRange(), 2) << "a range below 2 counts as 2";
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(ProgressNotices::running);
    EXPECT_FALSE(dlg.Create()) << "a second Create on a standing window does nothing";
    // Over the owner's window, not at the desktop's corner; the owner here
    // is a screen inside a window, as in the program.
    EXPECT_LT((dlg.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 8);
    auto* line = dlg.findChild<QLabel*>(QStringLiteral("id1109"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), services.LoadString(31313)) << "no empty text line";
    zorqtest::SaveScreen(&dlg, QStringLiteral("progress"));

    dlg.StepIt();
    auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("id1075"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), 1);

    QElapsedTimer t;
    t.start();
    dlg.Finish(true);
    // The close pause counts the time the window already stood, so on a
    // slow machine the pause itself may be short; the whole stay may not.
    EXPECT_GE(stood.elapsed(), 450) << "a finished window stands at least half a second";
    EXPECT_GE(t.elapsed(), 90) << "and its full bar is seen for a moment";
    EXPECT_EQ(bar->value(), 2);
    EXPECT_FALSE(dlg.IsWindowCreated());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(ProgressNotices::running);
}

TEST_F(ProgressTest, AWindowThatStoodLongerThanThePauseShowsItsFullBarOnlyBriefly)
{
    CDlgProgressText dlg(&owner, 179);
    dlg.Start(31313, 10, 0);
    QTest::qWait(700);  // the operation ran longer than the close pause
    EXPECT_EQ(dlg.RemainingPause(500), 100);
    auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("id1075"));
    ASSERT_NE(bar, nullptr);
    QElapsedTimer t;
    t.start();
    dlg.Finish(true);
    EXPECT_GE(t.elapsed(), 90) << "the full bar is still seen";
    EXPECT_LT(t.elapsed(), 450) << "no second half-second pause";
    EXPECT_EQ(bar->value(), 10);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.RemainingPause(0), 0);
}

TEST_F(ProgressTest, FinishWithARangeOfOneShowsAFullBarOfTwo)
{
    CDlgProgress dlg(&owner, 179);
    dlg.Create();
    dlg.SetRange(1);
    dlg.Finish(true);
    EXPECT_EQ(dlg.GetRange(), 2);
    EXPECT_EQ(dlg.GetPos(), 2);
}

TEST_F(ProgressTest, PositionIsUsedInsteadOfCentring)
{
    CDlgProgress dlg(&owner, 179);
    EXPECT_TRUE(dlg.IsCentred());
    dlg.SetPosition(37, 55);
    EXPECT_FALSE(dlg.IsCentred());
    dlg.Create();
    EXPECT_EQ(dlg.pos(), QPoint(37, 55));
    dlg.Finish(false);
}

TEST_F(ProgressTest, CancelRaisesTheFlagAndTheWindowStaysUntilTheOperationEnds)
{
    CDlgProgressText dlg(&owner, 179);
    dlg.Start(31313, 10, 0);
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("id2"));
    ASSERT_NE(cancel, nullptr);
    int items = 0;
    for (; items < 10 && !dlg.IsCancelled(); ++items) {
        if (items == 3)
            QTest::mouseClick(cancel, Qt::LeftButton);
        dlg.StepIt();
    }
    EXPECT_EQ(items, 4) << "the operation stops at the item after the click";
    EXPECT_TRUE(dlg.isVisible()) << "the window stays until the operation ends";
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    dlg.Finish(false);
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(ProgressTest, HeldBackNoticesAreShownAfterTheWindowIsGoneNewMessageFirst)
{
    {
        auto* dlg = new CDlgProgress(&owner, 179);
        dlg->Create();
        ProgressNotices::smsPending = true;
        ProgressNotices::reportPending = true;
        delete dlg;  // ending by destruction
    }
    EXPECT_TRUE(services.boxes.empty()) << "no box from inside the window's end";
    QCoreApplication::processEvents();
    ASSERT_EQ(services.boxes.size(), 2u);
    EXPECT_EQ(services.boxes[0].text, services.LoadString(ProgressNotices::kNewMessageString));
    EXPECT_EQ(services.boxes[1].text, services.LoadString(ProgressNotices::kReportString));
    EXPECT_FALSE(ProgressNotices::smsPending);
    EXPECT_FALSE(ProgressNotices::reportPending);
    QCoreApplication::processEvents();
    EXPECT_EQ(services.boxes.size(), 2u) << "each notice once";
}

TEST_F(ProgressTest, ANoticeWhoseBoxIsOnScreenStaysPendingAndNoneShowsWhileAnotherWindowStands)
{
    CDlgProgress dlg(&owner, 179);
    dlg.Create();
    ProgressNotices::smsPending = true;
    ProgressNotices::smsBoxShown = true;
    dlg.Close();
    CDlgProgress next(&owner, 179);
    next.Create();
    ProgressNotices::reportPending = true;
    QCoreApplication::processEvents();
    EXPECT_TRUE(services.boxes.empty()) << "a new progress window holds them back again";
    next.Close();
    QCoreApplication::processEvents();
    ASSERT_EQ(services.boxes.size(), 1u);
    EXPECT_EQ(services.boxes[0].text, services.LoadString(ProgressNotices::kReportString));
    EXPECT_TRUE(ProgressNotices::smsPending);
}

// A message that arrives during a send whose work shows a second progress
// window (storing, reading back) inside the first: the end of the inner
// window does not release the new-message box while the send's window still
// stands, and when the box shows no progress window is on screen.
TEST_F(ProgressTest, TheNewMessageBoxWaitsForTheLastWindowAndNeverStandsOverOne)
{
    struct Watching : zorqtest::RecordingServices {
        std::vector<bool> overAWindow;
        std::vector<CDlgProgress*> windows;
        int DoMessageBox(const QString& text, unsigned type, unsigned help) override
        {
            bool over = false;
            for (CDlgProgress* w : windows)
                over = over || w->isVisible();
            overAWindow.push_back(over);
            return RecordingServices::DoMessageBox(text, type, help);
        }
    } watching;
    CDlgProgressText send(&owner, 179);
    send.Start(31476, 3, 1);
    CDlgProgressText store(&owner, 179);
    watching.windows = {&send, &store};
    store.Start(31337, 3, 1);
    ProgressNotices::smsPending = true;
    store.Finish(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(watching.boxes.empty()) << "the send's window still stands";
    EXPECT_TRUE(ProgressNotices::running);
    ASSERT_TRUE(send.isVisible());
    send.Finish(false);
    QCoreApplication::processEvents();
    ASSERT_EQ(watching.boxes.size(), 1u);
    EXPECT_EQ(watching.boxes[0].text, watching.LoadString(ProgressNotices::kNewMessageString));
    EXPECT_EQ(watching.overAWindow, std::vector<bool>{false});
    EXPECT_FALSE(ProgressNotices::running);
}

// A dialog of the owner (an editor over a screen) is a window of its own,
// greyed with the owner all the same: it counts as the owner's, whatever
// window boundary lies between; a window of its own elsewhere does not.
TEST_F(ProgressTest, ADialogOverTheOwnerIsGreyedWithItAndCountsAsTheOwners)
{
    QWidget screen(&owner);
    QDialog editor(&screen);
    auto* text = new QLineEdit(&editor);
    editor.show();
    QWidget elsewhere;
    elsewhere.show();
    CDlgProgress dlg(&screen, 179);
    dlg.Create();
    EXPECT_FALSE(text->isEnabled());
    EXPECT_TRUE(CDlgProgress::DisablesOwnerOf(&screen));
    EXPECT_TRUE(CDlgProgress::DisablesOwnerOf(text));
    EXPECT_FALSE(CDlgProgress::DisablesOwnerOf(&owner));
    EXPECT_FALSE(CDlgProgress::DisablesOwnerOf(&elsewhere));
    dlg.Close();
    EXPECT_TRUE(text->isEnabled());
    EXPECT_FALSE(CDlgProgress::DisablesOwnerOf(text));
}

TEST_F(ProgressTest, TextLinesAndCallStatesAreFormattedWithTheName)
{
    CDlgProgressText text(&owner, 280);
    text.Create();
    text.ShowText1(QStringLiteral("Alice"));
    auto* line = text.findChild<QLabel*>(QStringLiteral("id1109"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), services.FormatString(31751, {QStringLiteral("Alice")}));
    EXPECT_TRUE(line->text().contains(QLatin1String("Alice")));
    zorqtest::SaveScreen(&text, QStringLiteral("progress_text"));
    text.Close();

    CDlgConnectionStatus call(QStringLiteral("Bob"), &owner);
    call.Create();
    auto* status = call.findChild<QLabel*>(QStringLiteral("id1119"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), services.FormatString(31765, {QStringLiteral("Bob")}));
    zorqtest::SaveScreen(&call, QStringLiteral("progress_call"));
    EXPECT_FALSE(owner.isEnabled());
    call.ShowStatus3();
    EXPECT_EQ(status->text(), services.FormatString(31867, {QStringLiteral("Bob")}));
    EXPECT_TRUE(owner.isEnabled()) << "a call state gives the owner back";
    call.ShowStatus2();
    EXPECT_EQ(status->text(), services.LoadString(31492));
}

TEST_F(ProgressTest, DialogBaseTipsComeFromTheBundle)
{
    CDlgBase dlg(179);
    EXPECT_TRUE(dlg.AddToolTip(1109, 31776));
    EXPECT_EQ(dlg.GetDlgItem(1109)->toolTip(), services.LoadString(31776));
    EXPECT_FALSE(dlg.AddToolTip(4242, 31776));
}

}  // namespace

namespace {

// A screen inside a main window, as in the program: a list that has the
// focus, and a button elsewhere in the window.
class OwnedProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgressNotices::running = false;
        main.resize(400, 300);
        screen = new QWidget(&main);
        screen->setGeometry(0, 0, 400, 250);
        list = new QLineEdit(screen);
        other = new QLineEdit(screen);
        other->move(0, 40);
        elsewhere = new QPushButton(QStringLiteral("Elsewhere"), &main);
        elsewhere->move(0, 260);
        main.show();
        main.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
        list->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), list);
    }
    void TearDown() override { QCoreApplication::processEvents(); }

    zorqtest::RecordingServices services;
    QWidget main;
    QWidget* screen = nullptr;
    QLineEdit* list = nullptr;
    QLineEdit* other = nullptr;
    QPushButton* elsewhere = nullptr;
};

TEST_F(OwnedProgressTest, TheCallWindowBelongsToTheMainWindowAndStaysAboveItWhenTheOwnerComesBack)
{
    CDlgConnectionStatus call(QStringLiteral("Bob"), screen);
    ASSERT_TRUE(call.Create());
    ASSERT_NE(call.windowHandle(), nullptr);
    EXPECT_EQ(call.windowHandle()->transientParent(), main.windowHandle())
        << "the main window is its transient parent";
    EXPECT_EQ(call.parentWidget(), nullptr) << "no parent widget: disabling the owner leaves it live";
    call.ShowStatus1();
    EXPECT_TRUE(screen->isEnabled());
    EXPECT_TRUE(call.isVisible());
    call.Close();
}

TEST_F(OwnedProgressTest, TheFocusGoesBackWhereItWasWhenTheWindowEnds)
{
    CDlgProgressText dlg(screen, 179);
    dlg.Start(31313, 3, 0);
    EXPECT_FALSE(screen->isEnabled());
    EXPECT_NE(QApplication::focusWidget(), list) << "the disabled screen lost the focus";
    dlg.Finish(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(screen->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), list);
}

TEST_F(OwnedProgressTest, AFinishedWindowPausesOnTheEventLoopWithInputOnlyForItself)
{
    const int before = CDlgProgress::ClosePauseMs;
    CDlgProgress::ClosePauseMs = 300;
    CDlgProgressText dlg(screen, 179);
    dlg.Start(31313, 3, 0);
    int paints = 0;
    struct PaintCount : QObject {
        int* n;
        explicit PaintCount(int* count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&paints);
    dlg.installEventFilter(&counter);
    int ticks = 0, clicked = 0;
    QObject::connect(elsewhere, &QPushButton::clicked, [&] { ++clicked; });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 2) {
            // A click elsewhere in the window and one on the Cancel button.
            QTest::mouseClick(elsewhere, Qt::LeftButton);
            if (auto* cancel = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(2)))
                QTest::mouseClick(cancel, Qt::LeftButton);
            dlg.update();
        }
    });
    timer.start(10);
    dlg.Finish(true);
    timer.stop();
    CDlgProgress::ClosePauseMs = before;
    EXPECT_GE(ticks, 5) << "timers ran during the pause";
    EXPECT_GT(paints, 0) << "the window repainted during the pause";
    EXPECT_EQ(clicked, 0) << "the rest of the window took no input meanwhile";
    EXPECT_TRUE(dlg.IsCancelled()) << "the window's own Cancel stayed live";
    EXPECT_FALSE(InMessagePause());
}

}  // namespace
