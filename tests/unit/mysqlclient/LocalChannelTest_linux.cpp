// The local channel on Linux: the server's Unix-domain socket stands in for the named pipe.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

class LocalChannelTest : public NativeSocketsTest {
  protected:
    void SetUp() override {
        path = "/tmp/orvelle-mysql-test-" + std::to_string(::getpid()) + ".sock";
        ::unlink(path.c_str());
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        ::setenv("ORVELLE_MYSQL_UNIX_SOCKET", path.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("ORVELLE_MYSQL_UNIX_SOCKET");
        ::close(listener);
        ::unlink(path.c_str());
    }
    // Serves one connection on the socket with `script`, recording what it read.
    std::thread serve(std::function<void(FakeMysqlConnection&)> script) {
        return std::thread([this, script] {
            const int fd = ::accept(listener, nullptr, nullptr);
            timeval limit{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            FakeMysqlConnection connection(fd, received, lock);
            script(connection);
            connection.close();
        });
    }

    std::string path;
    int listener = -1;
    std::vector<std::string> received;
    std::mutex lock;
};

TEST_F(LocalChannelTest, namedPipeOptionConnectsThroughTheServersSocket) {
    std::thread server = serve([](FakeMysqlConnection& c) { handshake(c), answerOk(c); });
    {
        TMysqlClient client;
        client.setUseNamedPipe(true);
        client.setConnectTimeout(5);  // the channel cannot be polled: the greeting is just read
        client.setHost(u"somewhere");
        client.setUnixSocket(u"other");
        ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
        EXPECT_EQ(client.net().vio_type(), VIO_TYPE_NAMEDPIPE);
        EXPECT_EQ(client.Host(), u".");
        EXPECT_EQ(client.UnixSocket(), u"MySQL");
        EXPECT_TRUE(client.ping());
    }
    server.join();
    EXPECT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1], "\x0E");
    EXPECT_EQ(received[2], "\x01");
}

TEST_F(LocalChannelTest, silentServerOnTheSocketEndsTheWaitWith2013) {
    // Greets, admits the login, then reads on and never answers.
    std::thread server = serve([](FakeMysqlConnection& c) { handshake(c), drain(c); });
    expectSilentLocalServerLosesTheConnection();
    server.join();
}

TEST_F(LocalChannelTest, missingSocketFallsBackToTcpOnlyWithTrySockets) {
    ::unsetenv("ORVELLE_MYSQL_UNIX_SOCKET");
    ::setenv("ORVELLE_MYSQL_UNIX_SOCKET", "/tmp/orvelle-no-such.sock", 1);
    FakeMysqlServer tcp({[](FakeMysqlConnection& c) { handshake(c), drain(c); }});
    TMysqlClient client;
    client.setUseNamedPipe(true);
    client.setHost(u"127.0.0.1");
    client.setPort(tcp.port());
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 2002u);
    EXPECT_EQ(
        client.LastError(),
        u"Can't connect to local MySQL server through socket '/tmp/orvelle-no-such.sock' (2)");
    expectFallbackToTcpWithTrySockets(client);
    EXPECT_EQ(client.UnixSocket(), u"");
    client.close();
    tcp.finish();
}

}  // namespace
