// uninstaller [--yes] [--keep-open] [installation folder]: removes an
// installation by running the companion's removal (instQrl /UnInstall) and
// then the installation log's removal (IsUninst), waiting for each.
//
// On a terminal (standard input is one) it first says what it will remove
// and what it keeps, the program's own files apart from the user's data,
// and asks about what it will really do; `--yes` takes the answer for
// granted. Without a terminal (scripts, tests) nobody can answer: it
// goes ahead without asking. Either way it ends by saying what it did.
// `--keep-open` waits for Enter before ending, so that the terminal the
// desktop entry opens stays readable.
//
// Without the installation log the second step cannot run and the program
// stays; the first still does, and only its files are asked about. Exit status: 0 when both steps ran and succeeded; 1 when a step could
// not run or failed (each named on standard error), or when the user said no;
// 2 for an unknown option.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "uninst.h"

namespace {

std::string OwnProgram(const char* argv0)
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0)
        return std::string(path, static_cast<size_t>(n));
    return argv0 ? argv0 : "";
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The path shown to the user: relative to the installation folder when it
// lies inside it.
std::string Shown(const std::string& path, const std::string& folder)
{
    return path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path;
}

void List(const char* heading, const std::vector<std::string>& files, const std::string& folder)
{
    if (files.empty())
        return;
    if (*heading)
        std::cout << heading << "\n";
    for (const std::string& f : files)
        std::cout << "  " << Shown(f, folder) << "\n";
}

struct Step {
    std::string name;  // as the user reads it on standard error
    bool ran = false;
    int exitCode = 0;
    std::string whyNotRun;  // when known before trying
};

void ReportFailure(const Step& step)
{
    if (!step.ran && !step.whyNotRun.empty())
        std::cerr << "uninstaller: step \"" << step.name << "\" could not run: " << step.whyNotRun << "\n";
    else if (!step.ran)
        std::cerr << "uninstaller: step \"" << step.name << "\" could not run\n";
    else
        std::cerr << "uninstaller: step \"" << step.name << "\" failed (exit status " << step.exitCode << ")\n";
}

}  // namespace

int main(int argc, char** argv)
{
    bool assumeYes = false, keepOpen = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (args.empty() && a == "--yes")
            assumeYes = true;
        else if (args.empty() && a == "--keep-open")
            keepOpen = true;
        else if (args.empty() && a.rfind("--", 0) == 0) {
            std::cerr << "usage: uninstaller [--yes] [--keep-open] [installation folder]\n";
            return 2;
        } else
            args.push_back(a);
    }
    const bool interactive = isatty(STDIN_FILENO) != 0;
    const auto end = [&](int status) {
        if (keepOpen && interactive) {
            std::cout << "Press Enter to close." << std::flush;
            std::string line;
            std::getline(std::cin, line);
        }
        return status;
    };

    const std::string self = OwnProgram(argc > 0 ? argv[0] : nullptr);
    const std::string folder = uninst::ChooseFolder(args, self);
    // IsUninst lives in the installation's toolkit folder, found from where
    // this program is installed.
    const std::string toolkit =
        std::filesystem::path(uninst::FolderOf(self) + ZORQ_TOOLKIT_FROM_PROGRAM).lexically_normal().string();
    const std::string logPath = folder + "Uninst.isu";

    // Without its log nothing tells which files were installed: that step
    // cannot run, and is named at the end. The companion's removal needs no
    // log (it removes only what the program made in its own folder), so it
    // runs in any case.
    uninst::InstallLog log;
    std::string logError;
    const bool haveLog = uninst::ReadInstallLog(logPath, log, logError);
    // What will go and what stays.
    std::vector<std::string> installed;
    for (const std::string& f : log.files)
        if (Exists(f))
            installed.push_back(f);
    const std::vector<std::string> runtime = uninst::RuntimeFiles(folder);
    std::set<std::string> going(installed.begin(), installed.end());
    going.insert(runtime.begin(), runtime.end());
    // What stays, the program's own files apart from the user's data: with
    // its log the program's files normally all go; without it they all stay.
    std::vector<std::string> keptProgram, kept;
    for (const std::string& f : uninst::FilesBelow(folder))
        if (!going.count(f))
            (uninst::IsProgramFile(Shown(f, folder)) ? keptProgram : kept).push_back(f);

    if (interactive) {
        std::cout << "Pellard Tarvel Data in " << folder << "\n\n";
        if (!haveLog)
            std::cout << "The program stays: without its installation log nothing tells which files were "
                         "installed ("
                      << logError << ").\n\n";
        List("It will remove the installed files:", installed, folder);
        if (!runtime.empty())
            List(!haveLog ? "It will remove only the files the program made that hold none of your data:"
                 : installed.empty()
                     ? "It will remove the files the program made that hold none of your data:"
                     : "It will also remove the files the program made that hold none of your data:",
                 runtime, folder);
        if (going.empty())
            std::cout << "There is nothing to remove.\n";
        if (!keptProgram.empty())
            List("\nIt will keep the program's own files:", keptProgram, folder);
        if (kept.empty())
            std::cout << "\nThe folder holds no data of yours.\n";
        else
            List("\nIt will keep your data:", kept, folder);
        if (!assumeYes && !going.empty()) {
            // The question names what will really be done.
            if (haveLog)
                std::cout << "\nRemove Pellard Tarvel Data? [y/N] " << std::flush;
            else
                std::cout << "\nRemove "
                          << (going.size() == 1 ? std::string("this file")
                                                : "these " + std::to_string(going.size()) + " files")
                          << " and keep the program? [y/N] " << std::flush;
            std::string answer;
            std::getline(std::cin, answer);
            if (answer != "y" && answer != "Y" && answer != "yes" && answer != "Yes") {
                std::cout << "Nothing was removed.\n";
                return end(1);
            }
        }
    }

    Step companion, toolkitStep;
    companion.name = "remove the program's run-time files (" + folder + "instQrl /UnInstall)";
    toolkitStep.name =
        "remove the installed files (" + uninst::ToolkitUninstallerPath(toolkit) + " -f" + logPath + ")";
    // Both steps run even when the first fails: what the second can remove
    // it removes.
    companion.ran = uninst::RunCompanionUninstall(folder, &companion.exitCode) == 1;
    if (haveLog)
        toolkitStep.ran = uninst::RunToolkitUninstaller(folder, toolkit, &toolkitStep.exitCode) == 1;
    else
        toolkitStep.whyNotRun = logError;

    // What it did, read from the disk rather than taken on trust.
    std::vector<std::string> removed, left;
    for (const std::string& f : going)
        (Exists(f) ? left : removed).push_back(f);
    std::cout << (interactive ? "\n" : "");
    if (going.empty())
        std::cout << "Nothing was removed.\n";
    else
        std::cout << "Removed " << removed.size() << " of " << going.size() << " files.\n";
    List("Not removed:", left, folder);
    if (!haveLog)
        std::cout << "The program stays: without its installation log it cannot be removed.\n";
    if (!keptProgram.empty()) {
        std::cout << "Kept the program's own files (" << keptProgram.size() << " files) in " << folder << "\n";
        if (!interactive)
            List("", keptProgram, folder);
    }
    if (!kept.empty()) {
        std::cout << "Kept your data (" << kept.size() << " files) in " << folder << "\n";
        if (!interactive)
            List("", kept, folder);
    }

    int status = 0;
    for (const Step* s : {&companion, &toolkitStep}) {
        if (!s->ran || s->exitCode != 0) {
            ReportFailure(*s);
            status = 1;
        }
    }
    return end(status);
}
