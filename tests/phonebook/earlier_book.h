// PC phonebook files written with plain SQL, as an earlier layout of the
// program (a 16-bit `Location` column) or another program left them: fast
// enough for books of 100,000 entries.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace pbtest {

// An entry beyond the numbered ones: its location, name and notes.
struct ExtraEntry {
    int location;
    std::string name;
    std::string notes;
};

// `count` entries "Entry n" (number 06 followed by 10000000 + n) at
// locations 1..count, then the `extra` entries (number 06 followed by
// 20000000 + location). True when the file was written.
inline bool MakeEarlierLayoutBook(const std::string& path, int count, const std::vector<ExtraEntry>& extra = {})
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::string sql =
        "PRAGMA user_version = 1;"
        "BEGIN;"
        "CREATE TABLE \"PhoneConf\" (\"version\" SMALLINT, \"memType\" SMALLINT, \"maxLoc\" SMALLINT);"
        "INSERT INTO \"PhoneConf\" (\"version\", \"memType\") VALUES (2, 0);"
        "CREATE TABLE \"EntryPhone\" (\"Location\" SMALLINT, \"Name\" VARCHAR(250), \"Phone\" VARCHAR(250), "
        "\"ShortPhone\" VARCHAR(250), \"Address\" LONGTEXT, \"Otherphone\" VARCHAR(250), \"Fax\" VARCHAR(250), "
        "\"Email\" VARCHAR(250), \"Company\" VARCHAR(250), \"Notes\" LONGTEXT, \"NumberType\" SMALLINT);"
        "CREATE UNIQUE INDEX \"indLoc\" ON \"EntryPhone\" (\"Location\" DESC);";
    if (count > 0)
        sql += "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(count) +
               ") INSERT INTO \"EntryPhone\" SELECT i, 'Entry ' || i, '06' || (10000000 + i), "
               "'06' || (10000000 + i), '', '', '', '', '', '', NULL FROM n;";
    for (const ExtraEntry& e : extra)
        sql += "INSERT INTO \"EntryPhone\" VALUES (" + std::to_string(e.location) + ", '" + e.name + "', '06" +
               std::to_string(20000000 + e.location) + "', '06" + std::to_string(20000000 + e.location) +
               "', '', '', '', '', '', ?1, NULL);";
    sql += "COMMIT;";
    // Statement by statement, each extra entry with its notes bound.
    bool ok = true;
    size_t next = 0;
    const char* rest = sql.c_str();
    while (ok && *rest) {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        ok = sqlite3_prepare_v2(db, rest, -1, &st, &tail) == SQLITE_OK;
        if (ok && st) {
            if (sqlite3_bind_parameter_count(st) > 0 && next < extra.size()) {
                const std::string& notes = extra[next++].notes;
                sqlite3_bind_text(st, 1, notes.data(), static_cast<int>(notes.size()), SQLITE_TRANSIENT);
            }
            const int rc = sqlite3_step(st);
            ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
        }
        sqlite3_finalize(st);
        rest = tail;
    }
    sqlite3_close(db);
    return ok;
}

}  // namespace pbtest
