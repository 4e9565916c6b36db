// The simulator's run loop: a pseudo-terminal whose slave side is the
// phone's serial port, control commands on standard input, answers paced
// at the configured baud rate.
#pragma once

#include <string>

namespace phonesim {

struct Options {
    std::string scenarioFile;  // empty: defaults only
    int baud = 0;              // 0: answer at once
};

// Parses the command line; returns false and an error text on bad usage.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// Runs until standard input closes or SIGTERM arrives; returns the exit code.
int run(const Options& options);

}  // namespace phonesim
