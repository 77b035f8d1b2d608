#include "net/HttpGet.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "net/BodySink.h"
#include "net/HttpFields.h"
#include "net/Redirects.h"
#include "net/SysErrorText.h"
#include "net/TransferLimits.h"
#include "platform/Http.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "settings/ProxySettings.h"

TransferLimits ActiveTransferLimits;

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
// Bytes gathered before they go to the sink: large writes, hashed while still in the cache.
constexpr std::size_t kWriteBuffer = 1u << 20;

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
          system_(platform::get<platform::System>()),
          url_(url),
          showProgress_(showProgress),
          showErrors_(showErrors),
          memory_(run.stream),
          sink_(run.sink ? *run.sink : memory_) {
        http_.setWaitHook([this] { return keepWaiting(); });
    }
    // A closed window unwinds the transfer from one of its pumps, past the body's last flush:
    // what was gathered still goes to a file, so the part kept for the next run holds every
    // byte that arrived.
    ~Transfer() {
        http_.setWaitHook(nullptr);
        if (int error = 0; gathered_ > 0 && !sink_.inMemory())
            sink_.append(buffer_.data(), gathered_, error);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    void execute() {
        run_.failure = 0;
        window_.setStatusText(u"");
        if (progressShown()) window_.setProgressPosition(progressBase());
        window_.pumpMessages();

        splitUrl();
        selectProxy();
        rethrowClose();

        OwnedHandle session(http_, http_.openSession(kAgent, accessType_, proxy_, bypass_, 0));
        if (!session || !http_.setTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs,
                                           kSendTimeoutMs, kReceiveTimeoutMs)) {
            fail(1, http_.lastError());
            return;
        }

        expectedSize_ = -1;
        if (const auto held = sink_.heldFromEarlier()) {
            continueEarlier(*held);
        } else if (int error = 0; !sink_.clear(error)) {
            failWrite(error);
            return;
        }

        bool first = true;
        int attempts = 0;
        int attemptsWithoutProgress = 0;
        while (run_.RunOk &&
               (first || redirected_ ||
                (expectedSize_ >= 0 && sink_.size() < static_cast<std::uint64_t>(expectedSize_)))) {
            first = false;
            redirected_ = false;
            if (StopRequested) {
                stop();
                break;
            }
            const std::uint64_t before = sink_.size();
            quietFailure_ = 0;
            attempt(session.get());
            if (!run_.RunOk) break;
            if (redirected_) continue;  // the same attempt, asked of where it was sent
            ++attempts;
            attemptsWithoutProgress = sink_.size() > before ? 0 : attemptsWithoutProgress + 1;
            const bool unfinished =
                expectedSize_ >= 0 && sink_.size() < static_cast<std::uint64_t>(expectedSize_);
            if (unfinished && (attemptsWithoutProgress >= kMaxAttemptsWithoutProgress ||
                               attempts >= ActiveTransferLimits.maxAttempts)) {
                if (quietFailure_ == 0) {
                    quietFailure_ = 9;
                    quietError_ = platform::http_error::kConnectionError;
                }
                reportQuietFailure();
            }
        }
    }

  private:
    // Where the current attempt is: the head and the body have limits of their own.
    enum class Phase { other, send, head, body };
    // Why a wait was abandoned.
    enum class Cancel { none, stop, slowHead, slowBody };

    bool progressShown() const { return showProgress_ && !run_.items.empty(); }
    std::int32_t itemCount() const { return static_cast<std::int32_t>(run_.items.size()); }
    std::int32_t progressBase() const { return run_.index * 100 / itemCount(); }

    // Every wait of the platform calls this: the window answers, a stop or a closed window ends
    // the wait, and so does a head that takes too long or a body that trickles.
    bool keepWaiting() {
        try {
            window_.pumpMessages();
        } catch (...) {
            closed_ = std::current_exception();
            return false;
        }
        if (StopRequested) {
            cancelled_ = Cancel::stop;
            return false;
        }
        const std::uint64_t now = system_.monotonicMilliseconds();
        // Some systems wait for the answer's head while sending the request: both count.
        const bool awaitingHead = phase_ == Phase::send || phase_ == Phase::head;
        if (awaitingHead && now - phaseStart_ >= ActiveTransferLimits.headMs) {
            cancelled_ = Cancel::slowHead;
            return false;
        }
        if (phase_ == Phase::body && now - phaseStart_ >= ActiveTransferLimits.windowMs) {
            cancelled_ = Cancel::slowBody;
            return false;
        }
        return true;
    }

    // A window closed during a wait ends the transfer as the close does everywhere else.
    void rethrowClose() {
        if (closed_) std::rethrow_exception(std::exchange(closed_, nullptr));
    }

    void enterPhase(Phase phase) {
        phase_ = phase;
        phaseStart_ = system_.monotonicMilliseconds();
        windowBytes_ = 0;
    }

    // Bytes of the body arrived: a window with enough of them starts the next window.
    void countBytes(std::uint32_t count) {
        windowBytes_ += count;
        if (windowBytes_ >= ActiveTransferLimits.minBytes) enterPhase(Phase::body);
    }

    bool trickling() const {
        return system_.monotonicMilliseconds() - phaseStart_ >= ActiveTransferLimits.windowMs;
    }

    // After a platform call failed: what the failure means when a wait was abandoned. True when
    // the caller has nothing more to report.
    bool handledCancel(int failureNumber) {
        rethrowClose();
        const Cancel cancel = std::exchange(cancelled_, Cancel::none);
        switch (cancel) {
            case Cancel::stop:
                stop();
                return true;
            case Cancel::slowHead:  // the answer did not come in time
                fail(5, platform::http_error::kTimeout);
                return true;
            case Cancel::slowBody:
                endedEarly(failureNumber, platform::http_error::kTimeout);
                return true;
            case Cancel::none:
                return false;
        }
        return false;
    }

    void appendStatus(const std::u16string& text) {
        window_.setStatusText(window_.statusText() + text);
    }

    void fail(int number, int error) {
        if (showErrors_) window_.showMessage(failureText(number) + SysErrorText(error));
        failed(number);
    }

    void failed(int number) {
        run_.RunOk = false;
        run_.failure = number;
    }

    // More than the caller allows is refused before it is read.
    bool overCap(std::uint64_t bytes) {
        if (bytes <= run_.cap.bytes) return false;
        window_.showMessage(run_.cap.message);
        failed(run_.cap.failure);
        return true;
    }

    void stop() {
        window_.showMessage(kStopped);
        failed(0);
    }

    void failWrite(int error) {
        if (sink_.inMemory()) {
            fail(9, http_.notEnoughMemoryError());
            return;
        }
        window_.showMessage(u"Не вдалося отримати дані (11). Неможливо зберегти файл: " +
                            SysErrorText(error));
        failed(11);
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
            failed(7);
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
            failed(12);
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
        std::u16string headers =
            u"Range: bytes=" + text::decimal(static_cast<std::int64_t>(sink_.size())) + u"-\r\n";
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

    // Bytes kept by an earlier run: the first attempt asks for the rest of the same version.
    void continueEarlier(const ResumeState& held) {
        expectedSize_ = static_cast<std::int64_t>(held.total);
        validator_ = held.validator;
        if (held.validatorIsEtag)
            etag_ = held.validator;
        else
            lastModified_ = held.validator;
    }

    // How a later run may continue this body: only a whole answer of known size and a strong
    // validator that the server lets us resume.
    std::optional<ResumeState> resumeState() const {
        if (expectedSize_ <= 0 || validator_.empty()) return std::nullopt;
        return ResumeState{static_cast<std::uint64_t>(expectedSize_), etag_ == validator_,
                           validator_};
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
        failed(7);
    }

    // Whether a 206 continues the held bytes of the same file: starts where they end, belongs to
    // a file of the first answer's size and carries its validator.
    bool continuesHeldBytes(HttpHandle request, const std::optional<std::uint64_t>& contentLength,
                            std::uint64_t& partSize) {
        const auto text = header(request, platform::HttpHeader::ContentRange);
        ContentRange range;
        if (!text || !parseContentRange(*text, range)) return false;
        partSize = static_cast<std::uint64_t>(range.last - range.first + 1);
        return range.first == static_cast<std::int64_t>(sink_.size()) &&
               range.total == expectedSize_ && (!contentLength || *contentLength == partSize) &&
               sameValidators(request);
    }

    static bool loginGiven() {
        return ProxySettings.mode == pmManual && !ProxySettings.login.empty();
    }

    // Sends the request, waits for the answer and reads its status.
    bool exchange(HttpHandle request, const std::u16string& headers, std::uint32_t& status) {
        enterPhase(Phase::send);
        if (!http_.sendRequest(request, headers)) {
            if (!handledCancel(4)) fail(4, http_.lastError());
            return false;
        }
        window_.pumpMessages();
        enterPhase(Phase::head);
        if (!http_.receiveResponse(request)) {
            if (!handledCancel(5)) fail(5, http_.lastError());
            return false;
        }
        enterPhase(Phase::other);
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
        if (isRedirect(status)) {
            followRedirect(request.get(), status);
            return;
        }
        if (status != 200 && status != 206) {
            if (showErrors_)
                window_.showMessage(u"Не вдалося отримати дані (7): Відповідь сервера: " +
                                    text::decimal(status));
            failed(7);
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
        if (contentLength && overCap(*contentLength + (status == 206 ? sink_.size() : 0))) return;
        if (contentLength && *contentLength > sink_.limit()) {
            fail(9, http_.notEnoughMemoryError());
            return;
        }
        std::optional<std::uint64_t> bodySize = contentLength;
        if (status == 200) {
            // A whole answer (also to a range request) replaces whatever is held.
            if (int error = 0; !sink_.clear(error)) {
                failWrite(error);
                return;
            }
            wholeAgain_ = false;
            expectedSize_ = contentLength && *contentLength <= INT64_MAX
                                ? static_cast<std::int64_t>(*contentLength)
                                : -1;
            rememberValidators(request.get());
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
                if (int error = 0; !sink_.clear(error)) failWrite(error);
                return;
            }
            bodySize = partSize;
        }
        window_.pumpMessages();
        if (const auto acceptRanges = header(request.get(), platform::HttpHeader::AcceptRanges);
            acceptRanges && acceptRanges->find(u"bytes") == std::u16string::npos)
            expectedSize_ = -1;
        if (status == 200) sink_.resumableAs(resumeState());
        window_.pumpMessages();
        readBody(request.get(), bodySize);
    }

    // Takes the redirect's target as the URL of the next request when it may be followed;
    // otherwise the redirect is the answer, failure 7 with its status.
    void followRedirect(HttpHandle request, std::uint32_t status) {
        const auto location = header(request, platform::HttpHeader::Location);
        const auto target = location ? redirectTarget(currentUrl_, *location) : std::nullopt;
        platform::UrlParts parts;
        const bool allowed = target && ++redirects_ <= kMaxRedirects &&
                             http_.crackUrl(*target, parts) &&
                             parts.scheme != platform::UrlScheme::other &&
                             (!secure_ || parts.scheme == platform::UrlScheme::https) &&
                             redirectAllowed(end(host_, port_), end(parts.host, parts.port));
        rethrowClose();
        if (std::exchange(cancelled_, Cancel::none) == Cancel::stop) {
            stop();
            return;
        }
        if (!allowed) {
            if (showErrors_)
                window_.showMessage(u"Не вдалося отримати дані (7): Відповідь сервера: " +
                                    text::decimal(status));
            failed(7);
            return;
        }
        currentUrl_ = *target;
        host_ = parts.host;
        port_ = parts.port;
        path_ = parts.path;
        secure_ = parts.scheme == platform::UrlScheme::https;
        redirected_ = true;
    }

    // One end of a redirect: a name reached directly is judged by its addresses too.
    RedirectEnd end(const std::u16string& host, std::uint16_t port) {
        RedirectEnd end{host, port, {}};
        const bool direct = accessType_ == platform::kAccessTypeNoProxy || isLoopbackHost(host_);
        if (direct && addressKind(host) == AddressKind::name)
            http_.resolveHost(host, end.addresses);
        return end;
    }

    void endedEarly(int number, int error) {
        if (expectedSize_ < 0)
            fail(number, error);
        else
            quiet(number, error);
    }

    // Reads the body: bodySize bytes when its size is known, else until the body ends. Bytes
    // gather in the write buffer and go to the sink in large pieces; whatever was gathered is
    // kept on every way out, so a later attempt continues after it.
    void readBody(HttpHandle request, const std::optional<std::uint64_t>& bodySize) {
        std::uint64_t received = 0;
        enterPhase(Phase::body);
        while (!bodySize || received < *bodySize) {
            if (StopRequested) {
                stop();
                break;
            }
            std::uint32_t available = 0;
            if (!http_.queryDataAvailable(request, available)) {
                if (!handledCancel(8)) endedEarly(8, http_.lastError());
                break;
            }
            if (available == 0) {
                // The answer ended short of its length: never a success with a short file.
                if (bodySize) endedEarly(9, platform::http_error::kConnectionError);
                break;
            }
            if (overCap(sink_.size() + gathered_ + available)) break;
            if (sink_.size() + gathered_ + available > sink_.limit()) {
                fail(9, http_.notEnoughMemoryError());
                break;
            }
            if (gathered_ + available > buffer_.size() && !flush()) break;
            // Nothing past the announced size belongs to the file.
            const std::uint32_t wanted = static_cast<std::uint32_t>(
                std::min<std::uint64_t>({available, buffer_.size() - gathered_,
                                         bodySize ? *bodySize - received : UINT64_MAX}));
            std::uint32_t read = 0;
            if (!http_.readData(request, buffer_.data() + gathered_, wanted, read)) {
                if (!handledCancel(9)) endedEarly(9, http_.lastError());
                break;
            }
            gathered_ += read;
            received += read;
            countBytes(read);
            showProgress(received, bodySize.value_or(0));
            window_.pumpMessages();
            if (trickling()) {
                endedEarly(9, platform::http_error::kTimeout);
                break;
            }
        }
        flush();
        enterPhase(Phase::other);
    }

    // Hands the gathered bytes to the sink; a sink that cannot keep them ends the transfer.
    bool flush() {
        if (gathered_ == 0) return true;
        int error = 0;
        const bool kept = sink_.append(buffer_.data(), gathered_, error);
        gathered_ = 0;
        if (!kept) failWrite(error);
        return kept;
    }

    void showProgress(std::uint64_t received, std::uint64_t bodySize) {
        if (!progressShown()) return;
        const std::int64_t count = itemCount();
        std::int64_t share;
        if (expectedSize_ > 0)
            share =
                100 * static_cast<std::int64_t>(sink_.size() + gathered_) / (count * expectedSize_);
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
    platform::System& system_;
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
    std::u16string validator_;          // for If-Range
    std::u16string currentUrl_ = url_;  // where the requests go, after any redirects
    int redirects_ = 0;
    bool redirected_ = false;  // the attempt ended in a redirect that is followed
    bool wholeAgain_ = false;  // the next attempt asks for the whole file
    bool restarted_ = false;   // the one fresh start after a part that did not fit was used
    MemorySink memory_;
    BodySink& sink_;
    std::vector<char> buffer_ = std::vector<char>(kWriteBuffer);
    std::size_t gathered_ = 0;  // bytes in buffer_ not yet in the sink

    Phase phase_ = Phase::other;
    std::uint64_t phaseStart_ = 0;
    std::uint64_t windowBytes_ = 0;
    Cancel cancelled_ = Cancel::none;
    std::exception_ptr closed_;
    int quietFailure_ = 0;
    int quietError_ = 0;
};

}  // namespace

void HttpGet(DownloadRun& run, const std::u16string& url, bool showProgress, bool showErrors) {
    Transfer(run, url, showProgress, showErrors).execute();
}
