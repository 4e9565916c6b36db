#include "at_text.h"

#include <algorithm>
#include <cctype>

#include "gsm_alphabet.h"

namespace phonesim {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool unescape(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::optional<std::vector<Arg>> parseArgs(std::string_view s, bool gsm) {
    std::vector<Arg> args;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && s[i] == ' ') ++i;
    };
    skipBlanks();
    if (i == s.size()) return args;
    while (true) {
        skipBlanks();
        Arg arg;
        if (i < s.size() && s[i] == '"') {
            const size_t close = s.find('"', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            std::string raw;
            if (!unescape(s.substr(i + 1, close - i - 1), raw)) return std::nullopt;
            arg.quoted = true;
            arg.text = gsm ? gsmToWin(raw) : raw;
            i = close + 1;
            skipBlanks();
        } else {
            const size_t comma = std::min(s.find(',', i), s.size());
            std::string_view t = s.substr(i, comma - i);
            while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
            arg.text = std::string(t);
            i = comma;
        }
        args.push_back(arg);
        if (i == s.size()) break;
        if (s[i] != ',') return std::nullopt;
        ++i;
    }
    return args;
}

std::optional<int> number(const Arg& a) {
    if (a.quoted || a.text.empty() || a.text.size() > 6) return std::nullopt;
    int v = 0;
    for (char c : a.text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<int> number(const std::string& s) { return number(Arg{false, s}); }

const char* const kStatNames[4] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};

int statFromWord(const std::string& w) {
    for (int i = 0; i < 4; ++i)
        if (w == kStatNames[i]) return i;
    if (w == "ALL") return 4;
    return -1;
}

bool validNumber(std::string_view n) {
    if (n.empty()) return false;
    if (n[0] == '+') n.remove_prefix(1);
    if (n.empty()) return false;
    return std::all_of(n.begin(), n.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'A' || c == 'p' || c == 'w';
    });
}

Address makeAddress(const std::string& text, std::optional<int> type) {
    Address a;
    a.number = text;
    const bool digits = validNumber(text);
    if (type) a.type = *type;
    else a.type = !digits ? 0xD0 : (text[0] == '+' ? 145 : 129);
    if (a.type == 145 && !text.empty() && text[0] != '+') a.number = std::string(1, '+') + text;
    return a;
}


}  // namespace phonesim
