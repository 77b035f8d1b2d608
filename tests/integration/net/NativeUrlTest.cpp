// URL splitting by the real back end (InternetCrackUrlW on Windows, ours on Linux).
#include <gtest/gtest.h>

#include "common/Text.h"
#include "platform/Http.h"

namespace {

TEST(NativeUrl, SplitsHostPortAndPathKeepingTheQuery) {
    const auto http = platform::createNativeHttp();
    platform::UrlParts parts;
    ASSERT_TRUE(http->crackUrl(u"http://host:8080/a/b.exe?x=1", parts));
    EXPECT_EQ(parts.scheme, platform::UrlScheme::http);
    EXPECT_EQ(parts.host, u"host");
    EXPECT_EQ(parts.port, 8080);
    EXPECT_EQ(parts.path, u"/a/b.exe?x=1");
}

TEST(NativeUrl, DefaultPortsFollowTheScheme) {
    const auto http = platform::createNativeHttp();
    platform::UrlParts parts;
    ASSERT_TRUE(http->crackUrl(u"https://update.example/update/ver.txt", parts));
    EXPECT_EQ(parts.scheme, platform::UrlScheme::https);
    EXPECT_EQ(parts.port, 443);
    EXPECT_EQ(parts.path, u"/update/ver.txt");
    ASSERT_TRUE(http->crackUrl(u"HTTP://Host.Example/x", parts));
    EXPECT_EQ(parts.scheme, platform::UrlScheme::http);
    EXPECT_EQ(parts.port, 80);
    EXPECT_EQ(parts.host, u"Host.Example");
}

TEST(NativeUrl, TextWithoutASchemeIsRefusedWithAnErrorCode) {
    const auto http = platform::createNativeHttp();
    platform::UrlParts parts;
    EXPECT_FALSE(http->crackUrl(u"not a url", parts));
    EXPECT_NE(http->lastError(), 0);
}

TEST(NativeUrl, HostLongerThanItsBufferIsRefused) {
    const auto http = platform::createNativeHttp();
    platform::UrlParts parts;
    EXPECT_FALSE(http->crackUrl(u"http://" + std::u16string(3000, u'h') + u"/x", parts));
}

}  // namespace
