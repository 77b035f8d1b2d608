// How an installer's command line is split for the shell's elevated start: the program the
// shell opens and the arguments it passes on, unchanged.
#include <gtest/gtest.h>

#include "platform/win32/CommandLineSplit.h"

namespace {

using platform::splitProgram;

TEST(CommandLineSplit, SeparatesTheProgramFromItsArgumentsAsCreateProcessReadsIt) {
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
        const auto split = splitProgram(c.line);
        EXPECT_EQ(split.program, c.program);
        EXPECT_EQ(split.arguments, c.arguments);
    }
}

}  // namespace
