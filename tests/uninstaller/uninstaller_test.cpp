// The uninstaller and the two programs it starts, run as programs: stand-in
// recorders for the command lines, real files for the removals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "uninst.h"
#include "terminal_shot.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// Runs a program with an argument vector; returns its exit status. Its
// standard output and error go to `out` and `err` when given; its standard
// input is not a terminal.
int RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* out = nullptr,
               std::string* err = nullptr)
{
    const fs::path outFile = fs::temp_directory_path() / ("zorq-uninst-out-" + std::to_string(getpid()));
    const fs::path errFile = fs::temp_directory_path() / ("zorq-uninst-err-" + std::to_string(getpid()));
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        if (out)
            dup2(open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        if (err)
            dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execv(program.c_str(), argv.data());
        _exit(126);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = ReadFile(outFile);
    if (err)
        *err = ReadFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program with a terminal as its standard input, output and error,
// typing `typed` into it (once it has shown `askedBy`, when given: the
// terminal then echoes the answer after the question, as a person sees it);
// returns its exit status and what it wrote.
int RunOnTerminal(const std::string& program, const std::vector<std::string>& args, const std::string& typed,
                  std::string& shown, const std::string& askedBy = std::string())
{
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(program.c_str(), argv.data());
        _exit(126);
    }
    if (pid < 0)
        return -1;
    // Whatever it shows is read until it ends. A terminal keeps typed input
    // for the program, so without `askedBy` the answer is typed at once.
    bool typedYet = askedBy.empty();
    if (typedYet)
        (void)!write(master, typed.data(), typed.size());
    char buf[4096];
    for (;;) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0)
            break;  // EIO once the program has ended
        shown.append(buf, static_cast<size_t>(n));
        if (!typedYet && shown.find(askedBy) != std::string::npos) {
            (void)!write(master, typed.data(), typed.size());
            typedYet = true;
        }
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("zorq-uninst-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    // A recorder: writes its working folder and arguments, one a line, to
    // "<its path>.record" and its name to the shared order file.
    void Recorder(const fs::path& path)
    {
        WriteFile(path, "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$0.record\"\n"
                        "basename \"$0\" >> '" + (root / "order").string() + "'\n");
        fs::permissions(path, fs::perms::owner_all);
    }

    // An installation with the uninstaller in <prefix>/lib/pellard-tarvel,
    // its log naming it, and a recorder standing in for IsUninst.
    fs::path Install(const std::string& prefixName)
    {
        const fs::path program = root / prefixName / "lib" / "pellard-tarvel";
        fs::create_directories(program);
        fs::copy_file(UNINSTALLER_PATH, program / "uninstaller");
        Log(program);
        toolkit = (program / TOOLKIT_FROM_PROGRAM).lexically_normal();
        fs::create_directories(toolkit);
        Recorder(toolkit / "IsUninst");
        return program;
    }
    // An installation log in `folder` that lists what the folder holds.
    void Log(const fs::path& folder)
    {
        std::string text = "# log\n";
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                text += "FILE " + e.path().string() + "\n";
        WriteFile(folder / "Uninst.isu", text + "FILE " + (folder / "Uninst.isu").string() + "\nDIR " +
                                             folder.string() + "\n");
    }
    // An installation laid out with the real instQrl and IsUninst, user
    // data beside it, as `cmake --install` and a few runs leave it.
    fs::path RealInstall()
    {
        const fs::path program = root / "real" / "lib" / "pellard-tarvel";
        fs::create_directories(program);
        fs::copy_file(UNINSTALLER_PATH, program / "uninstaller");
        fs::copy_file(INSTQRL_PATH, program / "instQrl");
        WriteFile(program / "Files" / "GSMToWin.cvt", "x");
        toolkit = (program / TOOLKIT_FROM_PROGRAM).lexically_normal();
        fs::create_directories(toolkit);
        fs::copy_file(ISUNINST_PATH, toolkit / "IsUninst");
        Log(program);
        WriteFile(program / "Uninst.isu", ReadFile(program / "Uninst.isu") + "FILE " + (toolkit / "IsUninst").string() +
                                              "\nDIR " + (program / "Files").string() + "\n");
        // Run-time files and the user's data.
        WriteFile(program / "Work" / "PBimSIM.mdb", "mirror");
        WriteFile(program / "debug.txt", "trace");
        WriteFile(program / "Database" / "defpb.mdb", "user");
        WriteFile(program / "ZorqMMI.ini", "[Pellard]\n");
        return program;
    }

    fs::path root, toolkit;
};

TEST(UninstallerFolder, ChosenFromTheProgramOrTheArguments)
{
    EXPECT_EQ(uninst::ChooseFolder({}, "/opt/pellard/lib/pellard-tarvel/uninstaller"),
              "/opt/pellard/lib/pellard-tarvel/");
    EXPECT_EQ(uninst::ChooseFolder({"/d/App"}, "/x/uninstaller"), "/d/App/");
    EXPECT_EQ(uninst::ChooseFolder({"/d/App/"}, "/x/uninstaller"), "/d/App/");
    // A folder with blanks that arrives as several words is joined again.
    EXPECT_EQ(uninst::ChooseFolder({"/d/My", "Apps"}, "/x/uninstaller"), "/d/My Apps/");
    EXPECT_EQ(uninst::ChooseFolder({"/d/My Apps"}, "/x/uninstaller"), "/d/My Apps/");
}

TEST_F(TempTree, WithoutArgumentTheProgramsOwnFolderIsRemoved)
{
    const fs::path program = Install("prefix");
    Recorder(program / "instQrl");
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}), 0);
    const std::string folder = program.string() + "/";
    EXPECT_EQ(ReadFile(program / "instQrl.record"), program.string() + "\n/UnInstall\n");
    EXPECT_EQ(ReadFile(toolkit / "IsUninst.record"), program.string() + "\n-f" + folder + "Uninst.isu\n");
    EXPECT_EQ(ReadFile(root / "order"), "instQrl\nIsUninst\n");  // one after the other
}

TEST_F(TempTree, AFolderArgumentWithOrWithoutSlashAndWithBlanks)
{
    const fs::path program = Install("prefix");
    for (const std::string name : {"other", "with slash", "My Data Apps"}) {
        const fs::path target = root / name;
        fs::create_directories(target);
        Recorder(target / "instQrl");
        Log(target);
        std::string arg = target.string();
        if (name == "with slash") arg += "/";
        EXPECT_EQ(RunProgram((program / "uninstaller").string(), {arg}), 0) << name;
        EXPECT_EQ(ReadFile(target / "instQrl.record"), target.string() + "\n/UnInstall\n") << name;
        EXPECT_EQ(ReadFile(toolkit / "IsUninst.record"),
                  target.string() + "\n-f" + target.string() + "/Uninst.isu\n")
            << name;
    }
    // The blanks split into several arguments by a shell without quotes.
    const fs::path target = root / "My Data Apps";
    fs::remove(toolkit / "IsUninst.record");
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {(root / "My").string(), "Data", "Apps"}), 0);
    EXPECT_EQ(ReadFile(toolkit / "IsUninst.record"), target.string() + "\n-f" + target.string() + "/Uninst.isu\n");
}

TEST_F(TempTree, AMissingProgramDoesNotStopTheOtherAndTheExitNamesIt)
{
    const fs::path program = Install("prefix");
    // No instQrl: IsUninst still runs; the exit says the first step could
    // not run.
    std::string err;
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, nullptr, &err), 1);
    EXPECT_EQ(ReadFile(root / "order"), "IsUninst\n");
    EXPECT_NE(err.find("step \"remove the program's run-time files (" + program.string() + "/instQrl /UnInstall)\" "
                       "could not run"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("installed files"), std::string::npos) << err;
    EXPECT_EQ(uninst::RunCompanionUninstall(program.string() + "/"), -1);
    // Neither program: both steps are named.
    fs::remove(toolkit / "IsUninst");
    err.clear();
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, nullptr, &err), 1);
    EXPECT_NE(err.find("run-time files"), std::string::npos) << err;
    EXPECT_NE(err.find("step \"remove the installed files (" + (toolkit / "IsUninst").string()), std::string::npos)
        << err;
}

TEST_F(TempTree, WithoutItsLogTheCompanionStillRunsAndTheExitNamesTheLog)
{
    // The real programs: the run-time files go, the installed files and the
    // user's data stay, and the step that needs the log is named.
    const fs::path program = RealInstall();
    WriteFile(program / "Work" / "SMSimSIM.mdb", "mirror");
    WriteFile(program / "Work" / "PBimE2P.mdb-journal", "journal");
    WriteFile(program / "debugAT.txt", "trace");
    fs::remove(program / "Uninst.isu");
    const std::string log = program.string() + "/Uninst.isu";
    std::string out, err;
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, &out, &err), 1);
    for (const char* f : {"Work/PBimSIM.mdb", "Work/SMSimSIM.mdb", "Work/PBimE2P.mdb-journal", "debug.txt",
                          "debugAT.txt"})
        EXPECT_FALSE(fs::exists(program / f)) << f;
    for (const char* f : {"uninstaller", "instQrl", "Files/GSMToWin.cvt", "Database/defpb.mdb", "ZorqMMI.ini"})
        EXPECT_TRUE(fs::exists(program / f)) << f;
    EXPECT_TRUE(fs::exists(toolkit / "IsUninst"));
    EXPECT_NE(err.find("step \"remove the installed files (" + (toolkit / "IsUninst").string() + " -f" + log +
                       ")\" could not run: cannot read " + log + "\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("run-time files"), std::string::npos) << err;  // that step ran and went well
    EXPECT_NE(out.find("Removed 5 of 5 files.\n"), std::string::npos) << out;

    // With stand-ins: only the companion is started; IsUninst is not.
    const fs::path other = Install("prefix");
    Recorder(other / "instQrl");
    fs::remove(other / "Uninst.isu");
    EXPECT_EQ(RunProgram((other / "uninstaller").string(), {}, nullptr, &err), 1);
    EXPECT_EQ(ReadFile(root / "order"), "instQrl\n");
    EXPECT_EQ(ReadFile(other / "instQrl.record"), other.string() + "\n/UnInstall\n");
    // A folder that does not exist has neither log nor companion: both
    // steps are named.
    fs::remove(root / "order");
    EXPECT_EQ(RunProgram((other / "uninstaller").string(), {(root / "nowhere").string()}, nullptr, &err), 1);
    EXPECT_FALSE(fs::exists(root / "order"));
    EXPECT_NE(err.find("run-time files"), std::string::npos) << err;
    EXPECT_NE(err.find("could not run: cannot read " + (root / "nowhere").string() + "/Uninst.isu"),
              std::string::npos)
        << err;
}

TEST_F(TempTree, AStepThatFailsMakesTheExitFailAndIsNamed)
{
    const fs::path program = Install("prefix");
    Recorder(program / "instQrl");
    WriteFile(toolkit / "IsUninst", "#!/bin/sh\nexit 3\n");
    fs::permissions(toolkit / "IsUninst", fs::perms::owner_all);
    std::string err;
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, nullptr, &err), 1);
    EXPECT_NE(err.find("step \"remove the installed files (" + (toolkit / "IsUninst").string() + " -f" +
                       program.string() + "/Uninst.isu)\" failed (exit status 3)"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("run-time files"), std::string::npos) << err;  // that step went well
}

TEST_F(TempTree, AFileThatCannotBeRemovedFailsTheStepThatOwnsIt)
{
    const fs::path program = RealInstall();
    // A trace "file" that is a folder holding something: instQrl cannot
    // remove it (not even as root); IsUninst still removes the installed
    // files.
    fs::remove(program / "debug.txt");
    WriteFile(program / "debug.txt" / "inside", "x");
    std::string out, err;
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, &out, &err), 1);
    EXPECT_NE(err.find("instQrl: could not remove " + program.string() + "/debug.txt"), std::string::npos) << err;
    EXPECT_NE(err.find("step \"remove the program's run-time files (" + program.string() +
                       "/instQrl /UnInstall)\" failed (exit status 1)"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("installed files"), std::string::npos) << err;
    EXPECT_NE(out.find("Removed 6 of 7 files.\nNot removed:\n  debug.txt\n"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(program / "instQrl"));
    EXPECT_FALSE(fs::exists(program / "Work" / "PBimSIM.mdb"));
}

TEST_F(TempTree, WithoutATerminalItRemovesWithoutAskingAndSaysWhatItDid)
{
    const fs::path program = RealInstall();
    std::string out, err;
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}, &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(out.find("Remove Pellard Tarvel Data?"), std::string::npos) << out;
    // The uninstaller, instQrl, the table, the log, IsUninst, the mirror and
    // the trace.
    EXPECT_NE(out.find("Removed 7 of 7 files.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Kept your data (2 files) in " + program.string() + "/\n  Database/defpb.mdb\n  ZorqMMI.ini\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(program / "Work" / "PBimSIM.mdb"));
    EXPECT_FALSE(fs::exists(program / "uninstaller"));
    EXPECT_TRUE(fs::exists(program / "Database" / "defpb.mdb"));
    EXPECT_TRUE(fs::exists(program / "ZorqMMI.ini"));
}

TEST_F(TempTree, OnATerminalItSaysWhatGoesAndWhatStaysAndAsksFirst)
{
    const fs::path program = RealInstall();
    std::string shown;
    // No: nothing goes.
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {}, "n\n", shown), 1);
    EXPECT_NE(shown.find("It will remove the installed files:"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  Files/GSMToWin.cvt"), std::string::npos) << shown;
    EXPECT_NE(shown.find("the files the program made that hold none of your data:\r\n  Work/PBimSIM.mdb\r\n  "
                         "debug.txt"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("It will keep your data:\r\n  Database/defpb.mdb\r\n  ZorqMMI.ini"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Remove Pellard Tarvel Data? [y/N]"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Nothing was removed."), std::string::npos) << shown;
    EXPECT_TRUE(fs::exists(program / "uninstaller"));
    EXPECT_TRUE(fs::exists(program / "Work" / "PBimSIM.mdb"));

    // Yes: it removes and reports, then waits for Enter when asked to keep
    // the terminal open.
    shown.clear();
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {"--keep-open"}, "y\n\n", shown), 0) << shown;
    EXPECT_NE(shown.find("Removed 7 of 7 files."), std::string::npos) << shown;
    EXPECT_NE(shown.find("Kept your data (2 files)"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Press Enter to close."), std::string::npos) << shown;
    EXPECT_FALSE(fs::exists(program / "uninstaller"));
    EXPECT_TRUE(fs::exists(program / "Database" / "defpb.mdb"));
}

TEST_F(TempTree, OnATerminalYesSkipsTheQuestion)
{
    const fs::path program = RealInstall();
    std::string shown;
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {"--yes"}, "", shown), 0) << shown;
    EXPECT_NE(shown.find("It will keep your data:"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("[y/N]"), std::string::npos) << shown;
    EXPECT_FALSE(fs::exists(program / "uninstaller"));
    std::string err;
    EXPECT_EQ(RunProgram(UNINSTALLER_PATH, {"--frobnicate"}, nullptr, &err), 2);
    EXPECT_NE(err.find("usage: uninstaller"), std::string::npos);
}

// The lines listed under `heading` in what the uninstaller showed on a
// terminal, up to the next line that is not a listed file.
std::vector<std::string> ListedUnder(const std::string& shown, const std::string& heading)
{
    std::vector<std::string> listed;
    const size_t at = shown.find(heading + "\r\n");
    if (at == std::string::npos)
        return listed;
    std::istringstream in(shown.substr(at + heading.size() + 2));
    std::string line;
    while (std::getline(in, line) && line.rfind("  ", 0) == 0) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        listed.push_back(line.substr(2));
    }
    return listed;
}

// An installation that has lost its log after a few runs: the program's own
// files, what it made at run time, and the user's data.
const std::vector<std::string> kProgramFiles = {"$ZQ.VRS", "Files/GSMToWin.cvt", "Files/WinToGSM.cvt",
                                                "Res/SPLASH.BMP", "Res/backenu.INI", "Res/hand.cur",
                                                "ZORQenu.html", "ZORQenu.rcc", "instQrl", "uninstaller",
                                                "zorqmmi"};
const std::vector<std::string> kUserData = {"Database/defpb.mdb", "Database/defsms.mdb", "Files/Dialer.DFA",
                                            "Files/Office.SRV", "Melody/Scale.MDY", "ZorqMMI.ini"};

TEST_F(TempTree, WithoutItsLogOnATerminalItSaysThatTheProgramStaysAndAsksAboutWhatGoes)
{
    const fs::path program = RealInstall();
    for (const std::string& f : kProgramFiles)
        if (!fs::exists(program / f))
            WriteFile(program / f, "x");
    for (const std::string& f : kUserData)
        WriteFile(program / f, "user");
    fs::remove(program / "Uninst.isu");
    const std::string log = program.string() + "/Uninst.isu";

    // No: nothing goes.
    std::string shown;
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {}, "n\n", shown, "[y/N] "), 1);
    EXPECT_NE(shown.find("The program stays: without its installation log nothing tells which files were "
                         "installed (cannot read " + log + ").\r\n"),
              std::string::npos)
        << shown;
    // Every heading is a sentence of its own; none hangs on a missing one.
    EXPECT_EQ(shown.find("\nand "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("It will remove the installed files"), std::string::npos) << shown;
    EXPECT_EQ(ListedUnder(shown, "It will remove only the files the program made that hold none of your data:"),
              (std::vector<std::string>{"Work/PBimSIM.mdb", "debug.txt"}))
        << shown;
    EXPECT_EQ(ListedUnder(shown, "It will keep the program's own files:"), kProgramFiles) << shown;
    EXPECT_EQ(ListedUnder(shown, "It will keep your data:"), kUserData) << shown;
    // The question is about what will really be done.
    EXPECT_NE(shown.find("Remove these 2 files and keep the program? [y/N] "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Remove Pellard Tarvel Data?"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[y/N] n\r\nNothing was removed."), std::string::npos) << shown;
    EXPECT_TRUE(fs::exists(program / "debug.txt"));

    // Yes: the two files go, the program and the data stay, and the report
    // says so.
    shown.clear();
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {}, "y\n", shown, "[y/N] "), 1) << shown;
    EXPECT_NE(shown.find("[y/N] y\r\n\r\nRemoved 2 of 2 files.\r\nThe program stays: without its installation log it cannot be "
                         "removed.\r\nKept the program's own files (" +
                         std::to_string(kProgramFiles.size()) + " files) in " + program.string() +
                         "/\r\nKept your data (" + std::to_string(kUserData.size()) + " files) in " +
                         program.string() + "/\r\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("step \"remove the installed files (" + (toolkit / "IsUninst").string() + " -f" + log +
                         ")\" could not run: cannot read " + log),
              std::string::npos)
        << shown;
    EXPECT_FALSE(fs::exists(program / "debug.txt"));
    EXPECT_FALSE(fs::exists(program / "Work" / "PBimSIM.mdb"));
    for (const std::string& f : kProgramFiles)
        EXPECT_TRUE(fs::exists(program / f)) << f;
    for (const std::string& f : kUserData)
        EXPECT_TRUE(fs::exists(program / f)) << f;
    zorqtest::SaveTerminal(shown, "uninstaller_without_log");

    // Run again there is nothing left to remove: it says so and asks nothing.
    shown.clear();
    EXPECT_EQ(RunOnTerminal((program / "uninstaller").string(), {}, "", shown), 1) << shown;
    EXPECT_NE(shown.find("There is nothing to remove.\r\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("[y/N]"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\nNothing was removed.\r\n"), std::string::npos) << shown;
    EXPECT_EQ(ListedUnder(shown, "It will keep the program's own files:"), kProgramFiles) << shown;
}

TEST(UninstallerProgramFiles, TheProgramsOwnFilesApartFromTheUsersDataAndItsRunTimeFiles)
{
    for (const std::string& f : kProgramFiles)
        EXPECT_TRUE(uninst::IsProgramFile(f)) << f;
    for (const char* f : {"Uninst.isu", "ZORQfra.rcc", "ZORQdeu.html", "Res/backfra.BMP", "Res/pbback.bmp"})
        EXPECT_TRUE(uninst::IsProgramFile(f)) << f;
    for (const std::string& f : kUserData)
        EXPECT_FALSE(uninst::IsProgramFile(f)) << f;
    for (const char* f : {"Work/PBimSIM.mdb", "debug.txt", "debugAT.txt", "Melody/x.cvt", "Files/sub/x.cvt",
                          "Work/ZORQenu.rcc", "zorqmmi.bak", "ZorqMMI.ini"})
        EXPECT_FALSE(uninst::IsProgramFile(f)) << f;
}

TEST_F(TempTree, InstQrlRemovesRunTimeFilesAndKeepsTheUsersData)
{
    const fs::path program = root / "prog dir";
    fs::create_directories(program);
    fs::copy_file(INSTQRL_PATH, program / "instQrl");
    const std::vector<std::string> runtime = {"Work/PBimSIM.mdb", "Work/PBimSFDN.mdb", "Work/PBimE2P.mdb",
                                              "Work/SMSimSIM.mdb", "Work/PBimSIM.mdb-journal", "Work/AB12.TMP",
                                              "Work/x.tmp", "Database/PBTmpCvt.mdb", "Database/SMSimSIM.mdb",
                                              "Database/PerMsgSM.mdb-journal", "debug.txt", "debugAT.txt"};
    const std::vector<std::string> kept = {"Database/defpb.mdb", "Database/defsms.mdb", "Files/Dialer.DFA",
                                           "Melody/Scale.MDY", "ZorqMMI.ini", "Work/notes.txt"};
    for (const auto& f : runtime) WriteFile(program / f, "x");
    for (const auto& f : kept) WriteFile(program / f, "x");
    // Any other command line is refused and removes nothing.
    EXPECT_EQ(RunProgram((program / "instQrl").string(), {}), 2);
    EXPECT_EQ(RunProgram((program / "instQrl").string(), {"/Install"}), 2);
    EXPECT_TRUE(fs::exists(program / "debug.txt"));

    EXPECT_EQ(RunProgram((program / "instQrl").string(), {"/UnInstall"}), 0);
    for (const auto& f : runtime) EXPECT_FALSE(fs::exists(program / f)) << f;
    for (const auto& f : kept) EXPECT_TRUE(fs::exists(program / f)) << f;
}

TEST_F(TempTree, IsUninstRemovesWhatTheLogListsAndTheFoldersLeftEmpty)
{
    const fs::path program = root / "p x" / "lib" / "pellard-tarvel";
    const fs::path apps = root / "p x" / "share" / "applications";
    WriteFile(program / "zorqmmi", "x");
    WriteFile(program / "Files" / "GSMToWin.cvt", "x");
    WriteFile(program / "Database" / "defpb.mdb", "user");  // not installed: stays, and so does its folder
    WriteFile(apps / "pellard-tarvel-data.desktop", "x");
    WriteFile(apps / "other.desktop", "someone else's");
    const fs::path log = program / "Uninst.isu";
    WriteFile(log, "# log\nFILE " + (program / "zorqmmi").string() + "\nFILE " +
                       (program / "Files" / "GSMToWin.cvt").string() + "\nFILE " +
                       (apps / "pellard-tarvel-data.desktop").string() + "\nFILE " + (program / "gone").string() +
                       "\nFILE " + log.string() + "\nDIR " + (program / "Files").string() + "\nDIR " +
                       (program / "Database").string() + "\nDIR " + program.string() + "\n");
    // The path may come between double quotes.
    EXPECT_EQ(RunProgram(ISUNINST_PATH, {"-f\"" + log.string() + "\""}), 0);
    EXPECT_FALSE(fs::exists(program / "zorqmmi"));
    EXPECT_FALSE(fs::exists(program / "Files"));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_TRUE(fs::exists(program / "Database" / "defpb.mdb"));
    EXPECT_TRUE(fs::exists(apps / "other.desktop"));
    EXPECT_FALSE(fs::exists(apps / "pellard-tarvel-data.desktop"));
}

TEST_F(TempTree, IsUninstRefusesALogThatReachesOutside)
{
    WriteFile(root / "keep.txt", "x");
    WriteFile(root / "log.isu", "FILE " + (root / "a" / ".." / "keep.txt").string() + "\n");
    EXPECT_EQ(RunProgram(ISUNINST_PATH, {"-f" + (root / "log.isu").string()}), 1);
    WriteFile(root / "log.isu", "FILE keep.txt\n");
    EXPECT_EQ(RunProgram(ISUNINST_PATH, {"-f" + (root / "log.isu").string()}), 1);
    EXPECT_TRUE(fs::exists(root / "keep.txt"));
    EXPECT_EQ(RunProgram(ISUNINST_PATH, {"-f" + (root / "missing.isu").string()}), 1);
    EXPECT_EQ(RunProgram(ISUNINST_PATH, {}), 2);
}

}  // namespace
