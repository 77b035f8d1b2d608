// Any bytes as the program's arguments and as UTF-8 from outside: decoding, re-encoding and
// integer parsing must stay inside the input and agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "common/Text.h"

namespace {

void check(bool promise) {
    if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Decoding replaces what is invalid; what was decoded once encodes and decodes unchanged.
    const std::u16string decoded = text::fromUtf8(bytes);
    const std::string encoded = text::toUtf8(decoded);
    check(text::isValidUtf8(encoded));
    check(text::fromUtf8(encoded) == decoded);
    if (text::isValidUtf8(bytes)) check(encoded == bytes);

    std::int32_t value = 0;
    if (text::parseInt32(decoded, value)) {
        std::int32_t again = 0;
        check(text::parseInt32(text::decimal(value), again) && again == value);
    }

    // The same bytes as the program's arguments, separated by NUL bytes.
    std::vector<std::u16string> arguments;
    std::size_t start = 0;
    while (start <= bytes.size() && arguments.size() < 16) {
        const auto end = bytes.find('\0', start);
        arguments.push_back(text::fromUtf8(bytes.substr(start, end - start)));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    ReadCommandLine(arguments);
    return 0;
}
