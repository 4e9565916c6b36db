#include "pbdatabase.h"

#include "../app/test_support.h"
#include "utilities.h"
#include "strutil.h"

#include <gtest/gtest.h>

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;

namespace {

class PhonebookDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltBundle(), dir_.path() + "ZORQenu.rcc"));
        ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
        pc_ = app_.GetFolderPath() + "defpb.mdb";
    }

    // A file in an older layout: version 1, no ShortPhone, no unique index.
    void MakeVersion1(const std::string& path, bool withConfRow, int rows, bool duplicate = false)
    {
        CDaoDatabase db;
        db.Create(path);
        db.CreateTableDef("PhoneConf", {{"version", dbInteger, 0}, {"memType", dbInteger, 0},
                                        {"maxLoc", dbInteger, 0}});
        db.CreateTableDef("EntryPhone", {{"Location", dbInteger, 0}, {"Name", dbText, 250},
                                         {"Phone", dbText, 250}, {"Address", dbMemo, 0},
                                         {"Otherphone", dbText, 250}, {"Fax", dbText, 250},
                                         {"Email", dbText, 250}, {"Company", dbText, 250},
                                         {"Notes", dbMemo, 0}});
        db.BeginTrans();
        if (withConfRow) {
            CDaoRecordset conf(&db);
            conf.Open(dbOpenDynaset, "[PhoneConf]");
            conf.AddNew();
            conf.SetFieldValue("version", CVariant::Short(1));
            conf.SetFieldValue("memType", CVariant::Short(3));
            conf.Update();
        }
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntryPhone]");
        for (int i = 0; i < rows; ++i) {
            rs.AddNew();
            const int loc = (duplicate && i == rows - 1) ? 0 : i;
            rs.SetFieldValue("Location", CVariant::Short(static_cast<int16_t>(loc)));
            rs.SetFieldValue("Name", CVariant::Text("Name " + std::to_string(i)));
            rs.SetFieldValue("Phone", CVariant::Text(i == 0 ? "+33 (1) 23-45 p6" : "++12"));
            rs.SetFieldValue("Address", CVariant::Text("Street " + std::to_string(i)));
            rs.SetFieldValue("Otherphone", CVariant::Text("o" + std::to_string(i)));
            rs.SetFieldValue("Fax", CVariant::Text("f" + std::to_string(i)));
            rs.SetFieldValue("Email", CVariant::Text("e" + std::to_string(i) + "@x"));
            rs.SetFieldValue("Company", CVariant::Text("c" + std::to_string(i)));
            rs.SetFieldValue("Notes", CVariant::Text("n" + std::to_string(i)));
            rs.Update();
        }
        db.CommitTrans();
    }

    // A file of the current version written before the number type was
    // kept: the ten columns, the index and the configuration row.
    void MakeWithoutNumberType(const std::string& path)
    {
        CDaoDatabase db;
        db.Create(path);
        db.CreateTableDef("PhoneConf", {{"version", dbInteger, 0}, {"memType", dbInteger, 0},
                                        {"maxLoc", dbInteger, 0}});
        db.CreateTableDef("EntryPhone", {{"Location", dbInteger, 0}, {"Name", dbText, 250},
                                         {"Phone", dbText, 250}, {"ShortPhone", dbText, 250},
                                         {"Address", dbMemo, 0}, {"Otherphone", dbText, 250},
                                         {"Fax", dbText, 250}, {"Email", dbText, 250},
                                         {"Company", dbText, 250}, {"Notes", dbMemo, 0}});
        CreateLocationIndex(db, "EntryPhone");
        CDaoRecordset conf(&db);
        conf.Open(dbOpenDynaset, "[PhoneConf]");
        conf.AddNew();
        conf.SetFieldValue("version", CVariant::Short(2));
        conf.SetFieldValue("memType", CVariant::Short(0));
        conf.Update();
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntryPhone]");
        rs.AddNew();
        rs.SetFieldValue("Location", CVariant::Short(1));
        rs.SetFieldValue("Name", CVariant::Text("Old"));
        rs.SetFieldValue("Phone", CVariant::Text("0611"));
        rs.SetFieldValue("ShortPhone", CVariant::Text("0611"));
        rs.Update();
    }

    TempProgramDir dir_;
    zorqtest::RecordingApp app_;
    std::string pc_;
};

TEST_F(PhonebookDbTest, CreationWritesTheLayoutAndRefusesAnExistingFile)
{
    ASSERT_TRUE(CreatePBDatabase(pc_));
    WritePhoneConf(0, pc_, true);
    const std::string before = ReadFile(pc_);
    EXPECT_FALSE(CreatePBDatabase(pc_));
    EXPECT_EQ(ReadFile(pc_), before);

    CJetDatabase db;
    db.Open(pc_);
    EXPECT_EQ(db.GetTableDefNames(), (std::vector<std::string>{"EntryPhone", "PhoneConf"}));
    CPhoneConfRecordset conf(&db);
    conf.Open();
    ASSERT_FALSE(conf.IsEOF());
    EXPECT_EQ(conf.version, 2);
    EXPECT_EQ(conf.memType, 0);
    EXPECT_TRUE(conf.GetFieldValue("maxLoc").IsNull());  // never written
    CEntryPhoneRecordset rs(&db);
    rs.Open();
    const char* columns[] = {"Location", "Name", "Phone", "ShortPhone", "Address",   "Otherphone",
                             "Fax",      "Email", "Company", "Notes",    "NumberType"};
    ASSERT_EQ(rs.GetFieldCount(), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(rs.GetFieldName(i), columns[i]);
    EXPECT_EQ(db.GetIndexField("EntryPhone", "indLoc"), "Location");
    EXPECT_TRUE(OpenPBDatabase(pc_));
    EXPECT_TRUE(app_.shown.empty());
}

TEST_F(PhonebookDbTest, UniqueIndexRefusesASecondEntryAtALocation)
{
    ASSERT_TRUE(CreatePBDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset);
    rs.AddNew();
    rs.Location = 4;
    rs.Name = "Alice";
    rs.Update();
    rs.AddNew();
    rs.Location = 4;
    rs.Name = "Bob";
    EXPECT_THROW(rs.Update(), CDaoException);

    // The way entries are rewritten: the old row at the location goes first.
    CEntryPhoneRecordset table(&db);
    table.Open(dbOpenTable);
    table.SetCurrentIndex("indLoc");
    table.AddNewAtLocation(4);
    table.Location = 4;
    table.Name = "Bob";
    table.Update();
    table.AddNewAtLocation(9);
    table.Location = 9;
    table.Name = "Carol";
    table.Update();
    CEntryPhoneRecordset check(&db);
    check.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    ASSERT_EQ(check.GetRecordCount(), 2);
    PBEntry e;
    e.SetFromRecordset(check);
    EXPECT_EQ(e.Name, "Bob");
    check.MoveNext();
    EXPECT_EQ(check.Name, "Carol");
    // A name longer than the field is refused, not cut.
    table.AddNewAtLocation(10);
    table.Location = 10;
    table.Name = std::string(251, 'n');
    EXPECT_THROW(table.Update(), CDaoException);

    // A replacing row that fails or is given up leaves the old one in place.
    for (int attempt = 0; attempt < 3; ++attempt) {
        table.AddNewAtLocation(4);
        table.Location = 4;
        table.Name = attempt == 0 ? std::string(251, 'n') : "Dave";
        if (attempt == 0)
            EXPECT_THROW(table.Update(), CDaoException);
        else if (attempt == 1)
            table.CancelUpdate();
        else
            table.Close();
        CEntryPhoneRecordset again(&db);
        again.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
        ASSERT_EQ(again.GetRecordCount(), 2) << attempt;
        EXPECT_EQ(again.Name, "Bob") << attempt;
    }
    table.Open(dbOpenTable);
    table.SetCurrentIndex("indLoc");
    table.AddNewAtLocation(4);
    table.Location = 4;
    table.Name = "Erin";
    table.Update();
    ASSERT_TRUE(table.Seek("=", CVariant::Short(4)));
    EXPECT_EQ(table.Name, "Erin");
}

TEST_F(PhonebookDbTest, MirrorsGetTheirStorageMemType)
{
    for (int code : {1, 5, 2, 6, 3, 7}) {
        const std::string path = GetPBDatabaseName(code);
        DeleteFileIfExists(path);
        ASSERT_TRUE(CreatePBDatabase(path));
        WritePhoneConf(code, path, true);
        CJetDatabase db;
        db.Open(path);
        CPhoneConfRecordset conf(&db);
        conf.Open();
        EXPECT_EQ(conf.memType, PBMemTypeOf(code)) << code;
        EXPECT_EQ(conf.memType, (code - 1) % 4 + 1) << code;
    }
    // Editing the row on an empty table is silently ignored.
    const std::string path = GetPBDatabaseName(1);
    DeleteFileIfExists(path);
    ASSERT_TRUE(CreatePBDatabase(path));
    WritePhoneConf(1, path, false);
    CJetDatabase db;
    db.Open(path);
    CPhoneConfRecordset conf(&db);
    conf.Open();
    EXPECT_TRUE(conf.IsEOF());
}

TEST_F(PhonebookDbTest, EmptyConfigurationIsConverted)
{
    ASSERT_TRUE(CreatePBDatabase(pc_));
    EXPECT_TRUE(OpenPBDatabase(pc_));
    CJetDatabase db;
    db.Open(pc_);
    CPhoneConfRecordset conf(&db);
    conf.Open();
    ASSERT_FALSE(conf.IsEOF());
    EXPECT_EQ(conf.version, 2);
    EXPECT_EQ(conf.memType, 0);
    EXPECT_FALSE(FileExists(app_.GetFolderPath() + "PBTmpCvt.mdb"));
}

TEST_F(PhonebookDbTest, OlderLayoutKeepsEveryRowAndGainsShortPhone)
{
    MakeVersion1(pc_, true, 300);
    ASSERT_TRUE(OpenPBDatabase(pc_));
    EXPECT_TRUE(app_.shown.empty());
    CJetDatabase db;
    db.Open(pc_);
    CPhoneConfRecordset conf(&db);
    conf.Open();
    EXPECT_EQ(conf.version, 2);
    EXPECT_EQ(conf.memType, 3);  // the old row's memory type stays
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    ASSERT_EQ(rs.GetRecordCount(), 300);
    for (int i = 0; i < 300; ++i, rs.MoveNext()) {
        ASSERT_EQ(rs.Location, i);
        EXPECT_EQ(rs.Name, "Name " + std::to_string(i));
        EXPECT_EQ(rs.Address, "Street " + std::to_string(i));
        EXPECT_EQ(rs.Otherphone, "o" + std::to_string(i));
        EXPECT_EQ(rs.Fax, "f" + std::to_string(i));
        EXPECT_EQ(rs.Email, "e" + std::to_string(i) + "@x");
        EXPECT_EQ(rs.Company, "c" + std::to_string(i));
        EXPECT_EQ(rs.Notes, "n" + std::to_string(i));
        EXPECT_EQ(rs.ShortPhone, i == 0 ? "+3312345p6" : "+12");
    }
    EXPECT_EQ(db.GetIndexField("EntryPhone", "indLoc"), "Location");
}

TEST_F(PhonebookDbTest, ConversionFailingMidwayLeavesTheOldFileIntact)
{
    // Two rows at one location: the new layout's unique index refuses the
    // second, half-way through the copy.
    MakeVersion1(pc_, true, 50, true);
    const std::string before = ReadFile(pc_);
    EXPECT_FALSE(OpenPBDatabase(pc_));
    EXPECT_EQ(ReadFile(pc_), before);
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_TRUE(app_.shown[0].text.contains(QString::fromStdString(pc_)));
    EXPECT_EQ(app_.shown[0].text, app_.FormatString(31465, {QString::fromStdString(pc_)}));
}

TEST_F(PhonebookDbTest, WrongFilesAreRefusedWithTheirMessages)
{
    // A message database is not a phonebook.
    {
        CDaoDatabase db;
        db.Create(pc_);
        db.CreateTableDef("SMSConf", {{"version", dbInteger, 0}});
        db.CreateTableDef("EntrySMS", {{"Location", dbInteger, 0}});
    }
    EXPECT_FALSE(OpenPBDatabase(pc_));
    const std::string junk = app_.GetFolderPath() + "junk.mdb";
    zorqtest::WriteFile(junk, std::string(4096, 'j'));
    EXPECT_FALSE(OpenPBDatabase(junk));
    ASSERT_EQ(app_.shown.size(), 2u);
    EXPECT_EQ(app_.shown[0].text, app_.FormatString(31319, {QString::fromStdString(pc_)}));
    EXPECT_EQ(app_.shown[1].text, app_.FormatString(31456, {QString::fromStdString(junk)}));
    EXPECT_EQ(ReadFile(junk), std::string(4096, 'j'));
}

TEST_F(PhonebookDbTest, AFileWithoutTheNumberTypeWorksAndGainsItWhenChecked)
{
    MakeWithoutNumberType(pc_);
    // Read and written as it is: the type reads as unknown, a new row goes
    // in without it.
    {
        CJetDatabase db;
        db.Open(pc_);
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenTable, "EntryPhone");
        rs.SetCurrentIndex("indLoc");
        ASSERT_TRUE(rs.Seek("=", CVariant::Short(1)));
        EXPECT_EQ(rs.Name, "Old");
        EXPECT_EQ(rs.NumberType, 0);
        rs.AddNewAtLocation(2);
        rs.Location = 2;
        rs.Name = "New";
        rs.Phone = rs.ShortPhone = "0622";
        rs.NumberType = 161;
        rs.Update();
        EXPECT_EQ(rs.GetFieldCount(), 10);
    }
    // The check before use keeps the version and every row, and adds the
    // column, empty in the old rows.
    const std::string before = ReadFile(pc_);
    ASSERT_TRUE(OpenPBDatabase(pc_));
    EXPECT_TRUE(app_.shown.empty());
    EXPECT_NE(ReadFile(pc_), before);
    CJetDatabase db;
    db.Open(pc_);
    CPhoneConfRecordset conf(&db);
    conf.Open();
    EXPECT_EQ(conf.version, 2);
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    ASSERT_EQ(rs.GetFieldCount(), 11);
    ASSERT_EQ(rs.GetRecordCount(), 2);
    EXPECT_EQ(rs.Name, "Old");
    EXPECT_TRUE(rs.GetFieldValue("NumberType").IsNull());
    rs.MoveNext();
    EXPECT_EQ(rs.Name, "New");
    EXPECT_EQ(rs.NumberType, 0);
    rs.Edit();
    rs.NumberType = 161;
    rs.Update();
    rs.Close();
    CEntryPhoneRecordset again(&db);
    again.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    again.MoveNext();
    EXPECT_EQ(again.NumberType, 161);
    // Checked again: nothing more to add.
    db.Close();
    const std::string after = ReadFile(pc_);
    EXPECT_TRUE(OpenPBDatabase(pc_));
    EXPECT_EQ(ReadFile(pc_), after);
}

TEST(PBEntry, StartsEmptyAndClears)
{
    PBEntry e;
    e.Location = 3;
    e.Notes = "x";
    e.Clear();
    EXPECT_EQ(e.Location, 0);
    EXPECT_EQ(e.Notes, "");
}

}  // namespace
