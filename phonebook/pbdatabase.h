// Phonebook databases: the PC phonebook and the mirrors of the phone's
// storages, each with a one-row configuration table PhoneConf and the entry
// table EntryPhone with the unique location index "indLoc".
#pragma once

#include "daodb.h"
#include "jetdatabase.h"

#include <cstdint>
#include <string>

// Current layout of a phonebook database.
constexpr int kPhoneConfVersion = 2;

class CEntryPhoneRecordset : public CDaoRecordset {
public:
    explicit CEntryPhoneRecordset(CDaoDatabase* db);
    std::string GetDefaultSQL() override { return "[EntryPhone]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;

    // Table-type recordset with current index "indLoc": removes the row at
    // `location` if there is one and starts a new row; the caller fills it
    // and calls Update.
    void AddNewAtLocation(int location);
    void SetFromEntry(const struct PBEntry& entry);

    int16_t Location = 0;
    std::string Name, Phone, ShortPhone, Address, Otherphone, Fax, Email, Company, Notes;
    std::string m_strDatabaseName;
};

class CPhoneConfRecordset : public CDaoRecordset {
public:
    explicit CPhoneConfRecordset(CDaoDatabase* db) : CDaoRecordset(db) {}
    std::string GetDefaultSQL() override { return "[PhoneConf]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;

    int16_t version = 0;
    int16_t memType = 0;
    int16_t maxLoc = 0;  // read only: the program never writes it
};

struct PBEntry {
    int16_t Location = 0;
    std::string Name, Phone, ShortPhone, Address, Otherphone, Fax, Email, Company, Notes;
    void Clear() { *this = PBEntry(); }
    void SetFromRecordset(const CEntryPhoneRecordset& rs);
};

// The phonebook storage's memType: 0 PC, 1 SIM, 2 SIM fixed dialling, 3 phone.
int PBMemTypeOf(int storageCode);

bool CreatePBDatabase(const std::string& path);
void WritePhoneConf(int storageCode, const std::string& path, bool newRow);
bool OpenPBDatabase(const std::string& path);
bool CheckPhoneConf(CJetDatabase& db);
bool ConvertPBDatabase(CJetDatabase& db, CPhoneConfRecordset& conf, int versionRead);
bool FillShortPhone(const std::string& path);
