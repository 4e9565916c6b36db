// Phonebook databases: the PC phonebook and the mirrors of the phone's
// storages, each with a one-row configuration table PhoneConf and the entry
// table EntryPhone with the unique location index "indLoc".
#pragma once

#include "daodb.h"
#include "jetdatabase.h"

#include <cstdint>
#include <string>

class CVCard;

// Current layout of a phonebook database.
constexpr int kPhoneConfVersion = 2;

class CEntryPhoneRecordset : public CDaoRecordset {
public:
    explicit CEntryPhoneRecordset(CDaoDatabase* db);
    ~CEntryPhoneRecordset() override;
    std::string GetDefaultSQL() override { return "[EntryPhone]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;

    // Table-type recordset with current index "indLoc": starts a new row
    // that replaces the row at `location` if there is one; the caller fills
    // it and calls Update. The replaced row goes only with a successful
    // Update: a failed or cancelled one (or none) leaves it in place.
    void AddNewAtLocation(int location);
    void Update();
    void CancelUpdate();
    void Close();
    void SetFromEntry(const struct PBEntry& entry);

    // Entry and vCard mapping (the current row is being added or edited).
    // The export follows the profile's DragAndDrop/ExportAs; each import
    // empties the row, composes the name from the card and appends the
    // suffix of its kind, the whole name kept within the name length.
    void ExportToVCard(CVCard& card) const;
    bool ImportHomeFromVCard(const CVCard* card);
    bool ImportWorkFromVCard(const CVCard* card);
    bool ImportHomeVoiceFromVCard(const CVCard* card, int maxNameLength);
    bool ImportWorkVoiceFromVCard(const CVCard* card, int maxNameLength);
    bool ImportCellVoiceFromVCard(const CVCard* card, int maxNameLength);
    void ClearFields();
    bool SetNameFromVCard(const CVCard* card, int maxNameLength);
    bool HasNoNumber() const;

    int32_t Location = 0;
    std::string Name, Phone, ShortPhone, Address, Otherphone, Fax, Email, Company, Notes;
    // The type of number the phone gave the entry (129, 145, a national 161
    // or network-specific 177...), written back with it; 0 when unknown (an
    // entry made on the PC, or a file without the column): the number's own
    // form then decides.
    int16_t NumberType = 0;
    std::string m_strDatabaseName;

private:
    void EndReplace(bool keep);
    bool replacing_ = false;  // a savepoint guards a replaced row
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
    int32_t Location = 0;
    std::string Name, Phone, ShortPhone, Address, Otherphone, Fax, Email, Company, Notes;
    int16_t NumberType = 0;  // as in CEntryPhoneRecordset
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
// Gives a file made before the number type was kept its column (nullable,
// so every row reads as unknown). A file that cannot take it, read-only
// say, works on without: false then, nothing shown.
bool AddNumberTypeColumn(CJetDatabase& db);
// Widens a 16-bit `Location` column of an earlier layout to 32 bits, so that
// a location past 32767 reads, is found and is written whole.
bool WidenLocationColumn(CJetDatabase& db);

// A name made of two parts within `maxLength` characters: the first of ever
// shorter forms that fits (both parts with their separating and closing
// spaces, then with fewer spaces, then the second part's initial only, then
// the first part cut). Every form but the last keeps one character free, so
// a one-character suffix stands apart; the result never exceeds the maximum.
void ComposeEntryName(std::string& name, const std::string& first, const std::string& second,
                      int maxLength);

// The drag-and-drop number settings (profile section DragAndDrop).
int GetExportAs();
// The name suffix an import appends for a kind ("H", "W", "C" when unset).
std::string GetHomeVoiceExt();
std::string GetWorkVoiceExt();
std::string GetCellVoiceExt();
