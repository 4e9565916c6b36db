// A read-only query on an open database or a database file, with every value
// bound as a parameter: the message screen's list, find and name look-ups
// run through it, so text that came from the phone never becomes SQL.
#pragma once

#include <cstdint>
#include <string>

class CDaoDatabase;
struct sqlite3;
struct sqlite3_stmt;

class CSMSQuery {
public:
    // A statement on a database that is already open.
    CSMSQuery(CDaoDatabase* db, const char* sql);
    ~CSMSQuery();
    CSMSQuery(const CSMSQuery&) = delete;
    CSMSQuery& operator=(const CSMSQuery&) = delete;

    bool IsValid() const { return m_stmt != nullptr; }
    // Parameters are numbered from 1.
    void Bind(int i, int64_t value);
    void Bind(int i, double value);
    void Bind(int i, const std::string& value);
    // Back to the first row with the same statement (bound values kept).
    void Reset();
    // The next row; false at the end (or on an error).
    bool Step();
    // True when the statement could not be prepared or a step ended on an
    // error rather than at the end of the rows (a damaged file, say).
    bool Failed() const { return m_failed; }
    int64_t Int(int column) const;
    double Real(int column) const;
    std::string Text(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

// A database file opened read-only for look-ups, closed with the object.
class CReadOnlyDatabase {
public:
    explicit CReadOnlyDatabase(const std::string& path);
    ~CReadOnlyDatabase();
    CReadOnlyDatabase(const CReadOnlyDatabase&) = delete;
    CReadOnlyDatabase& operator=(const CReadOnlyDatabase&) = delete;
    bool IsOpen() const { return m_db != nullptr; }
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// A statement on a read-only database file.
class CSMSFileQuery {
public:
    CSMSFileQuery(const CReadOnlyDatabase& db, const char* sql);
    ~CSMSFileQuery();
    CSMSFileQuery(const CSMSFileQuery&) = delete;
    CSMSFileQuery& operator=(const CSMSFileQuery&) = delete;
    bool IsValid() const { return m_stmt != nullptr; }
    void Bind(int i, const std::string& value);
    void Reset();
    bool Step();
    std::string Text(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};
