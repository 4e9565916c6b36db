// Mobile-management requests: the operator name, the indicator set-up at
// engine start and the mapping of indicator events to the status icons.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"

// Sets the operator name format (0 long, 1 short, 2 numeric) without
// touching the network selection: +COPS=3,<format>.
MTR_RESULT mtr_MMNG_set_operator_format(uint8_t format);
MTR_RESULT mtr_MMNG_get_operator_name(std::string& out);
// +CMER=1,0,0,<mode>: mode 1 reports indicator changes as +CIEV.
MTR_RESULT mtr_MMNG_set_event_reporting(uint8_t mode);
// +CIND=? then +CIND? and event reporting; when the phone refuses the
// indicator list, the icons come from the poll script instead.
MTR_RESULT mtr_MMNG_setup();
// One indicator event (AT_IND_EVT) to its icon callback.
void mtr_MMNG_update_icon(uint8_t event, uint8_t value);
// The value range the phone gave for an indicator (0-0 when unknown).
void mtr_MMNG_indicator_range(uint8_t event, uint8_t* low, uint8_t* high);
