// The user's state in the registry, under the current user's own hive.
#include "platform/UserState.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

const wchar_t kValueName[] = L"HighestSerial";

std::wstring keyPath() {
    wchar_t buffer[512];
    const DWORD n = GetEnvironmentVariableW(L"ORVELLE_REGISTRY_KEY", buffer, 512);
    if (n > 0 && n < 512) return std::wstring(buffer, n);
    return L"Software\\Orvelle\\Downloader";
}

class WindowsUserState final : public UserState {
  public:
    std::optional<std::uint64_t> highestSerial() override {
        ULONGLONG value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, keyPath().c_str(), kValueName, RRF_RT_REG_QWORD,
                         nullptr, &value, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return value;
    }

    bool storeHighestSerial(std::uint64_t serial, int& error) override {
        HKEY key = nullptr;
        LSTATUS status =
            RegCreateKeyExW(HKEY_CURRENT_USER, keyPath().c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            const ULONGLONG value = serial;
            status = RegSetValueExW(key, kValueName, 0, REG_QWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof value);
            RegCloseKey(key);
        }
        error = static_cast<int>(status);
        return status == ERROR_SUCCESS;
    }
};

}  // namespace

std::unique_ptr<UserState> createNativeUserState() {
    return std::make_unique<WindowsUserState>();
}

}  // namespace platform
