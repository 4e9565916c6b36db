#include "at_tables.h"

#include <algorithm>
#include <iterator>

namespace {

using sv = std::string_view;

const sv keywords[] = {
    "+CBC", "+CCLK", "+CDS", "+CIEV", "+CIND", "+CLCK", "+CME ERROR", "+CMER",
    "+CMGD", "+CMGF", "+CMGL", "+CMGR", "+CMGS", "+CMGW", "+CMS ERROR", "+CMSS",
    "+CMTI", "+CNMI", "+COPS", "+CPBR", "+CPBS", "+CPBW", "+CPIN", "+CPMS",
    "+CPWD", "+CREG", "+CRES", "+CSAS", "+CSCA", "+CSCS", "+CSMP", "+CSQ",
    "> ", "BUSY", "CONNECT", "ERROR", "NO ANSWER", "NO CARRIER", "NO DIALTONE",
    "OK", "RING", "~MALI", "~MALR", "~MCLK", "~MDAF", "~MDRI", "~MDRR", "~MDRW",
    "~MMPI", "~MMYR", "~MMYW", "~MPIN", "~MTIF",
};
static_assert(std::size(keywords) == AT_KW_COUNT);

const sv pb_storages[] = {"FD", "LD", "ME", "MT", "SM", "TA"};
const sv mem13[] = {"BM", "ME", "MT", "SM", "TA"};
const sv mem2[] = {"ME", "MT", "SM", "TA"};
const sv indicators[] = {
    "alpha", "battchg", "call", "down arrow", "forwarding", "left arrow", "line 2",
    "me storage", "message", "off hook", "right arrow", "roam", "service", "signal",
    "sim storage", "smsfull", "sounder", "up arrow", "voice mail", "vox",
};
static_assert(std::size(indicators) == AT_IND_EVT_COUNT);
const sv charsets[] = {"GSM", "IRA", "PCCP437"};
const sv pin_states[] = {"PH-SIM PIN", "READY", "SIM PIN", "SIM PIN2", "SIM PUK", "SIM PUK2"};
const sv date_formats[] = {"dd-mm-yy", "mm-dd-yy", "yy-mm-dd"};
const sv time_formats[] = {"12h", "24h"};
const sv alarm_kinds[] = {"ALA", "AUS", "AUW"};
const sv facilities[] = {
    "AB", "AC", "AG", "AI", "AO", "CS", "FD", "IR", "NA", "NM", "NS",
    "NT", "OI", "OX", "P2", "PC", "PF", "PN", "PP", "PS", "PU", "SC",
};
const sv msg_states[] = {"\"REC READ\"", "\"REC UNREAD\"", "\"STO SENT\"", "\"STO UNSENT\""};
const uint8_t msg_state_status[] = {1, 0, 3, 2};
const sv msg_state_by_status[] = {"\"REC UNREAD\"", "\"REC READ\"", "\"STO UNSENT\"", "\"STO SENT\""};

template <size_t N>
constexpr at_word_list make(const sv (&a)[N])
{
    return at_word_list{a, static_cast<uint8_t>(N)};
}

const at_word_list lists[AT_LIST_COUNT] = {
    make(pb_storages), make(mem13), make(mem2), make(indicators), make(charsets),
    make(pin_states), make(date_formats), make(time_formats), make(alarm_kinds),
    make(facilities), make(msg_states),
};

}  // namespace

const at_word_list at_keyword_table = make(keywords);

const at_word_list& at_value_list(AT_LIST list)
{
    return lists[list < AT_LIST_COUNT ? list : 0];
}

std::string_view at_value_word(AT_LIST list, unsigned code)
{
    const at_word_list& l = at_value_list(list);
    return code < l.count ? l.words[code] : std::string_view();
}

uint16_t at_value_code(AT_LIST list, std::string_view word)
{
    const at_word_list& l = at_value_list(list);
    const sv* end = l.words + l.count;
    const sv* it = std::lower_bound(l.words, end, word);
    if (it == end || *it != word)
        return 0xFFFF;
    return static_cast<uint16_t>(it - l.words);
}

uint8_t at_msg_state_status(uint8_t sorted_code)
{
    return sorted_code < 4 ? msg_state_status[sorted_code] : 0xFF;
}

std::string_view at_msg_state_name(uint8_t status)
{
    return status < 4 ? msg_state_by_status[status] : std::string_view();
}
