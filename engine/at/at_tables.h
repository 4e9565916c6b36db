// The keyword table of the response scanner and the sorted value lists that
// both the formatter (index -> word) and the scanner (word -> index) use.
// Every list is sorted by byte value: a word's code is its position.
#pragma once

#include <cstdint>
#include <string_view>

struct at_word_list {
    const std::string_view* words;
    uint8_t count;
};

// ---- Keyword table (53 entries, sorted) -------------------------------------
enum AT_KW : uint8_t {
    AT_KW_CBC = 0, AT_KW_CCLK, AT_KW_CDS, AT_KW_CIEV, AT_KW_CIND, AT_KW_CLCK,
    AT_KW_CME_ERROR, AT_KW_CMER, AT_KW_CMGD, AT_KW_CMGF, AT_KW_CMGL, AT_KW_CMGR,
    AT_KW_CMGS, AT_KW_CMGW, AT_KW_CMS_ERROR, AT_KW_CMSS, AT_KW_CMTI, AT_KW_CNMI,
    AT_KW_COPS, AT_KW_CPBR, AT_KW_CPBS, AT_KW_CPBW, AT_KW_CPIN, AT_KW_CPMS,
    AT_KW_CPWD, AT_KW_CREG, AT_KW_CRES, AT_KW_CSAS, AT_KW_CSCA, AT_KW_CSCS,
    AT_KW_CSMP, AT_KW_CSQ, AT_KW_PROMPT, AT_KW_BUSY, AT_KW_CONNECT, AT_KW_ERROR,
    AT_KW_NO_ANSWER, AT_KW_NO_CARRIER, AT_KW_NO_DIALTONE, AT_KW_OK, AT_KW_RING,
    AT_KW_MALI, AT_KW_MALR, AT_KW_MCLK, AT_KW_MDAF, AT_KW_MDRI, AT_KW_MDRR,
    AT_KW_MDRW, AT_KW_MMPI, AT_KW_MMYR, AT_KW_MMYW, AT_KW_MPIN, AT_KW_MTIF,
    AT_KW_COUNT
};
static_assert(AT_KW_COUNT == 53);
extern const at_word_list at_keyword_table;

// ---- Value lists -------------------------------------------------------------
enum AT_LIST : uint8_t {
    AT_LIST_PB_STORAGE,   // "FD","LD","ME","MT","SM","TA"
    AT_LIST_MEM13,        // message memory 1 and 3: "BM","ME","MT","SM","TA"
    AT_LIST_MEM2,         // message memory 2: "ME","MT","SM","TA"
    AT_LIST_INDICATOR,    // indicator names (AT_IND_EVT)
    AT_LIST_CHARSET,      // "GSM","IRA","PCCP437"
    AT_LIST_PIN_STATE,    // "PH-SIM PIN","READY","SIM PIN","SIM PIN2","SIM PUK","SIM PUK2"
    AT_LIST_DATE_FORMAT,  // "dd-mm-yy","mm-dd-yy","yy-mm-dd"
    AT_LIST_TIME_FORMAT,  // "12h","24h"
    AT_LIST_ALARM_KIND,   // "ALA","AUS","AUW"
    AT_LIST_FACILITY,     // "AB" ... "SC" (22)
    AT_LIST_MSG_STATE,    // "\"REC READ\"" ... (quotes included), sorted
    AT_LIST_COUNT
};
const at_word_list& at_value_list(AT_LIST list);

// The word of a list at `code`, or an empty view when out of range.
std::string_view at_value_word(AT_LIST list, unsigned code);

// The code of `word` in a list, or 0xFFFF when it is not there.
uint16_t at_value_code(AT_LIST list, std::string_view word);

// Message states: sorted list position -> status code (0 "REC UNREAD",
// 1 "REC READ", 2 "STO UNSENT", 3 "STO SENT").
uint8_t at_msg_state_status(uint8_t sorted_code);
// Status code 0-3 -> the state name with its quote characters; empty above 3.
std::string_view at_msg_state_name(uint8_t status);

// Indicator event codes: positions in the sorted indicator list.
enum AT_IND_EVT : uint8_t {
    AT_IND_EVT_ALPHA = 0, AT_IND_EVT_BATTCHG, AT_IND_EVT_CALL, AT_IND_EVT_DOWN_ARROW,
    AT_IND_EVT_FORWARDING, AT_IND_EVT_LEFT_ARROW, AT_IND_EVT_LINE_2,
    AT_IND_EVT_ME_STORAGE, AT_IND_EVT_MESSAGE, AT_IND_EVT_OFF_HOOK,
    AT_IND_EVT_RIGHT_ARROW, AT_IND_EVT_ROAM, AT_IND_EVT_SERVICE, AT_IND_EVT_SIGNAL,
    AT_IND_EVT_SIM_STORAGE, AT_IND_EVT_SMSFULL, AT_IND_EVT_SOUNDER,
    AT_IND_EVT_UP_ARROW, AT_IND_EVT_VOICE_MAIL, AT_IND_EVT_VOX,
    AT_IND_EVT_COUNT
};

// PIN state codes: positions in the PIN-state list.
enum : uint8_t {
    AT_PIN_PH_SIM_PIN = 0, AT_PIN_READY, AT_PIN_SIM_PIN, AT_PIN_SIM_PIN2,
    AT_PIN_SIM_PUK, AT_PIN_SIM_PUK2,
};
