// FakeMysqlServer: a scriptable MySQL server on 127.0.0.1 inside the test process, for what a
// real server will not send (odd greetings, short error packets, wrong sequence numbers,
// compressed frames, connections cut mid-result, LOAD DATA LOCAL requests). Connection k
// runs script k on the server's own thread; the packets it read are kept for the test.
//
//   FakeMysqlServer server({[](FakeMysqlConnection& c) {
//       c.sendPacket(0, mysqlwire::greeting());
//       c.readPacket();                       // the login
//       c.sendPacket(2, mysqlwire::ok());
//   }});
//   client.setPort(server.port()); ...
//   server.finish();                          // then look at server.received(0)
//
// Reads on the server side give up after 10 s, so a script never hangs a test for long.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/LoopbackSocket.h"

class FakeMysqlConnection {
  public:
    FakeMysqlConnection(loopback::Socket socket, std::vector<std::string>& log, std::mutex& lock);

    void sendRaw(const std::string& bytes);
    void sendPacket(std::uint8_t sequence, const std::string& payload);
    // The next packet's payload (its sequence number in `sequence` when asked); nothing when
    // the peer closed or nothing came in time.
    std::optional<std::string> readPacket(std::uint8_t* sequence = nullptr);
    // Raw bytes as they come (up to `size`); empty when the peer closed.
    std::string readRaw(std::size_t size);
    // True when the client closes its end within the read time-out (nothing else arrives).
    bool waitForPeerClose();
    void close();
    // Cuts the connection with a reset.
    void abort();

  private:
    bool readExactly(char* buffer, std::size_t size);

    loopback::Socket fsocket;
    std::vector<std::string>& flog;
    std::mutex& flock;
};

class FakeMysqlServer {
  public:
    using Script = std::function<void(FakeMysqlConnection&)>;

    explicit FakeMysqlServer(std::vector<Script> scripts);
    ~FakeMysqlServer();
    FakeMysqlServer(const FakeMysqlServer&) = delete;
    FakeMysqlServer& operator=(const FakeMysqlServer&) = delete;

    std::uint16_t port() const { return fport; }
    // Waits until every script has run, or until no client came for 10 s; returns how many
    // connections were served.
    int finish();
    // Payloads the server read on connection k (after finish()).
    std::vector<std::string> received(std::size_t connection) const;

  private:
    void serve();

    std::vector<Script> fscripts;
    loopback::Socket flistener = loopback::kNone;
    std::uint16_t fport = 0;
    std::thread fthread;
    mutable std::mutex flock;
    std::vector<std::vector<std::string>> freceived;
    int fserved = 0;
};

// Builders of server packets and payloads (little-endian, as on the wire).
namespace mysqlwire {

std::string int2(std::uint32_t value);
std::string int3(std::uint32_t value);
std::string int4(std::uint32_t value);
std::string lenenc(std::uint64_t value);
std::string lenencString(const std::string& text);
// A whole packet: 3-byte length, sequence, payload.
std::string packet(std::uint8_t sequence, const std::string& payload);

struct Greeting {
    std::uint8_t protocol = 10;
    std::string version = "5.5.5-10.11.6-MariaDB";
    std::uint32_t threadId = 7;
    std::string seed = "abcdefghijklmnopqrst";  // 20 bytes: 8 + 12
    std::uint32_t capabilities = 0xA20F;        // long password, long flag, with db, 4.1,
                                                // transactions, secure connection
    std::uint8_t language = 8;
    std::uint16_t status = 2;
};
// The full greeting payload (version, 0, thread id, seed 8, 0, capabilities, language, status,
// 13 zero bytes, seed 12, 0).
std::string greeting(const Greeting& fields = {});
// OK packet as 4.1 servers send it: affected rows, insert id, status, warnings, and the
// message as a length-coded string when there is one.
std::string ok(std::uint64_t affected = 0, std::uint64_t insertId = 0, std::uint16_t status = 2,
               const std::string& info = "");
// 4.1 error packet: 0xFF, number, '#', state, message; state empty leaves out '#' and state.
std::string error(std::uint16_t number, const std::string& message, const std::string& state = "");
std::string eof41(std::uint16_t status = 2);
// 4.1 column definition.
std::string column41(const std::string& table, const std::string& name, std::uint8_t type,
                     std::uint32_t length = 11, std::uint16_t flags = 0, std::uint8_t decimals = 0);
// Text row; nothing = NULL.
std::string row(const std::vector<std::optional<std::string>>& values);

}  // namespace mysqlwire
