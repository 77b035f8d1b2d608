// orvelle-fetch: its options become the proxy settings, the engine's messages reach stderr
// exactly, and the file takes its name only after a whole transfer.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "FakeHttp.h"
#include "common/Text.h"
#include "net/SysErrorText.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "settings/ProxySettings.h"
#include "tools/fetch/FetchTool.h"

namespace {

class FetchToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = platform::install<platform::Http>(&http);
        previousCrypto_ = platform::install<platform::Crypto>(crypto_.get());
        ProxySettings = TProxySettings{};
        auto& files = platform::get<platform::Files>();
        out = files.temporaryFolder() + u"orvelle-fetch-test.bin";
        files.deleteByMask(files.temporaryFolder(), u"orvelle-fetch-test.bin");
    }
    void TearDown() override {
        auto& files = platform::get<platform::Files>();
        files.deleteByMask(files.temporaryFolder(), u"orvelle-fetch-test.bin");
        platform::install<platform::Http>(previous_);
        platform::install<platform::Crypto>(previousCrypto_);
        ProxySettings = TProxySettings{};
    }
    int run(std::vector<std::u16string> arguments) { return fetchtool::run(arguments, err, out_); }
    std::string written() {
        std::ifstream in(text::toUtf8(out), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fakes::FakeHttp http;
    std::ostringstream err;
    std::ostringstream out_;
    std::u16string out;

  private:
    platform::Http* previous_ = nullptr;
    std::unique_ptr<platform::Crypto> crypto_ = platform::createNativeCrypto();
    platform::Crypto* previousCrypto_ = nullptr;
};

TEST_F(FetchToolTest, WritesTheWholeFileAndReportsProgressAndTheNetworkPath) {
    fakes::FakeResponse r;
    r.contentLength = 6;
    r.chunks = {"abc", "def"};
    http.responses.push_back(r);
    EXPECT_EQ(run({u"--proxy-mode", u"2", u"--proxy-host", u"p", u"--proxy-port", u"8080",
                   u"--proxy-login", u"u", u"--proxy-password", u"w", u"--sha256",
                   u"http://h/f.bin", out}),
              0);
    EXPECT_EQ(written(), "abcdef");
    EXPECT_EQ(out_.str(), "bef57ec7f53a6d40beb640a780a639c83bc29ac8a9816f1fc6c5c6dcd93c4721  " +
                              text::toUtf8(out) + "\n");
    EXPECT_EQ(err.str(), "progress: 0%\nlpr: 3 p:8080\nprogress: 50%\nprogress: 100%\n");
    EXPECT_EQ(http.callsStartingWith("setCredentials"),
              std::vector<std::string>{"setCredentials(#3,1,1,u,w)"});
}

TEST_F(FetchToolTest, FailurePrintsTheEnginesMessageAndWritesNothing) {
    fakes::FakeResponse r;
    r.status = 404;
    http.responses.push_back(r);
    EXPECT_EQ(run({u"--quiet", u"--proxy-mode", u"0", u"http://h/missing", out}), 1);
    EXPECT_EQ(err.str(), text::toUtf8(u"Не вдалося отримати дані (7): Відповідь сервера: 404\n"));
    int error = 0;
    EXPECT_EQ(platform::get<platform::Files>().openRead(out, false, error),
              platform::Files::kInvalid);
}

TEST_F(FetchToolTest, UnresumableTransferBrokenAfterSomeBytesLeavesNeitherTheFileNorItsPart) {
    fakes::FakeResponse r;
    r.contentLength = 10;
    r.headers[platform::HttpHeader::AcceptRanges] = u"none";
    r.chunks = {"abcd", "efghij"};
    r.failAt = fakes::FakeResponse::FailAt::read;
    r.chunksBeforeFailure = 1;
    r.error = 12030;
    http.responses.push_back(r);
    EXPECT_EQ(run({u"--quiet", u"--proxy-mode", u"0", u"http://h/f", out}), 1);
    EXPECT_EQ(err.str(), text::toUtf8(u"Не вдалося отримати дані (9).") +
                             text::toUtf8(SysErrorText(12030)) + "\n");
    auto& files = platform::get<platform::Files>();
    int error = 0;
    EXPECT_EQ(files.openRead(out, false, error), platform::Files::kInvalid);
    EXPECT_TRUE(files.list(files.temporaryFolder(), u"ORVL_Partial_*").empty());
}

TEST_F(FetchToolTest, BadUsageIsExitCodeTwo) {
    EXPECT_EQ(run({u"http://h/only-url"}), 2);
    EXPECT_EQ(run({u"--proxy-port", u"x", u"http://h/f", out}), 2);
    EXPECT_EQ(run({u"--proxy-mode"}), 2);
    EXPECT_EQ(run({u"--bogus", u"http://h/f", out}), 2);
    EXPECT_TRUE(http.calls.empty());
}

}  // namespace
