// Message databases: the PC message store and the SIM mirrors, each with a
// one-row configuration table SMSConf and the message table EntrySMS with
// the unique location index "indLoc".
#pragma once

#include "daodb.h"
#include "jetdatabase.h"

#include <cstdint>
#include <string>

class CAddressList;
class CMessage;

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
    // AddrList := one entry per address, in list order; SortAddr from it.
    // A null list leaves AddrList empty.
    void SetAddrList(const CAddressList* list);
    // Appends one address per AddrList entry to the list.
    void GetAddrList(CAddressList& list) const;
    // The same for an AddrList text read elsewhere.
    static void ParseAddrList(const std::string& addrList, CAddressList& list);
    // MsgType2, MsgRef, Text, StatusReport, ReplyPath, ServiceCentre,
    // Format, Validity and Coding from the message, and AddrList from its recipients
    // that were sent (`sentPart`) or not. Location, msgType and Date are the
    // caller's.
    void SetFromMessage(const CMessage& msg, bool sentPart);
    // msgType 5-7 -> 0, 8-10 -> 1, 11-13 -> 2, 14-16 -> 3.
    void NormaliseMsgType();

    int32_t Location = 0;
    int16_t msgType = 0, MsgType2 = 0, MsgRef = 0;
    double Date = 0.0;
    std::string AddrList, SortAddr, Text;
    int16_t StatusReport = 0, ReplyPath = 0;
    std::string ServiceCentre;
    int16_t Format = 0, Validity = 0;
    // Data coding of the text (0 7-bit, 1 8-bit, 2 UCS2). Files written
    // before the column existed read 0 (their messages were all sent as
    // 7-bit); it is written only where the table has it.
    int16_t Coding = 0;

    // True when the open table has the Coding column.
    bool HasCodingColumn() const;
    // The row's coding as a message takes it: a value outside 0-2 is 7-bit.
    int GetCoding() const { return Coding >= 0 && Coding <= 2 ? Coding : 0; }
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
// The plain status of a long message's status: 5-7 -> 0, 8-10 -> 1,
// 11-13 -> 2, 14-16 -> 3; other values stay.
int NormalisedMsgType(int msgType);
// The first 50 characters of an address list.
std::string MakeSortAddr(const std::string& addrList);

// The SIM message mirror of this run and that of the previous run, in the
// work folder, for storage codes 1 and 4; the folder alone otherwise.
std::string GetSMSimSIMPath(int storageCode);
std::string GetPerMsgSMPath(int storageCode);

bool CreateSMSDatabase(const std::string& path);
void SetSMSConf(int storageCode, const std::string& path, bool newRow);
// Checks a message database before use, converting an older layout.
bool CheckSMSDatabase(const std::string& path);
// The layout check on an open database (converts when needed). A database
// of the current layout without the Coding column gets it, every row
// reading 0; earlier versions of the program read such a file unchanged.
bool CheckSMSLayout(CJetDatabase& db);
// Adds the Coding column to EntrySMS when it is missing.
void AddSMSCodingColumn(CDaoDatabase& db);
