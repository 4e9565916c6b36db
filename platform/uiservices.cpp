#include "uiservices.h"

#include <QDateTime>
#include <QLocale>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <system_error>

namespace {
UiServices* g_services = nullptr;
constexpr int kIdCancel = 2;
}

const std::string& UiServices::GetFolderPath() const
{
    static const std::string none;
    return none;
}

const std::string& UiServices::GetWorkDirectory() const { return GetFolderPath(); }
const std::string& UiServices::GetFilesDir() const { return GetFolderPath(); }
std::string UiServices::GetLanguage() const { return "enu"; }

UiServices* GetUiServices() { return g_services; }
void SetUiServices(UiServices* services) { g_services = services; }

QString UiLoadString(int id) { return g_services ? g_services->LoadString(id) : QString(); }

QString UiFormatString(int id, const QStringList& inserts)
{
    return g_services ? g_services->FormatString(id, inserts) : QString();
}

int UiMessageBox(const QString& text, unsigned type, unsigned helpId)
{
    return g_services ? g_services->DoMessageBox(text, type, helpId) : kIdCancel;
}

int UiMessageBoxId(int stringId, unsigned type, unsigned helpId)
{
    return g_services ? g_services->ShowMessageBox(stringId, type, helpId) : kIdCancel;
}

CLanguageBundle* UiResources() { return g_services ? g_services->GetResources() : nullptr; }

QString UiServices::DatePattern() const { return QLocale().dateFormat(QLocale::ShortFormat); }

QString UiServices::DateTimeText(const QDateTime& when) const
{
    return QLocale().toString(when, QLocale::ShortFormat);
}

QString UiDatePattern(const QLocale& locale)
{
    const QString own = locale.dateFormat(QLocale::ShortFormat);
    const bool noConvention = locale.language() == QLocale::C || own.contains(QLatin1String("MMM"));
    if (!noConvention)
        return own;
    const QString program = g_services ? g_services->DatePattern() : QString();
    // Day, month and year in numbers, never "9 12 2026".
    return program.isEmpty() || program.contains(QLatin1String("MMM")) ? QStringLiteral("yyyy-MM-dd") : program;
}

QString UiDateTimeText(const QDateTime& when)
{
    return g_services ? g_services->DateTimeText(when) : QLocale().toString(when, QLocale::ShortFormat);
}

namespace {
std::mutex g_reportedMutex;
std::set<std::pair<int, std::string>> g_reported;
}  // namespace

void UiForgetReportedFiles()
{
    std::lock_guard<std::mutex> lock(g_reportedMutex);
    g_reported.clear();
}

void UiReportFileOnce(int stringId, const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(g_reportedMutex);
        if (!g_reported.insert({stringId, path}).second)
            return;
    }
    const QString file = QString::fromLocal8Bit(path.c_str());
    if (stringId == kFileUnreadable) {
        // "Damaged, cut short or not a file" would send the user looking at
        // the file's contents when the system keeps them from the program.
        const std::string why = UiFileOpenFailure(path);
        if (!why.empty()) {
            UiMessageBox(UiFormatString(kFileUnreadableBecause, {file, QString::fromLocal8Bit(why.c_str())}));
            return;
        }
    }
    UiMessageBox(UiFormatString(stringId, {file}));
}

std::string UiFileOpenFailure(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::string();
    // Non-blocking, so that a pipe in the file's place does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return std::string();
    }
    const int cause = errno;
    if (cause == ENOENT)
        return std::string();
    return std::error_code(cause, std::generic_category()).message();
}
