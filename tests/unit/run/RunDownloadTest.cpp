// The whole run as the download button starts it, against scripted transfers: the manifest
// fallback, the files saved under their names, the hand-off, and every way back to idle.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "RunTestSupport.h"
#include "run/PartFile.h"
#include "run/Run.h"
#include "settings/ProxySettings.h"

namespace {

constexpr std::uint8_t kMarquee = 0;
constexpr std::uint8_t kNormal = 1;
const std::u16string kHttpsManifest = u"https://update.test/update/ver.txt";
const std::u16string kHttpManifest = u"http://update.test/update/ver.txt";

class RunDownloadTest : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        system->environment[u"ORVELLE_UPDATE_HOST"] = u"update.test";
    }
    runtest::ScriptedHttp& http() { return runtest::scriptedHttp(); }
    std::vector<std::u16string> urls() {
        std::vector<std::u16string> all;
        for (const auto& call : http().calls) all.push_back(call.url);
        return all;
    }
    void serveTwoFilesOverHttp() {
        http().answers[kHttpManifest].body =
            "5.2.1=http://files.test/setup.exe\r\nSQL=http://files.test/mysql-5.1.73.msi\r\n";
        http().answers[u"http://files.test/setup.exe"].body = "installer bytes";
        http().answers[u"http://files.test/mysql-5.1.73.msi"].body = "mysql bytes";
    }
};

TEST_F(RunDownloadTest, ARefusedHttpsManifestFallsBackToHttpForEverythingAndHandsOver) {
    serveTwoFilesOverHttp();
    writeFile(folder() + u"ORVL_Downloader_old.tmp", "stale");
    std::filesystem::create_directory(root / "ORVL_Downloader_folder");
    bool runningWhileFetching = false;
    http().answers[kHttpManifest].during = [&] {
        runningWhileFetching =
            !window.visible[RunControl::btn] && window.visible[RunControl::stop] &&
            window.enabled[RunControl::stop] && !window.visible[RunControl::sb] &&
            window.visible[RunControl::pb] && !window.visible[RunControl::sql] &&
            !window.visible[RunControl::silent] && window.state == kMarquee;
    };

    RunDownload(window);

    EXPECT_TRUE(runningWhileFetching);
    EXPECT_EQ(urls(), (std::vector<std::u16string>{kHttpsManifest, kHttpManifest,
                                                   u"http://files.test/setup.exe",
                                                   u"http://files.test/mysql-5.1.73.msi"}));
    EXPECT_FALSE(http().calls[0].showErrors);
    EXPECT_FALSE(http().calls[0].showProgress);
    EXPECT_TRUE(http().calls[1].showErrors);
    EXPECT_TRUE(http().calls[2].showProgress && http().calls[3].showProgress);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(exists(folder() + u"ORVL_Downloader_old.tmp"));
    EXPECT_TRUE(exists(folder() + u"ORVL_Downloader_folder"));
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader.exe"), "installer bytes");
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader_sql.msi"), "mysql bytes");
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, folder() + u"ORVL_Downloader.exe");
    EXPECT_EQ(processes.started[0].arguments,
              u" /proxy=1 /host= /port=3128 /plogin= /ppass= /SILENT");
    EXPECT_EQ(processes.started[0].folder, folder());
    EXPECT_EQ(window.state, kNormal);
    EXPECT_EQ(window.position, 100);
    EXPECT_FALSE(window.enabled[RunControl::stop]);
    EXPECT_EQ(window.exitCode, 0);
}

TEST_F(RunDownloadTest, AWorkingHttpsServiceRewritesLowerCaseHttpFileUrls) {
    http().answers[kHttpsManifest].body =
        "1=http://files.test/setup.exe\nsql=HTTP://files.test/m.msi";
    http().answers[u"https://files.test/setup.exe"].body = "a";
    http().answers[u"HTTP://files.test/m.msi"].body = "b";
    RunDownload(window);
    EXPECT_EQ(urls(), (std::vector<std::u16string>{kHttpsManifest, u"https://files.test/setup.exe",
                                                   u"HTTP://files.test/m.msi"}));
    EXPECT_EQ(window.exitCode, 0);
}

TEST_F(RunDownloadTest, WithSqlUncheckedOnlyTheInstallerIsFetched) {
    serveTwoFilesOverHttp();
    window.checked[RunControl::sql] = false;
    window.checked[RunControl::silent] = false;
    RunDownload(window);
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_FALSE(exists(folder() + u"ORVL_Downloader_sql.msi"));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].arguments, u" /proxy=1 /host= /port=3128 /plogin= /ppass=");
}

TEST_F(RunDownloadTest, StopWhileTheFirstFileArrivesEndsTheRunWithOneMessage) {
    serveTwoFilesOverHttp();
    http().answers[u"http://files.test/setup.exe"].during = [] { StopRequested = true; };
    window.setStatusText(u"diagnostics");
    RunDownload(window);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Зупинено користувачем."});
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(window.looksIdle());
    EXPECT_FALSE(window.exitCode);
}

TEST_F(RunDownloadTest, StopBetweenFilesLeavesTheSecondFileUnfetched) {
    serveTwoFilesOverHttp();
    http().answers[u"http://files.test/setup.exe"].after = [] { StopRequested = true; };
    RunDownload(window);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Зупинено користувачем."});
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_EQ(readFile(folder() + u"ORVL_Downloader.exe"), "installer bytes");
    EXPECT_TRUE(window.looksIdle());
}

TEST_F(RunDownloadTest, AStopAfterTheLastBytesDoesNotPreventTheHandOff) {
    serveTwoFilesOverHttp();
    http().answers[u"http://files.test/mysql-5.1.73.msi"].after = [] { StopRequested = true; };
    RunDownload(window);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(window.exitCode, 0);
}

TEST_F(RunDownloadTest, AManifestWithoutLinesOrWithoutEqualsSignIsFailure10) {
    for (const char* body : {"", "http://files.test/setup.exe\r\nsql=http://files.test/m.msi"}) {
        http().calls.clear();
        window.messages.clear();
        http().answers[kHttpManifest].body = body;
        RunDownload(window);
        EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося отримати дані (10)."});
        EXPECT_EQ(urls().size(), 2u);
        EXPECT_EQ(window.state, kNormal);
        EXPECT_TRUE(window.looksIdle());
        EXPECT_TRUE(processes.started.empty());
    }
}

TEST_F(RunDownloadTest, OnlyTheHttpAttemptOfAFailedManifestIsReported) {
    RunDownload(window);
    EXPECT_EQ(urls(), (std::vector<std::u16string>{kHttpsManifest, kHttpManifest}));
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося отримати дані (2)."});
    EXPECT_TRUE(window.looksIdle());
}

TEST_F(RunDownloadTest, AFileThatCannotBeSavedIsFailure11WithTheReason) {
    // No dot in the last segment: the host's dot starts the extension, which holds a slash.
    http().answers[kHttpManifest].body = "1=http://files.test/setup";
    http().answers[u"http://files.test/setup"].body = "x";
    RunDownload(window);
    ASSERT_EQ(window.messages.size(), 1u);
    const std::u16string expected =
        u"Не вдалося отримати дані (11). Неможливо зберегти файл: Cannot create file \"" +
        folder() + u"ORVL_Downloader.test/setup\". ";
    EXPECT_EQ(window.messages[0].substr(0, expected.size()), expected);
    EXPECT_GT(window.messages[0].size(), expected.size());
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(window.looksIdle());
}

TEST_F(RunDownloadTest, AnInstallerThatArrivesEmptyIsFailure10AndNeverSaved) {
    http().answers[kHttpManifest].body = "1=http://files.test/setup.exe";
    http().answers[u"http://files.test/setup.exe"].body = "";
    RunDownload(window);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося отримати дані (10)."});
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder() + u"ORVL_Downloader.exe")));
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(window.looksIdle());
}

TEST_F(RunDownloadTest, WithoutATemporaryFolderTheRunStopsBeforeFetchingAnything) {
    serveTwoFilesOverHttp();
    files->temp.clear();  // the system could not tell
    RunDownload(window);
    ASSERT_EQ(window.messages.size(), 1u);
    const std::u16string expected = u"Не вдалося отримати дані (11). Неможливо зберегти файл: ";
    EXPECT_EQ(window.messages[0].substr(0, expected.size()), expected);
    EXPECT_TRUE(http().calls.empty());
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(window.looksIdle());
}

// Kept parts: one a week old goes at the start, one no file of the manifest uses goes once the
// manifest is read; the installer's own stays through the failed run for the next one.
TEST_F(RunDownloadTest, AFailedTransferEndsTheLoopAndTheWindowIsIdleForANewRun) {
    const std::u16string installer = u"http://files.test/setup.exe";
    const std::u16string old = folder() + PartFile::nameFor(u"http://files.test/old.exe");
    const std::u16string unused = folder() + PartFile::nameFor(u"http://files.test/other.exe");
    const std::u16string kept = folder() + PartFile::nameFor(installer);
    for (const auto& part : {old, unused, kept}) writeFile(part, "held bytes");
    writeFile(kept + u".meta", "url=http://files.test/setup.exe\ntotal=100\netag=\"v1\"\n");
    std::filesystem::last_write_time(
        std::filesystem::path(old),
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 8));
    serveTwoFilesOverHttp();
    http().answers.erase(installer);
    http().answers[kHttpManifest].during = [&] {
        EXPECT_FALSE(exists(old));
        EXPECT_TRUE(exists(unused));
    };
    RunDownload(window);
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_TRUE(window.looksIdle());
    EXPECT_TRUE(window.enabled[RunControl::stop]);
    EXPECT_FALSE(exists(unused));
    EXPECT_EQ(readFile(kept), "held bytes");
    EXPECT_TRUE(exists(kept + u".meta"));

    http().answers[kHttpManifest].during = nullptr;
    serveTwoFilesOverHttp();
    RunDownload(window);
    EXPECT_EQ(window.exitCode, 0);
    EXPECT_FALSE(exists(kept));
    EXPECT_FALSE(exists(kept + u".meta"));
}

}  // namespace
