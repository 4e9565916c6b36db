#include "dlgabout.h"
#include "dlgtimedpopup.h"
#include "langbundle.h"
#include "launcher.h"
#include "splashwnd.h"
#include "trayicon.h"
#include "utilities.h"
#include "viewtest_support.h"
#include "walkthrough.h"
#include "wndmsg.h"
#include "zorqmenu.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;
using zorqtest::ViewTestEnv;
using zorqtest::WriteFile;

namespace {

// A main window that counts the launcher's messages.
class CountingWindow : public QWidget {
public:
    int ended = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType() &&
            static_cast<CWndMsgEvent*>(e)->message() == WM_MMI_APP_ENDED) {
            ++ended;
            return true;
        }
        return QWidget::event(e);
    }
};

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { env_.app.m_pMainWnd = &window_; }
    void TearDown() override { env_.app.m_pMainWnd = nullptr; }

    ViewTestEnv env_;
    CountingWindow window_;
};

TEST_F(LauncherTest, ProgramGetsExactlyItsArgumentsAndItsEndIsPostedOnce)
{
    const std::string out = env_.dir.path() + "Work/args.txt";
    const QStringList args = {QStringLiteral("-c"),
                              QStringLiteral("pwd -P > '%1'; printf '[%s]\\n' \"$@\" >> '%1'").arg(QString::fromStdString(out)),
                              QStringLiteral("sh"), QStringLiteral("two words"),
                              QStringLiteral("\"quoted\""), QStringLiteral("it's; $HOME")};
    ASSERT_TRUE(RunProgramAndNotify(QStringLiteral("/bin/sh"), args, true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_.ended > 0; }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(window_.ended, 1);
    const std::string folder = QDir(QStringLiteral("/bin")).canonicalPath().toStdString();
    EXPECT_EQ(ReadFile(out), folder + "\n[two words]\n[\"quoted\"]\n[it's; $HOME]\n");
}

TEST_F(LauncherTest, WithoutTheWaitFlagNothingIsPosted)
{
    const std::string out = env_.dir.path() + "Work/done.txt";
    ASSERT_TRUE(RunProgramAndNotify(QStringLiteral("/bin/sh"),
                                    {QStringLiteral("-c"), QStringLiteral("echo x > '%1'").arg(QString::fromStdString(out))},
                                    false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ReadFile(out).empty(); }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(window_.ended, 0);
}

TEST_F(LauncherTest, TwoProgramsPostTwoMessagesAndAMissingOneNone)
{
    ASSERT_TRUE(RunProgramAndNotify(QStringLiteral("\"/bin/true\""), {}, true));
    ASSERT_TRUE(RunProgramAndNotify(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 0.2")}, true));
    EXPECT_FALSE(RunProgramAndNotify(QStringLiteral("/no/such/program"), {}, true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_.ended >= 2; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(window_.ended, 2);
}

TEST(AboutTest, VersionAndEditionLinesAndWalkThrough)
{
    ViewTestEnv env;
    zorqtest::CopyFile(zorqtest::BuiltProgramDir() + "/$ZQ.VRS", env.dir.path() + "$ZQ.VRS");
    ASSERT_TRUE(env.app.RegisterVersionEditionNumber());
    CDlgAbout dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.m_strProductName, QStringLiteral("Pellard Tarvel Data"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About Pellard Tarvel Data"));
    EXPECT_EQ(dlg.GetDlgItemText(1135), QStringLiteral("Pellard Tarvel Data"));
    EXPECT_EQ(dlg.GetDlgItemText(1008), QStringLiteral("Version 1.0"));
    EXPECT_EQ(dlg.GetDlgItemText(1007), QStringLiteral("Edition Standard"));
    EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("about")).isEmpty());
}

TEST(AboutTest, AnEmptyEditionLeavesItsLineEmpty)
{
    ViewTestEnv env;
    // The version file of a program folder without an edition.
    const std::string vrs = std::string("\x03") + "2.5" + std::string("\x00", 1) + std::string("\x03") + "x=1";
    WriteFile(env.dir.path() + "$ZQ.VRS", vrs);
    ASSERT_TRUE(env.app.RegisterVersionEditionNumber());
    ASSERT_EQ(env.app.GetEditionNumber(), "");
    CDlgAbout dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.GetDlgItemText(1008), QStringLiteral("Version 2.5"));
    EXPECT_TRUE(dlg.GetDlgItemText(1007).isEmpty());
}

TEST(TrayIconTest, TipIsCutAndModifyAddsWhenNothingIsShown)
{
    ViewTestEnv env;
    CTrayIcon tray;
    EXPECT_FALSE(tray.Remove());  // nothing shown yet
    EXPECT_TRUE(tray.Modify(243, 31313, WM_MMI_TRAY_NOTIFY));
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_EQ(tray.IconResId(), 243);
    EXPECT_TRUE(tray.Remove());
    EXPECT_TRUE(tray.IsRemoved());
    // A tip longer than 63 characters (string 31457 is) keeps its first 63.
    ASSERT_GT(env.app.LoadString(31457).size(), 63);
    tray.Add(243, 31457, 0);
    EXPECT_EQ(tray.Tip(), env.app.LoadString(31457).left(63));
}

TEST(TimedPopupTest, WidthFollowsTheTextAndItClosesItself)
{
    ViewTestEnv env;
    CDlgTimedPopup popup;
    popup.m_strText = QStringLiteral("Tarvel Net");
    popup.SetPosition(40, 50);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(popup.DoModal(), IDOK);
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_EQ(popup.width(), 10 * QFontMetrics(popup.font()).horizontalAdvance(QLatin1Char('W')));
    EXPECT_EQ(popup.GetDlgItemText(1132), QStringLiteral("Tarvel Net"));
}

// The splash as the start shows it, the main window hidden behind it.
void ShowTheSplash(ViewTestEnv& env, QWidget& main)
{
    env.app.m_pMainWnd = &main;
    CSplashWnd::EnableSplash(true);
    CSplashWnd::ShowSplash(nullptr);
}

TEST(SplashTest, FilePictureOrTheBuiltInOneAndAKeyClosesIt)
{
    ViewTestEnv env;
    QWidget main;
    ShowTheSplash(env, main);
    ASSERT_NE(CSplashWnd::Current(), nullptr);
    EXPECT_TRUE(CSplashWnd::Current()->UsesFilePicture());
    EXPECT_EQ(CSplashWnd::Current()->size(), QSize(472, 283));
    zorqtest::SaveScreen(CSplashWnd::Current(), QStringLiteral("splash"));
    // The picture's panel closes with its accent line, not with an empty
    // band under it.
    const QImage shot = CSplashWnd::Current()->grab().toImage();
    int accent = -1;
    for (int y = 0; y < shot.height(); ++y) {
        int orange = 0;
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            orange += c.red() > 190 && c.green() > 90 && c.green() < 160 && c.blue() < 90;
        }
        if (orange > shot.width() * 8 / 10)
            accent = y;
    }
    ASSERT_GE(accent, 0) << "the accent line";
    EXPECT_LE(shot.height() - 1 - accent, 16) << "rows under the accent line";
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_TRUE(CSplashWnd::FilterSplashInput(&key));
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(CSplashWnd::FilterSplashInput(&key));  // no splash: the key goes on

    // A true-colour picture has no palette: the built-in picture shows.
    QImage(100, 50, QImage::Format_RGB888).save(QString::fromStdString(env.Res("SPLASH.BMP")), "BMP");
    CSplashWnd::ShowSplash(nullptr);
    ASSERT_NE(CSplashWnd::Current(), nullptr);
    EXPECT_FALSE(CSplashWnd::Current()->UsesFilePicture());
    EXPECT_EQ(CSplashWnd::Current()->size(), QSize(472, 283));
    CSplashWnd::HideSplash();
    CSplashWnd::EnableSplash(false);
    env.app.m_pMainWnd = nullptr;
    QApplication::processEvents();
}

// A box shown over the splash while the splash is taken away (the start-up
// going on under the box): the box stays up and answers Enter, and the
// splash goes once the box has closed.
TEST(SplashTest, ABoxOverTheSplashOutlivesTheSplash)
{
    ViewTestEnv env;
    QWidget main;
    ShowTheSplash(env, main);
    QPointer<CSplashWnd> splash = CSplashWnd::Current();
    ASSERT_NE(splash, nullptr);
    bool boxStayed = false, splashWaited = false;
    int answer = 0;
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Pellard Tarvel Data"), QStringLiteral("Over the splash"),
                        QMessageBox::Ok, splash);
        QTimer::singleShot(50, [&] {
            CSplashWnd::HideSplash();
            // A while of the box's own loop after the splash was hidden.
            QTimer::singleShot(300, [&] {
                boxStayed = box.isVisible();
                splashWaited = !splash.isNull() && !splash->isVisible();
                QTest::keyClick(&box, Qt::Key_Return);
            });
        });
        answer = box.exec();
    }
    EXPECT_TRUE(boxStayed);
    EXPECT_TRUE(splashWaited);
    EXPECT_EQ(answer, QMessageBox::Ok);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 10000));
    CSplashWnd::EnableSplash(false);
    env.app.m_pMainWnd = nullptr;
}

// The language change swaps the strings and the background picture; a
// bundle that does not load keeps both.
TEST(LanguageChangeTest, SecondBundleSwapsStringsAndPicture)
{
    ViewTestEnv env;
    zorqtest::CopyFile(env.Res("smsback.bmp"), env.Res("backdeu.BMP"));
    // The German test bundle holds a few strings of its own.
    ASSERT_TRUE(zorqtest::CopyFile(ZORQ_TEST_BUNDLE_DEU, env.dir.path() + "ZORQdeu.rcc"));
    EXPECT_EQ(env.app.LoadString(31205), QStringLiteral("Messages"));
    WriteIniProfileString("Pictures", "BmpName", "");
    env.app.LoadBackgroundPictures("enu");
    EXPECT_EQ(env.app.GetBmpName(), "backenu.BMP");
    CLanguageBundle* before = env.app.GetResources();
    SetLanguageSetting("deu");
    ASSERT_TRUE(env.app.ChangeLanguage("deu"));
    EXPECT_EQ(env.app.GetLanguage(), "deu");
    EXPECT_NE(env.app.GetResources(), before);
    EXPECT_EQ(env.app.GetBmpName(), "backdeu.BMP");
    EXPECT_EQ(env.app.LoadString(31205), QStringLiteral("Nachrichten"));

    CZorqMenu menu;
    menu.OnInitialUpdate();
    ASSERT_TRUE(menu.HasBackground());
    QFile file(QString::fromStdString(env.Res("smsback.bmp")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    CDib sms;
    ASSERT_TRUE(sms.ReadFile(file));
    EXPECT_EQ(menu.Background()->Image(), sms.Image());

    // French: no bundle at all (not even a fallback that differs): kept.
    WriteFile(env.dir.path() + "ZORQfra.rcc", "not a bundle");
    std::remove((env.dir.path() + "ZORQenu.rcc").c_str());
    SetLanguageSetting("fra");
    CLanguageBundle* german = env.app.GetResources();
    EXPECT_FALSE(env.app.ChangeLanguage("fra"));
    EXPECT_EQ(env.app.GetLanguage(), "deu");
    EXPECT_EQ(env.app.GetResources(), german);
    EXPECT_EQ(env.app.GetBmpName(), "backdeu.BMP");
    EXPECT_EQ(env.app.LoadString(31205), QStringLiteral("Nachrichten"));
}

TEST(LanguageChangeTest, PictureChoiceFromTheProfile)
{
    ViewTestEnv env;
    WriteIniProfileString("Pictures", "BmpName", "");
    env.app.LoadBackgroundPictures("fra");  // no backfra.BMP: the English one
    EXPECT_EQ(env.app.GetBmpName(), "backenu.BMP");
    WriteIniProfileString("Pictures", "BmpName", "Blue");
    env.app.LoadBackgroundPictures("enu");
    EXPECT_EQ(env.app.GetBmpName(), "backenu.BMP");  // Blue.BMP does not exist
    zorqtest::CopyFile(env.Res("melback.bmp"), env.Res("Blue.BMP"));
    env.app.LoadBackgroundPictures("enu");
    EXPECT_EQ(env.app.GetBmpName(), "Blue.BMP");
}

}  // namespace
