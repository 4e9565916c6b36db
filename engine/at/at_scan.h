// The response readers of the AT task. Each pulls characters from the input
// one at a time and returns nullptr on success, or the message that stops
// the parse: a 230 confirm with code 5 (the line does not follow the
// expected syntax) or a non-data message met in the input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ati.h"

krn_msg* rd_line_end();        // CR LF, LF CR or CR CR LF
krn_msg* rd_skip_line_ends();  // any CR / LF, first other character pushed back
krn_msg* rd_skip_line();       // everything up to the line's CR / LF (pushed back)
krn_msg* rd_colon();           // ':' then blanks
krn_msg* rd_comma();
krn_msg* rd_char(uint8_t expected);
// Is the next character `c`? (It is consumed when it is.) A stop message met
// is returned through *stop.
bool rd_peek_is(uint8_t c, krn_msg** stop);
bool rd_peek_digit(krn_msg** stop);

krn_msg* rd_number(uint16_t* value, uint16_t max);          // decimal, 1+ digits
inline krn_msg* rd_small(uint8_t* value)                      // at most 255
{
    uint16_t v = 0;
    krn_msg* m = rd_number(&v, 255);
    *value = static_cast<uint8_t>(v);
    return m;
}
inline krn_msg* rd_word(uint16_t* value) { return rd_number(value, 65535); }
// A word clamped to 255: for counts and capacities the engine keeps in a byte.
krn_msg* rd_byte_clamped(uint8_t* value);

// Quoted text, decoded, stored after a length byte at dst[0]; at most `room`
// characters are kept, more set *truncated. CR or LF inside the text, a bad
// escape or a missing quote is code 5.
krn_msg* rd_quoted(uint8_t* dst, size_t room, bool* truncated, bool decode = true);

// "yy/MM/dd,hh:mm:ss+zz" in quotes: out[0] = 1, then year, month, day, hour,
// minute, second, sign (0 plus, 1 minus), zone. A stamp without a zone reads
// as zone +00.
krn_msg* rd_datetime(uint8_t out[9]);
// "hh:mm:ss+zz" in quotes: out[0] = 1, hour, minute, second, sign, zone.
krn_msg* rd_short_time(uint8_t out[6]);

// "(" a or a-b items ")" as (low, high) byte pairs (values clamped to 255);
// more than max_pairs is code 5.
krn_msg* rd_range_list(uint8_t* pairs, unsigned max_pairs, uint8_t* count);
// A quoted word looked up in a list: its code, or 0xFFFF when unknown.
krn_msg* rd_quoted_value(AT_LIST list, uint16_t* code);
// "(" quoted values ")": known codes stored (unknown words skipped); more
// than `max` known codes is code 5.
krn_msg* rd_value_list(AT_LIST list, uint8_t* out, unsigned max, uint8_t* count);

// Keyword search over a sorted list, reading only what it needs; *index is
// 0xFFFF when nothing matches (every character read is then pushed back).
krn_msg* rd_keyword(const at_word_list& list, uint16_t* index);

// Handlers (at_handlers.cpp), indexed by AT_KW.
typedef krn_msg* (*ati_handler)();
extern const ati_handler ati_handlers[AT_KW_COUNT];
