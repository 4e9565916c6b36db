// The whole program when the phone goes away: pulled (the simulator's
// unplug) or silent and then pulled, while a screen is open. The loss is
// told once, the program goes quiet (no spinning, no flood in its trace),
// re-detects once with the quick test and no progress window, and a refresh
// finds the phone again once it is back on the same port entry.
#include "program_support.h"

#include "dlgmessagebox.h"
#include "dlgprogress.h"
#include "handbutton.h"
#include "mainview.h"
#include "phonesim_client.h"
#include "viewframe.h"
#include "zorqapp.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

namespace {

using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Lets the program run (its notifiers and timers) until `done` or `ms`.
bool RunUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The first line of the first detection after its start line: the link test
// it chose.
std::string DetectionTest(const std::string& trace)
{
    const size_t begin = trace.find("mmi_NewMobileDetect -> BEGIN");
    const size_t next = begin == std::string::npos ? begin : trace.find('\n', begin);
    if (next == std::string::npos)
        return std::string();
    return trace.substr(next + 1, trace.find('\n', next + 1) - next - 1);
}

long Count(const std::string& text, const std::string& what)
{
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The longest run of one line (time stamps left aside) in a trace.
int LongestRepeat(const std::string& trace)
{
    int longest = 0, run = 0;
    std::string last;
    size_t at = 0;
    while (at < trace.size()) {
        size_t end = trace.find('\n', at);
        if (end == std::string::npos)
            end = trace.size();
        std::string line = trace.substr(at, end - at);
        at = end + 1;
        const size_t sep = line.find(" : ");
        if (sep != std::string::npos)
            line = line.substr(sep + 3);
        run = (line == last && !line.empty() && line != "\r") ? run + 1 : 1;
        last = line;
        longest = std::max(longest, run);
    }
    return longest;
}

// Counts every progress window that is shown.
class ProgressWatch : public QObject {
public:
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<CDlgProgress*>(watched))
            ++shown;
        return false;
    }
};

class LinkLossTest : public zorqtest::ProgramRunTest {
protected:
    void TearDown() override
    {
        ProgramRunTest::TearDown();
        // The next run starts as a new process would: a run's stop leaves
        // polling off, and a loss would never be noticed.
        gv_bCallMtrPoll = 1;
    }
    // Runs the program on `folder`; once it shows its window linked to the
    // phone, `script` runs (inside the program's loop) and the program ends.
    void RunProgram(const ProgramFolder& folder, std::function<void()> script)
    {
        bool scripted = false;
        WhenStarted([] { return Linked() && !CZorqMMIApp::RequestWaiting(); },
                    [&] {
                        scripted = true;
                        script();
                        End();
                    });
        EXPECT_EQ(ProgramRunTest::RunProgram(folder, 240000), 0);
        EXPECT_TRUE(scripted) << "the program never linked";
    }

    static CMainView* Active()
    {
        CViewFrame* frame = GetViewFrame();
        return frame ? frame->GetActiveView() : nullptr;
    }

    // Opens the phonebook screen with a click on its menu picture and waits
    // until the program has nothing left to do.
    static bool OpenPhonebook()
    {
        auto* menu = qobject_cast<CZorqMenu*>(Active());
        if (!menu)
            return false;
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->MenuRegion(SCREEN_PHONEBOOK).boundingRect().center());
        const bool ok = RunUntil(
            [] {
                CMainView* view = Active();
                CZorqMMIApp* app = CZorqMMIApp::Instance();
                return view && view->GetViewKind() == VIEW_PHONEBOOK && !QApplication::activeModalWidget() &&
                       !CZorqMMIApp::RequestWaiting() && !app->IdleWorkPending();
            },
            20000);
        if (!ok) {
            CMainView* view = Active();
            ADD_FAILURE() << "screen " << (view ? view->GetViewKind() : -1) << ", modal "
                          << (QApplication::activeModalWidget() ? QApplication::activeModalWidget()->metaObject()->className() : "none")
                          << ", request " << CZorqMMIApp::RequestWaiting() << ", idle work "
                          << CZorqMMIApp::Instance()->IdleWorkPending();
        }
        return ok;
    }

    static std::string TraceFrom(const ProgramFolder& folder, size_t from)
    {
        const std::string trace = zorqtest::ReadFile(folder.path() + "debug.txt");
        return from < trace.size() ? trace.substr(from) : std::string();
    }

    std::string tmp_;
    QByteArray oldTmp_;
};

TEST_F(LinkLossTest, AnUnpluggedPhoneIsLostOnceTheProgramStaysQuietAndARefreshFindsItBack)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    std::unique_ptr<phonesim::Process> again;
    bool onScreen = false, lostInTime = false, relinked = false;
    double cpuShare = 1;
    int progressAfterUnplug = -1, longestRepeat = 0;
    std::string afterUnplug;
    RunProgram(folder, [&] {
        onScreen = OpenPhonebook();
        if (!onScreen)
            return;
        ProgressWatch watch;
        qApp->installEventFilter(&watch);
        const size_t mark = zorqtest::ReadFile(folder.path() + "debug.txt").size();
        ASSERT_EQ(sim.command("unplug"), "ok");
        WriteIniProfileString("Ports", "COM1", folder.path() + "pulled-tty");  // see the muted case
        lostInTime = RunUntil([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 2000);
        // The re-detection that follows runs quietly; then the program idles.
        RunUntil([] { return false; }, 500);
        const double c0 = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunUntil([] { return false; }, 5000);
        cpuShare = (CpuSeconds() - c0) / (static_cast<double>(wall.elapsed()) / 1000.0);
        std::printf("processor over %.1f s without the phone: %.2f %% of one core\n",
                    static_cast<double>(wall.elapsed()) / 1000.0, cpuShare * 100);
        progressAfterUnplug = watch.shown;
        qApp->removeEventFilter(&watch);
        afterUnplug = TraceFrom(folder, mark);
        longestRepeat = LongestRepeat(zorqtest::ReadFile(folder.path() + "debug.txt"));

        // Plugged back: a new phone on the same port entry; the refresh
        // button links again.
        again = std::make_unique<phonesim::Process>();
        WriteIniProfileString("Ports", "COM1", again->device());
        CMainView* view = Active();
        ASSERT_NE(view, nullptr);
        QTest::mouseClick(view->RefreshButton(), Qt::LeftButton);
        relinked = RunUntil(
            [] {
                CZorqMMIApp* app = CZorqMMIApp::Instance();
                return gv_SPIO_com_status == SPIO_com_available && !CZorqMMIApp::RequestWaiting() &&
                       app->GetDocument() && app->GetDocument()->GetPBMaxLocation(1) == 250;
            },
            10000);
    });
    ASSERT_TRUE(onScreen);
    EXPECT_TRUE(lostInTime) << "the link was not reported lost within 2 s";
    EXPECT_LT(cpuShare, 0.05);
    EXPECT_EQ(Count(afterUnplug, "set to SPIO_no_com_available in mtr_poll()"), 1) << afterUnplug;
    EXPECT_EQ(Count(afterUnplug, "the port hung up"), 1) << afterUnplug;
    // One re-detection, with the quick test, and no progress window.
    EXPECT_EQ(Count(afterUnplug, "mmi_NewMobileDetect -> BEGIN"), 1) << afterUnplug;
    EXPECT_NE(DetectionTest(afterUnplug).find("mtr_IsComWithMobile -> before"), std::string::npos) << afterUnplug;
    EXPECT_EQ(progressAfterUnplug, 0);
    EXPECT_LE(longestRepeat, 3);
    EXPECT_LT(afterUnplug.size(), 20000u);
    EXPECT_TRUE(relinked) << "the refresh did not link the phone that came back";
}

// The phone found again by the refresh button is watched as the first one
// was: what it reports afterwards (a message arriving, the cable pulled
// again) reaches the program at once, with no engine timer running and
// nothing else to wake the program in between.
TEST_F(LinkLossTest, APhoneFoundAgainByARefreshIsWatchedLikeTheFirst)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    std::unique_ptr<phonesim::Process> again;
    bool onScreen = false, lost = false, relinked = false, noticed = false, lostAgain = false;
    RunProgram(folder, [&] {
        onScreen = OpenPhonebook();
        if (!onScreen)
            return;
        ASSERT_EQ(sim.command("unplug"), "ok");
        WriteIniProfileString("Ports", "COM1", folder.path() + "pulled-tty");
        lost = RunUntil([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 2000);
        RunUntil([] { return false; }, 500);
        again = std::make_unique<phonesim::Process>();
        WriteIniProfileString("Ports", "COM1", again->device());
        QTest::mouseClick(Active()->RefreshButton(), Qt::LeftButton);
        relinked = RunUntil(
            [] {
                CZorqMMIApp* app = CZorqMMIApp::Instance();
                return gv_SPIO_com_status == SPIO_com_available && !CZorqMMIApp::RequestWaiting() &&
                       !QApplication::activeModalWidget() && !app->IdleWorkPending();
            },
            10000);
        if (!relinked) {
            CZorqMMIApp* app = CZorqMMIApp::Instance();
            ADD_FAILURE() << "link " << gv_SPIO_com_status << ", request " << CZorqMMIApp::RequestWaiting()
                          << ", modal " << (QApplication::activeModalWidget() != nullptr) << ", idle work "
                          << app->IdleWorkPending();
            return;
        }
        // The program has nothing left to do and sleeps.
        RunUntil([] { return false; }, 300);
        CZorqMMIDoc* doc = CZorqMMIApp::Instance()->GetDocument();
        const int before = doc->GetNewMsgCount();
        // The new-message box is answered as it comes (it runs its own loop).
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<CDlgMessageBox*>(QApplication::activeModalWidget()))
                box->m_btnOK->click();
        });
        answer.start(50);
        ASSERT_EQ(again->command("sms-receive SM +33611 Back again"), "ok");
        noticed = RunUntil([&] { return doc->GetNewMsgCount() > before; }, 3000);
        RunUntil([] { return false; }, 500);
        ASSERT_EQ(again->command("unplug"), "ok");
        WriteIniProfileString("Ports", "COM1", folder.path() + "pulled-tty");
        lostAgain = RunUntil([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 2000);
    });
    ASSERT_TRUE(onScreen);
    EXPECT_TRUE(lost);
    ASSERT_TRUE(relinked) << "the refresh did not link the phone that came back";
    EXPECT_TRUE(noticed) << "a message that arrived after the refresh went unnoticed";
    EXPECT_TRUE(lostAgain) << "a second pull after the refresh was not noticed within 2 s";
}

TEST_F(LinkLossTest, AMutedThenUnpluggedPhoneGivesOneQuietReDetection)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    // The link test runs every second.
    zorqtest::WriteFile(folder.path() + "ZorqMMI.ini", "[Ports]\r\nCOM1=" + sim.device() +
                                                           "\r\n[Configuration]\r\nSerialPort=1\r\n[Pellard]\r\n"
                                                           "Debug=1\r\n[PoolingTime]\r\nPool=1\r\n");
    bool onScreen = false, lost = false;
    int progress = -1;
    qint64 detectionMs = -1;
    std::string after;
    RunProgram(folder, [&] {
        onScreen = OpenPhonebook();
        if (!onScreen)
            return;
        ProgressWatch watch;
        qApp->installEventFilter(&watch);
        const size_t mark = zorqtest::ReadFile(folder.path() + "debug.txt").size();
        ASSERT_EQ(sim.command("mute on"), "ok");
        lost = RunUntil([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 15000);
        // The loss closed the port: the quiet re-detection cannot reach the
        // phone and ends without waiting for a command's time-out.
        QElapsedTimer detection;
        detection.start();
        RunUntil([&] { return Count(TraceFrom(folder, mark), "mmi_NewMobileDetect -> END") > 0; }, 15000);
        detectionMs = detection.elapsed();
        ASSERT_EQ(sim.command("unplug"), "ok");
        // The freed pseudo-terminal number may soon belong to another test's
        // phone; a pulled device's node stays gone.
        WriteIniProfileString("Ports", "COM1", folder.path() + "pulled-tty");
        // Link tests go on every second; none of them finds the phone.
        RunUntil([] { return false; }, 3000);
        progress = watch.shown;
        qApp->removeEventFilter(&watch);
        after = TraceFrom(folder, mark);
    });
    ASSERT_TRUE(onScreen);
    EXPECT_TRUE(lost);
    EXPECT_GE(detectionMs, 0);
    EXPECT_LT(detectionMs, 2000) << "the program stays in the quiet re-detection's request";
    EXPECT_EQ(Count(after, "set to SPIO_no_com_available in mtr_poll()"), 1) << after;
    EXPECT_EQ(Count(after, "mmi_NewMobileDetect -> BEGIN"), 1) << after;
    EXPECT_NE(DetectionTest(after).find("mtr_IsComWithMobile -> before"), std::string::npos) << after;
    EXPECT_EQ(progress, 0);
}

}  // namespace
