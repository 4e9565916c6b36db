// The phonebook against damaged files and a failing disk: a damaged PC
// database is reported and left as it is, a copy that cannot be written says
// how far it went, and a copy that replaces the PC book leaves the old book or
// the new one, never a mixture.
#include "screen_fixture.h"

#include "confirm.h"
#include "dbdamage.h"
#include "diskfaults.h"
#include "dlgprogress.h"
#include "pbtransfer.h"
#include "profile.h"
#include "user_actions.h"

#include <QMenu>
#include <QTimer>

#include <sqlite3.h>

using pbtest::PCBookTest;
using pbtest::PhonebookSimTest;
using zorqtest::DbDamage;
using zorqtest::IntegrityOf;

namespace {

std::vector<PBEntry> ManyEntries(int n, const std::string& prefix, size_t notes = 0)
{
    std::vector<PBEntry> out;
    for (int i = 1; i <= n; ++i) {
        PBEntry e;
        e.Name = prefix + " " + std::to_string(i);
        e.Phone = "06" + std::to_string(10000000 + i);
        e.ShortPhone = e.Phone;
        e.Notes = std::string(notes, 'n');
        out.push_back(e);
    }
    return out;
}

}  // namespace

TEST_F(PCBookTest, ADamagedPCDatabaseIsReportedNotShownEmptyAndLeftAsItIs)
{
    StartPhone();
    Open();
    for (DbDamage what : {DbDamage::TableRoot, DbDamage::IndexRoot, DbDamage::TableLeaf}) {
        SCOPED_TRACE(zorqtest::DbDamageName(what));
        const std::string path =
            MakePCDatabase(std::string("damaged-") + zorqtest::DbDamageName(what) + ".mdb", ManyEntries(300, "Entry"));
        ASSERT_TRUE(zorqtest::DamageDatabase(path, "EntryPhone", "indLoc", what));
        const std::string before = zorqtest::ReadFile(path);
        EXPECT_TRUE(ClickPCWithBook(path));
        const std::vector<std::string> boxes = Boxes();
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty phonebook";
        EXPECT_EQ(boxes.front(), Text(31456, {QString::fromStdString(path)}));
        // The menu closed without a choice: back on the SIM.
        EXPECT_TRUE(screen->Pane()->IsSrcSIM());
        EXPECT_EQ(zorqtest::ReadFile(path), before) << "the damaged file was written to";
    }
}

// A PC phonebook file cut short, empty, random bytes, a folder or a name no
// open can follow: refused with the file named, the PC menu offered, and the
// file left as it was.
TEST_F(PCBookTest, EveryDamagedShapeOfThePCBookIsNamedAndLeftAsItIs)
{
    StartPhone();
    Open();
    const std::string good = zorqtest::ReadFile(MakePCDatabase("shape-good.mdb", ManyEntries(300, "Entry")));
    for (const auto& d : zorqtest::WriteDamagedShapes(app.GetFolderPath(), "book", ".mdb", good)) {
        SCOPED_TRACE(d.shape);
        const std::string before = zorqtest::ReadFile(d.path);
        const bool menuOffered = ClickPCWithBook(d.path);
        const std::vector<std::string> boxes = Boxes();
        EXPECT_TRUE(menuOffered);
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty phonebook";
        // An empty file opens but holds no phonebook; the others do not open.
        const QString named = QString::fromStdString(d.path);
        EXPECT_EQ(boxes.front(), d.shape == "empty" ? Text(31319, {named}) : Text(31456, {named}));
        EXPECT_TRUE(screen->Pane()->IsSrcSIM());
        EXPECT_EQ(zorqtest::ReadFile(d.path), before) << "the damaged file was written to";
    }
}

// A copy of 250 entries into a PC file on a disk that fills up on the way.
TEST_F(PhonebookSimTest, ACopyOnAFullDiskSaysHowManyWentAndReplacingKeepsTheOldBookWhole)
{
    zorqtest::SmallDisk disk(app.GetFolderPath(), 48 * 1024);
    ASSERT_FALSE(disk.Folder().empty());
    const std::string source = MakePCDatabase("defpb.mdb", ManyEntries(250, "Source", 200));
    const std::string target = disk.Folder() + "book.mdb";
    ASSERT_TRUE(CreatePBDatabase(target));
    WritePhoneConf(0, target, true);
    {
        CJetDatabase db;
        db.Open(target);
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntryPhone]");
        int16_t location = 0;
        for (PBEntry e : ManyEntries(5, "Old")) {
            e.Location = ++location;
            rs.AddNew();
            rs.SetFromEntry(e);
            rs.Update();
        }
    }
    const std::string oldBook = Rows(target);
    ASSERT_EQ(Lines(oldBook).size(), 5u);
    disk.Fill(24 * 1024);

    CJetDatabase* src = nullptr;
    ASSERT_EQ(doc->OpenPBDatabase(&src, 0, source), 0);
    std::vector<int> all;
    for (int i = 1; i <= 250; ++i)
        all.push_back(i);
    CPBTransfer transfer(doc.get(), &owner);
    transfer.SetPCDestination(target);

    // Added to the book: the copy stops when the disk is full and says how
    // many entries went; those stay.
    bool replace = false;
    EXPECT_FALSE(transfer.CopySelection(4, src, all, replace));
    const int copied = transfer.Copied();
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, 250);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           Text(31940, {QString::number(copied), "250", QString::fromStdString(target)})}));
    const std::string partial = Rows(target);
    EXPECT_EQ(Lines(partial).size(), 5u + static_cast<size_t>(copied));
    EXPECT_EQ(IntegrityOf(target), "ok");

    // Replacing the book ("erase them first"): the erase and the copy fail
    // together, and the book is the one it was.
    app.shown.clear();
    ASSERT_EQ(doc->OpenPBDatabase(&src, 0, source), 0);
    replace = true;
    EXPECT_FALSE(transfer.CopySelection(4, src, all, replace));
    EXPECT_FALSE(replace);
    EXPECT_EQ(transfer.Copied(), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31941, {QString::fromStdString(target)})}));
    disk.Release();
    EXPECT_EQ(Rows(target), partial);
    EXPECT_EQ(IntegrityOf(target), "ok");

    // With room again the same replacement goes through whole.
    app.shown.clear();
    ASSERT_EQ(doc->OpenPBDatabase(&src, 0, source), 0);
    const std::string roomy = MakePCDatabase("roomy.mdb", ManyEntries(5, "Old"));
    transfer.SetPCDestination(roomy);
    replace = true;
    EXPECT_TRUE(transfer.CopySelection(4, src, all, replace));
    EXPECT_EQ(transfer.Copied(), 250);
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    const auto lines = Lines(Rows(roomy));
    ASSERT_EQ(lines.size(), 250u);
    EXPECT_EQ(lines.front(), "1 0610000001 Source 1");
}

// An entry of the PC book that went from the file behind the program's back
// (another program deleted it): its deletion cannot seek to it, the run ends
// there, and the user is told which entry could not be deleted; the entries
// after it are neither asked about nor deleted.
TEST_F(PCBookTest, APCDeletionThatFailsIsToldAndEndsTheRun)
{
    const std::string path = ShowPCBook("gone-behind.mdb", ManyEntries(3, "Entry"));
    ASSERT_EQ(List()->GetRowCount(), 3);
    const QString first = List()->GetRowText(0, 0);
    ClickRow(0);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      List()->visualRect(List()->model()->index(1, 0)).center());
    ASSERT_EQ(List()->GetSelectedCount(), 2);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ("DELETE FROM EntryPhone WHERE Name = '" + first.toStdString() + "'").c_str(), nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
    app.shown.clear();
    int asked = 0;
    QTimer answer;  // every question of the run is answered Yes as it comes
    QObject::connect(&answer, &QTimer::timeout, [&asked] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CDlgConfirm*>(w); d && d->isVisible()) {
                ++asked;
                d->EndDialog(IDYES);
            }
    });
    answer.start(20);
    ClickButton(1027);
    answer.stop();
    EXPECT_EQ(asked, 1) << "the run went on past the failure";
    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "the run ended in silence";
    EXPECT_EQ(boxes.front(), Text(31892, {first}));
    EXPECT_EQ(List()->GetRowCount(), 3);
}

// A deletion run that stops tells which entry stopped it and why, and the
// list behind that message already shows the entries as they are: those
// deleted before are gone from it.
namespace {

using pbtest::QuestionAnswerer;

// What the screen showed while the message box stood.
struct AtTheBox {
    int boxes = 0;
    bool listPainted = false;  // the list shows its rows as they change
    std::vector<std::string> rows;
};

class DeletionRunTest : public PCBookTest {
protected:
    // Presses the delete button, noting the list while each message box
    // of the run stands.
    AtTheBox PressDeleteWatchingTheList()
    {
        AtTheBox seen;
        app.on_box = [&] {
            ++seen.boxes;
            seen.listPainted = List()->updatesEnabled();
            seen.rows = Rows();
        };
        app.shown.clear();
        ClickButton(1027);
        app.on_box = nullptr;
        return seen;
    }
};

}  // namespace

TEST_F(DeletionRunTest, ADeletionStoppedByAnotherProgramHoldingTheBookNamesTheEntryAndTheCause)
{
    const std::string path = ShowPCBook("held.mdb", ManyEntries(3, "Entry"));
    ASSERT_EQ(List()->GetRowCount(), 3);
    const QString second = List()->GetRowText(1, 0);
    zorqtest::ClickRows(List(), {0, 1, 2});
    ASSERT_EQ(List()->GetSelectedCount(), 3);
    const std::vector<std::string> rowsAfterFirst{Rows()[1], Rows()[2]};

    // Another program takes the book for writing once the first entry is
    // gone, and holds it while the message stands.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    QuestionAnswerer answers([other](int n) {
        if (n == 2) {
            EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        return IDYES;
    });
    const AtTheBox seen = PressDeleteWatchingTheList();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_EQ(answers.asked, 2) << "the run went on past the failure";
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes().front(), Text(31894, {second, QString::fromStdString(Text(31456, {QString::fromStdString(path)}))}));
    EXPECT_EQ(seen.boxes, 1);
    EXPECT_TRUE(seen.listPainted) << "the list behind the message still showed the deleted entry";
    EXPECT_EQ(seen.rows, rowsAfterFirst);
    EXPECT_EQ(Rows(), rowsAfterFirst);
}

// The phone erases the entry but its answer is lost, or cut half-way: the
// user is told that the phone did not answer and that the entry may have
// been deleted, never that the phone refused; the phone, asked again as soon
// as it answers, no longer has the entry, and neither has the list. No link
// test runs (the settings of a new user).
TEST_F(DeletionRunTest, ADeletionWhoseAnswerIsLostOrCutIsToldUnansweredAndTheListShowsWhatThePhoneHolds)
{
    StartPhone();
    Open();
    screen->window()->show();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const int nameColumn = screen->Pane()->IsLocationShown() ? 1 : 0;
    for (const auto& [fault, location] : {std::pair{"fault drop +CPBW=", 2}, std::pair{"fault cut +CPBW=", 1}}) {
        SCOPED_TRACE(fault);
        const int row = List()->FindRowByLocation(location);
        ASSERT_GE(row, 0);
        const QString name = List()->GetRowText(row, nameColumn);
        std::vector<std::string> left = Rows();
        left.erase(left.begin() + row);
        ClickRow(row);
        ASSERT_EQ(List()->GetSelectedCount(), 1);
        ASSERT_EQ(sim->command(fault), "ok");
        QuestionAnswerer answers([](int) { return IDYES; });
        const AtTheBox seen = PressDeleteWatchingTheList();
        EXPECT_EQ(answers.asked, 1);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes().front(), Text(31920, {name}));
        EXPECT_NE(Boxes().front(), Text(31895, {name}));
        EXPECT_EQ(PhoneEntries("SM").find(" " + name.toStdString() + "\n"), std::string::npos) << PhoneEntries("SM");
        EXPECT_EQ(seen.rows, left) << "the list behind the message showed an entry the phone no longer has";
        EXPECT_EQ(Rows(), left);
        EXPECT_EQ(List()->FindRowByLocation(location), -1);
        EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    }
}

TEST_F(DeletionRunTest, ADeletionThePhoneRefusesMidwayNamesTheEntryOverTheListAsItIs)
{
    StartPhone();
    Open();
    screen->window()->show();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const int nameColumn = screen->Pane()->IsLocationShown() ? 1 : 0;
    const int first = List()->FindRowByLocation(1), second = List()->FindRowByLocation(2);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const QString refused = List()->GetRowText(second, nameColumn);
    zorqtest::ClickRows(List(), {first, second});
    ASSERT_EQ(List()->GetSelectedCount(), 2);
    std::vector<std::string> left = Rows();
    left.erase(left.begin() + first);

    // The phone erases the first entry and refuses the second.
    ASSERT_EQ(sim->command("set pb-write-error 14"), "ok");
    ASSERT_EQ(sim->command("set error-after 1"), "ok");
    QuestionAnswerer answers([](int) { return IDYESTOALL; });
    const AtTheBox seen = PressDeleteWatchingTheList();
    ASSERT_EQ(sim->command("set pb-write-error 0"), "ok");

    EXPECT_EQ(answers.asked, 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes().front(), Text(31895, {refused}));
    EXPECT_EQ(seen.boxes, 1);
    EXPECT_TRUE(seen.listPainted) << "the list behind the message still showed the deleted entry";
    EXPECT_EQ(seen.rows, left);
    EXPECT_EQ(Rows(), left);
    EXPECT_EQ(List()->FindRowByLocation(1), -1);
    EXPECT_GE(List()->FindRowByLocation(2), 0);
}

// A run of five PC entries under Yes to all, clicked on the first question:
// while the run goes, the list shows each entry go as it is deleted, and
// the count above it follows. Noted by a sampler while the progress window
// stands: the rows the list holds, whether it is painted, and its count.
TEST_F(DeletionRunTest, TheListAndItsCountFollowTheDeletionsWhileTheRunGoes)
{
    ShowPCBook("follow.mdb", ManyEntries(5, "Entry"));
    const std::vector<std::string> before = Rows();
    ASSERT_EQ(before.size(), 5u);
    const QString book = QString::fromStdString(Text(31464, {"follow"}));
    auto countText = [&](int n) {
        return n == 0 ? Text(31253, {book}) : Text(n == 1 ? 31250 : 31251, {book, QString::number(n)});
    };
    ASSERT_EQ(Label(1002).toStdString(), countText(5));
    zorqtest::ClickRows(List(), {0, 1, 2, 3, 4});
    ASSERT_EQ(List()->GetSelectedCount(), 5);

    struct Sample {
        std::vector<std::string> rows;
        std::string count;
        bool painted;
    };
    std::vector<Sample> samples;
    int asked = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<CDlgConfirm*>(w); d && d->isVisible()) {
                ++asked;
                QWidget* all = d->findChild<QWidget*>(QStringLiteral("id1078"));
                ASSERT_NE(all, nullptr);
                QTest::mouseClick(all, Qt::LeftButton);
                return;
            }
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CDlgProgress*>(w) && w->isVisible()) {
                samples.push_back({Rows(), Label(1002).toStdString(), List()->updatesEnabled()});
                return;
            }
    });
    watch.start(10);
    app.shown.clear();
    ClickButton(1027);
    watch.stop();

    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Label(1002).toStdString(), countText(0));
    ASSERT_FALSE(samples.empty());
    // The counts seen, each once in the order seen: every step of the run
    // showed (the window may come before the first entry has gone).
    std::vector<int> steps;
    for (const Sample& s : samples) {
        const int n = static_cast<int>(s.rows.size());
        if (steps.empty() || steps.back() != n)
            steps.push_back(n);
        // What the list holds is the book less the entries deleted so far;
        // it is painted, and its count says as many.
        EXPECT_EQ(s.rows, std::vector<std::string>(before.end() - n, before.end()));
        EXPECT_TRUE(s.painted) << "the list's updates were held during the run";
        EXPECT_EQ(s.count, countText(n)) << "the count stood still while the rows went";
    }
    if (!steps.empty() && steps.front() == 5)
        steps.erase(steps.begin());
    EXPECT_EQ(steps, (std::vector<int>{4, 3, 2, 1, 0}));
}
