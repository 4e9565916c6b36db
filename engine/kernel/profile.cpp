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

// A line of the kept text: where it starts, the length of its text and of
// its line end ("\r\n", "\n", "\r", or none for the last line of a file).
// Lines are places in the one text, not copies: a large file is split
// without a string per line.
struct Line {
    size_t at = 0;
    size_t len = 0;
    size_t endLen = 0;
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
    // With room for the lines a start adds, so that they do not move it.
    if (fstat(fileno(f), &before) == 0 && before.st_size > 0)
        out.reserve(static_cast<size_t>(before.st_size) + 4096);
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
    lines.reserve(static_cast<size_t>(std::count(data.begin(), data.end(), '\n')) + 1);
    size_t pos = 0;
    while (pos < data.size()) {
        size_t e = data.find_first_of("\r\n", pos);
        Line l;
        l.at = pos;
        if (e == std::string::npos) {
            l.len = data.size() - pos;
            pos = data.size();
        } else {
            l.len = e - pos;
            l.endLen = data[e] == '\r' && e + 1 < data.size() && data[e + 1] == '\n' ? 2 : 1;
            pos = e + l.endLen;
        }
        lines.push_back(l);
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
bool SectionName(std::string_view text, std::string_view& name)
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

bool IsComment(std::string_view text)
{
    std::string_view t = Trim(text);
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// Splits a "key=value" line; false for lines without '=' and comments.
bool KeyValue(std::string_view text, std::string_view& key, std::string_view& value)
{
    if (IsComment(text))
        return false;
    size_t eq = text.find('=');
    if (eq == std::string_view::npos)
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
// keys, so that a key read is a look-up, not a walk of the file. The keys
// of a section are indexed when the section is first looked at: sections
// no one asks for (another program's, in a large file) cost one entry each,
// not one per key. Before
// each use the file is looked at (stat): the copy is used as long as the
// file is the same one, of the same size and times. A file changed in the
// same tick of the file system's clock as it was read could keep its times;
// until that tick is over its contents are read and compared instead. Our
// own rewrites carry a time that tells any later change (see Save).
// Only the first section of a name counts, and in it the first line of a
// key, as `Find` has it.
struct ParsedFile {
    std::string path;
    bool present = false;   // the file was there when last read
    bool trusted = false;   // its times tell every later change
    bool dirty = false;     // changed here, not yet written (a batch is open)
    struct stat st {};
    std::string data;       // the contents, for the comparison above
    std::vector<Line> lines;
    struct Section {
        long line = -1;            // the header line
        bool keysIndexed = false;  // its keys are in `keys`
    };
    std::unordered_map<std::string, Section> sections;  // lower-case name -> first section of it
    std::vector<long> headers;                          // every header line, in order
    std::unordered_map<std::string, long> keys;         // "section\0key", lower case -> key line
    long lastIndexed = -1;                              // the last line of a header or indexed key

    std::string_view Text(const Line& l) const { return std::string_view(data).substr(l.at, l.len); }

    // The text from line `from` on moved by `delta` bytes.
    void MoveText(size_t from, long delta)
    {
        for (size_t i = from; i < lines.size(); ++i)
            lines[i].at = static_cast<size_t>(static_cast<long>(lines[i].at) + delta);
    }

    bool Matches(const struct stat& s) const
    {
        return present && s.st_dev == st.st_dev && s.st_ino == st.st_ino && s.st_size == st.st_size &&
               SameTime(s.st_mtim, st.st_mtim) && SameTime(s.st_ctim, st.st_ctim);
    }

    void Clear()
    {
        present = trusted = dirty = false;
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
        lastIndexed = -1;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string_view name;
            if (SectionName(Text(lines[i]), name)) {
                headers.push_back(static_cast<long>(i));
                sections.emplace(LowerAscii(name), Section{static_cast<long>(i), false});
                lastIndexed = static_cast<long>(i);
            }
        }
    }

    // The end of the section whose header is line `header`.
    long SectionEnd(long header) const
    {
        const auto next = std::upper_bound(headers.begin(), headers.end(), header);
        return next == headers.end() ? static_cast<long>(lines.size()) : *next;
    }

    // Indexes the keys of section `name` (lower case), the first line of each.
    void IndexKeys(const std::string& name, Section& sec)
    {
        sec.keysIndexed = true;
        const long end = SectionEnd(sec.line);
        for (long i = sec.line + 1; i < end; ++i) {
            std::string_view k, v;
            if (KeyValue(Text(lines[static_cast<size_t>(i)]), k, v) &&
                keys.emplace(name + '\0' + LowerAscii(k), i).second)
                lastIndexed = std::max(lastIndexed, i);
        }
    }

    Location Find(const std::string& section, const std::string& key)
    {
        Location loc;
        const std::string s = LowerAscii(Trim(section));
        const auto sec = sections.find(s);
        if (sec == sections.end())
            return loc;
        if (!sec->second.keysIndexed)
            IndexKeys(s, sec->second);
        loc.sectionLine = sec->second.line;
        loc.sectionEnd = SectionEnd(loc.sectionLine);
        const auto k = keys.find(s + '\0' + LowerAscii(Trim(key)));
        if (k != keys.end())
            loc.keyLine = k->second;
        return loc;
    }

    // `count` lines were put in at line `at`: every line from there on moved.
    // Lines added after every indexed line (a new section at the end of the
    // file, a key at the end of the last one) move none of them, and the
    // index of a large file is not walked for them.
    void Shift(long at, long count)
    {
        if (at > lastIndexed)
            return;
        lastIndexed += count;
        for (auto& e : sections)
            if (e.second.line >= at)
                e.second.line += count;
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
int g_batchDepth = 0;  // open batches: writes wait for the last one to end

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
        // A copy with changes not yet written is never the one let go.
        const auto oldest = std::find_if(g_parsed.begin(), g_parsed.end(), [](const ParsedFile& f) { return !f.dirty; });
        if (g_parsed.size() >= kParsedFiles && oldest != g_parsed.end())
            g_parsed.erase(oldest);
        g_parsed.emplace_back();
        g_parsed.back().path = path;
    } else if (it + 1 != g_parsed.end()) {
        std::rotate(it, it + 1, g_parsed.end());
    }
    ParsedFile& p = g_parsed.back();
    out = &p;
    // Until the batch that changed it ends, the kept copy is the settings.
    if (p.dirty)
        return ReadResult::Ok;

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
    KeyValue(p->Text(p->lines[static_cast<size_t>(loc.keyLine)]), k, v);
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

// Writes the kept copy `p` as the file's new contents (g_parsedMutex held).
// Should that fail, the copy is dropped, and the next use reads the file.
//
// The new file is stamped, before it takes the old one's place, with a
// modification time that no later change can carry: a moment before this
// rewrite began. Any write to the file after it is in place, by hand or by
// another program, gives it a time of its own, and the file's look alone
// tells the change, even within the same tick of the file system's clock.
// The stamp is set while the file is still ours alone, so it never covers
// another's change. Where the file system does not keep the stamp exactly,
// or the file in place is no longer the one written, the copy is not
// trusted and the next use compares the contents.
bool Save(ParsedFile& p)
{
    p.dirty = false;
    timespec stamp = CoarseNow();
    if (stamp.tv_nsec > 0) {
        --stamp.tv_nsec;
    } else {
        --stamp.tv_sec;
        stamp.tv_nsec = 999999999;
    }
    struct stat written {};
    struct stat st {};
    if (!ReplaceFileContents(p.path, p.data, &stamp, &written) || ::stat(p.path.c_str(), &st) != 0) {
        const int saved = errno;
        p.Clear();
        errno = saved;
        return false;
    }
    p.present = true;
    p.st = st;
    p.trusted = SameTime(written.st_mtim, stamp) && st.st_dev == written.st_dev && st.st_ino == written.st_ino &&
                st.st_size == written.st_size && SameTime(st.st_mtim, stamp);
    return true;
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
        if (l.endLen) {
            eol = p->data.substr(l.at + l.len, l.endLen);
            break;
        }
    }

    // The kept copy is changed as the file will be, and written (at once,
    // or at the end of the batch open): the rest of the text stays as it
    // stands around the changed lines, not put together again line by line.
    Location loc = p->Find(section, key);
    if (loc.keyLine >= 0) {
        Line& l = lines[static_cast<size_t>(loc.keyLine)];
        std::string_view k, v;
        KeyValue(p->Text(l), k, v);
        // A key that already holds the value: the file stays as it is.
        if (v == value)
            return true;
        const std::string text = std::string(k) + "=" + value;
        p->data.replace(l.at, l.len, text);
        const long delta = static_cast<long>(text.size()) - static_cast<long>(l.len);
        l.len = text.size();
        p->MoveText(static_cast<size_t>(loc.keyLine) + 1, delta);
    } else {
        std::vector<std::string> added;
        long at;
        if (loc.sectionLine < 0) {
            added.push_back("[" + section + "]");
            at = static_cast<long>(lines.size());
        } else {
            // After the section's last non-blank line, before trailing blanks.
            at = loc.sectionEnd;
            while (at - 1 > loc.sectionLine && Trim(p->Text(lines[static_cast<size_t>(at - 1)])).empty())
                --at;
        }
        added.push_back(key + "=" + value);
        const size_t offset = static_cast<size_t>(at) < lines.size() ? lines[static_cast<size_t>(at)].at : p->data.size();
        std::string changed;
        if (at > 0 && lines[static_cast<size_t>(at - 1)].endLen == 0) {
            // The last line had no line end: it gets one.
            changed = eol;
            lines[static_cast<size_t>(at - 1)].endLen = eol.size();
        }
        std::vector<Line> put;
        for (const std::string& t : added) {
            put.push_back({offset + changed.size(), t.size(), eol.size()});
            changed += t;
            changed += eol;
        }
        p->data.insert(offset, changed);
        p->MoveText(static_cast<size_t>(at), static_cast<long>(changed.size()));
        lines.insert(lines.begin() + at, put.begin(), put.end());
        const long count = static_cast<long>(put.size());
        const auto breaks = [](const std::string& t) { return t.find_first_of("\r\n") != std::string::npos; };
        if (breaks(section) || breaks(key)) {
            // Names holding a line end: the file reads back as other lines.
            lines = SplitLines(p->data);
            p->Index();
        } else {
            p->Shift(at, count);
            // The lines put in, indexed as a reading of the file would index them.
            std::string current = loc.sectionLine >= 0 ? LowerAscii(Trim(section)) : std::string();
            bool active = loc.sectionLine >= 0;
            for (long i = at; i < at + count; ++i) {
                const std::string_view text = p->Text(lines[static_cast<size_t>(i)]);
                std::string_view name, k, v;
                if (SectionName(text, name)) {
                    p->headers.insert(std::upper_bound(p->headers.begin(), p->headers.end(), i), i);
                    current = LowerAscii(name);
                    // A section made here: its keys are the lines put in.
                    active = p->sections.emplace(current, ParsedFile::Section{i, true}).second;
                    p->lastIndexed = std::max(p->lastIndexed, i);
                } else if (active && KeyValue(text, k, v)) {
                    p->keys.emplace(current + '\0' + LowerAscii(k), i);
                    p->lastIndexed = std::max(p->lastIndexed, i);
                }
            }
        }
    }
    if (g_batchDepth > 0) {
        p->dirty = true;
        return true;
    }
    return Save(*p);
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

void BeginIniProfileBatch()
{
    std::lock_guard<std::mutex> lock(g_parsedMutex);
    ++g_batchDepth;
}

bool EndIniProfileBatch()
{
    std::lock_guard<std::mutex> lock(g_parsedMutex);
    if (g_batchDepth > 0)
        --g_batchDepth;
    if (g_batchDepth > 0)
        return true;
    bool ok = true;
    for (ParsedFile& p : g_parsed)
        if (p.dirty)
            ok = Save(p) && ok;
    return ok;
}

bool CanSaveIniProfile()
{
    const std::string path = GetIniProfilePath();
    if (path.empty())
        return true;
    struct stat st {};
    const size_t size = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
    // Room for a whole new copy beside the old one, and for the lines a
    // start adds to it.
    return CanReplaceFile(path, size + 1024);
}
