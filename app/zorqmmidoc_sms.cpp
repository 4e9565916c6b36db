// The document's short-message side: storage limits, the two message
// databases, the SIM message mirror, new-message and status-report notices,
// the concatenation lists (the master copy of multi-part messages) and the
// rows rebuilt from them.
#include "zorqmmidoc.h"

#include "debugtrace.h"
#include "mtr_frame.h"
#include "mtr_pb.h"
#include "mtr_sms.h"
#include "profile.h"
#include "smsdatabase.h"
#include "strutil.h"
#include "utilities.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr int STR_MIRROR_FAILED = 31461, STR_NEW_MESSAGE = 31313, STR_REPORT = 31743;
constexpr int STR_NO_ROOM_REPORT = 31429, STR_EMPTY_SIM_LIST = 31870;
constexpr int kIDYES = 6;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

int Box(int id, unsigned type = MB_OK)
{
    CZorqMMIApp* app = App();
    return app ? app->ShowMessageBox(id, type) : 1;
}

std::string Str(int id)
{
    CZorqMMIApp* app = App();
    return app ? app->LoadString(id).toStdString() : std::string();
}

std::string Str(int id, const QStringList& inserts)
{
    CZorqMMIApp* app = App();
    return app ? app->FormatString(id, inserts).toStdString() : std::string();
}

double Now()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return MakeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

double ToDays(const MTR_DATETIME& t)
{
    return t.IsZero() ? 0.0 : MakeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

bool IsSimCode(int storage) { return storage == SMS_SRC_SIM || storage == SMS_DST_SIM; }
bool IsPCCode(int storage) { return storage == SMS_SRC_PC || storage == SMS_DST_PC; }

}  // namespace

// ---- Storages --------------------------------------------------------------------------------

int CZorqMMIDoc::IsSMSStorageAvailable(int storage) const
{
    return storage == 1 ? m_MSParam.sms.sim_read : storage == 2 ? m_MSParam.sms.me_read : 0;
}

int CZorqMMIDoc::IsSMSDestAvailable(int storage) const
{
    return storage == 4 ? m_MSParam.sms.sim_write : storage == 5 ? m_MSParam.sms.me_write : 0;
}

int CZorqMMIDoc::GetSMSMaxLocation(int storage) const
{
    switch (storage) {
    case 0: case 3: return 65535;
    case 1: case 4: return m_MSParam.sms.sim_size;
    case 2: case 5: return m_MSParam.sms.me_size;
    default: return 0;
    }
}

bool CZorqMMIDoc::IsSIMSMSRead(int storage) const { return IsSimCode(storage) ? m_bSIMSMSRead : true; }

void CZorqMMIDoc::SetSIMSMSRead(int storage)
{
    if (!IsSimCode(storage))
        return;
    m_bSIMSMSRead = true;
    // The storage's rows now hold what the phone announced before.
    std::erase_if(m_arrivals, [](const std::pair<int, int>& a) { return a.first == SMS_SRC_SIM; });
}

int CZorqMMIDoc::GetSMSParamState() const
{
    return m_MSParam.st1_available && m_MSParam.profiles.lowest != 255 ? 1 : 0;
}

void CZorqMMIDoc::DecNewMsgCount(int count) { m_nNewMsgCount = std::max(0, m_nNewMsgCount - count); }

MTR_RESULT CZorqMMIDoc::SetupPB(bool tellSimBusy)
{
    MTR_RESULT r = mtr_PB_setup(m_MSParam.pb);
    if (tellSimBusy && mtr_failed_sim_busy(r))
        PostToMainWindow(WM_MMI_SIM_BUSY, 0, 0);
    return r;
}

MTR_RESULT CZorqMMIDoc::SetupSMS()
{
    MTR_RESULT r = mtr_SMS_setup(&m_MSParam.sms);
    if (r == 314)
        PostToMainWindow(WM_MMI_SIM_BUSY, 0, 0);
    return r;
}

std::string CZorqMMIDoc::GetPCSMSDatabasePath() const
{
    return CZorqMMIApp::GetDatabaseSetting("SMS", "defsms.mdb");
}

int CZorqMMIDoc::OpenSMSDatabase(CJetDatabase** out, int role, const std::string& nameIn)
{
    CJetDatabase* db = (role == 0 || role == 1) ? &m_dbSMSSrc : (role == 3 || role == 4) ? &m_dbSMSDst : nullptr;
    if (out)
        *out = db;
    if (!db)
        return -1;
    std::string name = IsSimCode(role) ? GetSMSimSIMPath(1) : nameIn;
    if (nameIn.empty() && !IsSimCode(role))
        return 0;
    return OpenRoleDatabase(db, name, CheckSMSDatabase, "CZorqMMIDoc::OpenSMSDatabase");
}

void CZorqMMIDoc::CloseSMSDatabases(int which) { CloseRoleDatabases(m_dbSMSSrc, m_dbSMSDst, which); }

namespace {

// The storage's database, opened by role: the PC file from the profile,
// the SIM mirror; null for the phone memory.
CJetDatabase* OpenByStorage(CZorqMMIDoc& doc, int storage)
{
    CJetDatabase* db = nullptr;
    const std::string name = IsPCCode(storage) ? doc.GetPCSMSDatabasePath() : std::string();
    if (doc.OpenSMSDatabase(&db, storage, name) != 0 || !db || !db->IsOpen())
        return nullptr;
    return db;
}

// The database a copy works in: for a PC role the file the role has open
// (another file than the profile's may have been chosen), else as above.
CJetDatabase* OpenCurrentByStorage(CZorqMMIDoc& doc, int storage)
{
    if (IsPCCode(storage)) {
        CJetDatabase* db = nullptr;
        if (doc.OpenSMSDatabase(&db, storage, std::string()) == 0 && db && db->IsOpen())
            return db;
    }
    return OpenByStorage(doc, storage);
}

}  // namespace

int32_t CZorqMMIDoc::FindFreeSMSLocation(CJetDatabase* db, int storage, bool capacityTest)
{
    return FirstFreeLocation(db, "EntrySMS", capacityTest ? GetSMSMaxLocation(storage) : -1L,
                             "CZorqMMIDoc::GetFreeSMSLocation");
}

int32_t CZorqMMIDoc::GetFreeSMSLocation(int storage)
{
    CJetDatabase* db = OpenCurrentByStorage(*this, storage);
    return db ? FindFreeSMSLocation(db, storage, true) : kNoLocation;
}

bool CZorqMMIDoc::CheckSMSRoom(int storage, int count, int* freeOut, bool replace)
{
    CJetDatabase* db = OpenCurrentByStorage(*this, storage);
    if (!db)
        return false;
    const int capacity = GetSMSMaxLocation(storage);
    if (IsSimCode(storage) && !m_bSIMSMSRead) {
        // Nothing counted yet: the SIM-full indicator is all that is known.
        if (freeOut)
            *freeOut = m_bSIMFull ? 0 : capacity;
        return !m_bSIMFull;
    }
    long used = 0;
    try {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        std::vector<int32_t> locations;
        while (!rs.IsEOF()) {
            locations.push_back(rs.Location);
            if (!replace) {
                if (IsPCCode(storage) || rs.msgType < 5 || rs.msgType > 16) {
                    used += 1;
                } else {
                    // A concatenated message holds the places of its parts
                    // still in the phone (one when it is not in the list).
                    CMessageList& list = IsSimCode(storage) ? m_SIMConcatList : m_PCConcatList;
                    int i = list.FindRecord(&rs);
                    used += i < 0 ? 1 : std::max(1, list.GetAt(i)->CountStoredParts());
                }
            }
            rs.MoveNext();
        }
        rs.Close();
        // Messages the phone announced that the rows do not hold yet.
        if (IsSimCode(storage)) {
            std::erase_if(m_arrivals, [&](const std::pair<int, int>& a) {
                return a.first == SMS_SRC_SIM &&
                       std::find(locations.begin(), locations.end(), a.second) != locations.end();
            });
            for (const auto& a : m_arrivals)
                used += a.first == SMS_SRC_SIM ? 1 : 0;
        }
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::CheckSMSRoom -> ", e.what());
        return false;
    }
    if (freeOut)
        *freeOut = std::max(0, capacity - static_cast<int>(used));
    return used + count <= capacity;
}

bool CZorqMMIDoc::PrepareSIMSMSDatabase()
{
    const std::string path = GetSMSimSIMPath(1);
    if (m_bFirstDetect) {
        DeleteFileIfExists(path);
    } else {
        CloseSMSDatabases(0);
        CloseSMSDatabases(1);
        if (FileExists(path)) {
            std::error_code ec;
            std::filesystem::rename(path, GetPerMsgSMPath(1), ec);
            if (ec) {
                WriteDebug("CZorqMMIDoc::PrepareSIMSMSDatabase -> ", ec.message());
                DeleteFileIfExists(path);
            }
        }
    }
    if (!CreateSMSDatabase(path)) {
        Box(STR_MIRROR_FAILED);
        return false;
    }
    SetSMSConf(1, path, true);
    return true;
}

// ---- Notices ---------------------------------------------------------------------------------------

// These notices come from the engine's poll, inside a request's end or an
// idle step. A modal box opened there would hold that step for as long as
// nobody answers: the phone's input would pile up unread behind it (the
// port then stays readable and the loop spins) and messages arriving
// meanwhile would never be listed. The box is shown from the loop instead,
// once no request waits and no idle step runs, so that while it stands the
// loop goes on reading the port and the screens read what arrives. `shown`
// stays set from the notice to the box's end: further arrivals meanwhile
// bring no second box. While a progress window stands, or a screen has yet
// to read an arrival (under a progress window of its own), the box waits
// for it, `pending` telling so. A reading that starts while the box stands
// keeps its window hidden until the box is answered: the two never stand
// together.
void CZorqMMIDoc::NoticeFromLoop(int stringId, bool* shown, bool* pending, int delayMs)
{
    if (!QCoreApplication::instance()) {
        *shown = false;
        return;
    }
    if (!m_pNoticeContext)
        m_pNoticeContext = std::make_unique<QObject>();
    QTimer::singleShot(delayMs, m_pNoticeContext.get(), [this, stringId, shown, pending] {
        CZorqMMIApp* app = App();
        if (app && app->IsShuttingDown()) {
            *shown = false;
            return;
        }
        // What the user gave in a progress window's last moment goes to its
        // window first: a box shown before would block it.
        auto busy = [app] { return app && (!app->IdleAllowed() || app->InputHeld()); };
        if (busy()) {
            NoticeFromLoop(stringId, shown, pending, 50);
            return;
        }
        // Held back while a progress window stands: shown once it is gone.
        // Asking may run the reading of an arrival to its end.
        const QPointer<QObject> alive = m_pNoticeContext.get();
        *pending = m_pWindows->NoticesWait();
        if (!alive)
            return;  // the document went while the screen read
        if (app && app->IsShuttingDown()) {
            *shown = false;
            return;
        }
        if (*pending || busy()) {
            NoticeFromLoop(stringId, shown, pending, 50);
            return;
        }
        m_pWindows->NoticeBoxShown(stringId, true);
        Box(stringId);
        if (!alive)
            return;  // the document went while the box stood
        m_pWindows->NoticeBoxShown(stringId, false);
        *shown = false;
    });
}

void CZorqMMIDoc::mmi_MNGT_sms_received(int storage, int index)
{
    WriteDebug("CZorqMMIDoc::mmi_MNGT_sms_received -> New message received");
    WriteDebugInt("CZorqMMIDoc::mmi_MNGT_sms_received -> stored in SMS storage ", storage);
    WriteDebugInt("CZorqMMIDoc::mmi_MNGT_sms_received -> at index ", index);
    if (m_nNewMsgCount < 255)
        ++m_nNewMsgCount;
    m_arrivals.emplace_back(storage, index);
    if (!m_bNewMsgBoxShown) {
        m_bNewMsgBoxShown = true;
        m_pWindows->ActivateMainWindow();
        NoticeFromLoop(STR_NEW_MESSAGE, &m_bNewMsgBoxShown, &m_bNewMsgPending);
    }
    PostToMainWindow(WM_MMI_SMS_RECEIVED, static_cast<uintptr_t>(storage), index & 0xFF);
}

void CZorqMMIDoc::mmi_MNGT_report_received(int reference, const std::string& number, const MTR_DATETIME& stamp,
                                           const MTR_DATETIME& discharge, int status)
{
    WriteDebug("CZorqMMIDoc::mmi_MNGT_report_received -> Status report received");
    if (!m_bReportBoxShown) {
        m_bReportBoxShown = true;
        m_pWindows->ActivateMainWindow();
        NoticeFromLoop(STR_REPORT, &m_bReportBoxShown, &m_bReportPending);
    }
    const int locale = ProgramLangId();
    const double sc = ToDays(stamp), dt = ToDays(discharge);
    const QStringList inserts = {
        QString::fromStdString(FormatDateText(sc, locale)), QString::fromStdString(FormatTimeText(sc, locale)),
        QString::fromStdString(number), QString::fromStdString(FormatDateText(dt, locale)),
        QString::fromStdString(FormatTimeText(dt, locale))};
    const int cls = (status & 0xFF) >> 5;
    int body, word;
    if (cls == 0) {
        body = number.empty() ? 31734 : 31733;
        word = 31740;
    } else if (cls == 1) {
        body = number.empty() ? 31738 : 31737;
        word = 31742;
    } else {
        body = number.empty() ? 31736 : 31735;
        word = 31741;
    }
    const std::string text = Str(31739) + Str(word) + Str(body, inserts);
    StoreStatusReport(reference, number, text);
    PostToMainWindow(WM_MMI_REPORT_RECEIVED, 0, 0);
}

void CZorqMMIDoc::StoreStatusReport(int reference, const std::string& number, const std::string& text)
{
    CJetDatabase* db = OpenByStorage(*this, SMS_DST_PC);
    if (!db)
        return;
    try {
        // A later report on the same message (still trying, then delivered)
        // updates its row instead of adding another.
        int32_t location = kNoLocation;
        {
            CEntrySMSRecordset rs(db);
            rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
            while (!rs.IsEOF()) {
                if (rs.MsgType2 == 2 && rs.MsgRef == reference && rs.AddrList == MakeAddrEntry("", number)) {
                    location = rs.Location;
                    break;
                }
                rs.MoveNext();
            }
            rs.Close();
        }
        if (location == kNoLocation) {
            if (!CheckSMSRoom(SMS_DST_PC, 1, nullptr, false)) {
                Box(STR_NO_ROOM_REPORT);
                return;
            }
            location = GetFreeSMSLocation(SMS_DST_PC);
            if (location == kNoLocation) {
                Box(STR_NO_ROOM_REPORT);
                return;
            }
        }
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenTable, "EntrySMS");
        rs.SetCurrentIndex("indLoc");
        rs.SeekLocation(location);
        rs.Location = location;
        rs.msgType = 0;
        rs.MsgType2 = 2;
        rs.MsgRef = static_cast<int16_t>(reference);
        rs.Date = Now();
        rs.SetAddresses("", number);
        rs.Text = text;
        rs.StatusReport = 0;
        rs.ReplyPath = 0;
        rs.ServiceCentre.clear();
        rs.Format = 0;
        rs.Validity = 0;
        rs.Coding = 0;
        rs.Update();
        rs.Close();
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::StoreStatusReport -> ", e.what());
    }
}

// ---- Messages and concatenation -------------------------------------------------------------------------

bool CZorqMMIDoc::SaveMsgInDB(CMessage* msg, int storage)
{
    if (!msg)
        return false;
    CJetDatabase* db = OpenByStorage(*this, storage);
    if (!db)
        return false;
    int32_t location = msg->GetLocation();
    if (IsPCCode(storage)) {
        if (!CheckSMSRoom(SMS_DST_PC, 1, nullptr, false) ||
            (location = GetFreeSMSLocation(SMS_DST_PC)) == kNoLocation) {
            WriteDebug("CZorqMMIDoc::SaveMsgInDB -> No free location in PC database.");
            return false;
        }
    }
    try {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenTable, "EntrySMS");
        rs.SetCurrentIndex("indLoc");
        rs.SeekLocation(location);
        rs.Location = location;
        rs.msgType = static_cast<int16_t>(msg->GetStatus());
        rs.MsgType2 = static_cast<int16_t>(msg->GetMsgType2());
        rs.MsgRef = msg->GetConcatRef();
        rs.Date = msg->GetDays();
        rs.SetAddrList(&msg->GetAddressList());
        rs.Text = msg->GetText();
        rs.StatusReport = static_cast<int16_t>(msg->GetStatusReport());
        rs.ReplyPath = static_cast<int16_t>(msg->GetReplyPath());
        rs.ServiceCentre = msg->GetServiceCentre();
        rs.Format = static_cast<int16_t>(msg->GetFormat());
        rs.Validity = static_cast<int16_t>(msg->GetValidity());
        rs.Coding = static_cast<int16_t>(msg->GetDcs());
        rs.Update();
        rs.Close();
        // The message now matches its row (FindRecord compares locations).
        msg->SetLocation(location);
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::SaveMsgInDB -> ", e.what());
        return false;
    }
}

void CZorqMMIDoc::MakeMessageFromRecord(int32_t location, const SMS_PARAMETERS* p, const std::string& text,
                                        const std::string& number, const MTR_DATETIME& stamp, const std::string& sca)
{
    if (!p || !m_pCurrentList)
        return;
    auto* block = new CBlock(text, static_cast<uint8_t>(location > 0 && location < 256 ? location : 0), p->concat_seq);
    const bool partReply = p->reply_path == 1;
    int i = m_pCurrentList->FindConcatenated(number, 1, p->concat_ref, p->concat_total);
    if (i < 0) {
        auto* m = new CMessage;
        m->SetLocation(location);
        m->AddAddress("", number);
        m->SetServiceCentre(sca);
        m->SetFormat(p->format);
        m->SetValidity(p->validity);
        m->SetReplyPath(partReply ? 1 : 0);
        m->SetDcs(p->coding >= 0 && p->coding <= 2 ? p->coding : 0);
        if (p->status == 0 || p->status == 1) {
            m->SetDate(stamp);
            m->SetStatusReport(p->report_indication == 1 ? 1 : 0);
        } else {
            m->SetDate(Now());
            m->SetStatusReport(p->report_request == 1 ? 1 : 0);
        }
        m->SetConcatStatus(p->status);
        m->SetMsgType2(1);
        m->SetConcatRef(p->concat_ref);
        m->SetNbBlocks(p->concat_total);
        m->AddBlock(block);
        m->AssembleText();
        m_pCurrentList->AddMessage(m);
        return;
    }
    CMessage* m = m_pCurrentList->GetAt(i);
    if (location < m->GetLocation())
        m->SetLocation(location);
    const int partReport = (p->status <= 1 ? p->report_indication : p->report_request) == 1 ? 1 : 0;
    if (!m->GetStatusReport())
        m->SetStatusReport(partReport);
    if (!partReply && !m->GetReplyPath() && m->GetServiceCentre() != sca) {
        m->SetServiceCentre(sca);
        m->SetFormat(p->format);
        m->SetValidity(p->validity);
    }
    if (partReply) {
        m->SetServiceCentre(sca);
        m->SetFormat(p->format);
        m->SetValidity(p->validity);
        m->SetReplyPath(1);
    }
    // A part already held under this number is replaced, never doubled.
    m->RemoveBlockBySeqNum(p->concat_seq);
    m->UpdateConcatStatus(p->status);
    m->AddBlock(block);
    m->AssembleText();
}

void CZorqMMIDoc::SelectConcatList(int storage)
{
    m_pCurrentList = IsPCCode(storage) ? &m_PCConcatList : IsSimCode(storage) ? &m_SIMConcatList : nullptr;
}

DeletedIndexReadBack CZorqMMIDoc::ConcatPartReadBack()
{
    // A part still held, read back, must not join the list it is being
    // deleted from while its message's parts are walked.
    return [this](uint8_t index) {
        CMessageList* list = m_pCurrentList;
        ClearConcatListSelection();
        const PhoneHolds holds = AskDeletedIndex(index);
        m_pCurrentList = list;
        return holds;
    };
}

PhoneChangeResult CZorqMMIDoc::DeleteConcatMessage(const CEntrySMSRecordset* record, int storage)
{
    SelectConcatList(storage);
    PhoneChangeResult r;
    if (m_pCurrentList) {
        int i = m_pCurrentList->FindRecord(record);
        if (i >= 0) {
            r = m_pCurrentList->GetAt(i)->DeleteParts(ConcatPartReadBack());
            if (r.Landed())
                m_pCurrentList->RemoveAt(i);
        }
    }
    ClearConcatListSelection();
    return r;
}

bool CZorqMMIDoc::MarkConcatMessageRead(const CEntrySMSRecordset* record, int storage)
{
    SelectConcatList(storage);
    bool ok = false;
    if (m_pCurrentList) {
        int i = m_pCurrentList->FindRecord(record);
        ok = i >= 0 && m_pCurrentList->GetAt(i)->SetStatusToRead();
    }
    ClearConcatListSelection();
    return ok;
}

bool CZorqMMIDoc::DeleteConcatRows(CJetDatabase* db)
{
    try {
        db->BeginTrans();
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        while (!rs.IsEOF()) {
            if (rs.msgType >= 5 && rs.msgType <= 16)
                rs.Delete();
            rs.MoveNext();
        }
        rs.Close();
        db->CommitTrans();
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::DeleteConcatRows -> ", e.what());
        try {
            if (db->InTransaction())
                db->Rollback();
        } catch (const CDaoException&) {
        }
        return false;
    }
}

void CZorqMMIDoc::SaveConcatListInDB(int storage)
{
    const bool pc = IsPCCode(storage);
    if (!pc && !IsSimCode(storage))
        return;
    const int role = pc ? SMS_DST_PC : SMS_DST_SIM;
    CMessageList& list = pc ? m_PCConcatList : m_SIMConcatList;
    CJetDatabase* db = OpenByStorage(*this, role);
    if (!db)
        return;
    // The rows of concatenated messages are rebuilt from the list.
    if (!DeleteConcatRows(db))
        return;
    for (int i = 0; i < list.GetCount(); ++i) {
        CMessage* m = list.GetAt(i);
        m->AssembleText();
        if (!pc) {
            int32_t loc = FindFreeSMSLocation(db, role, false);
            if (loc == kNoLocation)
                continue;
            m->SetLocation(loc);
        }
        SaveMsgInDB(m, role);
    }
}

std::string CZorqMMIDoc::GetPCConcatListPath() const
{
    CZorqMMIApp* app = App();
    return (app ? app->GetWorkDirectory() : std::string()) + "PCConc.lst";
}

std::string CZorqMMIDoc::GetSIMConcatListPath() const
{
    CZorqMMIApp* app = App();
    return (app ? app->GetWorkDirectory() : std::string()) + "SIMConc.lst";
}

bool CZorqMMIDoc::SaveConcatLists()
{
    bool ok = true;
    for (auto [list, path] : {std::pair{&m_PCConcatList, GetPCConcatListPath()},
                              std::pair{&m_SIMConcatList, GetSIMConcatListPath()}}) {
        if (m_unreadableLists.count(path))
            continue;  // what it holds was never read: it is not ours to replace
        if (list->IsEmpty())
            DeleteFileIfExists(path);
        else if (!list->Save(path)) {
            WriteDebug("CZorqMMIDoc::SaveConcatLists -> could not write ", path);
            ok = false;
        }
    }
    return ok;
}

void CZorqMMIDoc::LoadListFile(CMessageList& list, const std::string& path)
{
    try {
        struct stat st;
        if (!list.Load(path) && ::lstat(path.c_str(), &st) == 0) {
            // Not a file that can be read (a folder in its place, a read
            // error): left where it is, and never replaced by the empty list.
            WriteDebug("CZorqMMIDoc::LoadConcatLists -> cannot read ", path);
            m_unreadableLists.insert(path);
            UiReportFileOnce(kFileUnreadable, path);
        }
    } catch (const ArchiveError& e) {
        UiReportFileOnce(kFileUnreadable, path);
        // A damaged file must not stop every start: it is kept aside for
        // inspection and the list starts empty.
        WriteDebug("CZorqMMIDoc::LoadConcatLists -> damaged list file ", path, ": ", e.what());
        std::string aside = path + ".bad";
        for (int n = 2; FileExists(aside); ++n)
            aside = path + ".bad" + std::to_string(n);
        std::error_code ec;
        std::filesystem::rename(path, aside, ec);
        if (ec)
            WriteDebug("CZorqMMIDoc::LoadConcatLists -> could not move it aside: ", ec.message());
    }
}

void CZorqMMIDoc::LoadConcatLists()
{
    LoadListFile(m_PCConcatList, GetPCConcatListPath());
    SaveConcatListInDB(SMS_SRC_PC);
    LoadListFile(m_SIMConcatList, GetSIMConcatListPath());
}

void CZorqMMIDoc::OfferEmptySIMConcatList()
{
    if (!m_SIMConcatList.HasPendingParts())
        return;
    if (Box(STR_EMPTY_SIM_LIST, MB_YESNO | MB_ICONQUESTION) == kIDYES)
        m_SIMConcatList.DeleteOnePendingPart(ConcatPartReadBack());
}

std::string CZorqMMIDoc::GetTempVCardFolder()
{
    if (m_strTempFolder.empty()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zorqmmi-XXXXXX").string();
        if (mkdtemp(tmpl.data()))
            m_strTempFolder = tmpl + "/";
    }
    return m_strTempFolder;
}
