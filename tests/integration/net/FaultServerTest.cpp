// The engine over the real back end against our fault-injecting server: resumption (within a
// transfer and across runs), refused ranges, body framing, stalls and trickles, oversized
// announcements, files that change between attempts, and waits that a stop or a close ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "FaultServer.h"
#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"
#include "net/SysErrorText.h"
#include "net/TransferLimits.h"
#include "platform/Crypto.h"
#include "run/ManifestTrust.h"
#include "run/PartFile.h"

namespace testnet {
namespace {

using Kind = Fault::Kind;

struct Scenario {
    const char* name;
    Resource resource;
    bool shortReceiveTimeout = false;
    bool succeeds = true;
    std::string expectedBody;  // when it succeeds
    std::size_t requests = 1;
    std::vector<const char16_t*> messagePrefixes;  // when it fails: one of these
    std::string secondRange;                       // Range header of the second request
    std::string secondIfRange;                     // If-Range header of the second request
    std::string thirdRange;                        // Range header of the third request
    TransferLimits limits;                         // the program's own unless shortened
};

// Trickles are told within a second rather than a minute.
TransferLimits shortLimits() {
    TransferLimits limits;
    limits.windowMs = 600;
    limits.headMs = 500;
    return limits;
}

const std::string kBody = pattern(100000, 1);
// A range whose start depends on how many bytes trickled through in time.
const std::string kAnyRange = "*";
const std::string kNewBody = pattern(100000, 7);

Resource resource(std::optional<std::string> acceptRanges, std::vector<Fault> faults) {
    Resource r;
    r.body = kBody;
    r.acceptRanges = std::move(acceptRanges);
    r.faults = std::move(faults);
    return r;
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    auto add = [&all](const char* name, Resource r, bool shortTimeout, bool succeeds,
                      std::string body, std::size_t requests,
                      std::vector<const char16_t*> prefixes = {}, std::string range = "",
                      std::string ifRange = "", std::string thirdRange = "") {
        all.push_back(Scenario{name, std::move(r), shortTimeout, succeeds, std::move(body),
                               requests, std::move(prefixes), std::move(range), std::move(ifRange),
                               std::move(thirdRange), TransferLimits{}});
    };
    const std::vector<const char16_t*> brokenNotResumable = {u"Не вдалося отримати дані (8).",
                                                             u"Не вдалося отримати дані (9)."};
    add("cut with Accept-Ranges absent resumes", resource(std::nullopt, {{Kind::cut, 30000}}),
        false, true, kBody, 2, {}, "bytes=30000-");
    add("cut with Accept-Ranges bytes resumes", resource("bytes", {{Kind::cut, 30000}}), false,
        true, kBody, 2, {}, "bytes=30000-");
    add("cut with Accept-Ranges none fails", resource("none", {{Kind::cut, 30000}}), false, false,
        "", 1, brokenNotResumable);
    Resource ignoresRange = resource("bytes", {{Kind::cut, 30000}});
    ignoresRange.honourRanges = false;
    add("200 to a range request restarts the stream", ignoresRange, false, true, kBody, 2, {},
        "bytes=30000-");
    Resource closeDelimited = resource(std::nullopt, {});
    closeDelimited.contentLength = false;
    add("close-delimited body is read until the server closes", closeDelimited, false, true, kBody,
        1);
    Resource chunked = resource(std::nullopt, {});
    chunked.chunked = true;
    add("chunked body is read to its last chunk", chunked, false, true, kBody, 1);
    Resource emptyClosed;
    emptyClosed.contentLength = false;
    add("close-delimited empty body is an empty success", emptyClosed, false, true, "", 1);
    Resource repeated = resource(std::nullopt, {});
    repeated.repeatLength = true;
    add("repeated identical Content-Length is one length", repeated, false, true, kBody, 1);
    Resource differing = resource(std::nullopt, {});
    differing.extraHeaders = {"Content-Length: 99999"};
    add("differing Content-Length values fail", differing, false, false, "", 1,
        {u"Не вдалося отримати дані (5)."});
    Resource unasked;
    unasked.status = 206;
    unasked.body = pattern(100, 3);
    unasked.contentRange = "bytes 0-99/1000";
    add("206 to a plain request fails", unasked, false, false, "", 1,
        {u"Не вдалося отримати дані (7): Відповідь сервера: 206"});
    Resource empty;
    add("Content-Length 0 gives an empty success", empty, false, true, "", 1);
    Resource missing = resource(std::nullopt, {});
    missing.status = 404;
    add("404 is failure 7", missing, false, false, "", 1,
        {u"Не вдалося отримати дані (7): Відповідь сервера: 404"});
    add("stall when resumable resumes after the receive time-out",
        resource("bytes", {{Kind::stall, 30000}}), true, true, kBody, 2, {}, "bytes=30000-");
    add("stall when not resumable fails", resource("none", {{Kind::stall, 30000}}), true, false, "",
        1, brokenNotResumable);
    Resource changing = resource("bytes", {{Kind::cut, 30000}});
    changing.etag = "\"v1\"";
    changing.changedBody = kNewBody;
    changing.changedEtag = "\"v2\"";
    add("file changed between attempts is fetched whole again", changing, false, true, kNewBody, 2,
        {}, "bytes=30000-", "\"v1\"");
    Resource retagged = changing;
    retagged.ignoreIfRange = true;
    add("part of a changed file by its ETag is dropped and the file fetched whole", retagged, false,
        true, kNewBody, 3, {}, "bytes=30000-", "\"v1\"");
    Resource resized = resource("bytes", {{Kind::cut, 30000}});
    resized.changedBody = pattern(150000, 7);
    add("part of a changed file by its total is dropped and the file fetched whole", resized, false,
        true, resized.changedBody, 3, {}, "bytes=30000-");
    Resource shifted = resource("bytes", {{Kind::cut, 30000}, {}, {Kind::cut, 30000}});
    shifted.rangeShift = 10;
    add("a part from the wrong start is dropped once, then fails", shifted, false, false, "", 4,
        {u"Не вдалося отримати дані (7): Відповідь сервера: 206"}, "bytes=30000-");
    add("three attempts without new bytes end the call",
        resource(
            "bytes",
            {{Kind::cut, 30000}, {Kind::cut, 0}, {Kind::cut, 0}, {Kind::cut, 0}, {Kind::cut, 0}}),
        false, false, "", 4, brokenNotResumable, "bytes=30000-", "", "bytes=30000-");
    // Each attempt brings a byte, so only the cap on attempts ends these.
    add("one byte then a close, again and again, ends after ten attempts",
        resource("bytes", std::vector<Fault>(12, {Kind::cut, 1})), false, false, "", 10,
        brokenNotResumable, "bytes=1-", "", "bytes=2-");
    add("a trickling body counts as cut, and attempts run out",
        resource("bytes", std::vector<Fault>(12, {Kind::trickle, 0})), false, false, "", 10,
        brokenNotResumable, kAnyRange, "", kAnyRange);
    all.back().limits = shortLimits();
    add("a trickling head is failure 5", resource("bytes", {{Kind::trickleHead, 0}}), false, false,
        "", 1, {u"Не вдалося отримати дані (5)."});
    all.back().limits = shortLimits();
    return all;
}

class FaultServerTest : public NativeHttpTest {
  protected:
    void SetUp() override {
        NativeHttpTest::SetUp();
        previousCrypto_ = platform::install<platform::Crypto>(crypto.get());
    }
    void TearDown() override {
        run.sink = nullptr;
        platform::install<platform::Crypto>(previousCrypto_);
        NativeHttpTest::TearDown();
    }
    static std::string readWhole(const std::u16string& path) {
        auto& files = platform::get<platform::Files>();
        int error = 0;
        const auto file = files.openRead(path, false, error);
        std::string bytes;
        char piece[65536];
        for (int n; file != platform::Files::kInvalid &&
                    (n = files.read(file, piece, sizeof piece, error)) > 0;)
            bytes.append(piece, static_cast<std::size_t>(n));
        files.close(file);
        return bytes;
    }

    std::unique_ptr<platform::Crypto> crypto = platform::createNativeCrypto();

  private:
    platform::Crypto* previousCrypto_ = nullptr;
};

TEST_F(FaultServerTest, EachDeclaredFaultEndsAsItShould) {
    for (const Scenario& scenario : scenarios()) {
        SCOPED_TRACE(scenario.name);
        FaultServer server({{"/file.bin", scenario.resource}});
        http.receiveMs = scenario.shortReceiveTimeout ? 1500 : 0;
        ActiveTransferLimits = scenario.limits;
        window.messages.clear();
        run.RunOk = true;
        HttpGet(run, text::fromUtf8(server.url("/file.bin")), false, true);

        EXPECT_EQ(run.RunOk, scenario.succeeds);
        if (scenario.succeeds) {
            EXPECT_TRUE(run.stream == scenario.expectedBody)
                << "stream of " << run.stream.size() << " bytes";
            EXPECT_TRUE(window.messages.empty());
        } else {
            ASSERT_EQ(window.messages.size(), 1u);
            bool matched = false;
            for (const char16_t* prefix : scenario.messagePrefixes)
                matched = matched || window.messages[0].rfind(prefix, 0) == 0;
            EXPECT_TRUE(matched) << text::toUtf8(window.messages[0]);
        }
        const auto requests = server.requests();
        EXPECT_EQ(requests.size(), scenario.requests);
        if (!requests.empty()) {
            EXPECT_EQ(headerValue(requests[0], "Range"), "");
        }
        if (requests.size() > 1) {
            if (scenario.secondRange != kAnyRange) {
                EXPECT_EQ(headerValue(requests[1], "Range"), scenario.secondRange);
            }
            EXPECT_EQ(headerValue(requests[1], "If-Range"), scenario.secondIfRange);
        }
        if (requests.size() > 2) {
            if (scenario.thirdRange != kAnyRange) {
                EXPECT_EQ(headerValue(requests[2], "Range"), scenario.thirdRange);
            }
        }
    }
    ActiveTransferLimits = TransferLimits{};
}

// A stop or a closed window reaches the transfer while it waits for a silent server, not when
// the server's time-out ends the wait.
TEST_F(FaultServerTest, AStopOrACloseDuringASilentWaitEndsTheTransferAtOnce) {
    struct Closed {};
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "stop");
        FaultServer server({{"/f", resource("bytes", {{Kind::stall, 0}})}});
        StopRequested = false;
        window.messages.clear();
        run.RunOk = true;
        window.onPump = [&] {
            if (server.requests().empty()) return;
            if (close) throw Closed{};
            StopRequested = true;
        };
        if (close)
            EXPECT_THROW(HttpGet(run, text::fromUtf8(server.url("/f")), false, false), Closed);
        else
            HttpGet(run, text::fromUtf8(server.url("/f")), false, false);
        window.onPump = nullptr;
        EXPECT_EQ(window.messages, close ? std::vector<std::u16string>{}
                                         : std::vector<std::u16string>{u"Зупинено користувачем."});
        EXPECT_EQ(run.RunOk, close);
        EXPECT_EQ(server.requests().size(), 1u);
    }
}

// A redirect is followed within its own site, at most five times, and never to this machine.
TEST_F(FaultServerTest, RedirectsAreFollowedOnlyWithinTheSiteAndNeverToThisMachine) {
    Resource moved;
    moved.body = "moved";
    FaultServer monitor({{"/run", moved}});
    const auto redirect = [](const std::string& location) {
        Resource r;
        r.status = 302;
        r.extraHeaders = {"Location: " + location};
        return r;
    };
    struct Row {
        std::string location;
        bool followed;
    };
    for (const Row& row :
         {Row{"/moved", true}, Row{monitor.url("/run"), false},
          Row{"http://localhost:1/moved", false}, Row{"http://169.254.169.254/latest", false},
          Row{"http://[::1]:1/", false}}) {
        SCOPED_TRACE(row.location);
        FaultServer site({{"/file.bin", redirect(row.location)}, {"/moved", moved}});
        window.messages.clear();
        run.RunOk = true;
        HttpGet(run, text::fromUtf8(site.url("/file.bin")), false, true);
        EXPECT_EQ(run.RunOk, row.followed);
        if (row.followed)
            EXPECT_EQ(run.stream, "moved");
        else
            EXPECT_EQ(window.messages,
                      std::vector<std::u16string>{
                          u"Не вдалося отримати дані (7): Відповідь сервера: 302"});
        EXPECT_EQ(site.requests().size(), row.followed ? 2u : 1u);
    }
    EXPECT_TRUE(monitor.requests().empty());

    std::map<std::string, Resource> chain{{"/r6", moved}};
    for (int i = 0; i < 6; ++i)
        chain["/r" + std::to_string(i)] = redirect("/r" + std::to_string(i + 1));
    FaultServer site(chain);
    window.messages.clear();
    run.RunOk = true;
    HttpGet(run, text::fromUtf8(site.url("/r0")), false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(site.requests().size(), 6u);
}

// A small answer is capped: announced larger, it is refused before its body; sent without a
// length, reading stops at the cap.
TEST_F(FaultServerTest, AnAnswerLargerThanItsCapIsFailure16AndNoMoreIsRead) {
    Resource chunked = resource(std::nullopt, {});
    chunked.chunked = true;
    FaultServer server({{"/announced", resource("bytes", {})}, {"/chunked", chunked}});
    for (const char* target : {"/announced", "/chunked"}) {
        SCOPED_TRACE(target);
        window.messages.clear();
        run.RunOk = true;
        {
            const CappedAnswer capped(run, 1024);
            HttpGet(run, text::fromUtf8(server.url(target)), false, false);
        }
        EXPECT_FALSE(run.RunOk);
        EXPECT_EQ(run.failure, 16);
        EXPECT_LE(run.stream.size(), 1024u);
        EXPECT_EQ(window.messages,
                  std::vector<std::u16string>{
                      u"Не вдалося отримати дані (16). Відповідь сервера завелика."});
    }
    EXPECT_EQ(run.cap.bytes, UINT64_MAX);
}

// A transfer that ends for good keeps its part; the next one (the next run) asks for the rest of
// the same version and the whole file's hash covers the kept bytes too.
TEST_F(FaultServerTest, APartKeptByOneTransferIsContinuedByTheNext) {
    Resource r =
        resource("bytes", {{Kind::cut, 30000}, {Kind::cut, 0}, {Kind::cut, 0}, {Kind::cut, 0}});
    r.etag = "\"v1\"";
    FaultServer server({{"/setup.exe", r}});
    const std::u16string url = text::fromUtf8(server.url("/setup.exe"));
    const std::u16string folder = platform::get<platform::Files>().temporaryFolder();
    const std::u16string name = folder + u"fault-server-resumed.exe";
    std::u16string errorText;
    {
        PartFile part(folder, url);
        ASSERT_TRUE(part.open(errorText));
        run.sink = &part;
        HttpGet(run, url, true, true);
        EXPECT_FALSE(run.RunOk);
    }
    run.RunOk = true;
    PartFile part(folder, url);
    ASSERT_TRUE(part.open(errorText));
    EXPECT_EQ(part.size(), 30000u);
    run.sink = &part;
    HttpGet(run, url, true, true);
    run.sink = nullptr;
    ASSERT_TRUE(run.RunOk);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(headerValue(requests[4], "Range"), "bytes=30000-");
    EXPECT_EQ(headerValue(requests[4], "If-Range"), "\"v1\"");
    platform::Crypto::Sha256Digest whole{}, expected{};
    ASSERT_TRUE(part.digest(whole));
    ASSERT_TRUE(crypto->sha256(kBody, expected));
    EXPECT_EQ(whole, expected);
    ASSERT_TRUE(part.finish(name, errorText));
    EXPECT_EQ(readWhole(name), kBody);
    EXPECT_TRUE(platform::get<platform::Files>().list(folder, PartFile::kMask).empty());
    platform::get<platform::Files>().remove(name);
}

TEST_F(FaultServerTest, StalledNotResumableAnswerReportsTheTimeOut) {
    FaultServer server({{"/f", resource("none", {{Kind::stall, 1000}})}});
    http.receiveMs = 1000;
    HttpGet(run, text::fromUtf8(server.url("/f")), false, true);
    ASSERT_EQ(window.messages.size(), 1u);
    // WinHTTP says 12002; Wine's WinHTTP passes on the socket's own WSAETIMEDOUT (10060).
    const std::u16string& message = window.messages[0];
    EXPECT_TRUE(message.find(u"12002") != std::u16string::npos ||
                message.find(u"10060") != std::u16string::npos)
        << text::toUtf8(message);
}

// The back end itself: while the answer's head or its body is awaited the hook is asked again and
// again, and the wait it gives up fails at once with 12017 (not the receive time-out's error).
TEST_F(FaultServerTest, AWaitTheHookGivesUpFailsWithOperationCancelled) {
    for (const std::string target : {"/silent", "/no-body"}) {
        SCOPED_TRACE(target);
        const Kind fault = target == "/silent" ? Kind::silent : Kind::stall;
        FaultServer server({{target, resource("bytes", {{fault, 0}})}});
        const auto session = real->openSession(u"test", platform::kAccessTypeNoProxy, u"", u"", 0);
        ASSERT_TRUE(real->setTimeouts(session, 20000, 20000, 20000, 20000));
        const auto connection = real->connect(session, u"127.0.0.1", server.port());
        const auto request = real->openRequest(connection, u"GET", text::fromUtf8(target), 0);
        if (target == "/no-body") {
            ASSERT_TRUE(real->sendRequest(request, u"") && real->receiveResponse(request));
        }
        int asked = 0;
        real->setWaitHook([&asked] { return ++asked < 4; });
        std::uint32_t bytes = 0;
        // Wine's WinHTTP awaits the head already while sending.
        EXPECT_FALSE(target == "/silent"
                         ? real->sendRequest(request, u"") && real->receiveResponse(request)
                         : real->queryDataAvailable(request, bytes));
        EXPECT_EQ(real->lastError(), platform::http_error::kOperationCancelled);
        EXPECT_EQ(asked, 4);
        real->setWaitHook(nullptr);
        for (const auto handle : {request, connection, session})
            EXPECT_TRUE(real->closeHandle(handle));
    }
}

TEST_F(FaultServerTest, PathKeepsItsQueryAndHasBlanksAndQuotesEscaped) {
    Resource r;
    r.body = "escaped";
    FaultServer server({{"/a%20b.txt?x=%221%22", r}});
    HttpGet(run, u"http://127.0.0.1:" + text::decimal(server.port()) + u"/a b.txt?x=\"1\"", false,
            true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(run.stream, "escaped");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(requestTarget(server.requests()[0]), "/a%20b.txt?x=%221%22");
    EXPECT_EQ(headerValue(server.requests()[0], "User-Agent"), "ORVL Downloader 1.0");
}

TEST_F(FaultServerTest, UnreachablePortIsFailureFourOrFive) {
    std::uint16_t port = 0;
    const Socket probe = listenOnLoopback(port);
    closeSocket(probe);  // nothing listens there any more
    HttpGet(run, u"http://127.0.0.1:" + text::decimal(port) + u"/x", false, true);
    EXPECT_FALSE(run.RunOk);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_TRUE(startsWithAny(window.messages[0],
                              {u"Не вдалося отримати дані (4).", u"Не вдалося отримати дані (5)."}))
        << text::toUtf8(window.messages[0]);
    EXPECT_NE(window.messages[0].find(u"12029"), std::u16string::npos);
}

TEST_F(FaultServerTest, AnnouncementBeyondWhatCanBeHeldIsFailureNineWithTheOutOfMemoryText) {
    Resource huge;
    huge.body = "0123456789";
    huge.contentLength = false;
    huge.extraHeaders = {"Content-Length: 4000000000"};
    FaultServer server({{"/huge.bin", huge}});
    HttpGet(run, text::fromUtf8(server.url("/huge.bin")), false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_TRUE(run.stream.empty());
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (9)." +
                                          SysErrorText(real->notEnoughMemoryError())});
    // The system's own words, not those another number happens to have on this system.
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_TRUE(window.messages[0].find(u"memory") != std::u16string::npos ||
                window.messages[0].find(u"пам'яті") != std::u16string::npos)
        << text::toUtf8(window.messages[0]);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(FaultServerTest, LoopbackIsReachedDirectlyEvenWithAManualProxy) {
    Resource accepted;  // the monitor service's empty answer
    FaultServer monitor({{"/run?param=1", accepted}});
    FaultServer proxy(std::map<std::string, Resource>{});
    ProxySettings.mode = pmManual;
    ProxySettings.host = u"127.0.0.1";
    ProxySettings.port = proxy.port();
    ProxySettings.login = u"user";
    ProxySettings.password = u"secret";
    for (const char16_t* host : {u"127.0.0.1", u"localhost"}) {
        run.RunOk = true;
        HttpGet(run,
                u"http://" + std::u16string(host) + u":" + text::decimal(monitor.port()) +
                    u"/run?param=1",
                false, true);
        EXPECT_TRUE(run.RunOk) << text::toUtf8(host);
    }
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(proxy.requests().empty());
    ASSERT_EQ(monitor.requests().size(), 2u);
    EXPECT_EQ(headerValue(monitor.requests()[0], "Proxy-Authorization"), "");
}

TEST_F(FaultServerTest, ProgressReachesTheEndOfTheItemsShare) {
    FaultServer server({{"/f", resource("bytes", {{Kind::cut, 50000}})}});
    run.items.resize(2);
    run.index = 0;
    HttpGet(run, text::fromUtf8(server.url("/f")), true, true);
    EXPECT_TRUE(run.RunOk);
    ASSERT_FALSE(window.positions.empty());
    EXPECT_EQ(window.positions.front(), 0);
    EXPECT_EQ(window.positions.back(), 50);
    EXPECT_TRUE(std::is_sorted(window.positions.begin(), window.positions.end()));
}

}  // namespace
}  // namespace testnet
