#include "mainview.h"

#include "diskfaults.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "handbutton.h"
#include "strutil.h"
#include "trayicon.h"
#include "viewframe.h"
#include "viewtest_support.h"
#include "walkthrough.h"
#include "wndmsg.h"
#include "zorqmenu.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <utility>
#include <malloc.h>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

using zorqtest::TestFrame;
using zorqtest::ViewTestEnv;
using zorqtest::WriteFile;

namespace {

class MainViewTest : public ::testing::Test {
protected:
    void SetUp() override { gv_SPIO_com_status = 2; }
    void TearDown() override
    {
        gv_SPIO_com_status = 1;
        UnregisterScreen(SCREEN_PHONEBOOK);
        UnregisterScreen(SCREEN_SHORTMSG);
    }
    // The menu inside the frame, first update done, as the program opens.
    CZorqMenu* OpenMenu()
    {
        auto* menu = new CZorqMenu(&frame_);
        menu->OnInitialUpdate();
        frame_.SetActiveView(menu);
        frame_.show();
        QApplication::processEvents();
        return menu;
    }
    QColor PixelAt(QWidget* w, QPoint p) { return w->grab().toImage().pixelColor(p); }
    static QPoint Dlu(int x, int y) { return QPoint(x * 6 / 4, y * 13 / 8); }

    ViewTestEnv env_;
    TestFrame frame_;
};

// A screen created by the registry: the base view with a kind of its own.
class FakeScreen : public CMainView {
public:
    explicit FakeScreen(QWidget* parent, int kind) : CMainView(9999, parent)
    {
        m_bClosing = 0;
        m_nViewKind = kind;
    }
};

TEST_F(MainViewTest, StatusIconsFollowTheValuesAndTheLink)
{
    CMainView view(9999);
    const std::pair<int, int> battery[] = {{0, 255}, {1, 183}, {2, 195}, {3, 188}, {4, 255}, {-1, 255}};
    for (auto [value, icon] : battery) {
        view.mmi_MNGT_battery_charge(value);
        EXPECT_EQ(view.IndicatorIcon(1), icon) << "battery " << value;
    }
    const std::pair<int, int> signal[] = {{0, 254}, {1, 192}, {2, 194}, {3, 187}, {4, 182}, {5, 182}, {6, 182}, {7, 254}};
    for (auto [value, icon] : signal) {
        view.mmi_MNGT_signal_quality(value);
        EXPECT_EQ(view.IndicatorIcon(2), icon) << "signal " << value;
    }
    view.mmi_MNGT_call_icon(1);
    view.mmi_MNGT_voice_mail_icon(1);
    view.mmi_MNGT_message_icon(1);
    EXPECT_EQ(view.IndicatorIcon(6), 242);
    EXPECT_EQ(view.IndicatorIcon(7), 241);
    EXPECT_EQ(view.IndicatorIcon(4), 243);
    view.mmi_MNGT_message_icon(-1);
    EXPECT_EQ(view.IndicatorIcon(4), 0);  // the dark phase of blinking

    // Without a link every indicator shows its "none" picture.
    gv_SPIO_com_status = 1;
    view.mmi_MNGT_battery_charge(3);
    EXPECT_EQ(view.IndicatorIcon(1), 255);
    EXPECT_EQ(view.IndicatorIcon(2), 254);
    EXPECT_EQ(view.IndicatorIcon(4), 249);
    EXPECT_EQ(view.IndicatorIcon(6), 248);
    EXPECT_EQ(view.IndicatorIcon(7), 252);
}

TEST_F(MainViewTest, BatteryTrayFollowsTheBattery)
{
    CMainView view(9999);
    view.mmi_MNGT_battery_charge(2);
    EXPECT_FALSE(view.BatteryTray().IsRemoved());
    EXPECT_EQ(view.BatteryTray().IconResId(), 195);
    view.mmi_MNGT_battery_charge(9);
    EXPECT_TRUE(view.BatteryTray().IsRemoved());
}

TEST_F(MainViewTest, MessageIconStaysLitWhileUnreadMessagesWait)
{
    CMainView view(9999);
    gv_bDebug = 1;
    const std::string trace = env_.dir.path() + "Work/debug.txt";
    view.mmi_MNGT_set_sms_full(0);
    view.mmi_MNGT_set_unread_msg(1);
    view.mmi_MNGT_message_icon(1);
    EXPECT_EQ(view.MessageTray().IconResId(), 243);
    EXPECT_EQ(view.MessageTray().CallbackMessage(), unsigned(WM_MMI_TRAY_NOTIFY));
    EXPECT_EQ(view.MessageTray().Tip(), env_.app.LoadString(31313));
    view.mmi_MNGT_message_icon(0);
    EXPECT_EQ(view.Status().sms_icon, 1);
    EXPECT_EQ(view.IndicatorIcon(4), 243);
    view.mmi_MNGT_set_unread_msg(0);
    view.mmi_MNGT_message_icon(0);
    EXPECT_EQ(view.Status().sms_icon, 0);
    EXPECT_TRUE(view.MessageTray().IsRemoved());
    gv_bDebug = 0;
}

TEST_F(MainViewTest, DispatchOfTheProgramsMessages)
{
    CMainView view(9999);
    EXPECT_EQ(SendMessage(&view, WM_MMI_BATTERY_CHARGE, 3), 0);
    EXPECT_EQ(SendMessage(&view, WM_MMI_SIGNAL_QUALITY, 2), 0);
    EXPECT_EQ(SendMessage(&view, WM_MMI_ROAMING_ICON, 1), 0);
    static const char name[] = "Tarvel Net";
    SendMessage(&view, WM_MMI_OPERATOR_NAME, reinterpret_cast<std::uintptr_t>(name));
    EXPECT_EQ(view.Status().bat_charge, 3);
    EXPECT_EQ(view.Status().signal_quality, 2);
    EXPECT_EQ(view.Status().roaming_icon, 1);
    EXPECT_EQ(view.OperatorName(), QStringLiteral("Tarvel Net"));

    const StatusBlock before = view.Status();
    EXPECT_EQ(SendMessage(&view, 0x80A, 5), 0);
    EXPECT_EQ(SendMessage(&view, 0x817, 5), 0);
    EXPECT_EQ(view.Status().bat_charge, before.bat_charge);
    // A tray notice other than the double click does nothing.
    EXPECT_EQ(SendMessage(&view, WM_MMI_TRAY_NOTIFY, 0, WM_LBUTTONUP), 0);
    EXPECT_EQ(SendMessage(&view, WM_MMI_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK), 1);
}

TEST_F(MainViewTest, MessagesPostedToTheFormReachTheView)
{
    // Controls post to their parent, which is the template's form inside
    // the view.
    CMainView view(131);
    QWidget* control = view.GetDlgItem(1001);
    ASSERT_NE(control, nullptr);
    ASSERT_NE(control->parentWidget(), &view);
    PostMessage(control->parentWidget(), WM_MMI_BATTERY_CHARGE, 2);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(view.Status().bat_charge, 2);
    EXPECT_EQ(SendMessage(control->parentWidget(), WM_MMI_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK), 1)
        << "the view's answer comes back";
}

TEST_F(MainViewTest, NewScreenStartsWithTheOldScreensStatus)
{
    CMainView a(9999), b(9999);
    a.mmi_MNGT_battery_charge(2);
    a.mmi_MNGT_signal_quality(3);
    a.mmi_MNGT_call_icon(1);
    a.mmi_MNGT_set_sms_full(0);
    a.SetOperatorName(QStringLiteral("Net"));
    b.CopyStatusFrom(a);
    EXPECT_EQ(b.IndicatorIcon(1), 195);
    EXPECT_EQ(b.IndicatorIcon(2), 187);
    EXPECT_EQ(b.IndicatorIcon(6), 242);
    EXPECT_EQ(b.Status().sms_full, 0);
    EXPECT_TRUE(b.OperatorName().isEmpty());  // the operator name is not copied
}

TEST_F(MainViewTest, RegionsWithoutSettingsTakeTheDefaults)
{
    std::remove(env_.Res("backenu.INI").c_str());
    CZorqMenu* menu = OpenMenu();
    // Region4: an ellipse in (191, 251)-(231, 272): its centre is in, its corner out.
    EXPECT_TRUE(menu->MessageRegion().contains(Dlu(211, 261)));
    EXPECT_FALSE(menu->MessageRegion().contains(Dlu(191, 251)));
    EXPECT_TRUE(menu->NetworkRegion().contains(Dlu(168, 261)));
    // The six pictures stacked at x 3 to 81.
    EXPECT_TRUE(menu->MenuRegion(1).contains(Dlu(42, 43)));
    EXPECT_TRUE(menu->MenuRegion(6).contains(Dlu(42, 225)));
    EXPECT_FALSE(menu->MenuRegion(1).contains(Dlu(42, 61)));
}

TEST_F(MainViewTest, AnyFormOtherThanZeroGivesARectangle)
{
    for (const char* form : {"1", "2", "-1"}) {
        WriteFile(env_.Res("backenu.INI"), std::string("[Menu1]\nForm=") + form + "\n");
        CMainView::ResetFirstInitialUpdate();
        CZorqMenu menu(&frame_);
        menu.OnInitialUpdate();
        EXPECT_TRUE(menu.MenuRegion(1).contains(Dlu(4, 30))) << "Form " << form;  // corner
        EXPECT_FALSE(menu.MenuRegion(2).contains(Dlu(4, 66)));  // still an ellipse
    }
}

TEST_F(MainViewTest, NegativePositionHidesAnIndicatorButItsPlaceIsRepainted)
{
    CZorqMenu* menu = OpenMenu();
    menu->mmi_MNGT_voice_mail_icon(1);
    const QPoint icon = Dlu(286, 255) + QPoint(9, 15);  // the lit reel
    const QColor shown = PixelAt(menu, icon);
    WriteFile(env_.Res("backenu.INI"), "[Region7]\nDISP_ULX=-1\n");
    menu->mmi_MNGT_voice_mail_icon(1);
    const QColor hidden = PixelAt(menu, icon);
    EXPECT_NE(shown, hidden);
    // What shows then is the background picture itself.
    const QColor background = menu->Background()->Image().pixelColor(icon);
    EXPECT_LT(std::abs(hidden.red() - background.red()) + std::abs(hidden.blue() - background.blue()), 12);
}

TEST_F(MainViewTest, IndicatorChangesAreOnScreenWhenTheHandlerReturns)
{
    CZorqMenu* menu = OpenMenu();
    const QPoint at = Dlu(114, 255) + QPoint(26, 16);  // inside the tallest signal bar
    menu->mmi_MNGT_signal_quality(0);
    const QColor none = PixelAt(menu, at);
    menu->mmi_MNGT_signal_quality(4);
    const QColor full = PixelAt(menu, at);
    EXPECT_NE(none, full);
    EXPECT_LT(full.lightness(), none.lightness());  // navy bar over a pale one
}

// The status pictures are painted on every change of the phone's state, for
// as long as the program runs: painting them must not hold more memory.
TEST_F(MainViewTest, RepaintingTheStatusPicturesHoldsNoMoreMemory)
{
#ifdef ZORQ_SANITIZE
    GTEST_SKIP() << "the sanitizer's allocator keeps no heap statistics";
#else
    CZorqMenu* menu = OpenMenu();
    menu->mmi_MNGT_battery_charge(3);
    menu->mmi_MNGT_signal_quality(4);
    menu->mmi_MNGT_voice_mail_icon(1);
    menu->mmi_MNGT_message_icon(1);
    for (int i = 0; i < 20; ++i)
        menu->repaint();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 400; ++i)
        menu->repaint();
    const size_t after = mallinfo2().uordblks;
    // Four pictures of 32 x 32 at 4 bytes a dot would add 6 MB if each
    // paint kept its own copies.
    EXPECT_LT(after, before + (512u << 10)) << before << " -> " << after;
#endif
}

TEST_F(MainViewTest, MissingBackgroundShowsTheMessageAndAPlainScreen)
{
    std::remove(env_.Res("backenu.BMP").c_str());
    env_.app.LoadBackgroundPictures("enu");
    CZorqMenu* menu = OpenMenu();
    ASSERT_FALSE(env_.app.shown.empty());
    EXPECT_TRUE(env_.app.shown.back().text.contains(QStringLiteral("backenu.BMP")));
    EXPECT_FALSE(menu->HasBackground());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(PixelAt(menu, QPoint(300, 200)), QColor(0xE9, 0xEF, 0xF5));
}

TEST_F(MainViewTest, EveryDamagedBackgroundIsNamedAndTheScreenGoesOnPlain)
{
    const std::string path = env_.Res("backenu.BMP");
    const std::string good = zorqtest::ReadFile(path);
    ASSERT_GT(good.size(), 100u);
    const auto shapes = zorqtest::WriteDamagedShapes(env_.Res(""), "shape", ".bmp", good);
    for (const auto& d : shapes) {
        SCOPED_TRACE(d.shape);
        std::filesystem::remove_all(path);
        std::filesystem::rename(d.path, path);
        const std::string before = zorqtest::ReadFile(path);
        env_.app.shown.clear();
        UiForgetReportedFiles();  // each shape as in a run of its own
        env_.app.LoadBackgroundPictures("enu");
        CZorqMenu* menu = OpenMenu();
        ASSERT_FALSE(env_.app.shown.empty()) << "no message";
        EXPECT_TRUE(env_.app.shown.back().text.contains(QString::fromStdString(path)))
            << env_.app.shown.back().text.toStdString();
        EXPECT_FALSE(menu->HasBackground());
        EXPECT_TRUE(menu->isVisible());
        EXPECT_EQ(zorqtest::ReadFile(path), before);
    }
}

TEST_F(MainViewTest, MenuPictureOpensItsScreenOrLeavesTheMenu)
{
    CZorqMenu* menu = OpenMenu();
    const QString title = frame_.windowTitle();
    EXPECT_EQ(title, QStringLiteral("Pellard Tarvel Data"));
    EXPECT_EQ(frame_.centred, 1);

    // No messages screen linked: the menu stays, title and closing flag too.
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, Dlu(42, 79));
    EXPECT_EQ(frame_.GetActiveView(), menu);
    EXPECT_EQ(frame_.windowTitle(), title);
    EXPECT_EQ(menu->GetClosingFlag(), 1);

    int argument = -1;
    RegisterScreen(SCREEN_SHORTMSG, [&](QWidget* parent, int arg) -> CMainView* {
        argument = arg;
        return new FakeScreen(parent, VIEW_SHORTMSG);
    });
    // Shift held, or the right button with the left: nothing opens.
    QTest::mouseClick(menu, Qt::LeftButton, Qt::ShiftModifier, Dlu(42, 79));
    EXPECT_EQ(frame_.GetActiveView(), menu);

    menu->mmi_MNGT_battery_charge(3);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, Dlu(42, 79));
    CMainView* screen = frame_.GetActiveView();
    ASSERT_NE(screen, menu);
    EXPECT_EQ(screen->GetViewKind(), VIEW_SHORTMSG);
    EXPECT_EQ(argument, 0);
    EXPECT_EQ(frame_.windowTitle(), env_.app.LoadString(31205));
    EXPECT_FALSE(frame_.closeEnabled);
    EXPECT_EQ(screen->IndicatorIcon(1), 188);
    EXPECT_EQ(menu->GetClosingFlag(), 0);  // the menu went without stopping anything
    EXPECT_EQ(frame_.centred, 1);          // later screens keep the frame where it is

    // Back to the menu.
    QTest::mouseClick(screen->QuitButton(), Qt::LeftButton);
    CMainView* back = frame_.GetActiveView();
    ASSERT_NE(back, screen);
    EXPECT_EQ(back->GetViewKind(), VIEW_MENU);
    EXPECT_EQ(back->GetClosingFlag(), 1);
    EXPECT_TRUE(frame_.closeEnabled);
    EXPECT_EQ(back->IndicatorIcon(1), 188);
    EXPECT_EQ(frame_.windowTitle(), QStringLiteral("Pellard Tarvel Data"));
    delete back;
}

// A switch of screens asked for while a box of the screen is open (the
// tray's double click reaches the window whatever dialog runs): the box
// stays up and answers Enter, and the old screen goes once it has closed.
TEST_F(MainViewTest, AScreenLeftWhileItsBoxIsOpenGoesAfterTheBox)
{
    CMainView* screen = new FakeScreen(&frame_, VIEW_PHONEBOOK);
    frame_.OpenScreen(screen);
    QPointer<CMainView> old = screen;
    bool boxStayed = false;
    int answer = 0;
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Pellard Tarvel Data"), QStringLiteral("Delete it?"),
                        QMessageBox::Yes | QMessageBox::No, screen);
        box.setDefaultButton(QMessageBox::Yes);
        QTimer::singleShot(50, [&] {
            EXPECT_TRUE(screen->SwitchToScreen(SCREEN_MENU, 0, QStringLiteral("Pellard Tarvel Data")));
            QTimer::singleShot(300, [&] {
                boxStayed = box.isVisible();
                QTest::keyClick(&box, Qt::Key_Return);
            });
        });
        answer = box.exec();
        EXPECT_FALSE(old.isNull());  // the box is not gone yet
    }
    EXPECT_TRUE(boxStayed);
    EXPECT_EQ(answer, QMessageBox::Yes);
    ASSERT_NE(frame_.GetActiveView(), nullptr);
    EXPECT_EQ(frame_.GetActiveView()->GetViewKind(), VIEW_MENU);
    EXPECT_TRUE(QTest::qWaitFor([&] { return old.isNull(); }, 10000));
    delete frame_.GetActiveView();
}

// A screen whose own code asks a question owned by the main window, as the
// program's questions and notices are.
class AskingScreen : public FakeScreen {
public:
    using FakeScreen::FakeScreen;
    // Runs the question; `meanwhile` once it stands. Whether the screen was
    // still there when the question's run returned into this code, then
    // after the pause of the work that follows a Yes (`pauseMs`, the event
    // loop running meanwhile).
    std::pair<bool, bool> AskDelete(const std::function<void(QMessageBox&)>& meanwhile, int pauseMs)
    {
        QPointer<CMainView> self(this);
        int result = 0;
        {
            QMessageBox box(QMessageBox::Question, QStringLiteral("Pellard Tarvel Data"),
                            QStringLiteral("Delete it?"), QMessageBox::Yes | QMessageBox::No, window());
            box.setDefaultButton(QMessageBox::Yes);
            QTimer::singleShot(50, &box, [&] { meanwhile(box); });
            result = box.exec();
        }
        const bool afterBox = !self.isNull();
        if (afterBox)
            answer = result;
        PumpMessagesFor(pauseMs, false);
        return {afterBox, !self.isNull()};
    }
    int answer = 0;
};

// The same switch while the screen's own code runs a question owned by the
// frame: the screen is not deleted under that code, whose run goes on once
// the question is answered, nor while that code is still in the question's
// loop; it goes after.
TEST_F(MainViewTest, AScreenLeftWhileItsCodeRunsAFramesBoxGoesAfterThatCodeReturned)
{
    auto* screen = new AskingScreen(&frame_, VIEW_PHONEBOOK);
    frame_.OpenScreen(screen);
    QPointer<CMainView> old = screen;
    bool boxStayed = false, stoodInTheLoop = false;
    const auto [afterBox, afterPause] = screen->AskDelete(
        [&](QMessageBox& box) {
            EXPECT_EQ(box.parentWidget(), &frame_);
            EXPECT_TRUE(screen->SwitchToScreen(SCREEN_MENU, 0, QStringLiteral("Pellard Tarvel Data")));
            QTimer::singleShot(300, &box, [&] {
                boxStayed = box.isVisible();
                stoodInTheLoop = !old.isNull();
                QTest::keyClick(&box, Qt::Key_Return);
            });
        },
        300);
    EXPECT_TRUE(boxStayed);
    EXPECT_TRUE(stoodInTheLoop) << "deleted while its question stood";
    EXPECT_TRUE(afterBox) << "deleted before its question's run returned into its code";
    EXPECT_TRUE(afterPause) << "deleted inside the pause its code waited in after the question";
    ASSERT_FALSE(old.isNull());
    EXPECT_EQ(screen->answer, QMessageBox::Yes);
    ASSERT_NE(frame_.GetActiveView(), nullptr);
    EXPECT_EQ(frame_.GetActiveView()->GetViewKind(), VIEW_MENU);
    EXPECT_TRUE(QTest::qWaitFor([&] { return old.isNull(); }, 10000)) << "the screen left was never deleted";
    delete frame_.GetActiveView();
}

TEST_F(MainViewTest, HandOverTheStatusBarOnlyWhereItActs)
{
    CZorqMenu* menu = OpenMenu();
    ASSERT_TRUE(menu->HasHandCursor());
    const QPoint message = Dlu(211, 261);
    QTest::mouseMove(menu, message);
    EXPECT_EQ(menu->HoveredArea(), 0);  // nothing unread
    menu->mmi_MNGT_set_sms_full(0);
    menu->mmi_MNGT_set_unread_msg(1);
    QTest::mouseMove(menu, message + QPoint(1, 0));
    EXPECT_EQ(menu->HoveredArea(), 6);
    EXPECT_TRUE(menu->IsHandShown());
    QTest::mouseMove(menu, QPoint(300, 200));
    EXPECT_EQ(menu->HoveredArea(), 0);
    EXPECT_FALSE(menu->IsHandShown());
    QTest::mouseMove(menu, Dlu(42, 43));
    EXPECT_EQ(menu->HoveredArea(), 1);
    // The network text reacts only while the link is up.
    gv_SPIO_com_status = 1;
    menu->update();
    QTest::mouseMove(menu, Dlu(168, 261));
    EXPECT_EQ(menu->HoveredArea(), 0);
}

TEST_F(MainViewTest, ComboSortAndSourceSettings)
{
    CMainView view(9999);
    WriteIniProfileInt("PB", "ComboSort", 5);
    EXPECT_EQ(view.GetComboSort("PB", 3, 2), 2);
    WriteIniProfileInt("PB", "ComboSort", -1);
    EXPECT_EQ(view.GetComboSort("PB", 3, 2), 2);
    WriteIniProfileInt("PB", "ComboSort", 1);
    EXPECT_EQ(view.GetComboSort("PB", 3, 2), 1);
    view.SaveComboSort("PB", -1);
    EXPECT_EQ(GetIniProfileInt("PB", "ComboSort", 0), -1);
    EXPECT_EQ(view.GetSourceSetting("SMS"), 1);  // missing: the SIM
    WriteIniProfileInt("SMS", "Source", 7);
    EXPECT_EQ(view.GetSourceSetting("SMS"), 1);
}

TEST_F(MainViewTest, WalkThroughMenu)
{
    CZorqMenu* menu = OpenMenu();
    menu->mmi_MNGT_battery_charge(3);
    menu->mmi_MNGT_signal_quality(3);
    menu->mmi_MNGT_set_sms_full(0);
    menu->mmi_MNGT_message_icon(1);
    menu->mmi_MNGT_roaming_icon(0);
    const QString path = zorqtest::SaveScreen(&frame_, QStringLiteral("menu"));
    ASSERT_FALSE(path.isEmpty());
    const QImage image(path);
    EXPECT_EQ(image.size(), menu->size());

    // Each picture's label keeps clear of the picture's outline: going in
    // from the outline's right end, white comes before the label's letters.
    const QImage shot = menu->grab().toImage();
    auto dark = [&](int x, int y) { return qGray(shot.pixel(x, y)) < 110; };
    for (int picture = 1; picture <= 6; ++picture) {
        const QRect r = menu->MenuRegion(picture).boundingRect();
        int narrowest = r.width();
        for (int y = r.center().y() - 6; y <= r.center().y() + 6; ++y) {
            int x = std::min(r.right(), shot.width() - 1);
            while (x > r.center().x() && !dark(x, y))
                --x;  // to the outline
            while (x > r.center().x() && dark(x, y))
                --x;  // through it
            int gap = 0;
            while (x > r.center().x() && !dark(x, y)) {
                --x;
                ++gap;
            }
            if (x > r.center().x())  // a letter on this row
                narrowest = std::min(narrowest, gap);
        }
        EXPECT_GE(narrowest, 6) << "picture " << picture << ": its label touches the outline";
    }
}

}  // namespace
