// The words for a setting the phone did not answer while it was being
// written (a clock, a format, an alarm, a message profile): what the phone
// was found to hold when asked again. "%1" names the setting.
#pragma once

#include "phonechange.h"

// 0 for a change that was answered (done or refused: the screen's own
// words).
inline int SilentWriteWordsId(const PhoneChangeResult& r)
{
    if (!r.Unanswered())
        return 0;
    switch (r.holds) {
    case PhoneHolds::Change: return 31944;  // asked again, it holds it
    case PhoneHolds::Before: return 31945;  // asked again, it does not
    default: return 31946;                  // it may have been written
    }
}
