// The message screen against a damaged PC message database: the database's
// open error is shown instead of an empty list, and the file is left as it is.
#include "sms_fixture.h"

#include "dbdamage.h"
#include "diskfaults.h"
#include "profile.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <set>

using smstest::Row;
using smstest::ShortMsgSimTest;
using zorqtest::DbDamage;
using zorqtest::IntegrityOf;

namespace {

// The message screen opened on the PC store with `path` as its file; the PC
// menu the screen offers when the file will not open is closed without a
// choice. Gives the messages shown.
class PCMessagesTest : public ShortMsgSimTest {
protected:
    std::vector<std::string> OpenOnPCFile(const std::string& path)
    {
        EXPECT_TRUE(WriteIniProfileString("Databases", "SMS", path));
        WriteIniProfileInt("SMSMT", "Source", 0);
        app.shown.clear();
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        closer.start(20);
        Open(0);
        closer.stop();
        return Boxes();
    }
    // The path as messages show it: the program folder shortened ("...").
    std::string Shown(std::string path)
    {
        path.replace(0, app.GetAppDir().size(), "...");
        return path;
    }
};

}  // namespace

TEST_F(PCMessagesTest, ADamagedPCMessageDatabaseIsReportedNotShownEmptyAndLeftAsItIs)
{
    StartSMS();
    std::vector<Row> rows;
    for (int i = 1; i <= 300; ++i)
        rows.push_back({i, 1, "@+3361" + std::to_string(i) + "\r\n", "Message number " + std::to_string(i)});
    for (DbDamage what : {DbDamage::TableRoot, DbDamage::IndexRoot, DbDamage::TableLeaf}) {
        SCOPED_TRACE(zorqtest::DbDamageName(what));
        const std::string name = std::string("damaged-") + zorqtest::DbDamageName(what) + ".mdb";
        const std::string path = MakePCMessages(rows, name);
        ASSERT_TRUE(zorqtest::DamageDatabase(path, "EntrySMS", "indLoc", what));
        const std::string before = zorqtest::ReadFile(path);
        const std::vector<std::string> boxes = OpenOnPCFile(path);
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty store";
        EXPECT_EQ(boxes.front(), Text(31456, {QString::fromStdString(Shown(path))}));
        EXPECT_EQ(List()->GetRowCount(), 0);
        Close();
        EXPECT_EQ(zorqtest::ReadFile(path), before) << "the damaged file was written to";
    }
}

// A PC message file cut short, empty, random bytes, a folder or a name no
// open can follow: the screen names it instead of showing an empty list, and
// the file is left as it was.
TEST_F(PCMessagesTest, EveryDamagedShapeOfThePCMessageFileIsNamedAndLeftAsItIs)
{
    StartSMS();
    std::vector<Row> rows;
    for (int i = 1; i <= 300; ++i)
        rows.push_back({i, 1, "@+3361" + std::to_string(i) + "\r\n", "Message number " + std::to_string(i)});
    const std::string good = zorqtest::ReadFile(MakePCMessages(rows, "shape-good.mdb"));
    for (const auto& d : zorqtest::WriteDamagedShapes(app.GetFolderPath(), "messages", ".mdb", good)) {
        SCOPED_TRACE(d.shape);
        const std::string before = zorqtest::ReadFile(d.path);
        const std::vector<std::string> boxes = OpenOnPCFile(d.path);
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty store";
        EXPECT_NE(boxes.front().find(Shown(d.path)), std::string::npos) << boxes.front();
        EXPECT_EQ(List()->GetRowCount(), 0);
        Close();
        EXPECT_EQ(zorqtest::ReadFile(d.path), before) << "the damaged file was written to";
    }
}

// ---- A copy killed while it runs --------------------------------------------------------

namespace {

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

// The SIM's 60 messages copied to the PC database by a process that is
// killed (SIGKILL) at twenty moments spread over the copy: each time the PC
// database passes its integrity check, keeps its own messages unchanged,
// and holds only whole copies of SIM messages. How many went each time is
// printed (all or none when the copy is one transaction).
TEST_F(PCMessagesTest, ACopyFromTheSIMKilledAtAnyMomentLeavesThePCDatabaseWhole)
{
    std::string scenario = "message-store SM 60\n";
    std::set<std::string> simTexts;
    for (int i = 1; i <= 60; ++i) {
        const std::string text = "Sim message " + std::to_string(i) + " " + std::string(120, static_cast<char>('a' + i % 26));
        scenario += "message SM " + std::to_string(i) + " 1 +336222" + std::to_string(10000 + i) +
                    " \"24/05/06,14:10:00+08\" " + text + "\n";
        simTexts.insert(text);
    }
    StartSMS(scenario, 115200);
    const std::vector<Row> own = {{1, 1, "Pat@0601\r\n", "PC one", 0}, {2, 3, "Kim@0602\r\n", "PC two", 0}};
    const std::string pc = MakePCMessages(own);
    const std::string original = zorqtest::ReadFile(pc);
    WriteIniProfileInt("SMSMT", "Source", SMS_SRC_SIM);
    Open(0);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    ASSERT_EQ(List()->GetRowCount(), 60);

    double last = 0;
    // Runs the copy in a child process; kills it after `killAfter` seconds
    // (never when negative). The seconds the child ran.
    auto copyInChild = [&](double killAfter) {
        zorqtest::WriteFile(pc, original);
        std::remove((pc + "-journal").c_str());
        doc->CloseSMSDatabases(1);
        List()->SelectAll();
        screen->OnSelectionChanged();
        screen->mirrorAnswer = 1;
        const double start = Now();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child has none of the parent's threads, and Qt's painter
            // hands large fills to a pool of them: it would wait on them
            // forever. What is tested here is the database, so the child
            // paints nothing.
            struct NoPaint : QObject {
                bool eventFilter(QObject*, QEvent* e) override
                {
                    return e->type() == QEvent::Paint || e->type() == QEvent::UpdateRequest;
                }
            } noPaint;
            qApp->installEventFilter(&noPaint);
            screen->OnCommand(CShortMsg::ID_COPY_PC);
            _exit(0);
        }
        int status = 0;
        bool killed = false;
        // The moment of the kill is what varies; the end is waited for.
        while (waitpid(child, &status, WNOHANG) == 0) {
            if ((killAfter >= 0 && Now() - start >= killAfter) || Now() - start > 30) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                killed = true;
                break;
            }
            usleep(500);
        }
        if (killAfter < 0) {
            EXPECT_FALSE(killed) << "the copy did not end in 30 s";
        }
        last = Now() - start;
    };

    copyInChild(-1);
    const double whole = last;
    ASSERT_EQ(ReadRows(pc).size(), 62u) << "the copy left unkilled did not copy everything";

    std::vector<size_t> went;
    for (int k = 0; k < 20; ++k) {
        SCOPED_TRACE(k);
        copyInChild(whole * (k + 1) / 20);
        const std::vector<Row> rows = ReadRows(pc);
        EXPECT_EQ(IntegrityOf(pc), "ok");
        size_t copied = 0;
        for (const Row& r : rows) {
            if (r.location <= 2) {
                EXPECT_EQ(r.text, own[static_cast<size_t>(r.location - 1)].text);
                continue;
            }
            ++copied;
            EXPECT_EQ(simTexts.count(r.text), 1u) << "a message half copied: " << r.text;
        }
        EXPECT_EQ(rows.size() - copied, 2u) << "the PC's own messages were lost";
        went.push_back(copied);
    }
    std::printf("whole copy %.3f s; messages in the PC file after each kill:", whole);
    for (size_t n : went)
        std::printf(" %zu", n);
    std::printf("\n");
}

// ---- Large answers ------------------------------------------------------------------------

// A SIM holding 255 messages (the most a listing index carries) listed in
// one answer by a phone answering at once: every message is listed, with
// nothing said.
TEST_F(PCMessagesTest, TwoHundredFiftyFiveMessagesInOneListingAnswerAreAllListed)
{
    std::string scenario = "message-store SM 255\n";
    for (int i = 1; i <= 255; ++i)
        scenario += "message SM " + std::to_string(i) + " 1 +336333" + std::to_string(10000 + i) +
                    " \"24/05/06,14:10:00+08\" Listed " + std::to_string(i) + "\n";
    StartSMS(scenario);
    WriteIniProfileInt("SMSMT", "Source", SMS_SRC_SIM);
    app.shown.clear();
    const double start = Now();
    Open(0);
    ASSERT_TRUE(Until([&] { return List()->GetRowCount() == 255; }, 20000)) << List()->GetRowCount();
    std::printf("255 messages in one listing answer: listed in %.2f s\n", Now() - start);
    EXPECT_TRUE(Boxes().empty());
    std::set<std::string> texts;
    for (int r = 0; r < List()->GetRowCount(); ++r)
        texts.insert(List()->GetRowText(r, 2).toStdString());
    EXPECT_EQ(texts.size(), 255u);
    EXPECT_EQ(texts.count("Listed 255"), 1u);
}
