// Two copies of the built program started at the same moment, as a double
// click on the desktop entry starts them: one runs, the other hands over to
// it and ends with 0. Several pairs run side by side, each in a program
// folder and a temporary folder of its own with a phone of its own, so
// that an unlucky ordering inside one pair is not left to chance.
#include "program_folder.h"
#include "phonesim_client.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <gtest/gtest.h>

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

}  // namespace
