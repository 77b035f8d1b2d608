// Commands and queries against the loopback fake server: exact argument bytes, replies,
// reconnection, command order, TryQuery's attempts and the local-file transfer.
#include <cstring>
#include <fstream>

#include "common/Text.h"
#include "mysql/umysqlsha1.h"
#include "platform/Files.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

using CommandTest = NativeSocketsTest;

// Connects a client (no automatic reconnection, so no ping before queries) to `server`.
void connectTo(TMysqlClient& client, const FakeMysqlServer& server, bool reconnect = false) {
    pointAt(client, server);
    client.setShouldReconnect(reconnect);
    ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
}

std::vector<std::string> afterLogin(const std::vector<std::string>& received) {
    return received.empty() ? received
                            : std::vector<std::string>(received.begin() + 1, received.end());
}

TEST_F(CommandTest, simpleCommandsSendTheirCodeAndArgumentBytes) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    {
        TMysqlClient client;
        connectTo(client, server);
        EXPECT_TRUE(client.kill(256));
        EXPECT_TRUE(client.refresh(3));
        EXPECT_TRUE(client.ping());
        EXPECT_TRUE(client.dump_debug_info());
        EXPECT_TRUE(client.create_db(u"новa"));
        EXPECT_TRUE(client.drop_db(u"old"));
        EXPECT_TRUE(client.select_db(u"shop"));
        EXPECT_EQ(client.Db(), u"shop");
        client.setDb(u"other");
        EXPECT_EQ(client.Db(), u"other");
    }
    server.finish();
    EXPECT_EQ(
        afterLogin(server.received(0)),
        (std::vector<std::string>{
            bytes({0x0C, 0x00, 0x01, 0x00, 0x00}), bytes({0x07, 0x03, 0x00, 0x00, 0x00}), "\x0E",
            "\x0D", "\x05" + text::toUtf8(u"новa"), "\x06old", "\x02shop", "\x02other", "\x01"}));
}

TEST_F(CommandTest, serverErrorFailsTheCommandAndKeepsTheConnection) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        c.readPacket();
        c.sendPacket(1, mysqlwire::error(1049, "Unknown database 'nope'", "42000"));
        answerOk(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    EXPECT_FALSE(client.select_db(u"nope"));
    EXPECT_EQ(client.LastErrorNo(), 1049u);
    EXPECT_EQ(client.LastError(), u"Unknown database 'nope'");
    EXPECT_EQ(client.Db(), u"");
    EXPECT_TRUE(client.ping());  // every command starts with a clean error state
    EXPECT_EQ(client.LastErrorNo(), 0u);
    EXPECT_EQ(client.LastError(), u"");
    client.close();
    server.finish();
}

TEST_F(CommandTest, refusedOrPossiblyRunCommandsAreNeverSentTwice) {
    // Connection 0 refuses every command; connection 1 takes a kill and breaks unanswered, as
    // a server killing this very connection does; connection 2 answers.
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
                                handshake(c);
                                while (auto command = c.readPacket()) {
                                    if (command->size() == 1 && (*command)[0] == 1) break;
                                    c.sendPacket(1,
                                                 mysqlwire::error(1044, "Access denied", "42000"));
                                }
                            },
                            [](FakeMysqlConnection& c) { handshake(c), c.readPacket(), c.close(); },
                            [](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    TMysqlClient client;
    connectTo(client, server, true);
    EXPECT_FALSE(client.select_db(u"a"));
    EXPECT_FALSE(client.kill(5));
    EXPECT_FALSE(client.create_db(u"b"));
    EXPECT_FALSE(client.drop_db(u"c"));
    EXPECT_FALSE(client.refresh(1));
    EXPECT_EQ(client.LastErrorNo(), 1044u);
    client.close();
    connectTo(client, server, true);
    EXPECT_FALSE(client.kill(9));
    EXPECT_EQ(client.LastErrorNo(), 2013u);
    EXPECT_TRUE(client.ping());
    client.close();
    EXPECT_EQ(server.finish(), 3);
    EXPECT_EQ(afterLogin(server.received(0)),
              (std::vector<std::string>{"\x02"
                                        "a",
                                        bytes({0x0C, 5, 0, 0, 0}),
                                        "\x05"
                                        "b",
                                        "\x06"
                                        "c",
                                        bytes({0x07, 1, 0, 0, 0}), "\x01"}));
    EXPECT_EQ(afterLogin(server.received(1)),
              (std::vector<std::string>{bytes({0x0C, 9, 0, 0, 0})}));
    EXPECT_EQ(afterLogin(server.received(2)), (std::vector<std::string>{"\x0E", "\x01"}));
}

TEST_F(CommandTest, pingAfterTheServerClosedReconnectsWhenAllowed) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), c.readPacket(); },
                            [](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    TMysqlClient client;
    connectTo(client, server, true);
    EXPECT_TRUE(client.ping());
    EXPECT_TRUE(client.Connected());
    client.close();
    EXPECT_EQ(server.finish(), 2);
    EXPECT_EQ(afterLogin(server.received(0)), (std::vector<std::string>{"\x0E"}));
    EXPECT_EQ(afterLogin(server.received(1)), (std::vector<std::string>{"\x0E", "\x01"}));
}

TEST_F(CommandTest, pingAfterTheServerClosedFailsWithoutReconnection) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), c.readPacket(); }});
    TMysqlClient client;
    connectTo(client, server, false);
    EXPECT_FALSE(client.ping());
    EXPECT_EQ(client.LastErrorNo(), 2013u);
    EXPECT_EQ(client.LastError(), u"Lost connection to MySQL server during query");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.ServerVersion(), u"");  // the client was closed
    EXPECT_EQ(server.finish(), 1);
}

TEST_F(CommandTest, changeUserSendsUserSecureReplyAndDatabase) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    std::uint8_t seed[256] = {};
    std::memcpy(seed, "abcdefghijklmnopqrst", 20);
    const auto token = secure_auth_token(u"pw", seed);
    ASSERT_TRUE(token);
    {
        TMysqlClient client;
        connectTo(client, server);
        EXPECT_TRUE(client.change_user(u"bob", u"pw", u"shop"));
        EXPECT_EQ(client.User(), u"bob");
        EXPECT_EQ(client.Password(), u"pw");
        EXPECT_EQ(client.Db(), u"shop");
        EXPECT_TRUE(client.change_user(u"", u"", u""));
        // The whole user name; the database cut so that all fits 512 bytes.
        EXPECT_TRUE(client.change_user(std::u16string(40, u'u'), u"", std::u16string(600, u'd')));
    }
    server.finish();
    const auto received = afterLogin(server.received(0));
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0],
              "\x11"
              "bob" +
                  std::string(1, '\0') +
                  std::string(reinterpret_cast<const char*>(token->data()), 21) + "shop" + '\0');
    EXPECT_EQ(received[1], "\x11" + std::string(3, '\0'));
    EXPECT_EQ(received[2],
              "\x11" + std::string(40, 'u') + '\0' + '\0' + std::string(469, 'd') + '\0');
    EXPECT_EQ(received[2].size(), 1u + 512u);
}

TEST_F(CommandTest, changeUserOnAServerWithoutSecureAuthenticationSendsTheOldScramble) {
    mysqlwire::Greeting old;
    old.capabilities = 0x000F;
    FakeMysqlServer server({[&](FakeMysqlConnection& c) { handshake(c, old), answerOk(c); }});
    std::uint8_t seed[256] = {};
    std::memcpy(seed, "abcdefghijklmnopqrst", 20);
    const auto scramble = old_scramble(u"pw", seed);
    ASSERT_TRUE(scramble);
    {
        TMysqlClient client;
        connectTo(client, server);
        EXPECT_TRUE(client.change_user(u"bob", u"pw", u"shop"));
    }
    server.finish();
    EXPECT_EQ(afterLogin(server.received(0))[0],
              "\x11"
              "bob" +
                  std::string(1, '\0') + std::string(scramble->data(), 8) + '\0' + "shop" + '\0');
}

TEST_F(CommandTest, statReturnsTheStatusLineOrWrongHostInfo) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        c.readPacket();
        c.sendPacket(1, "Uptime: 5  Threads: 1");
        c.readPacket();
        c.sendPacket(1, std::string(1, '\0'));
        drain(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    EXPECT_EQ(client.stat(), u"Uptime: 5  Threads: 1");
    EXPECT_EQ(client.stat(), u"");
    EXPECT_EQ(client.LastErrorNo(), 2009u);
    EXPECT_EQ(client.LastError(), u"Wrong host info");
    client.close();
    server.finish();
}

TEST_F(CommandTest, shutdownClosesTheClientEvenWhenRefused) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        c.readPacket();
        c.sendPacket(1, mysqlwire::error(1227, "Access denied; you need the SHUTDOWN privilege"));
        drain(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    EXPECT_FALSE(client.shutdown());
    EXPECT_FALSE(client.Connected());
    // The goodbye that closing sends keeps the refusal's reason.
    EXPECT_EQ(client.LastErrorNo(), 1227u);
    EXPECT_EQ(client.LastError(), u"Access denied; you need the SHUTDOWN privilege");
    server.finish();
    EXPECT_EQ(afterLogin(server.received(0)), (std::vector<std::string>{"\x08", "\x01"}));
}

TEST_F(CommandTest, statementWithoutRowsGivesOkValuesAndNoResult) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        c.readPacket();  // the ping that comes first when reconnection is on
        c.sendPacket(1, mysqlwire::ok());
        c.readPacket();
        c.sendPacket(1, mysqlwire::ok(3, 42, 0x0003, "Records: 3  Duplicates: 0"));
        drain(c);
    }});
    TMysqlClient client;
    pointAt(client, server);
    ASSERT_TRUE(client.connect());
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"INSERT INTO t VALUES (1),(2),(3)", true, executed, result);
    EXPECT_TRUE(executed);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(client.LastInsertId(), 42);
    EXPECT_EQ(client.ServerStatus(), 3);
    // The 4.1 layout: the warning count comes before the message.
    EXPECT_EQ(client.Info(), u"Records: 3  Duplicates: 0");
    client.close();
    server.finish();
    EXPECT_EQ(afterLogin(server.received(0)),
              (std::vector<std::string>{"\x0E", "\x03INSERT INTO t VALUES (1),(2),(3)", "\x01"}));
}

TEST_F(CommandTest, okPacketFromAServerWithoutTransactionsLeavesTheStatus) {
    mysqlwire::Greeting old;
    old.capabilities = 0x000F;  // no 4.1, no transactions
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        handshake(c, old);
        c.readPacket();
        c.sendPacket(1, std::string(1, '\0') + mysqlwire::lenenc(1) + mysqlwire::lenenc(0) +
                            mysqlwire::lenencString("old style info"));
        drain(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"UPDATE t SET a=1", true, executed, result);
    EXPECT_TRUE(executed);
    EXPECT_EQ(client.AffectedRows(), 1);
    EXPECT_EQ(client.ServerStatus(), 2);
    EXPECT_EQ(client.Info(), u"old style info");
    client.close();
    server.finish();
}

TEST_F(CommandTest, tryQueryWithNotnilOnAStatementWithoutRowsGivesUpAfterThreeAttempts) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) { handshake(c), answerOk(c); }});
    TMysqlClient client;
    connectTo(client, server, true);
    std::unique_ptr<TMysqlResult> result;
    std::int32_t number = 0;
    std::u16string text;
    EXPECT_FALSE(client.TryQuery(result, number, text, u"DO 1", true, true));
    EXPECT_EQ(number, -1);
    EXPECT_EQ(text, u"Can not connect to SQL");
    client.close();
    server.finish();
    const std::string ping = "\x0E",
                      query =
                          "\x03"
                          "DO 1",
                      names =
                          "\x03"
                          "set names utf8mb4";
    EXPECT_EQ(afterLogin(server.received(0)),
              (std::vector<std::string>{ping, query, ping, names, ping, query, ping, names, ping,
                                        query, "\x01"}));
}

TEST_F(CommandTest, tryQueryReportsTheServerErrorAfterThreeFailures) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        while (c.readPacket()) c.sendPacket(1, mysqlwire::error(1064, "syntax", "42000"));
    }});
    TMysqlClient client;
    connectTo(client, server);
    std::unique_ptr<TMysqlResult> result;
    std::int32_t number = 0;
    std::u16string text;
    EXPECT_FALSE(client.TryQuery(result, number, text, u"SELEC 1", false, false));
    EXPECT_EQ(number, 1064);
    EXPECT_EQ(text, u"syntax");
    client.close();
    server.finish();
    EXPECT_EQ(afterLogin(server.received(0)).size(), 4u);  // three statements and goodbye
}

// ---- local files ----------------------------------------------------------------------------

class LocalFileTest : public CommandTest {
  protected:
    // Server: asks for `name` in answer to the statement, records what comes, answers OK.
    static FakeMysqlServer::Script askFor(const std::string& name) {
        return [name](FakeMysqlConnection& c) {
            handshake(c);
            c.readPacket();
            c.sendPacket(1, "\xFB" + name);
            std::uint8_t sequence = 0;
            while (auto packet = c.readPacket(&sequence)) {
                if (packet->empty()) break;
            }
            c.sendPacket(static_cast<std::uint8_t>(sequence + 1), mysqlwire::ok(2));
            answerOk(c);
        };
    }
    // The path as a quoted SQL literal (Windows paths hold backslashes, which SQL unescapes).
    static std::u16string literal(const std::u16string& path) {
        std::u16string out = u"'";
        for (char16_t c : path) {
            if (c == u'\\') out.push_back(c);
            out.push_back(c);
        }
        return out + u"'";
    }
    std::u16string temporaryFile(const std::string& content) {
        auto& files = platform::get<platform::Files>();
        const std::u16string path = files.temporaryFolder() + u"orvelle_mysql_local_file.txt";
        std::ofstream(text::toUtf8(path), std::ios::binary) << content;
        return path;
    }
};

TEST_F(LocalFileTest, requestIsRefusedWhenLocalFilesAreNotEnabled) {
    FakeMysqlServer server({askFor("/etc/passwd")});
    TMysqlClient client;
    connectTo(client, server);
    EXPECT_FALSE(client.AllowLocalInfile());
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"LOAD DATA LOCAL INFILE '/etc/passwd' INTO TABLE t", true, executed, result);
    EXPECT_FALSE(executed);
    EXPECT_EQ(client.LastErrorNo(), 2000u);
    EXPECT_EQ(client.LastError(),
              u"Local file '/etc/passwd' refused: only the file named in the client's own LOAD "
              u"DATA LOCAL INFILE statement is sent, with local files enabled");
    // The empty answer kept the exchange in step: the connection is usable.
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
    const auto received = afterLogin(server.received(0));
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[1], "");
}

TEST_F(LocalFileTest, requestForAnyFileButTheStatementsOwnIsRefusedEvenWhenEnabled) {
    // Asks for the secret in answer to every statement.
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        while (auto command = c.readPacket()) {
            if (command->empty() || (*command)[0] != 3) {
                c.sendPacket(1, mysqlwire::ok());
                continue;
            }
            c.sendPacket(1, "\xFB/etc/secret");
            std::uint8_t sequence = 0;
            while (auto packet = c.readPacket(&sequence))
                if (packet->empty()) break;
            c.sendPacket(static_cast<std::uint8_t>(sequence + 1), mysqlwire::ok());
        }
    }});
    TMysqlClient client;
    connectTo(client, server);
    client.setAllowLocalInfile(true);
    for (const std::u16string statement :
         {u"SELECT 1", u"LOAD DATA INFILE '/etc/secret' INTO TABLE t",
          u"LOAD DATA LOCAL INFILE 'data.csv' INTO TABLE t",
          u"LOAD DATA LOCAL INFILE '/etc/secret.old' INTO TABLE t"}) {
        bool executed = true;
        std::unique_ptr<TMysqlResult> result;
        client.query(statement, true, executed, result);
        EXPECT_FALSE(executed) << text::toUtf8(statement);
        EXPECT_EQ(client.LastErrorNo(), 2000u);
        EXPECT_TRUE(client.ping());
    }
    client.close();
    server.finish();
    for (const auto& packet : afterLogin(server.received(0)))  // commands and empty answers
        EXPECT_TRUE(packet.empty() || packet[0] == 3 || packet[0] == 14 || packet[0] == 1);
}

TEST_F(LocalFileTest, enabledLoadDataSendsTheFileInPacketsAndAnEmptyOne) {
    const std::string content(70000, 'L');
    const std::u16string path = temporaryFile(content);
    FakeMysqlServer server({askFor(text::toUtf8(path))});
    TMysqlClient client;
    connectTo(client, server);
    client.setAllowLocalInfile(true);
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    const std::u16string statement =
        u"  load   data local infile " + literal(path) + u" into table t";
    client.query(statement, true, executed, result);
    EXPECT_TRUE(executed) << text::toUtf8(client.LastError());
    EXPECT_EQ(client.AffectedRows(), 2);
    client.close();
    server.finish();
    const auto received = afterLogin(server.received(0));
    EXPECT_EQ(received,
              (std::vector<std::string>{"\x03" + text::toUtf8(statement), std::string(61440, 'L'),
                                        std::string(70000 - 61440, 'L'), "", "\x01"}));
}

TEST_F(LocalFileTest, missingFileIsAnsweredWithAnEmptyPacket) {
    auto& files = platform::get<platform::Files>();
    const std::u16string path = files.temporaryFolder() + u"orvelle_no_such_file.txt";
    FakeMysqlServer server({askFor(text::toUtf8(path))});
    TMysqlClient client;
    connectTo(client, server);
    client.setAllowLocalInfile(true);
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"LOAD DATA LOCAL INFILE " + literal(path) + u" INTO TABLE t", true, executed,
                 result);
    EXPECT_FALSE(executed);
    EXPECT_EQ(client.LastErrorNo(), 0u);
    EXPECT_EQ(client.LastError(), u"File '" + path + u"' not found (Errcode: 2)");
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
}

}  // namespace

namespace {

class ScriptedCommandTest : public ScriptedSocketsTest {};

TEST_F(ScriptedCommandTest, failedWriteWithoutReconnectionIsServerGoneAway) {
    sockets.feed(mysqlwire::packet(0, mysqlwire::greeting()) +
                 mysqlwire::packet(2, mysqlwire::ok()));
    TMysqlClient client;
    client.setShouldReconnect(false);
    ASSERT_TRUE(client.connect(u"127.0.0.1", u"", u"", u"", 3306, u"", false, 0));
    sockets.failSend = true;
    EXPECT_FALSE(client.ping());
    EXPECT_EQ(client.LastErrorNo(), 2006u);
    EXPECT_EQ(client.LastError(), u"MySQL server has gone away");
    EXPECT_FALSE(client.Connected());
}

TEST_F(ScriptedCommandTest, connectionLostInsideATransactionIsNotRestoredAtOnce) {
    using mysqlwire::packet;
    sockets.feed(packet(0, mysqlwire::greeting()));
    sockets.replyAfterNextSend(packet(2, mysqlwire::ok()));
    sockets.replyAfterNextSend(packet(1, mysqlwire::ok()));              // the ping
    sockets.replyAfterNextSend(packet(1, mysqlwire::ok(0, 0, 0x0001)));  // BEGIN
    TMysqlClient client;
    ASSERT_TRUE(client.connect(u"127.0.0.1", u"", u"", u"", 3306, u"", false, 0));
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"BEGIN", true, executed, result);
    ASSERT_TRUE(executed);
    EXPECT_EQ(client.ServerStatus(), 1);
    // The open transaction's work is gone with the connection: no silent reconnection.
    sockets.failSend = true;
    EXPECT_FALSE(client.ping());
    EXPECT_EQ(client.LastErrorNo(), 2006u);
    EXPECT_EQ(client.ServerStatus(), 0);
    // The next command may reconnect.
    sockets.failSend = false;
    sockets.feed(packet(0, mysqlwire::greeting()));
    sockets.replyAfterNextSend(packet(2, mysqlwire::ok()));
    sockets.replyAfterNextSend(packet(1, mysqlwire::ok()));
    EXPECT_TRUE(client.ping());
    EXPECT_TRUE(client.Connected());
}

}  // namespace
