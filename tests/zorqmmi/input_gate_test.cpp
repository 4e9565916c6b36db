// The input gate in the running program, against the phone simulator: a
// window that a progress window greys takes nothing of what is given to it
// while it is greyed, in the pauses of the operation too, so nothing of it
// acts once the operation is over; the clicks are a person's, on the real
// controls.
#include "program_support.h"

#include "confirm.h"
#include "dlgmsgtext.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "mainframe.h"
#include "melodyview.h"
#include "pbdatabase.h"
#include "phonebook.h"
#include "qxpbsrcnewlist.h"
#include "shortmsg.h"
#include "strutil.h"
#include "uiwidgets.h"
#include "user_actions.h"
#include "utilities.h"
#include "zorqapp.h"
#include "trayicon.h"
#include "wndmsg.h"
#include "zorqmenu.h"

#include "at_defs.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "phonesim_client.h"

#include <QAbstractButton>
#include <QApplication>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using zorqtest::MakePCPhonebook;
using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

CMainFrame* Frame() { return App() ? App()->GetMainFrame() : nullptr; }

template <class T>
T* Screen()
{
    CMainFrame* f = Frame();
    return f ? qobject_cast<T*>(f->GetActiveView()) : nullptr;
}

// The progress window titled with string `title` while it stands.
CDlgProgress* Standing(int title)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<CDlgProgress*>(w); p && p->isVisible() && p->windowTitle() == App()->LoadString(title))
            return p;
    return nullptr;
}

constexpr int kDeletingString = 31334;

// The row of `list` that shows `name` (in either of its first two columns).
int RowOf(CEntryListCtrl* list, const QString& name)
{
    for (int r = 0; r < list->GetRowCount(); ++r)
        if (list->GetRowText(r, 0) == name || list->GetRowText(r, 1) == name)
            return r;
    return -1;
}

// The names of the rows a list selects from now on, each time rows are
// added to its selection.
class SelectionWatch {
public:
    explicit SelectionWatch(CEntryListCtrl* list) : list_(list)
    {
        QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, list,
                         [this](const QItemSelection& added, const QItemSelection&) {
                             for (const QModelIndex& i : added.indexes())
                                 if (list_ && i.column() == 0)
                                     selected.insert(list_->GetRowText(i.row(), 0) + "|" +
                                                     list_->GetRowText(i.row(), 1));
                         });
    }
    std::set<QString> selected;

private:
    QPointer<CEntryListCtrl> list_;
};

class InputGateTest : public zorqtest::ProgramRunTest {
protected:
    // Phonebook, 15 of 40 entries selected on the PC or the SIM, Delete,
    // Yes to all, and two clicks into the run (below).
    void ClickIntoAPhonebookDeletionRun(bool sim);
    // The names the SIM's entries have.
    static QString SimName(int i) { return QStringLiteral("Person%1").arg(i, 3, 10, QLatin1Char('0')); }
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        gv_bCallMtrPoll = 1;
    }
    void TearDown() override
    {
        ProgramRunTest::TearDown();
        gv_bCallMtrPoll = 1;
    }
    // Once the program is linked and its background reading is over: menu
    // picture `picture` is clicked, and `then` runs once `ready` holds.
    static void OpenScreenThen(int picture, std::function<bool()> ready, std::function<void()> then)
    {
        WhenStarted([] { return Linked() && !App()->IdleWorkPending() && !CZorqMMIApp::RequestWaiting(); },
                    [picture, ready, then] {
                        CZorqMenu* menu = Screen<CZorqMenu>();
                        if (!menu) {
                            End();
                            return;
                        }
                        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                          menu->MenuRegion(picture).boundingRect().center());
                        WhenTrue([ready] { return ready() && !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running; },
                                 then, 30000, End);
                    });
    }
};

// Phonebook, PC, 15 entries selected, Delete, Yes to all. While "Deleting"
// stands, in the moment after an entry was deleted, the user clicks the
// greyed new-entry button and the greyed row "Person 025". Neither click
// takes anything: once the run is over no new-entry form is open and no
// row was selected (given afterwards, the first opened the form and the
// second chose the row that had moved under the pointer meanwhile).
// The same on the SIM, where each deletion is a request to the phone.
void InputGateTest::ClickIntoAPhonebookDeletionRun(bool sim)
{
    std::string script;
    if (sim) {
        script = "clear-phonebook SM\nphonebook SM 250 20 14\n";
        for (int i = 1; i <= 40; ++i)
            script += "entry SM " + std::to_string(i) + " 06000000" + std::to_string(10 + i) + " 129 " +
                      SimName(i).toStdString() + "\n";
    }
    phonesim::Process phone(script);
    ProgramFolder folder(phone.device());
    if (!sim)
        MakePCPhonebook(folder, 40);
    const QString target = sim ? SimName(25) : QStringLiteral("Person 025");
    bool clickedRow = false, clickedNew = false, rowGreyed = false, newGreyed = false, pausedAtClicks = true;
    bool runOver = false, addMode = true;
    int rowsAfter = -1;
    std::unique_ptr<SelectionWatch> watch;
    OpenScreenThen(1, [] { return Screen<CPhoneBook>() != nullptr; }, [&] {
        CPhoneBook* book = Screen<CPhoneBook>();
        CQXPBSrcNewList* pane = book->Pane();
        // The source, as the user chooses it.
        QTest::mouseClick(sim ? static_cast<QWidget*>(pane->GetSIMButton()) : pane->GetPCButton(), Qt::LeftButton);
        WhenTrue([pane, sim] {
            return (sim ? pane->IsSrcSIM() : pane->IsSrcPC()) && pane->GetListCtrl()->GetRowCount() == 40 &&
                   !CZorqMMIApp::RequestWaiting();
        }, [&, book, pane] {
            CEntryListCtrl* list = pane->GetListCtrl();
            // The first 15 entries: a click on the first, Shift and a click
            // on the fifteenth.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
            list->scrollTo(list->model()->index(14, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, zorqtest::RowPoint(list, 14));
            ASSERT_EQ(list->GetSelectedRows().size(), 15);
            // The question: Yes to all.
            WhenTrue([] { return qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget()) != nullptr; },
                     [] {
                         auto* confirm = qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget());
                         QTest::mouseClick(confirm->GetDlgItem(IDYESTOALL), Qt::LeftButton);
                     },
                     20000, End);
            // Two entries in, after the second's deletion: the row; three
            // more in: the new-entry button.
            QPointer<CPhoneBook> screen(book);
            WhenTrue([list, screen] {
                         return !screen || (Standing(kDeletingString) && list->GetRowCount() <= 38 && InMessagePause());
                     },
                     [&, list, screen, target] {
                         if (!screen)
                             return;
                         list->scrollTo(list->model()->index(RowOf(list, target), 0));
                         const int row = RowOf(list, target);
                         rowGreyed = !list->isEnabled() && !screen->isEnabled();
                         pausedAtClicks = pausedAtClicks && InMessagePause();
                         watch = std::make_unique<SelectionWatch>(list);
                         clickedRow = row >= 0;
                         QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, row));
                     },
                     30000, End);
            WhenTrue([list, screen] {
                         return !screen || (Standing(kDeletingString) && list->GetRowCount() <= 35 && InMessagePause());
                     },
                     [&, screen] {
                         if (!screen)
                             return;
                         QWidget* button = screen->GetDlgItem(1069);
                         newGreyed = button && !button->isEnabled() && !screen->isEnabled();
                         pausedAtClicks = pausedAtClicks && InMessagePause();
                         clickedNew = button != nullptr;
                         if (button)
                             QTest::mouseClick(button, Qt::LeftButton);
                     },
                     30000, End);
            // The run is over, and the loop has had time to give whatever
            // it might have kept.
            WhenTrue([list, screen] {
                         return !screen || (list->GetRowCount() == 25 && !Standing(kDeletingString) &&
                                            !ProgressNotices::running && !InMessagePause() &&
                                            !CZorqMMIApp::RequestWaiting() && screen->isEnabled());
                     },
                     [&, list, screen] {
                         runOver = true;
                         QTimer::singleShot(1000, [&, list, screen] {
                             if (screen) {
                                 addMode = screen->IsAddMode();
                                 rowsAfter = list->GetRowCount();
                             }
                             End();
                         });
                     },
                     60000, End);
            QTest::mouseClick(book->GetDlgItem(1027), Qt::LeftButton);
        }, 30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(clickedRow && clickedNew) << "the clicks were not made while \"Deleting\" stood";
    EXPECT_TRUE(rowGreyed) << "the list was not greyed when its row was clicked";
    EXPECT_TRUE(newGreyed) << "the new-entry button was not greyed when it was clicked";
    EXPECT_TRUE(pausedAtClicks) << "the clicks did not come in the moment after an entry's deletion";
    EXPECT_TRUE(runOver);
    EXPECT_EQ(rowsAfter, 25);
    EXPECT_FALSE(addMode) << "the click on the greyed new-entry button opened the new-entry form afterwards";
    ASSERT_NE(watch, nullptr);
    std::string chosen;
    for (const QString& s : watch->selected)
        chosen += s.toStdString() + "; ";
    EXPECT_TRUE(watch->selected.empty()) << "the click on the greyed row selected " << chosen;
}


TEST_F(InputGateTest, ClicksOnThePhonebookGreyedByAPCDeletionRunTakeNothing) { ClickIntoAPhonebookDeletionRun(false); }

TEST_F(InputGateTest, ClicksOnThePhonebookGreyedByASIMDeletionRunTakeNothing) { ClickIntoAPhonebookDeletionRun(true); }

// `count` received messages on the SIM.
std::string SimMessages(int count)
{
    std::string s = "message-store SM 250\n";
    for (int i = 1; i <= count; ++i)
        s += "message SM " + std::to_string(i) + " 1 +336" + std::to_string(10000000 + i) +
             " \"26/12/09,10:00:00+04\" Message " + std::to_string(i) + " on the SIM\n";
    return s;
}

// Messages, SIM: one message selected, Delete, Yes. While its "Deleting"
// window stands its last moment, the user clicks the greyed button that
// writes a new message and a greyed row. Neither takes anything: no editor
// opens and no row is selected once the window has gone.
TEST_F(InputGateTest, ClicksOnTheMessagesGreyedByAMessagesDeletionTakeNothing)
{
    phonesim::Process sim(SimMessages(4));
    ProgramFolder folder(sim.device());
    bool clicked = false, greyed = false, paused = false, over = false, editorOpened = false;
    int rowsAfter = -1;
    std::unique_ptr<SelectionWatch> watch;
    struct EditorWatch : QObject {
        bool* opened = nullptr;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && qobject_cast<CDlgMsgEdit*>(o))
                *opened = true;
            return false;
        }
    } editors;
    editors.opened = &editorOpened;
    OpenScreenThen(2, [] { return Screen<CShortMsg>() != nullptr; }, [&] {
        CShortMsg* screen = Screen<CShortMsg>();
        // The SIM's messages, as the user chooses them.
        QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_SRC_SIM), Qt::LeftButton);
        QPointer<CShortMsg> guard(screen);
        WhenTrue([guard] { return guard && guard->List() && guard->List()->GetRowCount() == 4 &&
                                  !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running; },
                 [&, guard] {
            if (!guard)
                return End();
            CEntryListCtrl* list = guard->List();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
            ASSERT_EQ(list->GetSelectedRows().size(), 1);
            qApp->installEventFilter(&editors);
            WhenTrue([] { return qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget()) != nullptr; },
                     [] {
                         auto* confirm = qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget());
                         QTest::mouseClick(confirm->GetDlgItem(IDYES), Qt::LeftButton);
                     },
                     20000, End);
            WhenTrue([guard] { return !guard || (Standing(kDeletingString) && InMessagePause()); },
                     [&, list, guard] {
                         if (!guard)
                             return;
                         watch = std::make_unique<SelectionWatch>(list);
                         QWidget* write = guard->GetDlgItem(CShortMsg::IDC_READNEW);
                         greyed = write && !write->isEnabled() && !list->isEnabled();
                         paused = InMessagePause();
                         clicked = write != nullptr;
                         QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                           zorqtest::RowPoint(list, 1));
                         if (write)
                             QTest::mouseClick(write, Qt::LeftButton);
                     },
                     30000, End);
            WhenTrue([&, list, guard] {
                         return !guard || (clicked && list->GetRowCount() == 3 &&
                                            !Standing(kDeletingString) && !ProgressNotices::running &&
                                            !InMessagePause() && !CZorqMMIApp::RequestWaiting() && guard->isEnabled());
                     },
                     [&, list, guard] {
                         over = true;
                         QTimer::singleShot(1000, [&, list, guard] {
                             if (guard)
                                 rowsAfter = list->GetRowCount();
                             if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                                 d->reject();
                             End();
                         });
                     },
                     60000, End);
            QTest::mouseClick(guard->GetDlgItem(CShortMsg::IDC_DELETE), Qt::LeftButton);
        }, 30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    qApp->removeEventFilter(&editors);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(clicked) << "the clicks were not made while \"Deleting\" stood";
    EXPECT_TRUE(greyed) << "the screen was not greyed when it was clicked";
    EXPECT_TRUE(paused) << "the clicks did not come in the window's last moment";
    EXPECT_TRUE(over);
    EXPECT_EQ(rowsAfter, 3);
    EXPECT_FALSE(editorOpened) << "the click on the greyed button opened the editor afterwards";
    ASSERT_NE(watch, nullptr);
    std::string chosen;
    for (const QString& s : watch->selected)
        chosen += s.toStdString() + "; ";
    EXPECT_TRUE(watch->selected.empty()) << "the click on the greyed row selected " << chosen;
}


// The melody screen asks whether to delete a PC melody; while the question
// stands the user double-clicks the tray's message icon (an unread message
// waits), which switches to the messages. The melody screen, whose code runs
// the question, stays until the question is answered and that code has
// returned; then it goes, the melody deleted, and the messages are shown.
TEST_F(InputGateTest, TheTraysDoubleClickDuringTheMelodyScreensDeleteQuestionDeletesTheScreenAfterIt)
{
    phonesim::Process sim("");
    ProgramFolder folder(sim.device());
    std::filesystem::create_directories(folder.path() + "Melody");
    zorqtest::WriteFile(folder.path() + "Melody/one.MDY", "NAME=One\r\nTEMPO=100\r\nA4 c100\r\n");
    zorqtest::WriteFile(folder.path() + "Melody/two.MDY", "NAME=Two\r\nTEMPO=100\r\nB4 c100\r\n");
    QPointer<CMelodyView> melodies;
    bool asked = false, switched = false, stoodUnderQuestion = false, answered = false, gone = false;
    auto pcList = [](CMelodyView* v) { return v ? qobject_cast<CEntryListCtrl*>(v->GetDlgItem(1065)) : nullptr; };
    auto question = [] { return qobject_cast<CDlgConfirm*>(QApplication::activeModalWidget()); };
    OpenScreenThen(3, [pcList] { return pcList(Screen<CMelodyView>()) && pcList(Screen<CMelodyView>())->GetRowCount() == 2; }, [&] {
        melodies = Screen<CMelodyView>();
        ASSERT_EQ(sim.command("indicator message 1"), "ok");
        WhenTrue([&] { return !melodies || (melodies->Status().unread_msg == 1 && melodies->Status().sms_full == 0); },
                 [&] {
                     if (!melodies)
                         return End();
                     CEntryListCtrl* list = pcList(melodies);
                     QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
                     WhenTrue([&] { return question() != nullptr; },
                              [&] {
                                  asked = true;
                                  // The message tray icon's double click, as the tray reports it.
                                  PostMessage(Frame(), WM_MMI_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
                                  WhenTrue([] { return Screen<CShortMsg>() != nullptr; },
                                           [&] {
                                               switched = true;
                                               // A moment for a deletion that would come too early.
                                               QTimer::singleShot(300, [&] {
                                                   stoodUnderQuestion = !melodies.isNull() && question();
                                                   if (CDlgConfirm* box = question()) {
                                                       answered = true;
                                                       QTest::mouseClick(box->GetDlgItem(IDYES), Qt::LeftButton);
                                                   }
                                                   WhenTrue([&] { return melodies.isNull() && !question(); },
                                                            [&] {
                                                                gone = true;
                                                                End();
                                                            },
                                                            20000, End);
                                               });
                                           },
                                           20000, End);
                              },
                              20000, End);
                     QTest::mouseClick(melodies->GetDlgItem(1027), Qt::LeftButton);
                 },
                 20000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(asked) << "the delete question did not come";
    EXPECT_TRUE(switched) << "the tray's double click did not switch to the messages";
    EXPECT_TRUE(stoodUnderQuestion) << "the melody screen was deleted while its question stood";
    EXPECT_TRUE(answered);
    EXPECT_TRUE(gone) << "the melody screen was not deleted after its question";
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "Melody/one.MDY") &&
                 std::filesystem::exists(folder.path() + "Melody/two.MDY"))
        << "the melody answered Yes was not deleted";
}


// Phonebook, PC, ten entries copied to the SIM. While "Copying" stands its
// last moment, the user clicks the greyed new-entry button: once the copy
// is over no new-entry form is open.
TEST_F(InputGateTest, AClickOnTheNewEntryButtonGreyedByACopyTakesNothing)
{
    phonesim::Process phone("clear-phonebook SM\nphonebook SM 250 20 14\n");
    ProgramFolder folder(phone.device());
    MakePCPhonebook(folder, 10);
    bool clicked = false, greyed = false, over = false, addMode = true;
    OpenScreenThen(1, [] { return Screen<CPhoneBook>() != nullptr; }, [&] {
        CPhoneBook* book = Screen<CPhoneBook>();
        CQXPBSrcNewList* pane = book->Pane();
        QTest::mouseClick(pane->GetPCButton(), Qt::LeftButton);
        QPointer<CPhoneBook> screen(book);
        WhenTrue([pane] { return pane->IsSrcPC() && pane->GetListCtrl()->GetRowCount() == 10 && !CZorqMMIApp::RequestWaiting(); },
                 [&, pane, screen] {
            CEntryListCtrl* list = pane->GetListCtrl();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, zorqtest::RowPoint(list, 9));
            ASSERT_EQ(list->GetSelectedRows().size(), 10);
            // The destination, the SIM; a question about what the SIM
            // holds, when one comes, answered OK.
            auto* answering = new QTimer(screen);
            QObject::connect(answering, &QTimer::timeout, [] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* d = qobject_cast<CDlgDstChoicePB*>(modal)) {
                    auto* combo = d->findChild<CIconComboBox*>();
                    if (combo && combo->findData(5) >= 0) {
                        combo->setCurrentIndex(combo->findData(5));
                        QTest::mouseClick(d->GetDlgItem(IDOK), Qt::LeftButton);
                    }
                } else if (auto* m = qobject_cast<CDlgDstMirrorDatabase*>(modal)) {
                    QTest::mouseClick(m->GetDlgItem(IDOK), Qt::LeftButton);
                }
            });
            answering->start(20);
            WhenTrue([screen] { return !screen || (Standing(31335) && InMessagePause()); },
                     [&, screen] {
                         if (!screen)
                             return;
                         QWidget* button = screen->GetDlgItem(1069);
                         greyed = button && !button->isEnabled() && !screen->isEnabled();
                         clicked = button != nullptr;
                         if (button)
                             QTest::mouseClick(button, Qt::LeftButton);
                     },
                     30000, End);
            WhenTrue([&, screen] {
                         return !screen || (clicked && !Standing(31335) && !ProgressNotices::running &&
                                            !InMessagePause() && !CZorqMMIApp::RequestWaiting() && screen->isEnabled());
                     },
                     [&, screen] {
                         over = true;
                         QTimer::singleShot(1000, [&, screen] {
                             if (screen)
                                 addMode = screen->IsAddMode();
                             End();
                         });
                     },
                     60000, End);
            QTest::mouseClick(screen->GetDlgItem(1131), Qt::LeftButton);
        }, 30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(clicked) << "the click was not made while \"Copying\" stood its last moment";
    EXPECT_TRUE(greyed) << "the new-entry button was not greyed when it was clicked";
    EXPECT_TRUE(over);
    EXPECT_FALSE(addMode) << "the click on the greyed new-entry button opened the new-entry form afterwards";
}


// Messages, SIM: one message copied to the PC. While "Copying" stands its
// last moment, the user clicks the greyed button that writes a new message:
// no editor opens once the copy is over.
TEST_F(InputGateTest, AClickOnTheMessagesGreyedByACopyToThePCTakesNothing)
{
    phonesim::Process sim(SimMessages(4));
    ProgramFolder folder(sim.device());
    bool clicked = false, greyed = false, over = false, editorOpened = false;
    struct EditorWatch : QObject {
        bool* opened = nullptr;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && qobject_cast<CDlgMsgEdit*>(o))
                *opened = true;
            return false;
        }
    } editors;
    editors.opened = &editorOpened;
    OpenScreenThen(2, [] { return Screen<CShortMsg>() != nullptr; }, [&] {
        CShortMsg* screen = Screen<CShortMsg>();
        QTest::mouseClick(screen->GetDlgItem(CShortMsg::IDC_SRC_SIM), Qt::LeftButton);
        QPointer<CShortMsg> guard(screen);
        WhenTrue([guard] { return guard && guard->List() && guard->List()->GetRowCount() == 4 &&
                                  !CZorqMMIApp::RequestWaiting() && !ProgressNotices::running; },
                 [&, guard] {
            if (!guard)
                return End();
            CEntryListCtrl* list = guard->List();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
            ASSERT_EQ(list->GetSelectedRows().size(), 1);
            qApp->installEventFilter(&editors);
            // The destination: the PC.
            WhenTrue([] { return qobject_cast<CDlgDstChoiceSMS*>(QApplication::activeModalWidget()) != nullptr; },
                     [] {
                         auto* d = qobject_cast<CDlgDstChoiceSMS*>(QApplication::activeModalWidget());
                         CIconComboBox* combo = d->GetCombo();
                         combo->setCurrentIndex(combo->findData(SMS_DST_PC));
                         QTest::mouseClick(d->GetDlgItem(IDOK), Qt::LeftButton);
                     },
                     20000, End);
            WhenTrue([guard] { return !guard || (Standing(31335) && InMessagePause()); },
                     [&, guard] {
                         if (!guard)
                             return;
                         QWidget* write = guard->GetDlgItem(CShortMsg::IDC_READNEW);
                         greyed = write && !write->isEnabled() && !guard->isEnabled();
                         clicked = write != nullptr;
                         if (write)
                             QTest::mouseClick(write, Qt::LeftButton);
                     },
                     30000, End);
            WhenTrue([&, guard] {
                         return !guard || (clicked && !Standing(31335) && !ProgressNotices::running &&
                                            !InMessagePause() && !CZorqMMIApp::RequestWaiting() && guard->isEnabled());
                     },
                     [&] {
                         over = true;
                         QTimer::singleShot(1000, [&] {
                             if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                                 d->reject();
                             End();
                         });
                     },
                     60000, End);
            QTest::mouseClick(guard->GetDlgItem(CShortMsg::IDC_DST), Qt::LeftButton);
        }, 30000, End);
    });
    EXPECT_EQ(RunProgram(folder, 120000), 0);
    qApp->removeEventFilter(&editors);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(clicked) << "the click was not made while \"Copying\" stood its last moment";
    EXPECT_TRUE(greyed) << "the screen was not greyed when it was clicked";
    EXPECT_TRUE(over);
    EXPECT_FALSE(editorOpened) << "the click on the greyed button opened the editor afterwards";
}

}  // namespace
