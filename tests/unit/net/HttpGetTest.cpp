// The engine's exchange with the HTTP seam: call order, headers, resumption, failures and their
// texts, the stop button and the progress bar.
#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/HttpGet.h"

namespace {

using fakes::FakeResponse;
using FailAt = fakes::FakeResponse::FailAt;
using platform::HttpHeader;
using Calls = std::vector<std::string>;

class HttpGetTest : public nettest::EngineTest {};

TEST_F(HttpGetTest, PlainFetchMakesTheDocumentedCallsAndClosesRequestConnectionSession) {
    http.responses.push_back(ok("hello"));
    HttpGet(run, u"http://host:8080/a/b.exe?x=1", false, true);

    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(run.stream, "hello");
    EXPECT_EQ(http.calls, (Calls{
                              "crackUrl(http://host:8080/a/b.exe?x=1)",
                              "openSession(ORVL Downloader 1.0,1,,,0)",
                              "setTimeouts(#1,0,60000,30000,120000)",
                              "connect(#1,host,8080)",
                              "openRequest(#2,GET,/a/b.exe?x=1,0x0)",
                              "sendRequest(#3,)",
                              "receiveResponse(#3)",
                              "queryStatusCode(#3)",
                              "queryHeader(#3,Content-Length)",
                              "queryHeader(#3,ETag)",
                              "queryHeader(#3,Last-Modified)",
                              "queryHeader(#3,Accept-Ranges)",
                              "queryDataAvailable(#3)",
                              "readData(#3,5)",
                              "close(#3)",
                              "close(#2)",
                              "close(#1)",
                          }));
    EXPECT_EQ(window.status, u"1 ");
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(HttpGetTest, HttpsUrlOpensASecureRequest) {
    http.responses.push_back(ok("x"));
    HttpGet(run, u"https://host/f", false, true);
    EXPECT_EQ(http.callsStartingWith("openRequest"), Calls{"openRequest(#2,GET,/f,0x800000)"});
    EXPECT_EQ(http.callsStartingWith("connect"), Calls{"connect(#1,host,443)"});
}

TEST_F(HttpGetTest, StreamIsEmptiedOnlyAfterTheSessionOpened) {
    run.stream = "old";
    http.sessionFails = true;
    HttpGet(run, u"http://h/", false, true);
    EXPECT_EQ(run.stream, "old");
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося отримати дані (1).8"});
}

TEST_F(HttpGetTest, FailedTimeoutsAreFailureOne) {
    http.timeoutsFail = true;
    system.texts[{87, 0x0422}] = u"Параметр задано неправильно.\r\n";
    HttpGet(run, u"http://h/", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{
                  u"Не вдалося отримати дані (1).Параметр задано неправильно.: 87"});
}

TEST_F(HttpGetTest, UnsplittableUrlIsFailureTwelveYetTheSessionIsOpenedAndClosed) {
    http.crackFails = true;
    system.texts[{12006, 0x0800}] = u"The URL does not use a recognized protocol\r\n";
    HttpGet(run, u"foo", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (12).The URL does not use a "
                                          u"recognized protocol: 12006\r\nfoo"});
    EXPECT_EQ(http.calls, (Calls{"crackUrl(foo)", "openSession(ORVL Downloader 1.0,1,,,0)",
                                 "setTimeouts(#1,0,60000,30000,120000)", "close(#1)"}));
    EXPECT_EQ(window.status, u"1 ");
}

struct StepFailure {
    FailAt at;
    int error;
    const char16_t* message;
};

TEST_F(HttpGetTest, EachFailingStepShowsItsNumberedMessageWithTheSystemText) {
    const StepFailure cases[] = {
        {FailAt::connect, 12029,
         u"Не вдалося отримати дані (2).Не вдалося з'єднатися з сервером: 12029"},
        {FailAt::openRequest, 12029,
         u"Не вдалося отримати дані (3).Не вдалося з'єднатися з сервером: 12029"},
        {FailAt::send, 12002, u"Не вдалося отримати дані (4).Час очікування вичерпано: 12002"},
        {FailAt::receive, 12030,
         u"Не вдалося отримати дані (5).The connection with the server was terminated "
         u"abnormally: 12030"},
        {FailAt::status, 12345, u"Не вдалося отримати дані (6).12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.at));
        fakes::FakeHttp fresh;
        platform::install<platform::Http>(&fresh);
        fakes::FakeRunWindow freshWindow;
        DownloadRun freshRun(freshWindow);
        FakeResponse r = ok("abc");
        r.failAt = c.at;
        r.error = c.error;
        fresh.responses.push_back(r);
        HttpGet(freshRun, u"http://h/f", false, true);
        EXPECT_FALSE(freshRun.RunOk);
        EXPECT_EQ(freshWindow.messages, std::vector<std::u16string>{c.message});
        EXPECT_TRUE(fresh.openHandles.empty());
        EXPECT_EQ(fresh.callsStartingWith("connect").size(), 1u);
        platform::install<platform::Http>(&http);
    }
}

TEST_F(HttpGetTest, StatusOtherThan200Or206IsFailureSevenWithTheCode) {
    FakeResponse r = ok("not found");
    r.status = 404;
    http.responses.push_back(r);
    HttpGet(run, u"http://h/missing", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 404"});
    EXPECT_TRUE(http.callsStartingWith("queryHeader").empty());
}

TEST_F(HttpGetTest, SilentCallShowsNoFailureButStillFails) {
    FakeResponse r;
    r.failAt = FailAt::connect;
    r.error = 12029;
    http.responses.push_back(r);
    HttpGet(run, u"https://h/update/ver.txt", false, false);
    EXPECT_FALSE(run.RunOk);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(HttpGetTest, BodyIsFramedByItsOneContentLengthElseReadToItsEnd) {
    FakeResponse unframed;  // chunked or closed by the server: read until nothing more comes
    unframed.chunks = {"chun", "ked"};
    FakeResponse empty;  // the monitor service's acceptance
    FakeResponse zero = ok("");
    FakeResponse repeated = ok("1234");
    repeated.headers[HttpHeader::ContentLength] = u"4, 4";
    const std::pair<FakeResponse, std::string> cases[] = {
        {unframed, "chunked"}, {empty, ""}, {zero, ""}, {repeated, "1234"}};
    for (const auto& [response, body] : cases) {
        run.RunOk = true;
        run.stream = "previous";
        http.responses.push_back(response);
        HttpGet(run, u"http://127.0.0.1:48754/run?param=1", false, true);
        EXPECT_TRUE(run.RunOk);
        EXPECT_EQ(run.stream, body);
    }
    EXPECT_TRUE(window.messages.empty());
}

// A first answer of 10 bytes that breaks after "abcd".
FakeResponse brokenAfterFour(std::map<HttpHeader, std::u16string> headers = {}) {
    FakeResponse r;
    r.contentLength = 10;
    r.headers = std::move(headers);
    r.chunks = {"abcd"};
    r.failAt = FailAt::dataAvailable;
    r.chunksBeforeFailure = 1;
    r.error = 12030;
    return r;
}

FakeResponse partial(const std::u16string& range, std::string body) {
    FakeResponse r;
    r.status = 206;
    r.contentLength = static_cast<std::uint32_t>(body.size());
    r.headers[HttpHeader::ContentRange] = range;
    r.chunks = {std::move(body)};
    return r;
}

TEST_F(HttpGetTest, BrokenTransferResumesWithARangeFromTheHeldSize) {
    for (const char16_t* acceptRanges : {u"", u"bytes"}) {
        SCOPED_TRACE(text::toUtf8(acceptRanges));
        fakes::FakeHttp fresh;
        platform::install<platform::Http>(&fresh);
        run.RunOk = true;
        std::map<HttpHeader, std::u16string> headers;
        if (*acceptRanges) headers[HttpHeader::AcceptRanges] = acceptRanges;
        fresh.responses.push_back(brokenAfterFour(headers));
        fresh.responses.push_back(partial(u"bytes 4-9/10", "efghij"));
        HttpGet(run, u"http://h/f.exe", false, true);
        EXPECT_TRUE(run.RunOk);
        EXPECT_EQ(run.stream, "abcdefghij");
        EXPECT_EQ(fresh.sentHeaders, (std::vector<std::u16string>{u"", u"Range: bytes=4-\r\n"}));
        EXPECT_TRUE(window.messages.empty());
        EXPECT_TRUE(fresh.openHandles.empty());
        platform::install<platform::Http>(&http);
    }
}

TEST_F(HttpGetTest, RangeRequestsCarryIfRangeWithTheStrongETagElseLastModified) {
    struct Case {
        std::map<HttpHeader, std::u16string> headers;
        std::u16string expected;
    };
    const Case cases[] = {
        {{{HttpHeader::ETag, u"\"v1\""},
          {HttpHeader::LastModified, u"Mon, 07 Dec 2026 10:00:00 GMT"}},
         u"Range: bytes=4-\r\nIf-Range: \"v1\"\r\n"},
        {{{HttpHeader::LastModified, u"Mon, 07 Dec 2026 10:00:00 GMT"}},
         u"Range: bytes=4-\r\nIf-Range: Mon, 07 Dec 2026 10:00:00 GMT\r\n"},
        {{{HttpHeader::ETag, u"W/\"weak\""},
          {HttpHeader::LastModified, u"Tue, 08 Dec 2026 01:02:03 GMT"}},
         u"Range: bytes=4-\r\nIf-Range: Tue, 08 Dec 2026 01:02:03 GMT\r\n"},
    };
    for (const auto& c : cases) {
        fakes::FakeHttp fresh;
        platform::install<platform::Http>(&fresh);
        run.RunOk = true;
        fresh.responses.push_back(brokenAfterFour(c.headers));
        FakeResponse rest = partial(u"bytes 4-9/10", "efghij");
        rest.headers.insert(c.headers.begin(), c.headers.end());  // the same file's validators
        fresh.responses.push_back(rest);
        HttpGet(run, u"http://h/f.exe", false, true);
        ASSERT_EQ(fresh.sentHeaders.size(), 2u);
        EXPECT_EQ(fresh.sentHeaders[1], c.expected);
        EXPECT_EQ(run.stream, "abcdefghij");
        platform::install<platform::Http>(&http);
    }
}

TEST_F(HttpGetTest, WholeAnswerToARangeRequestReplacesTheHeldBytes) {
    http.responses.push_back(brokenAfterFour({{HttpHeader::ETag, u"\"v1\""}}));
    http.responses.push_back(ok("ABCDEFGHIJ"));  // the file changed: If-Range gave it whole
    HttpGet(run, u"http://h/f.exe", false, true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(run.stream, "ABCDEFGHIJ");
}

// The kinds of misfit (start, total, tag) and an unasked part run against the fault server.
TEST_F(HttpGetTest, PartThatDoesNotContinueTheSameFileIsDroppedOnceThenFails) {
    const std::map<HttpHeader, std::u16string> v1{{HttpHeader::ETag, u"\"v1\""}};
    FakeResponse misfit = partial(u"bytes 4-9/10", "EFGHIJ");
    misfit.headers[HttpHeader::ETag] = u"\"v2\"";
    http.responses.push_back(brokenAfterFour(v1));
    http.responses.push_back(misfit);
    http.responses.push_back(brokenAfterFour(v1));
    http.responses.push_back(misfit);
    HttpGet(run, u"http://h/f.exe", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(http.sentHeaders,
              (std::vector<std::u16string>{u"", u"Range: bytes=4-\r\nIf-Range: \"v1\"\r\n", u"",
                                           u"Range: bytes=4-\r\nIf-Range: \"v1\"\r\n"}));
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося отримати дані (7): Відповідь сервера: 206"});
}

TEST_F(HttpGetTest, ThreeAttemptsInARowWithoutNewBytesEndWithTheLastFailure) {
    http.responses.push_back(brokenAfterFour());
    for (int i = 0; i < 5; ++i) {
        FakeResponse r = partial(u"bytes 4-9/10", "efghij");
        r.failAt = FailAt::dataAvailable;
        r.chunksBeforeFailure = 0;
        r.error = i == 2 ? 12002 : 12030;
        http.responses.push_back(r);
    }
    HttpGet(run, u"http://h/f.exe", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(http.callsStartingWith("openRequest").size(), 4u);
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{
                  u"Не вдалося отримати дані (8).Час очікування вичерпано: 12002"});
}

TEST_F(HttpGetTest, NonResumableBreakIsFailureEightOrNine) {
    const std::map<HttpHeader, std::u16string> none{{HttpHeader::AcceptRanges, u"none"}};
    FakeResponse atAvailable = brokenAfterFour(none);
    FakeResponse atRead = brokenAfterFour(none);
    atRead.failAt = FailAt::read;
    FakeResponse shortEnd = brokenAfterFour(none);
    shortEnd.failAt = FailAt::nothing;  // the answer just ends after 4 of 10 bytes
    const std::pair<FakeResponse, const char16_t*> cases[] = {
        {atAvailable,
         u"Не вдалося отримати дані (8).The connection with the server was "
         u"terminated abnormally: 12030"},
        {atRead,
         u"Не вдалося отримати дані (9).The connection with the server was terminated "
         u"abnormally: 12030"},
        {shortEnd,
         u"Не вдалося отримати дані (9).The connection with the server was terminated "
         u"abnormally: 12030"},
    };
    for (const auto& [response, message] : cases) {
        fakes::FakeHttp fresh;
        platform::install<platform::Http>(&fresh);
        fakes::FakeRunWindow freshWindow;
        DownloadRun freshRun(freshWindow);
        fresh.responses.push_back(response);
        HttpGet(freshRun, u"http://h/f.exe", false, true);
        EXPECT_FALSE(freshRun.RunOk);
        EXPECT_EQ(freshWindow.messages, std::vector<std::u16string>{message});
        EXPECT_EQ(fresh.callsStartingWith("openRequest").size(), 1u);
        platform::install<platform::Http>(&http);
    }
}

TEST_F(HttpGetTest, ResumableAnswerThatEndsShortIsContinued) {
    FakeResponse r = brokenAfterFour();
    r.failAt = FailAt::nothing;
    http.responses.push_back(r);
    http.responses.push_back(partial(u"bytes 4-9/10", "efghij"));
    HttpGet(run, u"http://h/f.exe", false, true);
    EXPECT_TRUE(run.RunOk);
    EXPECT_EQ(run.stream, "abcdefghij");
}

TEST_F(HttpGetTest, StopDuringReadingShowsTheStopMessageEvenWhenSilent) {
    FakeResponse r;
    r.contentLength = 6;
    r.chunks = {"ab", "cd", "ef"};
    http.responses.push_back(r);
    http.onRead = [] { StopRequested = true; };
    HttpGet(run, u"https://h/update/ver.txt", false, false);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Зупинено користувачем."});
    EXPECT_EQ(run.stream, "ab");
}

TEST_F(HttpGetTest, StopBeforeAnAttemptConnectsNowhere) {
    StopRequested = true;
    HttpGet(run, u"http://h/f", false, true);
    EXPECT_FALSE(run.RunOk);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Зупинено користувачем."});
    EXPECT_TRUE(http.callsStartingWith("connect").empty());
}

TEST_F(HttpGetTest, ProgressCoversTheItemsShareOfTheBar) {
    run.items.resize(2);
    run.index = 1;
    FakeResponse r;
    r.contentLength = 100;
    r.chunks = {std::string(50, 'a'), std::string(50, 'b')};
    http.responses.push_back(r);
    HttpGet(run, u"http://h/sql.msi", true, true);
    EXPECT_EQ(window.positions, (std::vector<std::int32_t>{50, 75, 100}));
}

TEST_F(HttpGetTest, ProgressUsesTheContentLengthWhenNotResumable) {
    run.items.resize(1);
    FakeResponse r;
    r.contentLength = 4;
    r.headers[HttpHeader::AcceptRanges] = u"none";
    r.chunks = {"a", "bcd"};
    http.responses.push_back(r);
    HttpGet(run, u"http://h/f", true, true);
    EXPECT_EQ(window.positions, (std::vector<std::int32_t>{0, 25, 100}));
}

TEST_F(HttpGetTest, NoProgressWithoutShowProgressOrItems) {
    http.responses.push_back(ok("abc"));
    HttpGet(run, u"http://h/f", true, true);
    run.items.resize(1);
    http.responses.push_back(ok("abc"));
    HttpGet(run, u"http://h/f", false, true);
    EXPECT_TRUE(window.positions.empty());
}

}  // namespace
