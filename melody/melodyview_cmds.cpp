// The melody screen's commands: copies between phone and PC, properties and
// renaming, playing, file import and export, deletion, the editor, the
// context menus and dragging rows onto the lists and buttons. A melody
// written to the phone whose answer never came is read back from its slot:
// the list shows what the phone holds there.
#include "melodyview.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "dlgmelodyeditor.h"
#include "dlgmelodyprops.h"
#include "entrylistctrl.h"
#include "filedlg.h"
#include "iconmenu.h"
#include "melodyicons.h"
#include "melodypaths.h"
#include "mtr_melody.h"
#include "profile.h"
#include "strutil.h"
#include "uiservices.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#if __has_include("confirm.h")
#include "confirm.h"
#define ZORQ_HAVE_CONFIRM 1
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>

namespace {

int NameMax(CZorqMMIDoc* doc) { return doc ? doc->GetMelodyNameMax() : 10; }
// The phone's limit is on the length of the notes text it keeps, not on
// the number of notes (CMelody::NotesWithinText).
int NotesTextMax(CZorqMMIDoc* doc) { return doc ? doc->GetMaxNbOfNotes() : 50; }

QString Formatted(int id, const QString& insert)
{
    return UiFormatString(id, {insert});
}

enum { STR_SILENT_WRITE_HELD = 31935, STR_SILENT_WRITE_NOT_HELD = 31936, STR_SILENT_WRITE_UNKNOWN = 31937 };

}  // namespace

// ---------------------------------------------------------------- writes

PhoneChangeResult CMelodyView::WriteToPhone(const char* what, int slot, const std::string& header,
                                            const std::string& notes)
{
    WriteDebug(std::string(what) + " -> CALL mtr_MELODY_write");
    WriteDebug(std::string(what) + " -> mtr_MELODY_write headerstring:", header);
    WriteDebug(std::string(what) + " -> mtr_MELODY_write NotesString:", notes);
    return RunPhoneChange(
        what, [&] { return mtr_MELODY_write(header, notes); },
        [&, slot] { return ReadBackSlot(slot, header, notes); });
}

PhoneHolds CMelodyView::ReadBackSlot(int slot, const std::string& header, const std::string& notes)
{
    if (slot < 1 || slot > 255)
        return PhoneHolds::Unknown;
    std::vector<std::pair<std::string, std::string>> read;
    m_pSlotReadBack = &read;
    const MTR_RESULT r = mtr_MELODY_read(static_cast<uint8_t>(slot), static_cast<uint8_t>(slot));
    m_pSlotReadBack = nullptr;
    if (r != MTR_DONE)
        return PhoneHolds::Unknown;
    // Both sides through the same parsing, so that only what the phone
    // keeps is compared.
    CMelody written;
    if (!written.InitHeaderWithString(header) || !written.AnalyseNote(notes))
        return PhoneHolds::Unknown;
    for (const auto& [h, n] : read) {
        CMelody held;
        if (held.InitHeaderWithString(h) && held.AnalyseNote(n) && held.GetPhoneIndex() == slot &&
            held.MakeHeaderString() == written.MakeHeaderString() &&
            held.MakeNotesString(-1) == written.MakeNotesString(-1))
            return PhoneHolds::Change;
    }
    return PhoneHolds::Before;
}

QString CMelodyView::NotWrittenText(const PhoneChangeResult& r, int refusedId, const QString& name)
{
    if (r.Refused())
        return UiLoadString(refusedId);
    return Formatted(r.holds == PhoneHolds::Before ? STR_SILENT_WRITE_NOT_HELD : STR_SILENT_WRITE_UNKNOWN, name);
}

// ---------------------------------------------------------------- answers

QStringList CMelodyView::ChooseImportFiles()
{
    // Several existing files at once, from the user's own folder.
    CQXFileDlg dlg(true, QStringLiteral(".MDY"), QString(),
                   OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                   UiLoadString(31658), this, 31698);
    dlg.setWindowTitle(UiLoadString(31659));
    dlg.setDirectory(QDir::homePath());
    return dlg.DoModal() == IDOK ? dlg.selectedFiles() : QStringList();
}

QString CMelodyView::ChooseExportPath(bool several)
{
    // The save form: the user only chooses the folder (its name field,
    // hidden, keeps "mel"); each melody is then written under its own name.
    CQXFileDlg dlg(false, QStringLiteral(".MDY"), QStringLiteral("mel"), OFN_PATHMUSTEXIST | OFN_HIDEREADONLY,
                   UiLoadString(31658), this, -1);
    dlg.setWindowTitle(UiLoadString(several ? 31662 : 31661));
    dlg.setDirectory(QDir::homePath());
    return dlg.DoModal() == IDOK ? dlg.GetPathName() : QString();
}

int CMelodyView::AskDeleteMelody(const QString& name, bool allowAll)
{
#ifdef ZORQ_HAVE_CONFIRM
    CDlgConfirm dlg(this);
    dlg.SetKind(CONFIRM_MELODY);
    dlg.SetItemName(name);
    if (!allowAll)
        dlg.DisableAllButton();
    return dlg.DoModal();
#else
    (void)allowAll;
    return UiMessageBox(name, MB_YESNO | MB_ICONQUESTION) == IDYES ? IDYES : IDNO;
#endif
}

int CMelodyView::AskMelodyQuestion(const QString& text, int captionId, bool allowAll)
{
#ifdef ZORQ_HAVE_CONFIRM
    CDlgConfirmMelody dlg(this);
    dlg.SetText(text);
    dlg.SetTitle(UiLoadString(captionId));
    if (!allowAll)
        dlg.DisableAllButton();
    return dlg.DoModal();
#else
    (void)captionId, (void)allowAll;
    return UiMessageBox(text, MB_YESNO | MB_ICONQUESTION) == IDYES ? IDYES : IDNO;
#endif
}

unsigned CMelodyView::TrackMenu(CIconMenu& menu)
{
    return menu.TrackPopup(QCursor::pos(), this);
}

void CMelodyView::Beep()
{
    QApplication::beep();
}

// ---------------------------------------------------------------- phone

int CMelodyView::ConfirmNoteCount(CMelody* melody, int captionId)
{
    const int fit = melody ? melody->NotesWithinText(NotesTextMax(GetDocument())) : 0;
    if (!melody || melody->GetNoteCount() <= fit)
        return -1;
    const int answer = AskMelodyQuestion(UiLoadString(31706), captionId, false);
    return answer == IDYES && fit > 0 ? fit : 0;
}

void CMelodyView::OnBCopyToPc()
{
    const QList<int> rows = m_lstPhone->GetSelectedRows();
    if (rows.isEmpty()) {
        Beep();
        return;
    }
    const int n = rows.size();
    StartProgress(31652, n);
    m_lstPc->setUpdatesEnabled(false);
    bool error = false;
    int copied = 0;
    for (int row : rows) {
        CMelody* source = m_PhoneMelodies.GetMelodyAt(row);
        m_lstPhone->DeselectRow(row);
        if (!source)
            continue;
        auto copy = std::make_unique<CMelody>();
        copy->CopyFrom(source);
        copy->SetPhoneIndex(-1);
        const int same = m_PcMelodies.IndexOf(copy.get(), -1);
        if (same >= 0) {
            error = true;
            if (n == 1) {
                const CMelody* pc = m_PcMelodies.GetMelodyAt(same);
                UiMessageBox(Formatted(pc->GetMelodyName() != copy->GetMelodyName() ? 31691 : 31687,
                                       pc->GetMelodyName()));
            }
            continue;
        }
        copy->SetFilePath(QString());
        if (!copy->Save(QString())) {
            error = true;
            if (n == 1)
                UiMessageBox(Formatted(31682, copy->GetMelodyName()));
            continue;
        }
        const int pos = m_PcMelodies.AddSorted(copy.get());
        if (pos < 0) {
            if (n == 1)
                UiMessageBox(Formatted(31691, copy->GetMelodyName()));
            error = true;
            QFile::remove(copy->GetFilePath());
            continue;
        }
        CMelody* added = copy.release();
        InsertMelodyRow(pos, true, m_lstPc, added);
        SetProgressPos(copied++);
        m_lstPc->SelectRow(pos);
    }
    if (error) {
        if (n == 1) {
            CloseProgress();
        } else {
            UiMessageBoxId(31648);
            EndProgress(n);
        }
    } else {
        EndProgress(n);
    }
    m_lstPc->setUpdatesEnabled(true);
    UpdateButtons(m_lstPhone);
    UpdateButtons(m_lstPc);
}

void CMelodyView::OnBCopyToPhone()
{
    if (!IsPhoneMelodyReady())
        return;
    CEntryListCtrl* list = nullptr;
    CMelody* melody = nullptr;
    if (GetSelectedMelody(&list, &melody) < 0 || !melody || list != m_lstPc) {
        UiMessageBoxId(31649);
        return;
    }
    const int count = ConfirmNoteCount(melody, 31708);
    if (count == 0)
        return;
    const int same = m_PhoneMelodies.IndexOf(melody, -1);
    if (same >= 0) {
        const CMelody* phone = m_PhoneMelodies.GetMelodyAt(same);
        if (phone->GetMelodyName() != melody->GetMelodyName())
            UiMessageBox(Formatted(31712, phone->GetMelodyName()));
        else
            UiMessageBoxId(31713);
        return;
    }
    CZorqMMIDoc* doc = GetDocument();
    CDlgMelodyToPhone dlg(this, melody->GetMelodyName(), NameMax(doc), &m_PhoneMelodies);
    if (dlg.DoModal() != IDOK)
        return;
    const int p = dlg.GetPosition();
    CMelody* slot = m_PhoneMelodies.GetMelodyAt(p);
    if (p < 0 || !slot || p > m_lstPhone->GetRowCount()) {
        UiMessageBoxId(31649);
        return;
    }
    auto fresh = std::make_unique<CMelody>();
    fresh->CopyFrom(melody);
    fresh->SetPhoneIndex(slot->GetPhoneIndex());
    fresh->SetFilePath(QString());
    fresh->m_strText2.clear();
    fresh->SetName(dlg.GetName(), true);
    const std::string header = fresh->MakeHeaderString();
    const std::string notes = fresh->MakeNotesString(count);
    if (header.empty() || notes.empty()) {
        UiMessageBoxId(31650);
        return;
    }
    StartProgress(31335, 1);
    const PhoneChangeResult written = WriteToPhone("OnBCopyToPhone", fresh->GetPhoneIndex(), header, notes);
    if (!written.Landed()) {
        WriteDebug("OnBCopyToPhone -> mtr_MELODY_write return FALSE");
        CloseProgress();
        UiMessageBox(NotWrittenText(written, 31650, fresh->GetMelodyName()));
        return;
    }
    WriteDebug("OnBCopyToPhone -> mtr_MELODY_write return TRUE");
    EndProgress(1);
    const QString writtenName = fresh->GetMelodyName();
    if (count > 0) {
        // The phone holds only what was sent.
        while (fresh->GetNoteCount() > count) {
            CMelody cut;
            cut.CopyFrom(fresh.get());
            fresh->RemoveNotes();
            for (int i = 0; i < count; ++i) {
                auto* n = new CNote;
                n->CopyFrom(*cut.GetNoteAt(i));
                fresh->AddNote(n);
            }
        }
    }
    int row = p;
    if (GetIniProfileInt("Melody", "PhoneOrder", 0) == 1) {
        m_PhoneMelodies.RemoveItem(slot, false);
        CMelody* added = fresh.release();
        row = m_PhoneMelodies.AddSorted(added);
        if (row < 0) {
            delete added;
            row = 0;
        }
        FillList(false);
    } else {
        slot->CopyFrom(fresh.get());
        UpdateMelodyRow(p, false, m_lstPhone, slot);
    }
    m_lstPhone->SelectRow(row);
    m_lstPc->DeselectAll();
    UpdateButtons(m_lstPhone);
    UpdateButtons(m_lstPc);
    if (written.Unanswered())
        UiMessageBox(Formatted(STR_SILENT_WRITE_HELD, writtenName));
}

void CMelodyView::OnBProperty()
{
    CEntryListCtrl* list = nullptr;
    CMelody* melody = nullptr;
    const int row = GetSelectedMelody(&list, &melody);
    if (row < 0 && !melody) {
        UiMessageBoxId(list ? 31649 : 31651);
        return;
    }
    const bool isPc = list == m_lstPc;
    CZorqMMIDoc* doc = GetDocument();
    CDlgMelodyProperty dlg(this, melody, isPc ? 0 : NameMax(doc), doc ? doc->GetMelodyTempoMin() : 1,
                           doc ? doc->GetMelodyTempoMax() : 999);
    if (dlg.DoModal() != IDOK)
        return;
    const QString oldName = melody->GetMelodyName();
    const int oldTempo = melody->GetTempo();
    const bool renamed = dlg.GetName() != oldName;
    if (!renamed && dlg.GetTempo() == oldTempo)
        return;
    CMelodyList& melodies = isPc ? m_PcMelodies : m_PhoneMelodies;
    if (renamed) {
        const int other = melodies.IndexOfName(dlg.GetName());
        if (other >= 0 && melodies.GetMelodyAt(other) != melody) {
            UiMessageBoxId(31690);
            return;
        }
    }
    melody->SetName(dlg.GetName(), true);
    melody->SetTempo(dlg.GetTempo());
    StartProgress(isPc ? 31654 : 31653, 1);
    if (isPc) {
        if (!melody->Save(QString())) {
            melody->SetName(oldName, false);
            melody->SetTempo(oldTempo);
            UiMessageBoxId(31655);
            CloseProgress();
            return;
        }
        EndProgress(1);
        if (renamed) {
            const QString name = melody->GetMelodyName();
            LoadMelodyListPc(false);
            FillList(true);
            const int at = m_PcMelodies.IndexOfName(name);
            if (at >= 0)
                m_lstPc->SelectRow(at);
        }
        return;
    }
    const std::string header = melody->MakeHeaderString();
    const std::string notes = melody->MakeNotesString(melody->NotesWithinText(NotesTextMax(doc)));
    PhoneChangeResult written;
    if (!header.empty() && !notes.empty())
        written = WriteToPhone("OnBProperty", melody->GetPhoneIndex(), header, notes);
    WriteDebug(written.Landed() ? "OnBProperty -> mtr_MELODY_write return TRUE:"
                                : "OnBProperty -> mtr_MELODY_write return FALSE:");
    if (!written.Landed()) {
        // The phone holds the old values (or nobody knows yet): so does
        // the list.
        const QString name = melody->GetMelodyName();
        melody->SetName(oldName, false);
        melody->SetTempo(oldTempo);
        CloseProgress();
        UiMessageBox(NotWrittenText(written, 31655, name));
        return;
    }
    EndProgress(1);
    if (renamed) {
        UpdateMelodyRow(row, false, m_lstPhone, melody);
        m_lstPhone->SelectRow(row);
    }
    if (written.Unanswered())
        UiMessageBox(Formatted(STR_SILENT_WRITE_HELD, melody->GetMelodyName()));
}

void CMelodyView::OnBRename()
{
    CEntryListCtrl* list = SelectedCount(m_lstPhone) > 0 ? m_lstPhone : m_lstPc;
    if (list == m_lstPhone) {
        m_lstPhone->SetEditingAllowed(true, NameMax(GetDocument()));
        m_lstPhone->SetEndEditHandler([this](int row, const QString& text) {
            if (text.isEmpty() || text == m_lstPhone->GetRowText(row, 0))
                return false;
            if (!UpgradeMelody(row, text))
                QTimer::singleShot(0, this, [this, row] { m_lstPhone->SelectAndEdit(row); });
            return false;  // UpgradeMelody rewrote the row itself
        });
    } else {
        m_lstPc->SetEditingAllowed(true, 0);
        m_lstPc->SetEndEditHandler([](int, const QString&) { return false; });
    }
    list->EditSelected();
}

bool CMelodyView::UpgradeMelody(int row, const QString& name)
{
    CMelody* melody = m_PhoneMelodies.GetMelodyAt(row);
    if (!melody) {
        UiMessageBoxId(31655);
        return false;
    }
    if (m_PhoneMelodies.FindByName(name)) {
        UiMessageBoxId(31690);
        return false;
    }
    const QString oldName = melody->GetMelodyName();
    melody->SetName(name, true);
    const std::string header = melody->MakeHeaderString();
    const std::string notes = melody->MakeNotesString(-1);
    if (header.empty() || notes.empty()) {
        melody->SetName(oldName, false);
        UiMessageBoxId(31655);
        return false;
    }
    StartProgress(31653, 1);
    const PhoneChangeResult written = WriteToPhone("UpgradeMelody", melody->GetPhoneIndex(), header, notes);
    if (!written.Landed()) {
        WriteDebug("UpgradeMelody -> mtr_MELODY_write return FALSE");
        CloseProgress();
        const QString newName = melody->GetMelodyName();
        melody->SetName(oldName, false);
        UiMessageBox(NotWrittenText(written, 31655, newName));
        return false;
    }
    WriteDebug("UpgradeMelody -> mtr_MELODY_write return TRUE");
    EndProgress(1);
    UpdateMelodyRow(row, false, m_lstPhone, melody);
    m_lstPhone->SelectRow(row);
    if (written.Unanswered())
        UiMessageBox(Formatted(STR_SILENT_WRITE_HELD, melody->GetMelodyName()));
    return true;
}

// ---------------------------------------------------------------- play

void CMelodyView::OnBPlayPc()
{
    if (m_nPlayMode == 0)
        m_nPressedPlay = 1070;
    OnBTest(2);
}

void CMelodyView::OnBPlayPhone()
{
    if (!IsPhoneMelodyReady()) {
        UiMessageBoxId(31705);
        SetEnabled(1074, false);
        return;
    }
    if (m_nPlayMode == 0)
        m_nPressedPlay = 1074;
    OnBTest(1);
}

void CMelodyView::OnBTest(int mode)
{
    if (m_nPlayMode > 0) {
        OnBStop();
        return;
    }
    m_nPlayMode = 0;
    m_pPlayingMelody = nullptr;
    CEntryListCtrl* list = nullptr;
    CMelody* melody = nullptr;
    if (GetSelectedMelody(&list, &melody) < 0 || !melody) {
        UiMessageBoxId(list ? 31649 : 31651);
        m_nPressedPlay = 0;
        return;
    }
    m_pPlayingMelody = melody;
    if (mode == 1) {
        if (!IsPhoneMelodyReady()) {
            UiMessageBoxId(31647);
            ResetPlayButtons();
            return;
        }
        const int count = ConfirmNoteCount(melody, 31711);
        if (count == 0) {
            m_nPressedPlay = 0;
            return;
        }
        const QString name = melody->GetMelodyName();
        const int nameMax = NameMax(GetDocument());
        if (nameMax > 0 && name.size() > nameMax)
            melody->SetName(name.left(nameMax), false);
        const bool loop = GetIniProfileInt("Melody", "LoopMelody", 1) != 0;
        const std::string header = melody->MakePlayHeaderString(loop);
        const std::string notes = melody->MakeNotesString(count);
        melody->SetName(name, false);
        if (header.empty() || notes.empty()) {
            UiMessageBoxId(31647);
            ResetPlayButtons();
            return;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        WriteDebug("OnBTest -> CALL mtr_MELODY_play");
        WriteDebug("OnBTest -> mtr_MELODY_play headerstring:", header);
        WriteDebug("OnBTest -> mtr_MELODY_play NotesString:", notes);
        const MTR_RESULT r = mtr_MELODY_play(header, notes);
        QApplication::restoreOverrideCursor();
        if (r != -35) {
            WriteDebug("OnBTest -> mtr_MELODY_play  return FALSE");
            UiMessageBoxId(31647);
            ResetPlayButtons();
            return;
        }
        WriteDebug("OnBTest -> mtr_MELODY_play  return TRUE");
        StartPlayAnimation();
        m_nPlayMode = 1;
        return;
    }
    if (!PlayOnPc()) {
        // The melody told the user already when no output could play.
        ResetPlayButtons();
        return;
    }
    StartPlayAnimation();
    m_nPlayMode = 2;
}

bool CMelodyView::PlayOnPc()
{
    if (!m_pPlayingMelody)
        return false;
    return m_pPlayingMelody->Play(this, GetIniProfileInt("Melody", "LoopMelody", 1) != 0);
}

void CMelodyView::OnBStop()
{
    if (m_nPlayMode == 1) {
        if (IsPhoneMelodyReady()) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            WriteDebug("OnBStop -> CALL mtr_MELODY_stop");
            const MTR_RESULT r = mtr_MELODY_stop();
            QApplication::restoreOverrideCursor();
            if (r != -35) {
                WriteDebug("OnBStop -> mtr_MELODY_stop return FALSE");
                UiMessageBoxId(31646);
            } else {
                WriteDebug("OnBStop -> mtr_MELODY_stop return TRUE");
                m_nPlayMode = 0;
            }
        }
    } else if (m_nPlayMode == 2 || m_pPlayingMelody) {
        if (m_pPlayingMelody && !m_pPlayingMelody->Stop())
            UiMessageBoxId(31646);
        else
            m_nPlayMode = 0;
    }
    if (m_nPlayMode == 0) {
        ResetPlayButtons();
        m_pPlayingMelody = nullptr;
    }
}

void CMelodyView::AutoCopyPhoneMelodies()
{
    if (GetIniProfileInt("Melody", "AutoCopy", 0) != 1)
        return;
    for (int i = 0; i < m_PhoneMelodies.GetCount(); ++i) {
        CMelody* phone = m_PhoneMelodies.GetMelodyAt(i);
        if (!phone || m_PcMelodies.IndexOf(phone, -1) >= 0)
            continue;
        auto copy = std::make_unique<CMelody>();
        copy->CopyFrom(phone);
        copy->SetPhoneIndex(-1);
        copy->SetFilePath(QString());
        if (!copy->Save(QString()))
            continue;
        if (m_PcMelodies.AddSorted(copy.get()) < 0) {
            QFile::remove(copy->GetFilePath());
            continue;
        }
        copy.release();
    }
}

// ---------------------------------------------------------------- files

void CMelodyView::OnBImport()
{
    m_lstPhone->DeselectAll();
    const QStringList files = ChooseImportFiles();
    if (files.isEmpty())
        return;
    m_lstPc->DeselectAll();
    m_lstPc->setUpdatesEnabled(false);
    StartProgress(31704, files.size());
    const QString folder = QDir::cleanPath(MelodyFolder());
    int step = 0;
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        if (QDir::cleanPath(QFileInfo(file).absolutePath()) == folder) {
            UiMessageBox(Formatted(31687, name));
            continue;
        }
        auto melody = std::make_unique<CMelody>();
        if (!melody->Load(file)) {
            UiMessageBox(Formatted(31660, name));
            continue;
        }
        if (m_PcMelodies.IndexOf(melody.get(), -1) >= 0) {
            UiMessageBox(Formatted(31687, name));
            continue;
        }
        melody->SetFilePath(QString());
        SetProgressPos(++step);
        if (!melody->Save(QString())) {
            UiMessageBox(Formatted(31682, name));
            continue;
        }
        const int pos = m_PcMelodies.AddSorted(melody.get());
        if (pos < 0) {
            UiMessageBox(Formatted(31687, name));
            QFile::remove(melody->GetFilePath());
            continue;
        }
        CMelody* added = melody.release();
        InsertMelodyRow(pos, true, m_lstPc, added);
        m_lstPc->SelectRow(pos);
    }
    CloseProgress();
    if (m_lstPc->GetRowCount() == 0) {
        FillList(true);
        m_lstPc->SelectRow(0);
    }
    m_lstPc->setUpdatesEnabled(true);
    UpdateButtons(m_lstPc);
}

void CMelodyView::OnBExport()
{
    m_lstPhone->DeselectAll();
    const QList<int> rows = m_lstPc->GetSelectedRows();
    if (rows.isEmpty()) {
        Beep();
        return;
    }
    const QString path = ChooseExportPath(rows.size() > 1);
    if (path.isEmpty())
        return;
    const QString folder = QFileInfo(path).absolutePath();
    if (QDir::cleanPath(folder) == QDir::cleanPath(MelodyFolder())) {
        UiMessageBoxId(31700);
        return;
    }
    StartProgress(31664, rows.size());
    bool yesToAll = false;
    bool lastFailed = false;
    bool skipped = false;
    int step = 0;
    for (int row : rows) {
        m_lstPc->DeselectRow(row);
        CMelody* melody = m_PcMelodies.GetMelodyAt(row);
        if (!melody)
            continue;
        // Only the folder was chosen: each melody goes into a file of its
        // own name there.
        const QString target =
            folder + QLatin1Char('/') + CMelody::MakeFileSafeName(melody->GetMelodyName()) + QStringLiteral(".MDY");
        if (QFileInfo::exists(target) && !yesToAll) {
            const int answer = AskMelodyQuestion(Formatted(31689, QFileInfo(target).fileName()), 31707,
                                                 rows.size() > 1);
            if (answer == IDNO || answer == IDCANCEL) {
                skipped = true;
                continue;
            }
            if (answer == IDYESTOALL)
                yesToAll = true;
        }
        SetProgressPos(++step);
        // The melody keeps its own file: the export is a copy.
        CMelody copy;
        copy.CopyFrom(melody);
        lastFailed = !copy.Save(target);
        if (lastFailed)
            UiMessageBox(Formatted(31663, melody->GetMelodyName()));
    }
    if (lastFailed && !skipped)
        CloseProgress();
    else
        EndProgress(rows.size());
    UpdateButtons(m_lstPc);
}

void CMelodyView::OnBDelete()
{
    QStringList names;
    for (int row : m_lstPc->GetSelectedRows())
        if (CMelody* m = m_PcMelodies.GetMelodyAt(row))
            names << m->GetMelodyName();
    if (names.isEmpty())
        return;
    m_lstPc->setUpdatesEnabled(false);
    bool yesToAll = false;
    int removedSinceAll = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        if (!yesToAll) {
            const int answer = AskDeleteMelody(name, names.size() > 1);
            if (answer == IDCANCEL)
                break;
            if (answer == IDNO)
                continue;
            if (answer == IDYESTOALL) {
                // One window counts the melodies that are left.
                yesToAll = true;
                StartProgress(31334, static_cast<int>(names.size()) - i);
            } else {
                StartProgress(31334, 2);
            }
        }
        const int at = m_PcMelodies.IndexOfName(name);
        if (at >= 0) {
            m_PcMelodies.RemoveAt(at, true);
            m_lstPc->DeleteRow(at);
        }
        // A melody answered on its own is shown done for a moment before
        // the next question.
        if (yesToAll)
            SetProgressPos(++removedSinceAll);
        else
            EndProgress(2);
    }
    CloseProgress();
    m_lstPc->setUpdatesEnabled(true);
    UpdateButtons(m_lstPc);
}

static CDlgMelodyEditor::Limits EditorLimits(CZorqMMIDoc* doc)
{
    CDlgMelodyEditor::Limits l;
    if (doc) {
        l.nameMax = doc->GetMelodyNameMax();
        l.tempoMin = doc->GetMelodyTempoMin();
        l.tempoMax = doc->GetMelodyTempoMax();
        l.baseOctave = doc->GetDefaultOctave();
        l.notesTextMax = NotesTextMax(doc);
        l.lowOctave = doc->GetMelodyOctaveMin();
        l.highOctave = doc->GetMelodyOctaveMax();
        l.lowNote = doc->GetMelodyNoteMin();
        l.highNote = doc->GetMelodyNoteMax();
    }
    return l;
}

void CMelodyView::OnBNew()
{
    CDlgMelodyEditor dlg(this, nullptr, EditorLimits(GetDocument()), &m_PcMelodies);
    if (dlg.DoModal() != IDOK || !dlg.GetMelody())
        return;
    auto copy = std::make_unique<CMelody>();
    copy->CopyFrom(dlg.GetMelody());
    const int pos = m_PcMelodies.AddSorted(copy.get());
    if (pos < 0)
        return;
    CMelody* added = copy.release();
    InsertMelodyRow(pos, true, m_lstPc, added);
    m_lstPhone->DeselectAll();
    UpdateButtons(m_lstPhone);
    m_lstPc->SelectRow(pos);
    UpdateButtons(m_lstPc);
}

void CMelodyView::OnBEdit()
{
    CEntryListCtrl* list = nullptr;
    CMelody* melody = nullptr;
    const int row = GetSelectedMelody(&list, &melody);
    // Phone melodies are edited through their properties; the editor works
    // on the PC's files.
    if (row < 0 || !melody || list != m_lstPc) {
        UiMessageBoxId(31649);
        return;
    }
    CMelody edited;
    edited.CopyFrom(melody);
    CDlgMelodyEditor dlg(this, &edited, EditorLimits(GetDocument()), &m_PcMelodies);
    if (dlg.DoModal() != IDOK)
        return;
    const bool renamed = edited.GetMelodyName() != melody->GetMelodyName();
    if (!renamed) {
        melody->CopyFrom(&edited);
        UpdateMelodyRow(row, true, m_lstPc, melody);
        m_lstPc->SelectRow(row);
    } else {
        m_PcMelodies.RemoveItem(melody, false);
        m_lstPc->DeleteRow(row);
        auto copy = std::make_unique<CMelody>();
        copy->CopyFrom(&edited);
        const int pos = m_PcMelodies.AddSorted(copy.get());
        if (pos >= 0) {
            CMelody* added = copy.release();
            InsertMelodyRow(pos, true, m_lstPc, added);
            m_lstPc->SelectRow(pos);
        }
    }
    UpdateButtons(m_lstPhone);
    UpdateButtons(m_lstPc);
}

void CMelodyView::OnBHelp()
{
    OnHelp();
}

// ---------------------------------------------------------------- menus

void CMelodyView::ShowContextMenu(int menuId, bool several)
{
    if (menuId == 0)
        return;
    CIconMenu menu;
    if (!menu.LoadMenu(menuId))
        return;
    CIconMenu* sub = menu.GetSubMenu(0);
    if (!sub)
        return;
    const bool ready = IsPhoneMelodyReady();
    struct Entry {
        unsigned id;
        const char* icon;
        const char* disabled;
        bool off;
    };
    const Entry entries[] = {
        {32783, "IDI_MENU_PC", "IDI_MENU_PCDISABLE", false},
        {32784, "IDI_MENU_RENAME", "IDI_MENU_RENAMEDISABLE", several},
        {32788, "IDI_MENU_EPROM", "IDI_MENU_EPROMDISABLE", several},
        {32777, "IDI_MENU_DELETE", "IDI_MENU_DELETEDISABLE", false},
        {32786, "IDI_MENU_MODIFY", "IDI_MENU_MODIFYDISABLE", several},
        {32796, "IDI_MENU_EXPORT", "IDI_MENU_EXPORTDISABLE", false},
        {32789, "IDI_MENU_EPROM", "IDI_MENU_EPROMDISABLE", several || !ready},
        {32790, "IDI_MENU_PC", "IDI_MENU_PCDISABLE", several},
    };
    // The play commands sit in a submenu of their own.
    std::vector<CIconMenu*> menus = {sub};
    for (int i = 0; i < sub->ItemCount(); ++i)
        if (CIconMenu* inner = sub->GetSubMenu(i))
            menus.push_back(inner);
    for (CIconMenu* m : menus) {
        for (const Entry& e : entries) {
            if (m->SetItemIcons(e.id, QString::fromLatin1(e.icon), QString(), QString::fromLatin1(e.disabled)))
                m->EnableItem(e.id, !e.off);
        }
    }
    if (const unsigned command = TrackMenu(*sub))
        OnCommand(static_cast<int>(command));
}

// ---------------------------------------------------------------- dragging

void CMelodyView::BeginDrag(CEntryListCtrl* list)
{
    if (list == m_lstPhone)
        SelectPhoneList();
    else
        SelectPcList();
    m_pDragSource = list;
    m_bDragging = true;
    m_bDropAllowed = false;
    const QList<int> rows = list->GetSelectedRows();
    m_rowDrag.Begin(rows.isEmpty() ? QIcon() : list->GetRowIcon(rows.first()), QCursor::pos(), this);
    grabMouse(QCursor(MelodyIcon(QStringLiteral("232")).pixmap(32, 32), 8, 8));
}

void CMelodyView::DragMove(const QPoint& global)
{
    if (!m_bDragging)
        return;
    QWidget* under = QApplication::widgetAt(global);
    bool allowed = false;
    for (QWidget* w = under; w && !allowed; w = w->parentWidget()) {
        if (w == m_lstPhone) {
            allowed = SelectedCount(m_lstPhone) == 0 && SelectedCount(m_lstPc) <= 1;
            break;
        }
        if (w == m_lstPc) {
            allowed = SelectedCount(m_lstPc) == 0;
            break;
        }
        for (int id : {1070, 1074, 1071, 1030, 1068, 1069, 1027, 1085})
            if (w == GetDlgItem(id))
                allowed = w->isEnabled();
        if (w == this)
            break;
    }
    m_rowDrag.Update(allowed, global);
    if (allowed != m_bDropAllowed) {
        m_bDropAllowed = allowed;
        grabMouse(QCursor(MelodyIcon(QString::fromLatin1(allowed ? "231" : "232")).pixmap(32, 32), 8, 8));
    }
}

bool CMelodyView::EndDrag(const QPoint& global)
{
    if (!m_bDragging)
        return false;
    DragMove(global);
    releaseMouse();
    m_rowDrag.End();
    m_bDragging = false;
    m_pDragSource = nullptr;
    if (!m_bDropAllowed)
        return false;
    m_bDropAllowed = false;
    for (QWidget* w = QApplication::widgetAt(global); w && w != this; w = w->parentWidget()) {
        if (w == m_lstPhone) {
            OnBCopyToPhone();
            return true;
        }
        if (w == m_lstPc) {
            OnBCopyToPc();
            return true;
        }
        for (int id : {1070, 1074, 1071, 1030, 1068, 1069, 1085, 1027}) {
            if (w == GetDlgItem(id)) {
                OnCommand(id);
                return true;
            }
        }
    }
    return false;
}

void CMelodyView::mouseMoveEvent(QMouseEvent* e)
{
    if (m_bDragging) {
        DragMove(e->globalPosition().toPoint());
        return;
    }
    CMainView::mouseMoveEvent(e);
}

void CMelodyView::mouseReleaseEvent(QMouseEvent* e)
{
    if (m_bDragging && e->button() == Qt::LeftButton) {
        EndDrag(e->globalPosition().toPoint());
        return;
    }
    CMainView::mouseReleaseEvent(e);
}
