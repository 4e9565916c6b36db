// The program's own window against the phone simulator: the main frame with
// the picture menu and every screen the program links. Each menu picture
// opens its screen (or, for a screen that is not built, leaves the menu as it
// was), the back button returns to a new menu, the status goes along, and the
// message icon with an unread message asks for the received folder.
#include "engine_fixture.h"

#include "doc_fixture.h"
#include "dlgabout.h"
#include "dialog.h"
#include "dlgmessagebox.h"
#include "docwindows.h"
#include "handbutton.h"
#include "helpfile.h"
#include "mainframe.h"
#include "viewframe.h"
#include "walkthrough.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"
#include "trayicon.h"
#include "url_recorder.h"
#include "zorqprogram.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QWindow>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace zorqtest;

namespace {

// The program's application object with its message boxes recorded.
class ProgramApp : public CZorqMMIProgram {
public:
    std::vector<QString> shown;
    // Runs while a message box is up (before it is answered).
    std::function<void()> whileShown;

protected:
    int SystemMessageBox(QWidget*, const QString& text, const QString&, unsigned) override
    {
        shown.push_back(text);
        return IDOK;
    }
    int RunMessageDialog(CDlgMessageBox& dlg) override
    {
        shown.push_back(dlg.m_strText);
        if (auto f = std::move(whileShown)) {
            whileShown = nullptr;
            f();
        }
        return IDOK;
    }
    void MessageBeep() override {}
};

class ProgramWindow : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // The previous test's window shut the program down, which asks the
        // main loop to end; a main loop run ends that request, or every
        // modal loop of this test would return at once.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const std::string& d = host.folder;
        for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
            std::filesystem::create_directories(d + sub);
        for (const char* f : {"backenu.BMP", "backenu.INI", "pbback.bmp", "smsback.bmp", "melback.bmp",
                              "databack.bmp", "orgback.bmp", "hand.cur"})
            ASSERT_TRUE(CopyFile(BuiltProgramDir() + "/Res/" + f, d + "Res/" + f)) << f;
        for (const char* table : {"GSMToWin.cvt", "WinToGSM.cvt"}) {
            CopyFile(BuiltProgramDir() + "/Files/" + table, d + "Files/" + table);
            CopyFile(BuiltProgramDir() + "/Files/" + table, d + table);
        }
        CopyFile(BuiltBundle(), d + "ZORQenu.rcc");
        CopyFile(BuiltProgramDir() + "/ZORQenu.html", d + "ZORQenu.html");
        app.SetDataDirectories(d + "zorqmmi");
        app.SetHelpFile("enu");
        WriteIniProfileString("Pictures", "BmpName", "backenu");
        app.LoadResourceLibrary("enu");
        app.ReadSettings();
        app.ReadPictureSettings();
        ASSERT_TRUE(app.CreateDefaultDatabases());
        WriteVersionFile(d, "PB=1.0,SMS=1.0,ST1=1.0");
        app.RegisterVersionEditionNumber();
        mtr_init("Quenvale");
        gv_SPIO_com_status = SPIO_no_com_available;
        RegisterProgramScreens();

        zdoc = std::make_unique<CZorqMMIDoc>();
        zdoc->SetWindows(&windows);
        CMainView::ResetFirstInitialUpdate();
        frame = new CMainFrame();
        auto* menu = new CZorqMenu(frame);
        menu->OnInitialUpdate();
        frame->SetActiveView(menu);
        frame->EnableCloseCommands(true);
        frame->show();

        sim = &Sim(1, "");
        NoOtherPorts();
        ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
        ASSERT_TRUE(Until([&] { return Active()->Status().bat_charge == 3 && Active()->Status().signal_quality == 4; }));
    }
    void TearDown() override
    {
        delete frame;  // the screen goes with it
        zdoc->SetWindows(nullptr);
        zdoc.reset();
        for (int s = SCREEN_PHONEBOOK; s <= SCREEN_SETUP; ++s)
            UnregisterScreen(s);
        EngineTest::TearDown();
    }
    // Lets the engine and the window work (posted messages, deferred
    // deletions) until `done` or the time is up.
    template <typename F>
    bool Until(F done, int ms = 5000)
    {
        return IdleUntil([&] {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            return done();
        }, ms);
    }
    CMainView* Active() const { return frame->GetActiveView(); }
    // Clicks the menu's item named `action` as a user would, once the menu
    // is on screen.
    static void ClickMenuItem(QMenu* menu, const char* action)
    {
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
        auto* item = menu->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(item, nullptr) << action;
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(item).center());
    }
    // Runs `open`, which must bring up the About box; reads its title and
    // version line and closes it with its OK button.
    void ExpectAboutBox(const std::function<void()>& open, const char* shot = nullptr)
    {
        QString title, version;
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* about = qobject_cast<CDlgAbout*>(QApplication::activeModalWidget());
            if (!about || !about->isVisible() || seen)
                return;
            seen = true;
            title = about->windowTitle();
            version = about->GetDlgItemText(1008);
            if (shot)
                SaveScreen(about, QString::fromLatin1(shot));
            QTest::mouseClick(about->GetDlgItem(IDOK), Qt::LeftButton);
        });
        poll.start(20);
        open();
        EXPECT_TRUE(Until([&] { return seen && !QApplication::activeModalWidget(); }));
        EXPECT_EQ(title, QStringLiteral("About Pellard Tarvel Data"));
        EXPECT_TRUE(version.startsWith(QStringLiteral("Version "))) << version.toStdString();
    }
    QUrl HelpAt(const char* context) const
    {
        QUrl url = QUrl::fromLocalFile(QString::fromStdString(app.GetHelpFilePath()));
        url.setFragment(QString::fromLatin1(context));
        return url;
    }
    CZorqMenu* Menu() const { return qobject_cast<CZorqMenu*>(frame->GetActiveView()); }
    void Click(CMainView* view, QPoint at) { QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at); }

    ProgramApp app;
    CAppDocWindows windows;
    std::unique_ptr<CZorqMMIDoc> zdoc;
    CMainFrame* frame = nullptr;
};

TEST_F(ProgramWindow, EachMenuPictureOpensItsScreenAndBackReturnsToTheMenu)
{
    const QString product = QStringLiteral("Pellard Tarvel Data");
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(frame->windowTitle(), product);
    const struct {
        int picture;
        const char* className;
        int viewKind;
        const char* shot;
    } screens[] = {
        {1, "CPhoneBook", VIEW_PHONEBOOK, "window_phonebook"},
        {2, "CShortMsg", VIEW_SHORTMSG, "window_messages"},
        {3, "CMelodyView", VIEW_MELODY, "window_melodies"},
        {4, "CData", VIEW_DATA, "window_data_applications"},
        {5, "CSetUp_SecurCode", VIEW_SETUP, "window_security"},
    };
    // Whether the window's frame offers its close button.
    auto closeButton = [this] {
        const Qt::WindowFlags f = frame->windowHandle() ? frame->windowHandle()->flags() : frame->windowFlags();
        return !f.testFlag(Qt::CustomizeWindowHint) || f.testFlag(Qt::WindowCloseButtonHint);
    };
    for (const auto& s : screens) {
        SCOPED_TRACE(s.className);
        QPointer<CZorqMenu> menu = Menu();
        ASSERT_NE(menu, nullptr);
        Click(menu, menu->MenuRegion(s.picture).boundingRect().center());
        if (!IsScreenRegistered(s.picture)) {
            // Not built into the program yet: the menu stays as it was.
            Until([] { return false; }, 100);
            EXPECT_EQ(Active(), menu.data());
            EXPECT_EQ(frame->windowTitle(), product);
            EXPECT_EQ(menu->GetClosingFlag(), 1);
            EXPECT_TRUE(frame->CloseCommandsEnabled());
            continue;
        }
        ASSERT_TRUE(Until([&] { return menu.isNull(); })) << "the menu is deleted once replaced";
        CMainView* screen = Active();
        ASSERT_NE(screen, nullptr);
        EXPECT_TRUE(screen->inherits(s.className)) << screen->metaObject()->className();
        EXPECT_EQ(screen->GetViewKind(), s.viewKind);
        EXPECT_EQ(frame->windowTitle(), app.LoadString(CZorqMenu::TitleStringOf(s.picture)).replace("[APP_NAME]", product));
        EXPECT_FALSE(frame->CloseCommandsEnabled());
        EXPECT_FALSE(closeButton()) << "the close button is greyed off with the close commands";
        EXPECT_EQ(screen->GetClosingFlag(), 0);
        // The status bar goes along without a new indication.
        EXPECT_EQ(screen->Status().bat_charge, 3);
        EXPECT_EQ(screen->Status().signal_quality, 4);
        EXPECT_EQ(screen->IndicatorIcon(1), 188);
        EXPECT_TRUE(screen->HasBackground());
        SaveScreen(frame, QString::fromLatin1(s.shot));

        QPointer<CMainView> leaving = screen;
        QTest::mouseClick(screen->QuitButton(), Qt::LeftButton);
        ASSERT_TRUE(Until([&] { return leaving.isNull(); })) << "the screen is deleted once left";
        ASSERT_NE(Menu(), nullptr);
        EXPECT_EQ(frame->windowTitle(), product);
        EXPECT_TRUE(frame->CloseCommandsEnabled());
        EXPECT_TRUE(closeButton()) << "and back on the menu";
        EXPECT_EQ(Menu()->GetClosingFlag(), 1);
        EXPECT_EQ(Menu()->Status().bat_charge, 3);
    }
    EXPECT_TRUE(app.shown.empty()) << app.shown.front().toStdString();
}

TEST_F(ProgramWindow, EveryScreensMessageIconOpensTheReceivedMessages)
{
    for (int picture : {1, 3, 4, 5}) {  // phonebook, melodies, data, set-up
        SCOPED_TRACE(picture);
        if (!IsScreenRegistered(picture) || !IsScreenRegistered(SCREEN_SHORTMSG))
            continue;
        QPointer<CZorqMenu> menu = Menu();
        ASSERT_NE(menu, nullptr);
        Click(menu, menu->MenuRegion(picture).boundingRect().center());
        ASSERT_TRUE(Until([&] { return menu.isNull(); }));
        QPointer<CMainView> screen = Active();
        ASSERT_NE(screen, nullptr);
        const QPoint icon = screen->MessageRegion().boundingRect().center();

        // Nothing unread: the icon is only a picture.
        Click(screen, icon);
        Until([] { return false; }, 100);
        ASSERT_EQ(Active(), screen.data());

        ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello"), "ok");
        ASSERT_EQ(sim->command("indicator message 1"), "ok");
        ASSERT_TRUE(Until([&] { return screen->Status().unread_msg == 1 && screen->Status().sms_full == 0; }));
        Click(screen, icon);
        ASSERT_TRUE(Until([&] { return screen.isNull(); })) << "the screen gives way to the messages";
        ASSERT_NE(Active(), nullptr);
        EXPECT_EQ(Active()->GetViewKind(), VIEW_SHORTMSG);

        // Back to the menu for the next screen, with nothing unread.
        ASSERT_EQ(sim->command("indicator message 0"), "ok");
        QPointer<CMainView> messages = Active();
        QTest::mouseClick(messages->QuitButton(), Qt::LeftButton);
        ASSERT_TRUE(Until([&] { return messages.isNull() && Menu() && Menu()->Status().unread_msg == 0; }));
    }
}

TEST_F(ProgramWindow, TheHeaderPicturesMenuAndTheTrayMenuOpenTheAboutBox)
{
    // Left click on the menu screen: the window's commands, Close enabled.
    QPointer<CMainView> view = Active();
    ASSERT_NE(view->HeaderPicture(), nullptr);
    QTest::mouseClick(view->HeaderPicture(), Qt::LeftButton);
    QMenu* menu = view->WindowMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    QStringList items;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            items << a->text();
    EXPECT_EQ(items, (QStringList{QStringLiteral("Minimise"), QStringLiteral("Close"),
                                  QStringLiteral("About Pellard Tarvel Data...")}));
    EXPECT_TRUE(menu->findChild<QAction*>(QStringLiteral("close"))->isEnabled());
    SaveScreen(menu, QStringLiteral("window_menu"));
    ExpectAboutBox([&] { ClickMenuItem(menu, "about"); }, "about_from_window_menu");

    // Right click on another screen: the same menu, Close greyed.
    Click(Menu(), Menu()->MenuRegion(SCREEN_PHONEBOOK).boundingRect().center());
    ASSERT_TRUE(Until([&] { return view.isNull(); }));
    view = Active();
    QTest::mouseClick(view->HeaderPicture(), Qt::RightButton);
    menu = view->WindowMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    EXPECT_FALSE(menu->findChild<QAction*>(QStringLiteral("close"))->isEnabled());
    ExpectAboutBox([&] { ClickMenuItem(menu, "about"); });

    // The tray icon's menu.
    QMenu* tray = view->BatteryTray().ContextMenu();
    ASSERT_NE(tray, nullptr);
    tray->popup(frame->geometry().center());
    ExpectAboutBox([&] { ClickMenuItem(tray, "about"); });
    EXPECT_TRUE(app.shown.empty()) << app.shown.front().toStdString();
}

TEST_F(ProgramWindow, HelpPictureF1AndTheHelpButtonOpenTheHelpAtTheScreensSection)
{
    ASSERT_FALSE(app.GetHelpFilePath().empty());
    UrlRecorder desktop;
    QPointer<CZorqMenu> menu = Menu();
    Click(menu, menu->MenuRegion(6).boundingRect().center());
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened.back(), HelpAt("menu"));
    EXPECT_EQ(Active(), menu.data()) << "the help picture opens no screen";

    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame, Qt::Key_F1);
    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened.back(), HelpAt("menu"));

    // On the phonebook: its "?" button and F1 ask for the phonebook's section.
    Click(menu, menu->MenuRegion(SCREEN_PHONEBOOK).boundingRect().center());
    ASSERT_TRUE(Until([&] { return menu.isNull(); }));
    QWidget* help = Active()->GetDlgItem(1029);
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(help, Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 3);
    EXPECT_EQ(desktop.opened.back(), HelpAt("phonebook"));
    // (The phonebook's reading progress took the activation away.)
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(Active(), Qt::Key_F1);
    ASSERT_EQ(desktop.opened.size(), 4);
    EXPECT_EQ(desktop.opened.back(), HelpAt("phonebook"));
}

TEST_F(ProgramWindow, TheKeyboardReachesTheMenuPicturesThePhonebookFormAndTheFindDialog)
{
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QPointer<CZorqMenu> menu = Menu();
    // Tab reaches a picture; the arrows go round the six; a frame shows it.
    for (int i = 0; i < 12 && !menu->PictureKey(1)->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : frame, Qt::Key_Tab);
    ASSERT_TRUE(menu->PictureKey(1)->hasFocus());
    QTest::keyClick(menu->PictureKey(1), Qt::Key_Up);
    EXPECT_TRUE(menu->PictureKey(6)->hasFocus());
    QTest::keyClick(menu->PictureKey(6), Qt::Key_Down);
    QTest::keyClick(menu->PictureKey(1), Qt::Key_Right);
    ASSERT_TRUE(menu->PictureKey(2)->hasFocus());
    QTest::keyClick(menu->PictureKey(2), Qt::Key_Left);
    ASSERT_TRUE(menu->PictureKey(1)->hasFocus());
    const QImage framed = menu->PictureKey(1)->grab().toImage();
    bool accent = false;
    for (int x = 0; x < framed.width() && !accent; ++x)
        accent = framed.pixelColor(x, framed.height() / 2).red() > 200 &&
                 framed.pixelColor(x, framed.height() / 2).blue() < 100;
    EXPECT_TRUE(accent) << "the focused picture shows its frame";
    SaveScreen(frame, QStringLiteral("menu_keyboard_focus"));
    QTest::keyClick(menu->PictureKey(1), Qt::Key_Return);
    ASSERT_TRUE(Until([&] { return menu.isNull(); }));
    ASSERT_TRUE(Active()->inherits("CPhoneBook"));

    // The phonebook form on the PC: Enter in a field moves to the next one,
    // Tab leaves the address without typing into it.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QTest::mouseClick(Active()->GetDlgItem(1001), Qt::LeftButton);  // the PC phonebook
    QTest::mouseClick(Active()->GetDlgItem(1069), Qt::LeftButton);  // new entry
    auto* name = qobject_cast<QLineEdit*>(Active()->GetDlgItem(1012));
    auto* number = qobject_cast<QLineEdit*>(Active()->GetDlgItem(1013));
    auto* address = qobject_cast<QPlainTextEdit*>(Active()->GetDlgItem(1014));
    ASSERT_TRUE(name && number && address);
    ASSERT_TRUE(Until([&] { return name->isEnabled() && address->isEnabled(); }));
    name->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(name, QStringLiteral("Carol"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(number->hasFocus());
    QTest::keyClicks(number, QStringLiteral("0611"));
    QTest::keyClick(number, Qt::Key_Return);
    EXPECT_TRUE(address->hasFocus());
    QTest::keyClicks(address, QStringLiteral("1 Quay Road"));
    QTest::keyClick(address, Qt::Key_Tab);
    EXPECT_FALSE(address->hasFocus());
    EXPECT_EQ(address->toPlainText(), QStringLiteral("1 Quay Road"));
    QTest::mouseClick(Active()->GetDlgItem(1026), Qt::LeftButton);  // cancel the entry

    // The find dialog: Enter searches; nothing found keeps it open with the
    // bold line, a hit closes it.
    bool notFoundShown = false, centred = false;
    int steps = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* find = qobject_cast<CDialog*>(QApplication::activeModalWidget());
        if (!find || find->TemplateId() != 167 || !find->isVisible())
            return;
        auto* first = qobject_cast<QLineEdit*>(find->GetDlgItem(1032));
        if (steps == 0) {
            ++steps;
            centred = (find->frameGeometry().center() - frame->frameGeometry().center()).manhattanLength() < 8;
            first->setFocus();
            QTest::keyClicks(first, QStringLiteral("Nobody"));
            QTest::keyClick(first, Qt::Key_Return);
            auto* line = qobject_cast<QLabel*>(find->GetDlgItem(1079));
            notFoundShown = find->isVisible() && line && line->text() == app.LoadString(31218) &&
                            line->font().bold();
            SaveScreen(find, QStringLiteral("find_not_found"));
            first->clear();
            QTest::keyClicks(first, QStringLiteral("Ali"));
            QTest::keyClick(first, Qt::Key_Return);
            ++steps;
        }
    });
    poll.start(20);
    QTest::mouseClick(Active()->GetDlgItem(1001), Qt::LeftButton);
    QTest::mouseClick(Active()->GetDlgItem(1003), Qt::LeftButton);  // the SIM: Alice, Bob, Zoe
    ASSERT_TRUE(Until([&] { return Active()->GetDlgItem(1032)->isEnabled(); }));
    QTest::mouseClick(Active()->GetDlgItem(1032), Qt::LeftButton);
    poll.stop();
    EXPECT_EQ(steps, 2);
    EXPECT_TRUE(notFoundShown);
    EXPECT_TRUE(centred) << "the find dialog opens over the main window";
    EXPECT_FALSE(QApplication::activeModalWidget()) << "a hit closes the dialog";
}

TEST_F(ProgramWindow, MessageIconWithAnUnreadMessageAsksForTheReceivedFolder)
{
    WriteIniProfileInt("SMSMT", "Source", 2);
    // Nothing unread: the click opens nothing and asks for nothing.
    QPointer<CZorqMenu> menu = Menu();
    ASSERT_NE(menu, nullptr);
    const QPoint icon = menu->MessageRegion().boundingRect().center();
    Click(menu, icon);
    Until([] { return false; }, 100);
    EXPECT_EQ(Active(), menu.data());
    EXPECT_EQ(GetIniProfileInt("SMSMT", "Source", 0), 2);

    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello"), "ok");
    ASSERT_EQ(sim->command("indicator message 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().unread_msg == 1 && menu->Status().sms_full == 0; }));
    Click(menu, icon);
    // The document's way to the received folder: the message screen's
    // remembered source is reset and the screen opens on the received folder.
    EXPECT_EQ(GetIniProfileInt("SMSMT", "Source", 0), -1);
    if (IsScreenRegistered(SCREEN_SHORTMSG)) {
        ASSERT_TRUE(Until([&] { return menu.isNull(); }));
        ASSERT_NE(Active(), nullptr);
        EXPECT_EQ(Active()->GetViewKind(), VIEW_SHORTMSG);
        EXPECT_EQ(frame->windowTitle(), app.LoadString(CZorqMenu::TitleStringOf(SCREEN_SHORTMSG)));
    } else {
        Until([] { return false; }, 100);
        EXPECT_EQ(Active(), menu.data());
    }
}

// Entering a screen reads the phone once: the simulator counts the commands
// the program sent (the melody list; the message set-up that starts every
// entry of the message screen).
TEST_F(ProgramWindow, EnteringAScreenReadsThePhoneOnce)
{
    const struct {
        int picture;
        const char* read;
    } screens[] = {{SCREEN_MELODY, "~MMYR="}, {SCREEN_SHORTMSG, "+CMGF=?"}};
    WriteIniProfileInt("SMSMT", "Source", 1);  // the SIM's messages
    // A program edition that offers the phone's melodies.
    WriteVersionFile(host.folder, "PB=1.0,SMS=1.0,ST1=1.0,MDY=1.0");
    ASSERT_TRUE(app.RegisterVersionEditionNumber());
    ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
    ASSERT_TRUE(Until([&] { return zdoc->IsMelodyAvailable() != 0; }));
    for (const auto& s : screens) {
        SCOPED_TRACE(s.read);
        if (!IsScreenRegistered(s.picture))
            continue;
        for (int entry = 1; entry <= 2; ++entry) {
            QPointer<CZorqMenu> menu = Menu();
            ASSERT_NE(menu, nullptr);
            ASSERT_EQ(sim->command("count reset"), "ok");
            Click(menu, menu->MenuRegion(s.picture).boundingRect().center());
            ASSERT_TRUE(Until([&] { return menu.isNull(); }));
            // Long enough for a second read to have gone out.
            Until([] { return false; }, 1500);
            EXPECT_EQ(sim->command(std::string("count ") + s.read), "ok 1") << "entry " << entry;
            QPointer<CMainView> leaving = Active();
            QTest::mouseClick(leaving->QuitButton(), Qt::LeftButton);
            ASSERT_TRUE(Until([&] { return leaving.isNull(); }));
        }
    }
    EXPECT_TRUE(app.shown.empty()) << app.shown.front().toStdString();
}

TEST_F(ProgramWindow, TheTrayDoubleClickWaitsWhileTheNewMessageBoxIsUp)
{
    WriteIniProfileInt("SMSMT", "Source", 2);
    QPointer<CZorqMenu> menu = Menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(sim->command("indicator message 1"), "ok");
    ASSERT_TRUE(Until([&] { return menu->Status().unread_msg == 1 && menu->Status().sms_full == 0; }));
    // The message tray icon's double click, as the tray reports it.
    auto doubleClick = [&] { PostMessage(Active(), WM_MMI_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK); };
    bool boxWasUp = false;
    int sourceWhileUp = 0;
    app.whileShown = [&] {
        boxWasUp = true;
        doubleClick();
        Until([] { return false; }, 300);
        sourceWhileUp = GetIniProfileInt("SMSMT", "Source", 0);
    };
    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello"), "ok");
    ASSERT_TRUE(Until([&] { return boxWasUp; }));
    EXPECT_EQ(sourceWhileUp, 2) << "the double click opened the received folder under the box";
    EXPECT_EQ(Active(), menu.data());
    // Once the box is answered, the same double click opens the received folder.
    Until([] { return false; }, 100);
    doubleClick();
    ASSERT_TRUE(Until([] { return GetIniProfileInt("SMSMT", "Source", 0) == -1; }));
}

}  // namespace

