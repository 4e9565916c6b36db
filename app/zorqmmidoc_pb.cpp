// The document's phonebook side: the mirror databases of the phone's
// storages, their reading in the background (one location per idle call)
// and in the foreground, and the database operations of the phonebook
// screen (open by role, room, first free location).
#include "zorqmmidoc.h"

#include "debugtrace.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "pbdatabase.h"
#include "strutil.h"
#include "utilities.h"
#include "zorqapp.h"

namespace {

constexpr int kPBRetries = 3;  // attempts at one location before it is skipped

constexpr int STR_MIRROR_FAILED = 31461, STR_SIM_BUSY = 31472, STR_PB_READ_FAILED = 31254, STR_NO_PHONE = 31885;
constexpr int STR_PB_TITLE_SIM = 31332, STR_PB_TITLE_PHONE = 31333;

// Storage code of a role: 5 -> 1, 6 -> 2, 7 -> 3.
int BaseStorage(int storage) { return storage >= 4 ? storage - 4 : storage; }

// The program is ending (a quit confirmed inside a request's wait): the
// background reading starts no further request.
bool Quitting()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app && (app->IsShuttingDown() || app->ShutDownPending());
}

bool IsSimStorage(int storage) { return storage == 1 || storage == 2 || storage == 5 || storage == 6; }

void ShowBox(int id)
{
    if (CZorqMMIApp* app = CZorqMMIApp::Instance())
        app->ShowMessageBox(id, MB_OK);
}

// The engine's current phonebook storage code of a storage.
uint8_t EngineCode(int storage)
{
    switch (BaseStorage(storage)) {
    case 1: return MTR_PB_SM;
    case 2: return MTR_PB_FD;
    default: return MTR_PB_ME;
    }
}

// Selects the storage unless the engine has it selected already.
MTR_RESULT SelectStorage(int storage)
{
    if (mtr_PB_current_storage() == EngineCode(storage))
        return MTR_DONE;
    return mtr_PB_select_storage(storage);
}

}  // namespace

void CZorqMMIDoc::ResetPBUpload()
{
    m_nPBUploadState = 1;
    m_nPBUploadIndex = 1;
    m_nPBUploadLast = 0;
    m_nPBUploadStorage = 1;
    m_nUploadRetries = 0;
    m_bUploadStorageIncomplete = false;
    CloseUploadDatabase();
}

void CZorqMMIDoc::CloseUploadDatabase()
{
    // The recordset goes before the database it reads.
    if (m_pUploadSet) {
        try {
            if (m_pUploadSet->IsOpen())
                m_pUploadSet->Close();
        } catch (const CDaoException& e) {
            WriteDebug("CZorqMMIDoc::CloseUploadDatabase -> ", e.what());
        }
        m_pUploadSet.reset();
    }
    if (m_pUploadDb) {
        try {
            if (m_pUploadDb->IsOpen())
                m_pUploadDb->Close();
        } catch (const CDaoException& e) {
            WriteDebug("CZorqMMIDoc::CloseUploadDatabase -> ", e.what());
        }
        m_pUploadDb.reset();
    }
}

bool CZorqMMIDoc::OpenUploadDatabase(int storage)
{
    if (m_pUploadDb && m_pUploadSet && m_pUploadSet->IsOpen())
        return true;
    CloseUploadDatabase();
    try {
        m_pUploadDb = std::make_unique<CJetDatabase>();
        m_pUploadDb->Open(GetPBDatabaseName(BaseStorage(storage)), false, false, "");
        // A mirror is rebuilt at every detection: it need not survive a
        // power cut, and one entry per idle call must not wait for the disk.
        m_pUploadDb->ExecuteFixed("PRAGMA synchronous=OFF");
        m_pUploadDb->ExecuteFixed("PRAGMA journal_mode=MEMORY");
        m_pUploadSet = std::make_unique<CEntryPhoneRecordset>(m_pUploadDb.get());
        m_pUploadSet->Open(dbOpenTable, "EntryPhone");
        m_pUploadSet->SetCurrentIndex("indLoc");
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::OpenUploadDatabase -> ", e.what());
        CloseUploadDatabase();
        return false;
    }
}

bool CZorqMMIDoc::IsFDNNext() const
{
    if (!IsPBStorageAvailable(2))
        return false;
    if (!IsPBStorageAvailable(1))
        return true;
    return m_nPBUploadStorage == -1 || m_nPBUploadStorage == 2;
}

void CZorqMMIDoc::AdvancePBUploadStorage()
{
    switch (m_nPBUploadStorage) {
    case 1: m_nPBUploadStorage = IsPBStorageAvailable(2) ? -1 : -2; break;
    case 2: m_nPBUploadStorage = -2; break;
    default: StopPBUpload(); break;
    }
}

void CZorqMMIDoc::ReleasePBUpload()
{
    if (m_nPBUploadHolds > 0 && --m_nPBUploadHolds == 0) {
        // The loop sleeps while nothing is due: the reading asks for its
        // next step.
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            app->WakeLoop();
    }
}

void CZorqMMIDoc::BackGroundUpLoadPB()
{
    if (gv_SPIO_com_status != SPIO_com_available || m_nPBUploadState != 1 || m_nPBUploadIndex < 1)
        return;
    // Held by an operation, or called from window code inside another
    // request's wait (where its own request would be refused and the
    // location counted as failed): it goes on at the next idle call.
    if (m_nPBUploadHolds > 0 || CZorqMMIApp::RequestWaiting() || Quitting())
        return;

    if (m_nPBUploadIndex == 1 && m_nPBUploadLast == 0) {
        // The start of a storage.
        if (m_nPBUploadStorage == -2) {
            m_nPBUploadStorage = 3;
            m_nPBUploadState = 1;
        } else if (IsFDNNext()) {
            m_nPBUploadStorage = 2;
            m_nPBUploadState = 1;
        } else {
            m_nPBUploadStorage = 1;
        }
        CloseUploadDatabase();
        m_bUploadStorageIncomplete = false;
        m_nUploadRetries = 0;
        const int last = GetPBMaxLocation(m_nPBUploadStorage);
        if (last == 0) {
            // Nothing to read here: the next storage follows, and after the
            // phone memory the reading is over (it must not start again at
            // the SIM for ever).
            AdvancePBUploadStorage();
            return;
        }
        if (m_nPBUploadStorage == 1 || m_nPBUploadStorage == 2) {
            if (m_nSimBusyCountdown != 0) {
                --m_nSimBusyCountdown;
                return;
            }
            m_nSimBusyCountdown = 50;
            SelectStorage(m_nPBUploadStorage);
            if (Quitting())
                return;
            if (mtr_PB_is_sim_busy(static_cast<uint8_t>(last)) == MTR_DONE) {
                WriteDebug("CZorqMMIDoc::BackGroundUpLoadPB -> The SIM is busy");
                return;
            }
        }
        m_nPBUploadLast = last;
        if (Quitting())
            return;
    }

    if (m_nPBUploadIndex > m_nPBUploadLast) {
        StopPBUpload();
        return;
    }

    m_bReadingPB = true;
    if (!OpenUploadDatabase(m_nPBUploadStorage)) {
        m_bReadingPB = false;
        return;
    }
    MTR_RESULT r = SelectStorage(m_nPBUploadStorage);
    if (Quitting()) {
        m_bReadingPB = false;
        return;
    }
    if (r == MTR_DONE)
        r = mtr_PB_read_range(static_cast<uint8_t>(m_nPBUploadIndex), static_cast<uint8_t>(m_nPBUploadIndex));
    m_bReadingPB = false;
    if (r != MTR_DONE) {
        WriteDebugInt2("CZorqMMIDoc::BackGroundUpLoadPB -> reading failed at location, storage ", m_nPBUploadIndex,
                       m_nPBUploadStorage);
        // The location is tried again at the next idle call; after a few
        // failures it is left, and the storage does not count as read.
        if (++m_nUploadRetries < kPBRetries)
            return;
        m_bUploadStorageIncomplete = true;
    }
    m_nUploadRetries = 0;

    if (m_nPBUploadIndex >= m_nPBUploadLast) {
        CloseUploadDatabase();
        m_nPBUploadIndex = 1;
        m_nPBUploadLast = 0;
        if (!m_bUploadStorageIncomplete)
            SetPBStorageRead(m_nPBUploadStorage);
        m_bUploadStorageIncomplete = false;
        AdvancePBUploadStorage();
    } else {
        ++m_nPBUploadIndex;
    }
}

bool CZorqMMIDoc::UpLoadPB(int storage, QObject* parent, int x, int y, bool tellSilence)
{
    m_lastPBUpload = MTR_DONE;
    const int base = BaseStorage(storage);
    if (base < 1 || base > 3)
        return false;
    if (CZorqMMIApp::RequestWaiting()) {
        // Inside another request's wait every request of the reading would
        // be refused: the background reading and the mirror stay as they are.
        WriteDebug("CZorqMMIDoc::UpLoadPB -> another request waits, nothing read");
        return false;
    }
    mtr_set_poll_state(0);
    const int last = GetPBMaxLocation(storage);
    if (IsSimStorage(storage)) {
        if (mtr_PB_is_sim_busy(static_cast<uint8_t>(last)) == MTR_DONE) {
            WriteDebug("CZorqMMIDoc::UpLoadPB -> The SIM is busy");
            ShowBox(STR_SIM_BUSY);
            mtr_set_poll_state(1);
            return false;
        }
    }
    // A background reading that was running or suspended goes on afterwards.
    const bool backgroundWaiting = m_nPBUploadState == 1 || m_nPBUploadState == 2;
    if (m_nPBUploadState == 1)
        m_nPBUploadState = 2;

    const bool sameStorage = m_nPBUploadStorage == base;
    int first = 1;
    if (!sameStorage) {
        CloseUploadDatabase();
    } else if (!m_bUploadStorageIncomplete) {
        // The entries the background reading stored stay; the rest follows.
        first = m_nPBUploadIndex;
        if (first < 1 || first > last)
            first = 1;
    }
    if (first > last)
        first = last;
    if (first < 1)
        first = 1;

    const bool progress = parent != nullptr && last > 0;
    if (progress) {
        const int title = (base == 3) ? STR_PB_TITLE_PHONE : STR_PB_TITLE_SIM;
        m_pWindows->StartProgress(title, last, x, y);
        m_bUploadProgress = true;
    }

    auto resume = [&](bool readHere) {
        if (!backgroundWaiting)
            return;
        if (!sameStorage) {
            m_nPBUploadState = 1;
            BackGroundUpLoadPB();
        } else if (base == 3) {
            StopPBUpload();
        } else {
            m_nPBUploadIndex = 1;
            m_nPBUploadLast = 0;
            m_nPBUploadState = 1;
            m_bUploadStorageIncomplete = false;
            if (readHere)
                AdvancePBUploadStorage();
        }
    };

    m_bReadingPB = true;
    if (!OpenUploadDatabase(base)) {
        m_bReadingPB = false;
        if (progress)
            m_pWindows->EndProgress(false);
        m_bUploadProgress = false;
        WriteDebug("CZorqMMIDoc::UpLoadPB -> the mirror database could not be opened");
        resume(false);
        mtr_set_poll_state(1);
        return false;
    }

    bool result = true;
    MTR_RESULT r = MTR_DONE;
    if (last > 0) {
        WriteDebugInt2("CZorqMMIDoc::UpLoadPB -> reading range ", first, last);
        r = SelectStorage(base);
        if (r == MTR_DONE)
            r = mtr_PB_read_range(static_cast<uint8_t>(first), static_cast<uint8_t>(last));
    }
    if (r == MTR_DONE) {
        if (progress) {
            m_pWindows->SetProgressPos(last);
            m_pWindows->EndProgress(true);
        }
        SetPBStorageRead(base);
    } else {
        WriteDebug("CZorqMMIDoc::UpLoadPB -> Reading phonebook entries (AT+CPBR=) failed");
        result = false;
        m_lastPBUpload = r;
        if (progress)
            m_pWindows->EndProgress(false);
        // A phone that went silent is said so, not as a refusal numbered -36.
        if (CZorqMMIApp* app = CZorqMMIApp::Instance()) {
            if (!mtr_failed_unanswered(r))
                app->DoMessageBox(app->FormatString(STR_PB_READ_FAILED, {QString::number(r)}), MB_OK, 0);
            else if (tellSilence)
                app->ShowMessageBox(STR_NO_PHONE, MB_OK);
        }
        // No partial list is shown: the mirror is emptied.
        try {
            if (m_pUploadSet && m_pUploadSet->IsOpen()) {
                m_pUploadSet->MoveFirst();
                while (!m_pUploadSet->IsEOF()) {
                    m_pUploadSet->Delete();
                    m_pUploadSet->MoveNext();
                }
            }
        } catch (const CDaoException& e) {
            WriteDebug("CZorqMMIDoc::UpLoadPB -> ", e.what());
        }
    }
    m_bReadingPB = false;
    m_bUploadProgress = false;
    CloseUploadDatabase();
    resume(result);
    mtr_set_poll_state(1);
    return result;
}

void CZorqMMIDoc::mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name,
                                        uint8_t type)
{
    if (!m_pUploadSet)
        return;
    WriteDebug("CZorqMMIDoc::mmi_PB_read_entry_cnf -> ", std::to_string(place) + " " + number, " ", name);
    if (!m_bReadingPB)
        return;
    // One transaction an entry: the look-up, the replaced row and the new
    // one take the database's lock once instead of once a statement.
    const bool ownTransaction = m_pUploadDb && m_pUploadDb->IsOpen() && !m_pUploadDb->InTransaction();
    try {
        if (m_pUploadSet->IsOpen()) {
            if (ownTransaction)
                m_pUploadDb->BeginTrans();
            m_pUploadSet->AddNewAtLocation(place);
            m_pUploadSet->Location = place;
            m_pUploadSet->Name = name;
            m_pUploadSet->Phone = number;
            m_pUploadSet->ShortPhone = number;
            m_pUploadSet->NumberType = type;
            m_pUploadSet->Update();
            if (ownTransaction)
                m_pUploadDb->CommitTrans();
        }
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::mmi_PB_read_entry_cnf -> ", e.what());
        if (ownTransaction && m_pUploadDb->InTransaction()) {
            try {
                m_pUploadDb->Rollback();
            } catch (const CDaoException& r) {
                WriteDebug("CZorqMMIDoc::mmi_PB_read_entry_cnf -> ", r.what());
            }
        }
    }
    if (m_bUploadProgress)
        m_pWindows->SetProgressPos(place);
}

bool CZorqMMIDoc::CreatePBMirrorDatabase(int storage)
{
    ClosePBDatabases(0);
    ClosePBDatabases(1);
    const std::string path = GetPBDatabaseName(storage);
    DeleteFileIfExists(path);
    if (!CreatePBDatabase(path)) {
        ShowBox(STR_MIRROR_FAILED);
        return false;
    }
    WritePhoneConf(storage, path, true);
    return true;
}

int CZorqMMIDoc::OpenPBDatabase(CJetDatabase** out, int role, const std::string& nameIn)
{
    CJetDatabase* db = (role >= 0 && role <= 3) ? &m_dbPBSrc : (role >= 4 && role <= 7) ? &m_dbPBDst : nullptr;
    if (out)
        *out = db;
    if (!db)
        return -1;
    std::string name = nameIn;
    if (role != 0 && role != 4)
        name = GetPBDatabaseName(role);
    if (name.empty())
        return 0;
    return OpenRoleDatabase(db, name, ::OpenPBDatabase, "CZorqMMIDoc::OpenPBDatabase");
}

void CZorqMMIDoc::ClosePBDatabases(int which) { CloseRoleDatabases(m_dbPBSrc, m_dbPBDst, which); }

bool CZorqMMIDoc::CheckPBRoom(int role, int count, int* room, bool replace)
{
    CJetDatabase* db = nullptr;
    if (OpenPBDatabase(&db, role, "") != 0 || !db || !db->IsOpen())
        return false;
    try {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        const long existing = rs.GetRecordCount();
        rs.Close();
        const long total = replace ? count : count + existing;
        const long max = GetPBMaxLocation(role);
        if (total > max) {
            if (room)
                *room = static_cast<int>(replace ? max : std::max(0L, max - existing));
            return false;
        }
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CZorqMMIDoc::CheckPBRoom -> ", e.what());
        return false;
    }
}

int32_t CZorqMMIDoc::GetFreePBLocation(int role)
{
    const long max = GetPBMaxLocation(role);
    CJetDatabase* db = nullptr;
    if (OpenPBDatabase(&db, role, "") != 0 || !db || !db->IsOpen())
        return kNoLocation;
    return FirstFreeLocation(db, "EntryPhone", max, "CZorqMMIDoc::GetFreePBLocation");
}
