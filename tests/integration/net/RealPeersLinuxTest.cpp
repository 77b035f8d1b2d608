// Linux only: the user's proxy configuration from the environment, configuration scripts (PAC)
// evaluated by libproxy in modes 1 and 3, and a private CA trusted through CURL_CA_BUNDLE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"

namespace testnet {
namespace {

// Sets the proxy variables for one test and removes them after it.
class EnvironmentProxyTest : public NativeHttpTest {
  protected:
    void TearDown() override {
        for (const char* name : {"http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY",
                                 "HTTPS_PROXY", "NO_PROXY", "CURL_CA_BUNDLE"})
            unsetenv(name);
        NativeHttpTest::TearDown();
    }
    void SetUp() override {
        NativeHttpTest::SetUp();
        for (const char* name : {"http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY",
                                 "HTTPS_PROXY", "NO_PROXY", "CURL_CA_BUNDLE"})
            unsetenv(name);
        REQUIRE_PEER(!host.empty(), "this machine's host name does not resolve to 127.0.0.1");
    }
    void useProxyVariable(const std::string& value) {
        setenv("http_proxy", value.c_str(), 1);
        setenv("https_proxy", value.c_str(), 1);
    }
    // Loopback is never proxied: the proxied cases name the machine (see loopbackHostName).
    const std::string host = loopbackHostName();
    const std::u16string smallFile = u"http://" + text::fromUtf8(host) + u":18480/small.txt";
};

TEST_F(EnvironmentProxyTest, ConfigurationScriptChoosesTheProxyInModesOneAndThree) {
    REQUIRE_WEB_PEER(kNginxPort);
    REQUIRE_WEB_PEER(kSquidOpenPort);
    useProxyVariable("pac+http://127.0.0.1:18480/proxy.pac");
    for (std::int32_t mode : {pmSystem, pmAuto}) {
        ProxySettings.mode = mode;
        run.RunOk = true;
        HttpGet(run, smallFile, false, true);
        ASSERT_TRUE(run.RunOk) << text::toUtf8(window.messages.at(0));
        EXPECT_EQ(run.stream, "Orvelle test file\n");
        EXPECT_EQ(window.status,
                  u"(, , False, http://127.0.0.1:18480/proxy.pac) 3 127.0.0.1:18429");
    }
}

TEST_F(EnvironmentProxyTest, ScriptThatNamesTheAuthenticatingProxyLeadsTo407) {
    REQUIRE_WEB_PEER(kSquidAuthPort);
    useProxyVariable("pac+http://127.0.0.1:18480/proxy-auth.pac");
    ProxySettings.mode = pmSystem;
    HttpGet(run, smallFile, false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
    EXPECT_EQ(window.status,
              u"(, , False, http://127.0.0.1:18480/proxy-auth.pac) 3 127.0.0.1:18428");
}

TEST_F(EnvironmentProxyTest, ScriptThatSaysDirectConnectsDirectly) {
    REQUIRE_WEB_PEER(kNginxPort);
    useProxyVariable("pac+http://127.0.0.1:18480/direct.pac");
    ProxySettings.mode = pmSystem;
    HttpGet(run, smallFile, false, true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(window.status, u"(, , False, http://127.0.0.1:18480/direct.pac) 1 ");
}

TEST_F(EnvironmentProxyTest, StaticProxyAndBypassListComeFromTheEnvironment) {
    REQUIRE_WEB_PEER(kNginxPort);
    REQUIRE_WEB_PEER(kSquidAuthPort);
    useProxyVariable("http://127.0.0.1:18428/");
    ProxySettings.mode = pmSystem;
    HttpGet(run, smallFile, false, true);
    EXPECT_EQ(window.status, u"(127.0.0.1:18428, , False, ) 3 127.0.0.1:18428");
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});

    // The same proxy, bypassed for this host: the file comes directly.
    setenv("no_proxy", ("localhost," + host).c_str(), 1);
    window.messages.clear();
    run.RunOk = true;
    HttpGet(run, smallFile, false, true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(run.stream, "Orvelle test file\n");
    EXPECT_EQ(window.status, u"(127.0.0.1:18428, localhost;" + text::fromUtf8(host) +
                                 u", False, ) 3 127.0.0.1:18428");
}

// The desktop's own settings: GNOME through GSettings (a private keyfile back end here), KDE
// through kioslaverc, both in a private configuration folder.
class DesktopProxyTest : public EnvironmentProxyTest {
  protected:
    void SetUp() override {
        EnvironmentProxyTest::SetUp();
        folder_ = std::filesystem::temp_directory_path() / "orvelle-desktop-proxy-test";
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
    }
    void TearDown() override {
        for (const char* name : {"XDG_CONFIG_HOME", "GSETTINGS_BACKEND", "XDG_CURRENT_DESKTOP"})
            unsetenv(name);
        std::filesystem::remove_all(folder_);
        EnvironmentProxyTest::TearDown();
    }
    static bool gsettingsSet(const std::string& arguments) {
        return std::system(("gsettings set " + arguments + " 2>/dev/null").c_str()) == 0;
    }
    std::filesystem::path folder_;
};

TEST_F(DesktopProxyTest, GnomeManualProxyIsTheUsersConfiguration) {
    REQUIRE_WEB_PEER(kSquidOpenPort);
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    if (!gsettingsSet("org.gnome.system.proxy mode manual"))
        GTEST_SKIP() << "gsettings or the org.gnome.system.proxy schema is not installed";
    ASSERT_TRUE(gsettingsSet("org.gnome.system.proxy.http host localhost"));
    ASSERT_TRUE(gsettingsSet("org.gnome.system.proxy.http port 18429"));
    ASSERT_TRUE(gsettingsSet("org.gnome.system.proxy.https host localhost"));
    ASSERT_TRUE(gsettingsSet("org.gnome.system.proxy.https port 18429"));
    ASSERT_TRUE(gsettingsSet("org.gnome.system.proxy ignore-hosts \"['*.lan', 'intranet']\""));
    useProxyVariable("http://127.0.0.1:1/");  // the desktop's choice wins over the environment
    ProxySettings.mode = pmSystem;
    HttpGet(run, smallFile, false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(window.messages.at(0));
    EXPECT_EQ(window.status, u"(localhost:18429, *.lan;intranet, False, ) 3 localhost:18429");
}

TEST_F(DesktopProxyTest, GnomeAutomaticModeUsesItsScript) {
    REQUIRE_WEB_PEER(kSquidAuthPort);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    if (!gsettingsSet("org.gnome.system.proxy mode auto"))
        GTEST_SKIP() << "gsettings or the org.gnome.system.proxy schema is not installed";
    ASSERT_TRUE(gsettingsSet(
        "org.gnome.system.proxy autoconfig-url 'http://127.0.0.1:18480/proxy-auth.pac'"));
    ProxySettings.mode = pmAuto;
    HttpGet(run, smallFile, false, true);
    EXPECT_EQ(window.status,
              u"(, , False, http://127.0.0.1:18480/proxy-auth.pac) 3 127.0.0.1:18428");
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
}

TEST_F(DesktopProxyTest, KdeScriptSettingIsRead) {
    REQUIRE_WEB_PEER(kNginxPort);
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    std::ofstream(folder_ / "kioslaverc")
        << "[Proxy Settings]\nProxyType=2\nProxy Config Script=http://127.0.0.1:18480/direct.pac\n";
    ProxySettings.mode = pmSystem;
    HttpGet(run, smallFile, false, true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(window.status, u"(, , False, http://127.0.0.1:18480/direct.pac) 1 ");
}

// Wine's WinHTTP does not put the proxy credentials on its CONNECT request, so this case runs
// on the Linux back end only. Under the machine's name (loopback is never proxied): the trusted
// certificate names the machine, so the file arrives; the untrusted one (its CA named through
// CURL_CA_BUNDLE) does not, so that tunnel ends at the certificate's names; without the login
// the proxy refuses at 407.
TEST_F(EnvironmentProxyTest, HttpsTunnelThroughTheAuthenticatingProxyWithBasicLogin) {
    REQUIRE_WEB_PEER(kHttpsTrustedPort);
    REQUIRE_WEB_PEER(kHttpsUntrustedPort);
    REQUIRE_WEB_PEER(kSquidAuthPort);
    ProxySettings.mode = pmManual;
    ProxySettings.host = u"localhost";
    ProxySettings.port = kSquidAuthPort;
    ProxySettings.login = u"orvelle";
    ProxySettings.password = u"orvelle-pass";
    const std::u16string url = u"https://" + text::fromUtf8(host) + u":18444/small.txt";
    HttpGet(run, url, false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(window.messages.at(0));
    EXPECT_EQ(run.stream, "Orvelle test file\n");

    const std::string bundle = testpeers::servicesFolder() + "/web/tls/untrusted-ca.crt";
    setenv("CURL_CA_BUNDLE", bundle.c_str(), 1);
    HttpGet(run, u"https://" + text::fromUtf8(host) + u":18443/small.txt", false, true);
    EXPECT_FALSE(run.RunOk);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_TRUE(startsWithAny(window.messages[0],
                              {u"Не вдалося отримати дані (4).", u"Не вдалося отримати дані (5)."}))
        << text::toUtf8(window.messages[0]);
    EXPECT_NE(window.messages[0].find(u"12175"), std::u16string::npos)
        << text::toUtf8(window.messages[0]);

    ProxySettings.login.clear();
    window.messages.clear();
    run.RunOk = true;
    HttpGet(run, url, false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 407"});
}

TEST_F(EnvironmentProxyTest, PrivateCaNamedByCurlCaBundleIsTrusted) {
    REQUIRE_WEB_PEER(kHttpsUntrustedPort);
    const std::string bundle = testpeers::servicesFolder() + "/web/tls/untrusted-ca.crt";
    setenv("CURL_CA_BUNDLE", bundle.c_str(), 1);
    HttpGet(run, u"https://127.0.0.1:18443/small.txt", false, true);
    ASSERT_TRUE(run.RunOk) << text::toUtf8(window.messages.at(0));
    EXPECT_EQ(run.stream, "Orvelle test file\n");
}

}  // namespace
}  // namespace testnet

#include "platform/linux/HttpParts.h"

namespace testnet {
namespace {

TEST(LinuxProxyList, ChoosesTheEntryForTheSchemeElseTheGenericOne) {
    using platform::linux_http::chooseProxy;
    EXPECT_EQ(chooseProxy("p:1", "", false, "h"), "http://p:1");
    EXPECT_EQ(chooseProxy("http=a:1;https=b:2", "", true, "h"), "http://b:2");
    EXPECT_EQ(chooseProxy("http=a:1;https=b:2", "", false, "h"), "http://a:1");
    EXPECT_EQ(chooseProxy("https=b:2", "", false, "h"), "");
    EXPECT_EQ(chooseProxy("http://c:3/", "", false, "h"), "http://c:3");
}

TEST(LinuxProxyList, BypassListMatchesLocalNamesWildcardsAndSuffixes) {
    using platform::linux_http::chooseProxy;
    EXPECT_EQ(chooseProxy("p:1", "<local>", false, "intranet"), "");
    EXPECT_EQ(chooseProxy("p:1", "<local>", false, "intranet.lan"), "http://p:1");
    EXPECT_EQ(chooseProxy("p:1", "*.lan", false, "Box.LAN"), "");
    EXPECT_EQ(chooseProxy("p:1", "example.com", false, "www.example.com"), "");
    EXPECT_EQ(chooseProxy("p:1", "example.com", false, "badexample.com"), "http://p:1");
    EXPECT_EQ(chooseProxy("p:1", "10.*;192.168.*", false, "192.168.1.5"), "");
}

TEST(LinuxProxyList, PathEscapingMatchesWinHttp) {
    using platform::linux_http::escapePath;
    EXPECT_EQ(escapePath("/a b.txt?x=\"1\""), "/a%20b.txt?x=%221%22");
    EXPECT_EQ(escapePath("/%41/ok?q=1&r=2"), "/%41/ok?q=1&r=2");
    EXPECT_EQ(escapePath(""), "/");
    EXPECT_EQ(escapePath("/\xD1\x84"), "/%D1%84");
}

}  // namespace
}  // namespace testnet

#include "ProxyLoginFixture.h"

namespace testnet {
namespace {

// The user's own logon on Linux is a Kerberos ticket: the realm and the ticket the service made.
TEST_F(ProxyLoginTest, NegotiateProxyGetsTheUsersTicketWithoutALoginInManualAndSystemModes) {
    REQUIRE_OFFICE_PROXY(kNegotiateProxyPort);
    const std::string kdc = testpeers::servicesFolder() + "/office-proxies/kdc";
    setenv("KRB5_CONFIG", (kdc + "/krb5.conf").c_str(), 1);
    setenv("KRB5CCNAME", ("FILE:" + kdc + "/ccache").c_str(), 1);
    setenv("http_proxy", "http://localhost:18432", 1);
    for (const std::int32_t mode : {pmManual, pmSystem}) {
        manualProxy(kNegotiateProxyPort, u"", u"");
        ProxySettings.mode = mode;
        SCOPED_TRACE(mode);
        fetchNamingUser("negotiate", "negotiate", " orvelle@ORVELLE.TEST ");
    }
    for (const char* name : {"KRB5_CONFIG", "KRB5CCNAME", "http_proxy"}) unsetenv(name);
}

// As a proxy in a Windows domain: Negotiate and NTLM offered, a login given; GSS-API takes no
// password, so the login goes as NTLM. (Wine's Negotiate, unlike Windows', does not fall back
// to NTLM when Kerberos fails, so this runs on the Linux back end only.)
TEST_F(ProxyLoginTest, DomainProxyAcceptsTheLogin) {
    REQUIRE_OFFICE_PROXY(kNegotiateProxyPort);
    manualProxy(kNegotiateProxyPort, u"orvelle", u"orvelle-pass");
    fetchNamingUser("negotiate", "domain", "orvelle");
}

// Wine's WinHTTP answers no Digest challenge, and fails (12157) when a proxy answers its CONNECT
// with a 407, so these run on the Linux back end only.
// The machine's name, as loopback goes direct; the proxy's log shows the tunnel it opened.
TEST_F(ProxyLoginTest, HttpsTunnelThroughTheDigestAndNtlmProxies) {
    REQUIRE_OFFICE_PROXY(kDigestProxyPort);
    REQUIRE_OFFICE_PROXY(kNtlmProxyPort);
    REQUIRE_WEB_PEER(kHttpsTrustedPort);
    REQUIRE_LOOPBACK_NAME(host);
    token_ = "CONNECT " + host + ":18444 ";
    for (const auto& [port, proxy] :
         {std::pair{kDigestProxyPort, "digest"}, {kNtlmProxyPort, "ntlm"}}) {
        manualProxy(port, u"orvelle", u"orvelle-pass");
        const std::size_t before = logLength(proxy);
        run.RunOk = true;
        run.stream.clear();
        HttpGet(run, u"https://" + text::fromUtf8(host) + u":18444/small.txt", false, true);
        ASSERT_TRUE(run.RunOk) << proxy << ": " << text::toUtf8(firstMessage());
        EXPECT_EQ(run.stream, "Orvelle test file\n");
        const auto lines = logLines(proxy, nullptr, before);
        ASSERT_FALSE(lines.empty()) << proxy << ": no tunnel in its log";
        EXPECT_NE(lines.back().find("TCP_TUNNEL/200 "), std::string::npos) << joined(lines);
        EXPECT_NE(lines.back().find("orvelle"), std::string::npos) << joined(lines);
    }
}

TEST_F(ProxyLoginTest, DigestProxyAcceptsTheLoginInDigest) {
    REQUIRE_OFFICE_PROXY(kDigestProxyPort);
    manualProxy(kDigestProxyPort, u"orvelle", u"orvelle-pass");
    fetchNamingUser("digest", "digest", " orvelle ");
}

}  // namespace
}  // namespace testnet
