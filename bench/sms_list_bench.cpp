// The message screen reading the SIM from a phone that answers at once (the
// simulator without pacing, as a phone on USB answers): for each count of
// received messages on the SIM, the time from the click on the messages
// picture until every message is listed, and the processor used meanwhile.
// The program runs through its own main entry in this process, on a copy of
// the built program folder, offscreen.
//   sms_list_bench [count ...]      (default: 200 255 1000)
// A SIM holds at most 255 messages and the program addresses them by a byte;
// a store the simulator fills beyond that shows what the program does with
// places it cannot address (it must end, tell, and not hang).
#include "bench_engine.h"
#include "dlgmessagebox.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "mainframe.h"
#include "phonesim_client.h"
#include "shortmsg.h"
#include "zorqapp.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"
#include "serial.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

CShortMsg* Screen()
{
    auto* frame = App() ? qobject_cast<CMainFrame*>(App()->m_pMainWnd) : nullptr;
    return frame ? qobject_cast<CShortMsg*>(frame->GetActiveView()) : nullptr;
}

int Rows()
{
    CShortMsg* s = Screen();
    return s && s->List() ? s->List()->GetRowCount() : -1;
}

// Linked, the background phonebook reading done, nothing modal up.
bool Settled()
{
    CZorqMMIApp* app = App();
    return app && app->FirstIdleDone() && app->m_pMainWnd && app->m_pMainWnd->isVisible() &&
           gv_SPIO_com_status == SPIO_com_available && !app->IdleWorkPending() && !CZorqMMIApp::RequestWaiting() &&
           !QApplication::activeModalWidget();
}

// Calls `f` every 20 ms until it returns true or `ms` pass (then `timeout`).
void Every20ms(std::function<bool()> f, int ms, std::function<void()> timeout)
{
    auto* timer = new QTimer();
    auto* left = new int(ms);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *left -= 20;
        const bool done = f();
        if (!done && *left > 0)
            return;
        timer->stop();
        timer->deleteLater();
        delete left;
        if (!done)
            timeout();
    });
    timer->start(20);
}

struct Result {
    int count = 0, rows = -1;
    double wall = -1, cpu = 0;
    std::vector<std::string> told;
};

std::string Scenario(int count)
{
    std::string s = "message-store SM " + std::to_string(count) + "\n";
    for (int i = 1; i <= count; ++i) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "message SM %d %d +336%08d \"26/12/09,10:%02d:00+04\" Message %d from the bench\n", i, i % 2,
                      10000000 + i * 137, i % 60, i);
        s += line;
    }
    return s;
}

Result Run(int argc, char** argv, const fs::path& root, int count)
{
    const fs::path folder = root / ("program-" + std::to_string(count));
    fs::copy(ZORQ_PROGRAM_DIR, folder, fs::copy_options::recursive);
    for (const char* sub : {"Database", "Work", "Melody"})
        fs::create_directories(folder / sub);
    fs::remove(folder / "ZorqMMI.ini");
    Result r;
    r.count = count;
    phonesim::Process sim(Scenario(count));
    std::ofstream(folder / "ZorqMMI.ini", std::ios::binary)
        << "[Ports]\r\nCOM1=" << sim.device() << "\r\n[Configuration]\r\nSerialPort=1\r\n"
        << "[SMSMT]\r\nSource=1\r\n";
    QApplication qapp(argc, argv);
    double wall0 = 0, cpu0 = 0;
    Every20ms(
        [&] {
            if (!Settled())
                return false;
            auto* frame = qobject_cast<CMainFrame*>(App()->m_pMainWnd);
            auto* menu = frame ? qobject_cast<CZorqMenu*>(frame->GetActiveView()) : nullptr;
            if (!menu)
                return false;
            wall0 = bench::seconds(CLOCK_MONOTONIC);
            cpu0 = bench::seconds(CLOCK_PROCESS_CPUTIME_ID);
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->MenuRegion(2).boundingRect().center());
            // Listed: the screen is up, its reading is over (no request, no
            // progress window). A message the program shows is noted and
            // answered.
            Every20ms(
                [&] {
                    if (auto* box = qobject_cast<CDlgMessageBox*>(QApplication::activeModalWidget())) {
                        r.told.push_back(box->m_strText.simplified().toStdString());
                        box->done(1);
                        return false;
                    }
                    if (!Screen() || CZorqMMIApp::RequestWaiting() || ProgressNotices::running || Rows() < 0)
                        return false;
                    r.wall = bench::seconds(CLOCK_MONOTONIC) - wall0;
                    r.cpu = bench::seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
                    r.rows = Rows();
                    App()->ShutDown();
                    return true;
                },
                120000, [] { App()->ShutDown(); });
            return true;
        },
        60000, [] { App()->ShutDown(); });
    RunZorqMMIProgram({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")}, (folder / "zorqmmi").string());
    // The next run starts as a new process would.
    krn_reset_for_tests();
    serial_trace_stop();
    gv_bCallMtrPoll = 1;
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {200, 255, 1000};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path root = fs::temp_directory_path() / ("zorq-smslistbench-" + std::to_string(getpid()));
    fs::create_directories(root / "tmp");
    setenv("TMPDIR", (root / "tmp").c_str(), 1);
    int failures = 0;
    for (int count : counts) {
        const Result r = Run(argc > 0 ? 1 : 0, argv, root, count);
        const int addressable = std::min(count, 255);
        std::printf("SIM with %4d received messages, unpaced: %d rows listed in %.3f s (%.3f s of processor)\n",
                    r.count, r.rows, r.wall, r.cpu);
        for (const std::string& t : r.told)
            std::printf("    the program said: %s\n", t.c_str());
        std::fflush(stdout);
        // Every message it can address is listed; beyond that it must
        // have ended and said so.
        if (r.wall < 0 || (count <= 255 && r.rows != count) || (count > 255 && r.told.empty())) {
            std::printf("    NOT as expected (%d addressable)\n", addressable);
            failures = 1;
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return failures;
}
