// Ports the user named in the [Ports] section of the profile that could not
// be opened or set up as serial ports, kept for the detection to report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A port named in [Ports] that could not be used: its number, the device
// named and the system's reason.
struct serial_open_failure {
    uint16_t port = 0;
    std::string path;
    std::string reason;
};
// The failures noted since the last call (one per port, the latest), and
// forgets them. Ports found on the machine, not named by the user, are not
// noted: their absence is the ordinary "no phone".
std::vector<serial_open_failure> serial_take_open_failures();
