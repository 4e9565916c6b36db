// The security-code dialogs against the phone simulator: wrong and right
// codes, the PUK form, facility mode and the change dialog's checks.
#include "dlgsecurcode.h"

#include "engine_fixture.h"
#include "modal_driver.h"
#include "mtr_sec.h"
#include "test_support.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <functional>

#ifdef ZORQ_HAVE_PHONESIM

namespace {

using zorqtest::BuiltBundle;
using zorqtest::CopyFile;

// The application whose code dialog is the real one.
class CodeApp : public zorqtest::RecordingApp {
protected:
    int RunSecurCodeDialog(QWidget* parent, int kind, int newCodeForm, int value) override
    {
        CDlgSecurCode dlg(parent, kind, 1, newCodeForm, value);
        return dlg.DoModal();
    }
};

class SecurCodeTest : public engine_test::LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        app.SetDataDirectories(host.folder + "zorqmmi");
        ASSERT_TRUE(CopyFile(BuiltBundle(), host.folder + "ZORQenu.rcc"));
        ASSERT_TRUE(app.LoadResourceLibrary("enu"));
        app.SetCodePause(0);
    }

    // Runs `steps` one after the other inside the modal run of the dialog
    // that is open at that moment.
    void Drive(std::vector<zorqtest::ModalDriver::Step> steps) { driver.Drive(std::move(steps)); }
    static void Type(CDialog* dlg, int id, const QString& text) { zorqtest::ModalDriver::Type(dlg, id, text); }
    static void Click(CDialog* dlg, int id) { zorqtest::ModalDriver::Click(dlg, id); }
    QString Text(int id) { return app.LoadString(id); }

    CodeApp app;
    zorqtest::ModalDriver driver;
};

TEST_F(SecurCodeTest, AWrongPinIsRefusedWithTheAttemptsLeftAndTheRightOneAccepted)
{
    Start("pin-state SIM PIN\n");
    QString afterWrong;
    bool okEnabledEmpty = true;
    Drive({
        [&](CDialog* d) {
            okEnabledEmpty = d->GetDlgItem(1)->isEnabled();
            Type(d, 1121, "0000");
            Click(d, 1);
            afterWrong = qobject_cast<QLineEdit*>(d->GetDlgItem(1121))->text();
        },
        [&](CDialog* d) {
            Type(d, 1121, "1234");
            Click(d, 1);
        },
    });
    EXPECT_EQ(app.AskSecurityCode(2), IDOK);
    EXPECT_FALSE(okEnabledEmpty) << "OK waits for four characters";
    ASSERT_EQ(app.shown.size(), 1u);
    EXPECT_EQ(app.shown[0].text, app.FormatString(31777, {"2"})) << app.shown[0].text.toStdString();
    EXPECT_TRUE(afterWrong.isEmpty()) << "the field is emptied after a refusal";
    int state = -1;
    ASSERT_EQ(mtr_GEN_req_pin_status(&state), MTR_DONE);
    EXPECT_EQ(state, 1) << "the phone is ready";
}

TEST_F(SecurCodeTest, ThePukFormTakesThePukAndANewPin)
{
    Start("pin-state SIM PUK\n");
    CDlgSecurCode dlg(nullptr, 4, CDlgSecurCode::MODE_PHONE, 1, -1);
    QString prompt;
    Drive({[&](CDialog* d) {
        prompt = d->GetDlgItemText(1124);
        Type(d, 1121, "1234567");  // a PUK is exactly 8 digits
        Type(d, 1122, "4321");
        Click(d, 1);
        Type(d, 1121, "12345678");
        Type(d, 1122, "4321");
        Click(d, 1);
    }});
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(prompt, Text(31770));
    ASSERT_EQ(app.shown.size(), 1u);
    EXPECT_EQ(app.shown[0].text, app.FormatString(31807, {"8"}));
    EXPECT_EQ(dlg.GetCode(), QStringLiteral("4321")) << "the caller reads the new PIN";
    EXPECT_NE(Dump().find("pin-state READY"), std::string::npos) << Dump();
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "4321", "1234"), MTR_DONE) << "the new PIN is in force";
}

TEST_F(SecurCodeTest, TheLastWrongPinTurnsTheDialogIntoThePukForm)
{
    Start("pin-state SIM PIN\nattempts SC 1\n");
    CDlgSecurCode dlg(nullptr, 2, CDlgSecurCode::MODE_PHONE, 0, -1);
    QString title;
    bool twoCodes = false;
    Drive({
        [&](CDialog* d) {
            title = d->windowTitle();
            Type(d, 1121, "9999");
            Click(d, 1);
        },
        [&](CDialog* d) {
            twoCodes = d->GetDlgItem(1122) != nullptr;
            d->EndDialog(IDCANCEL);
        },
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(title, Text(31772) + " " + Text(31852)) << "the last attempt is announced";
    EXPECT_TRUE(twoCodes);
    EXPECT_TRUE(dlg.IsTwoCodeForm());
    EXPECT_EQ(dlg.Kind(), 4);
    bool pukAsked = false;
    for (const auto& s : app.shown)
        pukAsked = pukAsked || s.text == Text(31780);
    EXPECT_TRUE(pukAsked);
}

// The walk-through of the code dialog for every code the phone asks, in its
// one-code and two-code forms, on the last attempt: the longest titles the
// dialog has must show whole in its title bar, and its texts in the form.
TEST_F(SecurCodeTest, EveryCodeKindOnItsLastAttemptShowsItsTitleWhole)
{
    Start("pin-state READY\nattempts PS 1\nattempts SC 1\nattempts P2 1\nattempts PUK 1\nattempts PUK2 1\n");
    const struct { int kind; int twoCodes; int title; const char* name; } kinds[] = {
        {0, 0, 31779, "phone_code"}, {2, 0, 31772, "pin"},  {3, 0, 31773, "pin2"},
        {4, 1, 31774, "puk"},        {5, 1, 31775, "puk2"}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        CDlgSecurCode dlg(nullptr, k.kind, CDlgSecurCode::MODE_PHONE, k.twoCodes, -1);
        QString title;
        QStringList cut;
        Drive({[&](CDialog* d) {
            title = d->windowTitle();
            cut = zorqtest::ClippedTexts(d);
            if (const QString t = zorqtest::ClippedTitle(d); !t.isEmpty())
                cut << t;
            zorqtest::SaveScreen(d, QStringLiteral("security_code_last_attempt_%1").arg(QLatin1String(k.name)));
            d->EndDialog(IDCANCEL);
        }});
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_EQ(title, Text(k.title) + " " + Text(31852));
        EXPECT_TRUE(cut.isEmpty()) << cut.join("; ").toStdString();
    }
}

TEST_F(SecurCodeTest, FacilityModeAndTheChangeChecksSendNothing)
{
    Start();
    uint64_t in0 = 0, out0 = 0, in1 = 0, out1 = 0;

    // Opening reads the attempts left; the code itself goes nowhere.
    CDlgSecurCode code(nullptr, 21, CDlgSecurCode::MODE_FACILITY, 0, -1);
    Drive({[&](CDialog* d) {
        serial_byte_counts(&in0, &out0);
        Type(d, 1121, "5678");
        Click(d, 1);
    }});
    EXPECT_EQ(code.DoModal(), IDOK);
    EXPECT_EQ(code.GetCode(), QStringLiteral("5678"));
    EXPECT_EQ(code.windowTitle(), Text(31772));

    CDlgChangeSecurCode change(-1, 8, nullptr);
    bool okWithShortConfirmation = true;
    Drive({[&](CDialog* d) {
        Type(d, 1131, "1111");
        Type(d, 1132, "1111");
        Type(d, 1133, "1111");
        Click(d, 1);
        Type(d, 1132, "2222");
        Type(d, 1133, "2223");
        Click(d, 1);
        Type(d, 1133, "22");
        okWithShortConfirmation = d->GetDlgItem(1)->isEnabled();
        d->EndDialog(IDCANCEL);
    }});
    EXPECT_EQ(change.DoModal(), IDCANCEL);
    ASSERT_EQ(app.shown.size(), 2u);
    EXPECT_EQ(app.shown[0].text, Text(31803));
    EXPECT_EQ(app.shown[1].text, Text(31804));
    EXPECT_FALSE(okWithShortConfirmation);
    serial_byte_counts(&in1, &out1);
    EXPECT_EQ(out1, out0) << "nothing went to the phone";
}

TEST_F(SecurCodeTest, TheChangeDialogChangesTheCodeOnThePhone)
{
    Start("lock SC on\n");
    CDlgChangeSecurCode change(21, 8, nullptr);  // facility index 21: the SIM PIN
    Drive({[&](CDialog* d) {
        Type(d, 1131, "1234");
        Type(d, 1132, "2468");
        Type(d, 1133, "2468");
        Click(d, 1);
    }});
    EXPECT_EQ(change.DoModal(), IDOK);
    ASSERT_FALSE(app.shown.empty());
    EXPECT_EQ(app.shown.back().text, Text(31837));
    EXPECT_EQ(mtr_FAC_change_password(MTR_FAC_SC, "2468", "1234"), MTR_DONE) << "the new code is in force";
}

// A code the phone took without a word is told as taken, one it did not
// take as not taken: never as refused, and no attempt is counted for it.
class SilentCodeTest : public SecurCodeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SilentCodeTest, IsToldAsThePhoneHoldsItWhenAskedAgain)
{
    const std::string fault = GetParam();
    {
        Start("pin-state SIM PIN\n");
        app.shown.clear();
        // The wrong code first: asked again, the phone still wants a PIN.
        ASSERT_EQ(sim->command("fault " + fault + " +CPIN="), "ok");
        QString afterSilence;
        Drive({
            [&](CDialog* d) {
                Type(d, 1121, "0000");
                Click(d, 1);
                afterSilence = qobject_cast<QLineEdit*>(d->GetDlgItem(1121))->text();
                ASSERT_EQ(sim->command("fault " + fault + " +CPIN="), "ok");
                Type(d, 1121, "1234");
                Click(d, 1);
            },
        });
        EXPECT_EQ(app.AskSecurityCode(2), IDOK);
        ASSERT_EQ(app.shown.size(), 2u);
        EXPECT_EQ(app.shown[0].text, Text(31957));
        EXPECT_EQ(app.shown[1].text, Text(31956));
        for (const auto& box : app.shown)
            EXPECT_EQ(box.text.indexOf("refused"), -1) << box.text.toStdString();
        EXPECT_TRUE(afterSilence.isEmpty()) << "the field is emptied for the next try";
        int state = -1;
        ASSERT_EQ(mtr_GEN_req_pin_status(&state), MTR_DONE);
        EXPECT_EQ(state, 1) << "the phone is ready";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, SilentCodeTest, ::testing::Values("drop", "cut"),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

}  // namespace

#endif
