// The message screen's copies between stores and its deletions. A copy into
// a PC database only adds rows; a copy into the SIM goes through the phone
// and reaches the SIM mirror only once the phone stored the message, read
// back so that the mirror holds the phone's own copy. A deletion in the SIM
// removes the mirror row only once the phone deleted the message. A store or
// a deletion the phone did not answer is asked about again before the
// mirror changes: the phone may have carried it out all the same.
#include "shortmsg.h"

#include "debugtrace.h"
#include "deleterun.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "message.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "phonechange.h"
#include "pccharset.h"
#include "profile.h"
#include "smsdatabase.h"
#include "uiservices.h"
#include "zorqmmidoc.h"

#include <QApplication>

#include <memory>

namespace {

constexpr int kDone = -35;
constexpr int kFailed = -36;

enum {
    STR_SIM_NOT_SELECTED = 31364, STR_NO_PHONE = 31885, STR_NO_ROOM = 31297, STR_COPYING = 31335, STR_NO_PC_LOCATION = 31425,
    STR_NOT_STORABLE = 31757, STR_NOT_STORED = 31462, STR_NOT_ERASED = 31463, STR_DELETING = 31334,
    STR_SILENT_DELETE_UNKNOWN = 31920, STR_SILENT_STORE_HELD = 31930, STR_SILENT_STORE_NOT_HELD = 31931,
    STR_SILENT_STORE_UNKNOWN = 31932, STR_SILENT_DELETE_GONE = 31933, STR_SILENT_DELETE_KEPT = 31934,
};

// The PC-database menu of a copy opens here on the screen.
const QPoint kCopyMenuOffset(577, 201);

QString Excerpt(const std::string& text) { return MessageExcerpt(text); }

bool IsPhoneStore(int storage) { return storage == SMS_DST_SIM || storage == SMS_SRC_SIM; }

// What to tell of a store into the phone that did not land: refused, or
// unanswered and not found there, or unanswered and unknown.
QString StoreNotLandedText(const PhoneChangeResult& r, const QString& name)
{
    if (r.Refused())
        return UiFormatString(STR_NOT_STORED, {name});
    return UiFormatString(r.holds == PhoneHolds::Before ? STR_SILENT_STORE_NOT_HELD : STR_SILENT_STORE_UNKNOWN, {name});
}

// Deletes the message of `rs` from the phone's store: a long message part by
// part, any other at its row's index. After a silence the phone is asked
// whether it still holds the message.
PhoneChangeResult DeleteFromPhone(CZorqMMIDoc* doc, const CEntrySMSRecordset& rs, int storage)
{
    if (rs.MsgType2 == 1)
        return doc->DeleteConcatMessage(&rs, storage);
    const int32_t location = rs.Location;
    if (location < 1 || location > 255)
        return PhoneChangeResult{};
    const auto index = static_cast<uint8_t>(location);
    WriteDebugInt("CShortMsg -> Delete the message at index ", location);
    return RunPhoneChange(
        "a message deleted", [index] { return mtr_SMS_delete(index); }, [index] { return AskDeletedIndex(index); });
}

// What to tell of a deletion from the phone that did not land.
QString DeleteNotLandedText(const PhoneChangeResult& r, const QString& name)
{
    if (r.Refused())
        return QString();
    return UiFormatString(r.holds == PhoneHolds::Before ? STR_SILENT_DELETE_KEPT : STR_SILENT_DELETE_UNKNOWN, {name});
}

// The progress window of a copy, an erase or a deletion (template 280).
class TransferProgress {
public:
    TransferProgress(QWidget* owner, int titleId) : dlg_(owner, 280) { dlg_.SetTitleText(UiLoadString(titleId)); }
    void Show(int range)
    {
        if (!dlg_.IsWindowCreated())
            dlg_.Create();
        dlg_.show();
        dlg_.SetRange(range);
    }
    void SetRange(int range) { dlg_.SetRange(range); }
    void SetPos(int pos)
    {
        if (dlg_.IsWindowCreated())
            dlg_.SetPos(pos);
    }
    void Step()
    {
        if (dlg_.IsWindowCreated())
            dlg_.StepIt();
    }
    // The bar full for a moment, then the window goes.
    void Finish()
    {
        if (dlg_.IsWindowCreated() && dlg_.isVisible()) {
            dlg_.SetPos(dlg_.GetRange());
            dlg_.repaint();
            Pause();
        }
        dlg_.Close();
    }
    // The close pause, less what the window already stood.
    void Pause() const
    {
        dlg_.Pause(dlg_.RemainingPause(CShortMsg::kClosePause * 10));
    }
    void Close() { dlg_.Close(); }
    bool IsShown() const { return dlg_.IsWindowCreated() && dlg_.isVisible(); }

private:
    CDlgProgressText dlg_;
};

}  // namespace

QString MessageExcerpt(const std::string& text) { return PcToQString(text.substr(0, 10)) + QStringLiteral("..."); }

// ---- Destination choice --------------------------------------------------------------------

void CShortMsg::OnBDst()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return;
    SelectionCaps caps{};
    GetSelectionCaps(&caps);
    CDlgDstChoiceSMS dlg(m_nSrcStorage, this);
    // Copies into the phone memory are not made: it is not offered.
    dlg.SetDstPhoneEnabled(false);
    dlg.SetDstSIMEnabled(doc->IsSMSDestAvailable(SMS_DST_SIM) && caps.copySIM);
    if (dlg.DoModal() != IDOK)
        return;
    if (dlg.GetDst() == SMS_DST_PC) {
        if (dlg.GetChoice() == CDlgDstChoice::DST_EXISTING_PC_FILE)
            OnCopyToOtherPCDatabase();
        else if (dlg.GetChoice() == CDlgDstChoice::DST_NEW_PC_FILE)
            OnCopyToNewPCDatabase();
        else
            OnCopyToPC();
    } else if (dlg.GetDst() == SMS_DST_SIM) {
        OnCopyToSIM();
    }
}

void CShortMsg::OnCopyToPC()
{
    const bool ctrl = QApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
    CopyToPCDatabase(m_nSrcStorage == SMS_SRC_PC || ctrl ? 1 : 0);
}

void CShortMsg::CopyToPCDatabase(int mode)
{
    if (mode == 0) {
        if (OpenDefaultPCDatabase(SMS_DST_PC))
            CopyToPCConfirm(m_bAllSelected);
    } else if (GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0) == 0) {
        TrackPCDatabaseMenu(SMS_DST_PC, kCopyMenuOffset);
    }
    NotifyControlChanged(m_list);
}

void CShortMsg::OnCopyToSIM()
{
    m_nDstStorage = SMS_DST_SIM;
    ClickDstMirrorDatabase(SMS_DST_SIM);
    NotifyControlChanged(m_list);
}

void CShortMsg::OnCopyToNewPCDatabase()
{
    if (CreatePCDatabase(SMS_DST_PC))
        CopyToPCConfirm(0);
}

void CShortMsg::OnCopyToOtherPCDatabase()
{
    if (OpenOtherPCDatabase(SMS_DST_PC))
        CopyToPCConfirm(m_bAllSelected);
}

int CShortMsg::CopyToPCConfirm(int ask)
{
    if (ask == 0 || AskMirror() == 1)
        CopyInDst(SMS_DST_PC);
    return 1;
}

void CShortMsg::ClickDstMirrorDatabase(int dst)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return;
    WriteDebugInt("CShortMsg::ClickDstMirrorDatabase -> Select the SMS storage for writing ", dst);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const MTR_RESULT r = mtr_SMS_select_storage(SMS_SRC_SIM, dst);
    QApplication::restoreOverrideCursor();
    if (r != kDone) {
        WriteDebug("CShortMsg::ClickDstMirrorDatabase -> The storage could not be selected");
        if (mtr_failed_unanswered(r))
            UiMessageBoxId(STR_NO_PHONE);
        else if (mtr_GEN_translate_error(r) == kFailed)
            UiMessageBox(UiFormatString(STR_SIM_NOT_SELECTED, {QString::number(r)}));
        return;
    }
    if (!doc->IsSIMSMSRead(dst)) {
        // The mirror must hold the SIM before places are counted in it.
        if (!UpLoad(dst))
            return;
        doc->SetSIMSMSRead(dst);
        doc->ResetNewMsgCount();
    }
    if (!m_bAllSelected || AskMirror() == 1)
        CopyInDst(dst);
}

// ---- Copying -------------------------------------------------------------------------------

void CShortMsg::CopyInDst(int dst)
{
    BusyScope busy(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return;
    CJetDatabase* source = nullptr;
    CJetDatabase* target = nullptr;
    if (m_nSrcStorage != SMS_NOSELECT)
        doc->OpenSMSDatabase(&source, m_nSrcStorage, std::string());
    doc->OpenSMSDatabase(&target, dst, std::string());
    // The rows to copy, taken before any of them is deselected.
    std::vector<std::pair<int, int32_t>> rows;
    if (m_list)
        for (int row : m_list->GetSelectedRows())
            rows.emplace_back(row, m_list->GetLocation(row));
    const int n = static_cast<int>(rows.size());
    const bool phone = IsPhoneStore(dst);
    int free = 0;
    if (n == 0) {
        // nothing selected
    } else if (!doc->CheckSMSRoom(dst, n, &free, m_bDstChosen != 0)) {
        m_bDstChosen = 0;
        UiMessageBox(UiFormatString(STR_NO_ROOM, {QString::number(free)}));
    } else if (source && source->IsOpen() && target && target->IsOpen()) {
        bool go = true;
        if (m_bDstChosen) {
            m_bDstChosen = 0;
            go = Erase(dst) != 0;
        }
        if (go)
            CopyRows(dst, source, target, rows, phone);
    }
    // A copy into the file the screen shows appears at once.
    const bool shown = !phone && m_nSrcStorage == SMS_SRC_PC && source && target && source->IsOpen() &&
                       target->IsOpen() && source->GetName() == target->GetName();
    doc->CloseSMSDatabases(1);
    if (shown)
        RefreshFolderList(m_nFolder, m_nSrcStorage);
}

void CShortMsg::CopyRows(int dst, CJetDatabase* source, CJetDatabase* target,
                         const std::vector<std::pair<int, int32_t>>& rows, bool phone)
{
    CZorqMMIDoc* doc = GetDocument();
    const int n = static_cast<int>(rows.size());
    TransferProgress progress(this, STR_COPYING);
    progress.Show(n == 1 ? 2 : n);
    bool refused = false;
    // Messages stored though the phone did not answer, found there.
    QStringList silentlyStored;
    int32_t next = kNoLocation;
    // A copy to the PC is one transaction: a program stopped part-way (a
    // crash, a kill, a power cut) leaves the PC store as it was before the
    // copy, never with some of the messages. A copy to the phone goes
    // message by message, as the phone takes them, and its mirror follows.
    bool inTransaction = false;
    try {
        if (!phone) {
            target->BeginTrans();
            inTransaction = true;
        }
        CEntrySMSRecordset from(source);
        from.Open(dbOpenTable, "EntrySMS");
        from.SetCurrentIndex("indLoc");
        CEntrySMSRecordset to(target);
        to.Open(dbOpenTable, "EntrySMS");
        to.SetCurrentIndex("indLoc");
        for (const auto& [row, location] : rows) {
            if (!from.Seek("=", CVariant::Long(location))) {
                progress.Step();
                continue;
            }
            if (!phone) {
                // The first free place, then the next ones no row holds:
                // adding never replaces a row.
                int32_t place = next == kNoLocation ? doc->GetFreeSMSLocation(dst) : next + 1;
                while (place != kNoLocation && to.Seek("=", CVariant::Long(place)))
                    ++place;
                if (place != kNoLocation && place > doc->GetSMSMaxLocation(dst))
                    place = kNoLocation;
                if (place == kNoLocation) {
                    progress.Close();
                    UiMessageBoxId(STR_NO_PC_LOCATION);
                    continue;
                }
                next = place;
                to.AddNew();
                to.Location = place;
                to.CopyRecord(from);
                to.NormaliseMsgType();
                to.Update();
                progress.Step();
                continue;
            }
            CMessage msg;
            msg.SetFromRecord(from);
            msg.SetStatus(NormalisedMsgType(from.msgType));
            msg.AdaptCoding();
            if (msg.CanStoreInPhone() == -1) {
                progress.Close();
                refused = true;
                continue;
            }
            uint8_t index = 0;
            const std::string text = from.Text;
            const PhoneChangeResult stored = RunPhoneChange(
                "a message stored", [&] { return mtr_SMS_store(&msg, &index); },
                [&] { return FindStoredCopy(dst, text); });
            if (!stored.Landed()) {
                WriteDebug("CShortMsg::CopyInDst -> The message was not stored");
                progress.Close();
                UiMessageBox(StoreNotLandedText(stored, Excerpt(text)));
                break;
            }
            if (m_list)
                m_list->DeselectRow(row);
            if (stored.Unanswered()) {
                // Found in the phone, and read into the mirror on the way:
                // the copy goes on, and the user hears of it at the end.
                silentlyStored << Excerpt(text);
                progress.Step();
                continue;
            }
            // The mirror takes the phone's own copy; when it cannot be read
            // back, the row copied from the source stands in for it.
            OpenReadRecordset(dst);
            const MTR_RESULT r = mtr_SMS_read(index, 0);
            CloseReadRecordset();
            if (r != kDone) {
                to.SeekLocation(index);
                to.Location = index;
                to.CopyRecord(from);
                to.NormaliseMsgType();
                to.Update();
            }
            progress.Step();
        }
        if (inTransaction) {
            inTransaction = false;
            target->CommitTrans();
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::CopyInDst -> ", e.what());
        if (inTransaction) {
            try {
                target->Rollback();
            } catch (const CDaoException& r) {
                WriteDebug("CShortMsg::CopyInDst -> ", r.what());
            }
        }
    }
    if (refused)
        UiMessageBoxId(STR_NOT_STORABLE);
    if (n == 1)
        progress.SetPos(2);
    progress.Finish();
    for (const QString& name : silentlyStored)
        UiMessageBox(UiFormatString(STR_SILENT_STORE_HELD, {name}));
}

PhoneHolds CShortMsg::FindStoredCopy(int dst, const std::string& text, int32_t* found)
{
    // The phone chose the index and its answer, which named it, was lost:
    // the places the mirror counts free are read, and the first that holds
    // the message written is its copy. What else the phone holds there goes
    // into the mirror on the way.
    CZorqMMIDoc* doc = GetDocument();
    const int last = doc ? std::min(doc->GetSMSMaxLocation(dst), 255) : 0;
    if (!OpenReadRecordset(dst))
        return PhoneHolds::Unknown;
    PhoneHolds holds = PhoneHolds::Before;
    try {
        CEntrySMSRecordset& mirror = *m_pReadRecordset;
        for (int place = 1; place <= last; ++place) {
            if (mirror.Seek("=", CVariant::Long(place)))
                continue;
            const MTR_RESULT r = mtr_SMS_read(static_cast<uint8_t>(place), 0);
            if (r == MTR_SMS_EMPTY_INDEX)
                continue;
            if (r != kDone) {
                // The phone fell silent again, or would not say: that place
                // may hold it.
                holds = PhoneHolds::Unknown;
                if (mtr_failed_unanswered(r))
                    break;
                continue;
            }
            if (mirror.Seek("=", CVariant::Long(place)) && mirror.Text == text) {
                if (found)
                    *found = place;
                holds = PhoneHolds::Change;
                break;
            }
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::FindStoredCopy -> ", e.what());
        holds = PhoneHolds::Unknown;
    }
    CloseReadRecordset();
    return holds;
}

// ---- Erasing the destination ---------------------------------------------------------------

int CShortMsg::Erase(int dst)
{
    CZorqMMIDoc* doc = GetDocument();
    CJetDatabase* db = nullptr;
    if (!doc || doc->OpenSMSDatabase(&db, dst, std::string()) != 0 || !db || !db->IsOpen())
        return 0;
    int ok = 1;
    TransferProgress progress(this, STR_DELETING);
    // Messages deleted though the phone did not answer, gone from it.
    QStringList silentlyDeleted;
    try {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        const int count = static_cast<int>(rs.GetRecordCount());
        if (count > 0)
            progress.Show(count);
        while (!rs.IsEOF()) {
            if (IsPhoneStore(dst)) {
                // A long message's row is not at a phone index: its parts
                // are deleted where the phone keeps them.
                const PhoneChangeResult r = DeleteFromPhone(doc, rs, dst);
                if (!r.Landed()) {
                    WriteDebug("CShortMsg::Erase -> The message was not deleted");
                    progress.Close();
                    const QString silent = DeleteNotLandedText(r, Excerpt(rs.Text));
                    UiMessageBox(silent.isEmpty() ? UiFormatString(STR_NOT_ERASED, {Excerpt(rs.Text)}) : silent);
                    ok = 0;
                    break;
                }
                if (r.Unanswered())
                    silentlyDeleted << Excerpt(rs.Text);
            }
            rs.Delete();
            rs.MoveNext();
            progress.Step();
        }
        if (ok && count == 1)
            progress.SetPos(2);
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::Erase -> ", e.what());
        ok = 0;
    }
    if (ok)
        progress.Finish();
    else
        progress.Close();
    for (const QString& name : silentlyDeleted)
        UiMessageBox(UiFormatString(STR_SILENT_DELETE_GONE, {name}));
    return ok;
}

// ---- Deleting --------------------------------------------------------------------------------

void CShortMsg::OnBDelete()
{
    DeleteSelected();
    NotifyControlChanged(m_list);
}

void CShortMsg::DeleteSelected()
{
    BusyScope busy(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || !m_list)
        return;
    const int n = m_list->GetSelectedCount();
    CJetDatabase* db = nullptr;
    if (m_nSrcStorage != SMS_NOSELECT)
        doc->OpenSMSDatabase(&db, m_nSrcStorage, std::string());
    if (n == 0)
        return;
    QStringList names;
    for (int row : m_list->GetSelectedRows())
        names << m_list->GetRowText(row, 0);
    EndFind();
    // The progress window of the running answer: one per "yes", one for
    // the whole of "yes to all"; none stands while a question is asked.
    std::unique_ptr<TransferProgress> progress;
    // The list paints all along: each row goes, and the count with it, as
    // its message is deleted.
    bool all = false;
    int deleted = 0, base = 0;
    // Why the run stopped early, and the file a failing deletion was in.
    QString why;
    // Messages deleted though the phone did not answer, gone from it.
    QStringList silentlyDeleted;
    const QString database = QString::fromStdString(
        m_pListRecordset && m_pListRecordset->m_pDatabase ? m_pListRecordset->m_pDatabase->GetName()
                                                          : (db ? db->GetName() : std::string()));
    for (int i = 0; i < n; ++i) {
        if (!all) {
            // With one message left "yes to all" means nothing more.
            const int answer = AskDelete(names[i], i < n - 1);
            if (answer == IDCANCEL)
                break;
            if (answer == IDNO)
                continue;  // the message stays, still selected
            progress = std::make_unique<TransferProgress>(this, STR_DELETING);
            if (answer == IDYESTOALL) {
                all = true;
                base = deleted;
                progress->Show(n - base);
            } else {
                progress->Show(2);
            }
        }
        // Rows answered "no" stay selected ahead of the one to delete.
        const QList<int> selected = m_list->GetSelectedRows();
        const int skip = i - deleted;
        if (skip < 0 || skip >= selected.size())
            break;
        const int row = selected[skip];
        PhoneChangeResult change;
        const DeleteOutcome outcome = DeleteOneItem(row, &change);
        if (outcome == DeleteOutcome::PhoneSilentGone) {
            // Unanswered, but the phone, asked again, no longer holds it:
            // deleted, and the run goes on. Told once it ends.
            silentlyDeleted << names[i];
        } else if (outcome != DeleteOutcome::Deleted) {
            // The deletion stops; the messages deleted before stay deleted.
            // Told once the list shows them gone (below).
            why = outcome == DeleteOutcome::PhoneSilent ? DeleteNotLandedText(change, names[i])
                                                         : DeleteOutcomeText(outcome, names[i], database);
            break;
        }
        ++deleted;
        if (!all) {
            progress->SetPos(2);
            progress->Pause();
            progress.reset();
        } else {
            progress->SetPos(deleted - base);
        }
        m_list->DeleteRow(row);
        UpdateCountText(m_list->GetRowCount());
        if (m_list->GetRowCount() == 0)
            UpdateSortComboState(db);
        ClearMessagePane();
    }
    progress.reset();
    for (const QString& name : silentlyDeleted)
        UiMessageBox(UiFormatString(STR_SILENT_DELETE_GONE, {name}));
    if (!why.isEmpty())
        UiMessageBox(why);
    if (m_list->GetSelectedCount() == 0)
        DisableButtons();
}

DeleteOutcome CShortMsg::DeleteOneItem(int row, PhoneChangeResult* change)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || !m_pListRecordset || !m_list)
        return DeleteOutcome::Failed;
    try {
        if (!SeekListRow(m_list->GetLocation(row)))
            return DeleteOutcome::Failed;
        if (m_nSrcStorage != SMS_SRC_PC) {
            const PhoneChangeResult r = DeleteFromPhone(doc, *m_pListRecordset, m_nSrcStorage);
            if (change)
                *change = r;
            if (r.Refused()) {
                WriteDebug("CShortMsg::DeleteOneItem -> The message could not be deleted");
                mtr_GEN_translate_error(r.result);
                return DeleteOutcome::PhoneRefused;
            }
            if (!r.Landed())
                return DeleteOutcome::PhoneSilent;
            if (r.Unanswered()) {
                WriteDebug("CShortMsg::DeleteOneItem -> The phone had deleted the message");
                m_pListRecordset->Delete();
                return DeleteOutcome::PhoneSilentGone;
            }
        }
        m_pListRecordset->Delete();
        return DeleteOutcome::Deleted;
    } catch (const CDaoException& e) {
        // Another program holding the file (its lock outlasted the wait),
        // or a damaged file.
        WriteDebug("CShortMsg::DeleteOneItem -> ", e.what());
        return DeleteOutcome::DatabaseFailed;
    }
}
