#include "trace_repeats.h"

bool trace_repeats::pass(const std::string& line, long& ended)
{
    ended = 0;
    if (!line.empty() && line == last_) {
        if (++run_ > kept) {
            ++dropped_;
            return false;
        }
        return true;
    }
    ended = take();
    last_ = line;
    run_ = 1;
    return true;
}

long trace_repeats::take()
{
    const long n = dropped_;
    dropped_ = 0;
    return n;
}

void trace_repeats::reset()
{
    last_.clear();
    run_ = 0;
    dropped_ = 0;
}

std::string trace_repeats::repeat_text(long count)
{
    return "... repeated " + std::to_string(count) + " times";
}
