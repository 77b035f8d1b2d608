// Linux toolkit internals shared by the Qt back-end files: the one QApplication, the mapping
// between WindowHandle and QWidget, and the routing of posted and sent messages to a window's
// WindowMessageHandler (posted messages travel as a custom QEvent).
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/Toolkit.h"

namespace platform::qt {

// Creates the application object on first use (QApplication needs argc/argv that outlive it).
void ensureApplication();

inline WindowHandle handleOf(const QWidget* widget) {
    return reinterpret_cast<WindowHandle>(widget);
}

// The live widget behind a handle, or nullptr when the handle names no window registered below
// (a destroyed window's handle is as invalid as a destroyed HWND).
QWidget* widgetOf(WindowHandle handle);

// A window's own answer to sent messages (the progress bar answers PBM_*).
using MessageAnswer = std::function<std::intptr_t(std::uint32_t, std::uintptr_t, std::intptr_t)>;

// Makes the widget addressable by handle. Registered messages (0xC000 and up), posted or sent,
// go to the handler; sent messages then get the answer (0 without one). The entry disappears by
// itself when the widget is destroyed.
void registerWindow(QWidget* widget, WindowMessageHandler* handler, MessageAnswer answer = {});
void setMessageHandler(QWidget* widget, WindowMessageHandler* handler);
void unregisterWindow(QWidget* widget);

}  // namespace platform::qt
