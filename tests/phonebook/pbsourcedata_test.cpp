#include "pb_fixture.h"

#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "pbsourcedata.h"
#include "pbtransfer.h"
#include "profile.h"
#include "vcard.h"

#include <QApplication>
#include <QLabel>

using pbtest::PhonebookSimTest;

namespace {

class PaneDataTest : public PhonebookSimTest {
protected:
    void ShowSIM()
    {
        data.SetDocument(doc.get());
        data.SetListCtrl(&list);
        data.SetStatics(&title, &room);
        data.SetStorage(1);
        ASSERT_TRUE(data.SelectStorage());
        ASSERT_TRUE(data.UploadStorage());
        data.MarkStorageRead();
        data.FillList();
    }
    std::string Mirror() { return Rows(GetPBDatabaseName(1)); }
    std::vector<std::string> ListRows()
    {
        std::vector<std::string> out;
        for (int r = 0; r < list.GetRowCount(); ++r)
            out.push_back(list.GetRowText(r, 0).toStdString() + " " + list.GetRowText(r, 1).toStdString() +
                          " " + list.GetRowText(r, 2).toStdString());
        return out;
    }

    CPBSourceData data;
    CEntryListCtrl list;
    QLabel title, room;
};

}  // namespace

TEST_F(PaneDataTest, SimEntriesAreListedWithTitleAndRoom)
{
    StartPhone();
    ShowSIM();
    EXPECT_EQ(ListRows(), (std::vector<std::string>{"1 Alice +33612345678", "2 Bob 0687654321",
                                                   "250 Zoe 0612345678"}));
    EXPECT_EQ(title.text().toStdString(), Text(31251, {"", "3"}));
    EXPECT_EQ(room.text().toStdString(), Text(31839, {"247"}));
    EXPECT_EQ(list.GetLocation(2), 250);
}

TEST_F(PaneDataTest, AddChangeAndDeleteGoToThePhoneFirst)
{
    StartPhone();
    ShowSIM();
    // Add: the phone's form of the number comes back into the mirror.
    PBEntry carol = Entry("Carol", "+33 6 11 22");
    ASSERT_TRUE(data.CheckEntry(carol));
    ASSERT_TRUE(data.SaveInDB(carol));
    ASSERT_TRUE(data.SaveInMobile());
    ASSERT_TRUE(data.UpdateAndReselect(true));
    EXPECT_NE(PhoneEntries("SM").find("3 \"+3361122\" 145 \"Carol\"\n"), std::string::npos) << PhoneEntries("SM");
    EXPECT_NE(Mirror().find("3 +3361122 Carol\n"), std::string::npos) << Mirror();
    EXPECT_EQ(list.GetSelectedLocation(), 3);

    // Change the name of entry 1.
    PBEntry alice;
    ASSERT_TRUE(data.GetEntryAt(1, alice));
    alice.Name = "Alicia";
    ASSERT_TRUE(data.ModifyInDB(alice));
    ASSERT_TRUE(data.SaveInMobile());
    ASSERT_TRUE(data.UpdateAndReselect(false));
    EXPECT_NE(PhoneEntries("SM").find("Alicia"), std::string::npos);
    EXPECT_NE(Mirror().find("1 +33612345678 Alicia\n"), std::string::npos) << Mirror();

    // A refusal of the phone leaves mirror and list as they were.
    const std::string mirrorBefore = Mirror();
    const auto rowsBefore = ListRows();
    sim->command("set sim-busy 30");
    PBEntry dave = Entry("Dave", "0612");
    ASSERT_TRUE(data.SaveInDB(dave));
    EXPECT_FALSE(data.SaveInMobile());
    data.CancelRow();
    EXPECT_EQ(Mirror(), mirrorBefore);
    EXPECT_EQ(ListRows(), rowsBefore);
    sim->command("set sim-busy 0");

    // Delete Bob.
    const int row = list.FindRowByLocation(2);
    ASSERT_GE(row, 0);
    ASSERT_EQ(data.DeleteOneItem(row), DeleteOutcome::Deleted);
    EXPECT_EQ(PhoneEntries("SM").find("Bob"), std::string::npos);
    EXPECT_EQ(Mirror().find("Bob"), std::string::npos);
}

TEST_F(PaneDataTest, TooLongNamesAndNumbersAreRefusedBeforeAnythingIsSent)
{
    StartPhone();
    ShowSIM();
    const std::string before = sim->dump();
    EXPECT_FALSE(data.CheckEntry(Entry("Fifteen chars!!", "123")));
    EXPECT_FALSE(data.CheckEntry(Entry("Ok", "123456789012345678901")));
    EXPECT_FALSE(data.CheckEntry(Entry("Ok", "")));
    EXPECT_FALSE(data.CheckEntry(Entry("Ok", "abc")));
    EXPECT_TRUE(data.CheckEntry(Entry("Fourteen chars", "+12345678901234567890")));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31466, {"14"}), Text(31468, {"20"}), Text(31247),
                                                Text(31475)}));
    EXPECT_EQ(sim->dump(), before);
}

TEST_F(PaneDataTest, MovingAnEntryWritesTheTargetBeforeErasingTheSource)
{
    StartPhone();
    ShowSIM();
    data.SetEditingEnabled(true);
    // To a free location.
    ASSERT_TRUE(data.MoveEntry(list.FindRowByLocation(2), 7));
    EXPECT_NE(PhoneEntries("SM").find("7 \"0687654321\" 129 \"Bob\""), std::string::npos) << PhoneEntries("SM");
    EXPECT_EQ(PhoneEntries("SM").find("\n2 "), std::string::npos);
    EXPECT_NE(Mirror().find("7 0687654321 Bob\n"), std::string::npos) << Mirror();
    // Onto an occupied one: the two swap, in the phone and in the mirror.
    ASSERT_TRUE(data.MoveEntry(list.FindRowByLocation(7), 1));
    EXPECT_NE(Mirror().find("1 0687654321 Bob\n"), std::string::npos) << Mirror();
    EXPECT_NE(Mirror().find("7 +33612345678 Alice\n"), std::string::npos) << Mirror();
    EXPECT_NE(PhoneEntries("SM").find("1 \"0687654321\" 129 \"Bob\""), std::string::npos) << PhoneEntries("SM");
    EXPECT_NE(PhoneEntries("SM").find("7 \"+33612345678\" 145 \"Alice\""), std::string::npos);
    // A phone that refuses leaves everything in place.
    const std::string phone = PhoneEntries("SM"), mirror = Mirror();
    sim->command("set sim-busy 30");
    EXPECT_FALSE(data.MoveEntry(list.FindRowByLocation(1), 9));
    sim->command("set sim-busy 0");
    EXPECT_EQ(PhoneEntries("SM"), phone);
    EXPECT_EQ(Mirror(), mirror);
    EXPECT_EQ(list.GetRowCount(), 3);
}

TEST_F(PaneDataTest, TitleNamesOtherPCDatabases)
{
    StartPhone();
    data.SetDocument(doc.get());
    data.SetListCtrl(&list);
    data.SetStatics(&title, &room);
    const std::string longName = MakePCDatabase("Nineteen_chars_name.mdb", {Entry("A", "1")});
    data.SetDatabasePath(longName);
    data.SetStorage(0);
    data.FillList();
    EXPECT_EQ(title.text().toStdString(), Text(31250, {QString::fromStdString(Text(31464, {"Nineteen_chars_..."}))}));
    EXPECT_EQ(room.text().toStdString(), Text(31840));
    const std::string exact = MakePCDatabase("Sixteen_chars_ab.mdb", {});
    data.SetDatabasePath(exact);
    data.FillList();
    EXPECT_EQ(title.text().toStdString(), Text(31253, {QString::fromStdString(Text(31464, {"Sixteen_chars_ab"}))}));
}

TEST_F(PaneDataTest, APCBookJustListedIsFreeForAnotherProgramWhoseChangesTheNextFillShows)
{
    StartPhone();
    data.SetDocument(doc.get());
    data.SetListCtrl(&list);
    data.SetStatics(&title, &room);
    const std::string book = MakePCDatabase("shared.mdb", {Entry("Anna", "+331"), Entry("Berta", "+332")});
    data.SetDatabasePath(book);
    data.SetStorage(0);
    data.FillList();
    ASSERT_EQ(list.GetRowCount(), 2);
    // Another program writes to the file right after the fill, without
    // waiting for a lock: the fill left none behind.
    CDaoDatabase other;
    other.Open(book);
    other.ExecuteFixed("PRAGMA busy_timeout = 0");
    EXPECT_NO_THROW(other.ExecuteFixed(
        "INSERT INTO EntryPhone (Location, Name, Phone, ShortPhone) VALUES (9, 'Carla', '+339', '+339')"));
    other.Close();
    data.FillList();
    const std::vector<std::string> rows = ListRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], "9 Carla +339");
    EXPECT_EQ(title.text().toStdString(), Text(31251, {QString::fromStdString(Text(31464, {"shared"})), "3"}));
    // The pane's own entry operations still reach the file.
    PBEntry entry;
    ASSERT_TRUE(data.GetEntryAt(9, entry));
    EXPECT_EQ(entry.Name, "Carla");
}

// ---- copying, erasing, dropping ---------------------------------------------------------

TEST_F(PhonebookSimTest, CopyThatDoesNotFitIsRefusedUnlessTheDestinationIsReplaced)
{
    StartPhone("phonebook SM 5 20 14\nclear-phonebook SM\n"
               "entry SM 1 \"111\" 129 \"One\"\nentry SM 2 \"222\" 129 \"Two\"\nentry SM 3 \"333\" 129 \"Three\"\n");
    ASSERT_TRUE(doc->UpLoadPB(1, nullptr, 0, 0));
    doc->SetPBStorageRead(1);
    const std::string pc = MakePCDatabase("defpb.mdb", {Entry("Anna", "+331"), Entry("Berta", "+332"),
                                                        Entry("Clara Longname Is Long", "+333")});
    CJetDatabase* source = nullptr;
    ASSERT_EQ(doc->OpenPBDatabase(&source, 0, pc), 0);
    ASSERT_EQ(mtr_PB_select_storage(5), -35);

    CPBTransfer transfer(doc.get(), &owner);
    bool replace = false;
    EXPECT_FALSE(transfer.CopySelection(5, source, {1, 2, 3}, replace));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31249, {"2"})}));
    EXPECT_EQ(PhoneEntries("SM"), "1 \"111\" 129 \"One\"\n2 \"222\" 129 \"Two\"\n3 \"333\" 129 \"Three\"\n");

    app.shown.clear();
    replace = true;
    EXPECT_TRUE(transfer.CopySelection(5, source, {1, 2, 3}, replace));
    EXPECT_FALSE(replace);
    EXPECT_EQ(transfer.Copied(), 3);
    EXPECT_EQ(PhoneEntries("SM"), "1 \"+331\" 145 \"Anna\"\n2 \"+332\" 145 \"Berta\"\n"
                                  "3 \"+333\" 145 \"Clara Longname\"\n");
    EXPECT_EQ(Rows(GetPBDatabaseName(1)), "1 +331 Anna\n2 +332 Berta\n3 +333 Clara Longname\n");
    // One name was cut to the SIM's 14 characters... and reported once.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31255)}));
}

TEST_F(PhonebookSimTest, CancelStopsBetweenEntriesAndLeavesPhoneAndMirrorAlike)
{
    StartPhone("clear-phonebook SM\n");
    ASSERT_TRUE(doc->UpLoadPB(1, nullptr, 0, 0));
    std::vector<PBEntry> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back(Entry("N" + std::to_string(i), "10" + std::to_string(i)));
    const std::string pc = MakePCDatabase("defpb.mdb", entries);
    CJetDatabase* source = nullptr;
    ASSERT_EQ(doc->OpenPBDatabase(&source, 0, pc), 0);
    ASSERT_EQ(mtr_PB_select_storage(5), -35);
    // The user presses Cancel while the first entry is being written.
    host.on_dispatch = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<CDlgProgress*>(w); p && p->isVisible())
                p->OnCancel();
    };
    CPBTransfer transfer(doc.get(), &owner);
    bool replace = false;
    EXPECT_TRUE(transfer.CopySelection(5, source, {1, 2, 3, 4, 5, 6}, replace));
    EXPECT_TRUE(transfer.WasCancelled());
    EXPECT_GE(transfer.Copied(), 1);
    EXPECT_LT(transfer.Copied(), 6);
    // What the phone holds and what the mirror holds are the same entries.
    const auto phoneLines = Lines(PhoneEntries("SM"));
    const auto mirrorLines = Lines(Rows(GetPBDatabaseName(1)));
    EXPECT_EQ(phoneLines.size(), static_cast<size_t>(transfer.Copied()));
    EXPECT_EQ(mirrorLines.size(), phoneLines.size());
}

TEST_F(PhonebookSimTest, EraseStopsAtTheFirstRefusal)
{
    StartPhone();
    ASSERT_TRUE(doc->UpLoadPB(1, nullptr, 0, 0));
    ASSERT_EQ(mtr_PB_select_storage(5), -35);
    sim->command("set sim-busy 30");
    CPBTransfer transfer(doc.get(), &owner);
    EXPECT_FALSE(transfer.Erase(5));
    sim->command("set sim-busy 0");
    EXPECT_EQ(Lines(Rows(GetPBDatabaseName(1))).size(), 3u);  // nothing went from the mirror
    ASSERT_EQ(mtr_PB_select_storage(5), -35);
    EXPECT_TRUE(transfer.Erase(5));
    EXPECT_EQ(PhoneEntries("SM"), "");
    EXPECT_EQ(Rows(GetPBDatabaseName(1)), "");
}

TEST_F(PhonebookSimTest, DroppedCardsBecomeEntries)
{
    StartPhone("clear-phonebook ME\n");
    ASSERT_TRUE(doc->UpLoadPB(3, nullptr, 0, 0));
    CVCard card;
    card.SetFamilyName("Smith");
    card.SetGivenName("John");
    card.SetHomeVoice("+44 20 1");
    card.SetWorkVoice("+44 20 2");
    card.SetCellVoice("+44 77 3");
    card.SetHomeEmail("j@home");

    // Only the cell number chosen: one entry on the phone.
    WriteIniProfileInt("DragAndDrop", "HomeVoiceNumber", 0);
    WriteIniProfileInt("DragAndDrop", "WorkVoiceNumber", 0);
    ASSERT_EQ(mtr_PB_select_storage(7), -35);
    CPBTransfer transfer(doc.get(), &owner);
    EXPECT_TRUE(transfer.DropCopyVCard(7, card));
    EXPECT_EQ(PhoneEntries("ME"), "1 \"+44773\" 145 \"Smith John C\"\n");
    EXPECT_EQ(Rows(GetPBDatabaseName(3)), "1 +44773 Smith John C\n");

    // The phone refuses: the mirror takes nothing.
    sim->command("set sim-busy 30");
    WriteIniProfileInt("DragAndDrop", "HomeVoiceNumber", 1);
    app.shown.clear();
    EXPECT_FALSE(transfer.DropCopyVCard(7, card));
    sim->command("set sim-busy 0");
    EXPECT_EQ(Rows(GetPBDatabaseName(3)), "1 +44773 Smith John C\n");

    // On the PC: a home and a work entry with their details.
    WriteIniProfileInt("DragAndDrop", "WorkVoiceNumber", 1);
    const std::string pc = MakePCDatabase("defpb.mdb", {});
    (void)pc;
    EXPECT_TRUE(transfer.DropCopyVCard(4, card));
    EXPECT_EQ(Rows(pc), "1 +44 20 1 Smith John H\n2 +44 20 2 Smith John W\n");

    // No kind chosen at all.
    for (const char* key : {"HomeVoiceNumber", "WorkVoiceNumber", "CellVoiceNumber"})
        WriteIniProfileInt("DragAndDrop", key, 0);
    app.shown.clear();
    EXPECT_FALSE(transfer.DropCopyVCard(4, card));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31876)}));
}
