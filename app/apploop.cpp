#include "apploop.h"

#include "debugtrace.h"
#include "dialog.h"
#include "dlgprogress.h"
#include "docwindows.h"
#include "splashwnd.h"
#include "zorqmmidoc.h"
#include "mtr_setup.h"
#include "singleinstance.h"
#include "inputgate.h"
#include "strutil.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"
#include "serial.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <thread>

std::atomic<int> CAppLoop::workerRequests{0};
std::atomic<bool> CAppLoop::engineOnWorker{false};

namespace {

// What the engine needs from the program around it.
class AppEngineHost : public EngineHost {
public:
    AppEngineHost(CZorqMMIApp* app, CAppLoop* loop) : app_(app), loop_(loop), uiThread_(std::this_thread::get_id()) {}

    bool DispatchOneMessage() override
    {
        // A worker running a request has no window messages of its own:
        // the user-interface thread pumps them meanwhile.
        if (!OnUiThread())
            return false;
        QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
        if (!d)
            return false;
        return d->processEvents(QEventLoop::AllEvents);
    }
    int MessageBox(const std::string& text, int buttons) override
    {
        return OnUi([=, this] {
            return app_->DoMessageBox(QString::fromStdString(text), static_cast<unsigned>(buttons), 0);
        });
    }
    int MessageBoxById(int id, int buttons) override
    {
        return OnUi([=, this] { return app_->ShowMessageBox(id, static_cast<unsigned>(buttons), 0); });
    }
    int MessageBoxByIdWithNumber(int id, int number, int buttons) override
    {
        return OnUi([=, this] {
            return app_->DoMessageBox(app_->FormatString(id, {QString::number(number)}),
                                      static_cast<unsigned>(buttons), 0);
        });
    }
    int AskSecurityCode(int pinState) override { return app_->AskSecurityCode(pinState); }
    void Trace(const std::string& line) override { WriteDebug(line); }
    void PortClosing(int fd) override
    {
        // A worker's request runs with the notifier off; the loop drops it
        // at its next wake.
        if (OnUiThread())
            loop_->ForgetSerial(fd);
    }
    void PortOpened(int) override
    {
        // The loop sleeps until a timer, the port or a wake: a port opened
        // by a detection outside it (the refresh button) would otherwise
        // go unwatched, with the reading that follows the link, until some
        // engine timer happened to be due. The wake is queued, so it never
        // runs inside the detection.
        app_->WakeLoop();
    }
    std::string ProgramFolder() override { return app_->GetAppDir(); }
    std::string FilesFolder() override { return app_->GetFilesDir(); }

private:
    bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }
    // Windows live on the user-interface thread: a box asked for by a
    // worker's request is shown there (that thread pumps while it waits)
    // and the worker waits for the answer.
    template <typename F>
    int OnUi(F show)
    {
        if (OnUiThread())
            return show();
        QCoreApplication* qapp = QCoreApplication::instance();
        if (!qapp)
            return IDCANCEL;
        int answer = IDCANCEL;
        QMetaObject::invokeMethod(qapp, [&] { answer = show(); }, Qt::BlockingQueuedConnection);
        return answer;
    }

    CZorqMMIApp* app_;
    CAppLoop* loop_;
    std::thread::id uiThread_;
};

bool IsUserInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

}  // namespace

CAppLoop::CAppLoop(CZorqMMIApp* app)
    : app_(app),
      host_(std::make_unique<AppEngineHost>(app, this)),
      gate_(std::make_unique<CInputGate>(CInputGate::Hooks{
          [] { return CZorqMMIApp::RequestWaiting(); },
          [] { return CAppLoop::engineOnWorker.load(); },
          [this] { return !started_ || app_->IsShuttingDown() || app_->m_bShutDownPending; },
          [](const QWidget* w) { return CDlgProgress::DisablesOwnerOf(w); },
      }))
{
}

CAppLoop::~CAppLoop()
{
    Stop();
    if (engine_host() == host_.get())
        engine_set_host(nullptr);
}

void CAppLoop::Start()
{
    if (started_)
        return;
    started_ = true;
    if (int fd = krn_tick_fd(); fd >= 0) {
        tick_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(tick_, &QSocketNotifier::activated, this, [this] { Step(); });
    }
    WatchSerial();
    again_ = new QTimer(this);
    again_->setSingleShot(true);
    connect(again_, &QTimer::timeout, this, [this] { Step(); });
    if (QCoreApplication* qapp = QCoreApplication::instance())
        qapp->installEventFilter(this);
    // Input that a progress window's pause keeps from the other live
    // windows is held by the gate like input during a request, and given
    // after the pause.
    SetPauseInputKept(true);
    // The first idle step comes once the loop runs.
    QTimer::singleShot(0, this, [this] { Step(); });
}

void CAppLoop::Stop()
{
    if (!started_)
        return;
    started_ = false;
    delete tick_;
    tick_ = nullptr;
    delete serial_;
    serial_ = nullptr;
    serialFd_ = -1;
    delete again_;
    again_ = nullptr;
    idleOwed_ = false;
    gate_->Clear();
    SetPauseInputKept(false);
    if (QCoreApplication* qapp = QCoreApplication::instance())
        qapp->removeEventFilter(this);
}

void CAppLoop::ForgetSerial(int fd)
{
    if (fd != serialFd_ || !serial_)
        return;
    // Off at once (the notifier leaves the dispatcher's poll set), deleted
    // later: this may run inside the notifier's own signal.
    serial_->setEnabled(false);
    serial_->deleteLater();
    serial_ = nullptr;
    serialFd_ = -1;
}

void CAppLoop::WatchSerial()
{
    int fd = serial_fd();
    if (fd == serialFd_) {
        // A port that stays readable (bytes left while the pools are low, a
        // hung-up line) is looked at again only at the next tick.
        if (serial_ && !serial_->isEnabled())
            serial_->setEnabled(true);
        return;
    }
    delete serial_;
    serial_ = nullptr;
    serialFd_ = fd;
    if (fd < 0)
        return;
    serial_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(serial_, &QSocketNotifier::activated, this, [this] {
        if (serial_)
            serial_->setEnabled(false);
        Step();
    });
}

void CAppLoop::Step()
{
    if (!started_ || app_->IsShuttingDown())
        return;
    RearmTickTimer();
    if (CAppLoop::engineOnWorker.load()) {
        // The worker's request reads the port itself; the notifier stays
        // off until the worker is done. Idle work waits for that end: the
        // loop looks again a tick later, or with no engine timer running
        // (polling off) nothing would wake it and a background reading cut
        // off by a send would stay where it stopped.
        if (serial_)
            serial_->setEnabled(false);
        idleOwed_ = true;
        StepAgain(10);
        return;
    }
    if (app_->m_bShutDownPending && !CZorqMMIApp::OperationUnderWay()) {
        // A quit confirmed inside a request's wait or a pause: that request
        // or pause has returned, and no other was started after it.
        app_->ShutDownNow();
        return;
    }
    Read_Serial_Line();
    // Work owed and input held during the last request go before the next
    // idle step, whose reading would hold them again.
    if (gate_->HasWork() && !CZorqMMIApp::RequestWaiting()) {
        // A dialog that the input opens runs its own loop inside this wake:
        // that loop's wakes must not wait for this one to end.
        StepAgain(10);
        gate_->Deliver();
    }
    if (!started_)
        return;
    uint64_t in = 0, out0 = 0, out1 = 0;
    serial_byte_counts(&in, &out0);
    if (gate_->JustDelivered()) {
        // What input just delivered did (the answer to a question, which
        // ends that dialog's loop, a quit) is finished once the loop has
        // taken it back: no request starts in the same turn of the loop.
        idleOwed_ = true;
    } else if (app_->IdleAllowed()) {
        idleOwed_ = false;
        app_->OnIdle(app_->m_nIdleCount);
        ++app_->m_nIdleCount;
    } else {
        idleOwed_ = true;
    }
    if (!started_)
        return;
    WatchSerial();
    // The loop sleeps between wakes, so idle work that is not finished
    // (the background reading goes one location per call) asks for the
    // next wake itself. A call that talked to the phone goes straight on;
    // one that did not (a reading held back, a request still waiting)
    // waits a tick rather than spin.
    serial_byte_counts(&in, &out1);
    if (idleOwed_)
        StepAgain(10);
    else if (app_->IdleWorkPending())
        StepAgain(out1 != out0 ? 0 : 10);
}

void CAppLoop::StepAgain(int ms)
{
    if (again_ && !again_->isActive())
        again_->start(ms);
}

bool CAppLoop::eventFilter(QObject* watched, QEvent* event)
{
    // A key or a click while the splash stands only takes the splash away.
    if (app_->m_pSplashWnd && IsUserInput(event->type()) && CSplashWnd::FilterSplashInput(event))
        return true;
    if (gate_->Filter(watched, event))
        return true;
    return QObject::eventFilter(watched, event);
}

void CAppLoop::Owe(QObject* receiver, std::function<void()> work) { gate_->Owe(receiver, std::move(work)); }

// ---- The application's side ---------------------------------------------------------

bool CZorqMMIApp::RequestWaiting()
{
    return mtr_request_running() || CAppLoop::workerRequests.load() > 0;
}

bool CZorqMMIApp::OperationUnderWay() { return RequestWaiting() || InMessagePause(); }

void CZorqMMIApp::EnterWorkerRequest() { ++CAppLoop::workerRequests; }
void CZorqMMIApp::LeaveWorkerRequest() { --CAppLoop::workerRequests; }
void CZorqMMIApp::SetEngineOnWorker(bool on) { CAppLoop::engineOnWorker.store(on); }
bool CZorqMMIApp::IsEngineOnWorker() { return CAppLoop::engineOnWorker.load(); }

bool CZorqMMIApp::IdleWorkPending() const
{
    if (m_bShutDown || m_bShutDownPending)
        return false;
    if (!m_bFirstIdleDone || !krn_mbx_empty(KRN_TASK_MAIN))
        return true;
    return (m_pDocWindows && m_pDocWindows->RefreshPending()) || (m_pDoc && m_pDoc->IdleWorkPending());
}

bool CAppLoop::HoldsInput() const { return gate_ && gate_->HoldsInput(); }

bool CZorqMMIApp::InputHeld() const { return m_pLoop && m_pLoop->HoldsInput(); }

bool CZorqMMIApp::IdleAllowed() const
{
    // A pause of an operation on this thread (a progress window's) runs the
    // event loop: the operation is not over, so no idle work starts in it.
    return !m_bInIdle && !m_bShutDown && !m_bShutDownPending && krn_running_task() == KRN_TASK_MAIN &&
           !RequestWaiting() && !InMessagePause();
}

bool CZorqMMIApp::OnIdle(long count)
{
    (void)count;
    RearmTickTimer();
    if (krn_running_task() != KRN_TASK_MAIN || m_bInIdle)
        return true;
    m_bInIdle = true;
    if (!m_bFirstIdleDone) {
        m_bFirstIdleDone = true;
        int found = FirstDetection();
        if (!m_bShutDown) {
            if (IsSmallScreen())
                ShowTaskbar();
            // Shown whether or not a splash was up: without one the window
            // would otherwise never appear.
            ShowMainWindow();
            PostMessage(m_pMainWnd, WM_MMI_START_UP, 0, 0);
        }
        if (found == 0) {
            WriteDebug("CZorqMMIApp::OnIdle -> the first detection failed, the program ends");
            m_bInIdle = false;
            // The start-up message is handled before the loop ends.
            QTimer::singleShot(0, [this] { ShutDown(); });
            return true;
        }
    }
    if (!m_bShutDown) {
        IdleDocumentWork();
        Read_Serial_Line();
        if (!krn_mbx_empty(KRN_TASK_MAIN) && !mtr_request_running())
            mtr_idle();
    }
    m_bInIdle = false;
    return true;
}

void CZorqMMIApp::WakeLoop()
{
    // Queued, so that it may come from a worker's request and never runs
    // inside the call that asked; dropped with the loop.
    if (CAppLoop* loop = m_pLoop.get())
        QMetaObject::invokeMethod(loop, [loop] { loop->Step(); }, Qt::QueuedConnection);
}

bool CZorqMMIApp::OweUntilFree(QObject* receiver, std::function<void()> work)
{
    CAppLoop* loop = m_pLoop.get();
    if (!loop || m_bShutDown)
        return false;
    loop->Owe(receiver, std::move(work));
    return true;
}

int CZorqMMIApp::Run()
{
    int code = 0;
    if (!m_bShutDown && QCoreApplication::instance()) {
        m_bLooping = true;
        code = QCoreApplication::exec();
        m_bLooping = false;
    }
    // The loop has returned: windows and the document go first, the
    // language bundle last (the windows' ends may still read strings).
    // Nothing waits below the outermost loop; the shut-down happens now.
    ShutDownNow();
    DestroyMainWindow();
    m_pLoop.reset();
    m_pInstance.reset();
    FreeResourceLibrary();
    return code;
}

void CZorqMMIApp::ShutDown()
{
    if (m_bShutDown)
        return;
    if (OperationUnderWay() && m_pLoop) {
        // Called from a loop nested in a request's wait (a close, a timer):
        // stopping the engine here would run its last commands inside that
        // request and both would wait for answers the other takes. Called
        // from a pause between two requests of one operation (its progress
        // window being painted, its close pause), the operation would go on
        // against a closed port and tell its next request as failed. The
        // shut-down follows once the operation has returned (a signal
        // cancels it first, as its Cancel does); meanwhile no idle work
        // starts (a background reading stops at its next entry) and no held
        // input is delivered, so that no request follows it.
        if (!m_bShutDownPending) {
            m_bShutDownPending = true;
            WriteDebug("CZorqMMIApp::ShutDown -> the program ends once the operation under way has returned");
        }
        // The loop looks at its next wake; this one wakes it after the
        // request at the latest, whatever else is due.
        QTimer::singleShot(10, m_pLoop.get(), [this] { ShutDown(); });
        return;
    }
    ShutDownNow();
}

void CZorqMMIApp::ShutDownNow()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    WriteDebug("CZorqMMIApp::ShutDown -> closing");
    CloseDocument();
    if (m_pLoop)
        m_pLoop->Stop();
    if (m_bEngineStarted) {
        // The engine stops while the tick still runs (its last commands wait
        // on it), then the tick.
        mtr_stop();
        krn_stop_timer();
        m_bEngineStarted = false;
    }
    ExitInstance();
    StopSimulator();
    // The loop is told to end. A start that a signal ended has not run it:
    // told then, every loop of a later start in the same process, each
    // box's included, would end at once.
    if (QCoreApplication::instance() && (m_bLooping || !m_bQuitAsked))
        QCoreApplication::exit(0);
}

int CZorqMMIApp::ExitInstance()
{
    Close_Serial();
    // The port is closed: whatever runs after (a later start in the same
    // process) must not take the link for open.
    gv_SPIO_com_status = SPIO_no_com_available;
    if (IsSmallScreen())
        RestoreTaskbarTopmost();
    FlushDebugRepeats();
    return 1;
}
