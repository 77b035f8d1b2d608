// SysErrorText: Ukrainian text first, then the system's default language, then the code alone.
#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/SysErrorText.h"

namespace {

class SysErrorTextTest : public nettest::EngineTest {};

TEST_F(SysErrorTextTest, PrefersUkrainianAndDropsTheClosingLineBreak) {
    system.texts[{5, 0x0422}] = u"Відмовлено в доступі.\r\n";
    system.texts[{5, 0x0800}] = u"Access is denied.\r\n";
    EXPECT_EQ(SysErrorText(5), u"Відмовлено в доступі.: 5");
}

TEST_F(SysErrorTextTest, FallsBackToTheDefaultLanguage) {
    system.texts[{2, 0x0800}] = u"The system cannot find the file specified.\r\n";
    EXPECT_EQ(SysErrorText(2), u"The system cannot find the file specified.: 2");
}

TEST_F(SysErrorTextTest, RemovesOnlyOneClosingLineBreakAndKeepsInnerOnes) {
    system.texts[{3, 0x0422}] = u"Line one\r\nline two\r\n\r\n";
    EXPECT_EQ(SysErrorText(3), u"Line one\r\nline two\r\n: 3");
    system.texts[{4, 0x0422}] = u"No break";
    EXPECT_EQ(SysErrorText(4), u"No break: 4");
}

TEST_F(SysErrorTextTest, WithoutTextTheCodeStandsAloneAsASignedNumber) {
    EXPECT_EQ(SysErrorText(12345), u"12345");
    EXPECT_EQ(SysErrorText(-2147012894), u"-2147012894");
    system.texts[{6, 0x0422}] = u"\r\n";
    EXPECT_EQ(SysErrorText(6), u"6");
}

TEST(SysErrorTextNative, GivesTheBackEndsTransferErrorsAReadableText) {
    // WinHTTP's numbers are not in Windows' system table but in winhttp.dll's; the Linux back
    // end has its own texts for them. Either way a number never stands alone.
    for (const std::int32_t code : {12002, 12029}) {
        const std::u16string number = text::decimal(code);
        const std::u16string text = SysErrorText(code);
        EXPECT_TRUE(text.size() > 2 + number.size() && text.ends_with(u": " + number))
            << text::toUtf8(text);
    }
}

}  // namespace
