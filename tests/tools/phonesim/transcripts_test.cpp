// The reference exchanges T1-T9 of a Tarvel phone, spoken to the simulator process
// over its pseudo-terminal and compared byte for byte.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>

#include "phonesim_client.h"

namespace {

using phonesim::Port;
using phonesim::Process;

std::string lines(std::initializer_list<std::string> texts) {
    std::string out;
    for (const std::string& t : texts) out += "\r\n" + t + "\r\n";
    return out;
}

const std::string kPrompt = "\r\n> ";

struct Exchange {
    std::string sent;  // without the CR
    std::string expected;
};

void play(Port& port, std::initializer_list<Exchange> script) {
    for (const Exchange& e : script) EXPECT_EQ(port.at(e.sent), e.expected) << "after " << e.sent;
}

TEST(Transcripts, T1DiscoveryAndSetUp) {
    Process sim;
    Port port(sim.device());
    // The line break arrives as a NUL on a real line; it is ignored.
    EXPECT_EQ(port.exchange(std::string("\0AT+CGMI\r", 9)), lines({"Quenvale", "OK"}));
    play(port, {
        {"AT~MVER", lines({"PB=1.0,SMS=3.0,CB=1.0,ST1=2.0,ORG=1.0,CLK=1.0,ALA=1.0,MDY=1.0", "OK"})},
        {"AT+CPIN?", lines({"+CPIN: READY", "OK"})},
        {"AT+CSCS=\"GSM\"", lines({"OK"})},
        {"AT+CIND=?", lines({"+CIND: (\"battchg\",(0-4)),(\"signal\",(0-4)),(\"service\",(0-1)),(\"message\",(0-1)),"
                             "(\"call\",(0-1)),(\"roam\",(0-1)),(\"smsfull\",(0-1))", "OK"})},
        {"AT+CIND?", lines({"+CIND: 3,4,1,0,0,0,0", "OK"})},
        {"AT+CMER=1,0,0,1", lines({"OK"})},
        {"AT+CPBS=?", lines({"+CPBS: (\"FD\",\"ME\",\"SM\")", "OK"})},
        {"AT+CPBS=\"SM\"", lines({"OK"})},
        {"AT+CPBW=?", lines({"+CPBW: (1-250),20,(129,145),14", "OK"})},
        {"AT+CPBS=\"ME\"", lines({"OK"})},
        {"AT+CPBW=?", lines({"+CPBW: (1-200),32,(129,145),20", "OK"})},
        {"AT+CPBS=\"FD\"", lines({"OK"})},
        {"AT+CPBW=?", lines({"+CPBW: (1-10),20,(129,145),14", "OK"})},
        {"AT+CMGF=?", lines({"+CMGF: (0-1)", "OK"})},
        {"AT+CMGF=0", lines({"OK"})},
        {"AT+CPMS=?", lines({"+CPMS: (\"ME\",\"SM\"),(\"ME\",\"SM\"),(\"ME\",\"SM\")", "OK"})},
        {"AT+CPMS=\"ME\",\"ME\"", lines({"+CPMS: 2,100,2,100,1,30", "OK"})},
        {"AT+CPMS=\"SM\",\"SM\"", lines({"+CPMS: 1,30,1,30,1,30", "OK"})},
        {"AT+CNMI=1,1,0,1", lines({"OK"})},
        {"AT+CRES=?", lines({"+CRES: (0-3)", "OK"})},
        {"AT~MMYW=?", lines({"~MMYW: (1-8),12,500", "OK"})},
    });
    for (int profile = 0; profile < 4; ++profile) {
        play(port, {
            {"AT+CRES=" + std::to_string(profile), lines({"OK"})},
            {"AT+CSMP?", lines({"+CSMP: 17,167,0,0", "OK"})},
            {"AT+CSCA?", lines({"+CSCA: \"+33689004000\",145", "OK"})},
        });
    }
    play(port, {
        {"AT+CPBS=\"SM\"", lines({"OK"})},
        {"AT+CPBR=250", lines({"+CPBR: 250,\"0612345678\",129,\"Zoe\"", "OK"})},
        {"AT+CPBS=\"SM\"", lines({"OK"})},
        {"AT+CPBR=1", lines({"+CPBR: 1,\"+33612345678\",145,\"Alice\"", "OK"})},
    });
}

TEST(Transcripts, T2SimPinAtStartUp) {
    {
        Process sim("pin-state SIM PIN\nlock SC on\n");
        Port port(sim.device());
        play(port, {
            {"AT+CPIN?", lines({"+CPIN: SIM PIN", "OK"})},
            {"AT~MPIN=\"SC\"", lines({"~MPIN: 3,10,3", "OK"})},
            {"AT+CPIN?", lines({"+CPIN: SIM PIN", "OK"})},
            {"AT+CPIN=\"1234\"", lines({"OK"})},
            {"AT+CPIN?", lines({"+CPIN: READY", "OK"})},
        });
    }
    {
        Process sim("pin-state SIM PIN\n");
        Port port(sim.device());
        play(port, {
            {"AT+CPIN=\"0000\"", lines({"+CME ERROR: 16"})},
            {"AT~MPIN=\"SC\"", lines({"~MPIN: 2,10,2", "OK"})},
            {"AT+CPIN=\"0000\"", lines({"+CME ERROR: 16"})},
            {"AT+CPIN=\"0000\"", lines({"+CME ERROR: 16"})},
            {"AT~MPIN=\"SC\"", lines({"~MPIN: 0,10,0", "OK"})},
            {"AT~MPIN?", lines({"~MPIN: SIM PUK,10", "OK"})},
            {"AT+CPIN?", lines({"+CPIN: SIM PUK", "OK"})},
            {"AT+CPIN=\"12345678\",\"4321\"", lines({"OK"})},
        });
    }
    {
        Process sim("sim absent\n");
        Port port(sim.device());
        play(port, {{"AT+CPIN?", lines({"+CME ERROR: 10"})}});
    }
}

TEST(Transcripts, T3Pin2BeforeWritingFixedDialling) {
    Process sim;
    Port port(sim.device());
    play(port, {
        {"AT+CPBS=\"FD\"", lines({"OK"})},
        {"AT+CPBW=1,\"112\",129,\"Emergency\"", lines({"+CME ERROR: 17"})},
        {"AT+CPIN?", lines({"+CPIN: READY", "OK"})},
        {"AT~MPIN=\"P2\"", lines({"~MPIN: 3,10,3", "OK"})},
        {"AT+CPIN?", lines({"+CPIN: READY", "OK"})},
        {"AT+CPWD=\"P2\",\"5678\",\"5678\"", lines({"OK"})},
        {"AT+CPBS=\"FD\"", lines({"OK"})},
        {"AT+CPBW=1,\"112\",129,\"Emergency\"", lines({"OK"})},
        {"AT+CPBR=1", lines({"+CPBR: 1,\"112\",129,\"Emergency\"", "OK"})},
    });
}

TEST(Transcripts, T4AndT5SendingWithStatusReports) {
    Process sim("clock \"24/05/06,14:30:00+08\" frozen\n");
    Port port(sim.device());
    play(port, {{"AT+CNMI=1,1,0,1", lines({"OK"})}, {"AT+CMGS=19", kPrompt}});
    EXPECT_EQ(port.exchange("07913386094000F0" "3100" "0B913316325476F8" "0000A7" "05C8329BFD06\x1A"),
              lines({"+CMGS: 42", "OK"}));
    ASSERT_EQ(sim.command("clock \"24/05/06,14:30:05+08\" frozen"), "ok");
    ASSERT_EQ(sim.command("status-report 42 0"), "ok");
    const std::string pduReport =
        lines({"+CDS: 25"}) + "07913386094000F0" "062A0B913316325476F8" "42506041030080" "42506041035080" "00\r\n";
    EXPECT_EQ(port.readUntil(pduReport, 2000), pduReport);

    // T5: text mode.
    ASSERT_EQ(sim.command("clock \"24/05/06,14:30:00+08\" frozen"), "ok");
    play(port, {
        {"AT+CMGF=1", lines({"OK"})},
        {"AT+CSCA=\"+33689004000\"", lines({"OK"})},
        {"AT+CSMP=49,167,0,0", lines({"OK"})},
        {"AT+CMGS=\"+33612345678\",145", kPrompt},
    });
    EXPECT_EQ(port.exchange("Hello\x1A"), lines({"+CMGS: 43", "OK"}));
    ASSERT_EQ(sim.command("clock \"24/05/06,14:30:05+08\" frozen"), "ok");
    ASSERT_EQ(sim.command("status-report 43 0"), "ok");
    const std::string textReport =
        lines({"+CDS: 6,43,\"+33612345678\",145,\"24/05/06,14:30:00+08\",\"24/05/06,14:30:05+08\",0"});
    EXPECT_EQ(port.readUntil(textReport, 2000), textReport);
}

TEST(Transcripts, T6NewMessageWhileTheScreenIsOpen) {
    for (const bool text : {false, true}) {
        Process sim(std::string("clock \"24/05/06,14:30:00+08\" frozen\nsms-mode ") + (text ? "1" : "0") + "\n");
        Port port(sim.device());
        play(port, {{"AT+CNMI=1,1,0,1", lines({"OK"})}});
        ASSERT_EQ(sim.command("sms-receive SM +33612345678 Hello"), "ok");
        EXPECT_EQ(port.readUntil(lines({"+CMTI: \"SM\",3"}), 2000), lines({"+CMTI: \"SM\",3"}));
        play(port, {{"AT+CPMS=\"SM\",\"SM\"", lines({"+CPMS: 2,30,2,30,2,30", "OK"})}});
        if (!text) {
            play(port, {{"AT+CMGR=3", "\r\n+CMGR: 0,,24\r\n"
                                          "07913386094000F0040B913316325476F800004250604103008005C8329BFD06\r\n" +
                                          lines({"OK"})}});
        } else {
            play(port, {{"AT+CMGR=3", "\r\n+CMGR: \"REC UNREAD\",\"+33612345678\",,\"24/05/06,14:30:00+08\",145,5\r\n"
                                      "Hello\r\n" + lines({"OK"})}});
        }
    }
}

TEST(Transcripts, T7MelodyWriteAndPlay) {
    Process sim;
    Port port(sim.device());
    EXPECT_EQ(port.at("AT~MMYW=3,\"Tango\",120"), kPrompt);
    EXPECT_EQ(port.exchange("A4 c500 B4 c250\r"), kPrompt);
    EXPECT_EQ(port.exchange("M4 c500\x1A"), lines({"OK"}));
    EXPECT_EQ(port.at("AT~MMYP=\"Tango\",120,0"), kPrompt);
    EXPECT_EQ(port.exchange("A4 c500 B4 c250\r"), kPrompt);
    EXPECT_EQ(port.exchange("M4 c500\x1A"), lines({"OK"}));
    ASSERT_EQ(sim.command("melody-ended"), "ok");
    EXPECT_EQ(port.readUntil("~MMPI\r\n", 2000), lines({"~MMPI"}));
    EXPECT_EQ(port.at("AT~MMYR=1,8"), "\r\n~MMYR: 1,\"Scale\",100,31\r\nC4 c250 D4 c250 E4 c250 F4 c250\r\n"
                                      "\r\n~MMYR: 3,\"Tango\",120,23\r\nA4 c500 B4 c250 M4 c500\r\n" + lines({"OK"}));
}

TEST(Transcripts, T8AlarmsDialog) {
    Process sim;
    Port port(sim.device());
    play(port, {
        {"AT~MALR=\"ALA\"", lines({"~MALR: \"ALA\",1,\"07:30:00+00\"", "OK"})},
        {"AT~MALR=\"AUW\"", lines({"~MALR: \"AUW\",0,\"08:00:00+00\"", "OK"})},
        {"AT~MALR=\"AUS\"", lines({"~MALR: \"AUS\",1,\"23:00:00+00\"", "OK"})},
        {"AT~MALW=\"ALA\",1,\"07:45:00+00\"", lines({"OK"})},
        {"AT~MALW=\"AUW\",0,\"08:00:00+00\"", lines({"OK"})},
        {"AT~MALW=\"AUS\",1,\"23:00:00+00\"", lines({"OK"})},
        {"AT~MALR=\"ALA\"", lines({"~MALR: \"ALA\",1,\"07:45:00+00\"", "OK"})},
    });
}

TEST(Transcripts, T9LostLinkAndLinkTest) {
    Process sim;
    {
        Port port(sim.device());
        ASSERT_EQ(sim.command("mute on"), "ok");
        port.write("AT+CSQ\r");
        EXPECT_EQ(port.readFor(2100), "");  // no byte within the 2 s time-out
    }  // the program closes the port
    ASSERT_EQ(sim.command("mute off"), "ok");
    {
        // A program that took the port for itself can take it again after
        // closing it (only enforced for users other than root).
        Port exclusive(sim.device());
        ASSERT_EQ(ioctl(exclusive.fd(), TIOCEXCL), 0);
    }
    usleep(100000);
    Port port(sim.device());
    EXPECT_EQ(port.exchange(std::string("\0AT+CGMI\r", 9)), lines({"Quenvale", "OK"}));
    EXPECT_EQ(port.at("AT~MVER"), lines({"PB=1.0,SMS=3.0,CB=1.0,ST1=2.0,ORG=1.0,CLK=1.0,ALA=1.0,MDY=1.0", "OK"}));
}

TEST(Transcripts, T10WhatAnyAtClientAsksFirst) {
    Process sim("model Tarvel X9\nrevision R7\nserial 123456789012345\nimsi 20801000000042\n");
    Port port(sim.device());
    play(port, {
        {"AT+CGMI", lines({"Quenvale", "OK"})},
        {"AT+GMI", lines({"Quenvale", "OK"})},
        {"AT+CGMM", lines({"Tarvel X9", "OK"})},
        {"AT+GMM", lines({"Tarvel X9", "OK"})},
        {"AT+CGMR", lines({"R7", "OK"})},
        {"AT+GMR", lines({"R7", "OK"})},
        {"AT+CGSN", lines({"123456789012345", "OK"})},
        {"AT+GSN", lines({"123456789012345", "OK"})},
        {"AT+CIMI", lines({"20801000000042", "OK"})},
        {"ATI", lines({"Tarvel X9", "OK"})},
        {"ATI3", lines({"R7", "OK"})},
        {"ATI4", lines({"Quenvale Tarvel X9", "OK"})},
        {"ATI9", lines({"ERROR"})},
        {"AT+CGMM=?", lines({"OK"})},
        {"AT+CIMI=?", lines({"OK"})},
        {"AT+CGMM?", lines({"ERROR"})},
        // Read and test forms of what the phone sets.
        {"AT+CSCS?", lines({"+CSCS: \"IRA\"", "OK"})},
        {"AT+CSCS=?", lines({"+CSCS: (\"GSM\",\"IRA\",\"PCCP437\")", "OK"})},
        {"AT+CSCS=\"PCCP437\"", lines({"OK"})},
        {"AT+CSCS?", lines({"+CSCS: \"PCCP437\"", "OK"})},
        {"AT+CSCS=\"UCS2\"", lines({"ERROR"})},
        {"AT+CMGF?", lines({"+CMGF: 0", "OK"})},
        {"AT+CPBS?", lines({"+CPBS: \"SM\",3,250", "OK"})},
        {"AT+CPBS=\"ME\"", lines({"OK"})},
        {"AT+CPBS?", lines({"+CPBS: \"ME\",2,200", "OK"})},
        {"AT+CPMS?", lines({"+CPMS: \"SM\",1,30,\"SM\",1,30,\"SM\",1,30", "OK"})},
        {"AT+CNMI?", lines({"+CNMI: 0,0,0,0,0", "OK"})},
        {"AT+CNMI=2,1,0,1,0", lines({"OK"})},
        {"AT+CNMI?", lines({"+CNMI: 2,1,0,1,0", "OK"})},
        {"AT+CNMI=?", lines({"+CNMI: (0-2),(0-1),(0),(0-1),(0-1)", "OK"})},
        {"AT+CMER?", lines({"+CMER: 0,0,0,0,0", "OK"})},
        {"AT+CMER=1,0,0,1", lines({"OK"})},
        {"AT+CMER?", lines({"+CMER: 1,0,0,1,0", "OK"})},
        {"AT+CMER=?", lines({"+CMER: (0-1),(0),(0),(0-1),(0)", "OK"})},
        {"AT+CSMP=?", lines({"OK"})},
        {"AT+CSCA=?", lines({"OK"})},
        {"AT+CLCK=?", lines({"+CLCK: (\"SC\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\",\"AC\",\"FD\",\"PS\")", "OK"})},
        {"AT+CPWD=?",
         lines({"+CPWD: (\"SC\",8),(\"P2\",8),(\"PS\",8),(\"AO\",4),(\"OI\",4),(\"AI\",4),(\"AB\",4)", "OK"})},
        {"AT+CPIN=?", lines({"OK"})},
        {"AT+CREG=?", lines({"+CREG: (0-2)", "OK"})},
        {"AT+COPS=?", lines({"+COPS: (2,\"Tarvel Net\",\"Tarvel\",\"20801\"),,(0-4),(0-2)", "OK"})},
        {"AT+CBC=?", lines({"+CBC: (0-3),(0-100)", "OK"})},
        {"AT+CSQ=?", lines({"+CSQ: (0-31,99),(0-7,99)", "OK"})},
        {"AT+CCLK=?", lines({"OK"})},
        {"AT+CMEE?", lines({"+CMEE: 1", "OK"})},
        {"AT+CMEE=?", lines({"+CMEE: (0-2)", "OK"})},
        {"AT+CSDH?", lines({"+CSDH: 1", "OK"})},
        {"AT+CMGL=?", lines({"+CMGL: (0-4)", "OK"})},
    });
    // Status words are accepted in PDU mode and numbers in text mode.
    const std::string pduList = port.at("AT+CMGL=1");
    ASSERT_EQ(pduList.rfind("\r\n+CMGL: 2,1,,", 0), 0u) << pduList;
    EXPECT_EQ(port.at("AT+CMGL=\"REC READ\""), pduList);
    EXPECT_EQ(port.at("AT+CMGL=\"ALL\""), port.at("AT+CMGL=4"));
    EXPECT_EQ(port.at("AT+CMGL=\"READ\""), lines({"+CMS ERROR: 302"}));
    play(port, {
        {"AT+CMGF=1", lines({"OK"})},
        {"AT+CMGL=1", "\r\n+CMGL: 2,\"REC READ\",\"+33612345678\",,\"24/05/05,09:15:00+08\",145,15\r\n"
                      "See you at noon\r\n" + lines({"OK"})},
        {"AT+CSDH=0", lines({"OK"})},
        {"AT+CMGL=\"REC READ\"", "\r\n+CMGL: 2,\"REC READ\",\"+33612345678\",,\"24/05/05,09:15:00+08\"\r\n"
                                "See you at noon\r\n" + lines({"OK"})},
        {"AT+CMGL=5", lines({"+CMS ERROR: 302"})},
    });
}

TEST(Transcripts, T11ResetReturnsTheLineToItsPowerOnSettings) {
    for (const char* reset : {"ATZ", "AT&F"}) {
        Process sim("charset GSM\nsms-mode 1\n");
        Port port(sim.device());
        play(port, {
            {"AT+CSCS?", lines({"+CSCS: \"GSM\"", "OK"})},
            {"AT+CMGF?", lines({"+CMGF: 1", "OK"})},
            {"AT+CMGL=?", lines({"+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")", "OK"})},
            {"AT+CSCS=\"IRA\"", lines({"OK"})},
            {"AT+CMGF=0", lines({"OK"})},
            {"AT+CMEE=0", lines({"OK"})},
            {"AT+CPBR=999", lines({"ERROR"})},  // the cause is hidden now
            {"AT+CMGR=9", lines({"ERROR"})},
            {"AT+CSDH=0", lines({"OK"})},
            {"ATE1", lines({"OK"})},  // echo starts with the next line
            {"ATV0", "ATV0\r0\r"},
        });
        // The line is echoed as it arrives; the answer already follows the reset.
        EXPECT_EQ(port.at(reset), std::string(reset) + "\r" + lines({"OK"})) << reset;
        play(port, {
            {"AT+CSCS?", lines({"+CSCS: \"GSM\"", "OK"})},
            {"AT+CMGF?", lines({"+CMGF: 1", "OK"})},
            {"AT+CMEE?", lines({"+CMEE: 1", "OK"})},
            {"AT+CSDH?", lines({"+CSDH: 1", "OK"})},
            {"AT+CPBR=999", lines({"+CME ERROR: 21"})},
            {"AT", lines({"OK"})},  // no echo any more
        });
    }
}

TEST(Transcripts, T12ImsiNeedsAReadySim) {
    {
        Process sim("pin-state SIM PIN\n");
        Port port(sim.device());
        play(port, {
            {"AT+CIMI", lines({"+CME ERROR: 11"})},
            {"AT+CGSN", lines({"350123456789012", "OK"})},  // the phone itself answers without a SIM
            {"AT+CPIN=\"1234\"", lines({"OK"})},
            {"AT+CIMI", lines({"208011234567890", "OK"})},
        });
    }
    Process sim("sim absent\n");
    Port port(sim.device());
    EXPECT_EQ(port.at("AT+CIMI"), lines({"+CME ERROR: 10"}));
    EXPECT_EQ(sim.command("model OK then"), "error: model must not start with OK");
    EXPECT_EQ(sim.command("serial 12ab"), "error: usage: serial <6 to 17 digits>");
    EXPECT_EQ(sim.command("revision R8"), "ok");
    EXPECT_EQ(port.at("AT+CGMR"), lines({"R8", "OK"}));
}

TEST(Process, ControlCommandsAnswerOneLineAndUnplugRemovesThePort) {
    Process sim;
    EXPECT_EQ(sim.command("indicator battchg 2"), "ok");
    EXPECT_EQ(sim.command("indicator nonsense 2"), "error: unknown indicator nonsense");
    EXPECT_EQ(sim.command("call-result maybe"), "error: usage: call-result busy|no-carrier|no-answer|ring");
    const std::string state = sim.dump();
    EXPECT_NE(state.find("indicator battchg 2\n"), std::string::npos);
    EXPECT_NE(state.find("manufacturer Quenvale\n"), std::string::npos);
    EXPECT_EQ(sim.command("indicator battchg 1"), "ok");  // still in step after the dump
    ASSERT_EQ(access(sim.device().c_str(), F_OK), 0);
    EXPECT_EQ(sim.command("unplug"), "ok");
    EXPECT_NE(access(sim.device().c_str(), F_OK), 0);
    EXPECT_EQ(sim.command("clock-report"), "ok");  // keeps running without a port
}

TEST(Process, MeterCountsFromTheFirstMatchingCommand) {
    Process sim("", 19200);
    Port port(sim.device());
    EXPECT_EQ(sim.command("meter"), "error: no meter armed (meter from <command prefix>)");
    ASSERT_EQ(sim.command("meter from +CPB"), "ok");
    ASSERT_EQ(port.at("AT+CGMI"), lines({"Quenvale", "OK"}));
    EXPECT_EQ(sim.command("meter"), "ok 0 0 0");  // start-up traffic is not counted
    const std::string first = port.at("at+cpbr=1");  // the prefix matches in any case
    const std::string second = port.at("AT+CSQ");
    std::istringstream report(sim.command("meter"));
    std::string word;
    size_t in = 0, out = 0;
    long long us = 0;
    report >> word >> in >> out >> us;
    EXPECT_EQ(word, "ok");
    EXPECT_EQ(in, std::string("at+cpbr=1\rAT+CSQ\r").size());
    EXPECT_EQ(out, first.size() + second.size());
    // At 19200 baud the answers alone need their wire time.
    EXPECT_GE(us, static_cast<long long>(out * 10 * 1000000 / 19200));
    EXPECT_EQ(sim.command("meter sideways"), "error: usage: meter from <command prefix> | meter");
}

TEST(Process, RefuseAnswersCmeErrorThreeUntilCleared) {
    Process sim("clock \"01/03/05,13:05:00+00\" frozen\n");
    Port port(sim.device());
    // Only the set form is refused: reading the clock still works.
    ASSERT_EQ(sim.command("refuse +cclk="), "ok");
    play(port, {
        {"AT+CCLK=\"24/12/31,23:58:00+00\"", lines({"+CME ERROR: 3"})},
        {"AT+CCLK?", lines({"+CCLK: \"01/03/05,13:05:00+00\"", "OK"})},
        {"AT+CCLK=?", lines({"OK"})},
        {"AT+CSQ", lines({"+CSQ: 20,0", "OK"})},
    });
    EXPECT_NE(sim.dump().find("refuse +CCLK=\n"), std::string::npos);
    // A bare name refuses every form; with +CMEE=0 the cause is hidden.
    ASSERT_EQ(sim.command("refuse ~MALR"), "ok");
    play(port, {
        {"AT~MALR=\"ALA\"", lines({"+CME ERROR: 3"})},
        {"AT~MALR=?", lines({"+CME ERROR: 3"})},
        {"AT+CMEE=0", lines({"OK"})},
        {"AT~MALR=\"ALA\"", lines({"ERROR"})},
        {"AT+CMEE=1", lines({"OK"})},
    });
    ASSERT_EQ(sim.command("refuse ~MALR off"), "ok");
    EXPECT_EQ(port.at("AT~MALR=\"ALA\""), lines({"~MALR: \"ALA\",1,\"07:30:00+00\"", "OK"}));
    EXPECT_EQ(port.at("AT+CCLK=\"24/12/31,23:58:00+00\""), lines({"+CME ERROR: 3"})) << "the other stays refused";
    ASSERT_EQ(sim.command("refuse none"), "ok");
    play(port, {
        {"AT+CCLK=\"24/12/31,23:58:00+00\"", lines({"OK"})},
        {"AT+CCLK?", lines({"+CCLK: \"24/12/31,23:58:00+00\"", "OK"})},
    });
    EXPECT_EQ(sim.dump().find("refuse "), std::string::npos);
    for (const char* bad : {"refuse", "refuse CCLK", "refuse +", "refuse +CCLK=5", "refuse +CCLK later", "refuse +=?"})
        EXPECT_EQ(sim.command(bad).rfind("error: usage: refuse", 0), 0u) << bad;
}

TEST(Process, BadScenarioStopsTheStart) {
    EXPECT_THROW(Process("frobnicate 3\n"), std::runtime_error);
    EXPECT_THROW(Process("pin-state SIM PIN\nsim maybe\n"), std::runtime_error);
}

TEST(Process, PacingAt19200BaudTakesTheLinesTime) {
    Process sim("set long-mmyr on\n", 19200);
    Port port(sim.device());
    const auto start = std::chrono::steady_clock::now();
    const std::string answer = port.at("AT~MMYR=1", 10000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GT(answer.size(), 3000u);
    ASSERT_EQ(answer.substr(answer.size() - 6), "\r\nOK\r\n");
    const double expected = static_cast<double>(answer.size()) * 10.0 / 19200.0;
    EXPECT_NEAR(seconds, expected, expected * 0.2) << answer.size() << " bytes";
}

}  // namespace
