// Escape in the shared dialogs: pressed on the control that has the focus,
// as a person presses it, it ends each dialog exactly as its Cancel button
// does, and no window stays behind.
#include "confirm.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "escape_key.h"
#include "finddlg.h"

#include "ui_test_util.h"

#include <QAbstractButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

using zorqtest::EscapeNextModal;
using zorqtest::ShownWindows;
using zorqtest::WindowsLeftBeyond;

struct NoFindOwner : CFindPBOwner, CFindSMSOwner {
    bool FindInColumn(int, const QString&, bool) override { return false; }
    bool FindInAllColumns(const QString&, const QString&, bool) override { return false; }
    void UnselectAll() override {}
    bool FindMsg(const QString&, bool) override { return false; }
    void ClearFindSelection() override {}
    void FindNext() override {}
};

class EscapeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner.resize(400, 300);
        owner.show();
    }
    // Runs the dialog modally, presses Escape in it; the dialog's result.
    int EscapeIn(CDialog& dlg, const char* what)
    {
        const auto before = ShownWindows();
        auto escape = EscapeNextModal();
        const int result = dlg.DoModal();
        EXPECT_TRUE(escape->pressed) << what << ": the dialog never came up";
        EXPECT_FALSE(escape->leftOpen) << what << ": Escape left the window up";
        EXPECT_EQ(WindowsLeftBeyond(before), 0) << what;
        return result;
    }

    uitest::RecordingUi ui;
    QWidget owner;
};

TEST_F(EscapeTest, EveryModalSharedDialogEndsWithCancelsResult)
{
    NoFindOwner finder;
    CDlgDstChoicePB base(0, &owner);  // built on the dialog base
    EXPECT_EQ(EscapeIn(base, "destination choice"), IDCANCEL);
    CDlgConfirm confirm(&owner);
    confirm.SetKind(CONFIRM_PB_ENTRY);
    confirm.SetItemName(QStringLiteral("Anna"));
    EXPECT_EQ(EscapeIn(confirm, "confirmation"), IDCANCEL);
    CDlgFindPB findPB(&finder, &owner);
    EXPECT_EQ(EscapeIn(findPB, "phonebook find"), IDCANCEL);
    CDlgFindSMS findSMS(&finder, &owner);
    EXPECT_EQ(EscapeIn(findSMS, "message find"), IDCANCEL);
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(EscapeTest, EscapeInAProgressWindowCancelsAsItsButtonDoes)
{
    // The progress window runs beside an operation: Cancel (and so Escape)
    // asks the operation to stop, which then ends the window.
    for (bool byKey : {false, true}) {
        const auto before = ShownWindows();
        CDlgProgressText dlg(&owner, 179);
        dlg.Start(31313, 10, 0);
        ASSERT_TRUE(dlg.isVisible());
        if (byKey) {
            QTest::keyClick(zorqtest::EscapeTarget(&dlg), Qt::Key_Escape);
        } else {
            auto* cancel = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(IDCANCEL));
            ASSERT_NE(cancel, nullptr);
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
        EXPECT_TRUE(dlg.IsCancelled()) << (byKey ? "Escape" : "Cancel");
        EXPECT_TRUE(dlg.isVisible()) << "the window stays until the operation ends";
        dlg.Finish(false);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(owner.isEnabled());
        EXPECT_EQ(WindowsLeftBeyond(before), 0);
    }
}

}  // namespace
