// The built program asked to end by a signal, as a desktop's logout (SIGTERM),
// Ctrl+C on its terminal (SIGINT) or a terminal that goes (SIGHUP) ask it:
// it ends as Quit ends it, with 0, asking nothing, and leaves neither its
// instance lock nor its socket behind, so that the next start runs; the
// same when the signal comes while the start still looks for the phone or
// while a box of the start waits for OK. A long run under way stops as its
// Cancel stops it (the item under way is finished), then the program ends.
#include "program_support.h"

#include "confirm.h"
#include "dbdamage.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "inputgate.h"
#include "mainframe.h"
#include "phonebook.h"
#include "phonesim_client.h"
#include "qxpbsrcnewlist.h"
#include "user_actions.h"
#include "zorqmenu.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using zorqtest::ProgramFolder;
using zorqtest::ReadFile;

// The program started from a folder of its own with a phone of its own,
// and what it leaves in its temporary folder.
struct ProgramRun {
    phonesim::Process sim;
    zorqtest::ProgramFolder folder{sim.device()};
    std::string tmp = folder.path() + "tmp";
    QString name = QStringLiteral("Pellard-%1").arg(static_cast<unsigned>(::getuid()));
    QProcess program;

    ProgramRun()
    {
        fs::copy_file(zorqtest::BuiltProgramDir() + "/zorqmmi", folder.Program());
        fs::create_directories(tmp);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(tmp));
        program.setProcessEnvironment(env);
    }
    ~ProgramRun()
    {
        program.kill();
        program.waitForFinished(5000);
    }
    std::string Trace() const { return zorqtest::ReadFile(folder.path() + "debug.txt"); }
    // Waits (the loop running) until the trace holds `line`.
    bool WaitForTrace(const std::string& line, int ms = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (Trace().find(line) == std::string::npos) {
            if (clock.elapsed() > ms || program.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(20);
        }
        return true;
    }
    // Sends `signo` to the program, never to anyone else (a pid of 0 would
    // name the whole process group).
    void Signal(int signo)
    {
        const qint64 pid = program.processId();
        ASSERT_EQ(program.state(), QProcess::Running)
            << "the program ended before the signal, exit code " << program.exitCode() << "\n" << Trace();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(static_cast<pid_t>(pid), signo), 0);
    }
    std::string LockFile() const { return tmp + "/" + name.toStdString() + ".lock"; }
    bool SocketAnswers()
    {
        const QByteArray old = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.c_str());
        QLocalSocket s;
        s.connectToServer(name);
        const bool answered = s.waitForConnected(2000);
        qputenv("TMPDIR", old);
        return answered;
    }
};

const char* const kLinked = "phone found";

TEST(QuitSignal, TermIntAndHupEndTheLinkedProgramAsQuitDoesAndLeaveNoLockNorSocket)
{
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        ProgramRun run;
        run.program.start(QString::fromStdString(run.folder.Program()), {QStringLiteral("--nosplash")});
        ASSERT_TRUE(run.program.waitForStarted(10000));
        ASSERT_TRUE(run.WaitForTrace(kLinked)) << run.Trace();
        ASSERT_TRUE(fs::exists(run.LockFile()));
        ASSERT_TRUE(run.SocketAnswers()) << "the running program does not listen";

        ASSERT_NO_FATAL_FAILURE(run.Signal(signo));
        ASSERT_TRUE(run.program.waitForFinished(30000)) << "the program did not end";
        EXPECT_EQ(run.program.exitStatus(), QProcess::NormalExit) << "killed by the signal";
        EXPECT_EQ(run.program.exitCode(), 0);
        EXPECT_NE(run.Trace().find("ShutDown -> closing"), std::string::npos) << "not through the shut-down";
        EXPECT_FALSE(fs::exists(run.LockFile())) << "the instance lock was left behind";
        EXPECT_FALSE(run.SocketAnswers()) << "the socket was left behind";
    }
}

TEST(QuitSignal, ASignalWhileTheStartLooksForThePhoneEndsTheProgramAsWell)
{
    ProgramRun run;
    run.program.start(QString::fromStdString(run.folder.Program()), {QStringLiteral("--nosplash")});
    ASSERT_TRUE(run.program.waitForStarted(10000));
    ASSERT_TRUE(run.WaitForTrace("mtr_init called")) << run.Trace();
    ASSERT_NO_FATAL_FAILURE(run.Signal(SIGTERM));
    ASSERT_TRUE(run.program.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(run.program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.program.exitCode(), 0);
    EXPECT_NE(run.Trace().find("a signal asks the program to end"), std::string::npos) << run.Trace();
    EXPECT_FALSE(fs::exists(run.LockFile()));
    EXPECT_FALSE(run.SocketAnswers());
}

// The entries of the PC phonebook `path` by name, and SQLite's verdict on it.
std::vector<std::string> PCEntryNames(const std::string& path)
{
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT Name FROM EntryPhone ORDER BY Name", -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return names;
}

class QuitSignalRunTest : public zorqtest::ProgramRunTest {
protected:
    static CMainFrame* Frame()
    {
        CZorqMMIApp* app = CZorqMMIApp::Instance();
        return app ? app->GetMainFrame() : nullptr;
    }
    static CPhoneBook* Book() { return Frame() ? qobject_cast<CPhoneBook*>(Frame()->GetActiveView()) : nullptr; }
    std::string LockFile() const
    {
        return tmp_ + "/" + QStringLiteral("Pellard-%1.lock").arg(static_cast<unsigned>(::getuid())).toStdString();
    }
    static bool SocketAnswers()
    {
        QLocalSocket s;
        s.connectToServer(QStringLiteral("Pellard-%1").arg(static_cast<unsigned>(::getuid())));
        return s.waitForConnected(2000);
    }
    static CDlgProgress* Deleting()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<CDlgProgress*>(w); p && p->isVisible() && p->IsWindowCreated())
                return p;
        return nullptr;
    }
};

// A box of the start waits for OK: the settings file cannot be read (a link
// to itself), or the version file is cut short. A SIGTERM while it stands
// closes it and ends the program with 0, leaving no lock and no socket.
TEST_F(QuitSignalRunTest, ASignalWhileABoxOfTheStartWaitsForOKEndsTheProgram)
{
    struct Case {
        const char* what;
        std::function<void(const std::string& folder)> spoil;
    };
    const Case cases[] = {
        {"the settings file cannot be read",
         [](const std::string& folder) {
             const std::string ini = folder + "ZorqMMI.ini";
             fs::remove(ini);
             fs::create_symlink(ini, ini);
         }},
        {"the version file is cut short",
         [](const std::string& folder) { zorqtest::WriteFile(folder + "$ZQ.VRS", "\x05" "ab"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramFolder folder("/nonexistent/zorq-no-phone");
        c.spoil(folder.path());
        QString told;
        bool lockHeld = false;
        // The box, once it stands and has stood a moment: the signal.
        zorqtest::WhenTrue([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
                           [&] {
                               told = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->text();
                               lockHeld = fs::exists(LockFile());
                               QTimer::singleShot(200, [] {
                                   ASSERT_NE(QApplication::activeModalWidget(), nullptr) << "the box went by itself";
                                   ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
                               });
                           },
                           20000, [] {});
        EXPECT_EQ(RunProgram(folder, 20000), 0);
        EXPECT_FALSE(timedOut_) << "the box still waited";
        timedOut_ = false;
        EXPECT_FALSE(told.isEmpty()) << "no box stood";
        EXPECT_TRUE(lockHeld);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_FALSE(fs::exists(LockFile())) << "the instance lock was left behind";
        EXPECT_FALSE(SocketAnswers()) << "the socket was left behind";
        krn_reset_for_tests();
    }
}

// Phonebook, PC, all of 60 entries selected with Ctrl+A, Delete, Yes to
// all. Some entries in, a SIGTERM: the run stops as its Cancel stops it
// (the entry under way is deleted, no other), then the program ends as Quit
// ends it, long before the run would have: 0, no lock, no socket, and the
// phonebook whole, holding the entries the run had not reached.
TEST_F(QuitSignalRunTest, ASignalDuringADeletionRunStopsItAfterTheEntryUnderWayThenEndsTheProgram)
{
    constexpr int kEntries = 60;
    phonesim::Process phone;
    ProgramFolder folder(phone.device());
    ASSERT_NO_FATAL_FAILURE(zorqtest::MakePCPhonebook(folder, kEntries));
    const std::string book = folder.path() + "Database/defpb.mdb";
    const std::string lock = LockFile();
    int leftAtSignal = -1;  // the entries the phonebook held when the signal came
    bool lockHeld = false;
    QElapsedTimer sinceSignal;

    WhenStarted([] { return Linked() && !CZorqMMIApp::Instance()->IdleWorkPending() && !CZorqMMIApp::RequestWaiting(); },
                [&] {
        auto* menu = qobject_cast<CZorqMenu*>(Frame()->GetActiveView());
        ASSERT_NE(menu, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->MenuRegion(1).boundingRect().center());
        zorqtest::WhenTrue([] { return Book() && !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running; }, [&] {
            CQXPBSrcNewList* pane = Book()->Pane();
            QTest::mouseClick(pane->GetPCButton(), Qt::LeftButton);
            zorqtest::WhenTrue([pane] {
                return pane->IsSrcPC() && pane->GetListCtrl()->GetRowCount() == kEntries &&
                       !CZorqMMIApp::RequestWaiting();
            }, [&, pane] {
                CEntryListCtrl* list = pane->GetListCtrl();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
                QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
                if (list->GetSelectedCount() != kEntries) {
                    ADD_FAILURE() << "Ctrl+A selected " << list->GetSelectedCount() << " rows";
                    End();
                    return;
                }
                zorqtest::WhenTrue([] { return qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget()) != nullptr; },
                                   [] {
                                       auto* confirm = qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget());
                                       QTest::mouseClick(confirm->GetDlgItem(IDYESTOALL), Qt::LeftButton);
                                   },
                                   20000, End);
                // Some entries in, in the pause after one: the signal.
                zorqtest::WhenTrue([&] {
                    CDlgProgress* run = Deleting();
                    return run && run->GetPos() >= 5 && InMessagePause();
                }, [&] {
                    leftAtSignal = static_cast<int>(PCEntryNames(book).size());
                    lockHeld = fs::exists(lock);
                    sinceSignal.start();
                    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
                }, 60000, End);
                QTest::mouseClick(Book()->GetDlgItem(1027), Qt::LeftButton);
            }, 30000, End);
        }, 30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    const qint64 endedAfter = sinceSignal.isValid() ? sinceSignal.elapsed() : -1;
    EXPECT_FALSE(timedOut_);
    ASSERT_GT(leftAtSignal, 0) << "the signal was not sent during the run";
    ASSERT_LT(leftAtSignal, kEntries);
    EXPECT_TRUE(lockHeld);
    EXPECT_NE(ReadFile(folder.path() + "debug.txt").find("a signal asks the program to end"), std::string::npos);

    // At most the entry under way went after the signal, and the program
    // ended long before the run would have (it had 500 ms at least to go
    // per entry): a quiet machine ends within a second.
    const std::vector<std::string> left = PCEntryNames(book);
    EXPECT_GE(static_cast<int>(left.size()), leftAtSignal - 1) << "the run went on after the signal";
    EXPECT_LE(static_cast<int>(left.size()), leftAtSignal);
    EXPECT_GE(endedAfter, 0);
    EXPECT_LT(endedAfter, 10000) << "the program ended " << endedAfter << " ms after the signal";

    // The run deletes from the top: what is left is the end of the list.
    for (size_t i = 0; i < left.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Person %03d", kEntries - static_cast<int>(left.size()) + 1 + static_cast<int>(i));
        EXPECT_EQ(left[i], name);
    }
    EXPECT_EQ(zorqtest::IntegrityOf(book), "ok");
    for (const char* sub : {"Database", "Work"}) {
        for (const fs::directory_entry& e : fs::directory_iterator(folder.path() + sub)) {
            if (e.path().extension() == ".mdb") {
                EXPECT_EQ(zorqtest::IntegrityOf(e.path().string()), "ok") << e.path();
            }
        }
    }
    EXPECT_FALSE(fs::exists(lock)) << "the instance lock was left behind";
    EXPECT_FALSE(SocketAnswers()) << "the socket was left behind";
}

}  // namespace
