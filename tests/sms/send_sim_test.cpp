// Sending and storing messages against the phone simulator: what reaches
// the phone block by block, failures, cancel, storing, and the windows
// staying alive while the worker thread runs the requests.
#include "../phonebook/pb_fixture.h"

#include "dlgprogress.h"
#include "gsm_alphabet.h"
#include "message.h"
#include "profile.h"
#include "sent_pdus.h"

#include <QApplication>
#include <QTimer>

#include <set>
#include <sstream>

using pbtest::PhonebookSimTest;
using smstest::FromUcs2;
using smstest::SentPdu;

namespace {

// Counts its repaints.
class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

std::string Letters(size_t n)
{
    std::string s;
    for (size_t k = 0; k < n; ++k)
        s += static_cast<char>('a' + k % 26);
    return s;
}

class SendSimTest : public PhonebookSimTest {
protected:
    void SetUp() override
    {
        PhonebookSimTest::SetUp();
        for (const char* table : {"GSMToWin.cvt", "WinToGSM.cvt"})
            zorqtest::CopyFile(zorqtest::BuiltProgramDir() + "/Files/" + table, host.folder + table);
        CMessage::SetResultPause(0);
    }
    void TearDown() override
    {
        CMessage::SetResultPause(1000);
        PhonebookSimTest::TearDown();
    }
    void StartSms(const std::string& scenario = "")
    {
        Start(scenario);
        gv_SPIO_com_status = 2;
        SMS_STORAGE_INFO info;
        ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    }
    std::vector<smstest::SentPdu> Sent() { return smstest::SentPdus(*sim); }
    static std::string Udh(const phonesim::Tpdu& t)
    {
        std::string s;
        for (uint8_t b : t.udh)
            s += std::to_string(b) + " ";
        return s;
    }
    // A message to the given numbers, through the given service centre.
    static void Address(CMessage& m, std::initializer_list<std::pair<const char*, const char*>> to)
    {
        for (const auto& [name, number] : to)
            m.AddAddress(name, number);
    }
};

TEST_F(SendSimTest, LongTextToTwoRecipientsGoesAsLinkedBlocksWhileTheWindowLives)
{
    StartSms();
    WriteIniProfileInt("SMSMO", "ConcRef", 255);
    CMessage m;
    m.SetText(Letters(300));
    m.SetServiceCentre("+33600000111");
    m.SetValidity(1);  // 12 hours
    m.SetStatusReport(1);
    Address(m, {{"Alice", "+33611111111"}, {"", "06 22 22 22 22"}});

    // The window keeps repainting and the tick keeps going while the worker
    // thread runs the requests.
    PaintCounter painted;
    painted.resize(50, 50);
    painted.show();
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, &painted, [&] { painted.repaint(); });
    repaint.start(5);
    std::set<QString> texts;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (CDlgProgressText* dlg = m.GetProgressDlg())
            texts.insert(dlg->Text());
    });
    watch.start(1);
    CMessage::SetResultPause(60);
    const int before = painted.paints;
    EXPECT_EQ(m.SendWithProgress(&owner, 299, 31476, 6, -1, -1), 1);
    EXPECT_GT(painted.paints - before, 5);
    EXPECT_EQ(m.GetProgressDlg(), nullptr);

    EXPECT_EQ(m.GetStatus(), 3);
    EXPECT_EQ(m.CountSentRecipients(), 2);
    EXPECT_EQ(GetIniProfileInt("SMSMO", "ConcRef", -1), 1);  // 255, then 0, then 1 next
    EXPECT_TRUE(texts.count(app.FormatString(31766, {"Alice"}))) << texts.size();
    EXPECT_TRUE(texts.count(app.FormatString(31766, {"0622222222"})));

    const std::vector<SentPdu> sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    const char* to[] = {"+33611111111", "+33611111111", "0622222222", "0622222222"};
    const int ref[] = {255, 255, 0, 0};
    for (size_t i = 0; i < 4; ++i) {
        const phonesim::Tpdu& t = sent[i].tpdu;
        SCOPED_TRACE(i);
        EXPECT_EQ(t.kind, phonesim::Tpdu::Kind::Submit);
        EXPECT_EQ(t.addr.number, to[i]);
        EXPECT_EQ(sent[i].sca, "+33600000111");
        EXPECT_EQ(t.vpRelative, 143);
        EXPECT_EQ(t.dcs, 0);
        EXPECT_EQ(Udh(t), "0 3 " + std::to_string(ref[i]) + " 2 " + std::to_string(i % 2 + 1) + " ");
        // The status report is asked for on the last block only.
        EXPECT_EQ((t.fo & 0x20) != 0, i % 2 == 1);
        EXPECT_EQ(t.ud, i % 2 == 0 ? Letters(153) : Letters(300).substr(153));
    }
}

TEST_F(SendSimTest, BlocksNeverExceedOnePduAndCodingsAreKept)
{
    StartSms();
    // Extension characters take two septets: 100 of them need two blocks.
    CMessage ext;
    ext.SetText(std::string(100, '['));
    Address(ext, {{"", "+33611111111"}});
    ASSERT_EQ(ext.Send(), 1);
    // A UCS2 text of 71 characters, and 8-bit texts of 140 and 141.
    CMessage ucs;
    ucs.SetDcs(2);
    ucs.SetText(Letters(70) + "\xE9");
    Address(ucs, {{"", "+33611111111"}});
    ASSERT_EQ(ucs.Send(), 1);
    CMessage ucs134, ucs135, bin140, bin141;
    ucs134.SetDcs(2);
    ucs134.SetText(Letters(134));
    ucs135.SetDcs(2);
    ucs135.SetText(Letters(135));
    bin140.SetDcs(1);
    bin140.SetText(Letters(140));
    bin141.SetDcs(1);
    bin141.SetText(Letters(141));
    for (CMessage* msg : {&ucs134, &ucs135, &bin140, &bin141}) {
        Address(*msg, {{"", "+33611111111"}});
        ASSERT_EQ(msg->Send(), 1);
    }

    const std::vector<SentPdu> sent = Sent();
    // 2 + 2 + 2 + 3 + 1 + 2 messages went out.
    ASSERT_EQ(sent.size(), 12u);
    // Each '[' is the escape and its code; the simulator's alphabet gives
    // the text back.
    std::string joined;
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_LE(sent[i].tpdu.ud.size(), 153u);
        joined += sent[i].tpdu.ud;
    }
    EXPECT_EQ(joined.size(), 200u);
    EXPECT_EQ(phonesim::gsmToWin(joined), std::string(100, '['));
    // UCS2 goes as UCS2, two octets a character, in blocks of 67
    // characters, the same text.
    EXPECT_EQ(sent[2].tpdu.dcs, 8);
    EXPECT_EQ(sent[3].tpdu.dcs, 8);
    EXPECT_EQ(FromUcs2(sent[2].tpdu.ud), Letters(67));
    EXPECT_EQ(FromUcs2(sent[3].tpdu.ud), "pqr\xE9");
    EXPECT_EQ(FromUcs2(sent[4].tpdu.ud) + FromUcs2(sent[5].tpdu.ud), Letters(134));
    EXPECT_EQ(Udh(sent[4].tpdu).substr(Udh(sent[4].tpdu).size() - 4), "2 1 ");
    EXPECT_EQ(Udh(sent[6].tpdu).substr(Udh(sent[6].tpdu).size() - 4), "3 1 ");
    EXPECT_EQ(Udh(sent[8].tpdu).substr(Udh(sent[8].tpdu).size() - 4), "3 3 ");
    // 8-bit: 140 characters are one message, 141 two blocks of 134 and 7.
    EXPECT_EQ(sent[9].tpdu.dcs, 4);
    EXPECT_TRUE(sent[9].tpdu.udh.empty());
    EXPECT_EQ(sent[9].tpdu.ud, Letters(140));
    EXPECT_EQ(sent[10].tpdu.dcs, 4);
    EXPECT_EQ(sent[10].tpdu.ud, Letters(134));
    EXPECT_EQ(sent[11].tpdu.ud, Letters(141).substr(134));
}

TEST_F(SendSimTest, ExtensionCharactersAtThe160SeptetBoundarySplitAsTheMessageCounts)
{
    StartSms();
    // 158 letters and a euro sign: 160 septets, one message.
    CMessage one;
    one.SetText(Letters(158) + "\x80");
    ASSERT_FALSE(one.IsLong());
    // 152 letters, a brace and 7 letters: 161 septets. The brace would make
    // the first block 154 septets, so it opens the second.
    CMessage two;
    const std::string text = Letters(152) + "{" + Letters(7);
    two.SetText(text);
    ASSERT_TRUE(two.IsLong());
    ASSERT_EQ(two.ComputeNbBlocks(), 2);
    for (CMessage* msg : {&one, &two}) {
        Address(*msg, {{"", "+33611111111"}});
        ASSERT_EQ(msg->Send(), 1);
    }

    const std::vector<SentPdu> sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_TRUE(sent[0].tpdu.udh.empty());
    EXPECT_EQ(sent[0].tpdu.ud.size(), 160u);
    EXPECT_EQ(phonesim::gsmToWin(sent[0].tpdu.ud), one.GetText());
    EXPECT_EQ(sent[1].tpdu.ud, Letters(152));
    EXPECT_EQ(sent[2].tpdu.ud, "\x1B\x28" + Letters(7));
    std::string joined;
    for (size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Udh(sent[i].tpdu).substr(Udh(sent[i].tpdu).size() - 4), "2 " + std::to_string(i) + " ");
        EXPECT_LE(sent[i].tpdu.ud.size(), 153u);
        // No block ends on an escape cut from its code.
        EXPECT_NE(sent[i].tpdu.ud.back(), '\x1B');
        joined += sent[i].tpdu.ud;
    }
    EXPECT_EQ(phonesim::gsmToWin(joined), text);
}

TEST_F(SendSimTest, FailedSendNamesTheRecipientAndCancelKeepsTheUnserved)
{
    StartSms();
    ASSERT_EQ(sim->command("set send-error 38"), "ok");
    CMessage failed;
    failed.SetText("Hello");
    Address(failed, {{"Bob", "+33622222222"}});
    std::set<QString> texts;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (CDlgProgressText* dlg = failed.GetProgressDlg())
            texts.insert(dlg->Text());
    });
    watch.start(1);
    CMessage::SetResultPause(60);
    EXPECT_EQ(failed.SendWithProgress(&owner, 280, 31476, 3, 10, 10), -1);
    watch.stop();
    EXPECT_TRUE(texts.count(app.FormatString(31767, {"Bob"})));
    EXPECT_EQ(failed.GetStatus(), 2);
    EXPECT_EQ(failed.CountUnsentRecipients(), 1);
    EXPECT_TRUE(Sent().empty());

    // Cancel once the first of three is served: the other two stay, unsent.
    ASSERT_EQ(sim->command("set send-error 0"), "ok");
    // Each result stands a moment, with the loop running: the cancel is
    // pressed then, however fast the phone answers the later sends.
    CMessage::SetResultPause(60);
    CMessage m;
    m.SetText("Meeting at noon");
    Address(m, {{"A", "+33611111111"}, {"B", "+33622222222"}, {"C", "+33633333333"}});
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (m.CountSentRecipients() >= 1 && m.GetProgressDlg())
            m.GetProgressDlg()->OnCancel();
    });
    cancel.start(1);
    EXPECT_EQ(m.SendWithProgress(&owner, 299, 31476, 5, -1, -1), -1);
    cancel.stop();
    // The cancel lands while a later recipient is being served: at least
    // the last one is left.
    ASSERT_EQ(m.GetAddressList().GetCount(), 3);
    const int served = m.CountSentRecipients();
    EXPECT_GE(served, 1);
    ASSERT_LT(served, 3) << "the cancel came after the last recipient";
    EXPECT_TRUE(m.GetAddressList().GetAt(0)->IsSent());
    EXPECT_FALSE(m.GetAddressList().GetAt(2)->IsSent());
    EXPECT_EQ(m.GetStatus(), 3);
    EXPECT_EQ(Sent().size(), static_cast<size_t>(served));
    // Offered again, only the unserved ones remain.
    m.RemoveSentRecipients();
    EXPECT_EQ(m.GetAddressList().GetCount(), 3 - served);
    EXPECT_EQ(m.GetAddressList().GetAt(m.GetAddressList().GetCount() - 1)->GetNumber(), "+33633333333");
}

TEST_F(SendSimTest, StoringInThePhoneAndSendAndStore)
{
    StartSms();
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    CMessage m;
    m.SetText("Stored text");
    Address(m, {{"", "+33611111111"}});
    ASSERT_TRUE(m.Store());
    const int index = m.GetLocation();
    EXPECT_GT(index, 0);
    EXPECT_NE(engine_test::dump_lines(*sim, "message SM " + std::to_string(index) + " 2").find("Stored text"), std::string::npos)
        << sim->dump();

    // Several recipients or a long text: refused, nothing stored.
    const std::string held = engine_test::dump_lines(*sim, "message SM ");
    CMessage two;
    two.SetText("x");
    Address(two, {{"", "+33611111111"}, {"", "+33622222222"}});
    EXPECT_FALSE(two.Store());
    CMessage lengthy;
    lengthy.SetText(Letters(161));
    EXPECT_FALSE(lengthy.Store());
    EXPECT_EQ(engine_test::dump_lines(*sim, "message SM "), held);

    // Send and store: both, then a failed send that still stores.
    CMessage both;
    both.SetText("Both ways");
    Address(both, {{"Ann", "+33644444444"}});
    EXPECT_EQ(both.SendAndStore(&owner, 280, 31476, 31337, 4, 10, 10), 1);
    EXPECT_GT(both.GetLocation(), index);
    EXPECT_EQ(Sent().size(), 1u);
    ASSERT_EQ(sim->command("set send-error 38"), "ok");
    CMessage stored;
    stored.SetText("Stored only");
    Address(stored, {{"Ann", "+33644444444"}});
    EXPECT_EQ(stored.SendAndStore(&owner, 280, 31476, 31337, 4, 10, 10), -1);
    EXPECT_GT(stored.GetLocation(), both.GetLocation());
    EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(SendSimTest, NoRecipientMakesNoRequest)
{
    StartSms();
    CMessage m;
    m.SetText("Nobody");
    EXPECT_EQ(m.Send(), -1);
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
