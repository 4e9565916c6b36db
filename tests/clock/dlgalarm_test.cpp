// The alarm dialog against the phone simulator: the three settings read,
// switched, changed and written back, and their PC copies in the profile.
#include "clock_fixture.h"

#include "dlgalarm.h"
#include "diarycard.h"
#include "zorqmmidoc.h"
#include "timetext.h"

#include "serial.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

using namespace engine_test;

namespace {

class AlarmDialog : public clock_test::ClockDialogTest {
protected:
    void SetUp() override
    {
        ClockDialogTest::SetUp();
        document = std::make_unique<CZorqMMIDoc>();  // becomes gv_pDoc
        serial_trace_start(host.folder);
    }
    void TearDown() override
    {
        document.reset();
        ClockDialogTest::TearDown();
    }
    static QLineEdit* Edit(CDlgAlarm& dlg, int id) { return Item<QLineEdit>(dlg, id); }
    static QCheckBox* Check(CDlgAlarm& dlg, int id) { return Item<QCheckBox>(dlg, id); }
    // The alarm commands sent so far, in order ("R ALA", "W AUW 1 06:50").
    std::vector<std::string> AlarmCommands()
    {
        const std::string trace = zorqtest::ReadFile(host.folder + "debugAT.txt");
        std::vector<std::string> out;
        for (size_t at = 0; (at = trace.find("AT~MAL", at)) != std::string::npos; ++at) {
            const std::string line = trace.substr(at, trace.find('\r', at) - at);
            if (line.rfind("AT~MALR=", 0) == 0)
                out.push_back("R " + line.substr(9, 3));
            else if (line.rfind("AT~MALW=", 0) == 0)
                out.push_back("W " + line.substr(9, 3) + " " + line.substr(14, 1) + " " + line.substr(17, 5));
        }
        return out;
    }
    std::unique_ptr<CZorqMMIDoc> document;
};

TEST_F(AlarmDialog, ReadsTheThreeSettingsAndTheProfileCopies)
{
    Phone();  // alarm on at 07:30, switch-on off at 08:00, switch-off on at 23:00
    WriteIniProfileString("Time", "SwitchOn", "06:45");
    CDlgAlarm dlg;
    OpenDialog(dlg);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(AlarmCommands(), (std::vector<std::string>{"R ALA", "R AUW", "R AUS"}));

    EXPECT_TRUE(Check(dlg, 1048)->isChecked());
    EXPECT_EQ(Edit(dlg, 1051)->text().toStdString(), "07:30");
    EXPECT_TRUE(Edit(dlg, 1051)->isEnabled());
    EXPECT_FALSE(Check(dlg, 1049)->isChecked());
    EXPECT_EQ(Edit(dlg, 1053)->text().toStdString(), "06:45");  // off: the PC's copy
    EXPECT_FALSE(Edit(dlg, 1053)->isEnabled());
    EXPECT_TRUE(Check(dlg, 1050)->isChecked());
    EXPECT_EQ(Edit(dlg, 1052)->text().toStdString(), "23:00");

    EXPECT_EQ(document->GetAlarmCard().GetAlarmState(), 1);
    EXPECT_EQ(document->GetSwitchOffCard().GetOrganiserType(), ORG_TYPE_SWITCH_OFF);
}

TEST_F(AlarmDialog, SwitchedAndChangedSettingsGoBackToThePhoneInOrder)
{
    phonesim::Process& phone = Phone();
    CDlgAlarm dlg;
    OpenDialog(dlg);
    QTest::mouseClick(Check(dlg, 1049), Qt::LeftButton);  // switch-on on
    EXPECT_TRUE(Edit(dlg, 1053)->isEnabled());
    Edit(dlg, 1053)->setText("06:50");
    QTest::mouseClick(Check(dlg, 1048), Qt::LeftButton);  // alarm off
    EXPECT_FALSE(Edit(dlg, 1051)->isEnabled());
    Edit(dlg, 1052)->setText("22:15");

    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_TRUE(Boxes().empty());
    const std::vector<std::string> sent = AlarmCommands();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(sent.begin() + 3, sent.end()),
              (std::vector<std::string>{"W ALA 0 07:30", "W AUW 1 06:50", "W AUS 1 22:15"}));
    EXPECT_EQ(dump_lines(phone, "alarm-setting"),
              "alarm-setting ALA 0 07:30\nalarm-setting AUS 1 22:15\nalarm-setting AUW 1 06:50\n");
    EXPECT_EQ(GetIniProfileString("Time", "Alarm", ""), "07:30");
    EXPECT_EQ(GetIniProfileString("Time", "SwitchOn", ""), "06:50");
    EXPECT_EQ(GetIniProfileString("Time", "SwitchOff", ""), "22:15");
    EXPECT_EQ(document->GetSwitchOnCard().GetAlarmState(), 1);
    EXPECT_EQ(document->GetAlarmCard().GetAlarmState(), 0);
}

TEST_F(AlarmDialog, AnInvalidTimeOfASettingThatIsOnKeepsTheDialogOpen)
{
    phonesim::Process& phone = Phone();
    const std::string before = dump_lines(phone, "alarm-setting");
    CDlgAlarm dlg;
    OpenDialog(dlg);
    Edit(dlg, 1051)->setText("25:00");
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31600)}));
    EXPECT_EQ(dlg.focusWidget(), Edit(dlg, 1051));
    EXPECT_EQ(Edit(dlg, 1051)->selectedText().toStdString(), "25:00");
    EXPECT_EQ(AlarmCommands().size(), 3u);  // nothing written
    EXPECT_EQ(dump_lines(phone, "alarm-setting"), before);
    EXPECT_EQ(GetIniProfileString("Time", "Alarm", "none"), "none");
}

TEST_F(AlarmDialog, ASettingThatIsOffWithABadTimeKeepsItsTimeAndTheOthersAreStored)
{
    phonesim::Process& phone = Phone();
    CDlgAlarm dlg;
    OpenDialog(dlg);
    QTest::mouseClick(Check(dlg, 1048), Qt::LeftButton);  // alarm off
    Edit(dlg, 1051)->setText("later");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_NE(dump_lines(phone, "alarm-setting ALA").find("ALA 0 07:30"), std::string::npos);
    EXPECT_EQ(GetIniProfileString("Time", "Alarm", ""), "07:30");
}

TEST_F(AlarmDialog, CancelWritesNothing)
{
    phonesim::Process& phone = Phone();
    const std::string before = dump_lines(phone, "alarm-setting");
    CDlgAlarm dlg;
    OpenDialog(dlg);
    QTest::mouseClick(Check(dlg, 1049), Qt::LeftButton);
    dlg.OnCancel();
    EXPECT_EQ(dlg.result(), IDCANCEL);
    EXPECT_EQ(AlarmCommands().size(), 3u);
    EXPECT_EQ(dump_lines(phone, "alarm-setting"), before);
    EXPECT_EQ(GetIniProfileString("Time", "SwitchOn", "none"), "none");
    EXPECT_EQ(document->GetSwitchOnCard().GetAlarmState(), 0);
}

TEST_F(AlarmDialog, AnUnreadablePhoneShowsThePcsCopies)
{
    phonesim::Process& phone = Phone();
    gv_SPIO_com_status = SPIO_no_com_available;
    Close_Serial();
    WriteIniProfileString("Time", "Alarm", "05:55");
    WriteIniProfileString("Time", "SwitchOff", "not a time");
    CDlgAlarm dlg;
    OpenDialog(dlg);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31608)}));
    EXPECT_EQ(Edit(dlg, 1051)->text().toStdString(), "05:55");
    EXPECT_EQ(Edit(dlg, 1052)->text(), FormatHourMinute(QDateTime::currentDateTime()));
    // Writing finds no link: the phone is looked for again and asked, it
    // does not hold the alarm; the dialog stays.
    dlg.OnOK();
    EXPECT_NE(dlg.result(), IDOK);
    EXPECT_EQ(Boxes().back(), app.FormatString(31945, {"Alarm 05:55"}).toStdString());
    EXPECT_EQ(dump_lines(phone, "alarm-setting ALA"), "alarm-setting ALA 1 07:30\n");
}

}  // namespace
