#include "RunTestSupport.h"

#include <fstream>
#include <iterator>

#include "common/Text.h"
#include "run/ManifestTrust.h"
#include "settings/ProxySettings.h"

namespace runtest {

ScriptedHttp& scriptedHttp() {
    static ScriptedHttp http;
    return http;
}

void RunTest::SetUp() {
    realSystem_ = &platform::get<platform::System>();
    realFiles_ = &platform::get<platform::Files>();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() /
           (std::string("orvelle run ") + info->test_suite_name() + "." + info->name());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);

    system.emplace(*realSystem_);
    system->program = folder() + u"Orvelle_Downloader.exe";
    files.emplace(*realFiles_);
    files->temp = folder();
    platform::install<platform::System>(&*system);
    platform::install<platform::Files>(&*files);
    previousProcesses_ = platform::install<platform::Processes>(&processes);
    previousCrypto_ = platform::install<platform::Crypto>(crypto.get());
    previousUserState_ = platform::install<platform::UserState>(&userState);
    PublisherKey = {};

    scriptedHttp() = ScriptedHttp{};
    ProxySettings = TProxySettings{};
    StopRequested = false;
    UpdateMode = false;
    MonitorPort = kDefaultMonitorPort;
}

void RunTest::TearDown() {
    PublisherKey = {};
    platform::install<platform::UserState>(previousUserState_);
    platform::install<platform::Crypto>(previousCrypto_);
    platform::install<platform::Processes>(previousProcesses_);
    platform::install<platform::Files>(realFiles_);
    platform::install<platform::System>(realSystem_);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::u16string RunTest::folder() const {
    return root.u16string() + realFiles_->separator();
}

std::string RunTest::readFile(const std::u16string& path) const {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RunTest::writeFile(const std::u16string& path, const std::string& bytes) const {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool RunTest::exists(const std::u16string& path) const {
    return std::filesystem::exists(std::filesystem::path(path));
}

}  // namespace runtest
