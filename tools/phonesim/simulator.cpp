#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <fstream>
#include <optional>
#include <algorithm>
#include <sstream>

#include "phone.h"

namespace phonesim {
namespace {

volatile sig_atomic_t gStop = 0;

void onTerm(int) { gStop = 1; }

struct Pty {
    int master = -1;
    int slave = -1;  // kept open so the line survives the program closing it
    int watch = -1;  // inotify: the program closing the device
    std::string path;

    bool open(std::string& error) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        const char* name = ptsname(master);
        if (!name) {
            error = "cannot name the pseudo-terminal";
            return false;
        }
        path = name;
        slave = ::open(name, O_RDWR | O_NOCTTY);
        if (slave < 0) {
            error = std::string("cannot open ") + path + ": " + std::strerror(errno);
            return false;
        }
        // Raw 8N1 at 19200 baud: no echo, no CR/LF translation.
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        t.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave, TCSANOW, &t);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        // Exclusive use (TIOCEXCL) would outlive the program's close, since
        // this process keeps the line open; it is dropped at every close, as
        // a real port drops it at its last close.
        watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch >= 0 && inotify_add_watch(watch, path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
            ::close(watch);
            watch = -1;
        }
        return true;
    }

    void closed() {
        char events[4096];
        while (watch >= 0 && ::read(watch, events, sizeof events) > 0) {
        }
        if (slave >= 0) ioctl(slave, TIOCNXCL);
    }

    void close() {
        if (watch >= 0) ::close(watch);
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
        master = slave = watch = -1;
    }
};

using Clock = std::chrono::steady_clock;

// Writes output no faster than the line would carry it: byte k of a burst
// goes out when its ten bit times have passed.
class PacedWriter {
public:
    explicit PacedWriter(int baud) : byteTime_(baud > 0 ? std::chrono::duration<double>(10.0 / baud) : std::chrono::duration<double>(0)) {}

    void add(const std::string& bytes) {
        if (bytes.empty()) return;
        if (pending_.empty()) {
            burstStart_ = Clock::now();
            burstSent_ = 0;
        }
        pending_ += bytes;
    }

    // Returns the number of bytes written.
    size_t flush(int fd) {
        if (pending_.empty()) return 0;
        size_t allowed = pending_.size();
        if (byteTime_.count() > 0) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - burstStart_).count();
            const auto due = static_cast<size_t>(std::floor(elapsed / byteTime_.count()));
            allowed = due > burstSent_ ? std::min(due - burstSent_, pending_.size()) : 0;
        }
        if (allowed == 0) return 0;
        const ssize_t n = fd >= 0 ? ::write(fd, pending_.data(), allowed) : static_cast<ssize_t>(allowed);
        if (n <= 0) return 0;
        pending_.erase(0, static_cast<size_t>(n));
        burstSent_ += static_cast<size_t>(n);
        return static_cast<size_t>(n);
    }

    // When the next byte may go, or nullopt when nothing waits.
    std::optional<Clock::time_point> nextSlot() const {
        if (pending_.empty()) return std::nullopt;
        if (byteTime_.count() <= 0) return Clock::now();
        return burstStart_ + std::chrono::duration_cast<Clock::duration>(byteTime_ * (burstSent_ + 1));
    }

    bool paced() const { return byteTime_.count() > 0; }
    void clear() { pending_.clear(); }

private:
    std::chrono::duration<double> byteTime_;
    std::string pending_;
    Clock::time_point burstStart_;
    size_t burstSent_ = 0;
};

// Counts the traffic of one piece of work for benchmarks: armed with a
// command prefix, it starts at the first command line beginning with it (so
// whatever a client sends to start up is left out) and counts every byte
// each way from then on, and the time from the arrival of that line's first
// byte to the last byte written.
class Meter {
public:
    void arm(std::string prefix) {
        *this = Meter{};
        prefix_ = std::move(prefix);
        for (char& c : prefix_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        armed_ = true;
    }

    void received(std::string_view bytes, Clock::time_point at) {
        if (active_) {
            in_ += bytes.size();
            return;
        }
        if (!armed_) return;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (line_.empty()) lineStart_ = at;
            if (bytes[i] != '\r') {
                if (line_.size() < 256) line_ += static_cast<char>(std::toupper(static_cast<unsigned char>(bytes[i])));
                ++lineBytes_;
                continue;
            }
            const size_t a = line_.find("AT");
            if (a != std::string::npos && line_.compare(a + 2, prefix_.size(), prefix_) == 0) {
                active_ = true;
                start_ = lineStart_;
                in_ = lineBytes_ + (bytes.size() - i);
                return;
            }
            line_.clear();
            lineBytes_ = 0;
        }
    }

    void sent(size_t n, Clock::time_point at) {
        if (!active_ || n == 0) return;
        out_ += n;
        last_ = at;
    }

    std::string report() const {
        if (!armed_) return "error: no meter armed (meter from <command prefix>)";
        const long long us =
            active_ && out_ ? std::chrono::duration_cast<std::chrono::microseconds>(last_ - start_).count() : 0;
        return "ok " + std::to_string(in_) + " " + std::to_string(out_) + " " + std::to_string(us);
    }

private:
    std::string prefix_;
    bool armed_ = false, active_ = false;
    std::string line_;
    size_t lineBytes_ = 0;
    Clock::time_point lineStart_{}, start_{}, last_{};
    size_t in_ = 0, out_ = 0;
};

void answer(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--scenario" || arg == "--baud") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--scenario") {
                options.scenarioFile = value;
            } else {
                char* end = nullptr;
                const long baud = std::strtol(value.c_str(), &end, 10);
                if (!end || *end || baud < 1 || baud > 4000000) {
                    error = "--baud takes a positive number";
                    return false;
                }
                options.baud = static_cast<int>(baud);
            }
        } else {
            error = "usage: phonesim [--scenario FILE] [--baud N]";
            return false;
        }
    }
    return true;
}

int run(const Options& options) {
    Phone phone;
    if (!options.scenarioFile.empty()) {
        std::ifstream in(options.scenarioFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "phonesim: cannot read %s\n", options.scenarioFile.c_str());
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        const std::string problem = phone.loadScenario(text.str());
        if (!problem.empty()) {
            std::fprintf(stderr, "phonesim: %s: %s\n", options.scenarioFile.c_str(), problem.c_str());
            return 2;
        }
        phone.takeOutput();  // nothing is on the line before the program opens it
    }

    // SIGTERM and SIGINT are only let through while waiting, so a stop
    // request can never slip in between the check and the wait.
    struct sigaction sa {};
    sa.sa_handler = onTerm;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);

    Pty pty;
    std::string error;
    if (!pty.open(error)) {
        std::fprintf(stderr, "phonesim: %s\n", error.c_str());
        return 1;
    }
    answer(pty.path);

    PacedWriter writer(options.baud);
    Meter meter;
    std::string control;
    bool stdinOpen = true;
    bool unplugging = false;
    bool answerSeen = false;     // the last answer was seen waiting to be read
    bool programWrote = false;   // the program wrote while the cable was due to go
    bool programClosed = false;  // the program closed the port meanwhile
    char buf[4096];

    while (!gStop && stdinOpen) {
        const auto now = Clock::now();
        phone.releaseDue(now);
        writer.add(phone.takeOutput());
        meter.sent(writer.flush(pty.master), Clock::now());
        // `unplug-after-sends`: the cable is pulled once the program has
        // read the last answer given (a pseudo-terminal drops what its
        // reader had not yet taken when the other side closes, and a loaded
        // machine reads late). Read it is when, after it all went out, it
        // was seen waiting on the line and then gone, or when the program
        // writes again (its next command, which goes with the cable), or
        // when it closed the port. Never after a fixed time: the answer
        // reaching the line can itself take a while on a loaded machine.
        if (phone.takeUnplug()) {
            unplugging = true;
            answerSeen = false;
        }
        if (unplugging && !writer.nextSlot()) {
            int unread = 0;
            const bool known = pty.slave >= 0 && ioctl(pty.slave, FIONREAD, &unread) == 0;
            if (known && unread > 0) answerSeen = true;
            if (!known || (answerSeen && unread <= 0) || (programWrote && unread <= 0) || programClosed) {
                unplugging = false;
                writer.clear();
                pty.close();
            }
        }
        programWrote = programClosed = false;
        // Meanwhile the program's next command is not taken (it goes with
        // the cable), and the line is looked at again shortly.
        const bool draining = unplugging && !writer.nextSlot();

        std::optional<Clock::time_point> wake = phone.nextDue();
        const auto slot = writer.nextSlot();
        if (slot && (!wake || *slot < *wake)) wake = slot;
        timespec timeout{};
        timespec* pTimeout = nullptr;
        if (wake) {
            const auto left = std::max(Clock::duration::zero(), *wake - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            pTimeout = &timeout;
        }

        if (draining) {
            timeout = timespec{0, 2000000};
            pTimeout = &timeout;
        }
        pollfd fds[3] = {{0, POLLIN, 0}, {pty.master, POLLIN, 0}, {pty.watch, POLLIN, 0}};
        // Unpaced output that the line could not take waits for room.
        if (slot && !writer.paced() && pty.master >= 0) {
            fds[1].events |= POLLOUT;
            pTimeout = nullptr;
            if (phone.nextDue()) {
                const auto left = std::max(Clock::duration::zero(), *phone.nextDue() - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
                timeout.tv_nsec = static_cast<long>(ns % 1000000000);
                pTimeout = &timeout;
            }
        }
        const nfds_t count = pty.master >= 0 ? (pty.watch >= 0 ? 3 : 2) : 1;
        const int ready = ppoll(fds, count, pTimeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }

        if (count == 3 && (fds[2].revents & POLLIN)) {
            pty.closed();
            programClosed = draining;
        }
        if (count >= 2 && (fds[1].revents & POLLIN)) {
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n > 0 && draining) {
                programWrote = true;  // dropped: it goes with the cable
            } else if (n > 0) {
                meter.received(std::string_view(buf, static_cast<size_t>(n)), Clock::now());
                phone.receive(std::string_view(buf, static_cast<size_t>(n)));
            }
        }

        if (fds[0].revents & (POLLIN | POLLHUP)) {
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                stdinOpen = false;
            } else {
                control.append(buf, static_cast<size_t>(n));
            }
            size_t eol;
            while ((eol = control.find('\n')) != std::string::npos) {
                std::string line = control.substr(0, eol);
                control.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line == "unplug") {
                    // The port vanishes: the device node goes with the master.
                    writer.clear();
                    pty.close();
                    answer("ok");
                    continue;
                }
                if (line == "meter" || line.rfind("meter ", 0) == 0) {
                    if (line.rfind("meter from ", 0) == 0 && line.size() > 11) {
                        meter.arm(line.substr(11));
                        answer("ok");
                    } else if (line == "meter") {
                        answer(meter.report());
                    } else {
                        answer("error: usage: meter from <command prefix> | meter");
                    }
                    continue;
                }
                const std::string reply = phone.apply(line);
                answer(reply);
            }
        }
    }
    // Let whatever is already answered reach the line before closing.
    writer.add(phone.takeOutput());
    if (!writer.paced()) writer.flush(pty.master);
    pty.close();
    return 0;
}

}  // namespace phonesim
