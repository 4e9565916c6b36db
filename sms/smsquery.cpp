#include "smsquery.h"

#include "daodb.h"

#include <sqlite3.h>

namespace {

sqlite3_stmt* Prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (!db || sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

std::string ColumnText(sqlite3_stmt* stmt, int column)
{
    if (!stmt)
        return std::string();
    const unsigned char* p = sqlite3_column_text(stmt, column);
    const int n = sqlite3_column_bytes(stmt, column);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

}  // namespace

CSMSQuery::CSMSQuery(CDaoDatabase* db, const char* sql)
    : m_stmt(db && db->IsOpen() ? Prepare(db->Handle(), sql) : nullptr)
{
    m_failed = db && db->IsOpen() && !m_stmt;
}

CSMSQuery::~CSMSQuery() { sqlite3_finalize(m_stmt); }

void CSMSQuery::Bind(int i, int64_t value)
{
    if (m_stmt)
        sqlite3_bind_int64(m_stmt, i, value);
}

void CSMSQuery::Bind(int i, double value)
{
    if (m_stmt)
        sqlite3_bind_double(m_stmt, i, value);
}

void CSMSQuery::Bind(int i, const std::string& value)
{
    if (m_stmt)
        sqlite3_bind_text(m_stmt, i, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void CSMSQuery::Reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

bool CSMSQuery::Step()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_failed = true;
    return rc == SQLITE_ROW;
}

int64_t CSMSQuery::Int(int column) const { return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0; }

double CSMSQuery::Real(int column) const { return m_stmt ? sqlite3_column_double(m_stmt, column) : 0.0; }

std::string CSMSQuery::Text(int column) const { return ColumnText(m_stmt, column); }

CReadOnlyDatabase::CReadOnlyDatabase(const std::string& path)
{
    if (path.empty())
        return;
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

CReadOnlyDatabase::~CReadOnlyDatabase() { sqlite3_close(m_db); }

CSMSFileQuery::CSMSFileQuery(const CReadOnlyDatabase& db, const char* sql) : m_stmt(Prepare(db.Handle(), sql)) {}

CSMSFileQuery::~CSMSFileQuery() { sqlite3_finalize(m_stmt); }

void CSMSFileQuery::Bind(int i, const std::string& value)
{
    if (m_stmt)
        sqlite3_bind_text(m_stmt, i, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void CSMSFileQuery::Reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

bool CSMSFileQuery::Step() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_ROW; }

std::string CSMSFileQuery::Text(int column) const { return ColumnText(m_stmt, column); }
