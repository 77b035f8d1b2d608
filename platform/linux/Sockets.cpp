// Linux: POSIX sockets; the server's Unix-domain socket stands in for the Windows named pipe.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Text.h"

namespace platform {
namespace {

constexpr const char* kDefaultUnixSocket = "/run/mysqld/mysqld.sock";

void setSocketTimeouts(int fd, int readMilliseconds, int writeMilliseconds) {
    const auto limit = [](int milliseconds) {
        timeval value{};
        if (milliseconds > 0) {
            value.tv_sec = milliseconds / 1000;
            value.tv_usec = (milliseconds % 1000) * 1000;
        }
        return value;
    };
    const timeval readLimit = limit(readMilliseconds), writeLimit = limit(writeMilliseconds);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &readLimit, sizeof readLimit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &writeLimit, sizeof writeLimit);
}

class LinuxSockets final : public Sockets {
  public:
    bool startup() override { return true; }

    Handle createStreamSocket() override {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return fd < 0 ? kInvalid : fd;
    }

    bool resolveIPv4(const std::string& host, std::uint32_t& address, int& error) override {
        const in_addr_t parsed = ::inet_addr(host.c_str());
        if (parsed != INADDR_NONE) {
            address = parsed;
            return true;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answer = nullptr;
        const int code = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
        if (code != 0 || !answer) {
            // The resolver's own code: errno is only meaningful for EAI_SYSTEM.
            error = code == EAI_SYSTEM ? errno : code != 0 ? code : EAI_NONAME;
            if (answer) ::freeaddrinfo(answer);
            return false;
        }
        address = reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(answer);
        return true;
    }

    bool connect(Handle socket, std::uint32_t address, std::uint16_t port,
                 int timeoutMilliseconds) override {
        const int fd = static_cast<int>(socket);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = address;
        if (timeoutMilliseconds <= 0) {
            int result;
            do {
                result = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
            } while (result < 0 && errno == EINTR);
            return result >= 0;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
        bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
        int error = errno;
        if (!connected && (error == EINPROGRESS || error == EINTR)) {
            pollfd entry{fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&entry, 1, timeoutMilliseconds);
            } while (ready < 0 && errno == EINTR);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0) {
                error = errno;
            } else {
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) < 0) error = errno;
                connected = error == 0;
            }
        }
        ::fcntl(fd, F_SETFL, flags);
        if (!connected) errno = error;
        return connected;
    }

    void setTimeouts(Handle socket, int readMilliseconds, int writeMilliseconds) override {
        setSocketTimeouts(static_cast<int>(socket), readMilliseconds, writeMilliseconds);
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
        // poll, not select: a descriptor number past FD_SETSIZE must not write out of bounds.
        pollfd entry{static_cast<int>(socket), 0, 0};
        if (wanted & kReadable) entry.events |= POLLIN;
        if (wanted & kExceptional) entry.events |= POLLPRI;
        if (wanted & kWritable) entry.events |= POLLOUT;
        const int result = ::poll(&entry, 1, timeoutMilliseconds < 0 ? -1 : timeoutMilliseconds);
        if (result <= 0) return result;
        // A closed or failed connection counts as readable: the read then reports it.
        const short readable = POLLIN | POLLHUP | POLLERR;
        const int reported = ((entry.revents & readable) ? kReadable : 0) |
                             ((entry.revents & POLLPRI) ? kExceptional : 0) |
                             ((entry.revents & (POLLOUT | POLLERR)) ? kWritable : 0);
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
    bool isTimedOut(int error) override {
        return error == EAGAIN || error == EWOULDBLOCK || error == ETIMEDOUT;
    }

    ChannelResult openLocalChannel(const std::string&, std::uint32_t waitMilliseconds,
                                   int readMilliseconds, int writeMilliseconds) override {
        ChannelResult result;
        const char* configured = std::getenv("ORVELLE_MYSQL_UNIX_SOCKET");
        const std::string path = configured && *configured ? configured : kDefaultUnixSocket;
        result.socketPath = path;
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
        // A Unix-domain connect waits (for room in the server's backlog) at most as long as
        // the send time-out allows.
        setSocketTimeouts(fd, 0,
                          static_cast<int>(std::min<std::uint32_t>(waitMilliseconds, 0x7FFFFFFF)));
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
        setSocketTimeouts(fd, readMilliseconds, writeMilliseconds);
        result.handle = fd;
        return result;
    }

    int channelRead(Handle channel, void* buffer, int size) override {
        ssize_t count;
        do {
            count = ::read(static_cast<int>(channel), buffer, static_cast<std::size_t>(size));
        } while (count < 0 && errno == EINTR);
        // A read that ends the stream reports failure, as ReadFile on a broken pipe does; the
        // error must say so, or a stale EINTR would have the caller read again for ever.
        if (count == 0) errno = ECONNRESET;
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
