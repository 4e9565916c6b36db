// The whole program while it reads the phone's phonebooks in the background,
// against a simulator paced at 9600 baud, where that reading has a request
// waiting most of the time: a click on the menu, the recipients dialog opened
// from the edit dialog's OK and a send made through the message screen all
// come while a location is being read. Each must reach its end, and the
// reading must still fill every mirror.
#include "program_support.h"

#include "dlgmessagebox.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgsend.h"
#include "dlgmsgtext.h"
#include "entrylistctrl.h"
#include "handbutton.h"
#include "mainframe.h"
#include "pbdatabase.h"
#include "phonebook.h"
#include "phonesim_client.h"
#include "qxpbsrcnewlist.h"
#include "shortmsg.h"
#include "user_actions.h"
#include "viewframe.h"
#include "zorqapp.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"

#include "mtr_frame.h"
#include "mtr_poll.h"
#include "serial.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <sstream>

namespace {

using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }
CZorqMMIDoc* Doc() { return App() ? App()->GetDocument() : nullptr; }

template <class T>
T* Screen()
{
    CMainFrame* f = App() ? App()->GetMainFrame() : nullptr;
    return f ? qobject_cast<T*>(f->GetActiveView()) : nullptr;
}

template <class T>
T* Modal()
{
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

// A phone whose SIM, fixed-dialling list and phone memory all hold entries:
// at 9600 baud the reading takes some ten seconds.
std::string Phonebooks()
{
    std::string s = "phonebook SM 20 20 14\n"
                    "phonebook FD 10 20 14\n"
                    "entry FD 1 112 129 Emergency\n"
                    "entry FD 7 +33100000000 145 Hotline\n"
                    "phonebook ME 250 32 20\n";
    for (int i = 3; i <= 250; i += 2)
        s += "entry ME " + std::to_string(i) + " 06000000" + std::to_string(10 + i) + " 129 Contact" +
             std::to_string(i) + "\n";
    return s;
}

// A fuller phone: 200 SIM, 6 fixed-dialling and 100 phone-memory entries.
std::string FullPhonebooks()
{
    std::string s = "phonebook SM 200 20 14\n"
                    "phonebook FD 10 20 14\n"
                    "phonebook ME 100 32 20\n";
    for (int i = 1; i <= 200; ++i)
        s += "entry SM " + std::to_string(i) + " 0611" + std::to_string(100000 + i) + " 129 Sim" + std::to_string(i) +
             "\n";
    for (int i = 1; i <= 6; ++i)
        s += "entry FD " + std::to_string(i) + " 11" + std::to_string(i) + " 129 Fixed" + std::to_string(i) + "\n";
    for (int i = 1; i <= 100; ++i)
        s += "entry ME " + std::to_string(i) + " 0622" + std::to_string(100000 + i) + " 129 Mem" + std::to_string(i) +
             "\n";
    return s;
}

// How many phonebook reads the phone has been asked for.
int CpbrCount(phonesim::Process& sim)
{
    const std::string answer = sim.command("count +CPBR");
    return answer.rfind("ok ", 0) == 0 ? std::stoi(answer.substr(3)) : -1;
}

// The background reading has a request waiting: the moment a timer fires
// inside its wait.
bool ReadingRequestWaits()
{
    CZorqMMIDoc* doc = Doc();
    return doc && doc->GetPBUploadState() == 1 && mtr_request_running() && gv_mtr_pumping;
}

bool Free() { return !CZorqMMIApp::RequestWaiting() && !gv_mtr_pumping; }

// The entries of a phonebook mirror: location -> "number|name".
std::map<int, std::string> Mirror(int storage)
{
    std::map<int, std::string> out;
    CJetDatabase db;
    db.Open(GetPBDatabaseName(storage));
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    for (; !rs.IsEOF(); rs.MoveNext())
        out[rs.Location] = rs.Phone + "|" + rs.Name;
    return out;
}

class BackgroundReadingTest : public zorqtest::ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        gv_bCallMtrPoll = 1;
        qApp->installEventFilter(&boxes_);
    }
    void TearDown() override
    {
        qApp->removeEventFilter(&boxes_);
        ProgramRunTest::TearDown();
        serial_trace_stop();
        gv_bCallMtrPoll = 1;
    }
    int Run(ProgramFolder& folder)
    {
        const std::string ini = folder.path() + "ZorqMMI.ini";
        zorqtest::WriteFile(ini, zorqtest::ReadFile(ini) + "[SMSMT]\r\nSource=1\r\n[PhoneBook]\r\nSource=1\r\n");
        return RunProgram(folder, 90000);
    }
    // Gives up: the dialogs still up are cancelled (a dialog opened inside a
    // request's wait holds that request until it goes), then the program ends.
    static void GiveUp(const std::string& why)
    {
        ADD_FAILURE() << why;
        CloseDialogsAndEnd();
    }
    static void CloseDialogsAndEnd()
    {
        WhenTrue(
            [] {
                if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    d->reject();
                return QApplication::activeModalWidget() == nullptr;
            },
            End, 20000, End);
    }
    // Clicks a menu picture while nothing waits.
    static void OpenScreen(int picture, std::function<void()> then)
    {
        WhenStarted([] { return Linked() && Free() && Screen<CZorqMenu>() != nullptr; },
                    [picture, then] {
                        CZorqMenu* menu = Screen<CZorqMenu>();
                        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                          menu->MenuRegion(picture).boundingRect().center());
                        then();
                    });
    }
    // The message screen, its read-new button, text typed in the edit
    // dialog and its OK clicked while the background reading has a request
    // waiting; `then` once the recipients dialog has loaded (or 20 s).
    // With `hold`, the reading is held from that OK on (ReleasePBUpload
    // lets it go on).
    void OpenDirectoryDuringTheReading(std::function<void(CDlgMsgDirectory*)> then, bool hold = false)
    {
        OpenScreen(SCREEN_SHORTMSG, [this, then, hold] {
            // A screen still disabled by its load's progress takes no click.
            WhenTrue([] { return Screen<CShortMsg>() && Screen<CShortMsg>()->isEnabled() && Free() &&
                                 !QApplication::activeModalWidget(); },
                     [this, then] {
                         QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton);
                     },
                     20000, [] { GiveUp("the message screen did not open"); });
            WhenTrue([] { return Modal<CDlgMsgEdit>() && Free(); },
                     [this, then, hold] {
                         QTest::keyClicks(Modal<CDlgMsgEdit>()->TextEdit(), QStringLiteral("Sent while reading"));
                         WhenTrue(ReadingRequestWaits,
                                  [this, then, hold] {
                                      okInRequest_ = ReadingRequestWaits();
                                      if (hold)
                                          Doc()->HoldPBUpload();
                                      QTest::mouseClick(Modal<CDlgMsgEdit>()->GetDlgItem(IDOK), Qt::LeftButton);
                                      WhenTrue(
                                          [] {
                                              auto* d = Modal<CDlgMsgDirectory>();
                                              return d && d->Pane()->GetListCtrl()->GetRowCount() > 0 && Free();
                                          },
                                          [then] { then(Modal<CDlgMsgDirectory>()); },
                                          20000, [then] { then(nullptr); });
                                  },
                                  20000, [] { GiveUp("no background request came while the edit dialog stood"); });
                     },
                     40000, [] { GiveUp("the edit dialog did not come"); });
        });
    }

    // Message boxes the program shows: their texts, each answered with OK.
    class Boxes : public QObject {
    public:
        std::vector<std::string> texts;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* box = qobject_cast<CDlgMessageBox*>(watched);
            if (event->type() == QEvent::Show && box) {
                texts.push_back(box->m_strText.simplified().toStdString());
                QPointer<CDlgMessageBox> b(box);
                QTimer::singleShot(200, [b] {
                    if (b && b->m_btnOK)
                        b->m_btnOK->click();
                });
            }
            return false;
        }
    } boxes_;
    bool okInRequest_ = false;
};

TEST_F(BackgroundReadingTest, AClickDuringTheReadingIsTakenOnceItsRequestEnds)
{
    phonesim::Process sim(Phonebooks(), 9600);
    ProgramFolder folder(sim.device());
    bool clickedInRequest = false, opened = false;
    WhenStarted([] { return Linked() && Screen<CZorqMenu>() && ReadingRequestWaits(); },
                [&] {
                    clickedInRequest = ReadingRequestWaits();
                    CZorqMenu* menu = Screen<CZorqMenu>();
                    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                      menu->MenuRegion(SCREEN_PHONEBOOK).boundingRect().center());
                    WhenTrue([] { return Screen<CPhoneBook>() != nullptr; },
                             [&] {
                                 opened = true;
                                 End();
                             },
                             10000, End);
                });
    EXPECT_EQ(Run(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(clickedInRequest);
    EXPECT_TRUE(opened) << "the click on the phonebook picture was lost";
}

TEST_F(BackgroundReadingTest, TheRecipientsDialogOpenedDuringTheReadingListsTheSimPhonebook)
{
    phonesim::Process sim(Phonebooks(), 9600);
    ProgramFolder folder(sim.device());
    std::vector<std::string> rows;
    bool loaded = false;
    OpenDirectoryDuringTheReading([&](CDlgMsgDirectory* d) {
        loaded = d != nullptr;
        if (d) {
            CEntryListCtrl* list = d->Pane()->GetListCtrl();
            for (int r = 0; r < list->GetRowCount(); ++r)
                rows.push_back(list->GetRowText(r, 0).toStdString());
            QTest::mouseClick(d->GetDlgItem(IDCANCEL), Qt::LeftButton);
        }
        WhenTrue([] { return !QApplication::activeModalWidget(); }, End, 10000,
                 [] { GiveUp("the dialogs did not close"); });
    });
    EXPECT_EQ(Run(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(okInRequest_);
    EXPECT_TRUE(loaded) << "the recipients dialog listed nothing";
    EXPECT_EQ(rows, (std::vector<std::string>{"Alice", "Bob"}));
    EXPECT_EQ(boxes_.texts, std::vector<std::string>{});
}

TEST_F(BackgroundReadingTest, AReadingCutOffByASendGoesOnAndFillsEveryMirror)
{
    phonesim::Process sim(Phonebooks(), 9600);
    ProgramFolder folder(sim.device());
    bool sendClicked = false, sendInRequest = false, readingDone = false;
    std::map<int, std::map<int, std::string>> mirrors, phone;
    // The reading goes on in every dialog's pauses: on a loaded machine it
    // could reach its end before the send dialog comes. From the edit
    // dialog's OK it waits where it is until that dialog stands, then goes
    // on inside it.
    bool held = true;
    OpenDirectoryDuringTheReading([&](CDlgMsgDirectory* d) {
        if (!d) {
            GiveUp("the recipients dialog listed nothing");
            return;
        }
        CEntryListCtrl* list = d->Pane()->GetListCtrl();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(list, 0));
        QTest::mouseClick(d->GetDlgItem(1101), Qt::LeftButton);
        QTest::mouseClick(d->GetDlgItem(IDOK), Qt::LeftButton);
        // The send dialog's OK while a location is being read.
        WhenTrue([&] {
                     if (held && Modal<CDlgMsgSend>()) {
                         held = false;
                         Doc()->ReleasePBUpload();
                     }
                     return Modal<CDlgMsgSend>() && ReadingRequestWaits();
                 },
                 [&] {
                     sendClicked = true;
                     sendInRequest = ReadingRequestWaits();
                     QTest::mouseClick(Modal<CDlgMsgSend>()->GetDlgItem(IDOK), Qt::LeftButton);
                     // Once the send is over, the reading goes to its end.
                     WhenTrue([] { return !QApplication::activeModalWidget() && Doc()->GetPBUploadState() == 0; },
                              [&] {
                                  readingDone = true;
                                  // The mirrors go with the program.
                                  for (int storage : {1, 2, 3}) {
                                      mirrors[storage] = Mirror(storage);
                                      phone[storage] = sim.entries(storage == 1 ? "SM" : storage == 2 ? "FD" : "ME");
                                  }
                                  End();
                              },
                              40000, [] { GiveUp("the reading did not go on to its end after the send"); });
                 },
                 20000, [] {
                     CZorqMMIDoc* doc = Doc();
                     std::ostringstream why;
                     why << "the send dialog did not come during the reading (send dialog "
                         << (Modal<CDlgMsgSend>() ? "up" : "not up") << ", reading state "
                         << (doc ? doc->GetPBUploadState() : -1) << ", held " << (doc && doc->IsPBUploadHeld())
                         << ", storage " << (doc ? doc->GetPBUploadStorage() : 0) << ", index "
                         << (doc ? doc->GetPBUploadIndex() : 0) << ", request waiting "
                         << CZorqMMIApp::RequestWaiting() << ", running " << mtr_request_running()
                         << ", pumping " << gv_mtr_pumping << ")";
                     GiveUp(why.str());
                 });
    }, true);
    EXPECT_EQ(Run(folder), 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(sendClicked && sendInRequest);
    EXPECT_EQ(sim.listing("sent").size(), 1u);
    EXPECT_TRUE(readingDone);
    for (int storage : {1, 2, 3}) {
        EXPECT_FALSE(phone[storage].empty()) << storage;
        EXPECT_EQ(mirrors[storage], phone[storage]) << "mirror of storage " << storage;
    }
    EXPECT_EQ(boxes_.texts, std::vector<std::string>{});
}

// The user opens the message screen while the SIM phonebook is read, clicks
// the new-message button as soon as the screen shows, types a text at once
// and presses Next: the screen's first load (its message set-up and the SIM
// listing, under a progress window) must neither run inside the edit dialog
// nor throw away what was typed meanwhile.
TEST_F(BackgroundReadingTest, TextTypedWhileTheMessageScreenLoadsReachesTheEditorAndNextRunsOnce)
{
    phonesim::Process sim(FullPhonebooks(), 19200);
    ProgramFolder folder(sim.device());
    const QString typed = QStringLiteral("Typed while it loads");
    bool clickedInReading = false;
    int editShown = 0, directoryShown = 0;
    QString textAtNext;
    // The dialogs as they come and go: the edit dialog's text when it ends
    // (its Next), and each recipients dialog, which Next opens.
    class Watch : public QObject {
    public:
        std::function<void(QObject*, QEvent*)> on;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show || e->type() == QEvent::Hide)
                on(o, e);
            return false;
        }
    } watch;
    watch.on = [&](QObject* o, QEvent* e) {
        if (auto* edit = qobject_cast<CDlgMsgEdit*>(o)) {
            if (e->type() == QEvent::Show)
                ++editShown;
            else if (edit->TextEdit())
                textAtNext = edit->TextEdit()->toPlainText();
        } else if (qobject_cast<CDlgMsgDirectory*>(o) && e->type() == QEvent::Show) {
            ++directoryShown;
        }
    };
    qApp->installEventFilter(&watch);
    WhenStarted([] { return Linked() && Screen<CZorqMenu>() && ReadingRequestWaits() && Doc()->GetPBUploadStorage() == 1; },
                [&] {
                    clickedInReading = ReadingRequestWaits();
                    CZorqMenu* menu = Screen<CZorqMenu>();
                    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                      menu->MenuRegion(SCREEN_SHORTMSG).boundingRect().center());
                    WhenTrue([] { return Screen<CShortMsg>() && Screen<CShortMsg>()->isVisible(); },
                             [&] {
                                 // With the load already done the click opens the edit
                                 // dialog before it returns: what follows waits for it
                                 // from before the click.
                                 WhenTrue([] { return Modal<CDlgMsgEdit>() && Modal<CDlgMsgEdit>()->isVisible(); },
                                          [&] {
                                              CDlgMsgEdit* edit = Modal<CDlgMsgEdit>();
                                              QTest::keyClicks(edit->TextEdit(), typed);
                                              QTest::mouseClick(edit->GetDlgItem(IDOK), Qt::LeftButton);
                                              // Next opens the recipients dialog; it stands a while
                                              // so that a second Next would show.
                                              WhenTrue([&] { return Modal<CDlgMsgDirectory>() && Free(); },
                                                       [&] {
                                                           WhenTrue([] { return false; }, [] {}, 500,
                                                                    CloseDialogsAndEnd);
                                                       },
                                                       30000, [] { GiveUp("Next did not open the recipients dialog"); });
                                          },
                                          30000, [] { GiveUp("the edit dialog did not come"); });
                                 QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_READNEW),
                                                   Qt::LeftButton);
                             },
                             20000, [] { GiveUp("the message screen did not open"); });
                });
    const int code = Run(folder);
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(timedOut_);
    EXPECT_TRUE(clickedInReading);
    EXPECT_EQ(editShown, 1);
    EXPECT_EQ(textAtNext, typed) << "what was typed did not reach the editor";
    EXPECT_EQ(directoryShown, 1) << "Next ran " << directoryShown << " times";
    EXPECT_EQ(boxes_.texts, std::vector<std::string>{});
}

// Quit confirmed while the background reading waits for an entry at 2400
// baud, through the menu's quit button or the window's close: the reading
// stops at that entry and the program ends with the port closed within 2 s.
class QuitDuringTheReadingTest : public BackgroundReadingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QuitDuringTheReadingTest, EndsWithinTwoSecondsAndReadsNoFurtherEntry)
{
    const bool byCloseOfTheWindow = GetParam();
    phonesim::Process sim(Phonebooks(), 2400);
    ProgramFolder folder(sim.device());
    bool answeredInReading = false, asked = false;
    int readsAtAnswer = -1;
    QElapsedTimer sinceAnswer;
    // The question's end: the reads the phone had then.
    class Watch : public QObject {
    public:
        std::function<void()> onHide;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Hide && qobject_cast<QMessageBox*>(o) && onHide)
                onHide();
            return false;
        }
    } watch;
    watch.onHide = [&] {
        if (readsAtAnswer < 0 && sinceAnswer.isValid())
            readsAtAnswer = CpbrCount(sim);
    };
    qApp->installEventFilter(&watch);
    // Once some entries have been read, while the next one is.
    WhenStarted([&] { return Linked() && Screen<CZorqMenu>() && ReadingRequestWaits() && CpbrCount(sim) >= 3; },
                [&] {
                    // The answer, once the question stands while an entry is
                    // being read (set up first: the close does not return
                    // before the question has been answered).
                    WhenTrue(
                        [] {
                            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                            return box && box->isVisible() && ReadingRequestWaits();
                        },
                        [&] {
                            asked = true;
                            answeredInReading = ReadingRequestWaits();
                            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                            sinceAnswer.start();
                            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
                        },
                        20000, CloseDialogsAndEnd);
                    if (byCloseOfTheWindow)
                        App()->GetMainFrame()->windowHandle()->close();  // as the window manager asks
                    else
                        QTest::mouseClick(static_cast<QWidget*>(Screen<CZorqMenu>()->QuitButton()), Qt::LeftButton);
                });
    EXPECT_EQ(Run(folder), 0);
    const qint64 took = sinceAnswer.isValid() ? sinceAnswer.elapsed() : -1;
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(timedOut_);
    ASSERT_TRUE(asked) << "the quit question did not come during the reading";
    EXPECT_TRUE(answeredInReading);
    EXPECT_GE(took, 0);
    RecordProperty("ms_from_answer_to_end", static_cast<int>(took));
    EXPECT_LT(took, 2000) << "the program ended " << took << " ms after the answer";
    EXPECT_LT(serial_fd(), 0) << "the port was left open";
    EXPECT_GE(readsAtAnswer, 3);
    EXPECT_EQ(CpbrCount(sim), readsAtAnswer) << "entries were still read after the answer";
}

INSTANTIATE_TEST_SUITE_P(Quit, QuitDuringTheReadingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return i.param ? "CloseOfTheWindow" : "QuitButton";
                         });

}  // namespace
