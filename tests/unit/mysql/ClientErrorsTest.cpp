#include <gtest/gtest.h>

#include "common/Text.h"
#include "mysql/uMysqlCT.h"
#include "mysql/uMysqlErrors.h"

namespace {

TEST(ClientErrors, TableHoldsAll21TextsWithTheirExactSpacing) {
    EXPECT_STREQ(client_error_messages[0], "Unknown MySQL error");
    EXPECT_STREQ(client_error_messages[14], "Commands out of sync;  You can't run this command now");
    EXPECT_STREQ(client_error_messages[16],
                 "Can't wait for named pipe to host: %-.64s  pipe: %-.32s (%lu)");
    EXPECT_STREQ(client_error_messages[20], "Got packet bigger than 'max_allowed_packet'");
    EXPECT_EQ(client_error_text(CR_SERVER_LOST), u"Lost connection to MySQL server during query");
}

TEST(ClientErrors, TextPlaceholdersAreCutWithoutPadding) {
    const std::u16string host(70, u'h');
    EXPECT_EQ(client_error_text(CR_UNKNOWN_HOST, {host, std::int64_t{11001}}),
              u"Unknown MySQL Server Host '" + std::u16string(64, u'h') + u"' (11001)");
    EXPECT_EQ(client_error_text(CR_CONN_HOST_ERROR, {std::u16string(u"db"), std::int64_t{-1}}),
              u"Can't connect to MySQL server on 'db' (-1)");
    EXPECT_EQ(client_error_text(CR_NAMEDPIPEOPEN_ERROR,
                                {std::u16string(u"."), std::u16string(40, u'p'), std::int64_t{2}}),
              u"Can't open named pipe to host: .  pipe: " + std::u16string(32, u'p') + u" (2)");
    EXPECT_EQ(format_error_text(kSslConnectionErrorText, {std::u16string(120, u'r')}),
              u"SSL connection error: " + std::u16string(100, u'r'));
}

TEST(ClientErrors, PipeErrorNumbersAreUnsigned) {
    const std::initializer_list<ErrorArgument> arguments = {std::u16string(u"."),
                                                            std::u16string(u"MySQL"),
                                                            std::int64_t{-2}};
    EXPECT_EQ(client_error_text(CR_NAMEDPIPEWAIT_ERROR, arguments),
              u"Can't wait for named pipe to host: .  pipe: MySQL (4294967294)");
    EXPECT_EQ(client_error_text(CR_NAMEDPIPESETSTATE_ERROR, arguments),
              u"Can't set state of named pipe to host: .  pipe: MySQL (4294967294)");
    EXPECT_EQ(client_error_text(CR_VERSION_ERROR, {std::int64_t{11}, std::int64_t{10}}),
              u"Protocol mismatch. Server Version = 11 Client Version = 10");
}

TEST(ClientErrors, NumbersOutsideTheTableHaveNoText) {
    EXPECT_EQ(client_error_text(1999), u"");
    EXPECT_EQ(client_error_text(ER_NET_PACKET_TOO_LARGE), u"");
}

TEST(WireText, Utf8PassesThroughAndMalformedBytesStayAsTheyAre) {
    EXPECT_EQ(to_utf8(text::toUtf8(u"SELECT 'Привіт'")), text::toUtf8(u"SELECT 'Привіт'"));
    EXPECT_EQ(to_utf8("\xFF\xFE"), "\xFF\xFE");
    EXPECT_EQ(to_utf8(""), "");
}

TEST(WireText, AnsiIsTheSystemCodePage) {
    EXPECT_EQ(to_ansi(u"localhost"), "localhost");
}

}  // namespace
