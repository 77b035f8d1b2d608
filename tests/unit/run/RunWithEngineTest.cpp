// The run driving the real transfer engine over the recording HTTP seam: what reaches the
// network for the manifest fallback, the files and the monitor service request.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeHttp.h"
#include "RunTestSupport.h"
#include "run/InstallerHandoff.h"
#include "run/Run.h"
#include "settings/ProxySettings.h"

namespace {

class RunWithEngine : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        previousHttp_ = platform::install<platform::Http>(&http);
        ProxySettings.mode = pmNone;
        system->environment[u"ORVELLE_UPDATE_HOST"] = u"127.0.0.1:8080";
    }
    void TearDown() override {
        EXPECT_TRUE(http.openHandles.empty()) << "handles left open";
        platform::install<platform::Http>(previousHttp_);
        RunTest::TearDown();
    }
    static fakes::FakeResponse ok(std::string body) {
        fakes::FakeResponse r;
        r.contentLength = static_cast<std::uint32_t>(body.size());
        r.chunks = {std::move(body)};
        return r;
    }
    std::vector<std::string> callsStartingWith(const std::string& prefix) {
        std::vector<std::string> found;
        std::copy_if(http.calls.begin(), http.calls.end(), std::back_inserter(found),
                     [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        return found;
    }

    fakes::FakeHttp http;

  private:
    platform::Http* previousHttp_ = nullptr;
};

TEST_F(RunWithEngine, TheManifestFallsBackToHttpAndBothFilesAreSavedThenTheInstallerStarts) {
    fakes::FakeResponse refused;
    refused.failAt = fakes::FakeResponse::FailAt::send;
    http.responses.push_back(refused);
    http.responses.push_back(
        ok("\xEF\xBB\xBF"
           "7.1=http://127.0.0.1:8080/f/setup.exe\r\n"
           "Sql=http://127.0.0.1:8080/f/mysql.msi\r\n"));
    http.responses.push_back(ok("MZ installer"));
    http.responses.push_back(ok("mysql"));

    RunDownload(window);

    EXPECT_EQ(callsStartingWith("openRequest"),
              (std::vector<std::string>{"openRequest(#2,GET,/update/ver.txt,0x800000)",
                                        "openRequest(#5,GET,/update/ver.txt,0x0)",
                                        "openRequest(#8,GET,/f/setup.exe,0x0)",
                                        "openRequest(#11,GET,/f/mysql.msi,0x0)"}));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader.exe"), "MZ installer");
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader_sql.msi"), "mysql");
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].arguments,
              u" /proxy=0 /host= /port=3128 /plogin= /ppass= /SILENT");
    EXPECT_EQ(window.exitCode, 0);
}

TEST_F(RunWithEngine, TheMonitorRequestCarriesTheQueryAsBuilt) {
    UpdateMode = true;
    ProxySettings.password = u"a&b c";
    http.responses.push_back(ok("1=http://127.0.0.1:8080/f/setup.exe"));
    http.responses.push_back(ok("x"));
    http.responses.push_back(ok("busy"));  // the monitor service refuses

    RunDownload(window);

    const auto requests = callsStartingWith("openRequest");
    ASSERT_EQ(requests.size(), 3u);
    const std::string expected =
        "openRequest(#8,GET,/run?param=/proxy=0 /host= /port=3128 /plogin= /ppass=\"a%26b c\" "
        "/SILENT /LOG=\"" +
        text::toUtf8(folder()) + "Orvelle_Install.log\"&path=" + text::toUtf8(folder()) +
        "ORVL_Downloader.exe,0x0)";
    EXPECT_EQ(requests[2], expected);
    EXPECT_EQ(callsStartingWith("connect").back(), "connect(#7,127.0.0.1,48754)");
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося оновити (1). busy"});
    EXPECT_FALSE(UpdateMode);
    EXPECT_TRUE(window.looksIdle());
}

}  // namespace
