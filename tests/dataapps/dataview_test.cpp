// The data-applications screen against the simulator: the list of two
// entries (rendered for the walk-through), Run only for one runnable entry,
// and a run that hands the port over and gets it back.
#include "engine_fixture.h"
#include "modal_driver.h"
#include "url_recorder.h"
#include "user_actions.h"

#include "dataview.h"
#include "dlgprogress.h"
#include "escape_key.h"
#include "handbutton.h"
#include "test_support.h"
#include "viewtest_support.h"
#include "walkthrough.h"
#include "wndmsg.h"
#include "zorqmmidoc.h"

#include <QLabel>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>

#ifdef ZORQ_HAVE_PHONESIM

namespace {

using namespace engine_test;
using zorqtest::DoubleClickRow;
using zorqtest::DragRowTo;
using zorqtest::RowPoint;

std::string Dfa(const std::string& name, const std::string& program)
{
    return "NAME=" + name + "\r\nFULLEXENAME=" + program +
           "\r\nCOMMANDLINE=\r\nDISPLAYHELP=0\r\nHELPCMD=\r\nTYPE=1\r\nAPPLITYPE=0\r\n"
           "MODEMFILESTATE=0\r\nMODEMFILENAME=\r\nMODEMCOPYPATH=\r\n";
}

// Hands the end of a launched program to the screen, as the main frame does.
class ForwardingFrame : public zorqtest::TestFrame {
protected:
    bool event(QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType() && static_cast<CWndMsgEvent*>(e)->message() == WM_MMI_APP_ENDED) {
            if (GetActiveView()) PostMessage(GetActiveView(), WM_MMI_APP_ENDED, 0, 0);
            return true;
        }
        return zorqtest::TestFrame::event(e);
    }
};

class DataScreen : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        env = std::make_unique<zorqtest::ViewTestEnv>();
        SetIniProfileFile(host.folder);
        document = std::make_unique<CZorqMMIDoc>();
        env->app.m_pMainWnd = &frame;
    }
    void TearDown() override
    {
        delete screen;
        env->app.m_pMainWnd = nullptr;
        document.reset();
        env.reset();
        EngineTest::TearDown();
    }
    CData* Open()
    {
        auto* s = new CData(&frame);
        screen = s;
        frame.OpenScreen(s);
        return s;
    }
    std::string Program(const std::string& name, const std::string& body)
    {
        const std::string path = env->dir.path() + "tools/" + name;
        std::filesystem::create_directories(env->dir.path() + "tools");
        zorqtest::WriteFile(path, "#!/bin/sh\n" + body);
        chmod(path.c_str(), 0755);
        return path;
    }
    // Lets the loop run until the launched data application has ended.
    void WaitForTheProgramsEnd()
    {
        for (int i = 0; i < 400 && document->IsDataAppRunning(); ++i) {
            QApplication::processEvents();
            QApplication::sendPostedEvents();
            usleep(20000);
        }
    }
    std::unique_ptr<zorqtest::ViewTestEnv> env;
    std::unique_ptr<CZorqMMIDoc> document;
    ForwardingFrame frame;
    QPointer<CMainView> screen;
};

TEST_F(DataScreen, ListsTwoEntriesAndRunsOne)
{
    Phone();
    const std::string device = GetIniProfileString("Ports", "COM1", "");
    const std::string record = env->dir.path() + "record";
    const std::string term = Program("term", "exec 3<>'" + device + "'\nprintf 'AT+CGMI\\r' >&3\n"
                                             "timeout 3 head -c 12 <&3 > '" + record + "'\n");
    Program("fax", "exit 0\n");
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "t.DFA", Dfa("Terminal", term));
    zorqtest::WriteFile(files + "f.DFA", Dfa("Fax", env->dir.path() + "tools/fax"));
    zorqtest::WriteFile(files + "x.DFA", Dfa("Gone", env->dir.path() + "tools/gone"));
    CData* s = Open();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    // The entry whose program is gone is listed too: it can be seen,
    // corrected or deleted.
    ASSERT_EQ(list->GetRowCount(), 3);
    EXPECT_EQ(list->GetRowText(0, 0), "Fax");
    EXPECT_EQ(list->GetRowText(1, 0), "Gone");
    EXPECT_EQ(list->GetRowText(2, 0), "Terminal");
    EXPECT_FALSE(zorqtest::SaveScreen(&frame, "data_applications").isEmpty());
    // The screen's name is said by the title and the list's heading; the
    // form repeats it nowhere else.
    const QString name = env->app.LoadString(31853);
    for (QLabel* label : s->findChildren<QLabel*>())
        EXPECT_FALSE(label->isVisibleTo(s) && label->text() == name) << label->objectName().toStdString();
    EXPECT_EQ(list->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), name);
    // What a user sees: the screen's own background (no message about a
    // missing picture), a picture on every button, the one column as wide as
    // the list, and the list clear of the status bar.
    EXPECT_TRUE(s->HasBackground());
    EXPECT_EQ(s->LoadBackground(), env->Res("databack.bmp"));
    EXPECT_TRUE(env->app.shown.empty());
    for (int id : {1029, 1136, 1137, 1138, 1139}) {
        auto* button = qobject_cast<QAbstractButton*>(s->GetDlgItem(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_TRUE(button->isVisible()) << id;
        EXPECT_FALSE(button->icon().isNull()) << id;
    }
    EXPECT_GE(list->columnWidth(0), list->viewport()->width() - 20);
    EXPECT_EQ(list->GetRowImage(0), 0);
    EXPECT_FALSE(list->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_LT(list->geometry().bottom(), s->RefreshButton()->geometry().top());

    list->SelectAll();
    s->GetPanel()->UpdateButtons();
    EXPECT_FALSE(s->GetPanel()->GetRunButton()->isEnabled());
    list->DeselectAll();
    list->SelectRow(2);
    s->GetPanel()->UpdateButtons();
    ASSERT_TRUE(s->GetPanel()->GetRunButton()->isEnabled());

    s->GetPanel()->GetRunButton()->click();
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_TRUE(document->IsDataAppRunning());
    EXPECT_TRUE(frame.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(s->GetPanel()->GetRunButton()->isEnabled());
    // The program talks to the phone itself, then ends: the window comes back.
    WaitForTheProgramsEnd();
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_NE(zorqtest::ReadFile(record).find("Quenvale"), std::string::npos);
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);  // the link is back
}

// Back from a data application, the main window is painted before the
// phone's detection puts up "Looking for the phone...": the detection holds
// the thread, and a window not painted by then shows as an empty frame.
TEST_F(DataScreen, TheWindowComesBackPaintedBeforeThePhoneIsLookedFor)
{
    Phone();
    Program("fax", "exit 0\n");
    zorqtest::WriteFile(env->app.GetFilesDir() + "f.DFA", Dfa("Fax", env->dir.path() + "tools/fax"));
    CData* s = Open();
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(list->GetRowCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(list, 0));
    QApplication::processEvents();
    // What happens to the window from the click on Run on, in order.
    struct Order : QObject {
        QWidget* frame = nullptr;
        QString looking;
        std::vector<std::string> events;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (!o->isWidgetType())
                return false;
            auto* w = static_cast<QWidget*>(o);
            if (e->type() == QEvent::Paint && w->window() == frame && !frame->isMinimized() &&
                (events.empty() || events.back() != "painted"))
                events.push_back("painted");
            if (e->type() == QEvent::WindowStateChange && w == frame)
                events.push_back(frame->isMinimized() ? "minimised" : "restored");
            if (e->type() == QEvent::Show && qobject_cast<CDlgProgress*>(w) && w->windowTitle() == looking) {
                events.push_back("looking");
                // The walk-through's picture of that moment: the main
                // window and the detection's window over it, taken at the
                // first turn of the loop the detection gives once its
                // window is up.
                QPointer<QWidget> dlg(w);
                QTimer::singleShot(0, w, [this, dlg] {
                    if (!dlg || !dlg->isVisible() || !shot.isEmpty())
                        return;
                    lookingStood = true;
                    frameMinimisedAtShot = frame->isMinimized();
                    shot = zorqtest::SaveScreenWithOverlays(frame, {dlg.data()}, QStringLiteral("data_back_looking_for_phone"));
                    cut = zorqtest::ClippedTexts(frame) + zorqtest::ClippedTexts(dlg) +
                          zorqtest::UnfinishedTextsIn(frame) + zorqtest::UnfinishedTextsIn(dlg);
                });
            }
            return false;
        }
        QString shot;
        QStringList cut;
        bool lookingStood = false;
        bool frameMinimisedAtShot = true;
    } order;
    order.frame = &frame;
    order.looking = env->app.LoadString(31746);
    QApplication::instance()->installEventFilter(&order);
    QPointer<QAbstractButton> run = s->GetPanel()->GetRunButton();
    ASSERT_TRUE(run->isEnabled());
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_TRUE(document->IsDataAppRunning());
    (void)QTest::qWaitFor([this] { return !document->IsDataAppRunning(); }, 10000);
    QApplication::instance()->removeEventFilter(&order);
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_FALSE(frame.isMinimized());
    // From the window's restore to the detection's window.
    std::vector<std::string> after;
    auto restored = std::find(order.events.begin(), order.events.end(), "restored");
    ASSERT_NE(restored, order.events.end()) << "the window came back";
    after.assign(restored, order.events.end());
    auto looking = std::find(after.begin(), after.end(), "looking");
    ASSERT_NE(looking, after.end()) << "the detection showed its window";
    EXPECT_NE(std::find(after.begin(), looking, "painted"), looking)
        << "the window painted before the phone was looked for";
    // The picture shows the restored window under "Looking for the phone...".
    EXPECT_TRUE(order.lookingStood) << "the detection's window was still up for its picture";
    EXPECT_FALSE(order.shot.isEmpty());
    EXPECT_FALSE(order.frameMinimisedAtShot);
    EXPECT_TRUE(order.cut.isEmpty()) << order.cut.join(QLatin1String("; ")).toStdString();
}

// The list as a user works it: a click on a row, the Delete key, rows
// dragged onto the panel's buttons.
class DataScreenByHand : public DataScreen {
protected:
    void ClickRow(CEntryListCtrl* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(list, row));
        QApplication::processEvents();
    }
    QStringList Rows(CEntryListCtrl* list) const
    {
        QStringList rows;
        for (int r = 0; r < list->GetRowCount(); ++r)
            rows << list->GetRowText(r, 0);
        return rows;
    }
    zorqtest::ModalDriver driver;
    using Driver = zorqtest::ModalDriver;
};

TEST_F(DataScreenByHand, AnEntryWithoutItsProgramIsListedWithRunOff)
{
    Phone();
    Program("fax", "exit 0\n");
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "f.DFA", Dfa("Fax", env->dir.path() + "tools/fax"));
    zorqtest::WriteFile(files + "x.DFA", Dfa("Gone", env->dir.path() + "tools/gone"));
    CData* s = Open();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(Rows(list), (QStringList{"Fax", "Gone"}));
    ClickRow(list, 1);
    EXPECT_EQ(list->GetSingleSelectedRow(), 1);
    EXPECT_FALSE(s->GetPanel()->GetRunButton()->isEnabled());
    EXPECT_TRUE(s->GetPanel()->GetModifyButton()->isEnabled());
    EXPECT_TRUE(s->GetPanel()->GetTrashButton()->isEnabled());
    EXPECT_FALSE(zorqtest::SaveScreen(&frame, "data_missing_program").isEmpty());
    // Dropped on the disabled Run button it runs nothing.
    DragRowTo(list, 1, s->GetPanel()->GetRunButton());
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_TRUE(env->app.shown.empty());
    ClickRow(list, 0);
    EXPECT_TRUE(s->GetPanel()->GetRunButton()->isEnabled());
}

TEST_F(DataScreenByHand, ADoubleClickRunsAnEntryOnlyWhenRunWould)
{
    Phone();
    const std::string record = env->dir.path() + "ran";
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "f.DFA", Dfa("Fax", Program("fax", "echo ran > '" + record + "'\n")));
    zorqtest::WriteFile(files + "x.DFA", Dfa("Gone", "/nonexistent/prog"));
    CData* s = Open();
    frame.show();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(Rows(list), (QStringList{"Fax", "Gone"}));
    // Every change of the main window's state, as the window system hears it.
    struct StateChanges : QObject {
        QStringList seen;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::WindowStateChange)
                seen << (static_cast<QWidget*>(o)->isMinimized() ? "minimised" : "normal");
            return false;
        }
    } changes;
    frame.installEventFilter(&changes);

    // The entry whose program is not there: Run is off, and a double click
    // does nothing either (no minimised window, no box, the link kept).
    DoubleClickRow(list, 1);
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    EXPECT_EQ(list->GetSingleSelectedRow(), 1);
    EXPECT_FALSE(s->GetPanel()->GetRunButton()->isEnabled());
    EXPECT_TRUE(changes.seen.isEmpty()) << changes.seen.join(", ").toStdString();
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_TRUE(env->app.shown.empty()) << env->app.shown.front().text.toStdString();
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);

    // The entry whose program is there runs on a double click, as on Run.
    DoubleClickRow(list, 0);
    EXPECT_TRUE(document->IsDataAppRunning());
    EXPECT_EQ(changes.seen.value(0), "minimised");
    WaitForTheProgramsEnd();
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_EQ(zorqtest::ReadFile(record), "ran\n");
    EXPECT_EQ(changes.seen, (QStringList{"minimised", "normal"}));  // one run
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_TRUE(env->app.shown.empty());
    frame.removeEventFilter(&changes);
}

TEST_F(DataScreenByHand, TheDeleteKeyAndDropsOnTheButtonsActOnTheRows)
{
    Phone();
    const std::string record = env->dir.path() + "ran";
    const std::string fax = Program("fax", "echo ran > '" + record + "'\n");
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "a.DFA", Dfa("Alpha", fax));
    zorqtest::WriteFile(files + "b.DFA", Dfa("Beta", Program("beta", "exit 0\n")));
    zorqtest::WriteFile(files + "c.DFA", Dfa("Gamma", Program("gamma", "exit 0\n")));
    CData* s = Open();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(Rows(list), (QStringList{"Alpha", "Beta", "Gamma"}));

    // Delete asks first: No keeps the entry, Yes removes it and its file.
    ClickRow(list, 2);
    QString asked;
    driver.Drive({[&](CDialog* d) {
        asked = d->GetDlgItemText(1083);
        Driver::Click(d, IDNO);
    }});
    QTest::keyClick(list, Qt::Key_Delete);
    QApplication::sendPostedEvents();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(asked.contains("Gamma")) << asked.toStdString();
    EXPECT_EQ(Rows(list), (QStringList{"Alpha", "Beta", "Gamma"}));
    ClickRow(list, 2);
    driver.Drive({[&](CDialog* d) { Driver::Click(d, IDYES); }});
    QTest::keyClick(list, Qt::Key_Delete);
    QApplication::sendPostedEvents();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(Rows(list), (QStringList{"Alpha", "Beta"}));
    EXPECT_FALSE(std::filesystem::exists(files + "c.DFA"));

    // Onto Modify: the entry's dialog, with the dragged entry.
    QString shown;
    driver.Drive({[&](CDialog* d) {
        shown = d->GetDlgItemText(1142);
        d->OnCancel();
    }});
    DragRowTo(list, 1, s->GetPanel()->GetModifyButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(shown, "Beta");

    // Onto Trash: asked, then gone.
    driver.Drive({[&](CDialog* d) { Driver::Click(d, IDYES); }});
    DragRowTo(list, 1, s->GetPanel()->GetTrashButton());
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(Rows(list), QStringList{"Alpha"});
    EXPECT_FALSE(std::filesystem::exists(files + "b.DFA"));

    // Onto Run: the program runs with the port handed over, then the link
    // comes back.
    DragRowTo(list, 0, s->GetPanel()->GetRunButton());
    EXPECT_TRUE(document->IsDataAppRunning());
    WaitForTheProgramsEnd();
    EXPECT_FALSE(document->IsDataAppRunning());
    EXPECT_EQ(zorqtest::ReadFile(record), "ran\n");
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_TRUE(env->app.shown.empty());
}

TEST_F(DataScreen, HelpAndAnEntrysModemFileOpenOnTheDesktop)
{
    Phone();
    zorqtest::UrlRecorder desktop;
    const std::string help = env->dir.path() + "ZORQenu.html";
    zorqtest::WriteFile(help, "<html></html>");
    env->app.SetHelpFile("enu");
    // The data applications' help, opened at the entry's topic.
    const std::string dataHelp = env->dir.path() + "FDenu.html";
    zorqtest::WriteFile(dataHelp, "<html></html>");
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "term.ini", "ATZ\r\n");
    // A modem program of type 0 that shows its help and has its modem file edited.
    zorqtest::WriteFile(files + "m.DFA",
                        "NAME=Modem\r\nFULLEXENAME=" + Program("modem", "exit 0\n") +
                            "\r\nCOMMANDLINE=\r\nDISPLAYHELP=1\r\nHELPCMD=-i dialling\r\nTYPE=0\r\nAPPLITYPE=0\r\n"
                            "MODEMFILESTATE=2\r\nMODEMFILENAME=term.ini\r\nMODEMCOPYPATH=\r\n");
    CData* s = Open();
    auto* helpButton = qobject_cast<QAbstractButton*>(s->GetDlgItem(1029));
    ASSERT_NE(helpButton, nullptr);
    helpButton->click();
    ASSERT_EQ(desktop.Files().size(), 1);
    EXPECT_TRUE(desktop.Files()[0].startsWith(QString::fromStdString(help))) << desktop.Files()[0].toStdString();

    desktop.opened.clear();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(list->GetRowCount(), 1);
    list->SelectRow(0);
    s->GetPanel()->UpdateButtons();
    s->GetPanel()->GetRunButton()->click();
    EXPECT_EQ(desktop.Files(),
              (QStringList{QString::fromStdString(files + "term.ini"), QString::fromStdString(dataHelp + "#dialling")}))
        << "the modem file in the editor, then the data applications' help at the entry's topic";
    WaitForTheProgramsEnd();
    EXPECT_FALSE(document->IsDataAppRunning());
}

// Escape in the dialog of a new entry and in the deletion question, pressed
// where the focus is: each goes as with Cancel, the list and the entry
// files stay as they were, no window stays behind.
TEST_F(DataScreen, EscapeInTheEntryAndDeleteDialogsEndsThemAsCancel)
{
    Phone();
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "f.DFA", Dfa("Fax", Program("fax", "exit 0\n")));
    CData* s = Open();
    CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
    ASSERT_EQ(list->GetRowCount(), 1);
    list->SelectRow(0);
    s->GetPanel()->UpdateButtons();
    for (QWidget* b : {static_cast<QWidget*>(s->GetPanel()->GetNewButton()), s->GetDlgItem(1138)}) {
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled());
        const auto before = zorqtest::ShownWindows();
        auto escape = zorqtest::EscapeNextModal();
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape)) << "no dialog came up";
        EXPECT_FALSE(escape->leftOpen) << escape->title.toStdString() << ": Escape left the window up";
        EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(list->GetRowCount(), 1);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(files + "f.DFA")));
    EXPECT_EQ(QDir(QString::fromStdString(files)).entryList({"*.DFA"}, QDir::Files).size(), 1);
}

// The help button with no program on the desktop to open the help (the
// test platform has none): the user is told, the message naming the help
// document, instead of nothing happening. A help document that is missing
// is named as well.
TEST_F(DataScreen, HelpTheDesktopCannotOpenIsToldNamingTheFile)
{
    Phone();
    const std::string help = env->dir.path() + "ZORQenu.html";
    zorqtest::WriteFile(help, "<html></html>");
    env->app.SetHelpFile("enu");
    CData* s = Open();
    QWidget* helpButton = s->GetDlgItem(1029);
    ASSERT_NE(helpButton, nullptr);
    env->app.shown.clear();
    QTest::mouseClick(helpButton, Qt::LeftButton);
    ASSERT_EQ(env->app.shown.size(), 1u) << "the failed help was not told";
    EXPECT_EQ(env->app.shown[0].text, env->app.FormatString(31900, {QString::fromStdString(help)}));

    QFile::remove(QString::fromStdString(help));
    env->app.shown.clear();
    QTest::mouseClick(helpButton, Qt::LeftButton);
    ASSERT_EQ(env->app.shown.size(), 1u);
    EXPECT_NE(env->app.shown[0].text.toStdString().find(help), std::string::npos)
        << env->app.shown[0].text.toStdString();
}

// The screen reads its entry files with the progress window up, and the
// bar moves on with each file read instead of jumping to the end.
TEST_F(DataScreen, TheLoadProgressMovesOnWithEachEntryFile)
{
    Phone();
    const std::string files = env->app.GetFilesDir();
    const std::string fax = Program("fax", "exit 0\n");
    for (const char* name : {"a", "b", "c", "d"})
        zorqtest::WriteFile(files + name + ".DFA", Dfa(std::string("Fax ") + name, fax));
    // The values the window's bar shows, from the moment it stands.
    QList<int> shown;
    struct BarWatch : QObject {
        QList<int>* values;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show)
                if (auto* dlg = qobject_cast<CDlgProgressText*>(o))
                    if (auto* bar = dlg->findChild<QProgressBar*>()) {
                        *values << bar->value();
                        connect(bar, &QProgressBar::valueChanged, dlg, [this](int v) { *values << v; });
                    }
            return false;
        }
    } watch;
    watch.values = &shown;
    qApp->installEventFilter(&watch);
    CData* s = Open();
    qApp->removeEventFilter(&watch);
    ASSERT_EQ(s->GetPanel()->GetListCtrl()->GetRowCount(), 4);
    ASSERT_FALSE(shown.isEmpty()) << "no progress window stood";
    EXPECT_EQ(shown.first(), 0);
    for (int files = 1; files <= 4; ++files)
        EXPECT_TRUE(shown.contains(files)) << "the bar skipped " << files << " files read: "
                                           << ::testing::PrintToString(shown);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << ::testing::PrintToString(shown);
}

// Only a modem program that shows its help has its modem file handled: a
// program of type 0 without the help shown, or with no help topic, leaves
// the modem file alone.
TEST_F(DataScreen, TheModemFileGoesOnlyWithTheHelp)
{
    Phone();
    zorqtest::UrlRecorder desktop;
    zorqtest::WriteFile(env->dir.path() + "FDenu.html", "<html></html>");
    const std::string files = env->app.GetFilesDir();
    zorqtest::WriteFile(files + "term.ini", "ATZ\r\n");
    const std::string modem = Program("modem", "exit 0\n");
    const auto entry = [&](const std::string& displayHelp, const std::string& helpCommand) {
        return "NAME=Modem\r\nFULLEXENAME=" + modem + "\r\nCOMMANDLINE=\r\nDISPLAYHELP=" + displayHelp +
               "\r\nHELPCMD=" + helpCommand + "\r\nTYPE=0\r\nAPPLITYPE=0\r\n"
               "MODEMFILESTATE=2\r\nMODEMFILENAME=term.ini\r\nMODEMCOPYPATH=\r\n";
    };
    const struct {
        const char* displayHelp;
        const char* helpCommand;
        bool handled;
    } cases[] = {{"0", "-i dialling", false}, {"1", "", false}, {"1", "-i dialling", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("DISPLAYHELP=") + c.displayHelp + " HELPCMD=" + c.helpCommand);
        zorqtest::WriteFile(files + "m.DFA", entry(c.displayHelp, c.helpCommand));
        CData* s = Open();
        CEntryListCtrl* list = s->GetPanel()->GetListCtrl();
        ASSERT_EQ(list->GetRowCount(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
        QAbstractButton* run = s->GetPanel()->GetRunButton();
        ASSERT_TRUE(run->isEnabled());
        desktop.opened.clear();
        QTest::mouseClick(run, Qt::LeftButton);
        EXPECT_EQ(desktop.Files().contains(QString::fromStdString(files + "term.ini")), c.handled)
            << desktop.Files().join(' ').toStdString();
        for (int i = 0; i < 400 && document->IsDataAppRunning(); ++i) {
            QApplication::processEvents();
            QApplication::sendPostedEvents();
            usleep(20000);
        }
        ASSERT_FALSE(document->IsDataAppRunning());
        delete screen;
    }
}

}  // namespace

#endif

