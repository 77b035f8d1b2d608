// Shared pieces of the MySQL client tests: installing the scripted or the native socket seam,
// and byte helpers.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "common/Text.h"
#include "mysql/uMysqlClient.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "tests/fakes/FakeMysqlServer.h"
#include "tests/fakes/ScriptedSockets.h"

// Installs a ScriptedSockets for the test's lifetime (constructor to destructor, so that the
// test's own client objects are gone before it is removed).
class ScriptedSocketsTest : public ::testing::Test {
  protected:
    ScriptedSocketsTest() { fprevious = platform::install<platform::Sockets>(&sockets); }
    ~ScriptedSocketsTest() override { platform::install<platform::Sockets>(fprevious); }

    ScriptedSockets sockets;

  private:
    platform::Sockets* fprevious = nullptr;
};

// Installs the real socket back end (for the loopback fake server).
class NativeSocketsTest : public ::testing::Test {
  protected:
    NativeSocketsTest() : fnative(platform::createNativeSockets()) {
        fprevious = platform::install<platform::Sockets>(fnative.get());
    }
    ~NativeSocketsTest() override { platform::install<platform::Sockets>(fprevious); }

  private:
    std::unique_ptr<platform::Sockets> fnative;
    platform::Sockets* fprevious = nullptr;
};

inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// Server side of a successful login: greeting, the client's answer, OK with sequence 2.
inline void handshake(FakeMysqlConnection& c, const mysqlwire::Greeting& greeting = {}) {
    c.sendPacket(0, mysqlwire::greeting(greeting));
    c.readPacket();
    c.sendPacket(2, mysqlwire::ok());
}

// Reads (and so records) packets until the client closes; answers none of them.
inline void drain(FakeMysqlConnection& c) {
    while (c.readPacket()) {
    }
}

// Answers every command with an OK packet until the client closes.
inline void answerOk(FakeMysqlConnection& c) {
    while (c.readPacket()) c.sendPacket(1, mysqlwire::ok());
}

// A client pointed at the fake server.
inline void pointAt(TMysqlClient& client, const FakeMysqlServer& server) {
    client.setHost(u"127.0.0.1");
    client.setPort(server.port());
}

// The client lost its server in the middle of a command: 2013, its text, and no connection left.
inline void expectLostConnection(const TMysqlClient& client) {
    EXPECT_EQ(client.LastErrorNo(), 2013u);
    EXPECT_EQ(client.LastError(), u"Lost connection to MySQL server during query");
    EXPECT_FALSE(client.Connected());
}

// Over the local channel to a server that greets, admits the login and then never answers: the
// ping's wait ends, with the connection lost.
inline void expectSilentLocalServerLosesTheConnection() {
    TMysqlClient client;
    client.setUseNamedPipe(true);
    client.setHost(u".");
    client.setReadTimeout(1);
    client.setShouldReconnect(false);
    EXPECT_TRUE(client.connect()) << text::toUtf8(client.LastError());
    EXPECT_FALSE(client.ping());
    expectLostConnection(client);
}

// A client whose local channel is missing connects by TCP/IP once trying sockets is allowed.
inline void expectFallbackToTcpWithTrySockets(TMysqlClient& client) {
    client.setTrySockets(true);
    ASSERT_TRUE(client.connect());
    EXPECT_EQ(client.net().vio_type(), VIO_TYPE_TCPIP);
    EXPECT_FALSE(client.UseNamedPipe());
}

// The column header, definitions and end marker of a text result, starting at sequence 1.
inline std::string resultHeader(const std::vector<std::string>& columns, std::uint8_t& sequence) {
    std::string out = mysqlwire::packet(sequence++, mysqlwire::lenenc(columns.size()));
    for (const auto& column : columns) out += mysqlwire::packet(sequence++, column);
    out += mysqlwire::packet(sequence++, mysqlwire::eof41());
    return out;
}
