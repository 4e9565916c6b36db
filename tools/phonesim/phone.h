// The simulated Tarvel phone: its state, the AT command interpreter that
// answers on the serial side, and the directives that set it up or poke it
// (scenario file lines and control commands share one vocabulary).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pdu.h"

namespace phonesim {

using Clock = std::chrono::steady_clock;

struct PhonebookEntry {
    std::string number;  // as written, byte for byte
    int type = 129;
    std::string name;  // Windows-1252
};

struct Phonebook {
    int capacity = 0;
    int numberLength = 20;
    int nameLength = 14;
    std::map<int, PhonebookEntry> entries;
};

struct Message {
    int stat = 0;  // 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
    Address sca;
    Tpdu tpdu;  // deliver for received messages, submit for stored ones
};

struct MessageStore {
    int capacity = 0;
    std::map<int, Message> messages;
};

struct Melody {
    std::string name;
    int tempo = 120;
    std::string notes;
};

struct DiaryCard {
    std::string when;  // 20-character date-time
    std::string text;
    int a = 0, b = 0, c = 0;
};

struct AlarmSetting {
    int state = 0;
    int hour = 0, minute = 0;
};

struct Indicator {
    std::string name;
    int high = 1;
    int value = 0;
};

// Misbehaviour switches; all off by default (a correct phone).
struct Switches {
    bool echo = false;
    bool lfOnly = false;
    bool commaBlanks = false;
    bool lowercaseHex = false;
    bool numericResults = false;  // V0
    bool silentNext = false;
    bool partialNext = false;
    int partialRestDelayMs = 0;  // with partialNext: the rest comes this much later
    int sendError = 0;           // +CMS error for every send (0: sends succeed)
    int storeError = 0;          // +CMS error for every +CMGW (0: stores succeed)
    int deleteError = 0;         // +CMS error for every +CMGD (0: deletions succeed)
    int pbWriteError = 0;        // +CME error for every +CPBW write or erasure (0: they succeed)
    int errorAfter = 0;          // stores and deletions that still succeed before those errors
    int unplugAfterSends = 0;    // sends still answered before the cable is pulled (0: never)
    bool bareOkNext = false;
    bool garbageNext = false;
    bool unknownBeforeCgmi = false;
    int dialDelayMs = 0;
    bool longMmyr = false;
    bool bigCapacities = false;
    bool twoCpbwRanges = false;
    bool refuseCindTest = false;
    bool refuseMpin = false;
    bool refuseMver = false;
    bool quotedPinState = false;
    bool textOnly = false;
    bool smsPrompts = false;
    bool mmpiAfterStop = false;
    bool muted = false;
};

class Phone {
public:
    Phone();

    // Bytes the program wrote to the serial line.
    void receive(std::string_view bytes);

    // Bytes waiting to go to the program (answers and unsolicited lines);
    // delayed output becomes due with time (see dueOutput / nextDue).
    std::string takeOutput();
    std::optional<Clock::time_point> nextDue() const;
    void releaseDue(Clock::time_point now);

    // One scenario line or control command; returns "ok" or "error: ...".
    // Lines may be blank or start with '#' (ignored, "ok").
    std::string apply(std::string_view line);

    // Applies a whole scenario text; returns an error naming the line, or "".
    std::string loadScenario(std::string_view text);

    // The state as text lines (for "dump"); `asScenario`: as a scenario a
    // new simulator starts from (for "state": messages as their PDUs).
    std::string dump(bool asScenario = false) const;

    const Switches& switches() const { return sw_; }

    // The cable is to be pulled once the answer waiting has gone out
    // (`unplug-after-sends`); taking it clears it.
    bool takeUnplug()
    {
        const bool due = unplugDue_;
        unplugDue_ = false;
        return due;
    }

private:
    enum class Phase { Idle, Command, SmsBody, PduBody, MelodyBody };
    enum class PinState { PhSimPin, Ready, SimPin, SimPin2, SimPuk, SimPuk2 };

    // Line assembly
    void byteIn(char c);
    void execute(const std::string& line);
    void finishBody();
    // A store or deletion error switched on: 0 while `errorAfter` lets
    // more succeed (counting them down), else the error number.
    int switchedError(int error);

    // Output helpers
    std::string frame(std::string_view text) const;
    void line(std::string_view text);  // a data line of the current answer
    void final(std::string_view text);  // the final result; flushes the answer
    void ok() { final("OK"); }
    void error() { final("ERROR"); }
    // With +CMEE=0 the phone hides the cause behind a plain ERROR.
    void cme(int n) { final(cmee_ == 0 ? "ERROR" : "+CME ERROR: " + std::to_string(n)); }
    void cms(int n) { final(cmee_ == 0 ? "ERROR" : "+CMS ERROR: " + std::to_string(n)); }
    void prompt();
    void unsolicited(std::string_view text);
    std::string quoted(std::string_view win) const;
    std::string quotedRaw(std::string_view text) const;  // no conversion, escapes only
    std::string commas(std::string text) const;

    // Command groups
    void general(const std::string& name, char kind, const std::string& args);
    bool identification(const std::string& name, char kind);
    // ATZ / AT&F: the line settings go back to their power-on values.
    void resetLine();
    bool security(const std::string& name, char kind, const std::string& args);
    bool mobile(const std::string& name, char kind, const std::string& args);
    bool phonebook(const std::string& name, char kind, const std::string& args);
    bool sms(const std::string& name, char kind, const std::string& args);
    bool organiser(const std::string& name, char kind, const std::string& args);
    bool melody(const std::string& name, char kind, const std::string& args);

    // SIM gating: returns true (and answers) when the command must not run.
    bool simBlocked(bool smsError);
    bool simBusy() const;
    void becameReady();

    // PIN helpers
    static const char* pinStateName(PinState s);
    int attemptsFor(PinState s) const;
    bool checkCode(const std::string& fac, const std::string& code, bool& blocked);

    // Messages
    MessageStore* store(const std::string& mem);
    std::string storeName(const MessageStore* s) const;
    std::string messageHeaderText(int index, const Message& m, bool list) const;
    void emitMessage(int index, Message& m, bool list);
    int freeIndex(const MessageStore& s, bool afterHighest) const;
    std::string smsBodyText(const Tpdu& t) const;
    Timestamp now() const;
    // Sets the running clock to `ts` (its zone included).
    void runClockFrom(const Timestamp& ts);

    // Directives
    std::string control(const std::vector<std::string>& tok, std::string_view rest);
    std::string setSwitch(const std::string& name, const std::string& value);

    // --- state ---
    Switches sw_;
    bool unplugDue_ = false;
    std::string out_;
    struct Delayed {
        Clock::time_point at;
        std::string bytes;
    };
    std::vector<Delayed> delayed_;

    // The answer being built for the current command.
    std::string answer_;

    // Input
    Phase phase_ = Phase::Idle;
    std::string lineBuf_;
    std::string bodyBuf_;
    char lastIn_ = 0;

    // Two-phase command context
    struct Pending {
        bool send = false;  // +CMGS (else +CMGW / melody write)
        int pduLength = 0;
        int stat = 2;
        Address da;
        bool play = false;  // ~MMYP
        int slot = 0;
        Melody melody;
    } pending_;

    // Identity
    std::string manufacturer_ = "Quenvale";
    std::string model_ = "Tarvel T25";
    std::string revision_ = "R2.1.07";
    std::string serial_ = "350123456789012";
    std::string imsi_ = "208011234567890";
    std::string version_ = "PB=1.0,SMS=3.0,CB=1.0,ST1=2.0,ORG=1.0,CLK=1.0,ALA=1.0,MDY=1.0";
    bool gsmCharset_ = false;
    std::string charsetName_ = "IRA";  // as last chosen (PCCP437 reads back as itself)

    // Line settings and their power-on values (scenario `charset` and
    // `sms-mode` set both).
    int cmee_ = 1;
    int csdh_ = 1;
    struct PowerOn {
        std::string charset = "IRA";
        int smsMode = 0;
    } powerOn_;

    // SIM and codes
    bool simPresent_ = true;
    PinState pinState_ = PinState::Ready;
    std::map<std::string, std::string> codes_;   // SC PUK P2 PUK2 PS barring
    std::map<std::string, int> attempts_;        // SC PUK P2 PUK2 PS
    std::map<std::string, bool> locks_;
    bool pin2Verified_ = false;
    int simBusySeconds_ = 0;
    Clock::time_point readySince_;

    // Mobile management
    std::vector<Indicator> indicators_;
    bool indicatorReports_ = false;
    std::array<int, 5> cmer_{};  // +CMER values as last set
    int cregMode_ = 0;
    int cregStat_ = 1;
    int copsFormat_ = 0;
    std::string operatorLong_ = "Tarvel Net";
    std::string operatorShort_ = "Tarvel";
    std::string operatorNumeric_ = "20801";
    int batteryStatus_ = 0, batteryLevel_ = 80;
    int rssi_ = 20, ber_ = 0;

    // Phonebooks
    std::map<std::string, Phonebook> books_;
    std::string currentBook_ = "SM";

    // Messages
    int smsMode_ = 0;  // 0 PDU, 1 text
    MessageStore sm_, me_;
    std::string mem1_ = "SM", mem2_ = "SM", mem3_ = "SM";
    std::string receiveMemory_ = "SM";  // what +CMTI names
    // Commands answered +CME ERROR: 3 (`refuse`): a bare name refuses every
    // form, "NAME=", "NAME?" and "NAME=?" only that form.
    std::set<std::string> refused_;
    bool isRefused(const std::string& name, char kind) const;
    // Every command line received (upper case, without "AT"), for `count`.
    std::vector<std::string> commandLog_;
    // Answers to lose (`fault`): at the `countdown`-th command line beginning
    // with `prefix` the answer is dropped, or cut in half when `cut`.
    struct Fault {
        bool cut;
        std::string prefix;
        int countdown;
    };
    std::vector<Fault> faults_;
    struct SmsParams {
        Address sca{"+33689004000", 145};
        int fo = 17, vp = 167, pid = 0, dcs = 0;
        std::optional<Timestamp> vpAbsolute;
    } params_;
    std::array<SmsParams, 4> profiles_{};
    int cnmiMt_ = 0, cnmiDs_ = 0;
    std::array<int, 5> cnmi_{};  // +CNMI values as last set
    int nextMr_ = 42;
    struct Sent {
        int mr;
        Address da;
        Timestamp when;
        std::string pdu;  // service-centre prefix and SMS-SUBMIT, hexadecimal
    };
    std::vector<Sent> sent_;

    // Organiser
    long long clockOffset_ = 0;  // seconds added to the system clock
    std::optional<Timestamp> frozenClock_;
    int clockZone_ = 0;
    std::string dateFormat_ = "dd-mm-yy";
    std::string timeFormat_ = "24h";
    std::map<std::string, AlarmSetting> alarms_;
    int diarySlots_ = 50, diaryTextLength_ = 30;
    std::map<int, DiaryCard> diary_;

    // Melodies
    int melodySlots_ = 8, melodyNameLength_ = 12, melodyMaxNotes_ = 500;
    std::map<int, Melody> melodies_;
    bool melodyPlaying_ = false;
};

}  // namespace phonesim
