// The engine against real nginx and squid (scripts/services.d/web), on both targets: large
// files, byte-range resumption, a proxy with and without Basic login, HTTPS with a CA that is
// or is not trusted by the system.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"

namespace testnet {
namespace {

constexpr std::size_t kLargeSize = 8 * 1024 * 1024;

class RealPeersTest : public NativeHttpTest {
  protected:
    std::u16string nginx(const char16_t* path) {
        return u"http://127.0.0.1:" + text::decimal(kNginxPort) + path;
    }
    static std::u16string byName(const std::string& host, const char16_t* scheme,
                                 std::uint16_t port, const char16_t* path) {
        return scheme + text::fromUtf8(host) + u":" + text::decimal(port) + path;
    }
    void manualProxy(std::uint16_t port, const std::u16string& login = u"",
                     const std::u16string& password = u"") {
        ProxySettings.mode = pmManual;
        // Named differently from the target (127.0.0.1): Wine's WinHTTP sends an origin-form
        // request line, which a proxy refuses, when the proxy's name equals the target's.
        ProxySettings.host = u"localhost";
        ProxySettings.port = port;
        ProxySettings.login = login;
        ProxySettings.password = password;
    }
    std::u16string onlyMessage() {
        return window.messages.size() == 1
                   ? window.messages[0]
                   : u"<" + text::decimal(static_cast<std::int64_t>(window.messages.size())) +
                         u" messages>";
    }
};

TEST_F(RealPeersTest, LargeFileArrivesWholeWithProgressToTheEnd) {
    REQUIRE_WEB_PEER(kNginxPort);
    run.items.resize(1);
    HttpGet(run, nginx(u"/large.bin"), true, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(onlyMessage());
    EXPECT_EQ(run.stream.size(), kLargeSize);
    EXPECT_TRUE(run.stream == offsetLines(kLargeSize));
    EXPECT_EQ(window.positions.back(), 100);
    EXPECT_EQ(window.status, u"1 ");
}

TEST_F(RealPeersTest, BrokenTransferResumesWithARangeValidatedByTheETag) {
    REQUIRE_WEB_PEER(kNginxPort);
    http.breakFirstBodyAfter = 3000000;
    HttpGet(run, nginx(u"/large.bin"), false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(onlyMessage());
    EXPECT_TRUE(run.stream == offsetLines(kLargeSize));
    ASSERT_EQ(http.sentHeaders.size(), 2u);
    EXPECT_EQ(http.sentHeaders[0], u"");
    const std::u16string& resume = http.sentHeaders[1];
    EXPECT_EQ(resume.rfind(u"Range: bytes=", 0), 0u) << text::toUtf8(resume);
    EXPECT_NE(resume.find(u"\r\nIf-Range: \""), std::u16string::npos) << text::toUtf8(resume);
}

TEST_F(RealPeersTest, MissingFileIsFailureSeven) {
    REQUIRE_WEB_PEER(kNginxPort);
    HttpGet(run, nginx(u"/no-such-file.exe"), false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(onlyMessage(), u"Не вдалося отримати дані (7): Відповідь сервера: 404");
}

TEST_F(RealPeersTest, ManualProxyWithLoginPassesSquidsBasicAuthentication) {
    REQUIRE_WEB_PEER(kNginxPort);
    REQUIRE_WEB_PEER(kSquidAuthPort);
    REQUIRE_LOOPBACK_NAME(host);
    manualProxy(kSquidAuthPort, u"orvelle", u"orvelle-pass");
    HttpGet(run, byName(host, u"http://", kNginxPort, u"/small.txt"), false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(onlyMessage());
    EXPECT_EQ(run.stream, "Orvelle test file\n");
    EXPECT_EQ(window.status, u"3 localhost:18428");
}

TEST_F(RealPeersTest, ManualProxyWithoutOrWithAWrongLoginIsRefusedWith407) {
    REQUIRE_WEB_PEER(kSquidAuthPort);
    REQUIRE_LOOPBACK_NAME(host);
    for (const char16_t* password : {u"", u"wrong"}) {
        manualProxy(kSquidAuthPort, *password ? u"orvelle" : u"", password);
        window.messages.clear();
        run.RunOk = true;
        HttpGet(run, byName(host, u"http://", kNginxPort, u"/small.txt"), false, true);
        EXPECT_FALSE(run.RunOk);
        EXPECT_EQ(onlyMessage(), u"Не вдалося отримати дані (7): Відповідь сервера: 407");
    }
}

// Loopback is never proxied; under the machine's name the tunnel through squid opens, and the
// untrusted certificate, which does not name the machine either, then refuses the server. (A
// refusal closes the tunnel at once, so squid logs it; a client may keep a working one open.)
TEST_F(RealPeersTest, HttpsGoesThroughTheProxyTunnel) {
    REQUIRE_WEB_PEER(kHttpsUntrustedPort);
    REQUIRE_WEB_PEER(kSquidOpenPort);
    REQUIRE_LOOPBACK_NAME(host);
    const std::size_t before = squidLinesAfter(0).size();
    manualProxy(kSquidOpenPort);
    HttpGet(run, byName(host, u"https://", kHttpsUntrustedPort, u"/small.txt"), false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_TRUE(startsWithAny(onlyMessage(),
                              {u"Не вдалося отримати дані (4).", u"Не вдалося отримати дані (5)."}))
        << text::toUtf8(onlyMessage());
    const std::string tunnel = "CONNECT " + host + ":" + std::to_string(kHttpsUntrustedPort);
    bool seen = false;
    // squid writes the line when the tunnel closes, which may be a moment after the call.
    for (int wait = 0; wait < 50 && !seen; ++wait) {
        for (const std::string& line : squidLinesAfter(before))
            seen = seen || line.find(tunnel) != std::string::npos;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(seen) << tunnel;
}

TEST_F(RealPeersTest, HttpsWithAnUntrustedCertificateIsRefused) {
    REQUIRE_WEB_PEER(kHttpsUntrustedPort);
    HttpGet(run, u"https://127.0.0.1:" + text::decimal(kHttpsUntrustedPort) + u"/small.txt", false,
            true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_TRUE(startsWithAny(onlyMessage(),
                              {u"Не вдалося отримати дані (4).", u"Не вдалося отримати дані (5)."}))
        << text::toUtf8(onlyMessage());
    EXPECT_TRUE(run.stream.empty());
}

TEST_F(RealPeersTest, HttpsWithACertificateOfASystemTrustedCaIsAccepted) {
    REQUIRE_WEB_PEER(kHttpsTrustedPort);
    HttpGet(run, u"https://127.0.0.1:" + text::decimal(kHttpsTrustedPort) + u"/small.txt", false,
            true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(onlyMessage());
    EXPECT_EQ(run.stream, "Orvelle test file\n");
}

}  // namespace
}  // namespace testnet
