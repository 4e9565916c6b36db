#include "sendmark.h"

#include "daodb.h"
#include "debugtrace.h"
#include "message.h"
#include "smsdatabase.h"

#include <sqlite3.h>

#include <filesystem>

namespace {

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS SendMark (Store INTEGER NOT NULL, Location INTEGER NOT NULL, "
    "Numbers TEXT NOT NULL, Text TEXT NOT NULL, PRIMARY KEY (Store, Location))";

// One statement with its parameters bound in order; the number of rows it
// returned, -1 on an error.
int Run(sqlite3* db, const char* sql, int store, int32_t location, const std::string* numbers,
        const std::string* text)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        WriteDebug("SendMark -> ", sqlite3_errmsg(db));
        return -1;
    }
    sqlite3_bind_int(st, 1, store);
    sqlite3_bind_int(st, 2, location);
    if (numbers)
        sqlite3_bind_text(st, 3, numbers->c_str(), static_cast<int>(numbers->size()), SQLITE_TRANSIENT);
    if (text)
        sqlite3_bind_text(st, 4, text->c_str(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    int rows = 0, rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        ++rows;
    if (rc != SQLITE_DONE) {
        WriteDebug("SendMark -> ", sqlite3_errmsg(db));
        rows = -1;
    }
    sqlite3_finalize(st);
    return rows;
}

bool HasTable(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'SendMark'", -1, &st,
                           nullptr) != SQLITE_OK)
        return false;
    const bool has = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    return has;
}

}  // namespace

std::string SendMarkNumbers(const std::string& addrList)
{
    CAddressList list;
    CEntrySMSRecordset::ParseAddrList(addrList, list);
    std::string out;
    for (int i = 0; i < list.GetCount(); ++i)
        out += list.GetAt(i)->GetDialNumber() + "\n";
    return out;
}

bool KeepSendMark(CDaoDatabase& db, int store, int32_t location, const std::string& addrList,
                  const std::string& text, bool marked)
{
    sqlite3* h = db.Handle();
    if (!h)
        return false;
    if (!marked) {
        // A file that never had a mark is left as it is.
        if (!HasTable(h))
            return true;
        return Run(h, "DELETE FROM SendMark WHERE Store = ?1 AND Location = ?2", store, location, nullptr,
                   nullptr) >= 0;
    }
    if (sqlite3_exec(h, kCreate, nullptr, nullptr, nullptr) != SQLITE_OK) {
        WriteDebug("SendMark -> ", sqlite3_errmsg(h));
        return false;
    }
    const std::string numbers = SendMarkNumbers(addrList);
    return Run(h, "INSERT OR REPLACE INTO SendMark (Store, Location, Numbers, Text) VALUES (?1, ?2, ?3, ?4)",
               store, location, &numbers, &text) >= 0;
}

bool HasSendMark(CDaoDatabase& db, int store, int32_t location, const std::string& addrList,
                 const std::string& text)
{
    sqlite3* h = db.Handle();
    if (!h || !HasTable(h))
        return false;
    const std::string numbers = SendMarkNumbers(addrList);
    return Run(h, "SELECT 1 FROM SendMark WHERE Store = ?1 AND Location = ?2 AND Numbers = ?3 AND Text = ?4",
               store, location, &numbers, &text) > 0;
}

bool KeepSendMark(const std::string& path, int store, int32_t location, const std::string& addrList,
                  const std::string& text, bool marked)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return false;
    try {
        CDaoDatabase db;
        db.Open(path);
        return KeepSendMark(db, store, location, addrList, text, marked);
    } catch (const CDaoException& e) {
        WriteDebug("KeepSendMark -> ", e.what());
        return false;
    }
}

bool HasSendMark(const std::string& path, int store, int32_t location, const std::string& addrList,
                 const std::string& text)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return false;
    try {
        CDaoDatabase db;
        db.Open(path, false, true);
        return HasSendMark(db, store, location, addrList, text);
    } catch (const CDaoException& e) {
        WriteDebug("HasSendMark -> ", e.what());
        return false;
    }
}
