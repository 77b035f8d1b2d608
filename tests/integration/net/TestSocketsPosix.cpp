// POSIX sockets for the test servers.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "TestSockets.h"

namespace testnet {

void startSockets() {
    std::signal(SIGPIPE, SIG_IGN);
}

Socket listenOnLoopback(std::uint16_t& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return kNoSocket;
    int yes = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(s);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return s;
}

Socket acceptWithin(Socket listener, int timeoutMs) {
    pollfd p{static_cast<int>(listener), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return kNoSocket;
    const int s = ::accept(static_cast<int>(listener), nullptr, nullptr);
    return s < 0 ? kNoSocket : s;
}

int receiveWithin(Socket socket, char* buffer, int size, int timeoutMs) {
    pollfd p{static_cast<int>(socket), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    const auto n = ::recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(size), 0);
    return n < 0 ? -1 : static_cast<int>(n);
}

bool sendAll(Socket socket, const char* data, std::size_t size) {
    while (size > 0) {
        const auto n = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void closeSocket(Socket socket) {
    if (socket != kNoSocket) ::close(static_cast<int>(socket));
}

bool loopbackPortOpen(std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool open = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return open;
}

std::string loopbackHostName() {
    startSockets();
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool loopback = ntohl(address->sin_addr.s_addr) == INADDR_LOOPBACK;
    ::freeaddrinfo(found);
    return loopback ? std::string(name) : std::string();
}

}  // namespace testnet
