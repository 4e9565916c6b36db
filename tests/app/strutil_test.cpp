#include "strutil.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace {

TEST(StrUtil, NormalizeDirectory)
{
    EXPECT_EQ(NormalizeDirectory("/opt/zorq  "), "/opt/zorq/");
    EXPECT_EQ(NormalizeDirectory("/opt/zorq/"), "/opt/zorq/");
    EXPECT_EQ(NormalizeDirectory("   "), "/");
    EXPECT_EQ(NormalizeDirectory(""), "");
}

TEST(StrUtil, GetDirectoryPart)
{
    EXPECT_EQ(GetDirectoryPart("/home/user/file.txt", 0), "/home/user/");
    EXPECT_EQ(GetDirectoryPart("/home/user/file.txt", 1), "/home/user");
    EXPECT_EQ(GetDirectoryPart("file.txt", 0), "");
    EXPECT_EQ(GetDirectoryPart("", 1), "");
}

TEST(StrUtil, ReplaceAllIgnoresCaseAndEmptyReplacementInsertsQuestionMarks)
{
    std::string t = "Name: NAME and name";
    ReplaceAll(t, "name", "X");
    EXPECT_EQ(t, "X: X and X");
    std::string u = "abcABCabc";
    ReplaceAll(u, "Bc", "");
    EXPECT_EQ(u, "a???A???a???");
    std::string v = "aaa";
    ReplaceAll(v, "a", "aa");  // the replacement is not searched again
    EXPECT_EQ(v, "aaaaaa");
}

TEST(StrUtil, RemoveAllIsCaseExact)
{
    std::string t = "a-b-B-b";
    RemoveAll(t, "b");
    EXPECT_EQ(t, "a--B-");
}

TEST(StrUtil, CollapseBlanksHalvesRunsCollapseAllMakesOne)
{
    std::string four = "a    b";
    CollapseBlanks(four);
    EXPECT_EQ(four, "a  b");
    std::string three = "a   b  c d";
    CollapseBlanks(three);
    EXPECT_EQ(three, "a  b c d");
    std::string all = "a    b     c";
    CollapseAllBlanks(all);
    EXPECT_EQ(all, "a b c");
}

TEST(StrUtil, Trims)
{
    std::string t = "  x y  ";
    TrimRight(t);
    EXPECT_EQ(t, "  x y");
    TrimLeft(t);
    EXPECT_EQ(t, "x y");
    std::string blanks = "    ";
    Trim(blanks);
    EXPECT_EQ(blanks, "");
}

TEST(StrUtil, LanguageCodesFromIdsAndLocale)
{
    EXPECT_EQ(LanguageIdToCode(7), "deu");
    EXPECT_EQ(LanguageIdToCode(4), "chi");
    EXPECT_EQ(LanguageIdToCode(22), "enu");  // Portuguese has no bundle code
    setenv("LC_ALL", "pt_BR.UTF-8", 1);
    EXPECT_EQ(GetUserLanguageCode(), "enu");
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(GetUserLanguageCode(), "deu");
    unsetenv("LC_ALL");
}

TEST(StrUtil, WaitAndPumpZeroReturnsAtOnceAndTaskbarHelpersAreHarmless)
{
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitAndPumpMessages(0));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitAndPumpMessages(3));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30));
    EXPECT_EQ(MakeTaskbarNotTopmost(), 0);
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The pause at the end of a progress window lasts its half second with the
// thread asleep in the event loop, yet a timer that falls due and a message
// posted from another thread meanwhile are handled inside it, when they come.
TEST(StrUtil, WaitAndPumpSleepsInTheLoopAndStillHandlesWhatComesMeanwhile)
{
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    for (const bool userInput : {true, false}) {
        SCOPED_TRACE(userInput ? "all messages" : "without user input");
        const auto t0 = std::chrono::steady_clock::now();
        auto since = [t0] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
        };
        long timerAt = -1, postedAt = -1;
        QTimer::singleShot(100, [&] { timerAt = since(); });
        std::thread poster([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { postedAt = since(); }, Qt::QueuedConnection);
        });
        const double cpu0 = ThreadCpuMs();
        if (userInput)
            EXPECT_TRUE(WaitAndPumpMessages(50));
        else
            PumpMessagesFor(500, false);
        const double cpu = ThreadCpuMs() - cpu0;
        const long wall = since();
        poster.join();
        EXPECT_GE(wall, 500);
        EXPECT_LT(wall, 1500);
        EXPECT_LT(cpu, 100.0) << "the thread kept a processor busy while it waited";
        EXPECT_GE(timerAt, 100);
        EXPECT_LT(timerAt, 400);
        EXPECT_GE(postedAt, 250);
        EXPECT_LT(postedAt, 500) << "a message posted during the wait waited for its end";
    }
}

}  // namespace
