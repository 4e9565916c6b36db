#include "profile.h"

#include "filereplace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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
ReadResult ReadFile(const std::string& path, std::string& out)
{
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const bool failed = std::ferror(f) != 0;
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

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
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

Location Find(const std::vector<Line>& lines, const std::string& section, const std::string& key)
{
    Location loc;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (SectionName(lines[i].text, name)) {
            if (loc.sectionLine >= 0) {
                loc.sectionEnd = static_cast<long>(i);
                return loc;
            }
            if (EqualNoCase(name, Trim(section)))
                loc.sectionLine = static_cast<long>(i);
            continue;
        }
        if (loc.sectionLine < 0 || loc.keyLine >= 0)
            continue;
        std::string_view k, v;
        if (KeyValue(lines[i].text, k, v) && EqualNoCase(k, Trim(key)))
            loc.keyLine = static_cast<long>(i);
    }
    if (loc.sectionLine >= 0)
        loc.sectionEnd = static_cast<long>(lines.size());
    return loc;
}

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The values of the file read last, kept while its contents stay the same:
// the file is still read at every look-up (an edit by hand is seen at
// once), but a profile of megabytes is split into keys once, not for every
// key asked for. Only the first section of a name counts, and in it the
// first line of a key, as `Find` has it.
struct ParsedFile {
    std::string path;
    std::string data;
    std::unordered_map<std::string, std::string> values;  // "section\0key", both lower case
};

std::mutex g_parsedMutex;
ParsedFile g_parsed;

bool LookUpIn(const std::string& path, const std::string& section, const std::string& key,
              std::string& value)
{
    std::string data;
    if (path.empty() || ReadFile(path, data) != ReadResult::Ok)
        return false;
    std::lock_guard<std::mutex> lock(g_parsedMutex);
    if (g_parsed.path != path || g_parsed.data != data) {
        g_parsed.values.clear();
        std::unordered_set<std::string> seen;
        std::string current;
        bool active = false;
        for (const Line& l : SplitLines(data)) {
            std::string_view name;
            if (SectionName(l.text, name)) {
                current = LowerAscii(name);
                active = seen.insert(current).second;
                continue;
            }
            std::string_view k, v;
            if (active && KeyValue(l.text, k, v))
                g_parsed.values.emplace(current + '\0' + LowerAscii(k), std::string(v));
        }
        g_parsed.path = path;
        g_parsed.data = std::move(data);
    }
    const auto it = g_parsed.values.find(LowerAscii(Trim(section)) + '\0' + LowerAscii(Trim(key)));
    if (it == g_parsed.values.end())
        return false;
    std::string_view v = it->second;
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
    std::string data;
    if (ReadFile(g_profilePath, data) == ReadResult::Failed)
        return false;
    std::vector<Line> lines = SplitLines(data);

    // New lines follow the file's own line ends; a new file gets CR LF.
    std::string eol = "\r\n";
    for (const Line& l : lines) {
        if (!l.end.empty()) {
            eol = l.end;
            break;
        }
    }

    Location loc = Find(lines, section, key);
    if (loc.keyLine >= 0) {
        Line& l = lines[static_cast<size_t>(loc.keyLine)];
        std::string_view k, v;
        KeyValue(l.text, k, v);
        l.text = std::string(k) + "=" + value;
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
        if (at > 0 && lines[static_cast<size_t>(at - 1)].end.empty())
            lines[static_cast<size_t>(at - 1)].end = eol;
        lines.insert(lines.begin() + at, added.begin(), added.end());
    }

    std::string out;
    for (const Line& l : lines) {
        out += l.text;
        out += l.end;
    }
    return ReplaceFileContents(g_profilePath, out);
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
    std::string data;
    return g_profilePath.empty() || ReadFile(g_profilePath, data) != ReadResult::Failed;
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
