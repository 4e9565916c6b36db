// The progress windows of the phonebook screen's long work, as the user sees
// them: each is painted with its text while the work runs, and the pauses
// the work keeps (the full bar before the window goes, the moment after each
// deleted entry) keep the event loop running.
#include "screen_fixture.h"

#include "confirm.h"
#include "deleterun.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "progress_watch.h"
#include "uiwidgets.h"

#include <QAbstractButton>
#include <QTest>

namespace {

using pbtest::PhoneBookScreenTest;
using zorqtest::ProgressWatch;

constexpr int kPauseMs = 120;

class ProgressPaint : public PhoneBookScreenTest {
protected:
    void SetUp() override
    {
        PhoneBookScreenTest::SetUp();
        pauseBefore = CDlgProgress::ClosePauseMs;
        deleteBefore = g_nDeletePauseMs;
        CDlgProgress::ClosePauseMs = kPauseMs;
        g_nDeletePauseMs = kPauseMs;
    }
    void TearDown() override
    {
        CDlgProgress::ClosePauseMs = pauseBefore;
        g_nDeletePauseMs = deleteBefore;
        PhoneBookScreenTest::TearDown();
    }
    void Click(QWidget* w)
    {
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    void SelectAllRows()
    {
        List()->SelectAll();
        QCoreApplication::processEvents();
    }
    // The copy button, the destination chosen in its dialog, OK; a
    // replace question, when one comes, answered `replace`.
    void CopyTo(int destination, bool replace = false)
    {
        DriveModal<CDlgDstChoicePB>({[destination](CDlgDstChoicePB* d) {
            auto* combo = d->findChild<CIconComboBox*>();
            ASSERT_NE(combo, nullptr);
            combo->setCurrentIndex(combo->findData(destination));
            QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
        }});
        modal.OnModal<CDlgDstMirrorDatabase>([replace](CDlgDstMirrorDatabase* d) {
            if (auto* b = qobject_cast<QAbstractButton*>(d->GetDlgItem(replace ? 1122 : 1123)))
                b->setChecked(true);
            d->OnOK();
        });
        Click(screen->GetDlgItem(1131));
    }
    // The showing of the window titled with string `title`.
    const ProgressWatch::Showing* Find(const ProgressWatch& watch, int title)
    {
        for (const auto& s : watch.showings)
            if (s.title == UiLoadString(title))
                return &s;
        return nullptr;
    }

    int pauseBefore = 500;
    int deleteBefore = 500;
};

TEST_F(ProgressPaint, ACopyToThePCPaintsItsWindowAndItsEndPauseRunsTheLoop)
{
    const std::string pc = MakePCDatabase("defpb.mdb", {Entry("Keep", "0101")});
    StartPhone();
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    List()->SelectRow(0);
    List()->SelectRow(1);
    ProgressWatch watch;
    CopyTo(4);
    ASSERT_FALSE(watch.showings.empty()) << "a progress window stood";
    const ProgressWatch::Showing& s = watch.showings.front();
    EXPECT_GT(s.paints, 0) << "painted before the copy ended";
    EXPECT_FALSE(s.paintedText.isEmpty()) << "with its text";
    EXPECT_GT(s.TicksAtFull(), 0) << "the full bar's pause ran the event loop";
}

TEST_F(ProgressPaint, ErasingThePCStoreBeforeACopyPaintsItsWindowAndPausesOnTheLoop)
{
    MakePCDatabase("defpb.mdb", {Entry("Old one", "0101"), Entry("Old two", "0102")});
    StartPhone();
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    SelectAllRows();
    ProgressWatch watch;
    CopyTo(4, true);
    EXPECT_EQ(modal.Unexpected(), 0);
    const ProgressWatch::Showing* erase = Find(watch, 31334);
    ASSERT_NE(erase, nullptr) << "the erase showed its window";
    EXPECT_GT(erase->paints, 0);
    EXPECT_FALSE(erase->paintedText.isEmpty());
    EXPECT_GT(erase->TicksAtFull(), 0) << "the erase's end pause ran the event loop";
}

TEST_F(ProgressPaint, DeletingSeveralPCRowsPaintsTheWindowAndEveryPauseRunsTheLoop)
{
    std::vector<PBEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back(Entry("Pc" + std::to_string(i), "060000000" + std::to_string(i)));
    MakePCDatabase("defpb.mdb", entries);
    StartPhone();
    Open();
    Click(screen->Pane()->GetPCButton());
    ASSERT_TRUE(screen->Pane()->IsSrcPC());
    ASSERT_EQ(List()->GetRowCount(), 4);
    List()->SelectRow(0);
    List()->SelectRow(1);
    List()->SelectRow(2);
    ProgressWatch watch;
    DriveModal<CDlgConfirm>({[](CDlgConfirm* d) { QTest::mouseClick(d->GetDlgItem(IDYESTOALL), Qt::LeftButton); }});
    Click(screen->GetDlgItem(1027));
    EXPECT_EQ(List()->GetRowCount(), 1);
    ASSERT_EQ(watch.showings.size(), 1u) << "one window for the run under Yes to all";
    const ProgressWatch::Showing& s = watch.showings.front();
    EXPECT_GT(s.paints, 0);
    EXPECT_FALSE(s.paintedText.isEmpty());
    // One pause per deleted entry, each at its own position of the bar.
    std::vector<int> positions, ticked;
    for (const auto& step : s.steps) {
        if (step.position == 0)
            continue;
        positions.push_back(step.position);
        if (step.ticks > 0)
            ticked.push_back(step.position);
    }
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ticked, positions) << "every pause ran the event loop";
}

}  // namespace

namespace {

using pbtest::PhoneBookScreenTest;

class FormFocus : public PhoneBookScreenTest {
protected:
    void SetUp() override
    {
        PhoneBookScreenTest::SetUp();
        deleteBefore = g_nDeletePauseMs;
        g_nDeletePauseMs = 0;
    }
    void TearDown() override
    {
        g_nDeletePauseMs = deleteBefore;
        PhoneBookScreenTest::TearDown();
    }
    void OpenOnThePC()
    {
        MakePCDatabase("defpb.mdb", {Entry("Ann", "0101"), Entry("Ben", "0102"), Entry("Cid", "0103")});
        StartPhone();
        Open();
        screen->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        QTest::mouseClick(screen->Pane()->GetPCButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        ASSERT_TRUE(screen->Pane()->IsSrcPC());
    }
    int deleteBefore = 500;
};

TEST_F(FormFocus, OkAndCancelOfTheFormGiveTheFocusToTheNewEntryButton)
{
    OpenOnThePC();
    QWidget* fresh = screen->Pane()->GetFourthButton();
    for (const int button : {1025, 1026}) {
        SCOPED_TRACE(button);
        QTest::mouseClick(fresh, Qt::LeftButton);
        ASSERT_TRUE(screen->IsAddMode());
        Type(1012, QStringLiteral("Dee"));
        Type(1013, QStringLiteral("0104"));
        QTest::mouseClick(screen->GetDlgItem(button), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_FALSE(screen->IsAddMode());
        EXPECT_EQ(QApplication::focusWidget(), fresh)
            << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
    }
}

TEST_F(FormFocus, ADeletionFromTheListGivesTheFocusBackToTheList)
{
    OpenOnThePC();
    List()->setFocus();
    List()->SelectRow(0);
    List()->SelectRow(1);
    QCoreApplication::processEvents();
    DriveModal<CDlgConfirm>({[](CDlgConfirm* d) { QTest::mouseClick(d->GetDlgItem(IDYESTOALL), Qt::LeftButton); }});
    QTest::keyClick(List(), Qt::Key_Delete);
    QCoreApplication::processEvents();
    EXPECT_EQ(List()->GetRowCount(), 1);
    // The screen is active again once the window system says so.
    (void)QTest::qWaitFor([this] { return QApplication::focusWidget() == List(); }, 3000);
    EXPECT_EQ(QApplication::focusWidget(), List())
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
}

// A copy made with the mouse (the copy button, its destination dialog)
// gives the focus back to the copy button once its progress window is gone,
// not to whatever comes first in the Tab order.
TEST_F(FormFocus, ACopyGivesTheFocusBackToTheCopyButton)
{
    MakePCDatabase("defpb.mdb", {Entry("Keep", "0101")});
    StartPhone();
    Open();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    List()->SelectRow(0);
    List()->SelectRow(1);
    DriveModal<CDlgDstChoicePB>({[](CDlgDstChoicePB* d) {
        auto* combo = d->findChild<CIconComboBox*>();
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(combo->findData(4));
        QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
    }});
    QWidget* copy = screen->GetDlgItem(1131);
    ASSERT_NE(copy, nullptr);
    QTest::mouseClick(copy, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(modal.Unexpected(), 0);
    (void)QTest::qWaitFor([copy] { return QApplication::focusWidget() == copy; }, 3000);
    EXPECT_EQ(QApplication::focusWidget(), copy)
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
}

}  // namespace
