// Shapes of a blocking request that recur across the request functions:
// build the request message, send it, wait for no data, one data confirm or
// a list of them, and end on the final answer.
#pragma once

#include <cstdint>
#include <functional>

#include "at_defs.h"
#include "krn.h"

// A request message of `size` bytes (at least 2): [0] 0, [1] the number, the
// rest zeroed. nullptr when the size is beyond the largest block or no pool
// has one free: the caller answers -36 instead of ending the program.
krn_msg* mtr_make_request(uint8_t number, uint16_t size);

// Sends `req` (nullptr gives -36) and waits for its final answer.
MTR_RESULT mtr_request_final(krn_msg* req);

// Sends `req` and waits for one `cnf` confirm, which `take` reads, then for
// the final answer. A bare OK without the confirm fails the request (-36):
// the data asked for did not come.
MTR_RESULT mtr_request_one(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& take);

// Sends `req` and collects `cnf` confirms until the final answer. Each
// confirm is held until the next one or the final OK arrives and then handed
// to `deliver`; a failure drops the held one. No confirm at all before the
// OK is an empty list (-35).
MTR_RESULT mtr_request_list(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& deliver);
