#include "vcard.h"

#include "archive.h"

#include "pccharset.h"

#include <QString>
#include <QStringDecoder>
#include "strutil.h"
#include "utilities.h"
#include "zorqmmidoc.h"

#include <algorithm>
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

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A value keeps line breaks and tabs (notes and addresses hold them);
// every other control byte is dropped once the value is decoded.
void DropControlBytes(std::string& s)
{
    size_t out = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!IsControl(c) || c == '\t' || c == '\r' || c == '\n')
            s[out++] = s[i];
    }
    s.resize(out);
}

// Position of the first `c` outside double quotes; a text whose quotes never
// close is searched again without regard to quotes.
size_t FindOutsideQuotes(const std::string& s, char c, size_t from = 0)
{
    bool quoted = false;
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == '"')
            quoted = !quoted;
        else if (s[i] == c && !quoted)
            return i;
    }
    return quoted ? s.find(c, from) : std::string::npos;
}

std::vector<std::string> SplitOutsideQuotes(const std::string& s, char c)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t p = FindOutsideQuotes(s, c, start);
        if (p == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, p - start));
        start = p + 1;
    }
}

void TrimBlanks(std::string& s)
{
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    size_t e = s.size();
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    s = s.substr(b, e - b);
}

// One property line after unfolding: the name (group removed), the type
// words of its parameters and how its value is written.
struct Property {
    std::string name;
    std::vector<std::string> types;  // upper case: WORK, CELL, PREF, X-...
    std::string charset;             // upper case, empty when none was given
    std::string value;
    bool qp = false;
    bool uri = false;  // VALUE=uri: a "tel:" address rather than a number
    bool valid = false;

    bool Is(const char* word) const
    {
        for (const std::string& t : types)
            if (t == word)
                return true;
        return false;
    }
};

// Words that say how a value is encoded, never what it is.
bool IsEncodingWord(const std::string& w)
{
    return w == "QUOTED-PRINTABLE" || w == "BASE64" || w == "B" || w == "8BIT" || w == "7BIT";
}

// Parameters of any version: bare words of 2.1 ("WORK;VOICE"), TYPE lists of
// 3.0 and 4.0 ("TYPE=work,voice", "TYPE=\"work,voice\"", repeated TYPE),
// "PREF=1". Encoding, character set, language, value type and the other
// named parameters are kept apart from the type words.
void ParseParams(const std::string& head, Property& p)
{
    for (std::string token : SplitOutsideQuotes(head, ';')) {
        TrimBlanks(token);
        if (token.empty())
            continue;
        const size_t eq = FindOutsideQuotes(token, '=');
        if (eq == std::string::npos) {
            const std::string word = Upper(token);
            if (word == "QUOTED-PRINTABLE")
                p.qp = true;
            else if (!IsEncodingWord(word))
                p.types.push_back(word);
            continue;
        }
        std::string key = Upper(token.substr(0, eq));
        TrimBlanks(key);
        std::string val = token.substr(eq + 1);
        TrimBlanks(val);
        // A quoted value is still a list: TYPE="work,voice" is two types.
        RemoveAll(val, "\"");
        std::vector<std::string> values;
        for (std::string one : SplitOutsideQuotes(val, ',')) {
            TrimBlanks(one);
            if (!one.empty())
                values.push_back(Upper(one));
        }
        if (key == "TYPE") {
            for (const std::string& v : values)
                if (!IsEncodingWord(v))
                    p.types.push_back(v);
        } else if (key == "ENCODING") {
            for (const std::string& v : values)
                if (v == "QUOTED-PRINTABLE")
                    p.qp = true;
        } else if (key == "CHARSET") {
            p.charset = values.empty() ? std::string() : values.front();
        } else if (key == "VALUE") {
            p.uri = !values.empty() && values.front() == "URI";
        } else if (key == "PREF") {
            p.types.push_back("PREF");
        }
    }
}

// The head of a property ends at the first ":" outside a quoted parameter
// value ("TYPE=\"work,voice\"", "LABEL=\"a:b\"").
size_t HeadEnd(const std::string& line)
{
    return FindOutsideQuotes(line, ':');
}

Property SplitLine(const std::string& line)
{
    Property p;
    const size_t colon = HeadEnd(line);
    if (colon == std::string::npos)
        return p;
    const std::string head = line.substr(0, colon);
    p.value = line.substr(colon + 1);
    const size_t semi = FindOutsideQuotes(head, ';');
    p.name = Upper(head.substr(0, semi));
    TrimBlanks(p.name);
    const size_t dot = p.name.rfind('.');
    if (dot != std::string::npos)
        p.name = p.name.substr(dot + 1);  // "item1.TEL" is a TEL of group item1
    if (semi != std::string::npos)
        ParseParams(head.substr(semi + 1), p);
    TrimSpaces(p.value);
    p.valid = true;
    return p;
}

// True when a property line starts a quoted-printable value, so that a
// final "=" is a soft break joining the next physical line. Only the head
// is looked at: a value that mentions the word does not count.
bool StartsQuotedPrintable(const std::string& line)
{
    const size_t colon = HeadEnd(line);
    return colon != std::string::npos &&
           Upper(line.substr(0, colon)).find("QUOTED-PRINTABLE") != std::string::npos;
}

bool EndsWithSoftBreak(const std::string& physical)
{
    size_t e = physical.size();
    while (e > 0 && (physical[e - 1] == ' ' || physical[e - 1] == '\t'))
        --e;
    return e > 0 && physical[e - 1] == '=';
}

// Physical lines joined into logical ones: quoted-printable soft breaks and
// the folding of later versions (a line starting with a blank continues the
// line before). Line ends (LF, CR LF, CR CR LF) are removed; other bytes are
// kept until the value is decoded. Each physical line is looked at once, so
// a long value costs time in proportion to its length.
std::vector<std::string> LogicalLines(const std::string& text)
{
    std::vector<std::string> lines;
    bool qpLine = false;     // the current logical line is quoted-printable
    bool qpPending = false;  // and its last physical line ended with "="
    size_t pos = 0;
    std::string physical;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string::npos)
            lf = text.size();
        physical.assign(text, pos, lf - pos);
        pos = lf + 1;
        RemoveAll(physical, "\r");
        if (qpPending && !lines.empty()) {
            std::string& last = lines.back();
            while (!last.empty() && (last.back() == ' ' || last.back() == '\t'))
                last.pop_back();
            last.pop_back();  // the soft break "="
            last += physical;
            qpPending = EndsWithSoftBreak(physical);
            continue;
        }
        const bool continues = !physical.empty() && (physical[0] == ' ' || physical[0] == '\t');
        if (continues && !lines.empty() && !lines.back().empty()) {
            lines.back().append(physical, 1, std::string::npos);
            qpPending = qpLine && EndsWithSoftBreak(physical);
            continue;
        }
        lines.push_back(physical);
        qpLine = StartsQuotedPrintable(physical);
        qpPending = qpLine && EndsWithSoftBreak(physical);
    }
    for (std::string& l : lines)
        TrimRight(l);
    return lines;
}

// Character sets that are Windows-1252 in practice: the PC set is a superset
// of ISO-8859-1 and of ASCII, and programs label it with either.
bool IsPcCharset(const std::string& cs)
{
    return cs == "ISO-8859-1" || cs == "ISO8859-1" || cs == "LATIN1" || cs == "ISO_8859-1" ||
           cs == "US-ASCII" || cs == "ASCII" || cs == "WINDOWS-1252" || cs == "CP1252";
}

// How the values of one card are to be taken.
struct Decoder {
    bool utf8Default = false;  // VERSION 3.0 or 4.0: UTF-8 unless told otherwise
    bool laterVersion = false; // backslash escapes of 3.0 and 4.0

    // The value as text: quoted-printable undone, then its character set
    // decoded, before components are split or escapes resolved (a
    // multi-byte character may hold the byte of a backslash).
    QString Text(const std::string& raw, const Property& p) const
    {
        const std::string bytes = p.qp ? QPDecode(raw) : raw;
        if (p.charset.empty()) {
            if (utf8Default || LooksLikeUtf8(bytes))
                return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            return PcToQString(bytes);
        }
        if (IsPcCharset(p.charset))
            return PcToQString(bytes);
        QStringDecoder decoder(p.charset.c_str());
        if (!decoder.isValid())  // unknown to the platform: read as UTF-8
            return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return decoder(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }

    // Components separated by unescaped ";" (a compound value is N, ORG or
    // ADR), each with its escapes resolved and in PC bytes. In 2.1 only "\;"
    // and "\\" are escapes; later versions also know "\," and "\n".
    std::vector<std::string> Components(const std::string& raw, const Property& p,
                                         bool compound) const
    {
        const QString text = Text(raw, p);
        std::vector<std::string> parts;
        QString current;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == u'\\' && i + 1 < text.size()) {
                const QChar n = text[i + 1];
                if (n == u';') {
                    current += u';';
                    ++i;
                    continue;
                }
                if (laterVersion) {
                    if (n == u'n' || n == u'N')
                        current += QStringLiteral("\r\n");
                    else
                        current += n;
                    ++i;
                    continue;
                }
                if (compound && n == u'\\') {
                    current += u'\\';
                    ++i;
                    continue;
                }
                current += c;
                continue;
            }
            if (c == u';' && compound) {
                parts.push_back(Finish(current));
                current.clear();
                continue;
            }
            current += c;
        }
        parts.push_back(Finish(current));
        return parts;
    }

    std::string One(const std::string& raw, const Property& p) const
    {
        return Components(raw, p, false).front();
    }

    static std::string Finish(const QString& text)
    {
        std::string pc = QStringToPc(text);
        DropControlBytes(pc);
        return pc;
    }
};

// A telephone number given as a "tel:" address keeps only the number: the
// scheme and the address parameters (";ext=102", ";phone-context=...") go.
std::string NumberOfTelValue(std::string value, bool uri)
{
    const bool scheme = Upper(value.substr(0, 4)) == "TEL:";
    if (scheme)
        value.erase(0, 4);
    if (scheme || uri) {
        const size_t semi = value.find(';');
        if (semi != std::string::npos)
            value.resize(semi);
    }
    TrimSpaces(value);
    return value;
}

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
    // Walked once with a position (and the next break looked for only once
    // it is passed): a long note folds in time proportional to its length.
    std::string out;
    out.reserve(line.size() + line.size() / 24);
    size_t pos = 0;
    size_t br = line.find(kBreak);
    while (line.size() - pos > 76) {
        if (br != std::string::npos && br < pos)
            br = line.find(kBreak, pos);
        if (br == std::string::npos)
            break;
        if (br - pos <= 69) {
            out.append(line, pos, br - pos + kBreak.size());
            pos = br + kBreak.size();
            continue;
        }
        const size_t space = line.rfind(' ', pos + 74);
        const size_t cut = space == std::string::npos || space < pos ? 75 : space - pos + 1;
        out.append(line, pos, cut);
        out += "=\r\n";
        pos += cut;
    }
    out.append(line, pos, std::string::npos);
    return out;
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

namespace {

// Places a value in the first empty field of `primary`; a preferred value
// takes the first of them when all are full, and what it displaces looks
// for room like any other value. Then the first empty field of `fallback`.
// A value is lost only when every field it may take is full.
void PlaceValue(std::string* fields, std::string value, const std::vector<CVCard::Field>& primary,
                bool preferred, const std::vector<CVCard::Field>& fallback)
{
    for (CVCard::Field f : primary)
        if (fields[f].empty()) {
            fields[f] = value;
            return;
        }
    if (preferred && !primary.empty())
        std::swap(fields[primary.front()], value);
    if (value.empty())
        return;
    for (CVCard::Field f : fallback)
        if (fields[f].empty()) {
            fields[f] = value;
            return;
        }
}

// The fields one property line fills.
void TakeProperty(std::string* fields_, const Property& p, const Decoder& decode)
{
    using Field = CVCard::Field;
    using enum CVCard::Field;
    const std::string& name = p.name;
    const bool preferred = p.Is("PREF");
    if (name == "N") {
        const auto parts = decode.Components(p.value, p, true);
        const Field order[] = {kFamilyName, kGivenName, kMiddleName};
        for (size_t k = 0; k < parts.size() && k < 3; ++k)
            fields_[order[k]] = parts[k];
    } else if (name == "FN") {
        fields_[kFormattedName] = decode.One(p.value, p);
    } else if (name == "TITLE") {
        fields_[kTitle] = decode.One(p.value, p);
    } else if (name == "NOTE") {
        fields_[kNote] = decode.One(p.value, p);
    } else if (name == "ORG") {
        const auto parts = decode.Components(p.value, p, true);
        fields_[kOrgName] = parts[0];
        if (parts.size() > 1) {
            std::string unit;
            for (size_t k = 1; k < parts.size(); ++k)
                unit += (k > 1 ? ";" : "") + parts[k];
            fields_[kOrgUnit] = unit;
        }
    } else if (name == "TEL") {
        const std::string value = NumberOfTelValue(decode.One(p.value, p), p.uri);
        if (value.empty())
            return;
        const bool work = p.Is("WORK"), home = p.Is("HOME");
        const bool cell = p.Is("CELL") || p.Is("MOBILE"), pager = p.Is("PAGER");
        if (p.Is("FAX")) {
            std::vector<Field> faxes;
            if (work)
                faxes.push_back(kWorkFax);
            if (home)
                faxes.push_back(kHomeFax);
            const bool located = !faxes.empty();
            if (!located)
                faxes = {kWorkFax, kHomeFax};
            PlaceValue(fields_, value, faxes, preferred && located, {kWorkFax, kHomeFax});
            if (!p.Is("VOICE"))
                return;  // a fax that is not also a voice line
        }
        std::vector<Field> voices;
        if (work)
            voices.push_back(kWorkVoice);
        if (home)
            voices.push_back(kHomeVoice);
        if (cell)
            voices.push_back(kCellVoice);
        if (pager)
            voices.push_back(kPagerVoice);
        const bool located = !voices.empty();
        const std::vector<Field> all = {kWorkVoice, kHomeVoice, kCellVoice, kPagerVoice};
        PlaceValue(fields_, value, located ? voices : all, preferred && located, all);
    } else if (name == "ADR") {
        if (p.value.empty())
            return;
        const auto parts = decode.Components(p.value, p, true);
        std::string extended, street;
        if (parts.size() >= 3) {
            extended = parts[1];
            for (size_t k = 2; k < parts.size(); ++k)
                street += (k > 2 ? " " : "") + parts[k];
            TrimSpaces(extended);
            TrimSpaces(street);
        }
        if (p.Is("HOME")) {
            fields_[kHomeStreet] = street;
        } else {
            fields_[kWorkExtended] = extended;
            fields_[kWorkStreet] = street;
        }
    } else if (name == "EMAIL") {
        const std::string value = decode.One(p.value, p);
        if (value.empty())
            return;
        bool placed = false;
        auto take = [&](Field f, bool always) {
            if (always || fields_[f].empty() || preferred) {
                fields_[f] = value;
                placed = true;
            }
        };
        const bool onlyPref = !p.types.empty() &&
                              std::all_of(p.types.begin(), p.types.end(),
                                          [](const std::string& t) { return t == "PREF"; });
        if (p.types.empty())
            take(kEmail, true);
        else if (p.Is("INTERNET"))
            take(kEmail, false);
        else if (onlyPref)
            take(kEmail, true);
        if (p.Is("HOME"))
            take(kHomeEmail, false);
        if (p.Is("WORK"))
            take(kWorkEmail, false);
        // Types of other programs ("X-OTHER", "other", "x400"...) still give
        // an address: the generic field takes it while it is free.
        if (!placed && fields_[kEmail].empty())
            fields_[kEmail] = value;
    }
}

}  // namespace

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

    for (const Property& p : props)
        TakeProperty(fields_, p, decode);
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
    bool qpLine = false, qpPending = false;  // as in LogicalLines
    std::string body;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        const size_t end = lf == std::string::npos ? text.size() : lf + 1;
        body.assign(text, pos, end - pos);
        RemoveAll(body, "\r");
        RemoveAll(body, "\n");
        if (qpPending) {
            // The soft break's continuation never starts a card.
            qpPending = EndsWithSoftBreak(body);
        } else if (!body.empty() && (body[0] == ' ' || body[0] == '\t')) {
            qpPending = qpLine && EndsWithSoftBreak(body);
        } else {
            if (Upper(body.substr(0, 11)) == "BEGIN:VCARD") {
                pieces.emplace_back();
                started = true;
            }
            qpLine = StartsQuotedPrintable(body);
            qpPending = qpLine && EndsWithSoftBreak(body);
        }
        if (started)
            pieces.back().append(text, pos, end - pos);
        pos = end;
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
