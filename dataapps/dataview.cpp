#include "dataview.h"

#include "datarun.h"
#include "debugtrace.h"
#include "dlgdataobj.h"
#include "profile.h"
#include "uiservices.h"
#include "uiwidgets.h"
#include "utilities.h"
#include "viewframe.h"
#include "uimsg.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QAbstractButton>
#include <QApplication>

// ---- the panel ----------------------------------------------------------------------------------

CDataObjListWnd::CDataObjListWnd(QWidget* owner) : CObjectListWnd(owner), m_btnRun(new QPushButton(owner))
{
    m_btnRun->setEnabled(false);
    // Programs carry no icon of their own here: every row shows the default
    // image of a data application.
    GetListCtrl()->SetImageList({UiLoadIcon(QStringLiteral("324"))});
}

void CDataObjListWnd::InsertItem(int row, CEntryListCtrl* list, CObjectListItem* item)
{
    // An entry's image number is its type, not a picture: every row shows
    // the default image.
    InsertRow(row, list, item, 0);
}

void CDataObjListWnd::SetColumns(bool scrollBar)
{
    GetListCtrl()->DeleteAllColumns();
    // The one column takes the list's whole width.
    GetListCtrl()->InsertColumn(UiLoadString(31853), 0, 8, scrollBar);
}

void CDataObjListWnd::SetDocument(CQXObjectList* list)
{
    CObjectListWnd::SetDocument(list);
    m_btnRun->setIcon(UiLoadIcon(QStringLiteral("323")));
}

void CDataObjListWnd::AddToolTips()
{
    CObjectListWnd::AddToolTips();
    m_btnRun->setToolTip(UiLoadString(31863));
}

int CDataObjListWnd::GetSavedSelection() { return GetIniProfileInt("Pellard", "DataApplication", 0); }

void CDataObjListWnd::SaveSelection()
{
    const int row = GetListCtrl()->GetSingleSelectedRow();
    if (GetListCtrl()->GetSelectedCount() == 1 && row >= 0)
        WriteIniProfileInt("Pellard", "DataApplication", row);
}

QList<QPushButton*> CDataObjListWnd::DropButtons() const
{
    return CObjectListWnd::DropButtons() << m_btnRun;
}

CDataObj* CDataObjListWnd::GetSelectedDataObj() const
{
    return GetListCtrl()->GetSelectedCount() == 1 ? dynamic_cast<CDataObj*>(GetSelectedItem()) : nullptr;
}

bool CDataObjListWnd::CanRunSelected() const
{
    const CDataObj* entry = GetSelectedDataObj();
    return entry && entry->IsProgramAvailable();
}

void CDataObjListWnd::UpdateButtons()
{
    CObjectListWnd::UpdateButtons();
    m_btnRun->setEnabled(CanRunSelected());
}

bool CDataObjListWnd::RunSelected()
{
    CDataObj* entry = GetSelectedDataObj();
    if (!GetDocument() || !entry)
        return false;
    const bool started = RunDataApplication(*entry);
    if (started)
        m_btnRun->setEnabled(false);
    return started;
}

// ---- the screen ---------------------------------------------------------------------------------

CData::CData(QWidget* parent) : CMainView(322, parent), m_pPanel(std::make_unique<CDataObjListWnd>(this))
{
    m_nViewKind = VIEW_DATA;
    SetClosingFlag(0);
    m_pPanel->BindControls(GetDlgItem(1137), GetDlgItem(1138), GetDlgItem(1136), GetDlgItem(1140));
    // In the form, so that it looks like the panel's other buttons.
    UiReplaceWidget(GetDlgItem(1139), m_pPanel->GetRunButton());
    m_pPanel->GetRunButton()->setEnabled(false);
    connect(m_pPanel->GetNewButton(), &QPushButton::clicked, this, [this] { OnBNew(); });
    connect(m_pPanel->GetModifyButton(), &QPushButton::clicked, this, [this] { OnBModify(); });
    connect(m_pPanel->GetTrashButton(), &QPushButton::clicked, this, [this] { OnBTrash(); });
    connect(m_pPanel->GetRunButton(), &QPushButton::clicked, this, [this] { OnBRun(); });
    // A double click runs the entry only when Run would: an entry whose
    // program is not there is left alone, not started and failed.
    connect(m_pPanel->GetListCtrl(), &QAbstractItemView::doubleClicked, this, [this] {
        if (m_pPanel->CanRunSelected())
            OnBRun();
    });
    // A drop does what the button under it does, for the dragged selection;
    // a disabled button takes nothing.
    connect(m_pPanel.get(), &CObjectListWnd::droppedOn, this, [this](QPushButton* target) {
        if (!target->isEnabled())
            return;
        if (target == m_pPanel->GetModifyButton())
            OnBModify();
        else if (target == m_pPanel->GetTrashButton())
            OnBTrash();
        else if (target == m_pPanel->GetRunButton())
            OnBRun();
    });
}

CData::~CData() = default;

void CData::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    if (auto* help = qobject_cast<QAbstractButton*>(GetDlgItem(1029))) {
        help->setIcon(LoadAppIcon(235));
        help->setToolTip(UiLoadString(31240));
    }
    m_pPanel->AddToolTips();
    PostMessage(this, WM_MMI_DEFERRED_INIT);
}

std::intptr_t CData::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (message == WM_LIST_DELETE_KEY) {
        OnBTrash();
        return 0;
    }
    if (message == WM_MMI_DEFERRED_INIT) {
        update();
        LoadDataObjList();
        m_pPanel->SetDocument(&m_list);
        return 0;
    }
    return CMainView::DefWindowProc(message, wParam, lParam);
}

void CData::OnCommand(int id)
{
    switch (id) {
    case 1136: OnBNew(); break;
    case 1137: OnBModify(); break;
    case 1138: OnBTrash(); break;
    case 1139: OnBRun(); break;
    case 1029: OnHelp(); break;
    default: CMainView::OnCommand(id); break;
    }
}

void CData::OnUpdateMSParam(int flag)
{
    CMainView::OnUpdateMSParam(flag);
    CZorqMMIDoc* doc = GetDocument();
    m_pPanel->GetRunButton()->setEnabled(!(doc && doc->IsDataAppRunning()) && m_pPanel->CanRunSelected());
}

void CData::LoadDataObjList()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const QString folder = app ? QString::fromLocal8Bit(app->GetFilesDir().c_str()) : QString();
    if (folder.isEmpty()) {
        WriteDebug("CData::LoadDataObjList -> Files path empty");
        UiMessageBoxId(31855, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int files = CQXObjectList::CountFiles(folder, "*.DFA");
    StartProgress(31858, files);
    m_list.LoadFolder(folder, "*.DFA", this);
    EndProgress(files);
    QApplication::restoreOverrideCursor();
}

void CData::OnBNew()
{
    CDlgDataObj dlg(this, nullptr, &m_list);
    m_pPanel->NewItem(&dlg);
    m_pPanel->UpdateButtons();
}

void CData::OnBModify()
{
    CDataObj* entry = m_pPanel->GetSelectedDataObj();
    if (!entry)
        return;
    CDlgDataObj dlg(this, entry, &m_list);
    m_pPanel->ModifyItem(&dlg);
    m_pPanel->UpdateButtons();
}

void CData::OnBTrash()
{
    m_pPanel->TrashSelection();
    m_pPanel->UpdateButtons();
}

void CData::OnBRun()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    QWidget* main = app ? app->m_pMainWnd : nullptr;
    if (main)
        main->showMinimized();
    if (m_pPanel->RunSelected()) {
        if (QWidget* refresh = GetDlgItem(1073))
            refresh->setEnabled(false);
        return;
    }
    // Not started: the link comes back and the window is restored, as when
    // a program ends.
    if (CZorqMMIDoc* doc = GetDocument(); doc && m_pPanel->GetSelectedDataObj())
        OnProcessEnded();
    else if (main)
        main->showNormal();
}

void RegisterDataScreen()
{
    RegisterScreen(SCREEN_DATA, [](QWidget* parent, int) -> CMainView* { return new CData(parent); });
}
