// Databases over the SQLite C API, in the shape the program's data code
// expects: a database object, table definitions with typed fields, the
// unique location index, and recordsets with add / edit / update / delete,
// table-type access with seek on the current index, dynaset access, and
// transactions.
//
// SQL is built only from identifiers that the program itself names (checked
// to be plain identifiers); every value travels as a bound parameter.
// Failures throw CDaoException, as the class library's database layer did.
#pragma once

#include "variant.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CDaoException : public std::runtime_error {
public:
    explicit CDaoException(const std::string& what, int code = 0)
        : std::runtime_error(what), m_nCode(code) {}
    int m_nCode;  // the SQLite result code, 0 for our own checks
};

// Field types of a table definition; each maps to one column type of the
// database file (BIT, TINYINT, ..., VARCHAR(n), LONGTEXT) and back.
enum DaoFieldType {
    dbBoolean = 1, dbByte = 2, dbInteger = 3 /* 16-bit */, dbLong = 4,
    dbSingle = 6, dbDouble = 7, dbDate = 8, dbText = 10, dbMemo = 12,
};

struct CDaoFieldInfo {
    std::string m_strName;
    int m_nType = dbText;
    long m_lSize = 0;  // characters for dbText
};

enum { dbOpenTable = 1, dbOpenDynaset = 2, dbOpenSnapshot = 4 };

class CDaoDatabase {
public:
    CDaoDatabase() = default;
    virtual ~CDaoDatabase();
    CDaoDatabase(const CDaoDatabase&) = delete;
    CDaoDatabase& operator=(const CDaoDatabase&) = delete;

    // Creates a new database file; an existing file makes it fail. The locale
    // text is accepted for the callers' sake; text is stored as given.
    void Create(const std::string& path, const std::string& locale = std::string());
    // Opens an existing database file (never creates one).
    virtual void Open(const std::string& path, bool exclusive = false, bool readOnly = false,
                      const std::string& connect = std::string());
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    const std::string& GetName() const { return name_; }

    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransaction() const { return inTrans_; }
    // A read transaction: a run of reads (a list filled row by row) takes
    // the file's lock and looks at its journal once, not once per read.
    // Other connections still read meanwhile; one that writes waits until
    // it ends. False (and nothing done) when a transaction is already open.
    // A BeginTrans meanwhile ends it first; so does Close. Whatever was
    // written meanwhile is kept when it ends.
    bool BeginReadTrans();
    void EndReadTrans();

    // Table definitions. The attribute value is accepted and not stored.
    void CreateTableDef(const std::string& table, const std::vector<CDaoFieldInfo>& fields,
                        long attributes = 0);
    // A one-field index; unique indexes refuse a second row with the same key.
    void CreateIndex(const std::string& table, const std::string& index, const std::string& field,
                     bool descending, bool unique);
    // Table names (without the engine's own), sorted ignoring case.
    std::vector<std::string> GetTableDefNames() const;
    bool HasTableDef(const std::string& table) const;
    // The index's one field name, or empty when the table has no such index.
    std::string GetIndexField(const std::string& table, const std::string& index) const;
    bool GetIndexDescending(const std::string& table, const std::string& index) const;

    sqlite3* Handle() const { return db_; }
    // Runs a statement without result rows (for our own fixed SQL only).
    void ExecuteFixed(const std::string& sql);

    // Prepared statements are kept per database, keyed by their SQL text,
    // and finalized when the database closes, so that a statement run for
    // every row is prepared once. One in use is not handed out twice (a
    // second user gets a statement of its own). Give every statement back.
    sqlite3_stmt* TakeStatement(const std::string& sql) const;
    void GiveBackStatement(sqlite3_stmt* stmt) const;
    // Counts the rollbacks (and closings): rows a recordset knows of may be
    // gone after one.
    unsigned GetRollbackCount() const { return rollbacks_; }

private:
    void OpenHandle(const std::string& path, int flags);
    void FinalizeStatements();
    sqlite3* db_ = nullptr;
    std::string name_;
    bool inTrans_ = false;
    bool readTrans_ = false;
    unsigned rollbacks_ = 0;
    struct CachedStatement {
        sqlite3_stmt* stmt = nullptr;
        bool inUse = false;
    };
    mutable std::unordered_map<std::string, CachedStatement> statements_;
};

// A read transaction on a database for the life of the object (see
// CDaoDatabase::BeginReadTrans); the database must outlive it.
class CDaoReadTransaction {
public:
    explicit CDaoReadTransaction(CDaoDatabase* db) : db_(db && db->BeginReadTrans() ? db : nullptr) {}
    ~CDaoReadTransaction()
    {
        if (db_)
            db_->EndReadTrans();
    }
    CDaoReadTransaction(const CDaoReadTransaction&) = delete;
    CDaoReadTransaction& operator=(const CDaoReadTransaction&) = delete;

private:
    CDaoDatabase* db_;
};

class CDaoRecordset;

// Moves values between a recordset's current row and the members of a
// derived recordset class, in both directions.
class CDaoFieldExchange {
public:
    enum Direction { Load, Store };
    CDaoFieldExchange(CDaoRecordset& rs, Direction dir) : rs_(rs), dir_(dir) {}
    Direction GetDirection() const { return dir_; }
    void Short(const char* field, int16_t& value);
    void Long(const char* field, int32_t& value);
    void Text(const char* field, std::string& value);
    void Date(const char* field, double& value);

private:
    CDaoRecordset& rs_;
    Direction dir_;
};

class CDaoRecordset {
public:
    explicit CDaoRecordset(CDaoDatabase* db);
    virtual ~CDaoRecordset();
    CDaoRecordset(const CDaoRecordset&) = delete;
    CDaoRecordset& operator=(const CDaoRecordset&) = delete;

    // The SQL used when Open gets none ("[Table]" form).
    virtual std::string GetDefaultSQL() { return std::string(); }
    virtual int GetDefaultOpenType() { return dbOpenDynaset; }
    // Derived classes bind their members here.
    virtual void DoFieldExchange(CDaoFieldExchange&) {}

    // `sql` is "[Table]", "Table", or "SELECT * FROM Table" with an optional
    // "ORDER BY Field [ASC|DESC]". A table-type open takes a table name only.
    void Open(int openType = -1, const std::string& sql = std::string());
    void Close();
    bool IsOpen() const { return open_; }

    bool IsEOF() const;
    bool IsBOF() const;
    void MoveFirst();
    void MoveNext();
    void MovePrev();
    void MoveLast();
    long GetRecordCount() const { return static_cast<long>(keys_.size()); }

    void AddNew();
    void Edit();
    void Update();
    void CancelUpdate();
    void Delete();

    // Table-type recordsets: orders rows by the index and enables Seek.
    void SetCurrentIndex(const std::string& index);
    // Positions on the first row whose index field compares "=" with the
    // key (other comparisons: "<", "<=", ">=", ">"). False when none is found;
    // the position is then undefined and no row may be read before the next
    // move or seek.
    bool Seek(const char* op, const CVariant& key);

    int GetFieldCount() const { return static_cast<int>(cols_.size()); }
    std::string GetFieldName(int i) const;
    CVariant GetFieldValue(const std::string& field) const;
    CVariant GetFieldValue(int i) const;
    void SetFieldValue(const std::string& field, const CVariant& value);
    void SetFieldValueNull(const std::string& field) { SetFieldValue(field, CVariant::Null()); }

    CDaoDatabase* m_pDatabase;

private:
    friend class CDaoFieldExchange;
    struct Column {
        std::string name;
        std::string decl;
        int type = dbText;
        long size = 0;
    };
    int ColumnIndex(const std::string& field) const;
    std::string OrderClause() const;
    void LoadKeys();
    // The key list is still the table's when nothing but this recordset's
    // own `own` changes touched the database since it was last synchronised.
    bool KeysInStep(int own) const;
    void MarkKeysInStep();
    void NoteOwnChange();  // after this recordset's own change of a row
    void PlaceNewKey(int64_t rowid);
    void LoadCurrent();
    void CheckValue(const Column& c, CVariant& v) const;
    CVariant FromStatement(const Column& c, void* stmt, int col) const;
    void RequireCurrent() const;

    bool open_ = false;
    int type_ = dbOpenDynaset;
    std::string table_;
    std::string orderBy_;     // column name or empty
    bool orderDesc_ = false;
    std::string indexField_;  // table-type current index field
    std::vector<Column> cols_;
    std::vector<int64_t> keys_;  // rowids in recordset order
    // The database's change count, other connections' commit count and the
    // rollback count when keys_ was last in step with the table.
    int64_t syncChanges_ = -1;
    int64_t syncVersion_ = -1;
    unsigned syncRollbacks_ = 0;
    long pos_ = 0;               // current index into keys_; -1 BOF, size EOF
    bool onDeleted_ = false;     // the current row was just deleted
    enum EditMode { noEdit, editInProgress, addNewInProgress } mode_ = noEdit;
    std::vector<CVariant> row_;     // current row values
    std::vector<CVariant> buffer_;  // edit buffer
};

// True when the SQLite library answers a trivial query.
bool CheckSqliteEngine();
