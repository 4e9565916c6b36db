// The message side of the whole program, through its own loop, against the
// phone simulator answering at once as a phone on USB does: a SIM holding
// many messages is listed, messages that arrive while the new-message box
// stands are listed with the box up and without the loop spinning, and a
// long message cut short by a pulled cable is told once and offered again.
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
#include "smsdatabase.h"
#include "strutil.h"
#include "shortmsg.h"
#include "user_actions.h"
#include "walkthrough.h"
#include "zorqapp.h"
#include "zorqmenu.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "serial.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

namespace {

using zorqtest::ModalDriver;
using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

double Seconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// `count` received messages on the SIM, every other one unread.
std::string SimMessages(int count)
{
    std::string s = "message-store SM 250\n";
    for (int i = 1; i <= count; ++i)
        s += "message SM " + std::to_string(i) + " " + std::to_string(i % 2) + " +336" +
             std::to_string(10000000 + i) + " \"26/12/09,10:00:00+04\" Message " + std::to_string(i) + " on the SIM\n";
    return s;
}

long Count(const std::string& text, const std::string& what)
{
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// What the phone sent, from an AT trace: its output blocks (a star line,
// the "-> time" line and the command, up to the "<- time" line) dropped,
// since one may fall inside an input line.
std::string InputOf(const std::string& trace)
{
    std::string in;
    size_t at = 0;
    for (;;) {
        const size_t block = trace.find("\r\n***", at);
        if (block == std::string::npos)
            return in + trace.substr(at);
        in += trace.substr(at, block - at);
        const size_t back = trace.find("\n<- ", block);
        if (back == std::string::npos)
            return in;
        at = trace.find('\n', back + 1);
        if (at == std::string::npos)
            return in;
        ++at;
    }
}

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

CShortMsg* MessageScreen()
{
    auto* frame = App() ? qobject_cast<CMainFrame*>(App()->m_pMainWnd) : nullptr;
    return frame ? qobject_cast<CShortMsg*>(frame->GetActiveView()) : nullptr;
}

int ListedRows()
{
    CShortMsg* s = MessageScreen();
    return s && s->List() ? s->List()->GetRowCount() : -1;
}

CDlgMessageBox* NewMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<CDlgMessageBox*>(w);
        if (box && box->isVisible() && App() && box->m_strText.contains(App()->LoadString(31313)))
            return box;
    }
    return nullptr;
}

void ClickItem(QWidget* dlg, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(static_cast<CDialog*>(dlg)->GetDlgItem(id));
    ASSERT_NE(button, nullptr) << "button " << id;
    ASSERT_TRUE(button->isEnabled()) << "button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Every modal window and popup menu the program shows, in order: the class
// name, and a message box's text after it.
class ModalWatch : public QObject {
public:
    std::vector<std::string> shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Show || !w || !w->isWindow() || !(w->isModal() || qobject_cast<QMenu*>(w)))
            return false;
        std::string what = w->metaObject()->className();
        if (auto* box = qobject_cast<CDlgMessageBox*>(w))
            what += ": " + box->m_strText.trimmed().toStdString();
        shown.push_back(what);
        return false;
    }
};

class ProgramSmsTest : public zorqtest::ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        // Polling on, as in a new process, whatever ran before in this one.
        gv_bCallMtrPoll = 1;
    }
    void TearDown() override
    {
        ProgramRunTest::TearDown();
        // The next run starts as a new process would: its own AT trace, and
        // polling on (a run's stop leaves it off).
        serial_trace_stop();
        gv_bCallMtrPoll = 1;
    }
    // The program on `folder`, showing the SIM's received messages, until a
    // step ends it or 60 s pass.
    int RunProgram(ProgramFolder& folder)
    {
        const std::string ini = folder.path() + "ZorqMMI.ini";
        zorqtest::WriteFile(ini, zorqtest::ReadFile(ini) + "[SMSMT]\r\nSource=1\r\n");
        return ProgramRunTest::RunProgram(folder);
    }
    // Once the program is linked and its background phonebook reading is
    // done, the message picture of the menu is clicked; `then` runs once the
    // screen lists `rows` rows.
    void SendWhileAMessageArrives(int baud, const QString& picture);
    static void OpenMessagesThen(int rows, std::function<void()> then, int ms)
    {
        WhenStarted(
            [] {
                return gv_SPIO_com_status == SPIO_com_available && !App()->IdleWorkPending() &&
                       !CZorqMMIApp::RequestWaiting();
            },
            [rows, then, ms] {
                auto* frame = qobject_cast<CMainFrame*>(App()->m_pMainWnd);
                auto* menu = frame ? qobject_cast<CZorqMenu*>(frame->GetActiveView()) : nullptr;
                if (!menu) {
                    End();
                    return;
                }
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->MenuRegion(2).boundingRect().center());
                WhenTrue([rows] {
                    return ListedRows() >= rows && !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running;
                }, then, ms, End);
            },
            30000);
    }
};

TEST_F(ProgramSmsTest, TwoHundredSimMessagesAreListedFromAPhoneAnsweringAtOnce)
{
    // Each status list is far longer than the confirms the engine's pools
    // hold at once: the answer streams in while the screen stores rows.
    phonesim::Process sim(SimMessages(200));
    ProgramFolder folder(sim.device());
    int rows = -1;
    double cpu = 0, wall = 0;
    static double wall0, cpu0;
        wall0 = Seconds(CLOCK_MONOTONIC);
        cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    OpenMessagesThen(200, [&] {
        rows = ListedRows();
        wall = Seconds(CLOCK_MONOTONIC) - wall0;
        cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        End();
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(rows, 200);
    RecordProperty("seconds", std::to_string(wall));
    EXPECT_LT(cpu, wall) << "the start and the listing took " << cpu << " s of processor in " << wall << " s";
}

// The progress windows on screen each time the new-message box shows, and
// whether the main window had painted again, by then, all the area the last
// progress window `watched` covered.
class NewMessageBoxWatch : public QObject {
public:
    int boxes = 0;
    QStringList standing;
    // Progress windows that came up while the new-message box stood.
    QStringList cameOver;
    QList<QPointer<QWidget>> standingWindows;
    // The title of the progress window whose end is watched; the phone takes
    // in a message as it shows (`onShow`).
    QString watched;
    std::function<void()> onShow;
    int ended = 0;
    QRegion covered, painted;
    bool repaintedUnder = false;

protected:
    bool eventFilter(QObject* o, QEvent* event) override
    {
        if (!o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        QWidget* main = App() ? App()->m_pMainWnd : nullptr;
        auto* progress = qobject_cast<CDlgProgress*>(w);
        if (progress && event->type() == QEvent::Show && NewMessageBox())
            cameOver << progress->windowTitle();
        if (progress && progress->windowTitle() == watched) {
            if (event->type() == QEvent::Show && onShow) {
                onShow();
                onShow = nullptr;
            } else if (event->type() == QEvent::Hide && main) {
                ++ended;
                const QRect area = progress->frameGeometry();
                covered = QRegion(QRect(main->mapFromGlobal(area.topLeft()), area.size())) & main->rect();
                painted = QRegion();
            }
        }
        if (event->type() == QEvent::Paint && main && w->window() == main && ended > 0)
            painted += static_cast<QPaintEvent*>(event)->region().translated(w->mapTo(main, QPoint()));
        auto* box = qobject_cast<CDlgMessageBox*>(w);
        if (event->type() != QEvent::Show || !box || !box->m_strText.contains(App()->LoadString(31313)))
            return false;
        ++boxes;
        repaintedUnder = ended > 0 && !covered.isEmpty() && (covered - painted).isEmpty();
        for (QWidget* t : QApplication::topLevelWidgets())
            if (qobject_cast<CDlgProgress*>(t) && t->isVisible()) {
                standing << t->windowTitle();
                standingWindows << t;
            }
        return false;
    }
};

TEST_F(ProgramSmsTest, MessagesArrivingWhileTheNewMessageBoxStandsAreListedWithoutSpinning)
{
    phonesim::Process sim(SimMessages(3));
    ProgramFolder folder(sim.device());
    std::vector<QPointer<CDlgMessageBox>> boxes;
    int rowsWithBoxUp = -1;
    double share = -1, quiet0 = 0, cpuAtQuiet0 = 0;
    bool boxStoodThroughout = false;
    NewMessageBoxWatch watch;  // the arrivals are read with the box up, no progress window over it
    OpenMessagesThen(3, [&] {
        qApp->installEventFilter(&watch);
        ASSERT_EQ(sim.command("sms-receive SM +33611111111 First of four"), "ok");
        WhenTrue([] { return NewMessageBox() != nullptr; },
                 [&] {
                     boxes.push_back(NewMessageBox());
                     // While nobody answers the box: three more messages and
                     // a burst of indications, far more than the engine's
                     // pools take at once.
                     for (const char* text : {"Second", "Third", "Fourth"})
                         sim.command(std::string("sms-receive SM +33622222222 ") + text);
                     sim.command("set ciev-storm 300");
                     WhenTrue([] { return ListedRows() >= 7 && !CZorqMMIApp::RequestWaiting(); },
                              [&] {
                                  // Once the burst is worked off, two quiet
                                  // seconds with the box still up are measured.
                                  QTimer::singleShot(1000, [&] { quiet0 = Seconds(CLOCK_MONOTONIC); cpuAtQuiet0 = Seconds(CLOCK_PROCESS_CPUTIME_ID); });
                                  QTimer::singleShot(3000, [&] {
                                      const double wall0 = quiet0, cpu0 = cpuAtQuiet0;
                                      share = (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0) /
                                              (Seconds(CLOCK_MONOTONIC) - wall0);
                                      rowsWithBoxUp = ListedRows();
                                      CDlgMessageBox* box = NewMessageBox();
                                      boxStoodThroughout = box && box == boxes.front();
                                      if (box && box->m_btnOK)
                                          QTest::mouseClick(static_cast<QWidget*>(box->m_btnOK), Qt::LeftButton);
                                      // No second box follows for the messages that came meanwhile.
                                      QTimer::singleShot(500, [&] {
                                          if (CDlgMessageBox* again = NewMessageBox()) {
                                              boxes.push_back(again);
                                              if (again->m_btnOK)
                                                  QTest::mouseClick(static_cast<QWidget*>(again->m_btnOK), Qt::LeftButton);
                                          }
                                          End();
                                      });
                                  });
                              },
                              15000, [&] {
                                  rowsWithBoxUp = ListedRows();
                                  if (CDlgMessageBox* box = NewMessageBox())
                                      box->done(1);
                                  End();
                              });
                 },
                 10000, End);
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(boxes.size(), 1u) << "one box for the four messages";
    EXPECT_TRUE(boxStoodThroughout);
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(rowsWithBoxUp, 7) << "every message that arrived is listed while the box stands";
    EXPECT_TRUE(watch.cameOver.isEmpty()) << "came up while the box stood: "
                                          << watch.cameOver.join(QLatin1String(", ")).toStdString();
    EXPECT_GE(share, 0.0);
    EXPECT_LT(share, 0.5) << "share of one processor while the box stood";
}

// The cable pulled once the phone has taken four of a message's five parts:
// the user is told once, in one box, how many parts went out; the link loss
// puts nothing on top of it; the message comes back to the send dialog and
// the program goes on.
TEST_F(ProgramSmsTest, ALongMessageCutShortByAPulledCableIsToldOnceAndOfferedAgain)
{
    phonesim::Process sim(SimMessages(1));
    ProgramFolder folder(sim.device());
    ModalWatch watch;
    ModalDriver driver;
    bool offeredAgain = false, sendStillOffered = true, quietAfter = false;
    const QString text(153 * 4 + 40, QLatin1Char('y'));  // five parts
    driver.OnModal<CDlgMsgWrite>([&](CDlgMsgWrite* d) {
        d->TextEdit()->setPlainText(text);
        ClickItem(d, IDOK);
    });
    driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
        ASSERT_EQ(sim.command("set unplug-after-sends 4"), "ok");
        ClickItem(d, IDOK);
    });
    driver.OnModal<CDlgMessageBox>([](CDlgMessageBox* d) { ClickItem(d, IDOK); });
    driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
        offeredAgain = true;
        // Without the phone only storing is left.
        QWidget* send = d->GetDlgItem(1103);
        sendStillOffered = send && send->isEnabled();
        ClickItem(d, IDCANCEL);
        // A while later the program has taken in the loss (its quiet
        // re-detection is done), nothing more has been put up and it still
        // takes the user's clicks.
        QTimer::singleShot(1500, [&] {
            quietAfter = !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
                         !CZorqMMIApp::RequestWaiting() && !App()->IdleWorkPending();
            End();
        });
    });
    OpenMessagesThen(1, [&] {
        qApp->installEventFilter(&watch);
        // The received message is clicked, then the compose button: the
        // answer goes to its sender.
        CShortMsg* screen = MessageScreen();
        QTest::mouseClick(screen->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          zorqtest::RowPoint(screen->List(), 0));
        QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_COMPOSE), Qt::LeftButton);
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(timedOut_) << "the program hung";
    EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    EXPECT_EQ(sim.listing("sent").size(), 4u);
    const std::string told =
        "CDlgMessageBox: The message could not be sent whole: only 4 of its 5 parts went out. It is kept unsent.";
    EXPECT_EQ(watch.shown, (std::vector<std::string>{"CDlgMsgWrite", "CDlgMsgSend", told, "CDlgMsgSend"}));
    EXPECT_TRUE(offeredAgain);
    EXPECT_FALSE(sendStillOffered);
    EXPECT_TRUE(quietAfter);
}

// A message that arrives while a reply is being sent: its box waits for the
// send's end and, when it shows, no progress window stands under it, and
// the main window has painted again where "Sending the message" stood (its
// picture stayed behind the box until the greyed window repainted). The
// screen reads the arrival once the send is over, under "Reading the new
// message": the box waits for that window too, and no progress window comes
// up while the box stands. The walk-through's picture is the main window
// with the box over it, as it stood when the box showed.
void ProgramSmsTest::SendWhileAMessageArrives(int baud, const QString& picture)
{
    phonesim::Process sim(SimMessages(1), baud);
    ProgramFolder folder(sim.device());
    ModalDriver driver;
    NewMessageBoxWatch watch;
    bool arrivedDuringTheSend = false, pictured = false;
    QStringList cameSince, cut;
    driver.OnModal<CDlgMsgWrite>([&](CDlgMsgWrite* d) {
        d->TextEdit()->setPlainText(QStringLiteral("On my way"));
        ClickItem(d, IDOK);
    });
    driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
        // The send's window comes up: the phone takes in a message as it
        // shows, whatever the load, while the send is under way.
        watch.watched = App()->LoadString(31476);
        watch.onShow = [&] {
            arrivedDuringTheSend = sim.command("sms-receive SM +33655555555 Arrived during the send") == "ok";
        };
        qApp->installEventFilter(&watch);
        ClickItem(d, IDOK);
    });
    driver.OnModal<CDlgMessageBox>([&](CDlgMessageBox* box) {
        // The box and what stood behind it as it showed, bottom to top. A
        // progress window on screen now that did not stand as the box
        // showed came up over it.
        QList<QWidget*> over;
        for (const QPointer<QWidget>& w : watch.standingWindows)
            if (w && w->isVisible())
                over << w;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CDlgProgress*>(w) && w->isVisible() && !over.contains(w))
                cameSince << w->windowTitle();
        over << box;
        pictured = !zorqtest::SaveScreenWithOverlays(App()->m_pMainWnd, over, picture).isEmpty();
        cut = zorqtest::ClippedTexts(box) + zorqtest::UnfinishedTextsIn(box);
        // The user reads the box for a while, as long as the arrival's
        // reading takes at the slowest speed, before answering it.
        QTimer::singleShot(2000, [box = QPointer<CDlgMessageBox>(box)] {
            if (box)
                ClickItem(box, IDOK);
            QTimer::singleShot(500, End);
        });
    });
    OpenMessagesThen(1, [&] {
        CShortMsg* screen = MessageScreen();
        QTest::mouseClick(screen->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          zorqtest::RowPoint(screen->List(), 0));
        QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_COMPOSE), Qt::LeftButton);
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    EXPECT_TRUE(arrivedDuringTheSend);
    EXPECT_EQ(sim.listing("sent").size(), 1u);
    EXPECT_EQ(watch.boxes, 1) << "one new-message box";
    EXPECT_TRUE(watch.standing.isEmpty()) << "under the box as it showed: "
                                          << watch.standing.join(QLatin1String(", ")).toStdString();
    EXPECT_TRUE(watch.cameOver.isEmpty()) << "came up while the box stood: "
                                          << watch.cameOver.join(QLatin1String(", ")).toStdString();
    EXPECT_TRUE(cameSince.isEmpty()) << "on screen with the box: " << cameSince.join(QLatin1String(", ")).toStdString();
    EXPECT_EQ(watch.ended, 1);
    EXPECT_TRUE(watch.repaintedUnder) << "the main window had not painted again where the send's window stood";
    EXPECT_TRUE(pictured);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1String("; ")).toStdString();
}

TEST_F(ProgramSmsTest, AMessageArrivingDuringASendShowsItsBoxOnceNoProgressWindowStands)
{
    SendWhileAMessageArrives(0, QStringLiteral("sms_new_message_after_send"));
}

// The same at 19200 baud, where the send and the arrival's reading take
// about a second each.
TEST_F(ProgramSmsTest, AtTheSlowestSpeedTheBoxOfAMessageArrivingDuringASendWaitsForItsReading)
{
    SendWhileAMessageArrives(19200, QStringLiteral("sms_new_message_after_send_19200"));
}

// A message arrives while the user writes one: the screen reads it under its
// progress window, which greys the screen and the editor on it. What the
// user types into the greyed editor while the message is read takes
// nothing, as in any greyed window, and so does what is typed into it in
// the window's last moment, its full bar standing before it closes. What
// the user gives a live window in that moment (the OK of the new-message
// box, when the box came first) is kept and takes effect once the window
// has gone, exactly once.
TEST_F(ProgramSmsTest, InputGivenWhileAnArrivingMessageIsReadIsKeptForLiveWindowsOnly)
{
    phonesim::Process sim(SimMessages(1));
    ProgramFolder folder(sim.device());
    const QString typed = QStringLiteral("Typed while it reads");
    bool arrived = false, typedWhileGreyed = false, typedInPause = false, clickedInPause = false;
    bool pausedAtFullBar = false, ended = false;
    int boxesShown = 0, boxClicks = 0, rowsBefore = -1, rowsAfter = -1;
    QString inEditor = QStringLiteral("(not read)");
    auto edit = [] { return qobject_cast<CDlgMsgEdit*>(QApplication::activeModalWidget()); };
    auto box = [] { return qobject_cast<CDlgMessageBox*>(QApplication::activeModalWidget()); };
    auto clickBox = [&](CDlgMessageBox* b) {
        b->setProperty("clicked", true);
        ++boxClicks;
        QTest::mouseClick(b->m_btnOK, Qt::LeftButton);
    };
    // The user acts at the steps of the reading's window, each seen as its
    // bar moves: the next turn of the loop runs inside the request (step 2)
    // or inside the window's last moment (the full bar), whatever the load.
    auto atStep = [&](int step) {
        CDlgMessageBox* b = box();
        if (step == 2 && !b && edit() && !edit()->TextEdit()->isEnabled()) {
            typedWhileGreyed = true;
            QTest::keyClicks(edit()->TextEdit(), QStringLiteral("Lost "));
        } else if (step == 3) {
            pausedAtFullBar = InMessagePause();
            if (b && b->isVisible()) {
                clickedInPause = true;
                clickBox(b);
            } else if (edit() && !edit()->TextEdit()->isEnabled()) {
                typedInPause = true;
                QTest::keyClicks(edit()->TextEdit(), typed);
            }
        }
    };
    class Watch : public QObject {
    public:
        int* boxes = nullptr;
        QString reading;
        std::function<void(int)> atStep;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() != QEvent::Show)
                return false;
            if (qobject_cast<CDlgMessageBox*>(o))
                ++*boxes;
            auto* progress = qobject_cast<CDlgProgress*>(o);
            auto* bar = progress && progress->windowTitle() == reading ? progress->findChild<QProgressBar*>() : nullptr;
            if (bar && !bar->property("watched").toBool()) {
                bar->setProperty("watched", true);
                QObject::connect(bar, &QProgressBar::valueChanged, bar, [this](int value) {
                    QTimer::singleShot(0, this, [this, value] { atStep(value); });
                });
            }
            return false;
        }
    } watch;
    watch.boxes = &boxesShown;
    watch.reading = App() ? App()->LoadString(31338) : QString();
    watch.atStep = atStep;
    // Boxes the user answers outside those steps, once the program is free.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (!arrived || ended || InMessagePause() || CZorqMMIApp::RequestWaiting())
            return;
        CDlgMessageBox* b = box();
        if (b && b->isVisible() && b->isEnabled() && !b->property("clicked").toBool())
            clickBox(b);
    });
    user.start(20);
    OpenMessagesThen(1, [&] {
        qApp->installEventFilter(&watch);
        watch.reading = App()->LoadString(31338);
        // The click runs the editor's own loop: what follows is watched from
        // inside it.
        WhenTrue([&] { return edit() && edit()->isVisible() && edit()->isEnabled(); },
                 [&] {
                     rowsBefore = ListedRows();
                     arrived = sim.command("sms-receive SM +33655555555 Arrived while writing") == "ok";
                     // The reading, its window and its box are over, and
                     // what the user gave a live window in the window's
                     // last moment has been taken.
                     WhenTrue(
                         [&] {
                             const bool given = typedInPause || (clickedInPause && !box());
                             return given && boxesShown > 0 && !box() && edit() && edit()->TextEdit()->isEnabled() &&
                                    !InMessagePause() && !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running &&
                                    ListedRows() > rowsBefore;
                         },
                         [&] {
                             ended = true;
                             rowsAfter = ListedRows();
                             inEditor = edit()->TextEdit()->toPlainText();
                             static_cast<QDialog*>(edit())->reject();
                             WhenTrue([] { return !QApplication::activeModalWidget(); }, End, 10000, End);
                         },
                         20000, [&] {
                             rowsAfter = ListedRows();
                             if (edit())
                                 inEditor = edit()->TextEdit()->toPlainText();
                             End();
                         });
                 },
                 10000, End);
        QTest::mouseClick(MessageScreen()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton);
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(arrived);
    ASSERT_TRUE(typedInPause || clickedInPause) << "nothing stood greyed in the reading window's last moment";
    EXPECT_TRUE(pausedAtFullBar) << "the full bar was not the window's last moment";
    EXPECT_TRUE(ended) << "the reading did not end with the editor back ("
                       << (clickedInPause ? "the box's OK" : "typed text") << "), the editor holds \""
                       << inEditor.toStdString() << "\"";
    // Nothing typed into the greyed editor is taken, in the last moment
    // either.
    EXPECT_EQ(inEditor, QString()) << "text typed into the greyed editor was taken";
    EXPECT_EQ(boxesShown, 1);
    EXPECT_EQ(boxClicks, 1) << "the box took one click";
    EXPECT_EQ(rowsAfter, rowsBefore + 1) << "the arrival is listed once";
    RecordProperty("input_in_the_pause", typedInPause ? "text typed into the editor" : "the box's OK");
    RecordProperty("typed_while_greyed", typedWhileGreyed ? "yes" : "no");
}

// The same cut through the read-new sequence, whose recipients dialog comes
// back after the box: the user cancels it, and the message, told as kept,
// is in the PC database unsent.
TEST_F(ProgramSmsTest, ALongMessageCutShortIsKeptUnsentWhenTheUserCancelsTheRecipientsDialogAfter)
{
    phonesim::Process sim(SimMessages(1));
    ProgramFolder folder(sim.device());
    ModalWatch watch;
    ModalDriver driver;
    const QString text = QStringLiteral("Kept ") + QString(153 * 3, QLatin1Char('k'));  // four parts
    driver.OnModal<CDlgMsgEdit>([&](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(text);
        ClickItem(d, IDOK);
    });
    auto chooseAlice = [](CDlgMsgDirectory* d) {
        CEntryListCtrl* list = d->Pane()->GetListCtrl();
        for (int r = 0; r < list->GetRowCount(); ++r)
            if (list->GetRowText(r, 0) == QLatin1String("Alice"))
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, r));
        ClickItem(d, 1101);
        ClickItem(d, IDOK);
    };
    // The directory once its list is loaded.
    driver.OnModal<CDlgMsgDirectory>([&](CDlgMsgDirectory* d) {
        QPointer<CDlgMsgDirectory> dlg(d);
        WhenTrue([dlg] { return !dlg || (dlg->Pane()->GetListCtrl()->GetRowCount() > 0 && !CZorqMMIApp::RequestWaiting()); },
                 [dlg, chooseAlice] {
                     if (dlg)
                         chooseAlice(dlg);
                 },
                 20000, End);
    });
    driver.OnModal<CDlgMsgSend>([&](CDlgMsgSend* d) {
        ASSERT_EQ(sim.command("set unplug-after-sends 2"), "ok");
        ClickItem(d, IDOK);
    });
    driver.OnModal<CDlgMessageBox>([](CDlgMessageBox* d) { ClickItem(d, IDOK); });
    driver.OnModal<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        ClickItem(d, IDCANCEL);
        QTimer::singleShot(1000, End);
    });
    OpenMessagesThen(1, [&] {
        qApp->installEventFilter(&watch);
        QTest::mouseClick(MessageScreen()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton);
    }, 20000);
    EXPECT_EQ(RunProgram(folder), 0);
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    EXPECT_EQ(sim.listing("sent").size(), 2u);
    ASSERT_GE(watch.shown.size(), 5u);
    EXPECT_EQ(watch.shown[3],
              "CDlgMessageBox: The message could not be sent whole: only 2 of its 4 parts went out. It is kept unsent.");
    // The PC database holds it, unsent, with its recipient.
    CJetDatabase db;
    db.Open(folder.path() + "Database/defsms.mdb");
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    int kept = 0;
    for (; !rs.IsEOF(); rs.MoveNext()) {
        if (rs.Text != text.toStdString())
            continue;
        ++kept;
        EXPECT_EQ(rs.msgType, 2) << "unsent";
        EXPECT_NE(rs.AddrList.find("+33612345678"), std::string::npos) << rs.AddrList;
    }
    EXPECT_EQ(kept, 1);
}

TEST_F(ProgramSmsTest, AFloodOfIndicationsBeforeAnAnswerEndsNeitherTheReadingNorThePortReading)
{
    // A phone on a paced line that sends a long burst of indications just
    // before its answers to the storage choice and the reading a new
    // message starts (polling is off meanwhile, so every indication waits
    // for the end of the request): the reading ends with its answers and
    // the port is read to the end of the burst.
    phonesim::Process sim(SimMessages(3), 115200);
    ProgramFolder folder(sim.device());
    int rows = -1;
    double wall = -1, cpu = -1;
    OpenMessagesThen(3, [&] {
        static double wall0, cpu0;
        wall0 = Seconds(CLOCK_MONOTONIC);
        cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        // The burst is queued behind the new-message notice, ahead of the
        // answers to what the notice makes the program ask.
        ASSERT_EQ(sim.command("sms-receive SM +33611111111 Under a flood"), "ok");
        ASSERT_EQ(sim.command("set ciev-storm 1000"), "ok");
        WhenTrue([] {
                     if (CDlgMessageBox* box = NewMessageBox(); box && box->m_btnOK)
                         QTest::mouseClick(static_cast<QWidget*>(box->m_btnOK), Qt::LeftButton);
                     return ListedRows() >= 4 && !CZorqMMIApp::RequestWaiting();
                 },
                 [&] {
                     rows = ListedRows();
                     wall = Seconds(CLOCK_MONOTONIC) - wall0;
                     cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
                     End();
                 },
                 20000, [&] {
                     rows = ListedRows();
                     End();
                 });
    }, 30000);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(rows, 4) << "the new message is read and listed once the burst is worked off";
    EXPECT_GT(wall, 0.0);
    EXPECT_LT(cpu, wall) << "the burst and the reading took " << cpu << " s of processor in " << wall << " s";
    // Every indication of the burst was read from the port, and the burst
    // did come while the storage choice waited for its answer.
    const std::string at = InputOf(zorqtest::ReadFile(folder.path() + "debugAT.txt"));
    EXPECT_EQ(Count(at, "+CIEV:"), 1000);
    const size_t notice = at.find("+CMTI:");
    const size_t answer = at.find("+CPMS: 4");
    ASSERT_NE(notice, std::string::npos);
    ASSERT_NE(answer, std::string::npos);
    EXPECT_EQ(Count(at.substr(notice, answer - notice), "+CIEV:"), 1000) << "the burst came before the answers";
}

}  // namespace
