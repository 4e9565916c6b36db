// The picture menu against the phone simulator: the document's indicator
// messages reach the menu through a frame that re-posts them, the status
// bar follows the phone, the operator-name popup asks the phone, and the
// message icon leads to the received folder.
#include "doc_fixture.h"
#include "engine_fixture.h"
#include "viewtest_support.h"
#include "walkthrough.h"

#include "dlgtimedpopup.h"
#include "trayicon.h"
#include "zorqmenu.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using namespace zorqtest;

namespace {

// The main window: re-posts the program's messages to the active screen.
class ReposingFrame : public TestFrame {
protected:
    bool event(QEvent* e) override
    {
        if (e->type() != CWndMsgEvent::EventType())
            return TestFrame::event(e);
        auto* m = static_cast<CWndMsgEvent*>(e);
        if (GetActiveView())
            PostMessage(GetActiveView(), m->message(), m->wParam(), m->lParam());
        return true;
    }
};

class Windows : public CDocWindows {
public:
    int showSMSMT = 0;
    void ShowSMSMT() override { ++showSMSMT; }
};

class MenuSimTest : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const std::string& d = host.folder;
        for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
            std::filesystem::create_directories(d + sub);
        for (const char* f : {"backenu.BMP", "backenu.INI", "hand.cur"})
            CopyFile(BuiltProgramDir() + "/Res/" + f, d + "Res/" + f);
        app.SetDataDirectories(d + "zorqmmi");
        CopyFile(BuiltBundle(), d + "ZORQenu.rcc");
        WriteIniProfileString("Pictures", "BmpName", "backenu");
        app.LoadResourceLibrary("enu");
        app.ReadPictureSettings();
        WriteVersionFile(d, "PB=1.0,SMS=1.0,ST1=1.0");
        app.RegisterVersionEditionNumber();
        for (const char* table : {"GSMToWin.cvt", "WinToGSM.cvt"})
            CopyFile(BuiltProgramDir() + "/Files/" + table, d + table);
        mtr_init("Quenvale");
        gv_SPIO_com_status = SPIO_no_com_available;
        zdoc = std::make_unique<CZorqMMIDoc>();
        zdoc->SetWindows(&windows);
        app.m_pMainWnd = &frame;
        CMainView::ResetFirstInitialUpdate();
        menu = new CZorqMenu(&frame);
        menu->OnInitialUpdate();
        frame.SetActiveView(menu);
        frame.show();
    }
    void TearDown() override
    {
        delete menu;
        zdoc.reset();
        app.m_pMainWnd = nullptr;
        EngineTest::TearDown();
    }
    bool Detect()
    {
        sim = &Sim(1, "");
        NoOtherPorts();
        return zdoc->mmi_NewMobileDetect(true);
    }
    template <typename F>
    bool Until(F done, int ms = 5000)
    {
        return IdleUntil([&] {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents();
            return done();
        }, ms);
    }
    QColor Pixel(QPoint p) { return menu->grab().toImage().pixelColor(p); }
    static QPoint Dlu(int x, int y) { return QPoint(x * 6 / 4, y * 13 / 8); }

    DocApp app;
    ReposingFrame frame;
    Windows windows;
    std::unique_ptr<CZorqMMIDoc> zdoc;
    CZorqMenu* menu = nullptr;
};

TEST_F(MenuSimTest, StatusBarFollowsThePhone)
{
    ASSERT_TRUE(Detect());
    // The simulator's state: battery 3, signal 4, home network.
    ASSERT_TRUE(Until([&] { return menu->Status().bat_charge == 3 && menu->Status().signal_quality == 4; }));
    EXPECT_EQ(menu->IndicatorIcon(1), 188);
    EXPECT_EQ(menu->IndicatorIcon(2), 182);
    EXPECT_EQ(menu->Status().roaming_icon, 0);
    SaveScreen(&frame, QStringLiteral("menu_linked"));

    const QPoint battery = Dlu(72, 255) + QPoint(20, 15);  // the third bar
    const QColor full = Pixel(battery);
    ASSERT_EQ(sim->command("indicator battchg 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().bat_charge == 1; }));
    EXPECT_EQ(menu->IndicatorIcon(1), 183);
    EXPECT_NE(Pixel(battery), full);
    EXPECT_EQ(menu->BatteryTray().IconResId(), 183);

    ASSERT_EQ(sim->command("indicator signal 2"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().signal_quality == 2; }));
    EXPECT_EQ(menu->IndicatorIcon(2), 194);

    // Roaming: the roaming text turns from grey to the text colour.
    const QRect roam(Dlu(330, 260), QSize(40, 14));
    auto darkest = [&] {
        const QImage image = menu->grab(roam).toImage();
        int least = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                least = std::min(least, image.pixelColor(x, y).lightness());
        return least;
    };
    EXPECT_GT(darkest(), 150);
    // Roaming: the registration abroad alone lights the roaming text, and
    // the registration at home greys it again.
    ASSERT_EQ(sim->command("creg 5"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().roaming_icon == 1; }));
    EXPECT_LT(darkest(), 100);
    ASSERT_EQ(sim->command("creg 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().roaming_icon == 0; }));
    EXPECT_GT(darkest(), 150);
    ASSERT_EQ(sim->command("creg 5"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().roaming_icon == 1; }));

    // A received message: the phone stores it and raises its message
    // indicator; the icon lights and the message waits unread.
    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello there"), "ok");
    ASSERT_EQ(sim->command("indicator message 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().unread_msg == 1 && menu->Status().sms_icon == 1; }))
        << "unread " << menu->Status().unread_msg << " icon " << menu->Status().sms_icon
        << " full " << menu->Status().sms_full;
    EXPECT_EQ(menu->IndicatorIcon(4), 243);
    SaveScreen(&frame, QStringLiteral("menu_message"));
}

TEST_F(MenuSimTest, MessageIconLeadsToTheReceivedFolderOnlyWithUnreadMessages)
{
    ASSERT_TRUE(Detect());
    const QPoint icon = Dlu(211, 261);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, icon);
    EXPECT_EQ(windows.showSMSMT, 0);
    EXPECT_EQ(menu->GetClosingFlag(), 1);
    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello"), "ok");
    ASSERT_EQ(sim->command("indicator message 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().unread_msg == 1 && menu->Status().sms_full == 0; }));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, icon);
    EXPECT_EQ(windows.showSMSMT, 1);
}

TEST_F(MenuSimTest, OperatorNamePopupShowsThePhonesOperator)
{
    ASSERT_TRUE(Detect());
    ASSERT_EQ(sim->command("operator \"Quay Mobile\" Quay 20899"), "ok");
    WriteIniProfileInt("Configuration", "SerialPort", 1);
    QString shown;
    QTimer::singleShot(300, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* popup = qobject_cast<CDlgTimedPopup*>(w); popup && popup->isVisible())
                shown = popup->GetDlgItemText(1132);
    });
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, Dlu(168, 261));
    EXPECT_EQ(shown, QStringLiteral("Quay Mobile"));

    // With no port chosen the click asks nothing.
    WriteIniProfileInt("Configuration", "SerialPort", 0);
    shown.clear();
    QTimer::singleShot(300, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CDlgTimedPopup*>(w) && w->isVisible())
                shown = QStringLiteral("popup");
    });
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, Dlu(168, 261));
    QTest::qWait(400);
    EXPECT_TRUE(shown.isEmpty());
}

}  // namespace
