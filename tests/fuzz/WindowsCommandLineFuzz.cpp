// Any text as a command line stays inside its input, and any values quoted into an argument
// text split back into exactly those values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/WindowsCommandLine.h"

namespace {

void check(bool promise) {
    if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two bytes per UTF-16 unit; a 0 unit separates values for the round trip.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }

    const auto words = commandline::split(units);
    const auto arguments = commandline::splitArguments(units);
    std::size_t total = 0;
    for (const auto& word : arguments) total += word.size();
    check(total <= units.size());
    for (const auto& word : words) check(word.size() <= units.size());

    std::vector<std::u16string> values(1);
    for (const char16_t c : units) {
        if (c == 0) {
            values.emplace_back();
        } else {
            values.back().push_back(c);
        }
    }
    std::u16string line;
    for (const auto& value : values) line += u" " + commandline::quote(value);
    check(commandline::splitArguments(line) == values);

    // A program path (no quotes in it) in quotes comes back as the first word, backslashes
    // and all, followed by the values.
    if (values[0].find(u'"') == std::u16string::npos) {
        auto back = commandline::split(u"\"" + values[0] + u"\"" + line);
        check(!back.empty() && back[0] == values[0]);
        back.erase(back.begin());
        check(back == values);
    }
    return 0;
}
