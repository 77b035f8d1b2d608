#include "mysql/uMysqlErrors.h"

#include <string>

#include "common/Text.h"

const char* const client_error_messages[CR_MAX_ERROR - CR_MIN_ERROR + 1] = {
    "Unknown MySQL error",
    "Can't create UNIX socket (%d)",
    "Can't connect to local MySQL server through socket '%-.64s' (%d)",
    "Can't connect to MySQL server on '%-.64s' (%d)",
    "Can't create TCP/IP socket (%d)",
    "Unknown MySQL Server Host '%-.64s' (%d)",
    "MySQL server has gone away",
    "Protocol mismatch. Server Version = %d Client Version = %d",
    "MySQL client run out of memory",
    "Wrong host info",
    "Localhost via UNIX socket",
    "%-.64s via TCP/IP",
    "Error in server handshake",
    "Lost connection to MySQL server during query",
    "Commands out of sync;  You can't run this command now",
    "%-.64s via named pipe",
    "Can't wait for named pipe to host: %-.64s  pipe: %-.32s (%lu)",
    "Can't open named pipe to host: %-.64s  pipe: %-.32s (%u)",
    "Can't set state of named pipe to host: %-.64s  pipe: %-.32s (%lu)",
    "Can't initialize character set %-.64s (path: %-.64s)",
    "Got packet bigger than 'max_allowed_packet'",
};

namespace {

std::u16string asText(const ErrorArgument& argument) {
    if (const auto* text = std::get_if<std::u16string>(&argument)) return *text;
    if (const auto* number = std::get_if<std::int64_t>(&argument)) return text::decimal(*number);
    return text::fromAscii(std::to_string(std::get<std::uint64_t>(argument)));
}

// A signed placeholder shows an unsigned argument's bits as a signed 32-bit number and an
// unsigned placeholder a negative argument as its unsigned 32-bit pattern, as printf does.
std::u16string asSigned(const ErrorArgument& argument) {
    if (const auto* number = std::get_if<std::uint64_t>(&argument))
        return text::decimal(static_cast<std::int32_t>(static_cast<std::uint32_t>(*number)));
    return asText(argument);
}
std::u16string asUnsigned(const ErrorArgument& argument) {
    if (const auto* number = std::get_if<std::int64_t>(&argument))
        return text::fromAscii(std::to_string(static_cast<std::uint32_t>(*number)));
    return asText(argument);
}

}  // namespace

std::u16string format_error_text(const char* templateText,
                                 std::initializer_list<ErrorArgument> arguments) {
    const std::string_view pattern(templateText);
    std::u16string out;
    auto next = arguments.begin();
    const auto take = [&]() -> const ErrorArgument* {
        return next == arguments.end() ? nullptr : &*next++;
    };
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%') {
            out.push_back(static_cast<unsigned char>(c));
            continue;
        }
        const std::string_view rest = pattern.substr(i + 1);
        std::size_t digits = 0;
        while (rest.starts_with("-.") && 2 + digits < rest.size() && rest[2 + digits] >= '0' &&
               rest[2 + digits] <= '9' && digits < 3)
            ++digits;
        if (digits > 0 && 2 + digits < rest.size() && rest[2 + digits] == 's') {
            std::size_t limit = 0;
            for (std::size_t k = 0; k < digits; ++k)
                limit = limit * 10 + static_cast<std::size_t>(rest[2 + k] - '0');
            if (const auto* argument = take()) out += asText(*argument).substr(0, limit);
            i += 3 + digits;
        } else if (rest.starts_with("lu")) {
            if (const auto* argument = take()) out += asUnsigned(*argument);
            i += 2;
        } else if (rest.starts_with("u")) {
            if (const auto* argument = take()) out += asUnsigned(*argument);
            i += 1;
        } else if (rest.starts_with("d")) {
            if (const auto* argument = take()) out += asSigned(*argument);
            i += 1;
        } else if (rest.starts_with("s")) {
            if (const auto* argument = take()) out += asText(*argument);
            i += 1;
        } else {
            out.push_back(u'%');
        }
    }
    return out;
}

std::u16string cut_characters(const std::u16string& text, std::size_t limit) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters < limit; ++characters) {
        const bool pair = text[end] >= 0xD800 && text[end] <= 0xDBFF && end + 1 < text.size() &&
                          text[end + 1] >= 0xDC00 && text[end + 1] <= 0xDFFF;
        end += pair ? 2 : 1;
    }
    return text.substr(0, end);
}

std::u16string client_error_text(std::uint32_t number,
                                 std::initializer_list<ErrorArgument> arguments) {
    if (number < CR_MIN_ERROR || number > CR_MAX_ERROR) return {};
    return format_error_text(client_error_messages[number - CR_MIN_ERROR], arguments);
}
