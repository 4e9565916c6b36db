// The compose, open and send sequences of the message screen, clicked as a
// user clicks them, against the phone simulator: what reaches the phone,
// what is stored where, and what is kept when a send fails or is cancelled.
#include "sms_fixture.h"
#include "sent_pdus.h"
#include "../app/doc_fixture.h"
#include "../support/sms_pdu.h"

#include "confirm.h"
#include "deleterun.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgsend.h"
#include "dlgmsgtext.h"
#include "dlgprogress.h"
#include "dlgservicecenter.h"
#include "pccharset.h"
#include "qxpbsrcnewlist.h"
#include "serial.h"
#include "escape_key.h"
#include "modal_driver.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <sstream>

using smstest::Row;
using smstest::ShortMsgSimTest;

namespace {

using DialogScript = zorqtest::ModalDriver;

void ClickButton(QWidget* dlg, int id)
{
    auto* b = qobject_cast<QAbstractButton*>(static_cast<CDialog*>(dlg)->GetDlgItem(id));
    ASSERT_NE(b, nullptr) << id;
    ASSERT_TRUE(b->isEnabled()) << id;
    // Quick mouse clicks in a row would count as a double click.
    b->click();
}

// A destination address as an SMS-SUBMIT carries it: digit count, type,
// then the digits in swapped semi-octets.
std::string SubmitAddress(const std::string& number)
{
    const bool intl = !number.empty() && number[0] == '+';
    std::string digits = intl ? number.substr(1) : number;
    char head[8];
    std::snprintf(head, sizeof head, "%02X%s", static_cast<unsigned>(digits.size()), intl ? "91" : "81");
    if (digits.size() % 2)
        digits += 'F';
    std::string out = head;
    for (size_t k = 0; k < digits.size(); k += 2) {
        out += digits[k + 1];
        out += digits[k];
    }
    return out;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ComposeSequenceTest : public ShortMsgSimTest {
protected:
    void SetUp() override
    {
        ShortMsgSimTest::SetUp();
        g_nDeletePauseMs = 0;
        CMessage::SetResultPause(0);
    }
    void TearDown() override
    {
        serial_trace_stop();
        g_nDeletePauseMs = 500;
        CMessage::SetResultPause(1000);
        ShortMsgSimTest::TearDown();
    }
    // The phone with its profiles read, the screen on the PC's sent folder.
    void OpenSent(const std::vector<Row>& rows, const std::string& scenario = "")
    {
        PreparePhone(scenario);
        MakePCMessages(rows);
        WriteIniProfileInt("SMSMO", "Source", 0);
        Open(1);
        ASSERT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    }
    // The phone's message set-up and profiles as a detection leaves them.
    void PreparePhone(const std::string& scenario, int baud = 0)
    {
        StartSMS(scenario, baud);
        // Program and phone both take long messages (the phone says SMS=3.0).
        std::string dir = app.GetAppDir();
        if (!dir.empty() && dir.back() != '/')
            dir += '/';
        zorqtest::WriteVersionFile(dir, "PB=1.0,SMS=3.0,ST1=1.0");
        ASSERT_TRUE(app.RegisterVersionEditionNumber());
        doc->ParseMobileVersion("PB=1.0,SMS=3.0,ST1=1.0");
        doc->GetMSParam().st1_available = 1;
        doc->GetMSParam().profiles.lowest = 0;
        doc->GetMSParam().profiles.highest = 3;
        doc->SaveSMSparamConfig();
        serial_trace_start(host.folder);
    }
    void SelectRow(int location)
    {
        List()->DeselectAll();
        const int row = List()->FindRowByLocation(location);
        ASSERT_GE(row, 0);
        List()->SelectRow(row);
        screen->OnSelectionChanged();
    }
    void Click(int id)
    {
        auto* b = qobject_cast<QPushButton*>(screen->GetDlgItem(id));
        ASSERT_NE(b, nullptr) << id;
        ASSERT_TRUE(b->isEnabled()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    // What went out on the line so far (the program's AT trace).
    std::string Line()
    {
        serial_trace_stop();
        const std::string text = zorqtest::ReadFile(host.folder + "debugAT.txt");
        serial_trace_start(host.folder);
        return text;
    }
    // How many SMS-SUBMITs went to that number.
    size_t SentTo(const std::string& number) { return Count(Line(), SubmitAddress(number)); }

    // The screen on the SIM's received folder (the SIM counted as read),
    // with an empty PC message database beside it.
    void OpenReceivedOnSIM()
    {
        PreparePhone("clear-messages SM\n");
        MakePCMessages({});
        doc->SetSIMSMSRead(1);
        WriteIniProfileInt("SMSMT", "Source", 1);
        Open(0);
        ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    }
    // Receives one message given as an SMS-DELIVER and selects its row.
    void Receive(const std::string& pdu)
    {
        const int before = List()->GetRowCount();
        ASSERT_EQ(sim->command("sms-receive-pdu SM " + pdu), "ok");
        ASSERT_TRUE(Until([&] { return doc->GetNewMsgCount() == 0 && List()->GetRowCount() == before + 1; }, 8000));
        List()->DeselectAll();
        List()->SelectRow(0);
        screen->OnSelectionChanged();
    }
    // One open sequence from the selected row: the edit step keeps the text
    // (or puts `text`), the directory adds Alice from the SIM phonebook when
    // asked, and the send dialog sends (`store`: and stores in the PC).
    void OpenAndSend(bool addAlice, bool store, const QString& text = QString())
    {
        DialogScript s;
        s.On<CDlgMsgEdit>([text](CDlgMsgEdit* d) {
            if (!text.isNull())
                d->TextEdit()->setPlainText(text);
            ClickButton(d, IDOK);
        });
        s.On<CDlgMsgDirectory>([addAlice](CDlgMsgDirectory* d) {
            d->FirstLoad();
            if (addAlice) {
                d->Pane()->GetListCtrl()->SelectRow(BookRow(d, "Alice"));
                ClickButton(d, 1101);
            }
            ClickButton(d, IDOK);
        });
        s.On<CDlgMsgSend>([store](CDlgMsgSend* d) {
            if (store) {
                ClickButton(d, 1104);
                ClickButton(d, 1058);
            }
            ClickButton(d, IDOK);
        });
        Click(1033);
        EXPECT_TRUE(s.Done());
    }
    // The blocks sent since `from`: each must go to Alice with coding
    // `dcs`; with several, they carry one reference and sequences 1..n of n.
    // Returns their texts joined (UCS2 as PC text).
    std::string Blocks(size_t from, size_t count, int dcs)
    {
        const std::vector<smstest::SentPdu> sent = smstest::SentPdus(*sim);
        EXPECT_EQ(sent.size(), from + count);
        std::string text;
        for (size_t k = from; k < sent.size(); ++k) {
            const phonesim::Tpdu& t = sent[k].tpdu;
            SCOPED_TRACE(k);
            EXPECT_EQ(t.addr.number, "+33612345678");
            EXPECT_EQ(t.dcs, dcs);
            const std::string concat = smstest::ConcatOf(t);
            if (count == 1) {
                EXPECT_EQ(concat, "");
            } else {
                const std::string ref = smstest::ConcatOf(sent[from].tpdu);
                EXPECT_EQ(concat.substr(0, concat.find(' ')), ref.substr(0, ref.find(' ')));
                EXPECT_EQ(concat.substr(concat.find(' ') + 1),
                          std::to_string(count) + " " + std::to_string(k - from + 1));
            }
            text += dcs == 8 ? smstest::FromUcs2(t.ud) : t.ud;
        }
        return text;
    }

    // The edit step of the open sequence: the text as it is.
    static void KeepText(DialogScript& s)
    {
        s.On<CDlgMsgEdit>([](CDlgMsgEdit* d) { QTest::mouseClick(d->GetDlgItem(IDOK), Qt::LeftButton); });
    }
    // The selected stored message sent again as it is, with the boxes of
    // this send only. Returns how many times the send dialog came back
    // (asked first and answered No), each closed with Cancel.
    int SendSelectedAgain()
    {
        app.shown.clear();
        DialogScript once;
        KeepText(once);
        once.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
            d->FirstLoad();
            ClickButton(d, IDOK);
        });
        once.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
        once.CancelUnexpected<CDlgMsgSend>();
        Click(1033);
        EXPECT_TRUE(once.Done());
        return once.Unexpected();
    }
    static int BookRow(CDlgMsgDirectory* d, const QString& name)
    {
        CEntryListCtrl* l = d->Pane()->GetListCtrl();
        for (int r = 0; r < l->GetRowCount(); ++r)
            if (l->GetRowText(r, 0) == name)
                return r;
        return -1;
    }
    static std::vector<std::string> Shown(CDlgMsgDirectory* d)
    {
        std::vector<std::string> out;
        for (int r = 0; r < d->RecipientList()->GetRowCount(); ++r)
            out.push_back(d->RecipientList()->GetRowText(r, 1).toStdString());
        return out;
    }
};

}  // namespace

TEST_F(ComposeSequenceTest, SendAgainReachesOnlyTheRecipientsLeftInTheDirectory)
{
    OpenSent({{1, 3, "Zed@0699887766\r\n", "Meet at noon", 0}});
    SelectRow(1);
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([this](CDlgMsgDirectory* d) {
        d->FirstLoad();
        // Alice from the SIM joins; Zed, the old recipient, is removed.
        d->Pane()->GetListCtrl()->SelectRow(BookRow(d, "Alice"));
        ClickButton(d, 1101);
        EXPECT_EQ(Shown(d), (std::vector<std::string>{"0699887766", "+33612345678"}));
        d->RecipientList()->SelectRow(0);
        ClickButton(d, 1102);
        EXPECT_EQ(Shown(d), (std::vector<std::string>{"+33612345678"}));
        ClickButton(d, IDOK);
    });
    s.On<CDlgConfirm>([](CDlgConfirm* c) { c->EndDialog(IDYES); });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(d->GetDlgItem(1103))->isChecked());
        EXPECT_NE(d->Profiles()->GetSelectedProfile(), nullptr);
        EXPECT_FALSE(zorqtest::SaveScreen(d, QStringLiteral("sms_send_again")).isEmpty());
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_EQ(SentTo("+33612345678"), 1u);
    EXPECT_EQ(SentTo("0699887766"), 0u);
}

TEST_F(ComposeSequenceTest, CancelMidwayKeepsTheRecipientsNotServed)
{
    OpenSent({{1, 3, "Ann@0601\r\nBen@0602\r\nCid@0603\r\n", "Three of you", 0}});
    SelectRow(1);
    // The simulator answers at once: the pause after each result keeps the
    // first recipient in hand until the script's cancel has landed.
    CMessage::SetResultPause(300);
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
    // Cancel while the first recipient is being served.
    s.On<CDlgProgressText>([](CDlgProgressText* p) { p->OnCancel(); });
    std::vector<std::string> kept;
    s.On<CDlgMsgDirectory>([&kept](CDlgMsgDirectory* d) {
        d->FirstLoad();
        kept = Shown(d);
        ClickButton(d, IDCANCEL);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    // Back in the directory with exactly the recipients not served.
    EXPECT_EQ(SentTo("0601"), 1u);
    ASSERT_FALSE(kept.empty());
    size_t served = 0;
    for (const char* n : {"0601", "0602", "0603"})
        served += SentTo(n);
    EXPECT_EQ(served + kept.size(), 3u);
    for (const std::string& n : kept)
        EXPECT_EQ(SentTo(n), 0u) << n;
    ASSERT_FALSE(app.shown.empty());
    EXPECT_EQ(app.shown.back().text.trimmed().toStdString(), Text(31752));
}

// The phone sends the message, but its answer to AT+CMGS= is lost. The user
// is told that the phone did not answer and that the message may have been
// sent, never "The message could not be sent."; the send dialog comes back,
// and sending the same message again asks first: No sends nothing, Yes
// sends it once more. One lost answer does not lose the phone.
TEST_F(ComposeSequenceTest, ASendThePhoneDidNotAnswerIsToldUnconfirmedAndSendingItAgainAsksFirst)
{
    OpenSent({{1, 3, "Ann@0601\r\n", "Once only", 0}});
    SelectRow(1);
    ASSERT_EQ(sim->command("fault drop +CMGS="), "ok");
    auto onPhone = [this] { return sim->listing("sent").size(); };
    auto texts = [this] {
        std::vector<std::string> out;
        for (const auto& b : app.shown)
            out.push_back(b.text.trimmed().toStdString());
        return out;
    };
    auto send = [](CDlgMsgSend* d) { ClickButton(d, IDOK); };
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>(send);
    size_t afterFirst = 0, afterNo = 0;
    bool askedTwice = false;
    std::vector<std::string> toldFirst, toldNo;
    bool linkedAfterFirst = false;
    s.On<CDlgMsgSend>([&](CDlgMsgSend* d) {
        afterFirst = onPhone();
        toldFirst = texts();
        linkedAfterFirst = gv_SPIO_com_status == SPIO_com_available;
        app.systemResult = app.dialogResult = IDNO;
        send(d);
    });
    s.On<CDlgMsgSend>([&](CDlgMsgSend* d) {
        askedTwice = true;
        afterNo = onPhone();
        toldNo = texts();
        app.systemResult = app.dialogResult = IDYES;
        send(d);
    });
    // Sent at last, the sequence is over: a send dialog once more is a fault.
    bool backOnceMore = false;
    s.On<CDlgMsgSend>([&](CDlgMsgSend* d) {
        backOnceMore = true;
        ClickButton(d, IDCANCEL);
    });
    Click(1033);
    EXPECT_FALSE(backOnceMore);
    ASSERT_TRUE(askedTwice) << "the send dialog did not come back after the answer was lost";
    EXPECT_EQ(afterFirst, 1u) << "the phone did not send the message";
    EXPECT_EQ(toldFirst, (std::vector<std::string>{Text(31922)}));
    EXPECT_TRUE(linkedAfterFirst);
    EXPECT_EQ(afterNo, 1u) << "sent again although the user said no";
    EXPECT_EQ(toldNo, (std::vector<std::string>{Text(31922), Text(31923)}));
    EXPECT_EQ(onPhone(), 2u);
    EXPECT_EQ(texts(), (std::vector<std::string>{Text(31922), Text(31923), Text(31923)}));
    for (const std::string& t : texts())
        EXPECT_NE(t, Text(31758));
}

// A long message whose second block's answer is lost: the first block went,
// the second may have. The user cancels the recipients dialog that comes
// back, so the message is kept unsent in the PC database; the screen is
// closed and opened again on the file (nothing of the send is left in
// memory), and sending the kept message asks first: No sends nothing.
TEST_F(ComposeSequenceTest, ALongMessageSentInPartWithItsAnswerLostIsKeptMarkedAndSendingItLaterAsksFirst)
{
    OpenSent({{1, 3, "Ann@0601\r\n", "old", 0}});
    SelectRow(1);
    ASSERT_EQ(sim->command("fault drop +CMGS= 2"), "ok");
    const QString text = QStringLiteral("Part ") + QString(153 * 2, QLatin1Char('p'));  // three parts
    DialogScript s;
    s.On<CDlgMsgEdit>([text](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(text);
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDCANCEL);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31922)}));
    // Both blocks reached the phone: the second went out although its
    // answer never came.
    EXPECT_EQ(smstest::SentPdus(*sim).size(), 2u);
    std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].type, 2);
    EXPECT_EQ(rows[1].text, text.toStdString());
    const int kept = rows[1].location;

    // The screen again, on what the file holds.
    Close();
    app.shown.clear();
    Open(1);
    SelectRow(kept);
    app.systemResult = app.dialogResult = IDNO;
    EXPECT_EQ(SendSelectedAgain(), 1) << "No leaves the send dialog up";
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31923)}));
    EXPECT_EQ(smstest::SentPdus(*sim).size(), 2u) << "sent again although the user said no";
    // The rows read as an earlier version reads them: the same two.
    rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].text, text.toStdString());
    EXPECT_EQ(rows[1].type, 2);

    // Yes sends it whole with the phone's answers: the next send of it
    // asks nothing.
    app.systemResult = app.dialogResult = IDYES;
    SelectRow(kept);
    EXPECT_EQ(SendSelectedAgain(), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31923)}));
    EXPECT_EQ(smstest::SentPdus(*sim).size(), 5u);
    app.systemResult = app.dialogResult = IDNO;
    SelectRow(kept);
    EXPECT_EQ(SendSelectedAgain(), 0) << "asked again after a confirmed send";
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(smstest::SentPdus(*sim).size(), 8u);
}

// "Send and store" in the SIM, the answer to the send lost: the phone sent
// the message and stored it; the user is told it may have been sent. The
// screen is closed, the phone detected again (the SIM mirror is made
// afresh, nothing of the send is left in memory) and the screen opened on
// the SIM's sent folder: sending the stored message asks first, and No
// sends nothing.
TEST_F(ComposeSequenceTest, ASendAndStoreInTheSimWithItsAnswerLostAsksFirstWhenSentAgainAfterTheSimIsReadAgain)
{
    PreparePhone("clear-messages SM\n");
    MakePCMessages({{1, 3, "Ann@0601\r\n", "Only once, please", 0}});
    doc->SetSIMSMSRead(1);
    WriteIniProfileInt("SMSMO", "Source", 0);
    Open(1);
    SelectRow(1);
    ASSERT_EQ(sim->command("fault drop +CMGS="), "ok");
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        ClickButton(d, 1104);  // send and store
        ClickButton(d, 1059);  // in the SIM
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31922)}));
    EXPECT_EQ(sim->listing("sent").size(), 1u) << "the phone did not send it";
    const std::string stored = engine_test::dump_lines(*sim, "message SM");
    ASSERT_NE(stored.find("Only once, please"), std::string::npos) << stored;

    // The screen closed, the phone found again as at a start.
    Close();
    app.m_pMainWnd = nullptr;
    app.shown.clear();
    doc->mmi_NewMobileDetect(false);
    ASSERT_EQ(gv_SPIO_com_status, SPIO_com_available);
    ASSERT_FALSE(doc->IsSIMSMSRead(SMS_SRC_SIM));
    WriteIniProfileInt("SMSMO", "Source", 1);
    Open(1);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    ASSERT_TRUE(Until([this] { return List()->GetRowCount() == 1; }, 20000));
    List()->DeselectAll();
    List()->SelectRow(0);
    screen->OnSelectionChanged();
    app.systemResult = app.dialogResult = IDNO;
    EXPECT_EQ(SendSelectedAgain(), 1) << "No leaves the send dialog up";
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31923)}));
    EXPECT_EQ(sim->listing("sent").size(), 1u) << "sent again although the user said no";

    // Yes sends it, and the phone confirms it: its last send is no longer
    // in doubt, so the next send of it asks nothing.
    app.systemResult = app.dialogResult = IDYES;
    EXPECT_EQ(SendSelectedAgain(), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31923)}));
    EXPECT_EQ(sim->listing("sent").size(), 2u);
    app.systemResult = app.dialogResult = IDNO;
    EXPECT_EQ(SendSelectedAgain(), 0) << "asked again after a confirmed send";
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(sim->listing("sent").size(), 3u);
}

// A message database written before sends were marked: its stored message
// goes out at once, without a question, and the file keeps its tables as
// they were. A confirmed send leaves no mark behind it either.
TEST_F(ComposeSequenceTest, ADatabaseFromBeforeTheMarkSendsItsMessagesWithoutAskingAndKeepsItsTables)
{
    OpenSent({{1, 2, "Ann@0601\r\n", "Stored before", 0}});
    auto tables = [this] {
        CDaoDatabase db;
        db.Open(PC(), false, true);
        std::vector<std::string> names = db.GetTableDefNames();
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = tables();
    SelectRow(1);
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        ClickButton(d, 1104);
        ClickButton(d, 1058);
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(SentTo("0601"), 1u);
    EXPECT_EQ(tables(), before);
    const std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "Stored before");
    EXPECT_EQ(rows[1].type, 3);
}

// The phone goes away while the recipients dialog stands: the send dialog
// then offers to store only, and the message the user meant to send is
// stored in the PC database. The user is told it was stored, not sent.
TEST_F(ComposeSequenceTest, ThePhoneGoneBeforeTheSendDialogStoresTheMessageAndSaysSo)
{
    OpenSent({{1, 3, "Ann@0601\r\n", "Gone", 0}});
    SelectRow(1);
    bool lossKnown = false, sendOffered = true;
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([&](CDlgMsgDirectory* d) {
        d->FirstLoad();
        EXPECT_EQ(sim->command("unplug"), "ok");
        lossKnown = Until([] { return gv_SPIO_com_status == SPIO_no_com_available; }, 20000);
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([&](CDlgMsgSend* d) {
        sendOffered = d->GetDlgItem(1103)->isEnabled();
        ClickButton(d, 1058);  // in the PC
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    ASSERT_TRUE(lossKnown);
    EXPECT_FALSE(sendOffered);
    const std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].type, 2);
    EXPECT_EQ(rows[1].text, "Gone");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31952)}));
}

TEST_F(ComposeSequenceTest, EverySendFailingKeepsTheMessageUnsent)
{
    OpenSent({{1, 3, "Ann@0601\r\nBen@0602\r\n", "Twice", 0}});
    sim->command("set send-error 38");
    SelectRow(1);
    DialogScript s;
    KeepText(s);
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
    std::vector<std::string> kept;
    s.On<CDlgMsgDirectory>([&kept](CDlgMsgDirectory* d) {
        d->FirstLoad();
        kept = Shown(d);
        ClickButton(d, IDCANCEL);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_EQ(SentTo("0601") + SentTo("0602"), 2u);  // tried, refused
    EXPECT_EQ(kept, (std::vector<std::string>{"0601", "0602"}));
    ASSERT_FALSE(app.shown.empty());
    EXPECT_EQ(app.shown.back().text.trimmed().toStdString(), Text(31758));
    // Nothing was stored as sent.
    EXPECT_EQ(ReadRows(PC()).size(), 1u);
}

TEST_F(ComposeSequenceTest, ALongMessageCutShortByAnUnplugSaysHowManyPartsWentAndStaysUnsent)
{
    OpenSent({{1, 3, "Ann@0601\r\n", "old", 0}});
    SelectRow(1);
    // The cable is pulled once the phone has answered the fourth part.
    ASSERT_EQ(sim->command("set unplug-after-sends 4"), "ok");
    const QString text = QString(153 * 4 + 40, QLatin1Char('y'));  // five parts
    DialogScript s;
    s.On<CDlgMsgEdit>([text](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(text);
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
    // The message comes back with its recipient, not sent. By then the
    // loss is known, and the program's loop first re-detects quietly (no
    // phone); that is done here as the loop does it.
    std::vector<std::string> kept;
    bool lossKnown = false;
    s.On<CDlgMsgDirectory>([&](CDlgMsgDirectory* d) {
        lossKnown = gv_SPIO_com_status == SPIO_no_com_available && doc->TakeLinkChange();
        if (lossKnown)
            doc->mmi_NewMobileDetect(false);
        d->FirstLoad();
        kept = Shown(d);
        ClickButton(d, IDCANCEL);
    });
    // Without the phone the directory's phonebook falls back to the PC; the
    // PC phonebook is not there, which is told, and the directory offers to
    // make or open one: the user closes that menu.
    s.On<QMenu>([](QMenu* m) { QTest::keyClick(m, Qt::Key_Escape); });
    Click(1033);
    EXPECT_TRUE(s.Done());
    EXPECT_TRUE(lossKnown);
    EXPECT_EQ(smstest::SentPdus(*sim).size(), 4u);
    // One box telling how many parts went, nothing stacked on it; then the
    // directory's missing phonebook.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31762, {QStringLiteral("4"), QStringLiteral("5")}),
                                                 Text(31891, {QStringLiteral("...Database/defpb.mdb")})}));
    EXPECT_EQ(kept, (std::vector<std::string>{"0601"}));
    // Nothing was stored as sent: the message, cancelled after the cut, is
    // kept unsent with its recipient beside the old one.
    const std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "old");
    EXPECT_EQ(rows[1].text, text.toStdString());
    EXPECT_EQ(rows[1].type, 2);
    EXPECT_NE(rows[1].addr.find("0601"), std::string::npos) << rows[1].addr;
}

TEST_F(ComposeSequenceTest, ComposeWithoutRecipientStoresInThePCDatabase)
{
    OpenSent({});
    app.systemResult = IDYES;  // no recipient: only store it
    app.dialogResult = IDYES;
    DialogScript s;
    s.On<CDlgMsgEdit>([](CDlgMsgEdit* d) {
        QTest::keyClicks(d->TextEdit(), QStringLiteral("Shopping list"));
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        // Without a recipient the message can only be stored.
        EXPECT_FALSE(d->GetDlgItem(1103)->isEnabled());
        EXPECT_FALSE(d->GetDlgItem(1104)->isEnabled());
        EXPECT_EQ(d->Mode(), 1);
        ClickButton(d, 1058);
        ClickButton(d, IDOK);
    });
    Click(1028);
    EXPECT_TRUE(s.Done());
    const std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, 2);
    EXPECT_EQ(rows[0].text, "Shopping list");
    // The sent folder of the PC shows it.
    EXPECT_EQ(List()->GetRowCount(), 1);
    EXPECT_EQ(Count(Line(), "AT+CMGS"), 0u);
}

TEST_F(ComposeSequenceTest, StoreInThePhoneAndRefusalForALongMessage)
{
    OpenSent({});
    app.systemResult = IDYES;
    app.dialogResult = IDYES;
    DialogScript s;
    s.On<CDlgMsgEdit>([](CDlgMsgEdit* d) {
        QTest::keyClicks(d->TextEdit(), QStringLiteral("Keep me"));
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        ClickButton(d, 1059);
        EXPECT_EQ(d->Destination(), SMS_DST_SIM);
        ClickButton(d, IDOK);
    });
    const std::string before = engine_test::dump_lines(*sim, "message SM");
    Click(1028);
    EXPECT_TRUE(s.Done());
    const std::string after = engine_test::dump_lines(*sim, "message SM");
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("Keep me"), std::string::npos);

    // A long text cannot go to the SIM: its destination is refused.
    DialogScript s2;
    s2.On<CDlgMsgEdit>([](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(QString(200, QLatin1Char('L')));
        ClickButton(d, IDOK);
    });
    s2.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s2.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        EXPECT_FALSE(d->GetDlgItem(1059)->isEnabled());
        EXPECT_EQ(d->Destination(), SMS_DST_PC);
        ClickButton(d, IDCANCEL);
    });
    Click(1028);
    EXPECT_TRUE(s2.Done());
}

// A message stored in the SIM from the compose sequence: the phone stores
// it but its answer is lost, or cut half-way. The user hears that the phone
// did not answer and that, asked again, it holds the message; the SIM's
// list shows it; the next message stored lands beside it.
TEST_F(ComposeSequenceTest, AMessageStoredInTheSIMWhoseAnswerIsLostOrCutIsFoundThereAndListed)
{
    PreparePhone("clear-messages SM\n");
    MakePCMessages({});
    doc->SetSIMSMSRead(1);
    WriteIniProfileInt("SMSMO", "Source", 1);
    Open(1);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    app.systemResult = IDYES;
    app.dialogResult = IDYES;
    auto store = [this](const QString& text) {
        DialogScript s;
        s.On<CDlgMsgEdit>([text](CDlgMsgEdit* d) {
            QTest::keyClicks(d->TextEdit(), text);
            ClickButton(d, IDOK);
        });
        s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
            d->FirstLoad();
            ClickButton(d, IDOK);
        });
        s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
            ClickButton(d, 1059);
            ClickButton(d, IDOK);
        });
        Click(1028);
        EXPECT_TRUE(s.Done());
    };
    // The texts the SIM holds, and those its list shows, each sorted.
    auto phone = [this] {
        std::vector<std::string> out;
        std::istringstream lines(engine_test::dump_lines(*sim, "message SM"));
        for (std::string line; std::getline(lines, line);) {
            size_t q = line.find('"');
            for (int k = 0; k < 3 && q != std::string::npos; ++k)
                q = line.find('"', q + 1);
            if (q != std::string::npos)
                out.push_back(line.substr(q + 2));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    auto listed = [this] {
        std::vector<std::string> out;
        for (int r = 0; r < List()->GetRowCount(); ++r)
            out.push_back(List()->GetRowText(r, 2).toStdString());
        std::sort(out.begin(), out.end());
        return out;
    };
    std::vector<std::string> expected;
    for (const std::string fault : {"drop", "cut"}) {
        SCOPED_TRACE(fault);
        app.shown.clear();
        ASSERT_EQ(sim->command("fault " + fault + " +CMGW"), "ok");
        // What the user was told (the questions on the way left out).
        auto shown = [this] {
            std::vector<std::string> out;
            for (const auto& box : app.shown)
                if (box.type == MB_OK)
                    out.push_back(box.text.trimmed().toStdString());
            return out;
        };
        store(QString::fromStdString("Kept " + fault));
        const std::vector<std::string> told{"The phone did not answer while the message Kept " + fault +
                                            "... was being stored; asked again, it holds it."};
        EXPECT_EQ(shown(), told);
        store(QString::fromStdString("After " + fault));
        EXPECT_EQ(shown(), told) << "the next message stored said something";
        expected.push_back("Kept " + fault);
        expected.push_back("After " + fault);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(phone(), expected);
        EXPECT_EQ(listed(), phone());
    }
}

TEST_F(ComposeSequenceTest, LongMessageToTwoSentAndStoredInThePC)
{
    OpenSent({{1, 3, "Ann@0601\r\nBen@0602\r\n", "old", 0}});
    SelectRow(1);
    const QString text = QString(300, QLatin1Char('x'));
    DialogScript s;
    s.On<CDlgMsgEdit>([text](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(text);
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        ClickButton(d, 1104);
        ClickButton(d, 1058);
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    // Two blocks to each.
    EXPECT_EQ(SentTo("0601"), 2u);
    EXPECT_EQ(SentTo("0602"), 2u);
    const std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].type, 3);
    EXPECT_EQ(rows[1].text, text.toStdString());
    EXPECT_EQ(rows[1].addr, "Ann@0601\r\nBen@0602\r\n");
    EXPECT_EQ(List()->GetRowCount(), 2);
}

// A PC file already past 250 messages, with a hole and rows beyond 256:
// two copies from the SIM through the screen and one message stored from
// the open sequence take places of their own above 256, and not one row
// that was there is replaced or changed.
TEST_F(ComposeSequenceTest, OverThreeHundredPCMessagesCopiedAndStoredWithoutReplacingAny)
{
    std::vector<Row> before;
    for (int loc = 1; loc <= 257; ++loc)
        if (loc != 100 && (loc <= 250 || loc == 252 || loc == 256 || loc == 257))
            before.push_back({loc, loc % 2, "Pat@06" + std::to_string(loc) + "\r\n", "PC " + std::to_string(loc), 0});
    // Half of them unread: each of the two listings brings twenty.
    std::string scenario = "message-store SM 40\n";
    for (int i = 1; i <= 40; ++i)
        scenario += "message SM " + std::to_string(i) + " " + std::to_string(i % 2) + " +336222" + std::to_string(10000 + i) +
                    " \"24/05/06,14:" + std::to_string(10 + i % 50) + ":00+08\" Sim " + std::to_string(i) + "\n";
    // Paced as a cable paces it: a phone that sends a long listing at once
    // can flood the engine's message pool.
    PreparePhone(scenario, 115200);
    MakePCMessages(before);
    WriteIniProfileInt("SMSMT", "Source", SMS_SRC_SIM);
    WriteIniProfileInt("SMSMT", "ComboSort", 0);
    Open(0);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_SIM);
    ASSERT_EQ(List()->GetRowCount(), 40);

    // Ten messages, then every message of the SIM (kept beside the PC rows).
    List()->DeselectAll();
    std::multiset<std::string> copied;
    for (int r = 0; r < 10; ++r) {
        List()->SelectRow(r);
        copied.insert(List()->GetRowText(r, 2).toStdString());
    }
    screen->OnSelectionChanged();
    screen->OnCommand(CShortMsg::ID_COPY_PC);
    screen->OnColumnClick();
    for (int r = 0; r < 40; ++r)
        copied.insert(List()->GetRowText(r, 2).toStdString());
    screen->mirrorAnswer = 1;
    screen->OnCommand(CShortMsg::ID_COPY_PC);
    EXPECT_EQ(screen->mirrorAsked, 1);

    // Forwarded without a recipient: stored in the PC file.
    app.systemResult = IDYES;
    app.dialogResult = IDYES;
    SelectRow(5);
    DialogScript s;
    s.On<CDlgMsgEdit>([](CDlgMsgEdit* d) {
        d->TextEdit()->setPlainText(QStringLiteral("Stored from the screen"));
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) {
        ClickButton(d, 1058);
        ClickButton(d, IDOK);
    });
    Click(1033);
    EXPECT_TRUE(s.Done());
    copied.insert("Stored from the screen");

    const std::vector<Row> after = ReadRows(PC());
    ASSERT_EQ(after.size(), before.size() + 51);
    std::map<int, Row> byLocation;
    for (const Row& r : after)
        EXPECT_TRUE(byLocation.emplace(r.location, r).second) << r.location;
    for (const Row& r : before) {
        ASSERT_EQ(byLocation.count(r.location), 1u) << r.location;
        const Row& now = byLocation[r.location];
        EXPECT_EQ(now.type, r.type) << r.location;
        EXPECT_EQ(now.addr, r.addr) << r.location;
        EXPECT_EQ(now.text, r.text) << r.location;
        EXPECT_EQ(now.date, 46000.5 + r.location) << r.location;
        byLocation.erase(r.location);
    }
    // The new rows fill the hole, the free places up to 256, then go on.
    std::multiset<std::string> added;
    std::vector<int> places;
    for (const auto& [location, r] : byLocation) {
        added.insert(r.text);
        places.push_back(location);
    }
    std::vector<int> expected = {100, 251, 253, 254, 255};
    for (int loc = 258; loc <= 303; ++loc)
        expected.push_back(loc);
    EXPECT_EQ(places, expected);
    EXPECT_EQ(added, copied);
    EXPECT_EQ(byLocation[303].text, "Stored from the screen");
    EXPECT_EQ(byLocation[303].type, 2);

    // The PC source lists every received row.
    Click(CShortMsg::IDC_SRC_PC);
    EXPECT_EQ(List()->GetRowCount(), static_cast<int>(before.size()) + 50);
}

// A received UCS2 message forwarded, then sent again from the sent folder:
// both go as UCS2 with the received characters, in blocks of 67 characters
// (71 characters make two blocks, 134 two and 135 three).
TEST_F(ComposeSequenceTest, AForwardedUcs2MessageKeepsItsCodingThroughTheSentFolder)
{
    OpenReceivedOnSIM();
    // 38 characters, several of which the 7-bit alphabet cannot carry.
    std::string received = "\xC7" "a co\xFBte 12 \x80 \x97 \xE0 bient\xF4t, Zo\xEB";
    received += std::string(38 - received.size(), '!');
    Receive(DeliverOctets(0x08, smstest::ToUcs2(received)));
    EXPECT_EQ(List()->GetRowText(0, 2), PcToQString(received));

    // Forwarded to Alice, sent and stored in the PC's sent folder.
    OpenAndSend(true, true);
    const std::string forwarded = Text(31474) + "(+33612345678)\r\n" + received;
    ASSERT_EQ(forwarded.size(), 71u);
    EXPECT_EQ(Blocks(0, 2, 8), forwarded);
    std::vector<Row> rows = ReadRows(PC());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, 3);
    EXPECT_EQ(rows[0].coding, 2);
    EXPECT_EQ(rows[0].text, forwarded);

    // Reopened from the sent folder and sent again: the same.
    Close();
    WriteIniProfileInt("SMSMO", "Source", 0);
    Open(1);
    SelectRow(rows[0].location);
    OpenAndSend(false, false);
    EXPECT_EQ(Blocks(2, 2, 8), forwarded);
    // Its text replaced: still UCS2, 134 characters in two blocks, 135 in three.
    SelectRow(rows[0].location);
    OpenAndSend(false, false, QString(134, QLatin1Char('u')));
    EXPECT_EQ(Blocks(4, 2, 8), std::string(134, 'u'));
    SelectRow(rows[0].location);
    OpenAndSend(false, false, QString(135, QLatin1Char('v')));
    EXPECT_EQ(Blocks(6, 3, 8), std::string(135, 'v'));
}

// A UCS2 message of 10,000 characters kept on the PC, forwarded: the edit
// keeps what twenty messages carry, says what was left out, and the count
// it shows is what goes out (the line end after the sender takes two
// characters on the way out, as it does in the count).
TEST_F(ComposeSequenceTest, AForwardTooLongToGoWholeSendsWhatFitsAndSaysWhatWasLeftOut)
{
    std::string body;
    while (body.size() < 10000)
        body += "Zo\xEB \x97 \x80 d\xE9j\xE0 vu; ";
    body.resize(10000);
    PreparePhone("");
    MakePCMessages({{1, 1, "Zed@+33698765432\r\n", body, 0, 2}});
    WriteIniProfileInt("SMSMT", "Source", 0);
    Open(0);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    SelectRow(1);
    app.shown.clear();

    QString kept, blocks;
    std::vector<std::string> boxesInEdit;
    DialogScript s;
    s.On<CDlgMsgEdit>([&](CDlgMsgEdit* d) {
        kept = d->TextEdit()->toPlainText();
        blocks = d->BlockText();
        boxesInEdit = Boxes();
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        d->Pane()->GetListCtrl()->SelectRow(BookRow(d, "Alice"));
        ClickButton(d, 1101);
        ClickButton(d, IDOK);
    });
    s.On<CDlgMsgSend>([](CDlgMsgSend* d) { ClickButton(d, IDOK); });
    Click(1033);
    EXPECT_TRUE(s.Done());

    // The forward's first line names the sender; the message follows it.
    const qsizetype lineEnd = kept.indexOf(QLatin1Char('\n'));
    ASSERT_GT(lineEnd, 0);
    const std::string whole = QStringToPc(kept.left(lineEnd)) + "\r\n" + body;
    ASSERT_EQ(whole.substr(0, Text(31474).size()), Text(31474));
    const std::string fits = whole.substr(0, 20 * 67);
    EXPECT_EQ(boxesInEdit, (std::vector<std::string>{
                               Text(31990, {QString::number(fits.size()), QString::number(whole.size())})}));
    EXPECT_EQ(blocks.toStdString(), Text(31759, {QStringLiteral("20")}));
    EXPECT_EQ(Blocks(0, 20, 8), fits);
}

// A received 8-bit message forwarded goes as 8-bit data with the same
// octets: 141 characters make two blocks of 134 and 7 (one 7-bit message).
TEST_F(ComposeSequenceTest, AForwardedEightBitMessageKeepsItsCoding)
{
    OpenReceivedOnSIM();
    std::string received;
    for (int k = 0; k < 108; ++k)
        received += static_cast<char>(k % 2 ? 0xA1 + (k * 5) % 0x5F : 0x21 + (k * 7) % 0x5E);
    Receive(DeliverOctets(0x04, received));
    OpenAndSend(true, false);
    const std::string forwarded = Text(31474) + "(+33612345678)\r\n" + received;
    ASSERT_EQ(forwarded.size(), 141u);
    const std::vector<smstest::SentPdu> sent = smstest::SentPdus(*sim);
    EXPECT_EQ(Blocks(0, 2, 4), forwarded);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].tpdu.ud.size(), 134u);
}

// A stored message of a file written before codings were kept reads as
// 7-bit; a text 7-bit cannot carry still goes out whole, as UCS2.
TEST_F(ComposeSequenceTest, ATextSevenBitCannotCarryGoesAsUcs2)
{
    const std::string text = "No\xEBl \x97 \xE0 bient\xF4t `ok`";
    PreparePhone("");
    const std::string path =
        MakePCMessages({{1, 3, "Zed@+33612345678\r\n", text, 0}, {2, 2, "Ann@0601\r\n", "second", 0}});
    {
        CJetDatabase db;
        db.Open(path);
        db.ExecuteFixed("ALTER TABLE EntrySMS DROP COLUMN Coding");
    }
    WriteIniProfileInt("SMSMO", "Source", 0);
    Open(1);
    ASSERT_EQ(screen->SrcStorage(), SMS_SRC_PC);
    // The file lists as before, every row kept.
    ASSERT_EQ(List()->GetRowCount(), 2);
    SelectRow(1);
    OpenAndSend(false, false);
    EXPECT_EQ(Blocks(0, 1, 8), text);
    // A plain text stays 7-bit.
    SelectRow(1);
    OpenAndSend(false, false, QStringLiteral("Plain @ \u00A3 text"));
    EXPECT_EQ(Blocks(1, 1, 0).size(), 14u);
    const std::vector<Row> rows = ReadRows(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, text);
    EXPECT_EQ(rows[1].text, "second");
}

// A coding octet with a message class still names its alphabet: the rows
// keep UCS2 and 8-bit, and UCS2 reads as PC characters ('?' for one the PC
// set has none for).
TEST_F(ComposeSequenceTest, ReceivedCodingsWithAClassAreKeptWithTheirRows)
{
    OpenReceivedOnSIM();
    Receive(DeliverOctets(0x18, std::string("\x04\x1F\x00o\x00k\x00\xEB", 8)));
    Receive(DeliverOctets(0xF4, "\x01\x02\xFFz"));
    const std::vector<Row> rows = ReadRows(GetSMSimSIMPath(1));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].coding, 2);
    EXPECT_EQ(rows[0].text, "?ok\xEB");
    EXPECT_EQ(rows[1].coding, 1);
    EXPECT_EQ(rows[1].text, "\x01\x02\xFFz");
}

// Escape in the write, directory and send dialogs, pressed where the focus
// is: each dialog goes as with Cancel, nothing is stored or sent, no window
// stays behind.
TEST_F(ComposeSequenceTest, EscapeInEachWriteDialogEndsItAsCancel)
{
    OpenSent({});
    const auto before = zorqtest::ShownWindows();
    {
        auto escape = zorqtest::EscapeNextOf<CDlgMsgEdit>();
        Click(1028);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape));
        EXPECT_FALSE(escape->leftOpen) << "the write dialog stayed up";
    }
    {
        DialogScript s;
        s.On<CDlgMsgEdit>([](CDlgMsgEdit* d) {
            QTest::keyClicks(d->TextEdit(), QStringLiteral("Never sent"));
            ClickButton(d, IDOK);
        });
        auto escape = zorqtest::EscapeNextOf<CDlgMsgDirectory>();
        Click(1028);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape));
        EXPECT_TRUE(s.Done());
        EXPECT_FALSE(escape->leftOpen) << "the directory stayed up";
    }
    EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(ReadRows(PC()).empty());
    EXPECT_EQ(Count(Line(), "AT+CMGS"), 0u);
    EXPECT_EQ(List()->GetRowCount(), 0);
}
