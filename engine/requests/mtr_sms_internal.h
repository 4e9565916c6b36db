// Helpers shared by the short-message request files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "at_defs.h"
#include "krn.h"
#include "sms_types.h"

// Reads a confirm from byte `i` on, never past the confirm's size: a read
// past the end gives zeros and clears `ok`.
struct sms_cursor {
    explicit sms_cursor(const krn_msg* m);
    const krn_msg* p;
    size_t n;
    mutable size_t i = 2;
    mutable bool ok = true;
    uint8_t byte() const;
    const uint8_t* bytes(size_t k) const;
    std::string text() const;                  // length, characters
    std::string number(uint8_t* type) const;   // length, characters, type
    MTR_DATETIME stamp() const;                // yy MM dd hh mm ss sign zone
};

// A request {0, number} with `params` zeroed parameter bytes.
krn_msg* sms_new_request(uint8_t number, uint16_t params);
// Sends a request with its parameters and waits for its final answer.
MTR_RESULT sms_simple_request(uint8_t number, std::initializer_list<uint8_t> params);
// Sends a request whose answer is one data confirm `cnf`; `take` reads it.
// A final answer without the data line fails the request (-36).
MTR_RESULT sms_query(krn_msg* req, uint8_t cnf, const std::function<void(const sms_cursor&)>& take);
// Collects the data confirms `cnf` of the running request. With `hold`, each
// is held until the next arrives and an error drops the one held last;
// without, each is handed over as it comes.
MTR_RESULT sms_collect(uint8_t cnf, const std::function<void(krn_msg*)>& deliver, bool hold = true);
// The phone status 0-3 of a message status (concatenated statuses 5-16
// fold onto their phone status).
int sms_phone_status(int status);
