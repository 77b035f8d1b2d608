// Starting the installer: its arguments, the command line pieces, the failure message, and the
// monitor service request.
#include <gtest/gtest.h>

#include "RunTestSupport.h"
#include "common/Text.h"
#include "net/SysErrorText.h"
#include "run/InstallerHandoff.h"
#include "run/RunPaths.h"

namespace {

using runtest::RunTest;

TEST(InstallerArgs, EmptyAndPlainValuesStayAsTheyAreAndOthersAreQuotedToStayOneArgument) {
    EXPECT_EQ(InstallerArgs(TProxySettings{}), u"/proxy=1 /host= /port=3128 /plogin= /ppass=");
    TProxySettings manual;
    manual.mode = pmManual;
    manual.host = u"proxy.lan";
    manual.port = -5;
    manual.login = u"ann lee";
    manual.password = u"p\"w&% \\";
    EXPECT_EQ(InstallerArgs(manual),
              u"/proxy=2 /host=proxy.lan /port=-5 /plogin=\"ann lee\" /ppass=\"p\\\"w&% \\\\\"");
}

TEST(MonitorRequest, CarriesTheArgumentsTheLogAndThePathWithAmpersandAndPercentEscaped) {
    EXPECT_EQ(MonitorRequestUrl(48754, u"/proxy=1 /host= /port=3128 /plogin= /ppass=",
                                u"C:\\Prog\\Orvelle_Install.log", u"C:\\Temp\\ORVL_Downloader.exe"),
              u"http://127.0.0.1:48754/run?param=/proxy=1 /host= /port=3128 /plogin= /ppass= "
              u"/SILENT /LOG=\"C:\\Prog\\Orvelle_Install.log\"&path=C:\\Temp\\ORVL_Downloader.exe");
    EXPECT_EQ(MonitorRequestUrl(1, u"/ppass=a&b%20c+d#e", u"L", u"C:\\R&D 100%\\x.exe"),
              u"http://127.0.0.1:1/run?param=/ppass=a%26b%2520c%2Bd%23e /SILENT /LOG=\"L\""
              u"&path=C:\\R%26D 100%25\\x.exe");
}

TEST_F(RunTest, TheInstallerStartsInItsFolderWithABlankBeforeItsArguments) {
    DownloadRun run(window);
    run.items.push_back({u"http://h/setup.exe", folder() + u"ORVL_Downloader.exe", u"1"});
    HandOff(run, InstallerArgs(ProxySettings));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, folder() + u"ORVL_Downloader.exe");
    EXPECT_EQ(processes.started[0].arguments,
              u" /proxy=1 /host= /port=3128 /plogin= /ppass= /SILENT");
    EXPECT_EQ(processes.started[0].folder, folder());
    // The test folder's name holds a blank: the program path must be quoted on Windows.
    EXPECT_TRUE(processes.started[0].quoteProgram);
    EXPECT_TRUE(run.RunOk);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(RunTest, WithoutQuickInstallNoSilentSwitchEvenInUpdateMode) {
    window.checked[RunControl::silent] = false;
    UpdateMode = true;
    DownloadRun run(window);
    run.items.push_back({u"u", folder() + u"ORVL_Downloader.exe", u"1"});
    HandOff(run, InstallerArgs(ProxySettings));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].arguments, u" /proxy=1 /host= /port=3128 /plogin= /ppass=");
    EXPECT_TRUE(runtest::scriptedHttp().calls.empty());
}

TEST_F(RunTest, AnInstallerThatCannotStartIsReportedWithTheSystemText) {
    processes.failWith = 2;
    DownloadRun run(window);
    run.items.push_back({u"u", folder() + u"ORVL_Downloader.exe", u"1"});
    HandOff(run, InstallerArgs(ProxySettings));
    EXPECT_FALSE(run.RunOk);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], u"Не вдалося встановити (1)." + SysErrorText(2));
}

TEST_F(RunTest, AQuotedMonitorCommandLineStartsInItsProgramsFolder) {
    DownloadRun run(window);
    const std::u16string line = u" \"" + folder() + u"ORVL_Monitor.exe\" /from=\"a\\b c\"";
    EXPECT_TRUE(StartProcess(run, line, u"", false));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, line);
    EXPECT_EQ(processes.started[0].folder, folder());
}

TEST_F(RunTest, TheUpdateHostComesFromTheEnvironmentWhenSet) {
    const std::u16string builtIn =
        u"http://" + text::fromUtf8(ORVELLE_UPDATE_HOST) + u"/update/ver.txt";
    EXPECT_EQ(ManifestUrl(), builtIn);
    system->environment[u"ORVELLE_UPDATE_HOST"] = u"";
    EXPECT_EQ(ManifestUrl(), builtIn);
    system->environment[u"ORVELLE_UPDATE_HOST"] = u"127.0.0.1:8080";
    EXPECT_EQ(ManifestUrl(), u"http://127.0.0.1:8080/update/ver.txt");
}

TEST(RunPaths, OnlyALowerCaseHttpPrefixBecomesHttps) {
    EXPECT_EQ(ApplyScheme(u"http://h/a", true), u"https://h/a");
    EXPECT_EQ(ApplyScheme(u"http://h/a", false), u"http://h/a");
    EXPECT_EQ(ApplyScheme(u"HTTP://h/a", true), u"HTTP://h/a");
    EXPECT_EQ(ApplyScheme(u"https://h/a", true), u"https://h/a");
    EXPECT_EQ(ApplyScheme(u"ftp://h/a", true), u"ftp://h/a");
    EXPECT_EQ(ApplyScheme(u"http:/", true), u"http:/");
}

}  // namespace
