// Integration tests against the real MariaDB that scripts/services.d/mariadb starts on
// 127.0.0.1:3307: the native socket back end, connection helpers and text helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/Text.h"
#include "mysql/uMysqlClient.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "tests/support/Peers.h"

inline std::string u8(const std::u16string& text) {
    return text::toUtf8(text);
}

class MariaDbTest : public ::testing::Test {
  protected:
    static constexpr const char16_t* kHost = u"127.0.0.1";
    static constexpr std::uint32_t kPort = 3307;
    static constexpr const char16_t* kUser = u"orvelle";
    static constexpr const char16_t* kPassword = u"orvelle-pass";
    static constexpr const char16_t* kDb = u"orvelle_test";

    MariaDbTest() : fnative(platform::createNativeSockets()) {
        fprevious = platform::install<platform::Sockets>(fnative.get());
    }
    ~MariaDbTest() override { platform::install<platform::Sockets>(fprevious); }

    void SetUp() override {
        // Skip only when the server is genuinely absent and CI does not require it.
        TMysqlClient probe;
        probe.setHost(kHost);
        probe.setPort(kPort);
        if (probe.connect()) return;
        if (probe.LastErrorNo() != 2003) return;  // there, but refusing: let the tests say so
        REQUIRE_PEER(false, "no MariaDB on 127.0.0.1:3307 (scripts/services.d/mariadb start): "
                                << u8(probe.LastError()));
    }

    // Sets the connection parameters and connects.
    static bool open(TMysqlClient& client, const std::u16string& user = kUser,
                     const std::u16string& password = kPassword, const std::u16string& db = kDb) {
        client.setHost(kHost);
        client.setPort(kPort);
        client.setUser(user);
        client.setPassword(password);
        client.setDb(db);
        return client.connect();
    }

    // Runs a statement that must succeed; its result set, if any.
    static std::unique_ptr<TMysqlResult> run(TMysqlClient& client, const std::u16string& sql,
                                             bool store = true) {
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        client.query(sql, store, executed, result);
        EXPECT_TRUE(executed) << u8(sql) << ": " << client.LastErrorNo() << " "
                              << u8(client.LastError());
        return result;
    }

    // The first value of a one-row result.
    static std::string scalar(TMysqlClient& client, const std::u16string& sql) {
        const auto result = run(client, sql);
        if (!result || result->Eof()) return "<no row>";
        return u8(result->FieldValue(0));
    }

  private:
    std::unique_ptr<platform::Sockets> fnative;
    platform::Sockets* fprevious = nullptr;
};
