// ScriptedSockets: a fake of platform::Sockets whose "server" is a byte script. Whatever the
// client reads comes from the fed bytes, in order, whatever it sent; everything it sends and
// every seam call is recorded. Used by the MySQL unit tests and by the fuzz targets (feed the
// fuzzer's input, install, drive the client).
//
//   ScriptedSockets sockets;
//   sockets.feed(greetingPacket + okPacket);
//   auto* previous = platform::install<platform::Sockets>(&sockets);
//   ... client.connect(...) ...; sockets.sent holds the bytes the client wrote.
//   platform::install<platform::Sockets>(previous);
//
// When the fed bytes run out, a read answers 0 (the peer closed) — or -1 with a would-block
// error while the socket is switched to non-blocking, as a real socket with nothing waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Sockets.h"

class ScriptedSockets : public platform::Sockets {
  public:
    // Appends bytes for the client to read.
    void feed(const std::string& bytes) { finput += bytes; }
    // Queues bytes that arrive only after the client's next send (one queued reply per send),
    // like a server's answer; bytes fed at once would be drained as stale before a command.
    void replyAfterNextSend(const std::string& bytes) { freplies.push_back(bytes); }
    // Bytes not read yet.
    std::size_t unread() const { return finput.size() - fposition; }

    // Everything the client sent, in order, and the calls made (e.g. "connect 127.0.0.1:3306",
    // "nonblocking 1", "wait 1 5000", "close", "channel \\.\pipe\MySQL 0").
    std::string sent;
    std::vector<std::string> calls;
    std::vector<std::u16string> traces;

    // Faults.
    bool failStartup = false;
    bool failSocket = false;
    bool failConnect = false;
    bool failSend = false;
    int socketError = 10061;  // reported by lastSocketError after a fault
    // Most bytes one read hands out (1 exercises every partial-read loop).
    std::size_t readChunk = 1 << 20;
    // Names that resolve (dotted IPv4 texts always do); the value is the address text.
    std::vector<std::pair<std::string, std::string>> hosts{{"localhost", "127.0.0.1"}};
    // The local channel's answer; a handle of kInvalid with failure None counts as open (42).
    ChannelFailure channelFailure = ChannelFailure::OpenFailed;
    std::uint32_t channelError = 2;
    std::string channelSocketPath;  // non-empty: the channel stands for a Unix-domain socket

    bool startup() override;
    Handle createStreamSocket() override;
    bool resolveIPv4(const std::string& host, std::uint32_t& address, int& error) override;
    bool connect(Handle socket, std::uint32_t address, std::uint16_t port,
                 int timeoutMilliseconds) override;
    void setTimeouts(Handle socket, int readMilliseconds, int writeMilliseconds) override;
    void setNoDelayAndKeepAlive(Handle socket) override;
    int send(Handle socket, const void* data, int size) override;
    int receive(Handle socket, void* buffer, int size) override;
    int setNonBlocking(Handle socket, bool nonBlocking) override;
    int waitSocket(Handle socket, int wanted, int timeoutMilliseconds) override;
    int shutdownAndClose(Handle socket) override;
    int lastSocketError() override { return flastError; }
    bool isInterrupted(int error) override { return error == 10004; }
    bool isWouldBlock(int error) override { return error == 10035; }
    bool isInProgress(int error) override { return error == 10036; }
    bool isTimedOut(int error) override { return error == 10060; }
    ChannelResult openLocalChannel(const std::string& path, std::uint32_t waitMilliseconds,
                                   int readMilliseconds, int writeMilliseconds) override;
    int channelRead(Handle channel, void* buffer, int size) override;
    int channelWrite(Handle channel, const void* data, int size) override;
    int channelClose(Handle channel) override;
    void debugOutput(const std::u16string& text) override { traces.push_back(text); }

  private:
    int take(void* buffer, int size);

    std::string finput;
    std::vector<std::string> freplies;
    std::size_t fposition = 0;
    bool fnonBlocking = false;
    int flastError = 0;
};
