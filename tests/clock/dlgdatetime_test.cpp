// The date-and-time dialog against the phone simulator.
#include "engine_fixture.h"
#include "test_support.h"

#include "calendar.h"
#include "dateedit.h"
#include "dlgdatetime.h"
#include "timetext.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace engine_test;

namespace {

class DateTimeDialog : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        app.SetDataDirectories(dir.path() + "zorqmmi");
        zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQenu.rcc");
        ASSERT_TRUE(app.LoadResourceLibrary("enu"));
    }
    void OpenDialog(CDlgDateTime& dlg)
    {
        ASSERT_TRUE(dlg.CreateFromTemplate());
        dlg.OnInitDialog();
    }
    QComboBox* Combo(CDlgDateTime& dlg, int id) { return qobject_cast<QComboBox*>(dlg.GetDlgItem(id)); }
    QLineEdit* TimeEdit(CDlgDateTime& dlg) { return qobject_cast<QLineEdit*>(dlg.GetDlgItem(1041)); }
    QStringList Rows(QComboBox* c)
    {
        QStringList rows;
        for (int i = 0; i < c->count(); ++i)
            rows << c->itemText(i);
        return rows;
    }
    std::vector<std::string> Boxes()
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.toStdString());
        return out;
    }
    zorqtest::TempProgramDir dir;
    zorqtest::RecordingApp app;
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

TEST_F(DateTimeDialog, AnInvalidTimeKeepsTheDialogOpenWithNothingSent)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\n");
    CDlgDateTime dlg;
    OpenDialog(dlg);
    dlg.show();
    Combo(dlg, 1042)->setCurrentIndex(CLK_DATE_FMT_YMD);
    TimeEdit(dlg)->setText("24:00");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), std::vector<std::string>{app.LoadString(31600).toStdString()});
    EXPECT_EQ(dlg.focusWidget(), TimeEdit(dlg));
    EXPECT_EQ(TimeEdit(dlg)->selectedText().toStdString(), "24:00");
    EXPECT_EQ(dump_lines(phone, "date-format"), "date-format dd-mm-yy\n");
}

TEST_F(DateTimeDialog, ARefusedClockKeepsTheDialogOpenWithAMessage)
{
    // The phone takes the formats but refuses the clock.
    ScriptedPhone phone([](const std::string& l) -> std::string {
        if (l.rfind("AT+CCLK=", 0) == 0)
            return "\r\n+CME ERROR: 3\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    CDlgDateTime dlg;
    OpenDialog(dlg);
    TimeEdit(dlg)->setText("10:20");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), std::vector<std::string>{app.LoadString(31605).toStdString()});
    const std::string sent = phone.commands();
    EXPECT_NE(sent.find("AT~MDAF="), std::string::npos);
    EXPECT_LT(sent.find("AT~MTIF="), sent.find("AT+CCLK="));  // both formats before the clock
}

TEST_F(DateTimeDialog, ARefusedFormatStopsBeforeTheClock)
{
    ScriptedPhone phone([](const std::string& l) -> std::string {
        if (l.rfind("AT~MTIF=", 0) == 0)
            return "\r\nERROR\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    CDlgDateTime dlg;
    OpenDialog(dlg);
    TimeEdit(dlg)->setText("10:20");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), std::vector<std::string>{app.LoadString(31607).toStdString()});
    EXPECT_EQ(phone.commands().find("AT+CCLK="), std::string::npos);
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
