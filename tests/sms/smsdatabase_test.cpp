#include "smsdatabase.h"

#include "../app/test_support.h"
#include "strutil.h"
#include "utilities.h"

#include <gtest/gtest.h>

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;

namespace {

class SmsDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltBundle(), dir_.path() + "ZORQenu.rcc"));
        ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
        pc_ = app_.GetFolderPath() + "defsms.mdb";
    }

    // An older layout of the given version with `rows` messages.
    void MakeOld(int version, int rows)
    {
        CDaoDatabase db;
        db.Create(pc_);
        db.CreateTableDef("SMSConf", {{"version", dbInteger, 0}, {"memType", dbInteger, 0},
                                      {"maxLoc", dbInteger, 0}});
        std::vector<CDaoFieldInfo> cols = {{"Location", dbInteger, 0}, {"msgType", dbInteger, 0},
                                           {"Date", dbDate, 0}, {"Text", dbMemo, 0}};
        if (version < 3) {
            cols.push_back({"Name", dbText, 250});
            cols.push_back({"Phone", dbText, 250});
        } else {
            cols.push_back({"AddrList", dbMemo, 0});
            cols.push_back({"SortAddr", dbText, 50});
        }
        db.CreateTableDef("EntrySMS", cols);
        db.BeginTrans();
        CDaoRecordset conf(&db);
        conf.Open(dbOpenDynaset, "[SMSConf]");
        conf.AddNew();
        conf.SetFieldValue("version", CVariant::Short(static_cast<int16_t>(version)));
        conf.SetFieldValue("memType", CVariant::Short(1));
        conf.Update();
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntrySMS]");
        for (int i = 0; i < rows; ++i) {
            rs.AddNew();
            rs.SetFieldValue("Location", CVariant::Short(static_cast<int16_t>(i + 1)));
            rs.SetFieldValue("msgType", CVariant::Short(static_cast<int16_t>(i % 4)));
            rs.SetFieldValue("Date", CVariant::Date(40000.25 + i));
            rs.SetFieldValue("Text", CVariant::Text("text " + std::to_string(i)));
            if (version < 3) {
                rs.SetFieldValue("Name", CVariant::Text("N@me"));
                rs.SetFieldValue("Phone", CVariant::Text("+4912"));
            } else {
                rs.SetFieldValue("AddrList", CVariant::Text("A@1\r\nB@2\r\n"));
                rs.SetFieldValue("SortAddr", CVariant::Text("A@1\r\nB@2\r\n"));
            }
            rs.Update();
        }
        db.CommitTrans();
    }

    TempProgramDir dir_;
    zorqtest::RecordingApp app_;
    std::string pc_;
};

TEST_F(SmsDbTest, CreationAndConfigurationRow)
{
    ASSERT_TRUE(CreateSMSDatabase(pc_));
    EXPECT_FALSE(CreateSMSDatabase(pc_));
    SetSMSConf(0, pc_, true);
    const std::string sim = GetSMSimSIMPath(1);
    EXPECT_EQ(sim, dir_.path() + "Work/SMSimSIM.mdb");
    ASSERT_TRUE(CreateSMSDatabase(sim));
    SetSMSConf(4, sim, true);
    for (const auto& [path, memType] : {std::pair{pc_, 0}, std::pair{sim, 1}}) {
        CJetDatabase db;
        db.Open(path);
        CSMSConfRecordset conf(&db);
        conf.Open();
        ASSERT_FALSE(conf.IsEOF());
        EXPECT_EQ(conf.version, 4);
        EXPECT_EQ(conf.memType, memType);
        CEntrySMSRecordset rs(&db);
        rs.Open();
        EXPECT_EQ(rs.GetFieldCount(), 14);
        EXPECT_EQ(rs.GetFieldName(4), "Date");
        EXPECT_EQ(rs.GetFieldName(12), "Validity");
        EXPECT_EQ(rs.GetFieldName(13), "Coding");
    }
    // Editing the row turns a SIM mirror's memory type back to the PC's.
    SetSMSConf(2, sim, false);
    CJetDatabase db;
    db.Open(sim);
    CSMSConfRecordset conf(&db);
    conf.Open();
    EXPECT_EQ(conf.memType, 0);
    EXPECT_EQ(conf.GetRecordCount(), 1);
    EXPECT_TRUE(CheckSMSDatabase(pc_));
    EXPECT_TRUE(app_.shown.empty());
}

TEST_F(SmsDbTest, UniqueLocationAndDateStorage)
{
    ASSERT_TRUE(CreateSMSDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");
    rs.AddNew();
    rs.Location = 7;
    rs.Date = MakeDateTime(2003, 4, 5, 6, 7, 8);
    rs.SetAddresses("Ann", "+4411");
    rs.Update();
    rs.AddNew();
    rs.Location = 7;
    EXPECT_THROW(rs.Update(), CDaoException);
    ASSERT_TRUE(rs.Seek("=", CVariant::Text("7")));
    EXPECT_DOUBLE_EQ(rs.Date, MakeDateTime(2003, 4, 5, 6, 7, 8));
    EXPECT_EQ(rs.GetFieldValue("Date").vt, VT_DATE);
    EXPECT_EQ(rs.AddrList, "Ann@+4411\r\n");
}

TEST_F(SmsDbTest, SeekLocationReplacesOrAddsAndCopyKeepsTheLocation)
{
    ASSERT_TRUE(CreateSMSDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");
    rs.SeekLocation(3);  // new location: a row is added
    rs.Location = 3;
    rs.Text = "first";
    rs.ServiceCentre = "+49";
    rs.Update();
    rs.SeekLocation(3);  // existing location: the row is replaced
    rs.Location = 3;
    rs.Text = "second";
    rs.Update();
    EXPECT_EQ(rs.GetRecordCount(), 1);
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(3)));
    EXPECT_EQ(rs.Text, "second");
    EXPECT_EQ(rs.ServiceCentre, "");

    CEntrySMSRecordset copy(&db);
    copy.Open(dbOpenDynaset);
    copy.AddNew();
    copy.CopyRecord(rs);
    copy.Location = 9;
    copy.Update();
    CEntrySMSRecordset check(&db);
    check.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Location");
    ASSERT_EQ(check.GetRecordCount(), 2);
    check.MoveLast();
    EXPECT_EQ(check.Location, 9);
    EXPECT_EQ(check.Text, "second");
}

TEST_F(SmsDbTest, AddressEntriesAreCleaned)
{
    EXPECT_EQ(MakeAddrEntry("A@n\r\nn", "+1@2\r\n3"), "Ann@+123\r\n");
    const std::string seventy(70, 'x');
    EXPECT_EQ(MakeSortAddr(seventy), std::string(50, 'x'));
    CEntrySMSRecordset rs(nullptr);
    rs.SetAddresses(std::string(60, 'n'), "1");
    EXPECT_EQ(rs.SortAddr, std::string(50, 'n'));
    for (int t : {5, 6, 7, 8, 10, 11, 13, 14, 16, 4, 17}) {
        rs.msgType = static_cast<int16_t>(t);
        rs.NormaliseMsgType();
        const int expected = t >= 5 && t <= 16 ? (t - 5) / 3 : t;
        EXPECT_EQ(rs.msgType, expected) << t;
    }
}

TEST_F(SmsDbTest, PathsForCodesWithoutAMirror)
{
    for (int code : {0, 2, 3, 5, 6}) {
        EXPECT_EQ(GetSMSimSIMPath(code), dir_.path() + "Work/");
        EXPECT_EQ(GetPerMsgSMPath(code), dir_.path() + "Work/");
    }
    EXPECT_EQ(GetPerMsgSMPath(4), dir_.path() + "Work/PerMsgSM.mdb");
}

TEST_F(SmsDbTest, Version3KeepsAddressesAndDefaultsTheNewColumns)
{
    MakeOld(3, 120);
    ASSERT_TRUE(CheckSMSDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CSMSConfRecordset conf(&db);
    conf.Open();
    EXPECT_EQ(conf.version, 4);
    EXPECT_EQ(conf.memType, 1);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Location");
    ASSERT_EQ(rs.GetRecordCount(), 120);
    for (int i = 0; i < 120; ++i, rs.MoveNext()) {
        EXPECT_EQ(rs.Location, i + 1);
        EXPECT_EQ(rs.msgType, i % 4);
        EXPECT_DOUBLE_EQ(rs.Date, 40000.25 + i);
        EXPECT_EQ(rs.Text, "text " + std::to_string(i));
        EXPECT_EQ(rs.AddrList, "A@1\r\nB@2\r\n");
        EXPECT_EQ(rs.SortAddr, "A@1\r\nB@2\r\n");
        EXPECT_EQ(rs.ServiceCentre, "");
        EXPECT_EQ(rs.Format, 0);
        EXPECT_EQ(rs.Validity, 0);
    }
    EXPECT_FALSE(FileExists(app_.GetWorkDirectory() + "SMTmpCvt.mdb"));
}

TEST_F(SmsDbTest, AFileThatLostItsConfigurationRowKeepsEveryColumn)
{
    // The current layout without its configuration row is converted again;
    // nothing of its messages may be lost on the way.
    ASSERT_TRUE(CreateSMSDatabase(pc_));
    {
        CJetDatabase db;
        db.Open(pc_);
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        rs.AddNew();
        rs.Location = 7;
        rs.msgType = 2;
        rs.MsgType2 = 1;
        rs.MsgRef = 42;
        rs.Date = 40100.5;
        rs.SetAddresses("Ann", "+4912");
        rs.Text = "kept";
        rs.StatusReport = 1;
        rs.ReplyPath = 1;
        rs.ServiceCentre = "+491710760000";
        rs.Format = 3;
        rs.Validity = 167;
        rs.Coding = 2;
        rs.Update();
    }
    ASSERT_TRUE(CheckSMSDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CEntrySMSRecordset rs(&db);
    rs.Open();
    ASSERT_EQ(rs.GetRecordCount(), 1);
    EXPECT_EQ(rs.Location, 7);
    EXPECT_EQ(rs.msgType, 2);
    EXPECT_EQ(rs.MsgType2, 1);
    EXPECT_EQ(rs.MsgRef, 42);
    EXPECT_DOUBLE_EQ(rs.Date, 40100.5);
    EXPECT_EQ(rs.AddrList, "Ann@+4912\r\n");
    EXPECT_EQ(rs.Text, "kept");
    EXPECT_EQ(rs.StatusReport, 1);
    EXPECT_EQ(rs.ReplyPath, 1);
    EXPECT_EQ(rs.ServiceCentre, "+491710760000");
    EXPECT_EQ(rs.Format, 3);
    EXPECT_EQ(rs.Validity, 167);
    EXPECT_EQ(rs.Coding, 2);
}

// A message database of the current layout written before the coding column
// existed: read as it is, its rows are 7-bit; the check adds the column
// without touching a row, and codings are kept from then on.
TEST_F(SmsDbTest, AFileWithoutTheCodingColumnKeepsWorkingAndGetsIt)
{
    {
        CDaoDatabase db;
        db.Create(pc_);
        db.CreateTableDef("SMSConf", {{"version", dbInteger, 0}, {"memType", dbInteger, 0},
                                      {"maxLoc", dbInteger, 0}});
        db.CreateTableDef("EntrySMS", {{"Location", dbLong, 0}, {"msgType", dbInteger, 0},
                                       {"MsgType2", dbInteger, 0}, {"MsgRef", dbInteger, 0},
                                       {"Date", dbDate, 0}, {"AddrList", dbMemo, 0},
                                       {"SortAddr", dbText, 50}, {"Text", dbMemo, 0},
                                       {"StatusReport", dbInteger, 0}, {"ReplyPath", dbInteger, 0},
                                       {"ServiceCentre", dbText, 250}, {"Format", dbInteger, 0},
                                       {"Validity", dbInteger, 0}});
        CreateLocationIndex(db, "EntrySMS");
    }
    SetSMSConf(0, pc_, true);
    {
        // Written and read back through the program's recordset, as the
        // message screen does before any check.
        CJetDatabase db;
        db.Open(pc_);
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenTable);
        rs.SetCurrentIndex("indLoc");
        EXPECT_FALSE(rs.HasCodingColumn());
        for (int i = 1; i <= 3; ++i) {
            rs.SeekLocation(i);
            rs.Location = i;
            rs.Text = "old " + std::to_string(i);
            rs.Coding = 2;  // nowhere to keep it
            rs.Update();
        }
        ASSERT_TRUE(rs.Seek("=", CVariant::Long(2)));
        EXPECT_EQ(rs.Text, "old 2");
        EXPECT_EQ(rs.Coding, 0);
    }
    ASSERT_TRUE(CheckSMSDatabase(pc_));
    EXPECT_TRUE(app_.shown.empty());
    CJetDatabase db;
    db.Open(pc_);
    CSMSConfRecordset conf(&db);
    conf.Open();
    EXPECT_EQ(conf.version, 4);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");
    EXPECT_TRUE(rs.HasCodingColumn());
    ASSERT_EQ(rs.GetRecordCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(rs.Seek("=", CVariant::Long(i)));
        EXPECT_EQ(rs.Text, "old " + std::to_string(i));
        EXPECT_EQ(rs.Coding, 0);
    }
    rs.SeekLocation(4);
    rs.Location = 4;
    rs.Text = "new";
    rs.Coding = 1;
    rs.Update();
    ASSERT_TRUE(rs.Seek("=", CVariant::Long(4)));
    EXPECT_EQ(rs.Coding, 1);
    // A second check changes nothing.
    rs.Close();
    db.Close();
    ASSERT_TRUE(CheckSMSDatabase(pc_));
    db.Open(pc_);
    CEntrySMSRecordset again(&db);
    again.Open();
    EXPECT_EQ(again.GetRecordCount(), 4);
    EXPECT_EQ(again.GetFieldCount(), 14);
}

TEST_F(SmsDbTest, Version1NameAndPhoneBecomeOneAddress)
{
    MakeOld(1, 3);
    ASSERT_TRUE(CheckSMSDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CEntrySMSRecordset rs(&db);
    rs.Open();
    ASSERT_EQ(rs.GetRecordCount(), 3);
    EXPECT_EQ(rs.AddrList, "Nme@+4912\r\n");
    EXPECT_EQ(rs.SortAddr, "Nme@+4912\r\n");
}

TEST_F(SmsDbTest, RefusedAndFailedFilesShowTheirMessages)
{
    {
        CDaoDatabase db;
        db.Create(pc_);
        db.CreateTableDef("EntryPhone", {{"Location", dbInteger, 0}});
    }
    EXPECT_FALSE(CheckSMSDatabase(pc_));
    const std::string junk = app_.GetFolderPath() + "junk.mdb";
    zorqtest::WriteFile(junk, std::string(2048, 'q'));
    EXPECT_FALSE(CheckSMSDatabase(junk));
    ASSERT_EQ(app_.shown.size(), 2u);
    EXPECT_EQ(app_.shown[0].text, app_.FormatString(31320, {QString::fromStdString(pc_)}));
    EXPECT_EQ(app_.shown[1].text, app_.FormatString(31456, {QString::fromStdString(junk)}));
}

TEST_F(SmsDbTest, FailedConversionKeepsTheOldFile)
{
    MakeOld(3, 10);
    {
        // A text too long for the new layout's sort column stops the copy.
        CDaoDatabase db;
        db.Open(pc_);
        db.ExecuteFixed("UPDATE EntrySMS SET SortAddr = '" + std::string(60, 's') +
                        "' WHERE Location = 5");
    }
    const std::string before = ReadFile(pc_);
    EXPECT_FALSE(CheckSMSDatabase(pc_));
    EXPECT_EQ(ReadFile(pc_), before);
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_EQ(app_.shown[0].text, app_.FormatString(31467, {QString::fromStdString(pc_)}));
}

}  // namespace
