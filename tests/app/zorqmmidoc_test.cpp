// The document without a phone: feature flags, capability defaults, clock
// settings, indicator messages, the call-status steps, room and free places
// in the databases, and the concatenation lists at close and start.
#include "doc_fixture.h"
#include "diskfaults.h"

#include "pbdatabase.h"
#include "smsdatabase.h"
#include "utilities.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zorqtest;

namespace {

class RecordingWindows : public CDocWindows {
public:
    void OpenStatusDlg(const std::string& name) override { steps.push_back("open " + name); }
    void ShowStatusDlg(int step) override { steps.push_back("show " + std::to_string(step)); }
    void CloseStatusDlg() override { steps.push_back("close"); }
    std::vector<std::string> steps;
};

// Adds a row at `location` of the message database.
void AddSMSRow(CJetDatabase& db, int location, int msgType)
{
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenTable, "EntrySMS");
    rs.SetCurrentIndex("indLoc");
    rs.SeekLocation(location);
    rs.Location = location;
    rs.msgType = static_cast<int16_t>(msgType);
    rs.Text = "row " + std::to_string(location);
    rs.Update();
    rs.Close();
}

long CountSMSRows(CJetDatabase& db)
{
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    return rs.GetRecordCount();
}

}  // namespace

TEST(DocFeatures, VersionTextsSetTheFlags)
{
    DocEnvironment env("PB=1.0,SMS=2.0,ST1=1.0,MDY=1.0");
    CZorqMMIDoc doc;
    doc.ParseMobileVersion("PB=1.0,SMS=3.0,MDY=0.5");
    EXPECT_TRUE(doc.IsFeaturePB());
    EXPECT_TRUE(doc.IsSMSAvailable());
    EXPECT_TRUE(doc.IsSMSExtendedAvailable());
    EXPECT_TRUE(doc.IsMultiBlockSMSAvailable());
    EXPECT_TRUE(doc.IsStatusReportAvailable());
    EXPECT_FALSE(doc.GetSCProfileMode());
    EXPECT_FALSE(doc.IsST1Available());  // the phone does not name it
    EXPECT_FALSE(doc.IsFeatureMDY());    // older than the program's
    EXPECT_FALSE(doc.IsSecurityAvailable());

    // An older message version gives basic support only.
    doc.ParseMobileVersion("SMS=1.5,ST1=2.0b");
    EXPECT_TRUE(doc.IsSMSAvailable());
    EXPECT_FALSE(doc.IsSMSExtendedAvailable());
    EXPECT_TRUE(doc.IsST1Available());
    EXPECT_TRUE(doc.IsSecurityAvailable());  // "2.0b" reads as 2.0
    EXPECT_FALSE(doc.IsFeaturePB());

    EXPECT_EQ(CZorqMMIDoc::GetFeatureVersion("PB=1.0,SMS=", "SMS="), 0.0);
    EXPECT_EQ(CZorqMMIDoc::GetFeatureVersion("PB=1.0", "SMS="), -1.0);
    EXPECT_EQ(CZorqMMIDoc::GetFeatureVersion("A=1,SMS=2.5,B=3", "SMS="), 2.5);

    MS_PARAM p;
    doc.ApplyFeatureFlags(p);
    EXPECT_EQ(p.pb[0].available, 0);
    EXPECT_EQ(p.sms.sim_read, 1);
    EXPECT_EQ(p.st1_available, 1);
}

TEST(DocFeatures, WithoutALinkOrVersionCheckTheDefaultsStay)
{
    DocEnvironment env("-1");
    CZorqMMIDoc doc;
    gv_SPIO_com_status = SPIO_com_available;
    doc.CheckMobileVersion();  // no request: the program's version is "-1"
    EXPECT_TRUE(doc.IsFeaturePB());
    EXPECT_TRUE(doc.IsSMSAvailable());
    EXPECT_TRUE(doc.IsFeatureCB());
    EXPECT_TRUE(doc.IsST1Available());
    EXPECT_FALSE(doc.IsSMSExtendedAvailable());
    gv_SPIO_com_status = SPIO_no_com_available;
}

TEST(DocCapabilities, DefaultsPCStoragesAndClockSettings)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    EXPECT_EQ(gv_pDoc, &doc);
    EXPECT_EQ(doc.GetMelodyMax(), 8);
    EXPECT_EQ(doc.GetMelodyNameMax(), 10);
    EXPECT_EQ(doc.GetMaxNbOfNotes(), 50);
    EXPECT_EQ(doc.GetMelodyTempoMin(), 1);
    EXPECT_EQ(doc.GetMelodyTempoMax(), 1000);
    EXPECT_EQ(doc.GetMelodyOctaveMin(), 3);
    EXPECT_EQ(doc.GetMelodyOctaveMax(), 6);
    EXPECT_EQ(doc.GetDefaultOctave(), 4);
    EXPECT_EQ(doc.GetMelodyNoteMin(), 'F');
    EXPECT_EQ(doc.GetMelodyNoteMax(), 'C');
    for (int pc : {0, 4}) {
        EXPECT_EQ(doc.GetPBMaxNumberLength(pc), 250);
        EXPECT_EQ(doc.GetPBMaxTextLength(pc), 250);
        EXPECT_EQ(doc.GetPBMaxLocation(pc), 65535);
        EXPECT_TRUE(doc.IsPBStorageRead(pc));
    }
    EXPECT_EQ(doc.GetPBMaxLocation(8), 0);
    doc.GetMSParam().pb[MTR_PB_REC_SIM_FDN].capacity = 10;
    EXPECT_EQ(doc.GetPBMaxLocation(6), 10);
    EXPECT_FALSE(doc.IsPBStorageRead(2));
    doc.SetPBStorageRead(6);
    EXPECT_TRUE(doc.IsPBStorageRead(2));

    EXPECT_EQ(doc.GetAlarmCard().GetOrganiserType(), ORG_TYPE_ALARM);
    EXPECT_EQ(doc.GetSwitchOnCard().GetOrganiserType(), ORG_TYPE_SWITCH_ON);
    EXPECT_EQ(doc.GetSwitchOffCard().GetOrganiserType(), ORG_TYPE_SWITCH_OFF);
    doc.mmi_ALA_get_alarm_cnf(1, 1, MTR_DATETIME{2026, 12, 8, 23, 15, 0});
    EXPECT_EQ(doc.GetSwitchOffCard().GetAlarmState(), 1);
    EXPECT_EQ(FormatHourMinute(doc.GetSwitchOffCard().GetDate()), "23:15");
    EXPECT_EQ(doc.GetAlarmCard().GetAlarmState(), 0);
    doc.mmi_ALA_get_alarm_cnf(3, 1, MTR_DATETIME{2026, 12, 8, 7, 0, 0});  // no such setting
    EXPECT_EQ(doc.GetAlarmCard().GetAlarmState(), 0);
    EXPECT_EQ(doc.GetSwitchOnCard().GetAlarmState(), 0);
}

TEST(DocIndicators, RegistrationAbroadOrAtHomeSetsTheRoamingDisplay)
{
    DocEnvironment env;
    env.app.m_pMainWnd = &env.window;
    CZorqMMIDoc doc;
    for (int state : {0, 5, 2, 3, 4, 1})
        doc.mmi_MNGT_registration_ind(state);
    env.Deliver();
    ASSERT_EQ(env.window.got.size(), 2u);
    EXPECT_EQ(env.window.got[0].message, WM_MMI_ROAMING_ICON);
    EXPECT_EQ(env.window.got[0].wParam, 1u);
    EXPECT_EQ(env.window.got[1].message, WM_MMI_ROAMING_ICON);
    EXPECT_EQ(env.window.got[1].wParam, 0u);
}

TEST(DocIndicators, PostedToTheMainWindowInOrderAndDroppedWithoutOne)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    doc.mmi_MNGT_signal_quality_ind(3);  // no main window yet: dropped
    env.app.m_pMainWnd = &env.window;
    doc.mmi_MNGT_battery_charge_ind(2);
    doc.mmi_MNGT_roaming_ind(1);
    doc.mmi_MNGT_registration_ind(2);  // searching: says nothing about roaming
    doc.mmi_MNGT_message_icon_ind(-1);
    doc.mmi_MNGT_voice_mail_icon_ind(1);
    {
        std::string name = "Tarvel Net";
        doc.mmi_MNGT_operator_name_ind(name);
        name.assign(name.size(), 'X');  // the engine's buffer is reused
    }
    doc.mmi_MNGT_operator_name_ind("Other");
    env.Deliver();
    ASSERT_EQ(env.window.got.size(), 6u);
    EXPECT_EQ(env.window.got[0].message, WM_MMI_BATTERY_CHARGE);
    EXPECT_EQ(env.window.got[0].wParam, 2u);
    EXPECT_EQ(env.window.got[1].message, WM_MMI_ROAMING_ICON);
    EXPECT_EQ(env.window.got[2].message, WM_MMI_MESSAGE_ICON);
    EXPECT_EQ(static_cast<int>(env.window.got[2].wParam), -1);
    EXPECT_EQ(env.window.got[3].message, WM_MMI_VOICE_MAIL_ICON);
    EXPECT_EQ(env.window.got[4].text, "Tarvel Net");
    EXPECT_EQ(env.window.got[5].text, "Other");
}

TEST(DocIndicators, FullSIMPostsBeforeTheQuestion)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    env.app.m_pMainWnd = &env.window;
    auto* m = new CMessage;  // a part still stored in the SIM
    m->SetMsgType2(1);
    m->SetNbBlocks(2);
    m->AddBlock(new CBlock("first", 3, 1));
    doc.GetSIMConcatList().AddMessage(m);
    env.app.dialogResult = 7;  // No
    env.app.systemResult = 7;
    doc.mmi_MNGT_sms_full_ind(0);  // not full: nothing asked
    EXPECT_TRUE(env.app.shown.empty());
    // When the question comes, the 0x810 message with 1 is already posted.
    std::vector<Posted> atQuestion;
    env.app.on_box = [&] {
        env.Deliver();
        atQuestion = env.window.got;
    };
    doc.mmi_MNGT_sms_full_ind(1);
    env.app.on_box = nullptr;
    ASSERT_EQ(env.app.shown.size(), 1u);
    ASSERT_EQ(atQuestion.size(), 2u);
    EXPECT_EQ(atQuestion[0].message, WM_MMI_SMS_FULL);
    EXPECT_EQ(atQuestion[0].wParam, 0u);
    EXPECT_EQ(atQuestion[1].message, WM_MMI_SMS_FULL);
    EXPECT_EQ(atQuestion[1].wParam, 1u);
    EXPECT_NE(env.Boxes()[0].find("SIM message memory is full"), std::string::npos);
    // Refused: the part stays.
    EXPECT_EQ(doc.GetSIMConcatList().GetAt(0)->CountStoredParts(), 1);
}

TEST(DocCallStatus, StepsDriveTheDialogAndEndIt)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    RecordingWindows w;
    doc.SetWindows(&w);
    doc.UpdateStatusDlg(0);  // no dialog: dropped
    EXPECT_TRUE(w.steps.empty());
    doc.OpenStatusDlg("+33123");
    doc.UpdateStatusDlg(0);
    doc.UpdateStatusDlg(1);
    doc.UpdateStatusDlg(4);  // not a step
    doc.UpdateStatusDlg(2);  // NO CARRIER: shown a second, then closed
    doc.UpdateStatusDlg(3);  // the dialog is gone
    EXPECT_EQ(w.steps, (std::vector<std::string>{"open +33123", "show 2", "show 3", "show 4", "close"}));
    EXPECT_FALSE(doc.HasStatusDlg());
    doc.SetWindows(nullptr);
}

TEST(DocDatabases, FreePlacesAndRoomInThePhonebookMirrors)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    doc.GetMSParam().pb[MTR_PB_REC_SIM_ADN].capacity = 250;
    ASSERT_TRUE(doc.CreatePBMirrorDatabase(1));
    CJetDatabase* db = nullptr;
    ASSERT_EQ(doc.OpenPBDatabase(&db, 5, ""), 0);
    ASSERT_TRUE(db && db->IsOpen());
    EXPECT_EQ(doc.GetFreePBLocation(5), 1);
    {
        CEntryPhoneRecordset rs(db);
        rs.Open(dbOpenTable, "EntryPhone");
        rs.SetCurrentIndex("indLoc");
        for (int loc = 1; loc <= 240; ++loc) {
            if (loc == 3)
                continue;
            rs.AddNewAtLocation(loc);
            rs.Location = static_cast<int16_t>(loc);
            rs.Name = "n";
            rs.Phone = "1";
            rs.Update();
        }
    }
    EXPECT_EQ(doc.GetFreePBLocation(5), 3);
    int room = -1;
    EXPECT_FALSE(doc.CheckPBRoom(5, 20, &room, false));
    EXPECT_EQ(room, 11);  // 239 rows of 250
    EXPECT_TRUE(doc.CheckPBRoom(5, 20, &room, true));
    doc.GetMSParam().pb[MTR_PB_REC_SIM_ADN].capacity = 239;
    EXPECT_EQ(doc.GetFreePBLocation(5), 3);
    // No database for the role: nothing is free, there is no room.
    EXPECT_EQ(doc.GetFreePBLocation(8), -1);
    EXPECT_FALSE(doc.CheckPBRoom(8, 1, &room, false));
}

TEST(DocDatabases, MessageRoomCountsOnlyArrivalsNotYetInTheRows)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    doc.GetMSParam().sms.sim_size = 5;
    ASSERT_TRUE(doc.PrepareSIMSMSDatabase());
    CJetDatabase* db = nullptr;
    ASSERT_EQ(doc.OpenSMSDatabase(&db, SMS_DST_SIM, ""), 0);
    ASSERT_TRUE(db && db->IsOpen());
    EXPECT_EQ(db->GetName(), env.dir.path() + "Work/SMSimSIM.mdb");

    // Before the SIM was read only the full indicator counts.
    int free = -1;
    EXPECT_TRUE(doc.CheckSMSRoom(SMS_DST_SIM, 1, &free, false));
    doc.SetSIMFull(true);
    EXPECT_FALSE(doc.CheckSMSRoom(SMS_DST_SIM, 1, &free, false));
    doc.SetSIMFull(false);

    AddSMSRow(*db, 1, 1);
    AddSMSRow(*db, 2, 0);
    doc.SetSIMSMSRead(SMS_SRC_SIM);
    EXPECT_TRUE(doc.CheckSMSRoom(SMS_DST_SIM, 3, &free, false));
    EXPECT_EQ(free, 3);
    doc.mmi_MNGT_sms_received(SMS_SRC_SIM, 3);
    doc.mmi_MNGT_sms_received(SMS_SRC_SIM, 4);
    EXPECT_EQ(doc.GetNewMsgCount(), 2);
    EXPECT_FALSE(doc.CheckSMSRoom(SMS_DST_SIM, 2, &free, false));
    EXPECT_EQ(free, 1);
    // The screen copies message 3 into the mirror, then the user deletes
    // message 1: it is counted once, and the freed place is seen.
    AddSMSRow(*db, 3, 0);
    {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenTable, "EntrySMS");
        rs.SetCurrentIndex("indLoc");
        ASSERT_TRUE(rs.Seek("=", CVariant::Long(1)));
        rs.Delete();
    }
    EXPECT_TRUE(doc.CheckSMSRoom(SMS_DST_SIM, 2, &free, false));
    EXPECT_EQ(free, 2);
    // Emptied first: the rows do not count, the unread arrival still does.
    EXPECT_TRUE(doc.CheckSMSRoom(SMS_DST_SIM, 4, &free, true));
    EXPECT_FALSE(doc.CheckSMSRoom(SMS_DST_SIM, 5, &free, true));

    EXPECT_EQ(doc.GetFreeSMSLocation(SMS_DST_SIM), 1);
    AddSMSRow(*db, 1, 1);
    AddSMSRow(*db, 5, 1);
    EXPECT_EQ(doc.GetFreeSMSLocation(SMS_DST_SIM), 4);
    AddSMSRow(*db, 4, 1);
    EXPECT_EQ(doc.GetFreeSMSLocation(SMS_DST_SIM), -1);
}

TEST(DocDatabases, PCRoomAndFreePlaceAreThoseOfTheFileTheRoleHasOpen)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    const std::string folder = env.dir.path() + "Database/";
    for (const char* name : {"defsms.mdb", "other.mdb"}) {
        ASSERT_TRUE(CreateSMSDatabase(folder + name));
        SetSMSConf(0, folder + name, true);
    }
    // The profile's file holds places 1 and 2; another file holds 1 to 300.
    CJetDatabase* db = nullptr;
    ASSERT_EQ(doc.OpenSMSDatabase(&db, SMS_DST_PC, folder + "defsms.mdb"), 0);
    AddSMSRow(*db, 1, 1);
    AddSMSRow(*db, 2, 1);
    ASSERT_EQ(doc.OpenSMSDatabase(&db, SMS_DST_PC, folder + "other.mdb"), 0);
    db->BeginTrans();
    for (int loc = 1; loc <= 300; ++loc)
        AddSMSRow(*db, loc, 1);
    db->CommitTrans();
    // A copy into the other file counts and places in that file.
    EXPECT_EQ(doc.GetFreeSMSLocation(SMS_DST_PC), 301);
    int free = -1;
    EXPECT_TRUE(doc.CheckSMSRoom(SMS_DST_PC, 1, &free, false));
    EXPECT_EQ(free, 65535 - 300);
    EXPECT_EQ(doc.m_dbSMSDst.GetName(), folder + "other.mdb");
    // With no file open for the role, the profile's file is the PC store.
    doc.CloseSMSDatabases(1);
    EXPECT_EQ(doc.GetFreeSMSLocation(SMS_DST_PC), 3);
}

TEST(DocConcatLists, CloseSavesFirstAndKeepsRowsWhenTheSaveFails)
{
    DocEnvironment env;
    auto makeList = [](CZorqMMIDoc& doc) {
        auto* m = new CMessage;
        m->SetMsgType2(1);
        m->AddAddress("", "+3361");
        m->SetNbBlocks(2);
        m->SetConcatRef(4);
        m->SetConcatStatus(0);
        m->AddBlock(new CBlock("half", 0, 1));
        doc.GetPCConcatList().AddMessage(m);
        doc.SaveConcatListInDB(SMS_DST_PC);
    };
    const std::string pcdb = env.dir.path() + "Database/defsms.mdb";
    ASSERT_TRUE(CreateSMSDatabase(pcdb));
    SetSMSConf(0, pcdb, true);
    {
        CZorqMMIDoc doc;
        makeList(doc);
        CJetDatabase db;
        db.Open(pcdb);
        EXPECT_EQ(CountSMSRows(db), 1);
        // The list file cannot be written (a folder holds its name).
        std::filesystem::create_directory(doc.GetPCConcatListPath());
        EXPECT_FALSE(doc.OnCloseDocument());
        EXPECT_EQ(CountSMSRows(db), 1);  // the message is not lost
        std::filesystem::remove(doc.GetPCConcatListPath());
        EXPECT_TRUE(doc.OnCloseDocument());
        EXPECT_EQ(CountSMSRows(db), 0);
        EXPECT_TRUE(std::filesystem::exists(doc.GetPCConcatListPath()));
    }
    // The next start loads the list and rebuilds its row.
    CZorqMMIDoc doc;
    doc.LoadConcatLists();
    ASSERT_EQ(doc.GetPCConcatList().GetCount(), 1);
    CJetDatabase db;
    db.Open(pcdb);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.msgType, 5);
    EXPECT_EQ(rs.AddrList, "@+3361\r\n");
    EXPECT_NE(rs.Text.find("half..."), std::string::npos);
}

TEST(DocConcatLists, ADamagedListFileIsSetAsideAndTheStartGoesOn)
{
    DocEnvironment env;
    CZorqMMIDoc doc;
    const std::string path = doc.GetSIMConcatListPath();
    WriteFile(path, std::string("\x02\x00\xff\xff\x00\x00\x08\x00" "CMess", 13));
    doc.LoadConcatLists();
    EXPECT_EQ(doc.GetSIMConcatList().GetCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadFile(path + ".bad").size(), 13u);
}

TEST(DocConcatLists, EveryDamagedShapeIsNamedAndNoneIsReplacedByLess)
{
    DocEnvironment env;
    const std::string pcdb = env.dir.path() + "Database/defsms.mdb";
    ASSERT_TRUE(CreateSMSDatabase(pcdb));
    SetSMSConf(0, pcdb, true);
    // A good list file to cut short.
    std::string good;
    {
        CZorqMMIDoc doc;
        auto* m = new CMessage;
        m->SetMsgType2(1);
        m->AddAddress("", "+3361");
        m->SetNbBlocks(2);
        m->SetConcatRef(4);
        m->AddBlock(new CBlock("half of a long message", 0, 1));
        doc.GetSIMConcatList().AddMessage(m);
        ASSERT_TRUE(doc.SaveConcatLists());
        good = ReadFile(doc.GetSIMConcatListPath());
        ASSERT_GT(good.size(), 20u);
    }
    const std::string work = env.app.GetWorkDirectory();
    for (const auto& d : zorqtest::WriteDamagedShapes(work, "shape", ".lst", good)) {
        SCOPED_TRACE(d.shape);
        CZorqMMIDoc doc;
        const std::string path = doc.GetSIMConcatListPath();
        std::filesystem::remove_all(path);
        std::filesystem::remove_all(path + ".bad");
        std::filesystem::rename(d.path, path);
        env.app.shown.clear();
        UiForgetReportedFiles();  // each shape as in a run of its own
        doc.LoadConcatLists();
        EXPECT_EQ(doc.GetSIMConcatList().GetCount(), 0);
        if (d.shape == "empty") {
            // An empty file is an empty list: nothing to tell.
            EXPECT_TRUE(env.Boxes().empty());
            continue;
        }
        ASSERT_EQ(env.Boxes().size(), 1u);
        EXPECT_NE(env.Boxes()[0].find("The file " + path + " cannot be read"), std::string::npos) << env.Boxes()[0];
        // A message received now is kept; saving never puts the new, shorter
        // list in place of what could not be read.
        auto* m = new CMessage;
        m->SetMsgType2(1);
        m->AddAddress("", "+3362");
        m->SetNbBlocks(2);
        m->SetConcatRef(5);
        m->AddBlock(new CBlock("new", 0, 1));
        doc.GetSIMConcatList().AddMessage(m);
        doc.SaveConcatLists();
        struct stat st{};
        if (d.shape == "folder")
            EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        else if (d.shape == "unreadable")
            EXPECT_TRUE(::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        else  // cut short, random bytes: set aside whole
            EXPECT_EQ(ReadFile(path + ".bad").size(), d.shape == "cut" ? good.size() / 2 : 700u);
    }
}

TEST(DocLifetime, MirrorsAndTemporaryFilesGoWithTheDocument)
{
    DocEnvironment env;
    std::string temp;
    const std::string other = std::filesystem::temp_directory_path() / "zorq-not-ours.vcf";
    WriteFile(other, "BEGIN:VCARD");
    {
        CZorqMMIDoc doc;
        for (int s : {1, 2, 3})
            ASSERT_TRUE(doc.CreatePBMirrorDatabase(s));
        ASSERT_TRUE(doc.PrepareSIMSMSDatabase());
        for (int s : {1, 2, 3})
            EXPECT_TRUE(std::filesystem::exists(GetPBDatabaseName(s)));
        EXPECT_TRUE(std::filesystem::exists(GetSMSimSIMPath(1)));
        temp = doc.GetTempVCardFolder();
        ASSERT_FALSE(temp.empty());
        WriteFile(temp + "a.vcf", "x");
    }
    EXPECT_EQ(gv_pDoc, nullptr);
    for (int s : {1, 2, 3})
        EXPECT_FALSE(std::filesystem::exists(GetPBDatabaseName(s)));
    EXPECT_FALSE(std::filesystem::exists(GetSMSimSIMPath(1)));
    EXPECT_TRUE(std::filesystem::exists(GetPerMsgSMPath(1)));
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_TRUE(std::filesystem::exists(other));
    std::filesystem::remove(other);
}
