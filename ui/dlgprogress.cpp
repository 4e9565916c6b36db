#include "dlgprogress.h"

#include "mtr_gen.h"
#include "strutil.h"
#include "uiservices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace {
constexpr int kBarId = 1075;
constexpr int kTextId = 1109;
constexpr int kStatusId = 1119;
constexpr unsigned kMbOk = 0;
constexpr int kMtrDone = -35;

// The progress windows that stand with their owner disabled, and that owner.
struct OwnerDisabled {
    const CDlgProgress* dlg;
    QPointer<QWidget> owner;
};
std::vector<OwnerDisabled>& OwnerDisablers()
{
    static std::vector<OwnerDisabled> all;
    return all;
}

void Forget(const CDlgProgress* dlg)
{
    auto& all = OwnerDisablers();
    all.erase(std::remove_if(all.begin(), all.end(), [dlg](const OwnerDisabled& o) { return o.dlg == dlg; }),
              all.end());
}
}  // namespace

// ---- Held-back notices ------------------------------------------------------------

bool ProgressNotices::running = false;
bool ProgressNotices::smsPending = false;
bool ProgressNotices::reportPending = false;
bool ProgressNotices::smsBoxShown = false;
bool ProgressNotices::reportBoxShown = false;

namespace {
std::vector<QPointer<CDlgProgress>>& Standing()
{
    static std::vector<QPointer<CDlgProgress>> windows;
    return windows;
}
}  // namespace

void ProgressNotices::Stand(CDlgProgress* dlg)
{
    auto& windows = Standing();
    if (std::find(windows.begin(), windows.end(), dlg) == windows.end())
        windows.emplace_back(dlg);
    running = true;
}

void ProgressNotices::Leave(CDlgProgress* dlg)
{
    auto& windows = Standing();
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [dlg](const QPointer<CDlgProgress>& w) { return !w || w == dlg; }),
                  windows.end());
    running = !windows.empty();
}

void ProgressNotices::ShowWaitingWindows()
{
    if (NoticeBoxStands())
        return;
    // Copied: showing a window runs the loop until it has painted.
    const std::vector<QPointer<CDlgProgress>> windows = Standing();
    for (const QPointer<CDlgProgress>& w : windows)
        if (w)
            w->ShowIfWaiting();
}

void ProgressNotices::ShowHeldBack()
{
    if (running)
        return;
    if (smsPending && !smsBoxShown) {
        smsBoxShown = true;
        smsPending = false;
        UiMessageBoxId(kNewMessageString, kMbOk);
        smsBoxShown = false;
        ShowWaitingWindows();
    }
    if (reportPending && !reportBoxShown) {
        reportBoxShown = true;
        reportPending = false;
        UiMessageBoxId(kReportString, kMbOk);
        reportBoxShown = false;
        ShowWaitingWindows();
    }
}

void ProgressNotices::PostHeldBack()
{
    if (!smsPending && !reportPending)
        return;
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { ShowHeldBack(); });
}

// ---- CDlgProgress --------------------------------------------------------------------

CDlgProgress::CDlgProgress(QWidget* owner, int templateId)
    // No parent: a window of its own, so that disabling the owner leaves it live.
    : CDialog(templateId, nullptr), m_pOwner(owner)
{
    setModal(false);
}

CDlgProgress::~CDlgProgress()
{
    if (m_bWindow)
        OnDestroyWindow();
    Forget(this);
}

bool CDlgProgress::DisablesOwnerOf(const QWidget* w)
{
    // Up through the parents, across window boundaries: a dialog whose
    // parent is the owner (the message editor over the message screen) is
    // greyed with it, as a widget inside the owner is.
    for (const OwnerDisabled& o : OwnerDisablers()) {
        const QWidget* owner = o.owner.data();
        if (!owner)
            continue;
        for (const QWidget* p = w; p; p = p->parentWidget())
            if (p == owner)
                return true;
    }
    return false;
}

void CDlgProgress::SetPosition(int x, int y)
{
    m_x = x & 0xFFFF;
    m_y = y & 0xFFFF;
    m_bCentred = false;
}

bool CDlgProgress::Create()
{
    if (m_bWindow)
        return false;
    if (!CreateFromTemplate())
        return false;
    m_bWindow = true;
    OnInitDialog();
    // The work that follows runs in this thread and dispatches nothing
    // until its first wait: the window is laid out, shown, and then waited
    // for until the window system has exposed it and it has painted its
    // text (no user input meanwhile, no idle work), or it would stand as
    // an empty frame over what was under it.
    QCoreApplication::sendPostedEvents(this, QEvent::LayoutRequest);
    for (QWidget* child : findChildren<QWidget*>())
        QCoreApplication::sendPostedEvents(child, QEvent::LayoutRequest);
    SetTransientParent();
    m_bWaitingHidden = ProgressNotices::NoticeBoxStands();
    if (!m_bWaitingHidden)
        ShowNow();
    return true;
}

void CDlgProgress::ShowNow()
{
    show();
    raise();
    WaitUntilPainted(this);
    m_shown.start();
}

void CDlgProgress::ShowIfWaiting()
{
    if (!m_bWaitingHidden)
        return;
    m_bWaitingHidden = false;
    if (m_bWindow && !m_bCancelled)
        ShowNow();
}

void CDlgProgress::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kBarId, m_pBar);
}

bool CDlgProgress::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_pBar) {
        m_pBar->setRange(0, m_nRange);
        m_pBar->setValue(m_nPos);
    }
    if (!m_strTitle.isEmpty())
        setWindowTitle(m_strTitle);
    if (m_bCentred) {
        // Over the owner's window: the owner is usually a screen, a child
        // whose own geometry is not on the desktop.
        QWidget* owner = m_pOwner ? m_pOwner->window() : nullptr;
        adjustSize();
        if (owner && owner->isVisible())
            move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
        else
            CenterWindow();
    } else {
        move(m_x, m_y);
    }
    ProgressNotices::Stand(this);
    // Disabling the owner takes the focus from it: it is given back where
    // it was when the owner is enabled again.
    m_focus.Record(m_pOwner);
    if (m_pOwner && m_pOwner->isEnabled()) {
        m_pOwner->setEnabled(false);
        m_bOwnerDisabled = true;
        Forget(this);
        OwnerDisablers().push_back(OwnerDisabled{this, QPointer<QWidget>(m_pOwner)});
    }
    return true;
}

void CDlgProgress::SetRange(int n)
{
    m_nRange = n & 0xFFFF;
    if (m_pBar)
        m_pBar->setRange(0, m_nRange);
}

void CDlgProgress::SetPos(int n)
{
    m_nPos = n & 0xFFFF;
    if (m_pBar)
        m_pBar->setValue(m_nPos);
}

void CDlgProgress::Start(int titleStringId, int range, int position)
{
    SetTitleText(UiLoadString(titleStringId));
    Create();
    SetRange(range < 2 ? 2 : range);
    SetPos(position);
}

void CDlgProgress::Finish(bool success)
{
    if (success) {
        if (m_nRange == 1)
            m_nRange = 2;
        SetRange(m_nRange);
        SetPos(m_nRange);
        if (m_bWindow) {
            repaint();
            Pause(RemainingPause(ClosePauseMs));
        }
    }
    Close();
}

void CDlgProgress::Pause(int ms) const
{
    PumpMessagesFor(ms, false, isVisible() ? this : nullptr);
}

int CDlgProgress::RemainingPause(int pauseMs) const
{
    return PauseLeft(pauseMs, m_shown.isValid() ? m_shown.elapsed() : 0);
}

int CDlgProgress::PauseLeft(int pauseMs, qint64 stood)
{
    if (pauseMs <= 0)
        return 0;
    return static_cast<int>(std::max<qint64>(pauseMs / 5, pauseMs - stood));
}

void CDlgProgress::Close()
{
    if (!m_bWindow)
        return;
    hide();
    OnDestroyWindow();
}

void CDlgProgress::OnCancel()
{
    if (m_bCancelled)
        return;
    m_bCancelled = true;
    // The operation sees the flag at its next item and ends the window;
    // meanwhile the button shows that the request was taken.
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(2)))
        b->setEnabled(false);
}

int CDlgProgress::CancelStanding()
{
    // Only the flag and the button, as for the user's Cancel: a window's own
    // Cancel that does more (the call status hangs up) is not run.
    const std::vector<QPointer<CDlgProgress>> windows = Standing();
    int cancelled = 0;
    for (const QPointer<CDlgProgress>& w : windows)
        if (w && !w->m_bCancelled) {
            w->CDlgProgress::OnCancel();
            ++cancelled;
        }
    return cancelled;
}

void CDlgProgress::SetTransientParent()
{
    // A window without a parent widget, so that disabling the owner leaves
    // it live; for the window system it belongs to the owner's top-level
    // window all the same, which keeps it above that window.
    QWidget* top = m_pOwner ? m_pOwner->window() : nullptr;
    if (!top || top == this)
        return;
    top->winId();
    winId();
    if (QWindow* mine = windowHandle())
        mine->setTransientParent(top->windowHandle());
}

void CDlgProgress::EnableOwner()
{
    Forget(this);
    if (!m_pOwner)
        return;
    if (!m_pOwner->isEnabled())
        m_pOwner->setEnabled(true);
    m_bOwnerDisabled = false;
    if (m_pOwner->isVisible() && !m_pOwner->isActiveWindow())
        m_pOwner->activateWindow();
    // Activating the owner raises it: a window still shown goes back above it.
    if (m_bWindow && isVisible())
        raise();
    if (m_focus.Widget() && m_focus.Widget()->window() != window())
        m_focus.Restore();
    m_focus.Clear();
}

void CDlgProgress::OnDestroyWindow()
{
    m_bWindow = false;
    m_bWaitingHidden = false;
    ProgressNotices::Leave(this);
    EnableOwner();
    if (!isVisible())
        RepaintUnder();
    // The held-back boxes must not run inside this window's end (it may be
    // a destructor): they are shown once the current event is handled.
    ProgressNotices::PostHeldBack();
}

void CDlgProgress::RepaintUnder()
{
    // Until the owner's window paints there again the window system may
    // still show this window's picture: the new-message box held back for
    // this window's end stood over "Sending the message" for more than half
    // a second. The paint is done now, before anything that follows.
    QWidget* top = m_pOwner ? m_pOwner->window() : nullptr;
    if (!top || top == this || !top->isVisible() || top->isMinimized())
        return;
    const QRect area = frameGeometry();
    const QRect under = QRect(top->mapFromGlobal(area.topLeft()), area.size()) & top->rect();
    if (!under.isEmpty())
        top->repaint(under);
}

// ---- CDlgProgressText ------------------------------------------------------------------

void CDlgProgressText::DoDataExchange(CDataExchange* pDX)
{
    CDlgProgress::DoDataExchange(pDX);
    if (!GetDlgItem(kTextId))
        return;
    if (pDX->m_bSaveAndValidate && m_strText.isEmpty())
        return;  // the line shows the title, not a text of its own
    DDX_Text(pDX, kTextId, m_strText);
    // Until the work gives a text of its own, the line says what runs: a
    // desktop may not show the window's title at all.
    if (!pDX->m_bSaveAndValidate && m_strText.isEmpty())
        SetDlgItemText(kTextId, TitleText());
}

void CDlgProgressText::SetText(const QString& text)
{
    m_strText = text;
    SetDlgItemText(kTextId, text);
}

void CDlgProgressText::ShowText(int stringId, const QString& text)
{
    SetText(UiFormatString(stringId, {text}));
}

// ---- CDlgConnectionStatus -------------------------------------------------------------

CDlgConnectionStatus::CDlgConnectionStatus(const QString& name, QWidget* owner)
    : CDlgProgress(owner, 306), m_strName(name)
{
}

void CDlgConnectionStatus::DoDataExchange(CDataExchange* pDX)
{
    CDlgProgress::DoDataExchange(pDX);
    DDX_Text(pDX, kStatusId, m_strStatus);
}

bool CDlgConnectionStatus::OnInitDialog()
{
    CDlgProgress::OnInitDialog();
    m_strStatus = UiFormatString(31765, {m_strName});
    UpdateData(false);
    return true;
}

void CDlgConnectionStatus::ShowStatus(int stringId, bool withName)
{
    EnableOwner();
    m_strStatus = withName ? UiFormatString(stringId, {m_strName}) : UiLoadString(stringId);
    UpdateData(false);
}

void CDlgConnectionStatus::OnCancel()
{
    if (mtr_GEN_hang_up() != kMtrDone)
        UiMessageBoxId(31764, kMbOk);
    // The call's end comes as a status report, which ends this window; until
    // then it steps aside and gives the owner back.
    hide();
    EnableOwner();
}
