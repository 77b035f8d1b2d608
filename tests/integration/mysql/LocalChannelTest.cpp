// The local channel on Linux: the server's Unix-domain socket stands in for the named pipe.
#include "tests/integration/mysql/MariaDbFixture.h"

namespace {

using LocalChannelTest = MariaDbTest;

TEST_F(LocalChannelTest, namedPipeRequestConnectsThroughTheServersSocket) {
    TMysqlClient client;
    client.setUseNamedPipe(true);
    client.setUser(kUser);
    client.setPassword(kPassword);
    client.setHost(u"ignored-host");
    ASSERT_TRUE(client.connect()) << u8(client.LastError());
    EXPECT_EQ(client.net().vio_type(), VIO_TYPE_NAMEDPIPE);
    EXPECT_EQ(client.Host(), u".");
    EXPECT_EQ(client.UnixSocket(), u"MySQL");
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "orvelle@localhost");
    auto result = run(client, u"SELECT id FROM orvelle_test.bench WHERE id <= 3000", false);
    ASSERT_TRUE(result);
    result->Last();
    EXPECT_EQ(result->RowsCount(), 3000);
    EXPECT_TRUE(client.ping());
}

TEST_F(LocalChannelTest, connectTimeoutWaitsForTheGreetingOnTheChannelToo) {
    TMysqlClient client;
    client.setUseNamedPipe(true);
    client.setHost(u".");
    client.setConnectTimeout(5);
    ASSERT_TRUE(client.connect()) << u8(client.LastError());
    EXPECT_EQ(scalar(client, u"SELECT CURRENT_USER()"), "@localhost");
}

}  // namespace
