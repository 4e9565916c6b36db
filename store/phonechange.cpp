#include "phonechange.h"

#include "debugtrace.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "strutil.h"

namespace {

// The pause between two looks for a phone that stays silent: long enough
// for a phone that was busy a moment to answer, short enough that the
// user is not kept waiting on top of the link test's own time-out.
constexpr int kLookPauseMs = 1000;
constexpr int kLooks = 2;

}  // namespace

bool PhoneChangeResult::SimBusy() const { return Refused() && mtr_failed_sim_busy(result); }

bool LookForPhoneAgain()
{
    for (int look = 0; look < kLooks; ++look) {
        if (look > 0)
            PumpMessagesFor(kLookPauseMs, false);
        if (mtr_test_link_now() == MTR_DONE)
            return true;
        // The user gave up at the code prompt: no more looks.
        if (gv_SPIO_com_status == 0)
            return false;
    }
    return false;
}

PhoneChangeResult DecidePhoneChange(const char* what, MTR_RESULT result, const PhoneReadBack& readBack)
{
    PhoneChangeResult r;
    r.result = result;
    if (result == MTR_DONE) {
        r.outcome = ChangeOutcome::Done;
        return r;
    }
    if (!mtr_failed_unanswered(result)) {
        r.outcome = ChangeOutcome::Refused;
        return r;
    }
    r.outcome = ChangeOutcome::Unanswered;
    r.holds = PhoneHolds::Unknown;
    WriteDebug(std::string("RunPhoneChange -> the phone did not answer: "), what ? what : "");
    // The phone is looked for again even when it cannot be asked what it
    // holds (a send): one lost answer need not lose the link for what
    // comes next.
    if (!LookForPhoneAgain()) {
        WriteDebug("RunPhoneChange -> the phone does not answer: what it holds is unknown");
        return r;
    }
    if (!readBack)
        return r;
    r.holds = readBack();
    WriteDebug("RunPhoneChange -> asked again, the phone holds ",
               r.holds == PhoneHolds::Change   ? "the change"
               : r.holds == PhoneHolds::Before ? "what it held before"
                                               : "something unknown");
    return r;
}

PhoneChangeResult RunPhoneChange(const char* what, const std::function<MTR_RESULT()>& request,
                                 const PhoneReadBack& readBack)
{
    return DecidePhoneChange(what, request(), readBack);
}
