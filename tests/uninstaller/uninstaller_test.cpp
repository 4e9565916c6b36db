// The uninstaller and the two programs it starts, run as programs: stand-in
// recorders for the command lines, real files for the removals.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "uninst.h"

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

// Runs a program with an argument vector; returns its exit status.
int RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(program.c_str(), argv.data());
        _exit(126);
    }
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

    // An installation with the uninstaller in <prefix>/lib/pellard-tarvel.
    fs::path Install(const std::string& prefixName)
    {
        const fs::path program = root / prefixName / "lib" / "pellard-tarvel";
        fs::create_directories(program);
        fs::copy_file(UNINSTALLER_PATH, program / "uninstaller");
        toolkit = (program / TOOLKIT_FROM_PROGRAM).lexically_normal();
        fs::create_directories(toolkit);
        Recorder(toolkit / "IsUninst");
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

TEST_F(TempTree, AMissingProgramDoesNotStopTheOther)
{
    const fs::path program = Install("prefix");
    // No instQrl: IsUninst still runs; the exit is 0.
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}), 0);
    EXPECT_EQ(ReadFile(root / "order"), "IsUninst\n");
    EXPECT_EQ(uninst::RunCompanionUninstall(program.string() + "/"), -1);
    // Neither program: still 0, nothing shown.
    fs::remove(toolkit / "IsUninst");
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {}), 0);
    // A folder that does not exist cannot be worked in: both are skipped.
    Recorder(toolkit / "IsUninst");
    fs::remove(root / "order");
    EXPECT_EQ(RunProgram((program / "uninstaller").string(), {(root / "nowhere").string()}), 0);
    EXPECT_FALSE(fs::exists(root / "order"));
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
