#include "debugtrace.h"
#include "strutil.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;
using zorqtest::WriteFile;

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        gv_bDebug = 0;
    }
    void TearDown() override { gv_bDebug = 0; }
    std::string TracePath() const { return dir_.path() + "debug.txt"; }
    TempProgramDir dir_;
};

TEST_F(TraceTest, OffLeavesAnOldTraceAlone)
{
    WriteFile(TracePath(), "old run\r\n");
    InitDebugFile(dir_.path());
    EXPECT_EQ(IsDebugMode(), 0);
    WriteDebug("X::Y -> ", "z");
    EXPECT_EQ(ReadFile(TracePath()), "old run\r\n");
    WriteIniProfileInt("Pellard", "Debug", 0);
    InitDebugFile(dir_.path());
    EXPECT_EQ(ReadFile(TracePath()), "old run\r\n");
}

TEST_F(TraceTest, OnStartsANewFileWithTheHeader)
{
    WriteFile(TracePath(), "old run\r\n");
    WriteIniProfileInt("Pellard", "Debug", 7);
    InitDebugFile(dir_.path());
    EXPECT_EQ(IsDebugMode(), 1);
    const std::string text = ReadFile(TracePath());
    const std::string stars = "\\*{78}";
    const std::regex header(
        stars + "\r\n\r\n {34}DEBUG FILE\r\n\r\n"
                "   Application :  Pellard Tarvel Data 1\\.0\r\n"
                "   Date        :  \\d\\d/\\d\\d/\\d{4}\r\n"
                "   Time        :  \\d\\d:\\d\\d:\\d\\d\r\n" +
        stars + "\r\n\r\n\r\n");
    EXPECT_TRUE(std::regex_match(text, header)) << text;
}

TEST_F(TraceTest, LineFormats)
{
    WriteIniProfileInt("Pellard", "Debug", 1);
    InitDebugFile(dir_.path());
    const size_t headerSize = ReadFile(TracePath()).size();
    WriteDebug("CDoc::Open -> ", "file ", "a.mdb", "!");
    WriteDebugInt("CDoc::Count -> ", -12);
    WriteDebugInt2("CDoc::Pair -> ", 3, -4);
    WriteDebug("", "no", " time");
    WriteDebug("", "", "", "");
    WriteDebugInt("", 5);
    WriteDebugInt2("", 1, 2);
    const std::string body = ReadFile(TracePath()).substr(headerSize);
    const std::regex lines(
        "\\d\\d:\\d\\d:\\d\\d : CDoc::Open -> file a\\.mdb!\r\n"
        "\\d\\d:\\d\\d:\\d\\d : CDoc::Count -> -12\r\n"
        "\\d\\d:\\d\\d:\\d\\d : CDoc::Pair -> 3 -4\r\n"
        "no time\r\n"
        "\r\n"
        "5\r\n"
        "1 2\r\n");
    EXPECT_TRUE(std::regex_match(body, lines)) << body;
    // A long line is written whole: no fixed-size line buffer.
    const std::string longText(100000, 'x');
    WriteDebug("T -> ", longText);
    EXPECT_NE(ReadFile(TracePath()).find(longText + "\r\n"), std::string::npos);
}

TEST_F(TraceTest, ALineRepeatedInARowIsWrittenAFewTimesThenCounted)
{
    WriteIniProfileInt("Pellard", "Debug", 1);
    InitDebugFile(dir_.path());
    const size_t headerSize = ReadFile(TracePath()).size();
    for (int i = 0; i < 1000; ++i)
        WriteDebug("Read_Serial_Line ClearCommError failed");
    for (int i = 0; i < 5; ++i)
        WriteDebugInt("X::Count -> ", 7);
    WriteDebugInt("X::Count -> ", 8);
    WriteDebug("A -> ", "b");
    WriteDebug("A -> b");  // the same text, whatever its pieces
    WriteDebug("A -> b");
    WriteDebug("A -> b");
    FlushDebugRepeats();
    FlushDebugRepeats();  // told once
    const std::string body = ReadFile(TracePath()).substr(headerSize);
    const std::string t = "\\d\\d:\\d\\d:\\d\\d : ";
    const std::regex lines(t + "Read_Serial_Line ClearCommError failed\r\n" + t +
                           "Read_Serial_Line ClearCommError failed\r\n" + t +
                           "Read_Serial_Line ClearCommError failed\r\n" + t + "\\.\\.\\. repeated 997 times\r\n" +
                           t + "X::Count -> 7\r\n" + t + "X::Count -> 7\r\n" + t + "X::Count -> 7\r\n" + t +
                           "\\.\\.\\. repeated 2 times\r\n" + t + "X::Count -> 8\r\n" + t + "A -> b\r\n" + t +
                           "A -> b\r\n" + t + "A -> b\r\n" + t + "\\.\\.\\. repeated 1 times\r\n");
    EXPECT_TRUE(std::regex_match(body, lines)) << body;
}

TEST_F(TraceTest, UnwritableTraceLosesLinesSilently)
{
    WriteIniProfileInt("Pellard", "Debug", 1);
    InitDebugFile(dir_.path());
    const std::string before = ReadFile(TracePath());
    // Read-only for everyone but root; a folder in its place stops root too.
    chmod(TracePath().c_str(), 0444);
    if (geteuid() != 0) {
        WriteDebug("Lost -> ", "line");
        EXPECT_EQ(ReadFile(TracePath()), before);
    }
    std::remove(TracePath().c_str());
    ASSERT_EQ(mkdir(TracePath().c_str(), 0755), 0);
    WriteDebug("Lost -> ", "line");
    WriteDebugInt("Lost -> ", 1);
    struct stat st;
    ASSERT_EQ(stat(TracePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(TraceTest, TraceInAFolderThatIsGoneDoesNotFail)
{
    WriteIniProfileInt("Pellard", "Debug", 1);
    InitDebugFile(dir_.path() + "missing/");
    EXPECT_EQ(IsDebugMode(), 1);
    WriteDebug("Lost -> ", "line");  // the open fails: nothing else happens
    EXPECT_FALSE(FileExists(dir_.path() + "missing/debug.txt"));
}

TEST(TraceFormat, TimeAndDate)
{
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 0;
    tm.tm_mday = 5;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    EXPECT_EQ(FormatTraceTime(t), "07:08:09");
    EXPECT_EQ(FormatTraceDate(t), "01/05/2026");
}

}  // namespace
