// The message screen's context menus, tool tips and sender names, reached
// as a user reaches them: right clicks on the list, clicks in the menus,
// hovering the buttons, and the dialogs that open.
#include "sms_fixture.h"

#include "dlgmsgsend.h"
#include "dragdrop.h"
#include "dlgmsgtext.h"
#include "print.h"
#include "user_actions.h"
#include "walkthrough.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using smstest::Row;
using smstest::ShortMsgSimTest;
using zorqtest::ClickMenuItem;
using zorqtest::FindSubMenu;
using zorqtest::OnPopup;

namespace {

class ShortMsgMenusTest : public ShortMsgSimTest {
protected:
    void OpenOnPC(const std::vector<Row>& rows, int folder = 0)
    {
        MakePCMessages(rows);
        WriteIniProfileInt(folder == 0 ? "SMSMT" : "SMSMO", "Source", 0);
        Open(folder);
        ASSERT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    }
    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(screen->GetDlgItem(id)); }
    void Click(int id)
    {
        QTest::mouseClick(Button(id), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    // Right-clicks `row` and runs `act` on the menu; false when none opened.
    bool RightClickRow(int row, std::function<void(QMenu*)> act)
    {
        bool shown = false;
        OnPopup([&](QMenu* menu) {
            shown = true;
            act(menu);
            if (menu->isVisible())
                menu->close();
        });
        zorqtest::RightClickRow(List(), row);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return shown;
    }
    // The tip a user sees when resting the mouse on the widget.
    static QString HoverTip(QWidget* w)
    {
        QToolTip::hideText();
        const QPoint at = w->rect().center();
        QTest::mouseMove(w, at);
        QHelpEvent e(QEvent::ToolTip, at, w->mapToGlobal(at));
        QApplication::sendEvent(w, &e);
        return QToolTip::text();
    }
    // Runs `act` on the next modal dialog of type T once it shows.
    template <class T>
    void OnDialog(std::function<void(T*)> act)
    {
        auto tries = std::make_shared<int>(0);
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [act, tries, poll] {
            if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget()); d && d->isVisible()) {
                auto keep = *poll;  // the driver ends here; keep it alive while it runs
                *poll = nullptr;
                act(d);
                return;
            }
            if (++*tries < 300)
                QTimer::singleShot(10, *poll);
            else
                *poll = nullptr;
        };
        QTimer::singleShot(10, *poll);
    }
};

}  // namespace

TEST_F(ShortMsgMenusTest, BothFoldersMenusOfferCopyToAndCopyWithIt)
{
    StartSMS("clear-messages SM\n");
    OpenOnPC({{1, 1, "@+33611\r\n", "Copy me"}, {2, 1, "@+4499\r\n", "Stay here"}, {3, 3, "@+4498\r\n", "Sent"}});

    // The received folder's menu keeps its copy submenu with the SIM in it
    // (the PC shown is no destination).
    QStringList copies;
    ASSERT_TRUE(RightClickRow(0, [&](QMenu* menu) {
        QMenu* copy = FindSubMenu(menu, QStringLiteral("Copy to"));
        ASSERT_NE(copy, nullptr) << "no \"Copy to\" in the menu";
        for (QAction* a : copy->actions())
            copies << QString::number(a->data().toUInt());
        for (QAction* a : menu->actions())
            if (a->menu() == copy)
                menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Right);
        zorqtest::SaveScreenWithOverlays(screen.get(), {menu, copy}, QStringLiteral("sms_context_menu_copy_to"));
    }));
    EXPECT_EQ(copies, (QStringList{"32803", "32806", "32807"}));

    // Chosen there, the message is stored on the SIM.
    bool chosen = false;
    ASSERT_TRUE(RightClickRow(0, [&](QMenu* menu) { chosen = ClickMenuItem(menu, 32803); }));
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(Until([&] { return engine_test::dump_lines(*sim, "message ").find("Copy me") != std::string::npos; }))
        << engine_test::dump_lines(*sim, "message ");
    EXPECT_EQ(engine_test::dump_lines(*sim, "message ").find("Stay here"), std::string::npos);

    // The sent folder's menu has it too.
    Click(CShortMsg::IDC_SENT);
    bool copyTo = false;
    ASSERT_GT(List()->GetRowCount(), 0);
    ASSERT_TRUE(RightClickRow(0, [&](QMenu* menu) { copyTo = FindSubMenu(menu, QStringLiteral("Copy to")); }));
    EXPECT_TRUE(copyTo);
}

TEST_F(ShortMsgMenusTest, TheFindAndOpenTipsFollowTheSearchAndTheFolder)
{
    StartSMS();
    OpenOnPC({{1, 1, "Ann@+33611\r\n", "One"}, {2, 1, "Ann@+33611\r\n", "Two"}, {3, 1, "@+4499\r\n", "Three"}});
    EXPECT_EQ(HoverTip(Button(CShortMsg::IDC_OPEN)).toStdString(), Text(31269));
    EXPECT_EQ(HoverTip(Button(CShortMsg::IDC_FIND)).toStdString(), Text(31267));

    // A search with two hits: the find button steps through them.
    screen->findText = QStringLiteral("Ann");
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(HoverTip(Button(CShortMsg::IDC_FIND)).toStdString(), Text(31268));
    Click(CShortMsg::IDC_FIND);
    EXPECT_EQ(HoverTip(Button(CShortMsg::IDC_FIND)).toStdString(), Text(31267)) << "the last hit ends the search";

    Click(CShortMsg::IDC_SENT);
    EXPECT_EQ(HoverTip(Button(CShortMsg::IDC_OPEN)).toStdString(), Text(31270));
}

TEST_F(ShortMsgMenusTest, PrintForwardAndReplyNameTheSenderAsTheListDoes)
{
    StartSMS();
    MakePCDatabase("defpb.mdb", {Entry("Ann", "+33611")});
    OpenOnPC({{1, 1, "@+33611\r\n", "Hello"}});
    ASSERT_EQ(List()->GetRowText(0, 0), QStringLiteral("Ann"));
    List()->SelectRow(0);
    screen->OnSelectionChanged();

    // The printout.
    QTemporaryDir out;
    screen->pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    screen->pdf->setOutputFormat(QPrinter::PdfFormat);
    screen->pdf->setOutputFileName(out.filePath(QStringLiteral("m.pdf")));
    Click(CShortMsg::IDC_PRINT);
    EXPECT_TRUE(PrintJobTexts().contains(QString::fromStdString(Text(31298)) + QStringLiteral("\tAnn")))
        << PrintJobTexts().join(QLatin1Char('|')).toStdString();

    // The forward (through the menu): the sender line names Ann.
    QString forwarded;
    OnDialog<CDlgMsgEdit>([&](CDlgMsgEdit* d) {
        QCoreApplication::sendPostedEvents(d);
        forwarded = d->TextEdit()->toPlainText();
        d->EndDialog(IDCANCEL);
    });
    bool chosen = false;
    ASSERT_TRUE(RightClickRow(0, [&](QMenu* menu) { chosen = ClickMenuItem(menu, 32781); }));
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(forwarded.contains(QStringLiteral("(Ann)"))) << forwarded.toStdString();

    // The reply: Ann in the header, and as the stored reply's recipient.
    QString header;
    OnDialog<CDlgMsgWrite>([&](CDlgMsgWrite* d) {
        header = d->GetDlgItemText(CDlgMsgWrite::IDC_HEADER);
        QTest::keyClicks(d->TextEdit(), QStringLiteral("Thanks"));
        OnDialog<CDlgMsgSend>([](CDlgMsgSend* s) {
            for (int id : {CDlgMsgSend::IDC_MODE_STORE, CDlgMsgSend::IDC_DST_PC})
                if (auto* b = qobject_cast<QAbstractButton*>(s->GetDlgItem(id)); b && b->isEnabled())
                    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(8, b->height() / 2));
            s->OnOK();
        });
        d->OnOK();
    });
    Click(CShortMsg::IDC_COMPOSE);
    EXPECT_TRUE(header.contains(QStringLiteral("Ann"))) << header.toStdString();
    const auto rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].text.find("Thanks"), std::string::npos) << rows[1].text;
    EXPECT_EQ(rows[1].addr.substr(0, 4), "Ann@") << rows[1].addr;
}

TEST_F(ShortMsgMenusTest, ADraggedMessageShowsItsPictureAndIsPrintedWhereDropped)
{
    StartSMS();
    OpenOnPC({{1, 1, "@+33611\r\n", "Drag me"}, {2, 1, "@+4499\r\n", "Not me"}});
    QTemporaryDir out;
    screen->pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    screen->pdf->setOutputFormat(QPrinter::PdfFormat);
    screen->pdf->setOutputFileName(out.filePath(QStringLiteral("m.pdf")));
    CEntryDropSource* source = screen->GetDropSource();
    QWidget* print = Button(CShortMsg::IDC_PRINT);
    bool rowPicture = false;
    int overScreen = -2, overPrint = -2;
    CEntryDropSource::SetDragRunner([&](QDrag* drag) {
        const QMimeData* data = drag->mimeData();
        rowPicture = !drag->pixmap().isNull();
        auto pass = [data](QWidget* w, QEvent::Type leaveAfter) {
            const QPoint at = w->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w, &enter);
            QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w, &move);
            if (leaveAfter == QEvent::DragLeave) {
                QDragLeaveEvent leave;
                QApplication::sendEvent(w, &leave);
            }
        };
        pass(screen.get(), QEvent::None);
        overScreen = source->Image().IsShown() ? source->ShownImage() : -1;
        pass(screen.get(), QEvent::DragLeave);
        pass(print, QEvent::None);
        overPrint = source->Image().IsShown() ? source->ShownImage() : -1;
        QDropEvent drop(QPointF(print->rect().center()), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(print, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    });
    const QPoint at = List()->visualRect(List()->model()->index(0, 0)).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(List()->viewport(), at + QPoint(12 * step, 4 * step));
    QTest::mouseRelease(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at + QPoint(48, 16));
    CEntryDropSource::SetDragRunner(nullptr);
    QCoreApplication::processEvents();

    EXPECT_TRUE(rowPicture);
    EXPECT_EQ(overScreen, 0) << "the no-drop picture between the buttons";
    EXPECT_EQ(overPrint, 1) << "the drop picture over the print button";
    EXPECT_FALSE(source->Image().IsShown());
    EXPECT_TRUE(PrintJobTexts().contains(QStringLiteral("\tDrag me"), Qt::CaseSensitive) ||
                PrintJobTexts().join('|').contains(QStringLiteral("Drag me")))
        << PrintJobTexts().join('|').toStdString();
    EXPECT_FALSE(PrintJobTexts().join('|').contains(QStringLiteral("Not me")));
}
