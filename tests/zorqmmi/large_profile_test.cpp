// The whole program started on a profile grown large (thousands of sections
// another program left in it before the program's own): the start reads the
// file once and writes it at most once, and what the
// other program keeps there comes through byte for byte. How long the start
// takes is measured by bench/start_profile_bench, not here.
#include "program_support.h"

#include "phonesim_client.h"
#include "zorqapp.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <ctime>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using zorqtest::ProgramFolder;

// What the kernel tells of one file of a folder (inotify), whoever in the
// process acts on it: each open (a read, or a write in place) and each time
// another file was renamed over it or it was written in place. Counted
// while the loop runs, so that the kernel's queue never fills.
class FileWatch {
public:
    FileWatch(const std::string& folder, const std::string& name) : name_(name)
    {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) {
            notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
        }
    }
    ~FileWatch()
    {
        notifier_.reset();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Active() const { return fd_ >= 0; }
    void Drain()
    {
        alignas(inotify_event) char buf[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->mask & IN_Q_OVERFLOW)
                    overflowed = true;
                if (!e->len || name_ != e->name)
                    continue;
                if (e->mask & IN_OPEN)
                    ++opens;
                if (e->mask & (IN_MOVED_TO | IN_CLOSE_WRITE))
                    ++writes;
            }
        }
    }
    int opens = 0, writes = 0;
    bool overflowed = false;

private:
    std::string name_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Waits until the clock the file system stamps files with has passed the
// file's last change, so that the file's times are those of a file left
// alone since.
void WaitUntilSettled(const std::string& path)
{
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const auto after = [](const timespec& a, const timespec& b) {
        return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
    };
    for (int waited = 0; waited < 10000; ++waited) {
        timespec now {};
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (after(now, st.st_ctim) && after(now, st.st_mtim))
            return;
        usleep(1000);
    }
    FAIL() << "the clock never passed the file's change time";
}

class LargeProfileTest : public zorqtest::ProgramRunTest {};

TEST_F(LargeProfileTest, AStartOnAFourAndAHalfMegabyteProfileReadsItOnceWritesItOnceAndKeepsTheRest)
{
    phonesim::Process sim;
    ProgramFolder folder(sim.device());
    // 7,200 sections of 20 keys before the program's own section.
    std::string foreign;
    for (int s = 0; s < 7200; ++s) {
        foreign += "[Other" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 20; ++k)
            foreign += "Setting" + std::to_string(k) + "=kept by another one\r\n";
    }
    const std::string head = "[Ports]\r\nCOM1=" + sim.device() + "\r\n[Configuration]\r\nSerialPort=1\r\n";
    const std::string ini = head + foreign + "[Pellard]\r\nDebug=1\r\n";
    ASSERT_GT(ini.size(), 4400000u);
    ASSERT_LT(ini.size(), 4800000u);
    const std::string path = folder.path() + "ZorqMMI.ini";
    zorqtest::WriteFile(path, ini);
    // Left by an earlier run: its times tell at once that it is the file
    // read (one just written could still change within the same tick of the
    // file system's clock, and be read again to be sure).
    const timeval old[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimes(path.c_str(), old), 0);
    // Setting the times is itself a change: it gives the file a change time
    // of now. Wait until the file system's clock has passed it, as it has
    // for any file an earlier run left.
    ASSERT_NO_FATAL_FAILURE(WaitUntilSettled(path));

    FileWatch watch(folder.path(), "ZorqMMI.ini");
    ASSERT_TRUE(watch.Active()) << "no inotify here";
    bool shown = false;
    WhenStarted(Linked, [&] {
        shown = true;
        watch.Drain();
        End();
    });
    EXPECT_EQ(RunProgram(folder), 0);
    ASSERT_TRUE(shown) << "the program did not show its window linked";
    EXPECT_FALSE(watch.overflowed) << "events were lost: the counts below fall short";
    // Read once: its own rewrite is known without reading it back.
    EXPECT_EQ(watch.opens, 1) << "the start read the settings file " << watch.opens << " times";
    // The program's own keys that were missing, in one rewrite.
    EXPECT_EQ(watch.writes, 1) << "the start wrote the settings file " << watch.writes << " times";

    // The other program's sections are there byte for byte, and so are the
    // lines before them; the program's own keys went where they belong.
    const std::string after = zorqtest::ReadFile(path);
    EXPECT_EQ(after.compare(0, head.size(), head), 0) << after.substr(0, head.size());
    EXPECT_NE(after.find(foreign), std::string::npos) << "the foreign sections changed";
    EXPECT_NE(after.find("[Pellard]\r\nDebug=1\r\n"), std::string::npos);
    EXPECT_NE(after.find("[PhoneBook]\r\nComboSort=-1\r\nSource=-1\r\n"), std::string::npos);
    EXPECT_NE(after.find("[MobileInfo]\r\nManufacturerId=Quenvale\r\n"), std::string::npos);

    // A second start on the same file finds nothing to change: no rewrite.
    krn_reset_for_tests();
    FileWatch again(folder.path(), "ZorqMMI.ini");
    shown = false;
    WhenStarted(Linked, [&] {
        shown = true;
        again.Drain();
        End();
    });
    EXPECT_EQ(RunProgram(folder), 0);
    ASSERT_TRUE(shown) << "the program did not show its window linked the second time";
    EXPECT_FALSE(again.overflowed);
    EXPECT_LE(again.opens, 1) << "the second start read the settings file " << again.opens << " times";
    EXPECT_EQ(again.writes, 0) << "the second start wrote the settings file " << again.writes << " times";
    EXPECT_EQ(zorqtest::ReadFile(path), after);
}

}  // namespace
