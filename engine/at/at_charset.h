// The GSM character conversion tables and the conversion pairs of the
// character sets the phone can be switched to with +CSCS.
#pragma once

#include <cstdint>
#include <string>

// Loads "GSMToWin.cvt" (exactly 128 bytes) and "WinToGSM.cvt" (exactly 256
// bytes) from `folder` (ending in '/'), read as binary files. Returns false,
// leaving the tables as they were, when a file is missing, shorter or longer;
// `failed_path` then names the file.
bool at_load_conversion_tables(const std::string& folder, std::string* failed_path = nullptr);

// Installs tables directly (tests, and the loader above).
void at_set_conversion_tables(const uint8_t gsm_to_win[128], const uint8_t win_to_gsm[256]);

uint8_t at_gsm_to_win(uint8_t c);  // codes 0-127 through the table, others unchanged
// The PC character of a GSM extension-table code (the code after the escape
// 0x1B): euro sign, [ ] { } \ ^ ~ | and form feed. False for other codes.
bool at_gsm_ext_to_win(uint8_t code, uint8_t* out);
uint8_t at_win_to_gsm(uint8_t c);  // every byte through the table
// The extension-table code of a PC character (euro sign, [ ] { } \ ^ ~ | and
// form feed); false for the others.
bool at_win_to_gsm_ext(uint8_t win, uint8_t* code);

// PC text as 7-bit GSM codes, one septet a byte: an extension character is
// the escape 0x1B and its code (two septets), any other goes through the
// table. The tables alone cannot do this: they map a byte to one code, so
// they hold look-alikes for the extension characters (text mode, where an
// escape would abort the message, still uses them).
std::string at_win_to_gsm7(const uint8_t* text, size_t n);
// 7-bit GSM codes, one a byte, back to PC text into `out` (room for n):
// an escape and an extension code give that character, an escape before any
// other code is dropped and the code read as usual. Returns the count written.
size_t at_gsm7_to_win(const uint8_t* codes, size_t n, uint8_t* out);

// UCS2 user data (big-endian 16-bit code units) to PC characters and back.
// A code unit the PC character set has no character for becomes '?'; an odd
// last octet is dropped.
std::string at_ucs2_to_win(const std::string& octets);
std::string at_win_to_ucs2(const std::string& text);
