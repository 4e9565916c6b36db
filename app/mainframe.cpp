#include "mainframe.h"

#include "mainview.h"

#include "debugtrace.h"
#include "dialog.h"
#include "helpfile.h"
#include "strutil.h"
#include "utilities.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QKeySequence>
#include <QLayout>
#include <QShortcut>
#include <QWindow>

namespace {
constexpr std::intptr_t kLButtonDblClk = 0x203;
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QLatin1String(kClassName));
    // Fixed size, no maximise box, no menu bar.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    SetFrameTitle(QString());
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &CMainFrame::OnHelp);
    if (CZorqMMIApp* app = CZorqMMIApp::Instance())
        app->SetMainFrame(this);
    SetViewFrame(this);
}

CMainFrame::~CMainFrame()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    // Whatever path destroyed the window, the program must not go on
    // without one: the engine stops and the loop ends.
    if (app && !app->IsShuttingDown())
        app->ShutDown();
    if (app && app->GetMainFrame() == this)
        app->SetMainFrame(nullptr);
    if (GetViewFrame() == this)
        SetViewFrame(nullptr);
    // The screen goes with the window, before the rest of it.
    if (CMainView* view = m_pActiveView.data()) {
        takeCentralWidget();
        delete view;
    }
}

CMainView* CMainFrame::GetActiveView() const { return m_pActiveView.data(); }

void CMainFrame::SetActiveView(CMainView* view)
{
    if (m_pActiveView == view)
        return;
    if (m_pActiveView && centralWidget() == m_pActiveView)
        takeCentralWidget();  // the old screen stays alive until the switch deletes it
    m_pActiveView = view;
    if (view) {
        setCentralWidget(view);
        view->show();
        FitToView();
    }
}

void CMainFrame::SetFrameTitle(const QString& title)
{
    m_strTitle = title;
    if (m_strTitle.isEmpty()) {
        m_strTitle = QString::fromUtf8(kProductName);
        if (IsDebugMode())
            m_strTitle += QLatin1String(" (Debug Mode)");
    }
    UpdateTitle();
}

void CMainFrame::UpdateTitle()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    setWindowTitle(app ? app->MarkSimulated(m_strTitle) : m_strTitle);
}

void CMainFrame::CenterFrame(const QSize& viewSize)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize frame = viewSize + (frameGeometry().size() - geometry().size());
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void CMainFrame::FitToView()
{
    if (!m_pActiveView)
        return;
    QSize size = m_pActiveView->sizeHint();
    if (!size.isValid() || size.isEmpty())
        size = m_pActiveView->size();
    m_pActiveView->setFixedSize(size);
    if (layout())
        layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    setFixedSize(sizeHint());
}

bool CMainFrame::ActiveViewIsMenu() const
{
    return !m_pActiveView || m_pActiveView->inherits("CZorqMenu");
}

std::intptr_t CMainFrame::DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (message == WM_MMI_START_UP || message == WM_MMI_APP_ENDED ||
        (message >= WM_MMI_SIM_BUSY && message <= WM_MMI_REPORT_RECEIVED)) {
        // Posted, never sent: the screen handles it after this returns. With
        // no screen the message is dropped.
        if (m_pActiveView)
            PostMessage(m_pActiveView, message, wParam, lParam);
        return 1;
    }
    if (message == WM_MMI_TRAY_NOTIFY) {
        if (lParam != kLButtonDblClk)
            return 0;
        if (isMinimized() || !isVisible())
            showNormal();
        raise();
        activateWindow();
        if (m_pActiveView)
            PostMessage(m_pActiveView, message, wParam, lParam);
        return 1;
    }
    return 0;
}

bool CMainFrame::event(QEvent* e)
{
    if (e->type() == CWndMsgEvent::EventType()) {
        auto* m = static_cast<CWndMsgEvent*>(e);
        m->result = DefWindowProc(m->message(), m->wParam(), m->lParam());
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::EnableCloseCommands(bool enable)
{
    m_bCloseEnabled = enable;
    ShowCloseButton(enable);
}

void CMainFrame::ShowCloseButton(bool show)
{
    // Changed on the window-system window only: QWidget::setWindowFlags
    // would take the window off the screen and map it anew. The window
    // manager reads the new hints of the mapped window; one that does not
    // leaves the button, and a refused close beeps (closeEvent).
    winId();
    QWindow* handle = windowHandle();
    if (!handle)
        return;
    Qt::WindowFlags flags = handle->flags();
    if (!flags.testFlag(Qt::CustomizeWindowHint))
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
    flags.setFlag(Qt::WindowCloseButtonHint, show);
    if (flags != handle->flags())
        handle->setFlags(flags);
}

void CMainFrame::closeEvent(QCloseEvent* e)
{
    // The window goes only through the shut-down path, which destroys it
    // once the loop has returned.
    e->ignore();
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (!app || app->IsShuttingDown())
        return;
    if (!ActiveViewIsMenu() || !m_bCloseEnabled) {
        // Closing is greyed here; a close that still comes is refused aloud.
        QApplication::beep();
        return;
    }
    if (app->ShowMessageBox(kQuitQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    WriteDebug("CMainFrame::OnClose -> the user closes the program");
    hide();
    app->ShutDown();
}

void CMainFrame::moveEvent(QMoveEvent* e)
{
    QMainWindow::moveEvent(e);
    if (m_pActiveView)
        m_pActiveView->OnFrameMove();
    emit frameMoved();
}

void CMainFrame::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && IsSmallScreen()) {
        if (isMinimized())
            RestoreTaskbarTopmost();
        else
            MakeTaskbarNotTopmost();
    }
}

void CMainFrame::OnHelp()
{
    // F1 asks for the section of the screen shown.
    if (m_pActiveView)
        m_pActiveView->OnHelp();
    else
        OpenHelp(HelpContextOfView(VIEW_DEFAULT));
}
