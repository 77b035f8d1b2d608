// Proxies that want a Digest, NTLM or Basic login (scripts/services.d/office-proxies), through
// the real back end of this build; squid's access log shows who fetched what, and how often.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"

namespace testnet {

constexpr std::uint16_t kDigestProxyPort = 18430;
constexpr std::uint16_t kNtlmProxyPort = 18431;
constexpr std::uint16_t kNegotiateProxyPort = 18432;
constexpr std::uint16_t kBasicProxyPort = 18433;

#define REQUIRE_OFFICE_PROXY(port)                  \
    REQUIRE_PEER(::testnet::loopbackPortOpen(port), \
                 "office-proxies service not running on port " << port)

class ProxyLoginTest : public NativeHttpTest {
  protected:
    void SetUp() override {
        NativeHttpTest::SetUp();
        REQUIRE_WEB_PEER(kNginxPort);
    }

    // A URL that no earlier run asked for, so the log lines that name it are this test's.
    std::u16string freshUrl(const char* label) {
        token_ = std::string(label) + "-" +
                 std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
        return u"http://" + text::fromUtf8(loopbackHostName()) + u":18480/small.txt?" +
               text::fromUtf8(token_);
    }

    void manualProxy(std::uint16_t port, const std::u16string& login,
                     const std::u16string& password) {
        ProxySettings.mode = pmManual;
        // Not the target's name: see RealPeersTest.
        ProxySettings.host = u"localhost";
        ProxySettings.port = port;
        ProxySettings.login = login;
        ProxySettings.password = password;
    }

    // The proxy's log lines for the fresh URL. squid writes a line when it has answered, which
    // may be just after the answer arrived, so this waits for the last exchange's line: one that
    // is not a 407, or one that holds `lastHolds`.
    // Only lines after the first `skip` count (see logLength).
    std::vector<std::string> logLines(const char* proxy, const char* lastHolds = nullptr,
                                      std::size_t skip = 0) {
        std::vector<std::string> lines;
        for (int round = 0; round < 100; ++round) {
            lines.clear();
            std::ifstream log(logPath(proxy));
            std::size_t number = 0;
            for (std::string line; std::getline(log, line);)
                if (++number > skip && line.find(token_) != std::string::npos)
                    lines.push_back(line);
            if (!lines.empty() && (lastHolds ? lines.back().find(lastHolds) != std::string::npos
                                             : lines.back().find("/407 ") == std::string::npos))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return lines;
    }

    std::size_t logLength(const char* proxy) {
        std::ifstream log(logPath(proxy));
        std::size_t number = 0;
        for (std::string line; std::getline(log, line);) ++number;
        return number;
    }

    std::string logPath(const char* proxy) {
        return testpeers::servicesFolder() + "/office-proxies/" + proxy + "/access.log";
    }

    std::string joined(const std::vector<std::string>& lines) {
        std::string out;
        for (const auto& line : lines) out += line + "\n";
        return out;
    }

    // Fetches a fresh URL through the proxy set: the file arrives whole and the proxy's log
    // names the user.
    void fetchNamingUser(const char* proxy, const char* label, const char* user) {
        run.RunOk = true;
        HttpGet(run, freshUrl(label), false, true);
        ASSERT_TRUE(run.RunOk) << text::toUtf8(firstMessage());
        EXPECT_EQ(run.stream, "Orvelle test file\n");
        const auto lines = logLines(proxy);
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find("TCP_MISS/200 "), std::string::npos) << joined(lines);
        EXPECT_NE(lines.back().find(user), std::string::npos) << joined(lines);
    }

    std::u16string firstMessage() {
        return window.messages.empty() ? u"" : window.messages.front();
    }

    std::string token_;
};

}  // namespace testnet
