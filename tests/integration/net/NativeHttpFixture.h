// Integration tests run the engine over the real back end of this build (libcurl or WinHTTP);
// a forwarding seam may shorten the receive time-out so that a stall ends within a test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeRunWindow.h"
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
    bool sendRequest(platform::HttpHandle r, const std::u16string& h) override {
        return real_.sendRequest(r, h);
    }
    bool receiveResponse(platform::HttpHandle r) override { return real_.receiveResponse(r); }
    bool queryStatusCode(platform::HttpHandle r, std::uint32_t& s) override {
        return real_.queryStatusCode(r, s);
    }
    bool queryContentLength(platform::HttpHandle r, std::uint32_t& l) override {
        return real_.queryContentLength(r, l);
    }
    bool queryHeader(platform::HttpHandle r, platform::HttpHeader h, std::u16string& v) override {
        return real_.queryHeader(r, h, v);
    }
    bool queryDataAvailable(platform::HttpHandle r, std::uint32_t& b) override {
        return real_.queryDataAvailable(r, b);
    }
    bool readData(platform::HttpHandle r, void* b, std::uint32_t s, std::uint32_t& n) override {
        return real_.readData(r, b, s, n);
    }
    bool closeHandle(platform::HttpHandle h) override { return real_.closeHandle(h); }
    int lastError() override { return real_.lastError(); }

  private:
    platform::Http& real_;
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

}  // namespace testnet
