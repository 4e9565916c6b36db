// Test-side helpers for the phone simulator (header-only, standard library
// and POSIX):
//   phonesim::Process  starts `phonesim` with a scenario text, learns the
//                      device path, sends control commands, stops it;
//   phonesim::Port     opens a device raw (19200 8N1) and exchanges bytes,
//                      for tests that talk AT to the simulator directly.
// Link the CMake target `phonesim_client`; it also defines PHONESIM_PATH.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace phonesim {

class Process {
public:
    // scenario: the text of a scenario file ("" for the defaults);
    // baud: 0 answers at once, otherwise output is paced at that rate.
#ifdef PHONESIM_PATH
    explicit Process(const std::string& scenario = "", int baud = 0, std::string executable = PHONESIM_PATH)
#else
    Process(const std::string& scenario, int baud, std::string executable)
#endif
    {
        std::vector<std::string> args = {executable};
        if (!scenario.empty()) {
            // In the system's temporary folder, as TMPDIR names it.
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/phonesim-scenario-XXXXXX";
            std::vector<char> name(pattern.begin(), pattern.end());
            name.push_back('\0');
            const int fd = mkstemp(name.data());
            if (fd < 0) throw std::runtime_error("phonesim: cannot write the scenario file");
            const bool written = ::write(fd, scenario.data(), scenario.size()) == static_cast<ssize_t>(scenario.size());
            ::close(fd);
            scenarioFile_ = name.data();
            if (!written) throw std::runtime_error("phonesim: cannot write the scenario file");
            args.push_back("--scenario");
            args.push_back(scenarioFile_);
        }
        if (baud > 0) {
            args.push_back("--baud");
            args.push_back(std::to_string(baud));
        }
        int toChild[2], fromChild[2];
        // Close-on-exec: a simulator started later must not hold this one's
        // standard input open (it would never see it close).
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("phonesim: pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        if (rc != 0) {
            pid_ = -1;
            stop();
            throw std::runtime_error("phonesim: cannot start " + executable);
        }
        // A loaded machine can take seconds to start it; a normal start answers at once.
        device_ = readLine(30000);
        if (device_.empty() || device_[0] != '/') {
            stop();  // no zombie, no descriptors or scenario file left behind
            throw std::runtime_error("phonesim: did not start (see its error output)");
        }
    }

    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The slave device the program opens (e.g. /dev/pts/5).
    const std::string& device() const { return device_; }

    // Sends one control command and returns its one-line answer ("ok" or
    // "error: ..."); "" when no answer came within the time-out.
    std::string command(const std::string& line, int timeoutMs = 5000) {
        const std::string text = line + "\n";
        if (::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
        return readLine(timeoutMs);
    }

    // The state as text (the lines of "dump" before its closing "ok").
    std::string dump() {
        std::string all;
        std::string l = command("dump");
        while (!l.empty() && l != "ok") {
            all += l + "\n";
            l = readLine(30000);
        }
        return all;
    }

    // The lines a listing command ("sent", "dump") prints before its
    // closing "ok" (an "error: ..." answer ends the list too).
    std::vector<std::string> listing(const std::string& line) {
        std::vector<std::string> out;
        std::string l = command(line);
        while (!l.empty() && l != "ok" && l.rfind("error:", 0) != 0) {
            out.push_back(l);
            l = readLine(30000);
        }
        return out;
    }

    // The phone's entries of a phonebook ("SM", "ME", ...) as the dump shows
    // them: location -> "number|name".
    std::map<int, std::string> entries(const std::string& book) {
        std::map<int, std::string> out;
        std::istringstream lines(dump());
        const std::string head = "entry " + book + " ";
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(head, 0) != 0) continue;
            std::istringstream fields(line.substr(head.size()));
            int location = 0, type = 0;
            std::string number, name;
            fields >> location >> std::quoted(number) >> type >> std::quoted(name);
            out[location] = number + "|" + name;
        }
        return out;
    }

    // Closes standard input and waits for the process to end (SIGTERM after
    // two seconds if it does not).
    void stop() {
        if (in_ >= 0) ::close(in_), in_ = -1;
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 200; ++i) {
                if (waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                usleep(10000);
            }
            if (pid_ > 0) {
                kill(pid_, SIGTERM);
                waitpid(pid_, &status, 0);
                pid_ = -1;
            }
        }
        if (out_ >= 0) ::close(out_), out_ = -1;
        if (!scenarioFile_.empty()) std::remove(scenarioFile_.c_str()), scenarioFile_.clear();
    }

private:
    std::string readLine(int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const size_t eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return "";
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) return "";
            buffer_.append(buf, static_cast<size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string device_, buffer_, scenarioFile_;
};

class Port {
public:
    explicit Port(const std::string& device) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error("cannot open " + device);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN) throw std::runtime_error("write to the port failed");
            else usleep(1000);
        }
    }

    // Reads until the text read so far ends with `suffix` or the time runs out.
    std::string readUntil(const std::string& suffix, int timeoutMs = 3000) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < suffix.size() || got.compare(got.size() - suffix.size(), suffix.size(), suffix) != 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            got += readSome(static_cast<int>(left));
        }
        return got;
    }

    // Everything that arrives within the given quiet time.
    std::string readFor(int ms) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return got;
            got += readSome(static_cast<int>(left));
        }
    }

    // Sends a command line ("AT..." without CR) and reads up to the final
    // result line (OK, ERROR, +CME ERROR: n, +CMS ERROR: n) or a prompt.
    std::string at(const std::string& command, int timeoutMs = 3000) { return exchange(command + "\r", timeoutMs); }

    // Writes raw bytes (a message or melody body ending in Ctrl-Z, say) and
    // reads up to the final result line or a prompt, as at() does.
    std::string exchange(const std::string& bytes, int timeoutMs = 3000) {
        write(bytes);
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!complete(got)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            got += readSome(static_cast<int>(left));
        }
        return got;
    }

    int fd() const { return fd_; }

private:
    static bool complete(const std::string& s) {
        if (s.size() >= 4 && s.compare(s.size() - 4, 4, "\r\n> ") == 0) return true;
        if (s.size() < 2 || s.compare(s.size() - 2, 2, "\r\n") != 0) return false;
        const size_t start = s.rfind("\r\n", s.size() - 3);
        const std::string last = s.substr(start == std::string::npos ? 0 : start + 2, s.size() - 2 - (start == std::string::npos ? 0 : start + 2));
        return last == "OK" || last == "ERROR" || last.rfind("+CME ERROR: ", 0) == 0 ||
               last.rfind("+CMS ERROR: ", 0) == 0;
    }

    std::string readSome(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return "";
        char buf[1024];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
    }

    int fd_ = -1;
};

}  // namespace phonesim
