// Times of day typed into the clock dialogs.
#include "timetext.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeText, KeepsTheDateAndSetsHourAndMinute)
{
    QDateTime when(QDate(2001, 3, 5), QTime(17, 42, 31));
    ASSERT_TRUE(ParseDateText("07:30", &when));
    EXPECT_EQ(when, QDateTime(QDate(2001, 3, 5), QTime(7, 30, 0)));
    ASSERT_TRUE(ParseDateText(" 7.5 ", &when));
    EXPECT_EQ(when, QDateTime(QDate(2001, 3, 5), QTime(7, 5, 0)));
    for (const char* ok : {"0:00", "23:59", "12-30", "12/30", "12 30"})
        EXPECT_TRUE(CheckDateText(ok)) << ok;
}

TEST(TimeText, RefusesWhatIsNoTimeOfDayAndLeavesTheValue)
{
    const QDateTime before(QDate(2001, 3, 5), QTime(1, 2, 3));
    for (const char* bad : {"24:00", "23:60", "", "12", "12:30:00", "ab:cd", "-1:30", "123:00", "1:2x"}) {
        QDateTime when = before;
        EXPECT_FALSE(ParseDateText(bad, &when)) << bad;
        EXPECT_EQ(when, before) << bad;
    }
}

TEST(TimeText, HourMinuteHasTwoDigitsEach)
{
    EXPECT_EQ(FormatHourMinute(QDateTime(QDate(2001, 3, 5), QTime(7, 5, 59))).toStdString(), "07:05");
    EXPECT_EQ(FormatHourMinute(QDateTime(QDate(2001, 3, 5), QTime(23, 59))).toStdString(), "23:59");
}

}  // namespace
