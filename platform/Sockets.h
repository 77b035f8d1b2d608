// The MySQL transport's way to the operating system: IPv4 stream sockets, the local channel to
// the server (named pipe on Windows, the server's Unix-domain socket on Linux) and the
// debugger trace. Shaped after what TMysqlVio does, not after the whole socket API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class Sockets {
  public:
    // A socket or a local-channel handle. -1 means none (INVALID_SOCKET and
    // INVALID_HANDLE_VALUE both read as -1 at pointer width).
    using Handle = std::intptr_t;
    static constexpr Handle kInvalid = -1;

    // Conditions for waitSocket, as bits.
    static constexpr int kReadable = 1;
    static constexpr int kExceptional = 2;
    static constexpr int kWritable = 4;

    virtual ~Sockets() = default;

    // Starts the socket library once per process (Windows Sockets 1.1 on Windows; nothing to
    // do on Linux). Later calls answer at once. A started library is cleaned up at exit.
    virtual bool startup() = 0;

    // A new blocking IPv4 stream socket, or kInvalid.
    virtual Handle createStreamSocket() = 0;
    // The host as a dotted IPv4 address without any lookup; any other text is looked up and
    // the first IPv4 address of the answer is taken. Network byte order. False when neither
    // gives an address; `error` is then the resolver's own code (WSAGetLastError after
    // gethostbyname; getaddrinfo's EAI_* code, or errno for EAI_SYSTEM).
    virtual bool resolveIPv4(const std::string& host, std::uint32_t& address, int& error) = 0;
    // Connect to address (network byte order) and port (host byte order), giving up after
    // `timeoutMilliseconds` (0: the platform's own TCP time-out) with the time-out error
    // (WSAETIMEDOUT / ETIMEDOUT) as the last socket error. The socket is blocking again
    // afterwards. False on failure.
    virtual bool connect(Handle socket, std::uint32_t address, std::uint16_t port,
                         int timeoutMilliseconds) = 0;
    // Bounds every later receive and send on the socket (0: no limit). A receive or send that
    // waits longer fails (-1), and the connection is no longer usable.
    virtual void setTimeouts(Handle socket, int readMilliseconds, int writeMilliseconds) = 0;
    // TCP_NODELAY and SO_KEEPALIVE on; failures are ignored.
    virtual void setNoDelayAndKeepAlive(Handle socket) = 0;
    // send / recv with flags 0: the platform's result unchanged (-1 error, 0 orderly close).
    virtual int send(Handle socket, const void* data, int size) = 0;
    virtual int receive(Handle socket, void* buffer, int size) = 0;
    // FIONBIO with 1 (non-blocking) or 0 (blocking): the platform call's result, 0 when done.
    virtual int setNonBlocking(Handle socket, bool nonBlocking) = 0;
    // A one-socket wait on the wanted conditions (bits above). A negative time-out waits
    // without limit. Negative: the wait failed; 1: a wanted condition was reported; 0: none
    // within the time-out.
    virtual int waitSocket(Handle socket, int wanted, int timeoutMilliseconds) = 0;
    // Shuts down both directions, then closes: 0, or -1 when either call failed.
    virtual int shutdownAndClose(Handle socket) = 0;

    // The last socket error (WSAGetLastError / errno) and its classes: interrupted call
    // (10004 / EINTR), would block (10035 / EWOULDBLOCK), in progress (10036 / EINPROGRESS).
    virtual int lastSocketError() = 0;
    virtual bool isInterrupted(int error) = 0;
    virtual bool isWouldBlock(int error) = 0;
    virtual bool isInProgress(int error) = 0;
    // A receive or send (socket or local channel) that gave up at its time-out.
    virtual bool isTimedOut(int error) = 0;

    // The local channel. On Windows `path` is the pipe path (\\.\pipe\MySQL), opened at
    // identification level only (the server may not act as the user); all instances busy
    // (231) waits `waitMilliseconds` (0: the pipe's default) and tries again, at most 101 opens
    // in all; the open handle is set to byte read mode. On Linux the server's Unix-domain
    // socket (/run/mysqld/mysqld.sock, or ORVELLE_MYSQL_UNIX_SOCKET when that is set) stands
    // in for the pipe, whatever the path; its connect waits at most `waitMilliseconds` (0: no
    // limit). Reads and writes on the channel give up after the given times (0: no limit).
    enum class ChannelFailure { None, WaitFailed, OpenFailed, StateFailed };
    struct ChannelResult {
        Handle handle = kInvalid;
        ChannelFailure failure = ChannelFailure::None;
        std::uint32_t error = 0;  // the platform's error number for the failure
        // The Unix-domain socket's path when the channel is one (empty for a pipe), so that an
        // error names what failed.
        std::string socketPath;
    };
    virtual ChannelResult openLocalChannel(const std::string& path, std::uint32_t waitMilliseconds,
                                           int readMilliseconds, int writeMilliseconds) = 0;
    // Bytes read or written, or -1 when the call failed, timed out or (reading) the stream
    // ended.
    virtual int channelRead(Handle channel, void* buffer, int size) = 0;
    virtual int channelWrite(Handle channel, const void* data, int size) = 0;
    // The platform call's own result (CloseHandle: non-zero on success; close: 0 on success).
    virtual int channelClose(Handle channel) = 0;

    // Debugger trace: OutputDebugStringW on Windows; on Linux standard error, but only when
    // ORVELLE_DEBUG_OUTPUT is set (silent by default).
    virtual void debugOutput(const std::u16string& text) = 0;
};

std::unique_ptr<Sockets> createNativeSockets();

}  // namespace platform
