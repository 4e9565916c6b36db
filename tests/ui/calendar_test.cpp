#include "calendar.h"
#include "dateedit.h"
#include "walkthrough.h"

#include "ui_test_util.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(CalendarDate, LeapYearsWeekdaysAndYearZero)
{
    EXPECT_TRUE(CalendarDate::IsLeapYear(2000));
    EXPECT_FALSE(CalendarDate::IsLeapYear(1900));
    EXPECT_TRUE(CalendarDate::IsLeapYear(2004));
    EXPECT_TRUE(CalendarDate::IsLeapYear(0));
    EXPECT_EQ(CalendarDate::DaysInMonth(2001, 2), 28);
    EXPECT_EQ(CalendarDate::DaysInMonth(2000, 2), 29);
    EXPECT_TRUE(CalendarDate::IsValid(0, 1, 1));
    EXPECT_FALSE(CalendarDate::IsValid(10000, 1, 1));
    EXPECT_FALSE(CalendarDate::IsValid(2001, 2, 29));
    EXPECT_FALSE(CalendarDate::IsValid(2001, 13, 1));
    // Checked against the library for every first of a month it knows.
    for (int y : {1, 1582, 1900, 1999, 2000, 2004, 2026, 9999})
        for (int m = 1; m <= 12; ++m)
            EXPECT_EQ(CalendarDate::DayOfWeek(y, m, 1), QDate(y, m, 1).dayOfWeek() - 1) << y << "-" << m;
    EXPECT_EQ(CalendarDate::DayOfWeek(0, 1, 1), 5);  // Saturday, a 400-year cycle before 2000
}

TEST(CalendarModel, GridStartsOnTheLocalesFirstDay)
{
    CCalendarModel cal;
    cal.SetFirstDayOfWeek(0);  // Monday
    ASSERT_TRUE(cal.SetDate(2024, 1, 15));  // 1 January 2024 is a Monday
    // A month whose 1st falls on the first day shows a whole row before it.
    EXPECT_EQ(cal.At(0, 0).day, 25);
    EXPECT_EQ(cal.At(6, 0).day, 31);
    EXPECT_EQ(cal.At(0, 0).state & CCalendarModel::InMonth, 0);
    EXPECT_EQ(cal.At(0, 1).day, 1);
    EXPECT_TRUE(cal.At(0, 1).state & CCalendarModel::InMonth);
    EXPECT_EQ(cal.SelectedCol(), 0);  // 15 January: Monday of row 3
    EXPECT_EQ(cal.SelectedRow(), 3);
    EXPECT_TRUE(cal.At(0, 3).state & CCalendarModel::Selected);
    // The days after the month restart at 1, outside the month.
    EXPECT_EQ(cal.At(3, 5).day, 1);
    EXPECT_EQ(cal.At(3, 5).state, 0);

    cal.SetFirstDayOfWeek(6);  // Sunday first: Sunday heads column 0
    EXPECT_EQ(cal.ColumnOfWeekday(6), 0);
    EXPECT_EQ(cal.ColumnOfWeekday(0), 1);
    EXPECT_EQ(cal.At(1, 0).day, 1);  // Monday the 1st in column 1

    cal.SetToday(2024, 1, 2);
    EXPECT_TRUE(cal.At(2, 0).state & CCalendarModel::Today);
}

TEST(CalendarModel, MonthArrowsClicksAndKeysAcrossMonthEnds)
{
    CCalendarModel cal;
    cal.SetFirstDayOfWeek(0);
    cal.SetDate(2004, 1, 31);
    cal.ChangeMonth(+1);
    int y, m, d;
    cal.GetDate(y, m, d);
    EXPECT_EQ(m * 100 + d, 229);  // leap year
    cal.SetDate(2003, 1, 31);
    cal.ChangeMonth(+1);
    EXPECT_EQ(cal.Day(), 28);
    cal.SetDate(2003, 12, 15);
    cal.ChangeMonth(+1);
    EXPECT_EQ(cal.Year() * 100 + cal.Month(), 200401);
    cal.ChangeMonth(-1);
    EXPECT_EQ(cal.Year() * 100 + cal.Month(), 200312);

    // A grey leading day of row 0 moves to the month before with that day.
    cal.SetDate(2024, 3, 10);  // 1 March 2024 is a Friday: 4 leading days
    EXPECT_EQ(cal.At(0, 0).day, 26);
    cal.ClickCell(0, 0);
    EXPECT_EQ(cal.Year() * 10000 + cal.Month() * 100 + cal.Day(), 20240226);
    // A trailing day moves to the month after.
    cal.ClickCell(6, 5);
    EXPECT_EQ(cal.Month(), 3);

    // Page Down on 29 February is refused; on other days it moves a year.
    cal.SetDate(2004, 2, 29);
    EXPECT_FALSE(cal.ChangeYear(+1));
    EXPECT_EQ(cal.Year(), 2004);
    cal.SetDate(2004, 2, 28);
    EXPECT_TRUE(cal.ChangeYear(+1));
    EXPECT_EQ(cal.Year(), 2005);
    // The year spin moves 29 February to the 28th of a plain year.
    cal.SetDate(2004, 2, 29);
    cal.SetYear(2005);
    EXPECT_EQ(cal.Day(), 28);

    // Arrow keys walk across the month's ends.
    cal.SetDate(2024, 3, 1);
    cal.MoveSelection(-1, 0);
    EXPECT_EQ(cal.Month() * 100 + cal.Day(), 229);
    cal.MoveSelection(+1, 0);
    EXPECT_EQ(cal.Month() * 100 + cal.Day(), 301);
    cal.SetDate(2024, 3, 31);
    cal.MoveSelection(0, +1);
    EXPECT_EQ(cal.Month() * 100 + cal.Day(), 407);
    cal.SetDate(2024, 1, 3);  // up onto a grey day of December: that day
    cal.MoveSelection(0, -1);
    EXPECT_EQ(cal.Year() * 10000 + cal.Month() * 100 + cal.Day(), 20231227);
    cal.SetDate(2024, 3, 1);  // row 0: up leaves the grid, day kept
    cal.MoveSelection(0, -1);
    EXPECT_EQ(cal.Year() * 10000 + cal.Month() * 100 + cal.Day(), 20240201);
}

TEST(CalendarWnd, AClickedDayIsReported)
{
    uitest::RecordingUi ui;
    CCalendarWnd cal;
    cal.Model().SetFirstDayOfWeek(0);
    cal.SetDate(2024, 3, 10);
    cal.Create(QRect(0, 0, 150, 150), nullptr, 7, false);
    int reported = -1;
    QObject::connect(&cal, &CCalendarWnd::selectedDay, [&](int id) { reported = id; });
    const QPoint p = cal.CellRect(4, 2).center();  // Friday of row 2: 15 March
    QTest::mouseClick(&cal, Qt::LeftButton, Qt::NoModifier, p);
    EXPECT_EQ(reported, 7);
    int y, m, d;
    cal.GetDate(y, m, d);
    EXPECT_EQ(d, 15);
    EXPECT_EQ(cal.HitTest(QPoint(-5, 5)), 4);
    EXPECT_EQ(cal.HitTest(QPoint(5, 5)), 0);
    EXPECT_EQ(cal.HitTest(QPoint(145, 5)), 1);
}

TEST(DateEditModel, DisplayFollowsOrderZerosAndShortYear)
{
    CDateEditModel e;
    e.SetSeparator("/");
    e.SetDateOrder(1);
    e.SetLeadingZeros(true, true);
    e.SetShortYear(false);
    ASSERT_EQ(e.SetDate(2004, 3, 5), 0);
    EXPECT_EQ(e.Text(), "03/05/2004");
    e.SetLeadingZeros(false, false);
    EXPECT_EQ(e.Text(), "3/5/2004");
    e.SetShortYear(true);
    EXPECT_EQ(e.Text(), "3/5/04");
    e.SetDateOrder(2);
    e.SetSeparator("-");
    e.SetLeadingZeros(true, true);
    EXPECT_EQ(e.Text(), "04-03-05");
    int start, len;
    e.FieldRange(CDateEditModel::Day, start, len);
    EXPECT_EQ(start, 6);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(e.FieldAt(2), CDateEditModel::Year);  // the separator after the year
    EXPECT_EQ(e.FieldAt(3), CDateEditModel::Month);
    EXPECT_EQ(e.FieldAt(7), CDateEditModel::Day);
    EXPECT_NE(e.SetDate(2001, 2, 29), 0);
    e.SetDateOrder(5);  // ignored
    EXPECT_EQ(e.DateOrder(), 2);
}

TEST(DateEditModel, TypedDatesInEveryOrder)
{
    struct Case { int order; const char* keys; int y, m, d; };
    const Case cases[] = {
        {0, "25122003", 2003, 12, 25},
        {1, "12252003", 2003, 12, 25},
        {2, "20031225", 2003, 12, 25},
        {0, "1/2/1999", 1999, 2, 1},    // short days and months end with the separator
        {2, "00002/29", 0, 2, 29},      // year 0 is a leap year and valid
    };
    for (const Case& c : cases) {
        CDateEditModel e;
        e.SetSeparator("/");
        e.SetDateOrder(c.order);
        e.SetDate(2001, 1, 1);
        e.SetCurrentField(c.order == 0 ? 0 : c.order == 1 ? 1 : 2);
        for (const char* k = c.keys; *k; ++k)
            e.TypeChar(QChar(*k));
        int y, m, d;
        e.GetDate(y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.keys;
    }
}

TEST(DateEditModel, RefusedDigitsAndSteps)
{
    CDateEditModel e;
    e.SetDateOrder(0);
    e.SetDate(2004, 1, 20);
    e.SetCurrentField(CDateEditModel::Day);
    EXPECT_FALSE(e.TypeChar('0'));  // day 0 does not exist
    EXPECT_TRUE(e.TypeChar('3'));
    EXPECT_FALSE(e.TypeChar('5'));  // 35 refused, typing restarts
    int y, m, d;
    e.GetDate(y, m, d);
    EXPECT_EQ(d, 3);
    EXPECT_EQ(e.CurrentField(), CDateEditModel::Day);

    e.SetDate(2004, 1, 31);
    e.StepUp();
    e.GetDate(y, m, d);
    EXPECT_EQ(m * 100 + d, 201);
    e.SetDate(2004, 3, 1);
    e.StepDown();
    e.GetDate(y, m, d);
    EXPECT_EQ(m * 100 + d, 229);
    e.SetDate(2003, 3, 1);
    e.StepDown();
    e.GetDate(y, m, d);
    EXPECT_EQ(m * 100 + d, 228);
    e.SetDate(2004, 12, 31);
    e.StepUp();
    e.GetDate(y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20050101);

    e.SetDate(2000, 2, 29);
    e.SetCurrentField(CDateEditModel::Year);
    e.StepUp();
    e.GetDate(y, m, d);
    EXPECT_EQ(y, 2000);
    e.StepDown();
    e.GetDate(y, m, d);
    EXPECT_EQ(y, 2000);

    e.SetDate(2004, 3, 31);
    e.SetCurrentField(CDateEditModel::Month);
    e.StepUp();  // 31 April does not exist: day 1
    e.GetDate(y, m, d);
    EXPECT_EQ(m * 100 + d, 401);
}

TEST(DateEditModel, LocaleOrders)
{
    CDateEditModel e;
    e.ReadLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(e.DateOrder(), 1);
    EXPECT_EQ(e.CurrentField(), 1);
    e.ReadLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(e.DateOrder(), 0);
    EXPECT_EQ(e.Separator(), ".");
    e.ReadLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    EXPECT_EQ(e.DateOrder(), 2);
}

TEST(DateEdit, KeysEditTheFieldsAndAltDownOpensTheCalendar)
{
    uitest::RecordingUi ui;
    QWidget dialog;
    dialog.resize(300, 100);
    auto* edit = new CDateEdit(&dialog);
    edit->setGeometry(10, 10, 120, 24);
    edit->Model().SetSeparator("/");
    edit->SetDateOrder(0);
    edit->SetDate(2004, 3, 5);
    dialog.show();
    edit->Model().SetCurrentField(CDateEditModel::Day);
    QTest::keyClicks(edit, "12");
    QTest::keyClick(edit, Qt::Key_Up);  // month field now: April
    int y, m, d;
    edit->GetDate(y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20040412);
    EXPECT_EQ(edit->text(), "12/04/2004");
    EXPECT_EQ(edit->selectedText(), "04");
    EXPECT_EQ(edit->DropButton()->geometry().left(), edit->geometry().right() + 5);

    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    ASSERT_NE(edit->Popup(), nullptr);
    EXPECT_GE(edit->Popup()->width(), 150);
    edit->Popup()->Model().SetDate(2004, 4, 20);
    emit edit->Popup()->selectedDay(0);
    EXPECT_TRUE(uitest::WaitFor([&] { return edit->Popup() == nullptr; }));
    EXPECT_EQ(edit->text(), "20/04/2004");
}

// The calendar opened from the date field, as a person opens it (Alt+Down):
// every month's name with the year shows whole in its title, and every day
// whole in its cell, in the calendar's own fonts.
TEST(DateEdit, TheCalendarShowsEveryMonthNameAndDayWhole)
{
    uitest::RecordingUi ui;
    QWidget dialog;
    dialog.resize(300, 100);
    auto* edit = new CDateEdit(&dialog);
    edit->setGeometry(10, 10, 120, 24);
    edit->SetDate(2026, 12, 28);
    dialog.show();
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    CCalendarWnd* cal = edit->Popup();
    ASSERT_NE(cal, nullptr);
    const QFontMetrics title(cal->TitleFont());
    for (int month = 1; month <= 12; ++month) {
        ASSERT_TRUE(cal->Model().SetDate(2026, month, 28));
        const QString text = cal->TitleText();
        EXPECT_LE(title.horizontalAdvance(text), cal->TitleRect().width()) << text.toStdString();
        EXPECT_GE(cal->TitleRect().left(), 18) << "clear of the left arrow";
    }
    const QFontMetrics cells(cal->font());
    for (int col = 0; col < 7; ++col)
        for (int row = 0; row < 6; ++row)
            EXPECT_LE(cells.horizontalAdvance(QString::number(cal->Model().At(col, row).day)) + 2,
                      cal->CellRect(col, row).width());
    ASSERT_TRUE(cal->Model().SetDate(2026, 12, 28));
    cal->update();
    EXPECT_FALSE(zorqtest::SaveScreen(cal, QStringLiteral("calendar_popup")).isEmpty());
    cal->close();
}

}  // namespace
