#include "pbsourcedata.h"

#include "debugtrace.h"
#include "entrylistctrl.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_pb.h"
#include "mtr_poll.h"
#include "pccharset.h"
#include "profile.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

constexpr int kDone = -35;
constexpr int kFailed = -36;
// "No phone was found...": what the program says of a phone that does not answer.
constexpr int kNoPhoneString = 31885;
constexpr int kSimBusyString = 31472;

// Holds the wait cursor for a scope.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

std::string StorageFileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ShowFormatted(int id, const QStringList& inserts) { UiMessageBox(UiFormatString(id, inserts)); }

constexpr int kSilentWrittenString = 31924;
constexpr int kSilentNotWrittenString = 31925;
constexpr int kSilentMayBeWrittenString = 31926;
constexpr int kCopyStopsString = 31927;
constexpr int kSilentErasedString = 31928;
constexpr int kSilentNotErasedString = 31929;
constexpr int kSilentMayBeErasedString = 31920;

// The dialling characters of a number, the '+' aside: the phone keeps the
// '+' in the type of number.
std::string DialCharsOf(const std::string& number)
{
    std::string dial;
    FilterDialChars(number, dial);
    dial.erase(std::remove(dial.begin(), dial.end(), '+'), dial.end());
    return dial;
}

std::string TrimmedRight(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

QString WithRunEnd(const QString& text, bool inRun)
{
    return inRun ? text + QLatin1Char(' ') + UiLoadString(kCopyStopsString) : text;
}

}  // namespace

PhoneChangeResult WritePhoneEntry(int location, const std::string& number, const std::string& name, int type,
                                  const char* traceOwner, PhoneEntryText* held, bool placeWasFree)
{
    const std::string prefix = std::string(traceOwner) + " -> ";
    WriteDebug(prefix + "Write the Phonebook entry in the current selected storage");
    WriteDebugInt(prefix + "Location = ", location);
    WriteDebug(prefix + "Phone number = ", number);
    WriteDebug(prefix + "Name = ", name);
    if (location < 1 || location > 255) {
        WriteDebug(prefix + "The location does not travel as one byte");
        return PhoneChangeResult();  // refused: nothing went out
    }
    const auto place = static_cast<uint8_t>(location);
    PhoneEntryText seen;
    const auto readPlace = [&] {
        seen = PhoneEntryText();
        seen.read = mtr_PB_read_entry(place, seen.number, seen.name, &seen.type) == kDone;
        return seen.read;
    };
    const PhoneChangeResult r = RunPhoneChange(
        "phonebook entry written",
        [&] { return mtr_PB_write_entry(place, number, name, static_cast<uint8_t>(type)); },
        [&] {
            if (!readPlace())
                return PhoneHolds::Unknown;
            if (seen.number.empty() && seen.name.empty())
                return PhoneHolds::Before;
            // A free place the phone filled holds the entry, as the phone
            // stores it (a name may come back in the phone's own letters).
            if (placeWasFree)
                return PhoneHolds::Change;
            // Over an entry, the one written is there when its number and
            // its name are.
            const bool there = DialCharsOf(seen.number) == DialCharsOf(number) &&
                               TrimmedRight(seen.name) == TrimmedRight(name);
            return there ? PhoneHolds::Change : PhoneHolds::Before;
        });
    if (r.Done()) {
        // Read back so that the mirror shows the number as the phone does.
        readPlace();
    }
    if (!r.Landed())
        WriteDebug(prefix + (r.Unanswered() ? "The phone did not answer the writing" : "The writing failed"));
    if (held) {
        *held = r.Landed() && seen.read && !seen.number.empty() ? seen : PhoneEntryText();
        if (r.Landed() && !held->read)
            WriteDebug(prefix + "The entry could not be read");
    }
    return r;
}

PhoneChangeResult ErasePhoneEntry(int location, const char* traceOwner)
{
    const std::string prefix = std::string(traceOwner) + " -> ";
    WriteDebugInt(prefix + "Delete in the current selected storage the Phonebook entry ", location);
    if (location < 1 || location > 255)
        return PhoneChangeResult();
    const auto place = static_cast<uint8_t>(location);
    const PhoneChangeResult r = RunPhoneChange(
        "phonebook entry erased", [&] { return mtr_PB_erase_entry(place); },
        [&] {
            std::string number, name;
            if (mtr_PB_read_entry(place, number, name, nullptr) != kDone)
                return PhoneHolds::Unknown;
            return number.empty() && name.empty() ? PhoneHolds::Change : PhoneHolds::Before;
        });
    if (!r.Landed())
        WriteDebug(prefix + (r.Unanswered() ? "The phone did not answer the deletion"
                                             : "The Phonebook entry could not be deleted"));
    return r;
}

QString SilentWriteText(const PhoneChangeResult& r, const QString& name, bool inRun)
{
    if (!r.Unanswered())
        return QString();
    switch (r.holds) {
    case PhoneHolds::Change: return UiFormatString(kSilentWrittenString, {name});
    case PhoneHolds::Before: return UiFormatString(kSilentNotWrittenString, {name});
    default: return WithRunEnd(UiFormatString(kSilentMayBeWrittenString, {name}), inRun);
    }
}

QString SilentEraseText(const PhoneChangeResult& r, const QString& name, bool inRun)
{
    if (!r.Unanswered())
        return QString();
    switch (r.holds) {
    case PhoneHolds::Change: return UiFormatString(kSilentErasedString, {name});
    case PhoneHolds::Before: return WithRunEnd(UiFormatString(kSilentNotErasedString, {name}), inRun);
    default: return UiFormatString(kSilentMayBeErasedString, {name});  // it says the run stops
    }
}

void TellSilentWrite(const PhoneChangeResult& r, const QString& name, bool inRun)
{
    const QString text = SilentWriteText(r, name, inRun);
    if (!text.isEmpty())
        UiMessageBox(text);
}

void TellSilentErase(const PhoneChangeResult& r, const QString& name, bool inRun)
{
    const QString text = SilentEraseText(r, name, inRun);
    if (!text.isEmpty())
        UiMessageBox(text);
}

bool CPBSourceData::VerifyPin2(CZorqMMIDoc* doc)
{
    return doc && doc->VerifyPin2Code();
}

int DialDigitCount(const std::string& shortPhone)
{
    int n = 0;
    for (char c : shortPhone)
        if (c != '+')
            ++n;
    return n;
}

CPBSourceData::CPBSourceData(CZorqMMIDoc* doc) : m_pDoc(doc) {}

CPBSourceData::~CPBSourceData()
{
    try {
        if (m_pSet)
            m_pSet->Close();
    } catch (const CDaoException&) {
    }
}

void CPBSourceData::SetStorage(int storage)
{
    if (storage == 8)
        return;
    m_nPrevious = m_nCurrent;
    m_nCurrent = storage;
}

// ---- limits and storage ----------------------------------------------------------

int CPBSourceData::GetMaxLocation() const
{
    if (!m_pDoc)
        return 255;
    return m_pDoc->GetPBMaxLocation(m_nCurrent);
}

int CPBSourceData::GetMaxNameLength() const
{
    return m_pDoc ? m_pDoc->GetPBMaxTextLength(m_nCurrent) : 250;
}

int CPBSourceData::GetMaxNumberLength() const
{
    return m_pDoc ? m_pDoc->GetPBMaxNumberLength(m_nCurrent) : 250;
}

int CPBSourceData::GetMemoryOrder(int storage)
{
    switch (storage) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 3;
    case 3: return 2;
    default: return -1;
    }
}

int CPBSourceData::GetInitialSource(int def) const
{
    if (!m_pDoc)
        return def;
    int v = GetIniProfileInt("PhoneBook", "Source", -1);
    if (v < 0 || v > 3)
        v = def;
    const bool sim = m_pDoc->IsPBStorageAvailable(1);
    const bool fdn = m_pDoc->IsPBStorageAvailable(2);
    const bool phone = m_pDoc->IsPBStorageAvailable(3);
    if (!sim && !fdn && (v == 1 || v == 2))
        v = 0;
    if (!sim && fdn && v == 1)
        v = 2;
    if (sim && !fdn && v == 2)
        v = 1;
    if (!phone && v == 3)
        v = 0;
    return v;
}

void CPBSourceData::SaveCurrentSource() const
{
    WriteIniProfileInt("PhoneBook", "Source", m_nCurrent == 8 ? -1 : m_nCurrent);
}

bool CPBSourceData::SelectStorage()
{
    WriteDebugInt("CQXPBSrcNewList::SelectStorage -> Select the Phonebook storage ", m_nCurrent);
    MTR_RESULT r;
    {
        WaitCursor wait;
        r = mtr_PB_select_storage(m_nCurrent);
    }
    m_lastSelection = r;
    if (r == kDone)
        return true;
    WriteDebug("CQXPBSrcNewList::SelectStorage -> The storage could not be selected");
    if (mtr_GEN_translate_error(r) != kFailed)
        return false;
    if (mtr_failed_unanswered(r) && m_bOwnerTellsSilence) {
        if (m_ownerSilent)
            m_ownerSilent();
        return false;
    }
    const QString text = SelectionFailureText(r);
    if (!text.isEmpty())
        UiMessageBox(text);
    return false;
}

QString CPBSourceData::SelectionFailureText(MTR_RESULT r) const
{
    // A phone that went silent is said so, in the words of the detection
    // that finds no phone, not as a refusal numbered -36.
    if (mtr_failed_unanswered(r))
        return UiLoadString(kNoPhoneString);
    // A SIM still busy (starting up, or with another request) is said so:
    // it passes, which an error number does not tell.
    if (m_nCurrent == 1 || m_nCurrent == 2)
        return mtr_failed_sim_busy(r) ? UiLoadString(kSimBusyString) : UiFormatString(31364, {QString::number(r)});
    if (m_nCurrent == 3)
        return UiFormatString(31365, {QString::number(r)});
    return QString();
}

MTR_RESULT CPBSourceData::SelectCurrSrcInMobile()
{
    if (!IsPhoneStorage())
        return kDone;
    return mtr_PB_select_storage(m_nCurrent);
}

bool CPBSourceData::IsStorageRead() const
{
    return m_pDoc ? m_pDoc->IsPBStorageRead(m_nCurrent) : false;
}

bool CPBSourceData::UploadStorage()
{
    if (!m_pDoc)
        return false;
    int x = 0, y = 0;
    if (m_pOwnerWnd) {
        const QPoint p = m_pOwnerWnd->mapToGlobal(QPoint(73, 82));
        x = p.x();
        y = p.y();
    }
    const bool read = m_pDoc->UpLoadPB(m_nCurrent, m_pOwnerWnd, x, y, !m_bOwnerTellsSilence);
    // The reading that follows the selection can meet the same silence: an
    // owner that waits for the phone learns it as it learns the selection's.
    if (!read && mtr_failed_unanswered(m_pDoc->LastPBUpload())) {
        m_lastSelection = m_pDoc->LastPBUpload();
        if (m_bOwnerTellsSilence && m_ownerSilent)
            m_ownerSilent();
    }
    return read;
}

void CPBSourceData::MarkStorageRead()
{
    if (m_pDoc)
        m_pDoc->SetPBStorageRead(m_nCurrent);
}

std::string CPBSourceData::GetPCDatabasePath()
{
    return CZorqMMIApp::GetDatabaseSetting("Phonebook", "defpb.mdb");
}

void CPBSourceData::SetDatabasePath(const std::string& path)
{
    CZorqMMIApp::WriteDatabaseSetting("Phonebook", path);
}

bool CPBSourceData::OpenPCDatabase()
{
    if (!m_pDoc)
        return false;
    const std::string path = GetPCDatabasePath();
    if (!FileExists(path)) {
        ReportDatabaseNotOpened(path);
        return false;
    }
    if (m_pSet)
        m_pSet->Close();
    return m_pDoc->OpenPBDatabaseByName(0, path) == 0;
}

std::string CPBSourceData::DatabasePath() const
{
    return m_nCurrent == 0 ? GetPCDatabasePath() : GetPBDatabaseName(m_nCurrent);
}

CJetDatabase* CPBSourceData::SourceDatabase()
{
    if (!m_pDoc || m_nCurrent == 8)
        return nullptr;
    // Opening another file closes the database object: our recordset first.
    if (m_pSet && m_pSet->IsOpen() &&
        (!m_pSet->m_pDatabase || !m_pSet->m_pDatabase->IsOpen() ||
         m_pSet->m_pDatabase->GetName() != DatabasePath()))
        m_pSet->Close();
    CJetDatabase* db = nullptr;
    const std::string name = m_nCurrent == 0 ? GetPCDatabasePath() : std::string();
    if (m_pDoc->OpenPBDatabase(&db, m_nCurrent, name) != 0 || !db || !db->IsOpen())
        return nullptr;
    return db;
}

int CPBSourceData::OpenSourceDatabase()
{
    if (m_nCurrent == 8 || !m_pDoc)
        return -1;
    return SourceDatabase() ? 0 : -1;
}

bool CPBSourceData::VerifyAccess()
{
    if (m_nCurrent != 2)
        return true;
    return VerifyPin2(m_pDoc);
}

int CPBSourceData::FullStringOf(int storage)
{
    switch (storage) {
    case 0: case 4: return 31248;
    case 1: case 2: case 5: case 6: return 31449;
    case 3: case 7: return 31450;
    case 8: return 31469;
    default: return 31470;
    }
}

bool CPBSourceData::CheckRoom()
{
    int room = 0;
    if (m_pDoc && m_pDoc->CheckPBRoom(m_nCurrent, 1, &room, false))
        return true;
    UiMessageBoxId(FullStringOf(m_nCurrent));
    return false;
}

// ---- list --------------------------------------------------------------------------------

void CPBSourceData::SetColumns(bool scrollBar)
{
    if (!m_pDataList)
        return;
    int col = 0;
    if (m_nListKind == 0) {
        m_pDataList->InsertColumn(UiLoadString(31451), col++, m_nListKind, scrollBar);
        m_pDataList->SetColumnSample(0, QStringLiteral("888"));  // three-digit locations
    }
    m_pDataList->InsertColumn(UiLoadString(31220), col++, m_nListKind, scrollBar);
    // A full international number shows whole (given before the column, so
    // that the name column, not the number, gives up the room).
    m_pDataList->SetColumnSample(col, QStringLiteral("+33612345678"));
    m_pDataList->InsertColumn(UiLoadString(31221), col, m_nListKind, scrollBar);
}

void CPBSourceData::CloseRecordset()
{
    try {
        if (m_pSet)
            m_pSet->Close();
    } catch (const CDaoException&) {
    }
    m_pSet.reset();
}

bool CPBSourceData::OpenTable()
{
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return false;
    try {
        if (m_pSet && m_pSet->IsOpen() && m_pSet->m_pDatabase == db)
            return true;
        if (m_pSet)
            m_pSet->Close();
        m_pSet = std::make_unique<CEntryPhoneRecordset>(db);
        m_pSet->Open(dbOpenTable, "EntryPhone");
        m_pSet->SetCurrentIndex("indLoc");
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::OpenTable -> ", e.what());
        return false;
    }
}

void CPBSourceData::FillList()
{
    WaitCursor wait;
    if (m_pDataList) {
        m_pDataList->setUpdatesEnabled(false);
        m_pDataList->DeleteAllRows();
        m_pDataList->DeleteAllColumns();
    }
    int count = 0;
    std::string path;
    try {
        if (m_pSet)
            m_pSet->Close();
        CJetDatabase* db = SourceDatabase();
        if (db) {
            path = db->GetName();
            // One read transaction for the whole fill, not one per row read.
            CDaoReadTransaction reading(db);
            m_pSet = std::make_unique<CEntryPhoneRecordset>(db);
            const std::string column = m_strSortColumn.empty() ? "Location" : m_strSortColumn;
            m_pSet->Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY " + column);
            count = static_cast<int>(m_pSet->GetRecordCount());
            if (m_pDataList) {
                SetColumns(count > m_pDataList->RowsPerPage());
                m_pDataList->AllocLocations(count, true);
                const int image = GetMemoryOrder(m_nCurrent);
                const QString noName = UiLoadString(31400);
                int row = 0;
                for (; !m_pSet->IsEOF(); m_pSet->MoveNext(), ++row) {
                    const bool nullName = m_pSet->GetFieldValue("Name").IsNull() || m_pSet->Name.empty();
                    int col = 0;
                    if (m_nListKind == 0)
                        m_pDataList->SetRowText(row, col++, QString::number(m_pSet->Location), image);
                    m_pDataList->SetRowText(row, col++, nullName ? noName : PcToQString(m_pSet->Name), image);
                    m_pDataList->SetRowText(row, col, PcToQString(m_pSet->Phone), image);
                    m_pDataList->SetLocation(row, m_pSet->Location);
                }
            }
            m_pSet->Close();
            m_pSet->Open(dbOpenTable, "EntryPhone");
            m_pSet->SetCurrentIndex("indLoc");
        } else if (m_pDataList) {
            SetColumns(false);
        }
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::FillList -> ", e.what());
        // A damaged file must not pass for an empty phonebook; it is only
        // read here, so it stays as it is for the user to repair or restore.
        if (!path.empty())
            ReportDatabaseNotOpened(path);
    }
    UpdateTitle(count);
    if (m_pDataList)
        m_pDataList->setUpdatesEnabled(true);
}

void CPBSourceData::UpdateTitle(int count)
{
    QString dbName;
    CJetDatabase* db = nullptr;
    if (m_pDoc && m_nCurrent != 8)
        m_pDoc->OpenPBDatabase(&db, m_nCurrent, std::string());
    const std::string file = db && db->IsOpen() ? StorageFileName(db->GetName()) : std::string();
    if (!file.empty() && file != "defpb.mdb" && file != "PBimSIM.mdb" && file != "PBimSFDN.mdb" &&
        file != "PBimE2P.mdb") {
        std::string base = GetBaseName(file);
        if (base.size() > 16)
            base = base.substr(0, 15) + "...";
        dbName = UiFormatString(31464, {PcToQString(base)});
    }
    if (count == 0)
        m_strTitle = UiFormatString(31253, {dbName});
    else
        m_strTitle = UiFormatString(count == 1 ? 31250 : 31251, {dbName, QString::number(count)});
    if (m_nCurrent == 0) {
        m_strRoom = UiLoadString(31840);
    } else {
        const int free = GetMaxLocation() - count;
        m_strRoom = free <= 0 ? UiLoadString(31850) : UiFormatString(31839, {QString::number(free)});
    }
    if (m_pDataRoom)
        m_pDataRoom->setText(m_strRoom);
    if (m_pDataTitle)
        m_pDataTitle->setText(m_strTitle);
}

void CPBSourceData::RefreshIfShowing(int storage)
{
    if (storage == m_nCurrent)
        FillList();
}

// ---- entries ------------------------------------------------------------------------------

bool CPBSourceData::CheckEntry(const PBEntry& e)
{
    if (!m_pDoc)
        return false;
    if (e.Phone.empty()) {
        UiMessageBoxId(31247);
        return false;
    }
    if (e.ShortPhone.empty()) {
        UiMessageBoxId(31475);
        return false;
    }
    if (IsPhoneStorage()) {
        if (DialDigitCount(e.ShortPhone) > GetMaxNumberLength()) {
            ShowFormatted(31468, {QString::number(GetMaxNumberLength())});
            return false;
        }
        // The phone refuses a longer name; say so before anything is sent.
        if (static_cast<int>(e.Name.size()) > GetMaxNameLength()) {
            ShowFormatted(31466, {QString::number(GetMaxNameLength())});
            return false;
        }
    }
    return true;
}

void CPBSourceData::SetRowFields(const PBEntry& e)
{
    m_pSet->Name = e.Name;
    m_pSet->Phone = e.Phone;
    m_pSet->ShortPhone = e.ShortPhone;
    m_pSet->Address = e.Address;
    m_pSet->Otherphone = e.Otherphone;
    m_pSet->Fax = e.Fax;
    m_pSet->Email = e.Email;
    m_pSet->Company = e.Company;
    m_pSet->Notes = e.Notes;
}

bool CPBSourceData::SaveInDB(const PBEntry& e)
{
    if (!m_pDoc || !OpenTable())
        return false;
    try {
        const int32_t loc = m_pDoc->GetFreePBLocation(m_nCurrent);
        if (loc == 65534 || loc < 1)
            return false;
        m_pSet->AddNewAtLocation(static_cast<int>(loc));
        m_pSet->Location = loc;
        SetRowFields(e);
        m_bNewRow = true;
        return true;
    } catch (const CDaoException& ex) {
        WriteDebug("CQXPBSrcNewList::SaveInDB -> ", ex.what());
        return false;
    }
}

bool CPBSourceData::ModifyInDB(const PBEntry& e)
{
    if (!OpenTable())
        return false;
    try {
        if (!SeekLocation(e.Location))
            return false;
        m_pSet->Edit();
        SetRowFields(e);
        m_bNewRow = false;
        return true;
    } catch (const CDaoException& ex) {
        WriteDebug("CQXPBSrcNewList::ModifyInDB -> ", ex.what());
        return false;
    }
}

bool CPBSourceData::SaveInMobile(PhoneChangeResult* phone)
{
    // A PC row changes no phone: done.
    const PhoneChangeResult done = DecidePhoneChange("PC phonebook row", MTR_DONE, nullptr);
    if (phone)
        *phone = done;
    if (!IsPhoneStorage())
        return true;
    if (phone)
        *phone = PhoneChangeResult();
    if (!m_pSet)
        return false;
    WriteDebugInt("CQXPBSrcNewList::SaveInMobile -> Select the Phonebook storage ", m_nCurrent);
    WaitCursor wait;
    if (mtr_PB_select_storage(m_nCurrent) != kDone) {
        WriteDebug("CQXPBSrcNewList::SaveInMobile -> The storage could not be selected");
        return false;
    }
    PhoneEntryText held;
    const PhoneChangeResult r = WritePhoneEntry(m_pSet->Location, m_pSet->ShortPhone, m_pSet->Name,
                                                m_pSet->NumberType, "CQXPBSrcNewList::SaveInMobile", &held,
                                                m_bNewRow);
    if (phone)
        *phone = r;
    if (held.read) {
        // The mirror shows the entry as the phone stores it.
        m_pSet->Phone = held.number;
        m_pSet->ShortPhone = held.number;
        m_pSet->Name = held.name;
        m_pSet->NumberType = held.type;
    }
    // A place the phone may have filled stays taken in the mirror.
    return r.MayHaveLanded();
}

bool CPBSourceData::UpdateAndReselect(bool select)
{
    if (!m_pSet)
        return false;
    try {
        const int loc = m_pSet->Location;
        m_pSet->Update();
        FillList();
        if (m_pDataList) {
            const int row = m_pDataList->FindRowByLocation(loc);
            if (row >= 0) {
                if (select)
                    m_pDataList->SelectRow(row);
                else
                    m_pDataList->FocusRow(row);
            }
        }
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::UpdateAndReselect -> ", e.what());
        return false;
    }
}

void CPBSourceData::CancelRow()
{
    try {
        if (m_pSet && m_pSet->IsOpen())
            m_pSet->CancelUpdate();
    } catch (const CDaoException&) {
    }
}

bool CPBSourceData::SeekLocation(int location)
{
    return m_pSet && m_pSet->IsOpen() && m_pSet->Seek("=", CVariant::Long(location));
}

bool CPBSourceData::GetEntryAt(int location, PBEntry& entry)
{
    entry.Clear();
    if (!OpenTable())
        return false;
    try {
        if (!SeekLocation(location))
            return false;
        entry.SetFromRecordset(*m_pSet);
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::GetEntryAt -> ", e.what());
        return false;
    }
}

void CPBSourceData::ShowRow(int location, const PBEntry& e)
{
    if (!m_pDataList)
        return;
    QStringList texts;
    if (m_nListKind == 0)
        texts << QString::number(location);
    texts << (e.Name.empty() ? UiLoadString(31400) : PcToQString(e.Name)) << PcToQString(e.Phone);
    int row = m_pDataList->FindRowByLocation(location);
    if (row < 0) {
        row = m_pDataList->FindInsertRow(location);
        m_pDataList->SetRowText(row, 0, texts[0], GetMemoryOrder(m_nCurrent));  // inserts the row
    } else {
        m_pDataList->Model()->SetCellText(row, 0, texts[0]);
    }
    for (int c = 1; c < texts.size(); ++c)
        m_pDataList->SetRowText(row, c, texts[c]);
    m_pDataList->SetLocation(row, location);
}

bool CPBSourceData::AddLocationEntry(int location, PBEntry& entry, PhoneChangeResult* phone)
{
    PhoneChangeResult r = DecidePhoneChange("PC phonebook row", MTR_DONE, nullptr);
    if (IsPhoneStorage()) {
        const std::string number = entry.ShortPhone.empty() ? entry.Phone : entry.ShortPhone;
        PBEntry there;
        const bool free = !GetEntryAt(location, there);
        r = WritePhoneEntry(location, number, entry.Name, entry.NumberType, "CQXPBSrcNewList::AddLocationEntry",
                            nullptr, free);
    }
    if (phone)
        *phone = r;
    // A place the phone may have filled is kept in the mirror.
    if (!r.MayHaveLanded())
        return false;
    entry.Location = location;
    if (!OpenTable())
        return false;
    try {
        m_pSet->AddNewAtLocation(location);
        m_pSet->SetFromEntry(entry);
        m_pSet->Update();
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::AddLocationEntry -> ", e.what());
        return false;
    }
    ShowRow(location, entry);
    return true;
}

bool CPBSourceData::DeleteLocationEntry(int location, PhoneChangeResult* phone)
{
    PhoneChangeResult r = DecidePhoneChange("PC phonebook row", MTR_DONE, nullptr);
    if (IsPhoneStorage())
        r = ErasePhoneEntry(location, "CQXPBSrcNewList::DeleteLocationEntry");
    if (phone)
        *phone = r;
    // Only a place the phone is known to have emptied leaves the mirror.
    if (!r.Landed())
        return false;
    if (m_pDataList) {
        const int row = m_pDataList->FindRowByLocation(location);
        if (row >= 0)
            m_pDataList->DeleteRow(row);
    }
    try {
        if (OpenTable() && SeekLocation(location))
            m_pSet->Delete();
    } catch (const CDaoException& e) {
        WriteDebug("CQXPBSrcNewList::DeleteLocationEntry -> ", e.what());
    }
    return true;
}

namespace {

QString EntryTitle(const PBEntry& e) { return PcToQString(e.Name.empty() ? e.Phone : e.Name); }

}  // namespace

bool CPBSourceData::MoveEntry(int row, int newLocation)
{
    if (!m_pDataList || row < 0 || row >= m_pDataList->GetRowCount())
        return false;
    const int oldLocation = m_pDataList->GetLocation(row);
    if (oldLocation == newLocation)
        return true;
    PBEntry moved, occupant;
    if (!GetEntryAt(oldLocation, moved))
        return false;
    const bool occupied = GetEntryAt(newLocation, occupant);
    m_pDataList->setUpdatesEnabled(false);
    // Each step's silence is told once the list shows what the phone holds.
    std::vector<QString> told;
    const auto note = [&told](const QString& text) {
        if (!text.isEmpty())
            told.push_back(text);
    };
    PhoneChangeResult r;
    bool ok = AddLocationEntry(newLocation, moved, &r);
    note(SilentWriteText(r, EntryTitle(moved), false));
    // While the phone does not answer, what it holds stays unknown: the
    // move stops there, nothing more is written or put back.
    bool known = r.Known();
    if (ok && known) {
        if (occupied) {
            PhoneChangeResult second;
            if (!AddLocationEntry(oldLocation, occupant, &second)) {
                note(SilentWriteText(second, EntryTitle(occupant), false));
                known = second.Known();
                if (known) {
                    // Put the occupant back where it was.
                    PhoneChangeResult back;
                    AddLocationEntry(newLocation, occupant, &back);
                    note(SilentWriteText(back, EntryTitle(occupant), false));
                }
                ok = false;
            } else {
                note(SilentWriteText(second, EntryTitle(occupant), false));
                known = second.Known();
                ok = known;
            }
        } else {
            PhoneChangeResult erase;
            if (!DeleteLocationEntry(oldLocation, &erase)) {
                note(SilentEraseText(erase, EntryTitle(moved), false));
                if (erase.Known()) {
                    PhoneChangeResult back;
                    DeleteLocationEntry(newLocation, &back);
                    note(SilentEraseText(back, EntryTitle(moved), false));
                }
                ok = false;
            } else {
                note(SilentEraseText(erase, EntryTitle(moved), false));
            }
        }
    } else if (ok) {
        ok = false;  // written perhaps, but the old place was left as it is
    }
    m_pDataList->setUpdatesEnabled(true);
    const int at = m_pDataList->FindRowByLocation(ok ? newLocation : oldLocation);
    if (at >= 0)
        m_pDataList->SelectRow(at);
    for (const QString& text : told)
        UiMessageBox(text);
    return ok;
}

bool CPBSourceData::OnEndEditLabel(int row, const QString& text)
{
    if (!m_pDoc || !m_bEditingEnabled || !m_pDataList)
        return false;
    bool number = false;
    const int location = text.trimmed().toInt(&number);
    const int max = m_pDoc->GetPBMaxLocation(m_nCurrent);
    if (!number || location < 1 || location > max) {
        ShowFormatted(31692, {QStringLiteral("1"), QString::number(max)});
        CEntryListCtrl* list = m_pDataList;
        QTimer::singleShot(0, list, [list, row] { list->SelectAndEdit(row); });
        return false;
    }
    if (IsPhoneStorage()) {
        WriteDebugInt("CQXPBSrcNewList::OnEndEditLabel -> Select the Phonebook storage ", m_nCurrent);
        WriteDebug("CQXPBSrcNewList::OnEndEditLabel -> Because of the download in backgroung");
        if (mtr_PB_select_storage(m_nCurrent) != kDone) {
            WriteDebug("CQXPBSrcNewList::OnEndEditLabel -> The storage could not be selected");
            QApplication::beep();
            return false;
        }
    }
    // The rows change under the edit: move once the edit has ended.
    CEntryListCtrl* list = m_pDataList;
    QTimer::singleShot(0, list, [this, row, location] {
        WaitCursor wait;
        MoveEntry(row, location);
    });
    return false;
}

DeleteOutcome CPBSourceData::DeleteOneItem(int row)
{
    if (!m_pDataList || row < 0 || row >= m_pDataList->GetRowCount() || !OpenTable())
        return DeleteOutcome::Failed;
    const int location = m_pDataList->GetLocation(row);
    try {
        if (!SeekLocation(location))
            return DeleteOutcome::Failed;
        if (IsPhoneStorage()) {
            const PhoneChangeResult r = ErasePhoneEntry(location, "CQXPBSrcNewList::DeleteOneItem");
            if (r.Unanswered()) {
                // Asked again once it answered, the phone's place decides
                // whether the entry goes from the mirror.
                if (!r.Landed())
                    return DeleteOutcome::PhoneSilent;
                WriteDebug("CQXPBSrcNewList::DeleteOneItem -> The phone had deleted the entry");
                m_pSet->Delete();
                return DeleteOutcome::PhoneSilentGone;
            }
            if (!r.Done())
                return DeleteOutcome::PhoneRefused;
        }
        m_pSet->Delete();
        return DeleteOutcome::Deleted;
    } catch (const CDaoException& e) {
        // Another program holding the file (its lock outlasted the wait),
        // or a damaged file.
        WriteDebug("CQXPBSrcNewList::DeleteOneItem -> ", e.what());
        return DeleteOutcome::DatabaseFailed;
    }
}

std::string CPBSourceData::OpenDatabaseName() const
{
    if (m_pSet && m_pSet->m_pDatabase && m_pSet->m_pDatabase->IsOpen())
        return m_pSet->m_pDatabase->GetName();
    return DatabasePath();
}

std::string CPBSourceData::GetSelectedDialNumber()
{
    if (!m_pDataList)
        return std::string();
    const QList<int> rows = m_pDataList->GetSelectedRows();
    if (rows.isEmpty())
        return std::string();
    PBEntry e;
    if (!GetEntryAt(m_pDataList->GetLocation(rows.first()), e))
        return std::string();
    return e.ShortPhone;
}

QString CPBSourceData::GetNameHint() const
{
    return UiFormatString(31841, {QString::number(GetMaxNameLength())});
}

QString CPBSourceData::GetNumberHint() const
{
    return UiFormatString(31842, {QString::number(GetMaxNumberLength())});
}
