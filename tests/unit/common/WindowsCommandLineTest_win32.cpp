// The system's own parser agrees with ours: what we quote, CommandLineToArgvW reads back, and
// it splits the argument texts as we do.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <shellapi.h>

#include "common/WindowsCommandLine.h"
#include "tests/unit/common/WindowsCommandLineCases.h"

namespace {

std::vector<std::u16string> systemArguments(const std::u16string& arguments) {
    const std::u16string line = u"prog.exe " + arguments;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line.c_str()), &count);
    std::vector<std::u16string> words;
    for (int i = 1; argv && i < count; ++i) {
        words.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    }
    LocalFree(argv);
    return words;
}

TEST(WindowsCommandLine, CommandLineToArgvWReadsTheSameWords) {
    for (const auto& c : commandline_cases::kArguments) {
        EXPECT_EQ(systemArguments(c.text), c.words) << text::toUtf8(c.text);
    }
    const std::vector<std::u16string> values{u"my pass",     u"",         u"a\\\\\"b\\",
                                             u"\\\\s\\sh\\", u"\"q\" \"", u"плюс 100%"};
    std::u16string line;
    for (const auto& value : values) {
        line += u' ';
        line += commandline::quote(value);
    }
    EXPECT_EQ(systemArguments(line), values) << text::toUtf8(line);
}

}  // namespace
