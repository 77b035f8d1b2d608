// Windows only: the TLS versions asked of every WinHTTP session. Wine cannot read the option
// back and never refuses it, so the setter is played: it records what is asked and refuses as
// a system without the option does, while the real WinHTTP fetches from the real nginx.
#include <gtest/gtest.h>

#include <vector>

#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"
#include "platform/win32/HttpCalls.h"

namespace testnet {
namespace {

struct AskedOption {
    DWORD option;
    DWORD value;
};
std::vector<AskedOption> asked;

BOOL WINAPI refuseSessionOption(HINTERNET, DWORD option, LPVOID buffer, DWORD size) {
    asked.push_back({option, size == sizeof(DWORD) ? *static_cast<DWORD*>(buffer) : 0});
    SetLastError(ERROR_WINHTTP_INVALID_OPTION);
    return FALSE;
}

class RefusedTlsOptionTest : public NativeHttpTest {
  protected:
    void SetUp() override {
        NativeHttpTest::SetUp();
        asked.clear();
        platform::install<platform::Http>(refusing.get());  // the fixture restores its own
    }
    std::unique_ptr<platform::Http> refusing = platform::createWindowsHttp({refuseSessionOption});
};

TEST_F(RefusedTlsOptionTest, SessionAsksForTls10To12AndARefusalKeepsHttpsWorking) {
    REQUIRE_WEB_PEER(kHttpsTrustedPort);
    HttpGet(run, u"https://127.0.0.1:" + text::decimal(kHttpsTrustedPort) + u"/small.txt", false,
            true);
    ASSERT_TRUE(run.RunOk) << (window.messages.empty() ? "" : text::toUtf8(window.messages[0]));
    EXPECT_EQ(run.stream, "Orvelle test file\n");
    ASSERT_FALSE(asked.empty());
    for (const AskedOption& each : asked) {
        EXPECT_EQ(each.option, static_cast<DWORD>(WINHTTP_OPTION_SECURE_PROTOCOLS));
        EXPECT_EQ(each.value, 0xA80u);  // TLS 1.0 (0x80), 1.1 (0x200) and 1.2 (0x800)
    }
}

}  // namespace
}  // namespace testnet
