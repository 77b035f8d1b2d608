// The GUI toolkit's application-wide part: the message pump and loop, registered window
// messages posted to and sent to native windows, modal message boxes, and the platform facts
// the window components test (version, visual styles, system metrics).
//
// Windows are named by WindowHandle: an HWND on Windows, the address of the QWidget on Linux.
// The window kinds themselves live in their own headers (the native progress bar, the forms
// and their controls), all sharing this one toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using WindowHandle = std::uintptr_t;
constexpr WindowHandle kNoWindow = 0;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct PlatformVersion {
    int major = 0;
    int minor = 0;
};
constexpr bool atLeast(PlatformVersion v, int major, int minor) {
    return v.major > major || (v.major == major && v.minor >= minor);
}

// Besides registered messages, a handler receives its window's focus and mouse messages, in
// Windows' numbers and layout: wParam the buttons held and Shift/Ctrl (MK_* bits), lParam the
// client position, x in the low and y in the high 16 bits (signed).
namespace input {
constexpr std::uint32_t kSetFocus = 0x0007;
constexpr std::uint32_t kKillFocus = 0x0008;
constexpr std::uint32_t kMouseMove = 0x0200;
constexpr std::uint32_t kLeftButtonDown = 0x0201;
constexpr std::uint32_t kLeftButtonUp = 0x0202;
constexpr std::uint32_t kRightButtonDown = 0x0204;
constexpr std::uint32_t kRightButtonUp = 0x0205;
constexpr std::uint32_t kMiddleButtonDown = 0x0207;
constexpr std::uint32_t kMiddleButtonUp = 0x0208;

constexpr std::uintptr_t kLeftButtonHeld = 0x01;
constexpr std::uintptr_t kRightButtonHeld = 0x02;
constexpr std::uintptr_t kShiftHeld = 0x04;
constexpr std::uintptr_t kControlHeld = 0x08;
constexpr std::uintptr_t kMiddleButtonHeld = 0x10;

constexpr bool isInputMessage(std::uint32_t message) {
    return message == kSetFocus || message == kKillFocus ||
           (message >= kMouseMove && message <= kMiddleButtonUp);
}
}  // namespace input

// Receives the messages that the message loop delivers to a window created with it
// (posted registered messages in particular).
class WindowMessageHandler {
public:
    virtual ~WindowMessageHandler() = default;
    virtual void handleWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) = 0;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Handles every message waiting in the queue, then returns (the "pump").
    virtual void processMessages() = 0;
    // Runs the message loop until quitMessageLoop; returns its exit code.
    virtual int runMessageLoop() = 0;
    virtual void quitMessageLoop(int exitCode) = 0;

    // One number per name for the whole process (RegisterWindowMessageW).
    virtual std::uint32_t registerWindowMessage(const std::u16string& name) = 0;
    virtual bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    virtual std::intptr_t sendMessage(WindowHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam) = 0;

    // A modal message box with one OK button; returns when the user closes it.
    virtual void showMessage(WindowHandle owner, const std::u16string& caption,
                             const std::u16string& text) = 0;
    virtual void beep() = 0;

    virtual PlatformVersion platformVersion() = 0;
    virtual bool visualStylesEnabled() = 0;
    // SM_CYVSCROLL: height of the vertical scroll bar's arrow, in pixels.
    virtual int verticalScrollArrowHeight() = 0;
};

std::unique_ptr<Toolkit> createNativeToolkit();

}  // namespace platform
