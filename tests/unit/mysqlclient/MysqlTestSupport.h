// Shared pieces of the MySQL client tests: installing the scripted or the native socket seam,
// and byte helpers.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

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
