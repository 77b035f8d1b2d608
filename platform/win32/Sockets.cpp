// Windows: Windows Sockets 1.1 (started lazily once, cleaned up at exit) and the named pipe.
#include "platform/Sockets.h"

// winsock2.h must come before windows.h (which would otherwise bring in the old winsock.h).
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstring>

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
HANDLE nativeHandle(Sockets::Handle channel) {
    return reinterpret_cast<HANDLE>(channel);
}

class WindowsSockets final : public Sockets {
  public:
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

    bool resolveIPv4(const std::string& host, std::uint32_t& address) override {
        const unsigned long parsed = ::inet_addr(host.c_str());
        if (parsed != INADDR_NONE) {
            address = static_cast<std::uint32_t>(parsed);
            return true;
        }
        const hostent* entry = ::gethostbyname(host.c_str());
        if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
            return false;
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
        return true;
    }

    bool connect(Handle socket, std::uint32_t address, std::uint16_t port) override {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = address;
        return ::connect(native(socket), reinterpret_cast<sockaddr*>(&target), sizeof target) >= 0;
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

    ChannelResult openLocalChannel(const std::string& path,
                                   std::uint32_t waitMilliseconds) override {
        ChannelResult result;
        HANDLE pipe = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < kPipeOpenAttempts; ++attempt) {
            pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) break;
            const DWORD error = GetLastError();
            if (error != kPipeBusy) {
                result.failure = ChannelFailure::OpenFailed;
                result.error = error;
                return result;
            }
            if (!WaitNamedPipeA(path.c_str(), waitMilliseconds)) {
                result.failure = ChannelFailure::WaitFailed;
                result.error = GetLastError();
                return result;
            }
        }
        if (pipe == INVALID_HANDLE_VALUE) {
            result.failure = ChannelFailure::OpenFailed;
            result.error = GetLastError();
            return result;
        }
        DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
        if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
            result.failure = ChannelFailure::StateFailed;
            result.error = GetLastError();
            CloseHandle(pipe);
            return result;
        }
        result.handle = reinterpret_cast<Handle>(pipe);
        return result;
    }

    int channelRead(Handle channel, void* buffer, int size) override {
        DWORD count = 0;
        if (!ReadFile(nativeHandle(channel), buffer, static_cast<DWORD>(size), &count, nullptr))
            return -1;
        return static_cast<int>(count);
    }

    int channelWrite(Handle channel, const void* data, int size) override {
        DWORD count = 0;
        if (!WriteFile(nativeHandle(channel), data, static_cast<DWORD>(size), &count, nullptr))
            return -1;
        return static_cast<int>(count);
    }

    int channelClose(Handle channel) override { return CloseHandle(nativeHandle(channel)); }

    void debugOutput(const std::u16string& text) override {
        OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
    }
};

}  // namespace

std::unique_ptr<Sockets> createNativeSockets() {
    return std::make_unique<WindowsSockets>();
}

}  // namespace platform
