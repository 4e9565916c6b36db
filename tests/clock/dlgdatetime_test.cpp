// The date-and-time dialog against the phone simulator.
#include "clock_fixture.h"

#include "calendar.h"
#include "dateedit.h"
#include "dlgdatetime.h"
#include "timetext.h"

#include "serial.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <algorithm>

using namespace engine_test;

namespace {

class DateTimeDialog : public clock_test::ClockDialogTest {
protected:
    static QComboBox* Combo(CDlgDateTime& dlg, int id) { return Item<QComboBox>(dlg, id); }
    static QLineEdit* TimeEdit(CDlgDateTime& dlg) { return Item<QLineEdit>(dlg, 1041); }
    static QStringList Rows(QComboBox* c)
    {
        QStringList rows;
        for (int i = 0; i < c->count(); ++i)
            rows << c->itemText(i);
        return rows;
    }
};

TEST_F(DateTimeDialog, FormatRowsByWhatThePhoneOffers)
{
    Phone();
    CDlgDateTime plain;
    OpenDialog(plain);
    EXPECT_EQ(Rows(Combo(plain, 1042)), QStringList({app.LoadString(31518), app.LoadString(31519), app.LoadString(31520)}));
    EXPECT_EQ(Rows(Combo(plain, 1043)), QStringList({app.LoadString(31531)}));  // the 24-hour clock only
    EXPECT_EQ(Combo(plain, 1042)->currentIndex(), CLK_DATE_FMT_MDY);

    // Three time formats: each row its own text, none a date format's.
    CDlgDateTime three;
    CMobileClock clock;
    clock.SetDateFormat(CLK_DATE_FMT_YMD);
    clock.SetTimeFormat(CLK_TIME_FMT_12H);
    three.SetFormatCounts(3, 2);
    three.SetCurrentFormats(clock);
    OpenDialog(three);
    EXPECT_EQ(Rows(Combo(three, 1043)), QStringList({app.LoadString(31530), app.LoadString(31531), app.LoadString(31532)}));
    for (const QString& row : Rows(Combo(three, 1043)))
        EXPECT_FALSE(Rows(Combo(three, 1042)).contains(row));
    EXPECT_EQ(Combo(three, 1042)->currentIndex(), CLK_DATE_FMT_YMD);
    EXPECT_EQ(Combo(three, 1043)->currentIndex(), 0);
}

TEST_F(DateTimeDialog, SetsTheDateTheTimeAndBothFormats)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\ntime-format 12h\n");
    CDlgDateTime dlg;
    OpenDialog(dlg);
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
    ASSERT_EQ(dlg.GetDateEdit()->SetDate(2025, 6, 7), 0);
    TimeEdit(dlg)->setText("09:15");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dump_lines(phone, "clock"), "clock \"25/06/07,09:15:00+00\" frozen\n");
    EXPECT_EQ(dump_lines(phone, "date-format"), "date-format yy-mm-dd\n");
    EXPECT_EQ(dump_lines(phone, "time-format"), "time-format 24h\n");
    EXPECT_EQ(dlg.GetClock().Format().toStdString(), "2025/06/07 09:15");
}

TEST_F(DateTimeDialog, ChoosingYearFirstReordersTheDateAtOnce)
{
    Phone();
    CDlgDateTime dlg;
    OpenDialog(dlg);
    ASSERT_EQ(dlg.GetDateEdit()->SetDate(2004, 3, 5), 0);
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
    EXPECT_EQ(dlg.GetDateEdit()->Model().DateOrder(), 2);
    EXPECT_TRUE(dlg.GetDateEdit()->text().startsWith("2004")) << dlg.GetDateEdit()->text().toStdString();
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_DMY);
    EXPECT_EQ(dlg.GetDateEdit()->Model().DateOrder(), 0);
    EXPECT_TRUE(dlg.GetDateEdit()->text().endsWith("2004")) << dlg.GetDateEdit()->text().toStdString();
}

// LANG=C.UTF-8 sets no date convention: the date reads the way the
// program's language writes dates, not as bare numbers between blanks.
TEST_F(DateTimeDialog, UnderTheCLocaleTheDateReadsAsTheProgramWritesDates)
{
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    Phone();
    CMobileClock dayFirst;
    dayFirst.SetDateFormat(CLK_DATE_FMT_DMY);
    {
        CDlgDateTime dlg;
        dlg.SetCurrentFormats(dayFirst);
        OpenDialog(dlg);
        CDateEdit* edit = dlg.GetDateEdit();
        ASSERT_NE(edit, nullptr);
        ASSERT_EQ(edit->SetDate(2026, 12, 9), 0);
        EXPECT_EQ(edit->text().toStdString(), "9/12/2026");
        // Typed through the keyboard field by field, the separator between.
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(3, edit->height() / 2));
        QTest::keyClicks(edit, "3110");
        EXPECT_EQ(edit->text().toStdString(), "31/10/2026");
        Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
        EXPECT_EQ(edit->text().toStdString(), "2026/10/31");
    }
    // A program in German writes dates with dots and two-digit days.
    InstallBundle("deu");
    Language("deu");
    {
        CDlgDateTime dlg;
        dlg.SetCurrentFormats(dayFirst);
        OpenDialog(dlg);
        ASSERT_EQ(dlg.GetDateEdit()->SetDate(2026, 12, 9), 0);
        EXPECT_EQ(dlg.GetDateEdit()->text().toStdString(), "09.12.2026");
    }
    QLocale::setDefault(before);
}

TEST_F(DateTimeDialog, AnInvalidTimeKeepsTheDialogOpenWithNothingSent)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\n");
    CDlgDateTime dlg;
    OpenDialog(dlg);
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
    TimeEdit(dlg)->setText("24:00");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(31600)});
    EXPECT_EQ(dlg.focusWidget(), TimeEdit(dlg));
    EXPECT_EQ(TimeEdit(dlg)->selectedText().toStdString(), "24:00");
    EXPECT_EQ(dump_lines(phone, "date-format"), "date-format dd-mm-yy\n");
}

// The clock commands sent so far, in order, without their values.
std::vector<std::string> ClockCommands(const std::string& folder)
{
    const std::string trace = zorqtest::ReadFile(folder + "debugAT.txt");
    std::vector<std::pair<size_t, std::string>> found;
    for (const char* command : {"AT~MDAF=", "AT~MTIF=", "AT+CCLK="})
        for (size_t at = 0; (at = trace.find(command, at)) != std::string::npos; ++at)
            found.emplace_back(at, command);
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (const auto& f : found)
        out.push_back(f.second);
    return out;
}

TEST_F(DateTimeDialog, ARefusedClockKeepsTheDialogOpenWithAMessage)
{
    // The phone takes the formats but refuses the clock.
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\nrefuse +CCLK=\n");
    serial_trace_start(host.folder);
    CDlgDateTime dlg;
    OpenDialog(dlg);
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
    TimeEdit(dlg)->setText("10:20");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(31605)});
    EXPECT_EQ(ClockCommands(host.folder), (std::vector<std::string>{"AT~MDAF=", "AT~MTIF=", "AT+CCLK="}))
        << "both formats before the clock";
    EXPECT_EQ(dump_lines(phone, "date-format"), "date-format yy-mm-dd\n");
    EXPECT_EQ(dump_lines(phone, "clock"), "clock \"01/03/05,13:05:00+00\" frozen\n");

    // Once the phone takes it, the same dialog sets the clock and closes.
    ASSERT_EQ(phone.command("refuse none"), "ok");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_NE(dump_lines(phone, "clock").find(",10:20:00+00"), std::string::npos) << dump_lines(phone, "clock");
}

TEST_F(DateTimeDialog, ARefusedFormatStopsBeforeTheClock)
{
    phonesim::Process& phone = Phone("time-format 12h\nrefuse ~MTIF=\n");
    serial_trace_start(host.folder);
    CDlgDateTime dlg;
    OpenDialog(dlg);
    TimeEdit(dlg)->setText("10:20");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(31607)});
    EXPECT_EQ(ClockCommands(host.folder), (std::vector<std::string>{"AT~MDAF=", "AT~MTIF="}));
    EXPECT_EQ(dump_lines(phone, "time-format"), "time-format 12h\n");
}

// The dialog with its last seen second at hand.
struct TickingDialog : CDlgDateTime {
    void PassAFullMinute()
    {
        m_nLastSecond = 60;  // any second of the PC clock is below it
        OnTimer(1);
    }
};

TEST_F(DateTimeDialog, TheShownTimeRunsOnUntilTheUserEditsIt)
{
    Phone();
    TickingDialog dlg;
    OpenDialog(dlg);
    TimeEdit(dlg)->setText("23:59");
    dlg.UpdateData(true);
    dlg.PassAFullMinute();
    EXPECT_EQ(TimeEdit(dlg)->text().toStdString(), "00:00");

    TimeEdit(dlg)->selectAll();
    QTest::keyClicks(TimeEdit(dlg), "07:4");  // the user types
    dlg.PassAFullMinute();
    EXPECT_EQ(TimeEdit(dlg)->text().toStdString(), "07:4");
}

}  // namespace
