// Connecting against the loopback fake server: the greeting's fields, the exact login bytes,
// refused logins, odd greetings, TryCon, and the properties that cut the connection.
#include <cstring>

#include "common/Text.h"
#include "mysql/umysqlsha1.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

using mysqlwire::Greeting;
using ConnectTest = NativeSocketsTest;

// Flags, maximum packet 64 MiB, utf8mb4 (45) for the 5.5.5-10.11 greeting, 23 zero bytes.
const std::string kLoginHead =
    bytes({0x85, 0xA6, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x2D}) + std::string(23, '\0');

TEST_F(ConnectTest, probeLoginIs35BytesAndTheGreetingFillsTheProperties) {
    std::uint8_t loginSequence = 0;
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        c.sendPacket(0, mysqlwire::greeting());
        c.readPacket(&loginSequence);
        c.sendPacket(2, mysqlwire::ok());
        drain(c);
    }});
    {
        TMysqlClient client;
        pointAt(client, server);
        ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
        EXPECT_TRUE(client.Connected());
        EXPECT_EQ(client.ServerVersion(), u"5.5.5-10.11.6-MariaDB");
        EXPECT_EQ(client.ThreadId(), 7u);
        EXPECT_EQ(client.ProtocolVersion(), 10u);
        EXPECT_EQ(client.ServerCapabilities(), 0xA20Fu);
        EXPECT_EQ(client.ServerLanguage(), 8u);
        EXPECT_EQ(client.ServerStatus(), 2);
        EXPECT_EQ(client.ClientFlag(), 0xA685u);
        EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.ScrambleBuff()), 21),
                  std::string("abcdefghijklmnopqrst") + '\0');
        // Already connected: true at once, nothing sent, whatever the arguments.
        EXPECT_TRUE(client.connect(u"10.0.0.1", u"x", u"y", u"z", 1, u"", true, 0));
    }
    server.finish();
    EXPECT_EQ(loginSequence, 1);
    EXPECT_EQ(server.received(0),
              (std::vector<std::string>{kLoginHead + bytes({0, 0, 0}), std::string(1, '\x01')}));
}

TEST_F(ConnectTest, loginAnnouncesUtf8ForServersWithoutUtf8mb4) {
    Greeting old;
    old.version = "5.5.2-m2";
    FakeMysqlServer server({[&](FakeMysqlConnection& c) { handshake(c, old), drain(c); }});
    {
        TMysqlClient client;
        pointAt(client, server);
        ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
    }
    server.finish();
    ASSERT_FALSE(server.received(0).empty());
    EXPECT_EQ(server.received(0)[0].substr(8, 1), "\x21");
}

TEST_F(ConnectTest, loginCarriesUserTokenAndDatabase) {
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        handshake(c);
        drain(c);
    }});
    std::uint8_t seed[256] = {};
    std::memcpy(seed, "abcdefghijklmnopqrst", 20);
    const auto token = secure_auth_token(u"secret", seed);
    ASSERT_TRUE(token);
    // Whole names, in UTF-8 whatever the system's code page.
    const std::u16string user = u"тест" + std::u16string(36, u'x');
    {
        TMysqlClient client;
        ASSERT_TRUE(
            client.connect(u"127.0.0.1", user, u"secret", u"бд", server.port(), u"", false, 0));
        EXPECT_EQ(client.ClientFlag(), 0xA68Du);
        EXPECT_EQ(client.Db(), u"бд");
        EXPECT_EQ(client.UnixSocket(), u"");
    }
    server.finish();
    const std::string expectedHead =
        bytes({0x8D, 0xA6, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x2D}) + std::string(23, '\0');
    EXPECT_EQ(server.received(0)[0],
              expectedHead + text::toUtf8(user) + '\0' +
                  std::string(reinterpret_cast<const char*>(token->data()), 21) +
                  text::toUtf8(u"бд"));
}

TEST_F(ConnectTest, databaseIsSelectedAfterLoginWhenTheServerCannotTakeItInTheLogin) {
    Greeting greeting;
    greeting.capabilities = 0xA207;  // no "connect with database"
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        handshake(c, greeting);
        answerOk(c);
    }});
    {
        TMysqlClient client;
        ASSERT_TRUE(client.connect(u"127.0.0.1", u"", u"", u"shop", server.port(), u"", false, 0));
    }
    server.finish();
    const auto received = server.received(0);
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0].back(), '\0');  // no database in the login
    EXPECT_EQ(received[1], "\x02shop");
}

TEST_F(ConnectTest, refusedLoginReportsTheServerTextAndKeepsTheGreeting) {
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        c.sendPacket(0, mysqlwire::greeting());
        c.readPacket();
        c.sendPacket(2, mysqlwire::error(1045, "Access denied for user ''@'localhost'", "28000"));
        drain(c);
    }});
    {
        TMysqlClient client;
        pointAt(client, server);
        EXPECT_FALSE(client.connect());
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(client.LastErrorNo(), 1045u);
        EXPECT_EQ(client.LastError(), u"Access denied for user ''@'localhost'");
        EXPECT_EQ(client.ServerVersion(), u"5.5.5-10.11.6-MariaDB");
        EXPECT_EQ(client.ThreadId(), 7u);
    }
    server.finish();
    EXPECT_EQ(server.received(0).size(), 1u);  // the login; no goodbye on a closed client
}

TEST_F(ConnectTest, protocolVersionsOtherThan9And10AreRefused) {
    Greeting nine;
    nine.protocol = 9;
    Greeting eleven;
    eleven.protocol = 11;
    FakeMysqlServer server({[&](FakeMysqlConnection& c) { handshake(c, nine), drain(c); },
                            [&](FakeMysqlConnection& c) {
                                c.sendPacket(0, mysqlwire::greeting(eleven));
                                drain(c);
                            }});
    TMysqlClient client;
    pointAt(client, server);
    EXPECT_TRUE(client.connect());
    EXPECT_EQ(client.ProtocolVersion(), 9u);
    client.close();
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 2007u);
    EXPECT_EQ(client.LastError(), u"Protocol mismatch. Server Version = 11 Client Version = 10");
    EXPECT_FALSE(client.Connected());
    server.finish();
}

TEST_F(ConnectTest, shortGreetingsSetOnlyTheFieldsTheyHold) {
    Greeting g;
    g.version = "5.0.1";  // L = 5
    const std::string full = mysqlwire::greeting(g);
    const struct {
        std::size_t length;
        std::uint32_t capabilities;
        std::uint32_t language;
        std::string seedTail;  // seed bytes 8..19
    } cases[] = {
        {5 + 15, 0, 0, std::string(12, '\0')},
        {5 + 16, 0x0F, 0, std::string(12, '\0')},
        {5 + 32, 0xA20F, 0, std::string(12, '\0')},
        {5 + 33, 0xA20F, 8, std::string(12, '\0')},
        {5 + 38, 0xA20F, 8, "ijklm" + std::string(7, '\0')},
        {full.size(), 0xA20F, 8, "ijklmnopqrst"},
    };
    std::vector<FakeMysqlServer::Script> scripts;
    for (const auto& c : cases) {
        scripts.push_back([&, length = c.length](FakeMysqlConnection& connection) {
            connection.sendPacket(0, full.substr(0, length));
            connection.readPacket();
            connection.sendPacket(2, mysqlwire::ok());
            drain(connection);
        });
    }
    FakeMysqlServer server(scripts);
    TMysqlClient client;
    pointAt(client, server);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        ASSERT_TRUE(client.connect());
        EXPECT_EQ(client.ServerCapabilities(), c.capabilities);
        EXPECT_EQ(client.ServerLanguage(), c.language);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.ScrambleBuff()) + 8, 12),
                  c.seedTail);
        client.close();
    }
    server.finish();
}

TEST_F(ConnectTest, greetingWithoutThreadIdAndSeedIsAClientError) {
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        c.sendPacket(0, mysqlwire::greeting().substr(0, 25));
        drain(c);
    }});
    TMysqlClient client;
    pointAt(client, server);
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 2000u);
    EXPECT_EQ(client.LastError(), u"Unknown MySQL error");
    EXPECT_FALSE(client.Connected());
    server.finish();
}

TEST_F(ConnectTest, noServerListeningGives2003) {
    std::uint16_t port = 0;
    loopback::closeSocket(loopback::listenOnLoopback(port));
    TMysqlClient client;
    client.setHost(u"127.0.0.1");
    client.setPort(port);
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 2003u);
    EXPECT_EQ(client.LastError().rfind(u"Can't connect to MySQL server on '127.0.0.1' (", 0), 0u);
}

TEST_F(ConnectTest, tryConWithoutHostReportsNoSqlParams) {
    TMysqlClient client;
    std::int32_t number = 5;
    std::u16string text = u"old";
    EXPECT_FALSE(client.TryCon(number, text));
    EXPECT_EQ(number, -1);
    EXPECT_EQ(text, u"No SQL params");
}

TEST_F(ConnectTest, tryConMakesThreeAttemptsAndReportsTheLastError) {
    const auto refuse = [](FakeMysqlConnection& c) {
        c.sendPacket(0, mysqlwire::error(1130, "Host is not allowed to connect", "HY000"));
        drain(c);
    };
    FakeMysqlServer server({refuse, refuse, refuse});
    TMysqlClient client;
    pointAt(client, server);
    std::int32_t number = 0;
    std::u16string text;
    EXPECT_FALSE(client.TryCon(number, text));
    EXPECT_EQ(number, 1130);
    EXPECT_EQ(text, u"Host is not allowed to connect");
    EXPECT_EQ(server.finish(), 3);
}

TEST_F(ConnectTest, tryConSucceedsOnALaterAttempt) {
    FakeMysqlServer server(
        {[](FakeMysqlConnection& c) { c.sendPacket(0, mysqlwire::error(1040, "Too many")); },
         [](FakeMysqlConnection& c) { handshake(c), drain(c); }});
    TMysqlClient client;
    pointAt(client, server);
    std::int32_t number = 7;
    std::u16string text = u"x";
    EXPECT_TRUE(client.TryCon(number, text));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(text, u"");
    client.close();
    EXPECT_EQ(server.finish(), 2);
}

TEST_F(ConnectTest, settingPropertiesCutsTheConnectionOnlyOnChange) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), drain(c); }});
    TMysqlClient client;
    pointAt(client, server);
    client.setCompress(true);
    client.setUseSSL(true);
    EXPECT_FALSE(client.Compress());
    EXPECT_FALSE(client.UseSSL());
    ASSERT_TRUE(client.connect());
    client.setPort(server.port());
    client.setHost(u"127.0.0.1");
    EXPECT_TRUE(client.Connected());
    client.setPort(1);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.ServerVersion(), u"5.5.5-10.11.6-MariaDB");  // kept until close
    server.finish();
    EXPECT_EQ(server.received(0).size(), 1u);  // no goodbye when a property cuts
}

TEST_F(ConnectTest, silentServerEndsEveryWaitWith2013) {
    // One never greets; the other greets, admits the login and then says nothing.
    FakeMysqlServer server({[](FakeMysqlConnection& c) { c.waitForPeerClose(); },
                            [](FakeMysqlConnection& c) { handshake(c), drain(c); },
                            [](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    TMysqlClient client;
    pointAt(client, server);
    EXPECT_EQ(client.ConnectTimeout(), 30u);
    EXPECT_EQ(client.ReadTimeout(), 300u);
    EXPECT_EQ(client.WriteTimeout(), 300u);
    client.setConnectTimeout(1);
    client.setReadTimeout(1);
    EXPECT_FALSE(client.connect());
    expectLostConnection(client);
    ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
    EXPECT_FALSE(client.ping());
    expectLostConnection(client);
    // A slow server may still run the command: it is not sent again on a new connection.
    EXPECT_TRUE(client.ping());
    client.close();
    EXPECT_EQ(server.finish(), 3);
    EXPECT_EQ(server.received(2).size(), 3u);  // login, the one ping, goodbye
}

TEST_F(ConnectTest, loginEndsOnlyWithAnOkAndWithinTheConnectTimeOut) {
    // The read time-out stays 300 s: only the connect time-out can end the stalled ones before
    // the server gives up waiting for the client to leave (10 s).
    std::vector<bool> clientLeft(2);
    const struct {
        FakeMysqlServer::Script script;
        std::uint32_t number;
        std::u16string text;
    } cases[] = {
        {[&](FakeMysqlConnection& c) {  // a greeting cut after 3 bytes
             c.sendRaw(mysqlwire::packet(0, mysqlwire::greeting()).substr(0, 3));
             clientLeft[0] = c.waitForPeerClose();
         },
         2013, u"Lost connection to MySQL server during query"},
        {[&](FakeMysqlConnection& c) {  // a login never answered
             c.sendPacket(0, mysqlwire::greeting());
             c.readPacket();
             clientLeft[1] = c.waitForPeerClose();
         },
         2013, u"Lost connection to MySQL server during query"},
        {[](FakeMysqlConnection& c) {  // "more data" where only an OK finishes
             c.sendPacket(0, mysqlwire::greeting());
             c.readPacket();
             c.sendPacket(2, "\x01");
             drain(c);
         },
         2000,
         u"Authentication method 'mysql_native_password' got a request it does not understand"},
        {[](FakeMysqlConnection& c) {  // neither OK, error, switch nor more data
             c.sendPacket(0, mysqlwire::greeting());
             c.readPacket();
             c.sendPacket(2, "\x02");
             drain(c);
         },
         2012, u"Error in server handshake"},
    };
    std::vector<FakeMysqlServer::Script> scripts;
    for (const auto& c : cases) scripts.push_back(c.script);
    FakeMysqlServer server(scripts);
    TMysqlClient client;
    pointAt(client, server);
    client.setConnectTimeout(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(text::toUtf8(c.text));
        EXPECT_FALSE(client.connect());
        EXPECT_EQ(client.LastErrorNo(), c.number);
        EXPECT_EQ(client.LastError(), c.text);
        EXPECT_FALSE(client.Connected());
    }
    server.finish();
    EXPECT_EQ(clientLeft, std::vector<bool>(2, true));
}

TEST_F(ConnectTest, closeOnANeverConnectedClientResetsAndSendsNothing) {
    TMysqlClient client;
    client.close();
    EXPECT_EQ(client.ServerStatus(), 2);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(client.ClientVersion(), u"3.23.38");
    EXPECT_EQ(client.Port(), 3306u);
    EXPECT_EQ(client.ClientFlag(), 0x2085u);
    EXPECT_TRUE(client.ShouldReconnect());
}

}  // namespace

namespace {

TEST_F(ConnectTest, serverAskingForAnotherAnswerIsAnsweredBeforeTheLoginCounts) {
    const std::string newSeed = "ABCDEFGHIJKLMNOPQRST";
    const auto askForOldScramble = [](FakeMysqlConnection& c) {
        c.sendPacket(0, mysqlwire::greeting());
        c.readPacket();
        c.sendPacket(2, "\xFE");
        drain(c);
    };
    FakeMysqlServer server({askForOldScramble,
                            [](FakeMysqlConnection& c) {  // an old-password account
                                c.sendPacket(0, mysqlwire::greeting());
                                c.readPacket();
                                c.sendPacket(2, "\xFE");
                                c.readPacket();
                                c.sendPacket(4, mysqlwire::ok());
                                drain(c);
                            },
                            [&](FakeMysqlConnection& c) {  // another seed for the native password
                                c.sendPacket(0, mysqlwire::greeting());
                                c.readPacket();
                                c.sendPacket(2, "\xFEmysql_native_password" + std::string(1, '\0') +
                                                    newSeed + '\0');
                                c.readPacket();
                                c.sendPacket(4, mysqlwire::ok());
                                drain(c);
                            },
                            [](FakeMysqlConnection& c) {  // a method this client does not speak
                                c.sendPacket(0, mysqlwire::greeting());
                                c.readPacket();
                                c.sendPacket(2,
                                             "\xFE"
                                             "client_ed25519" +
                                                 std::string(1, '\0') + "seed");
                                drain(c);
                            }});
    TMysqlClient client;
    // After a 4.1 greeting the old scramble is a downgrade: refused unless allowed.
    EXPECT_FALSE(client.connect(u"127.0.0.1", u"bob", u"pw", u"", server.port(), u"", false, 0));
    EXPECT_EQ(client.LastErrorNo(), 2000u);
    EXPECT_EQ(client.LastError(),
              u"The server asked for the old (pre-4.1) password scramble after a 4.1 greeting; "
              u"refused because old passwords are not allowed");
    client.setAllowOldPasswords(true);
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(client.connect(u"127.0.0.1", u"bob", u"pw", u"", server.port(), u"", false, 0))
            << text::toUtf8(client.LastError());
        client.close();
    }
    EXPECT_FALSE(client.connect(u"127.0.0.1", u"bob", u"pw", u"", server.port(), u"", false, 0));
    EXPECT_EQ(client.LastErrorNo(), 2000u);
    EXPECT_EQ(client.LastError(), u"Authentication method 'client_ed25519' is not supported");
    server.finish();

    std::uint8_t seed[256] = {};
    std::memcpy(seed, "abcdefghijklmnopqrst", 20);
    const auto oldAnswer = old_scramble(u"pw", seed);
    std::memcpy(seed, newSeed.data(), 20);
    const auto token = secure_auth_token(u"pw", seed);
    ASSERT_TRUE(oldAnswer && token);
    EXPECT_EQ(server.received(0).size(), 1u);  // the login only: nothing of the password
    EXPECT_EQ(server.received(1)[1], std::string(oldAnswer->data(), 8) + '\0');
    EXPECT_EQ(server.received(2)[1],
              std::string(reinterpret_cast<const char*>(token->data()) + 1, 20));
}

}  // namespace
