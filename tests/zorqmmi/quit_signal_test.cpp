// The built program asked to end by a signal, as a desktop's logout (SIGTERM),
// Ctrl+C on its terminal (SIGINT) or a terminal that goes (SIGHUP) ask it:
// it ends as Quit ends it, with 0, asking nothing, and leaves neither its
// instance lock nor its socket behind, so that the next start runs; the
// same when the signal comes while the start still looks for the phone.
#include "program_folder.h"
#include "phonesim_client.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

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

}  // namespace
