#include "dlgmelodyeditor.h"

#include "melodyicons.h"
#include "melodylist.h"
#include "midifile.h"
#include "melodypaths.h"
#include "uiservices.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <vector>

namespace {

CNote LimitNote(char letter, int octave)
{
    CNote n;
    n.SetName(std::string(1, letter));
    n.SetOctave(octave);
    n.SetDuration(1);
    n.Validate();
    n.Prepare();
    return n;
}

// How many of the written notes must go, the last first (the `closing`
// pauses the editor adds stay), before the phone keeps the melody's notes
// text: at most `textMax` characters, the note texts joined by blanks.
int NotesTooMany(const CMelody& melody, int textMax, int closing)
{
    if (textMax <= 0)
        return 0;
    const int count = melody.GetNoteCount();
    std::vector<int> lengths(static_cast<size_t>(count), 0);
    int total = 0, tokens = 0;
    for (int i = 0; i < count; ++i) {
        const CNote* note = melody.GetNoteAt(i);
        lengths[static_cast<size_t>(i)] = note ? static_cast<int>(note->GetText().size()) : 0;
        if (lengths[static_cast<size_t>(i)] > 0) {
            total += lengths[static_cast<size_t>(i)];
            ++tokens;
        }
    }
    total += std::max(0, tokens - 1);
    int excess = 0;
    for (int i = count - 1 - closing; i >= 0 && total > textMax; --i, ++excess)
        if (lengths[static_cast<size_t>(i)] > 0)
            total -= lengths[static_cast<size_t>(i)] + 1;
    return excess;
}

}  // namespace

CDlgMelodyEditor::CDlgMelodyEditor(QWidget* parent, CMelody* melody, const Limits& limits,
                                   CMelodyList* list)
    : CDlgBase(279, parent), m_limits(limits), m_pList(list)
{
    m_lowest = LimitNote(limits.lowNote, limits.lowOctave);
    m_highest = LimitNote(limits.highNote, limits.highOctave);
    // One tempo unit throughout: the slider moves the melody's own tempo.
    m_limits.tempoMin = std::max(m_limits.tempoMin, 1);
    m_limits.tempoMax = std::clamp(m_limits.tempoMax, m_limits.tempoMin, 999);
    if (melody) {
        m_pMelody = melody;
        m_bModify = true;
        m_strName = melody->GetMelodyName();
        m_strOldName = m_strName;
        m_strOldPath = melody->GetFilePath();
    } else {
        m_pOwned = std::make_unique<CMelody>();
        m_pMelody = m_pOwned.get();
    }
    m_pMelody->SetTempo(std::clamp(m_pMelody->GetTempo(), m_limits.tempoMin, m_limits.tempoMax));
    if (m_limits.nameMax > 0 && m_strName.size() > m_limits.nameMax)
        m_strName.truncate(m_limits.nameMax);
}

CDlgMelodyEditor::~CDlgMelodyEditor()
{
    StopPlay();
}

void CDlgMelodyEditor::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, 1077, m_strName);
    DDX_Text(pDX, 1080, m_strNotes);
    DDX_Control(pDX, 1077, m_editName);
    DDX_Control(pDX, 1080, m_editNotes);
    DDX_Control(pDX, 1081, m_slider);
    DDX_Control(pDX, 1082, m_btnPlay);
}

bool CDlgMelodyEditor::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    if (m_bModify) {
        // The whole melody is shown, so saving never drops notes unseen.
        QString text = QString::fromStdString(m_pMelody->MakeEditorText(-1));
        for (int i = 0; i < 2 && text.endsWith(QLatin1Char('p')); ++i)
            text.chop(1);
        m_strNotes = text;
        if (text.isEmpty() && m_pMelody->GetNoteCount() > 0) {
            m_bNotesEditable = false;
            if (!m_pMelody->AreAllNotesRelative()) {
                m_bTempoEditable = false;
                UiMessageBoxId(31722);
            } else {
                UiMessageBoxId(31721);
            }
        }
    }
    UpdateData(false);
    if (m_slider) {
        m_slider->setRange(m_limits.tempoMin, m_limits.tempoMax);
        // The slider runs backwards: to the right is faster (a shorter beat).
        m_slider->setValue(m_limits.tempoMax - m_pMelody->GetTempo() + m_limits.tempoMin);
        m_slider->setEnabled(m_bTempoEditable);
    }
    if (m_editNotes) {
        m_editNotes->setEnabled(m_bNotesEditable);
        // Every note takes more characters in the phone's text than its
        // letters here: a longer text never fits.
        if (m_limits.notesTextMax > 0)
            m_editNotes->setMaxLength(std::max(m_limits.notesTextMax, static_cast<int>(m_strNotes.size())));
        connect(m_editNotes, &QLineEdit::textChanged, this, [this] { UpdateOkPlay(); });
    }
    if (m_editName) {
        if (m_limits.nameMax > 0)
            m_editName->setMaxLength(m_limits.nameMax);
        connect(m_editName, &QLineEdit::textChanged, this, [this] { UpdateOkPlay(); });
    }
    ResetPlayButton();
    UpdateOkPlay();
    AddToolTip(1077, 31671);
    AddToolTip(1080, 31697);
    AddToolTip(1081, 31670);
    AddToolTip(1082, 31681);
    return true;
}

void CDlgMelodyEditor::UpdateOkPlay()
{
    const bool name = m_editName && !m_editName->text().trimmed().isEmpty();
    const bool notes = !m_bNotesEditable || (m_editNotes && !m_editNotes->text().isEmpty());
    if (QWidget* ok = GetDlgItem(IDOK))
        ok->setEnabled(name && notes && m_nPlaying == 0);
    if (m_btnPlay && m_nPlaying == 0)
        m_btnPlay->setEnabled(name && notes);
}

void CDlgMelodyEditor::ReadTempo()
{
    if (m_bTempoEditable && m_slider)
        m_pMelody->SetTempo(std::max(m_limits.tempoMax - m_slider->value() + m_limits.tempoMin,
                                     m_limits.tempoMin));
}

bool CDlgMelodyEditor::ReadNotes(const QString& text)
{
    m_pMelody->RemoveNotes();
    const int tempo = m_pMelody->GetTempo();
    std::unique_ptr<CNote> current;
    auto finish = [&] {
        if (!current)
            return;
        current->Validate();
        current->Prepare();
        const int key = current->GetKeyValue();
        if (!current->IsSilence() &&
            (key < m_lowest.GetKeyValue() || key > m_highest.GetKeyValue())) {
            // Beyond the phone's range: it becomes a pause of the same length.
            auto rest = std::make_unique<CNote>();
            rest->SetName("M");
            rest->SetDuration(current->GetDuration());
            rest->SetOctave(current->GetOctave());
            rest->Prepare();
            current = std::move(rest);
        }
        m_pMelody->AddNote(current.release());
    };
    for (QChar qc : text) {
        const char c = qc.unicode() < 128 ? static_cast<char>(qc.unicode()) : '?';
        if (std::string("cdefgab").find(c) != std::string::npos ||
            std::string("CDEFGAB").find(c) != std::string::npos) {
            finish();
            const bool twoBeats = c >= 'A' && c <= 'G';
            current = std::make_unique<CNote>();
            current->SetName(std::string(1, static_cast<char>(std::toupper(c))));
            current->SetDuration(twoBeats ? 2.0 * tempo : tempo);
            current->SetOctave(m_limits.baseOctave);
        } else if (c == '#') {
            if (current)
                current->SetSharp();
        } else if (c == '+' || c == '-') {
            if (current)
                current->SetOctave(current->GetOctave() + (c == '+' ? 1 : -1));
        } else if (c >= '0' && c <= '9') {
            if (current)
                current->SetOctave(c - '0');
        } else {
            finish();
            current = std::make_unique<CNote>();
            current->SetName("M");
            current->SetDuration(tempo);
            current->SetOctave(m_limits.baseOctave);
        }
    }
    finish();
    int closing = 0;
    if (!m_pMelody->IsLastNoteSilence()) {
        m_pMelody->AddSilence();
        m_pMelody->AddSilence();
        closing = 2;
    }
    // Told here, before the melody is saved and sent: the phone would refuse
    // it whole, without saying why.
    const int excess = NotesTooMany(*m_pMelody, m_limits.notesTextMax, closing);
    if (excess > 0) {
        if (excess == 1)
            UiMessageBoxId(31719);
        else
            UiMessageBox(UiFormatString(31720, {QString::number(excess)}));
        return false;
    }
    return true;
}

void CDlgMelodyEditor::OnCommand(int id)
{
    if (id == 1082)
        OnPlay();
}

void CDlgMelodyEditor::OnPlay()
{
    if (m_nPlaying) {
        StopPlay();
        return;
    }
    UpdateData(true);
    ReadTempo();
    if (m_bNotesEditable && !ReadNotes(m_strNotes))
        return;
    if (!m_pMelody->Play(this, false))
        return;  // the user was told; nothing plays
    m_nPlaying = 2;
    if (m_btnPlay) {
        m_btnPlay->setText(UiLoadString(31657));
        m_btnPlay->setIcon(MelodyIcon(QStringLiteral("IDI_MMELSTOP_PC")));
        m_btnPlay->setToolTip(UiLoadString(31683));
    }
    for (int id : {1077, 1080, 1081, static_cast<int>(IDOK)})
        if (QWidget* w = GetDlgItem(id))
            w->setEnabled(false);
}

void CDlgMelodyEditor::StopPlay()
{
    if (m_nPlaying == 0)
        return;
    if (!m_pMelody->Stop()) {
        UiMessageBoxId(31646);
        return;
    }
    ResetPlayButton();
}

void CDlgMelodyEditor::ResetPlayButton()
{
    m_nPlaying = 0;
    if (m_btnPlay) {
        m_btnPlay->setText(UiLoadString(31656));
        m_btnPlay->setIcon(MelodyIcon(QStringLiteral("IDI_MMELPLAY_PC")));
        m_btnPlay->setToolTip(UiLoadString(31681));
    }
    if (QWidget* w = GetDlgItem(1077))
        w->setEnabled(true);
    if (QWidget* w = GetDlgItem(1080))
        w->setEnabled(m_bNotesEditable);
    if (QWidget* w = GetDlgItem(1081))
        w->setEnabled(m_bTempoEditable);
    UpdateOkPlay();
}

bool CDlgMelodyEditor::event(QEvent* e)
{
    if (e->type() == CWndMsgEvent::EventType()) {
        if (static_cast<CWndMsgEvent*>(e)->message() == WM_MMI_MELODY_DONE && m_nPlaying)
            ResetPlayButton();
        return true;
    }
    return CDlgBase::event(e);
}

void CDlgMelodyEditor::OnCancel()
{
    StopPlay();
    CDlgBase::OnCancel();
}

void CDlgMelodyEditor::OnOK()
{
    if (m_nPlaying)
        return;
    UpdateData(true);
    const QString name = m_strName.trimmed();
    if (name.isEmpty()) {
        UiMessageBoxId(31665);
        return;
    }
    const bool renamed = m_bModify && name.compare(m_strOldName, Qt::CaseInsensitive) != 0;
    if (m_pList && (!m_bModify || renamed) && m_pList->FindByName(name)) {
        UiMessageBoxId(31690);
        return;
    }
    ReadTempo();
    if (m_bNotesEditable && !ReadNotes(m_strNotes))
        return;
    if (m_pList) {
        for (int i = 0; i < m_pList->GetCount(); ++i) {
            const CMelody* other = m_pList->GetMelodyAt(i);
            if (!other || (m_bModify && other->GetFilePath() == m_strOldPath))
                continue;
            if (other->IsSameNotes(m_pMelody, -1)) {
                UiMessageBox(UiFormatString(31691, {other->GetMelodyName()}));
                return;
            }
        }
    }
    if (m_pMelody->IsAllSilence()) {
        UiMessageBoxId(31714);
        m_strNotes.clear();
        if (m_editNotes)
            m_editNotes->clear();
        return;
    }

    const QString folder = PathFromStd(GetMelodyDirectory());
    if (folder.isEmpty()) {
        UiMessageBoxId(31696);
        return;
    }
    m_pMelody->SetName(name, true);
    const QString target = folder + CMelody::MakeFileSafeName(m_pMelody->GetMelodyName()) +
                           QStringLiteral(".MDY");
    // The new file is written first; another file of that name is only
    // replaced when the user agrees, and the old file goes last.
    if (target != m_strOldPath && QFileInfo::exists(target)) {
        const QString question = UiFormatString(31689, {QFileInfo(target).fileName()});
        if (UiMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    if (!m_bModify)
        m_pMelody->SetFilePath(QString());
    if (!m_pMelody->Save(target)) {
        UiMessageBoxId(31696);
        return;
    }
    if (m_bModify && !m_strOldPath.isEmpty() && m_strOldPath != target)
        QFile::remove(m_strOldPath);
    EndDialog(IDOK);
}
