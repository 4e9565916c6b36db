#include "pbdatabase.h"

#include "debugtrace.h"
#include "utilities.h"
#include "uiservices.h"

#include <sqlite3.h>
#include <strings.h>

#include <cstdio>
#include <utility>

namespace {

const char* const kCopiedColumns[] = {"Location", "Name",    "Phone", "Address",   "Otherphone", "Fax",
                                      "Email",    "Company", "Notes", "NumberType"};

std::string TempConversionPath()
{
    UiServices* ui = GetUiServices();
    return (ui ? ui->GetFolderPath() : std::string()) + "PBTmpCvt.mdb";
}

}  // namespace

// ---- recordsets -------------------------------------------------------------

CEntryPhoneRecordset::CEntryPhoneRecordset(CDaoDatabase* db) : CDaoRecordset(db)
{
    if (db)
        m_strDatabaseName = db->GetName();
}

void CEntryPhoneRecordset::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Long("Location", Location);
    fx.Text("Name", Name);
    fx.Text("Phone", Phone);
    fx.Text("Address", Address);
    fx.Text("Otherphone", Otherphone);
    fx.Text("Fax", Fax);
    fx.Text("Email", Email);
    fx.Text("Company", Company);
    fx.Text("Notes", Notes);
    fx.Text("ShortPhone", ShortPhone);
    // Bound where the file has the column: older files open as they are.
    if (HasField(*this, "NumberType"))
        fx.Short("NumberType", NumberType);
}

CEntryPhoneRecordset::~CEntryPhoneRecordset()
{
    try {
        EndReplace(false);
    } catch (const CDaoException&) {
    }
}

void CEntryPhoneRecordset::EndReplace(bool keep)
{
    if (!replacing_)
        return;
    replacing_ = false;
    if (!m_pDatabase || !m_pDatabase->IsOpen())
        return;
    if (keep) {
        m_pDatabase->ExecuteFixed("RELEASE SAVEPOINT replace_location");
        return;
    }
    m_pDatabase->ExecuteFixed("ROLLBACK TO SAVEPOINT replace_location");
    m_pDatabase->ExecuteFixed("RELEASE SAVEPOINT replace_location");
    // The restored row must be seen by this recordset again.
    if (IsOpen())
        SetCurrentIndex("indLoc");
}

void CEntryPhoneRecordset::AddNewAtLocation(int location)
{
    try {
        EndReplace(false);
        if (Seek("=", CVariant::Text(std::to_string(location)))) {
            m_pDatabase->ExecuteFixed("SAVEPOINT replace_location");
            replacing_ = true;
            Delete();
        }
        AddNew();
    } catch (const CDaoException& e) {
        WriteDebug("CEntryPhoneRecordset::AddNewAtLocation -> ", e.what());
    }
}

void CEntryPhoneRecordset::Update()
{
    try {
        CDaoRecordset::Update();
    } catch (const CDaoException&) {
        CDaoRecordset::CancelUpdate();
        EndReplace(false);
        throw;
    }
    EndReplace(true);
}

void CEntryPhoneRecordset::CancelUpdate()
{
    CDaoRecordset::CancelUpdate();
    EndReplace(false);
}

void CEntryPhoneRecordset::Close()
{
    EndReplace(false);
    CDaoRecordset::Close();
}

void CEntryPhoneRecordset::SetFromEntry(const PBEntry& e)
{
    Location = e.Location;
    Name = e.Name;
    Phone = e.Phone;
    ShortPhone = e.ShortPhone;
    Address = e.Address;
    Otherphone = e.Otherphone;
    Fax = e.Fax;
    Email = e.Email;
    Company = e.Company;
    Notes = e.Notes;
    NumberType = e.NumberType;
}

void PBEntry::SetFromRecordset(const CEntryPhoneRecordset& rs)
{
    Location = rs.Location;
    Name = rs.Name;
    Phone = rs.Phone;
    ShortPhone = rs.ShortPhone;
    Address = rs.Address;
    Otherphone = rs.Otherphone;
    Fax = rs.Fax;
    Email = rs.Email;
    Company = rs.Company;
    Notes = rs.Notes;
    NumberType = rs.NumberType;
}

void CPhoneConfRecordset::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Short("version", version);
    fx.Short("memType", memType);
    if (fx.GetDirection() == CDaoFieldExchange::Load)
        fx.Short("maxLoc", maxLoc);
}

// ---- files ------------------------------------------------------------------

int PBMemTypeOf(int code)
{
    switch (code) {
    case 1: case 5: return 1;
    case 2: case 6: return 2;
    case 3: case 7: return 3;
    default: return 0;
    }
}

bool CreatePBDatabase(const std::string& path)
{
    try {
        CDaoDatabase db;
        db.Create(path, ";LANGID=0x0409;CP=1252;COUNTRY=0");
        db.CreateTableDef("PhoneConf",
                          {{"version", dbInteger, 0}, {"memType", dbInteger, 0}, {"maxLoc", dbInteger, 0}},
                          65536);
        db.CreateTableDef("EntryPhone",
                          {{"Location", dbLong, 0},
                           {"Name", dbText, 250},
                           {"Phone", dbText, 250},
                           {"ShortPhone", dbText, 250},
                           {"Address", dbMemo, 0},
                           {"Otherphone", dbText, 250},
                           {"Fax", dbText, 250},
                           {"Email", dbText, 250},
                           {"Company", dbText, 250},
                           {"Notes", dbMemo, 0},
                           {"NumberType", dbInteger, 0}},
                          65536);
        CreateLocationIndex(db, "EntryPhone");
        db.Close();
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CreatePBDatabase -> ", e.what());
        return false;
    }
}

void WritePhoneConf(int code, const std::string& path, bool newRow)
{
    try {
        CJetDatabase db;
        db.Open(path, false, false, "");
        CPhoneConfRecordset conf(&db);
        conf.Open(dbOpenDynaset);
        if (newRow)
            conf.AddNew();
        else
            conf.Edit();
        conf.version = kPhoneConfVersion;
        conf.memType = static_cast<int16_t>(PBMemTypeOf(code));
        conf.Update();
        conf.Close();
    } catch (const CDaoException& e) {
        WriteDebug("WritePhoneConf -> ", e.what());
    }
}

bool OpenPBDatabase(const std::string& path)
{
    try {
        CJetDatabase db;
        db.Open(path, false, false, "");
        CheckDatabaseStructure(db);
        const auto tables = db.GetTableDefNames();
        if (tables.empty() || tables[0] != "EntryPhone") {
            ShowPathMessage(31319, path);
            return false;
        }
        if (!CheckPhoneConf(db)) {
            ShowPathMessage(31465, path);
            return false;
        }
        if (db.IsOpen()) {
            AddNumberTypeColumn(db);
            WidenLocationColumn(db);
            db.Close();
        }
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("OpenPBDatabase -> ", e.what());
        ReportDatabaseNotOpened(path);
        return false;
    }
}

bool CheckPhoneConf(CJetDatabase& db)
{
    try {
        CPhoneConfRecordset conf(&db);
        conf.Open(dbOpenDynaset);
        bool result = true;
        if (conf.IsEOF() || conf.version != kPhoneConfVersion) {
            const std::string name = db.GetName();
            result = ConvertPBDatabase(db, conf, conf.IsEOF() ? 0 : conf.version);
            if (result)
                FillShortPhone(name);
        }
        conf.Close();
        return result;
    } catch (const CDaoException& e) {
        WriteDebug("CheckPhoneConf -> ", e.what());
        return false;
    }
}

bool ConvertPBDatabase(CJetDatabase& old, CPhoneConfRecordset& conf, int)
{
    const int16_t memType = conf.IsEOF() ? 0 : conf.memType;
    return ConvertThroughTempFile(old, TempConversionPath(), CreatePBDatabase, [&](CJetDatabase& cvt) {
        CPhoneConfRecordset newConf(&cvt);
        newConf.Open(dbOpenDynaset);
        newConf.AddNew();
        newConf.version = kPhoneConfVersion;
        newConf.memType = memType;
        newConf.Update();

        CDaoRecordset from(&old);
        from.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        CDaoRecordset to(&cvt);
        to.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        // A column an older layout did not have is left empty.
        std::vector<std::string> present;
        for (const char* col : kCopiedColumns)
            if (HasField(from, col))
                present.push_back(col);
        while (!from.IsEOF()) {
            to.AddNew();
            for (const std::string& col : present)
                to.SetFieldValue(col, from.GetFieldValue(col));
            to.Update();
            from.MoveNext();
        }
    }, "ConvertPBDatabase");
}

bool WidenLocationColumn(CJetDatabase& db)
{
    // The columns as the file declares them.
    std::vector<std::pair<std::string, std::string>> columns;
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.Handle(), "SELECT name, type FROM pragma_table_info('EntryPhone')", -1, &st,
                               nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return false;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* name = sqlite3_column_text(st, 0);
            const unsigned char* type = sqlite3_column_text(st, 1);
            columns.emplace_back(name ? reinterpret_cast<const char*>(name) : "",
                                 type ? reinterpret_cast<const char*>(type) : "");
        }
        sqlite3_finalize(st);
    }
    std::string names, declared;
    bool narrow = false;
    for (auto& [name, type] : columns) {
        if (name == "Location" && strcasecmp(type.c_str(), "INTEGER") != 0) {
            type = "INTEGER";
            narrow = true;
        }
        names += (names.empty() ? "[" : ", [") + name + "]";
        declared += (declared.empty() ? "[" : ", [") + name + "] " + type;
    }
    if (!narrow)
        return true;
    // Rebuilt in one transaction: the file keeps the old table or has the
    // new one, never neither.
    try {
        db.BeginTrans();
        try {
            db.ExecuteFixed("CREATE TABLE [EntryPhoneWide] (" + declared + ")");
            db.ExecuteFixed("INSERT INTO [EntryPhoneWide] (" + names + ") SELECT " + names + " FROM [EntryPhone]");
            db.ExecuteFixed("DROP TABLE [EntryPhone]");
            db.ExecuteFixed("ALTER TABLE [EntryPhoneWide] RENAME TO [EntryPhone]");
            db.CreateIndex("EntryPhone", "indLoc", "Location", true, true);
            db.CommitTrans();
        } catch (const CDaoException&) {
            db.Rollback();
            throw;
        }
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("WidenLocationColumn -> ", e.what());
        return false;
    }
}

bool AddNumberTypeColumn(CJetDatabase& db)
{
    try {
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        const bool present = HasField(rs, "NumberType");
        rs.Close();
        if (!present)
            db.ExecuteFixed("ALTER TABLE [EntryPhone] ADD COLUMN [NumberType] SMALLINT");
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("AddNumberTypeColumn -> ", e.what());
        return false;
    }
}

bool FillShortPhone(const std::string& path)
{
    try {
        CJetDatabase db;
        db.Open(path, false, false, "");
        db.BeginTrans();
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        while (!rs.IsEOF()) {
            rs.Edit();
            FilterDialChars(rs.Phone, rs.ShortPhone);
            rs.Update();
            rs.MoveNext();
        }
        rs.Close();
        db.CommitTrans();
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("FillShortPhone -> ", e.what());
        return false;
    }
}
