// Two copies of the built program started at the same moment, as a double
// click on the desktop entry starts them: one runs, the other hands over to
// it and ends with 0. Several pairs run side by side, each in a program
// folder and a temporary folder of its own with a phone of its own.
//
// The moment that decides is short: the second copy looks for the first
// after the first looked for a running copy and before it listens. The
// second test holds that moment open: the test plays a first copy that has
// begun its start-up (it holds the single-instance lock, the first thing a
// start takes) and listens only later.
#include "program_folder.h"
#include "phonesim_client.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Pair {
    std::unique_ptr<phonesim::Process> sim;
    std::unique_ptr<zorqtest::ProgramFolder> folder;
    std::string tmp;
    QProcess first, second;
};

TEST(ProgramInstances, TwoStartsAtTheSameMomentLeaveOneRunning)
{
    constexpr int kPairs = 8;
    std::vector<std::unique_ptr<Pair>> pairs;
    for (int i = 0; i < kPairs; ++i) {
        auto p = std::make_unique<Pair>();
        p->sim = std::make_unique<phonesim::Process>();
        p->folder = std::make_unique<zorqtest::ProgramFolder>(p->sim->device());
        // The built program itself, from a folder of its own (its program
        // folder is where the executable lies).
        fs::copy_file(zorqtest::BuiltProgramDir() + "/zorqmmi", p->folder->Program());
        p->tmp = p->folder->path() + "tmp";
        fs::create_directories(p->tmp);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(p->tmp));
        for (QProcess* q : {&p->first, &p->second})
            q->setProcessEnvironment(env);
        pairs.push_back(std::move(p));
    }
    const QStringList args{QStringLiteral("--nosplash")};
    for (auto& p : pairs) {
        const QString program = QString::fromStdString(p->folder->Program());
        p->first.start(program, args);
        p->second.start(program, args);
    }
    for (auto& p : pairs) {
        ASSERT_TRUE(p->first.waitForStarted(10000));
        ASSERT_TRUE(p->second.waitForStarted(10000));
    }

    // In every pair one copy ends; the other goes on running.
    const auto ended = [](const Pair& p) {
        return p.first.state() == QProcess::NotRunning || p.second.state() == QProcess::NotRunning;
    };
    QElapsedTimer clock;
    clock.start();
    const auto allEnded = [&] {
        for (const auto& p : pairs)
            if (!ended(*p))
                return false;
        return true;
    };
    while (!allEnded() && clock.elapsed() < 40000)
        QTest::qWait(100);
    // The one left is still there a moment later: it is the one that runs.
    QTest::qWait(1000);
    int bothRunning = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        Pair& p = *pairs[i];
        const bool firstEnded = p.first.state() == QProcess::NotRunning;
        const bool secondEnded = p.second.state() == QProcess::NotRunning;
        bothRunning += !firstEnded && !secondEnded;
        EXPECT_NE(firstEnded, secondEnded) << "pair " << i << ": exactly one copy runs";
        QProcess& gone = firstEnded ? p.first : p.second;
        if (firstEnded || secondEnded) {
            EXPECT_EQ(gone.exitStatus(), QProcess::NormalExit) << "pair " << i;
            EXPECT_EQ(gone.exitCode(), 0) << "pair " << i;
        }
    }
    EXPECT_EQ(bothRunning, 0) << "pairs in which both copies kept running";
    for (auto& p : pairs)
        for (QProcess* q : {&p->first, &p->second}) {
            q->kill();
            q->waitForFinished(5000);
        }
}

TEST(ProgramInstances, AStartWhileAnotherIsStartingWaitsForItAndHandsOver)
{
    phonesim::Process sim;
    zorqtest::ProgramFolder folder(sim.device());
    fs::copy_file(zorqtest::BuiltProgramDir() + "/zorqmmi", folder.Program());
    const std::string tmp = folder.path() + "tmp";
    fs::create_directories(tmp);
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.c_str());
    const QString name = QStringLiteral("Pellard-%1").arg(static_cast<unsigned>(::getuid()));

    // The first copy, starting: it holds the lock and does not listen yet.
    const std::string lock = tmp + "/" + name.toStdString() + ".lock";
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(tmp));
    second.setProcessEnvironment(env);
    second.start(QString::fromStdString(folder.Program()), {QStringLiteral("--nosplash")});
    ASSERT_TRUE(second.waitForStarted(10000));
    // The second does not start up meanwhile: no trace, no window, no port.
    QTest::qWait(3000);
    EXPECT_EQ(second.state(), QProcess::Running);
    EXPECT_FALSE(fs::exists(folder.path() + "debug.txt")) << "the second copy started up beside the first";

    // The first listens: the second hands over to it and ends with 0.
    QLocalServer server;
    ASSERT_TRUE(server.listen(name));
    QByteArray asked;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* s = server.nextPendingConnection())
            QObject::connect(s, &QLocalSocket::readyRead, [&asked, s] {
                asked += s->readAll();
                s->write("ok\n");
            });
    });
    QElapsedTimer clock;
    clock.start();
    while (second.state() != QProcess::NotRunning && clock.elapsed() < 20000)
        QTest::qWait(50);
    EXPECT_EQ(second.state(), QProcess::NotRunning);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(asked.contains("activate")) << asked.toStdString();
    EXPECT_FALSE(fs::exists(folder.path() + "debug.txt"));
    second.kill();
    second.waitForFinished(5000);
    server.close();
    ::close(held);
    if (oldTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp);
}

}  // namespace
