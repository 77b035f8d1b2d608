// The manifest and progress-file text: encodings, line ends, keys, and the files a manifest
// asks for.
#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/System.h"
#include "run/Manifest.h"

namespace {

using Lines = std::vector<std::u16string>;

Lines read(std::string_view bytes, TextEncoding* encoding = nullptr) {
    Lines lines{u"left over"};
    TextEncoding found = TextEncoding::Ansi;
    ReadLines(bytes, lines, found);
    if (encoding) *encoding = found;
    return lines;
}

TEST(ManifestText, ByteOrderMarksSelectTheEncodingAndAreNotPartOfTheText) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF"
         "5.2=http://h/\xD0\x86.exe",
         TextEncoding::Utf8Bom},
        {std::string("\xFF\xFE"
                     "5\0.\0"
                     "2\0=\0h\0\x06\x04",
                     14),
         TextEncoding::Utf16LeBom},
        {std::string("\xFE\xFF"
                     "\0"
                     "5\0.\0"
                     "2\0=\0h\x04\x06",
                     14),
         TextEncoding::Utf16BeBom},
    };
    const std::u16string expected[] = {u"5.2=http://h/\u0406.exe", u"5.2=h\u0406", u"5.2=h\u0406"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TextEncoding encoding;
        EXPECT_EQ(read(cases[i].bytes, &encoding), Lines{expected[i]}) << i;
        EXPECT_EQ(encoding, cases[i].encoding) << i;
    }
}

TEST(ManifestText, WithoutAMarkTheAnsiCodePageDecodes) {
    const std::string bytes = "1.0=http://h/a\xC0.exe";
    TextEncoding encoding;
    EXPECT_EQ(read(bytes, &encoding), Lines{platform::get<platform::System>().fromAnsi(bytes)});
    EXPECT_EQ(encoding, TextEncoding::Ansi);
}

TEST(ManifestText, LinesEndWithCrLfLfOrCrAndAFinalBreakAddsNoLine) {
    EXPECT_EQ(read("a=1\r\nb=2\nc=3\rd=4"), (Lines{u"a=1", u"b=2", u"c=3", u"d=4"}));
    EXPECT_EQ(read("a=1\r\n"), (Lines{u"a=1"}));
    EXPECT_EQ(read("a=1\n\n"), (Lines{u"a=1", u""}));
    EXPECT_EQ(read("a=1\r\r\n"), (Lines{u"a=1", u""}));
    EXPECT_EQ(read("\r\n"), (Lines{u""}));
    EXPECT_EQ(read(""), Lines{});
    EXPECT_EQ(read("\xEF\xBB\xBF"), Lines{});
}

TEST(ManifestText, TruncatedUtf16DropsTheDanglingByte) {
    EXPECT_EQ(read(std::string("\xFF\xFE"
                               "a\0=\0b\0\n",
                               9)),
              (Lines{u"a=b"}));
    EXPECT_EQ(read(std::string("\xFE\xFF\0", 3)), Lines{});
    EXPECT_EQ(read("\xFF\xFE"), Lines{});
}

TEST(ManifestText, WritesEachLineWithCrLfInTheEncodingItWasReadIn) {
    const Lines lines{u"[Update]", u"Orvelle_Install=0"};
    const std::string plain = "[Update]\r\nOrvelle_Install=0\r\n";
    EXPECT_EQ(WriteLines(lines, TextEncoding::Ansi), plain);
    EXPECT_EQ(WriteLines(lines, TextEncoding::Utf8Bom), "\xEF\xBB\xBF" + plain);
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (const char c : plain) {
        le += std::string{c, '\0'};
        be += std::string{'\0', c};
    }
    EXPECT_EQ(WriteLines(lines, TextEncoding::Utf16LeBom), le);
    EXPECT_EQ(WriteLines(lines, TextEncoding::Utf16BeBom), be);
    for (auto encoding : {TextEncoding::Ansi, TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom,
                          TextEncoding::Utf16BeBom}) {
        TextEncoding back;
        EXPECT_EQ(read(WriteLines(lines, encoding), &back), lines);
        EXPECT_EQ(back, encoding);
    }
}

TEST(ManifestKeys, TheFirstLineWhoseKeyMatchesWithoutRegardToCaseCounts) {
    const Lines lines{u"5.2.1=http://h/setup.exe", u"garbage", u"SqL=http://h/one.msi",
                      u"sql=http://h/two.msi", u" sql =http://h/three.msi"};
    std::u16string value;
    ASSERT_TRUE(FindValue(lines, u"sql", value));
    EXPECT_EQ(value, u"http://h/one.msi");
    ASSERT_TRUE(FindValue(lines, u" SQL ", value));  // blanks are part of the key
    EXPECT_EQ(value, u"http://h/three.msi");
    EXPECT_FALSE(FindValue(lines, u"mysql", value));

    std::u16string key;
    ASSERT_TRUE(SplitKeyValue(u"a = b=c ", key, value));
    EXPECT_EQ(key, u"a ");
    EXPECT_EQ(value, u" b=c ");
    EXPECT_FALSE(SplitKeyValue(u"http://h/setup.exe", key, value));
}

TEST(ManifestItems, AnInstallerAndASqlLineGiveTwoFilesUnderTheirFixedNames) {
    const Lines lines{u"5.2.1=http://h.example/files/setup.exe", u"SQL=http://h/mysql-5.1.73.msi"};
    std::vector<tf> items;
    ASSERT_TRUE(ItemsFromManifest(lines, true, u"T/", items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].url, u"http://h.example/files/setup.exe");
    EXPECT_EQ(items[0].name, u"T/ORVL_Downloader.exe");
    EXPECT_EQ(items[0].ver, u"5.2.1");
    EXPECT_EQ(items[1].url, u"http://h/mysql-5.1.73.msi");
    EXPECT_EQ(items[1].name, u"T/ORVL_Downloader_sql.msi");
    EXPECT_EQ(items[1].ver, u"sql");

    items.clear();
    ASSERT_TRUE(ItemsFromManifest(lines, false, u"T/", items));
    EXPECT_EQ(items.size(), 1u);
}

TEST(ManifestItems, AnEmptySqlValueOrNoSqlLineFetchesTheInstallerAlone) {
    for (const Lines& lines : {Lines{u"1=http://h/a.exe", u"sql="}, Lines{u"1=http://h/a.exe"}}) {
        std::vector<tf> items;
        ASSERT_TRUE(ItemsFromManifest(lines, true, u"T/", items));
        EXPECT_EQ(items.size(), 1u);
    }
}

TEST(ManifestItems, NoLinesOrAFirstLineWithoutEqualsSignIsNoManifest) {
    std::vector<tf> items;
    EXPECT_FALSE(ItemsFromManifest({}, true, u"T/", items));
    EXPECT_FALSE(
        ItemsFromManifest({u"http://h/setup.exe", u"sql=http://h/m.msi"}, true, u"T/", items));
    EXPECT_FALSE(ItemsFromManifest({u""}, true, u"T/", items));
    EXPECT_TRUE(items.empty());
}

TEST(ManifestItems, TheExtensionRunsFromTheLastDotUnlessABackslashOrColonFollows) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"http://h/setup.exe", u"T/ORVL_Downloader.exe"},
        {u"http://h.example/setup", u"T/ORVL_Downloader.example/setup"},
        {u"http://h/a.b\\setup", u"T/ORVL_Downloader"},
        {u"http://h.example:8080/setup", u"T/ORVL_Downloader"},
        {u"http://h/x.tar.gz?v=1.2", u"T/ORVL_Downloader.2"},
        {u"", u"T/ORVL_Downloader"},
    };
    for (const auto& [url, name] : cases) {
        std::vector<tf> items;
        ASSERT_TRUE(ItemsFromManifest({u"v=" + url}, false, u"T/", items));
        EXPECT_EQ(items[0].name, name) << std::string(url.begin(), url.end());
    }
}

}  // namespace
