// Numbers shared by the request functions (task 0) and the AT interpreter
// task (ATI): request numbers, confirm numbers, running-command codes, final
// result codes and request results.
#pragma once

#include <cstdint>

// ---- Request numbers (task 0 -> ATI), byte 1 of a class-0 message --------
enum AT_REQ : uint8_t {
    AT_REQ_AND_T9 = 0,     // AT&T9
    AT_REQ_CGMI = 1,       // AT+CGMI
    AT_REQ_CSCS_SET = 2,   // AT+CSCS=<set>
    AT_REQ_DIAL = 9,       // ATD<number>;
    AT_REQ_HANGUP = 10,    // ATH
    AT_REQ_CREG_SET = 15,  // AT+CREG=<n>
    AT_REQ_CREG_GET = 16,  // AT+CREG?
    AT_REQ_COPS_SET = 18,  // AT+COPS=<a>[,<b>...]
    AT_REQ_COPS_GET = 19,  // AT+COPS?
    AT_REQ_CLCK_SET = 21,  // AT+CLCK=<fac>,<mode>[,<password>]
    AT_REQ_CLCK_TEST = 22, // AT+CLCK=?
    AT_REQ_CPWD_SET = 23,  // AT+CPWD=<fac>,<old>,<new>
    AT_REQ_CPWD_TEST = 24, // AT+CPWD=?
    AT_REQ_CPIN_SET = 29,  // AT+CPIN=<code>[,<new code>]
    AT_REQ_CPIN_GET = 30,  // AT+CPIN?
    AT_REQ_MPIN_SET = 31,  // AT~MPIN=<fac>
    AT_REQ_MPIN_GET = 32,  // AT~MPIN?
    AT_REQ_CBC = 33,       // AT+CBC
    AT_REQ_CSQ = 35,       // AT+CSQ
    AT_REQ_CIND_GET = 38,  // AT+CIND?
    AT_REQ_CIND_TEST = 39, // AT+CIND=?
    AT_REQ_CMER_SET = 40,  // AT+CMER=<a>[,<b>...]
    AT_REQ_CPBS_SET = 43,  // AT+CPBS=<storage>
    AT_REQ_CPBS_TEST = 45, // AT+CPBS=?
    AT_REQ_CPBR = 46,      // AT+CPBR=<first>[,<last>]
    AT_REQ_CPBW = 48,      // AT+CPBW=<index>[,<number>,<type>,<name>]
    AT_REQ_CPBW_TEST = 49, // AT+CPBW=?
    AT_REQ_CCLK_GET = 50,  // AT+CCLK?
    AT_REQ_CCLK_SET = 51,  // AT+CCLK=<date-time>
    AT_REQ_CPMS_SET = 62,  // AT+CPMS=<mem1>[,<mem2>[,<mem3>]]
    AT_REQ_CPMS_TEST = 64, // AT+CPMS=?
    AT_REQ_CMGF_SET = 65,  // AT+CMGF=<mode>
    AT_REQ_CMGF_TEST = 67, // AT+CMGF=?
    AT_REQ_CSCA_SET = 72,  // AT+CSCA=<number>[,<type>]
    AT_REQ_CSCA_GET = 73,  // AT+CSCA?
    AT_REQ_CSMP_SET = 74,  // AT+CSMP=<fo>[,<vp>[,<pid>[,<dcs>]]]
    AT_REQ_CSMP_GET = 75,  // AT+CSMP?
    AT_REQ_CSAS_SET = 79,  // AT+CSAS=<profile>
    AT_REQ_CSAS_TEST = 80, // AT+CSAS=?
    AT_REQ_CRES_SET = 81,  // AT+CRES=<profile>
    AT_REQ_CRES_TEST = 82, // AT+CRES=?
    AT_REQ_CNMI_SET = 87,  // AT+CNMI=<mode>[,...]
    AT_REQ_CMGL = 90,      // AT+CMGL=<stat>
    AT_REQ_CMGR = 92,      // AT+CMGR=<index>
    AT_REQ_CMGS = 94,      // AT+CMGS=... (two phases)
    AT_REQ_CMSS = 95,      // AT+CMSS=<index>[,<da>,<type>]
    AT_REQ_CMGW = 96,      // AT+CMGW=... (two phases)
    AT_REQ_CMGD = 97,      // AT+CMGD=<index>
    AT_REQ_MVER = 109,     // AT~MVER
    AT_REQ_MDAF_SET = 110, // AT~MDAF=<format>
    AT_REQ_MDAF_GET = 111, // AT~MDAF?
    AT_REQ_MTIF_SET = 112, // AT~MTIF=<format>
    AT_REQ_MTIF_GET = 113, // AT~MTIF?
    AT_REQ_MDRR_TEST = 114, // AT~MDRR=?
    AT_REQ_MDRR = 115,     // AT~MDRR=<first>[,<last>]
    AT_REQ_MDRW = 116,     // AT~MDRW=[<index>],<date-time>,[<text>,<a>,<b>,<c>]
    AT_REQ_MDRD = 117,     // AT~MDRD=<index>
    AT_REQ_MALW = 118,     // AT~MALW=<kind>,<state>,<time>
    AT_REQ_MALR = 119,     // AT~MALR=<kind>
    AT_REQ_MMER = 120,     // AT~MMER=<a>,<b>
    AT_REQ_MMYR = 125,     // AT~MMYR=<first>[,<last>]
    AT_REQ_MMYW = 126,     // AT~MMYW=<header> (two phases)
    AT_REQ_MMYW_TEST = 127, // AT~MMYW=?
    AT_REQ_MMYP = 128,     // AT~MMYP=<header> (two phases)
    AT_REQ_MMYS = 129,     // AT~MMYS
    AT_REQ_AT = 134,       // bare AT
};
constexpr unsigned AT_REQ_COUNT = 135;  // request numbers are below this

// ---- Running-command codes (AT_CMD), set by each formatter -----------------
enum AT_CMD : uint32_t {
    AT_CMD_NONE = 0,
    AT_CMD_CPBR = 1,
    AT_CMD_CPBW = 2,
    AT_CMD_CPBW_TEST = 3,
    AT_CMD_CPBS_SET = 4,
    AT_CMD_CPBS_TEST = 5,
    AT_CMD_AT = 6,
    AT_CMD_AND_T9 = 7,
    AT_CMD_CMGD = 8,
    AT_CMD_CMGF_SET = 9,
    AT_CMD_CMGF_TEST = 10,
    AT_CMD_CMGW_BODY = 11,  // +CMGW after the body was written
    AT_CMD_CMGS_BODY = 12,  // +CMGS after the body was written
    AT_CMD_CMGS = 13,       // +CMGS waiting for "> "
    AT_CMD_CMGW = 14,       // +CMGW waiting for "> "
    AT_CMD_CMGR = 15,
    AT_CMD_CMGL = 16,
    AT_CMD_CMSS = 17,
    AT_CMD_CNMI_SET = 18,
    AT_CMD_CPMS_SET = 19,
    AT_CMD_CPMS_TEST = 20,
    AT_CMD_CSCA_SET = 21,
    AT_CMD_CSCA_GET = 23,
    AT_CMD_CSMP_SET = 24,
    AT_CMD_CSMP_GET = 25,
    AT_CMD_CSAS_SET = 26,
    AT_CMD_CSAS_TEST = 27,
    AT_CMD_CRES_SET = 28,
    AT_CMD_CRES_TEST = 29,
    AT_CMD_CBC = 30,
    AT_CMD_CGMI = 31,
    AT_CMD_MVER = 32,
    AT_CMD_CSQ = 33,
    AT_CMD_CREG_SET = 34,
    AT_CMD_CREG_GET = 35,
    AT_CMD_COPS_SET = 36,
    AT_CMD_COPS_GET = 37,
    AT_CMD_CSCS_SET = 38,
    AT_CMD_CPIN_GET = 39,
    AT_CMD_CMER_SET = 40,
    AT_CMD_CIND_TEST = 41,
    AT_CMD_CIND_GET = 42,
    AT_CMD_DIAL = 43,
    AT_CMD_HANGUP = 44,
    AT_CMD_MDAF_SET = 45,
    AT_CMD_MDAF_GET = 46,
    AT_CMD_MTIF_SET = 47,
    AT_CMD_MTIF_GET = 48,
    AT_CMD_MDRR = 49,
    AT_CMD_MDRR_TEST = 50,
    AT_CMD_MDRW = 51,
    AT_CMD_MDRD = 52,
    AT_CMD_MALW = 53,
    AT_CMD_MALR = 54,
    AT_CMD_MMER = 55,
    AT_CMD_CCLK_SET = 56,
    AT_CMD_CCLK_GET = 57,
    AT_CMD_MMYR = 58,
    AT_CMD_MMYW_BODY = 59,  // ~MMYW after the notes were written
    AT_CMD_MMYW = 60,       // ~MMYW waiting for "> "
    AT_CMD_MMYW_TEST = 61,
    AT_CMD_MMYP_BODY = 62,  // ~MMYP after the notes were written
    AT_CMD_MMYP = 63,       // ~MMYP waiting for "> "
    AT_CMD_MMYS = 64,
    AT_CMD_CLCK_SET = 66,
    AT_CMD_CLCK_TEST = 67,
    AT_CMD_CPWD_SET = 68,
    AT_CMD_CPWD_TEST = 69,
    AT_CMD_CPIN_SET = 70,
    AT_CMD_MPIN_GET = 71,
    AT_CMD_MPIN_SET = 72,
    AT_CMD_RESYNC = 73,     // resynchronising after a broken answer
};

// ---- Confirm and indication numbers (ATI -> task 0) ------------------------
enum AT_CNF : uint8_t {
    AT_CNF_CGMI = 144,        // [2] length, text from [3]
    AT_CNF_CREG = 151,        // [2] n, [3] stat
    AT_CNF_COPS = 153,
    AT_CNF_CLCK_STATUS = 155,
    AT_CNF_CLCK_LIST = 156,
    AT_CNF_CPWD_LIST = 158,
    AT_CNF_CPIN = 163,
    AT_CNF_MPIN_COUNTERS = 164,
    AT_CNF_MPIN_STATE = 165,
    AT_CNF_CBC = 166,
    AT_CNF_CSQ = 168,
    AT_CNF_CIND_VALUES = 170,
    AT_CNF_CIND_LIST = 171,
    AT_CNF_CPBS_LIST = 175,
    AT_CNF_CPBR = 176,
    AT_CNF_CPBW_TEST = 178,
    AT_CNF_CCLK = 179,
    AT_CNF_CPMS_COUNTS = 185,
    AT_CNF_CPMS_LISTS = 187,
    AT_CNF_CMGF_TEST = 189,
    AT_CNF_CSCA = 192,
    AT_CNF_CSMP = 193,
    AT_CNF_CSAS_TEST = 196,
    AT_CNF_CRES_TEST = 197,
    AT_CNF_CMGL = 200,
    AT_CNF_CMGR = 202,
    AT_CNF_CMGS = 204,
    AT_CNF_CMSS = 205,
    AT_CNF_CMGW = 206,
    AT_CNF_MVER = 213,
    AT_CNF_MDAF = 214,
    AT_CNF_MTIF = 215,
    AT_CNF_MDRR_TEST = 216,
    AT_CNF_MDRR = 217,
    AT_CNF_MDRW = 218,
    AT_CNF_MALR = 219,
    AT_CNF_MMYW_TEST = 222,
    AT_CNF_MMYR = 223,
    AT_CNF_OK = 229,          // final OK (2 bytes)
    AT_CNF_RESULT = 230,      // final result: [2] AT_RESULT, [3] / [3..4] number
    AT_CNF_BUSY = 231,
    AT_CNF_NO_CARRIER = 232,
    AT_CNF_NO_ANSWER = 233,
    AT_CNF_RING = 234,
    AT_CNF_CREG_IND = 235,    // [2] stat
    AT_CNF_CMTI = 236,        // [2] memory, [3] index
    AT_CNF_CIEV = 237,        // [2] indicator code, [3] value
    AT_CNF_MALI = 238,        // [2] alarm kind
    AT_CNF_MCLK = 239,        // [2..9] date-time
    AT_CNF_MDRI = 240,        // [2] diary index
    AT_CNF_MMPI = 241,        // melody playing ended
    AT_CNF_CDS = 242,         // status report
};

// ---- Final result codes carried by confirm 230 ----------------------------
enum AT_RESULT : uint8_t {
    AT_RESULT_ERROR = 0,        // "ERROR" (also: request refused as malformed)
    AT_RESULT_PARTIAL = 1,      // time-out part-way through an answer
    AT_RESULT_CME = 2,          // "+CME ERROR", number in [3]
    AT_RESULT_CMS = 3,          // "+CMS ERROR", number in [3..4]
    AT_RESULT_DROPPED = 4,      // waiting request dropped during resynchronisation
    AT_RESULT_SYNTAX = 5,       // answer line not following its keyword's syntax
    AT_RESULT_WITHDRAWN = 6,    // waiting request replaced by a newer one
    AT_RESULT_SILENCE = 7,      // time-out with no byte received
    AT_RESULT_NO_LINK = 8,      // refused while the link is down
    AT_RESULT_UNEXPECTED = 9,   // unexpected keyword or message, unknown request
};

// ---- Request results (MTR_RESULT) ------------------------------------------
// -35 done, -36 failed, else the +CME/+CMS error number. It reads as that
// number wherever a number is wanted. A failure also carries whether the
// phone answered at all: a request the phone left without answer (a time-out
// with no byte or part-way through the answer, or refused while the link is
// down) fails as -36 like a refusal, but the user must be told the phone does
// not answer, not an error number. The mark travels with the result itself,
// so that no later request (the link test run meanwhile) can change what the
// caller learns of its own request.
class MTR_RESULT {
public:
    constexpr MTR_RESULT(int value = 0) : m_value(static_cast<int16_t>(value)) {}
    constexpr operator int16_t() const { return m_value; }
    // -36 for a request the phone did not answer.
    static constexpr MTR_RESULT Unanswered()
    {
        MTR_RESULT r(-36);
        r.m_unanswered = true;
        return r;
    }
    constexpr bool IsUnanswered() const { return m_unanswered; }

private:
    int16_t m_value;
    bool m_unanswered = false;
};
constexpr MTR_RESULT MTR_DONE = -35;    // 0xFFDD
constexpr MTR_RESULT MTR_FAILED = -36;  // 0xFFDC

// ---- Link state ------------------------------------------------------------
enum : int {
    SPIO_no_com_available = 1,
    SPIO_com_available = 2,
};
// 1 at start; 2 once a phone answered; 0 after the user gave up at the PIN.
extern int gv_SPIO_com_status;

// ---- Timer and serial message numbers --------------------------------------
enum : uint16_t {
    AT_MSG_SERIAL_INPUT = 0x0100,
    AT_MSG_SERIAL_TEXT = 0x0101,
    AT_MSG_SERIAL_BREAK = 0x0102,
    // Timers of the ATI task
    ATI_TIMER_COMMAND = 0x0200,   // command time-out: [3] 0, [4] AT_REQ
    ATI_TIMER_RESYNC = 0x0201,    // resynchronisation: [2] waiting-request mark
    ATI_MSG_ABORT = 0x0203,       // task 0 gave up waiting: end the running command
    ATI_MSG_HANGUP = 0x0206,      // the port hung up: end the running command, link lost
    // Timers and scripts of task 0
    MTR_TIMER_POLL_SCRIPT = 0x0200,
    MTR_TIMER_BATTERY = 0x0201,
    MTR_TIMER_MSG_ICON = 0x0202,
    MTR_TIMER_IS_ALIVE = 0x0204,
    MTR_TIMER_DIAL = 0x0205,
    MTR_MSG_HANGUP = 0x0206,      // the port hung up and was closed (for polling)
    MTR_POLL_ONCE = 0x0300,
};

// Serial-output text block: [0] 1, [1] 1, [2..3] length, text from [4].
constexpr uint16_t AT_OUT_BLOCK_SIZE = 120;
constexpr uint16_t AT_OUT_TEXT_MAX = 116;
// Serial-input message: at most this many bytes from [4].
constexpr uint16_t AT_IN_MAX = 128;
