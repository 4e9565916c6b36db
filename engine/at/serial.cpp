// The serial port layer over POSIX termios. Incoming bytes become
// serial-input messages for task ATI; command text from ATI is written as it
// comes. It reaches the kernel through the same services as the AT task
// (`ati_kernel`), so both can be driven without a running kernel in tests.
#include "serial.h"
#include "serial_failures.h"
#include "trace_repeats.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "at_defs.h"
#include "ati.h"
#include "engine_host.h"
#include "profile.h"

namespace {

int g_fd = -1;
uint16_t g_last_port = 0;
std::string g_path;       // the open port's device node
bool g_hung_up = false;   // the port hung up and was closed; cleared by the next open
unsigned g_line = 0;      // counts the opens of a port: each is a line of its own
bool g_open_test = false; // Init_Serial's own read test is running
long g_node_checked = 0;  // when the device node was last looked for (ms)
// What the AT task parses becomes confirms for task 0, and a confirm must
// always find a block, as must the answer of the running command. While the
// blocks run low (a burst of answers or indications waiting in task 0's
// mailbox) input is handed over only as far as it surely fits: a confirm
// ends with a line end or is the "> " prompt, so a portion with k such bytes
// gives at most k confirms of whichever pool. The rest waits here.
constexpr int SERIAL_POOLS = 4;
constexpr int SERIAL_POOL_RESERVE[SERIAL_POOLS] = {40, 4, 4, 4};
uint64_t g_bytes_in = 0, g_bytes_out = 0;
FILE* g_trace = nullptr;
bool g_output_since_input = false;
uint8_t g_in[AT_IN_MAX];
size_t g_in_held = 0;  // bytes read but not yet handed over (at the front of g_in)
// The input line traced so far, unmasked: an echoed code command may come
// in several reads, and only its whole line shows that it holds a code.
std::string g_trace_line;
// A line grown past this without a line end is no answer; should it hold
// a code command, the rest of it is starred.
constexpr size_t TRACE_LINE_MAX = 1024;
bool g_trace_line_starred = false;
// The trace folds a unit repeated in a row (an input line, an output block)
// as the program trace does. Input is written by whole lines so that a line
// can be compared: the shown start of a line not yet ended waits here until
// its end, the next output, the port's closing or TRACE_LINE_MAX.
trace_repeats g_trace_repeats;
std::string g_trace_pending;
// The last blank line met while a run is counted: written after the count,
// so that the answer that ends the run keeps its form.
std::string g_trace_blank;

const char* const STARS =
    "******************************************************************************";  // 78

std::string now_text(const char* format)
{
    char buf[64];
    std::time_t t = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&t, &tmv);
    std::strftime(buf, sizeof buf, format, &tmv);
    return buf;
}

// The trace keeps the program's text-file form: CR LF line ends.
// The last byte written: a count starts a line of its own.
char g_trace_last = '\n';

void trace_text(const std::string& s)
{
    if (!g_trace || s.empty())
        return;
    for (char c : s) {
        if (c == '\n')
            std::fputc('\r', g_trace);
        std::fputc(c, g_trace);
    }
    g_trace_last = s.back();
}

void trace_raw(const std::string& s)
{
    if (!g_trace || s.empty())
        return;
    std::fwrite(s.data(), 1, s.size(), g_trace);
    g_trace_last = s.back();
}

void trace_repeat_count(long count)
{
    if (count > 0)
        trace_text((g_trace_last == '\n' ? "" : "\n") + trace_repeats::repeat_text(count) + "\n");
}

// One unit of the trace: `key` tells it from others (its text without the
// time or line ends), `text` is written when it is not a repeat to count.
// Returns whether it was written.
bool trace_unit(const std::string& key, const std::string& text, bool raw)
{
    long ended = 0;
    const bool write = g_trace_repeats.pass(key, ended);
    if (ended) {
        trace_repeat_count(ended);
        trace_raw(g_trace_blank);
    }
    g_trace_blank.clear();
    if (write) {
        if (raw)
            trace_raw(text);
        else
            trace_text(text);
    }
    return write;
}

// An input line as shown, its line ends included (none for a piece that is
// written before its end). A blank line neither ends nor lengthens a run.
void trace_input_line(const std::string& line)
{
    const size_t last = line.find_last_not_of("\r\n");
    if (last == std::string::npos) {
        if (g_trace_repeats.counting())
            g_trace_blank = line;
        else
            trace_raw(line);
        return;
    }
    trace_unit(line.substr(0, last + 1), line, true);
}

// Shown input bytes: whole lines go to the trace, the rest waits.
void trace_input(const std::string& shown)
{
    g_trace_pending += shown;
    size_t start = 0;
    for (size_t eol; (eol = g_trace_pending.find('\n', start)) != std::string::npos; start = eol + 1)
        trace_input_line(g_trace_pending.substr(start, eol + 1 - start));
    g_trace_pending.erase(0, start);
    if (g_trace_pending.size() > TRACE_LINE_MAX) {
        trace_input_line(g_trace_pending);
        g_trace_pending.clear();
    }
}

// Writes what waits: the input line not yet ended and, at `all`, the count
// of a run (the trace is left as it is, or closed).
void trace_flush_pending(bool all)
{
    if (!g_trace_pending.empty()) {
        trace_input_line(g_trace_pending);
        g_trace_pending.clear();
    }
    if (all) {
        trace_repeat_count(g_trace_repeats.take());
        trace_raw(g_trace_blank);
        g_trace_blank.clear();
    }
    if (g_trace)
        std::fflush(g_trace);
}

bool starts_with_nocase(const std::string& s, size_t at, const char* word)
{
    for (size_t i = 0; word[i]; ++i)
        if (at + i >= s.size() || std::toupper(static_cast<unsigned char>(s[at + i])) != word[i])
            return false;
    return true;
}

// How many confirms may come from the next portion.
int confirm_room()
{
    int room = AT_IN_MAX;
    for (int p = 0; p < SERIAL_POOLS; ++p)
        room = std::min(room, static_cast<int>(krn_pool_free(p)) - SERIAL_POOL_RESERVE[p] - 1);
    return room;
}

// The longest start of `in` that gives at most `room` confirms.
size_t fitting_portion(const uint8_t* in, size_t length, int room)
{
    int marks = 0;
    for (size_t i = 0; i < length; ++i) {
        if (in[i] == '\r' || in[i] == '\n' || in[i] == '>') {
            if (++marks > room)
                return i;
        }
    }
    return length;
}

// The input bytes as the trace shows them: masked as part of the line they
// belong to, whatever reads that line came in.
std::string trace_input_masked(const uint8_t* in, size_t n)
{
    const std::string line = g_trace_line + std::string(reinterpret_cast<const char*>(in), n);
    std::string shown = serial_mask_codes(line).substr(g_trace_line.size());
    const size_t end = line.find_last_of("\r\n");
    if (g_trace_line_starred) {
        const size_t first = shown.find_first_of("\r\n");
        std::fill(shown.begin(), first == std::string::npos ? shown.end() : shown.begin() + first, '*');
        g_trace_line_starred = end == std::string::npos;
    }
    g_trace_line = end == std::string::npos ? line : line.substr(end + 1);
    if (g_trace_line.size() > TRACE_LINE_MAX) {
        g_trace_line_starred = g_trace_line_starred || serial_mask_codes(g_trace_line) != g_trace_line;
        g_trace_line.clear();
    }
    return shown;
}

void sleep_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

long mono_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// Errors that mean the device is gone (a pulled cable, a closed
// pseudo-terminal), not a passing hitch.
bool is_hang_up_error(int e) { return e == EIO || e == ENXIO || e == ENODEV || e == EBADF || e == EPIPE; }

// Whether the line says it hung up, or its device node vanished. The node
// is looked for at most once a second: it is a file-system call.
bool line_hung_up()
{
    pollfd p{g_fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return true;
    const long now = mono_ms();
    if (!g_path.empty() && now - g_node_checked >= 1000) {
        g_node_checked = now;
        if (access(g_path.c_str(), F_OK) != 0 && errno == ENOENT)
            return true;
    }
    return false;
}

// A port that hung up is closed at once, and the loss is told once: polling
// learns of it (task 0) and the running command ends with the link-lost
// result (task ATI). Until the next open, every read and write fails at
// once, so nothing can spin on a dead descriptor.
void hang_up(const char* why, int error)
{
    engine_trace(std::string("Serial : the port hung up (") + why + (error ? std::string(": ") + std::strerror(error) : std::string()) +
                 "), it is closed");
    Close_Serial();
    g_hung_up = true;
    if (g_open_test)
        return;  // Init_Serial reports this one through its result
    // The notice goes first: a request that the hang-up ends then reads it
    // before its own result and sets it aside for polling, so the loss is
    // known when that request returns (or when polling resumes after the
    // operation), not only at some later idle step.
    krn_msg* notice = ati_alloc(2);
    krn_set_msg_number(notice, MTR_MSG_HANGUP);
    ati_kernel.send(KRN_TASK_MAIN, notice);
    krn_msg* m = ati_alloc(2);
    krn_set_msg_number(m, ATI_MSG_HANGUP);
    ati_kernel.send(KRN_TASK_ATI, m);
}

// Natural order: ttyS2 before ttyS10.
bool natural_less(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isdigit(static_cast<unsigned char>(a[i])) && isdigit(static_cast<unsigned char>(b[j]))) {
            size_t i2 = i, j2 = j;
            while (i2 < a.size() && isdigit(static_cast<unsigned char>(a[i2]))) ++i2;
            while (j2 < b.size() && isdigit(static_cast<unsigned char>(b[j2]))) ++j2;
            unsigned long x = std::stoul(a.substr(i, i2 - i)), y = std::stoul(b.substr(j, j2 - j));
            if (x != y)
                return x < y;
            i = i2;
            j = j2;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

std::string read_line(const std::string& path)
{
    std::ifstream f(path);
    std::string s;
    std::getline(f, s);
    return s;
}

}  // namespace

namespace {
uint16_t g_run_port = 0;
std::string g_run_port_path;
std::vector<serial_open_failure> g_open_failures;

// Notes why a port the user named could not be used.
void note_open_failure(uint16_t port, const std::string& path, int error)
{
    if (GetIniProfileString("Ports", "COM" + std::to_string(port), "").empty())
        return;
    g_open_failures.erase(std::remove_if(g_open_failures.begin(), g_open_failures.end(),
                                         [port](const serial_open_failure& f) { return f.port == port; }),
                          g_open_failures.end());
    g_open_failures.push_back({port, path, std::strerror(error)});
    engine_trace("Init_Serial : " + path + ": " + std::strerror(error));
}
}  // namespace

std::vector<serial_open_failure> serial_take_open_failures()
{
    std::vector<serial_open_failure> taken;
    taken.swap(g_open_failures);
    return taken;
}

void serial_set_run_port(uint16_t port, const std::string& path)
{
    g_run_port = path.empty() ? 0 : port;
    g_run_port_path = path;
}

std::string serial_port_path(uint16_t port)
{
    if (port == 0)
        return {};
    std::string configured = GetIniProfileString("Ports", "COM" + std::to_string(port), "");
    if (!configured.empty())
        return configured;
    if (port == g_run_port)
        return g_run_port_path;
    std::vector<std::string> usb, builtin;
    // The kernel's list of terminals; ZORQ_TTY_CLASS_DIR names another
    // folder laid out the same way (an empty one: a computer without any
    // serial port).
    const char* listed = std::getenv("ZORQ_TTY_CLASS_DIR");
    const std::string folder = listed && *listed ? listed : "/sys/class/tty";
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            std::string base = folder + "/" + name;
            if (starts_with(name, "ttyUSB") || starts_with(name, "ttyACM")) {
                usb.push_back(name);
            } else if (starts_with(name, "ttyS")) {
                // Only ports with real hardware behind them (type 0: none).
                std::string type = read_line(base + "/type");
                if (!type.empty() && type != "0")
                    builtin.push_back(name);
            }
        }
        closedir(d);
    }
    std::sort(usb.begin(), usb.end(), natural_less);
    std::sort(builtin.begin(), builtin.end(), natural_less);
    usb.insert(usb.end(), builtin.begin(), builtin.end());
    if (port > usb.size())
        return {};
    return "/dev/" + usb[port - 1];
}

int serial_fd() { return g_fd; }
uint16_t serial_last_port() { return g_last_port; }
void serial_byte_counts(uint64_t* in, uint64_t* out)
{
    *in = g_bytes_in;
    *out = g_bytes_out;
}

void serial_trace_start(const std::string& folder)
{
    if (g_trace)
        return;
    g_trace = std::fopen((folder + "debugAT.txt").c_str(), "ab");
    if (!g_trace)
        return;
    g_trace_repeats.reset();
    g_trace_pending.clear();
    g_trace_blank.clear();
    trace_text(std::string(STARS) + "\n\n");
    trace_text("                                AT DEBUG FILE\n\n");
    trace_text("   Application :  Pellard Tarvel Data 1.0\n");
    trace_text("   Date        :  " + now_text("%Y-%m-%d %H:%M:%S") + "\n");
    trace_text(std::string(STARS) + "\n\n");
    std::fflush(g_trace);
    g_output_since_input = false;
}

void serial_trace_stop()
{
    if (g_trace) {
        trace_flush_pending(true);
        std::fclose(g_trace);
        g_trace = nullptr;
    }
}

bool serial_trace_on() { return g_trace != nullptr; }

void serial_trace_flush() { trace_flush_pending(true); }

int Init_Serial(uint16_t port)
{
    std::string path = serial_port_path(port);
    Close_Serial();
    engine_trace("Init_Serial : before CreateFile");
    int fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && !path.empty())
        note_open_failure(port, path, errno);
    // Not shared: a second program opening the device fails.
    if (fd >= 0 && ioctl(fd, TIOCEXCL) != 0) {
        note_open_failure(port, path, errno);
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        engine_trace("Init_Serial : CreateFile failed");
        return 0;
    }
    engine_trace("Init_Serial : CreateFile OK");
    tcflush(fd, TCIOFLUSH);
    termios t{};
    bool ok = tcgetattr(fd, &t) == 0;
    if (ok) {
        cfmakeraw(&t);
        t.c_cflag &= static_cast<tcflag_t>(~(CSIZE | PARENB | CSTOPB));
        t.c_cflag |= CS8 | CREAD | CLOCAL;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ok = cfsetispeed(&t, B19200) == 0 && cfsetospeed(&t, B19200) == 0;
    }
    engine_trace("Init_Serial : CreateFile setcommstate");
    if (!ok || tcsetattr(fd, TCSANOW, &t) != 0) {
        note_open_failure(port, path, errno);
        // A port left at whatever speed it had would talk garbage.
        engine_trace("Init_Serial : erreur SetCommState");
        close(fd);
        return 0;
    }
    g_fd = fd;
    ++g_line;
    g_path = path;
    g_node_checked = mono_ms();
    g_last_port = port;
    g_hung_up = false;
    Break_Serial_Line();
    g_open_test = true;
    const int answered = Read_Serial_Line();
    g_open_test = false;
    if (answered == 0) {
        engine_trace("Init_Serial : Try to read serial line but failed");
        engine_trace("Init_Serial : Close the port");
        Close_Serial();
        return -1;
    }
    engine_trace("Init_Serial : CreateFile return TRUE");
    if (EngineHost* host = engine_host())
        host->PortOpened(g_fd);
    return 1;
}

void Close_Serial()
{
    // A run's count waits on: the next open may go on with the same lines.
    trace_flush_pending(false);
    if (g_fd >= 0) {
        // Whoever watches the descriptor lets go of it before it is closed
        // (a closed descriptor in a poll set wakes it at once, for ever).
        if (EngineHost* host = engine_host())
            host->PortClosing(g_fd);
        close(g_fd);
        g_fd = -1;
    }
    g_path.clear();
    g_in_held = 0;
    g_trace_line.clear();
    g_trace_line_starred = false;
}

bool serial_hung_up() { return g_hung_up; }

unsigned serial_line() { return g_line; }

int Read_Serial_Line()
{
    if (g_fd < 0)
        return 0;
    for (;;) {
        const int room = confirm_room();
        if (room <= 0)
            return 1;
        if (g_in_held < AT_IN_MAX) {
            int count = 0;
            if (ioctl(g_fd, FIONREAD, &count) != 0) {
                const int e = errno;
                if (is_hang_up_error(e)) {
                    hang_up("no count", e);
                    return 0;
                }
                engine_trace("Read_Serial_Line ClearCommError failed");
                count = AT_IN_MAX;  // read what is there, without waiting
            }
            const int n = std::min(count, static_cast<int>(AT_IN_MAX - g_in_held));
            if (n > 0) {
                ssize_t got = read(g_fd, g_in + g_in_held, static_cast<size_t>(n));
                if (got <= 0) {
                    const int e = got < 0 ? errno : 0;
                    if (got < 0 && is_hang_up_error(e)) {
                        hang_up("read", e);
                        return 0;
                    }
                    if (!(got < 0 && (e == EAGAIN || e == EINTR) && count == AT_IN_MAX)) {
                        engine_trace("Read_Serial_Line lg == 0 Might be a problem");
                        // No byte where bytes were announced: the end of a
                        // line that hung up, or a passing fault.
                        if (line_hung_up())
                            hang_up("no byte", 0);
                        return 0;
                    }
                    // The count was a guess and nothing was waiting.
                } else {
                    g_bytes_in += static_cast<uint64_t>(got);
                    g_in_held += static_cast<size_t>(got);
                }
            } else if (count == 0 && g_in_held == 0 && line_hung_up()) {
                hang_up("hang-up", 0);
                return 0;
            }
        }
        if (g_in_held == 0)
            return 1;
        const size_t got = fitting_portion(g_in, g_in_held, room);
        if (got == 0)
            return 1;
        krn_msg* m = ati_alloc(static_cast<uint16_t>(got + 4));
        m[0] = 0x01;
        m[1] = 0x00;
        m[2] = static_cast<uint8_t>(got >> 8);
        m[3] = static_cast<uint8_t>(got);
        std::memcpy(m + 4, g_in, got);
        if (g_trace) {
            if (g_output_since_input) {
                trace_text("\n\n<- " + now_text("%H:%M:%S") + "\n");
                g_output_since_input = false;
            }
            // An echo of a code command is masked like the command itself.
            trace_input(trace_input_masked(g_in, got));
            std::fflush(g_trace);
        }
        g_in_held -= got;
        std::memmove(g_in, g_in + got, g_in_held);
        // ATI is more urgent: it parses the bytes before the send returns.
        ati_kernel.send(KRN_TASK_ATI, m);
    }
}

std::string serial_mask_codes(const std::string& text)
{
    // A code is written after +CPIN= (nothing else but codes follows), and
    // inside the quotes of +CLCK= and +CPWD= (the lock mode is unquoted).
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
        const bool pin = starts_with_nocase(out, i, "+CPIN=");
        if (!pin && !starts_with_nocase(out, i, "+CLCK=") && !starts_with_nocase(out, i, "+CPWD="))
            continue;
        bool quoted = false;
        for (size_t j = i + 6; j < out.size() && out[j] != '\r' && out[j] != '\n'; ++j) {
            if (out[j] == '"')
                quoted = !quoted;
            else if ((pin || quoted) && out[j] != '"' && out[j] != ',')
                out[j] = '*';
        }
    }
    return out;
}

void Send_Serial_Line(const uint8_t* block)
{
    size_t length = static_cast<size_t>(block[0] << 8 | block[1]);
    const uint8_t* text = block + 2;
    engine_trace("Send_Serial_Line BEGIN");
    if (g_fd < 0)
        return;
    // Security codes never reach a trace file in clear.
    const std::string shown = serial_mask_codes(std::string(reinterpret_cast<const char*>(text), length));
    if (g_trace) {
        trace_flush_pending(false);
        // The same command again with no answer between is counted too.
        if (trace_unit("-> " + shown, "\n" + std::string(STARS) + "\n\n-> " + now_text("%H:%M:%S") + "\n", false))
            trace_raw(shown);
    }
    engine_trace("Send_Serial_Line WriteFile: " + shown);
    // Only the part not yet written is written again, within the time the
    // line needs at 2 ms a byte, plus a second.
    size_t done = 0;
    int budget_ms = static_cast<int>(length) * 2 + 1000;
    while (done < length && budget_ms > 0) {
        ssize_t w = write(g_fd, text + done, length - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            g_bytes_out += static_cast<uint64_t>(w);
            continue;
        }
        if (w < 0 && is_hang_up_error(errno)) {
            hang_up("write", errno);
            return;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (w >= 0 || errno == EAGAIN) {
            if (done < length)
                engine_trace("Send_Serial_Line WriteFile: write again");
            pollfd p{g_fd, POLLOUT, 0};
            poll(&p, 1, 50);
            budget_ms -= 50;
        }
    }
    engine_trace("Send_Serial_Line WriteFile: after");
    engine_trace("Send_Serial_Line before FlushFileBuffers");
    tcdrain(g_fd);
    engine_trace("Send_Serial_Line after FlushFileBuffers");
    if (g_trace) {
        std::fflush(g_trace);
        g_output_since_input = true;
    }
    engine_trace("Send_Serial_Line END");
}

int Break_Serial_Line()
{
    if (g_fd < 0)
        return 0;
    tcdrain(g_fd);
    sleep_ms(10);
    // A pseudo-terminal has no line to break: that is not an error.
    int r = ioctl(g_fd, TIOCSBRK);
    if (r == 0) {
        sleep_ms(300);
        r = ioctl(g_fd, TIOCCBRK);
    }
    sleep_ms(10);
    return r == 0 ? 1 : 0;
}

void Serial_Output(krn_msg* msg)
{
    if (msg[1] == 0x01)
        Send_Serial_Line(msg + 2);
    else if (msg[1] == 0x02)
        Break_Serial_Line();
    ati_free(msg);
}
