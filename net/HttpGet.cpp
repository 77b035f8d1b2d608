#include "net/HttpGet.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "common/Text.h"
#include "net/HttpFields.h"
#include "net/SysErrorText.h"
#include "platform/Http.h"
#include "platform/Registry.h"
#include "settings/ProxySettings.h"

namespace {

using platform::Http;
using platform::HttpHandle;

constexpr char16_t kAgent[] = u"ORVL Downloader 1.0";
constexpr char16_t kAutoProxyAgent[] = u"WinHTTP AutoProxy/1.0";
constexpr char16_t kStopped[] = u"Зупинено користувачем.";
constexpr int kResolveTimeoutMs = 0;
constexpr int kConnectTimeoutMs = 60000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 120000;
// Attempts in a row that bring no new byte before the call gives up.
constexpr int kMaxAttemptsWithoutProgress = 3;
// The largest body one call holds: the resumable size is a signed 32-bit number, and a 32-bit
// process could not hold more in one piece anyway. A larger announcement fails before reading.
constexpr std::uint64_t kMaxBody = 0x7FFFFFFF;
// Memory prepared ahead of the arriving bytes: at first this much, then up to twice what arrived.
constexpr std::size_t kFirstPreparedWindow = 32u << 20;

// Closes one HTTP handle on every way out of the scope that opened it.
class OwnedHandle {
  public:
    OwnedHandle(Http& http, HttpHandle handle) : http_(http), handle_(handle) {}
    ~OwnedHandle() {
        if (handle_) http_.closeHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HttpHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

  private:
    Http& http_;
    HttpHandle handle_;
};

// Loopback names and addresses (127.0.0.0/8, ::1, localhost): a request to this machine, such
// as the one to the monitor service, never leaves it through a proxy.
bool isLoopbackHost(std::u16string host) {
    for (char16_t& c : host)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (host.size() >= 2 && host.front() == u'[' && host.back() == u']')
        host = host.substr(1, host.size() - 2);
    if (host == u"localhost" || host == u"::1") return true;
    if (!host.starts_with(u"127.")) return false;
    return host.find_first_not_of(u"0123456789.") == std::u16string::npos;
}

std::u16string failureText(int number) {
    return u"Не вдалося отримати дані (" + text::decimal(number) + u").";
}

class Transfer {
  public:
    Transfer(DownloadRun& run, const std::u16string& url, bool showProgress, bool showErrors)
        : run_(run),
          window_(run.window),
          http_(platform::get<Http>()),
          url_(url),
          showProgress_(showProgress),
          showErrors_(showErrors) {}

    void execute() {
        window_.setStatusText(u"");
        if (progressShown()) window_.setProgressPosition(progressBase());
        window_.pumpMessages();

        splitUrl();
        selectProxy();

        OwnedHandle session(http_, http_.openSession(kAgent, accessType_, proxy_, bypass_, 0));
        if (!session || !http_.setTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs,
                                           kSendTimeoutMs, kReceiveTimeoutMs)) {
            fail(1, http_.lastError());
            return;
        }

        run_.stream.clear();
        expectedSize_ = -1;
        preparedData_ = nullptr;

        bool first = true;
        int attemptsWithoutProgress = 0;
        while (run_.RunOk &&
               (first || (expectedSize_ >= 0 &&
                          run_.stream.size() < static_cast<std::uint64_t>(expectedSize_)))) {
            first = false;
            if (StopRequested) {
                stop();
                break;
            }
            const std::size_t before = run_.stream.size();
            quietFailure_ = 0;
            attempt(session.get());
            if (!run_.RunOk || run_.stream.size() > before) {
                attemptsWithoutProgress = 0;
                continue;
            }
            if (++attemptsWithoutProgress >= kMaxAttemptsWithoutProgress) {
                if (quietFailure_ == 0) {
                    quietFailure_ = 9;
                    quietError_ = platform::http_error::kConnectionError;
                }
                reportQuietFailure();
            }
        }
    }

  private:
    bool progressShown() const { return showProgress_ && !run_.items.empty(); }
    std::int32_t itemCount() const { return static_cast<std::int32_t>(run_.items.size()); }
    std::int32_t progressBase() const { return run_.index * 100 / itemCount(); }

    void appendStatus(const std::u16string& text) {
        window_.setStatusText(window_.statusText() + text);
    }

    void fail(int number, int error) {
        if (showErrors_) window_.showMessage(failureText(number) + SysErrorText(error));
        run_.RunOk = false;
    }

    void stop() {
        window_.showMessage(kStopped);
        run_.RunOk = false;
    }

    // A resumable attempt that ended early: remembered, reported only if attempts run out.
    void quiet(int number, int error) {
        quietFailure_ = number;
        quietError_ = error;
    }

    void reportQuietFailure() {
        if (quietFailure_ == 7) {
            if (showErrors_)
                window_.showMessage(u"Не вдалося отримати дані (7): Відповідь сервера: " +
                                    text::decimal(quietError_));
            run_.RunOk = false;
        } else {
            fail(quietFailure_, quietError_);
        }
    }

    void splitUrl() {
        platform::UrlParts parts;
        if (!http_.crackUrl(url_, parts)) {
            const int error = http_.lastError();
            if (showErrors_)
                window_.showMessage(failureText(12) + SysErrorText(error) + u"\r\n" + url_);
            run_.RunOk = false;
            return;
        }
        host_ = parts.host;
        port_ = parts.port;
        path_ = parts.path;
        secure_ = parts.scheme == platform::UrlScheme::https;
    }

    void selectProxy() {
        accessType_ = platform::kAccessTypeNoProxy;
        proxy_.clear();
        bypass_.clear();
        const std::int32_t mode = ProxySettings.mode;
        if (isLoopbackHost(host_)) {
            // Direct, whatever the mode: the proxy would see the request and its credentials.
        } else if (mode == pmSystem || mode == pmAuto) {
            systemProxy();
        } else if (mode == pmManual) {
            accessType_ = platform::kAccessTypeNamedProxy;
            proxy_ = ProxySettings.host + u":" + text::decimal(ProxySettings.port);
        }
        appendStatus(text::decimal(accessType_) + u" " + proxy_);
    }

    void systemProxy() {
        platform::UserProxyConfig config;
        if (!http_.currentUserProxyConfig(config)) return;
        const std::u16string scriptUrl = config.autoConfigUrl.value_or(u"");
        std::u16string diagnostics = u"(";
        diagnostics.append(config.proxy.value_or(u"")).append(u", ");
        diagnostics.append(config.proxyBypass.value_or(u"")).append(u", ");
        diagnostics.append(config.autoDetect ? u"True" : u"False").append(u", ");
        diagnostics.append(scriptUrl).append(u") ");
        appendStatus(diagnostics);
        if (config.proxy) proxy_ = *config.proxy;
        if (config.proxyBypass) bypass_ = *config.proxyBypass;

        platform::AutoProxyOptions options;
        if (config.autoDetect) {
            options.flags |= platform::kAutoProxyAutoDetect;
            options.autoDetectFlags = platform::kAutoDetectDhcpAndDns;
        }
        if (!scriptUrl.empty()) {
            options.flags |= platform::kAutoProxyConfigUrl;
            options.autoConfigUrl = scriptUrl;
        }
        options.autoLogonIfChallenged = true;
        if (options.flags != 0) {
            OwnedHandle discovery(
                http_,
                http_.openSession(kAutoProxyAgent, platform::kAccessTypeNoProxy, u"", u"", 0));
            if (discovery) {
                platform::ProxyForUrl found;
                if (http_.proxyForUrl(discovery.get(), url_.substr(0, url_.find(u'?')), options,
                                      found)) {
                    proxy_ = found.proxy.value_or(u"");
                    bypass_.clear();
                }
            }
        }
        if (!proxy_.empty()) accessType_ = platform::kAccessTypeNamedProxy;
    }

    std::u16string rangeHeaders() const {
        if (expectedSize_ <= 0 || wholeAgain_) return {};
        std::u16string headers = u"Range: bytes=" +
                                 text::decimal(static_cast<std::int64_t>(run_.stream.size())) +
                                 u"-\r\n";
        // A changed file must be fetched whole, not stitched from two versions.
        if (!validator_.empty()) headers += u"If-Range: " + validator_ + u"\r\n";
        return headers;
    }

    std::optional<std::u16string> header(HttpHandle request, platform::HttpHeader name) {
        std::u16string value;
        if (!http_.queryHeader(request, name, value)) return std::nullopt;
        return value;
    }

    // The first answer's validators, which every part that continues it must repeat.
    void rememberValidators(HttpHandle request) {
        etag_ = header(request, platform::HttpHeader::ETag);
        lastModified_ = header(request, platform::HttpHeader::LastModified);
        validator_.clear();
        // A weak tag cannot validate a range.
        if (etag_ && !etag_->empty() && !etag_->starts_with(u"W/"))
            validator_ = *etag_;
        else if (lastModified_ && !lastModified_->empty())
            validator_ = *lastModified_;
    }

    bool sameValidators(HttpHandle request) {
        if (etag_) return header(request, platform::HttpHeader::ETag) == etag_;
        if (lastModified_)
            return header(request, platform::HttpHeader::LastModified) == lastModified_;
        return true;
    }

    // A 206 that was not asked for, or a second one that does not continue what is held.
    void failPartial() {
        if (showErrors_)
            window_.showMessage(u"Не вдалося отримати дані (7): Відповідь сервера: 206");
        run_.RunOk = false;
    }

    // Whether a 206 continues the held bytes of the same file: starts where they end, belongs to
    // a file of the first answer's size and carries its validator.
    bool continuesHeldBytes(HttpHandle request, const std::optional<std::uint64_t>& contentLength,
                            std::uint64_t& partSize) {
        const auto text = header(request, platform::HttpHeader::ContentRange);
        ContentRange range;
        if (!text || !parseContentRange(*text, range)) return false;
        partSize = static_cast<std::uint64_t>(range.last - range.first + 1);
        return range.first == static_cast<std::int64_t>(run_.stream.size()) &&
               range.total == expectedSize_ && (!contentLength || *contentLength == partSize) &&
               sameValidators(request);
    }

    // Address space for the whole announced body, so a large file is not copied while it grows;
    // untouched pages cost no memory. The memory itself is prepared only as bytes arrive.
    void reserveFor(std::uint64_t length) {
        try {
            if (run_.stream.capacity() < length) run_.stream.reserve(length);
        } catch (const std::exception&) {
            // Growing as bytes come may still fit; the read loop reports if it does not.
        }
        prepareAhead();
    }

    // Hands the back end the next stretch of the reserved body once the data has reached half of
    // what was prepared: prepared memory stays within twice what arrived (at least one window).
    void prepareAhead() {
        if (run_.stream.data() != preparedData_) {
            preparedData_ = run_.stream.data();
            preparedEnd_ = 0;
        }
        const std::size_t capacity = run_.stream.capacity();
        if (capacity < kFirstPreparedWindow || preparedEnd_ >= capacity ||
            run_.stream.size() < preparedEnd_ / 2)
            return;
        const std::size_t end =
            std::min(capacity, std::max(kFirstPreparedWindow, 2 * preparedEnd_));
        http_.adviseLargeBody(run_.stream.data() + preparedEnd_, end - preparedEnd_);
        preparedEnd_ = end;
    }

    static bool loginGiven() {
        return ProxySettings.mode == pmManual && !ProxySettings.login.empty();
    }

    // Sends the request, waits for the answer and reads its status.
    bool exchange(HttpHandle request, const std::u16string& headers, std::uint32_t& status) {
        if (!http_.sendRequest(request, headers)) {
            fail(4, http_.lastError());
            return false;
        }
        window_.pumpMessages();
        if (!http_.receiveResponse(request)) {
            fail(5, http_.lastError());
            return false;
        }
        window_.pumpMessages();
        if (!http_.queryStatusCode(request, status)) {
            fail(6, http_.lastError());
            return false;
        }
        return true;
    }

    // Chooses the strongest scheme the proxy offers: the given login in it, or without a login
    // the user's own logon (NTLM and Negotiate only, as browsers do for a proxy). False when
    // there is nothing new to answer with.
    bool answerProxyChallenge(HttpHandle request) {
        if (accessType_ != platform::kAccessTypeNamedProxy) return false;
        std::uint32_t offered = 0;
        if (!http_.queryProxyAuthSchemes(request, offered)) return false;
        for (const std::uint32_t scheme :
             {platform::kAuthSchemeNegotiate, platform::kAuthSchemeNtlm,
              platform::kAuthSchemeDigest, platform::kAuthSchemeBasic}) {
            if ((offered & scheme) == 0) continue;
            if (loginGiven()) {
                // Basic was already refused with this very login.
                if (scheme != platform::kAuthSchemeBasic &&
                    http_.setCredentials(request, platform::kAuthTargetProxy, scheme,
                                         ProxySettings.login, ProxySettings.password))
                    return true;
            } else if ((scheme == platform::kAuthSchemeNegotiate ||
                        scheme == platform::kAuthSchemeNtlm) &&
                       http_.setLogonCredentials(request, scheme))
                return true;
        }
        return false;
    }

    void attempt(HttpHandle session) {
        window_.pumpMessages();
        OwnedHandle connection(http_, http_.connect(session, host_, port_));
        if (!connection) {
            fail(2, http_.lastError());
            return;
        }
        window_.pumpMessages();
        OwnedHandle request(http_, http_.openRequest(connection.get(), u"GET", path_,
                                                     secure_ ? platform::kFlagSecure : 0));
        if (!request) {
            fail(3, http_.lastError());
            return;
        }
        window_.pumpMessages();
        // Basic goes with the first request, so a Basic proxy sees no extra round trip; never
        // to a server reached directly (loopback), which must not learn the proxy's login.
        if (loginGiven() && accessType_ == platform::kAccessTypeNamedProxy)
            http_.setCredentials(request.get(), platform::kAuthTargetProxy,
                                 platform::kAuthSchemeBasic, ProxySettings.login,
                                 ProxySettings.password);
        const std::u16string headers = rangeHeaders();
        std::uint32_t status = 0;
        if (!exchange(request.get(), headers, status)) return;
        // One answer to the proxy's challenge; a second refusal stands, so it never loops.
        if (status == 407 && answerProxyChallenge(request.get()) &&
            !exchange(request.get(), headers, status))
            return;
        if (status != 200 && status != 206) {
            if (showErrors_)
                window_.showMessage(u"Не вдалося отримати дані (7): Відповідь сервера: " +
                                    text::decimal(status));
            run_.RunOk = false;
            return;
        }
        // Without Content-Length the body runs to its end (chunked, or until the server closes).
        std::optional<std::uint64_t> contentLength;
        if (const auto text = header(request.get(), platform::HttpHeader::ContentLength)) {
            std::uint64_t length = 0;
            if (!parseContentLength(*text, length)) {
                fail(5, platform::http_error::kInvalidServerResponse);
                return;
            }
            contentLength = length;
        }
        if (contentLength && *contentLength > kMaxBody) {
            fail(9, http_.notEnoughMemoryError());
            return;
        }
        std::optional<std::uint64_t> bodySize = contentLength;
        if (status == 200) {
            // A whole answer (also to a range request) replaces whatever is held.
            run_.stream.clear();
            wholeAgain_ = false;
            expectedSize_ = contentLength ? static_cast<std::int64_t>(*contentLength) : -1;
            rememberValidators(request.get());
            if (contentLength) reserveFor(*contentLength);
        } else {
            if (headers.empty()) {
                failPartial();
                return;
            }
            std::uint64_t partSize = 0;
            if (!continuesHeldBytes(request.get(), contentLength, partSize)) {
                if (restarted_) {
                    failPartial();
                    return;
                }
                // Keep nothing of two versions: the next attempt asks for the whole file once.
                restarted_ = true;
                wholeAgain_ = true;
                run_.stream.clear();
                return;
            }
            bodySize = partSize;
        }
        window_.pumpMessages();
        if (const auto acceptRanges = header(request.get(), platform::HttpHeader::AcceptRanges);
            acceptRanges && acceptRanges->find(u"bytes") == std::u16string::npos)
            expectedSize_ = -1;
        window_.pumpMessages();
        readBody(request.get(), bodySize);
    }

    void endedEarly(int number, int error) {
        if (expectedSize_ < 0)
            fail(number, error);
        else
            quiet(number, error);
    }

    // Reads the body: bodySize bytes when its size is known, else until the body ends.
    void readBody(HttpHandle request, const std::optional<std::uint64_t>& bodySize) {
        std::uint64_t received = 0;
        while (!bodySize || received < *bodySize) {
            if (StopRequested) {
                stop();
                return;
            }
            std::uint32_t available = 0;
            if (!http_.queryDataAvailable(request, available)) {
                endedEarly(8, http_.lastError());
                return;
            }
            if (available == 0) {
                // The answer ended short of its length: never a success with a short file.
                if (bodySize) endedEarly(9, platform::http_error::kConnectionError);
                return;
            }
            if (run_.stream.size() + available > kMaxBody) {
                fail(9, http_.notEnoughMemoryError());
                return;
            }
            // The chunk buffer is sized to exactly what is ready and zero-filled; it keeps its
            // capacity across chunks, so only the stream grows.
            try {
                chunk_.assign(available, '\0');
            } catch (const std::exception&) {
                fail(9, http_.notEnoughMemoryError());
                return;
            }
            std::uint32_t read = 0;
            if (!http_.readData(request, chunk_.data(), available, read)) {
                endedEarly(9, http_.lastError());
                return;
            }
            // Bytes beyond the announced size belong to no file.
            if (bodySize)
                read =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(read, *bodySize - received));
            try {
                run_.stream.append(chunk_.data(), read);
            } catch (const std::exception&) {
                fail(9, http_.notEnoughMemoryError());
                return;
            }
            prepareAhead();
            received += read;
            showProgress(received, bodySize.value_or(0));
            window_.pumpMessages();
        }
    }

    void showProgress(std::uint64_t received, std::uint64_t bodySize) {
        if (!progressShown()) return;
        const std::int64_t count = itemCount();
        std::int64_t share;
        if (expectedSize_ > 0)
            share = 100 * static_cast<std::int64_t>(run_.stream.size()) / (count * expectedSize_);
        else if (bodySize > 0)
            share = 100 * static_cast<std::int64_t>(received) /
                    (count * static_cast<std::int64_t>(bodySize));
        else
            return;
        window_.setProgressPosition(progressBase() + static_cast<std::int32_t>(share));
    }

    DownloadRun& run_;
    RunWindow& window_;
    Http& http_;
    const std::u16string& url_;
    const bool showProgress_;
    const bool showErrors_;

    std::u16string host_;
    std::uint16_t port_ = 0;
    std::u16string path_;
    bool secure_ = false;
    std::uint32_t accessType_ = platform::kAccessTypeNoProxy;
    std::u16string proxy_;
    std::u16string bypass_;
    std::int64_t expectedSize_ = -1;
    std::optional<std::u16string> etag_;
    std::optional<std::u16string> lastModified_;
    std::u16string validator_;  // for If-Range
    bool wholeAgain_ = false;   // the next attempt asks for the whole file
    bool restarted_ = false;    // the one fresh start after a part that did not fit was used
    const char* preparedData_ = nullptr;
    std::size_t preparedEnd_ = 0;
    std::vector<char> chunk_;
    int quietFailure_ = 0;
    int quietError_ = 0;
};

}  // namespace

void HttpGet(DownloadRun& run, const std::u16string& url, bool showProgress, bool showErrors) {
    Transfer(run, url, showProgress, showErrors).execute();
}
