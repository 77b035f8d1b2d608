#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "settings/ProxySettings.h"
#include "tests/unit/app/AppFixture.h"

namespace {

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override { apptest::resetProcessValues(); }
    void TearDown() override { apptest::resetProcessValues(); }
};

void expectDefaultProxy() {
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.host, u"");
    EXPECT_EQ(ProxySettings.port, 3128);
    EXPECT_EQ(ProxySettings.login, u"");
    EXPECT_EQ(ProxySettings.password, u"");
}

TEST_F(CommandLine, withoutArgumentsEverythingKeepsItsDefault) {
    ReadCommandLine({});
    EXPECT_FALSE(UpdateMode);
    expectDefaultProxy();
    EXPECT_EQ(MonitorPort, 48754);
}

TEST_F(CommandLine, oneToThreeArgumentsOnlySwitchOnUpdateMode) {
    for (const auto& arguments : std::vector<std::vector<std::u16string>>{
             {u"update"}, {u"a", u"2"}, {u"a", u"2", u"proxy.example"}}) {
        apptest::resetProcessValues();
        ReadCommandLine(arguments);
        EXPECT_TRUE(UpdateMode);
        expectDefaultProxy();
        EXPECT_EQ(MonitorPort, 48754);
    }
}

TEST_F(CommandLine, fourArgumentsSetModeHostAndPort) {
    ReadCommandLine({u"u", u"2", u"proxy.example", u"8080"});
    EXPECT_EQ(ProxySettings.mode, 2);
    EXPECT_EQ(ProxySettings.host, u"proxy.example");
    EXPECT_EQ(ProxySettings.port, 8080);
    EXPECT_EQ(ProxySettings.login, u"");
}

TEST_F(CommandLine, numbersThatDoNotParseTakeTheirOwnDefaults) {
    ReadCommandLine({u"u", u"x", u"h", u"abc"});
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.port, 0);
    apptest::resetProcessValues();
    ReadCommandLine({u"u", u"", u"h", u""});
    EXPECT_EQ(ProxySettings.mode, 1);
    EXPECT_EQ(ProxySettings.port, 0);
}

TEST_F(CommandLine, outOfRangeNumbersAreStoredAsTheyAre) {
    ReadCommandLine({u"u", u"-5", u"", u"-1", u"l", u"p", u"70000"});
    EXPECT_EQ(ProxySettings.mode, -5);
    EXPECT_EQ(ProxySettings.port, -1);
    EXPECT_EQ(MonitorPort, 70000);
    apptest::resetProcessValues();
    ReadCommandLine({u"u", u"7", u"h", u"99999"});
    EXPECT_EQ(ProxySettings.mode, 7);
    EXPECT_EQ(ProxySettings.port, 99999);
}

TEST_F(CommandLine, fiveArgumentsIgnoreTheFifth) {
    ReadCommandLine({u"u", u"2", u"h", u"1", u"login"});
    EXPECT_EQ(ProxySettings.login, u"");
    EXPECT_EQ(ProxySettings.password, u"");
}

TEST_F(CommandLine, sixArgumentsSetTheCredentialsUnchanged) {
    ReadCommandLine({u"u", u"2", u"h", u"1", u" Логін ", u"pa ss\""});
    EXPECT_EQ(ProxySettings.login, u" Логін ");
    EXPECT_EQ(ProxySettings.password, u"pa ss\"");
    EXPECT_EQ(MonitorPort, 48754);
}

TEST_F(CommandLine, theSeventhArgumentIsTheMonitorPortUnlessItDoesNotParse) {
    ReadCommandLine({u"u", u"0", u"h", u"1", u"l", u"p", u"50001"});
    EXPECT_EQ(MonitorPort, 50001);
    apptest::resetProcessValues();
    ReadCommandLine({u"u", u"0", u"h", u"1", u"l", u"p", u"abc"});
    EXPECT_EQ(MonitorPort, 48754);
    EXPECT_EQ(ProxySettings.mode, 0);
    EXPECT_EQ(ProxySettings.password, u"p");
}

}  // namespace
