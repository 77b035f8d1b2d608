#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/fakes/LoopbackSocket.h"

namespace loopback {

Socket listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kNone;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return kNone;
    }
    port = ntohs(address.sin_port);
    return fd;
}

Socket acceptWithin(Socket listener, int timeoutMilliseconds, int readTimeoutMilliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<int>(listener), &set);
    timeval limit{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
    if (::select(static_cast<int>(listener) + 1, &set, nullptr, nullptr, &limit) <= 0) return kNone;
    const int fd = ::accept(static_cast<int>(listener), nullptr, nullptr);
    if (fd < 0) return kNone;
    timeval readLimit{readTimeoutMilliseconds / 1000, (readTimeoutMilliseconds % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &readLimit, sizeof readLimit);
    return fd;
}

bool sendAll(Socket socket, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(static_cast<int>(socket), bytes, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

int receiveSome(Socket socket, void* buffer, std::size_t size) {
    const ssize_t got = ::recv(static_cast<int>(socket), buffer, size, 0);
    return got < 0 ? -1 : static_cast<int>(got);
}

void closeSocket(Socket socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    ::close(static_cast<int>(socket));
}

void abortSocket(Socket socket) {
    linger option{1, 0};
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &option, sizeof option);
    ::close(static_cast<int>(socket));
}

}  // namespace loopback
