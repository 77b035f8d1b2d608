// Windows: the forms and their controls on user32 and the common controls, in exact client
// pixels with Tahoma 8 pt. The message loop has no dialog manager, so each control moves the
// focus on Tab itself and Enter and Escape mean nothing, as on the designed forms.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <map>

#include "platform/Widgets.h"
#include "platform/win32/ToolkitWin32.h"

namespace platform {
namespace {

constexpr wchar_t kFormClass[] = L"OrvelleForm";
constexpr wchar_t kControlProperty[] = L"Orvelle.Widget";
constexpr UINT_PTR kSubclassId = 0x4F525744;  // "ORWD"
constexpr int kIconResource = 1;

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const int copied = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

HWND hwndFor(const Control& control) {
    return win32::hwndOf(control.handle());
}

// One font object per height for the life of the process's widgets.
class Fonts {
  public:
    ~Fonts() {
        for (auto& entry : fonts_) DeleteObject(entry.second);
    }
    HFONT get(int height) {
        auto found = fonts_.find(height);
        if (found != fonts_.end()) return found->second;
        HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
        fonts_.emplace(height, font);
        return font;
    }

  private:
    std::map<int, HFONT> fonts_;
};

Fonts* fonts = nullptr;

// ---- dots per inch ---------------------------------------------------------------------------

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

using win32::dpiOf;
using win32::kDesignDpi;
using win32::scaled;
using win32::systemDpi;

using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

FARPROC user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? GetProcAddress(user32, name) : nullptr;
}

// The window size for a client size at this DPI (frame metrics grow with it where the system
// can tell).
SIZE frameSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi = reinterpret_cast<AdjustWindowRectExForDpiFunction>(
        reinterpret_cast<void*>(user32Function("AdjustWindowRectExForDpi")));
    RECT frame{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// ---- the control base ------------------------------------------------------------------------

class Win32Control;
Win32Control* controlOf(HWND window) {
    return reinterpret_cast<Win32Control*>(GetPropW(window, kControlProperty));
}

// What every control and container shares: it owns its window, receives the notifications its
// window sends to the parent, and moves the focus on Tab.
class Win32Control {
  public:
    virtual ~Win32Control() {
        if (hwnd_ && IsWindow(hwnd_)) {
            RemoveWindowSubclass(hwnd_, subclassProc, kSubclassId);
            RemovePropW(hwnd_, kControlProperty);
            DestroyWindow(hwnd_);
        }
    }
    HWND hwnd() const { return hwnd_; }

    // BN_CLICKED and the like, sent by this control's window to its parent.
    virtual void command(WORD) {}
    // WM_NOTIFY from a window this control owns, sent to the parent; true when handled.
    virtual bool notify(const NMHDR&, LRESULT&) { return false; }
    // Messages to this window before its own procedure; true when handled (result set).
    virtual bool filter(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

    // Places the window and sets its font again for a new DPI (the window moved to another
    // monitor, or the scale changed).
    virtual void rescale(UINT dpi) {
        dpi_ = dpi;
        if (hasDesign_) {
            const Rect r = scaled(design_, dpi);
            SetWindowPos(hwnd_, nullptr, r.left, r.top, r.width, r.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE);
    }

  protected:
    void adopt(HWND window, int fontHeight) {
        hwnd_ = window;
        fontHeight_ = fontHeight;
        dpi_ = dpiOf(window);
        SetPropW(window, kControlProperty, reinterpret_cast<HANDLE>(this));
        SetWindowSubclass(window, subclassProc, kSubclassId, 0);
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
    }
    // A child window at its design rectangle (96 dpi pixels), scaled by the parent's DPI.
    void create(const wchar_t* className, const std::u16string& text, DWORD style, DWORD exStyle,
                HWND parent, Rect design, int fontHeight) {
        const Rect r = scaled(design, dpiOf(parent));
        design_ = design;
        hasDesign_ = true;
        adopt(CreateWindowExW(exStyle, className, wide(text), WS_CHILD | WS_VISIBLE | style, r.left,
                              r.top, r.width, r.height, parent, nullptr, GetModuleHandleW(nullptr),
                              nullptr),
              fontHeight);
    }
    HFONT font() const {
        return fonts ? fonts->get(win32::scaledFontHeight(fontHeight_, dpi_)) : nullptr;
    }
    UINT dpi() const { return dpi_; }

  private:
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR) {
        Win32Control* self = controlOf(window);
        if (message == WM_NCDESTROY) {
            RemoveWindowSubclass(window, subclassProc, kSubclassId);
            RemovePropW(window, kControlProperty);
            if (self) self->hwnd_ = nullptr;
            return DefSubclassProc(window, message, wParam, lParam);
        }
        LRESULT result = 0;
        if (self && self->filter(message, wParam, lParam, result)) return result;
        switch (message) {
            case WM_COMMAND:
            case WM_NOTIFY:
                // Containers pass their children's notifications on to the child objects.
                if (dispatch(message, wParam, lParam, result)) return result;
                break;
            case WM_KEYDOWN:
                if (wParam == VK_TAB) {
                    const bool back = GetKeyState(VK_SHIFT) < 0;
                    if (HWND next = GetNextDlgTabItem(GetAncestor(window, GA_ROOT), window, back))
                        SetFocus(next);
                    return 0;
                }
                break;
            case WM_CHAR:
                if (wParam == L'\t') return 0;
                break;
            default:
                break;
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }

  public:
    // Hands WM_COMMAND from a child control to that control's object.
    static bool dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        if (message == WM_NOTIFY && lParam != 0) {
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            Win32Control* from = controlOf(header.hwndFrom);
            return from && from->notify(header, result);
        }
        if (message != WM_COMMAND || lParam == 0) return false;
        Win32Control* child = controlOf(reinterpret_cast<HWND>(lParam));
        if (!child) return false;
        child->command(HIWORD(wParam));
        result = 0;
        return true;
    }

  private:
    HWND hwnd_ = nullptr;
    int fontHeight_ = -11;
    UINT dpi_ = kDesignDpi;
    Rect design_;
    bool hasDesign_ = false;
};

template <class Interface>
class Win32Widget : public Interface, public Win32Control {
  public:
    WindowHandle handle() const override { return win32::handleOf(hwnd()); }
    void setVisible(bool visible) override { ShowWindow(hwnd(), visible ? SW_SHOW : SW_HIDE); }
    bool visible() const override {
        return (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void setEnabled(bool enabled) override { EnableWindow(hwnd(), enabled); }
    bool enabled() const override { return IsWindowEnabled(hwnd()) != FALSE; }
    Rect bounds() const override {
        RECT r;
        GetWindowRect(hwnd(), &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(hwnd()), reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
};

// ---- forms -----------------------------------------------------------------------------------

class Win32Form;
Win32Form* lastActiveForm = nullptr;

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void registerFormClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(kIconResource));
    wc.lpszClassName = kFormClass;
    registered = RegisterClassExW(&wc) != 0;
}

class Win32Form final : public Win32Widget<Form> {
  public:
    explicit Win32Form(const FormOptions& options) : options_(options) {
        registerFormClass();
        DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        DWORD exStyle = WS_EX_CONTROLPARENT;
        HWND owner = nullptr;
        if (options.borderIcons == BorderIcons::SystemMenuMinimizeClose) style |= WS_MINIMIZEBOX;
        if (options.ownsTaskbarButton)
            exStyle |= WS_EX_APPWINDOW;
        else
            owner = win32::hwndOf(options.centreOver);  // owned: no button of its own
        style_ = style;
        exStyle_ = exStyle;
        // Sized for the system DPI first; the window's own DPI (its monitor's) may differ.
        sizeFor(systemDpi());
        HWND window = CreateWindowExW(exStyle, kFormClass, wide(options.caption), style,
                                      CW_USEDEFAULT, CW_USEDEFAULT, width_, height_, owner, nullptr,
                                      GetModuleHandleW(nullptr), this);
        adopt(window, -11);
        if (dpiOf(window) != systemDpi()) {
            sizeFor(dpiOf(window));
            resize();
        }
    }
    ~Win32Form() override {
        if (lastActiveForm == this) lastActiveForm = nullptr;
        // The window outlives this part of the object by a moment: from here on its messages
        // take the default handling.
        if (hwnd()) SetWindowLongPtrW(hwnd(), GWLP_USERDATA, 0);
    }

    void show() override {
        const bool opening = !IsWindowVisible(hwnd());
        if (opening && !placed_) place();
        // The activation that showing causes is this opening's, reported once below.
        if (opening) lastActiveForm = this;
        ShowWindow(hwnd(), SW_SHOW);
        SetForegroundWindow(hwnd());
        if (opening) activated(true);
    }
    void hide() override { ShowWindow(hwnd(), SW_HIDE); }
    bool visible() const override { return IsWindowVisible(hwnd()) != FALSE; }
    void setOnActivate(std::function<void()> handler) override { onActivate_ = std::move(handler); }
    void setOnClose(std::function<void()> handler) override { onClose_ = std::move(handler); }
    void setOnCanResize(std::function<bool(int, int)> handler) override {
        onCanResize_ = std::move(handler);
    }
    Rect bounds() const override {
        RECT r;
        GetClientRect(hwnd(), &r);
        return {0, 0, r.right, r.bottom};
    }

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) {
        LRESULT result = 0;
        switch (message) {
            case WM_COMMAND:
            case WM_NOTIFY:
                if (Win32Control::dispatch(message, wParam, lParam, result)) return result;
                break;
            case WM_CLOSE:
                // The form decides: the main window ends the program, the settings window hides.
                if (onClose_) onClose_();
                return 0;
            case WM_ACTIVATE:
                if (LOWORD(wParam) == WA_INACTIVE) {
                    HWND focus = GetFocus();
                    if (focus && IsChild(hwnd(), focus)) focus_ = focus;
                } else {
                    restoreFocus();
                    activated(false);
                    return 0;
                }
                break;
            case WM_SIZING: {
                // Dragging a border: the window keeps its rectangle.
                auto* proposed = reinterpret_cast<RECT*>(lParam);
                RECT current;
                GetWindowRect(hwnd(), &current);
                const int w = proposed->right - proposed->left;
                const int h = proposed->bottom - proposed->top;
                if (!canResize(w, h)) *proposed = current;
                return TRUE;
            }
            case WM_WINDOWPOSCHANGING: {
                auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
                if (!restoring_ && !(pos->flags & SWP_NOSIZE) && !IsIconic(hwnd()) &&
                    (pos->cx != width_ || pos->cy != height_) && !canResize(pos->cx, pos->cy)) {
                    pos->cx = width_;
                    pos->cy = height_;
                    // A size imposed from outside (an X window manager under Wine) has already
                    // happened there: put it back once this change is through.
                    PostMessageW(hwnd(), kRestoreSize, 0, 0);
                }
                break;
            }
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            case WM_DPICHANGED: {
                // Moved to a monitor with another scale (or the scale changed): the window takes
                // the suggested place, its design size at the new DPI, and every control follows.
                const UINT newDpi = HIWORD(wParam);
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                sizeFor(newDpi);
                SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                resize();
                rescale(newDpi);
                return 0;
            }
            case kRestoreSize: {
                // Two steps, so that the second is a real change that reaches the outside.
                restoring_ = true;
                const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
                SetWindowPos(hwnd(), nullptr, 0, 0, width_ + 1, height_, flags);
                SetWindowPos(hwnd(), nullptr, 0, 0, width_, height_, flags);
                restoring_ = false;
                return 0;
            }
            default:
                break;
        }
        return DefWindowProcW(hwnd(), message, wParam, lParam);
    }

    // The form itself keeps its size (set with the frame); its controls, at any depth, follow.
    void rescale(UINT dpi) override {
        Win32Control::rescale(dpi);
        EnumChildWindows(hwnd(), rescaleChild, static_cast<LPARAM>(dpi));
        InvalidateRect(hwnd(), nullptr, TRUE);
    }

  private:
    static BOOL CALLBACK rescaleChild(HWND child, LPARAM dpi) {
        Win32Control* control = controlOf(child);
        Rect design;
        if (control && control->hwnd() == child) {
            control->rescale(static_cast<UINT>(dpi));
        } else if (win32::designBounds(child, design)) {
            const Rect r = scaled(design, static_cast<UINT>(dpi));
            SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return TRUE;
    }

    void sizeFor(UINT dpi) {
        clientWidth_ = scaled(options_.clientWidth, dpi);
        clientHeight_ = scaled(options_.clientHeight, dpi);
        const SIZE frame = frameSize(clientWidth_, clientHeight_, style_, exStyle_, dpi);
        width_ = frame.cx;
        height_ = frame.cy;
    }

    // Gives the window the size whose client area is the design size at its DPI. The frame
    // estimated for a DPI is not always the one the system draws (per-monitor awareness of the
    // first kind scales no frames, yet AdjustWindowRectExForDpi does): what the client area
    // misses or has too much is added to or taken from the window.
    void resize() {
        const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
        restoring_ = true;
        SetWindowPos(hwnd(), nullptr, 0, 0, width_, height_, flags);
        RECT client;
        if (!IsIconic(hwnd()) && GetClientRect(hwnd(), &client) &&
            (client.right != clientWidth_ || client.bottom != clientHeight_)) {
            width_ += clientWidth_ - client.right;
            height_ += clientHeight_ - client.bottom;
            SetWindowPos(hwnd(), nullptr, 0, 0, width_, height_, flags);
        }
        restoring_ = false;
    }

    // The handler is asked in design pixels, as the form was specified.
    bool canResize(int windowWidth, int windowHeight) {
        const UINT dpi = this->dpi();
        const int clientWidth =
            MulDiv(windowWidth - (width_ - clientWidth_), kDesignDpi, static_cast<int>(dpi));
        const int clientHeight =
            MulDiv(windowHeight - (height_ - clientHeight_), kDesignDpi, static_cast<int>(dpi));
        return onCanResize_ ? onCanResize_(clientWidth, clientHeight) : true;
    }

    void activated(bool opening) {
        const bool counts = opening || lastActiveForm != this;
        lastActiveForm = this;
        if (counts && onActivate_) onActivate_();
    }

    void restoreFocus() {
        if (focus_ && IsWindow(focus_) && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
            SetFocus(focus_);
            return;
        }
        if (HWND first = GetNextDlgTabItem(hwnd(), nullptr, FALSE))
            SetFocus(first);
        else
            SetFocus(hwnd());
    }

    // Centred on the work area of the monitor that holds the owner (or this window), or over
    // the owner, and kept inside that work area: never on another monitor, never under the
    // taskbar.
    void place() {
        placed_ = true;
        // Moved onto a monitor of another DPI, the window changed its size on the way
        // (WM_DPICHANGED): placed once more at that size, so that it is still centred and inside.
        const UINT before = dpi();
        placeAtCurrentSize();
        if (dpi() != before) placeAtCurrentSize();
    }

    void placeAtCurrentSize() {
        const HWND over = options_.placement == Placement::CentreOverFirstShown
                              ? win32::hwndOf(options_.centreOver)
                              : nullptr;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (GetMonitorInfoW(MonitorFromWindow(over ? over : hwnd(), MONITOR_DEFAULTTONEAREST),
                            &monitor))
            work = monitor.rcWork;
        RECT area = work;
        if (over) GetWindowRect(over, &area);
        RECT frame;
        GetWindowRect(hwnd(), &frame);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        const int x = keepInside(area.left + (area.right - area.left - width) / 2, width, work.left,
                                 work.right);
        const int y = keepInside(area.top + (area.bottom - area.top - height) / 2, height, work.top,
                                 work.bottom);
        SetWindowPos(hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The start that keeps [start, start + size) within [low, high); low when it cannot fit.
    static int keepInside(int start, int size, int low, int high) {
        if (start + size > high) start = high - size;
        return start < low ? low : start;
    }

    static constexpr UINT kRestoreSize = WM_APP + 0x4F;

    FormOptions options_;
    bool restoring_ = false;
    DWORD style_ = 0;
    DWORD exStyle_ = 0;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool placed_ = false;
    HWND focus_ = nullptr;
    std::function<void()> onActivate_;
    std::function<void()> onClose_;
    std::function<bool(int, int)> onCanResize_;
};

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    // Until CreateWindowExW returns, the object does not know its window yet.
    if (!form || form->hwnd() != window) return DefWindowProcW(window, message, wParam, lParam);
    return form->handle(message, wParam, lParam);
}

// ---- simple controls -------------------------------------------------------------------------

class Win32Button final : public Win32Widget<Button> {
  public:
    Win32Button(HWND parent, Rect bounds, const std::u16string& caption) {
        create(L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, 0, parent, bounds, -11);
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }
    void command(WORD code) override {
        if (code == BN_CLICKED && onClick_) onClick_();
    }

  private:
    std::function<void()> onClick_;
};

// A glyph button that presses and clicks with the mouse but never takes the focus.
class Win32SpeedButton final : public Win32Widget<Button> {
  public:
    // The window text is never drawn (BS_BITMAP) but is the name screen readers announce.
    Win32SpeedButton(HWND parent, Rect bounds, const Bitmap& glyph,
                     const std::u16string& accessibleName) {
        create(L"BUTTON", accessibleName, BS_PUSHBUTTON | BS_BITMAP, 0, parent, bounds, -11);
        glyph_ = glyph;
        setGlyph();
    }
    ~Win32SpeedButton() override {
        if (bitmap_) DeleteObject(bitmap_);
    }
    void rescale(UINT dpi) override {
        Win32Widget<Button>::rescale(dpi);
        setGlyph();
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

    bool filter(UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                pressed_ = true;
                SetCapture(hwnd());
                SendMessageW(hwnd(), BM_SETSTATE, TRUE, 0);
                result = 0;
                return true;
            case WM_MOUSEMOVE:
                if (pressed_) SendMessageW(hwnd(), BM_SETSTATE, inside(lParam), 0);
                result = 0;
                return pressed_;
            case WM_LBUTTONUP: {
                if (!pressed_) return false;
                const bool click = inside(lParam);
                ReleaseCapture();
                if (click && onClick_) onClick_();
                result = 0;
                return true;
            }
            case WM_CAPTURECHANGED:
                if (pressed_) {
                    pressed_ = false;
                    SendMessageW(hwnd(), BM_SETSTATE, FALSE, 0);
                }
                return false;
            default:
                return false;
        }
    }

  private:
    bool inside(LPARAM lParam) const {
        RECT r;
        GetClientRect(hwnd(), &r);
        const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        return PtInRect(&r, p) != FALSE;
    }

    // The glyph on the button face colour (transparent pixels take the face colour).
    // The glyph at the window's DPI (nearest pixel: the picture stays crisp).
    void setGlyph() {
        HBITMAP previous = bitmap_;
        bitmap_ = glyphBitmap(glyph_, scaled(glyph_.width, dpi()), scaled(glyph_.height, dpi()));
        SendMessageW(hwnd(), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_));
        if (previous) DeleteObject(previous);
    }

    static HBITMAP glyphBitmap(const Bitmap& glyph, int width, int height) {
        if (width <= 0 || height <= 0 || glyph.width <= 0 || glyph.height <= 0) return nullptr;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap || !bits) return bitmap;
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        const std::uint32_t faceRgb = (static_cast<std::uint32_t>(GetRValue(face)) << 16) |
                                      (static_cast<std::uint32_t>(GetGValue(face)) << 8) |
                                      GetBValue(face);
        auto* out = static_cast<std::uint32_t*>(bits);
        for (int y = 0; y < height; ++y) {
            const int fromY = y * glyph.height / height;
            for (int x = 0; x < width; ++x) {
                const int fromX = x * glyph.width / width;
                const std::size_t from = static_cast<std::size_t>(fromY) * glyph.width + fromX;
                const std::uint32_t p = from < glyph.pixels.size() ? glyph.pixels[from] : 0;
                // Opaque: 0xFF alpha so that alpha-aware drawing shows it; the rest is the face.
                out[static_cast<std::size_t>(y) * width + x] =
                    (p >> 24) ? (0xFF000000u | (p & 0xFFFFFF)) : (0xFF000000u | faceRgb);
            }
        }
        return bitmap;
    }

    Bitmap glyph_;
    HBITMAP bitmap_ = nullptr;
    bool pressed_ = false;
    std::function<void()> onClick_;
};

class Win32CheckBox final : public Win32Widget<CheckBox> {
  public:
    Win32CheckBox(HWND parent, Rect bounds, const std::u16string& caption) {
        create(L"BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, parent, bounds, -11);
    }
    bool checked() const override { return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void setChecked(bool checked) override {
        SendMessageW(hwnd(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

class Win32Label final : public Win32Widget<Label> {
  public:
    Win32Label(HWND parent, int left, int top, const std::u16string& text, int fontHeight) {
        create(L"STATIC", u"", SS_LEFT | SS_NOPREFIX, 0, parent, {left, top, 0, 0}, fontHeight);
        setText(text);
    }
    void rescale(UINT dpi) override {
        Win32Widget<Label>::rescale(dpi);
        setText(text());  // measured again in the new font
    }
    std::u16string text() const override { return windowText(hwnd()); }
    void setText(const std::u16string& text) override {
        SetWindowTextW(hwnd(), wide(text));
        // Sized to the text in the label's own font.
        HDC dc = GetDC(hwnd());
        HGDIOBJ previous = SelectObject(dc, font());
        SIZE size{0, 0};
        GetTextExtentPoint32W(dc, wide(text), static_cast<int>(text.size()), &size);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, previous);
        ReleaseDC(hwnd(), dc);
        SetWindowPos(hwnd(), nullptr, 0, 0, size.cx, metrics.tmHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(GetParent(hwnd()), nullptr, TRUE);
    }
};

class Win32Edit final : public Win32Widget<Edit> {
  public:
    Win32Edit(HWND parent, Rect bounds) {
        create(L"EDIT", u"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, parent, bounds, -11);
    }
    std::u16string text() const override { return windowText(hwnd()); }
    void setText(const std::u16string& text) override { SetWindowTextW(hwnd(), wide(text)); }
};

// A frame is a transparent window of its own: under a form that clips its children it must
// erase its own background, and its children's, in the form's colour.
bool paintsAsForm(HWND frame, UINT message, WPARAM wParam, LRESULT& result) {
    if (message == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(frame, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
        result = 1;
        return true;
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    }
    return false;
}

// A frame whose children are placed inside it; disabling it disables them as well, visibly.
class Win32GroupBox final : public Win32Widget<GroupBox> {
  public:
    Win32GroupBox(HWND parent, Rect bounds, const std::u16string& caption) {
        create(L"BUTTON", caption, BS_GROUPBOX, WS_EX_CONTROLPARENT, parent, bounds, -11);
    }
    void setEnabled(bool enabled) override {
        EnableWindow(hwnd(), enabled);
        for (HWND child = GetWindow(hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            EnableWindow(child, enabled);
    }
    bool filter(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        return paintsAsForm(hwnd(), message, wParam, result);
    }
};

class Win32RadioGroup;

class Win32RadioButton final : public Win32Control {
  public:
    Win32RadioButton(Win32RadioGroup& group, int index, HWND parent, Rect bounds,
                     const std::u16string& caption, bool first)
        : group_(group), index_(index) {
        create(L"BUTTON", caption, BS_RADIOBUTTON | (first ? (WS_GROUP | WS_TABSTOP) : 0), 0,
               parent, bounds, -11);
    }
    void command(WORD code) override;
    // The arrow keys move through the group and pick, as the dialog manager does.
    bool filter(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override;

  private:
    Win32RadioGroup& group_;
    int index_;
};

// One column of radio buttons spread over the frame as the Windows radio group arranges them.
class Win32RadioGroup final : public Win32Widget<RadioGroup> {
  public:
    Win32RadioGroup(HWND parent, Rect bounds, const std::u16string& caption,
                    const std::vector<std::u16string>& items) {
        create(L"BUTTON", caption, BS_GROUPBOX, WS_EX_CONTROLPARENT, parent, bounds, -11);
        const int count = static_cast<int>(items.size());
        const int textHeight = 13;
        const int free = bounds.height - textHeight - 5;
        const int rowHeight = count > 0 ? free / count : 0;
        const int topMargin = textHeight + 1 + (count > 0 ? (free % count) / 2 : 0);
        for (int i = 0; i < count; ++i)
            buttons_.push_back(std::make_unique<Win32RadioButton>(
                *this, i, hwnd(), Rect{8, topMargin + i * rowHeight, bounds.width - 10, rowHeight},
                items[static_cast<std::size_t>(i)], i == 0));
    }
    ~Win32RadioGroup() override { buttons_.clear(); }

    int itemIndex() const override { return index_; }
    void setItemIndex(int index) override {
        index_ = (index >= 0 && index < static_cast<int>(buttons_.size())) ? index : -1;
        // As in a dialog, Tab reaches the group at its checked item (the first when none is).
        const int tabStop = index_ < 0 ? 0 : index_;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            const HWND button = buttons_[i]->hwnd();
            SendMessageW(button, BM_SETCHECK,
                         static_cast<int>(i) == index_ ? BST_CHECKED : BST_UNCHECKED, 0);
            const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
            const LONG_PTR wanted = static_cast<int>(i) == tabStop
                                        ? (style | WS_TABSTOP)
                                        : (style & ~LONG_PTR{WS_TABSTOP});
            if (wanted != style) SetWindowLongPtrW(button, GWL_STYLE, wanted);
        }
    }
    // The next enabled item from `from` in direction step (±1), wrapping round; -1 if none.
    int neighbour(int from, int step) const {
        const int count = static_cast<int>(buttons_.size());
        for (int i = 1; i <= count; ++i) {
            const int candidate = ((from + step * i) % count + count) % count;
            if (IsWindowEnabled(buttons_[static_cast<std::size_t>(candidate)]->hwnd()))
                return candidate;
        }
        return -1;
    }
    void focusAndPick(int index) {
        SetFocus(buttons_[static_cast<std::size_t>(index)]->hwnd());
        if (index != index_) picked(index);
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }
    void setEnabled(bool enabled) override {
        EnableWindow(hwnd(), enabled);
        for (auto& button : buttons_) EnableWindow(button->hwnd(), enabled);
    }
    void picked(int index) {
        setItemIndex(index);
        if (onClick_) onClick_();
    }
    bool filter(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        return paintsAsForm(hwnd(), message, wParam, result);
    }

  private:
    std::vector<std::unique_ptr<Win32RadioButton>> buttons_;
    int index_ = -1;
    std::function<void()> onClick_;
};

void Win32RadioButton::command(WORD code) {
    if (code == BN_CLICKED) group_.picked(index_);
}

bool Win32RadioButton::filter(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_KEYDOWN) return false;
    int step = 0;
    if (wParam == VK_DOWN || wParam == VK_RIGHT) step = +1;
    if (wParam == VK_UP || wParam == VK_LEFT) step = -1;
    if (step == 0) return false;
    const int next = group_.neighbour(index_, step);
    if (next >= 0) group_.focusAndPick(next);
    result = 0;
    return true;
}

// ---- spin field ------------------------------------------------------------------------------

char16_t decimalSeparator() {
    wchar_t buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 0 && buffer[0])
        return static_cast<char16_t>(buffer[0]);
    return u'.';
}

// An edit with an up-down control as its buddy, sharing the field's rectangle (the arrows take
// its right end); the up-down only reports the arrow presses, the field applies its own rules.
class Win32SpinEdit final : public Win32Widget<SpinEdit> {
  public:
    Win32SpinEdit(HWND parent, Rect bounds, std::int32_t minValue, std::int32_t maxValue)
        : min_(minValue), max_(maxValue) {
        create(L"EDIT", u"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, parent, bounds, -11);
        // UDS_ALIGNRIGHT narrows the buddy and puts the arrows beside it, inside the bounds.
        arrows_ = CreateWindowExW(
            0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_NOTHOUSANDS, 0,
            0, scaled(kArrowsWidth, dpi()), 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetPropW(arrows_, kControlProperty,
                 reinterpret_cast<HANDLE>(static_cast<Win32Control*>(this)));
        SendMessageW(arrows_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd()), 0);
        // Mid-range position, so that both arrows always report a press.
        SendMessageW(arrows_, UDM_SETRANGE32, 0, 100);
        SendMessageW(arrows_, UDM_SETPOS32, 0, 50);
    }
    ~Win32SpinEdit() override {
        if (arrows_ && IsWindow(arrows_)) {
            RemovePropW(arrows_, kControlProperty);
            DestroyWindow(arrows_);
        }
    }
    void setVisible(bool visible) override {
        ShowWindow(hwnd(), visible ? SW_SHOW : SW_HIDE);
        ShowWindow(arrows_, visible ? SW_SHOW : SW_HIDE);
    }
    void rescale(UINT dpi) override {
        // The field takes its whole design width again; the buddy link then narrows it.
        Win32Widget<SpinEdit>::rescale(dpi);
        SetWindowPos(arrows_, nullptr, 0, 0, scaled(kArrowsWidth, dpi), 0,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(arrows_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd()), 0);
    }
    Rect bounds() const override {
        Rect r = Win32Widget<SpinEdit>::bounds();
        RECT arrows;
        GetWindowRect(arrows_, &arrows);
        r.width += arrows.right - arrows.left;
        return r;
    }
    bool notify(const NMHDR& header, LRESULT& result) override {
        if (header.hwndFrom != arrows_ || header.code != UDN_DELTAPOS) return false;
        const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
        step(change.iDelta > 0 ? +1 : -1);
        result = 1;  // the arrows keep their own position
        return true;
    }
    std::u16string text() const override { return windowText(hwnd()); }
    void setText(const std::u16string& text) override { SetWindowTextW(hwnd(), wide(text)); }
    std::int32_t minValue() const override { return min_; }
    std::int32_t maxValue() const override { return max_; }
    void setEnabled(bool enabled) override {
        EnableWindow(hwnd(), enabled);
        EnableWindow(arrows_, enabled);
    }

    bool filter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case WM_CHAR:
                if (wParam == L'\t') return false;
                if (!spin::acceptsCharacter(static_cast<char16_t>(wParam), separator_)) {
                    MessageBeep(0);
                    result = 0;
                    return true;
                }
                return false;
            case WM_KEYDOWN:
                if (wParam == VK_UP || wParam == VK_DOWN) {
                    step(wParam == VK_UP ? +1 : -1);
                    result = 0;
                    return true;
                }
                return false;
            case WM_KILLFOCUS:
                result = DefSubclassProc(hwnd(), message, wParam, lParam);
                clampOnExit();
                return true;
            default:
                return false;
        }
    }

  private:
    static constexpr int kArrowsWidth = 15;

    std::int32_t min_;
    std::int32_t max_;
    HWND arrows_ = nullptr;
    char16_t separator_ = decimalSeparator();
};

// ---- the factory -----------------------------------------------------------------------------

HWND parentOf(Control& parent) {
    return hwndFor(parent);
}

class Win32Widgets final : public Widgets {
  public:
    Win32Widgets() {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
        fonts = &fonts_;
    }
    ~Win32Widgets() override {
        if (fonts == &fonts_) fonts = nullptr;
    }

    std::unique_ptr<Form> createForm(const FormOptions& options) override {
        return std::make_unique<Win32Form>(options);
    }
    std::unique_ptr<Button> createButton(Control& parent, Rect bounds,
                                         const std::u16string& caption) override {
        return std::make_unique<Win32Button>(parentOf(parent), bounds, caption);
    }
    std::unique_ptr<Button> createSpeedButton(Control& parent, Rect bounds, const Bitmap& glyph,
                                              const std::u16string& accessibleName) override {
        return std::make_unique<Win32SpeedButton>(parentOf(parent), bounds, glyph, accessibleName);
    }
    std::unique_ptr<CheckBox> createCheckBox(Control& parent, Rect bounds,
                                             const std::u16string& caption) override {
        return std::make_unique<Win32CheckBox>(parentOf(parent), bounds, caption);
    }
    std::unique_ptr<Label> createLabel(Control& parent, int left, int top,
                                       const std::u16string& text, int fontHeight) override {
        return std::make_unique<Win32Label>(parentOf(parent), left, top, text, fontHeight);
    }
    std::unique_ptr<RadioGroup> createRadioGroup(
        Control& parent, Rect bounds, const std::u16string& caption,
        const std::vector<std::u16string>& items) override {
        return std::make_unique<Win32RadioGroup>(parentOf(parent), bounds, caption, items);
    }
    std::unique_ptr<GroupBox> createGroupBox(Control& parent, Rect bounds,
                                             const std::u16string& caption) override {
        return std::make_unique<Win32GroupBox>(parentOf(parent), bounds, caption);
    }
    std::unique_ptr<Edit> createEdit(Control& parent, Rect bounds) override {
        return std::make_unique<Win32Edit>(parentOf(parent), bounds);
    }
    std::unique_ptr<SpinEdit> createSpinEdit(Control& parent, Rect bounds, std::int32_t minValue,
                                             std::int32_t maxValue) override {
        return std::make_unique<Win32SpinEdit>(parentOf(parent), bounds, minValue, maxValue);
    }

  private:
    Fonts fonts_;
};

}  // namespace

std::unique_ptr<Widgets> createNativeWidgets() {
    return std::make_unique<Win32Widgets>();
}

}  // namespace platform
