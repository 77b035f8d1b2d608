// winsock2.h must come before windows.h (which would otherwise bring in the old winsock.h).
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "tests/fakes/LoopbackSocket.h"

namespace loopback {
namespace {

void startOnce() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SOCKET native(Socket socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

Socket listenOnLoopback(std::uint16_t& port) {
    startOnce();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return kNone;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return kNone;
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(s);
}

Socket acceptWithin(Socket listener, int timeoutMilliseconds, int readTimeoutMilliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native(listener), &set);
    timeval limit{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
    if (::select(0, &set, nullptr, nullptr, &limit) <= 0) return kNone;
    const SOCKET s = ::accept(native(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return kNone;
    const DWORD readLimit = static_cast<DWORD>(readTimeoutMilliseconds);
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readLimit),
                 sizeof readLimit);
    return static_cast<Socket>(s);
}

bool sendAll(Socket socket, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int sent = ::send(native(socket), bytes, static_cast<int>(size), 0);
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

int receiveSome(Socket socket, void* buffer, std::size_t size) {
    const int got = ::recv(native(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
    return got < 0 ? -1 : got;
}

void closeSocket(Socket socket) {
    ::shutdown(native(socket), SD_BOTH);
    ::closesocket(native(socket));
}

void abortSocket(Socket socket) {
    linger option{1, 0};
    ::setsockopt(native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                 sizeof option);
    ::closesocket(native(socket));
}

}  // namespace loopback
