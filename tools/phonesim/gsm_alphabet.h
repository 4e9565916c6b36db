// GSM 03.38 default alphabet <-> Windows-1252, and 7-bit septet packing.
// The simulator keeps its texts in Windows-1252 (the PC's character set) and
// converts at the line, independently of the program's own tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace phonesim {

// Windows-1252 text to GSM default-alphabet codes, one code per byte.
// Characters of the extension table become the escape 0x1B and their code;
// characters without a GSM form become '?'.
std::string winToGsm(std::string_view win);

// GSM codes (one per byte) to Windows-1252. An escape followed by an
// extension code gives that character; codes without a Windows-1252 form
// (the Greek capitals) become '?'. Bytes above 127 pass unchanged.
std::string gsmToWin(std::string_view gsm);

// Packs septets (one GSM code per byte) seven bits each, starting after
// fillBits zero bits (used to align text after a user-data header).
std::vector<uint8_t> packSeptets(std::string_view septets, int fillBits = 0);

// Unpacks count septets from packed data, skipping fillBits first bits.
std::string unpackSeptets(const uint8_t* data, size_t size, int count, int fillBits = 0);

}  // namespace phonesim
