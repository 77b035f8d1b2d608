// The silent update through the monitor service: the progress file, the request and its
// answer, the wait that follows the installation, and how it ends.
#include <gtest/gtest.h>

#include <filesystem>

#include "RunTestSupport.h"
#include "run/InstallerHandoff.h"
#include "run/Manifest.h"
#include "run/ProgressFile.h"
#include "run/RunPaths.h"

namespace {

constexpr std::uint8_t kMarquee = 0;
constexpr std::uint8_t kNormal = 1;

class SilentUpdate : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        UpdateMode = true;
        run.emplace(window);
        run->items.push_back({u"http://h/setup.exe", folder() + u"ORVL_Downloader.exe", u"1"});
        requestUrl =
            MonitorRequestUrl(MonitorPort, InstallerArgs(ProxySettings),
                              folder() + u"Orvelle_Install.log", folder() + u"ORVL_Downloader.exe");
        runtest::scriptedHttp().answers[requestUrl] = {};
        // The installation's side: what the progress file holds after a given pass.
        system->onSleep = [this] {
            const auto next = script.find(system->sleeps);
            if (next == script.end()) return;
            if (next->second.empty()) {
                std::filesystem::remove(std::filesystem::path(progressFile()));
            } else {
                writeFile(progressFile(), next->second);
            }
        };
    }

    std::u16string progressFile() const { return folder() + u"Orvelle_Install.ini"; }

    void handOff() { HandOff(*run, InstallerArgs(ProxySettings)); }

    std::optional<DownloadRun> run;
    std::u16string requestUrl;
    std::map<int, std::string> script;  // pass number -> file content ("" deletes the file)
};

TEST_F(SilentUpdate, FollowsTheProgressAndStartsTheMonitorProgramAtTheEnd) {
    std::string firstContent;
    script[1] = "[Update]\r\nOrvelle_Install=57\r\n";
    script[3] = "[Update]\r\nOrvelle_Install=100\r\n";
    script[5] = "[Update]\r\nOrvelle_Install=C:\\Program Files\\Orvelle\\ORVL_Monitor.exe /a\r\n";
    auto installation = system->onSleep;
    system->onSleep = [&] {
        if (system->sleeps == 1) firstContent = readFile(progressFile());
        installation();
    };

    handOff();

    EXPECT_EQ(firstContent, "[Update]\r\nOrvelle_Install=0\r\n");
    ASSERT_EQ(runtest::scriptedHttp().calls.size(), 1u);
    EXPECT_EQ(runtest::scriptedHttp().calls[0].url, requestUrl);
    EXPECT_FALSE(runtest::scriptedHttp().calls[0].showProgress);
    EXPECT_TRUE(runtest::scriptedHttp().calls[0].showErrors);
    EXPECT_FALSE(window.enabled[RunControl::stop]);
    EXPECT_EQ(window.statusHistory.back(), u"");
    EXPECT_NE(std::find(window.statusHistory.begin(), window.statusHistory.end(),
                        u"Зачекайте. Триває оновлення..."),
              window.statusHistory.end());
    EXPECT_EQ(window.max, 100);
    EXPECT_EQ(window.positions, (std::vector<std::int32_t>{0, 0, 57, 57, 100, 100}));
    EXPECT_EQ(window.states,
              (std::vector<std::uint8_t>{kMarquee, kNormal, kNormal, kMarquee, kMarquee}));
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Оновлення завершено"});
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, u"C:\\Program Files\\Orvelle\\ORVL_Monitor.exe /a");
    EXPECT_EQ(processes.started[0].arguments, u"");
    EXPECT_FALSE(processes.started[0].quoteProgram);
    EXPECT_TRUE(run->RunOk);
    EXPECT_TRUE(UpdateMode);
}

TEST_F(SilentUpdate, TheLowestKeyLineWinsAndOtherLinesArePassedOver) {
    script[1] =
        "Orvelle_Install=40\r\nnoise\r\nX Orvelle_Install:/opt/ORVL_Monitor.exe\r\n"
        "Orvelle_Install=abc\r\n[End]\r\n";
    const int pumpsBefore = window.pumps;
    handOff();
    EXPECT_TRUE(run->RunOk);
    EXPECT_EQ(std::count(window.positions.begin(), window.positions.end(), 40), 0);
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, u"/opt/ORVL_Monitor.exe");
    EXPECT_EQ(processes.started[0].folder, FolderOf(u"/opt/ORVL_Monitor.exe"));
    // Two lines passed over in the second pass, besides the pumps of the passes themselves.
    EXPECT_GE(window.pumps - pumpsBefore, 2 + 2);
}

TEST_F(SilentUpdate, ANumberThatNeverChangesEndsTheWaitWithFailure2) {
    handOff();  // the installer never starts: the file keeps our 0
    EXPECT_FALSE(run->RunOk);
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося оновити (2)"});
    EXPECT_GE(system->now, 1000 + kProgressWaitMilliseconds);
    EXPECT_TRUE(processes.started.empty());
    EXPECT_TRUE(UpdateMode);
}

TEST_F(SilentUpdate, EachNewNumberRestartsTheWait) {
    // A slow installation: a new percentage every 250 seconds, for longer than 300 seconds.
    script[2500] = "[Update]\r\nOrvelle_Install=10\r\n";
    script[5000] = "[Update]\r\nOrvelle_Install=20\r\n";
    script[7000] = "[Update]\r\nOrvelle_Install=/opt/o/ORVL_Monitor.exe\r\n";
    handOff();
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Оновлення завершено"});
    EXPECT_TRUE(run->RunOk);
}

TEST_F(SilentUpdate, AProgressFileThatDisappearsEndsTheWaitWithFailure2) {
    script[1] = "[Update]\r\nOrvelle_Install=30\r\n";
    script[2] = "";
    handOff();
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося оновити (2)"});
    EXPECT_FALSE(run->RunOk);
}

TEST_F(SilentUpdate, AFileHeldOpenByTheInstallerIsSkippedForThatPass) {
    auto& files = platform::get<platform::Files>();
    platform::Files::Handle held = platform::Files::kInvalid;
    script[1] = "[Update]\r\nOrvelle_Install=20\r\n";
    script[3] = "[Update]\r\nOrvelle_Install=/o/ORVL_Monitor.exe\r\n";
    auto installation = system->onSleep;
    system->onSleep = [&] {
        installation();
        int error = 0;
        if (system->sleeps == 1) held = files.openRead(progressFile(), true, error);
        if (system->sleeps == 2) files.close(held);
    };
    handOff();
    // Pass 1 saw our 0, pass 2 could not read the file, pass 3 saw the 20.
    EXPECT_EQ(window.positions, (std::vector<std::int32_t>{0, 0, 20}));
    EXPECT_TRUE(run->RunOk);
}

TEST_F(SilentUpdate, TheProgressFileUsesTheManifestsEncodingAndIsReadBack) {
    run->linesEncoding = TextEncoding::Utf16BeBom;
    std::string firstContent;
    script[2] =
        WriteLines({u"[Update]", u"Orvelle_Install=/o/ORVL_Monitor.exe"}, TextEncoding::Utf16LeBom);
    auto installation = system->onSleep;
    system->onSleep = [&] {
        if (system->sleeps == 1) firstContent = readFile(progressFile());
        installation();
    };
    handOff();
    EXPECT_EQ(firstContent,
              WriteLines({u"[Update]", u"Orvelle_Install=0"}, TextEncoding::Utf16BeBom));
    EXPECT_TRUE(run->RunOk);
}

TEST_F(SilentUpdate, ARefusalShowsItsTextAndTheNextRunStartsTheInstallerItself) {
    const std::string answer = "Busy: \xC0\xE9";  // in the system's ANSI code page
    runtest::scriptedHttp().answers[requestUrl].body = answer;
    handOff();
    EXPECT_EQ(window.messages,
              std::vector<std::u16string>{u"Не вдалося оновити (1). " +
                                          platform::get<platform::System>().fromAnsi(answer)});
    EXPECT_FALSE(run->RunOk);
    EXPECT_FALSE(UpdateMode);
    EXPECT_TRUE(processes.started.empty());

    DownloadRun next(window);
    next.items = run->items;
    HandOff(next, InstallerArgs(ProxySettings));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].arguments,
              u" /proxy=1 /host= /port=3128 /plogin= /ppass= /SILENT");
}

TEST_F(SilentUpdate, AServiceThatDoesNotAnswerKeepsUpdateModeForTheNextTry) {
    runtest::scriptedHttp().answers.clear();
    handOff();
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Не вдалося отримати дані (2)."});
    EXPECT_FALSE(run->RunOk);
    EXPECT_TRUE(UpdateMode);
    EXPECT_EQ(system->sleeps, 0);
}

TEST_F(SilentUpdate, AProgressFileThatCannotBeCreatedIsReportedBeforeAskingTheService) {
    system->program = folder() + u"missing" + files->separator() + u"Orvelle_Downloader.exe";
    handOff();
    ASSERT_EQ(window.messages.size(), 1u);
    const std::u16string expected = u"Не вдалося оновити (3). Cannot create file \"" + folder() +
                                    u"missing" + files->separator() + u"Orvelle_Install.ini\". ";
    EXPECT_EQ(window.messages[0].substr(0, expected.size()), expected);
    EXPECT_GT(window.messages[0].size(), expected.size());  // the system's reason follows
    EXPECT_FALSE(run->RunOk);
    EXPECT_TRUE(runtest::scriptedHttp().calls.empty());
}

TEST_F(SilentUpdate, AStopRegisteredBeforeTheWaitIsReported) {
    window.onPump = [this] {
        if (window.status == u"Зачекайте. Триває оновлення...") StopRequested = true;
    };
    handOff();
    EXPECT_EQ(window.messages, std::vector<std::u16string>{u"Зупинено користувачем."});
    EXPECT_FALSE(run->RunOk);
    EXPECT_EQ(system->sleeps, 0);
}

TEST(ProgressScan, ValuesFollowTheKeyAndOneCharacter) {
    int passed = 0;
    const auto count = [&] { ++passed; };
    EXPECT_EQ(ScanProgress({u"Orvelle_Install"}, count).kind, ProgressReading::Nothing);
    EXPECT_EQ(ScanProgress({u"Orvelle_Install="}, count).kind, ProgressReading::Nothing);
    const auto number = ScanProgress({u"Orvelle_Install= -7"}, count);
    EXPECT_EQ(number.kind, ProgressReading::Number);
    EXPECT_EQ(number.number, -7);
    EXPECT_EQ(ScanProgress({u"orvelle_install=5"}, count).kind, ProgressReading::Nothing);
    EXPECT_EQ(ScanProgress({u"Orvelle_Install=99999999999"}, count).kind, ProgressReading::Nothing);
    EXPECT_EQ(passed, 4);  // every scan but the one that found the number
}

}  // namespace
