// Phonebook requests: storage list and set-up, selection, reading one entry
// or a range, writing, erasing, and the SIM-busy probe.
#pragma once

#include <cstdint>
#include <string>

#include "at_defs.h"

// Phonebook storage codes (positions in the sorted storage list).
enum : uint8_t { MTR_PB_FD = 0, MTR_PB_LD, MTR_PB_ME, MTR_PB_MT, MTR_PB_SM, MTR_PB_TA, MTR_PB_CODES };

// What the document keeps of one phonebook storage.
struct MTR_PB_STORAGE {
    int32_t available = 0;
    uint8_t name_length = 0;    // longest name the storage takes
    uint8_t number_length = 0;  // most digits of a number ('+' not counted)
    uint8_t capacity = 0;       // highest place
};
// The document's three records, in this order.
enum : int { MTR_PB_REC_SIM_ADN = 0, MTR_PB_REC_SIM_FDN = 1, MTR_PB_REC_EEPROM_ADN = 2, MTR_PB_RECORDS = 3 };

// Storages as the screens name them.
enum PB_STORAGE : int {
    PB_SRC_PC = 0, PB_SRC_SIM = 1, PB_SRC_SIM_FD = 2, PB_SRC_EEPROM = 3,
    PB_DST_PC = 4, PB_DST_SIM = 5, PB_DST_SIM_FD = 6, PB_DST_EEPROM = 7,
    PB_NOSELECT = 8,
};

MTR_RESULT mtr_PB_setup(MTR_PB_STORAGE records[MTR_PB_RECORDS]);
MTR_RESULT mtr_PB_get_storage(MTR_PB_STORAGE records[MTR_PB_RECORDS]);
MTR_RESULT mtr_PB_storage_setup(uint8_t code, MTR_PB_STORAGE* record);
MTR_RESULT mtr_PB_select_storage(int storage);
// -35 with the entry; -35 with both texts empty for an empty place. `type`,
// when given, receives the type of number as the phone gave it (0 for an
// empty place).
MTR_RESULT mtr_PB_read_entry(uint8_t place, std::string& number, std::string& name, uint8_t* type = nullptr);
// Every entry goes to the document; the end callback follows whatever the result.
MTR_RESULT mtr_PB_read_range(uint8_t first, uint8_t last);
// An entry needs a number (an empty one would erase the place on most
// phones); a name longer than the storage takes is refused. `type` is the
// type of number the entry had on the phone (0: none known); it is written
// back unless the number starts with '+' (then 145).
MTR_RESULT mtr_PB_write_entry(uint8_t place, const std::string& number, const std::string& name, uint8_t type = 0);
MTR_RESULT mtr_PB_erase_entry(uint8_t place);
// -35 while the SIM is busy (+CME ERROR 14, +CMS ERROR 314), else -36.
MTR_RESULT mtr_PB_is_sim_busy(uint8_t place);

// The engine's limits of a storage code (0 until its set-up ran).
uint8_t mtr_PB_number_length(uint8_t code);
uint8_t mtr_PB_name_length(uint8_t code);
uint8_t mtr_PB_current_storage();
// Forgets the storages (engine start).
void mtr_PB_reset();
