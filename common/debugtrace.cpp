#include "debugtrace.h"

#include "profile.h"
#include "trace_repeats.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int gv_bDebug = 0;
std::string gv_strDebugFile;
int gv_bDebugRaw = 0;

namespace {

void AppendLine(const std::string& line)
{
    int fd = ::open(gv_strDebugFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return;  // the line is lost, silently
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

// Normal form: time, " : ", body; short form (header or empty first part):
// the body alone.
std::string Prefix(const std::string& first)
{
    if (gv_bDebugRaw || first.empty())
        return std::string();
    return FormatTraceTime(std::time(nullptr)) + " : ";
}

trace_repeats g_repeats;

void WriteRepeats(long count)
{
    if (count > 0)
        AppendLine(FormatTraceTime(std::time(nullptr)) + " : " + trace_repeats::repeat_text(count) + "\r\n");
}

// The header's lines (raw form) are written as they are.
void Emit(const std::string& prefix, const std::string& body)
{
    long ended = 0;
    const bool write = gv_bDebugRaw ? true : g_repeats.pass(body, ended);
    WriteRepeats(ended);
    if (write)
        AppendLine(prefix + body + "\r\n");
}

}  // namespace

void FlushDebugRepeats()
{
    if (gv_bDebug)
        WriteRepeats(g_repeats.take());
}

std::string FormatTraceTime(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string FormatTraceDate(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
    return buf;
}

void InitDebugFile(const std::string& programFolder)
{
    gv_bDebug = GetIniProfileInt("Pellard", "Debug", 0) != 0 ? 1 : 0;
    if (!gv_bDebug)
        return;
    gv_strDebugFile = (programFolder.empty() ? GetExecutableFolder() : programFolder) + "debug.txt";
    ::unlink(gv_strDebugFile.c_str());
    g_repeats.reset();
    gv_bDebug = 1;
    gv_bDebugRaw = 1;
    const std::time_t now = std::time(nullptr);
    const std::string stars(78, '*');
    WriteDebug(stars);
    WriteDebug("");
    WriteDebug(std::string(34, ' ') + "DEBUG FILE");
    WriteDebug("");
    WriteDebug("   Application :  Pellard Tarvel Data 1.0");
    WriteDebug("   Date        :  " + FormatTraceDate(now));
    WriteDebug("   Time        :  " + FormatTraceTime(now));
    WriteDebug(stars);
    WriteDebug("");
    WriteDebug("");
    gv_bDebugRaw = 0;
}

void WriteDebug(const std::string& s1, const std::string& s2, const std::string& s3,
                const std::string& s4)
{
    if (!gv_bDebug)
        return;
    Emit(Prefix(s1), s1 + s2 + s3 + s4);
}

void WriteDebugInt(const std::string& text, int n)
{
    if (!gv_bDebug)
        return;
    Emit(Prefix(text), text + std::to_string(n));
}

void WriteDebugInt2(const std::string& text, int first, int second)
{
    if (!gv_bDebug)
        return;
    Emit(Prefix(text), text + std::to_string(first) + " " + std::to_string(second));
}

int IsDebugMode() { return gv_bDebug; }
