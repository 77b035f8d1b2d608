// Linux: libcurl's multi interface driven from the caller's thread, so that each WinHTTP-style
// step (send, receive the headers, how many bytes are ready, read them) runs the transfer just
// as far as that step needs, in short waits between which the wait hook runs (curl resolves
// names on its own thread). Failures carry WinHTTP's error numbers.
#include "platform/Http.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "common/Text.h"
#include "platform/linux/HttpParts.h"

namespace platform {
namespace {

thread_local int lastHttpError = 0;

bool fail(int error) {
    lastHttpError = error;
    return false;
}

int mapCurlError(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return http_error::kNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return http_error::kCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return http_error::kTimeout;
        case CURLE_SSL_CONNECT_ERROR:
            return http_error::kSecureChannelError;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return http_error::kSecureFailure;
        case CURLE_TOO_MANY_REDIRECTS:
            return http_error::kRedirectFailed;
        case CURLE_WEIRD_SERVER_REPLY:
            return http_error::kInvalidServerResponse;
        case CURLE_URL_MALFORMAT:
            return http_error::kInvalidUrl;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return http_error::kUnrecognizedScheme;
        case CURLE_OUT_OF_MEMORY:
            return ENOMEM;
        case CURLE_ABORTED_BY_CALLBACK:
            return http_error::kOperationCancelled;
        default:
            return http_error::kConnectionError;
    }
}

using Clock = std::chrono::steady_clock;

// Unread body bytes kept before the transfer is paused: the engine reads as fast as bytes
// come, so this only bounds what one burst may hold.
constexpr std::size_t kPauseAbove = 2u << 20;
// The longest a wait goes without asking the wait hook.
constexpr int kWaitSliceMs = 50;

struct Object {
    virtual ~Object() = default;
};

struct Session : Object {
    std::string agent;
    std::uint32_t accessType = kAccessTypeNoProxy;
    std::string proxy;
    std::string bypass;
    int resolveMs = 0;
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
};

struct Connection : Object {
    Session* session = nullptr;
    std::string host;
    std::uint16_t port = 0;
};

struct Request : Object {
    Connection* connection = nullptr;
    Session settings;  // the session's values when the request was opened
    std::string host;
    std::uint16_t port = 0;
    std::string verb;
    std::string path;
    bool secure = false;
    std::string proxyUser, proxyPassword;
    std::uint32_t proxyScheme = 0;  // kAuthScheme*, 0: none

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    bool started = false;
    bool requestSent = false;  // connection (and tunnel, TLS) up, request on its way
    bool done = false;
    CURLcode result = CURLE_OK;
    bool paused = false;

    linux_http::ResponseHead head;  // of the response being received
    bool headersFinal = false;      // head complete and not a redirect that curl follows

    std::string body;
    std::size_t bodyRead = 0;
    Clock::time_point lastActivity = Clock::now();

    ~Request() override {
        if (easy) {
            if (multi) curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
        }
        if (multi) curl_multi_cleanup(multi);
        if (headerList) curl_slist_free_all(headerList);
    }

    std::size_t unread() const { return body.size() - bodyRead; }
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto& request = *static_cast<Request*>(user);
    const size_t length = size * count;
    request.lastActivity = Clock::now();
    switch (request.head.take(std::string_view(data, length))) {
        case linux_http::ResponseHead::Line::Status:
            request.headersFinal = false;
            break;
        case linux_http::ResponseHead::Line::End:
            // A 407 is not final while curl may still answer it: it is when the transfer ends.
            request.headersFinal = request.head.complete && request.head.status != 407;
            break;
        default:
            break;
    }
    return length;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto& request = *static_cast<Request*>(user);
    const size_t length = size * count;
    // The body of a proxy's refusal is never read; it could only fill memory.
    if (request.head.status == 407 && !request.headersFinal) return length;
    if (request.unread() >= kPauseAbove) {
        request.paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (request.bodyRead == request.body.size()) {
        request.body.clear();
        request.bodyRead = 0;
    }
    request.body.append(data, length);
    request.lastActivity = Clock::now();
    return length;
}

int onPrerequest(void* user, char*, char*, int, int) {
    static_cast<Request*>(user)->requestSent = true;
    return CURL_PREREQFUNC_OK;
}

class LinuxHttp final : public Http {
  public:
    LinuxHttp() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~LinuxHttp() override {
        objects_.clear();
        curl_global_cleanup();
    }

    bool crackUrl(const std::u16string& url, UrlParts& parts) override {
        int error = 0;
        if (!linux_http::crackUrl(url, parts, error)) return fail(error);
        return true;
    }

    bool currentUserProxyConfig(UserProxyConfig& config) override {
        config = linux_http::readUserProxyConfig();
        return true;
    }

    bool proxyForUrl(HttpHandle session, const std::u16string& url, const AutoProxyOptions& options,
                     ProxyForUrl& result) override {
        if (!find<Session>(session)) return fail(http_error::kInvalidParameter);
        // libproxy may fetch a script or search the network: it asks on a thread of its own, which
        // is left to finish by itself when the wait is abandoned.
        struct Question {
            std::u16string url;
            AutoProxyOptions options;
            ProxyForUrl result;
            int error = 0;
            bool found = false;
            std::atomic<bool> answered{false};
        };
        auto question = std::make_shared<Question>();
        question->url = url;
        question->options = options;
        std::thread([question] {
            question->found = linux_http::discoverProxy(question->url, question->options,
                                                        question->result, question->error);
            question->answered = true;
        }).detach();
        while (!question->answered) {
            if (!keepWaiting()) return fail(http_error::kOperationCancelled);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!question->found) return fail(question->error);
        result = question->result;
        return true;
    }

    HttpHandle openSession(const std::u16string& agent, std::uint32_t accessType,
                           const std::u16string& proxy, const std::u16string& bypass,
                           std::uint32_t) override {
        if (accessType == kAccessTypeNamedProxy && proxy.empty())
            return fail(http_error::kInvalidParameter), 0;
        auto session = std::make_unique<Session>();
        session->agent = text::toUtf8(agent);
        session->accessType = accessType;
        if (accessType == kAccessTypeNamedProxy) {
            session->proxy = text::toUtf8(proxy);
            session->bypass = text::toUtf8(bypass);
        }
        return add(std::move(session));
    }

    bool setTimeouts(HttpHandle handle, int resolveMs, int connectMs, int sendMs,
                     int receiveMs) override {
        auto* session = find<Session>(handle);
        if (!session) return fail(http_error::kInvalidParameter);
        if (resolveMs < -1 || connectMs < -1 || sendMs < -1 || receiveMs < -1)
            return fail(http_error::kInvalidParameter);
        session->resolveMs = resolveMs;
        session->connectMs = connectMs;
        session->sendMs = sendMs;
        session->receiveMs = receiveMs;
        return true;
    }

    HttpHandle connect(HttpHandle handle, const std::u16string& host, std::uint16_t port) override {
        auto* session = find<Session>(handle);
        if (!session) return fail(http_error::kInvalidParameter), 0;
        if (host.empty()) return fail(http_error::kInvalidUrl), 0;
        auto connection = std::make_unique<Connection>();
        connection->session = session;
        connection->host = text::toUtf8(host);
        connection->port = port == 0 ? 80 : port;
        return add(std::move(connection));
    }

    HttpHandle openRequest(HttpHandle handle, const std::u16string& verb,
                           const std::u16string& path, std::uint32_t flags) override {
        auto* connection = find<Connection>(handle);
        if (!connection) return fail(http_error::kInvalidParameter), 0;
        auto request = std::make_unique<Request>();
        request->connection = connection;
        request->settings = *connection->session;
        request->host = connection->host;
        request->port = connection->port;
        request->verb = verb.empty() ? "GET" : text::toUtf8(verb);
        request->path = linux_http::escapePath(text::toUtf8(path));
        request->secure = (flags & kFlagSecure) != 0;
        return add(std::move(request));
    }

    bool setCredentials(HttpHandle handle, std::uint32_t authTargets, std::uint32_t authScheme,
                        const std::u16string& user, const std::u16string& password) override {
        auto* request = find<Request>(handle);
        if (!request) return fail(http_error::kInvalidParameter);
        if (authTargets != kAuthTargetProxy || curlAuthScheme(authScheme) == CURLAUTH_NONE)
            return fail(http_error::kInvalidParameter);
        // GSS-API takes no password: with a login, a proxy that also offers NTLM gets NTLM,
        // which is what Negotiate falls back to on Windows.
        if (authScheme == kAuthSchemeNegotiate && (offeredSchemes(*request) & kAuthSchemeNtlm))
            authScheme = kAuthSchemeNtlm;
        request->proxyUser = text::toUtf8(user);
        request->proxyPassword = text::toUtf8(password);
        request->proxyScheme = authScheme;
        return true;
    }

    bool setLogonCredentials(HttpHandle handle, std::uint32_t authScheme) override {
        auto* request = find<Request>(handle);
        if (!request) return fail(http_error::kInvalidParameter);
        // The user's own credentials here are a Kerberos ticket, which only Negotiate (GSS-API)
        // uses; NTLM would need a domain member's winbind.
        if (authScheme != kAuthSchemeNegotiate) return fail(http_error::kInvalidParameter);
        request->proxyUser.clear();
        request->proxyPassword.clear();
        request->proxyScheme = authScheme;
        return true;
    }

    bool queryProxyAuthSchemes(HttpHandle handle, std::uint32_t& schemes) override {
        auto* request = find<Request>(handle);
        if (!request || !request->headersFinal) return fail(http_error::kIncorrectHandleState);
        schemes = request->head.status == 407 ? offeredSchemes(*request) : 0;
        if (schemes == 0) return fail(http_error::kHeaderNotFound);
        return true;
    }

    bool sendRequest(HttpHandle handle, const std::u16string& headers) override {
        auto* request = find<Request>(handle);
        if (!request) return fail(http_error::kIncorrectHandleState);
        if (request->started) {
            // Sent again once its answer came, as after a proxy's 407.
            if (!request->done && !request->headersFinal)
                return fail(http_error::kIncorrectHandleState);
            restart(*request);
        }
        if (!start(*request, text::toUtf8(headers))) return fail(ENOMEM);
        const int limit = sumLimits(request->settings.connectMs, request->settings.sendMs);
        if (!drive(
                *request, [request] { return request->requestSent; }, limit))
            return fail(http_error::kOperationCancelled);
        if (request->requestSent) return true;
        if (request->done && proxyRefusedTunnel(*request)) return true;
        return finishFailure(*request);
    }

    bool receiveResponse(HttpHandle handle) override {
        auto* request = find<Request>(handle);
        if (!request || !request->started) return fail(http_error::kIncorrectHandleState);
        if (!drive(
                *request, [request] { return request->headersFinal; }, request->settings.receiveMs))
            return fail(http_error::kOperationCancelled);
        if (request->headersFinal) return true;
        // A redirect curl could not follow is the final answer, as WinHTTP hands it back.
        if (request->done && request->head.complete) {
            request->headersFinal = true;
            return true;
        }
        if (request->done && proxyRefusedTunnel(*request)) return true;
        return finishFailure(*request);
    }

    bool queryStatusCode(HttpHandle handle, std::uint32_t& status) override {
        auto* request = find<Request>(handle);
        if (!request || !request->headersFinal) return fail(http_error::kIncorrectHandleState);
        status = request->head.status;
        return true;
    }

    bool queryHeader(HttpHandle handle, HttpHeader header, std::u16string& value) override {
        auto* request = find<Request>(handle);
        if (!request || !request->headersFinal) return fail(http_error::kIncorrectHandleState);
        const char* name = header == HttpHeader::AcceptRanges    ? "accept-ranges"
                           : header == HttpHeader::ContentRange  ? "content-range"
                           : header == HttpHeader::ETag          ? "etag"
                           : header == HttpHeader::ContentLength ? "content-length"
                           : header == HttpHeader::Location      ? "location"
                                                                 : "last-modified";
        const auto it = request->head.fields.find(name);
        if (it == request->head.fields.end()) return fail(http_error::kHeaderNotFound);
        value = text::fromUtf8(it->second);
        return true;
    }

    bool queryDataAvailable(HttpHandle handle, std::uint32_t& bytes) override {
        auto* request = find<Request>(handle);
        if (!request || !request->headersFinal) return fail(http_error::kIncorrectHandleState);
        if (!waitForBody(*request)) return false;
        bytes = static_cast<std::uint32_t>(std::min<std::size_t>(request->unread(), 0xFFFFFFFFu));
        return true;
    }

    bool readData(HttpHandle handle, void* buffer, std::uint32_t size,
                  std::uint32_t& bytesRead) override {
        auto* request = find<Request>(handle);
        if (!request || !request->headersFinal) return fail(http_error::kIncorrectHandleState);
        bytesRead = 0;
        if (size == 0) return true;
        if (!waitForBody(*request)) return false;
        const std::size_t n = std::min<std::size_t>(size, request->unread());
        if (n) std::memcpy(buffer, request->body.data() + request->bodyRead, n);
        request->bodyRead += n;
        bytesRead = static_cast<std::uint32_t>(n);
        return true;
    }

    bool resolveHost(const std::u16string& host, std::vector<std::u16string>& addresses) override {
        addresses.clear();
        // getaddrinfo cannot be interrupted: it asks on a thread of its own, left to finish by
        // itself when the wait is abandoned.
        struct Question {
            std::string host;
            std::vector<std::u16string> addresses;
            std::atomic<bool> answered{false};
        };
        auto question = std::make_shared<Question>();
        question->host = text::toUtf8(host);
        std::thread([question] {
            question->addresses = linux_http::resolveAddresses(question->host);
            question->answered = true;
        }).detach();
        while (!question->answered) {
            if (!keepWaiting()) return fail(http_error::kOperationCancelled);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        addresses = question->addresses;
        if (addresses.empty()) return fail(http_error::kNameNotResolved);
        return true;
    }

    bool closeHandle(HttpHandle handle) override {
        if (objects_.erase(handle) == 0) return fail(http_error::kInvalidParameter);
        return true;
    }

    int lastError() override { return lastHttpError; }

    // Numbers below WinHTTP's range are errno values here.
    int notEnoughMemoryError() override { return ENOMEM; }

  private:
    template <class T>
    T* find(HttpHandle handle) {
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
    }

    HttpHandle add(std::unique_ptr<Object> object) {
        const auto handle = reinterpret_cast<HttpHandle>(object.get());
        objects_[handle] = std::move(object);
        return handle;
    }

    static int sumLimits(int a, int b) {
        if (a <= 0 || b <= 0) return 0;  // 0 (or -1): wait without limit, as WinHTTP does
        return a + b;
    }

    static long curlAuthScheme(std::uint32_t scheme) {
        switch (scheme) {
            case kAuthSchemeBasic:
                return static_cast<long>(CURLAUTH_BASIC);
            case kAuthSchemeDigest:
                return static_cast<long>(CURLAUTH_DIGEST);
            case kAuthSchemeNtlm:
                return static_cast<long>(CURLAUTH_NTLM);
            case kAuthSchemeNegotiate:
                return static_cast<long>(CURLAUTH_NEGOTIATE);
            default:
                return static_cast<long>(CURLAUTH_NONE);
        }
    }

    // What the proxy's last 407 (to the request or to its tunnel) offered, that curl can answer.
    static std::uint32_t offeredSchemes(Request& request) {
        long available = 0;
        if (!request.easy ||
            curl_easy_getinfo(request.easy, CURLINFO_PROXYAUTH_AVAIL, &available) != CURLE_OK)
            return 0;
        std::uint32_t schemes = 0;
        for (const std::uint32_t scheme :
             {kAuthSchemeBasic, kAuthSchemeDigest, kAuthSchemeNtlm, kAuthSchemeNegotiate})
            if (available & curlAuthScheme(scheme)) schemes |= scheme;
        return schemes;
    }

    // Makes a request whose answer came ready to be sent again on the same handles, so that
    // a kept-alive connection to the proxy is used again.
    static void restart(Request& request) {
        curl_multi_remove_handle(request.multi, request.easy);
        curl_easy_reset(request.easy);
        if (request.headerList) curl_slist_free_all(request.headerList);
        request.headerList = nullptr;
        request.started = request.requestSent = request.done = request.paused = false;
        request.result = CURLE_OK;
        request.head = linux_http::ResponseHead{};
        request.headersFinal = false;
        request.body.clear();
        request.bodyRead = 0;
    }

    static bool start(Request& request, const std::string& extraHeaders) {
        if (!request.multi) request.multi = curl_multi_init();
        if (!request.easy) request.easy = curl_easy_init();
        if (!request.multi || !request.easy) return false;
        CURL* easy = request.easy;
        std::string host = request.host;
        if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
        const std::string url = std::string(request.secure ? "https://" : "http://") + host + ":" +
                                std::to_string(request.port) + request.path;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, request.settings.agent.c_str());
        if (request.verb != "GET")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 1024L * 1024L);
        // A redirect is the answer: the engine judges where it points before following it.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        // The curl tool's variable, honoured so that a private CA can be trusted without
        // touching the system store (the system store stays the default).
        if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle && *bundle)
            curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
        if (request.settings.connectMs > 0)
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(request.settings.connectMs));
        // The proxy is ours to choose: "" disables curl's own reading of the environment.
        const std::string proxy =
            request.settings.accessType == kAccessTypeNamedProxy
                ? linux_http::chooseProxy(request.settings.proxy, request.settings.bypass,
                                          request.secure, request.host)
                : std::string();
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (request.proxyScheme != 0 && !proxy.empty()) {
            // One scheme only: curl then sends Basic at once and does the others' handshakes
            // itself, and stops at a second refusal.
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, curlAuthScheme(request.proxyScheme));
            // An empty name and password make GSS-API use the ticket cache.
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
        }
        std::size_t start = 0;
        while (start < extraHeaders.size()) {
            auto end = extraHeaders.find("\r\n", start);
            if (end == std::string::npos) end = extraHeaders.size();
            const std::string line = extraHeaders.substr(start, end - start);
            if (!line.empty())
                request.headerList = curl_slist_append(request.headerList, line.c_str());
            start = end + 2;
        }
        // WinHTTP sends no Accept header of its own unless asked.
        request.headerList = curl_slist_append(request.headerList, "Accept:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request.headerList);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &request);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &request);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onPrerequest);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &request);
        if (curl_multi_add_handle(request.multi, easy) != CURLM_OK) return false;
        request.started = true;
        request.lastActivity = Clock::now();
        return true;
    }

    // Runs the transfer until ready() holds or it ends; limitMs without any arriving byte ends
    // it as a time-out (0: no limit). False when the wait hook abandoned the wait: the transfer
    // is then over.
    template <class Ready>
    bool drive(Request& request, Ready ready, int limitMs) {
        request.lastActivity = Clock::now();
        auto lastAsked = Clock::now();
        while (!ready() && !request.done) {
            if (Clock::now() - lastAsked >= std::chrono::milliseconds(kWaitSliceMs)) {
                if (!keepWaiting()) {
                    request.done = true;
                    request.result = CURLE_ABORTED_BY_CALLBACK;
                    curl_multi_remove_handle(request.multi, request.easy);
                    return false;
                }
                lastAsked = Clock::now();
            }
            if (request.paused && request.unread() == 0) {
                request.paused = false;
                curl_easy_pause(request.easy, CURLPAUSE_CONT);
                if (ready() || request.done) break;
            }
            int running = 0;
            curl_multi_perform(request.multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(request.multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == request.easy) {
                    request.done = true;
                    request.result = message->data.result;
                }
            }
            if (ready() || request.done) break;
            if (limitMs > 0 &&
                Clock::now() - request.lastActivity >= std::chrono::milliseconds(limitMs)) {
                request.done = true;
                request.result = CURLE_OPERATION_TIMEDOUT;
                curl_multi_remove_handle(request.multi, request.easy);
                break;
            }
            int fds = 0;
            curl_multi_poll(request.multi, nullptr, 0, kWaitSliceMs, &fds);
        }
        return true;
    }

    bool waitForBody(Request& request) {
        if (request.unread() == 0 && !request.done &&
            !drive(
                request, [&request] { return request.unread() > 0; }, request.settings.receiveMs))
            return fail(http_error::kOperationCancelled);
        if (request.unread() > 0) return true;
        if (request.done && request.result != CURLE_OK) return fail(mapCurlError(request.result));
        return true;  // the body has ended
    }

    // A proxy that refused the tunnel (e.g. 407 to CONNECT) is the answer WinHTTP reports.
    static bool proxyRefusedTunnel(Request& request) {
        long code = 0;
        if (curl_easy_getinfo(request.easy, CURLINFO_HTTP_CONNECTCODE, &code) != CURLE_OK ||
            code < 300)
            return false;
        request.head.status = static_cast<std::uint32_t>(code);
        request.head.fields.clear();
        request.head.complete = request.headersFinal = true;
        return true;
    }

    bool finishFailure(Request& request) {
        if (!request.done) return fail(http_error::kTimeout);
        if (request.result == CURLE_OK) return fail(http_error::kInvalidServerResponse);
        return fail(mapCurlError(request.result));
    }

    std::map<HttpHandle, std::unique_ptr<Object>> objects_;
};

}  // namespace

std::unique_ptr<Http> createNativeHttp() {
    return std::make_unique<LinuxHttp>();
}

}  // namespace platform
