// How long the program takes, started as the README starts it (`zorqmmi
// --simulator`, no splash) with a new user's settings (no settings file), to
// its menu, live: the window shown, nothing modal over it, the phone linked.
// Each start runs in a process of its own on a fresh copy of the built
// program folder. With no phone on the machine's own serial ports, each of
// those is probed first (its line break and the manufacturer request's
// time-out), then the bundled simulator stands in.
//   start_menu_bench [starts, 3 by default]
// Prints each start's wall time and the median.
#include "bench_engine.h"
#include "zorqapp.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "serial.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// In the child: the program on `folder`; prints "live" once its menu is.
int StartOnce(int argc, char** argv, const std::string& folder)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    bool live = false;
    QTimer poll;
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CZorqMMIApp* app = CZorqMMIApp::Instance();
        live = app && app->FirstIdleDone() && app->m_pMainWnd && app->m_pMainWnd->isVisible() &&
               !QApplication::activeModalWidget() && gv_SPIO_com_status == SPIO_com_available;
        waited += 5;
        if (!live && waited < 60000)
            return;
        poll.stop();
        if (live) {
            std::printf("live\n");
            std::fflush(stdout);
        }
        if (app)
            app->ShutDown();
    });
    poll.start(5);
    const int code = RunZorqMMIProgram(
        {QStringLiteral("zorqmmi"), QStringLiteral("--simulator"), QStringLiteral("--nosplash")}, folder + "zorqmmi");
    return code == 0 && live ? 0 : 1;
}

// One start in a fresh process on a fresh copy of the program folder: the
// wall time from the process's start to its live menu, or -1.
double FreshStart(const fs::path& root, int n)
{
    const fs::path folder = root / ("start" + std::to_string(n));
    fs::copy(ZORQ_PROGRAM_DIR, folder, fs::copy_options::recursive);
    fs::remove(folder / "ZorqMMI.ini");
    const std::string command =
        "'" + fs::read_symlink("/proc/self/exe").string() + "' --start '" + folder.string() + "/'";
    double took = -1;
    const double begun = bench::seconds(CLOCK_MONOTONIC);
    if (FILE* child = ::popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, child))
            if (std::string(line) == "live\n")
                took = bench::seconds(CLOCK_MONOTONIC) - begun;
        if (::pclose(child) != 0)
            took = -1;
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return took;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--start")
        return StartOnce(argc, argv, argv[2]);
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path root = fs::temp_directory_path() / ("zorq-menubench-" + std::to_string(getpid()));
    // The single-instance socket goes to a folder of this run only.
    fs::create_directories(root / "tmp");
    setenv("TMPDIR", (root / "tmp").c_str(), 1);
    std::vector<double> times;
    for (int i = 0; i < starts; ++i) {
        const double t = FreshStart(root, i);
        if (t < 0) {
            std::printf("start %d: the menu never came up live\n", i + 1);
            std::error_code ec;
            fs::remove_all(root, ec);
            return 1;
        }
        std::printf("start %d: %.2f s to a live menu\n", i + 1, t);
        std::fflush(stdout);
        times.push_back(t);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    std::sort(times.begin(), times.end());
    std::printf("start with --simulator and a new user's settings to a live menu (median of %d): %.2f s\n", starts,
                times[times.size() / 2]);
    return 0;
}
