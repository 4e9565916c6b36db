#include "docwindows.h"

#include "dlgprogress.h"
#include "profile.h"
#include "mainview.h"
#include "viewframe.h"
#include "zorqapp.h"
#include "zorqmenu.h"

#include "wndmsg.h"

#include <QCoreApplication>
#include <QString>

namespace {

CMainView* ActiveView()
{
    CViewFrame* frame = GetViewFrame();
    return frame ? frame->GetActiveView() : nullptr;
}

QWidget* MainWindow()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->m_pMainWnd : nullptr;
}

}  // namespace

CAppDocWindows::CAppDocWindows() = default;
CAppDocWindows::~CAppDocWindows()
{
    // A box of ours that stood as the document went (the end of the run)
    // holds no later progress window hidden.
    if (m_bSmsBox)
        ProgressNotices::smsBoxShown = false;
    if (m_bReportBox)
        ProgressNotices::reportBoxShown = false;
}

QObject* CAppDocWindows::GetActiveView() { return ActiveView(); }

bool CAppDocWindows::RefreshActiveView()
{
    m_bRefresh = true;
    // The refresh is the loop's idle work, and the loop sleeps until
    // something wakes it: a link loss learnt when polling resumes after an
    // operation (the port hung up under a worker's request) has no tick or
    // port behind it, and would otherwise wait for the next engine timer.
    if (CZorqMMIApp* app = CZorqMMIApp::Instance())
        app->WakeLoop();
    return true;
}

bool CAppDocWindows::TakeRefresh()
{
    bool r = m_bRefresh;
    m_bRefresh = false;
    return r;
}

void CAppDocWindows::OpenStatusDlg(const std::string& name)
{
    m_pStatus.reset();
    m_pStatus = std::make_unique<CDlgConnectionStatus>(QString::fromStdString(name), MainWindow());
    m_pStatus->Create();
}

void CAppDocWindows::ShowStatusDlg(int step)
{
    if (!m_pStatus)
        return;
    switch (step) {
    case 1: m_pStatus->ShowStatus1(); break;
    case 2: m_pStatus->ShowStatus2(); break;
    case 3: m_pStatus->ShowStatus3(); break;
    case 4: m_pStatus->ShowStatus4(); break;
    case 5: m_pStatus->ShowStatus5(); break;
    default: break;
    }
}

void CAppDocWindows::CloseStatusDlg()
{
    if (m_pStatus)
        m_pStatus->Close();
    m_pStatus.reset();
}

void CAppDocWindows::StartProgress(int titleId, int range, int x, int y)
{
    m_pProgress = std::make_unique<CDlgProgressText>(MainWindow(), 179);
    m_pProgress->SetPosition(x, y);
    m_pProgress->Start(titleId, range, 0);
}

void CAppDocWindows::SetProgressPos(int pos)
{
    if (m_pProgress) {
        m_pProgress->SetPos(pos);
        return;
    }
    // The detection's steps show on the screen's own progress window.
    if (CMainView* view = ActiveView())
        view->SetProgressPos(pos);
}

void CAppDocWindows::EndProgress(bool success)
{
    if (!m_pProgress)
        return;
    m_pProgress->Finish(success);
    m_pProgress.reset();
}

bool CAppDocWindows::IsProgressRunning() { return ProgressNotices::running; }

bool CAppDocWindows::NoticesWait()
{
    // The arrival reaches the screen through the main window, posted twice
    // (the frame posts it on to its screen): a box shown meanwhile would
    // stand before the reading's window comes up over it. Both are
    // delivered now, in their order; a screen busy with an operation keeps
    // what it cannot read yet, and the box waits for that too.
    const QEvent::Type posted = CWndMsgEvent::EventType();
    if (QWidget* main = MainWindow())
        QCoreApplication::sendPostedEvents(main, posted);
    CMainView* view = ActiveView();
    if (view)
        QCoreApplication::sendPostedEvents(view, posted);
    view = ActiveView();
    return ProgressNotices::running || (view && view->ArrivalsWaiting());
}

void CAppDocWindows::NoticeBoxShown(int stringId, bool shown)
{
    const bool report = stringId == ProgressNotices::kReportString;
    (report ? ProgressNotices::reportBoxShown : ProgressNotices::smsBoxShown) = shown;
    (report ? m_bReportBox : m_bSmsBox) = shown;
    if (!shown)
        ProgressNotices::ShowWaitingWindows();
}

void CAppDocWindows::ActivateMainWindow()
{
    if (QWidget* main = MainWindow()) {
        if (main->isMinimized())
            main->showNormal();
        main->raise();
        main->activateWindow();
    }
}

void CAppDocWindows::ShowSMSMT()
{
    CMainView* view = ActiveView();
    if (!view)
        return;
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const QString title = app ? app->LoadString(CZorqMenu::TitleStringOf(SCREEN_SHORTMSG)) : QString();
    // The received folder (source 0) of the message screen, its remembered
    // source choice reset.
    WriteIniProfileInt("SMSMT", "Source", -1);
    view->SwitchToScreen(SCREEN_SHORTMSG, 0, title);
}
