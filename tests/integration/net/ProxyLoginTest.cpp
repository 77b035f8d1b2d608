// The engine through proxies that want a login, on both targets.
#include "ProxyLoginFixture.h"
#include "net/HttpGet.h"

namespace testnet {
namespace {

TEST_F(ProxyLoginTest, NtlmProxyAcceptsTheLoginInNtlm) {
    REQUIRE_OFFICE_PROXY(kNtlmProxyPort);
    manualProxy(kNtlmProxyPort, u"orvelle", u"any-password");
    fetchNamingUser("ntlm", "ntlm", "orvelle");
}

TEST_F(ProxyLoginTest, BasicProxyGetsTheLoginWithTheFirstRequest) {
    REQUIRE_OFFICE_PROXY(kBasicProxyPort);
    manualProxy(kBasicProxyPort, u"orvelle", u"orvelle-pass");
    HttpGet(run, freshUrl("basic"), false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(firstMessage());
    EXPECT_EQ(run.stream, "Orvelle test file\n");
    const auto lines = logLines("basic");
    ASSERT_EQ(lines.size(), 1u) << joined(lines);
    EXPECT_NE(lines[0].find("TCP_MISS/200 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" orvelle "), std::string::npos) << lines[0];
}

TEST_F(ProxyLoginTest, ProxyThatStillRefusesIsFailureSevenWith407AfterOneAnswer) {
    REQUIRE_OFFICE_PROXY(kDigestProxyPort);
    manualProxy(kDigestProxyPort, u"orvelle", u"wrong-password");
    HttpGet(run, freshUrl("refused"), false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
#ifdef _WIN32
    // The request, then once more after the Digest challenge: Wine's WinHTTP has no Digest, so
    // neither names the user, and no further attempt follows.
    const auto lines = logLines("digest");
    ASSERT_EQ(lines.size(), 2u) << joined(lines);
#else
    // Basic with the request, the Digest challenge, then one answer naming the user: three
    // refusals, and no second answer.
    const auto lines = logLines("digest", " orvelle ");
    ASSERT_EQ(lines.size(), 3u) << joined(lines);
#endif
    for (const auto& line : lines)
        EXPECT_NE(line.find("TCP_DENIED/407 "), std::string::npos) << line;
}

}  // namespace
}  // namespace testnet
