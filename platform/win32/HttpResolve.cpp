// GetAddrInfoW, each address written back as text with InetNtopW.
#include "platform/win32/HttpResolve.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {
namespace {

// Winsock counts its users; this one holds it for the one question.
class WinsockUse {
  public:
    WinsockUse() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (started_) WSACleanup();
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

}  // namespace

std::vector<std::u16string> resolveWithWinsock(const std::u16string& host) {
    std::vector<std::u16string> addresses;
    const WinsockUse winsock;
    if (!winsock.started()) return addresses;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.c_str()), nullptr, &hints, &found) != 0)
        return addresses;
    for (const ADDRINFOW* at = found; at; at = at->ai_next) {
        const void* address = nullptr;
        if (at->ai_family == AF_INET)
            address = &reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr;
        else if (at->ai_family == AF_INET6)
            address = &reinterpret_cast<const sockaddr_in6*>(at->ai_addr)->sin6_addr;
        wchar_t text[INET6_ADDRSTRLEN] = {};
        // The scope of a link-local IPv6 address is left out: the address's range is what counts.
        if (address && InetNtopW(at->ai_family, address, text, INET6_ADDRSTRLEN))
            addresses.emplace_back(reinterpret_cast<const char16_t*>(text));
    }
    FreeAddrInfoW(found);
    return addresses;
}

}  // namespace platform
