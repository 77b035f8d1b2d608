// Response header values the transfer engine decides on: the body's announced length and the
// range a partial answer (206) claims to carry. Both come from the server, so both are read
// with bounds checks and reject anything that is not exactly of their form.
#pragma once

#include <cstdint>
#include <string>

// Content-Length as the back end hands it over: every occurrence of the header, joined by ", ".
// Repeats of one value are that value; differing values, an empty item or anything but digits
// make the answer's framing unknowable (false). A number too large for 64 bits reads as
// UINT64_MAX, which no transfer can hold.
bool parseContentLength(const std::u16string& value, std::uint64_t& length);

// "bytes FIRST-LAST/TOTAL" with FIRST <= LAST; TOTAL is -1 for "*", else LAST < TOTAL.
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1;
};
bool parseContentRange(const std::u16string& value, ContentRange& range);
