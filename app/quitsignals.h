// The signals that ask a program to end (SIGTERM from a desktop's logout or
// `kill`, SIGINT from Ctrl+C on its terminal, SIGHUP when that terminal
// goes): each ends the program as Quit does, through its shut-down path,
// so that the request under way ends, the port closes and the instance
// lock and socket are removed. No question is asked: nobody may be there
// to answer it.
#pragma once

#include <QObject>

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

class CQuitSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from now on. Those that come before Listen are
    // kept and acted on once it is called.
    CQuitSignals();
    // The previous handlers come back; nothing of this object stays.
    ~CQuitSignals() override;

    // `quit` runs on the interface thread, from the event loop, once for
    // the first of the signals (and once for each later one).
    void Listen(std::function<void()> quit);

private:
    void Drain();

    int pipe_[2] = {-1, -1};
    struct sigaction previous_[3] {};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> quit_;
};
