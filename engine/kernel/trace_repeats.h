// Folding of a line repeated in a row, shared by every trace file: a line
// that comes again and again (a fault met in a loop, a storm of the same
// indication) is written a few times; the rest of the run is counted and
// told in one line when another line comes, so a trace stays readable and
// its size bounded.
#pragma once

#include <string>

class trace_repeats {
public:
    // Lines of one run written before the rest is counted.
    static constexpr int kept = 3;

    // Whether `line` is to be written. A run of counted lines that `line`
    // ends is handed over in `ended` (0 when none); the caller writes its
    // repeat_text before the line. An empty line is never counted and ends
    // a run like any other line.
    bool pass(const std::string& line, long& ended);
    // Lines counted and not yet told; the count starts again from 0.
    long take();
    // Whether the lines of a run are being counted now.
    bool counting() const { return dropped_ > 0; }
    // Forgets the last line and any count (a new trace).
    void reset();

    // "... repeated N times".
    static std::string repeat_text(long count);

private:
    std::string last_;
    int run_ = 0;
    long dropped_ = 0;
};
