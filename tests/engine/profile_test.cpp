#include "profile.h"

#include "diskfaults.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <cerrno>
#include <poll.h>
#include <sys/inotify.h>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = zorqtest::MakeTempFolder("zorq-profile-");
        ASSERT_FALSE(dir_.empty());
        SetIniProfileFile(dir_);
        path_ = dir_ + "ZorqMMI.ini";
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void Put(const std::string& text)
    {
        std::ofstream(path_, std::ios::binary) << text;
    }
    std::string Get()
    {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Exists() { return access(path_.c_str(), F_OK) == 0; }

    std::string dir_, path_;
};

TEST_F(ProfileTest, PathIsZorqMmiIniInTheFolder)
{
    EXPECT_EQ(GetIniProfilePath(), path_);
    SetIniProfileFile(dir_.substr(0, dir_.size() - 1));  // without the slash
    EXPECT_EQ(GetIniProfilePath(), path_);
}

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsDefaultAndWritesNothing)
{
    EXPECT_EQ(GetIniProfileInt("PoolingTime", "Pool", 0), 0);
    EXPECT_EQ(GetIniProfileInt("PoolingTime", "Pool", 7), 7);
    EXPECT_EQ(GetIniProfileString("MobileInfo", "ManufacturerId", "Quenvale"), "Quenvale");
    EXPECT_FALSE(Exists());

    Put("[Other]\r\nPool=5\r\n");
    EXPECT_EQ(GetIniProfileInt("PoolingTime", "Pool", 3), 3);  // key in another section
    EXPECT_EQ(GetIniProfileInt("Other", "Missing", -4), -4);
    EXPECT_EQ(Get(), "[Other]\r\nPool=5\r\n");
}

TEST_F(ProfileTest, WriteCreatesFileAndReadsBack)
{
    ASSERT_TRUE(WriteIniProfileInt("Configuration", "SerialPort", 2));
    EXPECT_EQ(Get(), "[Configuration]\r\nSerialPort=2\r\n");
    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 2);

    ASSERT_TRUE(WriteIniProfileString("Configuration", "SmsMode", "1"));
    ASSERT_TRUE(WriteIniProfileInt("Pellard", "Debug", -1));
    EXPECT_EQ(Get(), "[Configuration]\r\nSerialPort=2\r\nSmsMode=1\r\n[Pellard]\r\nDebug=-1\r\n");
    EXPECT_EQ(GetIniProfileInt("Pellard", "Debug", 0), -1);
}

TEST_F(ProfileTest, EveryReadGoesToTheFile)
{
    Put("[PoolingTime]\nPool=3\n");
    EXPECT_EQ(GetIniProfileInt("PoolingTime", "Pool", 0), 3);
    Put("[PoolingTime]\nPool=9\n");  // changed behind the program's back
    EXPECT_EQ(GetIniProfileInt("PoolingTime", "Pool", 0), 9);
}

TEST_F(ProfileTest, HandWrittenFileWithOddCaseBlanksCommentsAndCrLf)
{
    const std::string original =
        "; settings written by hand\r\n"
        "\r\n"
        "  [ configuration ]  \r\n"
        "SERIALPORT = 4 \r\n"
        "; a comment = not a key\r\n"
        "ThroughVxd=0\r\n"
        "\r\n"
        "[MobileInfo]\r\n"
        "ManufacturerId = \"Quenvale Ltd \"\r\n"
        "Model=  T 200  \r\n"
        "Junk line without equals\r\n"
        "[Empty]\r\n"
        "Number=12abc\r\n"
        "Text=abc\r\n";
    Put(original);

    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 4);
    EXPECT_EQ(GetIniProfileInt("CONFIGURATION", "throughvxd", 1), 0);
    EXPECT_EQ(GetIniProfileString("mobileinfo", "manufacturerid", ""), "Quenvale Ltd ");
    EXPECT_EQ(GetIniProfileString("MobileInfo", "Model", ""), "T 200");
    EXPECT_EQ(GetIniProfileString("Configuration", "; a comment", "dflt"), "dflt");
    EXPECT_EQ(GetIniProfileInt("Empty", "Number", 5), 12);
    EXPECT_EQ(GetIniProfileInt("Empty", "Text", 5), 0);  // present but not a number

    // Replace one value in place; a new key joins its section before the
    // trailing blank line; a new section goes at the end.
    ASSERT_TRUE(WriteIniProfileInt("configuration", "serialport", 2));
    ASSERT_TRUE(WriteIniProfileString("Configuration", "SmsMode", "0"));
    ASSERT_TRUE(WriteIniProfileString("Time", "Format", "24h"));

    const std::string expected =
        "; settings written by hand\r\n"
        "\r\n"
        "  [ configuration ]  \r\n"
        "SERIALPORT=2\r\n"
        "; a comment = not a key\r\n"
        "ThroughVxd=0\r\n"
        "SmsMode=0\r\n"
        "\r\n"
        "[MobileInfo]\r\n"
        "ManufacturerId = \"Quenvale Ltd \"\r\n"
        "Model=  T 200  \r\n"
        "Junk line without equals\r\n"
        "[Empty]\r\n"
        "Number=12abc\r\n"
        "Text=abc\r\n"
        "[Time]\r\n"
        "Format=24h\r\n";
    EXPECT_EQ(Get(), expected);
}

TEST_F(ProfileTest, LastLineWithoutLineEndAndLfOnlyFiles)
{
    Put("[A]\nx=1");
    ASSERT_TRUE(WriteIniProfileInt("A", "y", 2));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=2\n");
    ASSERT_TRUE(WriteIniProfileInt("B", "z", 3));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=2\n[B]\nz=3\n");
}

TEST_F(ProfileTest, ValueWithLineEndCannotSplitTheKey)
{
    ASSERT_TRUE(WriteIniProfileString("S", "k", "one\r\n[Evil]\r\nx=1"));
    EXPECT_EQ(GetIniProfileString("Evil", "x", "none"), "none");
    EXPECT_EQ(GetIniProfileString("S", "k", ""), "one[Evil]x=1");
}

TEST_F(ProfileTest, FailedWriteKeepsTheOldFile)
{
    Put("[A]\r\nx=1\r\n");
    // Limit the size of files this process may write, so that writing the
    // new contents fails part-way: the old file must stay whole.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 32;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = WriteIniProfileString("A", "x", std::string(200, 'v'));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\n");
    EXPECT_EQ(GetIniProfileInt("A", "x", 0), 1);
}

TEST_F(ProfileTest, AFileThatCannotBeReadIsNeverReplaced)
{
    // A name that cannot be opened for another reason than being missing (a
    // link that points at itself): a write must fail instead of replacing it
    // with a file holding only the new key.
    ASSERT_EQ(symlink(path_.c_str(), path_.c_str()), 0);
    EXPECT_FALSE(WriteIniProfileInt("A", "x", 2));
    struct stat st;
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(GetIniProfileInt("A", "x", 7), 7);

    // The same for a file this user may not read.
    ASSERT_EQ(unlink(path_.c_str()), 0);
    Put("[A]\r\nx=1\r\ny=2\r\n");
    if (geteuid() == 0)
        return;  // permissions do not stop root
    ASSERT_EQ(chmod(path_.c_str(), 0200), 0);
    EXPECT_FALSE(WriteIniProfileInt("B", "z", 3));
    ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST_F(ProfileTest, WriteIntoMissingFolderFailsCleanly)
{
    SetIniProfileFile(dir_ + "no/such/folder/");
    EXPECT_FALSE(WriteIniProfileInt("A", "x", 2));
    EXPECT_EQ(GetIniProfileInt("A", "x", 11), 11);
}

TEST_F(ProfileTest, ANewFileTakesTheUmaskAndARewrittenOneKeepsItsMode)
{
    {
        zorqtest::UmaskScope mask(077);
        ASSERT_TRUE(WriteIniProfileInt("A", "x", 1));
    }
    EXPECT_EQ(zorqtest::FileMode(path_), 0600u);
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    ASSERT_TRUE(WriteIniProfileInt("A", "x", 2));
    EXPECT_EQ(zorqtest::FileMode(path_), 0640u);
    ASSERT_EQ(unlink(path_.c_str()), 0);
    {
        zorqtest::UmaskScope mask(002);
        ASSERT_TRUE(WriteIniProfileString("A", "y", "z"));
    }
    EXPECT_EQ(zorqtest::FileMode(path_), 0664u);
}

TEST_F(ProfileTest, AFullDiskOrAReadOnlyFolderFailsTheWriteAndKeepsTheFile)
{
    zorqtest::SmallDisk disk(dir_, 64 * 1024);
    ASSERT_FALSE(disk.Folder().empty());
    SetIniProfileFile(disk.Folder());
    const std::string path = disk.Folder() + "ZorqMMI.ini";
    ASSERT_TRUE(WriteIniProfileString("A", "x", "1"));
    disk.Fill();
    EXPECT_FALSE(WriteIniProfileString("A", "x", std::string(8000, 'v')));
    EXPECT_EQ(GetIniProfileString("A", "x", ""), "1");
    disk.Release();
    if (!disk.MakeReadOnly())
        GTEST_SKIP() << "no read-only folder can be made here (root without a mount)";
    EXPECT_FALSE(WriteIniProfileString("A", "x", "2"));
    EXPECT_EQ(GetIniProfileString("A", "x", ""), "1");
    ASSERT_TRUE(disk.MakeWritable());
}

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Every rewrite renames a new file over the old one: a file not rewritten
// keeps its inode.
TEST_F(ProfileTest, AValueWrittenAgainLeavesTheFileAndABatchRewritesItOnceAtItsEnd)
{
    Put("[A]\r\nx=1\r\ny = two\r\n");
    const ino_t first = Inode(path_);
    EXPECT_TRUE(WriteIniProfileInt("A", "x", 1));
    EXPECT_TRUE(WriteIniProfileString("a", "Y", "two"));
    EXPECT_EQ(Inode(path_), first) << "an unchanged value rewrote the file";
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\ny = two\r\n");

    BeginIniProfileBatch();
    EXPECT_TRUE(WriteIniProfileInt("A", "x", 2));
    EXPECT_TRUE(WriteIniProfileInt("B", "z", 3));
    EXPECT_TRUE(WriteIniProfileInt("A", "w", 4));
    // Seen by every read at once, in the file only at the end.
    EXPECT_EQ(GetIniProfileInt("A", "x", 0), 2);
    EXPECT_EQ(GetIniProfileInt("B", "z", 0), 3);
    EXPECT_EQ(Inode(path_), first);
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\ny = two\r\n");
    BeginIniProfileBatch();  // a batch inside another ends with it
    EXPECT_TRUE(WriteIniProfileInt("B", "z", 5));
    EXPECT_TRUE(EndIniProfileBatch());
    EXPECT_EQ(Inode(path_), first);
    EXPECT_TRUE(EndIniProfileBatch());
    EXPECT_NE(Inode(path_), first);
    EXPECT_EQ(Get(), "[A]\r\nx=2\r\ny = two\r\nw=4\r\n[B]\r\nz=5\r\n");

    // A batch of values the file already holds writes nothing.
    const ino_t second = Inode(path_);
    {
        IniProfileBatch batch;
        EXPECT_TRUE(WriteIniProfileInt("A", "x", 2));
        EXPECT_TRUE(WriteIniProfileInt("B", "z", 5));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(Inode(path_), second);
}

// The look before a start: whether a rewrite could be saved, found without
// writing the settings (nothing is left behind); and a batch whose rewrite
// fails keeps the file and forgets its changes.
TEST_F(ProfileTest, WhetherTheFileCanBeSavedIsToldWithoutARewriteAndAFailedBatchLosesNothing)
{
    zorqtest::SmallDisk disk(dir_, 256 * 1024);
    ASSERT_FALSE(disk.Folder().empty());
    SetIniProfileFile(disk.Folder());
    const std::string path = disk.Folder() + "ZorqMMI.ini";
    ASSERT_TRUE(WriteIniProfileString("A", "x", "1"));
    const ino_t before = Inode(path);
    EXPECT_TRUE(CanSaveIniProfile());
    EXPECT_EQ(Inode(path), before);
    disk.Fill();
    EXPECT_FALSE(CanSaveIniProfile());
    {
        IniProfileBatch batch;
        EXPECT_TRUE(WriteIniProfileString("A", "x", std::string(8000, 'v')));
        EXPECT_FALSE(batch.Commit());
    }
    EXPECT_EQ(GetIniProfileString("A", "x", ""), "1");
    disk.Release();
    EXPECT_TRUE(CanSaveIniProfile());
    std::string left;
    if (DIR* d = ::opendir(disk.Folder().c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                left += std::string(e->d_name) + " ";
        ::closedir(d);
    }
    EXPECT_EQ(left, "ZorqMMI.ini ");
    if (!disk.MakeReadOnly())
        GTEST_SKIP() << "no read-only folder can be made here (root without a mount)";
    EXPECT_FALSE(CanSaveIniProfile());
    EXPECT_EQ(GetIniProfileString("A", "x", ""), "1");
    ASSERT_TRUE(disk.MakeWritable());
}

}  // namespace

// A profile grown to 5 MB (sections nobody reads, a value of a megabyte):
// every key still reads and writes, a write keeps the rest of the file
// byte for byte, and a session's worth of reads stays quick.
TEST_F(ProfileTest, AProfileOfFiveMegabytesReadsAndWritesQuickly)
{
    std::string text = "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    for (int s = 0; text.size() < 4 * 1024 * 1024; ++s) {
        text += "[Filler" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 20; ++k)
            text += "Key" + std::to_string(k) + "=Some value of the filler " + std::to_string(s) + "\r\n";
    }
    text += "[Big]\r\nValue=" + std::string(1024 * 1024, 'v') + "\r\n[SMSMO]\r\nMaxNbBlocks=12\r\n";
    Put(text);
    ASSERT_GT(text.size(), 5u * 1000 * 1000);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(GetIniProfileInt("SMSMO", "MaxNbBlocks", 20), 12);
        ASSERT_EQ(GetIniProfileString("ports", "com1", ""), "/dev/ttyUSB0");
        ASSERT_EQ(GetIniProfileInt("Filler99", "Key7", -1), 0);  // "Some value..." is not a number
        ASSERT_EQ(GetIniProfileInt("Filler99", "Key20", -1), -1);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(GetIniProfileString("Big", "Value", "").size(), 1024u * 1024);
    std::printf("800 reads of a %zu-byte profile: %.2f s\n", text.size(), seconds);
#ifdef ZORQ_SANITIZE
    EXPECT_LT(seconds, 60.0);  // the instrumented build runs several times slower
#else
    EXPECT_LT(seconds, 10.0);
#endif

    ASSERT_TRUE(WriteIniProfileInt("SMSMO", "MaxNbBlocks", 15));
    EXPECT_EQ(GetIniProfileInt("SMSMO", "MaxNbBlocks", 20), 15);
    std::string expected = text;
    expected.replace(expected.rfind("MaxNbBlocks=12"), 14, "MaxNbBlocks=15");
    EXPECT_TRUE(Get() == expected);
}

// Keys added to a section in the middle of the file move every line after
// them: the keys and sections there still read and write where they are,
// and a change made by hand right after a write of ours (same size, same
// moment) is still seen.
TEST_F(ProfileTest, KeysAddedInTheMiddleLeaveEveryLaterKeyWhereItIs)
{
    Put("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n[a]\r\nx=9\r\n[C]\r\nz=3\r\n");
    ASSERT_EQ(GetIniProfileInt("C", "z", 0), 3);
    ASSERT_TRUE(WriteIniProfileInt("A", "new1", 10));
    ASSERT_TRUE(WriteIniProfileInt("a", "New2", 11));
    ASSERT_TRUE(WriteIniProfileInt("B", "y2", 12));
    EXPECT_EQ(GetIniProfileInt("B", "y", 0), 2);
    EXPECT_EQ(GetIniProfileInt("A", "x", 0), 1) << "the first section of a name counts";
    EXPECT_EQ(GetIniProfileInt("A", "NEW2", 0), 11);
    EXPECT_EQ(GetIniProfileInt("C", "z", 0), 3);
    ASSERT_TRUE(WriteIniProfileInt("C", "z", 4));
    ASSERT_TRUE(WriteIniProfileInt("D", "w", 5));
    ASSERT_TRUE(WriteIniProfileInt("D", "v", 6));
    EXPECT_EQ(Get(),
              "[A]\r\nx=1\r\nnew1=10\r\nNew2=11\r\n\r\n[B]\r\ny=2\r\ny2=12\r\n[a]\r\nx=9\r\n[C]\r\nz=4\r\n"
              "[D]\r\nw=5\r\nv=6\r\n");
    EXPECT_EQ(GetIniProfileInt("d", "W", 0), 5);

    // A fresh reading of the file sees what the kept index sees.
    const std::string now = Get();
    Put(now + "\r\n");
    EXPECT_EQ(GetIniProfileInt("D", "v", 0), 6);
    EXPECT_EQ(GetIniProfileInt("B", "y2", 0), 12);

    // Changed by hand at once, to a text of the same size.
    ASSERT_TRUE(WriteIniProfileInt("C", "z", 7));
    std::string edited = Get();
    edited.replace(edited.find("z=7"), 3, "z=8");
    Put(edited);
    EXPECT_EQ(GetIniProfileInt("C", "z", 0), 8);
}

// Once a profile of 4.5 MB was read, a key read costs a look-up: ten
// thousand reads take a small part of a second of processor time, where
// a walk of the file for each would take many seconds.
TEST_F(ProfileTest, AfterTheFirstReadAKeyOfALargeProfileCostsNoWalkOfTheFile)
{
    std::string text = "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    for (int s = 0; s < 7200; ++s) {
        text += "[Other" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 20; ++k)
            text += "Setting" + std::to_string(k) + "=kept by another one\r\n";
    }
    text += "[Pellard]\r\nDebug=1\r\n";
    Put(text);
    const auto cpu = [] {
        timespec t {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    double start = cpu();
    ASSERT_EQ(GetIniProfileInt("Pellard", "Debug", 0), 1);
    const double first = cpu() - start;
    start = cpu();
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(GetIniProfileInt("Pellard", "Debug", 0), 1);
        ASSERT_EQ(GetIniProfileString("other3600", "setting19", ""), "kept by another one");
    }
    const double reads = cpu() - start;
    start = cpu();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(WriteIniProfileInt("SMSMO", "ComboSort", -1 - i));
    const double writes = cpu() - start;
    EXPECT_EQ(GetIniProfileInt("SMSMO", "ComboSort", 0), -10);
    std::printf("a %zu-byte profile: first read %.1f ms, a key read %.2f us, a write %.1f ms (processor)\n",
                text.size(), first * 1e3, reads / 20000 * 1e6, writes / 10 * 1e3);
#ifdef ZORQ_SANITIZE
    EXPECT_LT(reads, 10.0);
#else
    EXPECT_LT(reads, 1.0);
#endif
}

// Another program writes the file right after a rewrite of ours, within
// the same tick of the file system's clock and at the same size: its
// change is seen by the next read, and the next rewrite keeps it. The
// other program here is a thread that waits for each new file to take the
// old one's place and changes one byte of it at once, with raw calls.
TEST_F(ProfileTest, AChangeAnotherProgramMakesRightAfterARewriteIsSeenAndKept)
{
    Put("[A]\r\nx=0000\r\n[B]\r\ny=0\r\n");
    ASSERT_EQ(GetIniProfileInt("B", "y", -1), 0);
    const off_t at = static_cast<off_t>(std::string("[A]\r\nx=0000\r\n[B]\r\ny=").size());
    constexpr int kRounds = 300;
    // The other program sleeps until the folder reports a file moved in
    // under the profile's name (a rewrite renames its new file there), and
    // the test until the other program reports its change.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    struct Closed {
        int fd;
        ~Closed() { ::close(fd); }
    } closedWatch{watch};
    ASSERT_GE(::inotify_add_watch(watch, dir_.c_str(), IN_MOVED_TO | IN_CREATE), 0);
    int wake[2];
    ASSERT_EQ(::pipe2(wake, O_CLOEXEC), 0);
    struct ClosedPipe {
        int* fds;
        ~ClosedPipe()
        {
            ::close(fds[0]);
            ::close(fds[1]);
        }
    } closedPipe{wake};
    std::mutex lock;
    std::condition_variable done;
    int changed = 0;
    std::atomic<bool> stop{false};
    struct stat first {};
    ASSERT_EQ(::stat(path_.c_str(), &first), 0);
    std::thread other([&, seen = first.st_ino]() mutable {
        alignas(struct inotify_event) char events[4096];
        for (int round = 1; round <= kRounds && !stop;) {
            struct stat st {};
            if (::stat(path_.c_str(), &st) != 0 || st.st_ino == seen) {
                // Not replaced yet: sleep until something is moved in or
                // created in the folder, or the test ends.
                pollfd fds[2] = {{watch, POLLIN, 0}, {wake[0], POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                    break;
                if (fds[1].revents)
                    break;
                if (fds[0].revents && ::read(watch, events, sizeof events) < 0 && errno != EINTR)
                    break;
                continue;
            }
            seen = st.st_ino;
            const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0) {
                const char digit = static_cast<char>('0' + round % 10);
                if (::pwrite(fd, &digit, 1, at) != 1)
                    stop = true;
                ::close(fd);
            }
            {
                std::lock_guard<std::mutex> hold(lock);
                changed = round++;
            }
            done.notify_all();
        }
    });
    struct Joined {
        std::atomic<bool>& stop;
        int wakeFd;
        std::thread& t;
        ~Joined()
        {
            stop = true;
            const char c = 0;
            while (::write(wakeFd, &c, 1) < 0 && errno == EINTR) {
            }
            t.join();
        }
    } joined{stop, wake[1], other};
    int unseen = 0;
    for (int round = 1; round <= kRounds; ++round) {
        char x[16];
        std::snprintf(x, sizeof x, "%04d", round);
        ASSERT_TRUE(WriteIniProfileString("A", "x", x));
        {
            std::unique_lock<std::mutex> hold(lock);
            // A deadline far beyond the moment the change takes, so that
            // a lost wake-up fails the test instead of hanging it.
            done.wait_for(hold, std::chrono::seconds(10), [&] { return changed >= round; });
            ASSERT_EQ(changed, round) << "the other program did not see the rewrite";
        }
        if (GetIniProfileInt("B", "y", -1) != round % 10)
            ++unseen;
    }
    EXPECT_EQ(unseen, 0) << unseen << " of " << kRounds << " changes made right after a rewrite were not seen";
    // Our next rewrite carries the other program's last change.
    ASSERT_TRUE(WriteIniProfileString("A", "x", "9999"));
    EXPECT_EQ(Get(), "[A]\r\nx=9999\r\n[B]\r\ny=" + std::to_string(kRounds % 10) + "\r\n");
}
