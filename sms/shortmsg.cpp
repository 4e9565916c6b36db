// The message screen: construction, window messages, folder and source
// buttons, and the receive path (a new-message notice read into the store's
// database, the engine's read and list confirms).
#include "shortmsg.h"

#include "confirm.h"
#include "debugtrace.h"
#include "dragdrop.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "handbutton.h"
#include "jetdatabase.h"
#include "message.h"
#include "at_charset.h"
#include "at_defs.h"
#include "at_sms.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "profile.h"
#include "smsdatabase.h"
#include "smsquery.h"
#include "srclist.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"
#include "viewframe.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QComboBox>
#include <QDrag>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <ctime>

namespace {

constexpr int kDone = -35;
constexpr int kNotSupported = -36;

// Replaces the template's placeholder by a widget of our own class at the
// same place and under the same control name.
template <class T>
T* ReplaceControl(QWidget* owner, int id)
{
    QWidget* old = owner->findChild<QWidget*>(QStringLiteral("id%1").arg(id));
    auto* w = new T(owner);
    if (old) {
        w->setGeometry(old->geometry());
        if (auto* oldButton = qobject_cast<QPushButton*>(old))
            if (auto* button = qobject_cast<QPushButton*>(w))
                button->setText(oldButton->text());
        old->setObjectName(QString());
        old->hide();
        old->deleteLater();
    }
    w->setObjectName(QStringLiteral("id%1").arg(id));
    w->show();
    return w;
}

double NowDays()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return MakeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

double StampDays(const MTR_DATETIME& t)
{
    return t.IsZero() ? 0.0 : MakeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

CShortMsg* g_pScreen = nullptr;

}  // namespace

CShortMsg* GetShortMsgScreen() { return g_pScreen; }

CShortMsg::CShortMsg(QWidget* parent) : CMainView(kTemplateId, parent)
{
    m_nViewKind = VIEW_SHORTMSG;
    m_bClosing = 0;
    LoadIcons();
    BindControls();
    g_pScreen = this;
    gv_pShortMsg = this;
}

CShortMsg::~CShortMsg()
{
    CloseReadRecordset();
    m_pListRecordset.reset();
    if (gv_pShortMsg == this)
        gv_pShortMsg = nullptr;
    if (g_pScreen == this)
        g_pScreen = nullptr;
}

void CShortMsg::LoadIcons()
{
    // Unread, read, unsent, sent: the row images of the list.
    for (int id : {257, 141, 259, 258})
        m_listImages.append(LoadAppIcon(id));
}

void CShortMsg::BindControls()
{
    auto label = [this](int id) { return qobject_cast<QLabel*>(GetDlgItem(id)); };
    auto button = [this](int id) { return qobject_cast<QPushButton*>(GetDlgItem(id)); };
    m_edit1102 = qobject_cast<QLineEdit*>(GetDlgItem(IDC_ADDRESSES));
    m_static1129 = label(IDC_ADDRS_LABEL);
    m_static1098 = label(IDC_REPORT_LABEL);
    m_static1096 = label(IDC_REPLYPATH_LABEL);
    m_checkRecv = label(IDC_CHECK_RECV);
    m_checkSent = label(IDC_CHECK_SENT);
    m_bSrcSIM = button(IDC_SRC_SIM);
    m_bSrcPC = ReplaceControl<CSrcButton>(this, IDC_SRC_PC);
    m_static1140 = label(IDC_NUMBER);
    m_static1141 = label(IDC_NAME);
    m_static1127 = label(IDC_ADDR_LABEL);
    m_static1128 = label(IDC_DATE_LABEL);
    m_static1063 = label(IDC_DATE);
    m_static1061 = label(IDC_COUNT);
    m_edit1065 = qobject_cast<QPlainTextEdit*>(GetDlgItem(IDC_TEXT));
    m_bDelete = button(IDC_DELETE);
    m_bPrint = button(IDC_PRINT);
    m_bDst = button(IDC_DST);
    m_bHelp = button(IDC_HELP);
    m_bReadNew = button(IDC_READNEW);
    m_list = ReplaceControl<CEntryListCtrl>(this, IDC_LIST);
    m_bOpen = button(IDC_OPEN);
    m_bCompose = button(IDC_COMPOSE);
    m_bFind = button(IDC_FIND);
    m_comboSort = qobject_cast<QComboBox*>(GetDlgItem(IDC_SORT));
    m_bRecv = button(IDC_RECV);
    m_bSent = button(IDC_SENT);
    mc_s_title = label(IDC_TITLE);

    for (QPushButton* b : {m_bSrcSIM, static_cast<QPushButton*>(m_bSrcPC), m_bRecv, m_bSent})
        if (b)
            b->setCheckable(true);
    // The base view reports the plain buttons; the four check buttons are ours.
    for (int id : {IDC_SRC_PC, IDC_SRC_SIM, IDC_RECV, IDC_SENT})
        if (QPushButton* b = button(id))
            connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    if (m_comboSort)
        connect(m_comboSort, qOverload<int>(&QComboBox::activated), this, [this](int) {
            if (!IsBusy())
                OnSelChangeComboSort();
        });
    if (m_list) {
        m_list->SetImageList(m_listImages);
        connect(m_list, &CEntryListCtrl::rowClicked, this, [this](int) { OnListClick(); });
        connect(m_list, &CEntryListCtrl::columnClicked, this, [this](int) { OnColumnClick(); });
        connect(m_list, &CEntryListCtrl::dragStarted, this, [this] { OnListBeginDrag(); });
    }
}

void CShortMsg::SetTabOrder()
{
    // The pane only shows the selected message: its fields are read, not
    // worked in, so Tab passes them by (the mouse still selects their text).
    for (QWidget* w : std::initializer_list<QWidget*>{m_edit1102, m_edit1065})
        if (w)
            w->setFocusPolicy(Qt::NoFocus);
    // Tab follows the screen as it reads: the window's picture, the folders
    // and sources, the sort order and the list, the message's commands left
    // to right, help, then refresh and back. Without it the order would be
    // the one the controls were made in (the replaced ones last).
    QList<QWidget*> chain{findChild<QWidget*>(QStringLiteral("headerPicture")), m_bRecv, m_bSent, m_bSrcPC,
                          m_bSrcSIM, m_comboSort, m_list};
    chain << m_bCompose << m_bOpen << m_bReadNew << m_bDelete << m_bFind << m_bPrint << m_bDst << m_bHelp;
    chain << RefreshButton() << QuitButton();
    chain.removeAll(nullptr);
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

QString CShortMsg::PaneText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        return p->toPlainText();
    return QString();
}

bool CShortMsg::IsPaneShown(int id) const
{
    QWidget* w = GetDlgItem(id);
    return w && !w->isHidden();
}

// ---- First update ------------------------------------------------------------------------------

void CShortMsg::OnInitialUpdate()
{
    CMainView::OnInitialUpdate();
    m_fontTitle = mc_s_title ? mc_s_title->font() : QFont();
    m_fontTitle.setPixelSize(24);
    m_fontTitle.setWeight(QFont::Bold);
    if (mc_s_title) {
        mc_s_title->setFont(m_fontTitle);
        // Dark blue title.
        mc_s_title->setStyleSheet(QStringLiteral("color: #000080;"));
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_comboSort, m_bFind, m_bDst, m_bPrint, m_bDelete, m_bCompose,
                                                      m_bOpen})
        if (w)
            w->setEnabled(false);
    const struct { QPushButton* button; int icon; } icons[] = {
        {m_bSent, 180}, {m_bRecv, 179}, {m_bSrcPC, 207}, {m_bSrcSIM, 208}, {m_bFind, 164}, {m_bCompose, 185},
        {m_bOpen, 186}, {m_bReadNew, 210}, {m_bHelp, 235}, {m_bDst, 298}, {m_bPrint, 209}, {m_bDelete, 211}};
    for (const auto& i : icons)
        if (i.button) {
            const QIcon icon = LoadAppIcon(i.icon);
            if (!icon.isNull()) {
                i.button->setIcon(icon);
                i.button->setIconSize(QSize(24, 24));
            }
        }
    m_bDragging = 0;
    for (QLabel* l : {m_checkRecv, m_checkSent, m_static1098, m_static1096})
        if (l)
            l->hide();
    const QIcon check = LoadAppIconByName(QStringLiteral("IDI_ZCHECK"));
    if (!check.isNull())
        for (QLabel* l : {m_checkRecv, m_checkSent})
            if (l)
                l->setPixmap(check.pixmap(16, 16));
    const struct { QWidget* w; int tip; } tips[] = {
        {m_bRecv, 31262},   {m_bSent, 31263},    {m_comboSort, 31264}, {m_bSrcPC, 31265},  {m_bSrcSIM, 31266},
        {m_bFind, 31267},   {m_bCompose, 31271}, {m_list, 31272},      {m_bReadNew, 31273}, {m_bHelp, 31240},
        {m_bDst, 31844},    {m_bPrint, 31277},   {m_bDelete, 31278}};
    for (const auto& t : tips)
        if (t.w)
            t.w->setToolTip(UiLoadString(t.tip));
    m_pDropTarget = new CEntryDropTarget(this);
    m_pDropTarget->SetOwner(this);
    for (QWidget* w : std::initializer_list<QWidget*>{m_bSrcPC, m_bSrcSIM, m_bDst, m_bPrint, m_bDelete, m_bOpen,
                                                      m_bCompose})
        if (w) {
            m_pDropTarget->Register(w);
            GetDropSource()->AddDropPlace(w);
        }
    SetTabOrder();
    OnFrameMove();
    PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
    WriteDebugInt("SMS : Unread message type = ", 0);
    WriteDebugInt("SMS : Read message type = ", 1);
    WriteDebugInt("SMS : Unsent message type = ", 2);
    WriteDebugInt("SMS : Sent message type = ", 3);
}

void CShortMsg::OnDeferredInit()
{
    update();
    CZorqMMIDoc* doc = GetDocument();
    if (doc && gv_SPIO_com_status == 2)
        doc->SetupSMS();
    if (m_bSrcSIM)
        m_bSrcSIM->setEnabled(doc && doc->IsSMSStorageAvailable(SMS_SRC_SIM));
    OpenFolder(m_nFolder);
}

void CShortMsg::OpenFolder(int folder)
{
    int source;
    if (folder == 1) {
        if (m_bSent) {
            m_bSent->setChecked(true);
            m_bSent->setFocus();
        }
        if (m_bRecv)
            m_bRecv->setChecked(false);
        SmsSentInit();
        source = GetSourceSetting("SMSMO");
    } else {
        if (m_bRecv) {
            m_bRecv->setChecked(true);
            m_bRecv->setFocus();
        }
        if (m_bSent)
            m_bSent->setChecked(false);
        SmsReceivedInit();
        source = GetSourceSetting("SMSMT");
    }
    if (source == SMS_SRC_SIM && m_bSrcSIM && !m_bSrcSIM->isEnabled())
        source = SMS_SRC_PC;
    ShowSourceButtons(source);
    if (source == SMS_SRC_SIM)
        OnBSrcSIM();
    else
        OnBSrcPC();
}

void CShortMsg::ShowSourceButtons(int storage)
{
    if (!m_bSrcPC || !m_bSrcSIM)
        return;
    switch (storage) {
    case SMS_SRC_PC:
        m_bSrcPC->setChecked(true);
        m_bSrcPC->setFocus();
        m_bSrcSIM->setChecked(false);
        break;
    case SMS_SRC_SIM:
        m_bSrcSIM->setChecked(true);
        m_bSrcSIM->setFocus();
        m_bSrcPC->setChecked(false);
        break;
    case SMS_NOSELECT:
        m_bSrcPC->setChecked(false);
        m_bSrcSIM->setChecked(false);
        break;
    default:
        break;
    }
}

void CShortMsg::ChangeSource(int storage)
{
    if (storage == SMS_NOSELECT)
        return;
    ShowSourceButtons(storage);
    m_nPrevSrcStorage = m_nSrcStorage;
    m_nSrcStorage = storage;
}

void CShortMsg::SaveListSettings()
{
    const int sort = m_comboSort ? m_comboSort->currentIndex() : -1;
    if (m_nFolder == 0 || m_nFolder == 1) {
        const char* section = m_nFolder == 0 ? "SMSMT" : "SMSMO";
        SaveComboSort(section, sort);
        // No source chosen yet (a reload under way): the remembered one stays.
        if (m_nSrcStorage != SMS_NOSELECT)
            WriteIniProfileInt(section, "Source", m_nSrcStorage);
    } else {
        for (const char* section : {"SMSMO", "SMSMT"}) {
            SaveComboSort(section, -1);
            WriteIniProfileInt(section, "Source", -1);
        }
    }
}

void CShortMsg::OnDestroy()
{
    SaveListSettings();
    CMainView::OnDestroy();
    CloseReadRecordset();
    m_pListRecordset.reset();
    CloseDocumentDatabases();
}

void CShortMsg::OnUpdateMSParam(int flag)
{
    if (IsBusy()) {
        // A parameter change in the middle of an operation would reload the
        // list under it: it waits for the operation's end.
        m_bParamDeferred = true;
        m_nParamFlag = flag;
        ReplayDeferred();
        return;
    }
    CMainView::OnUpdateMSParam(flag);
    if (m_list && m_list->GetSelectedCount() > 0)
        UpdateButtons();
    CZorqMMIDoc* doc = GetDocument();
    if (m_bSrcSIM)
        m_bSrcSIM->setEnabled(doc && doc->IsSMSStorageAvailable(SMS_SRC_SIM));
    SaveListSettings();
    m_nSrcStorage = SMS_NOSELECT;
    m_nPrevSrcStorage = SMS_NOSELECT;
    PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0);
}

void CShortMsg::OnFrameMove()
{
    if (m_list) {
        const QPoint p = m_list->mapToGlobal(QPoint(0, 0));
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            (void)app;
        m_progressPos = p;
    }
}

void CShortMsg::UpdateSortComboState(CDaoDatabase* db)
{
    if (m_nFolder != 1 || !m_comboSort || m_comboSort->currentIndex() <= 1 || !db)
        return;
    try {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
        m_comboSort->setEnabled(!rs.IsEOF());
        rs.Close();
    } catch (const CDaoException&) {
    }
}

CJetDatabase* CShortMsg::SourceDatabase()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || m_nSrcStorage == SMS_NOSELECT)
        return nullptr;
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, m_nSrcStorage, std::string()) != 0 || !db || !db->IsOpen())
        return nullptr;
    return db;
}

void CShortMsg::RefreshFolderList(int folder, int storage)
{
    if (folder != m_nFolder || storage != m_nSrcStorage)
        return;
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return;
    DisableButtons();
    FillList(db, true);
    if (m_comboSort && m_comboSort->currentIndex() == 1)
        EnsureLastRowVisible();
}

// ---- Window messages and commands --------------------------------------------------------------

std::intptr_t CShortMsg::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_LIST_FOCUS_SELECTION:
        OnSelectionChanged();
        return 0;
    case WM_LIST_DELETE_KEY:
        if (!IsBusy())
            OnBDelete();
        return 0;
    case WM_REFRESH_FOLDER:
        RefreshFolderList(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_MMI_MS_PARAM_CHANGED:
        OnUpdateMSParam(static_cast<int>(wParam));
        return 0;
    case WM_MMI_DEFERRED_INIT:
            if (IsBusy()) {
            QTimer::singleShot(50, this, [this] { PostMessage(this, WM_MMI_DEFERRED_INIT, 0, 0); });
            return 0;
        }
        OnDeferredInit();
        return 0;
    case WM_SRC_CONTEXT:
        if (reinterpret_cast<QWidget*>(lParam) == m_bSrcPC && !IsBusy()) {
            ChangeSource(SMS_SRC_PC);
            m_nMenuStorage = SMS_SRC_PC;
        }
        return 0;
    case 0x0204:  // WM_RBUTTONDOWN posted by the list on a right click
        if (wParam == static_cast<std::uintptr_t>(-1) && lParam == -1 && !IsBusy())
            ShowContextMenu();
        return 0;
    case WM_SRC_MENU_CLOSED:
        if (m_nMenuStorage == SMS_SRC_PC)
            ChangeSource(m_nPrevSrcStorage);
        return 0;
    default:
        return CMainView::DefWindowProc(message, wParam, lParam);
    }
}

void CShortMsg::OnCommand(int id)
{
    // One operation at a time: a click that reaches the screen while one
    // runs (a request waiting, a copy between two requests) starts nothing.
    if (IsBusy())
        return;
    switch (id) {
    case IDC_COMPOSE:
    case ID_COMPOSE:
        OnBCompose();
        break;
    case IDC_OPEN:
    case ID_OPEN:
    case ID_OPEN2:
        OnBOpen();
        break;
    case IDC_READNEW:
        OnBReadNew();
        break;
    case IDC_HELP:
        OnHelp();
        NotifyControlChanged(m_list);
        break;
    case ID_NEW_PC_DB:
    case ID_OTHER_PC_DB: {
        const int menu = m_nMenuStorage;
        m_nMenuStorage = SMS_NOSELECT;
        if (menu == SMS_SRC_PC)
            id == ID_NEW_PC_DB ? OnNewPCSource() : OnOtherPCSource();
        else if (menu == SMS_DST_PC)
            id == ID_NEW_PC_DB ? OnCopyToNewPCDatabase() : OnCopyToOtherPCDatabase();
        break;
    }
    case IDC_RECV:
        OnBRecv();
        break;
    case IDC_SENT:
        OnBSent();
        break;
    case IDC_SRC_PC:
        OnBSrcPC();
        break;
    case IDC_SRC_SIM:
        OnBSrcSIM();
        break;
    case IDC_DST:
        OnBDst();
        break;
    case IDC_DELETE:
    case ID_DELETE:
        OnBDelete();
        break;
    case ID_COPY_PC:
        OnCopyToPC();
        break;
    case ID_COPY_SIM:
        OnCopyToSIM();
        break;
    case ID_COPY_NEW_PC:
        OnCopyToNewPCDatabase();
        break;
    case ID_COPY_OTHER_PC:
        OnCopyToOtherPCDatabase();
        break;
    case IDC_FIND:
        OnBFind();
        break;
    case IDC_PRINT:
    case ID_PRINT:
        OnBPrint();
        break;
    default:
        break;
    }
}

void CShortMsg::ShowContextMenu()
{
    if (!m_list || m_list->GetSelectedCount() < 1)
        return;
    // Reply and forward (or send again) only for one message; the copy
    // submenu offers the stores the rows are not in.
    const bool received = m_nFolder == 0;
    UpdateMenuIcons(received ? 156 : 155, received ? 3 : 2, m_list->GetSelectedCount() > 1 ? 1 : 0, 0,
                    m_nSrcStorage != SMS_SRC_PC ? 1 : 0, m_nSrcStorage != SMS_SRC_SIM ? 1 : 0, 0, 0);
}

void CShortMsg::OnMessageIconClick()
{
    if (IsBusy())
        return;
    // A click on the unread-messages indicator shows the SIM's received folder.
    if (m_nFolder == 1) {
        if (m_nSrcStorage != SMS_SRC_SIM) {
            ShowSourceButtons(SMS_SRC_SIM);
            m_nSrcStorage = SMS_SRC_SIM;
        }
        if (m_bRecv) {
            m_bRecv->setChecked(true);
            m_bRecv->setFocus();
        }
        if (m_bSent)
            m_bSent->setChecked(false);
        OnBRecv();
    } else if (m_nSrcStorage != SMS_SRC_SIM && m_bSrcSIM && m_bSrcSIM->isEnabled()) {
        ShowSourceButtons(SMS_SRC_SIM);
        OnBSrcSIM();
    }
}

// ---- Drag of rows onto the command buttons ---------------------------------------------------

void CShortMsg::OnListBeginDrag()
{
    if (!m_list || IsBusy())
        return;
    OnListClick();
    if (m_list->GetSelectedCount() == 0)
        return;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowsMimeType), QByteArray::number(m_list->GetSelectedCount()));
    m_bDragging = 1;
    m_bDragAllowed = 0;
    GetDropSource()->RunDrag(m_list, data, m_list->GetRowIcon(m_list->GetSelectedRows().first()), Qt::CopyAction,
                             Qt::CopyAction);
    m_bDragging = 0;
}

Qt::DropAction CShortMsg::CanDropData(QWidget* target, const QMimeData* data)
{
    if (!target || !data || !data->hasFormat(QString::fromLatin1(kRowsMimeType)) || !target->isEnabled())
        return Qt::IgnoreAction;
    for (QWidget* w : std::initializer_list<QWidget*>{m_bSrcPC, m_bSrcSIM, m_bDst, m_bPrint, m_bDelete, m_bOpen,
                                                      m_bCompose})
        if (w && w == target) {
            m_bDragAllowed = 1;
            return Qt::CopyAction;
        }
    m_bDragAllowed = 0;
    return Qt::IgnoreAction;
}

bool CShortMsg::OnDropData(QWidget* target, const QMimeData* data)
{
    if (CanDropData(target, data) == Qt::IgnoreAction || IsBusy())
        return false;
    m_bDragAllowed = 0;
    if (target == m_bSrcPC)
        OnCopyToPC();
    else if (target == m_bSrcSIM)
        OnCopyToSIM();
    else if (target == m_bDst)
        OnBDst();
    else if (target == m_bDelete)
        OnBDelete();
    else if (target == m_bPrint)
        OnBPrint();
    else if (target == m_bOpen)
        OnBOpen();
    else if (target == m_bCompose)
        OnBCompose();
    return true;
}

// ---- Busy rule ---------------------------------------------------------------------------------

CShortMsg::BusyScope::BusyScope(CShortMsg* view) : m_pView(view), m_nPollState(0)
{
    if (m_pView)
        m_pView->EnterBusy();
}

CShortMsg::BusyScope::~BusyScope()
{
    if (m_pView)
        m_pView->LeaveBusy();
}

bool CShortMsg::IsBusy() const
{
    return m_nBusyDepth > 0 || CZorqMMIApp::RequestWaiting();
}

void CShortMsg::EnterBusy()
{
    if (m_nBusyDepth++ == 0) {
        m_nSavedPoll = gv_bCallMtrPoll ? 1 : 0;
        mtr_set_poll_state(0);
    }
}

void CShortMsg::LeaveBusy()
{
    if (m_nBusyDepth <= 0 || --m_nBusyDepth > 0)
        return;
    // Polling goes back to what it was before the operation: an operation
    // started while a caller had it off must not switch it on.
    mtr_set_poll_state(m_nSavedPoll);
    ReplayDeferred();
}

void CShortMsg::ReplayDeferred()
{
    if (m_deferred.empty() && !m_bParamDeferred)
        return;
    QTimer::singleShot(IsBusy() ? 50 : 0, this, [this] {
        if (IsBusy()) {
            ReplayDeferred();
            return;
        }
        if (m_bParamDeferred) {
            m_bParamDeferred = false;
            OnUpdateMSParam(m_nParamFlag);
        }
        while (!m_deferred.empty() && !IsBusy()) {
            const auto [storage, index] = m_deferred.front();
            m_deferred.pop_front();
            OnNewMsgReceived(storage, index);
        }
        if (!m_deferred.empty())
            ReplayDeferred();
    });
}

// ---- Receive path ------------------------------------------------------------------------------

void CShortMsg::OnNewMsgReceived(int storage, uint8_t index)
{
    if (IsBusy()) {
        // Reading now would start a request inside the one that waits (or
        // inside an operation between its requests): read it afterwards.
        m_deferred.emplace_back(storage, index);
        ReplayDeferred();
        return;
    }
    CZorqMMIDoc* doc = GetDocument();
    BusyScope busy(this);
    if (!doc || storage == SMS_NOSELECT || m_nFolder != 0 || storage != m_nSrcStorage || !doc->IsSIMSMSRead(storage))
        return;
    if (!OpenReadRecordset(storage))
        return;
    doc->SelectConcatList(storage);
    if (storage == SMS_SRC_SIM)
        StartProgress(31338, 3);
    WriteDebugInt("CShortMsg::OnNewMsgReceived -> Select the SMS storage for reading ", storage);
    const MTR_RESULT selected = mtr_SMS_select_storage(storage, SMS_DST_SIM);
    MTR_RESULT read = 0;
    if (selected == kDone) {
        SetProgressPos(2);
        WriteDebugInt("CShortMsg::OnNewMsgReceived -> Read the message of the current selected storage with index = ",
                      index);
        m_nReadCount = 0;
        read = mtr_SMS_read(index, 0);
    }
    CloseReadRecordset();
    doc->ClearConcatListSelection();
    if (selected == kDone) {
        if (read == kDone) {
            doc->DecNewMsgCount(1);
            doc->SaveConcatListInDB(storage);
            RefreshFolderList(0, storage);
        } else {
            WriteDebugInt("CShortMsg::OnNewMsgReceived -> The message could not be read", read);
        }
    }
    if (IsProgressShown()) {
        SetProgressPos(3);
        PauseProgress(kClosePause * 10);
        CloseProgress();
        update();
    }
    if (selected != kDone) {
        WriteDebug("CShortMsg::OnNewMsgReceived -> The storage could not be selected");
        if (storage == SMS_SRC_SIM && mtr_failed_unanswered(selected))
            UiMessageBoxId(31885);
        else if (storage == SMS_SRC_SIM && mtr_GEN_translate_error(selected) == kNotSupported)
            UiMessageBox(UiFormatString(31364, {QString::number(selected)}));
    }
}

void CShortMsg::OnStatusReportReceived()
{
    if (m_nFolder == 0 && m_nSrcStorage == SMS_SRC_PC)
        RefreshFolderList(0, 0);
}

bool CShortMsg::OpenReadRecordset(int storage)
{
    m_pReadDatabase = nullptr;
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || doc->OpenSMSDatabase(&m_pReadDatabase, storage, std::string()) != 0 || !m_pReadDatabase)
        return false;
    try {
        m_pReadRecordset = std::make_unique<CEntrySMSRecordset>(m_pReadDatabase);
        if (!m_pReadRecordset->IsOpen())
            m_pReadRecordset->Open(dbOpenTable);
        m_pReadRecordset->SetCurrentIndex("indLoc");
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::OpenReadRecordset -> ", e.what());
        m_pReadRecordset.reset();
        return false;
    }
    return true;
}

void CShortMsg::CloseReadRecordset()
{
    if (!m_pReadRecordset)
        return;
    try {
        if (m_pReadRecordset->IsOpen())
            m_pReadRecordset->Close();
    } catch (const CDaoException&) {
    }
    m_pReadRecordset.reset();
}

void CShortMsg::mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                                const char* number, const MTR_DATETIME& stamp, const char* sca)
{
    HandleReadConfirm("CShortMsg::mmi_SM_read_cnf -> ", index, settings, text, text_len, number, stamp, sca);
}

void CShortMsg::mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                                const char* number, const MTR_DATETIME& stamp, const char* sca)
{
    HandleReadConfirm("CShortMsg::mmi_SM_list_cnf -> ", index, settings, text, text_len, number, stamp, sca);
}

void CShortMsg::HandleReadConfirm(const char* who, uint8_t index, const SMS_SETTINGS* settings, const char* text,
                                  size_t text_len, const char* number, const MTR_DATETIME& stamp, const char* sca)
{
    if (!settings)
        return;
    SMS_PARAMETERS p;
    mtr_SMS_cnf_to_param(&p, settings);
    // The coding the text is kept and sent again in: the alphabet the coding
    // octet names (a class or a compression group still names one of the
    // three). UCS2 user data becomes PC characters like every other text.
    const int alphabet = at_dcs_alphabet(settings->dcs);
    if (p.coding < 0 || p.coding > 2)
        p.coding = alphabet;
    std::string strText = text ? std::string(text, text_len) : std::string();
    if (alphabet == 2)
        strText = at_ucs2_to_win(strText);
    const std::string strNumber = number ? number : "";
    const std::string strSca = sca ? sca : "";
    const std::string prefix = who;
    WriteDebug(prefix + "Save concatenated message in list");
    WriteDebugInt(prefix + "Index = ", index);
    WriteDebug(prefix + "Text = ", strText);
    WriteDebug(prefix + "Phone number = ", strNumber);
    WriteDebug(prefix + "Date and time = ", FormatDateTimeText(StampDays(stamp), 0));
    WriteDebug(prefix + "Service Centre Address = ", strSca);
    WriteDebugInt(prefix + "Message Status = ", p.status);
    WriteDebugInt(prefix + "Message Type = ", p.concat);
    WriteDebugInt(prefix + "Message Reference = ", p.reference);
    WriteDebugInt(prefix + "Format = ", p.format);
    WriteDebugInt(prefix + "Validity Period = ", p.validity);
    WriteDebugInt(prefix + "Data Coding Scheme = ", p.coding);
    WriteDebugInt(prefix + "Reply Path = ", p.reply_path);
    WriteDebugInt(prefix + "Status Report Indication = ", p.report_indication);
    WriteDebugInt(prefix + "Status Report Request = ", p.report_request);
    WriteDebugInt(prefix + "Maximum number of blocks = ", p.concat_total);
    WriteDebugInt(prefix + "Sequence number = ", p.concat_seq);
    CZorqMMIDoc* doc = GetDocument();
    if (p.concat && doc)
        doc->MakeMessageFromRecord(index, &p, strText, strNumber, stamp, strSca);
    else
        SaveShortMsgInDatabase(index, &p, strText, strNumber, stamp, strSca);
    ++m_nReadCount;
    SetProgressPos(m_nReadCount);
}

void CShortMsg::SaveShortMsgInDatabase(int32_t index, const SMS_PARAMETERS* p, const std::string& text,
                                       const std::string& number, const MTR_DATETIME& stamp, const std::string& sca)
{
    if (!m_pReadRecordset || !p)
        return;
    if (p->status < 0 || p->status > 3) {
        WriteDebug("CShortMsg::SaveShortMsgInDatabase -> Invalid Status");
        return;
    }
    try {
        CEntrySMSRecordset& rs = *m_pReadRecordset;
        if (!rs.IsOpen()) {
            WriteDebug("CShortMsg::SaveShortMsgInDatabase -> Recordset was not open");
            rs.Open(dbOpenTable);
            rs.SetCurrentIndex("indLoc");
        }
        rs.SeekLocation(index);
        rs.Location = index;
        rs.msgType = static_cast<int16_t>(p->status);
        rs.MsgType2 = static_cast<int16_t>(p->concat);
        rs.MsgRef = p->reference;
        rs.SetAddresses("", number);
        rs.Text = text;
        rs.ReplyPath = static_cast<int16_t>(p->reply_path);
        rs.Format = static_cast<int16_t>(p->format);
        rs.ServiceCentre = sca;
        rs.Validity = static_cast<int16_t>(p->validity);
        rs.Coding = static_cast<int16_t>(p->coding >= 0 && p->coding <= 2 ? p->coding : 0);
        if (p->status <= 1) {
            rs.StatusReport = static_cast<int16_t>(p->report_indication);
            rs.Date = StampDays(stamp);
        } else {
            rs.StatusReport = static_cast<int16_t>(p->report_request);
            rs.Date = NowDays();
        }
        rs.Update();
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::SaveShortMsgInDatabase -> ", e.what());
    }
}

// ---- Registration ------------------------------------------------------------------------------

void RegisterShortMsgScreen()
{
    RegisterScreen(SCREEN_SHORTMSG, [](QWidget* parent, int folder) -> CMainView* {
        auto* view = new CShortMsg(parent);
        view->SetSource(folder == 1 ? 1 : 0);
        return view;
    });
}

// ---- Questions (tests replace them) ------------------------------------------------------------

int CShortMsg::AskMirror()
{
    CDlgDstMirrorDatabase dlg(this, this);
    dlg.SetOwnerKind(2);
    return dlg.DoModal() == 1 ? 1 : 0;
}

int CShortMsg::AskDelete(const QString& name, bool allowAll)
{
    CDlgConfirm dlg(this);
    dlg.SetItemName(name);
    dlg.SetKind(2);
    if (!allowAll)
        dlg.DisableAllButton();
    return dlg.DoModal();
}
