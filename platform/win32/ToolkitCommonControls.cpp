// Windows: the real common controls (comctl32). Controls are subclassed so that registered
// messages posted to them reach their WindowMessageHandler before the control's own procedure.
// First: its PBM_*/PBS_* constants share their names with the macros of commctrl.h.
#include "platform/CommonControls.h"
// then the system headers
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/win32/ToolkitWin32.h"

namespace platform {
namespace {

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

constexpr wchar_t kHostWindowClass[] = L"OrvelleHostWindow";

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerHostWindowClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = hostWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kHostWindowClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered;
}

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
        // A child is given in design pixels (96 dpi) and placed at its parent's DPI.
        const Rect placed =
            parent ? win32::scaled(bounds, win32::dpiOf(win32::hwndOf(parent))) : bounds;
        HWND window = CreateWindowExW(
            0, wide(className).c_str(), L"", windowStyle, placed.left, placed.top, placed.width,
            placed.height, win32::hwndOf(parent), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window) return kNoWindow;
        if (parent) win32::setDesignBounds(window, bounds);
        if (handler) win32::routeMessagesToHandler(window, handler);
        return win32::handleOf(window);
    }

    WindowHandle createHostWindow(const std::u16string& title, const Rect& bounds) override {
        if (!registerHostWindowClass()) return kNoWindow;
        // bounds give the client area, as the forms do.
        RECT frame{bounds.left, bounds.top, bounds.left + bounds.width, bounds.top + bounds.height};
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        AdjustWindowRectEx(&frame, style, FALSE, 0);
        HWND window = CreateWindowExW(0, kHostWindowClass, wide(title).c_str(), style, frame.left,
                                      frame.top, frame.right - frame.left, frame.bottom - frame.top,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window) ShowWindow(window, SW_SHOW);
        return win32::handleOf(window);
    }

    void resizeHostWindow(WindowHandle host, int width, int height) override {
        HWND window = win32::hwndOf(host);
        RECT frame{0, 0, width, height};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
        SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void destroyControl(WindowHandle control) override {
        if (!control) return;
        HWND window = win32::hwndOf(control);
        // The tooltip is owned by the control and goes with it.
        toolTips_.erase(window);
        win32::forgetDesignBounds(window);
        if (const auto watch = parentWatches_.find(window); watch != parentWatches_.end()) {
            if (HWND parent = GetParent(window))
                RemoveWindowSubclass(parent, parentSizeProc, reinterpret_cast<UINT_PTR>(window));
            parentWatches_.erase(watch);
        }
        DestroyWindow(window);
    }

    // In design pixels, as the controls inside are placed.
    Rect clientArea(WindowHandle window) override {
        RECT client{};
        GetClientRect(win32::hwndOf(window), &client);
        const UINT dpi = win32::dpiOf(win32::hwndOf(window));
        return Rect{0, 0, win32::unscaled(client.right, dpi), win32::unscaled(client.bottom, dpi)};
    }

    void watchParentSize(WindowHandle control,
                         std::function<void(int width, int height)> onResize) override {
        HWND window = win32::hwndOf(control);
        HWND parent = GetParent(window);
        if (!parent) return;
        auto watch = std::make_unique<std::function<void(int, int)>>(std::move(onResize));
        if (SetWindowSubclass(parent, parentSizeProc, reinterpret_cast<UINT_PTR>(window),
                              reinterpret_cast<DWORD_PTR>(watch.get())))
            parentWatches_[window] = std::move(watch);
    }

    void setBounds(WindowHandle control, const Rect& bounds) override {
        HWND window = win32::hwndOf(control);
        HWND parent = GetParent(window);
        const Rect placed = parent ? win32::scaled(bounds, win32::dpiOf(parent)) : bounds;
        if (parent) win32::setDesignBounds(window, bounds);
        MoveWindow(window, placed.left, placed.top, placed.width, placed.height, TRUE);
    }

    void setVisible(WindowHandle control, bool visible) override {
        ShowWindow(win32::hwndOf(control), visible ? SW_SHOWNA : SW_HIDE);
    }

    std::uint32_t controlStyle(WindowHandle control) override {
        return static_cast<std::uint32_t>(GetWindowLongPtrW(win32::hwndOf(control), GWL_STYLE)) &
               0xFFFF;
    }

    void setEnabled(WindowHandle control, bool enabled) override {
        EnableWindow(win32::hwndOf(control), enabled ? TRUE : FALSE);
    }

    bool isEnabled(WindowHandle control) override {
        return IsWindowEnabled(win32::hwndOf(control)) != FALSE;
    }

    void setToolTip(WindowHandle control, const std::u16string& text) override {
        HWND window = win32::hwndOf(control);
        const auto found = toolTips_.find(window);
        if (text.empty()) {
            if (found != toolTips_.end()) {
                DestroyWindow(found->second);
                toolTips_.erase(found);
            }
            return;
        }
        std::wstring wideText = wide(text);
        TOOLINFOW tool = toolFor(window);
        tool.lpszText = wideText.data();
        if (found != toolTips_.end()) {
            SendMessageW(found->second, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
            return;
        }
        HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   window, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!tip) return;
        if (!SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
            DestroyWindow(tip);
            return;
        }
        toolTips_[window] = tip;
    }

    std::u16string toolTip(WindowHandle control) override {
        HWND window = win32::hwndOf(control);
        const auto found = toolTips_.find(window);
        if (found == toolTips_.end()) return {};
        wchar_t buffer[INFOTIPSIZE] = {};
        TOOLINFOW tool = toolFor(window);
        tool.lpszText = buffer;
        SendMessageW(found->second, TTM_GETTEXTW, INFOTIPSIZE, reinterpret_cast<LPARAM>(&tool));
        return std::u16string(reinterpret_cast<const char16_t*>(buffer));
    }

    void setTabStop(WindowHandle control, bool tabStop) override {
        HWND window = win32::hwndOf(control);
        LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        style = tabStop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(window, GWL_STYLE, style);
    }

    bool tabStop(WindowHandle control) override {
        return (GetWindowLongPtrW(win32::hwndOf(control), GWL_STYLE) & WS_TABSTOP) != 0;
    }

    bool captureWindow(WindowHandle control, int& width, int& height,
                       std::vector<std::uint32_t>& pixels) override {
        HWND window = win32::hwndOf(control);
        RECT client{};
        if (!GetClientRect(window, &client)) return false;
        width = client.right;
        height = client.bottom;
        if (width <= 0 || height <= 0) return false;
        HDC source = GetDC(window);
        if (!source) return false;
        HDC memory = CreateCompatibleDC(source);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = false;
        if (bitmap && bits) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            ok = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
            GdiFlush();
            if (ok) {
                const auto* row = static_cast<const std::uint32_t*>(bits);
                pixels.assign(row, row + static_cast<std::size_t>(width) * height);
                for (auto& pixel : pixels) pixel |= 0xFF000000u;
            }
            SelectObject(memory, previous);
        }
        if (bitmap) DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, source);
        return ok;
    }

    std::uint32_t systemColor(int index) override { return GetSysColor(index); }

  private:
    // The parent's subclass for one watching control (its id is the control's handle).
    static LRESULT CALLBACK parentSizeProc(HWND parent, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR watch) {
        if (message == WM_SIZE) {
            const UINT dpi = win32::dpiOf(parent);
            (*reinterpret_cast<std::function<void(int, int)>*>(watch))(
                win32::unscaled(LOWORD(lParam), dpi), win32::unscaled(HIWORD(lParam), dpi));
        } else if (message == WM_NCDESTROY) {
            RemoveWindowSubclass(parent, parentSizeProc, id);
        }
        return DefSubclassProc(parent, message, wParam, lParam);
    }

    // The tool that stands for the whole control in its tooltip window.
    static TOOLINFOW toolFor(HWND window) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = GetParent(window) ? GetParent(window) : window;
        tool.uId = reinterpret_cast<UINT_PTR>(window);
        return tool;
    }

    std::map<HWND, HWND> toolTips_;  // control → its tooltip window
    std::map<HWND, std::unique_ptr<std::function<void(int, int)>>> parentWatches_;
};

}  // namespace

std::unique_ptr<CommonControls> createNativeCommonControls() {
    return std::make_unique<Win32CommonControls>();
}

}  // namespace platform
