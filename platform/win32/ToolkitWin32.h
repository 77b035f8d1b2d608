// Windows toolkit internals shared by the Win32 back-end files: how a native window carries its
// WindowMessageHandler, so that registered messages posted to it reach the handler.
#pragma once

#include <windows.h>

#include "platform/Toolkit.h"

namespace platform::win32 {

constexpr UINT kFirstRegisteredMessage = 0xC000;
constexpr UINT kLastRegisteredMessage = 0xFFFF;

inline WindowHandle handleOf(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}
inline HWND hwndOf(WindowHandle handle) {
    return reinterpret_cast<HWND>(handle);
}

// Stores the handler with the window (a window property), or removes it with nullptr.
void setMessageHandler(HWND window, WindowMessageHandler* handler);
WindowMessageHandler* messageHandler(HWND window);

// For window procedures: hands a registered message (0xC000..0xFFFF) to the window's handler.
// The caller still passes the message on to its ordinary handling afterwards.
void deliverToHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Subclasses an existing window (for instance a common control) so that registered messages
// reach its handler before the control's own procedure; removed again when the window goes.
bool routeMessagesToHandler(HWND window, WindowMessageHandler* handler);

// Dots per inch. Windows are designed in pixels at 96 dpi and placed scaled by their window's
// DPI: the monitor's where the system has per-window DPI (Windows 10 1607 on, looked up at run
// time so that older systems still start), the system-wide one before.
constexpr int kDesignDpi = 96;
UINT systemDpi();
UINT dpiOf(HWND window);
inline int scaled(int designPixels, UINT dpi) {
    return MulDiv(designPixels, static_cast<int>(dpi), kDesignDpi);
}
inline int unscaled(int pixels, UINT dpi) {
    return MulDiv(pixels, kDesignDpi, static_cast<int>(dpi));
}
// Fonts are designed in whole points (-11 px at 96 dpi is 8 pt) and keep their point size at
// another DPI, as Windows sizes dialog fonts: 8 pt is 16 px at 144 dpi, where scaling the
// rounded pixel height would give 17 px and push texts past the ends of their controls.
inline int scaledFontHeight(int designHeight, UINT dpi) {
    const int points = MulDiv(-designHeight, 72, kDesignDpi);
    return -MulDiv(points, static_cast<int>(dpi), 72);
}
inline Rect scaled(Rect design, UINT dpi) {
    return {scaled(design.left, dpi), scaled(design.top, dpi), scaled(design.width, dpi),
            scaled(design.height, dpi)};
}
// A window placed from design pixels by code that is not a form control (the native progress
// bar) keeps its design rectangle here, so that a form can place it again for a new DPI.
void setDesignBounds(HWND window, const Rect& design);
void forgetDesignBounds(HWND window);
bool designBounds(HWND window, Rect& design);

}  // namespace platform::win32
