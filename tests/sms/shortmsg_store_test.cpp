// The message screen's sources, store reading, copies and deletions,
// driven as a user drives them, against the phone simulator.
#include "../phonebook/pb_fixture.h"
#include "../support/sms_pdu.h"

#include "confirm.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "entrylistctrl.h"
#include "filedlg.h"
#include "jetdatabase.h"
#include "message.h"
#include "profile.h"
#include "shortmsg.h"
#include "smsdatabase.h"
#include "strutil.h"
#include "utilities.h"
#include "zorqmmidoc.h"
#include "modal_driver.h"
#include "progress_watch.h"
#include "user_actions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <deque>
#include <set>
#include <sqlite3.h>
#include <thread>
#include <functional>
#include <memory>

namespace {

// The message screen's questions, answered in order by the shared driver; a
// question that was not expected is answered Cancel and counted.
class DialogScript : public zorqtest::ModalDriver {
public:
    DialogScript()
    {
        CancelUnexpected<CDlgConfirm>();
        CancelUnexpected<CDlgDstMirrorDatabase>();
    }
    // The next confirmation gets `answer`; `allOffered` records whether it
    // offered "yes to all".
    void Confirm(int answer)
    {
        OnModal<CDlgConfirm>([this, answer](CDlgConfirm* d) {
            QWidget* all = d->GetDlgItem(IDYESTOALL);
            allOffered.push_back(all && all->isEnabled());
            asked.push_back(d->Message().toStdString());
            d->EndDialog(answer);
        });
    }
    // The next replace question: replace the destination's content or not.
    void Mirror(bool replace)
    {
        OnModal<CDlgDstMirrorDatabase>([replace](CDlgDstMirrorDatabase* d) {
            if (auto* b = qobject_cast<QAbstractButton*>(d->GetDlgItem(replace ? 1122 : 1123)))
                b->setChecked(true);
            d->OnOK();
        });
    }

    // The next destination choice: `dst` picked in its list, then OK.
    void Destination(int dst)
    {
        OnModal<CDlgDstChoiceSMS>([dst](CDlgDstChoiceSMS* d) {
            CIconComboBox* combo = d->GetCombo();
            combo->setCurrentIndex(combo->findData(dst));
            QTest::mouseClick(d->GetDlgItem(IDOK), Qt::LeftButton);
        });
    }

    std::vector<bool> allOffered;
    std::vector<std::string> asked;
};

struct Row {
    int32_t location;
    int type;
    std::string text;
    bool operator==(const Row& o) const { return location == o.location && type == o.type && text == o.text; }
};

void PrintTo(const Row& r, std::ostream* os) { *os << "{" << r.location << "," << r.type << "," << r.text << "}"; }

class ShortMsgStoreTest : public pbtest::PhonebookSimTest {
protected:
    void SetUp() override
    {
        PhonebookSimTest::SetUp();
        for (const char* f : {"smsback.bmp", "backenu.BMP", "backenu.INI"})
            zorqtest::CopyFile(zorqtest::BuiltProgramDir() + "/Res/" + f, host.folder + "Res/" + f);
        pausedBefore = CShortMsg::kClosePause;
        CShortMsg::kClosePause = 0;
        CDlgProgress::ClosePauseMs = 0;
        MakePCDatabase("defsms.mdb", {});
    }
    void TearDown() override
    {
        CloseScreen();
        SetFileDlgRunner(nullptr);
        CShortMsg::kClosePause = pausedBefore;
        CDlgProgress::ClosePauseMs = 500;
        PhonebookSimTest::TearDown();
    }

    // The simulator with `scenario` after an empty SIM message store of
    // `capacity`; the message set-up and the SIM mirror as a detection
    // makes them.
    void StartPhone(const std::string& scenario, int capacity = 10)
    {
        Start("clear-messages SM\nmessage-store SM " + std::to_string(capacity) + "\n" + scenario);
        gv_SPIO_com_status = 2;
        ASSERT_EQ(doc->SetupSMS(), -35);
        ASSERT_TRUE(doc->PrepareSIMSMSDatabase());
    }
    // A new document for the same phone, as at the next start of the program.
    void Restart()
    {
        CloseScreen();
        doc.reset();
        doc = std::make_unique<CZorqMMIDoc>();
        ASSERT_EQ(doc->SetupSMS(), -35);
        ASSERT_TRUE(doc->PrepareSIMSMSDatabase());
    }

    // The screen on `folder` (0 received, 1 sent) with `source` remembered.
    void Open(int source, int folder = 0)
    {
        WriteIniProfileInt(folder == 0 ? "SMSMT" : "SMSMO", "Source", source);
        WriteIniProfileInt(folder == 0 ? "SMSMT" : "SMSMO", "ComboSort", 1);
        screen = std::make_unique<CShortMsg>();
        screen->SetSource(folder);
        screen->OnInitialUpdate();
        screen->show();
        Pump();
    }
    void CloseScreen()
    {
        if (screen) {
            screen->OnDestroy();
            screen.reset();
        }
    }
    static void Pump()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
    void Click(int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(screen->GetDlgItem(id));
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
        Pump();
    }
    void Select(std::initializer_list<int> rows)
    {
        CEntryListCtrl* list = screen->List();
        list->DeselectAll();
        for (int r : rows)
            list->selectionModel()->select(list->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        screen->OnSelectionChanged();
    }
    void SelectAll()
    {
        screen->OnColumnClick();
        Pump();
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> out;
        for (int r = 0; r < screen->List()->GetRowCount(); ++r)
            out.push_back(screen->List()->GetRowText(r, 2).toStdString());
        return out;
    }

    std::string PCPath(const std::string& name) { return app.GetFolderPath() + name; }
    // A PC message database with received messages at locations 1, 2, ...
    std::string MakePCDatabase(const std::string& name, const std::vector<std::string>& texts)
    {
        const std::string path = PCPath(name);
        DeleteFileIfExists(path);
        EXPECT_TRUE(CreateSMSDatabase(path));
        SetSMSConf(0, path, true);
        int loc = 0;
        AddRows<CEntrySMSRecordset>(path, "EntrySMS", texts, [&loc](CEntrySMSRecordset& rs, const std::string& t) {
            rs.Location = ++loc;
            rs.msgType = 1;
            rs.Date = MakeDateTime(2024, 5, 6, 10, 0, loc % 60);
            rs.SetAddresses("", "+3361234567" + std::to_string(loc % 10));
            rs.Text = t;
        });
        return path;
    }
    static std::vector<Row> Rows(const std::string& path)
    {
        CJetDatabase db;
        db.Open(path);
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Location");
        std::vector<Row> out;
        for (; !rs.IsEOF(); rs.MoveNext())
            out.push_back({rs.Location, rs.msgType, rs.Text});
        return out;
    }
    std::vector<Row> Mirror() { return Rows(GetSMSimSIMPath(1)); }
    // The simulator's SIM messages as rows (index, status, text).
    std::vector<Row> PhoneMessages()
    {
        std::vector<Row> out;
        const std::string dump = sim->dump();
        size_t at = 0;
        while ((at = dump.find("\nmessage SM ", at)) != std::string::npos) {
            at += 12;
            const size_t end = dump.find('\n', at);
            const std::string line = dump.substr(at, end - at);
            Row r{};
            r.location = std::stoi(line);
            r.type = line[line.find(' ') + 1] - '0';
            // The text follows the quoted address and the quoted time stamp.
            size_t q = line.find('"');
            q = line.find('"', q + 1);
            q = line.find('"', q + 1);
            q = line.find('"', q + 1);
            r.text = line.substr(q + 2);
            out.push_back(r);
        }
        return out;
    }
    // Notes, while a message box stands, the list's texts and whether it
    // paints them as they change.
    void WatchTheListBehindTheBox(std::vector<std::string>& texts, bool& painted)
    {
        app.on_box = [this, &texts, &painted] {
            texts = Texts();
            painted = screen->List()->updatesEnabled();
        };
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.toStdString());
        return out;
    }
    // A scenario line given to the running simulator.
    std::string Command(std::string line)
    {
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        return sim->command(line);
    }
    // The right click on the PC source button that comes before its menu.
    void RightClickPC()
    {
        screen->DefWindowProc(CShortMsg::WM_SRC_CONTEXT, 0,
                              reinterpret_cast<std::intptr_t>(screen->GetDlgItem(CShortMsg::IDC_SRC_PC)));
    }
    // A command of the PC source's menu, then the menu's closing.
    void PCMenu(int command)
    {
        RightClickPC();
        screen->OnCommand(command);
        screen->DefWindowProc(CShortMsg::WM_SRC_MENU_CLOSED, 0, 0);
        Pump();
    }
    std::string Text(int id, const QStringList& inserts = {})
    {
        return (inserts.isEmpty() ? app.LoadString(id) : app.FormatString(id, inserts)).toStdString();
    }

    static std::string Msg(int index, int stat, const std::string& text, int minute = 0)
    {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "24/05/06,14:%02d:00+08", minute);
        return "message SM " + std::to_string(index) + " " + std::to_string(stat) + " +3361111111" +
               std::to_string(index % 10) + " \"" + (stat <= 1 ? stamp : "") + "\" " + text + "\n";
    }

    std::unique_ptr<CShortMsg> screen;
    int pausedBefore = 50;
};

}  // namespace

TEST_F(ShortMsgStoreTest, ReadsTheSIMOncePerRunAndShowsLastRunsUnreadMessagesUnread)
{
    StartPhone(Msg(1, 0, "First unread", 1) + Msg(2, 1, "Already read", 2) + Msg(3, 3, "Sent one"));
    Open(SMS_SRC_SIM);
    EXPECT_TRUE(doc->IsSIMSMSRead(SMS_SRC_SIM));
    EXPECT_EQ(Mirror(), (std::vector<Row>{{1, 0, "First unread"}, {2, 1, "Already read"}, {3, 3, "Sent one"}}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"First unread", "Already read"}));
    EXPECT_EQ(screen->List()->GetRowParam(0), 1);  // shown unread

    // A message the phone took without telling: the SIM is not read again
    // when it is shown again in this run.
    ASSERT_EQ(Command(Msg(4, 1, "Sneaked in", 3)), "ok");
    Click(CShortMsg::IDC_SRC_PC);
    EXPECT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    Click(CShortMsg::IDC_SRC_SIM);
    EXPECT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"First unread", "Already read"}));

    // The listing marked the unread message read in the phone. At the next
    // start it is read as read, and shown unread again as it was left.
    EXPECT_EQ(PhoneMessages()[0].type, 1);
    Restart();
    EXPECT_TRUE(FileExists(GetPerMsgSMPath(1)));
    Open(SMS_SRC_SIM);
    EXPECT_EQ(Mirror(), (std::vector<Row>{{1, 0, "First unread"},
                                          {2, 1, "Already read"},
                                          {3, 3, "Sent one"},
                                          {4, 1, "Sneaked in"}}));
    EXPECT_EQ(screen->List()->GetRowParam(0), 1);
}

TEST_F(ShortMsgStoreTest, LocationModeReadsEveryPlace)
{
    StartPhone(Msg(2, 0, "Two", 1) + Msg(5, 1, "Five", 2) + Msg(4, 2, "Draft"), 5);
    doc->SetSMSListMode(0);
    Open(SMS_SRC_SIM);
    EXPECT_EQ(Mirror(), (std::vector<Row>{{2, 0, "Two"}, {4, 2, "Draft"}, {5, 1, "Five"}}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Two", "Five"}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

TEST_F(ShortMsgStoreTest, CopiesBetweenTheSIMAndThePCWithRoomCheckAndReplace)
{
    MakePCDatabase("defsms.mdb", {"PC one", "PC two"});
    StartPhone(Msg(1, 0, "Sim one", 1) + Msg(2, 1, "Sim two", 2) + Msg(3, 1, "Sim three", 3), 4);
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts(), (std::vector<std::string>{"Sim one", "Sim two", "Sim three"}));

    // SIM -> PC: the copies take new places, the PC rows stay, the states
    // stay as they were.
    Select({0, 1});
    screen->OnCommand(CShortMsg::ID_COPY_PC);
    Pump();
    EXPECT_EQ(Rows(PCPath("defsms.mdb")),
              (std::vector<Row>{{1, 1, "PC one"}, {2, 1, "PC two"}, {3, 0, "Sim one"}, {4, 1, "Sim two"}}));

    // PC -> SIM with every row selected: the replace question comes; kept,
    // four messages do not fit beside three in a SIM of four.
    Click(CShortMsg::IDC_SRC_PC);
    ASSERT_EQ(Texts().size(), 4u);
    DialogScript script;
    script.Mirror(false);
    SelectAll();
    screen->OnCommand(CShortMsg::ID_COPY_SIM);
    Pump();
    EXPECT_TRUE(script.Done());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back(), Text(31297, {"1"}));
    EXPECT_EQ(PhoneMessages().size(), 3u);

    // Replaced: the SIM is emptied first, so its three rows do not count.
    script.Mirror(true);
    SelectAll();
    screen->OnCommand(CShortMsg::ID_COPY_SIM);
    Pump();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected(), 0);
    const std::vector<Row> phone = PhoneMessages();
    ASSERT_EQ(phone.size(), 4u);
    std::vector<std::string> texts;
    for (const Row& r : phone)
        texts.push_back(r.text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"PC one", "PC two", "Sim one", "Sim two"}));
    // The mirror holds what the phone holds, place by place.
    std::vector<Row> mirror = Mirror();
    ASSERT_EQ(mirror.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(mirror[i].location, phone[i].location);
        EXPECT_EQ(mirror[i].text, phone[i].text);
    }
}

// The copy's progress window is painted with its text while the copy runs,
// and the pause of its full bar keeps the event loop running.
TEST_F(ShortMsgStoreTest, ACopyToThePCPaintsItsProgressAndPausesOnTheEventLoop)
{
    // Not every row: a copy of all would first ask whether to replace.
    StartPhone(Msg(1, 0, "Sim one", 1) + Msg(2, 1, "Sim two", 2) + Msg(3, 1, "Sim three", 3), 4);
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts().size(), 3u);
    CShortMsg::kClosePause = 12;
    CDlgProgress::ClosePauseMs = 120;
    Select({0, 1});
    DialogScript modal;
    modal.OnModal<CDlgDstChoiceSMS>([](CDlgDstChoiceSMS* d) {
        CIconComboBox* combo = d->GetCombo();
        combo->setCurrentIndex(combo->findData(SMS_DST_PC));
        QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
    });
    zorqtest::ProgressWatch watch;
    Click(CShortMsg::IDC_DST);
    EXPECT_TRUE(modal.Done());
    EXPECT_EQ(Rows(PCPath("defsms.mdb")).size(), 2u) << "the copy ran";
    ASSERT_FALSE(watch.showings.empty()) << "a progress window stood";
    const zorqtest::ProgressWatch::Showing& s = watch.showings.front();
    EXPECT_GT(s.paints, 0) << "painted before the copy ended";
    EXPECT_FALSE(s.paintedText.isEmpty()) << "with its text";
    EXPECT_GT(s.TicksAtFull(), 0) << "the full bar's pause ran the event loop";
}

// A copy of SIM messages to the PC, made with the mouse as a user makes it,
// gives the keyboard focus back where it was: on the destination button,
// not on the header picture, where Space would open the window's menu. With
// every row selected the replace question comes too, and erasing the PC
// store first shows a second progress window before the copy's.
TEST_F(ShortMsgStoreTest, ACopyToThePCGivesTheFocusBackWhereItWas)
{
    StartPhone(Msg(1, 0, "Sim one", 1) + Msg(2, 1, "Sim two", 2) + Msg(3, 1, "Sim three", 3), 4);
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts().size(), 3u);
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    CEntryListCtrl* list = screen->List();
    auto* dst = qobject_cast<QAbstractButton*>(screen->GetDlgItem(CShortMsg::IDC_DST));
    ASSERT_NE(dst, nullptr);
    QWidget* header = screen->findChild<QWidget*>(QStringLiteral("headerPicture"));
    ASSERT_NE(header, nullptr);
    auto clickRow = [list](int row, Qt::KeyboardModifiers mods) {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
    };
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "every row, erased first" : "two rows");
        MakePCDatabase("defsms.mdb", {"PC one"});
        clickRow(0, Qt::NoModifier);
        clickRow(1, Qt::ControlModifier);
        if (all)
            clickRow(2, Qt::ControlModifier);
        Pump();
        ASSERT_EQ(list->GetSelectedRows().size(), all ? 3u : 2u);
        DialogScript script;
        script.OnModal<CDlgDstChoiceSMS>([](CDlgDstChoiceSMS* d) {
            CIconComboBox* combo = d->GetCombo();
            combo->setCurrentIndex(combo->findData(SMS_DST_PC));
            QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
        });
        if (all)
            script.Mirror(true);
        Click(CShortMsg::IDC_DST);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected(), 0);
        EXPECT_EQ(Rows(PCPath("defsms.mdb")).size(), 3u) << "the copy ran (and the erase, of every row)";
        // The screen is active again once the window system says so.
        (void)QTest::qWaitFor([dst] { return QApplication::focusWidget() == dst; }, 3000);
        QWidget* focus = QApplication::focusWidget();
        EXPECT_EQ(focus, dst) << (focus ? focus->objectName().toStdString() : "none");
        EXPECT_NE(focus, header);
        // Space where the focus is: the destination button asks again (and
        // is cancelled); the window's menu does not open.
        DialogScript again;
        again.OnModal<CDlgDstChoiceSMS>([](CDlgDstChoiceSMS* d) { d->EndDialog(IDCANCEL); });
        QTest::keyClick(focus ? focus : screen.get(), Qt::Key_Space);
        Pump();
        auto* menu = screen->findChild<QMenu*>(QStringLiteral("windowMenu"));
        EXPECT_FALSE(menu && menu->isVisible()) << "Space opened the window's menu";
        if (menu)
            menu->hide();
        EXPECT_TRUE(again.Done()) << "Space pressed the destination button";
    }
}

// A copy of many SIM messages to the PC, chosen with the destination button
// as a user chooses it, is one transaction: what another reader of the PC
// store sees at any moment of it, which is what a program killed at that
// moment leaves on disk, is the store before the copy or after it, never
// some of the messages.
TEST_F(ShortMsgStoreTest, ACopyToThePCIsAllOrNothingAtEveryMoment)
{
    constexpr int kMessages = 200;
    MakePCDatabase("defsms.mdb", {"PC one"});
    std::string scenario;
    for (int i = 1; i <= kMessages; ++i)
        scenario += Msg(i, 1, "Copied " + std::to_string(i), i % 60);
    StartPhone(scenario, 250);
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts().size(), static_cast<size_t>(kMessages));

    // Another reader of the PC store, as often as it can, while the copy runs.
    const std::string pc = PCPath("defsms.mdb");
    std::atomic<bool> stop{false};
    std::set<int> seen;
    std::thread reader([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(pc.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            return;
        sqlite3_busy_timeout(db, 50);
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM EntrySMS", -1, &count, nullptr);
        while (!stop) {
            if (sqlite3_step(count) == SQLITE_ROW)
                seen.insert(sqlite3_column_int(count, 0));
            sqlite3_reset(count);
        }
        sqlite3_finalize(count);
        sqlite3_close(db);
    });

    DialogScript script;
    script.OnModal<CDlgDstChoiceSMS>([](CDlgDstChoiceSMS* d) {
        auto* combo = d->findChild<CIconComboBox*>("id1129");
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(0);  // the PC store
        zorqtest::ModalDriver::Click(d, IDOK);
    });
    script.Mirror(false);  // every message selected: the PC rows are kept
    SelectAll();
    Click(CShortMsg::IDC_DST);
    stop = true;
    reader.join();
    EXPECT_TRUE(script.Done());

    EXPECT_EQ(Rows(pc).size(), static_cast<size_t>(kMessages + 1));
    EXPECT_TRUE(seen.count(1) || seen.count(kMessages + 1));
    for (int n : seen)
        EXPECT_TRUE(n == 1 || n == kMessages + 1) << "a reader saw " << n - 1 << " of " << kMessages
                                                  << " messages copied";
}

TEST_F(ShortMsgStoreTest, DeletesWithAQuestionPerMessage)
{
    StartPhone(Msg(1, 1, "Alpha", 1) + Msg(2, 1, "Bravo", 2) + Msg(3, 1, "Charlie", 3) + Msg(4, 1, "Delta", 4));
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts().size(), 4u);

    // No, yes, cancel: only the second goes; the first stays selected.
    DialogScript script;
    script.Confirm(IDNO);
    script.Confirm(IDYES);
    script.Confirm(IDCANCEL);
    SelectAll();
    Click(CShortMsg::IDC_DELETE);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Alpha", "Charlie", "Delta"}));
    EXPECT_TRUE(screen->List()->IsRowSelected(0));
    EXPECT_EQ(Mirror(), (std::vector<Row>{{1, 1, "Alpha"}, {3, 1, "Charlie"}, {4, 1, "Delta"}}));
    EXPECT_EQ(PhoneMessages().size(), 3u);

    // Yes to all: no further question; "yes to all" is not offered for a
    // single message.
    script.Confirm(IDYESTOALL);
    Select({1, 2});
    Click(CShortMsg::IDC_DELETE);
    EXPECT_EQ(script.Unexpected(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Alpha"}));
    EXPECT_EQ(PhoneMessages(), (std::vector<Row>{{1, 1, "Alpha"}}));
    script.Confirm(IDNO);
    Select({0});
    Click(CShortMsg::IDC_DELETE);
    EXPECT_EQ(script.allOffered, (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Alpha"}));
}

// The phone deletes the message but its answer is lost, or cut half-way:
// the user is told that the phone did not answer and that, asked again as
// soon as it answers, it no longer has it, never that the phone refused it;
// neither have the mirror and the list. No link test runs (the settings of
// a new user).
TEST_F(ShortMsgStoreTest, ADeletionWhoseAnswerIsLostOrCutIsToldUnansweredAndTheListShowsWhatThePhoneHolds)
{
    StartPhone(Msg(1, 1, "Alpha", 1) + Msg(2, 1, "Bravo", 2) + Msg(3, 1, "Charlie", 3), 10);
    Open(SMS_SRC_SIM);
    ASSERT_EQ(Texts(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    DialogScript script;
    struct Case {
        const char* fault;
        int row;
        std::vector<std::string> left;
        std::vector<Row> phone;
    };
    const Case cases[] = {
        {"fault drop +CMGD=", 1, {"Alpha", "Charlie"}, {{1, 1, "Alpha"}, {3, 1, "Charlie"}}},
        {"fault cut +CMGD=", 0, {"Charlie"}, {{3, 1, "Charlie"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const QString name = screen->List()->GetRowText(c.row, 0);
        ASSERT_EQ(sim->command(c.fault), "ok");
        script.Confirm(IDYES);
        Select({c.row});
        std::vector<std::string> behindTheBox;
        bool listPainted = false;
        WatchTheListBehindTheBox(behindTheBox, listPainted);
        app.shown.clear();
        Click(CShortMsg::IDC_DELETE);
        app.on_box = nullptr;
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes().back(), Text(31933, {name}));
        EXPECT_NE(Boxes().back(), Text(31895, {name}));
        EXPECT_EQ(behindTheBox, c.left) << "the list behind the message showed a message the phone no longer has";
        EXPECT_EQ(PhoneMessages(), c.phone);
        EXPECT_EQ(Mirror(), c.phone);
        EXPECT_EQ(Texts(), c.left);
    }
}

TEST_F(ShortMsgStoreTest, APhoneRefusalMidwayKeepsTheStoresAlikeAndSaysTheDeletionStopped)
{
    MakePCDatabase("defsms.mdb", {"Copy one", "Copy two", "Copy three"});
    StartPhone(Msg(1, 1, "Alpha", 1) + Msg(2, 1, "Bravo", 2) + Msg(3, 1, "Charlie", 3), 10);
    Open(SMS_SRC_SIM);

    // The phone deletes the first message and refuses the second.
    ASSERT_EQ(Texts(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    const QString refused = screen->List()->GetRowText(1, 0);
    ASSERT_EQ(sim->command("set delete-error 500"), "ok");
    ASSERT_EQ(sim->command("set error-after 1"), "ok");
    DialogScript script;
    script.Confirm(IDYESTOALL);
    SelectAll();
    std::vector<std::string> behindTheBox;
    bool listPainted = false;
    WatchTheListBehindTheBox(behindTheBox, listPainted);
    Click(CShortMsg::IDC_DELETE);
    app.on_box = nullptr;
    ASSERT_FALSE(Boxes().empty());
    // The message names the one refused, over the list as it is.
    EXPECT_EQ(Boxes().back(), Text(31895, {refused}));
    EXPECT_TRUE(listPainted) << "the list behind the message still showed the deleted message";
    EXPECT_EQ(behindTheBox, (std::vector<std::string>{"Bravo", "Charlie"}));
    EXPECT_EQ(PhoneMessages(), (std::vector<Row>{{2, 1, "Bravo"}, {3, 1, "Charlie"}}));
    EXPECT_EQ(Mirror(), (std::vector<Row>{{2, 1, "Bravo"}, {3, 1, "Charlie"}}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Bravo", "Charlie"}));
    ASSERT_EQ(sim->command("set delete-error 0"), "ok");

    // A copy into the SIM: the phone stores the first and refuses the second.
    Click(CShortMsg::IDC_SRC_PC);
    ASSERT_EQ(sim->command("set store-error 322"), "ok");
    ASSERT_EQ(sim->command("set error-after 1"), "ok");
    Select({0, 1, 2});
    script.Mirror(false);
    screen->OnCommand(CShortMsg::ID_COPY_SIM);
    Pump();
    EXPECT_EQ(Boxes().back(), Text(31462, {"Copy two..."}));
    const std::vector<Row> phone = PhoneMessages();
    ASSERT_EQ(phone.size(), 3u);
    std::vector<std::string> texts;
    for (const Row& r : phone)
        texts.push_back(r.text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"Bravo", "Charlie", "Copy one"}));
    ASSERT_EQ(Mirror().size(), 3u);
    for (size_t i = 0; i < phone.size(); ++i) {
        EXPECT_EQ(Mirror()[i].location, phone[i].location);
        EXPECT_EQ(Mirror()[i].text, phone[i].text);
    }
    // The stored message is no longer selected; the two left are.
    EXPECT_FALSE(screen->List()->IsRowSelected(0));
    EXPECT_TRUE(screen->List()->IsRowSelected(1));
    EXPECT_TRUE(screen->List()->IsRowSelected(2));
}

// Another program takes the PC message database for writing while a
// deletion run goes: the run stops at the message it could not delete, and
// the message names it and the cause, over the list as it is.
TEST_F(ShortMsgStoreTest, ADeletionStoppedByAnotherProgramHoldingThePCDatabaseNamesTheMessageAndTheCause)
{
    MakePCDatabase("defsms.mdb", {"One", "Two", "Three"});
    StartPhone("");
    Open(SMS_SRC_PC);
    screen->window()->show();
    ASSERT_EQ(Texts(), (std::vector<std::string>{"One", "Two", "Three"}));
    const QString held = screen->List()->GetRowText(1, 0);
    zorqtest::ClickRows(screen->List(), {0, 1, 2});
    Pump();
    ASSERT_EQ(screen->List()->GetSelectedCount(), 3);

    // Yes to the first; the other program takes the file before the
    // second question is answered with yes to all.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(PCPath("defsms.mdb").c_str(), &other), SQLITE_OK);
    DialogScript script;
    script.Confirm(IDYES);
    script.OnModal<CDlgConfirm>([other](CDlgConfirm* d) {
        EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        d->EndDialog(IDYESTOALL);
    });
    std::vector<std::string> behindTheBox;
    bool listPainted = false;
    WatchTheListBehindTheBox(behindTheBox, listPainted);
    Click(CShortMsg::IDC_DELETE);
    app.on_box = nullptr;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected(), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes().front(),
              Text(31894, {held, QString::fromStdString(Text(31456, {QString::fromStdString(PCPath("defsms.mdb"))}))}));
    EXPECT_TRUE(listPainted) << "the list behind the message still showed the deleted message";
    EXPECT_EQ(behindTheBox, (std::vector<std::string>{"Two", "Three"}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Two", "Three"}));
    const std::vector<Row> kept = Rows(PCPath("defsms.mdb"));
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].text, "Two");
    EXPECT_EQ(kept[1].text, "Three");
}

TEST_F(ShortMsgStoreTest, ThePCButtonsMenuSwitchesTheMessageSourceToAnotherFile)
{
    MakePCDatabase("defsms.mdb", {"Default one"});
    const std::string other = MakePCDatabase("other.mdb", {"Other one"});
    StartPhone("");
    Open(SMS_SRC_SIM);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    QWidget* pc = screen->GetDlgItem(CShortMsg::IDC_SRC_PC);
    // A right click on the real button, then an item of its menu.
    auto menuChoice = [&](unsigned id) {
        bool chosen = false;
        zorqtest::OnPopup([&](QMenu* menu) {
            chosen = zorqtest::ClickMenuItem(menu, id);
            if (!chosen)
                menu->close();
        });
        zorqtest::RightClick(pc, QPoint(4, 4));
        Pump();
        return chosen;
    };
    SetFileDlgRunner([other](CQXFileDlg& d) {
        d.selectFile(QString::fromStdString(other));
        return IDOK;
    });
    ASSERT_TRUE(menuChoice(32852));  // "Open a PC database..."
    EXPECT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Other one"}));
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "other.mdb");

    // "New PC database...": a new, empty message file is the source.
    SetFileDlgRunner([this](CQXFileDlg& d) {
        d.selectFile(QString::fromStdString(PCPath("fresh.mdb")));
        return IDOK;
    });
    ASSERT_TRUE(menuChoice(32851));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(FileExists(PCPath("fresh.mdb")));
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "fresh.mdb");
}

TEST_F(ShortMsgStoreTest, AnotherPCDatabaseANewOneAndBackToTheDefault)
{
    MakePCDatabase("defsms.mdb", {"Default one", "Default two"});
    const std::string other = MakePCDatabase("other.mdb", {"Other one"});
    StartPhone("");
    Open(SMS_SRC_PC);
    ASSERT_EQ(Texts(), (std::vector<std::string>{"Default one", "Default two"}));
    auto choose = [](const std::string& path) {
        SetFileDlgRunner([path](CQXFileDlg& d) {
            d.selectFile(QString::fromStdString(path));
            return IDOK;
        });
    };

    choose(other);
    PCMenu(CShortMsg::ID_OTHER_PC_DB);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Other one"}));
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "other.mdb");

    // A new file: an empty list; over an existing file only when confirmed.
    choose(PCPath("fresh.mdb"));
    PCMenu(CShortMsg::ID_NEW_PC_DB);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(FileExists(PCPath("fresh.mdb")));
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "fresh.mdb");
    choose(other);
    app.dialogResult = IDNO;
    PCMenu(CShortMsg::ID_NEW_PC_DB);
    EXPECT_EQ(Boxes().back(), Text(31317, {QString::fromStdString(other)}));
    EXPECT_EQ(Rows(other).size(), 1u);
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "fresh.mdb");

    choose(PCPath("defsms.mdb"));
    PCMenu(CShortMsg::ID_OTHER_PC_DB);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Default one", "Default two"}));
    EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), "defsms.mdb");
}

// ---- A request that changes the phone's message store, its answer lost or cut ----------

// The phone carries the request out but its answer never comes (drop) or
// stops half-way (cut), in the middle of a run started from the screen.
// The user hears that the phone did not answer and that, asked again, it
// holds the change; the run goes on with the next message; the list and
// the mirror show what the phone holds.
enum class SilentRequest { CopyToSIM, Deletion, LongDeletion };

struct SilentMessageCase {
    const char* name;
    SilentRequest request;
    const char* fault;
};

void PrintTo(const SilentMessageCase& c, std::ostream* os) { *os << c.name; }

class SilentMessageChange : public ShortMsgStoreTest, public ::testing::WithParamInterface<SilentMessageCase> {
protected:
    static std::vector<std::string> Sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }
    std::vector<std::string> PhoneTexts()
    {
        std::vector<std::string> out;
        for (const Row& r : PhoneMessages())
            out.push_back(r.text);
        return Sorted(out);
    }
    int RowOf(const std::string& text)
    {
        const std::vector<std::string> texts = Texts();
        const auto at = std::find(texts.begin(), texts.end(), text);
        return at == texts.end() ? -1 : static_cast<int>(at - texts.begin());
    }
    std::string Fault(const std::string& prefix, int nth) const
    {
        return std::string("fault ") + GetParam().fault + " " + prefix + " " + std::to_string(nth);
    }
};

TEST_P(SilentMessageChange, IsToldUnansweredTheRunGoesOnAndTheListShowsWhatThePhoneHolds)
{
    const SilentMessageCase& c = GetParam();
    DialogScript script;
    switch (c.request) {
    case SilentRequest::CopyToSIM: {
        // Three of four PC messages copied into the SIM; the phone stores
        // the second without a word.
        MakePCDatabase("defsms.mdb", {"Copy one", "Copy two", "Copy three", "Copy four"});
        StartPhone(Msg(1, 1, "Kept", 1), 10);
        Open(SMS_SRC_PC);
        ASSERT_EQ(Texts(), (std::vector<std::string>{"Copy one", "Copy two", "Copy three", "Copy four"}));
        zorqtest::ClickRows(screen->List(), {0, 1, 2});
        Pump();
        ASSERT_EQ(sim->command(Fault("+CMGW", 2)), "ok");
        script.Destination(SMS_DST_SIM);
        Click(CShortMsg::IDC_DST);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected(), 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"The phone did not answer while the message Copy two... was being "
                                                    "stored; asked again, it holds it."});
        EXPECT_EQ(PhoneTexts(), (std::vector<std::string>{"Copy one", "Copy three", "Copy two", "Kept"}));
        // Each copy once, each at its own place, the mirror place by place.
        EXPECT_EQ(Mirror(), PhoneMessages());
        Click(CShortMsg::IDC_SRC_SIM);
        EXPECT_EQ(Sorted(Texts()), PhoneTexts());
        break;
    }
    case SilentRequest::Deletion: {
        // Three of four deleted under "yes to all"; the phone deletes the
        // second without a word.
        StartPhone(Msg(1, 1, "Alpha", 1) + Msg(2, 1, "Bravo", 2) + Msg(3, 1, "Charlie", 3) + Msg(4, 1, "Delta", 4));
        Open(SMS_SRC_SIM);
        ASSERT_EQ(Texts(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta"}));
        const std::string silent = screen->List()->GetRowText(1, 0).toStdString();
        zorqtest::ClickRows(screen->List(), {0, 1, 2});
        Pump();
        ASSERT_EQ(sim->command(Fault("+CMGD=", 2)), "ok");
        script.Confirm(IDYESTOALL);
        Click(CShortMsg::IDC_DELETE);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected(), 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"The phone did not answer while \"" + silent +
                                                    "\" was being deleted; asked again, it no longer holds it."});
        EXPECT_EQ(PhoneMessages(), (std::vector<Row>{{4, 1, "Delta"}}));
        EXPECT_EQ(Mirror(), PhoneMessages());
        EXPECT_EQ(Texts(), PhoneTexts());
        break;
    }
    case SilentRequest::LongDeletion: {
        // A long message in two parts and a short one deleted under "yes to
        // all"; the phone deletes the long message's first part without a
        // word. A third message stays.
        StartPhone("message-pdu SM 1 1 " + Deliver("Hello ", 7, 2, 1) + "\nmessage-pdu SM 2 1 " +
                   Deliver("world", 7, 2, 2) + "\n" + Msg(3, 1, "Plain", 3) + Msg(4, 1, "Keep", 4));
        Open(SMS_SRC_SIM);
        ASSERT_EQ(Sorted(Texts()), (std::vector<std::string>{"Hello world", "Keep", "Plain"}));
        const int longRow = RowOf("Hello world"), plainRow = RowOf("Plain");
        const std::string silent = screen->List()->GetRowText(longRow, 0).toStdString();
        zorqtest::ClickRows(screen->List(), {std::min(longRow, plainRow), std::max(longRow, plainRow)});
        Pump();
        // The first part's deletion is the first of the run, or the second
        // after the short message's.
        ASSERT_EQ(sim->command(Fault("+CMGD=", longRow < plainRow ? 1 : 2)), "ok");
        script.Confirm(IDYESTOALL);
        Click(CShortMsg::IDC_DELETE);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected(), 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"The phone did not answer while \"" + silent +
                                                    "\" was being deleted; asked again, it no longer holds it."});
        EXPECT_EQ(PhoneMessages(), (std::vector<Row>{{4, 1, "Keep"}}));
        EXPECT_EQ(Mirror(), PhoneMessages());
        EXPECT_EQ(Texts(), PhoneTexts());
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(
    , SilentMessageChange,
    ::testing::Values(SilentMessageCase{"CopyToSIMLost", SilentRequest::CopyToSIM, "drop"},
                      SilentMessageCase{"CopyToSIMCut", SilentRequest::CopyToSIM, "cut"},
                      SilentMessageCase{"DeletionLost", SilentRequest::Deletion, "drop"},
                      SilentMessageCase{"DeletionCut", SilentRequest::Deletion, "cut"},
                      SilentMessageCase{"LongDeletionLost", SilentRequest::LongDeletion, "drop"},
                      SilentMessageCase{"LongDeletionCut", SilentRequest::LongDeletion, "cut"}),
    [](const ::testing::TestParamInfo<SilentMessageCase>& i) { return std::string(i.param.name); });
