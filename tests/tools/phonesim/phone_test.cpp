// The phone's interpreter, driven in-process (no pty).
#include "phone.h"

#include <gtest/gtest.h>

#include <thread>

namespace phonesim {
namespace {

using namespace std::string_literals;

std::string at(Phone& phone, const std::string& command) {
    phone.receive(command + "\r");
    return phone.takeOutput();
}

std::string lines(std::initializer_list<const char*> texts) {
    std::string out;
    for (const char* t : texts) out += std::string("\r\n") + t + "\r\n";
    return out;
}

TEST(PhoneLine, IgnoresBytesBeforeAtAndAssemblesSplitLines) {
    Phone phone;
    phone.receive(std::string("\x00\xFF\n xyz", 7));
    phone.receive("AT+CS");
    EXPECT_EQ(phone.takeOutput(), "");
    phone.receive("Q\r");
    EXPECT_EQ(phone.takeOutput(), lines({"+CSQ: 20,0", "OK"}));
    // A lone "A" followed by something else is noise too.
    EXPECT_EQ(at(phone, "AxAT"), lines({"OK"}));
}

TEST(PhoneLine, UnknownCommandsAnswerError) {
    Phone phone;
    EXPECT_EQ(at(phone, "AT+CXYZ"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT+CSMS?"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT~MXYZ=1"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "ATQ"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT+CPBR=\"unterminated"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT"), lines({"OK"}));
}

TEST(PhoneLine, MangledCommandsNeverBreakThePhone) {
    // Every command name with argument texts cut and mixed at random: the
    // phone must neither throw nor stop answering.
    static const char* const names[] = {
        "+CPIN", "~MPIN", "+CLCK", "+CPWD", "+CPBS", "+CPBR", "+CPBW", "+CMGF", "+CPMS", "+CSCA", "+CSMP",
        "+CSAS", "+CRES", "+CNMI", "+CMGL", "+CMGR", "+CMGS", "+CMSS", "+CMGW", "+CMGD", "+CCLK", "~MDAF",
        "~MTIF", "~MDRR", "~MDRW", "~MDRD", "~MALW", "~MALR", "~MMER", "~MMYR", "~MMYW", "~MMYP", "~MMYS",
        "+CREG", "+COPS", "+CIND", "+CMER", "+CSCS", "D", "H", "E", "V"};
    static const char* const pieces[] = {"=", "?", "=?", ",", "\"", "1", "255", "0", "99999999", "\\",
                                         "\\4", "\\4G", "SM", "FD", "\"24/05/06,14:30:00+08\"", "-", "(",
                                         "REC READ", " ", ";", "+33", "A"};
    unsigned seed = 12345;
    auto next = [&](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    Phone phone;
    for (int i = 0; i < 20000; ++i) {
        std::string line = std::string("AT") + names[next(std::size(names))];
        for (unsigned k = next(6); k > 0; --k) line += pieces[next(std::size(pieces))];
        ASSERT_NO_THROW(phone.receive(line + "\r")) << line;
        ASSERT_NO_THROW(phone.receive("\x1A")) << line;  // ends any body the line opened
        const std::string out = phone.takeOutput();
        ASSERT_FALSE(out.empty()) << line;
    }
    phone.receive("ATE0\rATV1\r");  // the mix may have switched echo or digits on
    phone.takeOutput();
    EXPECT_EQ(at(phone, "AT"), lines({"OK"}));
}

TEST(PhoneSecurity, PinCounterBlocksIntoPukAndPukRestores) {
    Phone phone;
    ASSERT_EQ(phone.apply("pin-state SIM PIN"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBR=1"), lines({"+CME ERROR: 11"}));
    EXPECT_EQ(at(phone, "AT+CMGR=1"), lines({"+CMS ERROR: 311"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"0000\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT~MPIN=\"SC\""), lines({"~MPIN: 2,10,2", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"1111\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"2222\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CPIN?"), lines({"+CPIN: SIM PUK", "OK"}));
    EXPECT_EQ(at(phone, "AT~MPIN?"), lines({"~MPIN: SIM PUK,10", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"1234\""), lines({"+CME ERROR: 12"}));  // the PIN no longer helps
    EXPECT_EQ(at(phone, "AT+CPBR=1"), lines({"+CME ERROR: 12"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"99999999\",\"4321\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT~MPIN?"), lines({"~MPIN: SIM PUK,9", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"12345678\",\"4321\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPIN?"), lines({"+CPIN: READY", "OK"}));
    EXPECT_EQ(at(phone, "AT~MPIN=\"SC\""), lines({"~MPIN: 3,10,3", "OK"}));
    // The new PIN is the one checked now (old = new verifies a code).
    EXPECT_EQ(at(phone, "AT+CPWD=\"SC\",\"1234\",\"1234\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CPWD=\"SC\",\"4321\",\"4321\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT~MPIN=\"SC\""), lines({"~MPIN: 3,10,3", "OK"}));
}

TEST(PhoneSecurity, PukCounterRunsOutAndPin2GuardsFixedDialling) {
    Phone phone;
    ASSERT_EQ(phone.apply("pin-state SIM PUK"), "ok");
    ASSERT_EQ(phone.apply("attempts PUK 1"), "ok");
    EXPECT_EQ(at(phone, "AT+CPIN=\"00000000\",\"1111\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CPIN=\"12345678\",\"1111\""), lines({"+CME ERROR: 13"}));  // blocked for good

    Phone fd;
    EXPECT_EQ(at(fd, "AT+CPBS=\"FD\""), lines({"OK"}));
    EXPECT_EQ(at(fd, "AT+CPBW=1,\"112\",129,\"Emergency\""), lines({"+CME ERROR: 17"}));
    EXPECT_EQ(at(fd, "AT+CPWD=\"P2\",\"0000\",\"0000\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(fd, "AT~MPIN=\"P2\""), lines({"~MPIN: 2,10,2", "OK"}));
    EXPECT_EQ(at(fd, "AT+CPWD=\"P2\",\"0000\",\"0000\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(fd, "AT+CPWD=\"P2\",\"0000\",\"0000\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(fd, "AT+CPBW=1,\"112\",129,\"Emergency\""), lines({"+CME ERROR: 18"}));
    EXPECT_EQ(at(fd, "AT+CPIN=\"87654321\",\"2468\""), lines({"OK"}));
    EXPECT_EQ(at(fd, "AT+CPBW=1,\"112\",129,\"Emergency\""), lines({"OK"}));
}

TEST(PhoneSecurity, FacilityLocksNeedTheirCode) {
    Phone phone;
    EXPECT_EQ(at(phone, "AT+CLCK=\"SC\",2"), lines({"+CLCK: 0", "OK"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"SC\",1,\"9999\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"SC\",1,\"1234\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"SC\",2"), lines({"+CLCK: 1", "OK"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"AO\",1,\"0000\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPWD=\"AO\",\"0000\",\"1357\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"AO\",0,\"0000\""), lines({"+CME ERROR: 16"}));
    EXPECT_EQ(at(phone, "AT+CLCK=\"AO\",0,\"1357\""), lines({"OK"}));
    ASSERT_EQ(phone.apply("sim absent"), "ok");
    EXPECT_EQ(at(phone, "AT+CPIN?"), lines({"+CME ERROR: 10"}));
    EXPECT_EQ(at(phone, "AT+CMGL=4"), lines({"+CMS ERROR: 310"}));
}

TEST(PhoneSecurity, SimBusyWindowAfterReady) {
    Phone phone;
    ASSERT_EQ(phone.apply("pin-state SIM PIN"), "ok");
    ASSERT_EQ(phone.apply("sim-busy 1"), "ok");
    EXPECT_EQ(at(phone, "AT+CPIN=\"1234\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBR=250"), lines({"+CME ERROR: 14"}));
    EXPECT_EQ(at(phone, "AT+CPMS=\"SM\""), lines({"+CMS ERROR: 314"}));
    EXPECT_EQ(at(phone, "AT+CSQ"), lines({"+CSQ: 20,0", "OK"}));  // not SIM-bound
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(at(phone, "AT+CPBR=250"), lines({"+CPBR: 250,\"0612345678\",129,\"Zoe\"", "OK"}));
}

TEST(PhonePhonebook, LimitsAndErase) {
    Phone phone;
    EXPECT_EQ(at(phone, "AT+CPBW=0,\"1\",129,\"x\""), lines({"+CME ERROR: 21"}));
    EXPECT_EQ(at(phone, "AT+CPBW=251,\"1\",129,\"x\""), lines({"+CME ERROR: 21"}));
    EXPECT_EQ(at(phone, "AT+CPBW=3,\"123456789012345678901\",129,\"x\""), lines({"+CME ERROR: 26"}));
    // The leading '+' does not count against the 20 digits.
    EXPECT_EQ(at(phone, "AT+CPBW=3,\"+12345678901234567890\",145,\"x\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBW=4,\"1\",129,\"ABCDEFGHIJKLMNO\""), lines({"+CME ERROR: 24"}));
    EXPECT_EQ(at(phone, "AT+CPBW=4,\"12A34\",129,\"Pause\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBR=3,4"), lines({"+CPBR: 3,\"+12345678901234567890\",145,\"x\"",
                                                 "+CPBR: 4,\"12A34\",129,\"Pause\"", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPBW=4"), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBR=4"), lines({"OK"}));  // an empty location: just OK
    ASSERT_EQ(phone.apply("phonebook FD 2 20 14"), "ok");
    ASSERT_EQ(phone.apply("pin2-verified on"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBS=\"FD\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBW=,\"1\",129,\"a\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBW=,\"2\",129,\"b\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBW=,\"3\",129,\"c\""), lines({"+CME ERROR: 20"}));
    ASSERT_EQ(phone.apply("set two-cpbw-ranges on"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBW=?"), lines({"+CPBW: (1-1,2-2),20,(129,145),14", "OK"}));
    ASSERT_EQ(phone.apply("set two-cpbw-ranges off"), "ok");
    ASSERT_EQ(phone.apply("set big-capacities on"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBW=?"), lines({"+CPBW: (1-300),20,(129,145),14", "OK"}));
}

TEST(PhoneMessages, TextModeListOfReceivedAndStored) {
    Phone phone;
    ASSERT_EQ(phone.apply("clear-messages SM"), "ok");
    ASSERT_EQ(phone.apply("clock \"24/05/06,14:30:00+08\" frozen"), "ok");
    EXPECT_EQ(at(phone, "AT+CMGF=1"), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CNMI=1,1,0,1"), lines({"OK"}));
    ASSERT_EQ(phone.apply("sms-receive SM +33612345678 Hello there"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMTI: \"SM\",1"}));
    EXPECT_EQ(at(phone, "AT+CMGW=\"0612345678\",129"), "\r\n> ");
    phone.receive("On my way\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMGW: 2", "OK"}));
    EXPECT_EQ(at(phone, "AT+CMGL=\"REC UNREAD\""),
              "\r\n+CMGL: 1,\"REC UNREAD\",\"+33612345678\",,\"24/05/06,14:30:00+08\",145,11\r\nHello there\r\n" +
                  lines({"OK"}));
    // Listing marked it read.
    EXPECT_EQ(at(phone, "AT+CMGL=\"REC UNREAD\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGL=\"STO UNSENT\""),
              "\r\n+CMGL: 2,\"STO UNSENT\",\"0612345678\",,,129,9\r\nOn my way\r\n" + lines({"OK"}));
    // Bodies are raw GSM codes once the GSM set is chosen: "@" is 0x00.
    ASSERT_EQ(phone.apply("sms-receive SM 0612 a@b"), "ok");
    phone.takeOutput();
    EXPECT_EQ(at(phone, "AT+CSCS=\"GSM\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=3"),
              "\r\n+CMGR: \"REC UNREAD\",\"0612\",,\"24/05/06,14:30:00+08\",129,3\r\na\0b\r\n"s +
                  lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=9"), lines({"+CMS ERROR: 321"}));
    EXPECT_EQ(at(phone, "AT+CMGD=9"), lines({"OK"}));
}

TEST(PhoneMessages, PduStoreChecksLengthAndReadsBack) {
    Phone phone;
    ASSERT_EQ(phone.apply("clear-messages SM"), "ok");
    // Wrong length: the TPDU is 19 octets, not 18.
    EXPECT_EQ(at(phone, "AT+CMGW=18,2"), "\r\n> ");
    phone.receive("07913386094000F011000B913316325476F80000A705C8329BFD06\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMS ERROR: 304"}));
    EXPECT_EQ(at(phone, "AT+CMGW=19,2"), "\r\n> ");
    phone.receive("07913386094000F011000B913316325476F80000A705C8329BFD06\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMGW: 1", "OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=1"),
              "\r\n+CMGR: 2,,19\r\n07913386094000F011000B913316325476F80000A705C8329BFD06\r\n" + lines({"OK"}));
    // Sending it from storage gives a reference and marks it sent.
    ASSERT_EQ(phone.apply("set send-error 500"), "ok");
    EXPECT_EQ(at(phone, "AT+CMSS=1"), lines({"+CMS ERROR: 500"}));
    ASSERT_EQ(phone.apply("set send-error 0"), "ok");
    EXPECT_EQ(at(phone, "AT+CMSS=1"), lines({"+CMSS: 42", "OK"}));
    // The control command shows what went out, reference filled in.
    EXPECT_EQ(phone.apply("sent"), "sent 42 07913386094000F0112A0B913316325476F80000A705C8329BFD06\nok");
    EXPECT_EQ(at(phone, "AT+CMGL=3"),
              "\r\n+CMGL: 1,3,,19\r\n07913386094000F011000B913316325476F80000A705C8329BFD06\r\n" + lines({"OK"}));
    // A received message stored by the program comes as a DELIVER.
    EXPECT_EQ(at(phone, "AT+CMGW=24,1"), "\r\n> ");
    phone.receive("00040B913316325476F800004250604103008005C8329BFD06\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMGW: 2", "OK"}));
    // The same message in the SUBMIT layout with a first octet of 0: MR,
    // DA, PID, DCS, the time stamp as absolute validity, then the text.
    EXPECT_EQ(at(phone, "AT+CMGW=25,1"), "\r\n> ");
    phone.receive("0000000B913316325476F800004250604103008005C8329BFD06\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMGW: 3", "OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=3"),
              "\r\n+CMGR: 1,,24\r\n00040B913316325476F800004250604103008005C8329BFD06\r\n" + lines({"OK"}));
    // Escape cancels without storing.
    EXPECT_EQ(at(phone, "AT+CMGW=19,2"), "\r\n> ");
    phone.receive("0791\x1B");
    EXPECT_EQ(phone.takeOutput(), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPMS=\"SM\""), lines({"+CPMS: 3,30,3,30,3,30", "OK"}));
}

TEST(PhoneMessages, StoreAndDeleteRefusalsStartAfterTheGivenCount) {
    Phone phone;
    ASSERT_EQ(phone.apply("clear-messages SM"), "ok");
    ASSERT_EQ(phone.apply("set store-error 322"), "ok");
    ASSERT_EQ(phone.apply("set error-after 1"), "ok");
    const std::string pdu = "07913386094000F011000B913316325476F80000A705C8329BFD06\x1A";
    EXPECT_EQ(at(phone, "AT+CMGW=19,2"), "\r\n> ");
    phone.receive(pdu);
    EXPECT_EQ(phone.takeOutput(), lines({"+CMGW: 1", "OK"}));
    EXPECT_EQ(at(phone, "AT+CMGW=19,2"), "\r\n> ");
    phone.receive(pdu);
    EXPECT_EQ(phone.takeOutput(), lines({"+CMS ERROR: 322"}));
    // The refused store kept nothing; deletions go on until theirs is set.
    EXPECT_EQ(at(phone, "AT+CPMS=\"SM\""), lines({"+CPMS: 1,30,1,30,1,30", "OK"}));
    ASSERT_EQ(phone.apply("set delete-error 500"), "ok");
    EXPECT_EQ(at(phone, "AT+CMGD=1"), lines({"+CMS ERROR: 500"}));
    EXPECT_EQ(at(phone, "AT+CMGR=1").substr(0, 8), "\r\n+CMGR:");
    ASSERT_EQ(phone.apply("set delete-error 0"), "ok");
    EXPECT_EQ(at(phone, "AT+CMGD=1"), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=1"), lines({"+CMS ERROR: 321"}));
    EXPECT_NE(phone.apply("set store-error many").rfind("error:", 0), std::string::npos);
}

TEST(PhoneMessages, AlphanumericSenderAndOtherCodings) {
    Phone phone;
    ASSERT_EQ(phone.apply("clear-messages SM"), "ok");
    ASSERT_EQ(phone.apply("clock \"24/05/06,14:30:00+08\" frozen"), "ok");
    ASSERT_EQ(phone.apply("sms-receive SM Tarvel Welcome"), "ok");
    // PDU form: type D0; 6 letters packed are 42 bits, 11 semi-octets:
    // "Tarvel" D4 B0 DC 5E 66 03, "Welcome" D7 32 7B FC 6E 97 01.
    EXPECT_EQ(at(phone, "AT+CMGR=1"), "\r\n+CMGR: 0,,26\r\n07913386094000F0040BD0D4B0DC5E6603"
                                      "00004250604103008007D7327BFC6E9701\r\n" + lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGF=1"), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CMGR=1"),
              "\r\n+CMGR: \"REC READ\",\"Tarvel\",,\"24/05/06,14:30:00+08\",208,7\r\nWelcome\r\n" + lines({"OK"}));
    // A UCS2 message in text mode: the body is hexadecimal, as 07.05 prints
    // it, and its length counts octets (4), not hexadecimal characters.
    ASSERT_EQ(phone.apply("sms-receive-pdu SM 040B913316325476F800084250604103008004004800E9"), "ok");
    EXPECT_EQ(at(phone, "AT+CMGR=2"),
              "\r\n+CMGR: \"REC UNREAD\",\"+33612345678\",,\"24/05/06,14:30:00+08\",145,4\r\n004800E9\r\n" +
                  lines({"OK"}));
    EXPECT_EQ(phone.apply("sms-receive-pdu SM 3100"), "error: bad PDU: bad address");
    EXPECT_EQ(phone.apply("sms-receive-pdu SM 31000B913316325476F80000A705C8329BFD06"), "error: not an SMS-DELIVER");
}

TEST(PhoneMelody, WrittenInPromptPhasesAndReadBack) {
    Phone phone;
    ASSERT_EQ(phone.apply("clear-melodies"), "ok");
    EXPECT_EQ(at(phone, "AT~MMYW=3,\"Tango\",120"), "\r\n> ");
    phone.receive("A4 c500 B4 c250\r");
    EXPECT_EQ(phone.takeOutput(), "\r\n> ");
    phone.receive("M4 c500 D4 c250\r");
    EXPECT_EQ(phone.takeOutput(), "\r\n> ");
    phone.receive("E4 c500\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT~MMYR=1,8"),
              "\r\n~MMYR: 3,\"Tango\",120,39\r\nA4 c500 B4 c250 M4 c500 D4 c250 E4 c500\r\n" + lines({"OK"}));
    // Out of range slot, too long a name, too many notes.
    EXPECT_EQ(at(phone, "AT~MMYW=9,\"X\",120"), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT~MMYW=1,\"ThirteenChars\",120"), lines({"ERROR"}));
    ASSERT_EQ(phone.apply("melody-slots 8 12 10"), "ok");
    EXPECT_EQ(at(phone, "AT~MMYW=1,\"Long\",90"), "\r\n> ");
    phone.receive("A4 c500 B4 c250\x1A");
    EXPECT_EQ(phone.takeOutput(), lines({"ERROR"}));
    EXPECT_EQ(at(phone, "AT~MMYR=1"), lines({"OK"}));
}

// A fault aimed at one command: other commands and earlier matches are
// answered; the chosen one loses its answer, or has it cut; then all is well.
TEST(PhoneSwitches, FaultAtAChosenCommand) {
    Phone phone;
    ASSERT_EQ(phone.apply("fault drop +cpbs=\"SM\" 2"), "ok");
    EXPECT_EQ(at(phone, "AT+CPBS=\"SM\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBS=\"ME\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CSQ"), lines({"+CSQ: 20,0", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPBS=\"SM\""), "");
    EXPECT_EQ(at(phone, "AT+CPBS=\"SM\""), lines({"OK"}));
    ASSERT_EQ(phone.apply("fault cut +CPBS=\"SM\""), "ok");
    EXPECT_EQ(at(phone, "AT+CPBS=\"SM\""), lines({"OK"}).substr(0, 3));
    EXPECT_EQ(at(phone, "AT+CPBS=\"SM\""), lines({"OK"}));
    ASSERT_EQ(phone.apply("fault drop +CSQ"), "ok");
    ASSERT_EQ(phone.apply("fault none"), "ok");
    EXPECT_EQ(at(phone, "AT+CSQ"), lines({"+CSQ: 20,0", "OK"}));
    EXPECT_NE(phone.apply("fault lose +CSQ"), "ok");
    EXPECT_NE(phone.apply("fault drop +CSQ 0"), "ok");
}

TEST(PhoneSwitches, ChannelMisbehaviour) {
    Phone phone;
    ASSERT_EQ(phone.apply("set echo on"), "ok");
    EXPECT_EQ(at(phone, "AT+CBC"), "AT+CBC\r" + lines({"+CBC: 0,80", "OK"}));
    ASSERT_EQ(phone.apply("set echo off"), "ok");
    ASSERT_EQ(phone.apply("set lf-only on"), "ok");
    EXPECT_EQ(at(phone, "AT+CBC"), "\n+CBC: 0,80\n\nOK\n");
    ASSERT_EQ(phone.apply("set lf-only off"), "ok");
    ASSERT_EQ(phone.apply("set comma-blanks on"), "ok");
    EXPECT_EQ(at(phone, "AT+CBC"), lines({"+CBC: 0, 80", "OK"}));
    ASSERT_EQ(phone.apply("set comma-blanks off"), "ok");
    ASSERT_EQ(phone.apply("set silent-next on"), "ok");
    EXPECT_EQ(at(phone, "AT+CSQ"), "");
    EXPECT_EQ(at(phone, "AT+CSQ"), lines({"+CSQ: 20,0", "OK"}));
    ASSERT_EQ(phone.apply("set partial-next on"), "ok");
    EXPECT_EQ(at(phone, "AT+CSQ"), std::string(lines({"+CSQ: 20,0", "OK"})).substr(0, 10));
    // The rest of a cut answer may come later: the phone talking while the
    // program resynchronises.
    ASSERT_EQ(phone.apply("set partial-rest-delay 20"), "ok");
    ASSERT_EQ(phone.apply("set partial-next on"), "ok");
    EXPECT_EQ(at(phone, "AT+CSQ"), std::string(lines({"+CSQ: 20,0", "OK"})).substr(0, 10));
    ASSERT_TRUE(phone.nextDue());
    phone.releaseDue(*phone.nextDue());
    EXPECT_EQ(phone.takeOutput(), std::string(lines({"+CSQ: 20,0", "OK"})).substr(10));
    ASSERT_EQ(phone.apply("set bare-ok-next on"), "ok");
    EXPECT_EQ(at(phone, "AT+CSQ"), lines({"OK"}));
    ASSERT_EQ(phone.apply("set unknown-before-cgmi on"), "ok");
    EXPECT_EQ(at(phone, "AT+CGMI"), lines({"^SYSSTART", "Quenvale", "OK"}));
    ASSERT_EQ(phone.apply("set refuse-cind-test on"), "ok");
    EXPECT_EQ(at(phone, "AT+CIND=?"), lines({"ERROR"}));
    ASSERT_EQ(phone.apply("set quoted-pin-state on"), "ok");
    EXPECT_EQ(at(phone, "AT+CPIN?"), lines({"+CPIN: \"READY\"", "OK"}));
    ASSERT_EQ(phone.apply("mute on"), "ok");
    EXPECT_EQ(at(phone, "AT"), "");
    EXPECT_EQ(phone.apply("set no-such-switch on"), "error: unknown switch no-such-switch");
    EXPECT_EQ(phone.apply("set echo maybe"), "error: echo takes on or off");
}

TEST(PhoneSwitches, DelayedDialResultAndUnsolicitedCodes) {
    Phone phone;
    ASSERT_EQ(phone.apply("set dial-delay 50"), "ok");
    EXPECT_EQ(at(phone, "ATD+3361234A5;"), "");
    ASSERT_TRUE(phone.nextDue());
    phone.releaseDue(*phone.nextDue());
    EXPECT_EQ(phone.takeOutput(), lines({"OK"}));
    EXPECT_EQ(phone.apply("call-result no-carrier"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"NO CARRIER"}));
    // +CIEV only after +CMER=1,0,0,1, positions from 1.
    EXPECT_EQ(phone.apply("indicator signal 2"), "ok");
    EXPECT_EQ(phone.takeOutput(), "");
    EXPECT_EQ(at(phone, "AT+CMER=1,0,0,1"), lines({"OK"}));
    EXPECT_EQ(phone.apply("indicator signal 1"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"+CIEV: 2,1"}));
    EXPECT_EQ(at(phone, "AT+CIND?"), lines({"+CIND: 3,1,1,0,0,0,0", "OK"}));
    EXPECT_EQ(phone.apply("set ciev-storm 3"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"+CIEV: 2,0", "+CIEV: 2,1", "+CIEV: 2,2"}));
    EXPECT_EQ(phone.apply("creg 1"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"+CREG: 1"}));
    EXPECT_EQ(phone.apply("alarm ALA"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"~MALI: \"ALA\""}));
    EXPECT_EQ(phone.apply("status-report 7 0"), "error: no message sent with reference 7");
}

TEST(PhoneScenario, LoadsDirectivesAndReportsTheBadLine) {
    Phone phone;
    EXPECT_EQ(phone.loadScenario("# a comment\n\nmanufacturer Acme Phones\n"
                                 "entry ME 7 \"0123\" 129 \"Dentist\"\n"
                                 "set receive-memory MT\n"
                                 "operator \"Tarvel Mobile\" Tarvel 20801\n"),
              "");
    EXPECT_EQ(at(phone, "AT+CGMI"), lines({"Acme Phones", "OK"}));
    EXPECT_EQ(at(phone, "AT+CPBS=\"ME\""), lines({"OK"}));
    EXPECT_EQ(at(phone, "AT+CPBR=7"), lines({"+CPBR: 7,\"0123\",129,\"Dentist\"", "OK"}));
    EXPECT_EQ(at(phone, "AT+COPS?"), lines({"+COPS: 0,0,\"Tarvel Mobile\"", "OK"}));
    EXPECT_EQ(at(phone, "AT+CNMI=1,1,0,0"), lines({"OK"}));
    ASSERT_EQ(phone.apply("sms-receive SM 0612 hi"), "ok");
    EXPECT_EQ(phone.takeOutput(), lines({"+CMTI: \"MT\",3"}));
    EXPECT_EQ(phone.loadScenario("sim present\nfrobnicate 3\n"), "line 2: error: unknown command frobnicate");
    EXPECT_EQ(phone.loadScenario("manufacturer ThisNameIsFarTooLongToBeOne"),
              "line 1: error: manufacturer must be 1 to 20 characters");
    EXPECT_NE(phone.dump().find("entry ME 7 \"0123\" 129 \"Dentist\"\n"), std::string::npos);
}

}  // namespace
}  // namespace phonesim
