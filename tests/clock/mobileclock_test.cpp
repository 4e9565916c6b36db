// The phone clock's text in every format, and its reading from the phone.
#include "clock_fixture.h"
#include "mobileclock.h"
#include "test_support.h"

#include "mtr_clock.h"

using namespace engine_test;

namespace {

TEST(MobileClockText, EveryDateFormatWithBothTimeFormats)
{
    const QDateTime when(QDate(2001, 3, 5), QTime(13, 5));
    struct Row {
        int date, time;
        const char* text;
    } rows[] = {
        {0, 1, "05/03/2001 13:05"}, {1, 1, "03/05/2001 13:05"}, {2, 1, "2001/03/05 13:05"},
        {7, 1, "03/05/2001 13:05"},  // an unknown date format prints month first
        {0, 0, "05/03/2001 01:05 PM"}, {1, 0, "03/05/2001 01:05 PM"}, {2, 0, "2001/03/05 01:05 PM"},
        {1, 5, "03/05/2001 13:05"},  // any time format but 12-hour is 24-hour
    };
    for (const Row& r : rows)
        EXPECT_EQ(CMobileClock::FormatText(when, r.date, r.time).toStdString(), r.text) << r.date << "," << r.time;
}

TEST(MobileClockText, TwelveHourClockAroundMidnightAndNoon)
{
    struct Row {
        int hour, minute;
        const char* time;
    } rows[] = {
        {0, 10, "12:10 AM"}, {1, 0, "01:00 AM"}, {11, 59, "11:59 AM"}, {12, 0, "12:00 PM"},
        {12, 30, "12:30 PM"}, {13, 5, "01:05 PM"}, {23, 59, "11:59 PM"},
    };
    for (const Row& r : rows) {
        const QDateTime when(QDate(2026, 12, 8), QTime(r.hour, r.minute));
        EXPECT_EQ(CMobileClock::FormatText(when, CLK_DATE_FMT_YMD, CLK_TIME_FMT_12H).toStdString(),
                  std::string("2026/12/08 ") + r.time);
        EXPECT_EQ(CMobileClock::FormatText(when, CLK_DATE_FMT_YMD, CLK_TIME_FMT_24H).toStdString(),
                  QString::asprintf("2026/12/08 %02d:%02d", r.hour, r.minute).toStdString());
    }
}

TEST(MobileClockText, YearsKeepTheirDigitsAndInvalidTimesPrintMinusOne)
{
    EXPECT_EQ(CMobileClock::FormatText(QDateTime(QDate(987, 1, 2), QTime(3, 4)), 0, 1).toStdString(),
              "02/01/987 03:04");
    EXPECT_EQ(CMobileClock::FormatText(QDateTime(), 0, 1).toStdString(), "-01/-01/-1 -01:-01");
}

TEST(MobileClockText, FormatTakesTheClocksOwnValuesForMissingArguments)
{
    CMobileClock clock;
    EXPECT_EQ(clock.GetDateFormat(), CLK_DATE_FMT_MDY);
    EXPECT_EQ(clock.GetTimeFormat(), CLK_TIME_FMT_24H);
    EXPECT_TRUE(clock.GetText().isEmpty());
    clock.SetDateTime(QDateTime(QDate(2001, 3, 5), QTime(0, 10)));
    clock.SetDateFormat(CLK_DATE_FMT_DMY);
    clock.SetTimeFormat(CLK_TIME_FMT_12H);
    EXPECT_TRUE(clock.GetText().isEmpty());  // setters do not rebuild the text
    EXPECT_EQ(clock.Format().toStdString(), "05/03/2001 12:10 AM");
    EXPECT_EQ(clock.Format(QDateTime(QDate(2002, 4, 6), QTime(18, 0)), 2, 1).toStdString(), "2002/04/06 18:00");
    EXPECT_EQ(clock.GetText().toStdString(), "2002/04/06 18:00");
    EXPECT_EQ(clock.GetDateFormat(), CLK_DATE_FMT_DMY);  // arguments do not change the clock
}

TEST(MobileClockText, EngineDateTimesConvertBothWays)
{
    MTR_DATETIME e{2024, 2, 29, 23, 59, 58};
    const QDateTime q = DateTimeFromEngine(e);
    ASSERT_TRUE(q.isValid());
    EXPECT_EQ(DateTimeToEngine(q), e);
    EXPECT_FALSE(DateTimeFromEngine(MTR_DATETIME{}).isValid());
    EXPECT_FALSE(DateTimeFromEngine(MTR_DATETIME{2023, 2, 29, 0, 0, 0}).isValid());
}

#ifdef ZORQ_HAVE_PHONESIM

// The engine against the simulator, with an application whose language the
// test chooses.
class ClockUpload : public clock_test::ClockTest {
protected:
    void SetUp() override
    {
        ClockTest::SetUp();
        InstallBundle("fra");
        InstallBundle("deu");
    }
};

TEST_F(ClockUpload, ShowsTheSimulatorsClockInItsFormats)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format yy-mm-dd\ntime-format 12h\n");
    Language("enu");
    CMobileClock clock;
    ASSERT_EQ(clock.UpLoad(), 1);
    EXPECT_EQ(clock.GetDateFormat(), CLK_DATE_FMT_YMD);
    EXPECT_EQ(clock.GetTimeFormat(), CLK_TIME_FMT_12H);
    EXPECT_EQ(clock.GetText().toStdString(), "2001/03/05 01:05 PM");

    ASSERT_EQ(phone.command("date-format dd-mm-yy"), "ok");
    ASSERT_EQ(phone.command("time-format 24h"), "ok");
    ASSERT_EQ(clock.UpLoad(), 1);
    EXPECT_EQ(clock.GetText().toStdString(), "05/03/2001 13:05");
}

TEST_F(ClockUpload, WithoutALinkNothingChanges)
{
    Phone("clock \"01/03/05,13:05:00+00\" frozen\n");
    gv_SPIO_com_status = SPIO_no_com_available;
    CMobileClock clock;
    const QDateTime before = clock.GetDateTime();
    EXPECT_EQ(clock.UpLoad(), -1);
    EXPECT_TRUE(clock.GetText().isEmpty());
    EXPECT_EQ(clock.GetDateTime(), before);
}

// A phone that answers the format and clock queries with ERROR.
std::string RefusingPhone(const std::string& line, bool date, bool time, bool clock)
{
    if ((date && line == "AT~MDAF?") || (time && line == "AT~MTIF?") || (clock && line == "AT+CCLK?"))
        return "\r\nERROR\r\n";
    if (line == "AT~MDAF?")
        return "\r\n~MDAF: \"yy-mm-dd\"\r\n\r\nOK\r\n";
    if (line == "AT~MTIF?")
        return "\r\n~MTIF: \"24h\"\r\n\r\nOK\r\n";
    if (line == "AT+CCLK?")
        return "\r\n+CCLK: \"01/03/05,13:05:00+00\"\r\n\r\nOK\r\n";
    return "\r\nOK\r\n";
}

TEST_F(ClockUpload, RefusedFormatsFallBackByLanguage)
{
    ScriptedPhone phone([](const std::string& l) { return RefusingPhone(l, true, true, false); });
    ASSERT_EQ(Open(phone.path()), 1);

    Language("fra");  // a French user reads the day first
    CMobileClock fr;
    ASSERT_EQ(fr.UpLoad(), 1);
    EXPECT_EQ(fr.GetText().toStdString(), "05/03/2001 13:05");

    Language("deu");  // other languages keep what the clock held
    CMobileClock de;
    ASSERT_EQ(de.UpLoad(), 1);
    EXPECT_EQ(de.GetText().toStdString(), "03/05/2001 13:05");

    Language("enu");  // an English user reads the 12-hour clock
    CMobileClock en;
    ASSERT_EQ(en.UpLoad(), 1);
    EXPECT_EQ(en.GetText().toStdString(), "03/05/2001 01:05 PM");

    // All three are asked, in order, whatever the phone answered.
    const std::string asked = phone.commands();
    EXPECT_NE(asked.find("AT~MDAF?|AT~MTIF?|AT+CCLK?|"), std::string::npos) << asked;
}

TEST_F(ClockUpload, ARefusedClockShowsThePcsTime)
{
    ScriptedPhone phone([](const std::string& l) { return RefusingPhone(l, false, false, true); });
    ASSERT_EQ(Open(phone.path()), 1);
    Language("enu");
    CMobileClock clock;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    ASSERT_EQ(clock.UpLoad(), 1);
    EXPECT_GE(clock.GetDateTime(), before);
    EXPECT_LE(clock.GetDateTime(), QDateTime::currentDateTime().addSecs(1));
    EXPECT_EQ(clock.GetText(), CMobileClock::FormatText(clock.GetDateTime(), CLK_DATE_FMT_YMD, CLK_TIME_FMT_24H));
}

#endif

}  // namespace
