// The installation's round trip: `cmake --install` into a fresh prefix, the
// installed program started offscreen against the phone simulator, a PC
// phonebook entry added, then the installed uninstaller: every installed
// file and every run-time file without user data is gone, while the PC
// phonebook database (and the user's profile) stay and still open.
#include "jetdatabase.h"
#include "pbdatabase.h"
#include "phonesim_client.h"
#include "test_support.h"

#ifdef ZORQ_HAVE_UNINSTALLER
#include "uninst.h"
#endif

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using zorqtest::ReadFile;

bool WaitFor(const std::function<bool()>& condition, int ms)
{
    for (int waited = 0; waited < ms; waited += 100) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

std::vector<std::string> LoggedPaths(const std::string& log, const char* kind)
{
    std::vector<std::string> paths;
    std::istringstream in(log);
    std::string line;
    const std::string prefix = std::string(kind) + " ";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            paths.push_back(line.substr(prefix.size()));
    return paths;
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("zorq-install-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        prefix_ = root_ / "prefix with blank";
    }
    void TearDown() override
    {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(3000);
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path root_, prefix_;
    QProcess program_;
};

TEST_F(InstallTest, InstallRunAndUninstallLeaveOnlyTheUsersData)
{
    QProcess install;
    install.start(QStringLiteral(ZORQ_CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(ZORQ_TEST_BUILD_DIR), QStringLiteral("--prefix"),
                   QString::fromStdString(prefix_.string())});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const fs::path program = prefix_ / "lib/pellard-tarvel";
    const std::string log = ReadFile((program / "Uninst.isu").string());
    const std::vector<std::string> files = LoggedPaths(log, "FILE");
    ASSERT_FALSE(files.empty()) << log;
    for (const std::string& f : files)
        EXPECT_TRUE(fs::exists(f)) << "logged but not installed: " << f;
    for (const char* f : {"zorqmmi", "uninstaller", "instQrl", "ZORQenu.rcc", "$ZQ.VRS", "Res/backenu.BMP",
                          "Res/SPLASH.BMP", "Files/GSMToWin.cvt"})
        EXPECT_TRUE(fs::exists(program / f)) << f;
#ifdef ZORQ_HAVE_UNINSTALLER
    // Every file installed in the program folder is one the uninstaller,
    // without its log, keeps as the program's own, not as the user's data.
    const std::string folder = program.string() + "/";
    for (const std::string& f : files) {
        if (f.rfind(folder, 0) == 0) {
            EXPECT_TRUE(uninst::IsProgramFile(f.substr(folder.size()))) << f;
        }
    }
#endif
    // The help document lies beside the bundle and goes with the removal.
    EXPECT_NE(std::find(files.begin(), files.end(), (program / "ZORQenu.html").string()), files.end()) << log;
    const fs::path desktop = prefix_ / "share/applications/pellard-tarvel-data.desktop";
    ASSERT_TRUE(fs::exists(desktop));
    EXPECT_NE(ReadFile(desktop.string()).find("Exec=\"" + (program / "zorqmmi").string() + "\""), std::string::npos);
    // The removal's entry runs the uninstaller in a terminal, which it keeps
    // open until its report is read; it goes with the removal.
    const fs::path removal = prefix_ / "share/applications/pellard-tarvel-data-uninstall.desktop";
    const std::string removalEntry = ReadFile(removal.string());
    EXPECT_NE(removalEntry.find("Exec=\"" + (program / "uninstaller").string() + "\" --keep-open\n"), std::string::npos)
        << removalEntry;
    EXPECT_NE(removalEntry.find("Terminal=true\n"), std::string::npos) << removalEntry;
    EXPECT_NE(std::find(files.begin(), files.end(), removal.string()), files.end()) << log;

    // The installed program against the simulator, as a user's first run.
    phonesim::Process sim;
    std::ofstream(program / "ZorqMMI.ini", std::ios::binary)
        << "[Ports]\r\nCOM1=" << sim.device() << "\r\n[Configuration]\r\nSerialPort=1\r\n[Pellard]\r\nDebug=1\r\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), QString::fromStdString((root_ / "tmp").string()));
    program_.setProcessEnvironment(env);
    program_.start(QString::fromStdString((program / "zorqmmi").string()), {QStringLiteral("--nosplash")});
    ASSERT_TRUE(program_.waitForStarted(10000));
    // Linked, and the SIM phonebook mirrored up to its last entry.
    const bool linked = WaitFor(
        [&] {
            const std::string trace = ReadFile((program / "debug.txt").string());
            return trace.find("UpdateMSParamInView -> 1") != std::string::npos &&
                   trace.find("mmi_PB_read_entry_cnf -> 250 ") != std::string::npos;
        },
        60000);
    const std::string trace = ReadFile((program / "debug.txt").string());
    ASSERT_TRUE(linked) << trace.substr(trace.size() > 3000 ? trace.size() - 3000 : 0);
    EXPECT_TRUE(fs::exists(program / "Work/PBimSIM.mdb"));
    EXPECT_TRUE(fs::exists(program / "debugAT.txt"));
    ASSERT_TRUE(fs::exists(program / "Database/defpb.mdb"));
    program_.terminate();
    ASSERT_TRUE(program_.waitForFinished(10000));

    // The user's own entry in the PC phonebook.
    const std::string pcBook = (program / "Database/defpb.mdb").string();
    {
        CJetDatabase db;
        db.Open(pcBook, false, false, "");
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenTable, "EntryPhone");
        rs.SetCurrentIndex("indLoc");
        rs.AddNewAtLocation(7);
        rs.Location = 7;
        rs.Name = "Dora Install";
        rs.Phone = "+33611223344";
        rs.ShortPhone = "+33611223344";
        rs.Update();
    }

    QProcess uninstall;
    uninstall.start(QString::fromStdString((program / "uninstaller").string()), {});
    ASSERT_TRUE(uninstall.waitForFinished(60000));
    EXPECT_EQ(uninstall.exitCode(), 0) << uninstall.readAllStandardError().toStdString();
    // It says what it did, and what it kept.
    const std::string report = uninstall.readAllStandardOutput().toStdString();
    EXPECT_NE(report.find("Kept your data (3 files) in " + program.string() + "/\n  Database/defpb.mdb\n  "
                          "Database/defsms.mdb\n  ZorqMMI.ini\n"),
              std::string::npos)
        << report;

    for (const std::string& f : files)
        EXPECT_FALSE(fs::exists(f)) << "installed file left: " << f;
    EXPECT_FALSE(fs::exists(prefix_ / "libexec/pellard-tarvel")) << "the toolkit folder goes";
    // What the program made at run time, without user data, is gone too.
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(program))
        if (e.is_regular_file())
            left.push_back(fs::relative(e.path(), program).string());
    const std::set<std::string> userData = {"Database/defpb.mdb", "Database/defsms.mdb", "ZorqMMI.ini"};
    for (const std::string& f : left)
        EXPECT_TRUE(userData.count(f)) << "left after removal: " << f;
    EXPECT_FALSE(fs::exists(program / "Work")) << "the emptied Work folder goes";

    // The PC phonebook is still there, opens, and holds the user's entry.
    ASSERT_TRUE(fs::exists(pcBook));
    CJetDatabase db;
    db.Open(pcBook, false, true, "");
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenTable, "EntryPhone");
    rs.SetCurrentIndex("indLoc");
    ASSERT_TRUE(rs.Seek("=", CVariant::Text("7")));
    EXPECT_EQ(rs.Name, "Dora Install");
    EXPECT_EQ(rs.Phone, "+33611223344");
}

}  // namespace
