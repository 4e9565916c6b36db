#include "utilities.h"

#include "dialog.h"
#include "langbundle.h"
#include "profile.h"
#include "strutil.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "archive.h"
#include "uiservices.h"

int LanguageCodeToLangId(const std::string& code)
{
    if (code == "enu") return 9;
    if (code == "fra") return 12;
    if (code == "ita") return 16;
    if (code == "deu") return 7;
    if (code == "esp") return 10;
    if (code == "chi") return 4;
    if (code == "jpn") return 17;
    if (code == "kor") return 18;
    return 9;
}

std::string GetLanguageSetting() { return GetIniProfileString("intl", "sLanguage", ""); }

void SetLanguageSetting(const std::string& code) { WriteIniProfileString("intl", "sLanguage", code); }

bool IsDialChar(char c)
{
    return (c >= '0' && c <= '9') || c == 'p' || c == '+' || c == '*' || c == '#';
}

void FilterDialChars(const std::string& in, std::string& out)
{
    out.clear();
    bool plusSeen = false;
    for (char c : in) {
        if (!IsDialChar(c))
            continue;
        if (c == '+') {
            if (plusSeen)
                continue;
            plusSeen = true;
        }
        out += c;
    }
}

// ---- dates ----------------------------------------------------------------

namespace {

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const long kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

struct LocaleFormat {
    const char* dateOrder;  // "MDY", "DMY", "YMD"
    char dateSep;
    bool padDate;
    char timeSep;
    bool twelveHour;
    bool padHour;
    const char* currency;
    int currencyPos;  // 0 before, 1 after, 2 before + blank, 3 after + blank
};

LocaleFormat FormatFor(int locale)
{
    switch (locale & 0x3FF) {
    case 12: return {"DMY", '/', true, ':', false, true, "\xE2\x82\xAC", 3};
    case 7: return {"DMY", '.', true, ':', false, true, "\xE2\x82\xAC", 3};
    case 16: return {"DMY", '/', true, '.', false, false, "\xE2\x82\xAC", 2};
    case 10: return {"DMY", '/', true, ':', false, false, "\xE2\x82\xAC", 3};
    case 17: return {"YMD", '/', true, ':', false, false, "\xC2\xA5", 0};
    case 4: return {"YMD", '/', false, ':', false, false, "\xC2\xA5", 0};
    case 18: return {"YMD", '-', true, ':', false, false, "\xE2\x82\xA9", 0};
    default: return {"MDY", '/', false, ':', true, false, "$", 0};
    }
}

std::string Two(int n)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02d", n);
    return b;
}

std::string DatePart(const LocaleFormat& f, int y, int m, int d)
{
    auto num = [&](int v) { return f.padDate ? Two(v) : std::to_string(v); };
    std::string sep(1, f.dateSep);
    std::string order = f.dateOrder;
    if (order == "MDY") return num(m) + sep + num(d) + sep + std::to_string(y);
    if (order == "DMY") return num(d) + sep + num(m) + sep + std::to_string(y);
    return std::to_string(y) + sep + num(m) + sep + num(d);
}

std::string TimePart(const LocaleFormat& f, int h, int mi, int s)
{
    std::string sep(1, f.timeSep);
    if (f.twelveHour) {
        int h12 = h % 12 == 0 ? 12 : h % 12;
        return std::to_string(h12) + sep + Two(mi) + sep + Two(s) + (h < 12 ? " AM" : " PM");
    }
    return (f.padHour ? Two(h) : std::to_string(h)) + sep + Two(mi) + sep + Two(s);
}

// The locale's text of a value: the date alone when it has no time, the
// time alone when its date is the zero day, else both with one blank.
std::string LocaleText(double value, int locale)
{
    int y, m, d, h, mi, s;
    SplitDateTime(value, y, m, d, h, mi, s);
    const LocaleFormat f = FormatFor(locale);
    const bool hasTime = h || mi || s;
    const bool zeroDay = y == 1899 && m == 12 && d == 30;
    if (zeroDay && hasTime)
        return TimePart(f, h, mi, s);
    if (!hasTime)
        return DatePart(f, y, m, d);
    return DatePart(f, y, m, d) + " " + TimePart(f, h, mi, s);
}

}  // namespace

double MakeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                    static_cast<unsigned>(day)) -
                                      kEpochOffset);
    double frac = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before the zero day the fraction counts away from zero, as stored dates do.
    return days >= 0 ? days + frac : days - frac;
}

void SplitDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                   int& second)
{
    double whole = std::trunc(value);
    double frac = std::fabs(value - whole);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        whole += value >= 0 ? 1 : -1;
    }
    CivilFromDays(static_cast<long>(whole) + kEpochOffset, year, month, day);
    hour = static_cast<int>(secs / 3600);
    minute = static_cast<int>((secs / 60) % 60);
    second = static_cast<int>(secs % 60);
}

std::string FormatDateText(double dateTime, int locale)
{
    std::string t = LocaleText(dateTime, locale);
    return t.substr(0, t.find(' '));
}

std::string FormatTimeText(double dateTime, int locale)
{
    int y, m, d, h, mi, s;
    SplitDateTime(dateTime, y, m, d, h, mi, s);
    if (!h && !mi && !s)
        return TimePart(FormatFor(locale), 0, 0, 0);
    std::string t = LocaleText(dateTime, locale);
    size_t blank = t.find(' ');
    bool zeroDay = y == 1899 && m == 12 && d == 30;
    if (zeroDay)
        return t;  // the text is the time alone
    return blank == std::string::npos ? std::string() : t.substr(blank + 1);
}

std::string FormatShortTimeText(double dateTime, int locale)
{
    std::string t = FormatTimeText(dateTime, locale);
    size_t sep = t.find_last_of(":.");
    if (sep == std::string::npos)
        return t;
    return t.substr(0, sep) + (sep + 3 <= t.size() ? t.substr(sep + 3) : std::string());
}

std::string FormatDateTimeText(double dateTime, int locale)
{
    return FormatDateText(dateTime, locale) + " " + FormatShortTimeText(dateTime, locale);
}

int ProgramLangId()
{
    UiServices* ui = GetUiServices();
    return LanguageCodeToLangId(ui ? ui->GetLanguage() : std::string("enu"));
}

std::string DatePattern(int locale)
{
    const LocaleFormat f = FormatFor(locale);
    const std::string d = f.padDate ? "dd" : "d", m = f.padDate ? "MM" : "M", sep(1, f.dateSep);
    const std::string order = f.dateOrder;
    if (order == "MDY") return m + sep + d + sep + "yyyy";
    if (order == "DMY") return d + sep + m + sep + "yyyy";
    return "yyyy" + sep + m + sep + d;
}

std::string FormatCurrencyText(const std::string& amount, int locale)
{
    const LocaleFormat f = FormatFor(locale);
    switch (f.currencyPos) {
    case 0: return f.currency + amount;
    case 1: return amount + f.currency;
    case 2: return std::string(f.currency) + " " + amount;
    default: return amount + " " + f.currency;
    }
}

bool ParseDateText(const std::string& text, double& out)
{
    // Fields in the order year, month, day, hour, minute, second.
    int field[6] = {1994, 1, 1, 0, 0, 0};
    int n = 0;
    std::string cur;
    bool any = false;
    auto flush = [&]() -> bool {
        if (cur.empty())
            return true;
        if (n >= 6 || cur.size() > 9)
            return false;
        field[n++] = std::atoi(cur.c_str());
        cur.clear();
        any = true;
        return true;
    };
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            cur += c;
        } else if (std::strchr("-:/. ", c)) {
            // The blank between date and time separates fields too.
            if (!flush())
                return false;
        } else {
            return false;
        }
    }
    if (!flush() || !any)
        return false;
    const int y = field[0], m = field[1], d = field[2], h = field[3], mi = field[4], s = field[5];
    // Hour 24 is not a time of day: it is refused like any other hour past 23.
    if (h > 23 || mi > 59 || s > 59)
        return false;
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m))
        return false;
    out = MakeDateTime(y, m, d, h, mi, s);
    return true;
}

bool CheckDateText(const std::string& text)
{
    double v;
    return ParseDateText(text, v);
}

std::string FormatHourMinute(double dateTime)
{
    int y, m, d, h, mi, s;
    SplitDateTime(dateTime, y, m, d, h, mi, s);
    return Two(h) + ":" + Two(mi);
}

void CapitalizeFirst(std::string& text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
}

int CountChar(const std::string& text, char c)
{
    int n = 0;
    for (char x : text)
        n += x == c;
    return n;
}

void ReplaceAppName(std::string& text)
{
    const std::string tag = "[APP_NAME]";
    size_t pos = 0;
    while ((pos = text.find(tag, pos)) != std::string::npos) {
        text.replace(pos, tag.size(), kProductName);
        pos += std::strlen(kProductName);
    }
}

// ---- windows and resources --------------------------------------------------

void DisableWindow(QWidget* window)
{
    if (window && window->isEnabled())
        window->setEnabled(false);
}

void EnableAndActivateWindow(QWidget* window)
{
    if (!window)
        return;
    window->setEnabled(true);
    if (!window->isActiveWindow())
        window->activateWindow();
}

namespace {
bool g_cursorHidden = false;
QWidget* g_waitWindow = nullptr;
}  // namespace

void ShowMouseCursor(bool show)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    if (show && g_cursorHidden) {
        QApplication::restoreOverrideCursor();
        g_cursorHidden = false;
    } else if (!show && !g_cursorHidden) {
        QApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
        g_cursorHidden = true;
    }
}

void ShowWaitWindow(int show)
{
    if (show == 1) {
        if (g_waitWindow || !qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        auto* dlg = new CDialog(241);
        dlg->CreateFromTemplate();
        dlg->setModal(false);
        dlg->show();
        QCoreApplication::processEvents();
        g_waitWindow = dlg;
    } else if (show == 0) {
        if (!g_waitWindow)
            return;
        delete g_waitWindow;
        g_waitWindow = nullptr;
    }
}

QWidget* GetWaitWindow() { return g_waitWindow; }

CLanguageBundle* GetResourceHandle() { return GetResourceModule(); }

QIcon LoadAppIcon(int iconId)
{
    return LoadAppIconByName(QString::number(iconId));
}

namespace {

// The program's pictures are built into it and never change, so each is
// loaded once for the run. An icon keeps the pixmaps it draws in the shared
// pixmap cache under its own key: a fresh icon at every paint of the status
// pictures filled that cache (up to its limit) with copies of the same few
// pixmaps, memory that grew with every paint.
QHash<QString, QIcon>* g_appIcons = nullptr;

void ForgetAppIcons()
{
    delete g_appIcons;
    g_appIcons = nullptr;
}

}  // namespace

QIcon LoadIconFile(const QString& path)
{
    if (path.isEmpty())
        return QIcon();
    if (!g_appIcons) {
        g_appIcons = new QHash<QString, QIcon>;
        // Pixmaps go before the application that made them.
        qAddPostRoutine(ForgetAppIcons);
    }
    auto found = g_appIcons->constFind(path);
    if (found != g_appIcons->constEnd())
        return *found;
    const QIcon icon = QFile::exists(path) ? QIcon(path) : QIcon();
    g_appIcons->insert(path, icon);
    return icon;
}

QIcon LoadAppIconByName(const QString& name)
{
    return LoadIconFile(QStringLiteral(":/zorqmmi/pictures/%1.png").arg(name));
}

QPixmap LoadAppBitmap(int bitmapId)
{
    return QPixmap(QStringLiteral(":/zorqmmi/pictures/bitmap%1.png").arg(bitmapId));
}

// ---- paths and files --------------------------------------------------------

std::string GetFileNamePart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GetPathDirectory(const std::string& path)
{
    return path.substr(0, path.size() - GetFileNamePart(path).size());
}

std::string GetBaseName(const std::string& path)
{
    std::string p = path;
    size_t dot = p.rfind('.');
    if (dot != std::string::npos)
        p = p.substr(0, dot);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

void MakeUniqueFileName(std::string& name, const std::string& extension)
{
    if (!FileExists(name + extension))
        return;
    for (unsigned long n = 2;; ++n) {
        std::string candidate = name + std::to_string(n);
        if (!FileExists(candidate + extension)) {
            name = candidate;
            return;
        }
    }
}

std::string MakeTempName(const std::string& folder, const std::string& extension)
{
    std::random_device rd;
    std::mt19937 gen(rd() ^ static_cast<unsigned>(std::time(nullptr)));
    std::uniform_int_distribution<int> letter(0, 25);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name(8, 'A');
        for (char& c : name)
            c = static_cast<char>('A' + letter(gen));
        std::string path = folder + name + "." + extension;
        // Creating with O_EXCL claims the name: no other process can take it
        // between the check and the use. The file the caller writes under
        // this name keeps its mode, so it is that of any new file of the
        // user's (0666 less the umask).
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return std::string();
    }
    return std::string();
}

namespace {

// 8 capital letters + ".tmp": the name MakeTempName gives a new melody's
// text before it takes its ".MDY" name.
bool IsFreshMelodyTempName(const std::string& name)
{
    return name.size() == 12 && name.compare(8, 4, ".tmp") == 0 &&
           std::all_of(name.begin(), name.begin() + 8, [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool IsLeftTemporaryName(const std::string& name)
{
    if (IsFreshMelodyTempName(name))
        return true;
    // A whole file written beside the one it replaces: its name + ".tmp" +
    // 6 of [a-z0-9] (WriteFileAtomically). The melody saves write either a
    // melody file ("*.MDY", of any case, as the list reads them) or a fresh
    // melody's temporary text; no other name is theirs.
    if (name.size() <= 10 || name.compare(name.size() - 10, 4, ".tmp") != 0 ||
        !std::all_of(name.end() - 6, name.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }))
        return false;
    const std::string replaced = name.substr(0, name.size() - 10);
    if (IsFreshMelodyTempName(replaced))
        return true;
    if (replaced.size() <= 4)
        return false;
    std::string extension = replaced.substr(replaced.size() - 4);
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension == ".MDY";
}

}  // namespace

int RemoveLeftTemporaryFiles(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsLeftTemporaryName(name))
            continue;
        const std::string path = NormalizeDirectory(folder) + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

void PlayBeep(int frequency, double durationMs)
{
    const long ms = static_cast<long>(durationMs);
    if (frequency != 0 && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
    PumpMessagesFor(static_cast<int>(ms), false);
}

void TrimTrailingBlanks(char* text, int maximum)
{
    if (!text || maximum <= 0)
        return;
    int n = static_cast<int>(strnlen(text, static_cast<size_t>(maximum)));
    while (n > 0 && text[n - 1] == ' ')
        text[--n] = '\0';
}

int OpenFileWithRetry(std::FILE*& file, const std::string& path)
{
    file = nullptr;
    int cause = fileNone;
    for (int attempt = 1; attempt <= 30; ++attempt) {
        file = std::fopen(path.c_str(), "rb");
        if (file)
            return fileNone;
        switch (errno) {
        case ENOENT: return fileNotFound;
        case EACCES: case EPERM: cause = fileAccessDenied; break;
        case ENOTDIR: case ENAMETOOLONG: cause = fileBadPath; break;
        case EMFILE: case ENFILE: cause = fileTooManyOpen; break;
        default: cause = fileGeneric; break;
        }
        if (cause != fileAccessDenied)
            break;
        // Another program holds the file: the interface stays alive
        // between the attempts (a worker thread just sleeps).
        if (attempt < 30)
            PumpMessagesFor(1000, false);
    }
    std::string text = "ERR OPEN FILE Err: " + std::to_string(cause) + " " + path + "\n";
    if (cause == fileAccessDenied)
        text += "Timeout on Access error";
    if (UiServices* ui = GetUiServices())
        ui->DoMessageBox(QString::fromStdString(text), 0, 0);
    return cause;
}

long GetFileSizeByName(const std::string& path)
{
    glob_t g{};
    long size = 0;
    if (::glob(path.c_str(), GLOB_NOSORT, nullptr, &g) == 0 && g.gl_pathc > 0) {
        struct stat st;
        if (::stat(g.gl_pathv[0], &st) == 0)
            size = static_cast<long>(st.st_size);
    }
    ::globfree(&g);
    return size;
}

int ReadTextLine(std::FILE* file, char* buffer, int maximum)
{
    if (!buffer)
        return -1;
    if (!file) {
        buffer[0] = '\0';
        return -1;
    }
    int n = 0;
    bool ended = false;
    if (maximum <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    while (n < maximum) {
        int c = std::fgetc(file);
        if (c == EOF) {
            ended = true;
            break;
        }
        if (c == '\n')
            break;
        if (c < 32)
            continue;
        buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = '\0';
    if (ended && n == 0)
        return -1;
    const int stored = n;
    while (n > 0 && buffer[n - 1] == ' ')
        buffer[--n] = '\0';
    return stored;
}

bool ReadFileBytes(const std::string& path, void* buffer, size_t count)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    size_t got = std::fread(buffer, 1, count, f);
    std::fclose(f);
    return got == count;
}

bool WriteFileBytes(const std::string& path, const void* buffer, size_t count)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    return WriteFileAtomically(path, std::vector<uint8_t>(p, p + count));
}

bool WriteTextLine(const std::string& text, std::FILE* file)
{
    if (!file)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
        return false;
    return std::fwrite("\r\n", 1, 2, file) == 2;
}

void DeleteFileIfExists(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        ::unlink(path.c_str());
}

bool DeleteFilesInFolder(const std::string& folder, const std::string& pattern)
{
    if (folder.empty())
        return false;
    std::string dir = folder.back() == '/' ? folder : folder + "/";
    glob_t g{};
    if (::glob((dir + pattern).c_str(), GLOB_NOSORT, nullptr, &g) == 0) {
        for (size_t i = 0; i < g.gl_pathc; ++i) {
            struct stat st;
            if (::lstat(g.gl_pathv[i], &st) == 0 && S_ISREG(st.st_mode))
                ::unlink(g.gl_pathv[i]);
        }
    }
    ::globfree(&g);
    return true;
}
