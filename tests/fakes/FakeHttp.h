// A recording stand-in for the HTTP seam: every call is logged as one line, the responses are
// scripted one per request (status, headers, body chunks, the step that fails; a request sent
// again takes the next one), and the
// handles still open are known, so tests can assert exact sequences and that all were closed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Text.h"
#include "platform/Http.h"

namespace fakes {

struct FakeResponse {
    enum class FailAt { nothing, connect, openRequest, send, receive, status, dataAvailable, read };
    FailAt failAt = FailAt::nothing;
    int error = platform::http_error::kConnectionError;
    std::size_t chunksBeforeFailure = 0;  // for dataAvailable / read

    std::uint32_t status = 200;
    std::optional<std::uint32_t> contentLength;  // read as the Content-Length header's text
    std::map<platform::HttpHeader, std::u16string> headers;
    std::vector<std::string> chunks;  // offered one by one, then 0 bytes available
    std::uint32_t proxySchemes = 0;   // what a 407 offers (kAuthScheme* bits)
};

class FakeHttp final : public platform::Http {
  public:
    // Scripted answers to the calls that are not per request.
    bool crackFails = false;
    int crackError = platform::http_error::kUnrecognizedScheme;
    std::optional<platform::UserProxyConfig> userConfig = platform::UserProxyConfig{};
    std::optional<platform::ProxyForUrl> discovered;  // nullopt: discovery fails
    bool sessionFails = false;
    bool discoverySessionFails = false;
    bool timeoutsFail = false;
    // The schemes for which the logged-on user's credentials exist.
    std::uint32_t logonSchemes = platform::kAuthSchemeNegotiate | platform::kAuthSchemeNtlm;
    std::deque<FakeResponse> responses;

    std::vector<std::string> calls;
    std::vector<std::u16string> sentHeaders;
    std::set<platform::HttpHandle> openHandles;

    bool crackUrl(const std::u16string& url, platform::UrlParts& parts) override {
        log(join("crackUrl(", text::toUtf8(url), ")"));
        if (crackFails) return fail(crackError);
        const auto scheme = url.find(u"://");
        const std::u16string name = url.substr(0, scheme);
        parts.scheme = name == u"https"  ? platform::UrlScheme::https
                       : name == u"http" ? platform::UrlScheme::http
                                         : platform::UrlScheme::other;
        const auto hostStart = scheme + 3;
        auto pathStart = url.find_first_of(u"/?", hostStart);
        if (pathStart == std::u16string::npos) pathStart = url.size();
        std::u16string authority = url.substr(hostStart, pathStart - hostStart);
        parts.port = parts.scheme == platform::UrlScheme::https ? 443 : 80;
        const auto bracket = authority.find(u']');  // an IPv6 address holds colons itself
        if (const auto colon = authority.find(u':', bracket == std::u16string::npos ? 0 : bracket);
            colon != std::u16string::npos) {
            std::int32_t port = 0;
            text::parseInt32(authority.substr(colon + 1), port);
            parts.port = static_cast<std::uint16_t>(port);
            authority.resize(colon);
        }
        parts.host = authority;
        parts.path = url.substr(pathStart);
        return true;
    }

    bool currentUserProxyConfig(platform::UserProxyConfig& config) override {
        log(join("currentUserProxyConfig"));
        if (!userConfig) return fail(5);
        config = *userConfig;
        return true;
    }

    bool proxyForUrl(platform::HttpHandle session, const std::u16string& url,
                     const platform::AutoProxyOptions& options,
                     platform::ProxyForUrl& result) override {
        log(join("proxyForUrl(", name(session), ",", text::toUtf8(url), ",",
                 std::to_string(options.flags), ",", std::to_string(options.autoDetectFlags), ",",
                 text::toUtf8(options.autoConfigUrl), ",",
                 (options.autoLogonIfChallenged ? "logon" : "nologon"), ")"));
        if (!discovered) return fail(platform::http_error::kAutoProxyServiceError);
        result = *discovered;
        return true;
    }

    platform::HttpHandle openSession(const std::u16string& agent, std::uint32_t accessType,
                                     const std::u16string& proxy, const std::u16string& bypass,
                                     std::uint32_t flags) override {
        log(join("openSession(", text::toUtf8(agent), ",", std::to_string(accessType), ",",
                 text::toUtf8(proxy), ",", text::toUtf8(bypass), ",", std::to_string(flags), ")"));
        const bool discovery = agent == u"WinHTTP AutoProxy/1.0";
        if (discovery ? discoverySessionFails : sessionFails) return fail(8), 0;
        return open();
    }

    bool setTimeouts(platform::HttpHandle session, int resolveMs, int connectMs, int sendMs,
                     int receiveMs) override {
        log(join("setTimeouts(", name(session), ",", std::to_string(resolveMs), ",",
                 std::to_string(connectMs), ",", std::to_string(sendMs), ",",
                 std::to_string(receiveMs), ")"));
        if (timeoutsFail) return fail(87);
        return true;
    }

    platform::HttpHandle connect(platform::HttpHandle session, const std::u16string& host,
                                 std::uint16_t port) override {
        log(join("connect(", name(session), ",", text::toUtf8(host), ",", std::to_string(port),
                 ")"));
        if (!responses.empty() && responses.front().failAt == FakeResponse::FailAt::connect) {
            const int error = responses.front().error;
            responses.pop_front();
            return fail(error), 0;
        }
        return open();
    }

    platform::HttpHandle openRequest(platform::HttpHandle connection, const std::u16string& verb,
                                     const std::u16string& path, std::uint32_t flags) override {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", flags);
        log(join("openRequest(", name(connection), ",", text::toUtf8(verb), ",", text::toUtf8(path),
                 ",", hex, ")"));
        FakeResponse response;
        if (!responses.empty()) {
            response = responses.front();
            responses.pop_front();
        }
        if (response.failAt == FakeResponse::FailAt::openRequest) return fail(response.error), 0;
        const auto handle = open();
        requests_[handle] = Exchange{response, 0, 0, false};
        return handle;
    }

    bool setCredentials(platform::HttpHandle request, std::uint32_t targets, std::uint32_t scheme,
                        const std::u16string& user, const std::u16string& password) override {
        log(join("setCredentials(", name(request), ",", std::to_string(targets), ",",
                 std::to_string(scheme), ",", text::toUtf8(user), ",", text::toUtf8(password),
                 ")"));
        return true;
    }

    bool setLogonCredentials(platform::HttpHandle request, std::uint32_t scheme) override {
        log(join("setLogonCredentials(", name(request), ",", std::to_string(scheme), ")"));
        return (logonSchemes & scheme) != 0 ? true : fail(platform::http_error::kInvalidParameter);
    }

    bool queryProxyAuthSchemes(platform::HttpHandle request, std::uint32_t& schemes) override {
        log(join("queryProxyAuthSchemes(", name(request), ")"));
        schemes = requests_[request].response.proxySchemes;
        return schemes != 0 ? true : fail(platform::http_error::kHeaderNotFound);
    }

    bool sendRequest(platform::HttpHandle request, const std::u16string& headers) override {
        log(join("sendRequest(", name(request), ",", text::toUtf8(headers), ")"));
        sentHeaders.push_back(headers);
        auto& exchange = requests_[request];
        if (exchange.sent) {
            exchange = Exchange{};
            if (!responses.empty()) {
                exchange.response = responses.front();
                responses.pop_front();
            }
        }
        exchange.sent = true;
        return step(request, FakeResponse::FailAt::send);
    }

    bool receiveResponse(platform::HttpHandle request) override {
        log(join("receiveResponse(", name(request), ")"));
        return step(request, FakeResponse::FailAt::receive);
    }

    bool queryStatusCode(platform::HttpHandle request, std::uint32_t& status) override {
        log(join("queryStatusCode(", name(request), ")"));
        if (!step(request, FakeResponse::FailAt::status)) return false;
        status = requests_[request].response.status;
        return true;
    }

    bool queryHeader(platform::HttpHandle request, platform::HttpHeader header,
                     std::u16string& value) override {
        static const char* const names[] = {"Accept-Ranges", "Content-Range", "ETag",
                                            "Last-Modified", "Content-Length"};
        log(join("queryHeader(", name(request), ",", names[static_cast<int>(header)], ")"));
        const auto& response = requests_[request].response;
        const auto& headers = response.headers;
        const auto it = headers.find(header);
        if (it == headers.end() && header == platform::HttpHeader::ContentLength &&
            response.contentLength) {
            value = text::fromUtf8(std::to_string(*response.contentLength));
            return true;
        }
        if (it == headers.end()) return fail(platform::http_error::kHeaderNotFound);
        value = it->second;
        return true;
    }

    bool queryDataAvailable(platform::HttpHandle request, std::uint32_t& bytes) override {
        log(join("queryDataAvailable(", name(request), ")"));
        auto& exchange = requests_[request];
        if (exchange.response.failAt == FakeResponse::FailAt::dataAvailable &&
            exchange.chunk == exchange.response.chunksBeforeFailure)
            return fail(exchange.response.error);
        bytes = exchange.chunk < exchange.response.chunks.size()
                    ? static_cast<std::uint32_t>(exchange.response.chunks[exchange.chunk].size() -
                                                 exchange.offset)
                    : 0;
        return true;
    }

    bool readData(platform::HttpHandle request, void* buffer, std::uint32_t size,
                  std::uint32_t& bytesRead) override {
        log(join("readData(", name(request), ",", std::to_string(size), ")"));
        auto& exchange = requests_[request];
        if (exchange.response.failAt == FakeResponse::FailAt::read &&
            exchange.chunk == exchange.response.chunksBeforeFailure)
            return fail(exchange.response.error);
        bytesRead = 0;
        if (exchange.chunk >= exchange.response.chunks.size()) return true;
        const std::string& chunk = exchange.response.chunks[exchange.chunk];
        const std::size_t n = std::min<std::size_t>(size, chunk.size() - exchange.offset);
        std::memcpy(buffer, chunk.data() + exchange.offset, n);
        exchange.offset += n;
        if (exchange.offset == chunk.size()) {
            ++exchange.chunk;
            exchange.offset = 0;
        }
        bytesRead = static_cast<std::uint32_t>(n);
        if (onRead) onRead();
        return true;
    }

    bool closeHandle(platform::HttpHandle handle) override {
        log(join("close(", name(handle), ")"));
        return openHandles.erase(handle) == 1 ? true : fail(6);
    }

    int lastError() override { return lastError_; }

    // Called after each successful read (a test can press stop here).
    std::function<void()> onRead;

    // The calls whose text starts with prefix.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& call : calls)
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
        return out;
    }

  private:
    struct Exchange {
        FakeResponse response;
        std::size_t chunk = 0;
        std::size_t offset = 0;
        bool sent = false;
    };

    void log(std::string call) { calls.push_back(std::move(call)); }
    // Appends instead of operator+, which GCC 12 at -O3 misreads as overlapping copies.
    template <class... Parts>
    static std::string join(const Parts&... parts) {
        std::string out;
        (out.append(parts), ...);
        return out;
    }
    bool fail(int error) {
        lastError_ = error;
        return false;
    }
    platform::HttpHandle open() {
        const auto handle = ++next_;
        openHandles.insert(handle);
        return handle;
    }
    static std::string name(platform::HttpHandle handle) {
        return join("#", std::to_string(handle));
    }
    bool step(platform::HttpHandle request, FakeResponse::FailAt at) {
        const auto& response = requests_[request].response;
        if (response.failAt == at) return fail(response.error);
        return true;
    }

    platform::HttpHandle next_ = 0;
    int lastError_ = 0;
    std::map<platform::HttpHandle, Exchange> requests_;
};

}  // namespace fakes
