// Winsock for the test servers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "TestSockets.h"

namespace testnet {
namespace {
SOCKET raw(Socket s) {
    return static_cast<SOCKET>(s);
}
bool readable(Socket s, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(raw(s), &set);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}
}  // namespace

void startSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

Socket listenOnLoopback(std::uint16_t& port) {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(s);
}

Socket acceptWithin(Socket listener, int timeoutMs) {
    if (!readable(listener, timeoutMs)) return kNoSocket;
    const SOCKET s = ::accept(raw(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

int receiveWithin(Socket socket, char* buffer, int size, int timeoutMs) {
    if (!readable(socket, timeoutMs)) return -2;
    const int n = ::recv(raw(socket), buffer, size, 0);
    return n < 0 ? -1 : n;
}

bool sendAll(Socket socket, const char* data, std::size_t size) {
    while (size > 0) {
        const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
        const int n = ::send(raw(socket), data, chunk, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void closeSocket(Socket socket) {
    if (socket != kNoSocket) ::closesocket(raw(socket));
}

bool loopbackPortOpen(std::uint16_t port) {
    startSockets();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool open = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::closesocket(s);
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
