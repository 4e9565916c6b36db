// The processor time that a settings file of 4.5 MB (7,200 sections another
// program keeps before the program's own) adds to a fresh start of the
// program: each start runs in a process of its own, from nothing until its
// window shows after the first detection with the phone simulator linked,
// once on a small settings file and once on the large one (the program's
// own settings the same in both, the debug trace on), on fresh copies of the built program folder. The goal: under 0.15 s.
//   start_profile_bench [starts of each kind, 5 by default]
// Prints each start's processor time, the medians and their difference.
#include "bench_engine.h"
#include "phonesim_client.h"
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
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// In the child: the program started on `folder`; prints the processor time
// spent until its window shows, linked, and ends it there.
int StartOnce(int argc, char** argv, const std::string& folder)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    double cpu = -1;
    QTimer poll;
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CZorqMMIApp* app = CZorqMMIApp::Instance();
        const bool shown = app && app->FirstIdleDone() && app->m_pMainWnd && app->m_pMainWnd->isVisible() &&
                           !QApplication::activeModalWidget() && gv_SPIO_com_status == SPIO_com_available;
        waited += 10;
        if (!shown && waited < 60000)
            return;
        poll.stop();
        if (shown)
            cpu = bench::seconds(CLOCK_PROCESS_CPUTIME_ID);
        if (app)
            app->ShutDown();
    });
    poll.start(10);
    const int code = RunZorqMMIProgram({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")}, folder + "zorqmmi");
    if (code != 0 || cpu < 0) {
        std::fprintf(stderr, "the program did not show its window linked (exit code %d)\n", code);
        return 1;
    }
    std::printf("cpu %.6f\n", cpu);
    return 0;
}

std::string LargeProfile(const std::string& device)
{
    std::string ini = "[Ports]\r\nCOM1=" + device + "\r\n[Configuration]\r\nSerialPort=1\r\n";
    for (int s = 0; s < 7200; ++s) {
        ini += "[Other" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 20; ++k)
            ini += "Setting" + std::to_string(k) + "=kept by another one\r\n";
    }
    return ini + "[Pellard]\r\nDebug=1\r\n";
}

// One start in a fresh process on a fresh copy of the program folder; its
// processor time, or -1.
double FreshStart(const fs::path& root, const std::string& name, bool large)
{
    const fs::path folder = root / name;
    fs::copy(ZORQ_PROGRAM_DIR, folder, fs::copy_options::recursive);
    for (const char* sub : {"Database", "Work", "Melody"})
        fs::create_directories(folder / sub);
    phonesim::Process sim;
    // The program's own settings are the same in both: only the size differs.
    const std::string small =
        "[Ports]\r\nCOM1=" + sim.device() + "\r\n[Configuration]\r\nSerialPort=1\r\n[Pellard]\r\nDebug=1\r\n";
    std::ofstream(folder / "ZorqMMI.ini", std::ios::binary) << (large ? LargeProfile(sim.device()) : small);
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --start '" +
                                folder.string() + "/'";
    double cpu = -1;
    if (FILE* child = ::popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, child))
            std::sscanf(line, "cpu %lf", &cpu);
        if (::pclose(child) != 0)
            cpu = -1;
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return cpu;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--start")
        return StartOnce(argc, argv, argv[2]);
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path root = fs::temp_directory_path() / ("zorq-startbench-" + std::to_string(getpid()));
    // The single-instance socket goes to a folder of this run only.
    fs::create_directories(root / "tmp");
    setenv("TMPDIR", (root / "tmp").c_str(), 1);

    std::vector<double> small, large;
    int failures = 0;
    // Taken in turn, so that a change of the machine's load falls on both.
    for (int i = 0; i < starts && !failures; ++i) {
        const double s = FreshStart(root, "small" + std::to_string(i), false);
        const double l = FreshStart(root, "large" + std::to_string(i), true);
        std::printf("start %d: small settings file %.3f s of processor, 4.5 MB settings file %.3f s\n", i + 1, s, l);
        std::fflush(stdout);
        if (s < 0 || l < 0)
            failures = 1;
        small.push_back(s);
        large.push_back(l);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    if (failures) {
        std::printf("a start did not show its window linked\n");
        return 1;
    }
    const double added = Median(large) - Median(small);
    std::printf("fresh start until the window shows (median of %d): small settings file %.3f s of processor, "
                "4.5 MB settings file %.3f s: the large file adds %.3f s%s\n",
                starts, Median(small), Median(large), added, added < 0.15 ? "" : " (NOT under 0.15 s)");
    return added < 0.15 ? 0 : 1;
}
