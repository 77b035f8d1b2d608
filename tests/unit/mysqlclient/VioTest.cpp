// The transport against the scripted socket seam: opening (TCP/IP, local channel, fallback),
// the recorded errors, closing, blocking switch and the readiness wait.
#include "mysql/uMysqlVio.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

using Failure = platform::Sockets::ChannelFailure;
using VioTest = ScriptedSocketsTest;

std::vector<std::string> without(const std::vector<std::string>& calls, const std::string& call) {
    std::vector<std::string> kept;
    for (const auto& c : calls)
        if (c != call) kept.push_back(c);
    return kept;
}

TEST_F(VioTest, emptyHostAndPortZeroConnectToLocalhostOn3306) {
    TMysqlVio vio;
    vio.set_last_errno(2013);
    vio.set_last_error(u"old");
    EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"", u"", 0, 0, true), 0);
    EXPECT_EQ(sockets.calls,
              (std::vector<std::string>{"startup", "socket", "lookup localhost",
                                        "connect 127.0.0.1:3306", "nodelay keepalive"}));
    EXPECT_EQ(vio.VIO_type(), VIO_TYPE_TCPIP);
    EXPECT_EQ(vio.FSd, 7);
    EXPECT_EQ(vio.FHPipe, 0);
    EXPECT_EQ(vio.last_errno(), 0u);
    EXPECT_EQ(vio.last_error(), u"");
}

TEST_F(VioTest, dottedAddressIsUsedWithoutLookupAndOpenTwiceIsRefused) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"10.1.2.3", u"", 3307, 0, true), 0);
    EXPECT_EQ(without(sockets.calls, "startup"),
              (std::vector<std::string>{"socket", "connect 10.1.2.3:3307", "nodelay keepalive"}));
    sockets.calls.clear();
    EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"10.9.9.9", u"", 1, 0, true), -20);
    EXPECT_TRUE(sockets.calls.empty());
    EXPECT_EQ(vio.FSd, 7);
}

TEST_F(VioTest, openFailuresReturnTheirCodesAndRecordTheirTexts) {
    {
        TMysqlVio vio;
        EXPECT_EQ(vio.vio_open(VIO_TYPE_SSL, u"h", u"", 0, 0, true), -2);
    }
    {
        sockets.failStartup = true;
        TMysqlVio vio;
        EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"h", u"", 0, 0, true), -1);
        EXPECT_EQ(vio.last_errno(), 0u);
        sockets.failStartup = false;
    }
    {
        sockets.failSocket = true;
        TMysqlVio vio;
        EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"h", u"", 0, 0, true), -8);
        EXPECT_EQ(vio.last_errno(), 2004u);
        EXPECT_EQ(vio.last_error(), u"Can't create TCP/IP socket (10061)");
        sockets.failSocket = false;
    }
    {
        TMysqlVio vio;
        const std::u16string longHost(70, u'x');
        EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, longHost, u"", 0, 0, true), -7);
        EXPECT_EQ(vio.last_errno(), 2005u);
        EXPECT_EQ(vio.last_error(),
                  u"Unknown MySQL Server Host '" + std::u16string(64, u'x') + u"' (11001)");
        EXPECT_EQ(vio.VIO_type(), VIO_CLOSED);
    }
    {
        sockets.failConnect = true;
        TMysqlVio vio;
        EXPECT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 0, 0, true), -6);
        EXPECT_EQ(vio.last_errno(), 2003u);
        EXPECT_EQ(vio.last_error(), u"Can't connect to MySQL server on '127.0.0.1' (10061)");
        EXPECT_EQ(sockets.calls.back(), "close");
    }
}

TEST_F(VioTest, anyLocalChannelRequestOpensTheDefaultPipe) {
    sockets.channelFailure = Failure::None;
    TMysqlVio vio;
    vio.set_last_errno(5);
    ASSERT_EQ(vio.vio_open(VIO_TYPE_NAMEDPIPE, u"otherhost", u"otherpipe", 0, 3, false), 0);
    EXPECT_EQ(sockets.calls, (std::vector<std::string>{"channel \\\\.\\pipe\\MySQL 3000"}));
    EXPECT_EQ(vio.VIO_type(), VIO_TYPE_NAMEDPIPE);
    EXPECT_EQ(vio.FSd, 0);
    EXPECT_EQ(vio.FHPipe, 42);
    EXPECT_EQ(vio.last_errno(), 5u);  // a pipe open leaves the error state alone
    // The pipe cannot be polled: the answer is "go on and read".
    EXPECT_FALSE(vio.vio_poll_read(1));
    EXPECT_EQ(vio.vio_blocking(false), 0);
    EXPECT_EQ(vio.fcntl_mode(), 0);
    EXPECT_EQ(vio.vio_close(), 1);  // the platform's own close result
    EXPECT_EQ(vio.FHPipe, -1);
}

TEST_F(VioTest, localChannelFailuresWithoutFallbackRecordTheirTexts) {
    const struct {
        Failure failure;
        std::uint32_t error;
        std::uint32_t number;
        std::u16string text;
    } cases[] = {
        {Failure::WaitFailed, 121, 2016,
         u"Can't wait for named pipe to host: .  pipe: MySQL (121)"},
        {Failure::OpenFailed, 2, 2017, u"Can't open named pipe to host: .  pipe: MySQL (2)"},
        {Failure::StateFailed, 5, 2018,
         u"Can't set state of named pipe to host: .  pipe: MySQL (5)"},
    };
    for (const auto& c : cases) {
        sockets.channelFailure = c.failure;
        sockets.channelError = c.error;
        TMysqlVio vio;
        EXPECT_EQ(vio.vio_open(VIO_TYPE_NAMEDPIPE, u"", u"", 0, 0, false), -9);
        EXPECT_EQ(vio.last_errno(), c.number);
        EXPECT_EQ(vio.last_error(), c.text);
        EXPECT_EQ(vio.VIO_type(), VIO_CLOSED);
    }
}

TEST_F(VioTest, failedPipeFallsBackToTcpWithTheCallersHostAndPort) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_NAMEDPIPE, u"192.168.0.5", u"x", 3310, 0, true), 0);
    EXPECT_EQ(sockets.calls[2], "socket");
    EXPECT_EQ(sockets.calls[3], "connect 192.168.0.5:3310");
    EXPECT_EQ(vio.VIO_type(), VIO_TYPE_TCPIP);
    EXPECT_EQ(vio.last_errno(), 0u);  // the TCP/IP success clears the pipe's error
}

TEST_F(VioTest, socketKindWithoutTrysockStillConnectsByTcp) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_SOCKET, u"127.0.0.1", u"", 3306, 0, false), 0);
    EXPECT_EQ(vio.VIO_type(), VIO_TYPE_TCPIP);
    EXPECT_EQ(vio.FSd, 7);
}

TEST_F(VioTest, closeResetsHandlesAndModeAndIsHarmlessTwice) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 1, 0, true), 0);
    EXPECT_EQ(vio.vio_blocking(false), 0);
    EXPECT_EQ(vio.fcntl_mode(), 1);
    EXPECT_EQ(vio.vio_close(), 0);
    EXPECT_EQ(vio.FSd, -1);
    EXPECT_EQ(vio.FHPipe, -1);
    EXPECT_EQ(vio.fcntl_mode(), 0);
    EXPECT_EQ(vio.VIO_type(), VIO_CLOSED);
    EXPECT_EQ(vio.vio_close(), 0);
    char buffer[4];
    EXPECT_EQ(vio.vio_read(buffer, 4), -1);
    EXPECT_EQ(vio.vio_write(buffer, 4), -1);
    EXPECT_EQ(vio.vio_blocking(true), -1);
    EXPECT_FALSE(vio.vio_poll_read(0));
    EXPECT_FALSE(vio.vio_should_retry());
}

TEST_F(VioTest, blockingSwitchCallsThePlatformOnlyOnChange) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 1, 0, true), 0);
    sockets.calls.clear();
    EXPECT_EQ(vio.vio_blocking(true), 0);
    EXPECT_TRUE(sockets.calls.empty());
    vio.vio_blocking(false);
    vio.vio_blocking(false);
    vio.vio_blocking(true);
    EXPECT_EQ(sockets.calls, (std::vector<std::string>{"nonblocking 1", "nonblocking 0"}));
}

TEST_F(VioTest, pollReadAnswersWhetherNothingArrivedAndTraces) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 1, 0, true), 0);
    EXPECT_TRUE(vio.vio_poll_read(0));
    sockets.feed("x");
    EXPECT_FALSE(vio.vio_poll_read(5));
    EXPECT_EQ(sockets.calls[sockets.calls.size() - 2], "wait 1 0");
    EXPECT_EQ(sockets.calls.back(), "wait 1 5000");
    EXPECT_EQ(sockets.traces, (std::vector<std::u16string>{u"SQL Point1", u"SQL Point1"}));
}

TEST_F(VioTest, retryClassesFollowTheLastSocketError) {
    TMysqlVio vio;
    ASSERT_EQ(vio.vio_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 1, 0, true), 0);
    vio.vio_blocking(false);
    char byte;
    EXPECT_EQ(vio.vio_read(&byte, 1), -1);  // nothing waiting: would block
    EXPECT_TRUE(vio.vio_should_retry());
    EXPECT_FALSE(vio.vio_intrerupted());
}

TEST_F(VioTest, errorTextIsCutTo200Bytes) {
    TMysqlVio vio;
    vio.set_last_error(std::u16string(300, u'e'));
    EXPECT_EQ(vio.last_error(), std::u16string(200, u'e'));
    vio.set_last_error(u"");
    EXPECT_EQ(vio.flast_error, "");
}

}  // namespace
