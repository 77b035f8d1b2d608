// The start-up probe against the loopback fake MySQL server: which servers count as version 5,
// which end the program, and that the login is the anonymous one.
#include <gtest/gtest.h>

#include "app/Probe.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "tests/fakes/FakeMysqlServer.h"
#include "tests/unit/app/AppFixture.h"

namespace {

// A server that greets with `version` and answers the login with `reply`.
FakeMysqlServer::Script greetAndAnswer(const std::string& version, const std::string& reply) {
    return [=](FakeMysqlConnection& c) {
        mysqlwire::Greeting greeting;
        greeting.version = version;
        c.sendPacket(0, mysqlwire::greeting(greeting));
        if (!c.readPacket()) return;
        c.sendPacket(2, reply);
        c.waitForPeerClose();
    };
}

FakeMysqlServer::Script admits(const std::string& version) {
    return greetAndAnswer(version, mysqlwire::ok());
}

FakeMysqlServer::Script refusesTheEmptyUser(const std::string& version) {
    return greetAndAnswer(version, mysqlwire::error(1045,
                                                    "Access denied for user ''@'localhost' "
                                                    "(using password: NO)",
                                                    "28000"));
}

class Probe : public apptest::Windows {
  protected:
    void SetUp() override {
        apptest::Windows::SetUp();
        sockets_ = platform::createNativeSockets();
        previous_ = platform::install(sockets_.get());
    }
    void TearDown() override {
        platform::install(previous_);
        apptest::Windows::TearDown();
    }

  private:
    std::unique_ptr<platform::Sockets> sockets_;
    platform::Sockets* previous_ = nullptr;
};

TEST_F(Probe, aServerAdmittingTheAnonymousLoginWithVersion5IsSupported) {
    FakeMysqlServer server({admits("5.7.44")});
    const ProbeResult result = ProbeLocalMysql(u"127.0.0.1", server.port());
    EXPECT_EQ(result.outcome, ProbeOutcome::SupportedServer);
    EXPECT_EQ(result.version, u"5.7.44");
    EXPECT_EQ(server.finish(), 1);
    // The login: the 32-byte head, then an empty user, no password and no database.
    const auto received = server.received(0);
    ASSERT_GE(received.size(), 1u);
    EXPECT_EQ(received[0].size(), 35u);
    EXPECT_EQ(received[0].substr(32), std::string(3, '\0'));
}

TEST_F(Probe, otherVersionsAreUnsupported) {
    for (const char* version : {"8.0.36", "10.4.12-MariaDB", "4.1.22", "15.1", " 5.1"}) {
        SCOPED_TRACE(version);
        FakeMysqlServer server({admits(version)});
        const ProbeResult result = ProbeLocalMysql(u"127.0.0.1", server.port());
        EXPECT_EQ(result.outcome, ProbeOutcome::UnsupportedServer);
        EXPECT_EQ(text::toUtf8(result.version), version);
    }
}

TEST_F(Probe, aRefusedLoginOrNoServerIsTheSameAsNone) {
    FakeMysqlServer refusing({refusesTheEmptyUser("5.5.62")});
    EXPECT_EQ(ProbeLocalMysql(u"127.0.0.1", refusing.port()).outcome, ProbeOutcome::NoServer);

    std::uint16_t closedPort = 0;
    {
        FakeMysqlServer gone({});
        closedPort = gone.port();
    }
    EXPECT_EQ(ProbeLocalMysql(u"127.0.0.1", closedPort).outcome, ProbeOutcome::NoServer);
}

TEST_F(Probe, startUpWithAnUnsupportedServerShowsTheRefusalAndEndsWithExitCode0) {
    FakeMysqlServer server({admits("10.4.12-MariaDB")});
    TForm1Environment environment;
    environment.probe = [&] { return ProbeLocalMysql(u"127.0.0.1", server.port()); };
    environment.terminate = [this](int code) { exitCodes.push_back(code); };
    form1 = std::make_unique<TForm1>(widgets, toolkit, std::move(environment));
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].caption, u"Orvelle Downloader");
    EXPECT_EQ(toolkit.messages[0].text,
              u"MySQL 10.4.12-MariaDB не підтримується!\r\nВстановіть версію 5.0 та вище");
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_FALSE(mainForm().record.visible);
}

TEST_F(Probe, startUpWithARefusingVersion5ServerKeepsTheMysqlOptionChecked) {
    FakeMysqlServer server({refusesTheEmptyUser("5.7.44")});
    TForm1Environment environment;
    environment.probe = [&] { return ProbeLocalMysql(u"127.0.0.1", server.port()); };
    environment.terminate = [this](int code) { exitCodes.push_back(code); };
    form1 = std::make_unique<TForm1>(widgets, toolkit, std::move(environment));
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(form1->sql->checked());
    EXPECT_TRUE(form1->sql->enabled());
}

}  // namespace
