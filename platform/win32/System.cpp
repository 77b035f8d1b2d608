// Windows: the ANSI code page is CP_ACP; error texts from FormatMessageW.
#include "platform/System.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {
namespace {

struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};

std::u16string fromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

constexpr int kFirstWinHttpError = 12000;
constexpr int kLastWinHttpError = 12999;

std::optional<std::u16string> formatMessage(DWORD source, HMODULE module, int code,
                                            std::uint16_t languageId) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module,
        static_cast<DWORD>(code), languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::unique_ptr<void, LocalFreeDeleter> owner(buffer);
    if (n == 0 || !buffer) return std::nullopt;
    return fromWide(buffer, n);
}

// The program links these modules, so they are normally loaded already; otherwise one is
// loaded from the system folder as data only, for its message table, and kept for the life of
// the process.
HMODULE systemModule(const wchar_t* name) {
    if (HMODULE loaded = GetModuleHandleW(name)) return loaded;
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

std::optional<std::u16string> moduleMessage(HMODULE module, int code, std::uint16_t languageId) {
    if (!module) return std::nullopt;
    if (auto text = formatMessage(FORMAT_MESSAGE_FROM_HMODULE, module, code, languageId))
        return text;
    // A module's table may hold its neutral language only.
    return formatMessage(FORMAT_MESSAGE_FROM_HMODULE, module, code, 0);
}

class WindowsSystem final : public System {
public:
    std::string toAnsi(const std::u16string& text) override {
        if (text.empty()) return {};
        const int n = WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
        return out;
    }

    std::u16string fromAnsi(const std::string& bytes) override {
        if (bytes.empty()) return {};
        const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                          nullptr, 0);
        std::u16string out(static_cast<std::size_t>(n), u'\0');
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                            reinterpret_cast<wchar_t*>(out.data()), n);
        return out;
    }

    int lastError() override { return static_cast<int>(GetLastError()); }

    std::optional<std::u16string> errorMessage(int code, std::uint16_t languageId) override {
        if (auto text = formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, languageId))
            return text;
        // WinHTTP's own errors are not in the system's table but in winhttp.dll's.
        if (code < kFirstWinHttpError || code > kLastWinHttpError) return std::nullopt;
        static const HMODULE winhttp = systemModule(L"winhttp.dll");
        static const HMODULE wininet = systemModule(L"wininet.dll");
        if (auto text = moduleMessage(winhttp, code, languageId)) return text;
        // A winhttp.dll without a message table (Wine's): WinINet's numbers below mean the same
        // as WinHTTP's, and its table has their texts.
        if ((code >= 12001 && code <= 12057) || (code >= 12150 && code <= 12156))
            return moduleMessage(wininet, code, languageId);
        return std::nullopt;
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override { Sleep(milliseconds); }

    std::uint64_t monotonicMilliseconds() override { return GetTickCount64(); }

    std::optional<std::u16string> environmentVariable(const std::u16string& name) override {
        const DWORD n = GetEnvironmentVariableW(wide(name), nullptr, 0);
        if (n == 0) return std::nullopt;
        std::u16string value(n, u'\0');
        const DWORD written =
            GetEnvironmentVariableW(wide(name), reinterpret_cast<wchar_t*>(value.data()), n);
        value.resize(written);
        return value;
    }

    std::vector<std::u16string> commandLineArguments() override {
        int count = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
        std::unique_ptr<void, LocalFreeDeleter> owner(argv);
        std::vector<std::u16string> arguments;
        for (int i = 1; argv && i < count; ++i) arguments.push_back(fromWide(argv[i], wcslen(argv[i])));
        return arguments;
    }

    std::u16string programPath() override {
        std::u16string path(32768, u'\0');
        const DWORD n =
            GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), 32768);
        path.resize(n);
        return path;
    }
};

}  // namespace

std::unique_ptr<System> createNativeSystem() { return std::make_unique<WindowsSystem>(); }

}  // namespace platform
