// Short-message parameters, service centre, profiles, sending and storing,
// against the phone simulator and a phone that records what it was sent.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include "gsm_alphabet.h"
#include "pdu.h"

using namespace engine_test;

namespace {

// A phone that takes message bodies and answers a line `respond` leaves
// unanswered with OK; its commands are the lines it received.
class RecordingPhone : public ScriptedPhone {
public:
    explicit RecordingPhone(std::function<std::string(const std::string&)> respond = nullptr)
        : ScriptedPhone(std::move(respond), true)
    {
    }
    std::vector<std::string> commands() { return command_lines(); }
};

// A host that records the message boxes the requests show.
class BoxHost : public engine_test::TestHost {
public:
    int MessageBoxByIdWithNumber(int id, int number, int) override
    {
        boxes.push_back({id, number});
        return 1;
    }
    std::vector<std::pair<int, int>> boxes;
};

phonesim::Tpdu decode_body(const std::string& hex)
{
    auto bytes = phonesim::fromHex(hex);
    EXPECT_TRUE(bytes.has_value());
    auto split = phonesim::splitSca(*bytes);
    EXPECT_TRUE(split.has_value());
    std::string problem;
    auto t = phonesim::decodeTpdu(split->tpdu, &problem);
    EXPECT_TRUE(t.has_value()) << problem;
    return t.value_or(phonesim::Tpdu{});
}

std::string letters(size_t n)
{
    std::string s;
    for (size_t k = 0; k < n; ++k)
        s += static_cast<char>('a' + k % 26);
    return s;
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST_F(SmsTest, PduSendCarriesServiceCentreAndParametersInOneRequest)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(0);
    TestMessage m;
    m.text = "Hello, world";
    m.sca = "+33689004000";
    m.validity = 0;
    m.report = 1;
    m.format = 5;
    ASSERT_EQ(mtr_SMS_send("+33612345678", &m), MTR_DONE);
    ASSERT_EQ(phone.commands().size(), 1u);
    EXPECT_EQ(phone.commands()[0].rfind("AT+CMGS=", 0), 0u);
    ASSERT_EQ(phone.bodies().size(), 1u);
    auto bytes = phonesim::fromHex(phone.bodies()[0]);
    ASSERT_TRUE(bytes);
    auto split = phonesim::splitSca(*bytes);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->sca.number, "+33689004000");
    phonesim::Tpdu t = decode_body(phone.bodies()[0]);
    EXPECT_EQ(t.kind, phonesim::Tpdu::Kind::Submit);
    EXPECT_EQ(t.addr.number, "+33612345678");
    EXPECT_EQ(t.addr.type, 145);
    EXPECT_EQ(t.vpRelative, 71);
    EXPECT_EQ(t.fo & 0x20, 0x20);  // status report asked
    EXPECT_EQ(t.pid, 50);          // e-mail
    EXPECT_EQ(t.ud, "Hello, world");
    // With no-report the same message asks for none.
    ASSERT_EQ(mtr_SMS_send_pdu("0611", &m, 1), MTR_DONE);
    EXPECT_EQ(decode_body(phone.bodies()[1]).fo & 0x20, 0);
}

TEST_F(SmsTest, PduThreePartMessageCarriesTheConcatenationHeader)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(0);
    TestMessage m;
    m.text = letters(400);
    m.ref = 0x2A;
    ASSERT_TRUE(m.IsLong());
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        std::string block = m.text.substr((seq - 1) * 153u, 153);
        ASSERT_EQ(mtr_SMS_send_part("0612345678", block.c_str(), &m, 3, seq, 0), MTR_DONE);
    }
    ASSERT_EQ(phone.bodies().size(), 3u);
    std::string joined;
    for (int k = 0; k < 3; ++k) {
        phonesim::Tpdu t = decode_body(phone.bodies()[static_cast<size_t>(k)]);
        EXPECT_EQ(t.fo & 0x40, 0x40);
        ASSERT_EQ(t.udh.size(), 5u);
        EXPECT_EQ(t.udh[0], 0);  // 8-bit reference element
        EXPECT_EQ(t.udh[2], 0x2A);
        EXPECT_EQ(t.udh[3], 3);
        EXPECT_EQ(t.udh[4], k + 1);
        joined += t.ud;
    }
    EXPECT_EQ(joined, m.text);
    // Part numbers that do not fit are refused before anything is sent.
    EXPECT_EQ(mtr_SMS_send_part("0612345678", "x", &m, 3, 4, 0), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_send_part("0612345678", "x", &m, 300, 1, 0), MTR_FAILED);
    EXPECT_EQ(phone.bodies().size(), 3u);
}

TEST_F(SmsTest, MessagesSentThroughTheSimulatorInBothModes)
{
    Start("next-mr 10\n");
    TestMessage m;
    m.text = "Short one";
    ASSERT_EQ(mtr_SMS_send("0612345678", &m), MTR_DONE);
    TestMessage big;
    big.text = letters(320);
    big.ref = 5;
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        std::string block = big.text.substr((seq - 1) * 153u, 153);
        ASSERT_EQ(mtr_SMS_send_part("0612345678", block.c_str(), &big, 3, seq, 0), MTR_DONE);
    }
    EXPECT_TRUE(contains(Dump(), "next-mr 14"));

    WriteIniProfileInt("Configuration", "SmsMode", 1);
    ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
    ASSERT_EQ(mtr_SMS_send("0612345678", &m), MTR_DONE);
    ASSERT_EQ(mtr_SMS_set_msg_parameters_of(&big), MTR_DONE);
    EXPECT_TRUE(contains(Dump(), "csmp 81 167 0 0"));  // header bit set for the parts
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        std::string block = big.text.substr((seq - 1) * 153u, 153);
        ASSERT_EQ(mtr_SMS_send_part("0612345678", block.c_str(), &big, 3, seq, 0), MTR_DONE);
    }
    EXPECT_TRUE(contains(Dump(), "next-mr 18"));
    sim->command("set send-error 38");
    EXPECT_EQ(mtr_SMS_send("0612345678", &m), 38);
}

TEST_F(SmsTest, TextModeSendSetsServiceCentreThenParametersThenSends)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    TestMessage m;
    m.text = "Hi there";
    m.sca = "+33 689 004 000";
    m.validity = 3;
    m.reply_path = 1;
    ASSERT_EQ(mtr_SMS_send("0612345678", &m), MTR_DONE);
    std::vector<std::string> expected = {"AT+CSCA=\"+33689004000\"", "AT+CSMP=145,255,0,0",
                                         "AT+CMGS=\"0612345678\",129"};
    EXPECT_EQ(phone.commands(), expected);
    ASSERT_EQ(phone.bodies().size(), 1u);
    EXPECT_EQ(phone.bodies()[0], "Hi there");
}

TEST_F(SmsTest, TextModeSendStopsWhenTheServiceCentreIsRefused)
{
    RecordingPhone phone([](const std::string& l) -> std::string {
        return l.rfind("AT+CSCA=", 0) == 0 ? "\r\n+CMS ERROR: 304\r\n" : "";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    BoxHost boxes;
    engine_set_host(&boxes);
    mtr_SMS_set_mode(1);
    TestMessage m;
    m.text = "Hi";
    m.sca = "+33689004000";
    EXPECT_EQ(mtr_SMS_send("0612345678", &m), 304);
    EXPECT_EQ(phone.commands().size(), 1u);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0], std::make_pair(31329, 304));
    engine_set_host(&host);
}

TEST_F(SmsTest, TextModePartsAreSentWithAHexadecimalHeader)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    TestMessage m;
    m.text = letters(200);
    m.dcs = 1;
    ASSERT_EQ(mtr_SMS_send_part("0611", "AB", &m, 2, 2, 0), MTR_DONE);
    ASSERT_EQ(phone.bodies().size(), 1u);
    EXPECT_EQ(phone.bodies()[0], "0500030002024142");
}

TEST_F(SmsTest, StoreInSimAndPhoneThenReadBack)
{
    Start();
    TestMessage m;
    m.text = "Stored draft";
    m.recipients = {"06 12 34 56 78"};
    for (int mode : {0, 1}) {
        WriteIniProfileInt("Configuration", "SmsMode", mode);
        ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
        for (auto [src, dst] : {std::pair{SMS_SRC_SIM, SMS_DST_SIM}, std::pair{SMS_SRC_EEPROM, SMS_DST_EEPROM}}) {
            ASSERT_EQ(mtr_SMS_select_storage(src, dst), MTR_DONE);
            uint8_t index = 0;
            ASSERT_EQ(mtr_SMS_store_in_mem(&m, &index), 1);
            EXPECT_GE(index, 1);
            screen.entries.clear();
            ASSERT_EQ(mtr_SMS_read(index, 0), MTR_DONE);
            ASSERT_EQ(screen.entries.size(), 1u);
            EXPECT_EQ(screen.entries[0].text, "Stored draft");
            EXPECT_EQ(screen.entries[0].number, "0612345678");
            EXPECT_EQ(screen.entries[0].settings.status, 2);
            // Sent from storage, to its own recipient and to another.
            EXPECT_EQ(mtr_SMS_send_from_storage(index, nullptr), MTR_DONE);
            EXPECT_EQ(mtr_SMS_send_from_storage(index, "+33699999999"), MTR_DONE);
            EXPECT_EQ(mtr_SMS_send_from_storage(index, "06;ATD1"), MTR_FAILED);
            ASSERT_EQ(mtr_SMS_read(index, 0), MTR_DONE);
            EXPECT_EQ(screen.entries.back().settings.status, 3);
        }
    }
}

TEST_F(SmsTest, ExtensionCharactersReachThePhoneAndComeBackUnchanged)
{
    Start();
    TestMessage m;
    m.text = "Price: 5\x80 [a] {b} \\c ^d ~e |f\fg";
    m.recipients = {"0612345678"};
    ASSERT_EQ(mtr_SMS_send("0612345678", &m), MTR_DONE);
    std::vector<std::string> sent = sim->listing("sent");
    ASSERT_EQ(sent.size(), 1u);
    std::string hex = sent[0].substr(sent[0].rfind(' ') + 1);
    phonesim::Tpdu t = decode_body(hex);
    EXPECT_EQ(t.dcs, 0);
    // The phone's own codec: each extension character as the escape and its
    // code, byte for byte what the phone's alphabet makes of the text.
    EXPECT_EQ(t.ud, phonesim::winToGsm(m.text));
    EXPECT_EQ(phonesim::gsmToWin(t.ud), m.text);

    // Stored in the phone's memory as a PDU and read back: the same text.
    ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
    uint8_t index = 0;
    ASSERT_EQ(mtr_SMS_store_in_mem(&m, &index), 1);
    screen.entries.clear();
    ASSERT_EQ(mtr_SMS_read(index, 0), MTR_DONE);
    ASSERT_EQ(screen.entries.size(), 1u);
    EXPECT_EQ(screen.entries[0].text, m.text);
}

TEST_F(SmsTest, ReceivedMessageWrittenBackKeepsItsSenderAndDate)
{
    Start();
    TestMessage m;
    m.status = 1;
    m.text = "Old news";
    m.recipients = {"+33612345678"};
    m.date = MTR_DATETIME{2024, 5, 5, 9, 15, 0};
    for (int mode : {0, 1}) {
        WriteIniProfileInt("Configuration", "SmsMode", mode);
        ASSERT_EQ(mtr_SMS_setup(&info), MTR_DONE);
        ASSERT_EQ(mtr_SMS_select_storage(SMS_SRC_SIM, SMS_DST_SIM), MTR_DONE);
        uint8_t index = 0;
        ASSERT_EQ(mtr_SMS_store_in_mem(&m, &index), 1);
        EXPECT_TRUE(contains(Dump(), "message SM " + std::to_string(index) +
                                         " 1 \"+33612345678\" \"24/05/05,09:15:00+00\" Old news"))
            << Dump();
        screen.entries.clear();
        ASSERT_EQ(mtr_SMS_read(index, 0), MTR_DONE);
        ASSERT_EQ(screen.entries.size(), 1u);
        EXPECT_EQ(screen.entries[0].stamp, m.date);
        EXPECT_EQ(screen.entries[0].settings.status, 1);
    }
}

TEST_F(SmsTest, WhatCannotBeStoredOrSentIsRefusedBeforeAnythingIsSent)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(0);
    uint8_t index = 0;
    TestMessage two;
    two.text = "x";
    two.recipients = {"0611", "0622"};
    EXPECT_EQ(mtr_SMS_store_in_mem(&two, &index), 0);
    TestMessage long_one;
    long_one.text = letters(161);
    EXPECT_EQ(mtr_SMS_store_in_mem(&long_one, &index), 0);
    EXPECT_EQ(mtr_SMS_store_in_mem(nullptr, &index), 0);
    EXPECT_EQ(mtr_SMS_set_service_centre("+123456789012345678901"), MTR_FAILED);  // 21 digits
    EXPECT_EQ(mtr_SMS_set_service_centre("+33\"6"), MTR_FAILED);
    TestMessage m;
    m.text = "x";
    EXPECT_EQ(mtr_SMS_send("0611\r\nATD", &m), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_send("06+11", &m), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_send(nullptr, &m), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_send("0611", nullptr), MTR_FAILED);
    // A text longer than its length byte can say.
    EXPECT_EQ(mtr_SMS_send_text("0611", letters(256)), MTR_FAILED);
    EXPECT_TRUE(phone.commands().empty());
    // In text mode a body must not end or abort itself early.
    mtr_SMS_set_mode(1);
    EXPECT_EQ(mtr_SMS_send_text("0611", "cut\x1ahere"), MTR_FAILED);
    EXPECT_EQ(mtr_SMS_send_text("0611", "esc\x1bhere"), MTR_FAILED);
    EXPECT_TRUE(phone.bodies().empty());
    EXPECT_TRUE(contains(host.trace, "more than one recipient or it is concatenated"));
}

TEST_F(SmsTest, ServiceCentreAndParametersReadAndWritten)
{
    Start();
    EXPECT_EQ(mtr_SMS_set_service_centre("+33611223344"), MTR_DONE);
    std::string sca = "junk";
    EXPECT_EQ(mtr_SMS_get_service_centre(&sca), MTR_DONE);
    EXPECT_EQ(sca, "+33611223344");

    SMS_SETTINGS s;
    s.first_octet = 0x31;
    s.validity[0] = 1;
    s.validity[1] = 71;
    s.pid = 34;
    s.dcs = 4;
    EXPECT_EQ(mtr_SMS_set_parameters(&s), MTR_DONE);
    SMS_SETTINGS r;
    EXPECT_EQ(mtr_SMS_get_parameters(&r), MTR_DONE);
    EXPECT_EQ(r.kind, SMS_KIND_CSMP);
    EXPECT_EQ(r.first_octet, 0x31);
    EXPECT_EQ(r.validity[0], 1);
    EXPECT_EQ(r.validity[1], 71);
    EXPECT_EQ(r.pid, 34);
    EXPECT_EQ(r.dcs, 4);
    SMS_PARAMETERS p;
    mtr_SMS_cnf_to_param(&p, &r);
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.format, 2);
    EXPECT_EQ(p.validity, 0);
    EXPECT_EQ(p.coding, 1);
    EXPECT_EQ(p.report_request, 1);

    sim->command("set bare-ok-next on");
    EXPECT_EQ(mtr_SMS_get_service_centre(&sca), MTR_FAILED);
    EXPECT_EQ(sca, "");
}

TEST_F(SmsTest, ParameterTextsOfTheValidityForms)
{
    RecordingPhone phone;
    ASSERT_EQ(Open(phone.path()), 1);
    mtr_SMS_set_mode(1);
    TestMessage m;
    m.validity = 4;  // none of the relative values: the field stays empty
    m.sca = "0611";
    EXPECT_EQ(mtr_SMS_set_msg_parameters(&m, 0), MTR_DONE);
    TestMessage received;
    received.status = 1;
    received.date = MTR_DATETIME{2024, 5, 5, 9, 15, 0};
    EXPECT_EQ(mtr_SMS_set_msg_parameters(&received, 0), MTR_DONE);
    std::vector<std::string> expected = {"AT+CSCA=\"0611\"", "AT+CSMP=17,,0,0",
                                         "AT+CSMP=0,\"24/05/05,09:15:00+00\",0,0"};
    EXPECT_EQ(phone.commands(), expected);
    // PDU mode carries them in the message itself.
    mtr_SMS_set_mode(0);
    EXPECT_EQ(mtr_SMS_set_msg_parameters_of(&m), MTR_DONE);
    EXPECT_EQ(phone.commands().size(), 3u);
}

TEST_F(SmsTest, ProfilesSavedAndRestored)
{
    Start();
    SMS_PROFILE_RANGE range;
    EXPECT_EQ(mtr_SMS_get_profile_range(&range), MTR_DONE);
    EXPECT_EQ(range.lowest, 0);
    EXPECT_EQ(range.highest, 3);
    EXPECT_TRUE(range.Known());

    TestProfile saved;
    saved.index = 2;
    saved.number = "+33 600 000 009";
    saved.validity = 0;
    saved.format = 1;
    ASSERT_EQ(mtr_SMS_save_model_parameters(&saved), MTR_DONE);
    EXPECT_EQ(saved.set_count, 1);  // read back after saving

    // The phone's current parameters change; restoring profile 2 brings them back.
    ASSERT_EQ(mtr_SMS_set_service_centre("+33100000000"), MTR_DONE);
    SMS_SETTINGS other;
    other.first_octet = 0x11;
    other.validity[0] = 1;
    other.validity[1] = 167;
    ASSERT_EQ(mtr_SMS_set_parameters(&other), MTR_DONE);
    TestProfile read;
    read.index = 2;
    read.validity = 3;
    ASSERT_EQ(mtr_SMS_get_model_parameters(&read), MTR_DONE);
    EXPECT_EQ(read.number, "+33600000009");
    EXPECT_EQ(read.validity, 0);
    EXPECT_EQ(read.format, 1);

    TestProfile none;
    none.index = 9;
    EXPECT_NE(mtr_SMS_get_model_parameters(&none), MTR_DONE);
    EXPECT_TRUE(contains(host.trace, "Restoring of SMS parameters failed"));
    EXPECT_EQ(mtr_SMS_save_model_parameters(nullptr), MTR_FAILED);

    doc.st1 = false;
    range.lowest = 0;
    EXPECT_EQ(mtr_SMS_get_profile_range(&range), MTR_DONE);
    EXPECT_FALSE(range.Known());
}

TEST_F(SmsTest, ProfileReadingReturnsTheFirstFailure)
{
    RecordingPhone phone([](const std::string& l) -> std::string {
        if (l == "AT+CSMP?")
            return "\r\nERROR\r\n";
        if (l == "AT+CSCA?")
            return "\r\n+CSCA: \"+33611\",145\r\n\r\nOK\r\n";
        if (l == "AT+CRES=?")
            return "\r\n+CRES: (0-1,3-4)\r\n\r\nOK\r\n";
        return "";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    BoxHost boxes;
    engine_set_host(&boxes);
    TestProfile p;
    EXPECT_EQ(mtr_SMS_get_model_parameters(&p), MTR_FAILED);
    EXPECT_EQ(p.set_count, 0);
    EXPECT_EQ(p.number, "+33611");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].first, 31348);
    // Two ranges of profiles: none is taken.
    SMS_PROFILE_RANGE range;
    EXPECT_EQ(mtr_SMS_get_profile_range(&range), MTR_DONE);
    EXPECT_FALSE(range.Known());
    engine_set_host(&host);
}

TEST(SmsSettings, FromMessageAndBackToParameters)
{
    TestMessage m;
    SMS_SETTINGS s;
    SMS_PARAMETERS p;
    const int choices[] = {0, 1, 2, 3};
    const uint8_t values[] = {71, 143, 167, 255};
    for (int k = 0; k < 4; ++k) {
        m.validity = choices[k];
        mtr_SMS_settings_from_message(&s, &m, 0);
        EXPECT_EQ(s.kind, SMS_KIND_OUTGOING);
        EXPECT_EQ(s.first_octet, 0x11);
        EXPECT_EQ(s.validity[0], 1);
        EXPECT_EQ(s.validity[1], values[k]);
        mtr_SMS_cnf_to_param(&p, &s);
        EXPECT_EQ(p.validity, choices[k]);
    }
    m.format = 3;
    mtr_SMS_settings_from_message(&s, &m, 0);
    EXPECT_EQ(s.pid, 49);
    mtr_SMS_cnf_to_param(&p, &s);
    EXPECT_EQ(p.format, 3);
    m.dcs = 2;
    m.report = 1;
    m.reply_path = 1;
    m.status = 13;  // a concatenated message not sent yet: phone status 2
    m.text = letters(71);
    mtr_SMS_settings_from_message(&s, &m, 0);
    EXPECT_EQ(s.status, 2);
    EXPECT_EQ(s.dcs, 8);
    EXPECT_EQ(s.first_octet, 0x11 | 0x20 | 0x40 | 0x80);
    EXPECT_EQ(s.concat, 1);
    mtr_SMS_settings_from_message(&s, &m, 1);
    EXPECT_EQ(s.first_octet & 0x20, 0);

    // A received message: deliver form, absolute validity from its date with
    // the zone written as plus.
    m = TestMessage{};
    m.status = 1;
    m.date = MTR_DATETIME{1998, 12, 31, 23, 59, 58};
    mtr_SMS_settings_from_message(&s, &m, 0);
    EXPECT_EQ(s.first_octet, 0);
    const uint8_t abs[9] = {8, 98, 12, 31, 23, 59, 58, 0, 0};
    EXPECT_EQ(std::memcmp(s.validity, abs, 9), 0);
    mtr_SMS_cnf_to_param(&p, &s);
    EXPECT_EQ(p.kind, 1);
    EXPECT_EQ(p.validity, 5);
    EXPECT_EQ(p.report_request, 3);
    EXPECT_EQ(p.date, m.date);

    // Parameters back to settings.
    SMS_PARAMETERS q;
    q.status = 3;
    q.validity = 1;
    q.report_request = 1;
    q.coding = 1;
    q.format = 4;
    mtr_SMS_settings_from_param(&s, &q);
    EXPECT_EQ(s.first_octet, 0x31);
    EXPECT_EQ(s.validity[1], 143);
    EXPECT_EQ(s.pid, 38);
    EXPECT_EQ(s.dcs, 4);

    // The +CSMP? form: a submit first octet is a message to send.
    SMS_SETTINGS c;
    c.kind = SMS_KIND_CSMP;
    c.first_octet = 0x00;
    mtr_SMS_cnf_to_param(&p, &c);
    EXPECT_EQ(p.status, 1);
    c.first_octet = 0x11;
    mtr_SMS_cnf_to_param(&p, &c);
    EXPECT_EQ(p.status, 2);
}

TEST(SmsSettings, DiallingForm)
{
    EXPECT_EQ(sms_dial_number(" (06) 12-34 p2 # * +x+"), "061234p2#*+");
    EXPECT_EQ(sms_dial_number("06+12+3"), "06+123");
}
#endif
