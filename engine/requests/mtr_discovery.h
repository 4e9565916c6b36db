// Serial-port discovery: which port the phone is on. A virtual serial port of
// a driver installed beside the program is looked up in the key store; else
// the port remembered in the profile is tried, then COM1 to COM6.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "at_defs.h"

// Results beyond done (-35) and failed (-36).
constexpr MTR_RESULT MTR_VXD_BUSY = -37;     // the virtual port exists but cannot be opened
constexpr MTR_RESULT MTR_PORT_FAILED = -38;  // the port could not be opened
constexpr MTR_RESULT MTR_NO_PHONE = -39;     // no phone on COM1-COM6 and COM1 could not be opened

// Chooses the link: -35 with the phone's port open and written to the
// profile (Configuration/SerialPort); -36 without a document.
MTR_RESULT mtr_GEN_test_communication();
// Tries one port (port 0 or below: scans all), scanning the others when
// `scan` is set and the phone is not there.
MTR_RESULT mtr_port_communication(int port, bool scan);
// Tries COM1 to COM6 except `skip` (0 skips none).
MTR_RESULT mtr_port_scanning(int skip);

// ---- The key store ------------------------------------------------------------
// A small text file ("ZorqKeys.txt" in the program folder) that stands in for
// the system's registry: one value a line, "<key>\t<name>\t<text>", keys
// written with backslashes. Where it holds nothing, lookups find nothing.
std::string mtr_keys_path();
// The names of the direct subkeys of `key`, sorted.
std::vector<std::string> mtr_keys_subkeys(const std::string& key);
bool mtr_keys_get(const std::string& key, const std::string& name, std::string* value);
bool mtr_keys_set(const std::string& key, const std::string& name, const std::string& value);
