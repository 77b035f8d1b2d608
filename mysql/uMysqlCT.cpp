#include "mysql/uMysqlCT.h"

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/System.h"

std::string to_ansi(const std::u16string& text) { return platform::get<platform::System>().toAnsi(text); }

std::string to_utf8(const std::string& bytes) {
    // The bytes are UTF-8 already; decoding and encoding again changes nothing for well-formed
    // input, and the input is kept as it is when it does not convert.
    if (bytes.empty() || !text::isValidUtf8(bytes)) return bytes;
    return text::toUtf8(text::fromUtf8(bytes));
}
