// Windows: Windows Sockets 1.1 (started lazily once, cleaned up at exit) and the named pipe.
#include "platform/Sockets.h"

// winsock2.h must come before windows.h (which would otherwise bring in the old winsock.h).
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstring>
#include <memory>

#include "platform/win32/PipeCalls.h"

namespace platform {
namespace {

constexpr DWORD kPipeBusy = 231;  // ERROR_PIPE_BUSY: every instance of the pipe is in use
constexpr int kPipeOpenAttempts = 101;

// The process-wide start-up record; a non-zero version word means Windows Sockets runs.
struct WinsockStartup {
    WSADATA data{};
    ~WinsockStartup() {
        if (data.wVersion != 0) WSACleanup();
    }
};
WinsockStartup& winsock() {
    static WinsockStartup startup;
    return startup;
}

SOCKET native(Sockets::Handle socket) {
    return static_cast<SOCKET>(socket);
}
// An open pipe: the handle (opened for overlapped use), the event its transfers wait on and
// how long a read or a write may wait.
struct PipeChannel {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    DWORD readLimit = INFINITE;
    DWORD writeLimit = INFINITE;

    // One ReadFile or WriteFile that gives up after `limit`: bytes moved, or -1.
    int transfer(bool writing, void* buffer, int size, DWORD limit) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        ResetEvent(event);
        DWORD count = 0;
        const BOOL done =
            writing ? WriteFile(pipe, buffer, static_cast<DWORD>(size), &count, &overlapped)
                    : ReadFile(pipe, buffer, static_cast<DWORD>(size), &count, &overlapped);
        if (!done) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            if (WaitForSingleObject(event, limit) != WAIT_OBJECT_0) {
                // Cancel and wait for the cancellation, so that the buffer is ours again.
                CancelIo(pipe);
                GetOverlappedResult(pipe, &overlapped, &count, TRUE);
                SetLastError(ERROR_TIMEOUT);
                return -1;
            }
            if (!GetOverlappedResult(pipe, &overlapped, &count, FALSE)) return -1;
        }
        return static_cast<int>(count);
    }
};

class WindowsSockets final : public Sockets {
  public:
    explicit WindowsSockets(const PipeCalls& calls) : calls_(calls) {}

    bool startup() override {
        WinsockStartup& record = winsock();
        if (record.data.wVersion != 0) return true;
        if (WSAStartup(MAKEWORD(1, 1), &record.data) != 0) {
            record.data.wVersion = 0;
            return false;
        }
        return true;
    }

    Handle createStreamSocket() override {
        const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
        return s == INVALID_SOCKET ? kInvalid : static_cast<Handle>(s);
    }

    bool resolveIPv4(const std::string& host, std::uint32_t& address, int& error) override {
        const unsigned long parsed = ::inet_addr(host.c_str());
        if (parsed != INADDR_NONE) {
            address = static_cast<std::uint32_t>(parsed);
            return true;
        }
        const hostent* entry = ::gethostbyname(host.c_str());
        if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list ||
            !entry->h_addr_list[0]) {
            error = entry ? WSANO_DATA : WSAGetLastError();
            return false;
        }
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
        return true;
    }

    bool connect(Handle socket, std::uint32_t address, std::uint16_t port,
                 int timeoutMilliseconds) override {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = address;
        const SOCKET s = native(socket);
        if (timeoutMilliseconds <= 0)
            return ::connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) >= 0;
        u_long nonBlocking = 1;
        if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
        bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
        int error = WSAGetLastError();
        if (!connected && error == WSAEWOULDBLOCK) {
            // A connect in progress ends writable (done) or exceptional (failed).
            fd_set writeSet, exceptSet;
            FD_ZERO(&writeSet);
            FD_ZERO(&exceptSet);
            FD_SET(s, &writeSet);
            FD_SET(s, &exceptSet);
            timeval limit{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
            const int ready = ::select(0, nullptr, &writeSet, &exceptSet, &limit);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0) {
                error = WSAGetLastError();
            } else if (FD_ISSET(s, &exceptSet)) {
                int size = sizeof error;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) !=
                        0 ||
                    error == 0)
                    error = WSAECONNREFUSED;
            } else {
                connected = true;
            }
        }
        u_long blocking = 0;
        ::ioctlsocket(s, FIONBIO, &blocking);
        if (!connected) WSASetLastError(error);
        return connected;
    }

    void setTimeouts(Handle socket, int readMilliseconds, int writeMilliseconds) override {
        const DWORD readLimit = readMilliseconds > 0 ? static_cast<DWORD>(readMilliseconds) : 0;
        const DWORD writeLimit = writeMilliseconds > 0 ? static_cast<DWORD>(writeMilliseconds) : 0;
        ::setsockopt(native(socket), SOL_SOCKET, SO_RCVTIMEO,
                     reinterpret_cast<const char*>(&readLimit), sizeof readLimit);
        ::setsockopt(native(socket), SOL_SOCKET, SO_SNDTIMEO,
                     reinterpret_cast<const char*>(&writeLimit), sizeof writeLimit);
    }

    void setNoDelayAndKeepAlive(Handle socket) override {
        const BOOL on = TRUE;
        ::setsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on);
        ::setsockopt(native(socket), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on),
                     sizeof on);
    }

    int send(Handle socket, const void* data, int size) override {
        return ::send(native(socket), static_cast<const char*>(data), size, 0);
    }

    int receive(Handle socket, void* buffer, int size) override {
        return ::recv(native(socket), static_cast<char*>(buffer), size, 0);
    }

    int setNonBlocking(Handle socket, bool nonBlocking) override {
        u_long argument = nonBlocking ? 1 : 0;
        return ::ioctlsocket(native(socket), FIONBIO, &argument);
    }

    int waitSocket(Handle socket, int wanted, int timeoutMilliseconds) override {
        fd_set readSet, exceptSet, writeSet;
        FD_ZERO(&readSet);
        FD_ZERO(&exceptSet);
        FD_ZERO(&writeSet);
        if (socket >= 0) {
            if (wanted & kReadable) FD_SET(native(socket), &readSet);
            if (wanted & kExceptional) FD_SET(native(socket), &exceptSet);
            if (wanted & kWritable) FD_SET(native(socket), &writeSet);
        }
        timeval limit{};
        timeval* limitPointer = nullptr;
        if (timeoutMilliseconds >= 0) {
            limit.tv_sec = timeoutMilliseconds / 1000;
            limit.tv_usec = (timeoutMilliseconds % 1000) * 1000;
            limitPointer = &limit;
        }
        // The count is ignored by Windows Sockets; it is the socket number + 1 as elsewhere.
        const int result =
            ::select(static_cast<int>(socket + 1), &readSet, &writeSet, &exceptSet, limitPointer);
        if (result < 0) return result;
        if (socket < 0) return 0;
        const int reported = (FD_ISSET(native(socket), &readSet) ? kReadable : 0) |
                             (FD_ISSET(native(socket), &exceptSet) ? kExceptional : 0) |
                             (FD_ISSET(native(socket), &writeSet) ? kWritable : 0);
        return (reported & wanted & 7) ? 1 : 0;
    }

    int shutdownAndClose(Handle socket) override {
        const int down = ::shutdown(native(socket), 2);
        const int closed = ::closesocket(native(socket));
        return (down != 0 || closed != 0) ? -1 : 0;
    }

    int lastSocketError() override { return WSAGetLastError(); }
    bool isInterrupted(int error) override { return error == WSAEINTR; }
    bool isWouldBlock(int error) override { return error == WSAEWOULDBLOCK; }
    bool isInProgress(int error) override { return error == WSAEINPROGRESS; }
    bool isTimedOut(int error) override { return error == WSAETIMEDOUT || error == ERROR_TIMEOUT; }

    ChannelResult openLocalChannel(const std::string& path, std::uint32_t waitMilliseconds,
                                   int readMilliseconds, int writeMilliseconds) override {
        ChannelResult result;
        HANDLE pipe = INVALID_HANDLE_VALUE;
        // Kept from the last open that failed: after a successful wait GetLastError no longer
        // tells why the opens failed.
        DWORD openError = kPipeBusy;
        for (int attempt = 0; attempt < kPipeOpenAttempts; ++attempt) {
            // Identification level only: whoever serves the pipe may learn who connects but
            // may not act as the user. Overlapped, so that reads and writes can be bounded.
            pipe = calls_.createFile(
                path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) break;
            openError = GetLastError();
            if (openError != kPipeBusy) {
                result.failure = ChannelFailure::OpenFailed;
                result.error = openError;
                return result;
            }
            if (!calls_.waitNamedPipe(path.c_str(), waitMilliseconds)) {
                const DWORD waitError = GetLastError();
                result.failure = ChannelFailure::WaitFailed;
                result.error = waitError != 0 ? waitError : openError;
                return result;
            }
        }
        if (pipe == INVALID_HANDLE_VALUE) {
            result.failure = ChannelFailure::OpenFailed;
            result.error = openError;
            return result;
        }
        DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
        if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
            result.failure = ChannelFailure::StateFailed;
            result.error = GetLastError();
            CloseHandle(pipe);
            return result;
        }
        auto channel = std::make_unique<PipeChannel>();
        channel->pipe = pipe;
        channel->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!channel->event) {
            result.failure = ChannelFailure::StateFailed;
            result.error = GetLastError();
            CloseHandle(pipe);
            return result;
        }
        channel->readLimit = readMilliseconds > 0 ? static_cast<DWORD>(readMilliseconds) : INFINITE;
        channel->writeLimit =
            writeMilliseconds > 0 ? static_cast<DWORD>(writeMilliseconds) : INFINITE;
        result.handle = reinterpret_cast<Handle>(channel.release());
        return result;
    }

    int channelRead(Handle channel, void* buffer, int size) override {
        PipeChannel& c = *reinterpret_cast<PipeChannel*>(channel);
        return c.transfer(false, buffer, size, c.readLimit);
    }

    int channelWrite(Handle channel, const void* data, int size) override {
        PipeChannel& c = *reinterpret_cast<PipeChannel*>(channel);
        return c.transfer(true, const_cast<void*>(data), size, c.writeLimit);
    }

    int channelClose(Handle channel) override {
        std::unique_ptr<PipeChannel> c(reinterpret_cast<PipeChannel*>(channel));
        const BOOL closed = CloseHandle(c->pipe);
        CloseHandle(c->event);
        return closed;
    }

    void debugOutput(const std::u16string& text) override {
        OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
    }

  private:
    PipeCalls calls_;
};

}  // namespace

std::unique_ptr<Sockets> createWindowsSockets(const PipeCalls& calls) {
    return std::make_unique<WindowsSockets>(calls);
}

std::unique_ptr<Sockets> createNativeSockets() {
    return createWindowsSockets(PipeCalls{});
}

}  // namespace platform
