// A toolkit stand-in for window tests: records message boxes, beeps, pumps and quit requests;
// registered messages get numbers from 0xC000 as on Windows, and nothing is delivered.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Toolkit.h"

namespace fakes {

class FakeMessageToolkit final : public platform::Toolkit {
  public:
    struct Message {
        platform::WindowHandle owner;
        std::u16string caption;
        std::u16string text;
    };

    void processMessages() override { ++pumps; }
    int runMessageLoop() override { return quitCode; }
    void quitMessageLoop(int exitCode) override {
        quitRequested = true;
        quitCode = exitCode;
    }
    std::uint32_t registerWindowMessage(const std::u16string& name) override {
        const auto found = registered.find(name);
        if (found != registered.end()) return found->second;
        const std::uint32_t number = 0xC000 + static_cast<std::uint32_t>(registered.size());
        registered.emplace(name, number);
        return number;
    }
    bool postMessage(platform::WindowHandle, std::uint32_t, std::uintptr_t,
                     std::intptr_t) override {
        return true;
    }
    std::intptr_t sendMessage(platform::WindowHandle, std::uint32_t, std::uintptr_t,
                              std::intptr_t) override {
        return 0;
    }
    void showMessage(platform::WindowHandle owner, const std::u16string& caption,
                     const std::u16string& text) override {
        messages.push_back({owner, caption, text});
    }
    void beep() override { ++beeps; }
    platform::PlatformVersion platformVersion() override { return {10, 0}; }
    bool visualStylesEnabled() override { return true; }
    int verticalScrollArrowHeight() override { return 17; }

    std::vector<Message> messages;
    std::map<std::u16string, std::uint32_t> registered;
    int pumps = 0;
    int beeps = 0;
    bool quitRequested = false;
    int quitCode = 0;
};

}  // namespace fakes
