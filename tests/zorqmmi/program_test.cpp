// The program's main entry against the phone simulator, offscreen: it finds
// the phone, shows its window, asks for the PIN or the PUK when the phone
// wants one, and keeps running without a link when the user cancels. A
// second start of the built program hands over to this one and exits 0.
#include "program_support.h"

#include "dlgdatetime.h"
#include "dlgmessagebox.h"
#include "dlgprogress.h"
#include "filedlg.h"
#include "handbutton.h"
#include "utilities.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "mainframe.h"
#include "melodyview.h"
#include "phonebook.h"
#include "qxpbsrcnewlist.h"
#include "setup.h"
#include "shortmsg.h"
#include "smsdatabase.h"
#include "strutil.h"
#include "trayicon.h"
#include "zorqmenu.h"
#include "dlgsecurcode.h"
#include "dragdrop.h"
#include "dstchoice.h"
#include "user_actions.h"
#include "phonesim_client.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {

using zorqtest::ModalDriver;
using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;


void Type(QWidget* dlg, int id, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(static_cast<CDialog*>(dlg)->GetDlgItem(id));
    ASSERT_NE(edit, nullptr) << "edit " << id;
    edit->setText(text);
}

void Click(QWidget* dlg, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(static_cast<CDialog*>(dlg)->GetDlgItem(id));
    ASSERT_NE(button, nullptr) << "button " << id;
    button->click();
}


// The program's window and its screens, as the running program has them.
CMainFrame* Frame()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->GetMainFrame() : nullptr;
}
template <class T>
T* Screen()
{
    CMainFrame* f = Frame();
    return f ? qobject_cast<T*>(f->GetActiveView()) : nullptr;
}
// The program drops clicks on its window while a phone request waits (a
// screen must not start a request inside another) and disables it while a
// long operation runs: the tests click, as a person would again, once the
// control can take the click.
void ClickAt(QWidget* w, QPoint at = QPoint())
{
    QPointer<QWidget> target(w);
    zorqtest::WhenTrue(
        [target] { return !target || (target->isEnabled() && !CZorqMMIApp::RequestWaiting()); },
        [target, at] {
            if (target)
                QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at.isNull() ? target->rect().center() : at);
        },
        20000,
        [] {
            ADD_FAILURE() << "the control never took a click";
            CZorqMMIApp::Instance()->ShutDown();
        });
}
// Clicks a picture of the menu as a user does.
void ClickMenuPicture(int picture)
{
    CZorqMenu* menu = Screen<CZorqMenu>();
    ASSERT_NE(menu, nullptr);
    ClickAt(menu, menu->MenuRegion(picture).boundingRect().center());
}
// The back button of a screen.
void ClickBack()
{
    CMainView* view = Frame() ? Frame()->GetActiveView() : nullptr;
    ASSERT_NE(view, nullptr);
    QWidget* back = view->GetDlgItem(1148);
    ASSERT_NE(back, nullptr);
    ClickAt(back);
}
// The message screen once it has read and listed the SIM, as every start
// shows it (the simulator holds one message there).
bool SIMShown()
{
    auto* view = Screen<CShortMsg>();
    return view && view->SrcStorage() == SMS_SRC_SIM && view->List() && view->List()->GetRowCount() > 0;
}
QStringList RowTexts(CEntryListCtrl* list)
{
    QStringList rows;
    for (int r = 0; list && r < list->GetRowCount(); ++r)
        rows << list->GetRowText(r, 0);
    return rows;
}

// Records and closes every message box that comes up while the program runs.
class BoxWatcher {
public:
    BoxWatcher()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (auto* own = qobject_cast<CDlgMessageBox*>(w)) {
                texts << own->m_strText.trimmed();
                own->EndDialog(IDOK);
            } else if (auto* system = qobject_cast<QMessageBox*>(w)) {
                texts << system->text();
                system->reject();
            }
        });
        timer_.start(20);
    }
    QStringList texts;

private:
    QTimer timer_;
};

// Records the text of every message box the running program shows, as it
// stands on screen, and answers it as a user does: a mouse click on OK (and
// on Yes to a question, when `answersYes`). A menu that pops up instead is
// noted, with where it opened, and closed with Escape.
class BoxClicker {
public:
    BoxClicker()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                ++popups;
                menusAt << popup->pos();
                QTest::keyClick(popup, Qt::Key_Escape);
                return;
            }
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || w == answered_)
                return;
            if (auto* own = qobject_cast<CDlgMessageBox*>(w)) {
                auto* label = qobject_cast<QLabel*>(own->GetDlgItem(166));
                if (!label || !own->m_btnOK)
                    return;
                texts << label->text().trimmed();
                answered_ = w;
                QTest::mouseClick(own->m_btnOK, Qt::LeftButton);
            } else if (auto* system = qobject_cast<QMessageBox*>(w)) {
                if (QAbstractButton* yes = system->button(QMessageBox::Yes); yes && answersYes) {
                    ++yesClicked;
                    toldBeforeYes = static_cast<int>(texts.size());
                    answered_ = w;
                    QTest::mouseClick(yes, Qt::LeftButton);
                    return;
                }
                QAbstractButton* ok = system->button(QMessageBox::Ok);
                if (!ok)
                    return;
                texts << system->text();
                answered_ = w;
                QTest::mouseClick(ok, Qt::LeftButton);
            }
        });
        timer_.start(20);
    }
    QStringList texts;
    int popups = 0;
    QList<QPoint> menusAt;
    bool answersYes = false;
    int yesClicked = 0;
    int toldBeforeYes = -1;  // boxes answered before the last Yes

private:
    QTimer timer_;
    QPointer<QWidget> answered_;
};

class ProgramTest : public zorqtest::ProgramRunTest {
protected:
    // The program run until the phone's message indicator shows in the tray;
    // the tray's tip then (empty when it never showed). The phone lights the
    // indicator again and again until the program shows it: an indication sent
    // before the program asked the phone for its indications is never seen.
    QString TrayTipOfAWaitingMessage(const std::string& device, const QString& simulator, std::function<void()> light)
    {
        ProgramFolder folder(device);
        QString tip;
        WhenStarted(Linked, [&] {
            auto* timer = new QTimer();
            QObject::connect(timer, &QTimer::timeout, light);
            timer->start(300);
            WhenTrue([] {
                         CMainView* view = Frame() ? Frame()->GetActiveView() : nullptr;
                         return view && !view->MessageTray().Tip().isEmpty();
                     },
                     [&, timer] {
                         delete timer;
                         tip = Frame()->GetActiveView()->MessageTray().Tip();
                         End();
                     },
                     15000, [timer] {
                         delete timer;
                         End();
                     });
        });
        EXPECT_EQ(RunProgram(folder, 60000, {QStringLiteral("--simulator"), simulator}), 0);
        return tip;
    }

    // Once linked: the phonebook screen, two clicks on its PC button (each
    // once the screen has settled on the SIM again, the PC book failing to
    // open), back to the menu and Quit. Where the PC button stood at each
    // click goes into `pcButtonAt`.
    static void ClickThePhonebooksPCButtonTwiceThenQuit(QList<QRect>& pcButtonAt)
    {
        auto settledOnSIM = [] {
            CPhoneBook* book = Screen<CPhoneBook>();
            return book && book->isEnabled() && book->Pane()->IsSrcSIM() && !CZorqMMIApp::RequestWaiting() &&
                   !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
        };
        auto quit = [] {
            ClickBack();
            WhenTrue([] { return Screen<CZorqMenu>() != nullptr && !QApplication::activeModalWidget(); },
                     [] { ClickAt(static_cast<QWidget*>(Screen<CZorqMenu>()->QuitButton())); }, 20000, End);
        };
        auto clickPC = std::make_shared<std::function<void()>>();
        // Itself only weakly, so that the function does not keep itself alive
        // for ever; the wait it arms holds it until it has run.
        *clickPC = [&pcButtonAt, settledOnSIM, quit, self = std::weak_ptr<std::function<void()>>(clickPC)] {
            auto clickPC = self.lock();
            WhenTrue(settledOnSIM,
                     [&pcButtonAt, settledOnSIM, quit, clickPC] {
                         QWidget* pc = Screen<CPhoneBook>()->Pane()->GetPCButton();
                         pcButtonAt << QRect(pc->mapToGlobal(QPoint(0, 0)), pc->size());
                         QTest::mouseClick(pc, Qt::LeftButton);
                         if (pcButtonAt.size() < 2)
                             (*clickPC)();
                         else
                             WhenTrue(settledOnSIM, quit, 20000, End);
                     },
                     30000, End);
        };
        WhenStarted([] { return Linked() && Screen<CZorqMenu>() != nullptr; }, [clickPC] {
            ClickMenuPicture(1);
            (*clickPC)();
        });
    }

    // One message kept in a PC message database, as the user left it.
    static void KeepAMessageOnThePC(const std::string& file)
    {
        CJetDatabase db;
        db.Open(file);
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntrySMS]");
        rs.AddNew();
        rs.Location = 1;
        rs.msgType = 1;
        rs.AddrList = "@+33612345678\r\n";
        rs.SortAddr = MakeSortAddr(rs.AddrList);
        rs.Text = "Kept on the PC";
        rs.Date = 46000.5;
        rs.Update();
        rs.Close();
    }

    // Once linked, opens the message screen (each start shows the SIM),
    // chooses the PC and collects the texts it lists, then ends the run
    // (`then`, which ends it in its turn, when given).
    void ListThePCMessagesOnceStarted(QStringList& listed, int simWait, std::function<void()> then = End)
    {
        WhenStarted(Linked, [&listed, simWait, then] {
            ClickMenuPicture(2);
            WhenTrue([] { return SIMShown(); },
                     [] { ClickAt(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_SRC_PC)); }, simWait, End);
            WhenTrue(
                [&listed] {
                    auto* view = Screen<CShortMsg>();
                    if (!view || view->SrcStorage() != SMS_SRC_PC)
                        return false;
                    CEntryListCtrl* list = view->List();
                    for (int r = 0; list && r < list->GetRowCount(); ++r)
                        listed << list->GetRowText(r, 2);
                    return !listed.isEmpty();
                },
                then, 30000, [] {
                    auto* view = Screen<CShortMsg>();
                    ADD_FAILURE() << "source " << (view ? view->SrcStorage() : -1) << ", rows "
                                  << (view && view->List() ? view->List()->GetRowCount() : -1);
                    End();
                });
        });
    }
};

TEST_F(ProgramTest, AWrongPinIsRefusedWithTheAttemptsLeftAndTheRightOneLinksThePhone)
{
    phonesim::Process sim("pin-state SIM PIN\nlock SC on\ncode SC 8642\n");
    ProgramFolder folder(sim.device());
    ModalDriver driver;
    QString title, message;
    bool okWithoutCode = true;
    driver.OnModal<CDlgSecurCode>([&](CDlgSecurCode* d) {
        title = d->windowTitle();
        okWithoutCode = static_cast<CDialog*>(d)->GetDlgItem(1)->isEnabled();
        Type(d, 1121, "5793");
        Click(d, 1);
    });
    driver.OnModal<CDlgMessageBox>([&](CDlgMessageBox* d) {
        message = static_cast<CDlgMessageBox*>(d)->m_strText;
        Click(d, 1);
    });
    driver.OnModal<CDlgSecurCode>([&](CDlgSecurCode* d) {
        Type(d, 1121, "8642");
        Click(d, 1);
    });
    bool linked = false;
    WhenStarted(Linked, [&] {
        linked = Linked();
        End();
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
    EXPECT_FALSE(title.isEmpty());
    EXPECT_FALSE(okWithoutCode) << "OK waits for a code";
    EXPECT_TRUE(message.contains(QLatin1String("Attempts left: 2"))) << message.toStdString();
    EXPECT_TRUE(linked);
    const std::string state = sim.dump();
    EXPECT_NE(state.find("pin-state READY"), std::string::npos) << state;
    // The typed codes never reach the trace files in clear.
    for (const char* trace : {"debugAT.txt", "debug.txt"}) {
        const std::string text = zorqtest::ReadFile(folder.path() + trace);
        EXPECT_FALSE(text.empty()) << trace;
        EXPECT_EQ(text.find("8642"), std::string::npos) << trace;
        EXPECT_EQ(text.find("5793"), std::string::npos) << trace;
    }
}

TEST_F(ProgramTest, ThePukFormAsksForThePukAndANewPin)
{
    phonesim::Process sim("pin-state SIM PUK\nlock SC on\n");
    ProgramFolder folder(sim.device());
    ModalDriver driver;
    bool twoCodes = false;
    QString prompt;
    driver.OnModal<CDlgSecurCode>([&](CDlgSecurCode* d) {
        twoCodes = static_cast<CDlgSecurCode*>(d)->IsTwoCodeForm() && static_cast<CDialog*>(d)->GetDlgItem(1122);
        prompt = static_cast<CDialog*>(d)->GetDlgItemText(1124);
        Type(d, 1121, "12345678");
        Type(d, 1122, "4321");
        Click(d, 1);
    });
    bool linked = false;
    WhenStarted(Linked, [&] {
        linked = Linked();
        End();
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(twoCodes);
    EXPECT_TRUE(prompt.contains(QLatin1String("PUK"))) << prompt.toStdString();
    EXPECT_TRUE(linked);
    const std::string state = sim.dump();
    EXPECT_NE(state.find("pin-state READY"), std::string::npos) << state;
    // The new PIN is in force: the phone takes it as the old code of a change.
    phonesim::Port port(sim.device());
    port.write("AT+CPWD=\"SC\",\"4321\",\"4321\"\r");
    const std::string answer = port.readUntil("\r\n", 3000) + port.readUntil("\r\n", 3000);
    EXPECT_NE(answer.find("OK"), std::string::npos) << answer;
}

TEST_F(ProgramTest, CancellingTheCodeLeavesTheProgramRunningWithoutALink)
{
    phonesim::Process sim("pin-state SIM PIN\nlock SC on\n");
    ProgramFolder folder(sim.device());
    ModalDriver driver;
    driver.OnModal<CDlgSecurCode>([&](CDlgSecurCode* d) { Click(d, 2); });
    bool stillRunning = false, linked = true, windowShown = false;
    WhenStarted([] { return true; }, [&] {
        // A while later the program still runs, without a link.
        QTimer::singleShot(1500, [&] {
            CZorqMMIApp* app = CZorqMMIApp::Instance();
            stillRunning = app && !app->IsShuttingDown();
            windowShown = app && app->m_pMainWnd && app->m_pMainWnd->isVisible();
            linked = Linked();
            End();
        });
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(stillRunning);
    EXPECT_TRUE(windowShown);
    EXPECT_FALSE(linked);
    EXPECT_NE(sim.dump().find("pin-state SIM PIN"), std::string::npos) << "no code was sent";
}

TEST_F(ProgramTest, ASecondStartExitsZeroAndBringsTheFirstToTheFront)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    QProcess second;
    bool minimizedBefore = false, secondEnded = false, linked = false;
    bool restored = false, shown = false, active = false;
    WhenStarted(Linked, [&] {
        linked = true;
        QWidget* main = CZorqMMIApp::Instance()->m_pMainWnd;
        main->showMinimized();
        minimizedBefore = main->isMinimized();
        // The built program, from its own folder, as a user would start it.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(env);
        second.start(QString::fromStdString(zorqtest::BuiltProgramDir() + "/zorqmmi"), {QStringLiteral("--nosplash")});
        WhenTrue([&] { return second.state() == QProcess::NotRunning; },
                 [&] {
                     secondEnded = true;
                     // The hand-over is answered from the first's loop: give
                     // the raise a moment to land.
                     QTimer::singleShot(200, [&] {
                         QWidget* w = CZorqMMIApp::Instance()->m_pMainWnd;
                         restored = !w->isMinimized();
                         shown = w->isVisible();
                         active = QApplication::activeWindow() == w;
                         End();
                     });
                 },
                 20000, [&] {
                     second.kill();
                     End();
                 });
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(linked);
    ASSERT_TRUE(secondEnded);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(minimizedBefore);
    // The first's window came back: not minimized, shown, active.
    EXPECT_TRUE(restored);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(active);
}

// The built program folder, as installed, against the default simulator:
// the features its version file names are switched on, so the melody screen
// lists the phone's melody and the set-up screen shows the phone's clock
// with both clock buttons usable. The waits are generous: a sanitizer build
// on a loaded machine takes seconds to list the melodies.
TEST_F(ProgramTest, TheBuiltVersionFileSwitchesOnMelodiesClockAndAlarm)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    BoxWatcher boxes;
    QStringList melodies;
    QString clock;
    bool clockButton = false, alarmButton = false;
    WhenStarted(Linked, [&] {
        ClickMenuPicture(3);
        WhenTrue(
            [&] {
                auto* view = Screen<CMelodyView>();
                melodies = view ? RowTexts(view->PhoneList()) : QStringList();
                return !melodies.isEmpty();
            },
            [&] {
                ClickBack();
                WhenTrue([] { return Screen<CZorqMenu>() != nullptr; },
                         [&] {
                             ClickMenuPicture(5);
                             WhenTrue(
                                 [&] {
                                     auto* view = Screen<CSetUp_SecurCode>();
                                     auto* label = view ? qobject_cast<QLabel*>(view->GetDlgItem(1037)) : nullptr;
                                     clock = label ? label->text() : QString();
                                     return !clock.isEmpty();
                                 },
                                 [&] {
                                     auto* view = Screen<CSetUp_SecurCode>();
                                     clockButton = view->GetDlgItem(1052)->isEnabled();
                                     alarmButton = view->GetDlgItem(1053)->isEnabled();
                                     End();
                                 },
                                 30000, End);
                         },
                         15000, End);
            },
            30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(melodies, QStringList{"Scale"});
    EXPECT_FALSE(clock.isEmpty());
    EXPECT_TRUE(clockButton);
    EXPECT_TRUE(alarmButton);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
}

// The program reads the phone's phonebooks in the background after the
// link, one location per request. A screen opened meanwhile loads its list
// all the same: its first load waits for the request under way instead of
// starting one inside it, which the engine refuses (the melody screen then
// stood empty, with no word why). The screen is opened again and again
// while the reading lasts, as a user going back and forth would.
TEST_F(ProgramTest, AScreenOpenedWhileThePhonebooksAreReadLoadsItsList)
{
    phonesim::Process sim("set big-capacities on\n");
    ProgramFolder folder(sim.device());
    BoxWatcher boxes;
    std::vector<QStringList> shown;
    std::function<void()> round = [&] {
        ClickMenuPicture(3);
        WhenTrue(
            [] {
                auto* view = Screen<CMelodyView>();
                return view && !CZorqMMIApp::RequestWaiting() && view->PhoneList()->GetRowCount() > 0;
            },
            [&] {
                shown.push_back(RowTexts(Screen<CMelodyView>()->PhoneList()));
                ClickBack();
                WhenTrue([] { return Screen<CZorqMenu>() != nullptr && !CZorqMMIApp::RequestWaiting(); },
                         [&] {
                             if (shown.size() < 6)
                                 round();
                             else
                                 End();
                         },
                         15000, End);
            },
            15000, [&] {
                shown.push_back({});
                End();
            });
    };
    WhenStarted(Linked, round);
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    EXPECT_FALSE(timedOut_);
    ASSERT_EQ(shown.size(), 6u);
    for (const QStringList& rows : shown)
        EXPECT_EQ(rows, QStringList{"Scale"});
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
}

// The refresh button looks for the phone again under "Looking for the
// phone...", which greys the menu for as long as it stands. A click on a
// picture of the greyed menu meanwhile takes nothing: once the phone is
// found the menu is as it was, and the next click, on another picture,
// opens that picture's screen. (Kept and given afterwards, the click opened
// its screen seconds after it was made.) A slow line makes the detection
// last long enough to click into it.
TEST_F(ProgramTest, AClickOnTheMenuGreyedWhileThePhoneIsLookedForOpensNothing)
{
    phonesim::Process sim("", 2400);
    ProgramFolder folder(sim.device());
    BoxWatcher boxes;
    bool clickedGreyed = false, detectionOver = false, melodiesOpened = false;
    QString opened;
    // Every screen the program shows from the click on refresh on.
    struct ScreenWatch : QObject {
        bool* melodies = nullptr;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && qobject_cast<CMelodyView*>(o))
                *melodies = true;
            return false;
        }
    } screens;
    screens.melodies = &melodiesOpened;
    auto looking = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CDlgProgress*>(w) && w->isVisible() &&
                w->windowTitle() == CZorqMMIApp::Instance()->LoadString(31746))
                return w;
        return static_cast<QWidget*>(nullptr);
    };
    WhenStarted([] { return Linked() && !CZorqMMIApp::RequestWaiting(); }, [&] {
        qApp->installEventFilter(&screens);
        CZorqMenu* menu = Screen<CZorqMenu>();
        ASSERT_NE(menu, nullptr);
        // While the detection's window stands (not its last moment, whose
        // input is kept for after it): the Melodies picture.
        WhenTrue([&, menu = QPointer<CZorqMenu>(menu)] { return menu && looking() && !InMessagePause(); },
                 [&, menu = QPointer<CZorqMenu>(menu)] {
                     clickedGreyed = !menu->isEnabled();
                     QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                       menu->MenuRegion(3).boundingRect().center());
                 },
                 30000, End);
        // Once the phone is found and the menu takes clicks again: the
        // messages picture.
        WhenTrue([&] { return clickedGreyed && !looking() && !ProgressNotices::running; },
                 [&] {
                     detectionOver = true;
                     ClickMenuPicture(2);
                     WhenTrue([] { return Frame() && Frame()->GetActiveView() && !Screen<CZorqMenu>(); },
                              [&] {
                                  opened = QString::fromLatin1(Frame()->GetActiveView()->metaObject()->className());
                                  End();
                              },
                              30000, End);
                 },
                 60000, End);
        ClickAt(menu->RefreshButton());
    });
    EXPECT_EQ(RunProgram(folder, 180000), 0);
    qApp->removeEventFilter(&screens);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(clickedGreyed) << "the menu was not greyed under the detection's window";
    EXPECT_TRUE(detectionOver);
    EXPECT_FALSE(melodiesOpened) << "the click on the greyed menu opened the melodies afterwards";
    EXPECT_EQ(opened, QStringLiteral("CShortMsg"));
}

// With no phone on any port the bundled simulator stands in, and every
// screen's title says so; a phone on a port (the simulator mapped as a user
// maps his phone) is not called simulated.
// Every window the running program shows carries the program's icon in its
// title bar, the parentless ones too: a plain message, a question, the
// phone's date and time, the new-PC-database dialog and a progress window.
TEST_F(ProgramTest, EveryWindowOfTheProgramCarriesTheProgramsIcon)
{
    ProgramFolder folder("/nonexistent/zorq-no-phone");
    const qint64 icon = LoadAppIcon(128).cacheKey();
    QStringList seen, generic;
    std::unique_ptr<CDlgProgressText> progress;
    // Looks at every window on screen as often as it can, and answers the
    // modal ones once they were looked at.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
                continue;
            const QString name = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->windowTitle();
            if (!seen.contains(name))
                seen << name;
            const bool own = w->windowIcon().cacheKey() == icon && w->windowHandle() &&
                             w->windowHandle()->icon().cacheKey() == icon;
            if (!own && !generic.contains(name))
                generic << name;
        }
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
    WhenStarted([] { return true; }, [&] {
        watch.start(20);
        CZorqMMIApp* app = CZorqMMIApp::Instance();
        QWidget* view = Frame()->GetActiveView();
        app->DoMessageBox(QStringLiteral("A plain message."), MB_OK, 0);
        app->DoMessageBox(QStringLiteral("A question?"), MB_YESNO | MB_ICONQUESTION, 0);
        CDlgDateTime clock(nullptr);
        clock.DoModal();
        QString path;
        UiOpenDatabaseDlg(31214, path, view, QDir::tempPath());
        progress = std::make_unique<CDlgProgressText>(view, 179);
        progress->Start(31335, 2, 1);
        WhenTrue([&] { return progress->isVisible() && seen.size() >= 6; },
                 [&] {
                     progress->Close();
                     End();
                 },
                 10000, [&] {
                     progress->Close();
                     End();
                 });
    });
    EXPECT_EQ(RunProgram(folder, 60000, {QStringLiteral("--simulator"), QStringLiteral(PHONESIM_PATH)}), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_NE(icon, LoadAppIcon(999999).cacheKey()) << "the program's icon is a picture of its own";
    EXPECT_GE(seen.size(), 6) << seen.join(QLatin1String(", ")).toStdString();
    EXPECT_TRUE(generic.isEmpty()) << "without the program's icon: " << generic.join(QLatin1String(", ")).toStdString();
}

TEST_F(ProgramTest, OnTheBundledSimulatorTheTitleSaysThePhoneIsSimulated)
{
    const QString note = QStringLiteral(" - simulated phone");
    QString menuTitle, screenTitle;
    {
        ProgramFolder folder("/nonexistent/zorq-no-phone");
        WhenStarted(Linked, [&] {
            menuTitle = Frame()->windowTitle();
            ClickMenuPicture(3);
            WhenTrue([] { return Screen<CMelodyView>() != nullptr; },
                     [&] {
                         screenTitle = Frame()->windowTitle();
                         End();
                     },
                     10000, End);
        });
        EXPECT_EQ(RunProgram(folder, 60000, {QStringLiteral("--simulator"), QStringLiteral(PHONESIM_PATH)}), 0);
        EXPECT_FALSE(timedOut_);
    }
    EXPECT_TRUE(menuTitle.startsWith(QLatin1String("Pellard Tarvel Data"))) << menuTitle.toStdString();
    EXPECT_TRUE(menuTitle.endsWith(note)) << menuTitle.toStdString();
    EXPECT_TRUE(screenTitle.endsWith(note)) << screenTitle.toStdString();
    EXPECT_NE(screenTitle, menuTitle);
    krn_reset_for_tests();

    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    QString phoneTitle;
    WhenStarted(Linked, [&] {
        phoneTitle = Frame()->windowTitle();
        End();
    });
    EXPECT_EQ(RunProgram(folder, 60000, {QStringLiteral("--simulator"), QStringLiteral(PHONESIM_PATH)}), 0);
    EXPECT_TRUE(phoneTitle.startsWith(QLatin1String("Pellard Tarvel Data"))) << phoneTitle.toStdString();
    EXPECT_FALSE(phoneTitle.contains(QLatin1String("simulated"))) << phoneTitle.toStdString();
}

// "--simulator" without a program starts the simulator built with the
// program, as the README says.
TEST_F(ProgramTest, ABareSimulatorOptionStartsTheSimulatorBuiltWithTheProgram)
{
    ProgramFolder folder("/nonexistent/zorq-no-phone");
    QString title;
    WhenStarted(Linked, [&] {
        title = Frame()->windowTitle();
        End();
    });
    EXPECT_EQ(RunProgram(folder, 60000, {QStringLiteral("--simulator")}), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(title.endsWith(QLatin1String(" - simulated phone"))) << title.toStdString();
}

// The tray's tip over a waiting message says the phone is simulated as the
// title does, on the bundled simulator only.
TEST_F(ProgramTest, OnTheBundledSimulatorTheTrayTipSaysThePhoneIsSimulated)
{
    // The bundled simulator is the program's own child: a starter in front
    // of it passes the program's input on, and lights the indicator each
    // time the test asks.
    QTemporaryDir dir;
    const std::string ask = dir.filePath(QStringLiteral("ask")).toStdString();
    const QString starter = dir.filePath(QStringLiteral("phonesim-starter"));
    zorqtest::WriteFile(starter.toStdString(),
                        "#!/bin/sh\nexec 3<&0\n"
                        "(while :; do if [ -e '" + ask + "' ]; then rm -f '" + ask +
                            "'; printf 'indicator message 0\\nindicator message 1\\n'; fi; sleep 0.05; done & "
                            "cat <&3; kill $!) | exec '" PHONESIM_PATH "'\n");
    ASSERT_TRUE(QFile::setPermissions(starter, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString tip = TrayTipOfAWaitingMessage("/nonexistent/zorq-no-phone", starter,
                                                 [&] { zorqtest::WriteFile(ask, ""); });
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(tip.toStdString(), "A new message has arrived. - simulated phone");
}

TEST_F(ProgramTest, OnAMappedPortTheTrayTipIsThePlainNotice)
{
    phonesim::Process sim;
    const QString tip = TrayTipOfAWaitingMessage(sim.device(), QStringLiteral(PHONESIM_PATH), [&] {
        EXPECT_EQ(sim.command("indicator message 0"), "ok");
        EXPECT_EQ(sim.command("indicator message 1"), "ok");
    });
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(tip.toStdString(), "A new message has arrived.");
}

// The PC message database chosen once is found again after a restart: no
// message about it at the start or when the PC is chosen again, and its
// messages are listed.
TEST_F(ProgramTest, AfterChoosingThePCMessagesARestartShowsThemWithoutAnError)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    {
        BoxWatcher boxes;
        bool chosen = false;
        WhenStarted(Linked, [&] {
            ClickMenuPicture(2);
            // The screen first shows the SIM, the source of every start.
            WhenTrue([] { return SIMShown(); },
                     [&] {
                         QWidget* pc = Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_SRC_PC);
                         ClickAt(pc);
                         // Chosen, then back to the menu and out, as a user leaves.
                         WhenTrue([] { return Screen<CShortMsg>()->SrcStorage() == SMS_SRC_PC; },
                                  [&] {
                                      chosen = true;
                                      ClickBack();
                                      WhenTrue([] { return Screen<CZorqMenu>() != nullptr; }, End, 5000, End);
                                  },
                                  10000, End);
                     },
                     15000, End);
        });
        EXPECT_EQ(RunProgram(folder), 0);
        ASSERT_TRUE(chosen) << boxes.texts.join(" | ").toStdString();
        EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
    }
    krn_reset_for_tests();
    // A message arrives in the PC database meanwhile.
    KeepAMessageOnThePC(folder.path() + "Database/defsms.mdb");
    BoxWatcher boxes;
    QStringList listed;
    ListThePCMessagesOnceStarted(listed, 10000);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
    EXPECT_EQ(listed, QStringList{"Kept on the PC"});
}

// ---- Where the program keeps its files, and the ports it is given ----------------------

// A message database as earlier runs of the program left it: `texts` as
// received messages at locations 1, 2, ...
void MakeMessageDatabase(const std::string& path, int storage, const std::vector<std::string>& texts)
{
    ASSERT_TRUE(CreateSMSDatabase(path)) << path;
    SetSMSConf(storage, path, true);
    CJetDatabase db;
    db.Open(path);
    db.BeginTrans();
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "[EntrySMS]");
    int location = 0;
    for (const std::string& text : texts) {
        rs.AddNew();
        rs.Location = ++location;
        rs.msgType = 1;
        rs.AddrList = "@+3361234567" + std::to_string(location % 10) + "\r\n";
        rs.SortAddr = MakeSortAddr(rs.AddrList);
        rs.Text = text;
        rs.Date = 46000.5 + location;
        rs.Update();
    }
    rs.Close();
    db.CommitTrans();
}

std::vector<std::string> MessageTexts(const std::string& path)
{
    std::vector<std::string> texts;
    CJetDatabase db;
    db.Open(path, false, true, "");
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenTable, "EntrySMS");
    rs.SetCurrentIndex("indLoc");
    for (; !rs.IsEOF(); rs.MoveNext())
        texts.push_back(rs.Text);
    std::sort(texts.begin(), texts.end());
    return texts;
}

bool Exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

class ProgramStart : public zorqtest::ProgramStartTest<CZorqMMIProgram> {};

// The SIM message mirrors of earlier versions lay among the PC databases,
// where every "open a PC database" dialog offered them: the start-up moves
// them to the work folder, every row kept.
TEST_F(ProgramStart, TheSIMMessageMirrorsOfEarlierRunsMoveToTheWorkFolderWithEveryRow)
{
    const std::string db = dir_.path() + "Database/", work = dir_.path() + "Work/";
    QDir().mkpath(QString::fromStdString(db));
    const std::vector<std::string> current = {"Mirror one", "Mirror two"};
    const std::vector<std::string> previous = {"Last run one", "Last run three", "Last run two"};
    MakeMessageDatabase(db + "SMSimSIM.mdb", SMS_DST_SIM, current);
    MakeMessageDatabase(db + "PerMsgSM.mdb", SMS_DST_SIM, previous);
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Exists(db + "SMSimSIM.mdb"));
    EXPECT_FALSE(Exists(db + "PerMsgSM.mdb"));
    ASSERT_TRUE(Exists(work + "SMSimSIM.mdb"));
    ASSERT_TRUE(Exists(work + "PerMsgSM.mdb"));
    EXPECT_EQ(MessageTexts(work + "SMSimSIM.mdb"), current);
    EXPECT_EQ(MessageTexts(work + "PerMsgSM.mdb"), previous);
    EXPECT_EQ(GetSMSimSIMPath(SMS_SRC_SIM), work + "SMSimSIM.mdb");
    EXPECT_EQ(GetPerMsgSMPath(SMS_DST_SIM), work + "PerMsgSM.mdb");
}

// A run that reads the SIM's messages keeps its mirror, and the previous
// run's, in the work folder: the Database folder holds the PC databases
// alone.
TEST_F(ProgramTest, TheSIMMessageMirrorsStayOutOfTheDatabaseFolder)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    bool shown = false;
    WhenStarted(Linked, [&] {
        ClickMenuPicture(2);
        WhenTrue([] { return SIMShown(); },
                 [&] {
                     shown = true;
                     End();
                 },
                 20000, End);
    });
    EXPECT_EQ(RunProgram(folder), 0);
    ASSERT_TRUE(shown);
    QStringList databases = QDir(QString::fromStdString(folder.path() + "Database")).entryList(QDir::Files);
    databases.sort();
    EXPECT_EQ(databases, (QStringList{"defpb.mdb", "defsms.mdb"}));
    // The run's mirror became the previous run's, in the work folder.
    ASSERT_TRUE(Exists(folder.path() + "Work/PerMsgSM.mdb"));
    EXPECT_FALSE(MessageTexts(folder.path() + "Work/PerMsgSM.mdb").empty());
}

// A [Ports] entry that cannot be opened, a link that leads to itself, is
// named with the reason; the program goes on without a phone.
TEST_F(ProgramTest, APortEntryThatIsALinkLoopIsNamedWithTheReason)
{
    QTemporaryDir dir;
    const QString loop = dir.filePath(QStringLiteral("looping port"));
    ASSERT_TRUE(QFile::link(loop, loop));
    ProgramFolder folder(loop.toStdString());
    BoxWatcher boxes;
    WhenStarted([&] { return !boxes.texts.isEmpty(); }, End, 30000);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("The port COM1 named in ZorqMMI.ini, %1, cannot be opened: "
                                                      "Too many levels of symbolic links. Correct its line in the "
                                                      "[Ports] section of ZorqMMI.ini, then refresh.")
                                           .arg(loop)});
    EXPECT_FALSE(Linked());
}

// A device named with blanks in its path is opened as named.
TEST_F(ProgramTest, APortEntryWithBlanksInTheDeviceNameLinksThePhone)
{
    phonesim::Process sim;
    QTemporaryDir dir;
    const QString named = dir.filePath(QStringLiteral("my phone port"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(sim.device()), named));
    ProgramFolder folder(named.toStdString());
    BoxWatcher boxes;
    bool linked = false;
    WhenStarted(Linked, [&] {
        linked = true;
        End();
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_TRUE(linked);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
}

// What the program tells when it opens another file than the stored one.
QString TakenInstead(const std::string& stored, const std::string& used)
{
    return QStringLiteral("The database %1 was not found. In its place the program uses %2, the file of the same "
                          "name in its own folder.")
        .arg(QString::fromStdString(stored), QString::fromStdString(used));
}

// Ends the run once two boxes were answered and a while has passed without
// a third (the boxes come from the loop, when it is free), or after 15 s.
std::function<void()> BothToldThenEnd(const BoxClicker& boxes)
{
    return [&boxes] {
        WhenTrue([&boxes] { return boxes.texts.size() >= 2 && !QApplication::activeModalWidget(); },
                 [] { QTimer::singleShot(1000, [] { CZorqMMIApp::Instance()->ShutDown(); }); }, 15000,
                 [] { CZorqMMIApp::Instance()->ShutDown(); });
    };
}

// The profile of a first run names the PC databases by their full paths;
// after the program folder moved, the next start finds them in the moved
// folder and lists their messages. Each stored path is told once, naming
// the path stored and the file used (shown within the program folder as
// "..." and its place there), however often the run looks it up: at the
// start, on the message screen, for the names of the phonebook, at the end.
TEST_F(ProgramTest, AfterTheProgramFolderMovedThePCDatabasesAreFoundInIt)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    WhenStarted(Linked, End);
    EXPECT_EQ(RunProgram(folder), 0);
    krn_reset_for_tests();
    const std::string profile = zorqtest::ReadFile(folder.path() + "ZorqMMI.ini");
    ASSERT_NE(profile.find("SMS=" + folder.path() + "Database/defsms.mdb"), std::string::npos) << profile;
    ASSERT_NE(profile.find("Phonebook=" + folder.path() + "Database/defpb.mdb"), std::string::npos) << profile;
    // A message kept in the PC database the first run made.
    KeepAMessageOnThePC(folder.path() + "Database/defsms.mdb");

    std::string old = folder.path();
    old.pop_back();
    const std::string moved = old + "-moved";
    ASSERT_EQ(std::rename(old.c_str(), moved.c_str()), 0);
    BoxClicker boxes;
    QStringList listed;
    ListThePCMessagesOnceStarted(listed, 15000, BothToldThenEnd(boxes));
    const int code = RunProgramFile(moved + "/zorqmmi");
    ASSERT_EQ(std::rename(moved.c_str(), old.c_str()), 0);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(timedOut_);
    QStringList told = boxes.texts;
    told.sort();
    EXPECT_EQ(told.join("\n").toStdString(),
              (QStringList{TakenInstead(old + "/Database/defpb.mdb", "...Database/defpb.mdb"),
                           TakenInstead(old + "/Database/defsms.mdb", "...Database/defsms.mdb")})
                  .join("\n")
                  .toStdString());
    EXPECT_EQ(listed, QStringList{"Kept on the PC"});
}

// A book on a drive that is not mounted, stored as ".../Database/defpb.mdb"
// or ".../Work/<file>", ends in one of the program's own data folders: the
// file of that name there is used, and the user is told so once, with both
// paths, so that he knows which book is open.
TEST_F(ProgramTest, ABookOnADriveNotMountedIsReplacedByTheProgramsOwnFileAndToldOnce)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    ASSERT_EQ(QDir().mkpath(QString::fromStdString(folder.path() + "Work")), true);
    MakeMessageDatabase(folder.path() + "Work/kept.mdb", 0, {"Kept in the work folder"});
    const std::string drive = tmp_ + "/usb-drive";
    zorqtest::WriteFile(folder.path() + "ZorqMMI.ini",
                        zorqtest::ReadFile(folder.path() + "ZorqMMI.ini") + "[Databases]\r\nPhonebook=" + drive +
                            "/Database/defpb.mdb\r\nSMS=" + drive + "/Work/kept.mdb\r\n");
    BoxClicker boxes;
    QStringList listed;
    ListThePCMessagesOnceStarted(listed, 15000, BothToldThenEnd(boxes));
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    QStringList told = boxes.texts;
    told.sort();
    EXPECT_EQ(told.join("\n").toStdString(),
              (QStringList{TakenInstead(drive + "/Database/defpb.mdb", "...Database/defpb.mdb"),
                           TakenInstead(drive + "/Work/kept.mdb", "...Work/kept.mdb")})
                  .join("\n")
                  .toStdString());
    EXPECT_EQ(listed, QStringList{"Kept in the work folder"});
}

// A book on a drive that is not mounted, "/.../books/family.mdb", is not
// looked for under the program folder by the end of its path: a
// "books/family.mdb" or "family.mdb" there is some other file. The message
// screen offers its choice of a PC database instead of listing that file,
// and the stored path is reported as not found.
TEST_F(ProgramTest, AStoredBookOutsideTheProgramsDataFoldersIsReportedNotFound)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    ASSERT_EQ(QDir().mkpath(QString::fromStdString(folder.path() + "books")), true);
    MakeMessageDatabase(folder.path() + "books/family.mdb", 0, {"Not this book"});
    MakeMessageDatabase(folder.path() + "family.mdb", 0, {"Nor this one"});
    const std::string stored = tmp_ + "/usb-drive/books/family.mdb";
    zorqtest::WriteFile(folder.path() + "ZorqMMI.ini", zorqtest::ReadFile(folder.path() + "ZorqMMI.ini") +
                                                           "[Databases]\r\nSMS=" + stored + "\r\n");
    BoxClicker boxes;
    QStringList listed;
    bool offered = false;
    WhenStarted(Linked, [&] {
        ClickMenuPicture(2);
        WhenTrue([] { return SIMShown(); },
                 [] { ClickAt(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_SRC_PC)); }, 15000, End);
        // Either the other file's messages are listed or the choice of a
        // database comes up (and is closed, which shows the SIM again).
        WhenTrue(
            [&] {
                auto* view = Screen<CShortMsg>();
                if (!view || !view->List())
                    return false;
                if (view->SrcStorage() == SMS_SRC_PC)
                    for (int r = 0; r < view->List()->GetRowCount(); ++r)
                        if (view->List()->GetRowText(r, 2) != QLatin1String("See you at noon"))
                            listed << view->List()->GetRowText(r, 2);
                return !listed.isEmpty() || (boxes.popups > 0 && !QApplication::activePopupWidget() &&
                                             view->SrcStorage() == SMS_SRC_SIM);
            },
            [&] {
                offered = boxes.popups > 0;
                End();
            },
            30000, End);
    });
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(listed.isEmpty()) << listed.join(" | ").toStdString();
    EXPECT_TRUE(offered);
    // Every box says the stored path was not found (the program says so
    // where it opens the file: after the first detection and at the end).
    const QString notFound = QStringLiteral("The database %1 was not found. It may have been moved, renamed or deleted.")
                                 .arg(QString::fromStdString(stored));
    EXPECT_FALSE(boxes.texts.isEmpty());
    for (const QString& text : boxes.texts)
        EXPECT_EQ(text.toStdString(), notFound.toStdString());
}

// Both books stored on a drive that is not mounted, outside the program's
// data folders. Each is told not found once a run: the message database
// after the first detection (not again at the end, after Yes on Quit), the
// phonebook at the first click on its PC button (not at the second). Each
// click offers the menu of PC databases at the PC button itself.
TEST_F(ProgramTest, BooksThatLeadNowhereAreToldOnceAndThePCMenuOpensAtThePCButton)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    const std::string drive = tmp_ + "/usb-drive/books/";
    zorqtest::WriteFile(folder.path() + "ZorqMMI.ini", zorqtest::ReadFile(folder.path() + "ZorqMMI.ini") +
                                                           "[Databases]\r\nPhonebook=" + drive +
                                                           "family.mdb\r\nSMS=" + drive + "messages.mdb\r\n");
    BoxClicker user;
    user.answersYes = true;
    QList<QRect> pcButtonAt;  // the PC button on screen at each click
    ClickThePhonebooksPCButtonTwiceThenQuit(pcButtonAt);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(user.yesClicked, 1) << "the quit question did not come";
    const QString notFound = QStringLiteral("The database %1 was not found. It may have been moved, renamed or deleted.");
    QStringList told = user.texts;
    told.sort();
    EXPECT_EQ(told.join("\n").toStdString(),
              (QStringList{notFound.arg(QString::fromStdString(drive + "family.mdb")),
                           notFound.arg(QString::fromStdString(drive + "messages.mdb"))})
                  .join("\n")
                  .toStdString());
    ASSERT_EQ(pcButtonAt.size(), 2);
    ASSERT_EQ(user.menusAt.size(), 2) << "the PC menu was not offered at each click";
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(pcButtonAt[i].contains(user.menusAt[i]))
            << "click " << i + 1 << ": the menu opened at " << user.menusAt[i].x() << "," << user.menusAt[i].y()
            << ", the PC button is at " << pcButtonAt[i].x() << "," << pcButtonAt[i].y() << " "
            << pcButtonAt[i].width() << "x" << pcButtonAt[i].height();
}

// The PC message database and the PC phonebook overwritten with garbage, as
// a torn copy or a failing disk leaves them, the program started with its
// splash. Each is told once in the run, as it is first opened (over the
// splash as the phone is found, or over the main window): not again on the
// phonebook's PC button, clicked twice, nor at the end after Yes on Quit.
// Neither file is touched: the user may still rescue what is in it.
TEST_F(ProgramTest, DamagedDatabasesAreToldOnceARunAndLeftAsTheyAre)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    showSplash_ = true;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder.path() + "Database")));
    const std::string messages = folder.path() + "Database/defsms.mdb";
    const std::string book = folder.path() + "Database/defpb.mdb";
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>((i * 37 + 11) & 0xFF);
    zorqtest::WriteFile(messages, garbage);
    zorqtest::WriteFile(book, garbage.substr(1000) + garbage.substr(0, 1000));
    const std::string messagesBytes = zorqtest::ReadFile(messages), bookBytes = zorqtest::ReadFile(book);
    BoxClicker user;
    user.answersYes = true;
    QList<QRect> pcButtonAt;
    ClickThePhonebooksPCButtonTwiceThenQuit(pcButtonAt);
    EXPECT_EQ(RunProgram(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_EQ(pcButtonAt.size(), 2) << "the PC button was not clicked twice";
    EXPECT_EQ(user.yesClicked, 1) << "the quit question did not come";
    EXPECT_EQ(user.toldBeforeYes, static_cast<int>(user.texts.size())) << "told again after Yes on Quit";
    const QString notOpened =
        QStringLiteral("The database %1 could not be opened. It may be damaged or in use by another program.");
    // The program's own box shows paths inside its folder shortened, the
    // system's box over the splash shows them whole.
    QStringList told;
    for (QString text : user.texts)
        told << text.replace(QString::fromStdString(folder.path()), QStringLiteral("..."));
    told.sort();
    EXPECT_EQ(told.join("\n").toStdString(),
              (QStringList{notOpened.arg(QStringLiteral("...Database/defpb.mdb")),
                           notOpened.arg(QStringLiteral("...Database/defsms.mdb"))})
                  .join("\n")
                  .toStdString());
    EXPECT_EQ(zorqtest::ReadFile(messages), messagesBytes);
    EXPECT_EQ(zorqtest::ReadFile(book), bookBytes);
}

// How the user starts a copy of the selected entries into the phone memory.
enum class CopyBy { EntriesMenu, CopyToButton, DragToPhoneButton };

// A full SIM (151 entries, or 250 of which the first 151 are selected)
// copied into a phone memory of 200 that holds 42, at `baud`, the copy
// started `by` the user as soon as the SIM is listed (`early`: the phone
// memory may not be read yet) or once the program is quiet. The boxes the
// run ended with and the entries then in the phone memory.
struct CopyOutcome {
    QStringList boxes;
    int inPhoneMemory = -1;
    bool copied = false;
    // With a click given while "Copying" stands: whether it was given on
    // the greyed control, and whether a new entry was open afterwards.
    bool clickedGreyed = false;
    bool newEntryOpen = false;
};
// What the user clicks on the SIM screen, greyed while "Copying" stands
// in one of the copy's pauses: nothing, the new-entry button, the idle
// entry form (a click there starts a new entry when the screen takes it).
enum class ClickDuringCopy { Nothing, NewEntryButton, EntryForm };
class FullSIMCopyTest : public ProgramTest {
protected:
    CopyOutcome CopyTheFullSIMIntoThePhoneMemory(CopyBy by, bool early, int baud = 0, int simSize = 151,
                                                 ClickDuringCopy during = ClickDuringCopy::Nothing)
    {
        std::string scenario = "phonebook SM " + std::to_string(simSize) + " 20 14\nclear-phonebook SM\nphonebook ME 200 20 14\nclear-phonebook ME\n";
        for (int i = 1; i <= simSize; ++i)
            scenario += "entry SM " + std::to_string(i) + " 06" + std::to_string(10000000 + i) + " 129 Sim" +
                        std::to_string(i) + "\n";
        for (int i = 1; i <= 42; ++i)
            scenario += "entry ME " + std::to_string(i) + " 07" + std::to_string(20000000 + i) + " 129 Mem" +
                        std::to_string(i) + "\n";
        phonesim::Process sim(scenario, baud);
        ProgramFolder folder(sim.device());
        BoxWatcher boxes;  // leaves the entries' menu alone
        ModalDriver driver;
        CopyOutcome out;
        bool askedHowToCopy = false;
        if (by == CopyBy::CopyToButton)
            driver.OnModal<CDlgDstChoicePB>([&](CDlgDstChoicePB* d) {
                QComboBox* combo = d->GetCombo();
                for (int i = 0; combo && i < combo->count(); ++i)
                    if (combo->itemText(i) == CZorqMMIApp::Instance()->LoadString(31793))
                        combo->setCurrentIndex(i);
                out.copied = combo && combo->currentText() == CZorqMMIApp::Instance()->LoadString(31793);
                Click(d, IDOK);
            });
        // Every entry selected: the copy asks whether to add them or to
        // replace the phone memory's; added (the choice it opens with).
        if (simSize == 151)
            driver.OnModal<CDlgDstMirrorDatabase>([&](CDlgDstMirrorDatabase* d) {
                askedHowToCopy = true;
                Click(d, IDOK);
            });
        auto listed = [early, simSize] {
            CPhoneBook* book = Screen<CPhoneBook>();
            return book && book->isEnabled() && book->Pane()->IsSrcSIM() && book->Pane()->GetListCtrl() &&
                   book->Pane()->GetListCtrl()->GetRowCount() == simSize &&
                   (early || (!CZorqMMIApp::RequestWaiting() && !CZorqMMIApp::Instance()->IdleWorkPending())) &&
                   !ProgressNotices::running && !QApplication::activeModalWidget();
        };
        auto copying = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<CDlgProgress*>(w) && w->isVisible() &&
                    w->windowTitle() == CZorqMMIApp::Instance()->LoadString(31335))
                    return true;
            return false;
        };
        bool clicked = during == ClickDuringCopy::Nothing;
        WhenStarted([] { return Linked() && Screen<CZorqMenu>() != nullptr; }, [&] {
            ClickMenuPicture(1);
            if (during != ClickDuringCopy::Nothing)
                WhenTrue([&] { return out.copied && copying() && InMessagePause() && Screen<CPhoneBook>(); },
                         [&] {
                             CPhoneBook* book = Screen<CPhoneBook>();
                             QWidget* button = book->GetDlgItem(1069);
                             if (during == ClickDuringCopy::NewEntryButton) {
                                 out.clickedGreyed = button && !button->isEnabled() && !book->isEnabled();
                                 if (button)
                                     QTest::mouseClick(button, Qt::LeftButton);
                             } else {
                                 // The label of the first field, which
                                 // leaves the click to the screen.
                                 QWidget* label = book->GetDlgItem(1111);
                                 out.clickedGreyed = label && label->isVisible() && !book->isEnabled() &&
                                                     book->EntryRegion().contains(label->geometry().center());
                                 if (label)
                                     QTest::mouseClick(book, Qt::LeftButton, Qt::NoModifier,
                                                       label->geometry().center());
                             }
                             clicked = true;
                         },
                         120000, End);
            WhenTrue(listed,
                     [&] {
                         CEntryListCtrl* list = Screen<CPhoneBook>()->Pane()->GetListCtrl();
                         ClickAt(list->viewport(), zorqtest::RowPoint(list, 0));
                         WhenTrue([list] { return list->GetSelectedCount() == 1; },
                                  [&, list] {
                                      if (simSize == 151) {
                                          QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
                                      } else {
                                          // The first 151 rows: Shift and a click on the last.
                                          list->scrollTo(list->model()->index(150, 0));
                                          QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                                                            zorqtest::RowPoint(list, 150));
                                          askedHowToCopy = true;  // a part: no question
                                      }
                                      if (by == CopyBy::EntriesMenu) {
                                          zorqtest::OnPopup([&](QMenu* menu) {
                                              out.copied = zorqtest::ClickMenuItem(menu, 32805);  // into the phone memory
                                          });
                                          zorqtest::RightClickRow(list, 0);
                                      } else if (by == CopyBy::DragToPhoneButton) {
                                          // The window system's drag: over the phone button, dropped there.
                                          CEntryDropSource::SetDragRunner([&](QDrag* drag) {
                                              QWidget* phone = Screen<CPhoneBook>()->Pane()->GetPhoneButton();
                                              const QPoint at = phone->rect().center();
                                              const QMimeData* data = drag->mimeData();
                                              QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
                                              QApplication::sendEvent(phone, &enter);
                                              QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
                                              QApplication::sendEvent(phone, &move);
                                              QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
                                              QApplication::sendEvent(phone, &drop);
                                              out.copied = drop.isAccepted();
                                              return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
                                          });
                                          const QPoint at = zorqtest::RowPoint(list, 0);
                                          QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                                          for (int step = 1; step <= 4; ++step)
                                              QTest::mouseMove(list->viewport(), at + QPoint(12 * step, 4 * step));
                                          QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at + QPoint(48, 16));
                                          CEntryDropSource::SetDragRunner(nullptr);
                                      } else {
                                          ClickAt(Screen<CPhoneBook>()->GetDlgItem(1131));
                                      }
                                  },
                                  20000, End);
                         // The copy's window has come and gone, and every
                         // box it ended with has been answered.
                         WhenTrue([&] { return out.copied && clicked && askedHowToCopy && listed() && !QApplication::activePopupWidget(); },
                                  [&] {
                                      QTimer::singleShot(1000, [&] {
                                          if (CPhoneBook* book = Screen<CPhoneBook>())
                                              out.newEntryOpen = book->IsAddMode();
                                          End();
                                      });
                                  },
                                  120000, End);
                     },
                     60000, End);
        });
        EXPECT_EQ(RunProgram(folder, 180000), 0);
        EXPECT_FALSE(timedOut_);
        EXPECT_TRUE(driver.Done()) << "steps left: " << driver.StepsLeft();
        out.boxes = boxes.texts;
        out.inPhoneMemory = 0;
        for (const std::string& line : sim.listing("dump"))
            out.inPhoneMemory += line.rfind("entry ME ", 0) == 0 ? 1 : 0;
        return out;
    }
};

// The copy through the entries' menu as soon as the SIM is listed, through
// the copy button and by a drag onto the phone button at 19200 baud (the
// phone memory is then read first, under its own window), and a part of a
// full SIM of 250: each copy goes through and ends without a box.
TEST_F(FullSIMCopyTest, ThroughTheEntriesMenuTheCopyEndsWithoutAFullBox)
{
    const CopyOutcome out = CopyTheFullSIMIntoThePhoneMemory(CopyBy::EntriesMenu, true);
    EXPECT_TRUE(out.copied);
    EXPECT_EQ(out.inPhoneMemory, 193);
    EXPECT_TRUE(out.boxes.isEmpty()) << out.boxes.join(" | ").toStdString();
}
TEST_F(FullSIMCopyTest, ThroughTheCopyButtonAtTheSlowestSpeedTheCopyEndsWithoutAFullBox)
{
    const CopyOutcome out = CopyTheFullSIMIntoThePhoneMemory(CopyBy::CopyToButton, true, 19200);
    EXPECT_TRUE(out.copied);
    EXPECT_EQ(out.inPhoneMemory, 193);
    EXPECT_TRUE(out.boxes.isEmpty()) << out.boxes.join(" | ").toStdString();
}
TEST_F(FullSIMCopyTest, DraggedOntoThePhoneButtonAtTheSlowestSpeedTheCopyEndsWithoutAFullBox)
{
    const CopyOutcome out = CopyTheFullSIMIntoThePhoneMemory(CopyBy::DragToPhoneButton, true, 19200);
    EXPECT_TRUE(out.copied);
    EXPECT_EQ(out.inPhoneMemory, 193);
    EXPECT_TRUE(out.boxes.isEmpty()) << out.boxes.join(" | ").toStdString();
}
TEST_F(FullSIMCopyTest, PartOfAFullSIMOf250EndsWithoutAFullBox)
{
    const CopyOutcome out = CopyTheFullSIMIntoThePhoneMemory(CopyBy::EntriesMenu, false, 0, 250);
    EXPECT_TRUE(out.copied);
    EXPECT_EQ(out.inPhoneMemory, 193);
    EXPECT_TRUE(out.boxes.isEmpty()) << out.boxes.join(" | ").toStdString();
}

// While the full SIM is copied into the phone memory, the user clicks the
// SIM screen greyed by "Copying", in one of the copy's pauses: the
// new-entry button, or the idle entry form. The click is not given once the
// copy is over: no new entry is started on the full SIM, so the copy ends
// without "The SIM phonebook is full." and with every entry copied.
void ExpectTheCopyDoneWithoutABox(const CopyOutcome& out)
{
    EXPECT_TRUE(out.copied);
    EXPECT_TRUE(out.clickedGreyed) << "the click was not given on the greyed screen while \"Copying\" stood";
    EXPECT_EQ(out.inPhoneMemory, 193);
    EXPECT_TRUE(out.boxes.isEmpty()) << out.boxes.join(" | ").toStdString();
    EXPECT_FALSE(out.newEntryOpen) << "the click on the greyed screen started a new entry after the copy";
}
TEST_F(FullSIMCopyTest, AClickOnTheGreyedNewEntryButtonDuringTheCopyEndsItWithoutAFullBox)
{
    ExpectTheCopyDoneWithoutABox(
        CopyTheFullSIMIntoThePhoneMemory(CopyBy::EntriesMenu, false, 0, 151, ClickDuringCopy::NewEntryButton));
}
TEST_F(FullSIMCopyTest, AClickOnTheGreyedEntryFormDuringTheCopyEndsItWithoutAFullBox)
{
    ExpectTheCopyDoneWithoutABox(
        CopyTheFullSIMIntoThePhoneMemory(CopyBy::EntriesMenu, false, 0, 151, ClickDuringCopy::EntryForm));
}

}  // namespace
