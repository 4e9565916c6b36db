// Damages one page of a database file, as a failing disk or a torn write
// does: the root page of a table, the root page of an index, or a leaf page
// of a table (the table needs rows enough for more than one page).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zorqtest {

// SQLite's own verdict on a database file: "ok" when whole. Opened for
// writing, so that a journal left by a killed writer is rolled back first,
// as the program's next open does.
inline std::string IntegrityOf(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string verdict = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            verdict = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return verdict;
}

enum class DbDamage { TableRoot, IndexRoot, TableLeaf };

inline const char* DbDamageName(DbDamage d)
{
    return d == DbDamage::TableRoot ? "table" : d == DbDamage::IndexRoot ? "index" : "leaf";
}

// `table` and `index` name the objects whose pages are damaged. False when
// the file does not have the shape asked for.
inline bool DamageDatabase(const std::string& path, const std::string& table, const std::string& index,
                           DbDamage what)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    auto intOf = [db](const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        int64_t v = -1;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    const int64_t pageSize = intOf("PRAGMA page_size");
    const int64_t tableRoot = intOf("SELECT rootpage FROM sqlite_master WHERE name = '" + table + "'");
    const int64_t indexRoot = intOf("SELECT rootpage FROM sqlite_master WHERE name = '" + index + "'");
    sqlite3_close(db);
    if (pageSize <= 0 || tableRoot <= 1 || indexRoot <= 1)
        return false;
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto pageAt = [&](int64_t page) { return static_cast<size_t>((page - 1) * pageSize); };
    int64_t page = what == DbDamage::IndexRoot ? indexRoot : tableRoot;
    if (what == DbDamage::TableLeaf) {
        const size_t at = pageAt(tableRoot);
        if (at + 12 > bytes.size() || static_cast<unsigned char>(bytes[at]) != 0x05)
            return false;  // the root is a leaf itself: too few rows
        // The right-most child of the interior root page.
        page = (static_cast<int64_t>(static_cast<unsigned char>(bytes[at + 8])) << 24) |
               (static_cast<unsigned char>(bytes[at + 9]) << 16) |
               (static_cast<unsigned char>(bytes[at + 10]) << 8) | static_cast<unsigned char>(bytes[at + 11]);
    }
    const size_t at = pageAt(page);
    if (page <= 1 || at + static_cast<size_t>(pageSize) > bytes.size())
        return false;
    // A page type no b-tree page has, and its cell area overwritten.
    bytes[at] = 0x00;
    for (size_t i = at + static_cast<size_t>(pageSize) / 2; i < at + static_cast<size_t>(pageSize) / 2 + 64; ++i)
        bytes[i] = static_cast<char>(0xA5);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace zorqtest
