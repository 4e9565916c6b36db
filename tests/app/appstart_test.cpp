// Start-up against prepared program folders: each failure gives its message
// and stops with nothing left running; a good folder starts the engine and
// the hidden window, and the shut-down path ends the loop in order.
#include "mainframe.h"
#include "mainview.h"
#include "test_support.h"
#include "diskfaults.h"
#include "program_folder.h"
#include "read_rights.h"
#include "zorqapp.h"

#include "krn.h"
#include "mtr_frame.h"
#include "profile.h"
#include "utilities.h"
#include "wndmsg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

using zorqtest::BuiltProgramDir;
using zorqtest::CopyFile;
using zorqtest::ReadFile;
using zorqtest::WriteFile;

namespace {

class StartApp : public zorqtest::RecordingApp {
public:
    bool failDatabase = false;
    int databasesCreated = 0;
    int detections = 0;
    int detectionResult = 1;
    QWidget* startUpReceiver = nullptr;

protected:
    bool CreatePBDatabaseFile(const std::string& path) override { return Create(path); }
    bool CreateSMSDatabaseFile(const std::string& path) override { return Create(path); }
    int FirstDetection() override
    {
        ++detections;
        return detectionResult;
    }

private:
    bool Create(const std::string& path)
    {
        if (failDatabase)
            return false;
        WriteFile(path, "db");
        ++databasesCreated;
        return true;
    }
};

class StartUpTest : public zorqtest::ProgramStartTest<StartApp> {
protected:
    // The one message shown, which must be the string with the path.
    void ExpectOnlyMessage(int stringId, const std::string& path)
    {
        ASSERT_EQ(app_.shown.size(), 1u);
        // The bundle is gone by now; the texts are told apart by their words.
        const char* words = stringId == 31420 ? "is missing" : stringId == 31421 ? "is missing" : "could not be created";
        EXPECT_TRUE(app_.shown[0].text.contains(QLatin1String(words))) << app_.shown[0].text.toStdString();
        EXPECT_TRUE(app_.shown[0].text.contains(QString::fromStdString(path))) << app_.shown[0].text.toStdString();
        EXPECT_EQ(app_.shown[0].text.startsWith(QLatin1String("The folder")), stringId != 31421);
        EXPECT_FALSE(app_.shown[0].text.contains(QLatin1String("[APP_NAME]")));
    }
    void ExpectNothingRunning()
    {
        EXPECT_EQ(app_.GetResources(), nullptr) << "the bundle is released";
        EXPECT_EQ(krn_tick_fd(), -1) << "no tick";
        EXPECT_EQ(app_.GetMainFrame(), nullptr) << "no window";
    }
};

TEST_F(StartUpTest, NoLanguageBundleShowsTheLiteralMessage)
{
    ::unlink((dir_.path() + "ZORQenu.rcc").c_str());
    EXPECT_FALSE(Start());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].system);
    EXPECT_EQ(app_.shown[0].text, QStringLiteral("Unable to load resources, install again the product"));
    EXPECT_EQ(app_.shown[0].caption, QStringLiteral("Pellard Tarvel Data")) << "not the executable's name";
    EXPECT_FALSE(app_.HandedOver());
    ExpectNothingRunning();
}

TEST_F(StartUpTest, MissingResOrFilesFolderOrFileEndsWithItsMessage)
{
    std::system(("rm -rf '" + dir_.path() + "Res'").c_str());
    EXPECT_FALSE(Start());
    ExpectOnlyMessage(31420, dir_.path() + "Res/");
    ExpectNothingRunning();

    app_.shown.clear();
    ::mkdir((dir_.path() + "Res").c_str(), 0777);
    WriteFile(dir_.path() + "Res/backenu.BMP", "BM");
    WriteFile(dir_.path() + "Res/pbback.bmp", "BM");
    EXPECT_FALSE(Start());
    ExpectOnlyMessage(31421, dir_.path() + "Res/smsback.bmp");

    app_.shown.clear();
    WriteFile(dir_.path() + "Res/smsback.bmp", "BM");
    ::unlink((dir_.path() + "Files/WinToGSM.cvt").c_str());
    EXPECT_FALSE(Start());
    ExpectOnlyMessage(31421, dir_.path() + "Files/WinToGSM.cvt");
    ExpectNothingRunning();
}

TEST_F(StartUpTest, DataFoldersAreCreatedSilentlyOrReported)
{
    std::system(("rm -rf '" + dir_.path() + "Work' '" + dir_.path() + "Melody'").c_str());
    // A file where the Database folder belongs cannot be replaced by one.
    std::system(("rm -rf '" + dir_.path() + "Database'").c_str());
    WriteFile(dir_.path() + "Database", "x");
    EXPECT_FALSE(Start());
    ExpectOnlyMessage(31422, dir_.path() + "Database/");
    struct stat st{};
    EXPECT_EQ(::stat((dir_.path() + "Work").c_str(), &st), 0) << "Work was made before";
    ExpectNothingRunning();
}

TEST_F(StartUpTest, UnreadableVersionFileAndFailingDatabaseEachGiveTheirMessage)
{
    WriteFile(dir_.path() + "$ZQ.VRS", "\x05" "ab");  // shorter than it says
    EXPECT_FALSE(Start());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(QLatin1String("version information")));
    ExpectNothingRunning();

    app_.shown.clear();
    ASSERT_TRUE(CopyFile(BuiltProgramDir() + "/$ZQ.VRS", dir_.path() + "$ZQ.VRS"));
    app_.failDatabase = true;
    ::unlink((dir_.path() + "Database/defsms.mdb").c_str());
    EXPECT_FALSE(Start());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(QLatin1String("database could not be created")));
    ExpectNothingRunning();
}

TEST_F(StartUpTest, ASettingsFileThatCannotBeReadIsNamedLeftAloneAndTheProgramStarts)
{
    const std::string ini = dir_.path() + "ZorqMMI.ini";
    // A folder in its place, then a link that cannot be followed (root reads
    // every file, so "unreadable" is one that no read can reach).
    ASSERT_EQ(::mkdir(ini.c_str(), 0755), 0);
    ASSERT_TRUE(Start());
    ASSERT_EQ(app_.shown.size(), 1u);
    // The program folder in the path is shown shortened ("...").
    EXPECT_TRUE(app_.shown[0].text.contains(QLatin1String("/ZorqMMI.ini cannot be read: it is damaged")))
        << app_.shown[0].text.toStdString();
    struct stat st{};
    EXPECT_TRUE(::stat(ini.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << "still the folder";
    app_.ShutDown();
    krn_reset_for_tests();
    started_ = false;
    ASSERT_EQ(::rmdir(ini.c_str()), 0);

    // The system's own words for why: nothing is wrong with what the file holds.
    ASSERT_EQ(::symlink(ini.c_str(), ini.c_str()), 0);
    app_.shown.clear();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(::lstat(ini.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link was replaced";
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(
        QLatin1String("ZorqMMI.ini cannot be read: Too many levels of symbolic links. Pellard Tarvel Data goes on")))
        << app_.shown[0].text.toStdString();
    app_.ShutDown();
    krn_reset_for_tests();
    started_ = false;
    ASSERT_EQ(::unlink(ini.c_str()), 0);

    // A file whose permissions keep it from the program, its settings in it.
    WriteFile(ini, "[PhoneBook]\r\nSource=2\r\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0), 0);
    {
        zorqtest::PermissionsApply rights;
        if (rights.Active()) {
            app_.shown.clear();
            ASSERT_TRUE(Start());
            ASSERT_EQ(app_.shown.size(), 1u);
            EXPECT_TRUE(app_.shown[0].text.contains(QLatin1String("ZorqMMI.ini cannot be read: Permission denied.")))
                << app_.shown[0].text.toStdString();
            EXPECT_FALSE(app_.shown[0].text.contains(QLatin1String("damaged")));
            app_.ShutDown();
            krn_reset_for_tests();
            started_ = false;
        } else {
            ADD_FAILURE() << "this thread reads past permissions: the unreadable file is not tried";
        }
    }
    ASSERT_EQ(::chmod(ini.c_str(), 0644), 0);
    EXPECT_EQ(ReadFile(ini), "[PhoneBook]\r\nSource=2\r\n") << "left as it was";
    ASSERT_EQ(::unlink(ini.c_str()), 0);

    // Random bytes and a file cut short read as text: the lines that are not
    // settings stay as they were around the ones the program writes.
    static const char raw[] = "\x89PNG\r\n\x1a\n\0\xff\xfe[PhoneBo";
    const std::string junk = std::string(raw, sizeof raw - 1) + "\r\nx";
    WriteFile(ini, junk);
    app_.shown.clear();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(app_.shown.empty());
    EXPECT_EQ(ReadFile(ini).substr(0, junk.size()), junk);
    EXPECT_EQ(GetIniProfileInt("SMSMO", "Source", 0), -1);
}

TEST_F(StartUpTest, AReadOnlyProgramFolderOrAFullDiskIsToldOnceAndLosesNothing)
{
    zorqtest::SmallDisk disk(dir_.path(), 4 * 1024 * 1024);
    ASSERT_FALSE(disk.Folder().empty());
    const std::string d = disk.Folder();
    for (const char* sub : {"Res", "Files", "Database", "Work", "Melody"})
        ASSERT_EQ(::mkdir((d + sub).c_str(), 0755), 0);
    ASSERT_TRUE(zorqtest::LayOutProgramFolder(d));
    const std::string ini = d + "ZorqMMI.ini";
    WriteFile(ini, "[MobileInfo]\r\nManufacturerId=Quenvale\r\n[Kept]\r\nValue=7\r\n");
    auto startThere = [&] {
        app_.shown.clear();
        const bool ok = app_.InitInstance({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")}, d + "zorqmmi");
        started_ = ok;
        return ok;
    };
    ASSERT_TRUE(startThere());
    app_.ShutDown();
    krn_reset_for_tests();
    started_ = false;
    const std::string before = ReadFile(ini);
    const QLatin1String unsaved("ZorqMMI.ini cannot be saved");

    disk.Fill();
    ASSERT_TRUE(startThere());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(unsaved)) << app_.shown[0].text.toStdString();
    app_.ShutDown();
    krn_reset_for_tests();
    started_ = false;
    disk.Release();
    EXPECT_EQ(ReadFile(ini), before);

    if (!disk.MakeReadOnly())
        GTEST_SKIP() << "no read-only folder can be made here (root without a mount)";
    ASSERT_TRUE(startThere());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(unsaved)) << app_.shown[0].text.toStdString();
    app_.ShutDown();
    krn_reset_for_tests();
    started_ = false;
    EXPECT_TRUE(disk.MakeWritable());
    EXPECT_EQ(ReadFile(ini), before);
}

TEST_F(StartUpTest, AGoodFolderStartsAndTheShutDownPathEndsEverythingInOrder)
{
    // What the previous run left in the profile is reset.
    WriteFile(dir_.path() + "ZorqMMI.ini", "[PhoneBook]\r\nComboSort=3\r\nSource=2\r\n");
    ASSERT_TRUE(Start()) << (app_.shown.empty() ? "" : app_.shown[0].text.toStdString());
    EXPECT_TRUE(app_.shown.empty());
    EXPECT_EQ(app_.databasesCreated, 2);
    EXPECT_EQ(GetIniProfileInt("PhoneBook", "ComboSort", 0), -1);
    EXPECT_EQ(GetIniProfileInt("SMSMO", "Source", 0), -1);
    EXPECT_EQ(GetIniProfileString("MobileInfo", "ManufacturerId", ""), "Quenvale");
    ASSERT_NE(app_.GetMainFrame(), nullptr);
    EXPECT_FALSE(app_.GetMainFrame()->isVisible()) << "hidden until the first idle step";
    EXPECT_GE(krn_tick_fd(), 0);

    // The first idle step shows the window (there is no splash) and the
    // start-up message reaches the screen; then the program is closed.
    int startUps = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == CWndMsgEvent::EventType() &&
                static_cast<CWndMsgEvent*>(e)->message() == WM_MMI_START_UP)
                ++*n;
            return false;
        }
    } counter(&startUps);
    ASSERT_NE(app_.GetMainFrame()->GetActiveView(), nullptr) << "the menu screen";
    EXPECT_TRUE(app_.GetMainFrame()->GetActiveView()->inherits("CZorqMenu"));
    app_.GetMainFrame()->GetActiveView()->installEventFilter(&counter);
    // Closed once the start-up message has arrived (or after a generous
    // deadline, which the checks below then report), so a slow machine does
    // not close the program before its first idle step.
    bool shownAtIdle = false;
    QElapsedTimer waited;
    waited.start();
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (startUps == 0 && waited.elapsed() < 10000)
            return;
        closer.stop();
        shownAtIdle = app_.GetMainFrame() && app_.GetMainFrame()->isVisible();
        app_.ShutDown();
    });
    closer.start(20);
    EXPECT_EQ(app_.Run(), 0);
    started_ = false;
    krn_reset_for_tests();
    EXPECT_EQ(app_.detections, 1);
    EXPECT_TRUE(shownAtIdle);
    EXPECT_EQ(startUps, 1);
    ExpectNothingRunning();

    // Databases that exist are never touched again.
    app_.databasesCreated = 0;
    ASSERT_TRUE(Start());
    EXPECT_EQ(app_.databasesCreated, 0);
}

TEST_F(StartUpTest, AFailedFirstDetectionEndsTheProgramAfterTheStartUpMessage)
{
    app_.detectionResult = 0;
    ASSERT_TRUE(Start());
    QTimer guard;
    guard.setSingleShot(true);
    bool hung = false;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        hung = true;
        app_.ShutDown();
    });
    guard.start(10000);
    EXPECT_EQ(app_.Run(), 0);
    started_ = false;
    krn_reset_for_tests();
    EXPECT_FALSE(hung) << "the program ended by itself";
    EXPECT_EQ(app_.detections, 1);
    ExpectNothingRunning();
}

TEST_F(StartUpTest, ASecondStartHandsOverAndTheFirstComesToTheFront)
{
    ASSERT_TRUE(Start());
    StartApp second;
    second.SetInstanceName(QStringLiteral("zorq-start-test-%1").arg(::getpid()));
    // The first answers from its loop; the second waits for the answer in
    // its own thread of control, so let the first run meanwhile.
    bool handed = false;
    QTimer::singleShot(0, [&] { handed = !second.FindRunningInstance(); });
    QTimer::singleShot(1500, [&] { app_.ShutDown(); });
    app_.Run();
    started_ = false;
    krn_reset_for_tests();
    EXPECT_TRUE(handed);
}

}  // namespace

// Melody saves killed half-way leave their temporary files in the melody
// folder: the next start removes those, and nothing else there.
TEST_F(StartUpTest, AStartRemovesWhatKilledMelodySavesLeftAndNothingElse)
{
    const std::string melodies = dir_.path() + "Melody/";
    ::mkdir(melodies.c_str(), 0777);
    // What the savers leave: a new melody's first name, and a whole text
    // not yet renamed over the melody it replaces.
    const std::string fresh = MakeTempName(melodies, "tmp");
    ASSERT_FALSE(fresh.empty());
    WriteFile(fresh, "NAME=Half\r\nTEMPO=120\r\n");
    // Rewrites of a melody file (of any case, as the list reads them) and
    // of a new melody's temporary text.
    const std::vector<std::string> left = {"Tango.MDY.tmpq1w2e3", "waltz.mdy.tmp0a9z8y",
                                           fresh.substr(melodies.size()) + ".tmpk2j3h4"};
    for (const std::string& f : left)
        WriteFile(melodies + f, "NAME=Tango\r\n");
    // The user's own files, and names that only look alike.
    const std::vector<std::string> kept = {"Tango.MDY", "ABCDEFGH.MDY", "notes.tmp", "ABCDEFG.tmp", "abcdefgh.tmp",
                                           "Tango.MDY.tmpQ1W2E3", "song.tmp12345", "readme.txt", "song.tmpbackup",
                                           "song.txt.tmpbackup", "MDY.tmpabcdef", "Tango.MDY.tmpq1w2e",
                                           "ABCDEFGH.tmpa1b2c3"};
    for (const std::string& f : kept)
        WriteFile(melodies + f, "kept");
    ::mkdir((melodies + "QWERTYUI.tmp").c_str(), 0777);

    ASSERT_TRUE(Start());
    struct stat st {};
    EXPECT_NE(::stat(fresh.c_str(), &st), 0) << fresh << " was left";
    for (const std::string& f : left)
        EXPECT_NE(::stat((melodies + f).c_str(), &st), 0) << "the unrenamed text " << f << " was left";
    for (const std::string& f : kept)
        EXPECT_EQ(ReadFile(melodies + f), "kept") << f;
    EXPECT_EQ(::stat((melodies + "QWERTYUI.tmp").c_str(), &st), 0) << "a folder is never removed";
}
