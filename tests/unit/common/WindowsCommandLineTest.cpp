#include <gtest/gtest.h>

#include "common/WindowsCommandLine.h"
#include "tests/unit/common/WindowsCommandLineCases.h"

namespace {

using Words = std::vector<std::u16string>;

TEST(WindowsCommandLine, SplitsAsTheCRuntimeDocumentsIt) {
    for (const auto& c : commandline_cases::kArguments) {
        EXPECT_EQ(commandline::splitArguments(c.text), c.words) << text::toUtf8(c.text);
    }
    // The program's own name: quotes only group, its backslashes stay.
    EXPECT_EQ(commandline::split(u"  \"C:\\Program Files\\ORVL_Monitor.exe\" /a \"b c\""),
              (Words{u"C:\\Program Files\\ORVL_Monitor.exe", u"/a", u"b c"}));
    EXPECT_EQ(commandline::split(u"/opt/x\\\"y z"), (Words{u"/opt/x\\y z"}));
    EXPECT_EQ(commandline::split(u" \t"), Words{});
}

TEST(WindowsCommandLine, QuotesOnlyWhatNeedsItAndEveryValueComesBackUnchanged) {
    EXPECT_EQ(commandline::quote(u"C:\\dir\\x.exe"), u"C:\\dir\\x.exe");
    EXPECT_EQ(commandline::quote(u"my pass"), u"\"my pass\"");
    EXPECT_EQ(commandline::quote(u""), u"\"\"");
    EXPECT_EQ(commandline::quote(u"a\\\"b"), u"\"a\\\\\\\"b\"");
    EXPECT_EQ(commandline::quoteAlways(u"C:\\my dir\\"), u"\"C:\\my dir\\\\\"");

    const Words values{u"my pass",    u"",          u"\"",   u"\\",
                       u"a\\\\\"b\\", u"tab\there", u"\"\"", u"\\\\server\\share\\",
                       u"плюс 100%",  u"x\\\\"};
    std::u16string line;
    for (const auto& value : values) {
        line += u' ';
        line += commandline::quote(value);
    }
    EXPECT_EQ(commandline::splitArguments(line), values) << text::toUtf8(line);
}

// What the shell's elevated start of an installer is handed: the program and its argument text.
TEST(WindowsCommandLine, SplitProgramSeparatesTheProgramFromItsArgumentsAsCreateProcessReadsIt) {
    struct Case {
        std::u16string line, program, arguments;
    };
    const Case cases[] = {
        {u"\"C:\\Users\\Ann Lee\\AppData\\Local\\Temp\\ORVL_Downloader.exe\" /proxy=1 /host= "
         u"/port=3128 /plogin= /ppass= /SILENT",
         u"C:\\Users\\Ann Lee\\AppData\\Local\\Temp\\ORVL_Downloader.exe",
         u"/proxy=1 /host= /port=3128 /plogin= /ppass= /SILENT"},
        {u"C:\\Temp\\setup.exe /host=\"a b\"", u"C:\\Temp\\setup.exe", u"/host=\"a b\""},
        {u"C:\\Temp\\setup.exe", u"C:\\Temp\\setup.exe", u""},
        {u"  \t\"C:\\a b\\m.exe\"", u"C:\\a b\\m.exe", u""},
        {u"\"C:\\unterminated b.exe /x", u"C:\\unterminated b.exe /x", u""},
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        const auto split = commandline::splitProgram(c.line);
        EXPECT_EQ(split.program, c.program);
        EXPECT_EQ(split.arguments, c.arguments);
    }
}

}  // namespace
