// The user's state kept in memory: what a run stored, and what an earlier run left.
#pragma once

#include <optional>

#include "platform/UserState.h"

namespace fakes {

class FakeUserState final : public platform::UserState {
  public:
    std::optional<std::uint64_t> highestSerial() override { return stored; }
    bool storeHighestSerial(std::uint64_t serial, int&) override {
        stored = serial;
        return true;
    }

    std::optional<std::uint64_t> stored;
};

}  // namespace fakes
