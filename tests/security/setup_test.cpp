// The set-up and security screen against the phone simulator: the clock,
// its two dialogs, the security codes and the language choice; each view is
// also rendered for the walk-through.
#include "setup_fixture.h"
#include "engine_fixture.h"
#include "test_support.h"
#include "viewtest_support.h"
#include "walkthrough.h"

#include "calendar.h"
#include "dateedit.h"
#include "dlgalarm.h"
#include "dlgdatetime.h"
#include "entrylistctrl.h"
#include "escape_key.h"
#include "modal_driver.h"
#include "mtr_sec.h"
#include "dlgsecurcode.h"
#include "securitylistwnd.h"
#include "setup.h"
#include "user_actions.h"
#include "zorqmenu.h"
#include "utilities.h"
#include "zorqmmidoc.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

using namespace engine_test;

namespace {

using zorqtest::DoubleClickRow;
using zorqtest::DragRowTo;
using zorqtest::RowPoint;

using setup_test::SecurityScreen;
using setup_test::SetUpScreen;

TEST_F(SetUpScreen, ShowsTheSimulatorsClockAndTheSecurityCodes)
{
    Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format yy-mm-dd\ntime-format 24h\nlock SC on\n");
    CSetUp_SecurCode* s = Open();
    EXPECT_EQ(ClockText().toStdString(), "2001/03/05 13:05");
    EXPECT_TRUE(s->GetDlgItem(1052)->isEnabled());
    EXPECT_TRUE(s->GetDlgItem(1053)->isEnabled());

    CEntryListCtrl* list = s->GetSecurityWnd()->GetListCtrl();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetRowCount(), 4);
    EXPECT_EQ(list->GetRowText(0, 0), env->app.LoadString(31833));  // SC
    EXPECT_EQ(s->GetSecurityWnd()->SelectionLockState(), 1);        // locked
    // SC is locked: the switch offers to turn it off, in the picture's own
    // colours (a greyed picture on it would read as a button that is off).
    list->DeselectAll();
    list->SelectRow(0);
    s->GetSecurityWnd()->UpdateButtons();
    QAbstractButton* lockSwitch = s->GetSecurityWnd()->GetSwitchButton();
    ASSERT_TRUE(lockSwitch->isEnabled());
    EXPECT_EQ(lockSwitch->toolTip(), env->app.LoadString(31865));
    const QImage picture = lockSwitch->icon().pixmap(16, 16).toImage();
    ASSERT_FALSE(picture.isNull());
    int dark = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) > 200 && qGray(picture.pixel(x, y)) < 100)
                ++dark;
    EXPECT_GT(dark, 8) << "the switch-off picture is drawn in the disabled greys";
    list->DeselectAll();
    list->SelectRow(3);  // P2: its state is not known
    s->GetSecurityWnd()->UpdateButtons();
    EXPECT_FALSE(s->GetSecurityWnd()->GetSwitchButton()->isEnabled());

    // A clock report with an impossible date leaves the text.
    s->OnPhoneDateTime(-1e9);
    EXPECT_EQ(ClockText().toStdString(), "2001/03/05 13:05");
    s->OnPhoneDateTime(MakeDateTime(2002, 4, 6, 7, 8));
    EXPECT_EQ(ClockText().toStdString(), "2002/04/06 07:08");

    EXPECT_FALSE(zorqtest::SaveScreen(&frame, "setup_security").isEmpty());
}

TEST_F(SetUpScreen, TheHeadingShowsTheSetUpSymbolNotTheMessagesOne)
{
    Phone();
    CSetUp_SecurCode* s = Open();
    // The screen shares the messages' background; its heading symbol (top
    // left, on the white title band) must not be the envelope.
    ASSERT_EQ(s->LoadBackground(), env->Res("smsback.bmp"));
    const QRect heading(10, 5, 28, 28);
    const QImage shown = s->grab(heading).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage envelope = QImage(QString::fromStdString(env->Res("smsback.bmp")))
                                .copy(heading)
                                .convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(envelope.isNull());
    EXPECT_NE(shown, envelope);
    int dark = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            dark += shown.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(dark, 20) << "a symbol is drawn";
}

TEST_F(SetUpScreen, WithoutALinkTheClockButtonsAreOffAndTheListEmpty)
{
    Phone();
    gv_SPIO_com_status = SPIO_no_com_available;
    CSetUp_SecurCode* s = Open();
    EXPECT_TRUE(ClockText().isEmpty());
    EXPECT_FALSE(s->GetDlgItem(1052)->isEnabled());
    EXPECT_FALSE(s->GetDlgItem(1053)->isEnabled());
    EXPECT_TRUE(!s->GetSecurityWnd()->GetDocument() || s->GetSecurityWnd()->GetDocument()->GetCount() == 0);
    EXPECT_EQ(s->GetSecurityWnd()->GetListCtrl()->GetRowCount(), 0);
    EXPECT_FALSE(s->GetSecurityWnd()->GetListCtrl()->isEnabled());
    EXPECT_FALSE(s->GetSecurityWnd()->GetChangeButton()->isEnabled());
}

TEST_F(SetUpScreen, TheDateAndTimeDialogSetsThePhoneAndTheScreenShowsIt)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\ntime-format 24h\n");
    Open();
    WithDialog<CDlgDateTime>(1052, [&](CDlgDateTime& dlg) {
        EXPECT_EQ(dlg.GetDateFormat(), CLK_DATE_FMT_DMY);  // the screen's formats
        zorqtest::SaveScreen(&dlg, "setup_datetime_dialog");
        dlg.GetDateEdit()->SetDate(2024, 12, 31);
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1041))->setText("23:58");
        dlg.OnOK();
    });
    EXPECT_EQ(ClockText().toStdString(), "31/12/2024 23:58");
    EXPECT_EQ(dump_lines(phone, "clock"), "clock \"24/12/31,23:58:00+00\" frozen\n");
}

TEST_F(SetUpScreen, ARefusedClockKeepsTheDialogOpenAndTheScreensText)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\ndate-format dd-mm-yy\nrefuse +CCLK=\n");
    Open();
    bool stillOpen = false;
    WithDialog<CDlgDateTime>(1052, [&](CDlgDateTime& dlg) {
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1041))->setText("23:58");
        dlg.OnOK();
        stillOpen = dlg.isVisible();
    });
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(env->app.shown.size(), 1u);
    EXPECT_EQ(env->app.shown[0].text, env->app.LoadString(31605));
    EXPECT_EQ(ClockText().toStdString(), "05/03/2001 13:05") << "the screen keeps the phone's clock";
    EXPECT_EQ(dump_lines(phone, "clock"), "clock \"01/03/05,13:05:00+00\" frozen\n");
}

TEST_F(SetUpScreen, TheAlarmDialogOpensWithThePhonesSettings)
{
    Phone();
    Open();
    WithDialog<CDlgAlarm>(1053, [&](CDlgAlarm& dlg) {
        EXPECT_EQ(dlg.GetTimeText(CDlgAlarm::kAlarm).toStdString(), "07:30");
        EXPECT_EQ(dlg.GetFlag(CDlgAlarm::kSwitchOff), 1);
        zorqtest::SaveScreen(&dlg, "setup_alarm_dialog");
    });
}


TEST_F(SecurityScreen, SwitchingTheSimLockTakesAWrongThenTheRightPin)
{
    phonesim::Process& phone = Phone();
    CSecurityListWnd* panel = OpenOnThePinRow();
    EXPECT_EQ(panel->SelectionLockState(), 2);  // unlocked
    ASSERT_TRUE(panel->GetSwitchButton()->isEnabled());
    QString firstTitle, attemptsAfterWrong;
    driver.Drive({
        [&](CDialog* d) {
            firstTitle = d->windowTitle();
            zorqtest::SaveScreen(d, "setup_security_code_dialog");
            Driver::Type(d, 1121, "0000");
            Driver::Click(d, 1);
        },
        [&](CDialog* d) {
            attemptsAfterWrong = QString::fromStdString(dump_lines(phone, "attempts SC"));
            Driver::Type(d, 1121, "1234");
            Driver::Click(d, 1);
        },
    });
    panel->GetSwitchButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(firstTitle, Text(31772));
    EXPECT_EQ(attemptsAfterWrong, "attempts SC 2\n") << "the phone counted the wrong PIN";
    EXPECT_EQ(Shown(), (QStringList{Text(31836), Text(31837)}));
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC on\n");
    EXPECT_EQ(dump_lines(phone, "attempts SC"), "attempts SC 3\n");
    EXPECT_EQ(panel->SelectionLockState(), 1);
    EXPECT_EQ(panel->GetSwitchButton()->toolTip(), Text(31865)) << "the button now unlocks";

    // Cancel at the code ends without a change.
    driver.Drive({[&](CDialog* d) { d->OnCancel(); }});
    panel->GetSwitchButton()->click();
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC on\n");
    EXPECT_EQ(Shown().size(), 2);
}

TEST_F(SecurityScreen, EscapeEndsTheClockAlarmAndCodeDialogsAsCancelDoes)
{
    phonesim::Process& phone = Phone("clock \"01/03/05,13:05:00+00\" frozen\n");
    CSecurityListWnd* panel = OpenOnThePinRow();
    const std::string clockBefore = dump_lines(phone, "clock");
    const std::string lockBefore = dump_lines(phone, "lock SC");
    struct Opener {
        const char* what;
        QWidget* button;
    };
    for (const Opener& o : {Opener{"date and time", screen->GetDlgItem(1052)}, Opener{"alarm", screen->GetDlgItem(1053)},
                            Opener{"security code", panel->GetSwitchButton()}}) {
        ASSERT_NE(o.button, nullptr) << o.what;
        const auto before = zorqtest::ShownWindows();
        auto escape = zorqtest::EscapeNextModal();
        QTest::mouseClick(o.button, Qt::LeftButton);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape)) << o.what << ": no dialog came up";
        EXPECT_FALSE(escape->leftOpen) << o.what << ": Escape left the window up";
        EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0) << o.what;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << o.what;
    }
    // Nothing reached the phone and no message was shown.
    EXPECT_EQ(dump_lines(phone, "clock"), clockBefore);
    EXPECT_EQ(dump_lines(phone, "lock SC"), lockBefore);
    EXPECT_TRUE(Shown().isEmpty()) << Shown().join(" | ").toStdString();
    EXPECT_TRUE(frame.isEnabled());
}

TEST_F(SecurityScreen, ChangingThePinTakesTheOldNewAndConfirmedCode)
{
    phonesim::Process& phone = Phone();
    CSecurityListWnd* panel = OpenOnThePinRow();
    ASSERT_TRUE(panel->GetChangeButton()->isEnabled());
    driver.Drive({
        [&](CDialog* d) {
            zorqtest::SaveScreen(d, "setup_change_code_dialog");
            Driver::Type(d, 1131, "9999");  // a wrong old PIN
            Driver::Type(d, 1132, "2468");
            Driver::Type(d, 1133, "2468");
            Driver::Click(d, 1);
        },
        [&](CDialog* d) {
            Driver::Type(d, 1131, "1234");
            Driver::Click(d, 1);
        },
    });
    panel->GetChangeButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(Shown(), (QStringList{env->app.FormatString(31777, {"2"}), Text(31837)}));
    EXPECT_EQ(dump_lines(phone, "attempts SC"), "attempts SC 3\n");
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "2468", "1234"), MTR_DONE) << "the new PIN is in force";
}

TEST_F(SecurityScreen, ABlockedPinLeadsToThePukFormAndTheChangeGoesOn)
{
    phonesim::Process& phone = Phone("attempts SC 1\n");
    CSecurityListWnd* panel = OpenOnThePinRow();
    QString changeTitle, pukPrompt;
    bool pukForm = false;
    driver.Drive({
        [&](CDialog* d) {
            changeTitle = d->windowTitle();
            Driver::Type(d, 1131, "9999");  // the last attempt, wrong
            Driver::Type(d, 1132, "2468");
            Driver::Type(d, 1133, "2468");
            Driver::Click(d, 1);
        },
        [&](CDialog* d) {
            pukForm = d->GetDlgItem(1122) != nullptr;
            pukPrompt = d->GetDlgItemText(1124);
            zorqtest::SaveScreen(d, "setup_puk_dialog");
            Driver::Type(d, 1121, "12345678");
            Driver::Type(d, 1122, "4321");
            Driver::Click(d, 1);
        },
        [&](CDialog* d) {  // the change dialog again, with the new PIN as the old one
            Driver::Type(d, 1131, "4321");
            Driver::Click(d, 1);
        },
    });
    panel->GetChangeButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(changeTitle.endsWith(Text(31852))) << "the last attempt is announced";
    EXPECT_TRUE(pukForm);
    EXPECT_EQ(pukPrompt, Text(31770));
    EXPECT_EQ(Shown(), (QStringList{env->app.FormatString(31777, {"0"}), Text(31837)}));
    EXPECT_EQ(dump_lines(phone, "pin-state"), "pin-state READY\n") << "the PUK unblocked the SIM";
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "2468", "1234"), MTR_DONE) << "the changed PIN is in force";
}

TEST_F(SecurityScreen, CancellingThePukFormClosesTheChangeDialog)
{
    phonesim::Process& phone = Phone("pin-state SIM PUK\nattempts SC 0\n");
    CSecurityListWnd* panel = OpenOnThePinRow();
    bool pukForm = false;
    driver.Drive({[&](CDialog* d) {
        pukForm = d->GetDlgItem(1122) != nullptr;
        d->OnCancel();
    }});
    panel->GetChangeButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(pukForm) << "the blocked PIN asks for the PUK first";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the change dialog closed with it";
    EXPECT_EQ(dump_lines(phone, "pin-state"), "pin-state SIM PUK\n");
}

// The list as a user works it: a double click on a row, a row dragged onto
// a button.
class SecurityByHand : public SecurityScreen {
protected:
    int PinRow(CSecurityListWnd* panel) const { return panel->GetDocument()->IndexOfName(Text(31833)); }
};

TEST_F(SecurityByHand, DoubleClickAndDropsOnTheButtonsRunTheirCommands)
{
    phonesim::Process& phone = Phone();
    CSecurityListWnd* panel = OpenOnThePinRow();
    CEntryListCtrl* list = panel->GetListCtrl();
    const int row = PinRow(panel);

    // A double click on the row switches its lock, after the code.
    driver.Drive({[&](CDialog* d) {
        Driver::Type(d, 1121, "1234");
        Driver::Click(d, 1);
    }});
    DoubleClickRow(list, row);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC on\n");

    // Dropped on the switch-lock button: switched back.
    driver.Drive({[&](CDialog* d) {
        Driver::Type(d, 1121, "1234");
        Driver::Click(d, 1);
    }});
    DragRowTo(list, row, panel->GetSwitchButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC off\n");
    EXPECT_EQ(Shown(), (QStringList{Text(31837), Text(31837)}));

    // Dropped on the change-code button: the change dialog.
    bool changeDialog = false;
    driver.Drive({[&](CDialog* d) {
        changeDialog = qobject_cast<CDlgChangeSecurCode*>(d) != nullptr;
        d->OnCancel();
    }});
    DragRowTo(list, row, panel->GetChangeButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(changeDialog);
    EXPECT_EQ(dump_lines(phone, "attempts SC"), "attempts SC 3\n");
}

TEST_F(SecurityByHand, TheCodeDialogReadsTheAttemptsLeftWhenItOpens)
{
    phonesim::Process& phone = Phone("attempts SC 1\n");
    CSecurityListWnd* panel = OpenOnThePinRow();
    QString title;
    driver.Drive({[&](CDialog* d) {
        title = d->windowTitle();
        d->OnCancel();
    }});
    DoubleClickRow(panel->GetListCtrl(), PinRow(panel));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(title, Text(31772) + " " + Text(31852)) << "the last attempt is announced";

    // The PIN is blocked meanwhile: switching asks for the PUK and a new PIN,
    // then switches the lock with the new PIN.
    ASSERT_EQ(phone.command("attempts SC 0"), "ok");
    ASSERT_EQ(phone.command("pin-state SIM PUK"), "ok");
    bool pukForm = false;
    driver.Drive({[&](CDialog* d) {
        pukForm = d->GetDlgItem(1122) != nullptr;
        Driver::Type(d, 1121, "12345678");
        Driver::Type(d, 1122, "4321");
        Driver::Click(d, 1);
    }});
    DoubleClickRow(panel->GetListCtrl(), PinRow(panel));
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(pukForm);
    EXPECT_EQ(Shown(), (QStringList{Text(31780), Text(31837)}));
    EXPECT_EQ(dump_lines(phone, "pin-state"), "pin-state READY\n") << "the PUK unblocked the SIM";
    EXPECT_EQ(dump_lines(phone, "lock SC"), "lock SC on\n");
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "4321", "4321"), MTR_DONE) << "the new PIN is in force";
}

TEST_F(SecurityByHand, ARefusedPasswordListKeepsTheLocks)
{
    Phone("refuse +CPWD=?\n");
    CSecurityListWnd* panel = Open()->GetSecurityWnd();
    ASSERT_NE(panel->GetDocument(), nullptr);
    const int row = PinRow(panel);
    ASSERT_GE(row, 0) << "the SIM lock the phone reported is listed";
    CEntryListCtrl* list = panel->GetListCtrl();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(list, row));
    EXPECT_TRUE(panel->GetSwitchButton()->isEnabled());
    EXPECT_FALSE(panel->GetChangeButton()->isEnabled()) << "no code lengths without the password list";
}

// The share of a widget's pixels, within `area`, that stand out from the
// colour most of them have (its background): text that can be read.
double ContrastingShare(const QImage& image, const QRect& wanted)
{
    const QRect area = wanted & image.rect();
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    int standing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - qGray(background)) > 96)
                ++standing;
    return area.isEmpty() ? 0.0 : double(standing) / (area.width() * area.height());
}

TEST_F(SetUpScreen, TheLanguageListShowsAndPicksEnglishOnALightOrADarkDesktop)
{
    Phone();
    // The program folder as the build lays it out holds the English bundle.
    ASSERT_TRUE(std::filesystem::exists(env->dir.path() + "ZORQenu.rcc"));
    // The desktop's colours come back whatever happens below.
    struct PaletteBack {
        QPalette before = QApplication::palette();
        ~PaletteBack() { QApplication::setPalette(before); }
    } desktop;
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark desktop" : "light desktop");
        if (dark) {
            // A desktop whose colour scheme is dark: light text on dark ground.
            QPalette night = desktop.before;
            for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase})
                night.setColor(role, QColor(0x2A, 0x2A, 0x2E));
            for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                night.setColor(role, QColor(0xF0, 0xF0, 0xF0));
            QApplication::setPalette(night);
        }
        SetLanguageSetting("");
        CSetUp_SecurCode* s = Open();
        QComboBox* combo = s->GetLanguageCombo();
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), 1);
        EXPECT_EQ(combo->currentText(), "English");
        // The closed list shows its choice in readable text.
        EXPECT_GT(ContrastingShare(combo->grab().toImage(), combo->rect().adjusted(4, 4, -24, -4)), 0.02);

        // A click opens it: one row, "English", readable in the open list.
        QTest::mouseClick(combo, Qt::LeftButton);
        QAbstractItemView* view = combo->view();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 5000));
        ASSERT_EQ(view->model()->rowCount(view->rootIndex()), 1);
        const QModelIndex english = view->model()->index(0, 0, view->rootIndex());
        EXPECT_EQ(english.data().toString(), "English");
        const QRect row = view->visualRect(english);
        ASSERT_FALSE(row.isEmpty());
        QApplication::processEvents();
        EXPECT_GT(ContrastingShare(view->viewport()->grab().toImage(), row.adjusted(2, 2, -2, -2)), 0.02);
        zorqtest::SaveScreenWithOverlays(&frame, {view->window()},
                                         dark ? "setup_language_list_open_dark" : "setup_language_list_open");

        // Picked with a click, it is the choice, and the way back to the menu
        // stores it. (The list takes no click in the first moments after it
        // opens, so that the click that opened it picks nothing: the click
        // is given again until the list has taken it.)
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                QTest::mouseMove(view->viewport(), row.center());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
                return !view->isVisible();
            },
            5000));
        EXPECT_EQ(combo->currentIndex(), 0);
        EXPECT_EQ(combo->currentText(), "English");
        s->OnQuitView();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(GetLanguageSetting(), "enu");
        delete frame.GetActiveView();
    }
}

TEST_F(SetUpScreen, ChoosingAnotherBundleSwitchesStringsAndPictureOnReturnToTheMenu)
{
    Phone();
    zorqtest::CopyFile(ZORQ_TEST_SECOND_BUNDLE, env->dir.path() + "ZORQfra.rcc");
    zorqtest::CopyFile(env->Res("backenu.BMP"), env->Res("backfra.BMP"));
    WriteIniProfileString("Pictures", "BmpName", "");
    CSetUp_SecurCode* s = Open();
    QComboBox* combo = s->GetLanguageCombo();
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    s->OnQuitView();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen.isNull());  // the screen is gone
    EXPECT_NE(qobject_cast<CZorqMenu*>(frame.GetActiveView()), nullptr);
    EXPECT_EQ(env->app.GetLanguage(), "fra");
    EXPECT_EQ(env->app.LoadString(31207).toStdString(), "Bienvenue");
    EXPECT_NE(env->app.GetBmpName().find("backfra"), std::string::npos) << env->app.GetBmpName();
    EXPECT_EQ(GetLanguageSetting(), "fra");
    delete frame.GetActiveView();
}

TEST_F(SetUpScreen, AMissingBundleKeepsTheCurrentLanguage)
{
    Phone();
    zorqtest::CopyFile(ZORQ_TEST_SECOND_BUNDLE, env->dir.path() + "ZORQfra.rcc");
    SetLanguageSetting("enu");
    CSetUp_SecurCode* s = Open();
    s->GetLanguageCombo()->setCurrentIndex(1);
    std::remove((env->dir.path() + "ZORQfra.rcc").c_str());  // gone meanwhile
    s->OnQuitView();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(env->app.GetLanguage(), "enu");
    EXPECT_EQ(GetLanguageSetting(), "enu");
    EXPECT_NE(env->app.LoadString(31207).toStdString(), "Bienvenue");
    delete frame.GetActiveView();
}

}  // namespace

#if __has_include("dlgdraganddrop.h")
#include "dlgdraganddrop.h"

namespace {

TEST_F(SetUpScreen, TheDragAndDropSettingsOpenFromTheScreen)
{
    Phone();
    Open();
    WithDialog<CDlgDragAndDrop>(1153, [&](CDlgDragAndDrop& dlg) {
        EXPECT_FALSE(zorqtest::SaveScreen(&dlg, "setup_draganddrop_dialog").isEmpty());
    });
}

}  // namespace
#endif

#if __has_include("dlgservicecenter.h")
#include "dlgservicecenter.h"

#include <QFile>

namespace {

std::string SrvFile(const std::string& name, int type, const std::string& number)
{
    return "NAME=" + name + "\r\nTYPE=" + std::to_string(type) + "\r\nINDEX=-1\r\nPHONENUMBER=" + number +
           "\r\nTEXTFORMAT=0\r\nVALIDITYPERIOD=3\r\n";
}

// The message profiles of the phone and of the PC in the screen's panel.
class ProfilePanel : public SecurityScreen {
protected:
    // A document that has read the PC's ".SRV" files and the phone's profiles.
    void ReadProfiles()
    {
        document.reset();
        document = std::make_unique<CZorqMMIDoc>();
        document->GetMSParam().clock_available = 1;
        document->GetMSParam().alarm_available = 1;
        document->GetMSParam().st1_available = 1;
        document->GetMSParam().profiles.lowest = 0;
        document->GetMSParam().profiles.highest = 3;
        document->SaveSMSparamConfig();
    }
    QStringList Rows(CServiceCenterListWnd* panel) const
    {
        QStringList rows;
        for (int r = 0; r < panel->GetListCtrl()->GetRowCount(); ++r)
            rows << panel->GetListCtrl()->GetRowText(r, 0);
        return rows;
    }
    void SelectRowNamed(CServiceCenterListWnd* panel, const QString& name)
    {
        const int row = static_cast<int>(Rows(panel).indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        panel->GetListCtrl()->DeselectAll();
        panel->GetListCtrl()->SelectRow(row);
        panel->UpdateButtons();
    }
};

TEST_F(ProfilePanel, ListsAddsModifiesAndDeletesProfilesFromTheScreen)
{
    Phone();
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "Office.SRV", SrvFile("Office", 2, "+33600000001"));
    zorqtest::WriteFile(files + "Stale.SRV", SrvFile("Stale", 0, "+33600000002"));
    ReadProfiles();
    CSetUp_SecurCode* s = Open();
    CServiceCenterListWnd* panel = s->GetProfileWnd();
    ASSERT_NE(panel, nullptr);
    QStringList rows = Rows(panel);
    EXPECT_EQ(rows.size(), 5) << rows.join(", ").toStdString();  // four phone profiles and Office
    EXPECT_TRUE(rows.contains("Office"));
    EXPECT_FALSE(rows.contains("Stale")) << "a profile of no type is dropped";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(files + "Stale.SRV")));
    EXPECT_FALSE(zorqtest::SaveScreen(&frame, "setup_security_profiles").isEmpty());

    // Add: the profile dialog over the document's list.
    driver.Drive({[&](CDialog* d) {
        Driver::Type(d, 1012, "home");
        Driver::Type(d, 1011, "+33611111111");
        Driver::Click(d, 1);
    }});
    panel->GetNewButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(Rows(panel).contains("Home")) << Rows(panel).join(", ").toStdString();
    EXPECT_NE(zorqtest::ReadFile(files + "Home.SRV").find("PHONENUMBER=+33611111111\r\n"), std::string::npos);
    EXPECT_EQ(document->GetServiceCenterList().GetCount(), 6);

    // Modify the selected one by a double click's command.
    SelectRowNamed(panel, "Home");
    QString shownName;
    driver.Drive({[&](CDialog* d) {
        shownName = d->GetDlgItemText(1012);
        Driver::Type(d, 1011, "+33622222222");
        Driver::Click(d, 1);
    }});
    panel->GetModifyButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(shownName, "Home");
    EXPECT_NE(zorqtest::ReadFile(files + "Home.SRV").find("PHONENUMBER=+33622222222\r\n"), std::string::npos);

    // The Delete key in the security list leaves the profiles alone (a
    // confirmation would stay open and fail the driver); in the profile
    // list it asks, and No keeps the profile.
    driver.Drive({});
    QTest::keyClick(s->GetSecurityWnd()->GetListCtrl(), Qt::Key_Delete);
    QApplication::sendPostedEvents();
    EXPECT_TRUE(driver.Finished());
    SelectRowNamed(panel, "Home");
    QString asked;
    driver.Drive({[&](CDialog* d) {
        asked = d->GetDlgItemText(1083);
        Driver::Click(d, IDNO);
    }});
    QTest::keyClick(panel->GetListCtrl(), Qt::Key_Delete);
    QApplication::sendPostedEvents();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(asked.contains("Home")) << asked.toStdString();
    EXPECT_TRUE(Rows(panel).contains("Home"));

    // Delete, after the confirmation; a phone profile cannot be deleted.
    SelectRowNamed(panel, "Home");
    ASSERT_TRUE(panel->GetTrashButton()->isEnabled());
    driver.Drive({[&](CDialog* d) { Driver::Click(d, IDYES); }});
    panel->GetTrashButton()->click();
    EXPECT_TRUE(driver.Finished());
    EXPECT_FALSE(Rows(panel).contains("Home"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(files + "Home.SRV")));
    SelectRowNamed(panel, "Profile 4");
    EXPECT_FALSE(panel->GetTrashButton()->isEnabled());
}

TEST_F(ProfilePanel, PhoneProfilesFollowTheMessageParametersAndTheSelectionIsKept)
{
    Phone();
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "Office.SRV", SrvFile("Office", 2, "+33600000001"));
    ReadProfiles();
    CSetUp_SecurCode* s = Open();
    CServiceCenterListWnd* panel = s->GetProfileWnd();
    ASSERT_EQ(Rows(panel).size(), 5);
    SelectRowNamed(panel, "Office");

    // The phone's parameters went away: its profiles leave the list, the
    // selected PC profile stays selected.
    document->GetMSParam().st1_available = 0;
    s->OnUpdateMSParam(1);
    EXPECT_EQ(Rows(panel), QStringList{"Office"});
    EXPECT_EQ(panel->GetSelectedProfile() ? panel->GetSelectedProfile()->GetName() : QString(), "Office");

    // They come back with the parameters, the selection kept by name.
    document->GetMSParam().st1_available = 1;
    document->SaveSMSparamConfig();
    s->OnUpdateMSParam(1);
    EXPECT_EQ(Rows(panel).size(), 5);
    EXPECT_EQ(panel->GetSelectedProfile() ? panel->GetSelectedProfile()->GetName() : QString(), "Office");

    // The quit button remembers the selected phone profile by its index.
    SelectRowNamed(panel, "Profile 3");
    s->OnQuitView();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(GetIniProfileInt("Pellard", "Model", -1), 2);
    delete frame.GetActiveView();
}

}  // namespace
#endif
