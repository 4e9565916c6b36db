// The outcome of every request that changes the phone, decided here and
// nowhere else. The rule:
// - Done, refused and unanswered are three outcomes. A request the phone
//   did not answer may have been carried out all the same: it is never
//   told as refused, failed or "could not".
// - After a silence the phone is looked for again (the link test reopens
//   the port it was on, as the timed link test does) and, once it answers,
//   asked what it holds at the place the request changed. The mirror
//   follows that answer before the screen hears of the outcome.
// - A place the phone may have filled is never counted free: while the
//   phone does not answer, what it holds there is unknown, and a run of
//   changes stops rather than write there or past it.
// - The screens choose the words only: they ask the result below what to
//   say, they never compare request results themselves.
#pragma once

#include <functional>

#include "at_defs.h"

enum class ChangeOutcome {
    Done,        // the phone said it was done
    Refused,     // the phone said no, or the request could not go out
    Unanswered,  // the phone did not answer: it may have been done
};

// What the phone holds at the changed place, asked once it answered again
// after a silence.
enum class PhoneHolds {
    NotAsked,  // the request was answered: nothing to ask
    Change,    // what the request asked for: it was carried out
    Before,    // what it held before: it was not carried out
    Unknown,   // the phone did not answer, or cannot be asked (a send)
};

struct PhoneChangeResult {
    ChangeOutcome outcome = ChangeOutcome::Refused;
    PhoneHolds holds = PhoneHolds::NotAsked;
    // The request's own result (a refusal's error code, for the words).
    MTR_RESULT result = MTR_FAILED;

    bool Done() const { return outcome == ChangeOutcome::Done; }
    bool Refused() const { return outcome == ChangeOutcome::Refused; }
    bool Unanswered() const { return outcome == ChangeOutcome::Unanswered; }
    // The change is in the phone: done, or found there after a silence.
    bool Landed() const { return Done() || (Unanswered() && holds == PhoneHolds::Change); }
    // The phone may hold the change: it landed, or nobody knows yet.
    bool MayHaveLanded() const { return Landed() || (Unanswered() && holds == PhoneHolds::Unknown); }
    // What the phone holds is known (a run may go on after it).
    bool Known() const { return !Unanswered() || holds != PhoneHolds::Unknown; }
    // The SIM refused because it was busy (it passes).
    bool SimBusy() const;
};

// Asks the phone what it holds at the changed place: Change, Before, or
// Unknown when it does not answer. Runs only once the phone answered a
// link test.
using PhoneReadBack = std::function<PhoneHolds()>;

// Runs `request`, a request that changes the phone. After a silence it
// looks for the phone again and, when the phone answers, runs `readBack`
// (none: what the phone did stays unknown, as for a send; the phone is
// looked for all the same). `what` names the change in the trace.
PhoneChangeResult RunPhoneChange(const char* what, const std::function<MTR_RESULT()>& request,
                                 const PhoneReadBack& readBack);

// The same for a result already in hand (a request whose answer carries
// data the caller reads on the way).
PhoneChangeResult DecidePhoneChange(const char* what, MTR_RESULT result, const PhoneReadBack& readBack);

// Looks for the phone after a silence: a link test, and, when the phone
// stays silent, one more after a short pause that runs the event loop.
// True once the phone answers.
bool LookForPhoneAgain();
