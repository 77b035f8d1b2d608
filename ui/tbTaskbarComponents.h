// TtbTaskbarWinControl: a windowed control that owns a native child window of a common-controls
// class (created on demand, destroyed and re-created when a style changes, its bounds and
// visibility carried over), initialises that class and holds the shell's taskbar interfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Toolkit.h"
#include "ui/tbTaskbarList.h"

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };
// The keys and buttons held during a mouse event (the toolkit's TShiftState as bits). Alt is not
// reported: the platforms' mouse messages do not carry it.
using TShiftState = std::uint8_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;

// Where a control places itself in its parent's client area (the whole area: the toolkit keeps
// no list of aligned siblings).
enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
// The parent's edges whose distance the control keeps when the parent changes size.
using TAnchors = std::uint8_t;
constexpr TAnchors akLeft = 0x01;
constexpr TAnchors akTop = 0x02;
constexpr TAnchors akRight = 0x04;
constexpr TAnchors akBottom = 0x08;

class TtbTaskbarWinControl;
using TNotifyEvent = std::function<void(TtbTaskbarWinControl& Sender)>;
// X and Y: the pointer in the control's client coordinates.
using TMouseEvent = std::function<void(TtbTaskbarWinControl& Sender, TMouseButton Button,
                                       TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent =
    std::function<void(TtbTaskbarWinControl& Sender, TShiftState Shift, int X, int Y)>;

class TtbTaskbarWinControl : protected platform::WindowMessageHandler {
  public:
    // AOwner: the window the control lives in (kNoWindow: a top-level control).
    explicit TtbTaskbarWinControl(platform::WindowHandle AOwner = platform::kNoWindow);
    ~TtbTaskbarWinControl() override;
    TtbTaskbarWinControl(const TtbTaskbarWinControl&) = delete;
    TtbTaskbarWinControl& operator=(const TtbTaskbarWinControl&) = delete;

    platform::WindowHandle TaskBarEntryHandle() const { return GetTaskBarEntryHandle(); }
    void setTaskBarEntryHandle(platform::WindowHandle value) { FTaskBarEntryHandle = value; }

    // The native window, created first when there is none yet.
    platform::WindowHandle Handle();
    bool HandleAllocated() const { return FHandle != platform::kNoWindow; }

    platform::WindowHandle Parent() const { return parent_; }
    void setParent(platform::WindowHandle parent);
    bool Visible() const { return visible_; }
    void setVisible(bool visible);
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }
    void SetBounds(int left, int top, int width, int height);
    void setWidth(int width) { SetBounds(bounds_.left, bounds_.top, width, bounds_.height); }
    void setHeight(int height) { SetBounds(bounds_.left, bounds_.top, bounds_.width, height); }

    // The toolkit's generic control properties; every new native window gets them again.
    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    const std::u16string& Hint() const { return hint_; }
    void setHint(const std::u16string& hint);
    // The hint shows while ShowHint is set. With ParentShowHint the control takes ShowHint from
    // its parent, and the windows of this toolkit show no hints; setting ShowHint ends that.
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool showHint);
    bool ParentShowHint() const { return parentShowHint_; }
    void setParentShowHint(bool parentShowHint);
    bool TabStop() const { return tabStop_; }
    void setTabStop(bool tabStop);
    // Limits on the control's size, 0 for none; SetBounds keeps to them.
    struct TSizeConstraints {
        int MinWidth = 0;
        int MinHeight = 0;
        int MaxWidth = 0;
        int MaxHeight = 0;
    };
    const TSizeConstraints& Constraints() const { return constraints_; }
    void setConstraints(const TSizeConstraints& constraints);

    TAlign Align() const { return align_; }
    void setAlign(TAlign align);
    TAnchors Anchors() const { return anchors_; }
    void setAnchors(TAnchors anchors) { anchors_ = anchors; }

    // The control's events: the pointer pressed, released or moved over it, and the keyboard
    // focus arriving (OnEnter) and leaving (OnExit).
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // Destroys the native window (if any) and creates a new one with the current parameters.
    void RecreateWnd();

  protected:
    struct TCreateParams {
        std::u16string WinClassName;
        std::uint32_t Style = 0;
    };

    // Construction steps that need the derived class's answers (C++ does not dispatch virtual
    // calls to a derived class during the base constructor): the common-controls
    // initialisation and the taskbar interfaces. The derived constructor calls it first.
    void InitTaskbarControl();

    virtual std::uint32_t GetCommonControlClass() = 0;
    virtual std::u16string GetWindowClassName() = 0;

    virtual void CreateParams(TCreateParams& Params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    // Destroys the native window through DestroyWnd; the derived destructor calls it while its
    // own DestroyWnd still applies.
    void DestroyHandle();

    platform::WindowHandle GetTaskBarEntryHandle() const;

    // Messages the message loop delivers to the native window.
    void handleWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;
    virtual void WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    std::intptr_t Perform(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    bool FIn32BitMode = false;
    std::shared_ptr<ITaskbarList> FTaskbarList;
    std::shared_ptr<ITaskbarList2> FTaskbarList2;
    std::shared_ptr<ITaskbarList3> FTaskbarList3;
    platform::WindowHandle FTaskBarEntryHandle = platform::kNoWindow;

  private:
    platform::WindowHandle FHandle = platform::kNoWindow;
    platform::WindowHandle parent_;
    platform::Rect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    std::u16string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    bool tabStop_ = false;
    TSizeConstraints constraints_;
    TAlign align_ = alNone;
    TAnchors anchors_ = akLeft | akTop;
    int parentWidth_ = 0;  // the parent's client area when last seen
    int parentHeight_ = 0;

    void parentResized(int width, int height);
    void applyAlign();

    std::u16string shownHint() const { return showHint_ ? hint_ : std::u16string(); }
};
