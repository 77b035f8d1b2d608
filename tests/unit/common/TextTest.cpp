#include <gtest/gtest.h>

#include "common/Text.h"

namespace {

TEST(Utf8, RoundTripsCyrillicAndAstralCharacters) {
    const std::u16string text = u"Зупинено користувачем. \U0001F600";
    EXPECT_EQ(text::fromUtf8(text::toUtf8(text)), text);
    EXPECT_EQ(text::toUtf8(u"Є"), "\xD0\x84");
}

TEST(Utf8, MalformedInputBecomesReplacementCharactersWithoutReadingPastTheEnd) {
    EXPECT_EQ(text::fromUtf8("a\xD0"), u"a\uFFFD");
    EXPECT_EQ(text::fromUtf8("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(text::fromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_FALSE(text::isValidUtf8("\xF0\x9F\x98"));
    EXPECT_TRUE(text::isValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(ParseInt32, AcceptsLeadingBlanksASignAndDecimalOrHexadecimalDigits) {
    std::int32_t v = 0;
    EXPECT_TRUE(text::parseInt32(u"3128", v));
    EXPECT_EQ(v, 3128);
    EXPECT_TRUE(text::parseInt32(u"-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(text::parseInt32(u" +7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(text::parseInt32(u"$10", v));
    EXPECT_EQ(v, 16);
    EXPECT_TRUE(text::parseInt32(u"-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
}

TEST(ParseInt32, RefusesTextThatIsNotAWholeNumber) {
    std::int32_t v = 42;
    for (const auto* bad : {u"", u"x", u"abc", u"12a", u"1 ", u"-", u"2147483648", u"1.5"})
        EXPECT_FALSE(text::parseInt32(bad, v)) << std::string(bad, bad + 0);
    EXPECT_EQ(v, 42);
}

}  // namespace
