// The program's database class: every open first makes sure the database
// engine works, then opens the file. Also the mirror naming shared by the
// phonebook, the location index and the display text of a field value.
#pragma once

#include "daodb.h"
#include "variant.h"

#include <functional>
#include <string>

// 1 once the engine check has succeeded in this process.
extern int gv_bJetLoaded;

class CJetDatabase : public CDaoDatabase {
public:
    // Throws CDaoException when the engine does not work or the file cannot
    // be opened.
    void Open(const std::string& path, bool exclusive = false, bool readOnly = false,
              const std::string& connect = std::string()) override;
    // Opens the phonebook mirror of a storage code: -1 when the code names no
    // mirror (nothing is touched), otherwise whether the database is open.
    int OpenPBMirror(int storageCode);
};

// Work folder + the mirror file of a phonebook storage code ("PBimSIM.mdb"
// for 1 and 5, "PBimSFDN.mdb" for 2 and 6, "PBimE2P.mdb" for 3 and 7); the
// work folder alone for any other code.
std::string GetPBDatabaseName(int storageCode);

// Creates the unique descending index "indLoc" on the table's Location.
bool CreateLocationIndex(CDaoDatabase& db, const std::string& table);

std::string VariantToText(const CVariant& value);

// True when the recordset has a field of that name.
bool HasField(const CDaoRecordset& rs, const std::string& name);

// Throws CDaoException when the open database's structure is damaged (a
// table, an index or a page that does not read back whole). The check only
// reads: a damaged file is reported, never shown as empty or written into.
void CheckDatabaseStructure(CDaoDatabase& db);

// Shows string `stringId` with the file's path as its insert.
void ShowPathMessage(int stringId, const std::string& path);

// Tells why the database at `path` could not be opened, once a run for each
// path and cause however often the program looks for it: at start, on a
// screen, at the end. Nothing there at all (a book on a drive that is not
// mounted, a file moved away) is not found (string 31891); anything else
// there (a link that leads nowhere, a damaged file, one held by another
// program) could not be opened (string 31456).
void ReportDatabaseNotOpened(const std::string& path);
enum { kDatabaseNotOpened = 31456, kDatabaseNotFound = 31891 };

// Rebuilds the open database `old` in a new layout through the temporary
// file `tmp`: `create` makes an empty file of the new layout, `fill` copies
// the rows into it inside one transaction. Only the complete new file takes
// the old one's name, in one rename, so a failure at any point leaves the old
// file as it was. `old` is closed once the copy is complete. Failures are
// traced under `traceName`.
bool ConvertThroughTempFile(CJetDatabase& old, const std::string& tmp,
                            bool (*create)(const std::string&),
                            const std::function<void(CJetDatabase& cvt)>& fill,
                            const char* traceName);
