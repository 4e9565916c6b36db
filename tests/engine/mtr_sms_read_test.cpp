// Short-message set-up, storages, listing, reading, deleting and the two
// indications, against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM

using namespace engine_test;

namespace {

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST_F(SmsTest, SetUpChoosesPduModeAndSizesBothMemories)
{
    Start();
    EXPECT_EQ(mtr_SMS_mode(), 0);
    EXPECT_EQ(info.pdu_mode, 1);
    EXPECT_EQ(info.sim_read, 1);
    EXPECT_EQ(info.sim_write, 1);
    EXPECT_EQ(info.me_read, 1);
    EXPECT_EQ(info.me_write, 1);
    EXPECT_EQ(info.sim_size, 30);
    EXPECT_EQ(info.me_size, 100);
    // New messages are received where the program reads: the SIM.
    EXPECT_EQ(mtr_SMS_receive_storage(), SMS_SRC_SIM);
    EXPECT_TRUE(contains(Dump(), "memories SM SM SM"));
    EXPECT_TRUE(contains(host.trace, "pdu mode available and will be selected"));
    // Capacities above what a byte holds are clamped, not refused.
    sim->command("set big-capacities on");
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    EXPECT_EQ(info.sim_size, 255);
    EXPECT_EQ(info.me_size, 255);
}

TEST_F(SmsTest, SetUpTakesTextModeWhenAskedOrWhenItIsTheOnlyOne)
{
    WriteIniProfileInt("Configuration", "SmsMode", 1);
    Start();
    EXPECT_EQ(mtr_SMS_mode(), 1);
    EXPECT_EQ(info.pdu_mode, 0);
    EXPECT_TRUE(contains(Dump(), "sms-mode 1"));

    WriteIniProfileInt("Configuration", "SmsMode", 0);
    sim->command("set text-only on");
    sim->command("sms-mode 0");
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    EXPECT_EQ(mtr_SMS_mode(), 1);
}

TEST_F(SmsTest, SetUpWithoutTheFeatureOrTheDocument)
{
    doc.sms = false;
    Start("", false);
    info.sim_size = 7;
    EXPECT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    EXPECT_EQ(info.sim_size, 7);  // nothing was asked, nothing changed
    gv_pDoc = nullptr;
    EXPECT_EQ(mtr_SMS_setup(&info), MTR_FAILED);
}

// A scripted phone for answers the simulator does not give.
std::string sim_only_phone(const std::string& line, const std::string& cmgf)
{
    if (line == "AT+CMGF=?")
        return "\r\n+CMGF: " + cmgf + "\r\n\r\nOK\r\n";
    if (line == "AT+CPMS=?")
        return "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n";
    if (line.rfind("AT+CPMS=", 0) == 0)
        return "\r\n+CPMS: 3,40,3,25,3,40\r\n\r\nOK\r\n";
    return "\r\nOK\r\n";
}

TEST_F(SmsTest, SetUpOfASimOnlyPhone)
{
    ScriptedPhone phone([](const std::string& l) { return sim_only_phone(l, "(0-1)"); });
    ASSERT_EQ(Open(phone.path()), 1);
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    EXPECT_EQ(info.sim_read, 1);
    EXPECT_EQ(info.me_read, 0);
    EXPECT_EQ(info.sim_size, 25);  // the smaller of the two totals
    EXPECT_EQ(info.me_size, 0);
    // One selection only, with the receive memory; then the indication.
    EXPECT_EQ(phone.commands(), "AT+CMGF=?|AT+CMGF=0|AT+CPMS=?|AT+CPMS=\"SM\",\"SM\",\"SM\"|AT+CNMI=1,1,0,1|");
}

TEST_F(SmsTest, SetUpFailsWhenTextModeIsAskedOfAPduOnlyPhone)
{
    WriteIniProfileInt("Configuration", "SmsMode", 1);
    ScriptedPhone phone([](const std::string& l) { return sim_only_phone(l, "(0)"); });
    ASSERT_EQ(Open(phone.path()), 1);
    EXPECT_EQ(mtr_SMS_setup(&info), MTR_FAILED);
    EXPECT_TRUE(contains(host.trace, "no pdu mode, no text mode available"));
    EXPECT_EQ(info.sim_read + info.sim_write + info.me_read + info.me_write, 0);
    EXPECT_EQ(info.sim_size, 0);
    EXPECT_EQ(info.me_size, 0);
    // The new-message indication is still asked for.
    EXPECT_TRUE(contains(phone.commands(), "AT+CNMI=1,1,0,1|"));
}

TEST_F(SmsTest, StorageSelectionRefusesUnknownStorages)
{
    Start();
    EXPECT_EQ(mtr_SMS_select_storage(SMS_SRC_PC, SMS_DST_SIM), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_PC), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_select_storage(SMS_SRC_EEPROM, SMS_DST_EEPROM), MTR_DONE);
    EXPECT_TRUE(contains(Dump(), "memories ME ME SM"));
    sim->command("set bare-ok-next on");
    EXPECT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
}

TEST_F(SmsTest, PduModeListReadAndDelete)
{
    Start();
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_EEPROM, SMS_DST_EEPROM), MTR_DONE);
    ASSERT_EQ(mtr_SMS_list_all(1), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 1u);
    const Entry& e = screen.entries[0];
    EXPECT_TRUE(e.listed);
    EXPECT_EQ(e.index, 1);
    EXPECT_EQ(e.text, "Call me back");
    EXPECT_EQ(e.number, "0687654321");
    EXPECT_EQ(e.settings.kind, SMS_KIND_PDU);
    EXPECT_EQ(e.settings.status, 1);
    EXPECT_EQ(e.stamp, (MTR_DATETIME{2024, 5, 4, 18, 2, 11}));
    EXPECT_EQ(e.sca, "+33689004000");

    ASSERT_EQ(mtr_SMS_list_all(2), MTR_DONE);  // the stored unsent one
    ASSERT_EQ(screen.entries.size(), 2u);
    EXPECT_EQ(screen.entries[1].index, 2);
    EXPECT_EQ(screen.entries[1].settings.status, 2);

    screen.entries.clear();
    ASSERT_EQ(mtr_SMS_read(1, 0), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 1u);
    EXPECT_FALSE(screen.entries[0].listed);
    EXPECT_EQ(screen.entries[0].text, "Call me back");
    EXPECT_EQ(screen.entries[0].settings.status, 1);
    ASSERT_EQ(mtr_SMS_read(1, 1), MTR_DONE);
    EXPECT_EQ(screen.entries[1].settings.status, 0);  // handed over as unread

    EXPECT_EQ(mtr_SMS_delete(1), MTR_DONE);
    EXPECT_EQ(mtr_SMS_read(1, 0), 321);  // +CMS ERROR: invalid memory index
    EXPECT_EQ(screen.entries.size(), 2u);

    gv_pShortMsg = nullptr;
    EXPECT_EQ(mtr_SMS_read(2, 0), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_list_all(0), MTR_FAILED);
}

TEST_F(SmsTest, AListingWithAnUndecodableEntryDeliversTheRestAndFails)
{
    Start("message ME 3 1 0611111111 \"24/05/06,10:00:00+00\" Second\n");
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_EEPROM, SMS_DST_EEPROM), MTR_DONE);
    // A listed entry cut short, ahead of the phone's own two (waiting
    // before the request, so that a phone answering at once cannot pass it).
    krn_msg* m = nullptr;
    krn_alloc(&m, 4);
    m[0] = 0;
    m[1] = AT_CNF_CMGL;
    m[2] = 7;
    m[3] = 1;
    krn_send(KRN_TASK_MAIN, m);
    EXPECT_EQ(mtr_SMS_list_all(1), MTR_FAILED);
    ASSERT_EQ(screen.entries.size(), 2u);
    EXPECT_EQ(screen.entries[0].index, 1);
    EXPECT_EQ(screen.entries[0].text, "Call me back");
    EXPECT_EQ(screen.entries[1].index, 3);
    EXPECT_EQ(screen.entries[1].text, "Second");
    EXPECT_NE(host.trace.find("a listed message could not be decoded"), std::string::npos);
    // A whole listing still succeeds.
    screen.entries.clear();
    EXPECT_EQ(mtr_SMS_list_all(1), MTR_DONE);
    EXPECT_EQ(screen.entries.size(), 2u);
}

TEST_F(SmsTest, TextModeListReadAndDelete)
{
    WriteIniProfileInt("Configuration", "SmsMode", 1);
    Start();
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    ASSERT_EQ(mtr_SMS_list_all(1), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 1u);
    EXPECT_EQ(screen.entries[0].index, 2);
    EXPECT_EQ(screen.entries[0].text, "See you at noon");
    EXPECT_EQ(screen.entries[0].number, "+33612345678");
    EXPECT_EQ(screen.entries[0].settings.kind, SMS_KIND_TEXT);
    EXPECT_EQ(screen.entries[0].stamp, (MTR_DATETIME{2024, 5, 5, 9, 15, 0}));

    ASSERT_EQ(mtr_SMS_read(2, 0), MTR_DONE);
    EXPECT_EQ(screen.entries[1].text, "See you at noon");
    EXPECT_EQ(mtr_SMS_delete(2), MTR_DONE);
    EXPECT_EQ(mtr_SMS_read(2, 0), 321);
}

TEST_F(SmsTest, TextModeListingReadsEveryUnreadMessageAsUnread)
{
    WriteIniProfileInt("Configuration", "SmsMode", 1);
    Start();
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    sim->command("sms-receive SM +33611111111 First one");
    sim->command("sms-receive SM \"BANK ALERT\" Second one");
    ASSERT_EQ(mtr_SMS_list(), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 2u);
    for (const Entry& e : screen.entries) {
        EXPECT_FALSE(e.listed);
        EXPECT_EQ(e.settings.status, 0);
    }
    EXPECT_EQ(screen.entries[0].text, "First one");
    // An alphanumeric sender keeps its letters.
    EXPECT_EQ(screen.entries[1].number, "BANK ALERT");
    EXPECT_EQ(screen.entries[1].text, "Second one");
    EXPECT_TRUE(mtr_SMS_pending_reads().empty());
}

TEST_F(SmsTest, ListThenReadKeepsTheIndicesWhoseReadFailed)
{
    int reads_of_5 = 0;
    ScriptedPhone phone([&](const std::string& l) -> std::string {
        if (l == "AT+CMGL=\"REC UNREAD\"")
            return "\r\n+CMGL: 4,\"REC UNREAD\",\"0611\",,\"24/01/02,03:04:05+00\",129,2\r\nHi"
                   "\r\n+CMGL: 5,\"REC UNREAD\",\"0622\",,\"24/01/02,03:04:06+00\",129,3\r\nYo!\r\n\r\nOK\r\n";
        if (l == "AT+CMGR=4")
            return "\r\n+CMGR: \"REC READ\",\"0611\",,\"24/01/02,03:04:05+00\",129,2\r\nHi\r\n\r\nOK\r\n";
        if (l == "AT+CMGR=5")
            return ++reads_of_5 == 1
                       ? "\r\n+CMS ERROR: 500\r\n"
                       : "\r\n+CMGR: \"REC READ\",\"0622\",,\"24/01/02,03:04:06+00\",129,3\r\nYo!\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    EXPECT_EQ(mtr_SMS_list_then_read(), 500);
    ASSERT_EQ(screen.entries.size(), 1u);
    EXPECT_EQ(screen.entries[0].text, "Hi");
    ASSERT_EQ(mtr_SMS_pending_reads().size(), 1u);
    EXPECT_EQ(mtr_SMS_pending_reads()[0], 5);
    // The phone marked it read; the next listing still delivers it.
    EXPECT_EQ(mtr_SMS_list_then_read(), MTR_DONE);
    ASSERT_GE(screen.entries.size(), 2u);
    EXPECT_EQ(screen.entries[1].text, "Yo!");
    EXPECT_EQ(screen.entries[1].settings.status, 0);
    EXPECT_TRUE(mtr_SMS_pending_reads().empty());
}

TEST_F(SmsTest, ListThenReadReadsEveryIndexListedBeforeAnError)
{
    ScriptedPhone phone([&](const std::string& l) -> std::string {
        if (l == "AT+CMGL=\"REC UNREAD\"")
            return "\r\n+CMGL: 4,\"REC UNREAD\",\"0611\",,,129,2\r\nHi"
                   "\r\n+CMGL: 5,\"REC UNREAD\",\"0622\",,,129,3\r\nYo!\r\n\r\n+CMS ERROR: 500\r\n";
        if (l.rfind("AT+CMGR=", 0) == 0)
            return "\r\n+CMGR: \"REC READ\",\"0611\",,,129,2\r\nHi\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    EXPECT_EQ(mtr_SMS_list_then_read(), 500);
    EXPECT_EQ(screen.entries.size(), 2u);
    EXPECT_TRUE(contains(phone.commands(), "AT+CMGR=4|AT+CMGR=5|"));
}

TEST_F(SmsTest, EightBitAndUcs2BodiesInTextMode)
{
    // The length counts octets; the body comes as two hexadecimal
    // characters an octet.
    ScriptedPhone phone([](const std::string& l) -> std::string {
        if (l == "AT+CMGL=\"REC UNREAD\"")
            return "\r\n+CMGL: 1,\"REC UNREAD\",\"0611\",,\"24/02/03,21:11:00+00\",129,4\r\n00FF410D"
                   "\r\n+CMGL: 2,\"REC UNREAD\",\"0611\",,\"24/02/03,21:11:00+00\",129,4\r\n004800E9\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    ASSERT_EQ(mtr_SMS_list_all(0), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 2u);
    EXPECT_EQ(screen.entries[0].text, std::string("\x00\xFF\x41\x0D", 4));
    EXPECT_EQ(screen.entries[1].text, std::string("\x00\x48\x00\xE9", 4));
}

// Published example PDUs, stored in the simulator and read through the
// engine's whole read path.
TEST_F(SmsTest, ReferencePdusDecodeToTheirDocumentedFields)
{
    Start();
    // "hellohello" from 27838890001, 99/03/29 15:16:59, 7-bit.
    ASSERT_EQ(sim->command("sms-receive-pdu SM 040BC87238880900F10000993092516195800AE8329BFD4697D9EC37"), "ok");
    // "How are you?" from +31641600986, 02/08/26 19:37:41.
    ASSERT_EQ(sim->command("sms-receive-pdu SM 040B911346610089F60000208062917314080CC8F71D14969741F977FD07"), "ok");
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    ASSERT_EQ(mtr_SMS_list_all(0), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 2u);
    const Entry& a = screen.entries[0];
    EXPECT_EQ(a.text, "hellohello");
    EXPECT_EQ(a.number, "27838890001");
    EXPECT_EQ(a.stamp, (MTR_DATETIME{1999, 3, 29, 15, 16, 59}));
    EXPECT_EQ(a.settings.first_octet, 0x04);
    EXPECT_EQ(a.settings.pid, 0);
    EXPECT_EQ(a.settings.dcs, 0);
    const Entry& b = screen.entries[1];
    EXPECT_EQ(b.text, "How are you?");
    EXPECT_EQ(b.number, "+31641600986");
    EXPECT_EQ(b.stamp, (MTR_DATETIME{2002, 8, 26, 19, 37, 41}));
}

TEST_F(SmsTest, ConcatenatedPartCarriesItsReferenceAndSequence)
{
    Start();
    // Deliver with a header: reference 0x2A, part 2 of 3, 8-bit text "xyz".
    ASSERT_EQ(sim->command("sms-receive-pdu SM 4404816011000442203012110000090500032A030278797A"), "ok");
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    ASSERT_EQ(mtr_SMS_list_all(0), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 1u);
    const SMS_SETTINGS& s = screen.entries[0].settings;
    EXPECT_EQ(s.concat, 1);
    EXPECT_EQ(s.concat_ref, 0x2A);
    EXPECT_EQ(s.concat_total, 3);
    EXPECT_EQ(s.concat_seq, 2);
    EXPECT_EQ(screen.entries[0].text, "xyz");
    SMS_PARAMETERS p;
    mtr_SMS_cnf_to_param(&p, &s);
    EXPECT_EQ(p.udh, 1);
    EXPECT_EQ(p.concat, 1);
    EXPECT_EQ(p.coding, 1);
    EXPECT_EQ(p.validity, 5);
    EXPECT_EQ(p.report_request, 3);
}

TEST_F(SmsTest, NewMessageIndicationReachesTheDocument)
{
    Start();
    sim->command("sms-receive SM +33600000001 One");
    sim->command("sms-receive ME +33600000002 Two");
    Settle(2, 0);
    ASSERT_EQ(doc.received.size(), 2u);
    EXPECT_EQ(doc.received[0].storage, SMS_SRC_SIM);
    EXPECT_EQ(doc.received[0].index, 3);  // after the highest used index
    EXPECT_EQ(doc.received[1].storage, SMS_SRC_EEPROM);
    EXPECT_EQ(doc.received[1].index, 3);
    // A phone naming its receive memory "MT": the memory the set-up chose.
    sim->command("set receive-memory MT");
    sim->command("sms-receive SM +33600000003 Three");
    Settle(3, 0);
    ASSERT_EQ(doc.received.size(), 3u);
    EXPECT_EQ(doc.received[2].storage, SMS_SRC_SIM);
}

TEST_F(SmsTest, StatusReportReachesTheDocumentInBothModes)
{
    Start("next-mr 42\nclock \"24/06/01,10:00:00+00\" frozen\n");
    TestMessage m;
    m.text = "Report me";
    m.report = 1;
    ASSERT_EQ(mtr_SMS_send("0612345678", &m), MTR_DONE);
    ASSERT_EQ(sim->command("status-report 42 0"), "ok");
    Settle(0, 1);
    ASSERT_EQ(doc.reports.size(), 1u);
    EXPECT_EQ(doc.reports[0].reference, 42);
    EXPECT_EQ(doc.reports[0].status, 0);
    EXPECT_EQ(doc.reports[0].number, "0612345678");
    EXPECT_EQ(doc.reports[0].stamp, (MTR_DATETIME{2024, 6, 1, 10, 0, 0}));
    EXPECT_EQ(doc.reports[0].discharge, (MTR_DATETIME{2024, 6, 1, 10, 0, 0}));

    WriteIniProfileInt("Configuration", "SmsMode", 1);
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    ASSERT_EQ(mtr_SMS_mode(), 1);
    ASSERT_EQ(mtr_SMS_send("0698765432", &m), MTR_DONE);
    ASSERT_EQ(sim->command("status-report 43 70"), "ok");
    Settle(0, 2);
    ASSERT_EQ(doc.reports.size(), 2u);
    EXPECT_EQ(doc.reports[1].reference, 43);
    EXPECT_EQ(doc.reports[1].status, 70);
    EXPECT_EQ(doc.reports[1].number, "0698765432");
}

TEST_F(SmsTest, MalformedStatusReportIsDropped)
{
    // Cut after the reference: no status byte.
    uint8_t cut[] = {0, AT_CNF_CDS, 6, 42, 1, 4, '0', '6'};
    krn_msg* m = nullptr;
    krn_alloc(&m, sizeof cut);
    std::memcpy(m, cut, sizeof cut);
    EXPECT_TRUE(mtr_SMS_indication(m));
    EXPECT_TRUE(doc.reports.empty());
    krn_free(m);
}
#endif
