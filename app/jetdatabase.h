// The program's database class: every open first makes sure the database
// engine works, then opens the file. Also the mirror naming shared by the
// phonebook, the location index and the display text of a field value.
#pragma once

#include "daodb.h"
#include "variant.h"

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
