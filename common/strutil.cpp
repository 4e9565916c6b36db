#include "strutil.h"

#include "inputgate.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>

#include <cctype>
#include <cstdlib>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

std::string NormalizeDirectory(const std::string& path)
{
    if (path.empty())
        return path;
    std::string p = path;
    while (!p.empty() && p.back() == ' ')
        p.pop_back();
    if (p.empty())
        return "/";
    if (p.back() != '/')
        p += '/';
    return p;
}

std::string GetDirectoryPart(const std::string& path, int withoutSlash)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, withoutSlash ? slash : slash + 1);
}

bool FileExists(const std::string& path)
{
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

// Linux has no Windows folder; the system-wide configuration folder plays
// its part for the few callers that look there.
std::string GetWindowsDirectoryPath() { return "/etc"; }

std::string GetTempDirectory()
{
    const char* env = std::getenv("TMPDIR");
    std::string base = (env && *env) ? env : "/tmp";
    if (base.back() != '/')
        base += '/';
    const std::string dir = base + "zorqmmi-" + std::to_string(::getuid()) + "/";
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

void ReplaceAll(std::string& text, const std::string& oldPart, const std::string& newPart)
{
    if (oldPart.empty())
        return;
    const std::string with = newPart.empty() ? std::string("???") : newPart;
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string lowOld = lower(oldPart);
    const std::string lowText = lower(text);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = lowText.find(lowOld, pos);
        if (hit == std::string::npos)
            break;
        out.append(text, pos, hit - pos);
        out += with;
        pos = hit + oldPart.size();
    }
    out.append(text, pos, std::string::npos);
    text = out;
}

void RemoveAll(std::string& text, const std::string& part)
{
    if (part.empty())
        return;
    size_t pos;
    std::string out;
    size_t from = 0;
    while ((pos = text.find(part, from)) != std::string::npos) {
        out.append(text, from, pos - from);
        from = pos + part.size();
    }
    out.append(text, from, std::string::npos);
    text = out;
}

void CollapseBlanks(std::string& text)
{
    // One pass: a blank directly followed by a blank is dropped, and the pass
    // goes on after the following blank, so a run of n becomes ceil(n / 2).
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
            out += ' ';
            ++i;
            continue;
        }
        out += text[i];
    }
    text = out;
}

void CollapseAllBlanks(std::string& text)
{
    while (text.find("  ") != std::string::npos)
        CollapseBlanks(text);
}

void TrimRight(std::string& text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
}

void TrimLeft(std::string& text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    text.erase(0, i);
}

void Trim(std::string& text)
{
    TrimRight(text);
    TrimLeft(text);
}

void WakeMessagePump()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(app->thread()))
            d->wakeUp();
}

bool PumpMessagesUntil(const std::function<bool()>& done, int ms, bool userInput, const QWidget* inputTo)
{
    if (done && done())
        return true;
    if (ms == 0)
        return done ? done() : true;
    QElapsedTimer clock;
    clock.start();
    if (!QCoreApplication::instance() || !QAbstractEventDispatcher::instance()) {
        // No event loop on this thread: a worker thread (the interface
        // thread always has one), or a program without an interface. There
        // is no window to keep alive, so the thread sleeps.
        while (!(done && done()) && (ms < 0 || clock.elapsed() < ms))
            QThread::msleep(static_cast<unsigned long>(ms < 0 ? 10 : std::min<qint64>(10, ms - clock.elapsed())));
        return done ? done() : true;
    }
    // The thread sleeps in the dispatcher until something is due: a message,
    // one of its timers or descriptors, or this timer at the end of the
    // wait. (The timed processEvents would return at once whenever nothing
    // is pending, and the loop around it would keep a processor busy.) The
    // same dispatch as processEvents, with no nested event loop: nothing
    // runs here that a pump would not have run. What input reaches which
    // window meanwhile is the input gate's (inputgate.h).
    PauseScope pause(userInput, inputTo);
    const QEventLoop::ProcessEventsFlags flags =
        userInput || inputTo ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (done && done())
            break;
        const qint64 left = ms < 0 ? -1 : ms - clock.elapsed();
        if (ms >= 0 && left <= 0)
            break;
        if (left > 0 && !wake.isActive())
            wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
    }
    return done ? done() : true;
}

void PumpMessagesFor(int ms, bool userInput, const QWidget* inputTo)
{
    if (ms > 0)
        PumpMessagesUntil(nullptr, ms, userInput, inputTo);
}

bool WaitUntilPainted(QWidget* window, int capMs)
{
    if (!window || !window->isVisible())
        return false;
    QWindow* handle = window->windowHandle();
    // The expose event paints the window (the widgets' backing store is
    // flushed when it is handled); a repaint before it goes nowhere.
    const bool exposed = PumpMessagesUntil([handle] { return handle && handle->isExposed(); }, capMs, false);
    if (exposed)
        window->repaint();
    return exposed;
}

namespace {

// Notes, for one window, a paint of any of its widgets made while the
// window system shows it, and when it was last exposed.
class PaintSeen : public QObject {
public:
    explicit PaintSeen(QWidget* window) : m_window(window) { sinceExposed.start(); }
    bool seen = false;
    QElapsedTimer sinceExposed;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        QWindow* handle = m_window->windowHandle();
        if (e->type() == QEvent::Expose && o == handle)
            sinceExposed.restart();
        // A window restored from minimised paints as soon as its state says
        // so, before the window manager has put it back: that paint reaches
        // no screen.
        if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->window() == m_window &&
            handle && handle->isExposed())
            seen = true;
        return false;
    }

private:
    QWidget* m_window;
};

// A window manager's restore exposes the window more than once (mapped in
// its frame, then the frame shown at its place, some 150 ms apart); each
// later exposure is painted from what the window has drawn, but only while
// this thread dispatches. The restore is taken as done once the window has
// painted and no exposure has come for this long.
constexpr qint64 kRestoreSettledMs = 300;

}  // namespace

bool WaitUntilRepainted(QWidget* window, int capMs)
{
    if (!window || !window->isVisible() || !QCoreApplication::instance())
        return false;
    PaintSeen paints(window);
    QCoreApplication::instance()->installEventFilter(&paints);
    QWindow* handle = window->windowHandle();
    // The quiet time ends with no event at all: a tick wakes the pump.
    QTimer tick;
    tick.start(50);
    bool asked = false;
    const bool painted = PumpMessagesUntil(
        [&] {
            if (paints.seen)
                return paints.sinceExposed.elapsed() >= kRestoreSettledMs;
            // Shown again: the whole window is painted, whatever the
            // exposure itself repainted.
            if (!asked && handle && handle->isExposed() && !window->isMinimized()) {
                asked = true;
                window->update();
            }
            return false;
        },
        capMs, false);
    QCoreApplication::instance()->removeEventFilter(&paints);
    return painted || paints.seen;
}

bool WaitAndPumpMessages(int n)
{
    PumpMessagesFor(n * 10, true);
    return true;
}

bool PumpWindowMessages(QWidget*)
{
    // Qt keeps one queue per thread: dispatching what is pending covers the
    // window's own messages.
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    return true;
}

// The program behaves as it did on the NT family of systems.
int GetOSPlatform() { return 2; }

bool IsSmallScreen()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s)
        return false;
    const QSize size = s->size();
    return size.height() < 481 && size.width() < 641;
}

// Linux desktops have no taskbar window that the program could re-stack;
// the window manager keeps panels out of the way by itself.
int MakeTaskbarNotTopmost() { return 0; }
// No taskbar window to hide (see above).
void HideTaskbar() {}
// No taskbar window to show again (see above).
void ShowTaskbar() {}
// Nothing was made not-topmost, so nothing to restore (see above).
void RestoreTaskbarTopmost() {}

std::string LanguageIdToCode(int id)
{
    switch (id) {
    case 4: return "chi";
    case 7: return "deu";
    case 9: return "enu";
    case 10: return "esp";
    case 12: return "fra";
    case 16: return "ita";
    case 17: return "jpn";
    case 18: return "kor";
    default: return "enu";
    }
}

int GetUserPrimaryLanguageId()
{
    // LC_ALL, LC_MESSAGES and LANG name the user's language, e.g. "de_DE.UTF-8".
    std::string lang;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            lang = v;
            break;
        }
    }
    std::string two = lang.substr(0, lang.find_first_of("_.@"));
    if (two == "zh") return 4;
    if (two == "de") return 7;
    if (two == "en") return 9;
    if (two == "es") return 10;
    if (two == "fr") return 12;
    if (two == "it") return 16;
    if (two == "ja") return 17;
    if (two == "ko") return 18;
    if (two == "pt") return 22;
    if (two == "nl") return 19;
    if (two.empty() || two == "C" || two == "POSIX") return 9;
    return 0;  // a language the program has no id for
}

std::string GetUserLanguageCode() { return LanguageIdToCode(GetUserPrimaryLanguageId()); }
