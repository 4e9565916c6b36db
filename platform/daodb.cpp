#include "daodb.h"

#include <string_view>
#include <strings.h>

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sys/stat.h>

namespace {

bool IsPlainIdentifier(const std::string& s)
{
    if (s.empty() || s.size() > 64)
        return false;
    if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    return true;
}

std::string Ident(const std::string& s)
{
    if (!IsPlainIdentifier(s))
        throw CDaoException("invalid name in database request: " + s);
    return "\"" + s + "\"";
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A prepared statement of the database's cache, given back (reset) at the
// end of its scope.
class Stmt {
public:
    Stmt(const CDaoDatabase* owner, const std::string& sql)
        : owner_(owner), db_(owner ? owner->Handle() : nullptr)
    {
        if (!db_)
            throw CDaoException("database is not open");
        st_ = owner_->TakeStatement(sql);
    }
    ~Stmt() { owner_->GiveBackStatement(st_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    sqlite3_stmt* get() { return st_; }
    bool Step()
    {
        int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw CDaoException(sqlite3_errmsg(db_), rc);
    }
    void Bind(int i, const CVariant& v)
    {
        int rc;
        switch (v.vt) {
        case VT_NULL: case VT_EMPTY:
            rc = sqlite3_bind_null(st_, i);
            break;
        case VT_BSTR:
            rc = sqlite3_bind_text(st_, i, v.strVal.data(), static_cast<int>(v.strVal.size()),
                                   SQLITE_TRANSIENT);
            break;
        case VT_R4: case VT_R8: case VT_DATE:
            rc = sqlite3_bind_double(st_, i, v.dblVal);
            break;
        default:
            rc = sqlite3_bind_int64(st_, i, v.lVal);
            break;
        }
        if (rc != SQLITE_OK)
            throw CDaoException(sqlite3_errmsg(db_), rc);
    }
    void Bind(int i, int64_t n) { sqlite3_bind_int64(st_, i, n); }
    void Bind(int i, const std::string& s)
    {
        sqlite3_bind_text(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }

private:
    const CDaoDatabase* owner_;
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// Statements are cached only up to this many per database (the program's
// texts are few; anything beyond is prepared for its one use).
constexpr size_t kMaxCachedStatements = 64;

std::string DeclFor(const CDaoFieldInfo& f)
{
    switch (f.m_nType) {
    case dbBoolean: return "BIT";
    case dbByte: return "TINYINT";
    case dbInteger: return "SMALLINT";
    case dbLong: return "INTEGER";
    case dbSingle: return "FLOAT";
    case dbDouble: return "DOUBLE";
    case dbDate: return "DATETIME";
    case dbMemo: return "LONGTEXT";
    case dbText: {
        long n = f.m_lSize > 0 && f.m_lSize <= 255 ? f.m_lSize : 255;
        return "VARCHAR(" + std::to_string(n) + ")";
    }
    default:
        throw CDaoException("unsupported field type");
    }
}

void TypeFromDecl(const std::string& declIn, int& type, long& size)
{
    std::string decl = Lower(declIn);
    size = 0;
    if (decl == "bit") type = dbBoolean;
    else if (decl == "tinyint") type = dbByte;
    else if (decl == "smallint") type = dbInteger;
    else if (decl == "integer") type = dbLong;
    else if (decl == "float") type = dbSingle;
    else if (decl == "double") type = dbDouble;
    else if (decl == "datetime") type = dbDate;
    else if (decl.rfind("varchar(", 0) == 0) {
        type = dbText;
        size = std::atol(decl.c_str() + 8);
    } else type = dbMemo;
}

}  // namespace

bool CheckSqliteEngine()
{
    if (sqlite3_libversion_number() < 3007000)
        return false;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db, "SELECT 1", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// ---- database -------------------------------------------------------------

CDaoDatabase::~CDaoDatabase() { Close(); }

void CDaoDatabase::OpenHandle(const std::string& path, int flags)
{
    Close();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : "cannot open database";
        sqlite3_close(db);
        throw CDaoException(msg + ": " + path, rc);
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_extended_result_codes(db, 0);
    // Reading the schema proves that the file really is a database.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw CDaoException(msg + ": " + path, rc);
    }
    db_ = db;
    name_ = path;
}

void CDaoDatabase::Create(const std::string& path, const std::string&)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        throw CDaoException("database already exists: " + path);
    OpenHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Writes the file header at once, so the file exists from here on.
    ExecuteFixed("PRAGMA user_version = 1");
}

void CDaoDatabase::Open(const std::string& path, bool exclusive, bool readOnly, const std::string&)
{
    OpenHandle(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    if (exclusive)
        ExecuteFixed("PRAGMA locking_mode = EXCLUSIVE");
}

void CDaoDatabase::Close()
{
    if (!db_)
        return;
    EndReadTrans();
    FinalizeStatements();
    if (inTrans_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    inTrans_ = false;
    ++rollbacks_;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void CDaoDatabase::FinalizeStatements()
{
    for (auto& [sql, cached] : statements_)
        sqlite3_finalize(cached.stmt);
    statements_.clear();
}

sqlite3_stmt* CDaoDatabase::TakeStatement(const std::string& sql) const
{
    if (!db_)
        throw CDaoException("database is not open");
    auto it = statements_.find(sql);
    if (it != statements_.end() && !it->second.inUse) {
        it->second.inUse = true;
        return it->second.stmt;
    }
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        throw CDaoException(sqlite3_errmsg(db_), rc);
    }
    if (it == statements_.end() && statements_.size() < kMaxCachedStatements)
        statements_.emplace(sql, CachedStatement{st, true});
    return st;
}

void CDaoDatabase::GiveBackStatement(sqlite3_stmt* stmt) const
{
    if (!stmt)
        return;
    for (auto& [sql, cached] : statements_) {
        if (cached.stmt == stmt) {
            // Reset at once: a statement left stepping would hold its read lock.
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
            cached.inUse = false;
            return;
        }
    }
    sqlite3_finalize(stmt);
}

void CDaoDatabase::ExecuteFixed(const std::string& sql)
{
    if (!db_)
        throw CDaoException("database is not open");
    if (Lower(sql).find("rollback") != std::string::npos)
        ++rollbacks_;
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw CDaoException(msg, rc);
    }
}

void CDaoDatabase::BeginTrans()
{
    EndReadTrans();
    ExecuteFixed("BEGIN");
    inTrans_ = true;
}

void CDaoDatabase::CommitTrans()
{
    ExecuteFixed("COMMIT");
    inTrans_ = false;
}

void CDaoDatabase::Rollback()
{
    ExecuteFixed("ROLLBACK");
    inTrans_ = false;
}

bool CDaoDatabase::BeginReadTrans()
{
    if (!db_ || inTrans_ || readTrans_ || !sqlite3_get_autocommit(db_))
        return false;
    // Deferred: the lock is taken by the first read, and only for reading.
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    readTrans_ = true;
    return true;
}

void CDaoDatabase::EndReadTrans()
{
    if (!readTrans_)
        return;
    readTrans_ = false;
    if (!db_ || sqlite3_get_autocommit(db_))
        return;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        ++rollbacks_;
    }
}

void CDaoDatabase::CreateTableDef(const std::string& table, const std::vector<CDaoFieldInfo>& fields,
                                  long)
{
    if (fields.empty())
        throw CDaoException("a table needs at least one field");
    std::string sql = "CREATE TABLE " + Ident(table) + " (";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            sql += ", ";
        sql += Ident(fields[i].m_strName) + " " + DeclFor(fields[i]);
    }
    sql += ")";
    ExecuteFixed(sql);
}

void CDaoDatabase::CreateIndex(const std::string& table, const std::string& index,
                               const std::string& field, bool descending, bool unique)
{
    std::string sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + Ident(index) +
                      " ON " + Ident(table) + " (" + Ident(field) + (descending ? " DESC" : " ASC") +
                      ")";
    ExecuteFixed(sql);
}

std::vector<std::string> CDaoDatabase::GetTableDefNames() const
{
    std::vector<std::string> names;
    Stmt st(this, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%'");
    while (st.Step())
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    return names;
}

bool CDaoDatabase::HasTableDef(const std::string& table) const
{
    Stmt st(this, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?");
    st.Bind(1, table);
    return st.Step();
}

std::string CDaoDatabase::GetIndexField(const std::string& table, const std::string& index) const
{
    Stmt st(this, "SELECT name FROM pragma_index_info(?) WHERE "
                 "(SELECT tbl_name FROM sqlite_master WHERE type='index' AND name=?) = ?");
    st.Bind(1, index);
    st.Bind(2, index);
    st.Bind(3, table);
    if (!st.Step())
        return std::string();
    return reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
}

bool CDaoDatabase::GetIndexDescending(const std::string&, const std::string& index) const
{
    Stmt st(this, "SELECT \"desc\" FROM pragma_index_xinfo(?) WHERE key=1");
    st.Bind(1, index);
    return st.Step() && sqlite3_column_int(st.get(), 0) != 0;
}

// ---- field exchange -------------------------------------------------------

void CDaoFieldExchange::Short(const char* field, int16_t& value)
{
    if (dir_ == Load)
        value = static_cast<int16_t>(rs_.GetFieldValue(field).AsInt());
    else
        rs_.SetFieldValue(field, CVariant::Short(value));
}

void CDaoFieldExchange::Long(const char* field, int32_t& value)
{
    if (dir_ == Load)
        value = static_cast<int32_t>(rs_.GetFieldValue(field).AsInt());
    else
        rs_.SetFieldValue(field, CVariant::Long(value));
}

void CDaoFieldExchange::Text(const char* field, std::string& value)
{
    if (dir_ == Load)
        value = rs_.GetFieldValue(field).AsText();
    else
        rs_.SetFieldValue(field, CVariant::Text(value));
}

void CDaoFieldExchange::Date(const char* field, double& value)
{
    if (dir_ == Load)
        value = rs_.GetFieldValue(field).AsDouble();
    else
        rs_.SetFieldValue(field, CVariant::Date(value));
}

// ---- recordset ------------------------------------------------------------

CDaoRecordset::CDaoRecordset(CDaoDatabase* db) : m_pDatabase(db) {}

CDaoRecordset::~CDaoRecordset() { Close(); }

void CDaoRecordset::Close()
{
    open_ = false;
    keys_.clear();
    cols_.clear();
    row_.clear();
    buffer_.clear();
    mode_ = noEdit;
    indexField_.clear();
    orderBy_.clear();
}

void CDaoRecordset::Open(int openType, const std::string& sqlIn)
{
    if (!m_pDatabase || !m_pDatabase->IsOpen())
        throw CDaoException("database is not open");
    Close();
    type_ = openType == -1 ? GetDefaultOpenType() : openType;
    std::string sql = sqlIn.empty() ? GetDefaultSQL() : sqlIn;

    // Parse the few forms the program uses.
    auto trim = [](std::string s) {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
        size_t i = 0;
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        return s.substr(i);
    };
    auto unbracket = [](std::string s) {
        if (s.size() >= 2 && s.front() == '[' && s.back() == ']')
            return s.substr(1, s.size() - 2);
        return s;
    };
    sql = trim(sql);
    std::string lower = Lower(sql);
    std::string table;
    orderBy_.clear();
    orderDesc_ = false;
    if (lower.rfind("select * from ", 0) == 0) {
        std::string rest = trim(sql.substr(14));
        std::string lrest = Lower(rest);
        size_t ob = lrest.find(" order by ");
        if (ob != std::string::npos) {
            std::string order = trim(rest.substr(ob + 10));
            rest = trim(rest.substr(0, ob));
            std::string lorder = Lower(order);
            if (lorder.size() > 5 && lorder.compare(lorder.size() - 5, 5, " desc") == 0) {
                orderDesc_ = true;
                order = trim(order.substr(0, order.size() - 5));
            } else if (lorder.size() > 4 && lorder.compare(lorder.size() - 4, 4, " asc") == 0) {
                order = trim(order.substr(0, order.size() - 4));
            }
            orderBy_ = unbracket(order);
            Ident(orderBy_);
        }
        table = unbracket(rest);
        if (type_ == dbOpenTable)
            throw CDaoException("a table-type recordset takes a table name");
    } else {
        table = unbracket(sql);
    }
    Ident(table);
    if (!m_pDatabase->HasTableDef(table))
        throw CDaoException("no such table: " + table);
    table_ = table;

    Stmt info(m_pDatabase, "SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
    info.Bind(1, table_);
    while (info.Step()) {
        Column c;
        c.name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0));
        const unsigned char* t = sqlite3_column_text(info.get(), 1);
        c.decl = t ? reinterpret_cast<const char*>(t) : "";
        TypeFromDecl(c.decl, c.type, c.size);
        cols_.push_back(c);
    }
    if (!orderBy_.empty() && ColumnIndex(orderBy_) < 0)
        throw CDaoException("no such field: " + orderBy_);
    open_ = true;
    LoadKeys();
    pos_ = 0;
    onDeleted_ = false;
    LoadCurrent();
}

std::string CDaoRecordset::OrderClause() const
{
    if (!indexField_.empty())
        return " ORDER BY " + Ident(indexField_) + (orderDesc_ ? " DESC" : " ASC") + ", rowid";
    if (!orderBy_.empty())
        return " ORDER BY " + Ident(orderBy_) + (orderDesc_ ? " DESC" : " ASC") + ", rowid";
    return " ORDER BY rowid";
}

void CDaoRecordset::LoadKeys()
{
    Stmt st(m_pDatabase, "SELECT rowid FROM " + Ident(table_) + OrderClause());
    keys_.clear();
    while (st.Step())
        keys_.push_back(sqlite3_column_int64(st.get(), 0));
    MarkKeysInStep();
}

namespace {

// Other connections' commits to the database so far.
int64_t DataVersion(const CDaoDatabase* db)
{
    Stmt st(db, "PRAGMA data_version");
    return st.Step() ? sqlite3_column_int64(st.get(), 0) : -1;
}

}  // namespace

void CDaoRecordset::MarkKeysInStep()
{
    syncChanges_ = sqlite3_total_changes(m_pDatabase->Handle());
    syncVersion_ = DataVersion(m_pDatabase);
    syncRollbacks_ = m_pDatabase->GetRollbackCount();
}

bool CDaoRecordset::KeysInStep(int own) const
{
    return syncChanges_ >= 0 && sqlite3_total_changes(m_pDatabase->Handle()) == syncChanges_ + own &&
           m_pDatabase->GetRollbackCount() == syncRollbacks_ && DataVersion(m_pDatabase) == syncVersion_;
}

void CDaoRecordset::NoteOwnChange()
{
    if (type_ == dbOpenTable && KeysInStep(1))
        ++syncChanges_;
}

void CDaoRecordset::PlaceNewKey(int64_t rowid)
{
    // Only this recordset's insert since the keys were read: the new key
    // goes into its place in the order, without reading all keys again.
    // Otherwise (another writer, a rollback) the keys are read afresh.
    if (!KeysInStep(1)) {
        LoadKeys();
        return;
    }
    ++syncChanges_;
    // Whether row a comes before row b in the order the keys were read in
    // (NULL first when ascending, last when descending, then by rowid);
    // -1 when one of them is gone.
    std::string order;
    if (!indexField_.empty() || !orderBy_.empty()) {
        const std::string f = Ident(indexField_.empty() ? orderBy_ : indexField_);
        const std::string a = "a." + f, b = "b." + f;
        order = orderDesc_ ? "(" + b + " IS NULL AND " + a + " IS NOT NULL) OR " + a + " > " + b
                           : "(" + a + " IS NULL AND " + b + " IS NOT NULL) OR " + a + " < " + b;
        order += " OR (" + a + " IS " + b + " AND a.rowid < b.rowid)";
    } else {
        order = "a.rowid < b.rowid";
    }
    Stmt first(m_pDatabase, "SELECT " + order + " FROM " + Ident(table_) + " a, " + Ident(table_) +
                                " b WHERE a.rowid = ? AND b.rowid = ?");
    auto before = [&](int64_t a, int64_t b) {
        first.Bind(1, a);
        first.Bind(2, b);
        const int r = first.Step() ? (sqlite3_column_int64(first.get(), 0) != 0 ? 1 : 0) : -1;
        sqlite3_reset(first.get());
        return r;
    };
    size_t at = keys_.size();
    if (!keys_.empty()) {
        const int last = before(keys_.back(), rowid);
        if (last < 0) {
            LoadKeys();
            return;
        }
        if (last == 0) {
            // Binary search for the first key that does not come first.
            size_t lo = 0, hi = keys_.size() - 1;
            while (lo < hi) {
                const size_t mid = lo + (hi - lo) / 2;
                const int b = before(keys_[mid], rowid);
                if (b < 0) {
                    LoadKeys();
                    return;
                }
                if (b == 1)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            at = lo;
        }
    }
    keys_.insert(keys_.begin() + static_cast<long>(at), rowid);
    // The current row stays current.
    if (!onDeleted_ && pos_ >= 0 && static_cast<size_t>(pos_) < keys_.size() - 1 && at <= static_cast<size_t>(pos_))
        ++pos_;
}

CVariant CDaoRecordset::FromStatement(const Column& c, void* stmtp, int col) const
{
    sqlite3_stmt* st = static_cast<sqlite3_stmt*>(stmtp);
    int t = sqlite3_column_type(st, col);
    if (t == SQLITE_NULL)
        return CVariant::Null();
    switch (c.type) {
    case dbBoolean: return CVariant::Bool(sqlite3_column_int64(st, col) != 0);
    case dbByte: return CVariant::Byte(static_cast<uint8_t>(sqlite3_column_int64(st, col)));
    case dbInteger: {
        // A value another program stored past 16 bits reads as it is, never
        // folded into a different number.
        const int64_t n = sqlite3_column_int64(st, col);
        return n >= INT16_MIN && n <= INT16_MAX ? CVariant::Short(static_cast<int16_t>(n))
                                                : CVariant::Long(static_cast<int32_t>(n));
    }
    case dbLong: return CVariant::Long(static_cast<int32_t>(sqlite3_column_int64(st, col)));
    case dbSingle: { CVariant v = CVariant::Double(sqlite3_column_double(st, col)); v.vt = VT_R4; return v; }
    case dbDouble: return CVariant::Double(sqlite3_column_double(st, col));
    case dbDate: return CVariant::Date(sqlite3_column_double(st, col));
    default: {
        const unsigned char* p = sqlite3_column_text(st, col);
        int n = sqlite3_column_bytes(st, col);
        return CVariant::Text(std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)));
    }
    }
}

void CDaoRecordset::LoadCurrent()
{
    row_.assign(cols_.size(), CVariant::Null());
    if (pos_ < 0 || pos_ >= static_cast<long>(keys_.size()))
        return;
    std::string sql = "SELECT ";
    for (size_t i = 0; i < cols_.size(); ++i)
        sql += (i ? ", " : "") + Ident(cols_[i].name);
    sql += " FROM " + Ident(table_) + " WHERE rowid = ?";
    Stmt st(m_pDatabase, sql);
    st.Bind(1, keys_[static_cast<size_t>(pos_)]);
    if (!st.Step())
        throw CDaoException("record was deleted");
    for (size_t i = 0; i < cols_.size(); ++i)
        row_[i] = FromStatement(cols_[i], st.get(), static_cast<int>(i));
    CDaoFieldExchange fx(*this, CDaoFieldExchange::Load);
    DoFieldExchange(fx);
}

bool CDaoRecordset::IsEOF() const { return !open_ || pos_ >= static_cast<long>(keys_.size()); }
bool CDaoRecordset::IsBOF() const { return !open_ || pos_ < 0 || keys_.empty(); }

void CDaoRecordset::RequireCurrent() const
{
    if (!open_)
        throw CDaoException("recordset is not open");
    if (onDeleted_ || pos_ < 0 || pos_ >= static_cast<long>(keys_.size()))
        throw CDaoException("no current record");
}

void CDaoRecordset::MoveFirst()
{
    if (!open_) throw CDaoException("recordset is not open");
    mode_ = noEdit;
    onDeleted_ = false;
    pos_ = 0;
    LoadCurrent();
}

void CDaoRecordset::MoveLast()
{
    if (!open_) throw CDaoException("recordset is not open");
    mode_ = noEdit;
    onDeleted_ = false;
    pos_ = keys_.empty() ? 0 : static_cast<long>(keys_.size()) - 1;
    LoadCurrent();
}

void CDaoRecordset::MoveNext()
{
    if (!open_) throw CDaoException("recordset is not open");
    if (IsEOF() && !onDeleted_)
        throw CDaoException("no current record");
    mode_ = noEdit;
    if (onDeleted_)
        onDeleted_ = false;  // the following row already moved into place
    else
        ++pos_;
    LoadCurrent();
}

void CDaoRecordset::MovePrev()
{
    if (!open_) throw CDaoException("recordset is not open");
    if (pos_ < 0)
        throw CDaoException("no current record");
    mode_ = noEdit;
    onDeleted_ = false;
    --pos_;
    LoadCurrent();
}

int CDaoRecordset::ColumnIndex(const std::string& field) const
{
    std::string_view f = field;
    if (f.size() >= 2 && f.front() == '[' && f.back() == ']')
        f = f.substr(1, f.size() - 2);
    // Asked for by every field of every row read: the name as written is
    // tried first, then without regard to case, neither making copies.
    for (size_t i = 0; i < cols_.size(); ++i)
        if (cols_[i].name == f)
            return static_cast<int>(i);
    for (size_t i = 0; i < cols_.size(); ++i)
        if (cols_[i].name.size() == f.size() &&
            strncasecmp(cols_[i].name.data(), f.data(), f.size()) == 0)
            return static_cast<int>(i);
    return -1;
}

std::string CDaoRecordset::GetFieldName(int i) const
{
    if (i < 0 || i >= static_cast<int>(cols_.size()))
        throw CDaoException("field number out of range");
    return cols_[static_cast<size_t>(i)].name;
}

CVariant CDaoRecordset::GetFieldValue(int i) const
{
    if (i < 0 || i >= static_cast<int>(cols_.size()))
        throw CDaoException("field number out of range");
    if (mode_ != noEdit)
        return buffer_[static_cast<size_t>(i)];
    RequireCurrent();
    return row_[static_cast<size_t>(i)];
}

CVariant CDaoRecordset::GetFieldValue(const std::string& field) const
{
    int i = ColumnIndex(field);
    if (i < 0)
        throw CDaoException("no such field: " + field);
    return GetFieldValue(i);
}

void CDaoRecordset::SetFieldValue(const std::string& field, const CVariant& value)
{
    if (mode_ == noEdit)
        throw CDaoException("Update without AddNew or Edit");
    int i = ColumnIndex(field);
    if (i < 0)
        throw CDaoException("no such field: " + field);
    buffer_[static_cast<size_t>(i)] = value;
}

void CDaoRecordset::AddNew()
{
    if (!open_) throw CDaoException("recordset is not open");
    if (m_pDatabase == nullptr || !m_pDatabase->IsOpen())
        throw CDaoException("database is not open");
    mode_ = addNewInProgress;
    buffer_.assign(cols_.size(), CVariant::Null());
    // Bound members start from the empty row, as a new record does.
    CDaoFieldExchange fx(*this, CDaoFieldExchange::Load);
    DoFieldExchange(fx);
}

void CDaoRecordset::Edit()
{
    RequireCurrent();
    mode_ = editInProgress;
    buffer_ = row_;
}

void CDaoRecordset::CancelUpdate()
{
    mode_ = noEdit;
    if (open_ && !IsEOF() && !onDeleted_)
        LoadCurrent();
}

void CDaoRecordset::CheckValue(const Column& c, CVariant& v) const
{
    if (v.IsNull())
        return;
    switch (c.type) {
    case dbInteger: {
        int64_t n = v.AsInt();
        if (n < -32768 || n > 32767)
            throw CDaoException("value out of range for field " + c.name);
        v = CVariant::Short(static_cast<int16_t>(n));
        break;
    }
    case dbByte: {
        int64_t n = v.AsInt();
        if (n < 0 || n > 255)
            throw CDaoException("value out of range for field " + c.name);
        v = CVariant::Byte(static_cast<uint8_t>(n));
        break;
    }
    case dbLong: {
        int64_t n = v.AsInt();
        if (n < INT32_MIN || n > INT32_MAX)
            throw CDaoException("value out of range for field " + c.name);
        v = CVariant::Long(static_cast<int32_t>(n));
        break;
    }
    case dbBoolean:
        v = CVariant::Bool(v.AsInt() != 0);
        break;
    case dbDate:
        v = CVariant::Date(v.AsDouble());
        break;
    case dbSingle: case dbDouble:
        v = CVariant::Double(v.AsDouble());
        break;
    case dbText:
        v = CVariant::Text(v.AsText());
        if (c.size > 0 && static_cast<long>(v.strVal.size()) > c.size)
            throw CDaoException("text too long for field " + c.name);
        break;
    default:
        v = CVariant::Text(v.AsText());
        break;
    }
}

void CDaoRecordset::Update()
{
    if (!open_) throw CDaoException("recordset is not open");
    if (mode_ == noEdit)
        throw CDaoException("Update without AddNew or Edit");
    {
        CDaoFieldExchange fx(*this, CDaoFieldExchange::Store);
        DoFieldExchange(fx);
    }
    std::vector<CVariant> values = buffer_;
    for (size_t i = 0; i < cols_.size(); ++i)
        CheckValue(cols_[i], values[i]);

    sqlite3* db = m_pDatabase->Handle();
    if (mode_ == addNewInProgress) {
        std::string names, marks;
        for (size_t i = 0; i < cols_.size(); ++i) {
            names += (i ? ", " : "") + Ident(cols_[i].name);
            marks += i ? ", ?" : "?";
        }
        Stmt st(m_pDatabase, "INSERT INTO " + Ident(table_) + " (" + names + ") VALUES (" + marks + ")");
        for (size_t i = 0; i < values.size(); ++i)
            st.Bind(static_cast<int>(i + 1), values[i]);
        st.Step();
        int64_t rowid = sqlite3_last_insert_rowid(db);
        mode_ = noEdit;
        if (type_ == dbOpenTable) {
            // Table-type: the new row takes its place in index order; the
            // current row stays current.
            const int64_t cur = (!onDeleted_ && pos_ >= 0 && pos_ < static_cast<long>(keys_.size()))
                                    ? keys_[static_cast<size_t>(pos_)] : -1;
            PlaceNewKey(rowid);
            if (cur >= 0 && keys_[static_cast<size_t>(pos_)] != cur) {
                auto it = std::find(keys_.begin(), keys_.end(), cur);
                pos_ = it == keys_.end() ? 0 : static_cast<long>(it - keys_.begin());
            }
        } else {
            keys_.push_back(rowid);  // a dynaset shows added rows at its end
        }
        if (!onDeleted_ && !IsEOF())
            LoadCurrent();
    } else {
        std::string sets;
        for (size_t i = 0; i < cols_.size(); ++i)
            sets += (i ? ", " : "") + Ident(cols_[i].name) + " = ?";
        Stmt st(m_pDatabase, "UPDATE " + Ident(table_) + " SET " + sets + " WHERE rowid = ?");
        size_t i = 0;
        for (; i < values.size(); ++i)
            st.Bind(static_cast<int>(i + 1), values[i]);
        st.Bind(static_cast<int>(i + 1), keys_[static_cast<size_t>(pos_)]);
        st.Step();
        mode_ = noEdit;
        NoteOwnChange();
        LoadCurrent();
    }
}

void CDaoRecordset::Delete()
{
    RequireCurrent();
    mode_ = noEdit;
    Stmt st(m_pDatabase, "DELETE FROM " + Ident(table_) + " WHERE rowid = ?");
    st.Bind(1, keys_[static_cast<size_t>(pos_)]);
    st.Step();
    keys_.erase(keys_.begin() + pos_);
    NoteOwnChange();
    onDeleted_ = true;
    row_.assign(cols_.size(), CVariant::Null());
}

void CDaoRecordset::SetCurrentIndex(const std::string& index)
{
    if (!open_) throw CDaoException("recordset is not open");
    if (type_ != dbOpenTable)
        throw CDaoException("only a table-type recordset has a current index");
    Ident(index);
    std::string field = m_pDatabase->GetIndexField(table_, index);
    if (field.empty())
        throw CDaoException("no such index: " + index);
    indexField_ = field;
    orderDesc_ = m_pDatabase->GetIndexDescending(table_, index);
    mode_ = noEdit;
    onDeleted_ = false;
    LoadKeys();
    pos_ = 0;
    LoadCurrent();
}

bool CDaoRecordset::Seek(const char* op, const CVariant& key)
{
    if (!open_) throw CDaoException("recordset is not open");
    if (type_ != dbOpenTable || indexField_.empty())
        throw CDaoException("Seek needs a table-type recordset with a current index");
    std::string o = op ? op : "";
    if (o != "=" && o != "<" && o != "<=" && o != ">" && o != ">=")
        throw CDaoException("invalid Seek comparison");
    mode_ = noEdit;
    onDeleted_ = false;
    std::string sql = "SELECT rowid FROM " + Ident(table_) + " WHERE " + Ident(indexField_) + " " + o +
                      " ? ORDER BY " + Ident(indexField_) +
                      ((o == "<" || o == "<=") ? " DESC" : " ASC") + ", rowid LIMIT 1";
    Stmt st(m_pDatabase, sql);
    st.Bind(1, key);
    if (!st.Step())
        return false;
    int64_t rowid = sqlite3_column_int64(st.get(), 0);
    auto it = std::find(keys_.begin(), keys_.end(), rowid);
    if (it == keys_.end()) {
        LoadKeys();
        it = std::find(keys_.begin(), keys_.end(), rowid);
        if (it == keys_.end())
            return false;
    }
    pos_ = static_cast<long>(it - keys_.begin());
    LoadCurrent();
    return true;
}
