// The HTTP client the transfer engine drives: URL splitting, the user's proxy configuration and
// proxy discovery, and a session/connection/request with a pull-model body (how many bytes are
// ready, then read them). Each call returns when its step is done, but no call blocks the
// caller's window: while one waits on the network it calls the wait hook at least every 100 ms.
// Numbers and error codes are WinHTTP's on both back ends, so the engine and its messages are
// the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Error numbers the back ends report through Http::lastError (WinHTTP's own).
namespace http_error {
constexpr int kTimeout = 12002;
constexpr int kInvalidUrl = 12005;
constexpr int kUnrecognizedScheme = 12006;
constexpr int kNameNotResolved = 12007;
constexpr int kCannotConnect = 12029;
constexpr int kConnectionError = 12030;
constexpr int kHeaderNotFound = 12150;
constexpr int kInvalidServerResponse = 12152;
constexpr int kRedirectFailed = 12156;
constexpr int kSecureChannelError = 12157;
constexpr int kSecureFailure = 12175;
constexpr int kAutoProxyServiceError = 12178;
constexpr int kBadAutoProxyScript = 12166;
constexpr int kUnableToDownloadScript = 12167;
constexpr int kIncorrectHandleState = 12019;
constexpr int kOperationCancelled = 12017;  // the wait hook abandoned the wait
constexpr int kInvalidParameter = 87;
constexpr int kNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY
}  // namespace http_error

constexpr std::uint32_t kAccessTypeNoProxy = 1;     // WINHTTP_ACCESS_TYPE_NO_PROXY
constexpr std::uint32_t kAccessTypeNamedProxy = 3;  // WINHTTP_ACCESS_TYPE_NAMED_PROXY
constexpr std::uint32_t kFlagSecure = 0x00800000;   // WINHTTP_FLAG_SECURE
constexpr std::uint32_t kAutoProxyAutoDetect = 1;   // WINHTTP_AUTOPROXY_AUTO_DETECT
constexpr std::uint32_t kAutoProxyConfigUrl = 2;    // WINHTTP_AUTOPROXY_CONFIG_URL
constexpr std::uint32_t kAutoDetectDhcpAndDns = 3;  // WINHTTP_AUTO_DETECT_TYPE_DHCP | _DNS_A
constexpr std::uint32_t kAuthTargetProxy = 1;       // WINHTTP_AUTH_TARGET_PROXY
constexpr std::uint32_t kAuthSchemeBasic = 1;       // WINHTTP_AUTH_SCHEME_BASIC
constexpr std::uint32_t kAuthSchemeNtlm = 2;        // WINHTTP_AUTH_SCHEME_NTLM
constexpr std::uint32_t kAuthSchemeDigest = 8;      // WINHTTP_AUTH_SCHEME_DIGEST
constexpr std::uint32_t kAuthSchemeNegotiate = 16;  // WINHTTP_AUTH_SCHEME_NEGOTIATE

enum class UrlScheme { http, https, other };

struct UrlParts {
    UrlScheme scheme = UrlScheme::other;
    std::u16string host;
    std::uint16_t port = 0;  // explicit, or the scheme's default
    std::u16string path;     // with the query string
};

// The current user's proxy configuration (absent texts are nullopt).
struct UserProxyConfig {
    bool autoDetect = false;
    std::optional<std::u16string> autoConfigUrl;
    std::optional<std::u16string> proxy;
    std::optional<std::u16string> proxyBypass;
};

struct AutoProxyOptions {
    std::uint32_t flags = 0;
    std::uint32_t autoDetectFlags = 0;
    std::u16string autoConfigUrl;
    bool autoLogonIfChallenged = false;
};

struct ProxyForUrl {
    std::uint32_t accessType = kAccessTypeNoProxy;
    std::optional<std::u16string> proxy;
    std::optional<std::u16string> proxyBypass;
};

// Response headers the engine reads as text. A header sent more than once reads as every
// occurrence in order, joined by ", " (so the engine sees repeated Content-Length values).
enum class HttpHeader { AcceptRanges, ContentRange, ETag, LastModified, ContentLength, Location };

// Session, connection and request handles; 0 is no handle. Every handle that an open call
// returns is released with closeHandle.
using HttpHandle = std::uintptr_t;

class Http {
  public:
    virtual ~Http() = default;

    // Splits a URL into scheme, host, port and path with query, without escaping anything.
    virtual bool crackUrl(const std::u16string& url, UrlParts& parts) = 0;
    virtual bool currentUserProxyConfig(UserProxyConfig& config) = 0;
    // The proxy for url by auto-detection and/or a configuration script, asked through a
    // session opened for that purpose.
    virtual bool proxyForUrl(HttpHandle session, const std::u16string& url,
                             const AutoProxyOptions& options, ProxyForUrl& result) = 0;

    // A synchronous session; an empty proxy or bypass text is not handed to the platform.
    virtual HttpHandle openSession(const std::u16string& agent, std::uint32_t accessType,
                                   const std::u16string& proxy, const std::u16string& bypass,
                                   std::uint32_t flags) = 0;
    virtual bool setTimeouts(HttpHandle session, int resolveMs, int connectMs, int sendMs,
                             int receiveMs) = 0;
    virtual HttpHandle connect(HttpHandle session, const std::u16string& host,
                               std::uint16_t port) = 0;
    // A GET-style request with the default HTTP version, no referrer and default accept types.
    // A redirect is never followed by the back end: it is the answer, for the engine to judge.
    virtual HttpHandle openRequest(HttpHandle connection, const std::u16string& verb,
                                   const std::u16string& path, std::uint32_t flags) = 0;
    virtual bool setCredentials(HttpHandle request, std::uint32_t authTargets,
                                std::uint32_t authScheme, const std::u16string& user,
                                const std::u16string& password) = 0;
    // The logged-on user's own credentials for the proxy (NTLM or Negotiate), where the
    // platform has them; fails where it has none for that scheme.
    virtual bool setLogonCredentials(HttpHandle request, std::uint32_t authScheme) = 0;
    // After a 407 answer: the schemes (kAuthScheme* bits) the proxy offers that this back end
    // can answer.
    virtual bool queryProxyAuthSchemes(HttpHandle request, std::uint32_t& schemes) = 0;
    // Extra headers are CR LF terminated lines; empty for none. Sending again on a request whose
    // answer came sends it anew, with the credentials set since.
    virtual bool sendRequest(HttpHandle request, const std::u16string& headers) = 0;
    virtual bool receiveResponse(HttpHandle request) = 0;
    virtual bool queryStatusCode(HttpHandle request, std::uint32_t& status) = 0;
    // Fails (kHeaderNotFound) when the response has no such header.
    virtual bool queryHeader(HttpHandle request, HttpHeader header, std::u16string& value) = 0;
    virtual bool queryDataAvailable(HttpHandle request, std::uint32_t& bytes) = 0;
    virtual bool readData(HttpHandle request, void* buffer, std::uint32_t size,
                          std::uint32_t& bytesRead) = 0;
    virtual bool closeHandle(HttpHandle handle) = 0;

    // The addresses (as text) that a host name resolves to, for judging where a redirect points;
    // waits as the other calls do. False when it does not resolve.
    virtual bool resolveHost(const std::u16string& host, std::vector<std::u16string>& addresses) {
        (void)host;
        addresses.clear();
        return false;
    }

    // The error of the last failed call on this thread.
    virtual int lastError() = 0;

    // The system's own number for "not enough memory", for a body too large to hold (the
    // number kNotEnoughMemory has on Windows means something else to errno).
    virtual int notEnoughMemoryError() { return http_error::kNotEnoughMemory; }

    // Called at least every 100 ms while a call waits on the network (proxy discovery, name
    // resolution, connecting, TLS, sending, the answer's head, body bytes), on the caller's
    // thread. Returning false abandons the wait at once: the call fails with kOperationCancelled
    // and its request can then only be closed. No hook (the default): calls simply wait.
    using WaitHook = std::function<bool()>;
    virtual void setWaitHook(WaitHook hook) { waitHook_ = std::move(hook); }

  protected:
    // For the back ends: whether a waiting call goes on waiting.
    bool keepWaiting() const { return !waitHook_ || waitHook_(); }

  private:
    WaitHook waitHook_;
};

std::unique_ptr<Http> createNativeHttp();

}  // namespace platform
