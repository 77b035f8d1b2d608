// What the program keeps for the user between runs: the highest manifest serial it accepted,
// so that an older manifest, however validly signed, is never taken again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class UserState {
  public:
    virtual ~UserState() = default;

    // The serial stored last, or nothing when none was stored (or what is stored is unreadable).
    virtual std::optional<std::uint64_t> highestSerial() = 0;
    // Replaces the stored serial in one step; false with the system error code when it cannot.
    virtual bool storeHighestSerial(std::uint64_t serial, int& error) = 0;
};

// Windows: the REG_QWORD HighestSerial under HKCU\Software\Orvelle\Downloader (the environment
// variable ORVELLE_REGISTRY_KEY names another key under HKCU, for tests). Linux: the file
// orvelle/highest-serial under $XDG_STATE_HOME, else ~/.local/state, for the user alone.
std::unique_ptr<UserState> createNativeUserState();

}  // namespace platform
