// A network that blocks HTTPS and alters what comes over HTTP: the run must never save or
// start what the publisher did not release. Our fault server is the update host (it refuses
// TLS, so the run falls back to HTTP); the web peer serves the genuine files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "FaultServer.h"
#include "RunTestSupport.h"
#include "TrustVectors.h"
#include "common/Text.h"
#include "platform/Http.h"
#include "run/ManifestTrust.h"
#include "run/Run.h"
#include "settings/ProxySettings.h"
#include "tests/support/Peers.h"

namespace {

constexpr std::uint16_t kNginxPort = 18480;
const std::u16string kManifestNotVouched =
    u"Не вдалося отримати дані (14). Список файлів не підтверджено видавцем.";
const std::u16string kManifestStale = u"Не вдалося отримати дані (15). Список файлів застарів.";
const std::u16string kFileAltered =
    u"Не вдалося отримати дані (13). Файл пошкоджено або підмінено.";

#define REQUIRE_NGINX()                                 \
    REQUIRE_PEER(testnet::loopbackPortOpen(kNginxPort), \
                 "nginx (scripts/services.d/web) not running")

testnet::Resource serving(std::string body) {
    testnet::Resource resource;
    resource.body = std::move(body);
    return resource;
}

class RunTrustTest : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        previousHttp_ = platform::install<platform::Http>(http_.get());
        ProxySettings.mode = pmNone;
    }
    void TearDown() override {
        platform::install<platform::Http>(previousHttp_);
        RunTest::TearDown();
    }
    // The update host is server.
    void useUpdateHost(const testnet::FaultServer& server) {
        system->environment[u"ORVELLE_UPDATE_HOST"] =
            u"127.0.0.1:" + text::decimal(static_cast<std::int64_t>(server.port()));
    }
    static std::vector<std::string> paths(testnet::FaultServer& server) {
        std::vector<std::string> all;
        for (const auto& head : server.requests()) {
            // TLS attempts carry no request line; only plain HTTP requests count.
            if (head.rfind("GET ", 0) == 0) all.push_back(testnet::requestTarget(head));
        }
        return all;
    }
    std::string messages() const {
        std::string all;
        for (const auto& message : window.messages) all += text::toUtf8(message) + "\n";
        return all;
    }

  private:
    std::unique_ptr<platform::Http> http_ = platform::createNativeHttp();
    platform::Http* previousHttp_ = nullptr;
};

TEST_F(RunTrustTest, WithTheKeyBuiltInAGenuineSignedManifestCarriesTheRunOverHttp) {
    REQUIRE_NGINX();
    PublisherKey = trustvectors::kTestKey;
    testnet::FaultServer server({{"/update/ver.txt", serving(trustvectors::kManifest)},
                                 {"/update/ver.txt.sig", serving(trustvectors::kSignature)}});
    useUpdateHost(server);
    RunDownload(window);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(paths(server), (std::vector<std::string>{"/update/ver.txt", "/update/ver.txt.sig"}));
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader.txt"), trustvectors::kSmallFile);
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader_sql.bin").size(), 8u * 1024 * 1024);
    EXPECT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(window.exitCode, 0);
    EXPECT_EQ(userState.stored, 1000u);
}

TEST_F(RunTrustTest, WithTheKeyBuiltInAManifestTheSignatureDoesNotVouchForFetchesNoFile) {
    REQUIRE_NGINX();
    PublisherKey = trustvectors::kTestKey;
    window.checked[RunControl::sql] = false;
    std::string altered = trustvectors::kManifest;
    altered.replace(0, altered.find("\r\n"), "1.0=http://127.0.0.1:18480/large.bin");
    struct Case {
        std::string manifest;
        std::optional<std::string> signature;  // none: the server has none
        std::u16string message;
        std::optional<std::uint64_t> stored;  // the highest serial accepted before
    };
    const std::u16string& refused = kManifestNotVouched;
    const Case cases[] = {
        {altered, trustvectors::kSignature, refused, {}},
        {trustvectors::kManifest, trustvectors::kOtherSignature, refused, {}},
        {trustvectors::kManifest, std::nullopt, refused, {}},
        {trustvectors::kBareManifest, trustvectors::kBareSignature, refused, {}},   // no hash line
        {trustvectors::kManifest, trustvectors::kSignature, kManifestStale, 1001},  // rollback
    };
    for (const auto& [manifest, signature, message, stored] : cases) {
        window.messages.clear();
        userState.stored = stored;
        std::map<std::string, testnet::Resource> resources{{"/update/ver.txt", serving(manifest)}};
        if (signature) resources["/update/ver.txt.sig"] = serving(*signature);
        testnet::FaultServer server(resources);
        useUpdateHost(server);
        RunDownload(window);
        EXPECT_EQ(window.messages, std::vector<std::u16string>{message});
        EXPECT_EQ(userState.stored, stored);
        EXPECT_EQ(paths(server),
                  (std::vector<std::string>{"/update/ver.txt", "/update/ver.txt.sig"}));
        EXPECT_FALSE(exists(folder() + u"ORVL_Downloader.bin"));
        EXPECT_FALSE(exists(folder() + u"ORVL_Downloader.txt"));
        EXPECT_TRUE(processes.started.empty());
        EXPECT_TRUE(window.looksIdle());
    }
}

TEST_F(RunTrustTest, WithoutAKeyAnAlteredFileIsRefusedByItsHashLine) {
    testnet::FaultServer server({{"/setup.exe", serving("not the installer")}});
    // The manifest names the genuine bytes' hash; the file on the way is someone else's.
    testnet::FaultServer site(
        {{"/update/ver.txt",
          serving(
              "1=" + server.url("/setup.exe") +
              "\r\nsha256=4ad8e477d2815fbdde7de086698a9df8d031a3e57ba9a68a59ee3f5af70b194d\r\n")}});
    useUpdateHost(site);
    RunDownload(window);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{kFileAltered});
    EXPECT_EQ(paths(site), (std::vector<std::string>{"/update/ver.txt"}));
    EXPECT_EQ(paths(server), (std::vector<std::string>{"/setup.exe"}));
    EXPECT_FALSE(exists(folder() + u"ORVL_Downloader.exe"));
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(window.looksIdle());
}

}  // namespace
