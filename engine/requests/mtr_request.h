// The list shape of a blocking request (the single-answer shapes are in
// mtr_gen.h): confirms held one behind and delivered, until the final answer.
#pragma once

#include <cstdint>
#include <functional>

#include "at_defs.h"
#include "krn.h"

// Sends `req` and collects `cnf` confirms until the final answer. Each
// confirm is held until the next one or the final OK arrives and then handed
// to `deliver`; a failure drops the held one. No confirm at all before the
// OK is an empty list (-35). A nested call fails at once with -36.
MTR_RESULT mtr_request_list(krn_msg* req, uint8_t cnf, const std::function<void(const krn_msg*)>& deliver);
