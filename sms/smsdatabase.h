// Message databases: the PC message store and the SIM mirrors, each with a
// one-row configuration table SMSConf and the message table EntrySMS with
// the unique location index "indLoc".
#pragma once

#include "daodb.h"
#include "jetdatabase.h"

#include <cstdint>
#include <string>

// Current layout of a message database.
constexpr int kSMSConfVersion = 4;

class CEntrySMSRecordset : public CDaoRecordset {
public:
    explicit CEntrySMSRecordset(CDaoDatabase* db);
    std::string GetDefaultSQL() override { return "[EntrySMS]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;

    // Table-type recordset with current index "indLoc": removes the row at
    // `location` if there is one and starts a new row for the caller to fill.
    void SeekLocation(int location);
    // Every column but Location, from the other recordset's current row.
    void CopyRecord(const CEntrySMSRecordset& other);
    // One address entry: AddrList := name "@" number CR LF, SortAddr from it.
    void SetAddresses(const std::string& name, const std::string& number);
    // msgType 5-7 -> 0, 8-10 -> 1, 11-13 -> 2, 14-16 -> 3.
    void NormaliseMsgType();

    int16_t Location = 0, msgType = 0, MsgType2 = 0, MsgRef = 0;
    double Date = 0.0;
    std::string AddrList, SortAddr, Text;
    int16_t StatusReport = 0, ReplyPath = 0;
    std::string ServiceCentre;
    int16_t Format = 0, Validity = 0;
};

class CSMSConfRecordset : public CDaoRecordset {
public:
    explicit CSMSConfRecordset(CDaoDatabase* db) : CDaoRecordset(db) {}
    std::string GetDefaultSQL() override { return "[SMSConf]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;

    int16_t version = 0, memType = 0, maxLoc = 0;
};

// One address-list entry: the name and number without "@" and CR LF pairs,
// joined by "@" and ended by CR LF.
std::string MakeAddrEntry(const std::string& name, const std::string& number);
// The first 50 characters of an address list.
std::string MakeSortAddr(const std::string& addrList);

std::string GetSMSimSIMPath(int storageCode);
std::string GetPerMsgSMPath(int storageCode);

bool CreateSMSDatabase(const std::string& path);
void SetSMSConf(int storageCode, const std::string& path, bool newRow);
// Checks a message database before use, converting an older layout.
bool CheckSMSDatabase(const std::string& path);
// The layout check on an open database (converts when needed).
bool CheckSMSLayout(CJetDatabase& db);
