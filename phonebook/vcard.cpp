#include "vcard.h"

#include "archive.h"

#include "pccharset.h"

#include <QString>
#include "strutil.h"
#include "utilities.h"
#include "zorqmmidoc.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool EqualNoCase(const std::string& a, const char* b) { return Upper(a) == Upper(b); }

void TrimSpaces(std::string& s)
{
    size_t b = 0;
    while (b < s.size() && s[b] == ' ')
        ++b;
    size_t e = s.size();
    while (e > b && s[e - 1] == ' ')
        --e;
    s = s.substr(b, e - b);
}

bool ContainsCrLf(const std::string& s) { return s.find("\r\n") != std::string::npos; }

// Position of the first ";" not directly preceded by a backslash.
size_t FindUnescapedSemicolon(const std::string& s, size_t from = 0)
{
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] == ';' && (i == 0 || s[i - 1] != '\\'))
            return i;
    return std::string::npos;
}

std::vector<std::string> SplitComponents(const std::string& value)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t p = FindUnescapedSemicolon(value, start);
        if (p == std::string::npos) {
            parts.push_back(value.substr(start));
            return parts;
        }
        parts.push_back(value.substr(start, p - start));
        start = p + 1;
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// True when the parameter list is made of `word` and ";" only.
bool OnlyWord(const std::string& params, const char* word)
{
    std::string rest = params;
    RemoveAll(rest, word);
    RemoveAll(rest, ";");
    return rest.empty() && !params.empty();
}

bool Has(const std::string& params, const char* word) { return params.find(word) != std::string::npos; }

// One property line after unfolding: the name (group removed) and the
// parameters in the plain form the field rules look at.
struct Property {
    std::string name;
    std::string params;   // upper case, bare words joined by ";"
    std::string charset;  // upper case, empty when none was given
    std::string value;
    bool qp = false;
    bool valid = false;
};

// Parameters of any version become bare words: "TYPE=WORK,VOICE" gives
// WORK;VOICE, "ENCODING=QUOTED-PRINTABLE" gives QUOTED-PRINTABLE, "PREF=1"
// gives PREF; CHARSET is kept apart; other named parameters carry nothing
// the fields use and are left out.
void NormaliseParams(const std::string& raw, Property& p)
{
    std::vector<std::string> words;
    for (std::string token : SplitComponents(Upper(raw))) {
        TrimSpaces(token);
        if (token.empty())
            continue;
        const size_t eq = token.find('=');
        if (eq == std::string::npos) {
            words.push_back(token);
            continue;
        }
        const std::string key = token.substr(0, eq);
        std::string val = token.substr(eq + 1);
        RemoveAll(val, "\"");
        if (key == "TYPE") {
            size_t start = 0;
            for (;;) {
                const size_t comma = val.find(',', start);
                std::string one = val.substr(start, comma == std::string::npos ? std::string::npos
                                                                               : comma - start);
                TrimSpaces(one);
                if (!one.empty())
                    words.push_back(one);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (key == "ENCODING") {
            if (val == "QUOTED-PRINTABLE")
                words.push_back(val);
        } else if (key == "CHARSET") {
            p.charset = val;
        } else if (key == "PREF") {
            words.push_back("PREF");
        }
    }
    for (const std::string& w : words)
        p.params += (p.params.empty() ? "" : ";") + w;
    p.qp = Has(p.params, "QUOTED-PRINTABLE");
}

Property SplitLine(const std::string& line)
{
    Property p;
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return p;
    const std::string head = line.substr(0, colon);
    p.value = line.substr(colon + 1);
    const size_t semi = FindUnescapedSemicolon(head);
    p.name = Upper(head.substr(0, semi));
    TrimSpaces(p.name);
    const size_t dot = p.name.rfind('.');
    if (dot != std::string::npos)
        p.name = p.name.substr(dot + 1);  // "item1.TEL" is a TEL of group item1
    if (semi != std::string::npos)
        NormaliseParams(head.substr(semi + 1), p);
    TrimSpaces(p.value);
    p.valid = true;
    return p;
}

// Physical lines joined into logical ones: quoted-printable soft breaks and
// the folding of later versions (a line starting with a blank continues the
// line before). Control bytes other than the line ends are dropped.
std::vector<std::string> LogicalLines(const std::string& text)
{
    std::vector<std::string> lines;
    bool qpPending = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string::npos)
            lf = text.size();
        const std::string raw = text.substr(pos, lf - pos);
        pos = lf + 1;
        const bool continues = !raw.empty() && (raw[0] == ' ' || raw[0] == '\t');
        std::string clean;
        clean.reserve(raw.size());
        for (unsigned char c : raw)
            if (c >= 0x20)
                clean += static_cast<char>(c);
        if (qpPending && !lines.empty()) {
            std::string& last = lines.back();
            TrimRight(last);
            last.pop_back();  // the soft break "="
            last += clean;
        } else if (continues && !lines.empty() && !lines.back().empty()) {
            lines.back() += clean.substr(clean.empty() || clean[0] != ' ' ? 0 : 1);
        } else {
            lines.push_back(clean);
        }
        std::string probe = lines.back();
        TrimRight(probe);
        qpPending = !probe.empty() && probe.back() == '=' &&
                    Upper(probe).find("QUOTED-PRINTABLE") != std::string::npos &&
                    probe.find(':') != std::string::npos;
    }
    for (std::string& l : lines)
        TrimRight(l);
    return lines;
}

// How the values of one card are to be taken.
struct Decoder {
    bool utf8Default = false;  // VERSION 3.0 or 4.0: UTF-8 unless told otherwise
    bool laterVersion = false; // backslash escapes of 3.0 and 4.0

    std::string operator()(const std::string& raw, const Property& p) const
    {
        std::string text = raw;
        if (laterVersion) {
            std::string out;
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    const char n = text[++i];
                    out += (n == 'n' || n == 'N') ? std::string("\r\n") : std::string(1, n);
                } else {
                    out += text[i];
                }
            }
            text = out;
        } else {
            ReplaceAll(text, "\\;", ";");
        }
        if (p.qp)
            text = QPDecode(text);
        if (p.charset == "UTF-8" || p.charset == "UTF8")
            return Utf8ToPc(text);
        if (!p.charset.empty())
            return text;
        if (utf8Default || LooksLikeUtf8(text))
            return Utf8ToPc(text);
        return text;
    }
};

}  // namespace

// ---- quoted-printable ----------------------------------------------------------

std::string QPEncode(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if ((c >= 0x20 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E)) {
            out += static_cast<char>(c);
        } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "=0D=0A=\r\n";  // an encoded line break ends the physical line
            ++i;
        } else {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string QPDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (i + 1 == text.size())
            break;  // a soft break at the very end
        const int hi = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            out += '=';  // not an escape: kept as it stands
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string FoldQPLine(const std::string& line)
{
    static const std::string kBreak = "=0D=0A=\r\n";
    std::string out;
    std::string rest = line;
    while (rest.size() > 76) {
        const size_t br = rest.find(kBreak);
        if (br == std::string::npos)
            break;
        if (br <= 69) {
            out += rest.substr(0, br + kBreak.size());
            rest.erase(0, br + kBreak.size());
            continue;
        }
        const std::string head = rest.substr(0, 75);
        const size_t space = head.rfind(' ');
        const size_t cut = space == std::string::npos ? 75 : space + 1;
        out += rest.substr(0, cut) + "=\r\n";
        rest.erase(0, cut);
    }
    return out + rest;
}

// ---- fields ------------------------------------------------------------------------

void CVCard::Clear()
{
    for (std::string& f : fields_)
        f.clear();
}

std::string CVCard::Get(Field f, bool escape) const
{
    std::string v = fields_[f];
    if (escape)
        ReplaceAll(v, ";", "\\;");
    return v;
}

void CVCard::Set(Field f, const std::string& text, bool quotedPrintable)
{
    std::string v = text;
    ReplaceAll(v, "\\;", ";");
    fields_[f] = quotedPrintable ? QPDecode(v) : v;
}

bool CVCard::operator==(const CVCard& o) const
{
    for (int i = 0; i < kFieldCount; ++i)
        if (fields_[i] != o.fields_[i])
            return false;
    return true;
}

// ---- reading -----------------------------------------------------------------------

bool CVCard::ReadFromText(const std::string& input)
{
    Clear();
    std::string text = input;
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') ||
                             (text[0] == '\xFE' && text[1] == '\xFF'))) {
        // Some programs save cards as UTF-16.
        const bool little = text[0] == '\xFF';
        std::u16string wide;
        for (size_t i = 2; i + 1 < text.size(); i += 2) {
            const unsigned char a = static_cast<unsigned char>(text[i]);
            const unsigned char b = static_cast<unsigned char>(text[i + 1]);
            wide += static_cast<char16_t>(little ? (a | (b << 8)) : ((a << 8) | b));
        }
        text = QString::fromStdU16String(wide).toStdString();
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);

    const std::vector<std::string> lines = LogicalLines(text);
    size_t i = 0;
    while (i < lines.size() && lines[i].empty())
        ++i;
    if (i == lines.size())
        return true;
    const Property begin = SplitLine(lines[i]);
    if (!begin.valid || begin.name != "BEGIN" || !EqualNoCase(begin.value, "VCARD"))
        return false;

    std::vector<Property> props;
    Decoder decode;
    for (++i; i < lines.size(); ++i) {
        Property p = SplitLine(lines[i]);
        if (!p.valid)
            continue;
        if (p.name == "END" && EqualNoCase(p.value, "VCARD"))
            break;
        if (p.name == "VERSION") {
            // Only tells how the values are written; nothing is stored.
            decode.laterVersion = !p.value.empty() && p.value[0] >= '3';
            decode.utf8Default = decode.laterVersion;
            continue;
        }
        props.push_back(std::move(p));
    }

    for (const Property& p : props) {
        const std::string& name = p.name;
        const std::string& P = p.params;
        const bool preferred = Has(P, "PREF");
        auto setIf = [&](Field f, const std::string& v) {
            if (fields_[f].empty() || preferred)
                fields_[f] = v;
        };
        if (name == "N") {
            const auto parts = SplitComponents(p.value);
            const Field order[] = {kFamilyName, kGivenName, kMiddleName};
            for (size_t k = 0; k < parts.size() && k < 3; ++k)
                fields_[order[k]] = decode(parts[k], p);
        } else if (name == "FN") {
            fields_[kFormattedName] = decode(p.value, p);
        } else if (name == "TITLE") {
            fields_[kTitle] = decode(p.value, p);
        } else if (name == "NOTE") {
            fields_[kNote] = decode(p.value, p);
        } else if (name == "ORG") {
            const size_t semi = FindUnescapedSemicolon(p.value);
            fields_[kOrgName] = decode(p.value.substr(0, semi), p);
            if (semi != std::string::npos)
                fields_[kOrgUnit] = decode(p.value.substr(semi + 1), p);
        } else if (name == "TEL") {
            std::string value = decode(p.value, p);
            if (Upper(value).compare(0, 4, "TEL:") == 0)
                value.erase(0, 4);  // a number given as a "tel:" address
            if (value.empty())
                continue;
            std::string params = P;
            // In later versions a number is a voice number unless its types
            // say otherwise.
            if (decode.laterVersion && !params.empty() && !Has(params, "VOICE") &&
                !Has(params, "FAX") && !Has(params, "MSG") && !Has(params, "VIDEO") &&
                !Has(params, "MODEM") && !Has(params, "DATA") && !Has(params, "BBS") &&
                !Has(params, "TEXT"))
                params += ";VOICE";
            if (params.empty()) {
                if (fields_[kWorkVoice].empty())
                    fields_[kWorkVoice] = value;
                continue;
            }
            if (Has(params, "FAX")) {
                if (Has(params, "WORK"))
                    setIf(kWorkFax, value);
                else if (Has(params, "HOME"))
                    setIf(kHomeFax, value);
                else if (OnlyWord(params, "FAX"))
                    setIf(kWorkFax, value);
            }
            const struct { const char* word; Field field; } voices[] = {
                {"WORK", kWorkVoice}, {"HOME", kHomeVoice}, {"CELL", kCellVoice},
                {"PAGER", kPagerVoice}};
            for (const auto& v : voices)
                if (Has(params, v.word) && (Has(params, "VOICE") || OnlyWord(params, v.word)))
                    setIf(v.field, value);
        } else if (name == "ADR") {
            if (p.value.empty())
                continue;
            const auto parts = SplitComponents(p.value);
            std::string extended, street;
            if (parts.size() >= 3) {
                extended = decode(parts[1], p);
                for (size_t k = 2; k < parts.size(); ++k)
                    street += (k > 2 ? " " : "") + decode(parts[k], p);
                TrimSpaces(extended);
                TrimSpaces(street);
            }
            if (Has(P, "HOME")) {
                fields_[kHomeStreet] = street;
            } else {
                fields_[kWorkExtended] = extended;
                fields_[kWorkStreet] = street;
            }
        } else if (name == "EMAIL") {
            const std::string value = decode(p.value, p);
            if (value.empty())
                continue;
            if (P.empty())
                fields_[kEmail] = value;
            else if (Has(P, "INTERNET"))
                setIf(kEmail, value);
            else if (OnlyWord(P, "PREF"))
                fields_[kEmail] = value;
            if (Has(P, "HOME"))
                setIf(kHomeEmail, value);
            if (Has(P, "WORK"))
                setIf(kWorkEmail, value);
        }
    }
    return true;
}

bool CVCard::ReadFromMemory(const char* bytes, size_t count)
{
    if (!bytes)
        return false;
    std::string text(bytes, count);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return ReadFromText(text);
}

namespace {

bool ReadWholeFile(const std::string& path, std::string& out)
{
    if (path.empty() || Upper(path).find(".VCF") == std::string::npos)
        return false;
    std::FILE* f = nullptr;
    if (OpenFileWithRetry(f, path) != fileNone || !f)
        return false;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

bool CVCard::ReadFromFile(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;
    return ReadFromText(text);
}

std::vector<std::string> SplitVCardText(const std::string& text)
{
    std::vector<std::string> pieces;
    size_t pos = 0;
    bool started = false;
    std::string logical;  // the property line the physical lines build
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        const size_t end = lf == std::string::npos ? text.size() : lf + 1;
        const std::string line = text.substr(pos, end - pos);
        pos = end;
        std::string probe = logical;
        TrimRight(probe);
        const bool continuesQP = !probe.empty() && probe.back() == '=' &&
                                 Upper(probe).find("QUOTED-PRINTABLE") != std::string::npos;
        std::string body = line;
        RemoveAll(body, "\r");
        RemoveAll(body, "\n");
        logical = continuesQP ? probe + body : body;
        if (!continuesQP && Upper(line.substr(0, 11)) == "BEGIN:VCARD") {
            pieces.emplace_back();
            started = true;
        }
        if (started)
            pieces.back() += line;
    }
    if (!started) {
        std::string probe = text;
        RemoveAll(probe, "\r");
        RemoveAll(probe, "\n");
        Trim(probe);
        if (!probe.empty())
            pieces.push_back(text);
    }
    return pieces;
}

bool ReadVCardsFromFile(const std::string& path, std::vector<CVCard>& cards)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    for (const std::string& piece : SplitVCardText(text)) {
        CVCard card;
        if (!card.ReadFromText(piece))
            return false;
        cards.push_back(card);
    }
    return true;
}

// ---- writing -----------------------------------------------------------------------

namespace {

// One property: plain, or quoted-printable when a value holds a line break;
// a value with characters outside ASCII goes out as UTF-8 and says so.
void AddProperty(std::string& out, const std::string& name, std::string params,
                 std::vector<std::string> values, bool qpAllowed = true)
{
    bool wide = false, breaks = false;
    for (const std::string& v : values) {
        wide = wide || HasNonAscii(v);
        breaks = breaks || ContainsCrLf(v);
    }
    if (wide) {
        for (std::string& v : values)
            v = PcToUtf8(v);
        params += (params.empty() ? "" : ";") + std::string("CHARSET=UTF-8");
    }
    const std::string head = name + (params.empty() ? "" : ";" + params);
    std::string joined;
    const bool qp = qpAllowed && breaks;
    for (size_t i = 0; i < values.size(); ++i)
        joined += (i ? ";" : "") + (qp ? QPEncode(values[i]) : values[i]);
    if (qp)
        out += FoldQPLine(head + ";QUOTED-PRINTABLE:" + joined) + "\r\n";
    else
        out += head + ":" + joined + "\r\n";
}

}  // namespace

std::string CVCard::ToText() const
{
    std::string out = "BEGIN:VCARD\r\n";
    if (!fields_[kFamilyName].empty() || !fields_[kGivenName].empty() ||
        !fields_[kMiddleName].empty())
        AddProperty(out, "N", "", {Get(kFamilyName, true), Get(kGivenName, true), Get(kMiddleName, true)});
    else
        AddProperty(out, "N", "", {Get(kFormattedName, true)});
    if (!fields_[kFormattedName].empty())
        AddProperty(out, "FN", "", {Get(kFormattedName, true)});
    if (!fields_[kOrgName].empty() || !fields_[kOrgUnit].empty())
        AddProperty(out, "ORG", "", {Get(kOrgName, true), Get(kOrgUnit, true)});
    if (!fields_[kTitle].empty())
        AddProperty(out, "TITLE", "", {Get(kTitle, true)});
    if (!fields_[kNote].empty())
        AddProperty(out, "NOTE", "", {Get(kNote, true)});
    const struct { Field f; const char* params; } tels[] = {
        {kWorkVoice, "WORK;VOICE"}, {kHomeVoice, "HOME;VOICE"}, {kCellVoice, "CELL;VOICE"},
        {kPagerVoice, "PAGER;VOICE"}, {kWorkFax, "WORK;FAX"}, {kHomeFax, "HOME;FAX"}};
    for (const auto& t : tels)
        if (!fields_[t.f].empty())
            AddProperty(out, "TEL", t.params, {Get(t.f, true)});
    if (!fields_[kWorkStreet].empty() || !fields_[kWorkExtended].empty())
        AddProperty(out, "ADR", "WORK", {"", Get(kWorkExtended, true), Get(kWorkStreet, true)});
    if (!fields_[kHomeStreet].empty())
        AddProperty(out, "ADR", "HOME", {"", "", Get(kHomeStreet, true)});
    if (!fields_[kWorkEmail].empty())
        AddProperty(out, "EMAIL", "PREF;INTERNET;WORK", {Get(kWorkEmail, true)});
    if (!fields_[kHomeEmail].empty())
        AddProperty(out, "EMAIL", "PREF;INTERNET;HOME", {Get(kHomeEmail, true)});
    if (fields_[kWorkEmail].empty() && fields_[kHomeEmail].empty() && !fields_[kEmail].empty())
        AddProperty(out, "EMAIL", "PREF;INTERNET", {Get(kEmail, true)});
    out += "END:VCARD\r\n\r\n";
    return out;
}

std::string CleanVCardBaseName(const std::string& name)
{
    std::string out;
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F)
            out += '_';
        else
            out += static_cast<char>(c);
    }
    // No hidden files and no "." or ".." names.
    while (!out.empty() && (out[0] == '.' || out[0] == ' '))
        out.erase(0, 1);
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    // Room for a number and the extension within a file name's limit.
    if (out.size() > 200)
        out.resize(200);
    return out.empty() ? std::string("VCARD") : out;
}

namespace {

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool CVCard::WriteToFile(std::string& path)
{
    const std::string text = ToText();
    if (!path.empty()) {
        // A named file is replaced only by a complete new one.
        return WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    // The document's folder of this run goes when the document does.
    CZorqMMIDoc* doc = CZorqMMIDoc::Instance();
    std::string folder = doc ? doc->GetTempVCardFolder() : std::string();
    if (folder.empty())
        folder = GetTempDirectory();
    const std::string base =
        CleanVCardBaseName(PcToUtf8(fields_[kFormattedName].empty() ? "VCARD" : fields_[kFormattedName]));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + base;
        MakeUniqueFileName(name, ".VCF");
        const std::string candidate = name + ".VCF";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;  // taken meanwhile: the next number
            return false;
        }
        const bool ok = WriteAll(fd, text);
        if (::close(fd) != 0 || !ok) {
            ::unlink(candidate.c_str());
            return false;
        }
        path = candidate;
        return true;
    }
    return false;
}
