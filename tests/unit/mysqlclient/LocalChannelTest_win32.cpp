// The local channel on Windows: the named pipe \\.\pipe\MySQL, served here by the test.
#include <windows.h>

#include <optional>
#include <thread>
#include <vector>

#include "platform/win32/PipeCalls.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

constexpr const char* kPipe = "\\\\.\\pipe\\MySQL";

// One server end of the pipe; reads and writes whole MySQL packets.
class PipeServer {
  public:
    PipeServer() {
        fpipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536,
                                 65536, 0, nullptr);
    }
    ~PipeServer() {
        if (fpipe != INVALID_HANDLE_VALUE) CloseHandle(fpipe);
    }
    bool valid() const { return fpipe != INVALID_HANDLE_VALUE; }
    bool waitForClient() {
        return ConnectNamedPipe(fpipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
    }
    void send(std::uint8_t sequence, const std::string& payload) {
        const std::string bytes = mysqlwire::packet(sequence, payload);
        DWORD written = 0;
        WriteFile(fpipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    bool readExactly(char* buffer, DWORD size) {
        while (size > 0) {
            DWORD got = 0;
            if (!ReadFile(fpipe, buffer, size, &got, nullptr) || got == 0) return false;
            buffer += got;
            size -= got;
        }
        return true;
    }
    std::optional<std::string> read() {
        unsigned char header[4];
        if (!readExactly(reinterpret_cast<char*>(header), 4)) return std::nullopt;
        std::string payload(header[0] | (header[1] << 8) | (header[2] << 16), '\0');
        if (!payload.empty() && !readExactly(payload.data(), static_cast<DWORD>(payload.size())))
            return std::nullopt;
        return payload;
    }

  private:
    HANDLE fpipe = INVALID_HANDLE_VALUE;
};

using LocalChannelTest = NativeSocketsTest;

TEST_F(LocalChannelTest, namedPipeOptionConnectsThroughTheDefaultPipe) {
    PipeServer pipe;
    ASSERT_TRUE(pipe.valid());
    std::vector<std::string> received;
    std::thread server([&] {
        if (!pipe.waitForClient()) return;
        pipe.send(0, mysqlwire::greeting());
        while (auto packet = pipe.read()) {
            received.push_back(*packet);
            pipe.send(received.size() == 1 ? 2 : 1, mysqlwire::ok());
        }
    });
    {
        TMysqlClient client;
        client.setUseNamedPipe(true);
        client.setConnectTimeout(5);  // the pipe cannot be polled: the greeting is just read
        client.setHost(u"somewhere");
        ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
        EXPECT_EQ(client.net().vio_type(), VIO_TYPE_NAMEDPIPE);
        EXPECT_EQ(client.Host(), u".");
        EXPECT_EQ(client.UnixSocket(), u"MySQL");
        EXPECT_TRUE(client.ping());
    }
    server.join();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1], "\x0E");
    EXPECT_EQ(received[2], "\x01");
}

TEST_F(LocalChannelTest, busyPipeIsWaitedForAndTheFailedWaitIsReported) {
    PipeServer pipe;  // one instance, taken by the first client
    ASSERT_TRUE(pipe.valid());
    std::thread server([&] {
        if (!pipe.waitForClient()) return;
        pipe.send(0, mysqlwire::greeting());
        while (auto packet = pipe.read()) pipe.send(2, mysqlwire::ok());
    });
    TMysqlClient first;
    first.setUseNamedPipe(true);
    first.setHost(u".");
    ASSERT_TRUE(first.connect()) << text::toUtf8(first.LastError());
    TMysqlClient second;
    second.setUseNamedPipe(true);
    second.setHost(u".");
    second.setConnectTimeout(1);
    EXPECT_FALSE(second.connect());
    EXPECT_EQ(second.LastErrorNo(), 2016u);
    EXPECT_EQ(second.LastError().rfind(u"Can't wait for named pipe to host: .  pipe: MySQL (", 0),
              0u);
    // The wait's own error, never 0.
    EXPECT_EQ(second.LastError().find(u"(0)"), std::u16string::npos)
        << text::toUtf8(second.LastError());
    first.close();
    server.join();
}

TEST_F(LocalChannelTest, silentPipeEndsTheWaitWith2013) {
    PipeServer pipe;
    ASSERT_TRUE(pipe.valid());
    std::thread server([&] {
        if (!pipe.waitForClient()) return;
        pipe.send(0, mysqlwire::greeting());
        if (pipe.read()) pipe.send(2, mysqlwire::ok());
        while (pipe.read()) {  // and then never a word
        }
    });
    expectSilentLocalServerLosesTheConnection();
    server.join();
}

TEST_F(LocalChannelTest, missingPipeFallsBackToTcpOnlyWithTrySockets) {
    FakeMysqlServer tcp({[](FakeMysqlConnection& c) { handshake(c), drain(c); }});
    TMysqlClient client;
    client.setUseNamedPipe(true);
    client.setHost(u"127.0.0.1");
    client.setPort(tcp.port());
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 2017u);
    EXPECT_EQ(client.LastError(), u"Can't open named pipe to host: .  pipe: MySQL (2)");
    expectFallbackToTcpWithTrySockets(client);
    client.close();
    tcp.finish();
}

// How the pipe is opened, played around the real one: Wine reports the same impersonation level
// whatever the client asks, and its instances never stay busy through every retry.
struct PipeOpenings {
    std::vector<DWORD> flags;
    DWORD openError = 0;  // 0: the real CreateFileA opens the pipe
    BOOL waitResult = TRUE;
    int waits = 0;
};
PipeOpenings openings;

HANDLE WINAPI playedCreateFile(LPCSTR path, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE model) {
    openings.flags.push_back(flags);
    if (openings.openError == 0)
        return CreateFileA(path, access, share, security, disposition, flags, model);
    SetLastError(openings.openError);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI playedWaitNamedPipe(LPCSTR, DWORD) {
    ++openings.waits;
    SetLastError(0);  // neither a successful wait nor this failed one says why the opens failed
    return openings.waitResult;
}

TEST(LocalChannelOpening, pipeIsOpenedAtIdentificationLevelAndTheLastRealErrorIsReported) {
    using Failure = platform::Sockets::ChannelFailure;
    auto sockets = platform::createWindowsSockets({playedCreateFile, playedWaitNamedPipe});
    {
        // Whoever serves the pipe may learn who connects, never act as the user.
        PipeServer pipe;
        ASSERT_TRUE(pipe.valid());
        openings = {};
        const auto opened = sockets->openLocalChannel(kPipe, 1000, 0, 0);
        ASSERT_EQ(opened.failure, Failure::None) << opened.error;
        EXPECT_EQ(openings.flags, std::vector<DWORD>{FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                                     SECURITY_IDENTIFICATION});
        sockets->channelClose(opened.handle);
    }
    // Every wait succeeds but the instances are taken again each time: the pipe was busy.
    openings = {};
    openings.openError = ERROR_PIPE_BUSY;
    const auto busy = sockets->openLocalChannel(kPipe, 1000, 0, 0);
    EXPECT_EQ(busy.failure, Failure::OpenFailed);
    EXPECT_EQ(busy.error, 231u);
    EXPECT_GT(openings.waits, 1);
    // A wait that fails without an error of its own: still the busy pipe, never 0.
    openings = {};
    openings.openError = ERROR_PIPE_BUSY;
    openings.waitResult = FALSE;
    const auto waited = sockets->openLocalChannel(kPipe, 1000, 0, 0);
    EXPECT_EQ(waited.failure, Failure::WaitFailed);
    EXPECT_EQ(waited.error, 231u);
}

}  // namespace
