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

}  // namespace platform::win32
