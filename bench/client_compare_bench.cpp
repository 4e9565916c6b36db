// Compares the engine with Debian's `gammu` on the same simulated phone: a
// 250-entry SIM phonebook read and a 30-message SIM listing, with the
// simulator paced at 19200 and at 115200 baud. Each job is measured by the
// simulator's meter, which starts at the job's first command (+CPB for the
// phonebook, +CPMS for the messages): each tool's start-up (process start,
// opening the port, gammu's initialisation and identification, the engine's
// phonebook and message set-up at program start) happens before it and is
// not counted. Both tools must deliver the same entries and messages; a
// mismatch fails the benchmark. Without gammu only the engine is measured.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ati.h"
#include "bench_engine.h"
#include "krn.h"
#include "mmi_sms.h"
#include "mtr_frame.h"
#include "mtr_pb.h"
#include "mtr_sms.h"
#include "phonesim_client.h"
#include "profile.h"
#include "serial.h"

extern char** environ;

namespace {

struct Item {
    std::string number, text;  // text: the entry's name or the message's body
    bool operator==(const Item& o) const { return number == o.number && text == o.text; }
};
using Items = std::map<int, Item>;  // by location

struct Meter {
    bool ok = false;
    unsigned long long toPhone = 0, fromPhone = 0;
    double seconds = 0;
};

struct Run {
    bool ok = false;
    Meter meter;
    Items items;
    std::string problem;
};

class Messages : public MmiShortMsg {
public:
    void mmi_SM_read_cnf(uint8_t, const SMS_SETTINGS*, const char*, size_t, const char*, const MTR_DATETIME&,
                         const char*) override
    {
    }
    void mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS*, const char* text, size_t len, const char* number,
                         const MTR_DATETIME&, const char*) override
    {
        items[index] = {number, std::string(text, len)};
    }
    Items items;
};

std::string scenario()
{
    std::string s = "clear-messages SM\nclear-messages ME\n";
    char line[128];
    for (int i = 1; i <= 250; ++i) {
        std::snprintf(line, sizeof line, "entry SM %d +336%08d 145 \"Contact %03d\"\n", i, 10000000 + i * 137, i);
        s += line;
    }
    for (int i = 1; i <= 30; ++i) {
        std::snprintf(line, sizeof line, "message SM %d 1 +3361%07d \"24/05/%02d,09:%02d:00+08\" Message %d of the bench\n",
                      i, i, i % 28 + 1, i, i);
        s += line;
    }
    return s;
}

Meter readMeter(phonesim::Process& sim)
{
    Meter m;
    std::istringstream in(sim.command("meter"));
    std::string word;
    long long us = 0;
    in >> word >> m.toPhone >> m.fromPhone >> us;
    m.ok = word == "ok" && in && m.toPhone > 0 && m.fromPhone > 0;
    m.seconds = static_cast<double>(us) / 1e6;
    return m;
}

// ---- the engine -----------------------------------------------------------------

void runEngine(phonesim::Process& sim, bench::Doc& doc, Run& pb, Run& sms)
{
    WriteIniProfileString("Ports", "COM1", sim.device());
    if (Init_Serial(1) != 1) {
        pb.problem = sms.problem = "cannot open " + sim.device();
        return;
    }
    MTR_PB_STORAGE rec[MTR_PB_RECORDS];
    if (mtr_PB_setup(rec) != MTR_DONE) {
        pb.problem = "phonebook set-up failed";
    } else {
        doc.onEntry = [&](uint8_t place, const std::string& number, const std::string& name) {
            pb.items[place] = {number, name};
        };
        sim.command("meter from +CPB");
        pb.ok = mtr_PB_select_storage(PB_SRC_SIM) == MTR_DONE &&
                mtr_PB_read_range(1, rec[MTR_PB_REC_SIM_ADN].capacity) == MTR_DONE;
        pb.meter = readMeter(sim);
        doc.onEntry = nullptr;
        if (!pb.ok) pb.problem = "reading failed";
    }
    Messages screen;
    gv_pShortMsg = &screen;
    SMS_STORAGE_INFO info{};
    if (mtr_SMS_setup(&info) != MTR_DONE) {
        sms.problem = "message set-up failed";
    } else {
        sim.command("meter from +CPMS");
        // Every message of the bench is a read one (status 1).
        sms.ok = mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM) == MTR_DONE && mtr_SMS_list_all(1) == MTR_DONE;
        sms.meter = readMeter(sim);
        sms.items = screen.items;
        if (!sms.ok) sms.problem = "listing failed";
    }
    gv_pShortMsg = nullptr;
    Close_Serial();
}

// ---- gammu ------------------------------------------------------------------------

std::string findGammu()
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/gammu";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs gammu with the arguments; returns its standard output, or nullopt
// when it could not run or failed.
std::optional<std::string> gammu(const std::string& exe, const std::vector<std::string>& args)
{
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);  // its progress notes
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while (rc == 0 && (n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    if (rc != 0) return std::nullopt;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) lines.push_back(l);
    return lines;
}

std::string quotedValue(const std::string& line)
{
    const size_t a = line.find('"'), b = line.rfind('"');
    return a != std::string::npos && b > a ? line.substr(a + 1, b - a - 1) : std::string();
}

// "Memory SM, Location 3" / "General number : "..."" / "Name : "...""
Items parsePhonebook(const std::string& text)
{
    Items items;
    int location = 0;
    for (const std::string& l : splitLines(text)) {
        if (std::sscanf(l.c_str(), "Memory SM, Location %d", &location) == 1) continue;
        if (location && l.rfind("General number", 0) == 0) items[location].number = quotedValue(l);
        if (location && l.rfind("Name ", 0) == 0) items[location].text = quotedValue(l);
    }
    return items;
}

// "Location 3, folder ..." then header lines "Key : value", a blank line,
// the body, a blank line.
Items parseMessages(const std::string& text)
{
    Items items;
    const std::vector<std::string> lines = splitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        int location = 0;
        if (std::sscanf(lines[i].c_str(), "Location %d, folder", &location) != 1) continue;
        Item item;
        size_t k = i + 1;
        for (; k < lines.size() && !lines[k].empty(); ++k)
            if (lines[k].rfind("Remote number", 0) == 0) item.number = quotedValue(lines[k]);
        std::string body;
        for (++k; k < lines.size() && !lines[k].empty(); ++k) body += (body.empty() ? "" : "\n") + lines[k];
        item.text = body;
        items[location] = item;
        i = k;
    }
    return items;
}

void runGammu(const std::string& exe, phonesim::Process& sim, int baud, const std::string& folder, Run& pb,
              Run& sms)
{
    const std::string rc = folder + "gammurc";
    std::ofstream(rc) << "[gammu]\ndevice = " << sim.device() << "\nconnection = at" << baud << "\n";
    sim.command("meter from +CPB");
    auto out = gammu(exe, {"-c", rc, "getallmemory", "SM"});
    pb.meter = readMeter(sim);
    pb.ok = out.has_value();
    if (out) pb.items = parsePhonebook(*out);
    else pb.problem = "gammu getallmemory failed";
    sim.command("meter from +CPMS");
    out = gammu(exe, {"-c", rc, "getallsms"});
    sms.meter = readMeter(sim);
    sms.ok = out.has_value();
    if (out) sms.items = parseMessages(*out);
    else sms.problem = "gammu getallsms failed";
}

// ---- report -----------------------------------------------------------------------

void row(const char* job, int baud, const char* tool, const Run& r)
{
    if (!r.ok || !r.meter.ok) {
        std::printf("| %-10s | %6d | %-6s | failed: %s |\n", job, baud, tool,
                    r.problem.empty() ? "no traffic metered" : r.problem.c_str());
        return;
    }
    std::printf("| %-10s | %6d | %-6s | %8.3f | %8llu | %8llu | %5zu |\n", job, baud, tool, r.meter.seconds,
                r.meter.toPhone, r.meter.fromPhone, r.items.size());
}

bool compare(const char* job, int baud, const Run& ours, const Run& theirs, size_t expected)
{
    bool same = ours.ok && theirs.ok && ours.items == theirs.items && ours.items.size() == expected;
    if (ours.ok && theirs.ok && ours.meter.ok && theirs.meter.ok && theirs.meter.seconds > 0) {
        std::printf("| %-10s | %6d | ratio  | %8.3f | %8.3f | %8.3f | %5s |\n", job, baud,
                    ours.meter.seconds / theirs.meter.seconds,
                    static_cast<double>(ours.meter.toPhone) / static_cast<double>(theirs.meter.toPhone),
                    static_cast<double>(ours.meter.fromPhone) / static_cast<double>(theirs.meter.fromPhone),
                    same ? "same" : "DIFF");
    }
    if (!same) {
        std::fprintf(stderr, "%s at %d baud: the two tools disagree (%zu entries ours, %zu gammu, %zu expected)\n", job,
                     baud, ours.items.size(), theirs.items.size(), expected);
        for (const auto& [at, item] : ours.items) {
            auto it = theirs.items.find(at);
            if (it == theirs.items.end() || !(it->second == item)) {
                std::fprintf(stderr, "  first difference at %d: ours \"%s\" \"%s\", gammu \"%s\" \"%s\"\n", at,
                             item.number.c_str(), item.text.c_str(),
                             it == theirs.items.end() ? "" : it->second.number.c_str(),
                             it == theirs.items.end() ? "(missing)" : it->second.text.c_str());
                break;
            }
        }
    }
    return same;
}

}  // namespace

int main()
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorq-compare-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    bench::Host host;
    bench::Doc doc;
    bench::startEngine(host, doc, dir.string() + "/");

    const std::string exe = findGammu();
    if (exe.empty())
        std::printf("gammu is not installed (Debian package \"gammu\"): only the engine is measured.\n");
    std::printf("Counted from each job's first command (+CPB / +CPMS) to the phone's last answer byte;\n"
                "start-up before it is not counted. Bytes: to the phone / from the phone.\n\n");
    std::printf("| job        |   baud | tool   |   wall s | to phone | from ph. | items |\n");
    std::printf("|------------|--------|--------|----------|----------|----------|-------|\n");
    int failures = 0;
    for (int baud : {19200, 115200}) {
        phonesim::Process sim(scenario(), baud);
        Run pbOurs, smsOurs, pbGammu, smsGammu;
        runEngine(sim, doc, pbOurs, smsOurs);
        row("phonebook", baud, "ours", pbOurs);
        row("messages", baud, "ours", smsOurs);
        failures += !(pbOurs.ok && pbOurs.items.size() == 250) + !(smsOurs.ok && smsOurs.items.size() == 30);
        if (exe.empty()) continue;
        runGammu(exe, sim, baud, host.folder, pbGammu, smsGammu);
        row("phonebook", baud, "gammu", pbGammu);
        row("messages", baud, "gammu", smsGammu);
        failures += !compare("phonebook", baud, pbOurs, pbGammu, 250);
        failures += !compare("messages", baud, smsOurs, smsGammu, 30);
    }
    bench::stopEngine();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return failures ? 1 : 0;
}
