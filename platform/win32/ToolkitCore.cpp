// Windows: the application-wide toolkit on user32. The object system is initialised as a
// single-threaded apartment once, when the toolkit is created on the GUI thread.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>
#include <uxtheme.h>

#include <exception>
#include <map>

#include "common/Text.h"
#include "platform/Toolkit.h"
#include "platform/win32/ToolkitWin32.h"

namespace platform {
namespace win32 {
namespace {

constexpr wchar_t kHandlerProperty[] = L"Orvelle.WindowMessageHandler";
constexpr UINT_PTR kRouterSubclassId = 0x4F52564C;  // "ORVL"

LRESULT CALLBACK routerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, routerProc, kRouterSubclassId);
        RemovePropW(window, kHandlerProperty);
    } else {
        deliverToHandler(window, message, wParam, lParam);
        // A handler may destroy its own window (a property change makes a new one).
        if (!IsWindow(window)) return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void setMessageHandler(HWND window, WindowMessageHandler* handler) {
    if (handler)
        SetPropW(window, kHandlerProperty, reinterpret_cast<HANDLE>(handler));
    else
        RemovePropW(window, kHandlerProperty);
}

WindowMessageHandler* messageHandler(HWND window) {
    return reinterpret_cast<WindowMessageHandler*>(GetPropW(window, kHandlerProperty));
}

void deliverToHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool registered = message >= kFirstRegisteredMessage && message <= kLastRegisteredMessage;
    if (!registered && !input::isInputMessage(message)) return;
    WindowMessageHandler* handler = messageHandler(window);
    if (!handler) return;
    // An error must not unwind through the system's frames: report it here, as the toolkit's
    // top-level handler does, with the application title as caption.
    try {
        handler->handleWindowMessage(message, static_cast<std::uintptr_t>(wParam),
                                     static_cast<std::intptr_t>(lParam));
    } catch (const std::exception& error) {
        const std::u16string text = text::fromUtf8(error.what());
        MessageBoxW(GetAncestor(window, GA_ROOT), std::wstring(text.begin(), text.end()).c_str(),
                    L"Orvelle Downloader", MB_OK | MB_ICONSTOP);
    }
}

bool routeMessagesToHandler(HWND window, WindowMessageHandler* handler) {
    setMessageHandler(window, handler);
    return SetWindowSubclass(window, routerProc, kRouterSubclassId, 0) != FALSE;
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kDesignDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

UINT dpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return reinterpret_cast<GetDpiForWindowFunction>(
            reinterpret_cast<void*>(user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr));
    }();
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return systemDpi();
}

namespace {
std::map<HWND, Rect>& designRectangles() {
    static std::map<HWND, Rect> all;
    return all;
}
}  // namespace

void setDesignBounds(HWND window, const Rect& design) {
    designRectangles()[window] = design;
}
void forgetDesignBounds(HWND window) {
    designRectangles().erase(window);
}
bool designBounds(HWND window, Rect& design) {
    const auto found = designRectangles().find(window);
    if (found == designRectangles().end()) return false;
    design = found->second;
    return true;
}

}  // namespace win32

namespace {

// Single-threaded apartment for the life of the toolkit; released only if this object
// initialised it.
class ComApartment {
  public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialised_;
};

// Version as the system really is (GetVersionEx lies to programs without a compatibility
// manifest entry); GetVersionEx only where ntdll has no RtlGetVersion.
PlatformVersion queryPlatformVersion() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion && rtlGetVersion(&info) == 0)
            return {static_cast<int>(info.dwMajorVersion), static_cast<int>(info.dwMinorVersion)};
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&info))
        return {static_cast<int>(info.dwMajorVersion), static_cast<int>(info.dwMinorVersion)};
#pragma GCC diagnostic pop
    return {};
}

// Themed common controls need version 6 of comctl32 (loaded through the manifest) besides
// theming being active for the application.
bool commonControlsVersion6() {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) return false;
    using DllGetVersionFunction = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
    const auto getVersion = reinterpret_cast<DllGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
    if (!getVersion) return false;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6) return true;
    // Wine ships one comctl32 that has the version 6 controls but reports 5.81; only version 6
    // exports TaskDialogIndirect, so its presence tells the same thing.
    return GetProcAddress(comctl, "TaskDialogIndirect") != nullptr;
}

class Win32Toolkit final : public Toolkit {
  public:
    void processMessages() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Keep the request for the message loop, which ends at once.
                quitPending_ = true;
                quitCode_ = static_cast<int>(message.wParam);
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    int runMessageLoop() override {
        if (quitPending_) {
            quitPending_ = false;
            return quitCode_;
        }
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
            if (got == -1) return -1;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return static_cast<int>(message.wParam);
    }

    void quitMessageLoop(int exitCode) override { PostQuitMessage(exitCode); }

    std::uint32_t registerWindowMessage(const std::u16string& name) override {
        const std::wstring wide(name.begin(), name.end());
        return RegisterWindowMessageW(wide.c_str());
    }

    bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) override {
        return PostMessageW(win32::hwndOf(window), message, static_cast<WPARAM>(wParam),
                            static_cast<LPARAM>(lParam)) != FALSE;
    }

    std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        return static_cast<std::intptr_t>(SendMessageW(win32::hwndOf(window), message,
                                                       static_cast<WPARAM>(wParam),
                                                       static_cast<LPARAM>(lParam)));
    }

    void showMessage(WindowHandle owner, const std::u16string& caption,
                     const std::u16string& text) override {
        const std::wstring wideCaption(caption.begin(), caption.end());
        const std::wstring wideText(text.begin(), text.end());
        MessageBoxW(win32::hwndOf(owner), wideText.c_str(), wideCaption.c_str(), MB_OK);
    }

    void beep() override { MessageBeep(MB_OK); }

    PlatformVersion platformVersion() override { return version_; }

    bool visualStylesEnabled() override {
        return IsAppThemed() && IsThemeActive() && commonControlsVersion6();
    }

    int verticalScrollArrowHeight() override { return GetSystemMetrics(SM_CYVSCROLL); }

  private:
    ComApartment apartment_;
    PlatformVersion version_ = queryPlatformVersion();
    bool quitPending_ = false;
    int quitCode_ = 0;
};

}  // namespace

std::unique_ptr<Toolkit> createNativeToolkit() {
    return std::make_unique<Win32Toolkit>();
}

}  // namespace platform
