// The network path each proxy mode chooses, what the label lpr shows of it, and proxy
// credentials.
#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/HttpGet.h"

namespace {

using Calls = std::vector<std::string>;

class HttpProxyTest : public nettest::EngineTest {
  protected:
    void fetch(const std::u16string& url = u"http://h/f?x=1") {
        http.responses.push_back(ok("x"));
        HttpGet(run, url, false, true);
    }
};

TEST_F(HttpProxyTest, NoProxyModeConnectsDirectly) {
    ProxySettings.mode = pmNone;
    ProxySettings.host = u"ignored";
    fetch();
    EXPECT_EQ(window.status, u"1 ");
    EXPECT_EQ(http.callsStartingWith("openSession"),
              Calls{"openSession(ORVL Downloader 1.0,1,,,0)"});
    EXPECT_TRUE(http.callsStartingWith("currentUserProxyConfig").empty());
}

TEST_F(HttpProxyTest, ModeOutsideTheKnownOnesConnectsDirectly) {
    for (std::int32_t mode : {-1, 4, 77}) {
        ProxySettings.mode = mode;
        window.status.clear();
        fetch();
        EXPECT_EQ(window.status, u"1 ");
    }
}

TEST_F(HttpProxyTest, LoopbackTargetsAreDirectInEveryModeAndLookalikesAreNot) {
    http.userConfig = platform::UserProxyConfig{false, std::nullopt, u"sys:8080", std::nullopt};
    ProxySettings.host = u"proxy";
    for (std::int32_t mode : {pmSystem, pmManual, pmAuto}) {
        ProxySettings.mode = mode;
        for (const char16_t* host :
             {u"127.0.0.1:48754", u"127.1.2.3", u"LocalHost:8080", u"[::1]:48754"}) {
            http.calls.clear();
            fetch(u"http://" + std::u16string(host) + u"/run?param=1");
            EXPECT_EQ(http.callsStartingWith("openSession"),
                      Calls{"openSession(ORVL Downloader 1.0,1,,,0)"})
                << mode << " " << text::toUtf8(host);
            EXPECT_TRUE(http.callsStartingWith("currentUserProxyConfig").empty());
        }
        for (const char16_t* host : {u"127.0.0.1.example.com", u"localhost.example.com"}) {
            http.calls.clear();
            fetch(u"http://" + std::u16string(host) + u"/f");
            ASSERT_EQ(http.callsStartingWith("openSession").size(), 1u);
            EXPECT_EQ(http.callsStartingWith("openSession")[0].rfind(
                          "openSession(ORVL Downloader 1.0,3,", 0),
                      0u)
                << text::toUtf8(host);
        }
    }
}

TEST_F(HttpProxyTest, ManualModeNamesHostAndPortEvenWhenTheHostIsEmpty) {
    ProxySettings.mode = pmManual;
    ProxySettings.host = u"";
    ProxySettings.port = 3128;
    fetch();
    EXPECT_EQ(window.status, u"3 :3128");
    EXPECT_EQ(http.callsStartingWith("openSession"),
              Calls{"openSession(ORVL Downloader 1.0,3,:3128,,0)"});
}

TEST_F(HttpProxyTest, ManualModeSendsBasicProxyCredentialsOnlyWithALogin) {
    ProxySettings.mode = pmManual;
    ProxySettings.host = u"proxy.local";
    ProxySettings.port = 8080;
    ProxySettings.password = u"secret";
    fetch();
    EXPECT_TRUE(http.callsStartingWith("setCredentials").empty());

    ProxySettings.login = u"користувач";
    fetch();
    EXPECT_EQ(http.callsStartingWith("setCredentials"),
              Calls{"setCredentials(#6,1,1,користувач,secret)"});
    EXPECT_EQ(window.status, u"3 proxy.local:8080");
}

TEST_F(HttpProxyTest, CredentialsAreNotSentInOtherModes) {
    ProxySettings.login = u"user";
    for (std::int32_t mode : {pmNone, pmSystem, pmAuto}) {
        ProxySettings.mode = mode;
        fetch();
    }
    EXPECT_TRUE(http.callsStartingWith("setCredentials").empty());
}

// A 407 offering these schemes, then the given answer to the request sent again.
fakes::FakeResponse refusal(std::uint32_t schemes) {
    fakes::FakeResponse r;
    r.status = 407;
    r.proxySchemes = schemes;
    return r;
}

TEST_F(HttpProxyTest, ProxyChallengeGetsOneAnswerWithTheLoginInTheStrongestOfferedScheme) {
    using namespace platform;
    ProxySettings.mode = pmManual;
    ProxySettings.host = u"proxy.local";
    ProxySettings.port = 8080;
    ProxySettings.login = u"user";
    ProxySettings.password = u"secret";
    const struct {
        std::uint32_t offered;
        std::vector<std::string> answers;  // credentials set after the 407
    } cases[] = {
        {kAuthSchemeNegotiate | kAuthSchemeNtlm | kAuthSchemeBasic,
         {"setCredentials(#3,1,16,user,secret)"}},
        {kAuthSchemeDigest | kAuthSchemeNtlm, {"setCredentials(#3,1,2,user,secret)"}},
        {kAuthSchemeDigest | kAuthSchemeBasic, {"setCredentials(#3,1,8,user,secret)"}},
        // The login already went as Basic: a refusal of it stands.
        {kAuthSchemeBasic, {}},
    };
    for (const auto& c : cases) {
        http = fakes::FakeHttp{};
        window.messages.clear();
        run.RunOk = true;
        http.responses = {refusal(c.offered), ok("x")};
        HttpGet(run, u"http://h/f", false, true);
        auto credentials = http.callsStartingWith("setCredentials");
        ASSERT_EQ(credentials.front(), "setCredentials(#3,1,1,user,secret)");
        credentials.erase(credentials.begin());
        EXPECT_EQ(credentials, c.answers) << c.offered;
        const std::size_t sends = c.answers.empty() ? 1 : 2;
        EXPECT_EQ(http.callsStartingWith("sendRequest"), Calls(sends, "sendRequest(#3,)"));
        EXPECT_EQ(run.RunOk, !c.answers.empty());
        if (c.answers.empty())
            EXPECT_EQ(window.messages,
                      std::vector<std::u16string>{
                          u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
        else
            EXPECT_EQ(run.stream, "x");
    }

    // Refused again after the answer: failure 7 with 407, never a third try.
    http = fakes::FakeHttp{};
    window.messages.clear();
    run.RunOk = true;
    http.responses = {refusal(kAuthSchemeNtlm), refusal(kAuthSchemeNtlm), ok("x")};
    HttpGet(run, u"http://h/f", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(http.callsStartingWith("sendRequest").size(), 2u);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
}

TEST_F(HttpProxyTest, WithoutALoginOnlyTheUsersOwnLogonAnswersAChallenge) {
    using namespace platform;
    ProxySettings.mode = pmSystem;
    const struct {
        std::uint32_t offered;
        std::uint32_t logonSchemes;  // what the platform has the user's logon for
        Calls answers;
    } cases[] = {
        {kAuthSchemeNegotiate | kAuthSchemeNtlm,
         kAuthSchemeNegotiate | kAuthSchemeNtlm,
         {"setLogonCredentials(#3,16)"}},
        // No ticket for Negotiate: NTLM next.
        {kAuthSchemeNegotiate | kAuthSchemeNtlm,
         kAuthSchemeNtlm,
         {"setLogonCredentials(#3,16)", "setLogonCredentials(#3,2)"}},
        // Digest and Basic need a login the user did not give.
        {kAuthSchemeDigest | kAuthSchemeBasic, kAuthSchemeNegotiate | kAuthSchemeNtlm, {}},
    };
    for (const auto& c : cases) {
        http = fakes::FakeHttp{};
        http.userConfig->proxy = u"corp:8080";
        http.logonSchemes = c.logonSchemes;
        http.responses = {refusal(c.offered), ok("x")};
        run.RunOk = true;
        HttpGet(run, u"http://h/f", false, false);
        EXPECT_EQ(http.callsStartingWith("setLogonCredentials"), c.answers) << c.offered;
        EXPECT_TRUE(http.callsStartingWith("setCredentials").empty());
        EXPECT_EQ(run.RunOk, !c.answers.empty());
    }
}

TEST_F(HttpProxyTest, SystemModeWithoutAnySettingsIsDirect) {
    for (std::int32_t mode : {pmSystem, pmAuto}) {
        ProxySettings.mode = mode;
        fetch();
        EXPECT_EQ(window.status, u"(, , False, ) 1 ");
    }
    EXPECT_TRUE(http.callsStartingWith("proxyForUrl").empty());
    EXPECT_EQ(http.callsStartingWith("openSession").size(), 2u);
}

TEST_F(HttpProxyTest, SystemModeUsesTheStaticProxyAndBypassList) {
    ProxySettings.mode = pmSystem;
    http.userConfig->proxy = u"corp:8080";
    http.userConfig->proxyBypass = u"<local>;*.lan";
    fetch();
    EXPECT_EQ(window.status, u"(corp:8080, <local>;*.lan, False, ) 3 corp:8080");
    EXPECT_EQ(http.callsStartingWith("openSession"),
              Calls{"openSession(ORVL Downloader 1.0,3,corp:8080,<local>;*.lan,0)"});
}

TEST_F(HttpProxyTest, ConfigurationScriptDecidesTheProxyForTheUrlWithoutItsQuery) {
    ProxySettings.mode = pmAuto;
    http.userConfig->autoConfigUrl = u"http://wpad.lan/proxy.pac";
    http.userConfig->proxy = u"static:1";
    http.userConfig->proxyBypass = u"<local>";
    http.discovered = platform::ProxyForUrl{3, u"pac-chosen:3128", std::nullopt};
    fetch(u"http://h/f?x=1");
    EXPECT_EQ(http.calls[2], "openSession(WinHTTP AutoProxy/1.0,1,,,0)");
    EXPECT_EQ(http.calls[3], "proxyForUrl(#1,http://h/f,2,0,http://wpad.lan/proxy.pac,logon)");
    EXPECT_EQ(http.calls[4], "close(#1)");
    EXPECT_EQ(http.calls[5], "openSession(ORVL Downloader 1.0,3,pac-chosen:3128,,0)");
    EXPECT_EQ(window.status,
              u"(static:1, <local>, False, http://wpad.lan/proxy.pac) 3 pac-chosen:3128");
}

TEST_F(HttpProxyTest, AutoDetectionAsksByDhcpAndDns) {
    ProxySettings.mode = pmSystem;
    http.userConfig->autoDetect = true;
    http.discovered = platform::ProxyForUrl{1, std::nullopt, std::nullopt};
    fetch(u"http://h/f");
    EXPECT_EQ(http.callsStartingWith("proxyForUrl"),
              Calls{"proxyForUrl(#1,http://h/f,1,3,,logon)"});
    EXPECT_EQ(window.status, u"(, , True, ) 1 ");
}

TEST_F(HttpProxyTest, FailedDiscoveryKeepsTheStaticSettings) {
    ProxySettings.mode = pmSystem;
    http.userConfig->autoDetect = true;
    http.userConfig->autoConfigUrl = u"http://x/p.pac";
    http.userConfig->proxy = u"static:1";
    http.discovered.reset();
    fetch();
    EXPECT_EQ(http.callsStartingWith("proxyForUrl"),
              Calls{"proxyForUrl(#1,http://h/f,3,3,http://x/p.pac,logon)"});
    EXPECT_EQ(window.status, u"(static:1, , True, http://x/p.pac) 3 static:1");

    http.discoverySessionFails = true;
    window.status.clear();
    fetch();
    EXPECT_EQ(window.status, u"(static:1, , True, http://x/p.pac) 3 static:1");
}

TEST_F(HttpProxyTest, UnreadableConfigurationMeansDirectWithoutDiagnostics) {
    ProxySettings.mode = pmSystem;
    http.userConfig.reset();
    fetch();
    EXPECT_EQ(window.status, u"1 ");
}

TEST_F(HttpProxyTest, LabelIsClearedAtTheStartOfEveryCall) {
    window.status = u"stale";
    fetch();
    EXPECT_EQ(window.statusHistory.front(), u"");
    EXPECT_EQ(window.status, u"1 ");
}

}  // namespace
