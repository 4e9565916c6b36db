#include "srclist.h"

#include "deleterun.h"
#include "filedlg.h"
#include "mtr_poll.h"
#include "profile.h"
#include "uimsg.h"
#include "uiservices.h"
#include "uiwidgets.h"
#include "wndmsg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QMimeData>

namespace {

constexpr int kMenuId = 132;
constexpr int kNewDbTitle = 31214;
constexpr int kOpenDbTitle = 31862;
constexpr int kReplaceString = 31317;
constexpr int kRemoveFailedString = 31318;
constexpr unsigned kYesNoQuestion = 0x4 | 0x20;  // MB_YESNO | MB_ICONQUESTION

QPushButton* MakeSourceButton(QWidget* owner, const char* icon)
{
    auto* b = new QPushButton(owner);
    b->setCheckable(true);
    b->setIcon(UiLoadIcon(QLatin1String(icon)));
    return b;
}

}  // namespace

// ---------------------------------------------------------------- menu and button

CPopupIconMenu::~CPopupIconMenu() { PostMessage(m_pOwner, WM_POPUP_MENU_CLOSED, 0, 0); }

CSrcButton::CSrcButton(QWidget* parent) : QPushButton(parent) { setCheckable(true); }

void CSrcButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        setDown(true);
        setFocus(Qt::MouseFocusReason);
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
    e->accept();
    QWidget* parent = parentWidget();
    PostMessage(parent, WM_SRC_CONTEXT_MENU, 0, reinterpret_cast<std::intptr_t>(this));
    const int mode = GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0);
    if (mode == 2)
        return;
    if (m_bFlag) {
        PostMessage(parent, WM_SRC_MENU_REQUEST, 0, reinterpret_cast<std::intptr_t>(this));
        return;
    }
    if (mode != 0)
        return;
    CPopupIconMenu menu(parent);
    if (!menu.LoadMenu(kMenuId) || !menu.GetSubMenu(0))
        return;
    CIconMenu* sub = menu.GetSubMenu(0);
    if (m_pPane)
        emit m_pPane->menuShown(sub);
    const unsigned id = sub->TrackPopup(QCursor::pos(), nullptr);
    if (m_pPane) {
        m_pPane->OnMenuCommand(id);
        return;
    }
    // A screen without a pane (the message screen) switches its PC source
    // itself: the menu's commands reach it as its own new and open commands.
    if (id == ID_PC_NEW_DATABASE || id == ID_PC_OPEN_DATABASE)
        SendMessage(parent, 0x0111 /* WM_COMMAND */,
                    id == ID_PC_NEW_DATABASE ? ID_NEW_PC_SOURCE : ID_OPEN_PC_SOURCE, 0);
}

// ---------------------------------------------------------------- pane

CSrcList::CSrcList(QWidget* owner)
    : QObject(owner),
      m_pOwner(owner),
      m_btnPC(new CSrcButton(owner)),
      m_btnSIM(MakeSourceButton(owner, "208")),
      m_btnPhone(MakeSourceButton(owner, "162")),
      m_btnFourth(new QPushButton(owner)),
      m_list(new CEntryListCtrl(owner)),
      m_static1(new QLabel(owner)),
      m_static2(new QLabel(owner)),
      m_group(new QButtonGroup(this)),
      m_pTarget(new CEntryDropTarget(this))
{
    m_btnPC->setIcon(UiLoadIcon(QStringLiteral("207")));
    m_btnPC->SetPane(this);
    m_group->setExclusive(true);
    m_group->addButton(m_btnPC);
    m_group->addButton(m_btnSIM);
    m_group->addButton(m_btnPhone);
    m_list->SetImageList({UiLoadIcon("136"), UiLoadIcon("227"), UiLoadIcon("138")});

    connect(m_btnPC, &QPushButton::clicked, this, [this] { ClickSrcPC(); });
    connect(m_btnSIM, &QPushButton::clicked, this, [this] { ClickSrcSIM(); });
    connect(m_btnPhone, &QPushButton::clicked, this, [this] { ClickSrcPhone(); });
    connect(m_list, &CEntryListCtrl::columnClicked, this, [this] {
        m_list->SelectAll();
        UpdateAllSelected();
    });
    connect(m_list, &CEntryListCtrl::rowClicked, this, [this] { UpdateAllSelected(); });
    connect(m_list, &CEntryListCtrl::dragStarted, this, [this] { OnBeginDrag(); });
}

CSrcList::~CSrcList() = default;

void CSrcList::Init(bool oleDrag)
{
    m_bOleDrag = oleDrag;
    if (oleDrag)
        for (QWidget* w : {static_cast<QWidget*>(m_btnPC), static_cast<QWidget*>(m_btnSIM),
                           static_cast<QWidget*>(m_btnPhone), static_cast<QWidget*>(m_list)})
            m_pTarget->Register(w);
}

void CSrcList::SetDropOwner(CDropOwner* owner) { m_pTarget->SetOwner(owner); }

void CSrcList::SetDocument(CZorqMMIDoc* doc)
{
    if (doc)
        m_pDocument = doc;
}

void CSrcList::SetProgressPosition(int x, int y)
{
    if (x == -1 && y == -1)
        m_progress = m_list->mapToGlobal(QPoint(0, 0));
    else
        m_progress = QPoint(x, y);
}

void CSrcList::BindControls(QWidget* pc, QWidget* sim, QWidget* phone, QWidget* fourth, QWidget* list,
                            QWidget* title, QWidget* room)
{
    UiReplaceWidget(pc, m_btnPC);
    UiReplaceWidget(sim, m_btnSIM);
    UiReplaceWidget(phone, m_btnPhone);
    UiReplaceWidget(fourth, m_btnFourth);
    UiReplaceWidget(list, m_list);
    UiReplaceWidget(title, m_static1);
    UiReplaceWidget(room, m_static2);
}

void CSrcList::AddSourceButton(QAbstractButton* button)
{
    if (button) {
        button->setCheckable(true);
        m_group->addButton(button);
    }
}

// ---------------------------------------------------------------- sources

bool CSrcList::ClickSrcPC()
{
    if (!m_btnPC->isChecked() || IsSrcPC())
        return false;
    m_btnFourth->setEnabled(true);
    NotifyOwnerSourceChange();
    SetSourcePC();
    const bool ok = OpenPCDatabase() ? ReadSource() : ShowContextMenu();
    if (!ok)
        RestorePreviousSource();
    return true;
}

bool CSrcList::ClickSrcSIM()
{
    if (!m_btnSIM->isChecked() || IsSrcSIM())
        return false;
    m_btnFourth->setEnabled(true);
    NotifyOwnerSourceChange();
    SetSourceSIM();
    if (!OpenCurrentSource())
        RestorePreviousSource();
    return true;
}

bool CSrcList::ClickSrcPhone()
{
    if (!m_btnPhone->isChecked() || IsSrcPhone())
        return false;
    m_btnFourth->setEnabled(true);
    NotifyOwnerSourceChange();
    SetSourcePhone();
    if (!OpenCurrentSource())
        RestorePreviousSource();
    return true;
}

bool CSrcList::OpenCurrentSource()
{
    if (!SelectStorage())
        return false;
    // A phone storage not read yet is read into its mirror first.
    if (!IsStorageRead()) {
        if (!UploadStorage())
            return false;
        MarkStorageRead();
    }
    return ReadSource();
}

bool CSrcList::ReadSource()
{
    CDaoDatabase* db = nullptr;
    if (OpenSourceDatabase(&db) != 0)
        return false;
    if (!CreateRecordset())
        return false;
    FillList();
    return true;
}

void CSrcList::ChangeSource(bool flag)
{
    if (!m_pDocument)
        return;
    UpdateButtons();
    EnableEntryButton(flag);
    SaveCurrentSource();
    ResetSource();
    ResetPreviousSource();
}

void CSrcList::CheckSrcPC()
{
    m_btnPC->setChecked(true);
    m_btnPC->setFocus();
}

void CSrcList::CheckSrcSIM()
{
    m_btnSIM->setChecked(true);
    m_btnSIM->setFocus();
}

void CSrcList::CheckSrcPhone()
{
    m_btnPhone->setChecked(true);
    m_btnPhone->setFocus();
}

void CSrcList::UncheckAllSrc()
{
    m_group->setExclusive(false);
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
}

void CSrcList::UpdateButtons()
{
    m_btnSIM->setEnabled(IsSIMAvailable());
    m_btnPhone->setEnabled(IsPhoneAvailable());
}

void CSrcList::UpdateAllSelected()
{
    m_bAllSelected = m_list->GetRowCount() > 0 && m_list->GetSelectedCount() == m_list->GetRowCount();
}

bool CSrcList::AddToolTips(QWidget* anyControl) { return anyControl != nullptr; }

void CSrcList::SaveSource(const QString& section, int source)
{
    WriteIniProfileInt(section.toStdString(), "Source", source == 6 ? -1 : source);
}

// ---------------------------------------------------------------- PC database files

bool CSrcList::ShowContextMenu()
{
    CPopupIconMenu menu(m_pOwner);
    if (!menu.LoadMenu(kMenuId) || !menu.GetSubMenu(0))
        return true;
    CIconMenu* sub = menu.GetSubMenu(0);
    const QPoint at = (m_pOwner ? m_pOwner->mapToGlobal(QPoint(0, 0)) : QPoint()) + m_menuOffset;
    QCursor::setPos(at);
    emit menuShown(sub);
    OnMenuCommand(sub->TrackPopup(at, nullptr));
    return true;
}

bool CSrcList::OnMenuCommand(unsigned id)
{
    if (id == ID_PC_NEW_DATABASE)
        return OnNewDatabase();
    if (id == ID_PC_OPEN_DATABASE)
        return OnOpenDatabase();
    return false;
}

bool CSrcList::NewDatabaseFile(QString* outPath, bool apply)
{
    QString path;
    if (UiOpenDatabaseDlg(kNewDbTitle, path, m_pOwner, UiDatabaseFolder()) != IDOK || path.isEmpty())
        return false;
    if (QFile::exists(path)) {
        if (UiMessageBox(UiFormatString(kReplaceString, {path}), kYesNoQuestion) != IDYES)
            return false;
        if (!QFile::remove(path)) {
            UiMessageBox(UiFormatString(kRemoveFailedString, {path}));
            return false;
        }
    }
    if (!CreateDatabase(path))
        return false;
    if (apply)
        SetDatabasePath(path);
    if (outPath)
        *outPath = path;
    return true;
}

bool CSrcList::OpenDatabaseFile(QString* outPath, bool apply)
{
    QString path;
    if (UiChooseDatabaseDlg(kOpenDbTitle, path, m_pOwner, UiDatabaseFolder()) != IDOK || path.isEmpty())
        return false;
    if (!OpenDatabase(path))
        return false;
    if (apply)
        SetDatabasePath(path);
    if (outPath)
        *outPath = path;
    return true;
}

bool CSrcList::OnNewDatabase()
{
    if (!NewDatabaseFile(nullptr, true))
        return false;
    return OpenPCDatabase() ? ReadSource() : false;
}

bool CSrcList::OnOpenDatabase()
{
    if (!OpenDatabaseFile(nullptr, true))
        return false;
    return OpenPCDatabase() ? ReadSource() : false;
}

// ---------------------------------------------------------------- deletion

QString CSrcList::FirstSelectedName()
{
    const QList<int> rows = m_list->GetSelectedRows();
    return rows.isEmpty() ? QString() : m_list->GetRowText(rows.front(), IsLocationShown() ? 1 : 0);
}

void CSrcList::TrashSelection()
{
    const QList<int> rows = m_list->GetSelectedRows();
    if (rows.isEmpty())
        return;
    // Rows are found again by their location before each deletion: names
    // need not be unique, and earlier deletions move the rows.
    const int nameColumn = IsLocationShown() ? 1 : 0;
    QStringList names;
    std::vector<std::int32_t> locations;
    for (int row : rows) {
        names << m_list->GetRowText(row, nameColumn);
        locations.push_back(m_list->GetLocation(row));
    }
    mtr_set_poll_state(0);
    int deleted = 0;
    // The list is painted throughout the run: each entry's row goes as the
    // entry does, and the count with it, so that the user sees the run move.
    auto rowGone = [this, &deleted](int row) {
        m_list->DeleteRow(row);
        ++deleted;
        UpdateTitle(m_list->GetRowCount());
    };
    RunConfirmedDeletion(
        m_pOwner, m_progress, m_nPaneKind, names,
        [&](int i) {
            // Rows ascend, so each deletion moves the later ones up by one; a
            // row with a location is found by it.
            const std::int32_t location = locations[static_cast<size_t>(i)];
            const int row = location >= 0 ? m_list->FindRowByLocation(location) : rows[i] - deleted;
            if (row < 0 || row >= m_list->GetRowCount())
                return DeleteOutcome::Gone;
            // The entry stays when the phone refused it (the SIM busy, say)
            // or the database would not take the deletion.
            const DeleteOutcome outcome = DeleteOneItem(m_list, row);
            // Unanswered, but gone from the phone: gone from the list.
            if (outcome == DeleteOutcome::Deleted || outcome == DeleteOutcome::PhoneSilentGone)
                rowGone(row);
            return outcome;
        },
        SourceDatabaseName());
    mtr_set_poll_state(1);
    UpdateAllSelected();
}

// ---------------------------------------------------------------- drag

Qt::DropAction CSrcList::DoOleDrag(QMimeData* data)
{
    if (!m_pOwner) {
        delete data;
        return Qt::IgnoreAction;
    }
    const QList<int> rows = m_list->GetSelectedRows();
    const QIcon picture = rows.isEmpty() ? QIcon() : m_list->GetRowIcon(rows.first());
    CDropOwner* owner = m_pTarget->Owner();
    if (owner && owner->GetDropSource())
        return owner->GetDropSource()->RunDrag(m_list, data, picture, Qt::CopyAction | Qt::MoveAction,
                                               Qt::CopyAction);
    auto* drag = new QDrag(m_list);
    drag->setMimeData(data);
    drag->setPixmap(MakeDragPicture(picture, false));
    drag->setHotSpot(QPoint(8, 8));
    return drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void CSrcList::OnBeginDrag()
{
    if (m_bOleDrag)
        BeginOleDrag();
}
