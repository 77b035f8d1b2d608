// Windows: the real common controls (comctl32). Controls are subclassed so that registered
// messages posted to them reach their WindowMessageHandler before the control's own procedure.
// First: its PBM_*/PBS_* constants share their names with the macros of commctrl.h.
#include "platform/CommonControls.h"
// then the system headers
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include "platform/win32/ToolkitWin32.h"

namespace platform {
namespace {

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

class Win32CommonControls final : public CommonControls {
public:
    bool initCommonControlsEx(std::uint32_t classes) override {
        INITCOMMONCONTROLSEX init{};
        init.dwSize = 8;  // the structure's size, as the control passes it
        init.dwICC = classes;
        return InitCommonControlsEx(&init) != FALSE;
    }

    void initCommonControls() override { InitCommonControls(); }

    WindowHandle createControl(const std::u16string& className, WindowHandle parent,
                               std::uint32_t style, const Rect& bounds, bool visible,
                               WindowMessageHandler* handler) override {
        DWORD windowStyle = style | WS_CLIPSIBLINGS;
        windowStyle |= parent ? WS_CHILD : (WS_POPUP | WS_BORDER);
        if (visible) windowStyle |= WS_VISIBLE;
        HWND window = CreateWindowExW(0, wide(className).c_str(), L"", windowStyle, bounds.left,
                                      bounds.top, bounds.width, bounds.height,
                                      win32::hwndOf(parent), nullptr, GetModuleHandleW(nullptr),
                                      nullptr);
        if (!window) return kNoWindow;
        if (handler) win32::routeMessagesToHandler(window, handler);
        return win32::handleOf(window);
    }

    void destroyControl(WindowHandle control) override {
        if (control) DestroyWindow(win32::hwndOf(control));
    }

    void setBounds(WindowHandle control, const Rect& bounds) override {
        MoveWindow(win32::hwndOf(control), bounds.left, bounds.top, bounds.width, bounds.height,
                   TRUE);
    }

    void setVisible(WindowHandle control, bool visible) override {
        ShowWindow(win32::hwndOf(control), visible ? SW_SHOWNA : SW_HIDE);
    }

    std::uint32_t controlStyle(WindowHandle control) override {
        return static_cast<std::uint32_t>(GetWindowLongPtrW(win32::hwndOf(control), GWL_STYLE)) &
               0xFFFF;
    }

    std::uint32_t systemColor(int index) override { return GetSysColor(index); }
};

}  // namespace

std::unique_ptr<CommonControls> createNativeCommonControls() {
    return std::make_unique<Win32CommonControls>();
}

}  // namespace platform
