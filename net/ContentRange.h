// The Content-Range header of a partial answer (206), as the transfer engine checks it before
// appending the part to what it holds.
#pragma once

#include <cstdint>
#include <string>

// "bytes START-END/TOTAL": the first byte position, or -1 when the text is not of that form.
std::int64_t contentRangeStart(const std::u16string& value);
