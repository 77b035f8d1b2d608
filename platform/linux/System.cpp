// Linux: the ANSI code page is UTF-8; error texts come from strerror, and the WinHTTP-style
// numbers that the HTTP back end reports get texts worded like Windows' own.
#include "platform/System.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "common/Text.h"
#include "platform/linux/WinHttpErrorTexts.h"

namespace platform {
namespace {

class LinuxSystem final : public System {
public:
    std::string toAnsi(const std::u16string& text) override { return text::toUtf8(text); }
    std::u16string fromAnsi(const std::string& bytes) override { return text::fromUtf8(bytes); }

    int lastError() override { return errno; }

    std::optional<std::u16string> errorMessage(int code, std::uint16_t) override {
        if (const char* winhttp = winHttpErrorText(code)) return text::fromUtf8(winhttp);
        if (code <= 0 || code > 4095) return std::nullopt;
        char buffer[256] = {};
        // GNU strerror_r may return a static string instead of filling the buffer.
        const char* message = strerror_r(code, buffer, sizeof buffer);
        if (!message || std::strncmp(message, "Unknown error", 13) == 0) return std::nullopt;
        return text::fromUtf8(std::string(message) + ".");
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    std::uint64_t monotonicMilliseconds() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
               static_cast<std::uint64_t>(now.tv_nsec / 1000000);
    }

    std::optional<std::u16string> environmentVariable(const std::u16string& name) override {
        const char* value = std::getenv(text::toUtf8(name).c_str());
        if (!value) return std::nullopt;
        return text::fromUtf8(value);
    }

    std::vector<std::u16string> commandLineArguments() override {
        // The kernel keeps the arguments as they were given, NUL-separated.
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::u16string> arguments;
        std::size_t start = 0;
        while (start < all.size()) {
            std::size_t end = all.find('\0', start);
            if (end == std::string::npos) end = all.size();
            arguments.push_back(text::fromUtf8(std::string_view(all).substr(start, end - start)));
            start = end + 1;
        }
        if (!arguments.empty()) arguments.erase(arguments.begin());
        return arguments;
    }

    std::u16string programPath() override {
        char buffer[4096];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n <= 0) return {};
        return text::fromUtf8(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
};

}  // namespace

std::unique_ptr<System> createNativeSystem() { return std::make_unique<LinuxSystem>(); }

}  // namespace platform
