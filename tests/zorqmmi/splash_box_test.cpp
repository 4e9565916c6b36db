// The program started as the user starts it, with its splash: a box that the
// start-up shows over the splash is answered like any other box, with Enter
// or a click on OK, and the splash goes away after it, when the main window
// comes.
#include "program_support.h"

#include "phonesim_client.h"
#include "dlgmessagebox.h"
#include "mainframe.h"
#include "melodyview.h"
#include "splashwnd.h"
#include "utilities.h"
#include "zorqmenu.h"

#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using zorqtest::ProgramFolder;

// How the user answers a box.
enum class Answer { Enter, Click };

// Answers every box the running program shows, once each, as a user does,
// and notes what the user saw: its text, whether it stood over the splash
// and whether that one answer closed it.
class BoxAnswerer {
public:
    explicit BoxAnswerer(Answer answer) : answer_(answer)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            Settle();
            if (awaiting_)
                return;  // the last answer has not (yet) closed its box
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            CSplashWnd* splash = CSplashWnd::Current();
            overSplash += splash && splash->isVisible() && w->parentWidget() == splash ? 1 : 0;
            QAbstractButton* ok = nullptr;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                texts << box->text();
                ok = box->button(QMessageBox::Ok);
            } else if (auto* own = qobject_cast<CDlgMessageBox*>(w)) {
                texts << own->m_strText.trimmed();
                ok = own->m_btnOK;
            } else {
                texts << QStringLiteral("(a %1)").arg(QString::fromLatin1(w->metaObject()->className()));
            }
            answered_ = w;
            awaiting_ = true;
            if (answer_ == Answer::Enter)
                QTest::keyClick(w, Qt::Key_Return);
            else if (ok)
                QTest::mouseClick(ok, Qt::LeftButton);
        });
        timer_.start(50);
    }
    // Counts the last box answered as closed once it is (not by the end of
    // the run, which closes whatever stands).
    void Settle()
    {
        CZorqMMIApp* app = CZorqMMIApp::Instance();
        if (!app || app->IsShuttingDown())
            return;
        if (awaiting_ && (!answered_ || !answered_->isVisible())) {
            ++closedByAnswer;
            awaiting_ = false;
        }
    }
    QStringList texts;
    int overSplash = 0;      // boxes that stood over the shown splash
    int closedByAnswer = 0;  // boxes that one answer closed

private:
    Answer answer_;
    QTimer timer_;
    QPointer<QWidget> answered_;
    bool awaiting_ = false;
};

class SplashBoxTest : public zorqtest::ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        showSplash_ = true;
    }

    struct Told {
        QStringList texts;  // the boxes, in their order
        int overSplash = 0;  // how many of them stood over the splash
    };
    // Runs the program on `folder`, answering its boxes with `answer`, until
    // its window shows with the splash gone; what the boxes told. Each box
    // must have closed on its one answer.
    Told StartAnsweringTheBoxes(const ProgramFolder& folder, Answer answer)
    {
        BoxAnswerer boxes(answer);
        bool started = false, splashGone = false;
        int shown = 0, closed = 0;  // boxes of the start, and those their answer closed
        WhenStarted([&] { return !boxes.texts.isEmpty(); },
                    [&] {
                        started = true;
                        splashGone = CSplashWnd::Current() == nullptr;
                        boxes.Settle();
                        shown = boxes.texts.size();
                        closed = boxes.closedByAnswer;
                        End();
                    },
                    40000);
        EXPECT_EQ(RunProgram(folder), 0);
        EXPECT_FALSE(timedOut_);
        EXPECT_TRUE(started) << "the window never showed with no box left standing";
        EXPECT_TRUE(splashGone);
        EXPECT_EQ(closed, shown) << boxes.texts.join(" | ").toStdString();
        return {boxes.texts, boxes.overSplash};
    }
};

// An unplugged USB adapter named in [Ports]: the start tells so over the
// splash, Enter answers that box and the program goes on without a phone.
TEST_F(SplashBoxTest, EnterAnswersThePortBoxOverTheSplash)
{
    const std::string device = tmp_ + "/dev/ttyUSB77";
    ProgramFolder folder(device);
    const Told told = StartAnsweringTheBoxes(folder, Answer::Enter);
    EXPECT_EQ(told.texts, QStringList{QStringLiteral("The port COM1 named in ZorqMMI.ini, %1, cannot be opened: No "
                                                     "such file or directory. Correct its line in the [Ports] section "
                                                     "of ZorqMMI.ini, then refresh.")
                                          .arg(QString::fromStdString(device))});
    EXPECT_EQ(told.overSplash, 1);
    EXPECT_FALSE(Linked());
}

// A stored message database in a folder that is gone: told over the splash
// as the phone is found, and a click on OK answers it.
TEST_F(SplashBoxTest, AClickAnswersTheMissingDatabaseBoxOverTheSplash)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    const std::string stored = tmp_ + "/gone/defsms.mdb";
    zorqtest::WriteFile(folder.path() + "ZorqMMI.ini",
                        zorqtest::ReadFile(folder.path() + "ZorqMMI.ini") + "[Databases]\r\nSMS=" + stored + "\r\n");
    const Told told = StartAnsweringTheBoxes(folder, Answer::Click);
    // Told as the phone is found, over the splash; any later telling says
    // the same.
    ASSERT_FALSE(told.texts.isEmpty());
    EXPECT_EQ(told.overSplash, 1);
    const QString notFound = QStringLiteral("The database %1 was not found. It may have been moved, renamed or deleted.")
                                 .arg(QString::fromStdString(stored));
    for (const QString& text : told.texts)
        EXPECT_EQ(text.toStdString(), notFound.toStdString());
}

// A computer whose serial ports have no hardware behind them (a laptop, a
// virtual machine) lists no port. Started there with "--simulator", as the
// README's run command starts it, the program comes up on the simulated
// phone over its splash with no box at all ("no phone was found" would be
// untrue once the simulator answers), and its menu takes a click.
TEST_F(SplashBoxTest, WithNoSerialPortTheSimulatorStandsInWithoutABox)
{
    const std::string noPorts = tmp_ + "/tty-class";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(noPorts)));
    qputenv("ZORQ_TTY_CLASS_DIR", noPorts.c_str());
    ProgramFolder folder;  // no [Ports] section: the listed ports only

    BoxAnswerer boxes(Answer::Enter);
    QString title;
    bool linkedAtStart = false, screenOpened = false;
    WhenStarted([] { return true; }, [&] {
        linkedAtStart = Linked();
        CMainFrame* frame = CZorqMMIApp::Instance()->GetMainFrame();
        title = frame->windowTitle();
        QPointer<CZorqMenu> menu = qobject_cast<CZorqMenu*>(frame->GetActiveView());
        if (!menu) {
            ADD_FAILURE() << "the window does not show the menu";
            End();
            return;
        }
        // Clicked as a user clicks again: once no request holds the window.
        zorqtest::WhenTrue([menu] { return !menu || (menu->isEnabled() && !CZorqMMIApp::RequestWaiting()); },
                           [&, menu, frame] {
                               if (menu)
                                   QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                                     menu->MenuRegion(3).boundingRect().center());
                               zorqtest::WhenTrue([frame] { return qobject_cast<CMelodyView*>(frame->GetActiveView()); },
                                                  [&] {
                                                      screenOpened = true;
                                                      End();
                                                  },
                                                  10000, End);
                           },
                           10000, End);
    });
    const int code = RunProgram(folder, 60000, {QStringLiteral("--simulator")});
    qunsetenv("ZORQ_TTY_CLASS_DIR");
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();
    EXPECT_TRUE(linkedAtStart) << "the simulator did not stand in";
    EXPECT_TRUE(title.endsWith(QLatin1String(" - simulated phone"))) << title.toStdString();
    EXPECT_TRUE(screenOpened) << "a click on the menu opened no screen";
}

}  // namespace
