// The serial layer and the request frame with the real kernel, over a
// pseudo-terminal driven by the test.
#include "temp_folder.h"

#include <sys/ioctl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ati_harness.h"
#include "engine_fixture.h"
#include "mtr_gen.h"

using namespace engine_test;

namespace {

// Waits until the port has `bytes` to read (a pseudo-terminal passes them
// on a moment after the other side wrote them; later on a loaded machine).
bool WaitReadable(int bytes = 1, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 5) {
        int n = 0;
        if (::ioctl(serial_fd(), FIONREAD, &n) == 0 && n >= bytes)
            return true;
        usleep(5000);
    }
    return false;
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

double cpu_seconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

using SerialTest = LinkTest;

TEST(SerialLayer, WaitingBytesBecomeMessagesOf128AtMost)
{
    AtiHarness h;  // plays the kernel: the messages land in its inbox
    ScriptedPhone phone([](const std::string&) { return std::string(); });
    zorqtest::ScopedTempFolder folder("zorq-serial-");
    const std::string dir = folder.path();
    SetIniProfileFile(dir);
    WriteIniProfileString("Ports", "COM7", phone.path());
    ASSERT_EQ(Init_Serial(7), 1);
    h.inbox_.clear();
    phone.write(std::string(300, 'x'));
    ASSERT_TRUE(WaitReadable(300));
    EXPECT_EQ(Read_Serial_Line(), 1);
    ASSERT_EQ(h.inbox_.size(), 3u);
    int sizes[3];
    for (int i = 0; i < 3; ++i)
        sizes[i] = (h.inbox_[i][2] << 8) | h.inbox_[i][3];
    EXPECT_EQ(sizes[0], 128);
    EXPECT_EQ(sizes[1], 128);
    EXPECT_EQ(sizes[2], 44);
    Close_Serial();
    // A closed port reads nothing, writes nothing and closes again harmlessly.
    EXPECT_EQ(Read_Serial_Line(), 0);
    const uint8_t block[] = {0, 3, 'A', 'T', '\r'};
    Send_Serial_Line(block);
    Close_Serial();
    EXPECT_EQ(serial_fd(), -1);
    // A port that does not exist cannot be opened.
    WriteIniProfileString("Ports", "COM7", "/dev/zorq-no-such-port");
    EXPECT_EQ(Init_Serial(7), 0);
    usleep(50000);
    EXPECT_EQ(phone.commands(), "");
}

TEST(SerialLayer, PortNumbersMapToDevices)
{
    zorqtest::ScopedTempFolder folder("zorq-serial-");
    const std::string dir = folder.path();
    SetIniProfileFile(dir);
    WriteIniProfileString("Ports", "COM3", "/dev/pts/77");
    EXPECT_EQ(serial_port_path(3), "/dev/pts/77");
    EXPECT_EQ(serial_port_path(0), "");
    EXPECT_EQ(serial_port_path(200), "");  // no machine has that many ports
}

TEST_F(SerialTest, TheTraceMarksEachDirection)
{
    ScriptedPhone phone([](const std::string& cmd) {
        return cmd == "AT+CREG=1" ? std::string("\r\n+CREG: 1\r\n\r\nOK\r\n") : std::string("\r\nOK\r\n");
    });
    serial_trace_start(host.folder);
    ASSERT_EQ(Open(phone.path()), 1);
    EXPECT_EQ(simple_request(AT_REQ_CREG_SET, {1}), MTR_DONE);
    Close_Serial();
    // A second opening appends: the trace of the first exchange stays.
    ASSERT_EQ(Open(phone.path()), 1);
    EXPECT_EQ(simple_request(AT_REQ_AT), MTR_DONE);
    serial_trace_stop();
    std::string t = read_file(host.folder + "debugAT.txt");
    std::string stars(78, '*');
    EXPECT_EQ(t.rfind(stars + "\r\n\r\n                                AT DEBUG FILE\r\n", 0), 0u);
    size_t out = t.find("\r\n" + stars + "\r\n\r\n-> ");
    ASSERT_NE(out, std::string::npos);
    size_t cmd = t.find("AT+CREG=1\r", out);
    size_t in = t.find("\r\n\r\n<- ", cmd);
    ASSERT_NE(cmd, std::string::npos);
    ASSERT_NE(in, std::string::npos);
    EXPECT_NE(t.find("+CREG: 1\r\n\r\nOK\r\n", in), std::string::npos);
    EXPECT_NE(t.find("AT\r", in), std::string::npos);
    EXPECT_EQ(t.find("AT DEBUG FILE", t.find("AT DEBUG FILE") + 1), std::string::npos);  // one header
}

#ifdef ZORQ_HAVE_PHONESIM
size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// A phone that says the same thing again and again, and commands written
// again and again to a phone that does not answer: the AT trace writes a
// few of them and counts the rest, as the program trace does.
TEST_F(SerialTest, TheTraceCountsWhatRepeatsInARow)
{
    Start();
    serial_trace_start(host.folder);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(sim->command("creg 1"), "ok");
    uint8_t status = 0, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_DONE);  // reads them, then its own answer
    ASSERT_EQ(sim->command("mute on"), "ok");
    const uint8_t at[] = {0, 3, 'A', 'T', '\r'};
    for (int i = 0; i < 10; ++i)
        Send_Serial_Line(at);
    // Bytes written to a pseudo-terminal reach the other side a moment
    // later; the phone must have read (and dropped) them before it speaks
    // again, or it answers them in place of the next command.
    usleep(300000);
    ASSERT_EQ(sim->command("mute off"), "ok");
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    serial_trace_stop();
    const std::string t = read_file(host.folder + "debugAT.txt");
    EXPECT_EQ(count_of(t, "+CREG: 1\r\n"), 3u) << t;
    EXPECT_EQ(count_of(t, "\r\n... repeated 47 times\r\n"), 1u) << t;
    // The answer that ends the run is whole, in its place.
    const size_t told = t.find("... repeated 47 times");
    EXPECT_NE(t.find("+CBC: ", told), std::string::npos) << t;
    EXPECT_NE(t.find("\r\nOK\r\n", told), std::string::npos) << t;
    // Each output is a star line, its marker and the command: three of the
    // ten are written, the next command after the count.
    EXPECT_EQ(count_of(t, "-> "), 2u + 3u) << t;
    const size_t sent = t.find("\r\n... repeated 7 times\r\n");
    ASSERT_NE(sent, std::string::npos) << t;
    EXPECT_NE(t.find("AT+CBC\r", sent), std::string::npos) << t;
    EXPECT_EQ(count_of(t, "repeated"), 2u) << t;
}

// The quick look for a phone on the port last used: a phone that answers is
// told, a mute one is not, and the port opened for the question (the link
// lost had closed it) is closed again either way; the link's state is left
// to the link test. Measured: how long the look at a mute phone took.
TEST_F(SerialTest, AProbeAsksThePortLastUsedAndLeavesItAsItFoundIt)
{
    Start();
    Close_Serial();
    gv_SPIO_com_status = SPIO_no_com_available;
    // The phone's answer needs a moment only; the time-out of a question
    // to a phone that answers is long enough for any machine.
    EXPECT_EQ(mtr_probe_phone(2500), MTR_DONE);
    EXPECT_LT(serial_fd(), 0) << "the port opened for the look stayed open";
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);

    ASSERT_EQ(sim->command("mute on"), "ok");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(mtr_failed_unanswered(mtr_probe_phone(300)));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("[ figures  ] a look at a mute phone took %.3f s\n", took);
    EXPECT_LT(serial_fd(), 0);
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);

    // On an open port with the link up the look leaves the port open.
    ASSERT_EQ(sim->command("mute off"), "ok");
    ASSERT_EQ(Init_Serial(1), 1);
    gv_SPIO_com_status = SPIO_com_available;
    EXPECT_EQ(mtr_probe_phone(2500), MTR_DONE);
    EXPECT_GE(serial_fd(), 0);
    // After the user gave up at the code prompt nothing is asked.
    gv_SPIO_com_status = 0;
    EXPECT_EQ(mtr_probe_phone(300), MTR_FAILED);
}
#endif

TEST_F(SerialTest, AnEchoedCodeNeverReachesTheTraceWhateverReadsItComesIn)
{
    // A phone that echoes its commands, the echo of the code command coming
    // in two writes far enough apart to be read apart.
    ScriptedPhone* self = nullptr;
    ScriptedPhone phone([&self](const std::string& cmd) -> std::string {
        if (cmd.rfind("AT+CPIN=", 0) != 0)
            return cmd + "\r\r\nOK\r\n";
        self->write(cmd.substr(0, 5));  // "AT+CP"
        usleep(150000);
        return cmd.substr(5) + "\r\r\nOK\r\n";
    });
    self = &phone;
    serial_trace_start(host.folder);
    ASSERT_EQ(Open(phone.path()), 1);
    uint64_t in0 = 0, out0 = 0, in1 = 0, out1 = 0;
    EXPECT_EQ(mtr_send_cpin("8642", ""), MTR_DONE);
    EXPECT_EQ(mtr_send_cpin("97531", "2468"), MTR_DONE);
    // A line longer than any answer with a code in it is starred to its end.
    serial_byte_counts(&in0, &out0);
    phone.write("\r\nAT+CPIN=\"" + std::string(1500, '7') + "\"\r\n");
    for (int k = 0; k < 100 && in1 < in0 + 1500; ++k) {
        mtr_pump();
        usleep(10000);
        serial_byte_counts(&in1, &out1);
    }
    EXPECT_EQ(simple_request(AT_REQ_AT), MTR_DONE);
    serial_trace_stop();
    const std::string t = read_file(host.folder + "debugAT.txt");
    for (const char* code : {"8642", "97531", "2468", "77"})
        EXPECT_EQ(t.find(code), std::string::npos) << code << " in\n" << t;
    // Both halves of each echo were traced, masked as one line.
    EXPECT_NE(t.find("AT+CP"), std::string::npos);
    EXPECT_NE(t.find("IN=\"****\""), std::string::npos) << t;
    EXPECT_NE(t.find("IN=\"*****\",\"****\""), std::string::npos) << t;
    EXPECT_NE(t.find(std::string(1500, '*')), std::string::npos);
    EXPECT_NE(t.find("AT\r"), std::string::npos) << "the line after it is traced as it is";
}

TEST_F(SerialTest, BatteryQueryAndErrors)
{
    ScriptedPhone phone([](const std::string& cmd) -> std::string {
        if (cmd == "AT+CBC")
            return "\r\n+CBC: 0,80\r\n\r\nOK\r\n";
        if (cmd == "AT+CPIN?")
            return "\r\n+CME ERROR: 10\r\n";
        if (cmd == "AT+CMGR=1")
            return "\r\n+CMS ERROR: 321\r\n";
        if (cmd == "AT+CSQ")
            return "\r\nERROR\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    uint8_t status = 9, level = 0;
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(level, 80);
    EXPECT_EQ(simple_request(AT_REQ_CPIN_GET), 10);
    EXPECT_EQ(simple_request(AT_REQ_CMGR, {1}), 321);
    EXPECT_EQ(simple_request(AT_REQ_CSQ), MTR_FAILED);
    // A data answer where none is awaited fails the request, which still
    // takes its own final OK: the next request gets its own answer.
    EXPECT_EQ(simple_request(AT_REQ_CBC), MTR_FAILED);
    EXPECT_EQ(battery(&status, &level), MTR_DONE);
    EXPECT_EQ(phone.commands(), "AT+CBC|AT+CPIN?|AT+CMGR=1|AT+CSQ|AT+CBC|AT+CBC|");
}

TEST_F(SerialTest, SilenceIsCode7AndCostsAlmostNoProcessor)
{
    ScriptedPhone phone([](const std::string&) { return std::string(); });
    ASSERT_EQ(Open(phone.path()), 1);
    auto t0 = std::chrono::steady_clock::now();
    double c0 = cpu_seconds();
    uint8_t s, l;
    EXPECT_EQ(battery(&s, &l), MTR_FAILED);
    double cpu = cpu_seconds() - c0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // The battery query's time-out is 200 ticks.
    EXPECT_GT(wall, 1.8);
    EXPECT_LT(cpu / wall, 0.10) << "cpu " << cpu << " s over " << wall << " s";
    RecordProperty("cpu_share_percent", std::to_string(cpu / wall * 100));
    std::printf("silent wait: %.3f s processor over %.3f s (%.2f %%)\n", cpu, wall, cpu / wall * 100);
    // The time-out was queued for polling as a loss of the link.
    ASSERT_FALSE(polled().empty());
    EXPECT_EQ(polled().back()[1], AT_CNF_RESULT);
    EXPECT_EQ(polled().back()[2], AT_RESULT_SILENCE);
}

TEST_F(SerialTest, RequestsDoNotNest)
{
    ScriptedPhone phone([](const std::string& cmd) -> std::string {
        if (cmd == "AT+CBC")
            return "\r\n+CBC: 0,80\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    MTR_RESULT inner = 0;
    host.on_dispatch = [&] { inner = simple_request(AT_REQ_CSQ); };
    uint8_t s, l;
    EXPECT_EQ(battery(&s, &l), MTR_DONE);
    EXPECT_EQ(inner, MTR_FAILED);
    EXPECT_EQ(l, 80);
}

TEST_F(SerialTest, IdleTimeHandlesIndicationsOutsideRequests)
{
    ScriptedPhone phone([](const std::string&) { return std::string("\r\nOK\r\n"); });
    ASSERT_EQ(Open(phone.path()), 1);
    phone.write("\r\n+CMTI: \"SM\",7\r\n");
    ASSERT_TRUE(WaitReadable());
    // What the application's idle step does: read the port, then let the
    // engine take what reached task 0.
    EXPECT_EQ(Read_Serial_Line(), 1);
    ASSERT_FALSE(krn_mbx_empty(KRN_TASK_MAIN));
    mtr_idle();
    ASSERT_EQ(polled().size(), 1u);
    EXPECT_EQ(polled()[0][1], AT_CNF_CMTI);
    EXPECT_EQ(polled()[0][2], 3);  // SM
    EXPECT_EQ(polled()[0][3], 7);
    EXPECT_TRUE(krn_mbx_empty(KRN_TASK_MAIN));
}

TEST(SerialLayer, AShortWriteSendsOnlyTheRest)
{
    AtiHarness h;
    ScriptedPhone phone([](const std::string&) { return std::string(); });
    zorqtest::ScopedTempFolder folder("zorq-serial-");
    const std::string dir = folder.path();
    SetIniProfileFile(dir);
    WriteIniProfileString("Ports", "COM7", phone.path());
    ASSERT_EQ(Init_Serial(7), 1);
    // Far more than the pseudo-terminal holds: the writes fall short.
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line" + std::to_string(i) + "\n";
    std::vector<uint8_t> block(2 + text.size());
    block[0] = static_cast<uint8_t>(text.size() >> 8);
    block[1] = static_cast<uint8_t>(text.size());
    std::memcpy(block.data() + 2, text.data(), text.size());
    ASSERT_LT(text.size(), 65536u);
    Send_Serial_Line(block.data());
    for (int i = 0; i < 100 && phone.raw().size() < text.size(); ++i)
        usleep(20000);
    std::string got = phone.raw();
    // Raw mode: the bytes arrive unchanged (no LF to CR LF), each once.
    EXPECT_EQ(got.size(), text.size());
    EXPECT_TRUE(got == text);
    Close_Serial();
}
