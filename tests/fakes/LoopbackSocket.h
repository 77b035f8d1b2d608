// The few OS socket calls the in-process fake servers need: listen on 127.0.0.1 with a port
// the system picks, accept with a time-out, send and receive whole blocks, close.
#pragma once

#include <cstddef>
#include <cstdint>

namespace loopback {

using Socket = std::intptr_t;
constexpr Socket kNone = -1;

// Listening socket on 127.0.0.1; `port` receives the port chosen. kNone on failure.
Socket listenOnLoopback(std::uint16_t& port);
// A connected socket, or kNone when nobody came within the time-out. Reads on it give up
// after `readTimeoutMilliseconds`.
Socket acceptWithin(Socket listener, int timeoutMilliseconds, int readTimeoutMilliseconds);
// True when every byte was sent.
bool sendAll(Socket socket, const void* data, std::size_t size);
// Bytes received (> 0), 0 when the peer closed, -1 on error or time-out.
int receiveSome(Socket socket, void* buffer, std::size_t size);
void closeSocket(Socket socket);
// Closes with a reset instead of an orderly shutdown.
void abortSocket(Socket socket);

}  // namespace loopback
