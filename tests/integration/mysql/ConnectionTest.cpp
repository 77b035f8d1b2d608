// The connection and the commands against the real MariaDB: logins, databases, process list,
// kill and reconnection, ping, stat, refresh, change of user, shutdown, TryCon.
#include "tests/integration/mysql/MariaDbFixture.h"

namespace {

using ConnectionTest = MariaDbTest;

TEST_F(ConnectionTest, anonymousLoginReportsTheGreetingAsTheStartUpProbeReadsIt) {
    TMysqlClient client;
    client.setHost(kHost);
    client.setPort(kPort);
    ASSERT_TRUE(client.connect()) << u8(client.LastError());
    EXPECT_TRUE(client.Connected());
    // MariaDB announces itself as 5.5.5-<version>, which the probe's "5." test accepts.
    EXPECT_EQ(u8(client.ServerVersion()).rfind("5.5.5-10.11", 0), 0u) << u8(client.ServerVersion());
    EXPECT_EQ(client.ProtocolVersion(), 10u);
    EXPECT_NE(client.ThreadId(), 0u);
    EXPECT_EQ(client.ClientFlag(), 0xA685u);
    EXPECT_TRUE(client.ServerCapabilities() & CLIENT_PROTOCOL_41);
    EXPECT_EQ(client.LastErrorNo(), 0u);
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "@localhost");
    EXPECT_EQ(scalar(client, u"SELECT CONNECTION_ID()"), std::to_string(client.ThreadId()));
}

TEST_F(ConnectionTest, connectTimeoutWaitsForTheGreetingOverTcp) {
    TMysqlClient client;
    client.setConnectTimeout(5);
    ASSERT_TRUE(open(client)) << u8(client.LastError());
    EXPECT_EQ(scalar(client, u"SELECT 1"), "1");
}

TEST_F(ConnectionTest, textRoundTripsWithoutNamingACharacterSet) {
    TMysqlClient client;
    ASSERT_TRUE(open(client)) << u8(client.LastError());
    const auto result = run(client, u"SELECT name, CHAR_LENGTH(name), UPPER(name), "
                                    u"'Привіт' = 'ПРИВІТ' FROM samples WHERE id = 4");
    ASSERT_TRUE(result && !result->Eof());
    EXPECT_EQ(u8(result->FieldValue(0)), "Привіт, світе");
    EXPECT_EQ(u8(result->FieldValue(1)), "13");
    EXPECT_EQ(u8(result->FieldValue(2)), "ПРИВІТ, СВІТЕ");
    EXPECT_EQ(u8(result->FieldValue(3)), "1");  // compared as text, not as bytes
}

TEST_F(ConnectionTest, passwordLoginWithDatabase) {
    TMysqlClient client;
    ASSERT_TRUE(open(client)) << u8(client.LastError());
    EXPECT_EQ(client.ClientFlag(), 0xA68Du);  // with "connect with a database"
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "orvelle@localhost");
    EXPECT_EQ(scalar(client, u"SELECT DATABASE()"), "orvelle_test");
    // Connecting again while connected changes nothing.
    const auto thread = client.ThreadId();
    EXPECT_TRUE(client.connect(kHost, u"nobody", u"", u"", kPort, u"", true, 0));
    EXPECT_EQ(client.ThreadId(), thread);
}

TEST_F(ConnectionTest, wrongPasswordFailsWithTheServersTextAndKeepsTheGreeting) {
    TMysqlClient client;
    EXPECT_FALSE(open(client, kUser, u"wrong-pass"));
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.LastErrorNo(), 1045u);
    EXPECT_EQ(u8(client.LastError()),
              "Access denied for user 'orvelle'@'localhost' (using password: YES)");
    EXPECT_EQ(u8(client.ServerVersion()).rfind("5.5.5-", 0), 0u);
    EXPECT_NE(client.ThreadId(), 0u);
}

TEST_F(ConnectionTest, unknownDatabaseAndClosedPortFail) {
    TMysqlClient client;
    EXPECT_FALSE(open(client, kUser, kPassword, u"orvelle_no_such_db"));
    EXPECT_EQ(client.LastErrorNo(), 1049u);
    EXPECT_EQ(u8(client.LastError()), "Unknown database 'orvelle_no_such_db'");

    TMysqlClient nobody;
    nobody.setHost(kHost);
    nobody.setPort(3309);
    EXPECT_FALSE(nobody.connect());
    EXPECT_EQ(nobody.LastErrorNo(), 2003u);
    EXPECT_EQ(u8(nobody.LastError()).rfind("Can't connect to MySQL server on '127.0.0.1' (", 0), 0u)
        << u8(nobody.LastError());
}

TEST_F(ConnectionTest, tryConReportsSuccessAndFailureAsNumberAndText) {
    std::int32_t number = 99;
    std::u16string message = u"old";
    TMysqlClient client;
    client.setHost(kHost);
    client.setPort(kPort);
    EXPECT_TRUE(client.TryCon(number, message));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, u"");

    TMysqlClient refused;
    refused.setHost(kHost);
    refused.setPort(kPort);
    refused.setUser(kUser);
    refused.setPassword(u"wrong-pass");
    EXPECT_FALSE(refused.TryCon(number, message));
    EXPECT_EQ(number, 1045);
    EXPECT_EQ(u8(message), "Access denied for user 'orvelle'@'localhost' (using password: YES)");
}

TEST_F(ConnectionTest, databasesAreSelectedAndTheRemovedCommandsRefused) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    const std::u16string name = u"orvelle_it_" + text::decimal(client.ThreadId());
    // MariaDB 10.11 no longer has the create and drop commands: it refuses them by number and
    // the connection stays usable.
    EXPECT_FALSE(client.create_db(name));
    EXPECT_EQ(client.LastErrorNo(), 1047u);
    EXPECT_EQ(u8(client.LastError()), "Unknown command");
    EXPECT_FALSE(client.drop_db(name));
    EXPECT_EQ(client.LastErrorNo(), 1047u);
    run(client, u"CREATE DATABASE " + name);
    ASSERT_TRUE(client.select_db(name)) << u8(client.LastError());
    EXPECT_EQ(client.Db(), name);
    EXPECT_EQ(scalar(client, u"SELECT DATABASE()"), u8(name));
    run(client, u"DROP DATABASE " + name);
    EXPECT_FALSE(client.select_db(name));
    EXPECT_EQ(client.LastErrorNo(), 1049u);
    EXPECT_EQ(u8(client.LastError()), "Unknown database '" + u8(name) + "'");
    EXPECT_EQ(client.Db(), name);  // unchanged by the failed select
    // Writing Db on an open connection selects it.
    client.setDb(kDb);
    EXPECT_EQ(scalar(client, u"SELECT DATABASE()"), "orvelle_test");
}

TEST_F(ConnectionTest, pingStatAndRefresh) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    EXPECT_TRUE(client.ping());
    const std::string stat = u8(client.stat());
    EXPECT_EQ(stat.rfind("Uptime: ", 0), 0u) << stat;
    EXPECT_NE(stat.find("Threads: "), std::string::npos);
    EXPECT_TRUE(client.refresh(4)) << u8(client.LastError());  // flush tables: needs RELOAD
    EXPECT_FALSE(client.dump_debug_info());
    EXPECT_EQ(client.LastErrorNo(), 1227u) << u8(client.LastError());
    EXPECT_TRUE(client.ping());

    TMysqlClient anonymous;
    anonymous.setHost(kHost);
    anonymous.setPort(kPort);
    ASSERT_TRUE(anonymous.connect());
    EXPECT_FALSE(anonymous.refresh(4));
    EXPECT_EQ(anonymous.LastErrorNo(), 1227u);
    EXPECT_EQ(u8(anonymous.LastError()),
              "Access denied; you need (at least one of) the RELOAD privilege(s) for this "
              "operation");
    EXPECT_TRUE(anonymous.ping());  // an error reply leaves the connection usable
}

TEST_F(ConnectionTest, processListShowsThisConnection) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    auto list = client.list_processes();
    ASSERT_TRUE(list) << u8(client.LastError());
    EXPECT_EQ(list->ResultType(), rtStored);
    ASSERT_GE(list->FieldsCount(), 8);
    EXPECT_EQ(list->FieldIndexByName(u"Id", true), 0);
    EXPECT_EQ(list->FieldIndexByName(u"info", false), 7);
    bool found = false;
    for (; !list->Eof(); list->Next()) {
        if (list->FieldValue(0) == text::decimal(client.ThreadId())) {
            found = true;
            EXPECT_EQ(u8(list->FieldValueByName(u"User", true)), "orvelle");
            EXPECT_EQ(u8(list->FieldValueByName(u"db", true)), "orvelle_test");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_TRUE(client.ping());
}

TEST_F(ConnectionTest, killedConnectionReconnectsOnItsNextCommand) {
    TMysqlClient killer;
    TMysqlClient victim;
    ASSERT_TRUE(open(killer));
    ASSERT_TRUE(open(victim));
    const auto oldThread = victim.ThreadId();
    ASSERT_TRUE(killer.kill(static_cast<std::int32_t>(oldThread))) << u8(killer.LastError());
    // The ping finds the connection gone, reconnects with the stored parameters and is sent
    // again.
    EXPECT_TRUE(victim.ping()) << victim.LastErrorNo() << " " << u8(victim.LastError());
    EXPECT_NE(victim.ThreadId(), oldThread);
    EXPECT_EQ(scalar(victim, u"SELECT DATABASE()"), "orvelle_test");

    EXPECT_FALSE(killer.kill(static_cast<std::int32_t>(oldThread)));
    EXPECT_EQ(killer.LastErrorNo(), 1094u);
    EXPECT_EQ(u8(killer.LastError()), "Unknown thread id: " + std::to_string(oldThread));
}

TEST_F(ConnectionTest, withoutReconnectionAKilledConnectionStaysClosed) {
    TMysqlClient killer;
    TMysqlClient victim;
    ASSERT_TRUE(open(killer));
    ASSERT_TRUE(open(victim));
    victim.setShouldReconnect(false);
    ASSERT_TRUE(killer.kill(static_cast<std::int32_t>(victim.ThreadId())));
    EXPECT_FALSE(victim.ping());
    EXPECT_FALSE(victim.Connected());
    EXPECT_TRUE(victim.LastErrorNo() == 2013u || victim.LastErrorNo() == 2006u ||
                victim.LastErrorNo() == 1927u)
        << victim.LastErrorNo() << " " << u8(victim.LastError());
}

TEST_F(ConnectionTest, aCommandWhoseConnectionBrokeIsNotRunAgainOnANewOne) {
    TMysqlClient killer, client;
    ASSERT_TRUE(open(killer) && open(client));
    // Lost inside a transaction: that command fails, and only the next one connects afresh.
    run(client, u"START TRANSACTION");
    killer.kill(static_cast<std::int32_t>(client.ThreadId()));
    EXPECT_FALSE(client.ping());
    EXPECT_TRUE(client.ping());
    // Over the server's limit by more than the sockets hold: refused once, by the server.
    const auto thread = client.ThreadId();
    const std::size_t length = std::stoull(scalar(client, u"SELECT @@max_allowed_packet"));
    EXPECT_FALSE(client.select_db(std::u16string(length + (16 << 20), u'x')));
    EXPECT_EQ(u8(client.LastError()), "Got a packet bigger than 'max_allowed_packet' bytes");
    EXPECT_EQ(client.ThreadId(), thread);  // not sent again on a new connection
}

TEST_F(ConnectionTest, killingItsOwnConnectionThenReconnecting) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    const auto oldThread = client.ThreadId();
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"KILL CONNECTION " + text::decimal(oldThread), true, executed, result);
    // The server ends the connection; the client notices and reconnects on its next command.
    EXPECT_EQ(scalar(client, u"SELECT 1"), "1") << u8(client.LastError());
    EXPECT_NE(client.ThreadId(), oldThread);
}

TEST_F(ConnectionTest, changeUserSwitchesTheLogin) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    const auto thread = client.ThreadId();
    ASSERT_TRUE(client.change_user(u"", u"", u""))
        << client.LastErrorNo() << " " << u8(client.LastError());
    EXPECT_EQ(client.User(), u"");
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "@localhost");
    ASSERT_TRUE(client.change_user(kUser, kPassword, kDb))
        << client.LastErrorNo() << " " << u8(client.LastError());
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "orvelle@localhost");
    EXPECT_EQ(scalar(client, u"SELECT DATABASE()"), "orvelle_test");
    // The same connection all along, not a reconnection with the new login.
    EXPECT_EQ(client.ThreadId(), thread);
    EXPECT_EQ(scalar(client, u"SELECT CONNECTION_ID()"), std::to_string(thread));
}

TEST_F(ConnectionTest, changeUserWithAWrongPasswordIsRefused) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));
    EXPECT_FALSE(client.change_user(kUser, u"wrong-pass", kDb));
    EXPECT_EQ(client.LastErrorNo(), 1045u) << u8(client.LastError());
    EXPECT_EQ(client.User(), kUser);
}

TEST_F(ConnectionTest, refusedShutdownStillClosesTheClient) {
    TMysqlClient client;
    ASSERT_TRUE(open(client));  // orvelle has no SHUTDOWN right
    EXPECT_FALSE(client.shutdown());
    EXPECT_EQ(client.LastErrorNo(), 1227u);
    EXPECT_EQ(u8(client.LastError()),
              "Access denied; you need (at least one of) the SHUTDOWN privilege(s) for this "
              "operation");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.ServerVersion(), u"");
    TMysqlClient still;
    EXPECT_TRUE(open(still)) << "the server must still be running";
}

}  // namespace
