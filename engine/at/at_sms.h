// Short-message answers and PDUs: the +CMGL / +CMGR / +CDS handlers (text
// and PDU mode) and the SMS-SUBMIT builder used by +CMGS / +CMGW.
#pragma once

#include <cstddef>
#include <cstdint>

#include "krn.h"

krn_msg* at_sms_cmgl();
krn_msg* at_sms_cmgr();
krn_msg* at_sms_cds();

// Size of the +CMGL / +CMGR confirms: room for the largest PDU-mode entry.
constexpr uint16_t AT_SMS_CNF_SIZE = 320;

// A message decoded from a PDU or a text-mode answer.
struct at_sms_fields {
    uint8_t fo = 0, pid = 0, dcs = 0;
    bool has_mr = false;
    uint8_t mr = 0;
    uint8_t vp_len = 0;            // 0 none, 1 relative, 8 absolute
    uint8_t vp[8] = {};
    uint8_t sca[24] = {};          // length, characters
    uint8_t sca_type = 0;
    uint8_t number[24] = {};       // length, characters
    uint8_t number_type = 0;
    bool has_ts = false;
    uint8_t ts[8] = {};            // yy MM dd hh mm ss sign zone
    bool has_concat = false;
    uint8_t concat[3] = {};        // reference, total, sequence
    uint8_t text_len = 0;
    uint8_t text[170] = {};
    // Status reports
    uint8_t status = 0;
    bool has_dt = false;
    uint8_t dt[8] = {};
};

// Decodes a PDU as the phone gives it (service-centre address first when
// `with_sca`). Every length is checked against the octets left. Returns
// false for a PDU that does not hold together.
bool at_pdu_decode(const uint8_t* pdu, size_t n, bool with_sca, at_sms_fields* out);

// The alphabet a data coding scheme selects: 0 GSM 7-bit, 1 8-bit, 2 UCS2.
int at_dcs_alphabet(uint8_t dcs);

// The type of number to write with a number: 145 when it starts with '+',
// else the type the phone gave it (`given`, a national 161 or a
// network-specific 177, say) when that is a type of number other than 145,
// else 129.
uint8_t at_number_type(const uint8_t* number, size_t length, uint8_t given);

// An SMS-SUBMIT to build.
struct at_sms_submit {
    const uint8_t* sca = nullptr;  // digits (may start with '+'), none when 0 long
    size_t sca_len = 0;
    uint8_t sca_type = 129;
    uint8_t fo = 0x11;
    uint8_t mr = 0;
    uint8_t pid = 0, dcs = 0;
    uint8_t vp_len = 0;            // 0, 1 (relative) or 7/8 (absolute)
    const uint8_t* vp = nullptr;   // relative value, or yy MM dd hh mm ss sign zone
    const uint8_t* da = nullptr;
    size_t da_len = 0;
    uint8_t da_type = 129;
    bool concat = false;
    uint8_t ref = 0, total = 0, seq = 0;
    const uint8_t* text = nullptr;  // PC characters (7-bit: converted to GSM here)
    size_t text_len = 0;
};
// Largest PDU: address 12 + fo, mr + address 12 + pid, dcs + validity 7 +
// length 1 + user data 140.
constexpr size_t AT_PDU_MAX = 12 + 2 + 12 + 2 + 7 + 1 + 140;

// Builds the PDU into out (room AT_PDU_MAX). Returns the octet count, or 0
// when a field does not fit (too many digits, too much text). *tpdu_len is
// the count after the service-centre part.
size_t at_pdu_submit(const at_sms_submit& s, uint8_t* out, size_t* tpdu_len);
