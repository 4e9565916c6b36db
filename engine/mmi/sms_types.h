// The short-message records shared by the engine and the message screen:
// the engine's form of one message's parameters (SMS_SETTINGS), the message
// screen's parameter record (SMS_PARAMETERS), the storage description filled
// by the set-up, and the engine's view of a message and of a service-centre
// profile. Plain C++: the Qt message screen implements the two views.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mtr_datetime.h"

// Storage codes of the message screen.
enum SMS_STORAGE : int {
    SMS_SRC_PC = 0,
    SMS_SRC_SIM = 1,
    SMS_SRC_EEPROM = 2,
    SMS_DST_PC = 3,
    SMS_DST_SIM = 4,
    SMS_DST_EEPROM = 5,
    SMS_NOSELECT = 6,
};

// How an SMS_SETTINGS record came to be.
enum : int32_t {
    SMS_KIND_TEXT = 0,     // decoded from a text-mode answer
    SMS_KIND_PDU = 2,      // decoded from a PDU-mode answer
    SMS_KIND_OUTGOING = 4, // built for sending or storing
    SMS_KIND_CSMP = 5,     // read from the phone's +CSMP?
};

// First-octet bits (SMS-SUBMIT / SMS-DELIVER).
enum : uint8_t {
    SMS_FO_SUBMIT = 0x01,
    SMS_FO_VP_RELATIVE = 0x10,
    SMS_FO_STATUS_REPORT = 0x20,
    SMS_FO_UDH = 0x40,
    SMS_FO_REPLY_PATH = 0x80,
};

// The engine's form of one message's parameters.
struct SMS_SETTINGS {
    int32_t kind = 0;
    uint8_t first_octet = 0;
    uint8_t reference = 0;   // message reference
    uint8_t pid = 0;         // protocol identifier
    uint8_t dcs = 0;         // data coding scheme
    // Validity: length 0 none, 1 relative value, 8 absolute (yy MM dd hh
    // mm ss, zone sign 0 plus / other minus, zone in quarter hours).
    uint8_t validity[9] = {};
    int32_t status = 0;      // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
    int32_t concat = 0;      // concatenation present
    uint8_t concat_ref = 0, concat_total = 0, concat_seq = 0;
};

// The message screen's record of a message's parameters. Its kind, text
// format, validity, coding, reply-path, report and header fields are those
// of the message model; the status and the message reference are what the
// engine adds for the messages it reads and sends.
struct SMS_PARAMETERS {
    int32_t kind = 0;          // 1 received (deliver), 2 to send (submit)
    uint8_t pid = 0;           // protocol identifier as received
    int32_t status = 0;        // phone status 0-3
    uint8_t reference = 0;     // message reference
    // Text format: 0 plain text, 1 voice, 2 fax, 3 X.400, 4 paging, 5 e-mail,
    // 6 other, 7 not known.
    int32_t format = 0;
    // Validity: 0 6 hours, 1 12 hours, 2 1 day, 3 63 weeks, 4 other, 5 none.
    int32_t validity = 0;
    MTR_DATETIME date;         // service-centre time stamp of a received message
    int32_t coding = 0;        // 0 7-bit, 1 8-bit, 2 UCS2, 3 other
    int32_t reply_path = 0;    // 3 = not known
    int32_t report_indication = 0;  // received messages; 3 for a message to send
    int32_t report_request = 0;     // messages to send; 3 for a received message
    int32_t udh = 0;
    int32_t concat = 0;
    uint8_t concat_ref = 0, concat_total = 0, concat_seq = 0;
};

// What the short-message set-up learnt of the phone's message storages.
struct SMS_STORAGE_INFO {
    int32_t sim_read = 0, sim_write = 0;
    uint8_t sim_size = 0;
    int32_t pdu_mode = 0;       // 1 PDU mode chosen, 0 text mode
    int32_t me_read = 0, me_write = 0;
    uint8_t me_size = 0;
};

// The phone's parameter profiles (255, 255 when none are known).
struct SMS_PROFILE_RANGE {
    uint8_t lowest = 255, highest = 255;
    // True when the phone gave one usable range of profiles.
    bool Known() const { return lowest != 255 && highest != 255 && lowest <= highest; }
};

// The engine's view of a message (the message screen's message model
// implements it). Texts are byte strings in the PC character set.
class SmsMessage {
public:
    virtual ~SmsMessage() = default;
    virtual int GetStatus() const = 0;             // msgType 0-3 (5-16 concatenated)
    virtual std::string GetText() const = 0;
    virtual int GetDcs() const = 0;                // 0 7-bit, 1 8-bit, 2 UCS2
    virtual MTR_DATETIME GetDate() const = 0;
    virtual int CountRecipients() const = 0;
    virtual std::string GetRecipientNumber(int i) const = 0;  // as entered
    virtual std::string GetServiceCentre() const = 0;
    virtual int GetFormat() const = 0;             // text-format index
    virtual int GetValidity() const = 0;           // validity index
    virtual int GetReplyPath() const = 0;
    virtual int GetStatusReport() const = 0;
    virtual uint8_t GetConcatRef() const = 0;
    // TRUE when the text is longer than one message of its coding.
    virtual bool IsLong() const { return sms_is_long(GetText().size(), GetDcs()); }

    // Characters of one message, and of one block of a long text, by coding
    // (0 for a coding outside 0-2).
    static size_t sms_max_chars(int dcs) { return dcs == 0 ? 160 : dcs == 1 ? 140 : dcs == 2 ? 70 : 0; }
    static size_t sms_block_size(int dcs) { return dcs == 0 ? 153 : dcs == 1 ? 134 : dcs == 2 ? 67 : 0; }
    static bool sms_is_long(size_t length, int dcs) { return length > sms_max_chars(dcs); }
};

// The engine's view of a service-centre profile.
class SmsProfile {
public:
    virtual ~SmsProfile() = default;
    virtual int GetIndex() const = 0;
    virtual int GetFormat() const = 0;
    virtual int GetValidity() const = 0;
    virtual std::string GetDialNumber() const = 0;
    virtual void SetNumber(const std::string& number) = 0;
    virtual void SetParameters(const SMS_PARAMETERS& params) = 0;
};

// The dialling form of a number: digits, 'p', '*', '#' and the first '+'
// (wherever it stands); every other character is dropped.
std::string sms_dial_number(const std::string& number);
