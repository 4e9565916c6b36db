// The message screen against the phone simulator: the list and its names,
// the pane and read marks, new messages arriving, joined long messages,
// find and printing, clicked as a user clicks them.
#include "sms_fixture.h"
#include "../support/sms_pdu.h"

#include "mtr_poll.h"
#include "mtr_frame.h"
#include "viewframe.h"
#include "handbutton.h"
#include "tab_walk.h"
#include "utilities.h"
#include "walkthrough.h"
#include "wndmsg.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using smstest::Row;
using smstest::ShortMsgSimTest;

namespace {

class ShortMsgScreenTest : public ShortMsgSimTest {
protected:
    void OpenOnPC(const std::vector<Row>& rows, int folder = 0)
    {
        MakePCMessages(rows);
        WriteIniProfileInt(folder == 0 ? "SMSMT" : "SMSMO", "Source", 0);
        Open(folder);
        ASSERT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    }
    // The screen on the SIM's received folder, the SIM counted as read.
    void OpenOnSIM()
    {
        doc->SetSIMSMSRead(1);
        WriteIniProfileInt("SMSMT", "Source", 1);
        Open(0);
        ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    }
    void Click(int id)
    {
        auto* b = qobject_cast<QPushButton*>(screen->GetDlgItem(id));
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    void SelectOnly(int row)
    {
        List()->DeselectAll();
        List()->SelectRow(row);
        screen->OnSelectionChanged();
    }
    std::string SimMessages() { return engine_test::dump_lines(*sim, "sms "); }
};

}  // namespace

TEST_F(ShortMsgScreenTest, ListsNamesFromThePhonebookAtDisplayTimeAndWritesNothing)
{
    StartSMS();
    MakePCDatabase("defpb.mdb", {Entry("Ann", "+33611"), Entry("Bob", "0622")});
    const std::vector<Row> rows = {{1, 0, "@+33611\r\n", "Hello\r\nworld"},
                                   {2, 1, "@+4499\r\n", "Second"},
                                   {3, 1, "", "No sender"},
                                   {4, 1, "Ann@+33611\r\n@0622\r\n", "Two"}};
    OpenOnPC(rows);
    ASSERT_EQ(List()->GetRowCount(), 4);
    // Sorted by date: the rows in location order.
    EXPECT_EQ(List()->GetRowText(0, 0), QStringLiteral("Ann"));
    EXPECT_EQ(List()->GetRowText(0, 2), QStringLiteral("Hello world"));
    EXPECT_EQ(List()->GetRowText(1, 0), QStringLiteral("+4499"));
    EXPECT_EQ(List()->GetRowText(2, 0).toStdString(), Text(31312));
    EXPECT_EQ(List()->GetRowText(3, 0), QStringLiteral("Ann; Bob"));
    EXPECT_EQ(List()->GetRowParam(0), 1);  // unread
    EXPECT_EQ(List()->GetRowImage(1), 1);
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_COUNT).toStdString(), Text(31296, {"4"}) + ". " + Text(31840));

    // Nothing was written back: the stored addresses are as they came.
    const auto stored = ReadRows(PC());
    ASSERT_EQ(stored.size(), 4u);
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(stored[i].addr, rows[i].addr);

    // A renamed phonebook entry shows at the next fill.
    std::filesystem::remove(app.GetFolderPath() + "defpb.mdb");
    MakePCDatabase("defpb.mdb", {Entry("Annie", "+33611")});
    screen->RefreshFolderList(0, SMS_SRC_PC);
    EXPECT_EQ(List()->GetRowText(0, 0), QStringLiteral("Annie"));
    EXPECT_EQ(List()->GetRowText(3, 0), QStringLiteral("Ann; 0622"));
}

TEST_F(ShortMsgScreenTest, SelectingShowsTheMessageAndMarksItRead)
{
    StartSMS();
    MakePCDatabase("defpb.mdb", {Entry("Ann", "+33611")});
    OpenOnPC({{1, 0, "@+33611\r\n", "Hello"}, {2, 1, "Cy@+4499\r\nDi@+4498\r\n", "Both"}, {3, 5, "@+1\r\n", "part"},
              {4, 7, "@+2\r\n", "whole"}, {5, 6, "@+3\r\n", "some"}});
    SelectOnly(0);
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_NAME), QStringLiteral("Ann"));
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_NUMBER), QStringLiteral("+33611"));
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_TEXT), QStringLiteral("Hello"));
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_ADDR_LABEL).toStdString(), Text(31298));
    EXPECT_FALSE(screen->IsPaneShown(CShortMsg::IDC_ADDRESSES));
    EXPECT_EQ(List()->GetRowImage(0), 1);
    EXPECT_EQ(List()->GetRowParam(0), 0);
    EXPECT_TRUE(screen->GetDlgItem(CShortMsg::IDC_PRINT)->isEnabled());
    EXPECT_TRUE(screen->GetDlgItem(CShortMsg::IDC_COMPOSE)->isEnabled());

    // Several addresses: the joined detail text in the edit.
    SelectOnly(1);
    EXPECT_TRUE(screen->IsPaneShown(CShortMsg::IDC_ADDRESSES));
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_ADDRESSES), QStringLiteral("Cy (+4499); Di (+4498)"));
    EXPECT_TRUE(screen->PaneText(CShortMsg::IDC_NAME).isEmpty());

    // Parts of a long message: read, but incomplete stays incomplete.
    SelectOnly(2);
    SelectOnly(3);
    SelectOnly(4);
    const auto rows = ReadRows(PC());
    EXPECT_EQ(rows[0].type, 1);
    EXPECT_EQ(rows[2].type, 8);
    EXPECT_EQ(rows[3].type, 10);
    EXPECT_EQ(rows[4].type, 9);
    EXPECT_EQ(List()->GetRowParam(2), 2);

    // A click on a column header selects all and empties the pane.
    screen->OnColumnClick();
    EXPECT_TRUE(screen->IsAllSelected());
    EXPECT_TRUE(screen->PaneText(CShortMsg::IDC_TEXT).isEmpty());
    EXPECT_FALSE(screen->GetDlgItem(CShortMsg::IDC_OPEN)->isEnabled());
}

TEST_F(ShortMsgScreenTest, SentFolderShowsOnlyStoredMessagesInItsSortOrders)
{
    StartSMS();
    OpenOnPC({{1, 0, "@+1\r\n", "in"}, {2, 3, "@+2\r\n", "sent"}, {3, 2, "@+3\r\n", "draft"}, {4, 14, "@+4\r\n", "long"}},
             1);
    EXPECT_EQ(ListRows(1), (std::vector<std::string>{"+2", "+3", "+4"}));
    screen->SortCombo()->setCurrentIndex(3);  // unsent only
    screen->OnSelChangeComboSort();
    EXPECT_EQ(ListRows(1), (std::vector<std::string>{"+3"}));
    EXPECT_EQ(GetIniProfileInt("SMSMO", "ComboSort", -1), 3);
    // Received folder button: back to the received rows.
    screen->GetDlgItem(CShortMsg::IDC_RECV)->setFocus();
    Click(CShortMsg::IDC_RECV);
    EXPECT_EQ(screen->Folder(), 0);
    EXPECT_EQ(ListRows(1), (std::vector<std::string>{"+1"}));
}

TEST_F(ShortMsgScreenTest, AddressTextFromThePhoneIsNeverPartOfAQuery)
{
    StartSMS();
    MakePCDatabase("defpb.mdb", {Entry("Ann", "+33611")});
    const std::string hostile = "' OR 1=1; DROP TABLE EntryPhone; --";
    OpenOnPC({{1, 0, "@" + hostile + "\r\n", "x"}, {2, 0, "@+33611\r\n", "y"}});
    EXPECT_EQ(List()->GetRowText(0, 0).toStdString(), hostile);
    EXPECT_EQ(List()->GetRowText(1, 0), QStringLiteral("Ann"));
    screen->findText = QString::fromStdString(hostile);
    screen->findExact = true;
    screen->OnBFind();
    EXPECT_EQ(screen->FindResult(), 0);
    EXPECT_EQ(Rows(app.GetFolderPath() + "defpb.mdb"), "1 +33611 Ann\n");
}

TEST_F(ShortMsgScreenTest, FindStepsThroughTheMatchesByNameOrNumber)
{
    StartSMS();
    MakePCDatabase("defpb.mdb", {Entry("Joanna", "+111"), Entry("Annabel", "+222")});
    OpenOnPC({{1, 1, "@+111\r\n", "a"}, {2, 1, "@+999\r\n", "b"}, {3, 1, "@+222\r\n", "c"}, {4, 1, "@+333ann\r\n", "d"},
              {5, 1, "@+111\r\n", "e"}});
    // "ann" is part of three senders' names or numbers.
    screen->findText = QStringLiteral("ann");
    Click(CShortMsg::IDC_FIND);
    EXPECT_TRUE(screen->IsFindActive());
    EXPECT_EQ(screen->FindResult(), 0);
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_TEXT), QStringLiteral("a"));
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(screen->FindResult(), 2);
    EXPECT_EQ(List()->GetSelectedRows(), (QList<int>{0, 2}));  // earlier hits stay selected
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(screen->FindResult(), 3);
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(screen->FindResult(), 4);
    EXPECT_FALSE(screen->IsFindActive());  // the last hit

    // Exact: the whole name or number only.
    screen->findText = QStringLiteral("Joanna");
    screen->findExact = true;
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(List()->GetSelectedRows(), (QList<int>{0}));
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(screen->FindResult(), 4);
    EXPECT_FALSE(screen->FindMsg(QStringLiteral("Jo"), true));
    EXPECT_TRUE(screen->FindMsg(QStringLiteral("+222"), true));
}

TEST_F(ShortMsgScreenTest, PrintsTheSelectedMessagesToPdf)
{
    StartSMS();
    std::vector<Row> rows;
    for (int i = 1; i <= 5; ++i)
        rows.push_back({i, i % 2, "@+33" + std::to_string(i) + "\r\n", "Message number " + std::to_string(i)});
    OpenOnPC(rows);
    QTemporaryDir out;
    screen->pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    screen->pdf->setOutputFormat(QPrinter::PdfFormat);
    const QString file = out.filePath(QStringLiteral("messages.pdf"));
    screen->pdf->setOutputFileName(file);
    for (int r : {0, 2, 4})
        List()->SelectRow(r);
    screen->OnSelectionChanged();
    std::string title = Text(31396);
    ReplaceAppName(title);
    EXPECT_EQ(screen->PrintTitle().toStdString(), title);
    Click(CShortMsg::IDC_PRINT);
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    // Three short messages fit one page.
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
}

TEST_F(ShortMsgScreenTest, AMessageReceivedWhileOpenIsReadAndListed)
{
    StartSMS("clear-messages SM\n");
    OpenOnSIM();
    EXPECT_EQ(List()->GetRowCount(), 0);
    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello there"), "ok");
    ASSERT_TRUE(Until([&] { return List()->GetRowCount() == 1; }));
    EXPECT_EQ(List()->GetRowText(0, 0), QStringLiteral("+3361234"));
    EXPECT_EQ(List()->GetRowText(0, 2), QStringLiteral("Hello there"));
    EXPECT_EQ(gv_bCallMtrPoll, 1);  // polling back on after the read

    // Selecting it marks it read in the mirror.
    SelectOnly(0);
    EXPECT_EQ(ReadRows(GetSMSimSIMPath(1))[0].type, 1);
}

TEST_F(ShortMsgScreenTest, ANoticeDuringALongOperationWaitsForItsEnd)
{
    StartSMS("clear-messages SM\n");
    OpenOnSIM();
    {
        CShortMsg::BusyScope busy(screen.get());
        EXPECT_EQ(gv_bCallMtrPoll, 0);
        // The notice arrives meanwhile: not read now, polling stays off.
        screen->DefWindowProc(WM_MMI_SMS_RECEIVED, SMS_SRC_SIM, 1);
        ASSERT_EQ(sim->command("sms-receive SM +3361234 Later"), "ok");
        screen->OnNewMsgReceived(SMS_SRC_SIM, 1);
        EXPECT_EQ(screen->DeferredCount(), 2);
        EXPECT_EQ(gv_bCallMtrPoll, 0);
        EXPECT_EQ(List()->GetRowCount(), 0);
        // A parameter change waits too.
        screen->DefWindowProc(WM_MMI_MS_PARAM_CHANGED, 1, 0);
        EXPECT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    }
    EXPECT_EQ(gv_bCallMtrPoll, 1);
    ASSERT_TRUE(Until([&] { return screen->DeferredCount() == 0 && List()->GetRowCount() == 1; }));
    EXPECT_EQ(List()->GetRowText(0, 2), QStringLiteral("Later"));

    // An operation started with polling off leaves it off.
    mtr_set_poll_state(0);
    {
        CShortMsg::BusyScope busy(screen.get());
    }
    EXPECT_EQ(gv_bCallMtrPoll, 0);
    mtr_set_poll_state(1);
}

TEST_F(ShortMsgScreenTest, AThreePartMessageShowsOnceJoinedAndAMissingPartAsIncomplete)
{
    StartSMS("clear-messages SM\n");
    OpenOnSIM();
    // Parts 3, 1, 2 of reference 7, then parts 1 and 3 of reference 8.
    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("world", 7, 3, 3)), "ok");
    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("Hello ", 7, 3, 1)), "ok");
    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("long ", 7, 3, 2)), "ok");
    ASSERT_TRUE(Until([&] { return doc->GetNewMsgCount() == 0 && List()->GetRowCount() == 1; }, 8000));
    EXPECT_EQ(List()->GetRowText(0, 2), QStringLiteral("Hello long world"));
    EXPECT_EQ(List()->GetRowParam(0), 1);  // complete, unread

    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("Part one ", 8, 3, 1)), "ok");
    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("part three", 8, 3, 3)), "ok");
    ASSERT_TRUE(Until([&] { return doc->GetNewMsgCount() == 0 && List()->GetRowCount() == 2; }, 8000));
    const int incomplete = List()->GetRowText(0, 2).startsWith(QStringLiteral("Hello")) ? 1 : 0;
    EXPECT_EQ(List()->GetRowParam(incomplete), 2);
    EXPECT_TRUE(List()->GetRowText(incomplete, 2).contains(QStringLiteral("Part one")));

    // The walk-through picture with the joined message selected.
    SelectOnly(1 - incomplete);
    EXPECT_EQ(screen->PaneText(CShortMsg::IDC_TEXT), QStringLiteral("Hello long world"));
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("shortmsg")).isEmpty());
}

TEST_F(ShortMsgScreenTest, TheSenderAndDateShowWholeAndTheTextTakesTheRestOfTheList)
{
    StartSMS();
    // Unread (semi-bold), read and incomplete (italic) rows with the widest
    // month, day and time; the text is longer than any list is wide.
    const std::string longText(200, 'w');
    const double lateDecember = 46384.99930555555;  // 28 December 2026, 23:59
    OpenOnPC({{1, 0, "@+33612345678\r\n", longText, lateDecember},
              {2, 1, "@+33612345678\r\n", longText, lateDecember},
              {3, 5, "@+33612345678\r\n", longText, lateDecember}});
    // What a cell needs to show its picture and text unelided, in the row's
    // font, as the style lays the cell out.
    auto need = [&](int row, int column) {
        QStyleOptionViewItem opt;
        opt.initFrom(List());
        opt.decorationSize = List()->iconSize().isValid() ? List()->iconSize() : QSize(16, 16);
        return List()->itemDelegate()->sizeHint(opt, List()->model()->index(row, column)).width();
    };
    auto wholeAndInside = [&](int rows) {
        QHeaderView* header = List()->header();
        for (int row = 0; row < rows; ++row)
            for (int column : {0, 1})
                EXPECT_GE(header->sectionSize(column), need(row, column))
                    << "row " << row << " column " << column << ": " << List()->GetRowText(row, column).toStdString();
        EXPECT_LE(header->length(), List()->viewport()->width()) << "nothing to scroll sideways";
        EXPECT_LT(header->sectionSize(2), need(0, 2)) << "the long text is elided";
    };
    wholeAndInside(3);
    EXPECT_GT(List()->header()->sectionSize(2), 0);
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("shortmsg_columns")).isEmpty());

    // A wider list gives the text more and keeps the rest whole.
    const int text = List()->header()->sectionSize(2);
    List()->resize(List()->width() + 120, List()->height());
    EXPECT_GE(List()->header()->sectionSize(2), text + 120 / 3);
    wholeAndInside(3);

    // More messages than the list shows: the scroll bar's room comes from
    // the text too.
    std::vector<Row> many;
    for (int i = 1; i <= 40; ++i)
        many.push_back({i, 0, "@+33612345678\r\n", longText, lateDecember});
    Close();
    OpenOnPC(many);
    ASSERT_TRUE(Until([&] { return List()->verticalScrollBar()->isVisible(); }, 1000));
    wholeAndInside(1);
}

TEST_F(ShortMsgScreenTest, IsScreenTwoOfTheFrame)
{
    RegisterShortMsgScreen();
    QWidget parent;
    std::unique_ptr<CMainView> view(CreateScreen(SCREEN_SHORTMSG, &parent, 1));
    auto* msg = dynamic_cast<CShortMsg*>(view.get());
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->Folder(), 1);
    EXPECT_EQ(msg->GetViewKind(), VIEW_SHORTMSG);
    EXPECT_EQ(gv_pShortMsg, msg);
    view.reset();
    EXPECT_EQ(gv_pShortMsg, nullptr);
    UnregisterScreen(SCREEN_SHORTMSG);
}

// The phone refuses the SIM store with an error number of its own: the
// screen says so with that number and stays on the PC source.
TEST_F(ShortMsgScreenTest, ARefusedSIMStoreIsReportedWithThePhonesNumber)
{
    StartSMS();
    OpenOnPC({{1, 1, "@+1\r\n", "kept"}});
    ASSERT_EQ(sim->command("refuse +CPMS="), "ok");
    app.shown.clear();
    Click(CShortMsg::IDC_SRC_SIM);
    ASSERT_EQ(app.shown.size(), 1u);
    EXPECT_EQ(app.shown[0].text.trimmed(), app.FormatString(31364, {QStringLiteral("3")}));
    EXPECT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    EXPECT_EQ(ListRows(1), (std::vector<std::string>{"+1"}));
}

TEST_F(ShortMsgScreenTest, TabGoesRoundTheScreenInReadingOrderPastTheReadOnlyPane)
{
    StartSMS();
    OpenOnPC({{1, 1, "Ann@+33611\r\nBob@+33622\r\n", "Hello"}, {2, 1, "@+4499\r\n", "Second"}});
    SelectOnly(0);
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    auto id = [&](int control) { return screen->GetDlgItem(control); };
    // What Tab must reach, in this order, from the window's picture on.
    QList<QWidget*> expected{screen->findChild<QWidget*>(QStringLiteral("headerPicture"))};
    for (int control : {CShortMsg::IDC_RECV, CShortMsg::IDC_SENT, CShortMsg::IDC_SRC_PC, CShortMsg::IDC_SRC_SIM,
                        CShortMsg::IDC_SORT, CShortMsg::IDC_LIST, CShortMsg::IDC_COMPOSE, CShortMsg::IDC_OPEN,
                        CShortMsg::IDC_READNEW, CShortMsg::IDC_DELETE, CShortMsg::IDC_FIND, CShortMsg::IDC_PRINT,
                        CShortMsg::IDC_DST, CShortMsg::IDC_HELP})
        expected << id(control);
    expected << screen->RefreshButton() << screen->QuitButton();
    ASSERT_FALSE(expected.contains(nullptr));
    // The disabled ones are passed by.
    for (qsizetype i = expected.size() - 1; i >= 0; --i)
        if (!expected[i]->isEnabled() || !expected[i]->isVisible())
            expected.removeAt(i);
    ASSERT_GT(expected.size(), 12);
    ASSERT_TRUE(screen->IsPaneShown(CShortMsg::IDC_ADDRESSES));

    expected.first()->setFocus(Qt::TabFocusReason);
    QStringList seen{zorqtest::TabName(expected.first(), screen.get())};
    QWidget* at = expected.first();
    for (qsizetype i = 1; i <= expected.size(); ++i) {
        QTest::keyClick(at, Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        ASSERT_NE(next, nullptr) << seen.join(' ').toStdString();
        EXPECT_EQ(next, expected[i % expected.size()])
            << "after " << seen.join(' ').toStdString() << " came " << zorqtest::TabName(next, screen.get()).toStdString();
        seen << zorqtest::TabName(next, screen.get());
        at = next;
    }
    // Shift+Tab goes the same way back.
    QTest::keyClick(at, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), expected.last());

    // The pane's fields show the message but take no focus, not even a click's.
    for (int control : {CShortMsg::IDC_ADDRESSES, CShortMsg::IDC_TEXT}) {
        QWidget* field = id(control);
        EXPECT_EQ(field->focusPolicy(), Qt::NoFocus) << control;
        QTest::mouseClick(field, Qt::LeftButton);
        EXPECT_FALSE(field->hasFocus()) << control;
    }
}

TEST_F(ShortMsgScreenTest, TheRecipientFieldShowsTheStartOfALongList)
{
    StartSMS();
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += "Recipient" + std::to_string(i) + "@+336000000" + std::to_string(10 + i) + "\r\n";
    OpenOnPC({{1, 3, many, "To many"}}, 1);
    SelectOnly(0);
    auto* field = qobject_cast<QLineEdit*>(screen->GetDlgItem(CShortMsg::IDC_ADDRESSES));
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(screen->IsPaneShown(CShortMsg::IDC_ADDRESSES));
    ASSERT_TRUE(field->text().startsWith(QStringLiteral("Recipient0 (+33600000010)")));
    // The first recipient is what the field shows: its caret at the start.
    EXPECT_EQ(field->cursorPosition(), 0);
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("shortmsg_many_recipients")).isEmpty());
}

TEST_F(ShortMsgScreenTest, AnEmptyListReachedByTabShowsItHasTheFocus)
{
    StartSMS();
    OpenOnPC({});
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    CEntryListCtrl* list = List();
    ASSERT_EQ(list->GetRowCount(), 0);
    auto accentPixels = [&] {
        const QImage shot = list->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                n += c.red() > 200 && c.green() > 90 && c.green() < 150 && c.blue() < 90;
            }
        return n;
    };
    EXPECT_EQ(accentPixels(), 0);
    screen->GetDlgItem(CShortMsg::IDC_SRC_PC)->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 6 && !list->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(list->hasFocus());
    EXPECT_GT(accentPixels(), list->height()) << "the focused empty list is framed";
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("shortmsg_empty_list_focused")).isEmpty());
}
