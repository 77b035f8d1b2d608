// What the engine's unit tests share: the fake HTTP seam and window installed, settings reset,
// and a System whose error texts are known.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "FakeHttp.h"
#include "FakeRunWindow.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "settings/ProxySettings.h"

namespace nettest {

// Error texts by (code, language); everything else delegates to the real System.
class TextSystem final : public platform::System {
  public:
    explicit TextSystem(platform::System& real) : real_(real) {}
    std::map<std::pair<int, std::uint16_t>, std::u16string> texts;

    std::string toAnsi(const std::u16string& t) override { return real_.toAnsi(t); }
    std::u16string fromAnsi(const std::string& b) override { return real_.fromAnsi(b); }
    int lastError() override { return real_.lastError(); }
    std::optional<std::u16string> errorMessage(int code, std::uint16_t language) override {
        const auto it = texts.find({code, language});
        if (it == texts.end()) return std::nullopt;
        return it->second;
    }
    void sleepMilliseconds(std::uint32_t ms) override { real_.sleepMilliseconds(ms); }
    std::uint64_t monotonicMilliseconds() override { return real_.monotonicMilliseconds(); }
    std::optional<std::u16string> environmentVariable(const std::u16string& n) override {
        return real_.environmentVariable(n);
    }
    std::vector<std::u16string> commandLineArguments() override {
        return real_.commandLineArguments();
    }
    std::u16string programPath() override { return real_.programPath(); }

  private:
    platform::System& real_;
};

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previousSystem_ = platform::install<platform::System>(&system);
        previousHttp_ = platform::install<platform::Http>(&http);
        ProxySettings = TProxySettings{};
        ProxySettings.mode = pmNone;
        StopRequested = false;
        system.texts[{12029, 0x0422}] = u"Не вдалося з'єднатися з сервером\r\n";
        system.texts[{12030, 0x0800}] =
            u"The connection with the server was terminated abnormally\r\n";
        system.texts[{12002, 0x0422}] = u"Час очікування вичерпано\r\n";
    }
    void TearDown() override {
        EXPECT_TRUE(http.openHandles.empty()) << "handles left open";
        platform::install<platform::Http>(previousHttp_);
        platform::install<platform::System>(previousSystem_);
        ProxySettings = TProxySettings{};
        StopRequested = false;
    }

    static fakes::FakeResponse ok(std::string body) {
        fakes::FakeResponse r;
        r.contentLength = static_cast<std::uint32_t>(body.size());
        r.chunks = {std::move(body)};
        return r;
    }

    TextSystem system{*previousOrReal()};
    fakes::FakeHttp http;
    fakes::FakeRunWindow window;
    DownloadRun run{window};

  private:
    static platform::System* previousOrReal() { return &platform::get<platform::System>(); }
    platform::System* previousSystem_ = nullptr;
    platform::Http* previousHttp_ = nullptr;
};

}  // namespace nettest
