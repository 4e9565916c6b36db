// The message screen's sources: the PC message database (the one named in
// the profile, another existing file or a new one) and the SIM through its
// mirror database, which is filled from the phone the first time the SIM is
// shown in a run and afterwards only with the messages the phone announced.
#include "shortmsg.h"

#include "debugtrace.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "filedlg.h"
#include "iconmenu.h"
#include "jetdatabase.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_sms.h"
#include "pccharset.h"
#include "profile.h"
#include "smsdatabase.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"
#include "srclist.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QPushButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <filesystem>

namespace {

constexpr int kDone = -35;
constexpr int kFailed = -36;

enum {
    STR_NEW_PC_DATABASE = 31214, STR_REPLACE_FILE = 31317, STR_SIM_NOT_SELECTED = 31364, STR_NO_PHONE = 31885,
    STR_READING_SIM = 31332, STR_READ_FAILED = 31304, STR_LIST_FAILED = 31418, STR_OPEN_PC_DATABASE = 31862,
    STR_MENU_NEW_PC = 31801, STR_MENU_OTHER_PC = 31802,
};

// The screen offsets at which the PC-database menu opens.
const QPoint kSourceMenuOffset(58, 168);

// Two time stamps that name the same second.
bool SameTime(double a, double b) { return std::fabs(a - b) < 0.5 / 86400.0; }

}  // namespace

void CShortMsg::ShowLastRowIfByDate()
{
    if (m_comboSort && m_comboSort->currentIndex() == 1)
        EnsureLastRowVisible();
}

// ---- Source buttons ------------------------------------------------------------------------

void CShortMsg::OnBSrcPC()
{
    if (m_nSrcStorage == SMS_SRC_PC) {
        // A click on the source shown keeps it shown.
        ShowSourceButtons(SMS_SRC_PC);
        return;
    }
    if (m_bSrcPC && m_bSrcPC->isChecked())
        ShowPCSource(0);
}

void CShortMsg::OnBSrcSIM()
{
    if (m_nSrcStorage == SMS_SRC_SIM) {
        ShowSourceButtons(SMS_SRC_SIM);
        return;
    }
    if (!m_bSrcSIM || !m_bSrcSIM->isChecked())
        return;
    const int previous = m_nSrcStorage;
    m_nSrcStorage = SMS_SRC_SIM;
    if (previous != SMS_SRC_SIM) {
        m_nPrevSrcStorage = previous;
        if (!DisplaySrcMirrorDatabase())
            ChangeSource(previous);
        else
            ShowSourceButtons(SMS_SRC_SIM);
    }
}

void CShortMsg::ShowPCSource(int ask)
{
    const int previous = m_nSrcStorage;
    m_nPrevSrcStorage = previous;
    m_nSrcStorage = SMS_SRC_PC;
    if (ask == 0 && !OpenDefaultPCDatabase(SMS_SRC_PC)) {
        // No PC database yet: the user makes one or picks one.
        TrackPCDatabaseMenu(SMS_SRC_PC, kSourceMenuOffset);
        return;
    }
    if (!LoadPCSource()) {
        ChangeSource(previous);
        return;
    }
    ShowSourceButtons(SMS_SRC_PC);
    ShowLastRowIfByDate();
}

void CShortMsg::TrackPCDatabaseMenu(int storage, const QPoint& offset)
{
    m_nMenuStorage = storage;
    const QPoint at = mapToGlobal(offset);
    QCursor::setPos(at);
    CIconMenu menu;
    menu.AppendItem(UiLoadString(STR_MENU_NEW_PC), ID_NEW_PC_DB);
    menu.AppendItem(UiLoadString(STR_MENU_OTHER_PC), ID_OTHER_PC_DB);
    // A chosen command reaches the screen as a command; the closing notice
    // lets the screen restore its source when nothing was chosen.
    menu.TrackPopup(at, this);
    PostMessage(this, WM_SRC_MENU_CLOSED, 0, 0);
}

void CShortMsg::OnNewPCSource()
{
    if (!CreatePCDatabase(SMS_SRC_PC) || !LoadPCSource())
        ChangeSource(m_nPrevSrcStorage);
    else
        ShowSourceButtons(SMS_SRC_PC);
}

void CShortMsg::OnOtherPCSource()
{
    if (!OpenOtherPCDatabase(SMS_SRC_PC) || !LoadPCSource())
        ChangeSource(m_nPrevSrcStorage);
    else
        ShowSourceButtons(SMS_SRC_PC);
}

// ---- PC database files --------------------------------------------------------------------------

int CShortMsg::OpenDefaultPCDatabase(int role)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return 0;
    const std::string path = doc->GetPCSMSDatabasePath();
    if (!FileExists(path)) {
        ReportDatabaseNotOpened(path);
        return 0;
    }
    return doc->OpenSMSDatabaseByName(path, role) == 0 ? 1 : 0;
}

int CShortMsg::OpenOtherPCDatabase(int role)
{
    CZorqMMIDoc* doc = GetDocument();
    QString path;
    if (!doc || UiChooseDatabaseDlg(STR_OPEN_PC_DATABASE, path, this, UiDatabaseFolder()) != IDOK ||
        path.isEmpty())
        return 0;
    const std::string file = QStringToPc(path);
    if (!CheckSMSDatabase(file))
        return 0;
    return doc->OpenSMSDatabaseByName(file, role) == 0 ? 1 : 0;
}

int CShortMsg::CreatePCDatabase(int role)
{
    CZorqMMIDoc* doc = GetDocument();
    QString path;
    if (!doc || UiOpenDatabaseDlg(STR_NEW_PC_DATABASE, path, this, UiDatabaseFolder()) != IDOK || path.isEmpty())
        return 0;
    const std::string file = QStringToPc(path);
    if (FileExists(file)) {
        if (UiMessageBox(UiFormatString(STR_REPLACE_FILE, {path}), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 0;
        // A database still open on the old file would go on writing into
        // the removed file instead of the new one.
        for (CJetDatabase* db : {&doc->m_dbSMSSrc, &doc->m_dbSMSDst})
            if (db->IsOpen() && db->GetName() == file)
                db->Close();
        DeleteFileIfExists(file);
        if (FileExists(file))
            return 0;
    }
    if (!CreateSMSDatabase(file))
        return 0;
    SetSMSConf(role, file, true);
    return doc->OpenSMSDatabaseByName(file, role) == 0 ? 1 : 0;
}

int CShortMsg::LoadPCSource()
{
    CZorqMMIDoc* doc = GetDocument();
    CJetDatabase* db = nullptr;
    if (!doc || doc->OpenSMSDatabase(&db, m_nSrcStorage, std::string()) != 0 || !db || !db->IsOpen())
        return 0;
    // The file shown last is the one opened next time.
    CZorqMMIApp::WriteDatabaseSetting("SMS", db->GetName());
    m_pListRecordset = std::make_unique<CEntrySMSRecordset>(db);
    DisableButtons();
    FillList(db, true);
    return 1;
}

// ---- The SIM -------------------------------------------------------------------------------------

int CShortMsg::SelectAndRefreshMirror(const char* who, bool deleteRowsAfterRead, bool fetchUnread)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return 0;
    const int source = m_nSrcStorage;
    WriteDebugInt(std::string(who) + " -> Select the SMS storage for writing ", source);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const MTR_RESULT r = mtr_SMS_select_storage(source, SMS_DST_SIM);
    QApplication::restoreOverrideCursor();
    if (r != kDone) {
        WriteDebug(std::string(who) + " -> The storage could not be selected");
        if (mtr_failed_unanswered(r))
            UiMessageBoxId(STR_NO_PHONE);
        else if (mtr_GEN_translate_error(r) == kFailed)
            UiMessageBox(UiFormatString(STR_SIM_NOT_SELECTED, {QString::number(r)}));
        return 0;
    }
    if (!doc->IsSIMSMSRead(source)) {
        if (doc->OpenSMSDatabase(nullptr, source, std::string()) != 0)
            return 0;
        if (!UpLoad(source))
            return 0;
        doc->SetSIMSMSRead(source);
        doc->ResetNewMsgCount();
        if (deleteRowsAfterRead) {
            if (m_list)
                m_list->DeleteAllRows();
            ClearMessagePane();
        }
        return 1;
    }
    if (fetchUnread && doc->GetNewMsgCount() != 0) {
        if (!UpLoadUnread(source))
            return 0;
        doc->ResetNewMsgCount();
    }
    return 1;
}

int CShortMsg::DisplaySrcMirrorDatabase()
{
    if (!SelectAndRefreshMirror("CShortMsg::DisplaySrcMirrorDatabase", true, m_nFolder == 0))
        return 0;
    CZorqMMIDoc* doc = GetDocument();
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, m_nSrcStorage, std::string()) != 0 || !db || !db->IsOpen())
        return 0;
    m_pListRecordset = std::make_unique<CEntrySMSRecordset>(db);
    DisableButtons();
    FillList(db, true);
    ShowLastRowIfByDate();
    return 1;
}

int CShortMsg::ClickRbSms(int folder)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return 0;
    if (m_nSrcStorage != SMS_SRC_PC && m_nSrcStorage != SMS_NOSELECT &&
        !SelectAndRefreshMirror("CShortMsg::ClickRbSms", false, folder == 0))
        return 0;
    if (m_nSrcStorage == SMS_NOSELECT)
        return 1;
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, m_nSrcStorage, std::string()) != 0 || !db || !db->IsOpen())
        return 0;
    DisableButtons();
    FillList(db, true);
    ShowLastRowIfByDate();
    return 1;
}

// ---- Reading a store from the phone -----------------------------------------------------------

void CShortMsg::BeginStoreRead(int storage, int range)
{
    StartProgress(STR_READING_SIM, range);
    OpenReadRecordset(storage);
    if (CZorqMMIDoc* doc = GetDocument())
        doc->SelectConcatList(storage);
    m_nReadCount = 0;
}

void CShortMsg::EndStoreRead(int storage)
{
    CloseReadRecordset();
    if (CZorqMMIDoc* doc = GetDocument()) {
        doc->ClearConcatListSelection();
        // Long messages completed by this read become rows.
        doc->SaveConcatListInDB(storage);
    }
    CloseProgress();
}

int CShortMsg::UpLoad(int storage)
{
    BusyScope busy(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || storage == SMS_NOSELECT)
        return 0;
    const int n = doc->GetSMSMaxLocation(storage);
    BeginStoreRead(storage, n + 1);
    bool ok = true;
    int failedStatus = 0;
    if (doc->GetSMSListMode() == 1) {
        m_bUploading = 1;
        WriteDebug("CShortMsg::UpLoad -> List read messages");
        MTR_RESULT r = mtr_SMS_list_all(1);
        if (r == kDone) {
            WriteDebug("CShortMsg::UpLoad -> List unread messages");
            r = mtr_SMS_list_all(0);
            if (r != kDone) {
                WriteDebug("CShortMsg::UpLoad -> List unread messages failed");
                mtr_GEN_translate_error(r);
                failedStatus = 0;
                ok = false;
            } else {
                RestoreUnreadStates(storage);
            }
        } else {
            WriteDebug("CShortMsg::UpLoad -> List read messages failed");
            mtr_GEN_translate_error(r);
            failedStatus = 1;
            ok = false;
        }
        WriteDebug("CShortMsg::UpLoad -> List sent messages");
        r = mtr_SMS_list_all(3);
        if (r == kDone) {
            WriteDebug("CShortMsg::UpLoad -> List unsent messages");
            r = mtr_SMS_list_all(2);
            // A phone that holds no unsent message may answer with an error
            // number: only a plain failure counts.
            if (r == kFailed) {
                WriteDebug("CShortMsg::UpLoad -> List unsent messages failed");
                mtr_GEN_translate_error(r);
                failedStatus = 2;
                ok = false;
            }
        } else {
            WriteDebug("CShortMsg::UpLoad -> List sent messages failed");
            mtr_GEN_translate_error(r);
            failedStatus = 3;
            ok = false;
        }
        m_bUploading = 0;
    } else {
        // The phone's indexes are one byte wide.
        const int last = std::min(n, 255);
        for (int location = 1; location <= last; ++location)
            mtr_SMS_read(static_cast<uint8_t>(location), 0);
        RestoreUnreadStates(storage);
    }
    if (ok) {
        SetProgressPos(n + 1);
        StopProgress(false, 0);
    } else {
        StopProgress(true, failedStatus == 0 ? STR_READ_FAILED : STR_LIST_FAILED);
        // The mirror keeps no half-read rows of the status that failed.
        DeleteReadRowsOfStatus(failedStatus);
    }
    EndStoreRead(storage);
    return ok ? 1 : 0;
}

int CShortMsg::UpLoadUnread(int storage)
{
    BusyScope busy(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return 0;
    if (storage == SMS_NOSELECT) {
        WriteDebug("CShortMsg::UpLoadUnread -> mem_type = SMS_NOSELECT");
        return 0;
    }
    const int n = doc->GetSMSMaxLocation(storage);
    BeginStoreRead(storage, n);
    WriteDebug("CShortMsg::UpLoadUnread -> List unread messages");
    m_nReadCount = 0;
    const MTR_RESULT r = mtr_SMS_list();
    CloseReadRecordset();
    doc->ClearConcatListSelection();
    doc->SaveConcatListInDB(storage);
    int result = 1;
    if (r == kDone) {
        SetProgressPos(n);
        StopProgress(false, 0);
    } else {
        WriteDebug("CShortMsg::UpLoadUnread -> List unread messages failed");
        mtr_GEN_translate_error(r);
        StopProgress(true, STR_READ_FAILED);
        result = 0;
    }
    CloseProgress();
    return result;
}

void CShortMsg::DeleteReadRowsOfStatus(int status)
{
    if (!m_pReadRecordset)
        return;
    try {
        if (!m_pReadRecordset->IsOpen())
            m_pReadRecordset->Open(dbOpenTable, "EntrySMS");
        m_pReadRecordset->MoveFirst();
        while (!m_pReadRecordset->IsEOF()) {
            if (m_pReadRecordset->msgType == status)
                m_pReadRecordset->Delete();
            m_pReadRecordset->MoveNext();
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::UpLoad -> ", e.what());
    }
}

void CShortMsg::RestoreUnreadStates(int storage)
{
    CZorqMMIDoc* doc = GetDocument();
    const std::string previous = GetPerMsgSMPath(storage);
    if (!doc || !FileExists(previous) || !CheckSMSDatabase(previous))
        return;
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, storage, std::string()) != 0 || !db || !db->IsOpen())
        return;
    try {
        CJetDatabase before;
        before.Open(previous, false, true);
        CEntrySMSRecordset old(&before);
        old.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        CEntrySMSRecordset now(db);
        now.Open(dbOpenTable, "EntrySMS");
        now.SetCurrentIndex("indLoc");
        // A message still unread at the end of the last run, which that run's
        // listing marked read in the phone, is shown unread again. The row
        // is matched by its place and its time stamp, both compared as
        // values, never as query text.
        for (; !old.IsEOF(); old.MoveNext()) {
            if (old.msgType != 0)
                continue;
            if (!now.Seek("=", CVariant::Long(old.Location)) || !SameTime(now.Date, old.Date))
                continue;
            now.Edit();
            now.msgType = 0;
            now.Update();
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::RestoreUnreadStates -> ", e.what());
    }
}
