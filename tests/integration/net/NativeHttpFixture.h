// Integration tests run the engine over the real back end of this build (libcurl or WinHTTP);
// a forwarding seam may shorten the receive time-out so that a stall ends within a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeRunWindow.h"
#include "TestSockets.h"
#include "platform/Http.h"
#include "platform/Registry.h"
#include "settings/ProxySettings.h"

namespace testnet {

// Passes every call to the real back end, except that the receive time-out it is given is
// replaced when receiveMs is set.
class ForwardingHttp final : public platform::Http {
  public:
    explicit ForwardingHttp(platform::Http& real) : real_(real) {}
    int receiveMs = 0;
    // When set, the first request's body breaks (12030) once this many bytes were read, as a
    // cut connection would.
    std::uint64_t breakFirstBodyAfter = 0;
    std::vector<std::u16string> sentHeaders;

    bool crackUrl(const std::u16string& u, platform::UrlParts& p) override {
        return real_.crackUrl(u, p);
    }
    bool currentUserProxyConfig(platform::UserProxyConfig& c) override {
        return real_.currentUserProxyConfig(c);
    }
    bool proxyForUrl(platform::HttpHandle s, const std::u16string& u,
                     const platform::AutoProxyOptions& o, platform::ProxyForUrl& r) override {
        return real_.proxyForUrl(s, u, o, r);
    }
    platform::HttpHandle openSession(const std::u16string& a, std::uint32_t t,
                                     const std::u16string& p, const std::u16string& b,
                                     std::uint32_t f) override {
        return real_.openSession(a, t, p, b, f);
    }
    bool setTimeouts(platform::HttpHandle s, int r, int c, int se, int re) override {
        return real_.setTimeouts(s, r, c, se, receiveMs > 0 ? receiveMs : re);
    }
    platform::HttpHandle connect(platform::HttpHandle s, const std::u16string& h,
                                 std::uint16_t p) override {
        return real_.connect(s, h, p);
    }
    platform::HttpHandle openRequest(platform::HttpHandle c, const std::u16string& v,
                                     const std::u16string& p, std::uint32_t f) override {
        return real_.openRequest(c, v, p, f);
    }
    bool setCredentials(platform::HttpHandle r, std::uint32_t t, std::uint32_t s,
                        const std::u16string& u, const std::u16string& p) override {
        return real_.setCredentials(r, t, s, u, p);
    }
    bool setLogonCredentials(platform::HttpHandle r, std::uint32_t s) override {
        return real_.setLogonCredentials(r, s);
    }
    bool queryProxyAuthSchemes(platform::HttpHandle r, std::uint32_t& s) override {
        return real_.queryProxyAuthSchemes(r, s);
    }
    bool sendRequest(platform::HttpHandle r, const std::u16string& h) override {
        sentHeaders.push_back(h);
        if (!firstRequest_) firstRequest_ = r;
        return real_.sendRequest(r, h);
    }
    bool receiveResponse(platform::HttpHandle r) override { return real_.receiveResponse(r); }
    bool queryStatusCode(platform::HttpHandle r, std::uint32_t& s) override {
        return real_.queryStatusCode(r, s);
    }
    bool queryHeader(platform::HttpHandle r, platform::HttpHeader h, std::u16string& v) override {
        return real_.queryHeader(r, h, v);
    }
    bool queryDataAvailable(platform::HttpHandle r, std::uint32_t& b) override {
        if (breaking(r)) return broken_ = true, false;
        return real_.queryDataAvailable(r, b);
    }
    bool readData(platform::HttpHandle r, void* b, std::uint32_t s, std::uint32_t& n) override {
        if (breaking(r)) return broken_ = true, false;
        const bool ok = real_.readData(r, b, s, n);
        if (ok && r == firstRequest_ && sentHeaders.size() == 1) firstBodyRead_ += n;
        return ok;
    }
    bool closeHandle(platform::HttpHandle h) override { return real_.closeHandle(h); }
    int notEnoughMemoryError() override { return real_.notEnoughMemoryError(); }
    void setWaitHook(WaitHook hook) override { real_.setWaitHook(std::move(hook)); }
    bool resolveHost(const std::u16string& host, std::vector<std::u16string>& addresses) override {
        return real_.resolveHost(host, addresses);
    }
    int lastError() override {
        if (broken_) {
            broken_ = false;
            return platform::http_error::kConnectionError;
        }
        return real_.lastError();
    }

  private:
    bool breaking(platform::HttpHandle r) const {
        return breakFirstBodyAfter > 0 && r == firstRequest_ && sentHeaders.size() == 1 &&
               firstBodyRead_ >= breakFirstBodyAfter;
    }

    platform::Http& real_;
    platform::HttpHandle firstRequest_ = 0;
    std::uint64_t firstBodyRead_ = 0;
    bool broken_ = false;
};

class NativeHttpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = platform::install<platform::Http>(&http);
        ProxySettings = TProxySettings{};
        ProxySettings.mode = pmNone;
        StopRequested = false;
    }
    void TearDown() override {
        platform::install<platform::Http>(previous_);
        ProxySettings = TProxySettings{};
    }

    std::unique_ptr<platform::Http> real = platform::createNativeHttp();
    ForwardingHttp http{*real};
    fakes::FakeRunWindow window;
    DownloadRun run{window};

  private:
    platform::Http* previous_ = nullptr;
};

// Deterministic content: every byte depends on its position and the seed.
inline std::string pattern(std::size_t size, unsigned seed = 1) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * 31 + (i >> 8) * seed + seed) & 0xFF);
    return out;
}

inline bool startsWithAny(const std::u16string& text,
                          std::initializer_list<const char16_t*> prefixes) {
    for (const char16_t* p : prefixes)
        if (text.rfind(p, 0) == 0) return true;
    return false;
}

// Real peers that scripts/services.d/web starts. A test skips when its peer is absent, unless
// ORVELLE_REQUIRE_SERVICES is set (as in CI), where that is a failure.
constexpr std::uint16_t kNginxPort = 18480;
constexpr std::uint16_t kHttpsUntrustedPort = 18443;
constexpr std::uint16_t kHttpsTrustedPort = 18444;
constexpr std::uint16_t kSquidAuthPort = 18428;
constexpr std::uint16_t kSquidOpenPort = 18429;

#define REQUIRE_WEB_PEER(port)                                                                   \
    do {                                                                                         \
        if (!::testnet::loopbackPortOpen(port)) {                                                \
            if (std::getenv("ORVELLE_REQUIRE_SERVICES"))                                         \
                FAIL() << "web service (scripts/services.d/web) not running on port " << port;   \
            GTEST_SKIP() << "web service (scripts/services.d/web) not running on port " << port; \
        }                                                                                        \
    } while (false)

// The peers through a proxy: loopback targets are always reached directly, so these cases name
// the machine by its host name, which resolves to 127.0.0.1 here (the proxy resolves it too).
#define REQUIRE_LOOPBACK_NAME(variable)                                               \
    const std::string variable = ::testnet::loopbackHostName();                       \
    do {                                                                              \
        if (variable.empty()) {                                                       \
            if (std::getenv("ORVELLE_REQUIRE_SERVICES"))                              \
                FAIL() << "this machine's host name does not resolve to 127.0.0.1";   \
            GTEST_SKIP() << "this machine's host name does not resolve to 127.0.0.1"; \
        }                                                                             \
    } while (false)

// How many lines squid's access log holds now, and the lines that came after `from`.
inline std::string squidAccessLog() {
    const char* services = std::getenv("ORVELLE_SERVICES_DIR");
    return std::string(services ? services : ORVELLE_SOURCE_DIR "/build/services") +
           "/web/squid/access.log";
}
inline std::vector<std::string> squidLinesAfter(std::size_t from) {
    std::vector<std::string> lines;
    std::ifstream in(squidAccessLog());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (from >= lines.size()) return {};
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end());
}

// The content of large.bin: 16-byte lines, each its own offset in decimal.
inline std::string offsetLines(std::size_t size) {
    std::string out;
    out.reserve(size);
    char line[32];
    for (std::size_t offset = 0; offset < size; offset += 16) {
        std::snprintf(line, sizeof line, "%015llu\n", static_cast<unsigned long long>(offset));
        out.append(line, 16);
    }
    return out;
}

}  // namespace testnet
