#include "profile.h"

#include "filereplace.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_profileMutex;
std::string g_profilePath;

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", "\r" or "" for the last line of a file
};

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file. A file that is not there is Missing; one that is
// there but cannot be read whole is Failed, so that a write never replaces
// a file whose contents it could not see.
// `st`, when given, receives the file's state once it was read.
ReadResult ReadFile(const std::string& path, std::string& out, struct stat* st = nullptr)
{
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat before {};
    if (fstat(fileno(f), &before) == 0 && before.st_size > 0)
        out.reserve(static_cast<size_t>(before.st_size));
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const bool failed = std::ferror(f) != 0 || (st && fstat(fileno(f), st) != 0);
    std::fclose(f);
    return failed ? ReadResult::Failed : ReadResult::Ok;
}

std::vector<Line> SplitLines(const std::string& data)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t e = data.find_first_of("\r\n", pos);
        Line l;
        if (e == std::string::npos) {
            l.text = data.substr(pos);
            pos = data.size();
        } else {
            l.text = data.substr(pos, e - pos);
            if (data[e] == '\r' && e + 1 < data.size() && data[e + 1] == '\n')
                l.end = "\r\n";
            else
                l.end = std::string(1, data[e]);
            pos = e + l.end.size();
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

std::string_view Trim(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// The section name of a "[name]" line, or false when the line is not one.
bool SectionName(const std::string& text, std::string_view& name)
{
    std::string_view t = Trim(text);
    if (t.empty() || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool IsComment(const std::string& text)
{
    std::string_view t = Trim(text);
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// Splits a "key=value" line; false for lines without '=' and comments.
bool KeyValue(const std::string& text, std::string_view& key, std::string_view& value)
{
    if (IsComment(text))
        return false;
    size_t eq = text.find('=');
    if (eq == std::string::npos)
        return false;
    std::string_view all(text);
    key = Trim(all.substr(0, eq));
    value = Trim(all.substr(eq + 1));
    return !key.empty();
}

struct Location {
    long sectionLine = -1;  // index of the section header
    long sectionEnd = -1;   // index one past the section's last line
    long keyLine = -1;      // index of the key's line
};

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A settings file read once and kept with an index of its sections and
// keys, so that a key read is a look-up, not a walk of the file. Before
// each use the file is looked at (stat): the copy is used as long as the
// file is the same one, of the same size and times. A file changed in the
// same tick of the file system's clock as it was read could keep its times;
// until that tick is over its contents are read and compared instead.
// Only the first section of a name counts, and in it the first line of a
// key, as `Find` has it.
struct ParsedFile {
    std::string path;
    bool present = false;   // the file was there when last read
    bool trusted = false;   // its times tell every later change
    struct stat st {};
    std::string data;       // the contents, for the comparison above
    std::vector<Line> lines;
    std::unordered_map<std::string, long> sections;  // lower-case name -> header line
    std::vector<long> headers;                       // every header line, in order
    std::unordered_map<std::string, long> keys;      // "section\0key", lower case -> key line

    bool Matches(const struct stat& s) const
    {
        return present && s.st_dev == st.st_dev && s.st_ino == st.st_ino && s.st_size == st.st_size &&
               SameTime(s.st_mtim, st.st_mtim) && SameTime(s.st_ctim, st.st_ctim);
    }

    void Clear()
    {
        present = trusted = false;
        data.clear();
        lines.clear();
        sections.clear();
        headers.clear();
        keys.clear();
    }

    void Index()
    {
        sections.clear();
        headers.clear();
        keys.clear();
        std::string current;
        bool active = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string_view name;
            if (SectionName(lines[i].text, name)) {
                headers.push_back(static_cast<long>(i));
                current = LowerAscii(name);
                active = sections.emplace(current, static_cast<long>(i)).second;
                continue;
            }
            std::string_view k, v;
            if (active && KeyValue(lines[i].text, k, v))
                keys.emplace(current + '\0' + LowerAscii(k), static_cast<long>(i));
        }
    }

    Location Find(const std::string& section, const std::string& key) const
    {
        Location loc;
        const std::string s = LowerAscii(Trim(section));
        const auto sec = sections.find(s);
        if (sec == sections.end())
            return loc;
        loc.sectionLine = sec->second;
        const auto next = std::upper_bound(headers.begin(), headers.end(), loc.sectionLine);
        loc.sectionEnd = next == headers.end() ? static_cast<long>(lines.size()) : *next;
        const auto k = keys.find(s + '\0' + LowerAscii(Trim(key)));
        if (k != keys.end())
            loc.keyLine = k->second;
        return loc;
    }

    // `count` lines were put in at line `at`: every line from there on moved.
    void Shift(long at, long count)
    {
        for (auto& e : sections)
            if (e.second >= at)
                e.second += count;
        for (long& h : headers)
            if (h >= at)
                h += count;
        for (auto& e : keys)
            if (e.second >= at)
                e.second += count;
    }
};

std::mutex g_parsedMutex;
std::vector<ParsedFile> g_parsed;  // the few files read last, the latest at the back
constexpr size_t kParsedFiles = 4;

timespec CoarseNow()
{
    timespec t {};
    clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return t;
}

// The kept copy of `path`, brought up to date with the file (g_parsedMutex
// held). Missing: no file (the copy is empty); Failed: there but not
// readable whole (the copy is empty too).
ReadResult Refresh(const std::string& path, ParsedFile*& out)
{
    auto it = std::find_if(g_parsed.begin(), g_parsed.end(), [&](const ParsedFile& p) { return p.path == path; });
    if (it == g_parsed.end()) {
        if (g_parsed.size() >= kParsedFiles)
            g_parsed.erase(g_parsed.begin());
        g_parsed.emplace_back();
        g_parsed.back().path = path;
    } else if (it + 1 != g_parsed.end()) {
        std::rotate(it, it + 1, g_parsed.end());
    }
    ParsedFile& p = g_parsed.back();
    out = &p;

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const bool missing = errno == ENOENT;
        p.Clear();
        return missing ? ReadResult::Missing : ReadResult::Failed;
    }
    if (p.trusted && p.Matches(st))
        return ReadResult::Ok;

    // Taken before reading: a change made after it gets a later time.
    const timespec readAt = CoarseNow();
    std::string data;
    const ReadResult r = ReadFile(path, data, &st);
    if (r != ReadResult::Ok) {
        p.Clear();
        return r;
    }
    if (!p.present || data != p.data) {
        p.data = std::move(data);
        p.lines = SplitLines(p.data);
        p.Index();
    }
    p.present = true;
    p.st = st;
    p.trusted = Before(st.st_mtim, readAt) && Before(st.st_ctim, readAt);
    return ReadResult::Ok;
}

bool LookUpIn(const std::string& path, const std::string& section, const std::string& key,
              std::string& value)
{
    if (path.empty())
        return false;
    std::lock_guard<std::mutex> lock(g_parsedMutex);
    ParsedFile* p = nullptr;
    if (Refresh(path, p) != ReadResult::Ok)
        return false;
    const Location loc = p->Find(section, key);
    if (loc.keyLine < 0)
        return false;
    std::string_view k, v;
    KeyValue(p->lines[static_cast<size_t>(loc.keyLine)].text, k, v);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    value.assign(v);
    return true;
}

bool LookUp(const std::string& section, const std::string& key, std::string& value)
{
    return LookUpIn(g_profilePath, section, key, value);
}

// A key's text as a number: 0 when it does not start with one, clamped to int.
int TextToInt(const std::string& value)
{
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(value.c_str(), &end, 10);
    if (end == value.c_str())
        return 0;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool Store(const std::string& section, const std::string& key, const std::string& value)
{
    if (g_profilePath.empty())
        return false;
    std::lock_guard<std::mutex> lock(g_parsedMutex);
    ParsedFile* p = nullptr;
    if (Refresh(g_profilePath, p) == ReadResult::Failed)
        return false;
    std::vector<Line>& lines = p->lines;

    // New lines follow the file's own line ends; a new file gets CR LF.
    std::string eol = "\r\n";
    for (const Line& l : lines) {
        if (!l.end.empty()) {
            eol = l.end;
            break;
        }
    }

    // The kept copy is changed as the file will be; should the write fail,
    // it is dropped, and the next use reads the file again.
    Location loc = p->Find(section, key);
    // The lines from `spliceAt` on that stood for `oldBytes` of the file
    // now are `newCount` lines: the rest of the text is copied as it stands,
    // not put together again line by line.
    long spliceAt = 0, newCount = 0;
    size_t oldBytes = 0;
    if (loc.keyLine >= 0) {
        Line& l = lines[static_cast<size_t>(loc.keyLine)];
        std::string_view k, v;
        KeyValue(l.text, k, v);
        std::string text = std::string(k) + "=" + value;
        spliceAt = loc.keyLine;
        oldBytes = l.text.size() + l.end.size();
        newCount = 1;
        l.text = std::move(text);
    } else {
        std::vector<Line> added;
        long at;
        if (loc.sectionLine < 0) {
            added.push_back({"[" + section + "]", eol});
            at = static_cast<long>(lines.size());
        } else {
            // After the section's last non-blank line, before trailing blanks.
            at = loc.sectionEnd;
            while (at - 1 > loc.sectionLine && Trim(lines[static_cast<size_t>(at - 1)].text).empty())
                --at;
        }
        added.push_back({key + "=" + value, eol});
        spliceAt = at;
        newCount = static_cast<long>(added.size());
        if (at > 0 && lines[static_cast<size_t>(at - 1)].end.empty()) {
            // The last line had no line end: it gets one, so it is written anew.
            --spliceAt;
            ++newCount;
            oldBytes = lines[static_cast<size_t>(at - 1)].text.size();
            lines[static_cast<size_t>(at - 1)].end = eol;
        }
        lines.insert(lines.begin() + at, added.begin(), added.end());
        const long count = static_cast<long>(added.size());
        const auto breaks = [](const std::string& t) { return t.find_first_of("\r\n") != std::string::npos; };
        if (breaks(section) || breaks(key)) {
            p->Index();  // names holding a line end: the file reads back as other lines
        } else {
            p->Shift(at, count);
            // The lines put in, indexed as a reading of the file would index them.
            std::string current = loc.sectionLine >= 0 ? LowerAscii(Trim(section)) : std::string();
            bool active = loc.sectionLine >= 0;
            for (long i = at; i < at + count; ++i) {
                const std::string& text = lines[static_cast<size_t>(i)].text;
                std::string_view name, k, v;
                if (SectionName(text, name)) {
                    p->headers.insert(std::upper_bound(p->headers.begin(), p->headers.end(), i), i);
                    current = LowerAscii(name);
                    active = p->sections.emplace(current, i).second;
                } else if (active && KeyValue(text, k, v)) {
                    p->keys.emplace(current + '\0' + LowerAscii(k), i);
                }
            }
        }
    }

    size_t offset = 0;
    for (long i = 0; i < spliceAt; ++i)
        offset += lines[static_cast<size_t>(i)].text.size() + lines[static_cast<size_t>(i)].end.size();
    std::string out;
    out.reserve(p->data.size() + value.size() + section.size() + key.size() + 8);
    out.append(p->data, 0, offset);
    for (long i = spliceAt; i < spliceAt + newCount; ++i) {
        out += lines[static_cast<size_t>(i)].text;
        out += lines[static_cast<size_t>(i)].end;
    }
    out.append(p->data, offset + oldBytes, std::string::npos);
    const timespec writtenAt = CoarseNow();
    struct stat st {};
    if (!ReplaceFileContents(g_profilePath, out) || ::stat(g_profilePath.c_str(), &st) != 0) {
        const int saved = errno;
        p->Clear();
        errno = saved;
        return false;
    }
    p->data = std::move(out);
    p->present = true;
    p->st = st;
    p->trusted = Before(st.st_mtim, writtenAt) && Before(st.st_ctim, writtenAt);
    return true;
}

}  // namespace

std::string GetExecutableFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void SetIniProfileFile(const std::string& folder)
{
    std::string dir = folder.empty() ? GetExecutableFolder() : folder;
    if (dir.back() != '/')
        dir += '/';
    std::lock_guard<std::mutex> lock(g_profileMutex);
    g_profilePath = dir + "ZorqMMI.ini";
}

std::string GetIniProfilePath()
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    return g_profilePath;
}

bool IsIniProfileReadable()
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    if (g_profilePath.empty())
        return true;
    std::lock_guard<std::mutex> parsed(g_parsedMutex);
    ParsedFile* p = nullptr;
    return Refresh(g_profilePath, p) != ReadResult::Failed;
}

int GetIniProfileInt(const std::string& section, const std::string& key, int def)
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    std::string value;
    if (!LookUp(section, key, value))
        return def;
    return TextToInt(value);
}

int GetIniFileInt(const std::string& path, const std::string& section, const std::string& key,
                  int def)
{
    std::string value;
    if (!LookUpIn(path, section, key, value))
        return def;
    return TextToInt(value);
}

bool WriteIniProfileInt(const std::string& section, const std::string& key, int value)
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    return Store(section, key, std::to_string(value));
}

std::string GetIniProfileString(const std::string& section, const std::string& key,
                                const std::string& def)
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    std::string value;
    if (!LookUp(section, key, value))
        return def;
    return value;
}

bool WriteIniProfileString(const std::string& section, const std::string& key,
                           const std::string& text)
{
    std::lock_guard<std::mutex> lock(g_profileMutex);
    // A value cannot hold a line end: it would split the key in two.
    std::string clean;
    clean.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n')
            clean += c;
    return Store(section, key, clean);
}
