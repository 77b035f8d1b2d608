// A system error code as the text appended to failure messages: the system's own words (in
// Ukrainian when the system has them), ": " and the code; the code alone when there are none.
#pragma once

#include <cstdint>
#include <string>

std::u16string SysErrorText(std::int32_t code);
