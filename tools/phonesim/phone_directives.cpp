// The directive reader: scenario lines and control commands, the
// misbehaviour switches and the state dump.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>

#include "at_text.h"
#include "gsm_alphabet.h"
#include "phone.h"

namespace phonesim {
namespace {

struct Token {
    std::string text;
    size_t end = 0;  // position after the token in the line
};

std::optional<std::vector<Token>> tokenize(std::string_view line) {
    std::vector<Token> out;
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        Token t;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            if (!unescape(line.substr(i + 1, close - i - 1), t.text)) return std::nullopt;
            i = close + 1;
        } else {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
            t.text = std::string(line.substr(start, i - start));
        }
        t.end = i;
        out.push_back(t);
    }
    return out;
}

// The rest of the line after token k, as one text (quotes honoured when the
// rest is a single quoted token).
std::string restAfter(std::string_view line, const std::vector<Token>& tok, size_t k) {
    if (k + 1 >= tok.size()) return "";
    if (k + 2 == tok.size()) {
        // A single token: take it unquoted.
        size_t s = tok[k].end;
        while (s < line.size() && (line[s] == ' ' || line[s] == '\t')) ++s;
        if (s < line.size() && line[s] == '"') return tok[k + 1].text;
    }
    size_t s = tok[k].end;
    while (s < line.size() && (line[s] == ' ' || line[s] == '\t')) ++s;
    std::string raw(line.substr(s));
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\r')) raw.pop_back();
    std::string out;
    if (!unescape(raw, out)) return raw;
    return out;
}

bool onOff(const std::string& v, bool& out) {
    if (v == "on" || v == "1") return out = true, true;
    if (v == "off" || v == "0") return out = false, true;
    return false;
}

}  // namespace


std::string Phone::setSwitch(const std::string& name, const std::string& value) {
    struct Flag {
        const char* name;
        bool Switches::*field;
    };
    static const Flag flags[] = {
        {"echo", &Switches::echo},
        {"lf-only", &Switches::lfOnly},
        {"comma-blanks", &Switches::commaBlanks},
        {"lowercase-hex", &Switches::lowercaseHex},
        {"numeric-results", &Switches::numericResults},
        {"silent-next", &Switches::silentNext},
        {"partial-next", &Switches::partialNext},
        {"bare-ok-next", &Switches::bareOkNext},
        {"garbage-next", &Switches::garbageNext},
        {"unknown-before-cgmi", &Switches::unknownBeforeCgmi},
        {"long-mmyr", &Switches::longMmyr},
        {"big-capacities", &Switches::bigCapacities},
        {"two-cpbw-ranges", &Switches::twoCpbwRanges},
        {"refuse-cind-test", &Switches::refuseCindTest},
        {"refuse-mpin", &Switches::refuseMpin},
        {"refuse-mver", &Switches::refuseMver},
        {"quoted-pin-state", &Switches::quotedPinState},
        {"text-only", &Switches::textOnly},
        {"sms-prompts", &Switches::smsPrompts},
        {"mmpi-after-stop", &Switches::mmpiAfterStop},
        {"mute", &Switches::muted},
    };
    for (const Flag& f : flags) {
        if (name == f.name) {
            bool v;
            if (!onOff(value, v)) return "error: " + name + " takes on or off";
            sw_.*f.field = v;
            if (name == "text-only" && v) smsMode_ = 1;
            return "ok";
        }
    }
    if (name == "dial-delay") {
        const auto n = number(value);
        if (!n) return "error: dial-delay takes milliseconds";
        sw_.dialDelayMs = *n;
        return "ok";
    }
    if (name == "partial-rest-delay" || name == "send-error" || name == "store-error" || name == "delete-error" ||
        name == "pb-write-error" || name == "error-after" || name == "unplug-after-sends") {
        const auto n = number(value);
        if (!n || (name != "partial-rest-delay" && *n > 65535)) return "error: " + name + " takes a number";
        int& field = name == "send-error"     ? sw_.sendError
                     : name == "store-error"  ? sw_.storeError
                     : name == "delete-error" ? sw_.deleteError
                     : name == "pb-write-error" ? sw_.pbWriteError
                     : name == "error-after"  ? sw_.errorAfter
                     : name == "unplug-after-sends" ? sw_.unplugAfterSends
                                              : sw_.partialRestDelayMs;
        field = *n;
        return "ok";
    }
    if (name == "ciev-storm") {
        const auto n = number(value);
        if (!n) return "error: ciev-storm takes a count";
        size_t pos = 0;
        for (size_t i = 0; i < indicators_.size(); ++i)
            if (indicators_[i].name == "signal") pos = i;
        for (int i = 0; i < *n; ++i)
            unsolicited("+CIEV: " + std::to_string(pos + 1) + "," + std::to_string(i % (indicators_[pos].high + 1)));
        return "ok";
    }
    if (name == "receive-memory") {
        if (value != "SM" && value != "ME" && value != "MT") return "error: receive-memory is SM, ME or MT";
        receiveMemory_ = value;
        return "ok";
    }
    if (name == "sim-busy") {
        const auto n = number(value);
        if (!n) return "error: sim-busy takes seconds";
        simBusySeconds_ = *n;
        if (pinState_ == PinState::Ready) becameReady();
        return "ok";
    }
    return "error: unknown switch " + name;
}

std::string Phone::loadScenario(std::string_view text) {
    size_t start = 0;
    int lineNo = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++lineNo;
        const std::string answer = apply(text.substr(start, end - start));
        if (answer != "ok") return "line " + std::to_string(lineNo) + ": " + answer;
        start = end + 1;
    }
    return "";
}

std::string Phone::apply(std::string_view raw) {
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == ' ')) raw.remove_suffix(1);
    const size_t first = raw.find_first_not_of(" \t");
    if (first == std::string_view::npos || raw[first] == '#') return "ok";
    const auto tok = tokenize(raw);
    if (!tok) return "error: unbalanced quote or bad \\HH escape";
    std::vector<std::string> t;
    for (const Token& x : *tok) t.push_back(x.text);
    const std::string& verb = t[0];
    auto need = [&](size_t n) { return t.size() >= n + 1; };
    auto rest = [&](size_t k) { return restAfter(raw, *tok, k); };
    auto bad = [&](const char* usage) { return std::string("error: usage: ") + usage; };

    if (verb == "set") {
        if (t.size() != 3) return bad("set <switch> <value>");
        return setSwitch(t[1], t[2]);
    }
    if (verb == "mute") {
        if (t.size() != 2) return bad("mute on|off");
        return setSwitch("mute", t[1]);
    }
    if (verb == "refuse") {
        const char* usage = "refuse <+NAME|~NAME|&NAME>[=|?|=?] [off] | refuse none";
        if (t.size() == 2 && t[1] == "none") return refused_.clear(), "ok";
        if (t.size() < 2 || t.size() > 3 || (t.size() == 3 && t[2] != "off")) return bad(usage);
        std::string key = upper(t[1]);
        const size_t cut = key.find_first_of("=?");
        const std::string form = cut == std::string::npos ? "" : key.substr(cut);
        if (key.size() < 2 || (key[0] != '+' && key[0] != '~' && key[0] != '&') || cut == 1 ||
            (form != "" && form != "=" && form != "?" && form != "=?"))
            return bad(usage);
        if (t.size() == 3) refused_.erase(key);
        else refused_.insert(key);
        return "ok";
    }
    if (verb == "dump") return dump() + "ok";
    if (verb == "state") return dump(true) + "ok";
    if (verb == "count") {
        // How many command lines began with AT<prefix> (any case) since the
        // start or the last `count reset`.
        if (t.size() != 2) return bad("count <command prefix> | count reset");
        if (t[1] == "reset") return commandLog_.clear(), "ok";
        const std::string prefix = upper(t[1]);
        size_t n = 0;
        for (const std::string& c : commandLog_) n += c.compare(0, prefix.size(), prefix) == 0;
        return "ok " + std::to_string(n);
    }
    if (verb == "fault") {
        // One answer lost or cut at a chosen command: the n-th command line
        // from now beginning AT<prefix> (any case; the first by default).
        const char* usage = "fault drop|cut <command prefix> [<n>] | fault none";
        if (t.size() == 2 && t[1] == "none") return faults_.clear(), "ok";
        if (t.size() < 3 || t.size() > 4 || (t[1] != "drop" && t[1] != "cut")) return bad(usage);
        const auto n = t.size() == 4 ? number(t[3]) : std::optional<int>(1);
        if (!n || *n < 1) return bad(usage);
        faults_.push_back({t[1] == "cut", upper(t[2]), *n});
        return "ok";
    }
    if (verb == "sent") {
        // One line per message sent: "sent <mr> <hex of SCA and SMS-SUBMIT>".
        std::string out;
        for (const Sent& m : sent_) out += "sent " + std::to_string(m.mr) + " " + m.pdu + "\n";
        return out + "ok";
    }
    if (verb == "sms-receive") {
        if (!need(3)) return bad("sms-receive <mem> <from> <text>");
        MessageStore* s = store(t[1]);
        if (!s || t[1] == "MT") return "error: memory is SM or ME";
        const int index = freeIndex(*s, true);
        if (!index) return "error: memory full";
        Message m;
        m.stat = 0;
        m.sca = params_.sca;
        m.tpdu.kind = Tpdu::Kind::Deliver;
        m.tpdu.fo = 0x04;
        m.tpdu.addr = makeAddress(t[2], std::nullopt);
        m.tpdu.scts = now();
        m.tpdu.ud = winToGsm(rest(2));
        if (m.tpdu.ud.size() > 160) return "error: text longer than 160 characters";
        s->messages[index] = m;
        if (cnmiMt_ >= 1) {
            const std::string mem = receiveMemory_ == "MT" ? "MT" : t[1];
            unsolicited("+CMTI: \"" + mem + "\"," + std::to_string(index));
        }
        return "ok";
    }
    if (verb == "sms-receive-pdu") {
        // Any SMS-DELIVER TPDU (8-bit, UCS2, with a header...) as hex.
        MessageStore* s = t.size() == 3 ? store(t[1]) : nullptr;
        if (!s || t[1] == "MT") return bad("sms-receive-pdu SM|ME <hex SMS-DELIVER TPDU>");
        const auto bytes = fromHex(t[2]);
        std::string problem = "not hexadecimal";
        const auto tpdu = bytes ? decodeTpdu(*bytes, &problem) : std::nullopt;
        if (!tpdu) return "error: bad PDU: " + problem;
        if (tpdu->kind != Tpdu::Kind::Deliver) return "error: not an SMS-DELIVER";
        const int index = freeIndex(*s, true);
        if (!index) return "error: memory full";
        s->messages[index] = Message{0, params_.sca, *tpdu};
        if (cnmiMt_ >= 1) {
            const std::string mem = receiveMemory_ == "MT" ? "MT" : t[1];
            unsolicited("+CMTI: \"" + mem + "\"," + std::to_string(index));
        }
        return "ok";
    }
    if (verb == "status-report") {
        if (t.size() != 3 || !number(t[1]) || !number(t[2])) return bad("status-report <mr> <status>");
        const int mr = *number(t[1]);
        auto it = std::find_if(sent_.rbegin(), sent_.rend(), [&](const Sent& s) { return s.mr == mr; });
        if (it == sent_.rend()) return "error: no message sent with reference " + t[1];
        if (cnmiDs_ != 1) return "error: status reports are not enabled (+CNMI ds)";
        Tpdu r;
        r.kind = Tpdu::Kind::StatusReport;
        r.fo = 0x06;
        r.mr = mr;
        r.addr = it->da;
        r.scts = it->when;
        r.dt = now();
        r.st = *number(t[2]);
        if (smsMode_ == 1) {
            unsolicited("+CDS: 6," + std::to_string(mr) + "," + quoted(r.addr.number) + "," +
                        std::to_string(r.addr.type) + ",\"" + r.scts.text() + "\",\"" + r.dt.text() + "\"," +
                        std::to_string(r.st));
        } else if (!sw_.muted) {
            const std::vector<uint8_t> tpdu = encodeTpdu(r);
            out_ += frame("+CDS: " + std::to_string(tpdu.size()));
            out_ += toHex(encodeSca(params_.sca)) + toHex(tpdu) + (sw_.lfOnly ? "\n" : "\r\n");
        }
        return "ok";
    }
    if (verb == "indicator") {
        if (t.size() != 3 || !number(t[2])) return bad("indicator <name> <value>");
        for (size_t i = 0; i < indicators_.size(); ++i) {
            if (indicators_[i].name != t[1]) continue;
            indicators_[i].value = *number(t[2]);
            if (indicatorReports_)
                unsolicited("+CIEV: " + std::to_string(i + 1) + "," + std::to_string(indicators_[i].value));
            return "ok";
        }
        return "error: unknown indicator " + t[1];
    }
    if (verb == "creg") {
        if (t.size() != 2 || !number(t[1]) || *number(t[1]) > 5) return bad("creg <stat>");
        cregStat_ = *number(t[1]);
        unsolicited("+CREG: " + t[1]);
        return "ok";
    }
    if (verb == "alarm") {
        if (t.size() == 3 && t[1] == "diary" && number(t[2])) return unsolicited("~MDRI: " + t[2]), "ok";
        if (t.size() != 2 || !alarms_.count(t[1])) return bad("alarm ALA|AUS|AUW or alarm diary <index>");
        unsolicited("~MALI: \"" + t[1] + "\"");
        return "ok";
    }
    if (verb == "clock-report") return unsolicited("~MCLK: \"" + now().text() + "\""), "ok";
    if (verb == "call-result") {
        static const std::map<std::string, std::string> results = {
            {"busy", "BUSY"}, {"no-carrier", "NO CARRIER"}, {"no-answer", "NO ANSWER"}, {"ring", "RING"}};
        if (t.size() != 2 || !results.count(t[1])) return bad("call-result busy|no-carrier|no-answer|ring");
        unsolicited(results.at(t[1]));
        return "ok";
    }
    if (verb == "melody-ended") {
        melodyPlaying_ = false;
        unsolicited("~MMPI");
        return "ok";
    }

    // State directives (scenario lines; also accepted as control commands).
    if (verb == "manufacturer" || verb == "model" || verb == "revision") {
        const std::string m = rest(0);
        if (m.empty() || m.size() > 20) return "error: " + verb + " must be 1 to 20 characters";
        // A client reads a line that starts like a result code as that code.
        for (const char* prefix : {"OK", "ERROR", "BUSY", "RING", "CONNECT", "NO ", "+C", "~M", "> "})
            if (m.rfind(prefix, 0) == 0) return "error: " + verb + " must not start with " + prefix;
        (verb == "manufacturer" ? manufacturer_ : verb == "model" ? model_ : revision_) = m;
        return "ok";
    }
    if (verb == "serial" || verb == "imsi") {
        const bool digits = t.size() == 2 && t[1].size() >= 6 && t[1].size() <= 17 &&
                            std::all_of(t[1].begin(), t[1].end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits) return "error: usage: " + verb + " <6 to 17 digits>";
        (verb == "serial" ? serial_ : imsi_) = t[1];
        return "ok";
    }
    if (verb == "version") return version_ = rest(0), "ok";
    if (verb == "sim") {
        if (t.size() != 2 || (t[1] != "present" && t[1] != "absent")) return bad("sim present|absent");
        simPresent_ = t[1] == "present";
        return "ok";
    }
    if (verb == "pin-state") {
        const std::string s = rest(0);
        for (PinState p : {PinState::PhSimPin, PinState::Ready, PinState::SimPin, PinState::SimPin2,
                           PinState::SimPuk, PinState::SimPuk2}) {
            if (s == pinStateName(p)) {
                pinState_ = p;
                if (p == PinState::Ready) becameReady();
                return "ok";
            }
        }
        return "error: pin-state is one of READY, SIM PIN, SIM PUK, PH-SIM PIN, SIM PIN2, SIM PUK2";
    }
    if (verb == "code") {
        if (t.size() != 3 || !codes_.count(t[1])) return bad("code SC|PUK|P2|PUK2|PS|barring <digits>");
        codes_[t[1]] = t[2];
        return "ok";
    }
    if (verb == "attempts") {
        if (t.size() != 3 || !attempts_.count(t[1]) || !number(t[2])) return bad("attempts SC|PUK|P2|PUK2|PS <n>");
        attempts_[t[1]] = *number(t[2]);
        return "ok";
    }
    if (verb == "lock") {
        bool v;
        if (t.size() != 3 || !locks_.count(t[1]) || !onOff(t[2], v)) return bad("lock <facility> on|off");
        locks_[t[1]] = v;
        return "ok";
    }
    if (verb == "pin2-verified") {
        bool v;
        if (t.size() != 2 || !onOff(t[1], v)) return bad("pin2-verified on|off");
        pin2Verified_ = v;
        return "ok";
    }
    if (verb == "sim-busy") return t.size() == 2 ? setSwitch("sim-busy", t[1]) : bad("sim-busy <seconds>");
    if (verb == "registration") {
        if (t.size() != 2 || !number(t[1]) || *number(t[1]) > 5) return bad("registration <stat>");
        cregStat_ = *number(t[1]);
        return "ok";
    }
    if (verb == "operator") {
        if (t.size() != 4 || t[1].size() > 16 || t[2].size() > 8 || t[3].size() != 5)
            return bad("operator <long> <short> <5-digit numeric>");
        operatorLong_ = t[1], operatorShort_ = t[2], operatorNumeric_ = t[3];
        return "ok";
    }
    if (verb == "battery") {
        if (t.size() != 3 || !number(t[1]) || !number(t[2]) || *number(t[2]) > 100) return bad("battery <status> <level>");
        batteryStatus_ = *number(t[1]), batteryLevel_ = *number(t[2]);
        return "ok";
    }
    if (verb == "signal") {
        if (t.size() != 3 || !number(t[1]) || !number(t[2])) return bad("signal <rssi> <ber>");
        rssi_ = *number(t[1]), ber_ = *number(t[2]);
        return "ok";
    }
    if (verb == "indicators") {
        // indicators <name>:<high> ... replaces the indicator list
        if (t.size() < 2) return bad("indicators <name>:<high> ...");
        std::vector<Indicator> list;
        for (size_t i = 1; i < t.size(); ++i) {
            const size_t colon = t[i].rfind(':');
            const auto high = colon == std::string::npos ? std::nullopt : number(t[i].substr(colon + 1));
            if (!high) return bad("indicators <name>:<high> ...");
            list.push_back({t[i].substr(0, colon), *high, 0});
        }
        indicators_ = list;
        return "ok";
    }
    if (verb == "phonebook") {
        if (t.size() != 5 || !books_.count(t[1]) || !number(t[2]) || !number(t[3]) || !number(t[4]))
            return bad("phonebook SM|ME|FD <capacity> <number length> <name length>");
        Phonebook& b = books_[t[1]];
        b.capacity = *number(t[2]), b.numberLength = *number(t[3]), b.nameLength = *number(t[4]);
        b.entries.erase(b.entries.upper_bound(b.capacity), b.entries.end());
        return "ok";
    }
    if (verb == "entry") {
        if (t.size() != 6 || !books_.count(t[1]) || !number(t[2]) || !number(t[4]))
            return bad("entry SM|ME|FD <index> <number> <type> <name>");
        Phonebook& b = books_[t[1]];
        const int index = *number(t[2]);
        if (index < 1 || index > b.capacity) return "error: index outside the phonebook";
        b.entries[index] = {t[3], *number(t[4]), t[5]};
        return "ok";
    }
    if (verb == "clear-phonebook") {
        if (t.size() != 2 || !books_.count(t[1])) return bad("clear-phonebook SM|ME|FD");
        books_[t[1]].entries.clear();
        return "ok";
    }
    if (verb == "message-store") {
        MessageStore* s = t.size() == 3 ? store(t[1]) : nullptr;
        if (!s || t[1] == "MT" || !number(t[2])) return bad("message-store SM|ME <capacity>");
        s->capacity = *number(t[2]);
        s->messages.erase(s->messages.upper_bound(s->capacity), s->messages.end());
        return "ok";
    }
    if (verb == "clear-messages") {
        MessageStore* s = t.size() == 2 ? store(t[1]) : nullptr;
        if (!s || t[1] == "MT") return bad("clear-messages SM|ME");
        s->messages.clear();
        return "ok";
    }
    if (verb == "message") {
        // message SM|ME <index> <stat> <address> <time stamp or ""> <text>
        MessageStore* s = t.size() >= 6 ? store(t[1]) : nullptr;
        const char* usage = "message SM|ME <index> <stat 0-3> <address> <\"yy/MM/dd,hh:mm:ss+zz\" or \"\"> <text>";
        if (!s || t[1] == "MT" || !number(t[2]) || !number(t[3]) || *number(t[3]) > 3) return bad(usage);
        const int index = *number(t[2]);
        if (index < 1 || index > s->capacity) return "error: index outside the store";
        Message m;
        m.stat = *number(t[3]);
        m.sca = params_.sca;
        const bool deliver = m.stat <= 1;
        m.tpdu.kind = deliver ? Tpdu::Kind::Deliver : Tpdu::Kind::Submit;
        m.tpdu.fo = deliver ? 0x04 : 0x11;
        m.tpdu.addr = makeAddress(t[4], std::nullopt);
        if (deliver) {
            const auto ts = Timestamp::parse(t[5]);
            if (!ts) return bad(usage);
            m.tpdu.scts = *ts;
        }
        m.tpdu.ud = winToGsm(rest(5));
        if (m.tpdu.ud.size() > 160) return "error: text longer than 160 characters";
        s->messages[index] = m;
        return "ok";
    }
    if (verb == "message-pdu") {
        // message-pdu SM|ME <index> <stat> <hex TPDU>: any stored message
        // (a header, UCS2...), as "state" writes it for a new simulator.
        MessageStore* s = t.size() == 5 ? store(t[1]) : nullptr;
        if (!s || t[1] == "MT" || !number(t[2]) || !number(t[3]) || *number(t[3]) > 3)
            return bad("message-pdu SM|ME <index> <stat 0-3> <hex TPDU>");
        const int index = *number(t[2]);
        if (index < 1 || index > s->capacity) return "error: index outside the store";
        const auto bytes = fromHex(t[4]);
        std::string problem = "not hexadecimal";
        const auto tpdu = bytes ? decodeTpdu(*bytes, &problem) : std::nullopt;
        if (!tpdu) return "error: bad PDU: " + problem;
        const int stat = *number(t[3]);
        if ((stat <= 1) != (tpdu->kind == Tpdu::Kind::Deliver)) return "error: the status does not fit the PDU";
        s->messages[index] = Message{stat, params_.sca, *tpdu};
        return "ok";
    }
    if (verb == "sca") {
        if (t.size() < 2 || t.size() > 3 || !validNumber(t[1])) return bad("sca <number> [<type>]");
        params_.sca = makeAddress(t[1], t.size() == 3 ? number(t[2]) : std::nullopt);
        for (auto& p : profiles_) p.sca = params_.sca;
        return "ok";
    }
    if (verb == "csmp") {
        if (t.size() != 5 || !number(t[1]) || !number(t[2]) || !number(t[3]) || !number(t[4]))
            return bad("csmp <fo> <vp> <pid> <dcs>");
        params_.fo = *number(t[1]), params_.vp = *number(t[2]), params_.pid = *number(t[3]),
        params_.dcs = *number(t[4]);
        for (auto& p : profiles_) p = params_;
        return "ok";
    }
    if (verb == "sms-mode") {
        if (t.size() != 2 || (t[1] != "0" && t[1] != "1")) return bad("sms-mode 0|1");
        smsMode_ = powerOn_.smsMode = t[1] == "1";
        return "ok";
    }
    if (verb == "next-mr") {
        if (t.size() != 2 || !number(t[1]) || *number(t[1]) > 255) return bad("next-mr <0-255>");
        nextMr_ = *number(t[1]);
        return "ok";
    }
    if (verb == "charset") {
        if (t.size() != 2 || (t[1] != "GSM" && t[1] != "IRA")) return bad("charset GSM|IRA");
        gsmCharset_ = t[1] == "GSM";
        charsetName_ = powerOn_.charset = t[1];
        return "ok";
    }
    if (verb == "clock") {
        const auto ts = t.size() >= 2 ? Timestamp::parse(t[1]) : std::nullopt;
        if (!ts || t.size() > 3 || (t.size() == 3 && t[2] != "frozen"))
            return bad("clock \"yy/MM/dd,hh:mm:ss+zz\" [frozen]");
        if (t.size() == 3) {
            frozenClock_ = ts;
        } else {
            frozenClock_.reset();
            runClockFrom(*ts);
        }
        return "ok";
    }
    if (verb == "date-format") {
        if (t.size() != 2 || (t[1] != "dd-mm-yy" && t[1] != "mm-dd-yy" && t[1] != "yy-mm-dd"))
            return bad("date-format dd-mm-yy|mm-dd-yy|yy-mm-dd");
        dateFormat_ = t[1];
        return "ok";
    }
    if (verb == "time-format") {
        if (t.size() != 2 || (t[1] != "12h" && t[1] != "24h")) return bad("time-format 12h|24h");
        timeFormat_ = t[1];
        return "ok";
    }
    if (verb == "alarm-setting") {
        const char* usage = "alarm-setting ALA|AUS|AUW <state 0|1> <hh:mm>";
        if (t.size() != 4 || !alarms_.count(t[1]) || !number(t[2]) || t[3].size() != 5 || t[3][2] != ':')
            return bad(usage);
        const auto h = number(t[3].substr(0, 2)), m = number(t[3].substr(3, 2));
        if (!h || !m || *h > 23 || *m > 59) return bad(usage);
        alarms_[t[1]] = {*number(t[2]) ? 1 : 0, *h, *m};
        return "ok";
    }
    if (verb == "diary-slots") {
        if (t.size() != 3 || !number(t[1]) || !number(t[2]) || *number(t[1]) > 255) return bad("diary-slots <count> <text length>");
        diarySlots_ = *number(t[1]), diaryTextLength_ = *number(t[2]);
        return "ok";
    }
    if (verb == "diary") {
        if (t.size() != 7 || !number(t[1]) || !Timestamp::parse(t[2]) || !number(t[4]) || !number(t[5]) || !number(t[6]))
            return bad("diary <index> \"yy/MM/dd,hh:mm:ss+zz\" <text> <a> <b> <c>");
        diary_[*number(t[1])] = {t[2], t[3], *number(t[4]), *number(t[5]), *number(t[6])};
        return "ok";
    }
    if (verb == "melody-slots") {
        if (t.size() != 4 || !number(t[1]) || !number(t[2]) || !number(t[3]) || *number(t[1]) > 255)
            return bad("melody-slots <count> <name length> <notes maximum>");
        melodySlots_ = *number(t[1]), melodyNameLength_ = *number(t[2]), melodyMaxNotes_ = *number(t[3]);
        return "ok";
    }
    if (verb == "melody") {
        if (t.size() < 5 || !number(t[1]) || !number(t[3])) return bad("melody <slot> <name> <tempo> <notes>");
        melodies_[*number(t[1])] = {t[2], *number(t[3]), rest(3)};
        return "ok";
    }
    if (verb == "clear-melodies") return melodies_.clear(), "ok";
    return "error: unknown command " + verb;
}

std::string Phone::dump(bool asScenario) const {
    std::ostringstream o;
    o << "manufacturer " << manufacturer_ << "\n";
    o << "model " << model_ << "\nrevision " << revision_ << "\nserial " << serial_ << "\nimsi " << imsi_ << "\n";
    o << "version " << version_ << "\n";
    o << "sim " << (simPresent_ ? "present" : "absent") << "\n";
    o << "pin-state " << pinStateName(pinState_) << "\n";
    for (const auto& [k, v] : attempts_) o << "attempts " << k << " " << v << "\n";
    for (const auto& [k, v] : locks_) o << "lock " << k << " " << (v ? "on" : "off") << "\n";
    o << "pin2-verified " << (pin2Verified_ ? "on" : "off") << "\n";
    o << "charset " << (gsmCharset_ ? "GSM" : "IRA") << "\n";
    o << "registration " << cregStat_ << "\n";
    for (const Indicator& i : indicators_) o << "indicator " << i.name << " " << i.value << "\n";
    for (const auto& [name, b] : books_) {
        o << "phonebook " << name << " " << b.capacity << " " << b.numberLength << " " << b.nameLength << "\n";
        for (const auto& [idx, e] : b.entries)
            o << "entry " << name << " " << idx << " \"" << e.number << "\" " << e.type << " \"" << e.name << "\"\n";
    }
    o << "sms-mode " << smsMode_ << "\n";
    if (!asScenario) o << "memories " << mem1_ << " " << mem2_ << " " << mem3_ << "\n";
    for (const MessageStore* s : {&sm_, &me_}) {
        o << "message-store " << storeName(s) << " " << s->capacity << "\n";
        for (const auto& [idx, m] : s->messages)
            if (asScenario)
                o << "message-pdu " << storeName(s) << " " << idx << " " << m.stat << " " << toHex(encodeTpdu(m.tpdu)) << "\n";
            else
                o << "message " << storeName(s) << " " << idx << " " << m.stat << " \"" << m.tpdu.addr.number << "\" \""
                  << (m.tpdu.kind == Tpdu::Kind::Deliver ? m.tpdu.scts.text() : "") << "\" "
                  << (alphabetOf(m.tpdu.dcs) == Alphabet::Default7 ? gsmToWin(m.tpdu.ud)
                                                                   : toHex({m.tpdu.ud.begin(), m.tpdu.ud.end()}))
                  << "\n";
    }
    o << "sca \"" << params_.sca.number << "\" " << params_.sca.type << "\n";
    o << "csmp " << params_.fo << " " << params_.vp << " " << params_.pid << " " << params_.dcs << "\n";
    o << "next-mr " << nextMr_ << "\n";
    o << "clock \"" << now().text() << "\"" << (frozenClock_ ? " frozen" : "") << "\n";
    o << "date-format " << dateFormat_ << "\ntime-format " << timeFormat_ << "\n";
    for (const auto& [k, a] : alarms_) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "alarm-setting %s %d %02d:%02d\n", k.c_str(), a.state, a.hour, a.minute);
        o << buf;
    }
    for (const auto& [idx, c] : diary_)
        o << "diary " << idx << " \"" << c.when << "\" \"" << c.text << "\" " << c.a << " " << c.b << " " << c.c << "\n";
    o << "melody-slots " << melodySlots_ << " " << melodyNameLength_ << " " << melodyMaxNotes_ << "\n";
    for (const auto& [idx, m] : melodies_)
        o << "melody " << idx << " \"" << m.name << "\" " << m.tempo << " " << m.notes << "\n";
    for (const std::string& r : refused_) o << "refuse " << r << "\n";
    return o.str();
}

}  // namespace phonesim
