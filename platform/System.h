// Operating-system basics that every area needs: the ANSI code page, error numbers and their
// texts, time, the environment and the program's own command line.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class System {
public:
    virtual ~System() = default;

    // The ANSI code page: the system's (CP_ACP) on Windows, UTF-8 on Linux.
    virtual std::string toAnsi(const std::u16string& text) = 0;
    virtual std::u16string fromAnsi(const std::string& bytes) = 0;

    // The calling thread's last system error (GetLastError / errno).
    virtual int lastError() = 0;
    // The system's own text for an error code in the given language (a Windows language id;
    // 0x0422 Ukrainian, 0x0800 the system default), or nothing when the system has none.
    virtual std::optional<std::u16string> errorMessage(int code, std::uint16_t languageId) = 0;

    virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
    // A clock that only moves forward, in milliseconds.
    virtual std::uint64_t monotonicMilliseconds() = 0;

    virtual std::optional<std::u16string> environmentVariable(const std::u16string& name) = 0;
    // The program's arguments without argument 0, split by the platform's rules.
    virtual std::vector<std::u16string> commandLineArguments() = 0;
    // Full path of the running executable.
    virtual std::u16string programPath() = 0;
};

std::unique_ptr<System> createNativeSystem();

}  // namespace platform
