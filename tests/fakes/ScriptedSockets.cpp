#include "tests/fakes/ScriptedSockets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr platform::Sockets::Handle kSocket = 7;
constexpr platform::Sockets::Handle kChannel = 42;

bool parseDotted(const std::string& text, std::uint32_t& address) {
    unsigned a, b, c, d;
    char extra;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4) return false;
    if (a > 255 || b > 255 || c > 255 || d > 255) return false;
    // Network byte order as stored in memory: first octet first.
    const std::uint8_t bytes[4] = {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c),
                                   std::uint8_t(d)};
    std::memcpy(&address, bytes, 4);
    return true;
}

std::string dotted(std::uint32_t address) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &address, 4);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

}  // namespace

bool ScriptedSockets::startup() {
    calls.push_back("startup");
    return !failStartup;
}

platform::Sockets::Handle ScriptedSockets::createStreamSocket() {
    calls.push_back("socket");
    if (failSocket) {
        flastError = socketError;
        return kInvalid;
    }
    return kSocket;
}

bool ScriptedSockets::resolveIPv4(const std::string& host, std::uint32_t& address, int& error) {
    if (parseDotted(host, address)) return true;
    calls.push_back("lookup " + host);
    for (const auto& [name, value] : hosts)
        if (name == host) return parseDotted(value, address);
    error = 11001;
    return false;
}

bool ScriptedSockets::connect(Handle, std::uint32_t address, std::uint16_t port, int) {
    calls.push_back("connect " + dotted(address) + ":" + std::to_string(port));

    if (failConnect) {
        flastError = socketError;
        return false;
    }
    return true;
}

void ScriptedSockets::setTimeouts(Handle, int, int) {}

void ScriptedSockets::setNoDelayAndKeepAlive(Handle) {
    calls.push_back("nodelay keepalive");
}

int ScriptedSockets::send(Handle, const void* data, int size) {
    if (failSend) {
        flastError = 10054;
        return -1;
    }
    sent.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    if (!freplies.empty()) {
        finput += freplies.front();
        freplies.erase(freplies.begin());
    }
    return size;
}

int ScriptedSockets::take(void* buffer, int size) {
    const std::size_t count = std::min({static_cast<std::size_t>(size), unread(), readChunk});
    std::memcpy(buffer, finput.data() + fposition, count);
    fposition += count;
    return static_cast<int>(count);
}

int ScriptedSockets::receive(Handle, void* buffer, int size) {
    if (unread() == 0) {
        if (fnonBlocking) {
            flastError = 10035;
            return -1;
        }
        return 0;
    }
    return take(buffer, size);
}

int ScriptedSockets::setNonBlocking(Handle, bool nonBlocking) {
    calls.push_back(std::string("nonblocking ") + (nonBlocking ? "1" : "0"));
    fnonBlocking = nonBlocking;
    return 0;
}

int ScriptedSockets::waitSocket(Handle, int wanted, int timeoutMilliseconds) {
    calls.push_back("wait " + std::to_string(wanted) + " " + std::to_string(timeoutMilliseconds));
    return (wanted & kReadable) && unread() > 0 ? 1 : 0;
}

int ScriptedSockets::shutdownAndClose(Handle) {
    calls.push_back("close");
    return 0;
}

platform::Sockets::ChannelResult ScriptedSockets::openLocalChannel(const std::string& path,
                                                                   std::uint32_t waitMilliseconds,
                                                                   int, int) {
    calls.push_back("channel " + path + " " + std::to_string(waitMilliseconds));
    ChannelResult result;
    result.socketPath = channelSocketPath;
    result.failure = channelFailure;
    if (channelFailure == ChannelFailure::None)
        result.handle = kChannel;
    else
        result.error = channelError;
    return result;
}

int ScriptedSockets::channelRead(Handle, void* buffer, int size) {
    if (unread() == 0) return -1;
    return take(buffer, size);
}

int ScriptedSockets::channelWrite(Handle, const void* data, int size) {
    sent.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    return size;
}

int ScriptedSockets::channelClose(Handle) {
    calls.push_back("channel close");
    return 1;
}
