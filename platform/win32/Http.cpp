// Windows: WinHTTP for sessions, proxy discovery and transfers; WinINet only to split URLs.
// WinHTTP's calls block. With a wait hook, those that wait on the network run on one worker
// thread (HttpWorker) and a body is read ahead there (HttpReadAhead), while the window's thread
// waits in short slices and asks the hook; a wait given up closes the WinHTTP handle behind it.
#include "platform/Http.h"

#include <windows.h>
// After windows.h, which they need.
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <set>
#include <vector>

#include "platform/win32/HttpCalls.h"
#include "platform/win32/HttpReadAhead.h"
#include "platform/win32/HttpResolve.h"
#include "platform/win32/HttpUrl.h"
#include "platform/win32/HttpWorker.h"

namespace platform {
namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
const wchar_t* wideOrNull(const std::u16string& text) {
    return text.empty() ? nullptr : wide(text);
}
std::u16string fromWide(const wchar_t* text) {
    if (!text) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The proxy strings WinHTTP allocates belong to the caller and go back with GlobalFree.
struct GlobalText {
    wchar_t* text = nullptr;
    GlobalText() = default;
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    ~GlobalText() {
        if (text) GlobalFree(text);
    }
    std::optional<std::u16string> value() const {
        if (!text) return std::nullopt;
        return fromWide(text);
    }
};

// Everything one proxy discovery reads and writes, owned apart from the caller: a discovery
// abandoned on the worker may finish after the caller has gone.
struct ProxyDiscovery {
    std::wstring url;
    std::wstring autoConfigUrl;
    WINHTTP_AUTOPROXY_OPTIONS request{};
    WINHTTP_PROXY_INFO info{};
    GlobalText proxy, bypass;

    BOOL run(HINTERNET session) {
        if (!autoConfigUrl.empty()) request.lpszAutoConfigUrl = autoConfigUrl.c_str();
        const BOOL ok = WinHttpGetProxyForUrl(session, url.c_str(), &request, &info);
        proxy.text = info.lpszProxy;
        bypass.text = info.lpszProxyBypass;
        return ok;
    }
};

// The handles the engine holds are numbers of ours, each standing for one WinHTTP handle and
// never reused: a handle closed here to abandon a wait keeps its number until the engine closes
// it, so no later handle can be closed in its place.
class HandleTable {
  public:
    HandleTable() = default;
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;
    // A body still read ahead stops with its last WinHTTP call; its thread then ends.
    ~HandleTable() {
        for (auto& [handle, entry] : entries_)
            if (entry.readAhead) entry.readAhead->stop();
    }

    HttpHandle add(HINTERNET internet) {
        if (!internet) return 0;
        entries_[next_].internet = internet;
        return next_++;
    }
    // Null for a number unknown here (ERROR_INVALID_HANDLE) or whose wait was abandoned (such a
    // request can only be closed).
    HINTERNET internet(HttpHandle handle) const {
        const auto found = entries_.find(handle);
        if (found != entries_.end() && found->second.internet) return found->second.internet;
        SetLastError(found == entries_.end() ? ERROR_INVALID_HANDLE
                                             : ERROR_WINHTTP_OPERATION_CANCELLED);
        return nullptr;
    }
    // The body being read ahead for a request; null when none is.
    std::shared_ptr<HttpReadAhead>* readAhead(HttpHandle handle) {
        const auto found = entries_.find(handle);
        return found != entries_.end() ? &found->second.readAhead : nullptr;
    }
    // Closes the WinHTTP handle behind the number; the number stays until forget.
    void closeInternet(HttpHandle handle) {
        const auto found = entries_.find(handle);
        if (found == entries_.end() || !found->second.internet) return;
        WinHttpCloseHandle(found->second.internet);
        found->second.internet = nullptr;
    }
    // True when the number was known; its WinHTTP handle is closed unless it was already.
    bool forget(HttpHandle handle, BOOL& closed) {
        const auto found = entries_.find(handle);
        if (found == entries_.end()) return false;
        closed = found->second.internet ? WinHttpCloseHandle(found->second.internet) : TRUE;
        entries_.erase(found);
        return true;
    }

  private:
    struct Entry {
        HINTERNET internet = nullptr;
        std::shared_ptr<HttpReadAhead> readAhead;
    };
    std::map<HttpHandle, Entry> entries_;
    HttpHandle next_ = 1;
};

// WinHTTP on Windows 7 and 8.0 offers only SSL 3 and TLS 1.0 unless told otherwise, so a server
// that requires TLS 1.2 would fail and the run would fall back to plain HTTP. The list asked for
// is the whole list the session may use, so TLS 1.3 is in it where the system knows it (without
// it Windows 11 would lose 1.3); a system that refuses the newer flag is asked again without it.
// Systems without the option (or without the newer protocols) refuse both; their defaults stay.
void enableCurrentTls(const HttpCalls& calls, HINTERNET session) {
    const DWORD lastError = GetLastError();
    const DWORD tls10To12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 |
                            WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                            WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    for (DWORD protocols : {tls10To12 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3, tls10To12}) {
        if (calls.setSessionOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                                   sizeof protocols))
            break;
    }
    SetLastError(lastError);
}

// A body announced above 2^31 - 1 bytes: Wine's WinHTTP ends it there and pools the
// connection with the rest still in flight, which the next request then reads as its answer.
// Such a connection is not kept (where WinHTTP refuses the option after the send, nothing
// changes).
void keepLongBodyOffPool(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX))
        return;
    if (std::wcstoull(text, nullptr, 10) <= 0x7fffffffULL) return;
    const DWORD lastError = GetLastError();
    DWORD disabled = WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
    SetLastError(lastError);
}

DWORD headerQuery(HttpHeader header) {
    switch (header) {
        case HttpHeader::AcceptRanges:
            return WINHTTP_QUERY_ACCEPT_RANGES;
        case HttpHeader::ContentRange:
            return WINHTTP_QUERY_CONTENT_RANGE;
        case HttpHeader::ETag:
            return WINHTTP_QUERY_ETAG;
        case HttpHeader::LastModified:
            return WINHTTP_QUERY_LAST_MODIFIED;
        case HttpHeader::ContentLength:
            return WINHTTP_QUERY_CONTENT_LENGTH;
        case HttpHeader::Location:
            return WINHTTP_QUERY_LOCATION;
    }
    return WINHTTP_QUERY_ACCEPT_RANGES;
}

// "Proxy-Authorization: Basic ..." for user:password in UTF-8, Base64-encoded; empty
// when the text cannot be encoded.
std::wstring basicProxyAuthorization(const std::u16string& user, const std::u16string& password) {
    const std::u16string pair = user + u":" + password;
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide(pair), static_cast<int>(pair.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide(pair), static_cast<int>(pair.size()), bytes.data(),
                            size, nullptr, nullptr);
    DWORD length = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (!CryptBinaryToStringW(data, static_cast<DWORD>(bytes.size()), flags, nullptr, &length))
        return {};
    std::wstring encoded(length, L'\0');
    if (!CryptBinaryToStringW(data, static_cast<DWORD>(bytes.size()), flags, encoded.data(),
                              &length))
        return {};
    encoded.resize(length);
    return L"Proxy-Authorization: Basic " + encoded;
}

class WindowsHttp final : public Http {
  public:
    explicit WindowsHttp(const HttpCalls& calls) : calls_(calls) {}

    bool crackUrl(const std::u16string& url, UrlParts& parts) override {
        return crackUrlWithWinInet(url, parts);
    }

    bool currentUserProxyConfig(UserProxyConfig& config) override {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
        const BOOL ok = WinHttpGetIEProxyConfigForCurrentUser(&ie);
        GlobalText autoConfigUrl, proxy, bypass;
        autoConfigUrl.text = ie.lpszAutoConfigUrl;
        proxy.text = ie.lpszProxy;
        bypass.text = ie.lpszProxyBypass;
        if (!ok) return false;
        config.autoDetect = ie.fAutoDetect != FALSE;
        config.autoConfigUrl = autoConfigUrl.value();
        config.proxy = proxy.value();
        config.proxyBypass = bypass.value();
        return true;
    }

    bool proxyForUrl(HttpHandle session, const std::u16string& url, const AutoProxyOptions& options,
                     ProxyForUrl& result) override {
        const HINTERNET internet = handles_.internet(session);
        if (!internet) return false;
        const auto discovery = std::make_shared<ProxyDiscovery>();
        discovery->url = wide(url);
        discovery->autoConfigUrl = wide(options.autoConfigUrl);
        discovery->request.dwFlags = options.flags;
        discovery->request.dwAutoDetectFlags = options.autoDetectFlags;
        discovery->request.fAutoLogonIfChallenged = options.autoLogonIfChallenged ? TRUE : FALSE;
        // Abandoned by closing the session opened for it.
        if (!mayWait(session, [internet, discovery] { return discovery->run(internet); }))
            return false;
        result.accessType = discovery->info.dwAccessType;
        result.proxy = discovery->proxy.value();
        result.proxyBypass = discovery->bypass.value();
        return true;
    }

    HttpHandle openSession(const std::u16string& agent, std::uint32_t accessType,
                           const std::u16string& proxy, const std::u16string& bypass,
                           std::uint32_t flags) override {
        HINTERNET session =
            WinHttpOpen(wide(agent), accessType, wideOrNull(proxy), wideOrNull(bypass), flags);
        if (session) enableCurrentTls(calls_, session);
        return handles_.add(session);
    }

    bool setTimeouts(HttpHandle session, int resolveMs, int connectMs, int sendMs,
                     int receiveMs) override {
        return WinHttpSetTimeouts(handles_.internet(session), resolveMs, connectMs, sendMs,
                                  receiveMs) != FALSE;
    }

    HttpHandle connect(HttpHandle session, const std::u16string& host,
                       std::uint16_t port) override {
        return handles_.add(WinHttpConnect(handles_.internet(session), wide(host), port, 0));
    }

    HttpHandle openRequest(HttpHandle connection, const std::u16string& verb,
                           const std::u16string& path, std::uint32_t flags) override {
        const HINTERNET internet =
            WinHttpOpenRequest(handles_.internet(connection), wide(verb), wide(path), nullptr,
                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
        // The engine judges every redirect and makes each hop a request of its own. Followed
        // here, a redirect would reach wherever the server names, carrying the headers we added
        // (our Basic proxy login among them, into a TLS tunnel to the server behind the proxy).
        // A request that cannot be kept from following is not made.
        DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
        if (internet && !WinHttpSetOption(internet, WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                                          sizeof disabled)) {
            const DWORD error = GetLastError();
            WinHttpCloseHandle(internet);
            SetLastError(error);
            return 0;
        }
        const HttpHandle request = handles_.add(internet);
        if (request && (flags & WINHTTP_FLAG_SECURE)) secureRequests_.insert(request);
        return request;
    }

    bool setCredentials(HttpHandle request, std::uint32_t authTargets, std::uint32_t authScheme,
                        const std::u16string& user, const std::u16string& password) override {
        if (authTargets == WINHTTP_AUTH_TARGET_PROXY && authScheme == WINHTTP_AUTH_SCHEME_BASIC &&
            !secureRequests_.contains(request)) {
            // WinHTTP keeps a Basic login until a 407 asks for it; in the header it goes with
            // the first request. Not through a tunnel: there the request's headers reach the
            // server behind the proxy, so WinHTTP answers the proxy's 407 itself.
            const std::wstring header = basicProxyAuthorization(user, password);
            return !header.empty() &&
                   WinHttpAddRequestHeaders(
                       handles_.internet(request), header.c_str(),
                       static_cast<DWORD>(header.size()),
                       WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) != FALSE;
        }
        // Another scheme answers a 407: the Basic header must not go with it.
        if (authTargets == WINHTTP_AUTH_TARGET_PROXY)
            WinHttpAddRequestHeaders(handles_.internet(request), L"Proxy-Authorization:", -1L,
                                     WINHTTP_ADDREQ_FLAG_REPLACE);
        return WinHttpSetCredentials(handles_.internet(request), authTargets, authScheme,
                                     wide(user), wide(password), nullptr) != FALSE;
    }

    bool setLogonCredentials(HttpHandle request, std::uint32_t authScheme) override {
        if (authScheme != kAuthSchemeNtlm && authScheme != kAuthSchemeNegotiate) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        // The default (medium) policy keeps the user's logon from a proxy outside the bypass
        // list; it was asked for here, by the proxy the user's own settings name.
        DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
        if (!WinHttpSetOption(handles_.internet(request), WINHTTP_OPTION_AUTOLOGON_POLICY, &policy,
                              sizeof policy))
            return false;
        WinHttpAddRequestHeaders(handles_.internet(request), L"Proxy-Authorization:", -1L,
                                 WINHTTP_ADDREQ_FLAG_REPLACE);
        // No name and password: the logged-on user's.
        return WinHttpSetCredentials(handles_.internet(request), WINHTTP_AUTH_TARGET_PROXY,
                                     authScheme, nullptr, nullptr, nullptr) != FALSE;
    }

    bool queryProxyAuthSchemes(HttpHandle request, std::uint32_t& schemes) override {
        DWORD supported = 0, first = 0, target = 0;
        if (!WinHttpQueryAuthSchemes(handles_.internet(request), &supported, &first, &target))
            return false;
        if (target != WINHTTP_AUTH_TARGET_PROXY) {
            SetLastError(ERROR_WINHTTP_HEADER_NOT_FOUND);
            return false;
        }
        schemes = supported &
                  (kAuthSchemeBasic | kAuthSchemeNtlm | kAuthSchemeDigest | kAuthSchemeNegotiate);
        return true;
    }

    bool sendRequest(HttpHandle request, const std::u16string& headers) override {
        stopReadingAhead(request);
        const HINTERNET internet = handles_.internet(request);
        if (!internet) return false;
        return mayWait(request, [internet, extra = std::wstring(wide(headers))] {
            return WinHttpSendRequest(
                internet, extra.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extra.c_str(),
                static_cast<DWORD>(extra.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        });
    }

    bool receiveResponse(HttpHandle request) override {
        const HINTERNET internet = handles_.internet(request);
        if (!internet) return false;
        if (!mayWait(request, [internet] { return WinHttpReceiveResponse(internet, nullptr); }))
            return false;
        keepLongBodyOffPool(internet);
        return true;
    }

    bool queryStatusCode(HttpHandle request, std::uint32_t& status) override {
        return queryNumber(request, WINHTTP_QUERY_STATUS_CODE, status);
    }

    bool queryHeader(HttpHandle request, HttpHeader header, std::u16string& value) override {
        // Every occurrence in turn (the index moves to the next one), each first for its size
        // and then for its text.
        const DWORD query = headerQuery(header);
        std::u16string all;
        DWORD index = 0;
        bool found = false;
        for (;;) {
            DWORD size = 0;
            DWORD at = index;
            if (!WinHttpQueryHeaders(handles_.internet(request), query,
                                     WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                                     &at)) {
                const DWORD error = GetLastError();
                if (error == ERROR_WINHTTP_HEADER_NOT_FOUND) break;
                if (error != ERROR_INSUFFICIENT_BUFFER) return false;
            }
            std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
            DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            at = index;
            if (!WinHttpQueryHeaders(handles_.internet(request), query,
                                     WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes, &at))
                return false;
            if (found) all += u", ";
            all.append(reinterpret_cast<const char16_t*>(text.data()), bytes / sizeof(wchar_t));
            found = true;
            if (at <= index) break;  // no next occurrence to move to
            index = at;
        }
        if (!found) {
            SetLastError(ERROR_WINHTTP_HEADER_NOT_FOUND);
            return false;
        }
        value = std::move(all);
        return true;
    }

    bool queryDataAvailable(HttpHandle request, std::uint32_t& bytes) override {
        if (HttpReadAhead* ahead = readingAhead(request)) {
            if (!awaitBody(request, *ahead)) return false;
            bytes = static_cast<std::uint32_t>(ahead->unread());
            return bytes > 0 || bodyEnded(request, *ahead);
        }
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handles_.internet(request), &available)) return false;
        bytes = available;
        return true;
    }

    bool readData(HttpHandle request, void* buffer, std::uint32_t size,
                  std::uint32_t& bytesRead) override {
        if (HttpReadAhead* ahead = readingAhead(request)) {
            if (!awaitBody(request, *ahead)) return false;
            bytesRead = static_cast<std::uint32_t>(ahead->take(buffer, size));
            return bytesRead > 0 || bodyEnded(request, *ahead);
        }
        DWORD read = 0;
        if (!WinHttpReadData(handles_.internet(request), buffer, size, &read)) return false;
        bytesRead = read;
        return true;
    }

    bool closeHandle(HttpHandle handle) override {
        // A read ahead still waiting for the server ends with its request.
        if (std::shared_ptr<HttpReadAhead>* ahead = handles_.readAhead(handle); ahead && *ahead) {
            (*ahead)->stop();
            handles_.closeInternet(handle);
            stopReadingAhead(handle);
        }
        secureRequests_.erase(handle);
        BOOL closed = FALSE;
        if (!handles_.forget(handle, closed)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        return closed != FALSE;
    }

    bool resolveHost(const std::u16string& host, std::vector<std::u16string>& addresses) override {
        addresses.clear();
        // The resolver cannot be interrupted: a question abandoned on the worker is left to
        // finish there, with its answer in its own share.
        const auto answer = std::make_shared<std::vector<std::u16string>>();
        const auto ask = [answer, host] {
            *answer = resolveWithWinsock(host);
            return TRUE;
        };
        if (!mayWait(ask, [] {})) return false;
        if (answer->empty()) {
            SetLastError(ERROR_WINHTTP_NAME_NOT_RESOLVED);
            return false;
        }
        addresses = *answer;
        return true;
    }

    void setWaitHook(WaitHook hook) override {
        hooked_ = static_cast<bool>(hook);
        Http::setWaitHook(std::move(hook));
    }

    int lastError() override { return static_cast<int>(GetLastError()); }

  private:
    // A call that may wait on the network. With a wait hook it runs on the worker and is
    // abandoned by closing handle; without one it simply blocks here.
    bool mayWait(HttpHandle handle, std::function<BOOL()> call) {
        return mayWait(std::move(call), [this, handle] { handles_.closeInternet(handle); });
    }
    // The same for a call that nothing can interrupt: abandon only stops waiting for it.
    bool mayWait(std::function<BOOL()> call, const std::function<void()>& abandon) {
        if (!hooked_ || !workerIdle()) return call() != FALSE;
        return worker_.run(
            std::move(call), [this] { return keepWaiting(); }, abandon);
    }

    // With a wait hook, the body is read ahead on the worker (started by the first question
    // about it, and kept to the end even if the hook goes); null when the body is not read ahead.
    HttpReadAhead* readingAhead(HttpHandle request) {
        std::shared_ptr<HttpReadAhead>* ahead = handles_.readAhead(request);
        if (!ahead) return nullptr;
        if (!*ahead) {
            const HINTERNET internet = handles_.internet(request);
            if (!hooked_ || !internet || !workerIdle()) return nullptr;
            *ahead = std::make_shared<HttpReadAhead>(internet);
            worker_.post([reader = *ahead] { return reader->run(); });
            workerReadsAhead_ = request;
        }
        return ahead->get();
    }

    // Until there are bytes to take, the body's end or its failure; false (12017) when the hook
    // gave up, the request then being closed.
    bool awaitBody(HttpHandle request, HttpReadAhead& ahead) {
        while (!ahead.settled()) {
            // Fewer bytes than wake the engine are looked for after each slice: a body that
            // trickles still arrives, and counts as it does.
            if (!HttpWorker::waitFor(
                    ahead.arrived(), [this] { return keepWaiting(); }, HttpReadAhead::kLookMs,
                    [&ahead] { return ahead.settled(); })) {
                ahead.stop();
                handles_.closeInternet(request);
                stopReadingAhead(request);
                SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
                return false;
            }
        }
        return true;
    }

    // With nothing left to take: true at the body's end, else false with WinHTTP's error.
    bool bodyEnded(HttpHandle request, HttpReadAhead& ahead) {
        const DWORD failure = ahead.failure();
        stopReadingAhead(request);
        SetLastError(failure);
        return failure == ERROR_SUCCESS;
    }

    // The worker goes back to waiting for calls once the read ahead has returned.
    void stopReadingAhead(HttpHandle request) {
        std::shared_ptr<HttpReadAhead>* ahead = handles_.readAhead(request);
        if (!ahead || !*ahead) return;
        (*ahead)->stop();
        if (workerReadsAhead_ == request) {
            worker_.release();
            workerReadsAhead_ = 0;
        }
        ahead->reset();
    }

    // Whether the worker can take a call. A body it read to its end frees it, even while its
    // request stays open with bytes still to take.
    bool workerIdle() {
        if (workerReadsAhead_) {
            std::shared_ptr<HttpReadAhead>* ahead = handles_.readAhead(workerReadsAhead_);
            if (ahead && *ahead && (*ahead)->finished()) {
                worker_.release();
                workerReadsAhead_ = 0;
            }
        }
        return worker_.idle();
    }

    HttpCalls calls_;
    HandleTable handles_;
    HttpWorker worker_;
    HttpHandle workerReadsAhead_ = 0;  // the request whose body the worker reads, if any
    bool hooked_ = false;
    // Requests that go through a TLS tunnel when a proxy is used.
    std::set<HttpHandle> secureRequests_;

    bool queryNumber(HttpHandle request, DWORD query, std::uint32_t& number) {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (!WinHttpQueryHeaders(handles_.internet(request), query | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return false;
        number = value;
        return true;
    }
};

}  // namespace

std::unique_ptr<Http> createWindowsHttp(const HttpCalls& calls) {
    return std::make_unique<WindowsHttp>(calls);
}

std::unique_ptr<Http> createNativeHttp() {
    return createWindowsHttp(HttpCalls{});
}

}  // namespace platform
