// The one date-time of the engine: what the clock, diary and alarm requests
// take and give, what message time stamps decode to, and what the document
// and the message screen receive. All zero is the zero date (no time known).
#pragma once

#include <cstdint>

struct MTR_DATETIME {
    int year = 0;  // four digits
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool IsZero() const { return year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0; }
    bool operator==(const MTR_DATETIME&) const = default;
};

// The 8-byte record of requests: year modulo 100, month, day, hour, minute,
// second, zone sign 0 (plus), zone 0.
void mtr_time_to_record(const MTR_DATETIME& when, uint8_t record[8]);
// From a confirm's year (two digits), month, day, hour, minute, second: a
// year below 96 is 20yy, otherwise 19yy.
MTR_DATETIME mtr_record_to_time(const uint8_t* record);
// A date-time the phone can be given: months 1-12, days of the month,
// 00:00:00-23:59:59, years 1996-2095 (two digits on the line).
bool mtr_time_valid(const MTR_DATETIME& when);
