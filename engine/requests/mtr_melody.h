// Melody requests of the engine (task 0): the phone's melody limits, reading,
// writing, playing and stopping melodies.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"

// The phone's melody limits, as the set-up reads them.
struct MELODY_CAPS {
    uint8_t nb_melodies = 0;  // melodies the phone holds (places 1..n)
    uint8_t name_max = 0;     // longest melody name
    uint16_t notes_max = 0;   // longest notes text
};

// ~MMYW=?: the number of melodies is the high end of the place range when the
// phone gives exactly one range starting at 1, else 0.
MTR_RESULT mtr_MELODY_setup(MELODY_CAPS* caps);
// Reads melodies first..last; each goes to the melody view. -36 without a
// registered melody view (nothing is sent).
MTR_RESULT mtr_MELODY_read(uint8_t first, uint8_t last);
// header: "<index>,\"<name>\",<tempo>" (write) or "\"<name>\",<tempo>,<loop>"
// (play); the notes go out piece by piece, each after the phone's prompt.
MTR_RESULT mtr_MELODY_write(const std::string& header, const std::string& notes);
MTR_RESULT mtr_MELODY_play(const std::string& header, const std::string& notes);
MTR_RESULT mtr_MELODY_stop();
// Called by the poll step for ~MMPI.
void mtr_MELODY_stop_relay();
