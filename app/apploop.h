// The program's loop: Qt's event loop, woken by the engine's tick (armed
// only while an engine timer runs), the serial port and posted messages;
// with nothing to do it sleeps. Each wake steps the tick and reads the port;
// idle work (first detection, background phonebook reading, the engine's
// idle step) runs only while no request waits, and while some is left the
// loop wakes itself again. While a request waits, input aimed at the
// windows that stood before it began is held and delivered once it has
// ended, so that a screen or a dialog cannot start a second request inside
// the first and no click is lost. Work that must not run inside a request
// (a screen's first load) is owed and runs once the phone is free, before
// the input held meanwhile.
#pragma once

#include "engine_host.h"

#include <QElapsedTimer>
#include <QObject>

#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class CZorqMMIApp;
class QSocketNotifier;
class QTimer;

class CAppLoop : public QObject {
    Q_OBJECT
public:
    explicit CAppLoop(CZorqMMIApp* app);
    ~CAppLoop() override;

    EngineHost* Host() { return host_.get(); }
    // Arms the notifiers and schedules the first idle step.
    void Start();
    // Stops every notifier (the loop then only answers posted messages).
    void Stop();

    // One wake: tick, port, and idle work when allowed.
    void Step();
    // The port `fd` is being closed: its notifier goes now.
    void ForgetSerial(int fd);

    // `work` for `receiver` runs once no request waits, no dialog stands and
    // no pause runs, in the order it was owed and before the input held
    // meanwhile; dropped when `receiver` is gone first.
    void Owe(QObject* receiver, std::function<void()> work);
    // Input held meanwhile still waits for its delivery.
    bool HoldsInput() const { return !held_.empty(); }

    static std::atomic<int> workerRequests;
    static std::atomic<bool> engineOnWorker;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchSerial();
    // Input held while a request waited: each event with its receiver, in
    // the order it came.
    struct HeldInput {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    bool HoldsInputFor(QObject* watched) const;
    // A pause of an operation gives input to its progress window only:
    // what is aimed at `watched`'s window waits for the pause's end.
    static bool KeptByPause(QObject* watched);
    // `watched` is disabled by a standing progress window (its own window
    // or a window it belongs to is that window's owner): it takes nothing.
    static bool GreyedByProgress(QObject* watched);
    // `event` releases a press held for `watched`'s window, and goes
    // behind it.
    bool ReleasesHeldPress(QObject* watched, const QEvent* event) const;
    void HoldInput(QObject* watched, QEvent* event);
    // True when some input was delivered (or owed work ran).
    bool DeliverHeldInput();
    // A disabled `w` that an operation under way may enable again: its
    // input waits rather than being thrown away.
    bool DisabledForNow(const QWidget* w) const;
    // Owed work may run now, and some is owed.
    bool OwedWorkRunnable() const;
    bool RunOwedWork();
    // Looks at the held input and the owed work again shortly.
    void RetrySoon();

    // Wakes the loop again after `ms` (one pending wake at a time).
    void StepAgain(int ms);

    CZorqMMIApp* app_;
    std::unique_ptr<EngineHost> host_;
    QSocketNotifier* tick_ = nullptr;
    QSocketNotifier* serial_ = nullptr;
    QTimer* again_ = nullptr;
    // Idle work was refused while a request waited: it runs once that ends.
    bool idleOwed_ = false;
    int serialFd_ = -1;
    bool started_ = false;
    std::deque<HeldInput> held_;
    struct OwedWork {
        QPointer<QObject> receiver;
        std::function<void()> work;
    };
    std::deque<OwedWork> owed_;
    QTimer* heldTimer_ = nullptr;
    // Since the last held event was delivered.
    QElapsedTimer sinceDelivery_;
    // The held event being delivered now (it passes the filter).
    const QEvent* delivering_ = nullptr;
};
