#include "smsdatabase.h"

#include "debugtrace.h"
#include "message.h"
#include "utilities.h"
#include "uiservices.h"

#include <cstdio>

namespace {

std::string WorkFolder()
{
    UiServices* ui = GetUiServices();
    return ui ? ui->GetWorkDirectory() : std::string();
}

std::string Clean(std::string s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '@')
            continue;
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += s[i];
    }
    return out;
}

}  // namespace

std::string MakeAddrEntry(const std::string& name, const std::string& number)
{
    return Clean(name) + "@" + Clean(number) + "\r\n";
}

std::string MakeSortAddr(const std::string& addrList) { return addrList.substr(0, 50); }

CEntrySMSRecordset::CEntrySMSRecordset(CDaoDatabase* db) : CDaoRecordset(db) {}

void CEntrySMSRecordset::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Long("Location", Location);
    fx.Short("msgType", msgType);
    fx.Short("MsgType2", MsgType2);
    fx.Short("MsgRef", MsgRef);
    fx.Date("Date", Date);
    fx.Text("AddrList", AddrList);
    fx.Text("SortAddr", SortAddr);
    fx.Text("Text", Text);
    fx.Short("StatusReport", StatusReport);
    fx.Short("ReplyPath", ReplyPath);
    fx.Text("ServiceCentre", ServiceCentre);
    fx.Short("Format", Format);
    fx.Short("Validity", Validity);
    if (HasCodingColumn())
        fx.Short("Coding", Coding);
    else if (fx.GetDirection() == CDaoFieldExchange::Load)
        Coding = 0;
}

bool CEntrySMSRecordset::HasCodingColumn() const { return HasField(*this, "Coding"); }

void CEntrySMSRecordset::SeekLocation(int location)
{
    try {
        if (Seek("=", CVariant::Text(std::to_string(location))))
            Delete();
        AddNew();
    } catch (const CDaoException& e) {
        WriteDebug("CEntrySMSRecordset::SeekLocation -> ", e.what());
    }
}

void CEntrySMSRecordset::CopyRecord(const CEntrySMSRecordset& o)
{
    msgType = o.msgType;
    MsgType2 = o.MsgType2;
    MsgRef = o.MsgRef;
    Date = o.Date;
    AddrList = o.AddrList;
    SortAddr = o.SortAddr;
    Text = o.Text;
    StatusReport = o.StatusReport;
    ReplyPath = o.ReplyPath;
    ServiceCentre = o.ServiceCentre;
    Format = o.Format;
    Validity = o.Validity;
    Coding = o.Coding;
}

void CEntrySMSRecordset::SetAddresses(const std::string& name, const std::string& number)
{
    AddrList = MakeAddrEntry(name, number);
    SortAddr = MakeSortAddr(AddrList);
}

void CEntrySMSRecordset::SetAddrList(const CAddressList* list)
{
    AddrList.clear();
    if (!list) {
        WriteDebug("CEntrySMSRecordset::SetAddrList -> pAddrList pointer NULL");
    } else {
        for (int i = 0; i < list->GetCount(); ++i)
            AddrList += MakeAddrEntry(list->GetAt(i)->GetName(), list->GetAt(i)->GetNumber());
    }
    SortAddr = MakeSortAddr(AddrList);
}

void CEntrySMSRecordset::GetAddrList(CAddressList& list) const { ParseAddrList(AddrList, list); }

void CEntrySMSRecordset::ParseAddrList(const std::string& addrList, CAddressList& list)
{
    std::string rest = addrList;
    while (!rest.empty()) {
        std::string name;
        size_t at = rest.find('@');
        if (at != std::string::npos) {
            name = rest.substr(0, at);
            rest = rest.substr(at + 1);
        }
        std::string number;
        size_t end = rest.find("\r\n");
        if (end != std::string::npos) {
            number = rest.substr(0, end);
            rest = rest.substr(end + 2);
        } else {
            rest.clear();
        }
        list.Add(new CAddress(name, number));
    }
}

void CEntrySMSRecordset::SetFromMessage(const CMessage& msg, bool sentPart)
{
    MsgType2 = static_cast<int16_t>(msg.GetMsgType2());
    MsgRef = msg.GetConcatRef();
    Text = msg.GetText();
    StatusReport = static_cast<int16_t>(msg.GetStatusReport());
    ReplyPath = static_cast<int16_t>(msg.GetReplyPath());
    ServiceCentre = msg.GetServiceCentre();
    Format = static_cast<int16_t>(msg.GetFormat());
    Validity = static_cast<int16_t>(msg.GetValidity());
    Coding = static_cast<int16_t>(msg.GetDcs());
    CAddressList part;
    const CAddressList& all = msg.GetAddressList();
    for (int i = 0; i < all.GetCount(); ++i)
        if (all.GetAt(i)->IsSent() == sentPart)
            part.AddNameNumber(all.GetAt(i)->GetName(), all.GetAt(i)->GetNumber());
    SetAddrList(&part);
}

int NormalisedMsgType(int msgType) { return msgType >= 5 && msgType <= 16 ? (msgType - 5) / 3 : msgType; }

void CEntrySMSRecordset::NormaliseMsgType() { msgType = static_cast<int16_t>(NormalisedMsgType(msgType)); }

void CSMSConfRecordset::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Short("version", version);
    fx.Short("memType", memType);
    if (fx.GetDirection() == CDaoFieldExchange::Load)
        fx.Short("maxLoc", maxLoc);
}

std::string GetSMSimSIMPath(int code)
{
    return WorkFolder() + ((code == 1 || code == 4) ? "SMSimSIM.mdb" : "");
}

std::string GetPerMsgSMPath(int code)
{
    return WorkFolder() + ((code == 1 || code == 4) ? "PerMsgSM.mdb" : "");
}

bool CreateSMSDatabase(const std::string& path)
{
    try {
        CDaoDatabase db;
        db.Create(path, ";LANGID=0x0409;CP=1252;COUNTRY=0");
        db.CreateTableDef("SMSConf",
                          {{"version", dbInteger, 0}, {"memType", dbInteger, 0}, {"maxLoc", dbInteger, 0}},
                          65536);
        db.CreateTableDef("EntrySMS",
                          {{"Location", dbLong, 0},
                           {"msgType", dbInteger, 0},
                           {"MsgType2", dbInteger, 0},
                           {"MsgRef", dbInteger, 0},
                           {"Date", dbDate, 0},
                           {"AddrList", dbMemo, 0},
                           {"SortAddr", dbText, 50},
                           {"Text", dbMemo, 0},
                           {"StatusReport", dbInteger, 0},
                           {"ReplyPath", dbInteger, 0},
                           {"ServiceCentre", dbText, 250},
                           {"Format", dbInteger, 0},
                           {"Validity", dbInteger, 0},
                           {"Coding", dbInteger, 0}},
                          65536);
        CreateLocationIndex(db, "EntrySMS");
        db.Close();
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CreateSMSDatabase -> ", e.what());
        return false;
    }
}

void SetSMSConf(int code, const std::string& path, bool newRow)
{
    try {
        CJetDatabase db;
        db.Open(path, false, false, "");
        CSMSConfRecordset conf(&db);
        conf.Open(dbOpenDynaset);
        if (newRow)
            conf.AddNew();
        else
            conf.Edit();
        conf.version = kSMSConfVersion;
        conf.memType = (code == 1 || code == 4) ? 1 : 0;
        conf.Update();
        conf.Close();
    } catch (const CDaoException& e) {
        WriteDebug("SetSMSConf -> ", e.what());
    }
}

void AddSMSCodingColumn(CDaoDatabase& db)
{
    CEntrySMSRecordset probe(&db);
    probe.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    const bool has = probe.HasCodingColumn();
    probe.Close();
    if (!has)
        db.ExecuteFixed("ALTER TABLE EntrySMS ADD COLUMN Coding SMALLINT DEFAULT 0");
}

bool CheckSMSLayout(CJetDatabase& old)
{
    CSMSConfRecordset conf(&old);
    conf.Open(dbOpenDynaset);
    if (!conf.IsEOF() && conf.version == kSMSConfVersion) {
        conf.Close();
        // The column came after the layout's version: adding it changes
        // nothing for a program that does not know it. A file that cannot
        // take it (read-only) is still used; its rows read as 7-bit.
        try {
            AddSMSCodingColumn(old);
        } catch (const CDaoException& e) {
            WriteDebug("CheckSMSDatabase -> no coding column: ", e.what());
        }
        return true;
    }
    const int v = conf.IsEOF() ? 0 : conf.version;
    const int16_t memType = conf.IsEOF() ? 0 : conf.memType;
    conf.Close();

    return ConvertThroughTempFile(old, WorkFolder() + "SMTmpCvt.mdb", CreateSMSDatabase, [&](CJetDatabase& cvt) {
        CSMSConfRecordset newConf(&cvt);
        newConf.Open(dbOpenDynaset);
        newConf.AddNew();
        newConf.version = kSMSConfVersion;
        newConf.memType = memType;
        newConf.Update();

        CDaoRecordset from(&old);
        from.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        const bool hasNamePhone = HasField(from, "Name") && HasField(from, "Phone");
        // Every column the old file has keeps its value, whatever its layout
        // version says (a file whose configuration row was lost still holds
        // them); the name and number of the first layouts become one address.
        auto text = [&](const char* col, std::string& out) {
            if (HasField(from, col))
                out = from.GetFieldValue(col).AsText();
        };
        auto number = [&](const char* col, int16_t& out) {
            if (HasField(from, col))
                out = static_cast<int16_t>(from.GetFieldValue(col).AsInt());
        };
        CEntrySMSRecordset to(&cvt);
        to.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        while (!from.IsEOF()) {
            to.AddNew();
            to.Location = static_cast<int32_t>(from.GetFieldValue("Location").AsInt());
            if ((v == 1 || v == 2) && hasNamePhone) {
                to.SetAddresses(from.GetFieldValue("Name").AsText(), from.GetFieldValue("Phone").AsText());
            } else {
                text("AddrList", to.AddrList);
                text("SortAddr", to.SortAddr);
            }
            to.Date = from.GetFieldValue("Date").AsDouble();
            to.msgType = static_cast<int16_t>(from.GetFieldValue("msgType").AsInt());
            to.Text = from.GetFieldValue("Text").AsText();
            number("MsgType2", to.MsgType2);
            number("MsgRef", to.MsgRef);
            number("StatusReport", to.StatusReport);
            number("ReplyPath", to.ReplyPath);
            text("ServiceCentre", to.ServiceCentre);
            number("Format", to.Format);
            number("Validity", to.Validity);
            number("Coding", to.Coding);
            to.Update();
            from.MoveNext();
        }
    }, "CheckSMSDatabase");
}

bool CheckSMSDatabase(const std::string& path)
{
    try {
        CJetDatabase db;
        db.Open(path, false, false, "");
        CheckDatabaseStructure(db);
        if (!db.HasTableDef("EntrySMS")) {
            ShowPathMessage(31320, path);
            return false;
        }
        if (!CheckSMSLayout(db)) {
            ShowPathMessage(31467, path);
            return false;
        }
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CheckSMSDatabase -> ", e.what());
        ReportDatabaseNotOpened(path);
        return false;
    }
}
