// The SMS-DELIVER form of a message written back to the phone: a received
// message stored again keeps its sender and its time stamp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "at_sms.h"

// Builds an SMS-DELIVER from the fields of a submit record: `da` is the
// sender, the absolute validity (yy MM dd hh mm ss sign zone) the
// service-centre time stamp (zero when there is none). Same result and room
// as at_pdu_submit.
size_t mtr_sms_pdu_deliver(const at_sms_submit& s, uint8_t* out, size_t* tpdu_len);
