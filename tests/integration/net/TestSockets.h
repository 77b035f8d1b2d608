// The few socket operations the test servers need, over POSIX or Winsock (chosen by CMake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testnet {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

void startSockets();
// A listening socket on 127.0.0.1; port 0 picks a free one, reported back.
Socket listenOnLoopback(std::uint16_t& port);
// kNoSocket when nothing arrived within timeoutMs.
Socket acceptWithin(Socket listener, int timeoutMs);
// Bytes received (> 0), 0 when the peer closed, -1 on error, -2 when timeoutMs passed.
int receiveWithin(Socket socket, char* buffer, int size, int timeoutMs);
bool sendAll(Socket socket, const char* data, std::size_t size);
void closeSocket(Socket socket);
// True when something accepts TCP connections on 127.0.0.1:port.
bool loopbackPortOpen(std::uint16_t port);
// This machine's own name when it resolves to 127.0.0.1 (as /etc/hosts has it here), else "":
// a name for the loopback peers that is not loopback by its look, so a proxy is asked for it.
std::string loopbackHostName();

}  // namespace testnet
