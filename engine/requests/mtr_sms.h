// The engine's short-message requests: set-up, storages, listing, reading
// and deleting; parameters, service centre and profiles; sending and
// storing in text and PDU mode; and the two short-message indications.
//
// Each request runs on task 0, blocks in the request wait and returns an
// MTR_RESULT (-35 done, -36 failed, else the +CMS/+CME error number).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "at_defs.h"
#include "krn.h"
#include "sms_types.h"

// ---- Mode ------------------------------------------------------------------------
// 0 PDU mode, 1 text mode (chosen by mtr_SMS_setup).
int mtr_SMS_mode();
void mtr_SMS_set_mode(int mode);

// ---- Set-up, storages, listing and reading ------------------------------------------
MTR_RESULT mtr_SMS_setup(SMS_STORAGE_INFO* info);
MTR_RESULT mtr_SMS_set_new_msg_indication(uint8_t mt, uint8_t ds);
// Read storage SMS_SRC_SIM / SMS_SRC_EEPROM, write storage SMS_DST_SIM /
// SMS_DST_EEPROM; anything else is refused (-36, nothing sent).
MTR_RESULT mtr_SMS_select_storage(int read_storage, int write_storage);
MTR_RESULT mtr_SMS_list();
MTR_RESULT mtr_SMS_list_all(uint8_t status);
// Lists the unread messages (which the phone then marks read) and reads each
// one. Indices whose read failed are kept and tried again first by the next
// call; the first failure is returned.
MTR_RESULT mtr_SMS_list_then_read();
const std::vector<uint8_t>& mtr_SMS_pending_reads();
MTR_RESULT mtr_SMS_read(uint8_t index, int as_unread);
MTR_RESULT mtr_SMS_delete(uint8_t index);
// What the phone answers a read of an index its store does not hold.
constexpr int MTR_SMS_EMPTY_INDEX = 321;
void mtr_SMS_cnf_to_param(SMS_PARAMETERS* out, const SMS_SETTINGS* in);

// The memory new messages are stored in (SMS_SRC_SIM or SMS_SRC_EEPROM) as
// chosen by the set-up; SMS_NOSELECT before.
int mtr_SMS_receive_storage();
// The storage a +CMTI memory code names (the AT task's list: 1 "ME", 2
// "MT", 3 "SM"): SMS_SRC_EEPROM, SMS_SRC_SIM, for "MT" the receive storage;
// SMS_NOSELECT for any other memory.
int mtr_SMS_storage_of_memory(uint8_t memory);

// The short-message indications of the poll queue: +CMTI (236) becomes
// mmi_MNGT_sms_received, +CDS (242) mmi_MNGT_report_received. True when the
// message was one of them (handled or dropped); the caller frees it.
bool mtr_SMS_indication(const krn_msg* msg);

// ---- Parameters, service centre and profiles -----------------------------------------
void mtr_SMS_settings_from_message(SMS_SETTINGS* out, const SmsMessage* msg, int no_report);
void mtr_SMS_settings_from_param(SMS_SETTINGS* out, const SMS_PARAMETERS* in);
void mtr_SMS_profile_to_settings(SMS_SETTINGS* out, const SmsProfile* profile);
void mtr_SMS_settings_to_profile(SmsProfile* profile, const SMS_SETTINGS* in);

MTR_RESULT mtr_SMS_set_service_centre(const std::string& number);
MTR_RESULT mtr_SMS_get_service_centre(std::string* number);
MTR_RESULT mtr_SMS_set_parameters(const SMS_SETTINGS* settings);
MTR_RESULT mtr_SMS_get_parameters(SMS_SETTINGS* settings);
MTR_RESULT mtr_SMS_save_profile(uint8_t profile);
MTR_RESULT mtr_SMS_restore_profile(uint8_t profile);
// Sets the range to 255..255 and, when +CRES=? gives exactly one range,
// to that range. -35 without a query when the phone has no ST1 feature.
MTR_RESULT mtr_SMS_get_profile_range(SMS_PROFILE_RANGE* range);
MTR_RESULT mtr_SMS_save_model_parameters(SmsProfile* profile);
MTR_RESULT mtr_SMS_get_model_parameters(SmsProfile* profile);
MTR_RESULT mtr_SMS_set_msg_parameters(const SmsMessage* msg, int no_report);
MTR_RESULT mtr_SMS_set_msg_parameters_of(const SmsMessage* msg);

// ---- Sending and storing ---------------------------------------------------------------
MTR_RESULT mtr_SMS_send(const char* number, const SmsMessage* msg);
MTR_RESULT mtr_SMS_send_part(const char* number, const char* part_text, const SmsMessage* msg, uint16_t total,
                             uint16_t seq, int no_report);
MTR_RESULT mtr_SMS_send_text(const std::string& number, const std::string& text);
MTR_RESULT mtr_SMS_send_part_text(const std::string& number, const std::string& text, int coding, uint8_t total,
                                  uint8_t seq);
MTR_RESULT mtr_SMS_send_pdu(const std::string& number, const SmsMessage* msg, int no_report);
MTR_RESULT mtr_SMS_send_part_pdu(const std::string& number, const std::string& text, const SmsMessage* msg,
                                 uint8_t total, uint8_t seq, int no_report);
// `number` null or empty: to the stored message's own recipient.
MTR_RESULT mtr_SMS_send_from_storage(uint8_t index, const char* number);
// 1 stored (index set), 0 not.
int mtr_SMS_store_in_mem(const SmsMessage* msg, uint8_t* index);
// The same with the request's own result: a store whose answer never came
// (mtr_failed_unanswered) may have been carried out all the same.
MTR_RESULT mtr_SMS_store(const SmsMessage* msg, uint8_t* index);
MTR_RESULT mtr_SMS_write_text(int status, const std::string& number, const std::string& text, uint8_t* index);
MTR_RESULT mtr_SMS_write_pdu(const std::string& number, const SmsMessage* msg, uint8_t* index);
