// A setting written from the set-up screens whose answer the phone never
// sends (lost, or cut half-way): the phone carried it out or not, and the
// user is told what the phone holds when asked again, never that the write
// failed; what the screen shows afterwards is what the phone holds. Each row
// is one kind of change a user starts from these screens, driven by clicks
// and keys on the real screen against the phone simulator.
#include "setup_fixture.h"

#include "calendar.h"
#include "dateedit.h"
#include "dlgalarm.h"
#include "dlgdatetime.h"
#include "dlgsecurcode.h"
#include "dlgservicecenter.h"
#include "entrylistctrl.h"
#include "mobileclock.h"
#include "mtr_sec.h"
#include "user_actions.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <ostream>
#include <string>

namespace {

using engine_test::dump_lines;

enum class Kind { DateAndTime, DateFormat, TimeFormat, Alarm, SwitchOff, Lock, CodeChange, ProfileNotKept, ProfileKept };

struct Row {
    const char* name;
    Kind kind;
    const char* command;  // the command line whose answer goes astray (and which of them)
};

struct Case {
    Row row;
    const char* fault;  // "drop": no answer; "cut": half an answer
};

// Named in the test list by its row and fault.
void PrintTo(const Case& c, std::ostream* os) { *os << c.row.name << " " << c.fault; }

class SilentSettingChange : public setup_test::SecurityScreen, public ::testing::WithParamInterface<Case> {
protected:
    phonesim::Process& StartPhone()
    {
        // The clock stands still so that what the phone holds can be
        // compared to the minute; the formats differ from what a confirm
        // sends, so that a format not written shows.
        phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\n"
                                         "time-format 12h\n");
        return phone;
    }
    void ArmFault(phonesim::Process& phone)
    {
        ASSERT_EQ(phone.command(std::string("fault ") + GetParam().fault + " " + GetParam().row.command), "ok");
    }
    static void Press(QWidget* w)
    {
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->isEnabled());
        QTest::mouseClick(w, Qt::LeftButton);
    }
    static void Press(CDialog* d, int id) { Press(d->GetDlgItem(id)); }
    // Replaces the text of an edit as a user does: select all, type.
    static void Retype(CDialog* d, int id, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(d->GetDlgItem(id));
        ASSERT_NE(edit, nullptr) << "edit " << id;
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
        ASSERT_EQ(edit->text(), text);
    }
    QString Words(int id, const QString& what) const { return env->app.FormatString(id, {what}); }
    // The boxes shown, one a line.
    std::string Boxes() const { return Shown().join("\n").toStdString(); }

    // The phone's clock as the screen writes it, in the phone's formats.
    static QString PhoneClockText(phonesim::Process& phone)
    {
        int yy = 0, mo = 0, dd = 0, hh = 0, mi = 0, ss = 0;
        const std::string line = dump_lines(phone, "clock ");
        if (std::sscanf(line.c_str(), "clock \"%d/%d/%d,%d:%d:%d", &yy, &mo, &dd, &hh, &mi, &ss) != 6)
            return QStringLiteral("(no clock: ") + QString::fromStdString(line) + ")";
        const std::string date = dump_lines(phone, "date-format");
        const int dateFormat = date.find("dd-mm-yy") != std::string::npos   ? CLK_DATE_FMT_DMY
                               : date.find("yy-mm-dd") != std::string::npos ? CLK_DATE_FMT_YMD
                                                                            : CLK_DATE_FMT_MDY;
        const int timeFormat = dump_lines(phone, "time-format").find("12h") != std::string::npos ? CLK_TIME_FMT_12H
                                                                                                 : CLK_TIME_FMT_24H;
        return CMobileClock::FormatText(QDateTime(QDate(2000 + yy, mo, dd), QTime(hh, mi, ss)), dateFormat, timeFormat);
    }

    void ClockRow(phonesim::Process& phone);
    void AlarmRow(phonesim::Process& phone);
    void LockRow(phonesim::Process& phone);
    void CodeRow(phonesim::Process& phone);
    void ProfileRow(phonesim::Process& phone);
};

// The date-and-time dialog writes the date format, the time format and then
// the clock: a silence on one that the phone carried out goes on with the
// next, and the screen shows the phone's clock afterwards.
void SilentSettingChange::ClockRow(phonesim::Process& phone)
{
    const Kind kind = GetParam().row.kind;
    QString what;
    QDate date;
    driver.Drive({[&](CDialog* d) {
        auto* dlg = qobject_cast<CDlgDateTime*>(d);
        ASSERT_NE(dlg, nullptr);
        auto* dateCombo = qobject_cast<QComboBox*>(d->GetDlgItem(1042));
        auto* timeCombo = qobject_cast<QComboBox*>(d->GetDlgItem(1043));
        ASSERT_EQ(dateCombo->currentIndex(), CLK_DATE_FMT_DMY);
        dateCombo->setFocus();
        QTest::keyClick(dateCombo, Qt::Key_Down);  // month first
        ASSERT_EQ(dateCombo->currentIndex(), CLK_DATE_FMT_MDY);
        Retype(d, 1041, "23:58");
        int y = 0, m = 0, day = 0;
        dlg->GetDateEdit()->GetDate(y, m, day);
        date = QDate(y, m, day);
        if (kind == Kind::DateFormat)
            what = dateCombo->currentText();
        else if (kind == Kind::TimeFormat)
            what = timeCombo->currentText();
        else
            what = CMobileClock::FormatText(QDateTime(date, QTime(23, 58)), CLK_DATE_FMT_MDY, CLK_TIME_FMT_24H);
        Press(d, IDOK);
    }});
    Press(screen->GetDlgItem(1052));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the phone holds it: the dialog went on and closed";
    EXPECT_EQ(Boxes(), Words(31944, what).toStdString());
    // Every write of the confirm reached the phone, the ones after the
    // silent one too.
    EXPECT_EQ(dump_lines(phone, "date-format"), "date-format mm-dd-yy\n");
    EXPECT_EQ(dump_lines(phone, "time-format"), "time-format 24h\n");
    char clock[64];
    std::snprintf(clock, sizeof clock, "clock \"%02d/%02d/%02d,23:58:00+00\" frozen\n", date.year() % 100, date.month(),
                  date.day());
    EXPECT_EQ(dump_lines(phone, "clock "), clock);
    EXPECT_EQ(ClockText(), PhoneClockText(phone)) << "the screen shows the phone's clock";
}

// The alarm dialog writes the alarm, the switch-on and the switch-off
// settings in turn; opened again it shows what the phone holds. The alarm
// row loses the first answer (two writes follow it), the switch-off row the
// last.
void SilentSettingChange::AlarmRow(phonesim::Process& phone)
{
    const bool alarm = GetParam().row.kind == Kind::Alarm;
    driver.Drive({[&](CDialog* d) {
        ASSERT_TRUE(qobject_cast<QAbstractButton*>(d->GetDlgItem(alarm ? 1048 : 1050))->isChecked());
        Retype(d, alarm ? 1051 : 1052, alarm ? "06:45" : "22:15");
        Press(d, IDOK);
    }});
    Press(screen->GetDlgItem(1053));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Boxes(), Words(31944, alarm ? "Alarm 06:45" : "Switch off at 22:15").toStdString());
    EXPECT_EQ(dump_lines(phone, "alarm-setting ALA"), alarm ? "alarm-setting ALA 1 06:45\n" : "alarm-setting ALA 1 07:30\n");
    EXPECT_EQ(dump_lines(phone, "alarm-setting AUS"), alarm ? "alarm-setting AUS 1 23:00\n" : "alarm-setting AUS 1 22:15\n");
    EXPECT_EQ(dump_lines(phone, "alarm-setting AUW").rfind("alarm-setting AUW 0 ", 0), 0u);

    // Opened again: the three settings as the phone holds them.
    struct Seen {
        int flag = -1;
        QString time;
    } seen[3];
    driver.Drive({[&](CDialog* d) {
        auto* dlg = qobject_cast<CDlgAlarm*>(d);
        ASSERT_NE(dlg, nullptr);
        for (int i = 0; i < 3; ++i)
            seen[i] = {dlg->GetFlag(i), dlg->GetTimeText(i)};
        Press(d, IDCANCEL);
    }});
    Press(screen->GetDlgItem(1053));
    EXPECT_TRUE(driver.Finished());
    const struct {
        int setting;
        const char* name;
    } settings[] = {{CDlgAlarm::kAlarm, "ALA"}, {CDlgAlarm::kSwitchOn, "AUW"}, {CDlgAlarm::kSwitchOff, "AUS"}};
    for (const auto& s : settings) {
        char line[64];
        std::snprintf(line, sizeof line, "alarm-setting %s %d %s\n", s.name, seen[s.setting].flag,
                      seen[s.setting].time.toStdString().c_str());
        const std::string held = dump_lines(phone, std::string("alarm-setting ") + s.name);
        if (seen[s.setting].flag)
            EXPECT_EQ(line, held) << "the dialog shows what the phone holds";
        else
            EXPECT_EQ(held.rfind(std::string("alarm-setting ") + s.name + " 0 ", 0), 0u) << held;
    }
    EXPECT_EQ(Shown().size(), 1) << Boxes();
}

// The PIN lock switched on from the security list.
void SilentSettingChange::LockRow(phonesim::Process& phone)
{
    CSecurityListWnd* panel = screen ? static_cast<CSetUp_SecurCode*>(screen.data())->GetSecurityWnd() : nullptr;
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->SelectionLockState(), 2);  // unlocked
    driver.Drive({[&](CDialog* d) {
        auto* edit = qobject_cast<QLineEdit*>(d->GetDlgItem(1121));
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, "1234");
        Press(d, IDOK);
    }});
    Press(panel->GetSwitchButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(Boxes(), Words(31947, Text(31833)).toStdString());
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC on\n");
    EXPECT_EQ(panel->SelectionLockState(), 1) << "the list shows the lock the phone holds";
    EXPECT_EQ(panel->GetSwitchButton()->toolTip().toStdString(), Text(31865).toStdString()) << "the button now unlocks";
}

// The PIN changed from the security list: a code cannot be read back.
void SilentSettingChange::CodeRow(phonesim::Process& phone)
{
    CSecurityListWnd* panel = static_cast<CSetUp_SecurCode*>(screen.data())->GetSecurityWnd();
    driver.Drive({[&](CDialog* d) {
        Retype(d, 1131, "1234");
        Retype(d, 1132, "2468");
        Retype(d, 1133, "2468");
        Press(d, IDOK);
    }});
    Press(panel->GetChangeButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the old code may be spent: the dialog closed";
    EXPECT_EQ(Boxes(), Words(31950, Text(31833)).toStdString());
    EXPECT_EQ(dump_lines(phone, "attempts SC"), "attempts SC 3\n") << "no attempt was counted";
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "2468", "1234"), MTR_DONE) << "the phone took the new PIN";
    EXPECT_EQ(panel->SelectionLockState(), dump_lines(phone, "lock SC") == "lock SC on\n" ? 1 : 2);
}

// A message profile of the phone changed from the set-up screen's panel.
// Its service centre, parameters and the save into the profile are three
// writes: a silence on the first leaves the phone's profile as it was; on
// the save, the phone holds the whole profile.
void SilentSettingChange::ProfileRow(phonesim::Process& phone)
{
    const bool kept = GetParam().row.kind == Kind::ProfileKept;
    CServiceCenterListWnd* panel = static_cast<CSetUp*>(screen.data())->GetProfileWnd();
    ASSERT_NE(panel, nullptr);
    CServiceCenterList* list = panel->GetList();
    ASSERT_NE(list, nullptr);
    CServiceCenter* profile = nullptr;
    int row = -1;
    for (int i = 0; i < list->GetCount() && !profile; ++i) {
        auto* p = static_cast<CServiceCenter*>(list->GetAt(i));
        if (p->GetType() != CServiceCenter::kPC)
            profile = p, row = i;
    }
    ASSERT_NE(profile, nullptr) << "the phone's profiles are listed";
    ASSERT_EQ(profile->GetDialNumber(), "+33689004000");
    const QString name = profile->GetName();
    bool stayedOpen = false;
    driver.Drive({[&](CDialog* d) {
        Retype(d, 1011, "+33611223344");
        Press(d, IDOK);
        stayedOpen = d->isVisible();
        if (stayedOpen)
            Press(d, IDCANCEL);
    }});
    zorqtest::DoubleClickRow(panel->GetListCtrl(), row);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(stayedOpen, !kept);
    EXPECT_EQ(Boxes(), Words(kept ? 31944 : 31945, name).toStdString());
    const std::string held = kept ? "+33611223344" : "+33689004000";
    EXPECT_EQ(dump_lines(phone, "sca "), "sca \"" + held + "\" 145\n");
    EXPECT_EQ(profile->GetDialNumber(), held) << "the list shows the profile the phone holds";
}

TEST_P(SilentSettingChange, TellsWhatThePhoneHoldsAndShowsIt)
{
    const Kind kind = GetParam().row.kind;
    phonesim::Process& phone = StartPhone();
    if (kind == Kind::ProfileKept || kind == Kind::ProfileNotKept) {
        // The phone's profiles as the document reads them after the set-up.
        document->GetMSParam().st1_available = 1;
        document->GetMSParam().profiles.lowest = 0;
        document->GetMSParam().profiles.highest = 1;
        document->SaveSMSparamConfig();
    }
    if (kind == Kind::Lock || kind == Kind::CodeChange)
        OpenOnThePinRow();
    else
        Open();
    ASSERT_NE(screen, nullptr);
    env->app.shown.clear();
    ArmFault(phone);
    switch (kind) {
    case Kind::DateAndTime:
    case Kind::DateFormat:
    case Kind::TimeFormat: ClockRow(phone); break;
    case Kind::Alarm:
    case Kind::SwitchOff: AlarmRow(phone); break;
    case Kind::Lock: LockRow(phone); break;
    case Kind::CodeChange: CodeRow(phone); break;
    case Kind::ProfileKept:
    case Kind::ProfileNotKept: ProfileRow(phone); break;
    }
    for (const QString& box : Shown()) {
        EXPECT_FALSE(box.contains("could not")) << box.toStdString();
        EXPECT_FALSE(box.contains("did not accept")) << box.toStdString();
    }
}

const Row kRows[] = {
    {"DateAndTime", Kind::DateAndTime, "+CCLK="},
    {"DateFormat", Kind::DateFormat, "~MDAF="},
    {"TimeFormat", Kind::TimeFormat, "~MTIF="},
    {"Alarm", Kind::Alarm, "~MALW="},
    {"SwitchOff", Kind::SwitchOff, "~MALW= 3"},  // the third setting written
    {"LockOn", Kind::Lock, "+CLCK= 2"},  // the first asks the lock's state
    {"CodeChange", Kind::CodeChange, "+CPWD="},
    {"ProfileServiceCentre", Kind::ProfileNotKept, "+CSCA="},
    {"ProfileSaved", Kind::ProfileKept, "+CSAS="},
};

std::vector<Case> AllCases()
{
    std::vector<Case> out;
    for (const Row& row : kRows)
        for (const char* fault : {"drop", "cut"})
            out.push_back({row, fault});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Rows, SilentSettingChange, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.row.name) + "_" + info.param.fault;
                         });

}  // namespace
