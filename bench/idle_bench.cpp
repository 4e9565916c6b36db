// The program connected to the phone simulator and left alone: the share of
// one processor it uses over a quiet period (30 s by default), first with its
// window shown, then with the window hidden in the tray. Each must stay
// under 1%. The program runs through its own main entry in this process (so
// the figure is the program's, the simulator being another process), on a
// copy of the built program folder, offscreen.
//   idle_bench [seconds [polling period in seconds]]
// (no polling by default, as the program is installed)
#include "bench_engine.h"
#include "phonesim_client.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "serial.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

// Started, linked, and the background phonebook reading done.
bool Settled()
{
    CZorqMMIApp* app = App();
    if (!app || !app->FirstIdleDone() || !app->m_pMainWnd || !app->m_pMainWnd->isVisible())
        return false;
    CZorqMMIDoc* doc = app->GetDocument();
    return doc && gv_SPIO_com_status == SPIO_com_available && doc->GetPBUploadState() != 1 &&
           !QApplication::activeModalWidget();
}

struct Phase {
    const char* name;
    double share = -1;
};

// Measures `seconds` of the running loop, then calls `done`.
void Measure(Phase& phase, int seconds, std::function<void()> done)
{
    const double wall0 = bench::seconds(CLOCK_MONOTONIC), cpu0 = bench::seconds(CLOCK_PROCESS_CPUTIME_ID);
    uint64_t in0 = 0, out0 = 0;
    serial_byte_counts(&in0, &out0);
    QTimer::singleShot(seconds * 1000, [&phase, wall0, cpu0, in0, out0, done] {
        const double wall = bench::seconds(CLOCK_MONOTONIC) - wall0, cpu = bench::seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        uint64_t in = 0, out = 0;
        serial_byte_counts(&in, &out);
        phase.share = 100.0 * cpu / wall;
        // The bytes show the link was still looked after (polling) while idle.
        std::printf("idle, %-28s: %.3f s of processor in %.1f s: %.2f%% of one processor (%llu bytes out, %llu in)\n",
                    phase.name, cpu, wall, phase.share, static_cast<unsigned long long>(out - out0),
                    static_cast<unsigned long long>(in - in0));
        std::fflush(stdout);
        done();
    });
}

void WhenSettled(std::function<void()> then, int waitedMs = 0)
{
    if (waitedMs > 60000) {
        std::fprintf(stderr, "the program did not settle within 60 s\n");
        if (App())
            App()->ShutDown();
        return;
    }
    QTimer::singleShot(100, [then, waitedMs] {
        if (Settled())
            then();
        else
            WhenSettled(then, waitedMs + 100);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int pollSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path root = fs::temp_directory_path() / ("zorq-idlebench-" + std::to_string(getpid()));
    const fs::path folder = root / "program";
    // The single-instance socket goes to a folder of this run only.
    fs::create_directories(root / "tmp");
    setenv("TMPDIR", (root / "tmp").c_str(), 1);
    fs::copy(ZORQ_PROGRAM_DIR, folder, fs::copy_options::recursive);
    for (const char* sub : {"Database", "Work", "Melody"})
        fs::create_directories(folder / sub);
    fs::remove(folder / "ZorqMMI.ini");

    int failures = 0;
    {
        phonesim::Process sim;
        std::ofstream(folder / "ZorqMMI.ini", std::ios::binary)
            << "[Ports]\r\nCOM1=" << sim.device() << "\r\n[Configuration]\r\nSerialPort=1\r\n"
            << "[PoolingTime]\r\nPool=" << pollSeconds << "\r\n";

        QApplication qapp(argc, argv);
        Phase shown{"window shown"}, tray{"window hidden in the tray"};
        WhenSettled([&] {
            // A moment for what the start-up left queued.
            QTimer::singleShot(2000, [&] {
                Measure(shown, seconds, [&] {
                    App()->m_pMainWnd->hide();
                    QTimer::singleShot(1000, [&] { Measure(tray, seconds, [] { App()->ShutDown(); }); });
                });
            });
        });
        const int code = RunZorqMMIProgram({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")},
                                           (folder / "zorqmmi").string());
        if (code != 0 || shown.share < 0 || tray.share < 0) {
            std::printf("the program did not run through (exit code %d)\n", code);
            failures = 1;
        }
        for (const Phase* p : {&shown, &tray}) {
            if (p->share >= 1.0) {
                std::printf("idle, %s: NOT under 1%% of one processor\n", p->name);
                failures = 1;
            }
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return failures;
}
