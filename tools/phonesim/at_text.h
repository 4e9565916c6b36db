// Text helpers shared by the AT interpreter and the directive reader:
// \\HH escapes, command arguments, numbers, phone numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdu.h"

namespace phonesim {

std::string upper(std::string s);

// Decodes \\HH escapes (either case); false on a malformed escape.
bool unescape(std::string_view in, std::string& out);

struct Arg {
    bool quoted = false;
    std::string text;
};

// Splits command arguments at commas; quoted texts are unescaped and, when
// the GSM character set is in force, decoded to Windows-1252. nullopt on an
// unterminated quote, a bad escape or text between a quote and a comma.
std::optional<std::vector<Arg>> parseArgs(std::string_view s, bool gsm);

// A plain decimal number of at most six digits.
std::optional<int> number(const Arg& a);
std::optional<int> number(const std::string& s);

extern const char* const kStatNames[4];
// 0-3 for the message states, 4 for "ALL", -1 otherwise.
int statFromWord(const std::string& w);

// Dialling characters only (0-9 * # A p w), an optional leading '+'.
bool validNumber(std::string_view n);

// An address for a number (type 145 with '+', else 129) or, for other text,
// an alphanumeric one (type 208), unless the type is given.
Address makeAddress(const std::string& text, std::optional<int> type);

}  // namespace phonesim
