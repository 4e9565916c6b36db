// Short-message requests: message parameters, service centre and the
// phone's parameter profiles; sending and storing in text and PDU mode.
#include <cstring>

#include "at_charset.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "mtr_sms.h"
#include "mtr_sms_internal.h"

namespace {

void trace(const std::string& line) { engine_trace(line); }

void box(int string_id, MTR_RESULT result)
{
    if (EngineHost* h = engine_host())
        h->MessageBoxByIdWithNumber(string_id, result, 0);
}

constexpr int BOX_PARAMETERS = 31329;     // setting parameters, saving a profile
constexpr int BOX_SERVICE_CENTRE = 31423; // setting a profile's service centre
constexpr int BOX_READ_PROFILE = 31348;   // reading a profile

MTR_RESULT read_model_parameters(SmsProfile* profile, bool tellSilence);

constexpr unsigned SCA_DIGITS = 20;
constexpr unsigned NUMBER_DIGITS = 24;

uint8_t relative_validity(int choice, bool* known)
{
    static const uint8_t values[4] = {71, 143, 167, 255};
    *known = choice >= 0 && choice <= 3;
    return *known ? values[choice] : 0;
}

uint8_t pid_of_format(int format)
{
    switch (format) {
    case 1: return 36;
    case 2: return 34;
    case 3: return 49;
    case 4: return 38;
    case 5: return 50;
    default: return 0;
    }
}

uint8_t dcs_of_coding(int coding) { return coding == 1 ? 4 : coding == 2 ? 8 : 0; }

// The user data of a PDU for a message's text: UCS2 takes two octets a
// character; 7-bit and 8-bit texts go as they are (7-bit is packed later).
std::string pdu_text(const SmsMessage* msg, const std::string& text)
{
    return msg->GetDcs() == 2 ? at_win_to_ucs2(text) : text;
}

// The common part of both builders: a message to send gets the submit form
// with a relative validity; a received message the deliver form with its
// date as an absolute validity (zone plus, written as 0).
void fill_settings(SMS_SETTINGS* out, int status, int validity_choice, const MTR_DATETIME& date, bool report)
{
    out->kind = SMS_KIND_OUTGOING;
    out->status = status;
    std::memset(out->validity, 0, sizeof out->validity);
    if (status > 1) {
        out->first_octet = SMS_FO_SUBMIT | SMS_FO_VP_RELATIVE;
        bool known;
        uint8_t v = relative_validity(validity_choice, &known);
        if (known) {
            out->validity[0] = 1;
            out->validity[1] = v;
        }
    } else {
        out->first_octet = 0;
        out->validity[0] = 8;
        out->validity[1] = static_cast<uint8_t>(mtr_year_to_2digits(date.year));
        out->validity[2] = static_cast<uint8_t>(date.month);
        out->validity[3] = static_cast<uint8_t>(date.day);
        out->validity[4] = static_cast<uint8_t>(date.hour);
        out->validity[5] = static_cast<uint8_t>(date.minute);
        out->validity[6] = static_cast<uint8_t>(date.second);
        out->validity[7] = 0;  // zone sign: plus
        out->validity[8] = 0;
    }
    if (report)
        out->first_octet |= SMS_FO_STATUS_REPORT;
}

// Writes a number for a request: the packed form, or a single 0 byte for
// none. False when it cannot be packed.
bool put_number(uint8_t** cur, const std::string& number, unsigned max_digits)
{
    if (number.find_first_not_of(' ') == std::string::npos) {
        *(*cur)++ = 0;
        return true;
    }
    return mtr_pack_number(cur, number, max_digits) == 1;
}

// Builds request 94 (+CMGS) or 96 (+CMGW) in the engine's message layout.
// `header` is the PDU-mode parameter header (null in text mode). Null when a
// number cannot be packed or the text is too long for its length byte.
krn_msg* build_message_request(bool write, const SMS_SETTINGS* header, const std::string& sca,
                               std::initializer_list<uint8_t> concat, int status, const std::string& number,
                               const std::string& text)
{
    krn_msg* m = sms_new_request(write ? AT_REQ_CMGW : AT_REQ_CMGS, 400);
    uint8_t* cur = m + 3;
    bool ok = true;
    if (header) {
        ok = put_number(&cur, sca, SCA_DIGITS);
        *cur++ = header->first_octet;
        bool submit = (header->first_octet & 3) == 1;
        if (submit) {
            *cur++ = 1;
            *cur++ = header->reference;
        } else {
            *cur++ = 0;
        }
        *cur++ = header->pid;
        *cur++ = header->dcs;
        uint8_t vlen = header->validity[0] == 1 || header->validity[0] == 8 ? header->validity[0] : 0;
        if (submit)
            *cur++ = 0;
        *cur++ = vlen;
        std::memcpy(cur, header->validity + 1, vlen);
        cur += vlen;
        if (!submit)
            *cur++ = 0;
        m[2] = static_cast<uint8_t>(cur - (m + 3));
    }
    *cur++ = static_cast<uint8_t>(concat.size());
    for (uint8_t v : concat)
        *cur++ = v;
    if (write) {
        *cur++ = 1;
        *cur++ = static_cast<uint8_t>(sms_phone_status(status));
    } else {
        *cur++ = 0;
    }
    ok = ok && put_number(&cur, number, NUMBER_DIGITS);
    uint8_t* end = ok ? mtr_put_string8(cur, text, 255) : nullptr;
    if (!end) {
        krn_free(m);
        return nullptr;
    }
    return m;
}

// Sends a built request and collects its one answer confirm (the message
// reference of a send, the index of a write) and the final OK.
MTR_RESULT run_message_request(krn_msg* req, uint8_t cnf, uint8_t* value)
{
    if (!req)
        return MTR_FAILED;
    return sms_query(req, cnf, [&](const sms_cursor& c) {
        uint8_t v = c.byte();
        if (value)
            *value = v;
    });
}

}  // namespace

// ---- Settings ----------------------------------------------------------------------------

void mtr_SMS_settings_from_message(SMS_SETTINGS* out, const SmsMessage* msg, int no_report)
{
    *out = SMS_SETTINGS{};
    int status = sms_phone_status(msg->GetStatus());
    fill_settings(out, status, msg->GetValidity(), msg->GetDate(), msg->GetStatusReport() && !no_report);
    if (msg->IsLong()) {
        out->first_octet |= SMS_FO_UDH;
        out->concat = 1;
    } else {
        out->concat = 0;
        out->reference = msg->GetConcatRef();
    }
    if (msg->GetReplyPath())
        out->first_octet |= SMS_FO_REPLY_PATH;
    out->pid = pid_of_format(msg->GetFormat());
    out->dcs = dcs_of_coding(msg->GetDcs());
}

void mtr_SMS_settings_from_param(SMS_SETTINGS* out, const SMS_PARAMETERS* in)
{
    *out = SMS_SETTINGS{};
    int status = sms_phone_status(in->status);
    bool report = status > 1 ? in->report_request == 1 : in->report_indication == 1;
    fill_settings(out, status, in->validity, in->date, report);
    if (in->udh == 1)
        out->first_octet |= SMS_FO_UDH;
    if (in->reply_path == 1)
        out->first_octet |= SMS_FO_REPLY_PATH;
    out->pid = pid_of_format(in->format);
    out->dcs = dcs_of_coding(in->coding);
    out->reference = in->reference;
    out->concat = in->concat ? 1 : 0;
    out->concat_ref = in->concat_ref;
    out->concat_total = in->concat_total;
    out->concat_seq = in->concat_seq;
}

void mtr_SMS_profile_to_settings(SMS_SETTINGS* out, const SmsProfile* profile)
{
    if (!profile)
        return;
    SMS_PARAMETERS p;
    p.status = 2;
    p.format = profile->GetFormat();
    p.validity = profile->GetValidity();
    mtr_SMS_settings_from_param(out, &p);
}

void mtr_SMS_settings_to_profile(SmsProfile* profile, const SMS_SETTINGS* in)
{
    if (!profile)
        return;
    SMS_PARAMETERS p;
    mtr_SMS_cnf_to_param(&p, in);
    profile->SetParameters(p);
}

// ---- Single requests -----------------------------------------------------------------------

MTR_RESULT mtr_SMS_set_service_centre(const std::string& number)
{
    krn_msg* req = sms_new_request(AT_REQ_CSCA_SET, 40);
    uint8_t* cur = req + 2;
    if (number.find_first_not_of(' ') == std::string::npos || mtr_pack_number(&cur, number, SCA_DIGITS) != 1) {
        krn_free(req);
        return MTR_FAILED;
    }
    if (!mtr_send_request(req))
        return MTR_FAILED;
    return mtr_wait_final();
}

MTR_RESULT mtr_SMS_get_service_centre(std::string* number)
{
    number->clear();
    return sms_query(sms_new_request(AT_REQ_CSCA_GET, 0), AT_CNF_CSCA,
                     [&](const sms_cursor& c) { *number = c.number(nullptr); });
}

MTR_RESULT mtr_SMS_set_parameters(const SMS_SETTINGS* s)
{
    uint8_t vlen = s->validity[0] == 1 || s->validity[0] == 8 ? s->validity[0] : 0;
    krn_msg* req = sms_new_request(AT_REQ_CSMP_SET, static_cast<uint16_t>(5 + vlen));
    uint8_t* cur = req + 2;
    *cur++ = 4;
    *cur++ = s->first_octet;
    *cur++ = vlen;
    std::memcpy(cur, s->validity + 1, vlen);
    cur += vlen;
    *cur++ = s->pid;
    *cur++ = s->dcs;
    if (!mtr_send_request(req))
        return MTR_FAILED;
    return mtr_wait_final();
}

MTR_RESULT mtr_SMS_get_parameters(SMS_SETTINGS* s)
{
    return sms_query(sms_new_request(AT_REQ_CSMP_GET, 0), AT_CNF_CSMP, [&](const sms_cursor& c) {
        *s = SMS_SETTINGS{};
        s->kind = SMS_KIND_CSMP;
        s->first_octet = c.byte();
        uint8_t vlen = c.byte();
        const uint8_t* v = (vlen == 1 || vlen == 8) ? c.bytes(vlen) : nullptr;
        if (v) {
            s->validity[0] = vlen;
            std::memcpy(s->validity + 1, v, vlen);
        }
        s->pid = c.byte();
        s->dcs = c.byte();
    });
}

MTR_RESULT mtr_SMS_save_profile(uint8_t profile) { return sms_simple_request(AT_REQ_CSAS_SET, {profile}); }
MTR_RESULT mtr_SMS_restore_profile(uint8_t profile) { return sms_simple_request(AT_REQ_CRES_SET, {profile}); }

MTR_RESULT mtr_SMS_get_profile_range(SMS_PROFILE_RANGE* range)
{
    // Unknown until the phone gives exactly one range: a caller that reads
    // the profiles must never take a zeroed record for "profile 0".
    range->lowest = range->highest = 255;
    if (!gv_pDoc)
        return MTR_FAILED;
    if (!gv_pDoc->IsST1Available())
        return MTR_DONE;
    return sms_query(sms_new_request(AT_REQ_CRES_TEST, 0), AT_CNF_CRES_TEST, [&](const sms_cursor& c) {
        uint8_t count = c.byte();
        uint8_t low = c.byte(), high = c.byte();
        if (c.ok && count == 1) {
            range->lowest = low;
            range->highest = high;
        }
    });
}

// ---- Profiles and message parameters -------------------------------------------------------

MTR_RESULT mtr_SMS_save_model_parameters(SmsProfile* profile)
{
    if (!profile)
        return MTR_FAILED;
    // A step the phone did not answer may have been carried out: the
    // caller asks the phone what it holds and says so, no failure box here.
    MTR_RESULT r = mtr_SMS_set_service_centre(profile->GetDialNumber());
    if (r != MTR_DONE) {
        if (!mtr_failed_unanswered(r))
            box(BOX_SERVICE_CENTRE, r);
        return r;
    }
    SMS_SETTINGS s;
    mtr_SMS_profile_to_settings(&s, profile);
    s.status = 2;
    r = mtr_SMS_set_parameters(&s);
    if (r == MTR_DONE)
        r = mtr_SMS_save_profile(static_cast<uint8_t>(profile->GetIndex()));
    if (r != MTR_DONE) {
        if (!mtr_failed_unanswered(r))
            box(BOX_PARAMETERS, r);
        return r;
    }
    return read_model_parameters(profile, false);
}

MTR_RESULT mtr_SMS_get_model_parameters(SmsProfile* profile) { return read_model_parameters(profile, true); }

namespace {

// Reads the profile of the phone; a silence is told only when `tellSilence`
// (a save reads back after writing, and its caller tells the silence).
MTR_RESULT read_model_parameters(SmsProfile* profile, bool tellSilence)
{
    if (!profile)
        return MTR_FAILED;
    int index = profile->GetIndex();
    MTR_RESULT r = mtr_SMS_restore_profile(static_cast<uint8_t>(index));
    if (r != MTR_DONE) {
        trace("mtr_SMS_get_model_parameters -> Restoring of SMS parameters failed");
        return r;
    }
    // The first failure is the result: a profile whose parameters could not
    // be read must not pass for a good one because its service centre could.
    MTR_RESULT first = MTR_DONE;
    SMS_SETTINGS s;
    r = mtr_SMS_get_parameters(&s);
    if (r == MTR_DONE) {
        mtr_SMS_settings_to_profile(profile, &s);
    } else {
        trace("mtr_SMS_get_model_parameters -> Reading of SMS parameters failed");
        if (tellSilence || !mtr_failed_unanswered(r))
            box(BOX_READ_PROFILE, r);
        first = r;
    }
    trace("mtr_SMS_get_model_parameters -> Get the service centre of the profile " + std::to_string(index));
    std::string number;
    r = mtr_SMS_get_service_centre(&number);
    if (r == MTR_DONE) {
        profile->SetNumber(number);
        trace("mtr_SMS_get_model_parameters -> Service centre returned " + profile->GetDialNumber());
    } else {
        trace("mtr_SMS_get_model_parameters -> Reading of service centre address failed");
        if (tellSilence || !mtr_failed_unanswered(r))
            box(BOX_READ_PROFILE, r);
        if (first == MTR_DONE)
            first = r;
    }
    return first;
}

}  // namespace

MTR_RESULT mtr_SMS_set_msg_parameters(const SmsMessage* msg, int no_report)
{
    std::string sca = msg->GetServiceCentre();
    trace("mtr_SMS_set_msg_parameters -> Set Service Centre Address " + sca);
    // Without a service centre of its own the message goes through the
    // phone's current one.
    MTR_RESULT r = MTR_DONE;
    if (!sms_dial_number(sca).empty())
        r = mtr_SMS_set_service_centre(sms_dial_number(sca));
    if (r == MTR_DONE) {
        SMS_SETTINGS s;
        mtr_SMS_settings_from_message(&s, msg, no_report);
        r = mtr_SMS_set_parameters(&s);
        if (r != MTR_DONE)
            trace("mtr_SMS_set_msg_parameters -> SM parameters update failed");
    } else {
        trace("mtr_SMS_set_msg_parameters -> Fail to set Service Centre Address");
    }
    if (r != MTR_DONE)
        box(BOX_PARAMETERS, r);
    return r;
}

MTR_RESULT mtr_SMS_set_msg_parameters_of(const SmsMessage* msg)
{
    if (!msg)
        return MTR_FAILED;
    if (mtr_SMS_mode() == 0)
        return MTR_DONE;
    return mtr_SMS_set_msg_parameters(msg, msg->GetStatusReport());
}

// ---- Sending ----------------------------------------------------------------------------------

MTR_RESULT mtr_SMS_send(const char* number, const SmsMessage* msg)
{
    if (!number || !msg)
        return MTR_FAILED;
    if (mtr_SMS_mode() == 1) {
        MTR_RESULT r = mtr_SMS_set_msg_parameters(msg, 0);
        if (r != MTR_DONE)
            return r;
        return mtr_SMS_send_text(number, msg->GetText());
    }
    return mtr_SMS_send_pdu(number, msg, 0);
}

MTR_RESULT mtr_SMS_send_part(const char* number, const char* part_text, const SmsMessage* msg, uint16_t total,
                             uint16_t seq, int no_report)
{
    if (!number || !part_text || !msg)
        return MTR_FAILED;
    if (total == 0 || total > 255 || seq == 0 || seq > total)
        return MTR_FAILED;
    if (mtr_SMS_mode() == 1)
        return mtr_SMS_send_part_text(number, part_text, msg->GetDcs(), static_cast<uint8_t>(total),
                                      static_cast<uint8_t>(seq));
    return mtr_SMS_send_part_pdu(number, part_text, msg, static_cast<uint8_t>(total), static_cast<uint8_t>(seq),
                                 no_report);
}

MTR_RESULT mtr_SMS_send_text(const std::string& number, const std::string& text)
{
    return run_message_request(build_message_request(false, nullptr, "", {}, 2, number, text), AT_CNF_CMGS,
                               nullptr);
}

MTR_RESULT mtr_SMS_send_part_text(const std::string& number, const std::string& text, int coding, uint8_t total,
                                  uint8_t seq)
{
    return run_message_request(
        build_message_request(false, nullptr, "", {dcs_of_coding(coding), total, seq}, 2, number, text),
        AT_CNF_CMGS, nullptr);
}

MTR_RESULT mtr_SMS_send_pdu(const std::string& number, const SmsMessage* msg, int no_report)
{
    SMS_SETTINGS s;
    mtr_SMS_settings_from_message(&s, msg, no_report);
    return run_message_request(
        build_message_request(false, &s, sms_dial_number(msg->GetServiceCentre()), {}, 2, number,
                              pdu_text(msg, msg->GetText())),
        AT_CNF_CMGS, nullptr);
}

MTR_RESULT mtr_SMS_send_part_pdu(const std::string& number, const std::string& text, const SmsMessage* msg,
                                 uint8_t total, uint8_t seq, int no_report)
{
    SMS_SETTINGS s;
    mtr_SMS_settings_from_message(&s, msg, no_report);
    return run_message_request(build_message_request(false, &s, sms_dial_number(msg->GetServiceCentre()),
                                                     {s.dcs, msg->GetConcatRef(), total, seq}, 2, number,
                                                     pdu_text(msg, text)),
                               AT_CNF_CMGS, nullptr);
}

MTR_RESULT mtr_SMS_send_from_storage(uint8_t index, const char* number)
{
    krn_msg* req = sms_new_request(AT_REQ_CMSS, 40);
    req[2] = index;
    uint8_t* cur = req + 3;
    if (!put_number(&cur, number ? number : "", NUMBER_DIGITS)) {
        krn_free(req);
        return MTR_FAILED;
    }
    return run_message_request(req, AT_CNF_CMSS, nullptr);
}

// ---- Storing -------------------------------------------------------------------------------------

int mtr_SMS_store_in_mem(const SmsMessage* msg, uint8_t* index)
{
    return mtr_SMS_store(msg, index) == MTR_DONE ? 1 : 0;
}

MTR_RESULT mtr_SMS_store(const SmsMessage* msg, uint8_t* index)
{
    if (!msg)
        return MTR_FAILED;
    if (msg->IsLong() || msg->CountRecipients() > 1) {
        trace("mtr_SMS_store_in_mem -> The message could not be stored because it has more than one recipient or "
              "it is concatenated.");
        return MTR_FAILED;
    }
    std::string number;
    trace("mtr_SMS_store_in_mem -> Store a message in the current selected storage");
    if (msg->CountRecipients() == 1) {
        number = sms_dial_number(msg->GetRecipientNumber(0));
        trace("mtr_SMS_store_in_mem -> Phone number = " + number);
    } else {
        trace("mtr_SMS_store_in_mem -> No phone number");
    }
    trace("mtr_SMS_store_in_mem -> Text = " + msg->GetText());
    trace("mtr_SMS_store_in_mem -> Message type = " + std::to_string(msg->GetStatus()));
    MTR_RESULT r;
    if (mtr_SMS_mode() == 0) {
        r = mtr_SMS_write_pdu(number, msg, index);
    } else {
        r = mtr_SMS_set_msg_parameters(msg, 0);
        if (r == MTR_DONE)
            r = mtr_SMS_write_text(msg->GetStatus(), number, msg->GetText(), index);
    }
    if (r != MTR_DONE)
        trace("mtr_SMS_store_in_mem -> The message could not be stored");
    return r;
}

MTR_RESULT mtr_SMS_write_text(int status, const std::string& number, const std::string& text, uint8_t* index)
{
    return run_message_request(build_message_request(true, nullptr, "", {}, status, number, text), AT_CNF_CMGW,
                               index);
}

MTR_RESULT mtr_SMS_write_pdu(const std::string& number, const SmsMessage* msg, uint8_t* index)
{
    SMS_SETTINGS s;
    mtr_SMS_settings_from_message(&s, msg, 0);
    return run_message_request(build_message_request(true, &s, sms_dial_number(msg->GetServiceCentre()), {},
                                                     msg->GetStatus(), number, pdu_text(msg, msg->GetText())),
                               AT_CNF_CMGW, index);
}
