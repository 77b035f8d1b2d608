// UTF-8 and UTF-16 conversions used at the program's edges, and small text helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// Invalid sequences become U+FFFD, as the platforms' own converters do.
std::u16string fromUtf8(std::string_view bytes);
std::string toUtf8(std::u16string_view text);
// True when bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

// ASCII-only helpers (the program's keys and numbers are ASCII).
std::u16string fromAscii(std::string_view ascii);
std::u16string decimal(std::int64_t value);
std::u16string upperAscii(std::u16string_view text);

// Parses a whole text as a signed 32-bit integer: optional blanks before, an optional sign,
// decimal digits or hexadecimal ones after $ or 0x, and nothing after; a decimal value must fit
// the signed range, a hexadecimal one may be any 32 bits.
bool parseInt32(std::u16string_view text, std::int32_t& value);

}  // namespace text
