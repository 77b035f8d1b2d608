// Windows only: the TLS versions asked of every WinHTTP session. Wine cannot read the option
// back and refuses none of it, so the setter is played: it records what is asked and refuses
// as an older system does, while the real WinHTTP fetches from the real nginx.
#include <gtest/gtest.h>

#include <vector>

#include "NativeHttpFixture.h"
#include "common/Text.h"
#include "net/HttpGet.h"
#include "platform/win32/HttpCalls.h"

namespace testnet {
namespace {

constexpr DWORD kTls10To12 = 0x80 | 0x200 | 0x800;
constexpr DWORD kTls13 = 0x2000;

// An ask holding any of these flags is refused as a system without them refuses it; the others
// reach the real WinHTTP.
DWORD refusedFlags = 0;
std::vector<DWORD> askedProtocols;

BOOL WINAPI playedSessionOption(HINTERNET session, DWORD option, LPVOID buffer, DWORD size) {
    if (option != WINHTTP_OPTION_SECURE_PROTOCOLS || size != sizeof(DWORD)) {
        SetLastError(ERROR_INVALID_PARAMETER);  // not an option a session is given
        return FALSE;
    }
    const DWORD protocols = *static_cast<DWORD*>(buffer);
    askedProtocols.push_back(protocols);
    if (protocols & refusedFlags) {
        SetLastError(ERROR_WINHTTP_INVALID_OPTION);
        return FALSE;
    }
    return WinHttpSetOption(session, option, buffer, size);
}

class PlayedTlsOptionTest : public NativeHttpTest {
  protected:
    void SetUp() override {
        NativeHttpTest::SetUp();
        platform::install<platform::Http>(played.get());  // the fixture restores its own
    }
    // The small file over HTTPS, as the given system would fetch it.
    void fetchRefusing(DWORD flags) {
        refusedFlags = flags;
        askedProtocols.clear();
        run.RunOk = true;
        run.stream.clear();
        window.messages.clear();
        HttpGet(run, u"https://127.0.0.1:" + text::decimal(kHttpsTrustedPort) + u"/small.txt",
                false, true);
        EXPECT_TRUE(run.RunOk) << (window.messages.empty() ? "" : text::toUtf8(window.messages[0]));
        EXPECT_EQ(run.stream, "Orvelle test file\n");
    }
    std::unique_ptr<platform::Http> played = platform::createWindowsHttp({playedSessionOption});
};

TEST_F(PlayedTlsOptionTest, SessionAsksForEveryCurrentTlsAndARefusalKeepsHttpsWorking) {
    REQUIRE_WEB_PEER(kHttpsTrustedPort);
    // A system that knows TLS 1.3 is asked once.
    fetchRefusing(0);
    EXPECT_EQ(askedProtocols, std::vector<DWORD>{kTls10To12 | kTls13});
    // Windows 7 to 10 without 1.3: asked again for 1.0 to 1.2, which the real session then uses.
    fetchRefusing(kTls13);
    EXPECT_EQ(askedProtocols, (std::vector<DWORD>{kTls10To12 | kTls13, kTls10To12}));
    // A system without the option keeps its defaults, and the request still goes out.
    fetchRefusing(~DWORD{0});
    EXPECT_EQ(askedProtocols, (std::vector<DWORD>{kTls10To12 | kTls13, kTls10To12}));
}

}  // namespace
}  // namespace testnet
