#include "quitsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the live object's pipe. A signal handler may do little:
// it writes the signal's number there and the event loop does the rest.
volatile sig_atomic_t g_writeFd = -1;

extern "C" void OnQuitSignal(int signo)
{
    const int saved = errno;
    const int fd = g_writeFd;
    if (fd >= 0) {
        const unsigned char b = static_cast<unsigned char>(signo);
        [[maybe_unused]] const ssize_t n = ::write(fd, &b, 1);
    }
    errno = saved;
}

}  // namespace

CQuitSignals::CQuitSignals()
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    g_writeFd = pipe_[1];
    struct sigaction sa {};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &sa, &previous_[i]);
}

CQuitSignals::~CQuitSignals()
{
    notifier_.reset();
    if (pipe_[1] < 0)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    g_writeFd = -1;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void CQuitSignals::Listen(std::function<void()> quit)
{
    quit_ = std::move(quit);
    if (pipe_[0] < 0 || notifier_)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &CQuitSignals::Drain);
    // A signal that came before: its byte waits in the pipe, and the
    // notifier tells it at the loop's first look.
}

void CQuitSignals::Drain()
{
    unsigned char buf[64];
    bool any = false;
    while (::read(pipe_[0], buf, sizeof buf) > 0)
        any = true;
    if (any && quit_)
        quit_();
}
