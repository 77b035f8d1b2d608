// What the run's tests share: a private folder per test standing in for both the temporary
// folder and the program folder, a clock that moves only when the run sleeps, scripted answers
// for HttpGet, and the fakes installed for the duration of one test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FakeProcesses.h"
#include "FakeRunWindow.h"
#include "FakeUserState.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "run/DownloadRun.h"

namespace runtest {

// The real System with the clock, the program path and the environment under the test's
// control; sleeping advances the clock and runs onSleep (another program at work meanwhile).
class ClockSystem final : public platform::System {
  public:
    explicit ClockSystem(platform::System& real) : real_(real) {}
    std::string toAnsi(const std::u16string& t) override { return real_.toAnsi(t); }
    std::u16string fromAnsi(const std::string& b) override { return real_.fromAnsi(b); }
    int lastError() override { return real_.lastError(); }
    std::optional<std::u16string> errorMessage(int code, std::uint16_t language) override {
        return real_.errorMessage(code, language);
    }
    void sleepMilliseconds(std::uint32_t ms) override {
        now += ms;
        ++sleeps;
        if (onSleep) onSleep();
    }
    std::uint64_t monotonicMilliseconds() override { return now; }
    std::optional<std::u16string> environmentVariable(const std::u16string& name) override {
        const auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    }
    std::vector<std::u16string> commandLineArguments() override { return {}; }
    std::u16string programPath() override { return program; }

    std::uint64_t now = 1000;
    int sleeps = 0;
    std::function<void()> onSleep;
    std::map<std::u16string, std::u16string> environment;
    std::u16string program;

  private:
    platform::System& real_;
};

// The real Files with the temporary folder moved into the test's own folder.
class FolderFiles final : public platform::Files {
  public:
    explicit FolderFiles(platform::Files& real) : real_(real) {}
    Handle openRead(const std::u16string& p, bool exclusive, int& error) override {
        return real_.openRead(p, exclusive, error);
    }
    int read(Handle f, void* b, int n, int& error) override { return real_.read(f, b, n, error); }
    void close(Handle f) override { real_.close(f); }
    Handle openToStart(const std::u16string& p, int& error) override {
        return real_.openToStart(p, error);
    }
    bool stillNames(Handle f, const std::u16string& p) override { return real_.stillNames(f, p); }
    bool writeWhole(const std::u16string& p, const std::string& bytes,
                    std::u16string& errorText) override {
        return real_.writeWhole(p, bytes, errorText);
    }
    Handle createPart(const std::u16string& p, int& error) override {
        return real_.createPart(p, error);
    }
    Handle reopenPart(const std::u16string& p, int& error) override {
        return real_.reopenPart(p, error);
    }
    bool write(Handle f, const void* d, std::size_t n, int& error) override {
        return real_.write(f, d, n, error);
    }
    bool truncate(Handle f, int& error) override { return real_.truncate(f, error); }
    bool rename(const std::u16string& from, const std::u16string& to, int& error) override {
        return real_.rename(from, to, error);
    }
    bool remove(const std::u16string& p) override { return real_.remove(p); }
    std::vector<Entry> list(const std::u16string& folder, const std::u16string& mask) override {
        return real_.list(folder, mask);
    }
    std::u16string temporaryFolder() override { return temp; }
    void deleteByMask(const std::u16string& folder, const std::u16string& mask) override {
        real_.deleteByMask(folder, mask);
    }
    char16_t separator() override { return real_.separator(); }

    std::u16string temp;

  private:
    platform::Files& real_;
};

// One scripted answer of HttpGet for a URL.
struct Answer {
    bool ok = true;
    std::string body;
    std::function<void()> during;  // runs while the transfer is under way (the user acting)
    std::function<void()> after;   // runs in the engine's last pump, after the last bytes
};

struct HttpCall {
    std::u16string url;
    bool showProgress;
    bool showErrors;
};

// The scripted HttpGet of these tests: answers by URL; an unknown URL fails like a refused
// connection. Failures show "Не вдалося отримати дані (2)." when showErrors.
struct ScriptedHttp {
    std::map<std::u16string, Answer> answers;
    std::vector<HttpCall> calls;
};
ScriptedHttp& scriptedHttp();

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::u16string folder() const;  // ends with the separator
    std::string readFile(const std::u16string& path) const;
    void writeFile(const std::u16string& path, const std::string& bytes) const;
    bool exists(const std::u16string& path) const;

    std::filesystem::path root;
    fakes::FakeRunWindow window;
    fakes::FakeProcesses processes;
    fakes::FakeUserState userState;
    std::optional<ClockSystem> system;
    std::optional<FolderFiles> files;
    std::unique_ptr<platform::Crypto> crypto = platform::createNativeCrypto();

  private:
    platform::System* realSystem_ = nullptr;
    platform::Files* realFiles_ = nullptr;
    platform::Processes* previousProcesses_ = nullptr;
    platform::Crypto* previousCrypto_ = nullptr;
    platform::UserState* previousUserState_ = nullptr;
};

}  // namespace runtest
