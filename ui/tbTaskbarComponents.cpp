// The windowed control's native window on demand and the shell taskbar object it holds.
#include "ui/tbTaskbarComponents.h"

#include "common/Text.h"
#include "platform/CommonControls.h"
#include "platform/Registry.h"
#include "platform/Taskbar.h"
#include "ui/tbErrors.h"

namespace {

platform::CommonControls& controls() {
    return platform::get<platform::CommonControls>();
}

TMouseButton buttonOf(std::uint32_t message) {
    namespace input = platform::input;
    if (message == input::kRightButtonDown || message == input::kRightButtonUp) return mbRight;
    if (message == input::kMiddleButtonDown || message == input::kMiddleButtonUp) return mbMiddle;
    return mbLeft;
}

}  // namespace

TtbTaskbarWinControl::TtbTaskbarWinControl(platform::WindowHandle AOwner) : parent_(AOwner) {}

TtbTaskbarWinControl::~TtbTaskbarWinControl() {
    // The derived destructor normally destroyed the window already; this is the last resort.
    if (HandleAllocated()) {
        controls().destroyControl(FHandle);
        FHandle = platform::kNoWindow;
    }
}

void TtbTaskbarWinControl::InitTaskbarControl() {
    FIn32BitMode = controls().initCommonControlsEx(GetCommonControlClass());
    if (!FIn32BitMode) controls().initCommonControls();

    platform::TaskbarCreation creation = platform::get<platform::Taskbar>().createTaskbarList();
    if (creation.result < 0) {
        throw EOleSysError(SysErrorMessageFor(creation.result) + u", ClassID: " +
                               std::u16string(CLSID_TaskbarList),
                           creation.result);
    }
    if (!creation.object) return;  // created, but no object came back
    std::shared_ptr<platform::TaskbarObject> object = std::move(creation.object);
    FTaskbarList = std::make_shared<ITaskbarList>(object);
    FTaskbarList->HrInit();
    if (object->hasTaskbarList2()) FTaskbarList2 = std::make_shared<ITaskbarList2>(object);
    if (object->hasTaskbarList3()) FTaskbarList3 = std::make_shared<ITaskbarList3>(object);
}

platform::WindowHandle TtbTaskbarWinControl::Handle() {
    if (!HandleAllocated()) CreateWnd();
    return FHandle;
}

void TtbTaskbarWinControl::setParent(platform::WindowHandle parent) {
    if (parent == parent_) return;
    parent_ = parent;
    // The native window cannot move to another parent here; the next one is made under it.
    if (HandleAllocated()) RecreateWnd();
}

void TtbTaskbarWinControl::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    // Showing the control is what first gives it a window.
    if (visible) Handle();
    if (HandleAllocated()) controls().setVisible(FHandle, visible);
}

void TtbTaskbarWinControl::SetBounds(int left, int top, int width, int height) {
    auto constrained = [](int size, int least, int most) {
        if (most > 0 && size > most) size = most;
        if (least > 0 && size < least) size = least;
        return size;
    };
    width = constrained(width, constraints_.MinWidth, constraints_.MaxWidth);
    height = constrained(height, constraints_.MinHeight, constraints_.MaxHeight);
    bounds_ = platform::Rect{left, top, width, height};
    if (HandleAllocated()) controls().setBounds(FHandle, bounds_);
}

void TtbTaskbarWinControl::setAlign(TAlign align) {
    if (align == align_) return;
    align_ = align;
    if (HandleAllocated()) applyAlign();
}

void TtbTaskbarWinControl::applyAlign() {
    const int width = parentWidth_;
    const int height = parentHeight_;
    const platform::Rect b = bounds_;
    switch (align_) {
        case alTop:
            SetBounds(0, 0, width, b.height);
            break;
        case alBottom:
            SetBounds(0, height - b.height, width, b.height);
            break;
        case alLeft:
            SetBounds(0, 0, b.width, height);
            break;
        case alRight:
            SetBounds(width - b.width, 0, b.width, height);
            break;
        case alClient:
            SetBounds(0, 0, width, height);
            break;
        default:
            break;  // alNone and alCustom: the control stays where it was put
    }
}

void TtbTaskbarWinControl::parentResized(int width, int height) {
    const int grewBy = width - parentWidth_;
    const int tallerBy = height - parentHeight_;
    parentWidth_ = width;
    parentHeight_ = height;
    if (align_ != alNone && align_ != alCustom) {
        applyAlign();
        return;
    }
    // Anchored to both edges the control stretches; to the far edge alone it moves; to neither
    // it keeps its place in the middle.
    auto follow = [](int& start, int& size, bool nearEdge, bool farEdge, int change) {
        if (farEdge && nearEdge)
            size += change;
        else if (farEdge)
            start += change;
        else if (!nearEdge)
            start += change / 2;
    };
    platform::Rect b = bounds_;
    follow(b.left, b.width, anchors_ & akLeft, anchors_ & akRight, grewBy);
    follow(b.top, b.height, anchors_ & akTop, anchors_ & akBottom, tallerBy);
    if (b.left != bounds_.left || b.top != bounds_.top || b.width != bounds_.width ||
        b.height != bounds_.height)
        SetBounds(b.left, b.top, b.width, b.height);
}

void TtbTaskbarWinControl::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (HandleAllocated()) controls().setEnabled(FHandle, enabled);
}

void TtbTaskbarWinControl::setHint(const std::u16string& hint) {
    hint_ = hint;
    if (HandleAllocated()) controls().setToolTip(FHandle, shownHint());
}

void TtbTaskbarWinControl::setShowHint(bool showHint) {
    parentShowHint_ = false;
    showHint_ = showHint;
    if (HandleAllocated()) controls().setToolTip(FHandle, shownHint());
}

void TtbTaskbarWinControl::setParentShowHint(bool parentShowHint) {
    parentShowHint_ = parentShowHint;
    if (!parentShowHint) return;
    showHint_ = false;  // what the parent says
    if (HandleAllocated()) controls().setToolTip(FHandle, shownHint());
}

void TtbTaskbarWinControl::setTabStop(bool tabStop) {
    if (tabStop == tabStop_) return;
    tabStop_ = tabStop;
    if (HandleAllocated()) controls().setTabStop(FHandle, tabStop);
}

void TtbTaskbarWinControl::setConstraints(const TSizeConstraints& constraints) {
    constraints_ = constraints;
    SetBounds(bounds_.left, bounds_.top, bounds_.width, bounds_.height);
}

void TtbTaskbarWinControl::RecreateWnd() {
    if (!HandleAllocated()) return;
    DestroyWnd();
    CreateWnd();
}

void TtbTaskbarWinControl::CreateParams(TCreateParams& Params) {
    if (!FIn32BitMode) controls().initCommonControls();
    Params.WinClassName = GetWindowClassName();
}

void TtbTaskbarWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    FHandle = controls().createControl(params.WinClassName, parent_, params.Style, bounds_,
                                       visible_, this);
    if (!HandleAllocated()) throw EtbError(u"Error creating window class");
    if (!enabled_) controls().setEnabled(FHandle, false);
    if (tabStop_) controls().setTabStop(FHandle, true);
    if (showHint_ && !hint_.empty()) controls().setToolTip(FHandle, hint_);
    if (parent_ == platform::kNoWindow) return;
    const platform::Rect area = controls().clientArea(parent_);
    parentWidth_ = area.width;
    parentHeight_ = area.height;
    controls().watchParentSize(FHandle, [this](int width, int height) {
        parentResized(width, height);
    });
    applyAlign();
}

void TtbTaskbarWinControl::DestroyWnd() {
    const platform::WindowHandle handle = FHandle;
    FHandle = platform::kNoWindow;
    controls().destroyControl(handle);
}

void TtbTaskbarWinControl::DestroyHandle() {
    if (HandleAllocated()) DestroyWnd();
}

platform::WindowHandle TtbTaskbarWinControl::GetTaskBarEntryHandle() const {
    if (FTaskBarEntryHandle != platform::kNoWindow) return FTaskBarEntryHandle;
    return platform::get<platform::Taskbar>().applicationWindow();
}

void TtbTaskbarWinControl::handleWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                               std::intptr_t lParam) {
    WndProc(message, wParam, lParam);
}

void TtbTaskbarWinControl::WndProc(std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
    namespace input = platform::input;
    if (message == input::kSetFocus) {
        if (OnEnter) OnEnter(*this);
        return;
    }
    if (message == input::kKillFocus) {
        if (OnExit) OnExit(*this);
        return;
    }
    if (!input::isInputMessage(message)) return;
    // The position's halves are signed: a captured pointer may be left of or above the control.
    const int x = static_cast<std::int16_t>(lParam & 0xFFFF);
    const int y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    TShiftState shift = 0;
    if (wParam & input::kShiftHeld) shift |= ssShift;
    if (wParam & input::kControlHeld) shift |= ssCtrl;
    if (wParam & input::kLeftButtonHeld) shift |= ssLeft;
    if (wParam & input::kRightButtonHeld) shift |= ssRight;
    if (wParam & input::kMiddleButtonHeld) shift |= ssMiddle;
    switch (message) {
        case input::kMouseMove:
            if (OnMouseMove) OnMouseMove(*this, shift, x, y);
            break;
        case input::kLeftButtonDown:
        case input::kRightButtonDown:
        case input::kMiddleButtonDown:
            if (OnMouseDown) OnMouseDown(*this, buttonOf(message), shift, x, y);
            break;
        case input::kLeftButtonUp:
        case input::kRightButtonUp:
        case input::kMiddleButtonUp:
            if (OnMouseUp) OnMouseUp(*this, buttonOf(message), shift, x, y);
            break;
        default:
            break;  // double clicks: the bar's class does not ask for them
    }
}

std::intptr_t TtbTaskbarWinControl::Perform(std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam) {
    return platform::get<platform::Toolkit>().sendMessage(Handle(), message, wParam, lParam);
}
