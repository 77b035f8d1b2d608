// Linux: POSIX sockets; the server's Unix-domain socket stands in for the Windows named pipe.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Text.h"

namespace platform {
namespace {

constexpr const char* kDefaultUnixSocket = "/run/mysqld/mysqld.sock";

class LinuxSockets final : public Sockets {
  public:
    bool startup() override { return true; }

    Handle createStreamSocket() override {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return fd < 0 ? kInvalid : fd;
    }

    bool resolveIPv4(const std::string& host, std::uint32_t& address) override {
        const in_addr_t parsed = ::inet_addr(host.c_str());
        if (parsed != INADDR_NONE) {
            address = parsed;
            return true;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answer = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || !answer) {
            if (errno == 0) errno = EHOSTUNREACH;
            return false;
        }
        address = reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(answer);
        return true;
    }

    bool connect(Handle socket, std::uint32_t address, std::uint16_t port) override {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = address;
        int result;
        do {
            result = ::connect(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&target),
                               sizeof target);
        } while (result < 0 && errno == EINTR);
        return result >= 0;
    }

    void setNoDelayAndKeepAlive(Handle socket) override {
        const int on = 1;
        ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }

    int send(Handle socket, const void* data, int size) override {
        // MSG_NOSIGNAL: a peer that has gone away is an error result, not a SIGPIPE.
        return static_cast<int>(::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL));
    }

    int receive(Handle socket, void* buffer, int size) override {
        return static_cast<int>(::recv(static_cast<int>(socket), buffer, size, 0));
    }

    int setNonBlocking(Handle socket, bool nonBlocking) override {
        int argument = nonBlocking ? 1 : 0;
        return ::ioctl(static_cast<int>(socket), FIONBIO, &argument);
    }

    int waitSocket(Handle socket, int wanted, int timeoutMilliseconds) override {
        const int fd = static_cast<int>(socket);
        fd_set readSet, exceptSet, writeSet;
        FD_ZERO(&readSet);
        FD_ZERO(&exceptSet);
        FD_ZERO(&writeSet);
        if (fd >= 0 && fd < FD_SETSIZE) {
            if (wanted & kReadable) FD_SET(fd, &readSet);
            if (wanted & kExceptional) FD_SET(fd, &exceptSet);
            if (wanted & kWritable) FD_SET(fd, &writeSet);
        }
        timeval limit{};
        timeval* limitPointer = nullptr;
        if (timeoutMilliseconds >= 0) {
            limit.tv_sec = timeoutMilliseconds / 1000;
            limitPointer = &limit;
        }
        const int result = ::select(fd + 1, &readSet, &writeSet, &exceptSet, limitPointer);
        if (result < 0) return result;
        if (fd < 0 || fd >= FD_SETSIZE) return 0;
        const int reported = (FD_ISSET(fd, &readSet) ? kReadable : 0) |
                             (FD_ISSET(fd, &exceptSet) ? kExceptional : 0) |
                             (FD_ISSET(fd, &writeSet) ? kWritable : 0);
        return (reported & wanted & 7) ? 1 : 0;
    }

    int shutdownAndClose(Handle socket) override {
        const int fd = static_cast<int>(socket);
        const int down = ::shutdown(fd, SHUT_RDWR);
        const int closed = ::close(fd);
        return (down != 0 || closed != 0) ? -1 : 0;
    }

    int lastSocketError() override { return errno; }
    bool isInterrupted(int error) override { return error == EINTR; }
    bool isWouldBlock(int error) override { return error == EWOULDBLOCK || error == EAGAIN; }
    bool isInProgress(int error) override { return error == EINPROGRESS; }

    ChannelResult openLocalChannel(const std::string&, std::uint32_t) override {
        ChannelResult result;
        const char* configured = std::getenv("ORVELLE_MYSQL_UNIX_SOCKET");
        const std::string path = configured && *configured ? configured : kDefaultUnixSocket;
        sockaddr_un target{};
        if (path.size() >= sizeof target.sun_path) {
            result.failure = ChannelFailure::OpenFailed;
            result.error = ENAMETOOLONG;
            return result;
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            result.failure = ChannelFailure::OpenFailed;
            result.error = static_cast<std::uint32_t>(errno);
            return result;
        }
        target.sun_family = AF_UNIX;
        std::memcpy(target.sun_path, path.c_str(), path.size() + 1);
        int connected;
        do {
            connected = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
        } while (connected < 0 && errno == EINTR);
        if (connected < 0) {
            result.failure = ChannelFailure::OpenFailed;
            result.error = static_cast<std::uint32_t>(errno);
            ::close(fd);
            return result;
        }
        result.handle = fd;
        return result;
    }

    int channelRead(Handle channel, void* buffer, int size) override {
        ssize_t count;
        do {
            count = ::read(static_cast<int>(channel), buffer, static_cast<std::size_t>(size));
        } while (count < 0 && errno == EINTR);
        // A pipe read that ends the stream reports failure, as ReadFile on a broken pipe does.
        return count <= 0 ? -1 : static_cast<int>(count);
    }

    int channelWrite(Handle channel, const void* data, int size) override {
        ssize_t count;
        do {
            count = ::send(static_cast<int>(channel), data, static_cast<std::size_t>(size),
                           MSG_NOSIGNAL);
        } while (count < 0 && errno == EINTR);
        return count < 0 ? -1 : static_cast<int>(count);
    }

    int channelClose(Handle channel) override { return ::close(static_cast<int>(channel)); }

    void debugOutput(const std::u16string& text) override {
        static const bool enabled = std::getenv("ORVELLE_DEBUG_OUTPUT") != nullptr;
        if (enabled) std::fprintf(stderr, "%s\n", text::toUtf8(text).c_str());
    }
};

}  // namespace

std::unique_ptr<Sockets> createNativeSockets() {
    return std::make_unique<LinuxSockets>();
}

}  // namespace platform
