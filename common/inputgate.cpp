#include "inputgate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <vector>

// ---- Pauses of an operation ------------------------------------------------------

namespace {

int g_pauseDepth = 0;

// The windows that take input during the pauses now running, innermost
// last, and whether the program's gate keeps the input aimed elsewhere for
// after them.
std::vector<QPointer<const QWidget>> g_pauseInputTo;
bool g_pauseInputKept = false;

}  // namespace

// Where no program gate runs (a dialog on its own): while a pause runs with
// an input window, presses aimed at any other window are dropped (that
// window counts as disabled meanwhile); releases pass, so that nothing
// stays pressed.
class PauseScope::Filter : public QObject {
public:
    explicit Filter(const QWidget* allowed) : allowed_(allowed) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
            break;
        default:
            return false;
        }
        const QWidget* allowed = allowed_ ? allowed_->window() : nullptr;
        if (auto* w = qobject_cast<QWidget*>(watched))
            return w->window() != allowed;
        if (auto* win = qobject_cast<QWindow*>(watched))
            return !allowed || win != allowed->windowHandle();
        return false;
    }

private:
    QPointer<const QWidget> allowed_;
};

PauseScope::PauseScope(bool userInput, const QWidget* inputTo)
{
    ++g_pauseDepth;
    if (userInput || !inputTo)
        return;
    inputTo_ = true;
    g_pauseInputTo.emplace_back(inputTo);
    if (!g_pauseInputKept && QCoreApplication::instance()) {
        filter_ = std::make_unique<Filter>(inputTo);
        QCoreApplication::instance()->installEventFilter(filter_.get());
    }
}

PauseScope::~PauseScope()
{
    filter_.reset();
    if (inputTo_)
        g_pauseInputTo.pop_back();
    --g_pauseDepth;
}

bool InMessagePause() { return g_pauseDepth > 0; }

void SetPauseInputKept(bool kept) { g_pauseInputKept = kept; }

bool PauseKeepsInputFrom(const QWidget* w)
{
    if (!w)
        return false;
    const QWidget* window = w->window();
    for (const QPointer<const QWidget>& to : g_pauseInputTo)
        if (to && to->window() != window)
            return true;
    return false;
}

// ---- The gate --------------------------------------------------------------------

namespace {

// The property a window gets when it is shown: whether a request waited then.
const char* const kShownInRequest = "zorqShownInRequest";

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
    case QEvent::ContextMenu:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool InProgressWindow(const QWidget* w) { return w->window()->inherits("CDlgProgress"); }

}  // namespace

CInputGate::CInputGate(Hooks hooks) : hooks_(std::move(hooks)) {}

CInputGate::~CInputGate() = default;

bool CInputGate::Filter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        // A window put up while a request waits (its progress, a message
        // box, the code prompt) belongs to that request and takes input.
        if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow())
            w->setProperty(kShownInRequest, RequestWaiting());
        return false;
    }
    // A shortcut's override only asks whether a key is a shortcut; the key
    // itself comes through here.
    if (!IsUserInput(event->type()) || event == delivering_)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w)
        return false;
    // The rule: a window disabled when its input comes takes nothing, be
    // it greyed by a progress window, in a pause or during a request. Only
    // the release of a press held while the window was live goes behind
    // that press. (With no operation under way the toolkit's own handling
    // of a disabled control stands.)
    if (!w->isEnabled()) {
        if (!OperationUnderWay(w))
            return false;
        if (ReleasesHeldPress(watched, event))
            Hold(watched, event);
        return true;
    }
    // A live window: during a pause of an operation, input for any window
    // but the pause's progress window waits for the pause's end; during a
    // request, and once some input is held or a screen's load is owed,
    // input for the windows that stood before waits behind them (a button
    // must not get its release before its press, a click must not open a
    // dialog that the owed load would then run in).
    if (KeptByPause(watched) || ((RequestWaiting() || !held_.empty() || OwedWorkRunnable()) && HoldsInputFor(watched))) {
        // A drop carries data that is gone once the drag has ended: it is
        // refused. Anything else waits for the operation's end.
        if (event->type() != QEvent::Drop)
            Hold(watched, event);
        return true;
    }
    return false;
}

bool CInputGate::ReleasesHeldPress(QObject* watched, const QEvent* event) const
{
    if (event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::KeyRelease)
        return false;
    const QWidget* window = static_cast<QWidget*>(watched)->window();
    return std::any_of(held_.begin(), held_.end(), [window](const HeldInput& in) {
        auto* w = qobject_cast<QWidget*>(in.target.data());
        return w && w->window() == window;
    });
}

bool CInputGate::HoldsInputFor(QObject* watched) const
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w)
        return false;
    // Progress windows stay live: their Cancel is how a long request is
    // stopped.
    return !w->window()->property(kShownInRequest).toBool() && !InProgressWindow(w);
}

bool CInputGate::KeptByPause(QObject* watched)
{
    auto* w = qobject_cast<QWidget*>(watched);
    return w && PauseKeepsInputFrom(w) && !InProgressWindow(w);
}

void CInputGate::Hold(QObject* watched, QEvent* event)
{
    held_.push_back(HeldInput{QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
    RetrySoon();
}

void CInputGate::RetrySoon()
{
    if (!retry_) {
        retry_ = new QTimer(this);
        retry_->setSingleShot(true);
        connect(retry_, &QTimer::timeout, this, [this] { Deliver(); });
    }
    if (!retry_->isActive())
        retry_->start(10);
}

void CInputGate::Owe(QObject* receiver, std::function<void()> work)
{
    owed_.push_back(OwedWork{QPointer<QObject>(receiver), std::move(work)});
    RetrySoon();
}

void CInputGate::Clear()
{
    held_.clear();
    owed_.clear();
    if (retry_)
        retry_->stop();
}

bool CInputGate::OwedWorkRunnable() const
{
    // Not inside a request, a pause of an operation, nor a dialog's own
    // loop: a dialog the user opened meanwhile is not disabled by a load
    // that was asked for before it.
    return !owed_.empty() && !RequestWaiting() && !(hooks_.engineOnWorker && hooks_.engineOnWorker()) &&
           !InMessagePause() && !QApplication::activeModalWidget();
}

bool CInputGate::RunOwedWork()
{
    bool ran = false;
    // Only what was owed when this began: work that owes itself again (a
    // dialog came up inside it) waits for the next round.
    for (size_t n = owed_.size(); n > 0 && OwedWorkRunnable(); --n) {
        OwedWork w = std::move(owed_.front());
        owed_.pop_front();
        if (w.receiver && w.work) {
            ran = true;
            w.work();
        }
        if (Stopping())
            return ran;
    }
    return ran;
}

bool CInputGate::OperationUnderWay(const QWidget* w) const
{
    return !held_.empty() || DisabledForNow(w);
}

bool CInputGate::DisabledForNow(const QWidget* w) const
{
    // Inside an operation (a request, a pause of it, a load still owed) or
    // under a standing progress window that disabled it, a window is
    // disabled for the time of that operation. Anything else disabled is
    // greyed for good: its input could never be taken.
    return RequestWaiting() || InMessagePause() || !owed_.empty() ||
           (hooks_.greyedForOperation && hooks_.greyedForOperation(w));
}

bool CInputGate::Deliver()
{
    if (Stopping()) {
        Clear();
        return false;
    }
    bool delivered = RunOwedWork();
    if (Stopping())
        return true;
    // Each event leaves the queue before it is given: what it starts (a
    // dialog's own loop) may give the ones behind it. A window that cannot
    // take its input now (disabled by an operation) keeps it, in order, and
    // everything behind it for that window waits too; the other windows'
    // input goes on.
    std::vector<const QWidget*> waiting;
    for (size_t i = 0; i < held_.size();) {
        if (RequestWaiting() || OwedWorkRunnable())
            break;
        auto* w = qobject_cast<QWidget*>(held_[i].target.data());
        if (!w) {
            // Its window was destroyed: nobody is left to take it.
            held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        const QWidget* window = w->window();
        if (std::find(waiting.begin(), waiting.end(), window) != waiting.end()) {
            ++i;
            continue;
        }
        if (w->isVisible() && ((!w->isEnabled() && DisabledForNow(w)) || KeptByPause(w))) {
            waiting.push_back(window);
            ++i;
            continue;
        }
        HeldInput in = std::move(held_[i]);
        held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
        // Closed, or greyed for good: it could not take the input.
        if (!w->isVisible() || !w->isEnabled())
            continue;
        // A dialog that came up meanwhile blocks the windows behind it, as
        // it would have blocked the input itself.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && w->window() != modal && !modal->isAncestorOf(w))
            continue;
        const QEvent* outer = delivering_;
        delivering_ = in.event.get();
        QCoreApplication::sendEvent(w, in.event.get());
        delivering_ = outer;
        delivered = true;
        sinceDelivery_.start();
        if (Stopping()) {
            held_.clear();
            return true;
        }
        // The delivery may have run a loop that took some of the queue.
        i = 0;
        waiting.clear();
    }
    if (HasWork())
        RetrySoon();
    return delivered;
}
