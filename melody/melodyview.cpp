#include "melodyview.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "entrylistctrl.h"
#include "melodyicons.h"
#include "melodypaths.h"
#include "mtr_melody.h"
#include "profile.h"
#include "uimsg.h"
#include "uiservices.h"
#include "viewframe.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>

namespace {

const int kCommandButtons[] = {1069, 1068, 1072, 1071, 1086, 1030, 1070, 1074, 1032, 1027, 1085};

void TraceCapability(const char* text, int value)
{
    WriteDebugInt(std::string(" MelodyView  -> ") + text, value);
}

// The playing animation: the size of its control and its pace.
constexpr QSize kAnimationSize(64, 32);
constexpr int kAnimationStepMs = 150;

}  // namespace

CMelodyView::CMelodyView(QWidget* parent) : CMainView(243, parent)
{
    m_nViewKind = VIEW_MELODY;
    m_bClosing = 0;
    m_hIconPlayPc = MelodyIcon(QStringLiteral("IDI_MMELPLAY_PC"));
    m_hIconStopPc = MelodyIcon(QStringLiteral("IDI_MMELSTOP_PC"));
    m_hIconPlayPhone = MelodyIcon(QStringLiteral("IDI_MMELPLAY_PHONE"));
    m_hIconStopPhone = MelodyIcon(QStringLiteral("IDI_MMELSTOP_PHONE"));
    m_hIconHelp = MelodyIcon(QStringLiteral("235"));
    // The playing animation's frames "music1", "music2"... up to the first
    // that is missing.
    for (int n = 1;; ++n) {
        const QIcon frame = MelodyIcon(QStringLiteral("music%1").arg(n));
        if (frame.isNull())
            break;
        m_animFrames.push_back(frame.pixmap(kAnimationSize));
    }
    m_animTimer.setInterval(kAnimationStepMs);
    connect(&m_animTimer, &QTimer::timeout, this,
            [this] { ShowAnimationFrame((m_nAnimFrame + 1) % AnimationFrameCount()); });
    m_lstPhone = ReplaceList(1064);
    m_lstPc = ReplaceList(1065);
    gv_pMelodyView = this;
}

CMelodyView::~CMelodyView()
{
    if (gv_pMelodyView == this)
        gv_pMelodyView = nullptr;
    // The melodies stop their own playback as they go.
    m_pPlayingMelody = nullptr;
}

CEntryListCtrl* CMelodyView::ReplaceList(int id)
{
    // The form holds a stand-in; the real list is a child of the screen, so
    // that its messages (focus, Delete key, context menu) come here.
    QWidget* placeholder = GetDlgItem(id);
    auto* list = new CEntryListCtrl(this);
    if (placeholder) {
        list->setGeometry(QRect(placeholder->mapTo(this, QPoint(0, 0)), placeholder->size()));
        placeholder->setObjectName(QString());
        placeholder->hide();
        placeholder->deleteLater();
    } else {
        list->setGeometry(id == 1064 ? QRect(24, 72, 230, 262) : QRect(376, 72, 230, 262));
    }
    list->setObjectName(QStringLiteral("id%1").arg(id));
    list->raise();
    list->show();
    connect(list, &CEntryListCtrl::rowClicked, this, [this, list](int) {
        if (list == m_lstPhone)
            SelectPhoneList();
        else
            SelectPcList();
    });
    connect(list, &CEntryListCtrl::selectionChangedRows, this, [this, list] { UpdateButtons(list); });
    connect(list, &CEntryListCtrl::columnClicked, this, [this, list](int) {
        (list == m_lstPhone ? m_lstPc : m_lstPhone)->DeselectAll();
        list->SelectAll();
        UpdateButtons(list);
    });
    connect(list, &QTreeView::doubleClicked, this, [this, list](const QModelIndex&) {
        if (list == m_lstPhone) {
            SelectPhoneList();
            OnBCopyToPc();
        } else {
            SelectPcList();
            OnBCopyToPhone();
        }
    });
    connect(list, &CEntryListCtrl::dragStarted, this, [this, list] { BeginDrag(list); });
    return list;
}

CMelody* CMelodyView::MelodyOfRow(CEntryListCtrl* list, int row)
{
    return ListOf(list).GetMelodyAt(row);
}

void CMelodyView::SetEnabled(int id, bool enable)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(enable);
}

bool CMelodyView::IsEnabled(int id) const
{
    QWidget* w = GetDlgItem(id);
    return w && w->isEnabled();
}

void CMelodyView::SetButtonIcon(int id, const QIcon& icon)
{
    if (auto* b = qobject_cast<QPushButton*>(GetDlgItem(id)))
        b->setIcon(icon);
}

int CMelodyView::SelectedCount(CEntryListCtrl* list) const
{
    return list ? list->GetSelectedCount() : 0;
}

QString CMelodyView::MelodyFolder() const
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? PathFromStd(app->GetMelodyDir()) : QString();
}

// ---------------------------------------------------------------- life

void CMelodyView::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    QFont bold = font();
    bold.setBold(true);
    for (int id : {1100, 1130})
        if (QWidget* w = GetDlgItem(id))
            w->setFont(bold);
    for (int id : {1067, 1100, 1130}) {
        if (QWidget* w = GetDlgItem(id)) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
            w->setPalette(pal);
        }
    }
    if (auto* caption = qobject_cast<QLabel*>(GetDlgItem(1067)))
        caption->setText(UiLoadString(31641));

    const struct {
        int id;
        const char* icon;
        int tip;
    } buttons[] = {{1069, "261", 31674}, {1068, "260", 31675}, {1071, "272", 31677},
                   {1086, "284", 31678}, {1030, "283", 31679}, {1072, "277", 31694},
                   {1032, "278", 31695}, {1085, "287", 31716}, {1027, "211", 31717}};
    for (const auto& b : buttons) {
        SetButtonIcon(b.id, MelodyIcon(QString::fromLatin1(b.icon)));
        if (QWidget* w = GetDlgItem(b.id))
            w->setToolTip(UiLoadString(b.tip));
    }
    SetButtonIcon(1029, m_hIconHelp);
    if (QWidget* w = GetDlgItem(1029))
        w->setToolTip(UiLoadString(31240));
    m_lstPhone->setToolTip(UiLoadString(31673));
    m_lstPc->SetImageList({MelodyIcon(QStringLiteral("136"))});
    m_lstPhone->SetImageList({MelodyIcon(QStringLiteral("138"))});
    ResetPlayButtons();
    m_bDragging = false;

    for (int id : kCommandButtons)
        SetEnabled(id, false);

    PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
}

void CMelodyView::OnDestroy()
{
    if (m_pPlayingMelody)
        OnBStop();
    CloseProgress();
    CMainView::OnDestroy();
}

void CMelodyView::OnUpdateMSParam(int flag)
{
    CMainView::OnUpdateMSParam(flag);
    if (flag) {
        m_bLoadPcList = false;
        PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
    } else {
        UpdatePhoneButtons();
    }
}

std::intptr_t CMelodyView::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_LIST_FOCUS_ROW: {
        auto* list = reinterpret_cast<CEntryListCtrl*>(wParam);
        if (list == m_lstPhone)
            SelectPhoneList();
        else if (list == m_lstPc)
            SelectPcList();
        return 0;
    }
    case WM_LIST_DELETE_KEY:
        OnBDelete();
        return 0;
    case 0x7F6:
        return 0;
    case WM_MMI_MS_PARAM_CHANGED:
        OnUpdateMSParam(static_cast<int>(wParam));
        return 0;
    case WM_MMI_DEFERRED_INIT:
        InitMelodyLists();
        return 0;
    case WM_MMI_MELODY_DONE:
        // A PC playback ended (or was stopped); a phone playback in the
        // meantime keeps its buttons.
        if (m_nPlayMode != 1)
            ResetPlayButtons();
        return 0;
    case WM_RBUTTONDOWN:
        if (static_cast<std::intptr_t>(wParam) == -1 && lParam == -1) {
            const bool pc = m_lstPc->hasFocus() || (!m_lstPhone->hasFocus() && SelectedCount(m_lstPc) > 0);
            if (pc) {
                SelectPcList();
                ShowContextMenu(158, SelectedCount(m_lstPc) > 1);
            } else {
                SelectPhoneList();
                ShowContextMenu(157, SelectedCount(m_lstPhone) > 1);
            }
            return 0;
        }
        break;
    default:
        break;
    }
    return CMainView::DefWindowProc(message, wParam, lParam);
}

void CMelodyView::OnCommand(int id)
{
    switch (id) {
    case 1068: case 32783: OnBCopyToPc(); break;
    case 1069: case 32788: OnBCopyToPhone(); break;
    case 1071: OnBProperty(); break;
    case 1070: case 32790: OnBPlayPc(); break;
    case 1074: case 32789: OnBPlayPhone(); break;
    case 1072: case 32784: OnBRename(); break;
    case 1086: OnBImport(); break;
    case 1030: case 32796: OnBExport(); break;
    case 1032: OnBNew(); break;
    case 1085: case 32786: OnBEdit(); break;
    case 1027: case 32777: OnBDelete(); break;
    case 1029: OnBHelp(); break;
    default: CMainView::OnCommand(id); break;
    }
}

// ---------------------------------------------------------------- loading

void CMelodyView::InitMelodyLists()
{
    update();
    if (CZorqMMIDoc* doc = GetDocument()) {
        WriteDebug(" ************* MelodyView  -> Capabilities **************");
        WriteDebug(" ");
        TraceCapability("IsMelodyAvailable()   :", doc->IsMelodyAvailable());
        TraceCapability("GetMaxNbOfNotes()     :", doc->GetMaxNbOfNotes());
        TraceCapability("GetMelodyMax()        :", doc->GetMelodyMax());
        TraceCapability("GetMelodyDurationMax():", doc->GetMelodyDurationMax());
        TraceCapability("GetMelodyDurationMin():", doc->GetMelodyDurationMin());
        TraceCapability("GetMelodyTempoMax()   :", doc->GetMelodyTempoMax());
        TraceCapability("GetMelodyTempoMin()   :", doc->GetMelodyTempoMin());
        TraceCapability("GetMelodyNameMax()    :", doc->GetMelodyNameMax());
        TraceCapability("GetDefaultOctave()    :", doc->GetDefaultOctave());
        TraceCapability("GetMelodyNoteMax()    :", doc->GetMelodyNoteMax());
        TraceCapability("GetMelodyNoteMin()    :", doc->GetMelodyNoteMin());
        TraceCapability("GetMelodyOctaveMax()  :", doc->GetMelodyOctaveMax());
        TraceCapability("GetMelodyOctaveMin()  :", doc->GetMelodyOctaveMin());
        WriteDebug(" ");
        WriteDebug(" ********************************************************");
    }
    LoadPhoneList();
    if (m_bLoadPcList) {
        LoadMelodyListPc(true);
        AutoCopyPhoneMelodies();
        FillList(true);
    }
    m_bLoadPcList = true;
    if (m_lstPhone->GetRowCount() == 0)
        m_lstPhone->setEnabled(false);
    UpdatePhoneButtons();
    UpdateButtons(m_lstPc);
    UpdateButtons(m_lstPhone);
}

void CMelodyView::LoadPhoneList()
{
    m_lstPc->DeselectAll();
    if (IsPhoneMelodyReady()) {
        CZorqMMIDoc* doc = GetDocument();
        LoadMelodyListPhone(1, doc ? doc->GetMelodyMax() : 8);
        if (m_PhoneMelodies.GetCount() == 0)
            m_lstPhone->setEnabled(false);
        UpdatePhoneButtons();
        UpdateButtons(m_lstPc);
        UpdateButtons(m_lstPhone);
    }
    FillList(false);
}

void CMelodyView::LoadMelodyListPhone(int indexmin, int indexmax)
{
    WriteDebugInt2("LoadMelodyListPhone -> BEGIN with indexmin and indexmax:", indexmin, indexmax);
    if (indexmin < 0) {
        WriteDebug("LoadMelodyListPhone -> END indexmin < 0");
        return;
    }
    if (indexmax < 0) {
        WriteDebug("LoadMelodyListPhone -> END indexmax < 0");
        return;
    }
    // The list is about to be emptied: nothing of it may still play.
    if (m_pPlayingMelody && m_PhoneMelodies.GetItems().end() !=
                                std::find(m_PhoneMelodies.GetItems().begin(),
                                          m_PhoneMelodies.GetItems().end(), m_pPlayingMelody))
        OnBStop();
    StartProgress(31644, indexmax);
    m_PhoneMelodies.RemoveAll();
    WriteDebug("LoadMelodyListPhone -> CALL mtr_MELODY_read");
    const MTR_RESULT r = mtr_MELODY_read(static_cast<uint8_t>(std::min(indexmin, 255)),
                                         static_cast<uint8_t>(std::min(indexmax, 255)));
    if (r == -35) {
        WriteDebug("LoadMelodyListPhone -> mtr_MELODY_read return OK");
        EndProgress(indexmax);
    } else {
        WriteDebug("LoadMelodyListPhone -> mtr_MELODY_read return FAILED");
        CloseProgress();
    }
}

void CMelodyView::mmi_MELODY_add_melody(const std::string& header, const std::string& notes)
{
    if (m_pSlotReadBack) {
        m_pSlotReadBack->emplace_back(header, notes);
        return;
    }
    AddPhoneMelody(header, notes);
}

int CMelodyView::AddPhoneMelody(const std::string& header, const std::string& notes)
{
    WriteDebug(" mmi_MELODY_add_melody -> HeaderString:", header);
    WriteDebug(" mmi_MELODY_add_melody -> NotesString:", notes);
    if (header.empty() || notes.empty())
        return -1;
    auto melody = std::make_unique<CMelody>();
    if (!melody->InitHeaderWithString(header)) {
        WriteDebug(" mmi_MELODY_add_melody -> InitHeaderWithString failed");
        return -1;
    }
    if (!melody->AnalyseNote(notes)) {
        WriteDebug(" mmi_MELODY_add_melody -> AnalyseNote failed");
        return -1;
    }
    if (melody->IsAllSilence()) {
        WriteDebug(" mmi_MELODY_add_melody ->all pitch are silence");
        return -1;
    }
    int row;
    if (GetIniProfileInt("Melody", "PhoneOrder", 0) == 1) {
        WriteDebug(" mmi_MELODY_add_melody -> add phone melody by alphabetic order");
        row = m_PhoneMelodies.AddSorted(melody.get());
        if (row < 0)
            return -1;
    } else {
        WriteDebug(" mmi_MELODY_add_melody -> add phone melody without alphabetic order");
        row = m_PhoneMelodies.AddTail(melody.get()) - 1;
    }
    melody.release();
    SetProgressPos(row);
    return row;
}

void CMelodyView::mmi_MELODY_stop_ind()
{
    WriteDebug("mmi_MELODY_stop_ind -> melody stop indication from phone");
    if (m_nPlayMode != 2)
        ResetPlayButtons();
}

void CMelodyView::LoadMelodyListPc(bool progress)
{
    const QString folder = MelodyFolder();
    if (folder.isEmpty()) {
        WriteDebug("LoadMelodyListPc -> Melody path empty");
        UiMessageBoxId(31642);
        return;
    }
    if (m_pPlayingMelody && std::find(m_PcMelodies.GetItems().begin(), m_PcMelodies.GetItems().end(),
                                      m_pPlayingMelody) != m_PcMelodies.GetItems().end())
        OnBStop();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int count = CQXObjectList::CountFiles(folder, QStringLiteral("*.MDY"));
    if (progress)
        StartProgress(31709, count);
    m_PcMelodies.LoadMelodyFolder(folder, QStringLiteral("*.MDY"), this);
    if (progress)
        EndProgress(count);
    QApplication::restoreOverrideCursor();
}

void CMelodyView::FillList(bool pc)
{
    CEntryListCtrl* list = pc ? m_lstPc : m_lstPhone;
    CMelodyList& melodies = pc ? m_PcMelodies : m_PhoneMelodies;
    list->setUpdatesEnabled(false);
    list->DeleteAllRows();
    list->DeleteAllColumns();
    const bool scroll = melodies.GetCount() > list->RowsPerPage();
    m_bColumnNarrowed = false;
    list->InsertColumn(UiLoadString(31643), 0, 8, scroll);
    for (int i = 0; i < melodies.GetCount(); ++i)
        InsertMelodyRow(i, pc, list, melodies.GetMelodyAt(i));
    list->setUpdatesEnabled(true);
}

void CMelodyView::InsertMelodyRow(int row, bool, CEntryListCtrl* list, CMelody* melody)
{
    if (!list || !melody)
        return;
    if (row < 0 || row > list->GetRowCount())
        row = list->GetRowCount();
    list->SetRowText(row, 0, melody->GetMelodyName(), 0);
    if (!m_bColumnNarrowed && list->GetRowCount() > list->RowsPerPage()) {
        const int width = list->columnWidth(0);
        if (width > 0)
            list->setColumnWidth(0, width - 1);
        m_bColumnNarrowed = true;
    }
}

void CMelodyView::UpdateMelodyRow(int row, bool pc, CEntryListCtrl* list, CMelody* melody)
{
    if (!list)
        return;
    list->DeleteRow(row);
    InsertMelodyRow(row, pc, list, melody);
}

// ---------------------------------------------------------------- state

bool CMelodyView::IsPhoneMelodyReady()
{
    if (gv_SPIO_com_status != SPIO_com_available)
        return false;
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return false;
    if (doc->IsMelodyAvailable())
        return true;
    if (!doc->IsDataAppRunning())
        if (auto* label = qobject_cast<QLabel*>(GetDlgItem(1084)))
            label->setText(UiLoadString(31715));
    return false;
}

int CMelodyView::GetSelectedMelody(CEntryListCtrl** list, CMelody** melody)
{
    if (list)
        *list = nullptr;
    if (melody)
        *melody = nullptr;
    const int phone = SelectedCount(m_lstPhone);
    const int pc = SelectedCount(m_lstPc);
    if ((phone == 0) == (pc == 0) || phone > 1 || pc > 1)
        return -1;
    CEntryListCtrl* chosen = phone ? m_lstPhone : m_lstPc;
    const QList<int> rows = chosen->GetSelectedRows();
    if (rows.isEmpty())
        return -1;
    CMelody* m = MelodyOfRow(chosen, rows.first());
    if (list)
        *list = chosen;
    if (melody)
        *melody = m;
    return m ? rows.first() : -1;
}

void CMelodyView::UpdatePhoneButtons()
{
    const bool on = gv_SPIO_com_status == SPIO_com_available && IsPhoneMelodyReady();
    SetEnabled(1069, on);
    SetEnabled(1068, on);
    m_lstPhone->setEnabled(on);
    SetEnabled(1074, on);
}

void CMelodyView::EnableControls(bool enable)
{
    for (int id : {1069, 1068, 1086, 1030, 1071, 1072, 1032, 1027, 1085})
        SetEnabled(id, enable);
    m_lstPhone->setEnabled(enable);
    m_lstPc->setEnabled(enable);
    // The pressed play button now stops: it keeps its state.
    SetEnabled(m_nPressedPlay == 1074 ? 1070 : 1074, enable);
    if (!IsPhoneMelodyReady()) {
        for (int id : {1069, 1068, 1074})
            SetEnabled(id, false);
        m_lstPhone->setEnabled(false);
    }
}

void CMelodyView::UpdateButtons(CEntryListCtrl* list)
{
    if (!list || m_nPlayMode != 0)
        return;
    const int phone = SelectedCount(m_lstPhone);
    const int pc = SelectedCount(m_lstPc);
    const bool ready = IsPhoneMelodyReady();
    if (list == m_lstPhone) {
        if (phone == 0) {
            SetEnabled(1069, pc == 1);
            for (int id : {1068, 1071, 1072, 1070, 1074})
                SetEnabled(id, false);
        } else if (phone == 1) {
            SetEnabled(1069, pc > 0 && ready);
            SetEnabled(1068, true);
            SetEnabled(1071, true);
            SetEnabled(1072, pc == 0);
            SetEnabled(1070, true);
            if (ready)
                SetEnabled(1074, true);
            for (int id : {1030, 1085, 1027})
                SetEnabled(id, false);
        } else {
            for (int id : {1069, 1071, 1072, 1070, 1074, 1085})
                SetEnabled(id, false);
            SetEnabled(1068, true);
            if (pc == 0)
                SetEnabled(1030, false);
        }
    } else {
        if (pc == 0) {
            for (int id : {1069, 1068, 1071, 1072, 1070, 1074, 1030, 1085, 1027})
                SetEnabled(id, false);
        } else if (pc == 1) {
            SetEnabled(1069, ready);
            SetEnabled(1068, phone > 0);
            SetEnabled(1071, true);
            SetEnabled(1072, false);
            SetEnabled(1070, true);
            if (ready)
                SetEnabled(1074, true);
            for (int id : {1030, 1085, 1027})
                SetEnabled(id, true);
        } else {
            for (int id : {1069, 1068, 1071, 1072, 1070, 1074, 1085})
                SetEnabled(id, false);
            SetEnabled(1030, true);
            SetEnabled(1027, true);
        }
    }
    SetEnabled(1086, true);
    SetEnabled(1032, true);
}

void CMelodyView::SelectPhoneList()
{
    m_lstPc->DeselectAll();
    UpdateButtons(m_lstPhone);
}

void CMelodyView::SelectPcList()
{
    m_lstPhone->DeselectAll();
    UpdateButtons(m_lstPc);
}

void CMelodyView::StartPlayAnimation()
{
    if (m_nPressedPlay == 1074) {
        SetDlgText(1074, UiLoadString(31657));
        SetButtonIcon(1074, m_hIconStopPhone);
        if (QWidget* w = GetDlgItem(1074))
            w->setToolTip(UiLoadString(31701));
    } else {
        SetDlgText(1070, UiLoadString(31657));
        SetButtonIcon(1070, m_hIconStopPc);
        if (QWidget* w = GetDlgItem(1070))
            w->setToolTip(UiLoadString(31683));
    }
    EnableControls(false);
    m_bControlsOff = true;
    // Without its pictures the melody still plays, only without animation.
    if (!m_animFrames.empty() && GetDlgItem(1083)) {
        ShowAnimationFrame(0);
        m_animTimer.start();
    }
}

void CMelodyView::ShowAnimationFrame(int frame)
{
    m_nAnimFrame = frame;
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(1083))) {
        if (frame < 0)
            label->clear();
        else
            label->setPixmap(m_animFrames[static_cast<size_t>(frame)]);
    }
}

void CMelodyView::StopPlayAnimation()
{
    m_animTimer.stop();
    ShowAnimationFrame(-1);
}

void CMelodyView::ResetPlayButtons()
{
    SetDlgText(1074, UiLoadString(31703));
    SetButtonIcon(1074, m_hIconPlayPhone);
    SetDlgText(1070, UiLoadString(31656));
    SetButtonIcon(1070, m_hIconPlayPc);
    if (QWidget* w = GetDlgItem(1074))
        w->setToolTip(UiLoadString(31702));
    if (QWidget* w = GetDlgItem(1070))
        w->setToolTip(UiLoadString(31681));
    m_nPlayMode = 0;
    m_nPressedPlay = 0;
    if (m_bControlsOff) {
        m_bControlsOff = false;
        EnableControls(true);
        UpdateButtons(SelectedCount(m_lstPhone) > 0 ? m_lstPhone : m_lstPc);
    }
    StopPlayAnimation();
}

void CMelodyView::SetDlgText(int id, const QString& text)
{
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        b->setText(text);
}

void RegisterMelodyScreen()
{
    RegisterScreen(SCREEN_MELODY, [](QWidget* parent, int) -> CMainView* {
        return new CMelodyView(parent);
    });
}
