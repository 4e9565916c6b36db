// The whole program when the phone falls silent under a phonebook request
// the user started: the recipients dialog loading its phonebooks, the
// phonebook screen switching to the SIM. The user is told that the phone
// does not answer, in the words the program uses for that, within a few
// seconds, never a bare error number and never an empty dialog that waits
// without a word; the recipients dialog lists the SIM phonebook once the
// phone answers again.
#include "program_support.h"

#include "dlgmessagebox.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgtext.h"
#include "entrylistctrl.h"
#include "mainframe.h"
#include "phonebook.h"
#include "phonesim_client.h"
#include "qxpbsrcnewlist.h"
#include "shortmsg.h"
#include "viewframe.h"
#include "zorqapp.h"
#include "zorqmenu.h"
#include "zorqmmidoc.h"

#include "mtr_frame.h"
#include "mtr_poll.h"

#include <algorithm>
#include <cstdio>
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using zorqtest::ProgramFolder;
using zorqtest::WhenTrue;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

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

bool Free() { return !CZorqMMIApp::RequestWaiting() && !gv_mtr_pumping; }

// Small phonebooks, so that the background reading is soon over and the
// phone is silent only for the request under test.
std::string SmallPhonebooks()
{
    return "phonebook SM 20 20 14\n"
           "entry SM 1 +33612345678 145 Alice\n"
           "entry SM 2 0687654321 129 Bob\n"
           "phonebook FD 5 20 14\n"
           "phonebook ME 10 32 20\n";
}

bool ReadingOver() { return App()->GetDocument() && App()->GetDocument()->GetPBUploadState() == 0; }

class PhoneSilenceTest : public zorqtest::ProgramRunTest {
public:
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
        gv_bCallMtrPoll = 1;
    }
    // `pbSource`: the phonebook the panes open on; with `linkTest`, the
    // link is tested every second, so that a phone back after a silence is
    // found again without a refresh.
    int Run(ProgramFolder& folder, int pbSource, bool linkTest)
    {
        const std::string ini = folder.path() + "ZorqMMI.ini";
        std::string extra = "[SMSMT]\r\nSource=1\r\n[PhoneBook]\r\nSource=" + std::to_string(pbSource) + "\r\n";
        if (linkTest)
            extra += "[PoolingTime]\r\nPool=1\r\n";
        zorqtest::WriteFile(ini, zorqtest::ReadFile(ini) + extra);
        return RunProgram(folder, 90000);
    }
    static void GiveUp(const std::string& why)
    {
        ADD_FAILURE() << why;
        WhenTrue(
            [] {
                if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    d->reject();
                return QApplication::activeModalWidget() == nullptr;
            },
            End, 20000, End);
    }
    // Every box said nothing of a control out of reach and no error number.
    void ExpectNothingOutOfReach() const
    {
        for (const std::string& t : boxes_.texts) {
            EXPECT_EQ(t.find("-36"), std::string::npos) << t;
            EXPECT_EQ(t.find("refresh"), std::string::npos) << t;
        }
    }
    // Opens the recipients dialog from the message editor with `fault`
    // given to the phone as the dialog shows (and `later` `laterMs` after
    // the dialog came); waits for the dialog to list the SIM phonebook, then
    // closes it. Without `linkTest` the settings are those a first start
    // writes (no link test).
    void RecipientsDialogWith(const std::string& fault, const std::string& later = "", bool linkTest = true,
                              int laterMs = 10000)
    {
        phonesim::Process sim(SmallPhonebooks());
        ProgramFolder folder(sim.device());
        std::vector<std::string> rows;
        bool dialogCame = false;
        std::string faultGiven;
        // The fault reaches the phone once the dialog has opened on a linked
        // phone and before its first load: given with the editor's OK, a link
        // test running between that click and the dialog could already lose
        // the phone, and a dialog opened on a phone known to be away says
        // nothing of it.
        class AtShow : public QObject {
        public:
            std::function<void()> on;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Show && qobject_cast<CDlgMsgDirectory*>(o) && on) {
                    on();
                    on = nullptr;
                }
                return false;
            }
        } atShow;
        atShow.on = [&] {
            linkedAtShow_ = Linked();
            // Faults apart by ';' are all given.
            faultGiven = "ok";
            for (const QString& one : QString::fromStdString(fault).split(QLatin1Char(';')))
                if (sim.command(one.toStdString()) != "ok")
                    faultGiven = "not taken: " + one.toStdString();
            boxes_.since.start();
        };
        qApp->installEventFilter(&atShow);
        OpenScreen(SCREEN_SHORTMSG, [&] {
            WhenTrue([] { return Screen<CShortMsg>() && Screen<CShortMsg>()->isEnabled() && Free() &&
                                 !QApplication::activeModalWidget(); },
                     [] { QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton); },
                     20000, [] { GiveUp("the message screen did not open"); });
            WhenTrue([] { return Modal<CDlgMsgEdit>() && Free(); },
                     [&] {
                         QTest::keyClicks(Modal<CDlgMsgEdit>()->TextEdit(), QStringLiteral("Hello"));
                         QTest::mouseClick(Modal<CDlgMsgEdit>()->GetDlgItem(IDOK), Qt::LeftButton);
                         WhenTrue([] { return Modal<CDlgMsgDirectory>() != nullptr; },
                                  [&] {
                                      dialogCame = true;
                                      dialogAt_ = boxes_.since.elapsed();
                                      if (!later.empty())
                                          QTimer::singleShot(laterMs, [&] { sim.command(later); });
                                      WhenTrue(
                                          [&] {
                                              auto* d = Modal<CDlgMsgDirectory>();
                                              if (!Linked())
                                                  linkLostSeen_ = true;
                                              return d && d->Pane()->IsSrcSIM() &&
                                                     d->Pane()->GetListCtrl()->GetRowCount() > 0 && Free();
                                          },
                                          [&] {
                                              auto* d = Modal<CDlgMsgDirectory>();
                                              listedAt_ = boxes_.since.elapsed();
                                              boxStoodAtListing_ = boxes_.standing && boxes_.standing->isVisible();
                                              // The box left standing is answered now, as the user
                                              // would: after the list came.
                                              if (boxes_.standing && boxes_.standing->m_btnOK)
                                                  QTest::mouseClick(boxes_.standing->m_btnOK, Qt::LeftButton);
                                              simButtonEnabled_ = d->Pane()->GetSIMButton()->isEnabled();
                                              CEntryListCtrl* list = d->Pane()->GetListCtrl();
                                              for (int r = 0; r < list->GetRowCount(); ++r)
                                                  rows.push_back(list->GetRowText(r, 0).toStdString());
                                              // A little longer: nothing more is said.
                                              QTimer::singleShot(1500, [] {
                                                  if (auto* dlg = Modal<CDlgMsgDirectory>())
                                                      QTest::mouseClick(dlg->GetDlgItem(IDCANCEL), Qt::LeftButton);
                                                  WhenTrue([] { return !QApplication::activeModalWidget(); }, End,
                                                           10000, [] { GiveUp("the dialogs did not close"); });
                                              });
                                          },
                                          50000, [] { GiveUp("the recipients dialog never listed the SIM phonebook"); });
                                  },
                                  10000, [] { GiveUp("the recipients dialog did not come"); });
                     },
                     40000, [] { GiveUp("the edit dialog did not come"); });
        });
        EXPECT_EQ(Run(folder, 1, linkTest), 0);
        qApp->removeEventFilter(&atShow);
        std::printf("[ figures  ] dialog at %lld ms, SIM listed at %lld ms, first box at %lld ms\n",
                    static_cast<long long>(dialogAt_), static_cast<long long>(listedAt_),
                    static_cast<long long>(boxes_.at.empty() ? -1 : boxes_.at.front()));
        EXPECT_TRUE(dialogCame);
        EXPECT_TRUE(linkedAtShow_);
        EXPECT_EQ(faultGiven, "ok");
        EXPECT_EQ(rows, (std::vector<std::string>{"Alice", "Bob"}));
        ExpectNothingOutOfReach();
    }
    // How many boxes said `text`. Other screens may have their own word for
    // the same silence (the message list behind the dialog meeting it), so
    // the dialog's own box is counted apart.
    size_t ToldTimes(const std::string& text) const
    {
        return static_cast<size_t>(std::count(boxes_.texts.begin(), boxes_.texts.end(), text));
    }
    // Said once, in the dialog's words for a phone not found (muted), or
    // with `oneLost` for a phone that answers again at once: the words of a
    // phone that did not answer, no cable to check. With `backMeanwhile`
    // the phone may have come back by the time the dialog tells it (a link
    // test found it gone, then the set-up's time-outs ran): either words.
    void ExpectToldOnceTheDialogWaitsForThePhone(bool oneLost = false, bool backMeanwhile = false) const
    {
        std::string words = oneLost ? boxes_.dialogNoAnswer : boxes_.dialogNoPhone;
        ASSERT_FALSE(boxes_.texts.empty()) << "the dialog waited without a word";
        if (backMeanwhile && boxes_.texts.front() == boxes_.dialogNoAnswer)
            words = boxes_.dialogNoAnswer;
        EXPECT_EQ(boxes_.texts.front(), words) << boxes_.all();
        EXPECT_EQ(ToldTimes(words), 1u) << boxes_.all();
        EXPECT_EQ(ToldTimes(boxes_.noPhone), 0u) << boxes_.all();
        if (oneLost) {
            EXPECT_EQ(ToldTimes(boxes_.dialogNoPhone), 0u) << boxes_.all();
        }
    }
    bool simButtonEnabled_ = false;
    // With boxes_.hold: the dialog's box still stood when the SIM was listed.
    bool boxStoodAtListing_ = false;
    bool linkedAtShow_ = false;
    qint64 dialogAt_ = -1;
    qint64 listedAt_ = -1;
    // The program held the phone lost at some time while the dialog stood.
    bool linkLostSeen_ = false;

    static void OpenScreen(int picture, std::function<void()> then)
    {
        WhenStarted([] { return Linked() && Free() && ReadingOver() && Screen<CZorqMenu>() != nullptr; },
                    [picture, then] {
                        CZorqMenu* menu = Screen<CZorqMenu>();
                        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                          menu->MenuRegion(picture).boundingRect().center());
                        then();
                    });
    }

    // Message boxes the program shows: their texts, and how long after the
    // mark they came; each answered with OK.
    class Boxes : public QObject {
    public:
        std::vector<std::string> texts;
        std::vector<qint64> at;
        QElapsedTimer since;
        // The program's words for a phone that does not answer (read while
        // its bundle is loaded).
        std::string noPhone;
        // The same, said by the recipients dialog, which waits for the phone.
        std::string dialogNoPhone;
        // The dialog's words for a phone that let one answer go.
        std::string dialogNoAnswer;
        // Boxes are left standing for the test to answer; the last one shown.
        bool hold = false;
        QPointer<CDlgMessageBox> standing;
        std::string all() const
        {
            std::string out;
            for (const std::string& t : texts)
                out += "[" + t + "] ";
            return out;
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* box = qobject_cast<CDlgMessageBox*>(watched);
            if (event->type() == QEvent::Show && box) {
                texts.push_back(box->m_strText.simplified().toStdString());
                if (noPhone.empty()) {
                    noPhone = CZorqMMIApp::Instance()->LoadString(31885).simplified().toStdString();
                    dialogNoPhone = CZorqMMIApp::Instance()->LoadString(31886).simplified().toStdString();
                    dialogNoAnswer = CZorqMMIApp::Instance()->LoadString(31960).simplified().toStdString();
                }
                at.push_back(since.isValid() ? since.elapsed() : -1);
                QPointer<CDlgMessageBox> b(box);
                if (hold) {
                    standing = b;
                    return false;
                }
                QTimer::singleShot(200, [b] {
                    if (b && b->m_btnOK)
                        b->m_btnOK->click();
                });
            }
            return false;
        }
    } boxes_;
    Boxes& Told() { return boxes_; }
    static void Finish() { End(); }
};

// The phone goes mute as the edit dialog's OK opens the recipients dialog,
// so that its first load (the phonebook set-up and the SIM's selection)
// meets a silent phone; it answers again ten seconds later.
TEST_F(PhoneSilenceTest, TheRecipientsDialogLoadingOnASilentPhoneSaysSoAndListsTheSimOnceItAnswers)
{
    RecipientsDialogWith("mute on", "mute off");
    const qint64 dialogAt = dialogAt_;
    // Said within seconds of the dialog's coming, in the words of a phone
    // that is not found, no number: the set-up's first request times out
    // (4 s), and polling runs the link test due meanwhile (up to 4 s more on
    // a silent phone) before the silence is handled.
    ASSERT_FALSE(boxes_.texts.empty()) << "the dialog waited without a word";
    EXPECT_EQ(boxes_.texts.front(), boxes_.dialogNoPhone);
    EXPECT_LT(boxes_.at.front() - dialogAt, 10000) << "dialog at " << dialogAt << " ms, told at " << boxes_.at.front();
    // One silence, one box of the dialog's.
    EXPECT_EQ(ToldTimes(boxes_.dialogNoPhone), 1u) << boxes_.all();
    EXPECT_EQ(ToldTimes(boxes_.noPhone), 0u) << boxes_.all();
}

// The recipients dialog opened from the message editor while the phone
// loses or cuts its answer to the dialog's own SIM phonebook selection, or
// has a busy SIM, with the link tested every second: the dialog lists the
// SIM as soon as the phone can answer, says at most once what was wrong,
// in words that send the user nowhere out of reach, never an error number.
// Lost at the set-up's selection: a second try may get over it unseen.
// The link test due meanwhile finds the phone answering: the link is never
// lost, and the set-up's second try lists the SIM without a word (the phone
// was not first lost, then looked for again, while the dialog stood empty).
TEST_F(PhoneSilenceTest, TheRecipientsDialogGetsOverALostAnswerAtItsSimSelection)
{
    RecipientsDialogWith("fault drop +CPBS=\"SM\"");
    EXPECT_LE(boxes_.texts.size(), 1u) << boxes_.all();
    EXPECT_FALSE(linkLostSeen_);
}

// Lost at the pane's selection that follows the set-up: said once.
TEST_F(PhoneSilenceTest, TheRecipientsDialogGetsOverALostAnswerAtThePanesSimSelection)
{
    RecipientsDialogWith("fault drop +CPBS=\"SM\" 2");
    ExpectToldOnceTheDialogWaitsForThePhone(true);
}

TEST_F(PhoneSilenceTest, TheRecipientsDialogGetsOverACutAnswerAtItsSimSelection)
{
    RecipientsDialogWith("fault cut +CPBS=\"SM\"");
    EXPECT_LE(boxes_.texts.size(), 1u) << boxes_.all();
}

// The same cut at the pane's selection that follows the set-up.
TEST_F(PhoneSilenceTest, TheRecipientsDialogGetsOverACutAnswerAtThePanesSimSelection)
{
    RecipientsDialogWith("fault cut +CPBS=\"SM\" 2");
    ExpectToldOnceTheDialogWaitsForThePhone(true);
}

// A SIM busy for a few seconds: the set-up runs again once it is ready and
// the SIM button is enabled again.
TEST_F(PhoneSilenceTest, TheRecipientsDialogWaitsForABusySimAndListsIt)
{
    RecipientsDialogWith("set sim-busy 3");
    EXPECT_LE(boxes_.texts.size(), 1u) << boxes_.all();
    EXPECT_TRUE(simButtonEnabled_);
}

// The same faults with the settings of a user who never changed them: no
// link test runs, so only the dialog itself can find the phone again. It
// lists the SIM once the phone answers and says once, as soon as a request
// went unanswered, that it waits for the phone.
TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsTheRecipientsDialogGetsOverALostAnswerAtItsSimSelection)
{
    RecipientsDialogWith("fault drop +CPBS=\"SM\"", "", false);
    EXPECT_LE(ToldTimes(boxes_.dialogNoPhone), 1u) << boxes_.all();
    EXPECT_EQ(ToldTimes(boxes_.noPhone), 0u) << boxes_.all();
}

TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsTheRecipientsDialogGetsOverALostAnswerAtThePanesSimSelection)
{
    // The box stands until the user answers it; the SIM is listed meanwhile.
    boxes_.hold = true;
    RecipientsDialogWith("fault drop +CPBS=\"SM\" 2", "", false);
    ExpectToldOnceTheDialogWaitsForThePhone(true);
    EXPECT_TRUE(boxStoodAtListing_) << "the SIM was listed only after the box's OK";
}

// The SIM read afresh once the phone is found again (its detection makes
// the phonebook mirrors anew), and that reading's answer lost too.
TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsTheRecipientsDialogGetsOverALostAnswerToItsSimReading)
{
    RecipientsDialogWith("fault drop +CPBS=\"SM\" 2;fault drop +CPBR=1,20", "", false);
    ExpectToldOnceTheDialogWaitsForThePhone(true);
}

TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsTheRecipientsDialogListsTheSimOfAPhoneBackAfterEightSeconds)
{
    RecipientsDialogWith("mute on", "mute off", false, 8000);
    ExpectToldOnceTheDialogWaitsForThePhone();
    // Told as the first request went unanswered (its time-out is 4 s).
    EXPECT_LT(boxes_.at.front() - dialogAt_, 10000) << boxes_.all();
}

// With the settings of a new user, the box that says the dialog waits for
// the phone stands until the user answers it: the dialog goes on looking for
// the phone meanwhile and lists the SIM while the box still stands. A phone
// muted, back after nine and a half seconds: told as not found.
TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsTheRecipientsDialogListsTheSimWhileItsBoxStands)
{
    boxes_.hold = true;
    RecipientsDialogWith("mute on", "mute off", false, 9500);
    ExpectToldOnceTheDialogWaitsForThePhone();
    EXPECT_TRUE(boxStoodAtListing_) << "the SIM was listed only after the box's OK";
}

// With the settings of a new user and a phone that stays mute, the dialog
// looks for the phone every few seconds. The user clicks Cancel while a look
// is under way: the dialog goes, once that look is over. Measured: how long
// after the click (a look used to wait two seconds for the phone).
TEST_F(PhoneSilenceTest, WithTheFirstStartsSettingsCancelActsWhileTheDialogLooksForAMutePhone)
{
    phonesim::Process sim(SmallPhonebooks());
    ProgramFolder folder(sim.device());
    QPointer<CDlgMsgDirectory> dialog;
    QElapsedTimer sinceClick;
    qint64 cancelTook = -1;
    int looksSeen = 0;
    bool inLook = false;
    class AtShow : public QObject {
    public:
        std::function<void(CDlgMsgDirectory*)> on;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            auto* d = qobject_cast<CDlgMsgDirectory*>(o);
            if (e->type() == QEvent::Show && d && on) {
                on(d);
                on = nullptr;
            }
            return false;
        }
    } atShow;
    atShow.on = [&](CDlgMsgDirectory* d) {
        dialog = d;
        QObject::connect(d, &QDialog::finished, [&] {
            if (sinceClick.isValid())
                cancelTook = sinceClick.elapsed();
        });
        EXPECT_EQ(sim.command("mute on"), "ok");
    };
    qApp->installEventFilter(&atShow);
    OpenScreen(SCREEN_SHORTMSG, [&] {
        WhenTrue([] { return Screen<CShortMsg>() && Screen<CShortMsg>()->isEnabled() && Free() &&
                             !QApplication::activeModalWidget(); },
                 [] { QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton); },
                 20000, [] { GiveUp("the message screen did not open"); });
        WhenTrue([] { return Modal<CDlgMsgEdit>() && Free(); },
                 [&] {
                     QTest::keyClicks(Modal<CDlgMsgEdit>()->TextEdit(), QStringLiteral("Hello"));
                     QTest::mouseClick(Modal<CDlgMsgEdit>()->GetDlgItem(IDOK), Qt::LeftButton);
                     // Told, the phone lost: the looks begin. The second
                     // look seen under way gets the click.
                     WhenTrue(
                         [&] {
                             if (boxes_.texts.empty() || Linked() || !dialog)
                                 return false;
                             const bool now = CZorqMMIApp::RequestWaiting();
                             if (now && !inLook)
                                 ++looksSeen;
                             inLook = now;
                             return now && looksSeen >= 2;
                         },
                         [&] {
                             sinceClick.start();
                             QTest::mouseClick(dialog->GetDlgItem(IDCANCEL), Qt::LeftButton);
                             WhenTrue([] { return !QApplication::activeModalWidget(); }, End, 20000,
                                      [] { GiveUp("Cancel did not close the dialogs"); });
                         },
                         60000, [] { GiveUp("no look for the phone was seen"); });
                 },
                 40000, [] { GiveUp("the edit dialog did not come"); });
    });
    EXPECT_EQ(Run(folder, 1, false), 0);
    qApp->removeEventFilter(&atShow);
    std::printf("[ figures  ] Cancel acted %lld ms after the click, during a look\n",
                static_cast<long long>(cancelTook));
    EXPECT_GE(looksSeen, 2);
    EXPECT_GE(cancelTook, 0) << "the dialog did not end with the click";
    ExpectToldOnceTheDialogWaitsForThePhone();
}

// With the link tested every second: a lost reading, and a phone back after
// eight seconds.
TEST_F(PhoneSilenceTest, TheRecipientsDialogGetsOverALostAnswerToItsSimReading)
{
    RecipientsDialogWith("fault drop +CPBS=\"SM\" 2;fault drop +CPBR=1,20");
    ExpectToldOnceTheDialogWaitsForThePhone(true);
}

TEST_F(PhoneSilenceTest, TheRecipientsDialogListsTheSimOfAPhoneBackAfterEightSeconds)
{
    RecipientsDialogWith("mute on", "mute off", true, 8000);
    ExpectToldOnceTheDialogWaitsForThePhone(false, true);
}

// The phonebook screen shows the PC phonebook; `fault` is given to the phone
// and the user clicks the SIM source button. The user is told that the phone
// does not answer, in the program's words for it, never an error number.
void SimChosenWith(PhoneSilenceTest& test, const std::string& fault, const std::string& after, bool linkTest)
{
    phonesim::Process sim(SmallPhonebooks());
    ProgramFolder folder(sim.device());
    bool clicked = false;
    auto settled = [] {
        return Screen<CPhoneBook>() && Screen<CPhoneBook>()->isEnabled() && Free() &&
               !QApplication::activeModalWidget();
    };
    auto& boxes = test.Told();
    PhoneSilenceTest::OpenScreen(SCREEN_PHONEBOOK, [&, settled] {
        // The screen opens on the SIM: the user goes to the PC first.
        WhenTrue(settled,
                 [&, settled] {
                     QTest::mouseClick(Screen<CPhoneBook>()->Pane()->GetPCButton(), Qt::LeftButton);
                     WhenTrue([settled] { return settled() && Screen<CPhoneBook>()->Pane()->IsSrcPC(); },
                              [&] {
                                  QAbstractButton* simButton = Screen<CPhoneBook>()->Pane()->GetSIMButton();
                                  EXPECT_EQ(sim.command(fault), "ok");
                                  boxes.since.start();
                                  clicked = simButton->isEnabled();
                                  QTest::mouseClick(simButton, Qt::LeftButton);
                                  WhenTrue([&] { return !boxes.texts.empty() && Free(); },
                                           [&] {
                                               if (!after.empty())
                                                   sim.command(after);
                                               PhoneSilenceTest::Finish();
                                           },
                                           20000, [] { PhoneSilenceTest::GiveUp("nothing was said of the silent phone"); });
                              },
                              20000, [] { PhoneSilenceTest::GiveUp("the PC phonebook did not open"); });
                 },
                 30000, [] { PhoneSilenceTest::GiveUp("the phonebook screen did not settle"); });
    });
    EXPECT_EQ(test.Run(folder, 0, linkTest), 0);
    EXPECT_TRUE(clicked);
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_EQ(boxes.texts.front(), boxes.noPhone);
    EXPECT_LT(boxes.at.front(), 8000);
    for (const std::string& t : boxes.texts)
        EXPECT_EQ(t.find("-36"), std::string::npos) << t;
}

TEST_F(PhoneSilenceTest, TheSimChosenOnASilentPhoneIsToldAsAPhoneThatDoesNotAnswer)
{
    SimChosenWith(*this, "mute on", "mute off", false);
}

// One answer lost, or cut, while the link is tested every second: the link
// test's own request, answered, does not make the lost one a refusal.
TEST_F(PhoneSilenceTest, TheSimChosenWhenOneAnswerIsLostUnderTheLinkTestIsToldAsAPhoneThatDoesNotAnswer)
{
    SimChosenWith(*this, "fault drop +CPBS=\"SM\"", "", true);
}

TEST_F(PhoneSilenceTest, TheSimChosenWhenOneAnswerIsCutUnderTheLinkTestIsToldAsAPhoneThatDoesNotAnswer)
{
    SimChosenWith(*this, "fault cut +CPBS=\"SM\"", "", true);
}

// The message screen shows the PC messages; one answer to the SIM's
// selection is lost, or cut, while the link is tested every second.
void MessageSimChosenWith(PhoneSilenceTest& test, const std::string& fault)
{
    phonesim::Process sim(SmallPhonebooks());
    ProgramFolder folder(sim.device());
    auto settled = [] {
        return Screen<CShortMsg>() && Screen<CShortMsg>()->isEnabled() && Free() &&
               !QApplication::activeModalWidget();
    };
    auto& boxes = test.Told();
    PhoneSilenceTest::OpenScreen(SCREEN_SHORTMSG, [&, settled] {
        WhenTrue(settled,
                 [&, settled] {
                     QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_SRC_PC), Qt::LeftButton);
                     WhenTrue([settled] { return settled() && Screen<CShortMsg>()->SrcStorage() == SMS_SRC_PC; },
                              [&] {
                                  EXPECT_EQ(sim.command(fault), "ok");
                                  boxes.since.start();
                                  QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_SRC_SIM),
                                                    Qt::LeftButton);
                                  WhenTrue([&] { return !boxes.texts.empty() && Free(); },
                                           [] { PhoneSilenceTest::Finish(); }, 20000,
                                           [] { PhoneSilenceTest::GiveUp("nothing was said of the silent phone"); });
                              },
                              20000, [] { PhoneSilenceTest::GiveUp("the PC messages did not open"); });
                 },
                 30000, [] { PhoneSilenceTest::GiveUp("the message screen did not settle"); });
    });
    EXPECT_EQ(test.Run(folder, 0, true), 0);
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_EQ(boxes.texts.front(), boxes.noPhone);
    for (const std::string& t : boxes.texts)
        EXPECT_EQ(t.find("-36"), std::string::npos) << t;
}

TEST_F(PhoneSilenceTest, TheMessageSimChosenWhenOneAnswerIsLostUnderTheLinkTestIsToldAsAPhoneThatDoesNotAnswer)
{
    MessageSimChosenWith(*this, "fault drop +CPMS=");
}

TEST_F(PhoneSilenceTest, TheMessageSimChosenWhenOneAnswerIsCutUnderTheLinkTestIsToldAsAPhoneThatDoesNotAnswer)
{
    MessageSimChosenWith(*this, "fault cut +CPMS=");
}

}  // namespace

// The recipients dialog has listed the SIM; the user looks at the PC
// phonebook, the phone falls silent, and the user chooses the SIM again, with
// a new user's settings (no link test): the dialog says at once, in its own
// words and once, that the phone does not answer, and lists the SIM when it
// answers again.
TEST_F(PhoneSilenceTest, TheSimChosenAgainInTheRecipientsDialogOfASilentPhoneIsToldOnceAndListedWhenItAnswers)
{
    phonesim::Process sim(SmallPhonebooks());
    ProgramFolder folder(sim.device());
    std::vector<std::string> rows;
    bool pcShown = false;
    size_t before = 0;
    const auto simListed = [] {
        auto* d = Modal<CDlgMsgDirectory>();
        return d && d->Pane()->IsSrcSIM() && d->Pane()->GetListCtrl()->GetRowCount() > 0 && Free();
    };
    OpenScreen(SCREEN_SHORTMSG, [&] {
        WhenTrue([] { return Screen<CShortMsg>() && Screen<CShortMsg>()->isEnabled() && Free() &&
                             !QApplication::activeModalWidget(); },
                 [] { QTest::mouseClick(Screen<CShortMsg>()->GetDlgItem(CShortMsg::IDC_READNEW), Qt::LeftButton); },
                 20000, [] { GiveUp("the message screen did not open"); });
        WhenTrue([] { return Modal<CDlgMsgEdit>() && Free(); },
                 [&] {
                     QTest::keyClicks(Modal<CDlgMsgEdit>()->TextEdit(), QStringLiteral("Hello"));
                     QTest::mouseClick(Modal<CDlgMsgEdit>()->GetDlgItem(IDOK), Qt::LeftButton);
                     WhenTrue(simListed,
                              [&] {
                                  QTest::mouseClick(Modal<CDlgMsgDirectory>()->Pane()->GetPCButton(), Qt::LeftButton);
                                  WhenTrue(
                                      [] {
                                          auto* d = Modal<CDlgMsgDirectory>();
                                          return d && d->Pane()->Data().Current() == 0 && Free();
                                      },
                                      [&] {
                                          pcShown = true;
                                          before = Told().texts.size();
                                          sim.command("mute on");
                                          QTest::mouseClick(Modal<CDlgMsgDirectory>()->Pane()->GetSIMButton(),
                                                            Qt::LeftButton);
                                          WhenTrue([&] { return Told().texts.size() > before; },
                                                   [&] {
                                                       sim.command("mute off");
                                                       WhenTrue(simListed,
                                                                [&] {
                                                                    CEntryListCtrl* list =
                                                                        Modal<CDlgMsgDirectory>()->Pane()->GetListCtrl();
                                                                    for (int r = 0; r < list->GetRowCount(); ++r)
                                                                        rows.push_back(list->GetRowText(r, 0).toStdString());
                                                                    // A little longer: nothing more is said.
                                                                    QTimer::singleShot(1500, [] {
                                                                        if (auto* dlg = Modal<CDlgMsgDirectory>())
                                                                            QTest::mouseClick(dlg->GetDlgItem(IDCANCEL),
                                                                                              Qt::LeftButton);
                                                                        WhenTrue([] { return !QApplication::activeModalWidget(); },
                                                                                 End, 10000,
                                                                                 [] { GiveUp("the dialogs did not close"); });
                                                                    });
                                                                },
                                                                60000, [] { GiveUp("the SIM was not listed again"); });
                                                   },
                                                   30000, [] { GiveUp("the SIM chosen on a silent phone, nothing was said"); });
                                      },
                                      20000, [] { GiveUp("the PC phonebook was not shown"); });
                              },
                              50000, [] { GiveUp("the recipients dialog never listed the SIM phonebook"); });
                 },
                 40000, [] { GiveUp("the edit dialog did not come"); });
    });
    EXPECT_EQ(Run(folder, 1, false), 0);
    EXPECT_TRUE(pcShown);
    const std::vector<std::string> said(Told().texts.begin() + static_cast<long>(std::min(before, Told().texts.size())),
                                        Told().texts.end());
    ASSERT_FALSE(said.empty()) << "nothing was said";
    EXPECT_EQ(said.front(), Told().dialogNoPhone) << Told().all();
    EXPECT_EQ(std::count(said.begin(), said.end(), Told().dialogNoPhone), 1) << Told().all();
    for (const std::string& t : said)
        EXPECT_EQ(t.find("-36"), std::string::npos) << t;
    EXPECT_EQ(rows, (std::vector<std::string>{"Alice", "Bob"}));
}
