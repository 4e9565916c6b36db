// The program's loop: Qt's event loop, woken by the engine's tick (armed
// only while an engine timer runs), the serial port and posted messages;
// with nothing to do it sleeps. Each wake steps the tick and reads the port;
// idle work (first detection, background phonebook reading, the engine's
// idle step) runs only while no request waits, and while some is left the
// loop wakes itself again. What input the windows take while a request
// waits, a pause runs or a screen's load is owed is the input gate's
// (common/inputgate.h), which the loop drives.
#pragma once

#include "engine_host.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class CInputGate;
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
    bool HoldsInput() const;

    static std::atomic<int> workerRequests;
    static std::atomic<bool> engineOnWorker;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchSerial();
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
    // What input the windows take while an operation runs (inputgate.h).
    std::unique_ptr<CInputGate> gate_;
};
