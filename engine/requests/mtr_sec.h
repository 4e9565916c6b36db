// Security requests: facility locks (+CLCK), password changes (+CPWD), the
// lists of lockable facilities and password lengths, and the check of a
// code entered in a code dialog.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"
#include "mmi_doc.h"

// Facility codes: positions in the sorted facility list.
enum MTR_FACILITY : uint8_t {
    MTR_FAC_AB = 0, MTR_FAC_AC, MTR_FAC_AG, MTR_FAC_AI, MTR_FAC_AO, MTR_FAC_CS, MTR_FAC_FD,
    MTR_FAC_IR, MTR_FAC_NA, MTR_FAC_NM, MTR_FAC_NS, MTR_FAC_NT, MTR_FAC_OI, MTR_FAC_OX,
    MTR_FAC_P2, MTR_FAC_PC, MTR_FAC_PF, MTR_FAC_PN, MTR_FAC_PP, MTR_FAC_PS, MTR_FAC_PU,
    MTR_FAC_SC,
};

// Longest password or code the engine sends.
constexpr size_t MTR_CODE_MAX = 16;

MTR_RESULT mtr_FAC_get_status(uint32_t* status, uint8_t facility);
// Locks (mode 1) or unlocks (mode 0). The password is always checked by the
// phone, also when the lock is already as wanted.
MTR_RESULT mtr_FAC_set_status(int mode, uint8_t facility, const std::string& password);
MTR_RESULT mtr_FAC_change_password(uint8_t facility, const std::string& old_code, const std::string& new_code);
// Posts one message per facility to `window`: wParam the facility code,
// lParam 0 (lock list, kind 0) or the password's maximum length (kind 1).
MTR_RESULT mtr_FAC_get_list(int kind, MmiWindow* window, unsigned message);
MTR_RESULT mtr_FAC_get_lock_list(MmiWindow* window, unsigned message);
MTR_RESULT mtr_FAC_get_list_pwdmax(MmiWindow* window, unsigned message);

// The code of a code dialog. With `pin_state` 0-5 (AT_PIN_...) the code
// answers that state; with `pin_state` -1 it is the password of
// `facility`. The kinds are separate arguments: facility and PIN-state
// numbers overlap.
MTR_RESULT mtr_GEN_enter_code(int pin_state, int facility, const std::string& code, const std::string& new_code);
