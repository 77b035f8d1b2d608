// The platform's common controls as the window components need them: the common-controls
// initialisation and native child windows of a named control class. The one class used is the
// progress bar "msctls_progress32"; it takes the PBM_* messages through Toolkit::sendMessage
// and answers them as the Windows control does (on Linux a Qt widget that behaves as it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Toolkit.h"

namespace platform {

constexpr char16_t kProgressBarClass[] = u"msctls_progress32";
constexpr std::uint32_t ICC_PROGRESS_CLASS = 0x20;

// Progress bar styles.
constexpr std::uint32_t PBS_SMOOTH = 0x01;
constexpr std::uint32_t PBS_VERTICAL = 0x04;
constexpr std::uint32_t PBS_MARQUEE = 0x08;
constexpr std::uint32_t PBS_SMOOTHREVERSE = 0x10;

// Progress bar messages and their companions.
constexpr std::uint32_t PBM_SETRANGE = 0x401;
constexpr std::uint32_t PBM_SETPOS = 0x402;
constexpr std::uint32_t PBM_DELTAPOS = 0x403;
constexpr std::uint32_t PBM_SETSTEP = 0x404;
constexpr std::uint32_t PBM_STEPIT = 0x405;
constexpr std::uint32_t PBM_SETRANGE32 = 0x406;
constexpr std::uint32_t PBM_GETRANGE = 0x407;
constexpr std::uint32_t PBM_GETPOS = 0x408;
constexpr std::uint32_t PBM_SETBARCOLOR = 0x409;
constexpr std::uint32_t PBM_SETMARQUEE = 0x40A;
constexpr std::uint32_t PBM_GETSTEP = 0x40D;
constexpr std::uint32_t PBM_GETBKCOLOR = 0x40E;
constexpr std::uint32_t PBM_GETBARCOLOR = 0x40F;
constexpr std::uint32_t PBM_SETSTATE = 0x410;
constexpr std::uint32_t PBM_GETSTATE = 0x411;
constexpr std::uint32_t PBM_SETBKCOLOR = 0x2001;  // CCM_SETBKCOLOR

constexpr std::uint32_t PBST_NORMAL = 1;
constexpr std::uint32_t PBST_ERROR = 2;
constexpr std::uint32_t PBST_PAUSED = 3;

// A COLORREF meaning "the platform's own colour".
constexpr std::uint32_t CLR_DEFAULT = 0xFF000000;

// PBM_GETRANGE fills this when its lParam points to one.
struct PBRANGE {
    std::int32_t iLow;
    std::int32_t iHigh;
};

class CommonControls {
  public:
    virtual ~CommonControls() = default;

    // InitCommonControlsEx with a structure of size 8 and the given class flags.
    virtual bool initCommonControlsEx(std::uint32_t classes) = 0;
    // The plain InitCommonControls.
    virtual void initCommonControls() = 0;

    // Creates a native control of the class as a child of parent (a top-level window when parent
    // is kNoWindow) with the class's style bits added to the child-window style. Registered
    // messages posted or sent to it reach handler first. Returns kNoWindow on failure.
    virtual WindowHandle createControl(const std::u16string& className, WindowHandle parent,
                                       std::uint32_t style, const Rect& bounds, bool visible,
                                       WindowMessageHandler* handler) = 0;
    // A plain top-level window in the button-face colour that hosts controls (test windows,
    // tools); closing it ends the message loop.
    virtual WindowHandle createHostWindow(const std::u16string& title, const Rect& bounds) = 0;
    // Gives a host window a client area of this size.
    virtual void resizeHostWindow(WindowHandle host, int width, int height) = 0;
    // Destroys a control or a host window.
    virtual void destroyControl(WindowHandle control) = 0;
    virtual void setBounds(WindowHandle control, const Rect& bounds) = 0;
    virtual void setVisible(WindowHandle control, bool visible) = 0;
    // The style the control was created with (GetWindowLong GWL_STYLE, class bits only).
    virtual std::uint32_t controlStyle(WindowHandle control) = 0;

    // The client area of a window (left and top 0), and a call with its new size each time the
    // client area of the control's parent changes size, for as long as the control lives: what
    // controls that align or anchor themselves in their parent need.
    virtual Rect clientArea(WindowHandle window) = 0;
    virtual void watchParentSize(WindowHandle control,
                                 std::function<void(int width, int height)> onResize) = 0;

    // The generic properties every control has, each with its read-back.
    // EnableWindow: a disabled control takes no mouse or keyboard input.
    virtual void setEnabled(WindowHandle control, bool enabled) = 0;
    virtual bool isEnabled(WindowHandle control) = 0;
    // The hint shown while the mouse rests on the control; empty for none.
    virtual void setToolTip(WindowHandle control, const std::u16string& text) = 0;
    virtual std::u16string toolTip(WindowHandle control) = 0;
    // WS_TABSTOP: whether the Tab key stops at the control.
    virtual void setTabStop(WindowHandle control, bool tabStop) = 0;
    virtual bool tabStop(WindowHandle control) = 0;

    // The window's client area as it shows on screen: 32-bit 0xAARRGGBB pixels, top row first
    // (screenshots kept by the window tests). False when it cannot be read.
    virtual bool captureWindow(WindowHandle window, int& width, int& height,
                               std::vector<std::uint32_t>& pixels) = 0;

    // RGB value (COLORREF) of a system colour index (COLOR_HIGHLIGHT 13, COLOR_BTNFACE 15...).
    virtual std::uint32_t systemColor(int index) = 0;
};

std::unique_ptr<CommonControls> createNativeCommonControls();

}  // namespace platform
