#include "phone.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "at_text.h"
#include "gsm_alphabet.h"

namespace phonesim {
namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr size_t kMaxLine = 4096;

}  // namespace


Phone::Phone() {
    codes_ = {{"SC", "1234"}, {"PUK", "12345678"}, {"P2", "5678"},
              {"PUK2", "87654321"}, {"PS", "0000"}, {"barring", "0000"}};
    attempts_ = {{"SC", 3}, {"PUK", 10}, {"P2", 3}, {"PUK2", 10}, {"PS", 3}};
    for (const char* f : {"SC", "FD", "PS", "AO", "OI", "OX", "AI", "IR", "AB", "AG", "AC"}) locks_[f] = false;
    readySince_ = Clock::now();

    indicators_ = {{"battchg", 4, 3}, {"signal", 4, 4}, {"service", 1, 1}, {"message", 1, 0},
                   {"call", 1, 0},    {"roam", 1, 0},   {"smsfull", 1, 0}};

    books_["SM"] = Phonebook{250, 20, 14, {}};
    books_["ME"] = Phonebook{200, 32, 20, {}};
    books_["FD"] = Phonebook{10, 20, 14, {}};
    books_["SM"].entries[1] = {"+33612345678", 145, "Alice"};
    books_["SM"].entries[2] = {"0687654321", 129, "Bob"};
    books_["SM"].entries[250] = {"0612345678", 129, "Zoe"};
    books_["ME"].entries[1] = {"+33145678900", 145, "Office"};
    books_["ME"].entries[2] = {"0299887766", 129, "Home"};

    sm_.capacity = 30;
    me_.capacity = 100;
    auto deliver = [](const std::string& from, const std::string& text, const char* when) {
        Message m;
        m.stat = 1;
        m.sca = {"+33689004000", 145};
        m.tpdu.kind = Tpdu::Kind::Deliver;
        m.tpdu.fo = 0x04;
        m.tpdu.addr = makeAddress(from, std::nullopt);
        m.tpdu.scts = *Timestamp::parse(when);
        m.tpdu.ud = winToGsm(text);
        return m;
    };
    auto submit = [](const std::string& to, const std::string& text, int stat) {
        Message m;
        m.stat = stat;
        m.tpdu.kind = Tpdu::Kind::Submit;
        m.tpdu.fo = 0x11;
        m.tpdu.addr = makeAddress(to, std::nullopt);
        m.tpdu.ud = winToGsm(text);
        return m;
    };
    sm_.messages[2] = deliver("+33612345678", "See you at noon", "24/05/05,09:15:00+08");
    me_.messages[1] = deliver("0687654321", "Call me back", "24/05/04,18:02:11+08");
    me_.messages[2] = submit("+33612345678", "On my way", 2);

    for (auto& p : profiles_) p = params_;
    alarms_["ALA"] = {1, 7, 30};
    alarms_["AUW"] = {0, 8, 0};
    alarms_["AUS"] = {1, 23, 0};
    melodies_[1] = {"Scale", 100, "C4 c250 D4 c250 E4 c250 F4 c250"};
}

// ---------------------------------------------------------------- output

std::string Phone::frame(std::string_view text) const {
    const char* end = sw_.lfOnly ? "\n" : "\r\n";
    std::string out = end;
    out += text;
    out += end;
    return out;
}

std::string Phone::commas(std::string text) const {
    if (!sw_.commaBlanks) return text;
    std::string out;
    bool inQuote = false;
    for (char c : text) {
        out += c;
        if (c == '"') inQuote = !inQuote;
        if (c == ',' && !inQuote) out += ' ';
    }
    return out;
}

void Phone::line(std::string_view text) { answer_ += frame(commas(std::string(text))); }

void Phone::final(std::string_view text) {
    if (sw_.numericResults && (text == "OK" || text == "ERROR"))
        answer_ += std::string(text == "OK" ? "0" : "4") + "\r";
    else
        answer_ += frame(text);
    if (sw_.bareOkNext) {
        sw_.bareOkNext = false;
        if (text == "OK") answer_ = frame("OK");
    }
    if (sw_.garbageNext) {
        sw_.garbageNext = false;
        answer_.insert(0, std::string("\x00\xFF#%\x7F", 5));
    }
    if (sw_.partialNext) {
        sw_.partialNext = false;
        const size_t cut = std::max<size_t>(1, answer_.size() / 2);
        if (sw_.partialRestDelayMs > 0 && cut < answer_.size())
            delayed_.push_back({Clock::now() + std::chrono::milliseconds(sw_.partialRestDelayMs), answer_.substr(cut)});
        answer_.resize(cut);
    }
    if (sw_.silentNext) {
        sw_.silentNext = false;
        answer_.clear();
    }
    if (!sw_.muted) out_ += answer_;
    answer_.clear();
}

void Phone::prompt() {
    if (!sw_.muted) out_ += (sw_.lfOnly ? "\n> " : "\r\n> ");
}

void Phone::unsolicited(std::string_view text) {
    if (!sw_.muted) out_ += frame(commas(std::string(text)));
}

std::string Phone::quotedRaw(std::string_view bytes) const {
    static const char upperDigits[] = "0123456789ABCDEF";
    static const char lowerDigits[] = "0123456789abcdef";
    const char* digits = sw_.lowercaseHex ? lowerDigits : upperDigits;
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c < 32 || c > 126 || c == '"' || c == '\\') {
            out += '\\';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Phone::quoted(std::string_view win) const {
    return quotedRaw(gsmCharset_ ? winToGsm(win) : std::string(win));
}

std::string Phone::takeOutput() {
    std::string out;
    out.swap(out_);
    return out;
}

std::optional<Clock::time_point> Phone::nextDue() const {
    std::optional<Clock::time_point> next;
    for (const Delayed& d : delayed_)
        if (!next || d.at < *next) next = d.at;
    return next;
}

void Phone::releaseDue(Clock::time_point now) {
    std::stable_sort(delayed_.begin(), delayed_.end(),
                     [](const Delayed& a, const Delayed& b) { return a.at < b.at; });
    while (!delayed_.empty() && delayed_.front().at <= now) {
        if (!sw_.muted) out_ += delayed_.front().bytes;
        delayed_.erase(delayed_.begin());
    }
}

// ---------------------------------------------------------------- input

void Phone::receive(std::string_view bytes) {
    if (sw_.muted) return;
    for (char c : bytes) byteIn(c);
}

void Phone::byteIn(char c) {
    switch (phase_) {
        case Phase::Idle:
            // Anything before the "A" of "AT" (a line break seen as a NUL,
            // a stray LF, line noise) is ignored.
            if (c == 'A' || c == 'a') {
                lineBuf_.assign(1, c);
                phase_ = Phase::Command;
                if (sw_.echo) out_ += c;
            }
            return;
        case Phase::Command:
            if (sw_.echo) out_ += c;
            if (c == '\r') {
                phase_ = Phase::Idle;
                if (lineBuf_.size() >= 2 && (lineBuf_[1] == 'T' || lineBuf_[1] == 't')) {
                    if (lineBuf_.size() > kMaxLine) {
                        answer_.clear();
                        error();
                    } else {
                        execute(lineBuf_.substr(2));
                    }
                }
                return;
            }
            if (c == '\n') return;
            if (lineBuf_.size() == 1 && c != 'T' && c != 't') {
                if (c != 'A' && c != 'a') phase_ = Phase::Idle;
                return;
            }
            if (c == '\b' || c == 0x7F) {  // a terminal's backspace or delete
                if (lineBuf_.size() > 2) lineBuf_.pop_back();
                return;
            }
            if (lineBuf_.size() <= kMaxLine) lineBuf_ += c;
            return;
        case Phase::SmsBody:
        case Phase::PduBody:
            if (c == kCtrlZ) return finishBody();
            if (c == kEsc) {
                // Escape cancels the message, as on any 07.05 phone.
                phase_ = Phase::Idle;
                bodyBuf_.clear();
                answer_.clear();
                ok();
                return;
            }
            if (phase_ == Phase::PduBody && (c == '\r' || c == '\n' || c == ' ')) return;
            if (bodyBuf_.size() < kMaxLine) bodyBuf_ += c;
            if (c == '\r' && phase_ == Phase::SmsBody && sw_.smsPrompts) prompt();
            return;
        case Phase::MelodyBody:
            if (c == kCtrlZ) return finishBody();
            if (c == '\r') {
                // A new piece follows after the next prompt; the line break
                // is stored as a blank between two tokens.
                if (!bodyBuf_.empty() && bodyBuf_.back() != ' ') bodyBuf_ += ' ';
                lastIn_ = '\r';
                prompt();
                return;
            }
            if (c == ' ' && lastIn_ == '\r' && !bodyBuf_.empty() && bodyBuf_.back() == ' ') {
                lastIn_ = c;
                return;
            }
            lastIn_ = c;
            if (c != '\n' && bodyBuf_.size() < 65536) bodyBuf_ += c;
            return;
    }
}

void Phone::execute(const std::string& cmd) {
    answer_.clear();
    if (commandLog_.size() < 1000000) commandLog_.push_back(upper(cmd));
    for (auto f = faults_.begin(); f != faults_.end();) {
        if (upper(cmd).compare(0, f->prefix.size(), f->prefix) == 0 && --f->countdown == 0) {
            (f->cut ? sw_.partialNext : sw_.silentNext) = true;
            f = faults_.erase(f);
        } else {
            ++f;
        }
    }
    if (cmd.empty()) return ok();
    const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[0])));
    if (first == '+' || first == '~' || first == '&') {
        size_t cut = cmd.find_first_of("=?");
        if (cut == std::string::npos) cut = cmd.size();
        const std::string name = upper(cmd.substr(0, cut));
        const std::string tail = cmd.substr(cut);
        char kind;
        std::string args;
        if (tail.empty()) kind = 'e';
        else if (tail == "?") kind = 'r';
        else if (tail == "=?") kind = 't';
        else if (tail[0] == '=') kind = 's', args = tail.substr(1);
        else return error();
        if (isRefused(name, kind)) return cme(3);
        if (security(name, kind, args) || mobile(name, kind, args) || phonebook(name, kind, args) ||
            sms(name, kind, args) || organiser(name, kind, args) || melody(name, kind, args))
            return;
        return general(name, kind, args);
    }
    switch (first) {
        case 'D': {
            std::string number = cmd.substr(1);
            const bool voice = !number.empty() && number.back() == ';';
            if (voice) number.pop_back();
            if (!validNumber(number) || number.size() > 22 || !voice) return error();
            if (sw_.dialDelayMs > 0) {
                delayed_.push_back({Clock::now() + std::chrono::milliseconds(sw_.dialDelayMs), frame("OK")});
                return;
            }
            return ok();
        }
        case 'H':
            if (cmd.size() == 1 || cmd == "H0") return ok();
            return error();
        case 'E':
            if (cmd == "E0" || cmd == "E") return sw_.echo = false, ok();
            if (cmd == "E1") return sw_.echo = true, ok();
            return error();
        case 'V':
            if (cmd == "V1") return sw_.numericResults = false, ok();
            if (cmd == "V0" || cmd == "V") return sw_.numericResults = true, ok();
            return error();
        case 'Z':
            if (cmd.size() == 1 || cmd == "Z0") return resetLine(), ok();
            return error();
        case 'I':
            // ATI/ATI0: the product; ATI3 the revision, ATI4 maker and model.
            if (cmd.size() == 1 || cmd == "I0") return line(model_), ok();
            if (cmd == "I3") return line(revision_), ok();
            if (cmd == "I4") return line(manufacturer_ + " " + model_), ok();
            return error();
        default:
            return error();
    }
}

bool Phone::isRefused(const std::string& name, char kind) const {
    if (refused_.empty()) return false;
    const char* form = kind == 's' ? "=" : kind == 'r' ? "?" : kind == 't' ? "=?" : "";
    return refused_.count(name) > 0 || (*form && refused_.count(name + form) > 0);
}

// ---------------------------------------------------------------- general

void Phone::resetLine() {
    sw_.echo = false;
    sw_.numericResults = false;
    cmee_ = 1;
    csdh_ = 1;
    charsetName_ = powerOn_.charset;
    gsmCharset_ = charsetName_ == "GSM";
    smsMode_ = powerOn_.smsMode;
}

// The identification commands; each test form answers a bare OK.
bool Phone::identification(const std::string& name, char kind) {
    const std::string* value = nullptr;
    if (name == "+CGMM" || name == "+GMM") value = &model_;
    else if (name == "+CGMR" || name == "+GMR") value = &revision_;
    else if (name == "+CGSN" || name == "+GSN") value = &serial_;
    else if (name == "+GMI") value = &manufacturer_;
    else if (name == "+CIMI") value = &imsi_;
    else if (name == "+CGMI") value = &manufacturer_;
    if (!value) return false;
    if (kind == 't') return ok(), true;
    if (kind != 'e') return error(), true;
    if (name == "+CIMI" && simBlocked(false)) return true;
    if (name == "+CGMI" && sw_.unknownBeforeCgmi) line("^SYSSTART");
    // The identity goes out as it is, never with blanks after commas.
    answer_ += frame(*value);
    return ok(), true;
}

void Phone::general(const std::string& name, char kind, const std::string& args) {
    if (identification(name, kind)) return;
    if ((name == "&F" || name == "&F0") && kind == 'e') return resetLine(), ok();
    if (name == "~MVER" && kind == 'e') {
        if (sw_.refuseMver) return error();
        answer_ += frame(version_);
        return ok();
    }
    if (name == "+CSCS" && kind == 'r') return line("+CSCS: \"" + charsetName_ + "\""), ok();
    if (name == "+CSCS" && kind == 't') return line("+CSCS: (\"GSM\",\"IRA\",\"PCCP437\")"), ok();
    if (name == "+CSCS" && kind == 's') {
        auto a = parseArgs(args, false);
        if (!a || a->size() != 1 || !(*a)[0].quoted) return error();
        const std::string set = (*a)[0].text;
        if (set != "GSM" && set != "IRA" && set != "PCCP437") return error();
        charsetName_ = set;
        gsmCharset_ = set == "GSM";
        return ok();
    }
    if (name == "&T9" && kind == 'e') return ok();
    // +CMEE=0 turns error causes into a plain ERROR; 1 and 2 both give the
    // numeric causes (the phone has no verbose error texts). +CSDH=0 drops
    // the header detail of text-mode listings.
    if (name == "+CMEE" || name == "+CSDH") {
        int& value = name == "+CMEE" ? cmee_ : csdh_;
        const int high = name == "+CMEE" ? 2 : 1;
        if (kind == 'r') return line(name + ": " + std::to_string(value)), ok();
        if (kind == 't') return line(name + ": (0-" + std::to_string(high) + ")"), ok();
        if (kind != 's') return error();
        auto a = parseArgs(args, false);
        if (!a || a->size() != 1 || !number((*a)[0]) || *number((*a)[0]) > high) return error();
        value = *number((*a)[0]);
        return ok();
    }
    return error();
}

// ---------------------------------------------------------------- SIM and codes

const char* Phone::pinStateName(PinState s) {
    switch (s) {
        case PinState::PhSimPin: return "PH-SIM PIN";
        case PinState::Ready: return "READY";
        case PinState::SimPin: return "SIM PIN";
        case PinState::SimPin2: return "SIM PIN2";
        case PinState::SimPuk: return "SIM PUK";
        case PinState::SimPuk2: return "SIM PUK2";
    }
    return "READY";
}

int Phone::attemptsFor(PinState s) const {
    switch (s) {
        case PinState::PhSimPin: return attempts_.at("PS");
        case PinState::Ready:
        case PinState::SimPin: return attempts_.at("SC");
        case PinState::SimPin2: return attempts_.at("P2");
        case PinState::SimPuk: return attempts_.at("PUK");
        case PinState::SimPuk2: return attempts_.at("PUK2");
    }
    return 0;
}

bool Phone::simBlocked(bool smsError) {
    if (!simPresent_) {
        smsError ? cms(310) : cme(10);
        return true;
    }
    switch (pinState_) {
        case PinState::SimPin: smsError ? cms(311) : cme(11); return true;
        case PinState::SimPuk: smsError ? cms(316) : cme(12); return true;
        case PinState::PhSimPin: smsError ? cms(312) : cme(5); return true;
        default: return false;
    }
}

bool Phone::simBusy() const {
    return simBusySeconds_ > 0 && Clock::now() < readySince_ + std::chrono::seconds(simBusySeconds_);
}

void Phone::becameReady() { readySince_ = Clock::now(); }

// Checks a facility's code; a wrong one costs an attempt where the code is
// counted. Sets blocked when the code can no longer be tried.
bool Phone::checkCode(const std::string& fac, const std::string& code, bool& blocked) {
    blocked = false;
    std::string key = fac;
    if (fac != "SC" && fac != "P2" && fac != "PS" && fac != "FD") key = "barring";
    if (fac == "FD") key = "P2";
    if (key == "SC" || key == "P2") {
        int& left = attempts_[key];
        if (left == 0) return blocked = true, false;
        if (code == codes_[key]) {
            left = 3;
            return true;
        }
        if (--left == 0) {
            if (key == "SC") pinState_ = PinState::SimPuk;
            else if (pinState_ == PinState::SimPin2) pinState_ = PinState::SimPuk2;
        }
        return false;
    }
    if (key == "PS") {
        int& left = attempts_["PS"];
        if (code == codes_["PS"]) return left = 3, true;
        if (left > 0) --left;
        return false;
    }
    return code == codes_["barring"];
}

bool Phone::security(const std::string& name, char kind, const std::string& args) {
    const char* quote = sw_.quotedPinState ? "\"" : "";
    if (name == "+CPIN") {
        if (kind == 't') return ok(), true;
        if (kind == 'r') {
            if (!simPresent_) return cme(10), true;
            line(std::string("+CPIN: ") + quote + pinStateName(pinState_) + quote);
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->empty() || a->size() > 2) return error(), true;
        if (!simPresent_) return cme(10), true;
        const std::string code = (*a)[0].text;
        const std::string fresh = a->size() > 1 ? (*a)[1].text : "";
        bool blocked = false;
        switch (pinState_) {
            case PinState::Ready:
                // Unblocking PIN2 with PUK2 is allowed while the SIM is ready.
                if (attempts_["P2"] == 0 && a->size() == 2) {
                    if (attempts_["PUK2"] == 0) return cme(13), true;
                    if (code != codes_["PUK2"]) return --attempts_["PUK2"], cme(16), true;
                    codes_["P2"] = fresh;
                    attempts_["P2"] = 3;
                    attempts_["PUK2"] = 10;
                    pin2Verified_ = true;
                    return ok(), true;
                }
                return cme(3), true;
            case PinState::SimPin:
                if (a->size() != 1) return cme(16), true;
                if (!checkCode("SC", code, blocked)) return cme(blocked ? 12 : 16), true;
                pinState_ = locks_["PS"] ? PinState::PhSimPin : PinState::Ready;
                becameReady();
                return ok(), true;
            case PinState::SimPuk:
            case PinState::SimPuk2: {
                const bool second = pinState_ == PinState::SimPuk2;
                if (a->size() != 2) return cme(second ? 18 : 12), true;
                int& left = attempts_[second ? "PUK2" : "PUK"];
                if (left == 0) return cme(13), true;
                if (code != codes_[second ? "PUK2" : "PUK"]) return --left, cme(16), true;
                left = 10;
                codes_[second ? "P2" : "SC"] = fresh;
                attempts_[second ? "P2" : "SC"] = 3;
                if (second) pin2Verified_ = true;
                pinState_ = PinState::Ready;
                if (!second) becameReady();
                return ok(), true;
            }
            case PinState::PhSimPin:
                if (!checkCode("PS", code, blocked)) return cme(16), true;
                pinState_ = PinState::Ready;
                return ok(), true;
            case PinState::SimPin2:
                if (!checkCode("P2", code, blocked)) return cme(blocked ? 18 : 16), true;
                pin2Verified_ = true;
                pinState_ = PinState::Ready;
                return ok(), true;
        }
        return error(), true;
    }
    if (name == "~MPIN") {
        if (sw_.refuseMpin) return error(), true;
        if (!simPresent_) return cme(10), true;
        if (kind == 'r') {
            line(std::string("~MPIN: ") + quote + pinStateName(pinState_) + quote + "," +
                 std::to_string(attemptsFor(pinState_)));
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->size() != 1) return error(), true;
        const std::string fac = (*a)[0].text;
        int x, y;
        if (fac == "SC") x = attempts_["SC"], y = attempts_["PUK"];
        else if (fac == "P2" || fac == "FD") x = attempts_["P2"], y = attempts_["PUK2"];
        else if (fac == "PS") x = attempts_["PS"], y = 0;
        else return cme(4), true;
        line("~MPIN: " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x));
        return ok(), true;
    }
    if (name == "+CLCK") {
        if (kind == 't') {
            line("+CLCK: (\"SC\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\",\"AC\",\"FD\",\"PS\")");
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->size() < 2 || a->size() > 4) return error(), true;
        const std::string fac = (*a)[0].text;
        const auto mode = number((*a)[1]);
        if (!locks_.count(fac) || !mode || *mode > 2) return cme(4), true;
        if (simBlocked(false)) return true;
        if (*mode == 2) {
            line("+CLCK: " + std::to_string(locks_[fac] ? 1 : 0));
            return ok(), true;
        }
        bool blocked = false;
        const std::string pw = a->size() > 2 ? (*a)[2].text : "";
        if (!checkCode(fac, pw, blocked)) return cme(blocked ? (fac == "SC" ? 12 : 18) : 16), true;
        locks_[fac] = *mode == 1;
        return ok(), true;
    }
    if (name == "+CPWD") {
        if (kind == 't') {
            line("+CPWD: (\"SC\",8),(\"P2\",8),(\"PS\",8),(\"AO\",4),(\"OI\",4),(\"AI\",4),(\"AB\",4)");
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->size() != 3) return error(), true;
        const std::string fac = (*a)[0].text;
        if (!locks_.count(fac) && fac != "P2") return cme(4), true;
        if (simBlocked(false)) return true;
        bool blocked = false;
        if (!checkCode(fac, (*a)[1].text, blocked))
            return cme(blocked ? (fac == "SC" ? 12 : 18) : 16), true;
        std::string key = fac == "FD" ? "P2" : fac;
        if (key != "SC" && key != "P2" && key != "PS") key = "barring";
        codes_[key] = (*a)[2].text;
        if (fac == "P2") pin2Verified_ = true;
        return ok(), true;
    }
    return false;
}

// ---------------------------------------------------------------- mobile management

bool Phone::mobile(const std::string& name, char kind, const std::string& args) {
    if (name == "+CREG") {
        if (kind == 't') return line("+CREG: (0-2)"), ok(), true;
        if (kind == 'r') {
            line("+CREG: " + std::to_string(cregMode_) + "," + std::to_string(cregStat_));
            return ok(), true;
        }
        if (kind == 's') {
            auto a = parseArgs(args, false);
            if (!a || a->size() != 1 || !number((*a)[0]) || *number((*a)[0]) > 2) return error(), true;
            cregMode_ = *number((*a)[0]);
            return ok(), true;
        }
        return error(), true;
    }
    if (name == "+COPS") {
        if (kind == 't') {
            line("+COPS: (2," + quoted(operatorLong_) + "," + quoted(operatorShort_) + ",\"" + operatorNumeric_ +
                 "\"),,(0-4),(0-2)");
            return ok(), true;
        }
        if (kind == 'r') {
            if (cregStat_ != 1 && cregStat_ != 5) return line("+COPS: 0"), ok(), true;
            const std::string& op = copsFormat_ == 0 ? operatorLong_
                                    : copsFormat_ == 1 ? operatorShort_ : operatorNumeric_;
            line("+COPS: 0," + std::to_string(copsFormat_) + "," + quoted(op));
            return ok(), true;
        }
        if (kind == 's') {
            auto a = parseArgs(args, false);
            if (!a || a->empty() || !number((*a)[0])) return error(), true;
            if (a->size() > 1) {
                const auto f = number((*a)[1]);
                if (!f || *f > 2) return error(), true;
                copsFormat_ = *f;
            }
            return ok(), true;
        }
        return error(), true;
    }
    // The phone only ever runs at full functionality: +CFUN=1 is accepted
    // (clients switch it on before use), any other level is not supported.
    if (name == "+CFUN") {
        if (kind == 'r') return line("+CFUN: 1"), ok(), true;
        if (kind == 't') return line("+CFUN: (1),(0)"), ok(), true;
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, false);
        if (!a || a->empty() || a->size() > 2 || !number((*a)[0])) return error(), true;
        if (*number((*a)[0]) != 1 || (a->size() == 2 && number((*a)[1]) != 0)) return cme(4), true;
        return ok(), true;
    }
    if (name == "+CBC" && kind == 't') return line("+CBC: (0-3),(0-100)"), ok(), true;
    if (name == "+CSQ" && kind == 't') return line("+CSQ: (0-31,99),(0-7,99)"), ok(), true;
    if (name == "+CBC" && kind == 'e') {
        line("+CBC: " + std::to_string(batteryStatus_) + "," + std::to_string(batteryLevel_));
        return ok(), true;
    }
    if (name == "+CSQ" && kind == 'e') {
        line("+CSQ: " + std::to_string(rssi_) + "," + std::to_string(ber_));
        return ok(), true;
    }
    if (name == "+CIND") {
        if (kind == 't') {
            if (sw_.refuseCindTest) return error(), true;
            std::string text = "+CIND: ";
            for (size_t i = 0; i < indicators_.size(); ++i) {
                if (i) text += ",";
                text += "(\"" + indicators_[i].name + "\",(0-" + std::to_string(indicators_[i].high) + "))";
            }
            line(text);
            return ok(), true;
        }
        if (kind == 'r') {
            std::string text = "+CIND: ";
            for (size_t i = 0; i < indicators_.size(); ++i) {
                if (i) text += ",";
                text += std::to_string(indicators_[i].value);
            }
            line(text);
            return ok(), true;
        }
        return error(), true;
    }
    if (name == "+CMER" && kind == 'r') {
        line("+CMER: " + std::to_string(cmer_[0]) + "," + std::to_string(cmer_[1]) + "," + std::to_string(cmer_[2]) +
             "," + std::to_string(cmer_[3]) + "," + std::to_string(cmer_[4]));
        return ok(), true;
    }
    if (name == "+CMER" && kind == 't') return line("+CMER: (0-1),(0),(0),(0-1),(0)"), ok(), true;
    if (name == "+CMER" && kind == 's') {
        auto a = parseArgs(args, false);
        if (!a || a->empty()) return error(), true;
        std::vector<int> v;
        for (const Arg& x : *a) {
            if (x.text.empty()) v.push_back(0);
            else if (auto n = number(x)) v.push_back(*n);
            else return error(), true;
        }
        indicatorReports_ = v[0] != 0 && v.size() > 3 && v[3] == 1;
        cmer_.fill(0);
        for (size_t i = 0; i < v.size() && i < cmer_.size(); ++i) cmer_[i] = v[i];
        return ok(), true;
    }
    return false;
}

// ---------------------------------------------------------------- phonebook

bool Phone::phonebook(const std::string& name, char kind, const std::string& args) {
    if (name == "+CPBS") {
        if (kind == 't') return line("+CPBS: (\"FD\",\"ME\",\"SM\")"), ok(), true;
        if (kind == 'r') {
            if (simBlocked(false)) return true;
            const Phonebook& b = books_[currentBook_];
            line("+CPBS: \"" + currentBook_ + "\"," + std::to_string(b.entries.size()) + "," +
                 std::to_string(b.capacity));
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->size() != 1 || !books_.count((*a)[0].text)) return cme(3), true;
        if (simBlocked(false)) return true;
        if (simBusy()) return cme(14), true;
        currentBook_ = (*a)[0].text;
        return ok(), true;
    }
    Phonebook& book = books_[currentBook_];
    const int shownCapacity = sw_.bigCapacities ? 300 : book.capacity;
    if (name == "+CPBW" && kind == 't') {
        std::string range = "(1-" + std::to_string(shownCapacity) + ")";
        if (sw_.twoCpbwRanges && book.capacity > 1)
            range = "(1-" + std::to_string(book.capacity / 2) + "," + std::to_string(book.capacity / 2 + 1) +
                    "-" + std::to_string(book.capacity) + ")";
        line("+CPBW: " + range + "," + std::to_string(book.numberLength) + ",(129,145)," +
             std::to_string(book.nameLength));
        return ok(), true;
    }
    if (name == "+CPBR" && kind == 't') {
        line("+CPBR: (1-" + std::to_string(shownCapacity) + ")," + std::to_string(book.numberLength) + "," +
             std::to_string(book.nameLength));
        return ok(), true;
    }
    if (name == "+CPBR" && kind == 's') {
        auto a = parseArgs(args, false);
        if (!a || a->empty() || a->size() > 2) return error(), true;
        const auto first = number((*a)[0]);
        const auto last = a->size() > 1 ? number((*a)[1]) : first;
        if (simBlocked(false)) return true;
        if (simBusy()) return cme(14), true;
        if (!first || !last || *first < 1 || *last > book.capacity || *first > *last) return cme(21), true;
        for (auto it = book.entries.lower_bound(*first); it != book.entries.end() && it->first <= *last; ++it)
            line("+CPBR: " + std::to_string(it->first) + "," + quoted(it->second.number) + "," +
                 std::to_string(it->second.type) + "," + quoted(it->second.name));
        return ok(), true;
    }
    if (name == "+CPBW" && kind == 's') {
        auto a = parseArgs(args, gsmCharset_);
        if (!a || a->empty() || a->size() > 4) return error(), true;
        if (simBlocked(false)) return true;
        if (simBusy()) return cme(14), true;
        if (const int e = switchedError(sw_.pbWriteError)) return cme(e), true;
        if (currentBook_ == "FD") {
            if (attempts_["P2"] == 0) return cme(18), true;
            if (!pin2Verified_) return cme(17), true;
        }
        int index;
        if ((*a)[0].text.empty()) {
            index = 0;
            for (int i = 1; i <= book.capacity && !index; ++i)
                if (!book.entries.count(i)) index = i;
            if (!index) return cme(20), true;
        } else {
            const auto n = number((*a)[0]);
            if (!n || *n < 1 || *n > book.capacity) return cme(21), true;
            index = *n;
        }
        if (a->size() == 1) {
            book.entries.erase(index);
            return ok(), true;
        }
        PhonebookEntry e;
        e.number = (*a)[1].text;
        if (a->size() > 2 && !(*a)[2].text.empty()) {
            const auto t = number((*a)[2]);
            if (!t || *t > 255) return error(), true;
            e.type = *t;
        } else {
            e.type = !e.number.empty() && e.number[0] == '+' ? 145 : 129;
        }
        e.name = a->size() > 3 ? (*a)[3].text : "";
        const size_t digits = e.number.size() - (!e.number.empty() && e.number[0] == '+' ? 1 : 0);
        if (static_cast<int>(digits) > book.numberLength) return cme(26), true;
        if (static_cast<int>(e.name.size()) > book.nameLength) return cme(24), true;
        if (e.number.empty()) {
            book.entries.erase(index);
            return ok(), true;
        }
        book.entries[index] = e;
        return ok(), true;
    }
    return false;
}

// ---------------------------------------------------------------- short messages

MessageStore* Phone::store(const std::string& mem) {
    if (mem == "SM" || mem == "MT") return &sm_;
    if (mem == "ME") return &me_;
    return nullptr;
}

std::string Phone::storeName(const MessageStore* s) const { return s == &me_ ? "ME" : "SM"; }

int Phone::freeIndex(const MessageStore& s, bool afterHighest) const {
    if (afterHighest && !s.messages.empty()) {
        const int next = s.messages.rbegin()->first + 1;
        if (next <= s.capacity) return next;
    }
    for (int i = 1; i <= s.capacity; ++i)
        if (!s.messages.count(i)) return i;
    return 0;
}

void Phone::runClockFrom(const Timestamp& ts) {
    std::tm tm{};
    tm.tm_year = (ts.year < 96 ? 100 : 0) + ts.year;
    tm.tm_mon = ts.month - 1;
    tm.tm_mday = ts.day;
    tm.tm_hour = ts.hour;
    tm.tm_min = ts.minute;
    tm.tm_sec = ts.second;
    clockZone_ = ts.zone;
    clockOffset_ = static_cast<long long>(timegm(&tm)) - clockZone_ * 15 * 60 - std::time(nullptr);
}

Timestamp Phone::now() const {
    if (frozenClock_) return *frozenClock_;
    const std::time_t t = std::time(nullptr) + clockOffset_ + clockZone_ * 15 * 60;
    std::tm tm{};
    gmtime_r(&t, &tm);
    Timestamp ts;
    ts.year = tm.tm_year % 100;
    ts.month = tm.tm_mon + 1;
    ts.day = tm.tm_mday;
    ts.hour = tm.tm_hour;
    ts.minute = tm.tm_min;
    ts.second = tm.tm_sec;
    ts.zone = clockZone_;
    return ts;
}

// The text-mode body: GSM codes sent raw once the GSM set is chosen,
// otherwise the characters; other codings as hexadecimal.
std::string Phone::smsBodyText(const Tpdu& t) const {
    if (alphabetOf(t.dcs) != Alphabet::Default7)
        return toHex(std::vector<uint8_t>(t.ud.begin(), t.ud.end()));
    return gsmCharset_ ? t.ud : gsmToWin(t.ud);
}

void Phone::emitMessage(int index, Message& m, bool list) {
    const std::string eol = sw_.lfOnly ? "\n" : "\r\n";
    const std::string prefix = list ? "+CMGL: " + std::to_string(index) + "," : "+CMGR: ";
    if (smsMode_ == 0) {
        const std::vector<uint8_t> tpdu = encodeTpdu(m.tpdu);
        line(prefix + std::to_string(m.stat) + ",," + std::to_string(tpdu.size()));
        answer_ += toHex(encodeSca(m.sca)) + toHex(tpdu) + eol;
    } else {
        const bool deliver = m.tpdu.kind == Tpdu::Kind::Deliver;
        const std::string body = smsBodyText(m.tpdu);
        std::string head = prefix + "\"" + kStatNames[m.stat] + "\"," + quoted(m.tpdu.addr.number) + ",,";
        if (deliver) head += "\"" + m.tpdu.scts.text() + "\"";
        // <length> counts octets: a hexadecimal body has two characters each.
        const size_t length = alphabetOf(m.tpdu.dcs) != Alphabet::Default7 ? body.size() / 2 : body.size();
        if (csdh_) head += "," + std::to_string(m.tpdu.addr.type) + "," + std::to_string(length);
        else if (!list && !deliver) head.pop_back();  // +CMGR: <stat>,<da>,[<alpha>]
        line(head);
        answer_ += body + eol;
    }
    if (m.stat == 0) m.stat = 1;
}

bool Phone::sms(const std::string& name, char kind, const std::string& args) {
    static const char* const smsCommands[] = {"+CMGF", "+CPMS", "+CSCA", "+CSMP", "+CSAS", "+CRES",
                                              "+CNMI", "+CMGL", "+CMGR", "+CMGS", "+CMSS", "+CMGW", "+CMGD"};
    if (std::find(std::begin(smsCommands), std::end(smsCommands), name) == std::end(smsCommands)) return false;
    auto a = parseArgs(args, gsmCharset_);
    if (!a) return error(), true;
    auto num = [&](size_t i) -> std::optional<int> {
        return i < a->size() ? number((*a)[i]) : std::nullopt;
    };

    if (name == "+CMGF") {
        if (kind == 't') return line(sw_.textOnly ? "+CMGF: (1)" : "+CMGF: (0-1)"), ok(), true;
        if (kind == 'r') return line("+CMGF: " + std::to_string(smsMode_)), ok(), true;
        if (kind != 's' || a->size() != 1 || !num(0) || *num(0) > 1) return error(), true;
        if (sw_.textOnly && *num(0) == 0) return cms(303), true;
        smsMode_ = *num(0);
        return ok(), true;
    }
    if (name == "+CSAS" && kind == 't') return line("+CSAS: (0-3)"), ok(), true;
    if (name == "+CRES" && kind == 't') return line("+CRES: (0-3)"), ok(), true;
    if (name == "+CPMS" && kind == 't') {
        return line("+CPMS: (\"ME\",\"SM\"),(\"ME\",\"SM\"),(\"ME\",\"SM\")"), ok(), true;
    }
    if (name == "+CNMI" && kind == 's') {
        std::vector<int> v;
        for (size_t i = 0; i < a->size(); ++i) {
            if ((*a)[i].text.empty()) v.push_back(0);
            else if (auto n = num(i)) v.push_back(*n);
            else return cms(303), true;
        }
        if (v.empty()) return cms(303), true;
        cnmi_.fill(0);
        for (size_t i = 0; i < v.size() && i < cnmi_.size(); ++i) cnmi_[i] = v[i];
        cnmiMt_ = v[0] != 0 && v.size() > 1 ? v[1] : 0;
        cnmiDs_ = v[0] != 0 && v.size() > 3 ? v[3] : 0;
        return ok(), true;
    }
    if (name == "+CNMI" && kind == 'r') {
        std::string text = "+CNMI: ";
        for (size_t i = 0; i < cnmi_.size(); ++i) text += (i ? "," : "") + std::to_string(cnmi_[i]);
        return line(text), ok(), true;
    }
    if (name == "+CNMI" && kind == 't') return line("+CNMI: (0-2),(0-1),(0),(0-1),(0-1)"), ok(), true;
    if (name == "+CMGL" && kind == 't') {
        if (smsMode_ == 0) return line("+CMGL: (0-4)"), ok(), true;
        return line("+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"), ok(), true;
    }
    // The remaining test forms have no values to list.
    if (kind == 't') return ok(), true;
    if (simBlocked(true)) return true;

    auto total = [&](const MessageStore& s) { return sw_.bigCapacities ? 300 : s.capacity; };
    auto counts = [&](const std::string& mem) {
        const MessageStore* s = store(mem);
        return std::to_string(s->messages.size()) + "," + std::to_string(total(*s));
    };
    if (name == "+CPMS") {
        if (kind == 'r') {
            line("+CPMS: \"" + mem1_ + "\"," + counts(mem1_) + ",\"" + mem2_ + "\"," + counts(mem2_) + ",\"" +
                 mem3_ + "\"," + counts(mem3_));
            return ok(), true;
        }
        if (kind != 's' || a->empty() || a->size() > 3) return error(), true;
        for (const Arg& x : *a)
            if (!x.quoted || (x.text != "SM" && x.text != "ME")) return cms(302), true;
        if (simBusy()) return cms(314), true;
        mem1_ = (*a)[0].text;
        if (a->size() > 1) mem2_ = (*a)[1].text;
        if (a->size() > 2) mem3_ = (*a)[2].text;
        line("+CPMS: " + counts(mem1_) + "," + counts(mem2_) + "," + counts(mem3_));
        return ok(), true;
    }
    if (name == "+CSCA") {
        if (kind == 'r') {
            line("+CSCA: " + quoted(params_.sca.number) + "," + std::to_string(params_.sca.type));
            return ok(), true;
        }
        if (kind != 's' || a->empty() || a->size() > 2 || !(*a)[0].quoted) return error(), true;
        const std::string& n = (*a)[0].text;
        if (n.size() > 21 || (!n.empty() && !validNumber(n))) return cms(304), true;
        std::optional<int> type;
        if (a->size() > 1) {
            type = num(1);
            if (!type) return cms(304), true;
        }
        params_.sca = n.empty() ? Address{"", 129} : makeAddress(n, type);
        return ok(), true;
    }
    if (name == "+CSMP") {
        if (kind == 'r') {
            std::string vp;
            const int vpf = (params_.fo >> 3) & 3;
            if (vpf == 2) vp = std::to_string(params_.vp);
            else if (vpf == 3 || (vpf == 0 && params_.vpAbsolute))
                vp = "\"" + (params_.vpAbsolute ? *params_.vpAbsolute : now()).text() + "\"";
            line("+CSMP: " + std::to_string(params_.fo) + "," + vp + "," + std::to_string(params_.pid) + "," +
                 std::to_string(params_.dcs));
            return ok(), true;
        }
        if (kind != 's' || a->empty() || a->size() > 4) return error(), true;
        SmsParams p = params_;
        const auto fo = num(0);
        if (!fo || *fo > 255) return cms(304), true;
        p.fo = *fo;
        if (a->size() > 1 && !(*a)[1].text.empty()) {
            if ((*a)[1].quoted) {
                const auto ts = Timestamp::parse((*a)[1].text);
                if (!ts) return cms(304), true;
                p.vpAbsolute = ts;
            } else {
                const auto vp = num(1);
                if (!vp || *vp > 255) return cms(304), true;
                p.vp = *vp;
                p.vpAbsolute.reset();
            }
        }
        if (a->size() > 2) {
            const auto pid = num(2);
            if (!pid || *pid > 255) return cms(304), true;
            p.pid = *pid;
        }
        if (a->size() > 3) {
            const auto dcs = num(3);
            if (!dcs || *dcs > 255) return cms(304), true;
            p.dcs = *dcs;
        }
        params_ = p;
        return ok(), true;
    }
    if (name == "+CSAS" || name == "+CRES") {
        const auto n = num(0);
        if (kind != 's' || a->size() != 1 || !n || *n > 3) return cms(302), true;
        if (name == "+CSAS") profiles_[*n] = params_;
        else params_ = profiles_[*n];
        return ok(), true;
    }
    if (kind != 's') return error(), true;
    if (simBusy()) return cms(314), true;

    MessageStore& readStore = *store(mem1_);
    MessageStore& writeStore = *store(mem2_);
    if (name == "+CMGL") {
        if (a->size() > 1) return cms(302), true;
        int stat = 4;
        if (a->size() == 1) {
            // Either form is accepted in either mode: the status word or its number.
            const auto n = num(0);
            stat = (*a)[0].quoted ? statFromWord((*a)[0].text) : n && *n <= 4 ? *n : -1;
            if (stat < 0) return cms(302), true;
        }
        for (auto& [index, m] : readStore.messages)
            if (stat == 4 || m.stat == stat) emitMessage(index, m, true);
        return ok(), true;
    }
    if (name == "+CMGR") {
        const auto n = num(0);
        if (a->size() != 1 || !n) return cms(302), true;
        auto it = readStore.messages.find(*n);
        if (it == readStore.messages.end()) return cms(321), true;
        emitMessage(*n, it->second, false);
        return ok(), true;
    }
    if (name == "+CMGD") {
        const auto n = num(0);
        if (a->empty() || !n) return cms(302), true;
        if (*n < 1 || *n > readStore.capacity) return cms(321), true;
        if (const int e = switchedError(sw_.deleteError)) return cms(e), true;
        readStore.messages.erase(*n);
        return ok(), true;
    }
    if (name == "+CMSS") {
        const auto n = num(0);
        if (a->empty() || a->size() > 3 || !n) return cms(302), true;
        auto it = writeStore.messages.find(*n);
        if (it == writeStore.messages.end()) return cms(321), true;
        Address da = it->second.tpdu.addr;
        if (a->size() > 1 && !(*a)[1].text.empty()) {
            if (!validNumber((*a)[1].text)) return cms(304), true;
            da = makeAddress((*a)[1].text, num(2));
        }
        if (it->second.tpdu.kind != Tpdu::Kind::Submit || da.number.empty()) return cms(302), true;
        if (sw_.sendError) return cms(sw_.sendError), true;
        if (it->second.stat == 2) it->second.stat = 3;
        const int mr = nextMr_;
        nextMr_ = (nextMr_ + 1) % 256;
        Tpdu submitted = it->second.tpdu;
        submitted.addr = da;
        submitted.mr = mr;
        std::vector<uint8_t> bytes = encodeSca(it->second.sca);
        const std::vector<uint8_t> tpdu = encodeTpdu(submitted);
        bytes.insert(bytes.end(), tpdu.begin(), tpdu.end());
        sent_.push_back({mr, da, now(), toHex(bytes)});
        line("+CMSS: " + std::to_string(mr));
        return ok(), true;
    }
    if (name == "+CMGS" || name == "+CMGW") {
        pending_ = Pending{};
        pending_.send = name == "+CMGS";
        if (smsMode_ == 0) {
            const auto n = num(0);
            if (a->empty() || a->size() > 2 || !n || *n < 1 || *n > 176) return cms(304), true;
            pending_.pduLength = *n;
            if (a->size() > 1) {
                const auto s = num(1);
                if (pending_.send || !s || *s > 3) return cms(304), true;
                pending_.stat = *s;
            }
            phase_ = Phase::PduBody;
        } else {
            if (a->size() > 3 || (pending_.send && a->empty())) return cms(302), true;
            if (!a->empty()) {
                const std::string& n = (*a)[0].text;
                if (!(*a)[0].quoted || (!n.empty() && !validNumber(n)) || n.size() > 21) return cms(304), true;
                if (pending_.send && n.empty()) return cms(304), true;
                std::optional<int> type;
                if (a->size() > 1 && !(*a)[1].text.empty()) {
                    type = num(1);
                    if (!type) return cms(304), true;
                }
                if (!n.empty()) pending_.da = makeAddress(n, type);
            }
            if (a->size() > 2) {
                if (pending_.send) return cms(302), true;
                const int s = (*a)[2].quoted ? statFromWord((*a)[2].text) : -1;
                if (s < 0 || s > 3) return cms(302), true;
                pending_.stat = s;
            }
            phase_ = Phase::SmsBody;
        }
        if (!pending_.send && !freeIndex(writeStore, false)) {
            phase_ = Phase::Idle;
            return cms(322), true;
        }
        bodyBuf_.clear();
        prompt();
        return true;
    }
    return error(), true;
}

int Phone::switchedError(int error) {
    if (!error) return 0;
    if (sw_.errorAfter > 0) {
        --sw_.errorAfter;
        return 0;
    }
    return error;
}

void Phone::finishBody() {
    const Phase phase = phase_;
    phase_ = Phase::Idle;
    answer_.clear();
    std::string body;
    body.swap(bodyBuf_);

    if (phase == Phase::MelodyBody) {
        while (!body.empty() && body.back() == ' ') body.pop_back();
        if (static_cast<int>(body.size()) > melodyMaxNotes_) return error();
        if (pending_.play) {
            melodyPlaying_ = true;
            return ok();
        }
        pending_.melody.notes = body;
        melodies_[pending_.slot] = pending_.melody;
        return ok();
    }

    Message m;
    m.stat = pending_.send ? 2 : pending_.stat;
    if (phase == Phase::PduBody) {
        const auto bytes = fromHex(body);
        if (!bytes) return cms(304);
        const auto split = splitSca(*bytes);
        if (!split || static_cast<int>(split->tpdu.size()) != pending_.pduLength) return cms(304);
        auto t = decodeTpdu(split->tpdu);
        if (!t && !pending_.send && !split->tpdu.empty() && (split->tpdu[0] & 3) == 0) {
            // A received message written back may come in the SUBMIT
            // layout (reference octet, absolute validity) with a first
            // octet of 0; read it that way and keep the validity as its
            // time stamp.
            std::vector<uint8_t> submit = split->tpdu;
            submit[0] |= 0x19;
            t = decodeTpdu(submit);
            if (t) {
                t->kind = Tpdu::Kind::Deliver;
                t->fo = split->tpdu[0] | 0x04;
                t->scts = t->vpAbsolute;
            }
        }
        if (!t || t->kind == Tpdu::Kind::StatusReport) return cms(304);
        if (pending_.send && (t->kind != Tpdu::Kind::Submit || !validNumber(t->addr.number))) return cms(304);
        m.sca = split->sca.number.empty() && pending_.send ? params_.sca : split->sca;
        m.tpdu = *t;
    } else {
        Tpdu& t = m.tpdu;
        const bool deliver = !pending_.send && pending_.stat <= 1;
        t.kind = deliver ? Tpdu::Kind::Deliver : Tpdu::Kind::Submit;
        t.fo = deliver ? (params_.fo & 0x40) | 0x04 : params_.fo | 0x01;
        t.addr = pending_.da;
        t.pid = params_.pid;
        t.dcs = params_.dcs;
        t.vpRelative = params_.vp;
        if (params_.vpAbsolute) t.vpAbsolute = *params_.vpAbsolute;
        if (deliver) t.scts = params_.vpAbsolute ? *params_.vpAbsolute : now();
        if (params_.fo & 0x40) {
            // With a user-data header the whole body comes as hexadecimal.
            auto bytes = fromHex(body);
            if (!bytes || bytes->empty() || (*bytes)[0] + 1u > bytes->size()) return cms(304);
            t.udh.assign(bytes->begin() + 1, bytes->begin() + 1 + (*bytes)[0]);
            t.ud.assign(bytes->begin() + 1 + (*bytes)[0], bytes->end());
        } else if (alphabetOf(t.dcs) == Alphabet::Default7) {
            t.ud = gsmCharset_ ? body : winToGsm(body);
        } else {
            t.ud = body;
        }
        const size_t limit = alphabetOf(t.dcs) == Alphabet::Default7 ? 160 : 140;
        if (t.ud.size() + t.udh.size() > limit) return cms(304);
        m.sca = params_.sca;
    }

    if (pending_.send) {
        if (sw_.sendError) return cms(sw_.sendError);
        if (m.sca.number.empty()) return cms(330);
        const int mr = nextMr_;
        nextMr_ = (nextMr_ + 1) % 256;
        // Kept as sent (the reference the phone gave it filled in), so that
        // a test can read back what went out.
        Tpdu submitted = m.tpdu;
        submitted.mr = mr;
        std::vector<uint8_t> bytes = encodeSca(m.sca);
        const std::vector<uint8_t> tpdu = encodeTpdu(submitted);
        bytes.insert(bytes.end(), tpdu.begin(), tpdu.end());
        sent_.push_back({mr, m.tpdu.addr, now(), toHex(bytes)});
        line("+CMGS: " + std::to_string(mr));
        if (sw_.unplugAfterSends > 0 && --sw_.unplugAfterSends == 0)
            unplugDue_ = true;
        return ok();
    }
    MessageStore& s = *store(mem2_);
    if (const int e = switchedError(sw_.storeError)) return cms(e);
    const int index = freeIndex(s, false);
    if (!index) return cms(322);
    s.messages[index] = m;
    line("+CMGW: " + std::to_string(index));
    return ok();
}

// ---------------------------------------------------------------- clock, alarms, diary

bool Phone::organiser(const std::string& name, char kind, const std::string& args) {
    if (name == "+CCLK") {
        if (kind == 'r') return line("+CCLK: \"" + now().text() + "\""), ok(), true;
        if (kind == 't') return ok(), true;
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, false);
        if (!a || a->size() != 1 || !(*a)[0].quoted) return error(), true;
        const auto ts = Timestamp::parse((*a)[0].text);
        if (!ts) return error(), true;
        if (frozenClock_) {
            frozenClock_ = ts;
        } else {
            runClockFrom(*ts);
        }
        return ok(), true;
    }
    if (name == "~MDAF" || name == "~MTIF") {
        const bool date = name == "~MDAF";
        std::string& value = date ? dateFormat_ : timeFormat_;
        if (kind == 'r') return line(name + ": \"" + value + "\""), ok(), true;
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, false);
        if (!a || a->size() != 1) return error(), true;
        const std::string& v = (*a)[0].text;
        const bool valid = date ? (v == "dd-mm-yy" || v == "mm-dd-yy" || v == "yy-mm-dd") : (v == "12h" || v == "24h");
        if (!valid) return error(), true;
        value = v;
        return ok(), true;
    }
    if (name == "~MALW" || name == "~MALR") {
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, false);
        if (!a || a->empty() || !alarms_.count((*a)[0].text)) return error(), true;
        AlarmSetting& al = alarms_[(*a)[0].text];
        if (name == "~MALR") {
            if (a->size() != 1) return error(), true;
            char buf[64];
            std::snprintf(buf, sizeof buf, "~MALR: \"%s\",%d,\"%02d:%02d:00+00\"", (*a)[0].text.c_str(), al.state,
                          al.hour, al.minute);
            return line(buf), ok(), true;
        }
        if (a->size() != 3) return error(), true;
        const auto state = number((*a)[1]);
        const std::string& t = (*a)[2].text;
        if (!state || *state > 1 || t.size() != 11 || t[2] != ':' || t[5] != ':') return error(), true;
        const auto h = number(t.substr(0, 2)), m = number(t.substr(3, 2));
        if (!h || !m || *h > 23 || *m > 59) return error(), true;
        al = {*state, *h, *m};
        return ok(), true;
    }
    if (name == "~MDRR") {
        if (kind == 't') {
            line("~MDRR: (1-" + std::to_string(diarySlots_) + ")," + std::to_string(diaryTextLength_));
            return ok(), true;
        }
        if (kind != 's') return error(), true;
        auto a = parseArgs(args, false);
        if (!a || a->empty() || a->size() > 2) return error(), true;
        const auto first = number((*a)[0]);
        const auto last = a->size() > 1 ? number((*a)[1]) : first;
        if (!first || !last || *first < 1 || *last > diarySlots_ || *first > *last) return error(), true;
        for (auto it = diary_.lower_bound(*first); it != diary_.end() && it->first <= *last; ++it)
            line("~MDRR: " + std::to_string(it->first) + ",\"" + it->second.when + "\"," + quoted(it->second.text) +
                 "," + std::to_string(it->second.a) + "," + std::to_string(it->second.b) + "," +
                 std::to_string(it->second.c));
        return ok(), true;
    }
    if (name == "~MDRW" && kind == 's') {
        // [<index>],"<date-time>",["<text>",<a>,<b>,<c>]; the text is cut
        // from both ends, so that an unescaped quote inside it survives.
        const size_t comma = args.find(',');
        if (comma == std::string::npos) return error(), true;
        int index = 0;
        if (comma > 0) {
            const auto n = number(args.substr(0, comma));
            if (!n || *n < 1 || *n > diarySlots_) return error(), true;
            index = *n;
        }
        const std::string rest = args.substr(comma + 1);
        if (rest.size() < 23 || rest[0] != '"' || rest[21] != '"' || rest[22] != ',') return error(), true;
        const std::string when = rest.substr(1, 20);
        if (!Timestamp::parse(when)) return error(), true;
        DiaryCard card;
        card.when = when;
        const std::string tail = rest.substr(23);
        if (!tail.empty()) {
            size_t cut = tail.size();
            int values[3];
            for (int k = 2; k >= 0; --k) {
                const size_t c = tail.rfind(',', cut - 1);
                if (c == std::string::npos || cut == 0) return error(), true;
                const auto n = number(tail.substr(c + 1, cut - c - 1));
                if (!n || *n > 255) return error(), true;
                values[k] = *n;
                cut = c;
            }
            const std::string text = tail.substr(0, cut);
            if (text.size() < 2 || text.front() != '"' || text.back() != '"') return error(), true;
            card.text = text.substr(1, text.size() - 2);
            // The program writes the text as any quoted text: \HH escapes,
            // GSM codes once +CSCS="GSM" is in force.
            std::string plain;
            if (unescape(card.text, plain)) card.text = gsmCharset_ ? gsmToWin(plain) : plain;
            if (static_cast<int>(card.text.size()) > diaryTextLength_) card.text.resize(diaryTextLength_);
            card.a = values[0], card.b = values[1], card.c = values[2];
        }
        if (!index) {
            for (int i = 1; i <= diarySlots_ && !index; ++i)
                if (!diary_.count(i)) index = i;
            if (!index) return error(), true;
        }
        diary_[index] = card;
        return line("~MDRW: " + std::to_string(index)), ok(), true;
    }
    if (name == "~MDRD" && kind == 's') {
        const auto n = number(args);
        if (!n || *n < 1 || *n > diarySlots_) return error(), true;
        diary_.erase(*n);
        return ok(), true;
    }
    if (name == "~MMER" && kind == 's') {
        auto a = parseArgs(args, false);
        if (!a || a->size() != 2 || !number((*a)[0]) || !number((*a)[1])) return error(), true;
        return ok(), true;
    }
    return false;
}

// ---------------------------------------------------------------- melodies

bool Phone::melody(const std::string& name, char kind, const std::string& args) {
    if (name == "~MMYS" && kind == 'e') {
        const bool wasPlaying = melodyPlaying_;
        melodyPlaying_ = false;
        ok();
        if (wasPlaying && sw_.mmpiAfterStop) unsolicited("~MMPI");
        return true;
    }
    if (name == "~MMYW" && kind == 't') {
        line("~MMYW: (1-" + std::to_string(melodySlots_) + ")," + std::to_string(melodyNameLength_) + "," +
             std::to_string(melodyMaxNotes_));
        return ok(), true;
    }
    if (name == "~MMYR" && kind == 's') {
        auto a = parseArgs(args, false);
        if (!a || a->empty() || a->size() > 2) return error(), true;
        const auto first = number((*a)[0]);
        const auto last = a->size() > 1 ? number((*a)[1]) : first;
        if (!first || !last || *first < 1 || *last > melodySlots_ || *first > *last) return error(), true;
        const std::string eol = sw_.lfOnly ? "\n" : "\r\n";
        for (auto it = melodies_.lower_bound(*first); it != melodies_.end() && it->first <= *last; ++it) {
            std::string notes = it->second.notes;
            while (sw_.longMmyr && notes.size() < 3000) notes += " " + it->second.notes;
            line("~MMYR: " + std::to_string(it->first) + "," + quoted(it->second.name) + "," +
                 std::to_string(it->second.tempo) + "," + std::to_string(notes.size()));
            answer_ += notes + eol;
        }
        return ok(), true;
    }
    if ((name == "~MMYW" || name == "~MMYP") && kind == 's') {
        // <index>,"<name>",<tempo> or "<name>",<tempo>,<loop>; the name may
        // hold an unescaped quote, so the numbers are cut from the ends.
        pending_ = Pending{};
        pending_.play = name == "~MMYP";
        std::string rest = args;
        if (!pending_.play) {
            const size_t c = rest.find(',');
            const auto n = c == std::string::npos ? std::nullopt : number(rest.substr(0, c));
            if (!n || *n < 1 || *n > melodySlots_) return error(), true;
            pending_.slot = *n;
            rest = rest.substr(c + 1);
        }
        std::vector<int> numbers;
        for (int k = 0; k < (pending_.play ? 2 : 1); ++k) {
            const size_t c = rest.rfind(',');
            const auto n = c == std::string::npos ? std::nullopt : number(rest.substr(c + 1));
            if (!n) return error(), true;
            numbers.insert(numbers.begin(), *n);
            rest.resize(c);
        }
        if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return error(), true;
        std::string nameText;
        if (!unescape(rest.substr(1, rest.size() - 2), nameText)) return error(), true;
        if (gsmCharset_) nameText = gsmToWin(nameText);
        if (static_cast<int>(nameText.size()) > melodyNameLength_) return error(), true;
        if (pending_.play && numbers[1] > 1) return error(), true;
        pending_.melody = {nameText, numbers[0], ""};
        phase_ = Phase::MelodyBody;
        bodyBuf_.clear();
        lastIn_ = 0;
        prompt();
        return true;
    }
    return false;
}

}  // namespace phonesim
