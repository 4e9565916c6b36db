// The input gate, in one rule: input given to a window that is disabled
// when the input comes is dropped, whatever request, pause or load runs;
// input given to a live window while an operation runs is held and given,
// in order, once that operation is over.
//
// An operation runs while a request waits for the phone, while one of its
// pauses runs on the event loop (the moment after each deleted entry, a
// progress window's full bar), and while a screen's first load is owed to
// the end of a request. A window greyed by a progress window is disabled,
// so a click on it, or text typed into it, takes nothing, exactly as in any
// disabled window: given once the operation was over, such a click opened
// a form seconds later, or chose the row that had moved under the pointer
// meanwhile. A window no operation greys (the editor while the phonebooks
// are read in the background, a box shown during a request, the progress
// window itself, whose Cancel is how a long request is stopped) takes its
// input as ever: at once when it was shown for the operation or is a
// progress window, otherwise held and given after the operation, so that
// nothing starts a second operation inside the first and no click is lost.
// Input held while its window was live and which finds it greyed for the
// operation waits until the window is enabled again; the release of a
// press held that way follows the press, so that nothing stays pressed.
//
// The pause state lives here too: a pause is part of the operation around
// it (no idle work starts in it, see InMessagePause), and its progress
// window is the one window that takes input meanwhile.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>

class QEvent;
class QTimer;
class QWidget;

// ---- Pauses of an operation ------------------------------------------------------

// True while a pause of an operation runs on this thread.
bool InMessagePause();
// The caller (the program's gate) holds the input that a pause with an
// input window keeps from the other windows, and gives it after the pause.
// Without it, presses aimed at those windows are dropped and releases pass.
void SetPauseInputKept(bool kept);
// True while a running pause gives input only to windows other than `w`'s.
bool PauseKeepsInputFrom(const QWidget* w);

// One pause, for as long as it lives: counted by InMessagePause, and, with
// `inputTo` (a progress window) and no user input allowed, that window is
// the only one that takes input meanwhile.
class PauseScope {
public:
    PauseScope(bool userInput, const QWidget* inputTo);
    ~PauseScope();
    PauseScope(const PauseScope&) = delete;
    PauseScope& operator=(const PauseScope&) = delete;

private:
    class Filter;
    std::unique_ptr<Filter> filter_;
    bool inputTo_ = false;
};

// ---- The gate --------------------------------------------------------------------

class CInputGate : public QObject {
public:
    // What the gate asks of the program around it.
    struct Hooks {
        // A request waits, on this thread or on a worker.
        std::function<bool()> requestWaiting;
        // The engine runs a worker's request (no owed load starts then).
        std::function<bool()> engineOnWorker;
        // The program ends: held input and owed work are dropped.
        std::function<bool()> stopping;
        // A standing operation's window (a progress window) has disabled
        // `w` or a window it belongs to, until that operation ends.
        std::function<bool(const QWidget*)> greyedForOperation;
    };
    explicit CInputGate(Hooks hooks);
    ~CInputGate() override;

    // Looks at an event the application is about to deliver: true when the
    // gate took it (held for later, or dropped).
    bool Filter(QObject* watched, QEvent* event);

    // `work` for `receiver` runs once no request waits, no dialog stands and
    // no pause runs, in the order it was owed and before the input held
    // meanwhile; dropped when `receiver` is gone first.
    void Owe(QObject* receiver, std::function<void()> work);
    // Some input is held or some work owed.
    bool HasWork() const { return !held_.empty() || !owed_.empty(); }
    // Some input is held for later.
    bool HoldsInput() const { return !held_.empty(); }
    // Runs what is owed and gives what is held, as far as it can now; true
    // when something was given (or owed work ran).
    bool Deliver();
    // Held input was given a moment ago: what it did (the answer to a
    // question, which ends that dialog's loop) is finished once the loop
    // has taken it back, so no request starts in the same turn.
    bool JustDelivered() const { return sinceDelivery_.isValid() && sinceDelivery_.elapsed() < 10; }
    // Drops everything held and owed.
    void Clear();

private:
    struct HeldInput {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    struct OwedWork {
        QPointer<QObject> receiver;
        std::function<void()> work;
    };
    bool RequestWaiting() const { return hooks_.requestWaiting && hooks_.requestWaiting(); }
    bool Stopping() const { return hooks_.stopping && hooks_.stopping(); }
    // Input for `watched`'s window is held rather than given now.
    bool HoldsInputFor(QObject* watched) const;
    // A pause gives input to its progress window only: what is aimed at
    // `watched`'s window waits for the pause's end.
    static bool KeptByPause(QObject* watched);
    // `event` releases a press held for `watched`'s window, and goes
    // behind it.
    bool ReleasesHeldPress(QObject* watched, const QEvent* event) const;
    void Hold(QObject* watched, QEvent* event);
    // A disabled `w` that an operation under way may enable again: the
    // input it took while live waits rather than being thrown away.
    bool DisabledForNow(const QWidget* w) const;
    // An operation runs (or `w` is greyed by one), or input is held.
    bool OperationUnderWay(const QWidget* w) const;
    bool OwedWorkRunnable() const;
    bool RunOwedWork();
    // Looks at the held input and the owed work again shortly.
    void RetrySoon();

    Hooks hooks_;
    std::deque<HeldInput> held_;
    std::deque<OwedWork> owed_;
    QTimer* retry_ = nullptr;
    QElapsedTimer sinceDelivery_;
    // The held event being given now (it passes the gate).
    const QEvent* delivering_ = nullptr;
};
