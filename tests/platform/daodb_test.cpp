#include "daodb.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class DaoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = zorqtest::MakeTempFolder("zorq-dao-");
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "test.mdb";
        db_.Create(path_);
        db_.CreateTableDef("Entry", {{"Location", dbInteger, 0},
                                     {"Name", dbText, 10},
                                     {"Notes", dbMemo, 0},
                                     {"When", dbDate, 0}});
        db_.CreateIndex("Entry", "indLoc", "Location", true, true);
    }
    void TearDown() override
    {
        db_.Close();
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    void Add(int loc, const std::string& name)
    {
        CDaoRecordset rs(&db_);
        rs.Open(dbOpenDynaset, "[Entry]");
        rs.AddNew();
        rs.SetFieldValue("Location", CVariant::Short(static_cast<int16_t>(loc)));
        rs.SetFieldValue("Name", CVariant::Text(name));
        rs.Update();
    }

    std::string dir_, path_;
    CDaoDatabase db_;
};

class Entry : public CDaoRecordset {
public:
    using CDaoRecordset::CDaoRecordset;
    std::string GetDefaultSQL() override { return "[Entry]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override
    {
        fx.Short("Location", Location);
        fx.Text("Name", Name);
        fx.Date("When", When);
    }
    int16_t Location = 0;
    std::string Name;
    double When = 0;
};

TEST_F(DaoTest, UniqueIndexRefusesASecondRowWithTheSameLocation)
{
    Add(5, "first");
    EXPECT_THROW(Add(5, "second"), CDaoException);
    CDaoRecordset rs(&db_);
    rs.Open(dbOpenDynaset, "SELECT * FROM Entry");
    EXPECT_EQ(rs.GetRecordCount(), 1);
    EXPECT_EQ(rs.GetFieldValue("Name").AsText(), "first");
}

TEST_F(DaoTest, TableTypeSeekFollowsTheDescendingIndex)
{
    Add(3, "three");
    Add(9, "nine");
    Add(1, "one");
    Entry rs(&db_);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");
    EXPECT_EQ(rs.Location, 9);  // descending index: highest first
    ASSERT_TRUE(rs.Seek("=", CVariant::Text("3")));  // a text key finds the number
    EXPECT_EQ(rs.Name, "three");
    EXPECT_FALSE(rs.Seek("=", CVariant::Short(4)));
    // Replace the row at location 3, the way entries are rewritten.
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(3)));
    rs.Delete();
    rs.AddNew();
    EXPECT_EQ(rs.Name, "");  // a new row starts empty
    rs.Location = 3;
    rs.Name = "new three";
    rs.Update();
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(3)));
    EXPECT_EQ(rs.Name, "new three");
    EXPECT_EQ(rs.GetRecordCount(), 3);
}

TEST_F(DaoTest, DynasetWalkEditAndDelete)
{
    Add(1, "a");
    Add(2, "b");
    Add(3, "c");
    Entry rs(&db_);
    rs.Open(dbOpenDynaset, "SELECT * FROM Entry ORDER BY Location");
    std::string seen;
    while (!rs.IsEOF()) {
        if (rs.Location == 2) {
            rs.Delete();
        } else {
            rs.Edit();
            rs.Name += "!";
            rs.When = 36526.25;
            rs.Update();
        }
        rs.MoveNext();
    }
    Entry check(&db_);
    check.Open(dbOpenDynaset, "SELECT * FROM Entry ORDER BY Location DESC");
    ASSERT_EQ(check.GetRecordCount(), 2);
    EXPECT_EQ(check.Name, "c!");
    EXPECT_DOUBLE_EQ(check.When, 36526.25);
    EXPECT_EQ(check.GetFieldValue("When").vt, VT_DATE);
    check.MoveNext();
    EXPECT_EQ(check.Name, "a!");
    check.MoveNext();
    EXPECT_TRUE(check.IsEOF());
    EXPECT_THROW(check.MoveNext(), CDaoException);
}

TEST_F(DaoTest, ValuesAreBoundNeverPartOfTheStatement)
{
    const std::string hostile = "x'); DROP TABLE Entry; --";
    CDaoRecordset rs(&db_);
    rs.Open(dbOpenDynaset, "[Entry]");
    rs.AddNew();
    rs.SetFieldValue("Location", CVariant::Short(1));
    rs.SetFieldValue("Notes", CVariant::Text(hostile));
    rs.Update();
    EXPECT_TRUE(db_.HasTableDef("Entry"));
    CDaoRecordset back(&db_);
    back.Open(dbOpenDynaset, "[Entry]");
    EXPECT_EQ(back.GetFieldValue("Notes").AsText(), hostile);
    // Names that are not plain identifiers are refused outright.
    CDaoRecordset bad(&db_);
    EXPECT_THROW(bad.Open(dbOpenDynaset, "SELECT * FROM Entry; DROP TABLE Entry"), CDaoException);
}

TEST_F(DaoTest, FieldLimitsAreChecked)
{
    CDaoRecordset rs(&db_);
    rs.Open(dbOpenDynaset, "[Entry]");
    rs.AddNew();
    rs.SetFieldValue("Location", CVariant::Long(40000));
    EXPECT_THROW(rs.Update(), CDaoException);
    rs.AddNew();
    rs.SetFieldValue("Location", CVariant::Short(1));
    rs.SetFieldValue("Name", CVariant::Text("eleven char"));
    EXPECT_THROW(rs.Update(), CDaoException);
    EXPECT_EQ(rs.GetRecordCount(), 0);
    EXPECT_THROW(rs.Edit(), CDaoException);  // no current record
}

TEST_F(DaoTest, RollbackUndoesAndCommitKeeps)
{
    db_.BeginTrans();
    Add(1, "gone");
    db_.Rollback();
    db_.BeginTrans();
    Add(2, "kept");
    db_.CommitTrans();
    CDaoRecordset rs(&db_);
    rs.Open(dbOpenDynaset, "[Entry]");
    ASSERT_EQ(rs.GetRecordCount(), 1);
    EXPECT_EQ(rs.GetFieldValue("Location").AsInt(), 2);
}

TEST_F(DaoTest, CreateRefusesAnExistingFileAndOpenRefusesJunk)
{
    CDaoDatabase again;
    EXPECT_THROW(again.Create(path_), CDaoException);
    const std::string junk = dir_ + "junk.mdb";
    std::ofstream(junk) << "this is not a database at all, just some text of a decent length....";
    CDaoDatabase j;
    EXPECT_THROW(j.Open(junk), CDaoException);
    EXPECT_FALSE(j.IsOpen());
    CDaoDatabase missing;
    EXPECT_THROW(missing.Open(dir_ + "missing.mdb"), CDaoException);
    EXPECT_EQ(db_.GetTableDefNames(), std::vector<std::string>{"Entry"});
    EXPECT_TRUE(CheckSqliteEngine());
}

// The locations of a recordset from its first row to its last.
std::vector<int> Walk(Entry& rs)
{
    std::vector<int> out;
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext())
        out.push_back(rs.Location);
    return out;
}

void AddTo(Entry& rs, int loc)
{
    rs.AddNew();
    rs.Location = static_cast<int16_t>(loc);
    rs.Name = "n" + std::to_string(loc);
    rs.Update();
}

// Another connection's write while a read transaction is held: refused at
// once (no waiting), as another program's would wait; taken once it ended.
bool OtherWrites(const std::string& path, int loc)
{
    CDaoDatabase other;
    other.Open(path);
    other.ExecuteFixed("PRAGMA busy_timeout = 0");
    try {
        other.ExecuteFixed("INSERT INTO \"Entry\" (Location, Name) VALUES (" + std::to_string(loc) + ", 'other')");
        return true;
    } catch (const CDaoException&) {
        return false;
    }
}

TEST_F(DaoTest, AReadTransactionHoldsTheFileForItsReadsOnlyAndKeepsWhatIsWrittenMeanwhile)
{
    Add(1, "one");
    Add(2, "two");
    {
        CDaoReadTransaction reading(&db_);
        Entry rs(&db_);
        rs.Open(dbOpenDynaset, "SELECT * FROM Entry ORDER BY Location");
        EXPECT_EQ(Walk(rs), (std::vector<int>{1, 2}));
        EXPECT_FALSE(OtherWrites(path_, 3)) << "the rows read stay as they were read until the end";
        // A transaction of the database's own ends the read one first, and
        // what it writes is kept.
        db_.BeginTrans();
        Add(4, "four");
        db_.CommitTrans();
        EXPECT_TRUE(OtherWrites(path_, 3));
        // A nested read transaction does nothing of its own.
        CDaoReadTransaction inner(&db_);
    }
    EXPECT_TRUE(OtherWrites(path_, 5)) << "the file is free after the reads";
    {
        CDaoReadTransaction reading(&db_);
        Add(6, "six");  // written inside, kept at the end
    }
    EXPECT_TRUE(OtherWrites(path_, 7));
    {
        CDaoReadTransaction reading(&db_);
        Entry rs(&db_);
        rs.Open(dbOpenDynaset, "[Entry]");
        db_.Close();  // closing ends it too; nothing is left to end later
    }
    db_.Open(path_);
    Entry rs(&db_);
    rs.Open(dbOpenDynaset, "SELECT * FROM Entry ORDER BY Location");
    EXPECT_EQ(Walk(rs), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(DaoTest, TableTypeInsertsTakeTheirPlaceAndSeeOtherWriters)
{
    Add(5, "five");
    Add(1, "one");
    Entry rs(&db_);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");  // descending
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(5)));
    // Before every row, between two, after every row: the current row
    // stays current each time.
    for (int loc : {9, 3, 0, 7, 4}) {
        AddTo(rs, loc);
        EXPECT_EQ(rs.Location, 5) << loc;
    }
    EXPECT_EQ(Walk(rs), (std::vector<int>{9, 7, 5, 4, 3, 1, 0}));
    EXPECT_EQ(rs.GetRecordCount(), 7);

    // Rows written by another recordset and by another connection show up
    // with this recordset's next insert.
    Add(6, "six");
    CDaoDatabase other;
    other.Open(path_);
    other.ExecuteFixed("INSERT INTO \"Entry\" (Location, Name) VALUES (2, 'two')");
    other.Close();
    AddTo(rs, 8);
    EXPECT_EQ(Walk(rs), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));

    // A row rolled back is not kept as a key (reading it would fail).
    db_.BeginTrans();
    AddTo(rs, 10);
    db_.Rollback();
    AddTo(rs, 11);
    EXPECT_EQ(Walk(rs), (std::vector<int>{11, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));

    // Deleting and adding again, the way a location is rewritten.
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(4)));
    rs.Delete();
    AddTo(rs, 4);
    AddTo(rs, 12);
    EXPECT_EQ(Walk(rs), (std::vector<int>{12, 11, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    ASSERT_TRUE(rs.Seek("=", CVariant::Short(4)));
    EXPECT_EQ(rs.Name, "n4");

    // A row without a location sorts last in the descending index.
    CDaoRecordset plain(&db_);
    plain.Open(dbOpenTable, "Entry");
    plain.SetCurrentIndex("indLoc");
    for (int loc : {-1, 13, -1, 3}) {
        plain.AddNew();
        if (loc >= 0)
            plain.SetFieldValue("Location", CVariant::Short(static_cast<int16_t>(loc)));
        plain.SetFieldValue("Name", CVariant::Text("x"));
        if (loc == 3)
            EXPECT_THROW(plain.Update(), CDaoException);  // held already
        else
            plain.Update();
    }
    std::vector<std::string> seen;
    for (plain.MoveFirst(); !plain.IsEOF(); plain.MoveNext())
        seen.push_back(plain.GetFieldValue("Location").AsText());
    EXPECT_EQ(seen, (std::vector<std::string>{"13", "12", "11", "9", "8", "7", "6", "5", "4", "3", "2", "1", "0", "", ""}));
}

TEST_F(DaoTest, StatementsAreKeptPerDatabaseAndNeverHeldOpen)
{
    const std::string sql = "SELECT Location FROM \"Entry\"";
    sqlite3_stmt* a = db_.TakeStatement(sql);
    sqlite3_stmt* b = db_.TakeStatement(sql);  // the first is in use
    EXPECT_NE(a, b);
    db_.GiveBackStatement(b);
    db_.GiveBackStatement(a);
    sqlite3_stmt* again = db_.TakeStatement(sql);
    EXPECT_EQ(again, a);  // prepared once
    db_.GiveBackStatement(again);
    EXPECT_THROW(db_.TakeStatement("SELECT nothing FROM nowhere"), CDaoException);

    // A statement given back is reset: it holds no lock, so the table can
    // be dropped and made anew, and the kept statements follow the new table.
    Add(1, "old");
    {
        Entry rs(&db_);
        rs.Open(dbOpenTable);
        rs.SetCurrentIndex("indLoc");
        EXPECT_EQ(rs.Name, "old");
    }
    db_.ExecuteFixed("DROP TABLE \"Entry\"");
    db_.CreateTableDef("Entry", {{"Location", dbInteger, 0}, {"Name", dbText, 20}, {"When", dbDate, 0}});
    db_.CreateIndex("Entry", "indLoc", "Location", false, true);
    Entry rs(&db_);
    rs.Open(dbOpenTable);
    rs.SetCurrentIndex("indLoc");
    EXPECT_EQ(rs.GetRecordCount(), 0);
    AddTo(rs, 2);
    AddTo(rs, 1);
    EXPECT_EQ(Walk(rs), (std::vector<int>{1, 2}));  // ascending now
    rs.Close();

    // Closing finalizes them: the database opens again and works.
    db_.Close();
    db_.Open(path_);
    Entry back(&db_);
    back.Open(dbOpenTable);
    back.SetCurrentIndex("indLoc");
    EXPECT_EQ(Walk(back), (std::vector<int>{1, 2}));
}

}  // namespace
