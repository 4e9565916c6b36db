#include "srclist.h"

#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "mtr_poll.h"
#include "profile.h"
#include "uimsg.h"
#include "uiservices.h"
#include "wndmsg.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QThread>

#include "dragdrop.h"

#include <cstdio>

#if __has_include("confirm.h")
#include "confirm.h"
#define ZORQ_HAVE_CONFIRM 1
#endif

// ---- the PC button's menu -----------------------------------------------------------------

CPopupIconMenu::CPopupIconMenu(QWidget* owner) : QMenu(owner), m_pOwner(owner)
{
    addAction(UiLoadString(31214))->setData(ID_PC_NEW_DATABASE);
    addAction(UiLoadString(31862))->setData(ID_PC_OPEN_DATABASE);
}

CPopupIconMenu::~CPopupIconMenu()
{
    if (m_pOwner)
        PostMessage(m_pOwner, WM_POPUP_MENU_CLOSED, 0, 0);
}

int CPopupIconMenu::Track(const QPoint& at)
{
    QAction* a = exec(at);
    return a ? a->data().toInt() : 0;
}

// ---- source button ------------------------------------------------------------------------

void CSrcButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        setDown(true);
        setFocus();
    }
    QPushButton::mousePressEvent(e);
}

void CSrcButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton)
        setDown(false);
    QPushButton::mouseReleaseEvent(e);
}

void CSrcButton::contextMenuEvent(QContextMenuEvent* e)
{
    QWidget* owner = m_pOwner ? m_pOwner.data() : parentWidget();
    SendMessage(owner, WM_SRC_CONTEXT_MENU, 0, reinterpret_cast<std::intptr_t>(this));
    const int mode = GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0);
    if (mode == 2)
        return;
    if (m_bFlag) {
        PostMessage(owner, WM_SRC_MENU_REQUEST, 0, reinterpret_cast<std::intptr_t>(this));
        return;
    }
    if (mode != 0)
        return;
    int id;
    {
        CPopupIconMenu menu(owner);
        id = menu.Track(e->globalPos());
    }
    if (id)
        emit menuCommand(id);
}

// ---- the pane base ------------------------------------------------------------------------

CSrcList::CSrcList(QWidget* owner) : QObject(owner), m_pOwner(owner)
{
    for (auto*& t : m_pTargets)
        t = new CEntryDropTarget(this);
}

CSrcList::~CSrcList() = default;

void CSrcList::SetControls(QAbstractButton* pc, QAbstractButton* sim, QAbstractButton* phone,
                           QAbstractButton* fourth, CEntryListCtrl* list, QLabel* title, QLabel* room)
{
    m_pPC = pc;
    m_pSIM = sim;
    m_pPhone = phone;
    m_pFourth = fourth;
    m_pList = list;
    m_pTitle = title;
    m_pRoom = room;
    for (QAbstractButton* b : {pc, sim, phone})
        if (b)
            b->setCheckable(true);
    if (m_pList)
        connect(m_pList, &CEntryListCtrl::selectionChangedRows, this, [this] { UpdateAllSelected(); });
}

void CSrcList::SetDropOwner(CDropOwner* owner)
{
    for (CEntryDropTarget* t : m_pTargets)
        t->SetOwner(owner);
}

void CSrcList::Init(bool oleDrag)
{
    m_bOleDrag = oleDrag;
    if (!oleDrag)
        return;
    QWidget* places[4] = {m_pPC, m_pSIM, m_pPhone, m_pList};
    for (int i = 0; i < 4; ++i)
        m_pTargets[i]->Register(places[i]);
    if (m_pList) {
        m_pList->setDragEnabled(true);
        connect(m_pList, &CEntryListCtrl::dragStarted, this, [this] { BeginOleDrag(); });
    }
}

bool CSrcList::ClickSrcPC()
{
    if (!m_pPC || !m_pPC->isChecked() || IsPCCurrent())
        return false;
    if (m_pFourth)
        m_pFourth->setEnabled(true);
    ClearList();
    SelectSourcePC();
    const bool ok = IsPCDatabaseAvailable() ? ReadSource() : ShowContextMenu();
    if (!ok)
        UndoSourceChange();
    return true;
}

bool CSrcList::ClickSrcSIM()
{
    if (!m_pSIM || !m_pSIM->isChecked() || IsSIMCurrent())
        return false;
    if (m_pFourth)
        m_pFourth->setEnabled(true);
    ClearList();
    SelectSourceSIM();
    if (!OpenCurrentSource())
        UndoSourceChange();
    return true;
}

bool CSrcList::ClickSrcPhone()
{
    if (!m_pPhone || !m_pPhone->isChecked() || IsPhoneCurrent())
        return false;
    if (m_pFourth)
        m_pFourth->setEnabled(true);
    ClearList();
    SelectSourcePhone();
    if (!OpenCurrentSource())
        UndoSourceChange();
    return true;
}

bool CSrcList::OpenCurrentSource()
{
    if (!SelectStorage() || IsBusy())
        return false;
    return ReadSource();
}

bool CSrcList::ReadSource()
{
    int value = 0;
    if (ReadCurrentSource(&value) != 0)
        return false;
    TakeReadResult(value);
    FillList();
    return true;
}

void CSrcList::ChangeSource(int source)
{
    UpdateButtons();
    OnSourceChanged(source);
    StoreSourceSetting();
    ResetStorage();
    ResetSecondStorage();
}

namespace {
void Check(QAbstractButton* on, std::initializer_list<QAbstractButton*> off)
{
    for (QAbstractButton* b : off)
        if (b)
            b->setChecked(false);
    if (on) {
        on->setChecked(true);
        on->setFocus();
    }
}
}  // namespace

void CSrcList::CheckSrcPC() { Check(m_pPC, {m_pSIM, m_pPhone}); }
void CSrcList::CheckSrcSIM() { Check(m_pSIM, {m_pPC, m_pPhone}); }
void CSrcList::CheckSrcPhone() { Check(m_pPhone, {m_pPC, m_pSIM}); }
void CSrcList::UncheckAllSrc() { Check(nullptr, {m_pPC, m_pSIM, m_pPhone}); }

void CSrcList::UpdateButtons()
{
    if (m_pSIM)
        m_pSIM->setEnabled(IsSIMAvailable());
    if (m_pPhone)
        m_pPhone->setEnabled(IsPhoneAvailable());
}

void CSrcList::UpdateAllSelected()
{
    m_bAllSelected = m_pList && m_pList->GetRowCount() > 0 &&
                     m_pList->GetSelectedCount() == m_pList->GetRowCount();
}

void CSrcList::SetProgressPosition(int x, int y)
{
    if (x == -1 && y == -1 && m_pList)
        m_progress = m_pList->mapToGlobal(QPoint(0, 0));
    else
        m_progress = QPoint(x, y);
}

void CSrcList::ClearList()
{
    if (m_pList)
        m_pList->DeleteAllRows();
}

bool CSrcList::ShowContextMenu()
{
    if (!m_pOwner)
        return false;
    int id;
    {
        CPopupIconMenu menu(m_pOwner);
        id = menu.Track(m_pOwner->mapToGlobal(QPoint(0, 0)) + m_menuOffset);
    }
    if (id == ID_PC_NEW_DATABASE)
        return OnNewDatabase();
    if (id == ID_PC_OPEN_DATABASE)
        return OnOpenDatabase();
    return true;
}

bool CSrcList::ChooseDatabaseFile(int titleId, bool create, std::string& path)
{
    const QString filter = QStringLiteral("*.mdb");
    QString chosen = create ? QFileDialog::getSaveFileName(m_pOwner, UiLoadString(titleId), QString(), filter)
                            : QFileDialog::getOpenFileName(m_pOwner, UiLoadString(titleId), QString(), filter);
    if (chosen.isEmpty())
        return false;
    if (create && !chosen.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive))
        chosen += QStringLiteral(".mdb");
    path = chosen.toStdString();
    return true;
}

bool CSrcList::NewDatabaseFile(std::string* out, bool apply)
{
    std::string path;
    if (!ChooseDatabaseFile(31214, true, path))
        return false;
    if (QFileInfo::exists(QString::fromStdString(path))) {
        const QString q = UiFormatString(31317, {QString::fromStdString(path)});
        if (UiMessageBox(q, 0x24) != 6)  // Yes/No with the question icon
            return false;
        if (std::remove(path.c_str()) != 0) {
            UiMessageBox(UiFormatString(31318, {QString::fromStdString(path)}));
            return false;
        }
    }
    if (!CreateDatabase(path))
        return false;
    if (apply)
        SetDatabasePath(path);
    if (out)
        *out = path;
    return true;
}

bool CSrcList::OpenDatabaseFile(std::string* out, bool apply)
{
    std::string path;
    if (!ChooseDatabaseFile(31862, false, path))
        return false;
    if (!OpenDatabase(path))
        return false;
    if (apply)
        SetDatabasePath(path);
    if (out)
        *out = path;
    return true;
}

bool CSrcList::OnNewDatabase()
{
    if (!NewDatabaseFile(nullptr, true))
        return false;
    return IsPCDatabaseAvailable() && ReadSource();
}

bool CSrcList::OnOpenDatabase()
{
    if (!OpenDatabaseFile(nullptr, true))
        return false;
    return IsPCDatabaseAvailable() && ReadSource();
}

QString CSrcList::RowName(int row)
{
    if (!m_pList)
        return QString();
    return m_pList->GetRowText(row, IsNameInFirstColumn(row) ? 0 : 1);
}

void CSrcList::TrashSelection()
{
    if (!m_pList)
        return;
    mtr_set_poll_state(0);
    // The rows and their names, before anything is deleted.
    const QList<int> rows = m_pList->GetSelectedRows();
    QStringList names;
    QList<std::int32_t> locations;
    for (int row : rows) {
        names << RowName(row);
        locations << m_pList->GetLocation(row);
    }
    int value = 0;
    ReadCurrentSource(&value);
    CDlgProgressText* progress = nullptr;
    if (m_pOwner) {
        progress = new CDlgProgressText(m_pOwner, 179);
        if (m_progress != QPoint(-1, -1))
            progress->SetPosition(m_progress.x(), m_progress.y());
        progress->SetTitleText(UiLoadString(31334));
    }
    m_pList->setUpdatesEnabled(false);
#ifdef ZORQ_HAVE_CONFIRM
    CDlgConfirm confirm(m_pOwner);
    confirm.SetKind(ConfirmKind());
    if (names.size() == 1)
        confirm.DisableAllButton();
#endif
    bool all = false;
    for (int i = 0; i < names.size(); ++i) {
        if (!all) {
#ifdef ZORQ_HAVE_CONFIRM
            confirm.SetItemName(names[i]);
            const int answer = confirm.DoModal();
#else
            const int answer = UiMessageBox(names[i], 0x24);
#endif
            if (answer == 1078)
                all = true;
            else if (answer != 6)
                continue;
        }
        // The row may have moved: rows before it went already.
        const int row = m_pList->FindRowByLocation(locations[i]);
        if (row < 0 || !DeleteOneItem(row))
            continue;
        if (progress) {
            if (!progress->IsWindowCreated()) {
                progress->Create();
                progress->SetRange(2);
            }
            progress->StepIt();
        }
        m_pList->DeleteRow(row);
    }
    m_pList->setUpdatesEnabled(true);
    RefreshAfterDelete();
    if (progress) {
        if (progress->IsWindowCreated())
            progress->Finish(true);
        delete progress;
    }
    mtr_set_poll_state(1);
}

Qt::DropAction CSrcList::DoOleDrag(QMimeData* data)
{
    if (!m_pOwner) {
        delete data;
        return Qt::IgnoreAction;
    }
    auto* drag = new QDrag(m_pOwner);
    drag->setMimeData(data);
    const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    if (m_pDropSource)
        m_pDropSource->EndDrag();
    return done;
}
