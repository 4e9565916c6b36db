// A send whose answer never came, kept by "Send and store" in the SIM or in
// the PC database, then the program quit and started again on the same
// folder and phone: sending the kept message again asks first.
#include "program_support.h"

#include "dlgmessagebox.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgsend.h"
#include "dlgmsgtext.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "mainframe.h"
#include "phonesim_client.h"
#include "qxpbsrcnewlist.h"
#include "shortmsg.h"
#include "user_actions.h"
#include "zorqapp.h"
#include "zorqmenu.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "serial.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using zorqtest::ModalDriver;
using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

CShortMsg* MessageScreen()
{
    auto* frame = App() ? qobject_cast<CMainFrame*>(App()->m_pMainWnd) : nullptr;
    return frame ? qobject_cast<CShortMsg*>(frame->GetActiveView()) : nullptr;
}

// The row of the message screen's list showing `text`, or -1.
int RowWith(const QString& text)
{
    CShortMsg* s = MessageScreen();
    if (!s || !s->List())
        return -1;
    CEntryListCtrl* list = s->List();
    for (int r = 0; r < list->GetRowCount(); ++r)
        for (int c = 0; c < list->model()->columnCount(); ++c)
            if (list->GetRowText(r, c).contains(text))
                return r;
    return -1;
}

void ClickItem(QWidget* dlg, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(static_cast<CDialog*>(dlg)->GetDlgItem(id));
    ASSERT_NE(button, nullptr) << "button " << id;
    ASSERT_TRUE(button->isEnabled()) << "button " << id;
    // A radio button takes a click on its circle or its words only: the
    // middle of a wide one is neither, so the click goes on the circle.
    QPoint at = button->rect().center();
    if (auto* radio = qobject_cast<QRadioButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        at = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio).center();
    }
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
}

// The message boxes the program shows, in order, by their text.
class BoxWatch : public QObject {
public:
    std::vector<std::string> shown;
    std::vector<std::string> others;  // other modal windows, by class

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* box = qobject_cast<CDlgMessageBox*>(watched))
            shown.push_back(box->m_strText.trimmed().toStdString());
        else if (auto* system = qobject_cast<QMessageBox*>(watched))
            shown.push_back(system->text().trimmed().toStdString());
        else if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow() && w->isModal())
            others.push_back(w->metaObject()->className());
        return false;
    }
};

bool Quiet()
{
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
           !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running;
}

class ProgramSendMarkTest : public zorqtest::ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        gv_bCallMtrPoll = 1;
    }
    void TearDown() override
    {
        ProgramRunTest::TearDown();
        serial_trace_stop();
        gv_bCallMtrPoll = 1;
    }
    // Once the program is linked and idle, the message picture of the menu
    // is clicked; `then` runs once the screen lists at least one row.
    static void OpenMessagesThen(std::function<void()> then)
    {
        WhenStarted(
            [] { return Linked() && !App()->IdleWorkPending() && !CZorqMMIApp::RequestWaiting(); },
            [then] {
                auto* frame = qobject_cast<CMainFrame*>(App()->m_pMainWnd);
                auto* menu = frame ? qobject_cast<CZorqMenu*>(frame->GetActiveView()) : nullptr;
                if (!menu) {
                    End();
                    return;
                }
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->MenuRegion(2).boundingRect().center());
                WhenTrue([] { return MessageScreen() && MessageScreen()->List() &&
                                     MessageScreen()->List()->GetRowCount() > 0 && Quiet(); },
                         then, 30000, End);
            },
            30000);
    }
    void SendAndStoreWithTheAnswerLostThenRestart(int destination);
};

void ProgramSendMarkTest::SendAndStoreWithTheAnswerLostThenRestart(int destination)
{
    const bool inSim = destination == CDlgMsgSend::IDC_DST_SIM;
    phonesim::Process sim(
        "message-store SM 30\n"
        "message SM 1 1 +33612345678 \"26/12/09,10:00:00+04\" Please answer\n");
    ProgramFolder folder(sim.device());
    const std::string ini = folder.path() + "ZorqMMI.ini";
    // The received messages of the SIM are listed at the screen's opening.
    zorqtest::WriteFile(ini, zorqtest::ReadFile(ini) + "[SMSMT]\r\nSource=1\r\n");
    const QString text = QStringLiteral("Only once, please");
    std::string unconfirmed, sendAgain;

    // First run: the received message answered, sent and stored; the
    // phone sends it but its answer never comes.
    BoxWatch first;
    {
        ModalDriver driver;
        driver.OnModal<CDlgMsgWrite>([&](CDlgMsgWrite* d) {
            d->TextEdit()->setPlainText(text);
            ClickItem(d, IDOK);
        });
        driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
            ASSERT_EQ(sim.command("fault drop +CMGS="), "ok");
            ClickItem(d, CDlgMsgSend::IDC_MODE_SEND_STORE);
            ClickItem(d, destination);
            ClickItem(d, IDOK);
        });
        // The boxes that follow are acknowledged; once nothing is up and the
        // program waits on nothing, it is quit.
        auto acknowledge = [&](CDlgMessageBox* d) {
            unconfirmed = App()->LoadString(31922).toStdString();
            ClickItem(d, IDOK);
            QTimer::singleShot(0, [] { WhenTrue(Quiet, End, 60000, End); });
        };
        driver.OnModal<CDlgMessageBox>(acknowledge);
        OpenMessagesThen([&] {
            qApp->installEventFilter(&first);
            CShortMsg* screen = MessageScreen();
            QTest::mouseClick(screen->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                              zorqtest::RowPoint(screen->List(), 0));
            QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_COMPOSE), Qt::LeftButton);
        });
        EXPECT_EQ(RunProgram(folder), 0);
        qApp->removeEventFilter(&first);
        // Stored as asked, wherever: the send dialog does not come back.
        EXPECT_EQ(first.others, (std::vector<std::string>{"CDlgMsgWrite", "CDlgMsgSend"}));
        ASSERT_FALSE(timedOut_) << "the program hung after the lost answer";
        EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    }
    ASSERT_FALSE(unconfirmed.empty());
    // Told as not confirmed, never as a failure.
    ASSERT_FALSE(first.shown.empty());
    EXPECT_EQ(first.shown.front(), unconfirmed);
    EXPECT_EQ(first.shown.size(), 1u);
    EXPECT_EQ(sim.listing("sent").size(), 1u) << "the phone did not send it";
    if (inSim) {
        const std::string state = sim.dump();
        EXPECT_NE(state.find(text.toStdString()), std::string::npos) << "the SIM does not hold the stored message";
    }
    krn_reset_for_tests();
    serial_trace_stop();
    gv_bCallMtrPoll = 1;
    timedOut_ = false;

    // Second run, on the same folder and phone: the kept message is taken
    // from the sent folder of where it was stored and sent again. The
    // question comes first; No sends nothing and the send dialog stays.
    if (!inSim)
        zorqtest::WriteFile(ini, zorqtest::ReadFile(ini) + "[SMSMO]\r\nSource=0\r\n");
    BoxWatch second;
    bool backToSend = false;
    {
        ModalDriver driver;
        driver.OnModal<CDlgMsgEdit>([](CDlgMsgEdit* d) { ClickItem(d, IDOK); });
        driver.OnModal<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
            QPointer<CDlgMsgDirectory> dlg(d);
            WhenTrue([dlg] { return !dlg || (dlg->Pane()->GetListCtrl()->GetRowCount() > 0 && !CZorqMMIApp::RequestWaiting()); },
                     [dlg] {
                         if (dlg)
                             ClickItem(dlg, IDOK);
                     },
                     30000, End);
        });
        driver.OnModal<CDlgMsgSend>([](CDlgMsgSend* d) {
            ClickItem(d, CDlgMsgSend::IDC_MODE_SEND);
            ClickItem(d, IDOK);
        });
        driver.OnModal<QMessageBox>([](QMessageBox* d) { QTest::mouseClick(d->button(QMessageBox::No), Qt::LeftButton); });
        driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
            backToSend = true;
            ClickItem(d, IDCANCEL);
            QTimer::singleShot(0, [] { WhenTrue(Quiet, End, 60000, End); });
        });
        OpenMessagesThen([&] {
            CShortMsg* screen = MessageScreen();
            QTest::mouseClick(screen->GetDlgItem(inSim ? CShortMsg::IDC_SRC_SIM : CShortMsg::IDC_SRC_PC), Qt::LeftButton);
            QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_SENT), Qt::LeftButton);
            WhenTrue([text] { return RowWith(text) >= 0 && Quiet(); },
                     [&, text] {
                         sendAgain = App()->LoadString(31923).toStdString();
                         qApp->installEventFilter(&second);
                         CShortMsg* s = MessageScreen();
                         QTest::mouseClick(s->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                                           zorqtest::RowPoint(s->List(), RowWith(text)));
                         QTest::mouseClick(s->GetDlgItem(CShortMsg::IDC_OPEN), Qt::LeftButton);
                     },
                     30000, End);
        });
        EXPECT_EQ(RunProgram(folder), 0);
        qApp->removeEventFilter(&second);
        EXPECT_FALSE(timedOut_);
        EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    }
    ASSERT_FALSE(sendAgain.empty()) << "the kept message was not listed after the restart";
    EXPECT_EQ(second.shown, (std::vector<std::string>{sendAgain}));
    EXPECT_TRUE(backToSend);
    EXPECT_EQ(sim.listing("sent").size(), 1u) << "sent again although the user said no";
}

TEST_F(ProgramSendMarkTest, SentAndStoredInTheSimWithItsAnswerLostAsksFirstAfterARestart)
{
    SendAndStoreWithTheAnswerLostThenRestart(CDlgMsgSend::IDC_DST_SIM);
}

TEST_F(ProgramSendMarkTest, SentAndStoredInThePcWithItsAnswerLostAsksFirstAfterARestart)
{
    SendAndStoreWithTheAnswerLostThenRestart(CDlgMsgSend::IDC_DST_PC);
}

}  // namespace
