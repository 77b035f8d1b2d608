// The recording fakes of the progress display's platform.
#include "tests/fakes/FakeProgressDisplay.h"

#include <cstdio>

#include "common/Text.h"
#include "platform/Registry.h"

namespace fakes {
namespace {

std::string messageName(std::uint32_t message) {
    switch (message) {
        case platform::PBM_SETRANGE:
            return "PBM_SETRANGE";
        case platform::PBM_SETPOS:
            return "PBM_SETPOS";
        case platform::PBM_DELTAPOS:
            return "PBM_DELTAPOS";
        case platform::PBM_SETSTEP:
            return "PBM_SETSTEP";
        case platform::PBM_STEPIT:
            return "PBM_STEPIT";
        case platform::PBM_SETRANGE32:
            return "PBM_SETRANGE32";
        case platform::PBM_GETRANGE:
            return "PBM_GETRANGE";
        case platform::PBM_GETPOS:
            return "PBM_GETPOS";
        case platform::PBM_SETBARCOLOR:
            return "PBM_SETBARCOLOR";
        case platform::PBM_SETMARQUEE:
            return "PBM_SETMARQUEE";
        case platform::PBM_SETSTATE:
            return "PBM_SETSTATE";
        case platform::PBM_SETBKCOLOR:
            return "PBM_SETBKCOLOR";
        default: {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "0x%X", message);
            return buffer;
        }
    }
}

std::string hex(std::uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

std::string stateName(int flags) {
    switch (flags) {
        case platform::TBPF_NOPROGRESS:
            return "TBPF_NOPROGRESS";
        case platform::TBPF_INDETERMINATE:
            return "TBPF_INDETERMINATE";
        case platform::TBPF_NORMAL:
            return "TBPF_NORMAL";
        case platform::TBPF_ERROR:
            return "TBPF_ERROR";
        case platform::TBPF_PAUSED:
            return "TBPF_PAUSED";
        default:
            return std::to_string(flags);
    }
}

void coerce(FakeBar& bar) {
    if (bar.position < bar.min) bar.position = bar.min;
    if (bar.position > bar.max) bar.position = bar.max;
}

}  // namespace

bool FakeCommonControls::initCommonControlsEx(std::uint32_t classes) {
    log_.push_back("InitCommonControlsEx " + hex(classes));
    return extendedInitSucceeds;
}

void FakeCommonControls::initCommonControls() {
    log_.push_back("InitCommonControls");
}

platform::WindowHandle FakeCommonControls::createControl(const std::u16string& className,
                                                         platform::WindowHandle parent,
                                                         std::uint32_t style,
                                                         const platform::Rect& bounds, bool visible,
                                                         platform::WindowMessageHandler* handler) {
    log_.push_back("create " + text::toUtf8(className) + " style " + hex(style));
    FakeBar bar;
    bar.className = className;
    bar.parent = parent;
    bar.style = style;
    bar.bounds = bounds;
    bar.visible = visible;
    bar.handler = handler;
    const platform::WindowHandle window = next_++;
    live[window] = bar;
    lastCreated = window;
    ++created;
    return window;
}

void FakeCommonControls::destroyControl(platform::WindowHandle control) {
    log_.push_back("destroy");
    live.erase(control);
}

void FakeCommonControls::setBounds(platform::WindowHandle control, const platform::Rect& bounds) {
    if (live.count(control)) live[control].bounds = bounds;
}

void FakeCommonControls::setVisible(platform::WindowHandle control, bool visible) {
    if (live.count(control)) live[control].visible = visible;
}

std::uint32_t FakeCommonControls::controlStyle(platform::WindowHandle control) {
    return live.count(control) ? live[control].style : 0;
}

void FakeCommonControls::resizeHostWindow(platform::WindowHandle host, int width, int height) {
    parentAreas[host] = platform::Rect{0, 0, width, height};
}

platform::Rect FakeCommonControls::clientArea(platform::WindowHandle window) {
    const auto found = parentAreas.find(window);
    return found == parentAreas.end() ? platform::Rect{} : found->second;
}

void FakeCommonControls::watchParentSize(platform::WindowHandle control,
                                         std::function<void(int, int)> onResize) {
    if (live.count(control)) live[control].onParentResize = std::move(onResize);
}

void FakeCommonControls::resizeParent(platform::WindowHandle parent, int width, int height) {
    parentAreas[parent] = platform::Rect{0, 0, width, height};
    std::vector<std::function<void(int, int)>> watching;
    for (const auto& [handle, bar] : live)
        if (bar.parent == parent && bar.onParentResize) watching.push_back(bar.onParentResize);
    for (const auto& onResize : watching) onResize(width, height);
}

void FakeCommonControls::setEnabled(platform::WindowHandle control, bool enabled) {
    if (live.count(control)) live[control].enabled = enabled;
}

bool FakeCommonControls::isEnabled(platform::WindowHandle control) {
    return live.count(control) && live[control].enabled;
}

void FakeCommonControls::setToolTip(platform::WindowHandle control, const std::u16string& text) {
    if (live.count(control)) live[control].toolTip = text;
}

std::u16string FakeCommonControls::toolTip(platform::WindowHandle control) {
    return live.count(control) ? live[control].toolTip : std::u16string();
}

void FakeCommonControls::setTabStop(platform::WindowHandle control, bool tabStop) {
    if (live.count(control)) live[control].tabStop = tabStop;
}

bool FakeCommonControls::tabStop(platform::WindowHandle control) {
    return live.count(control) && live[control].tabStop;
}

std::uint32_t FakeCommonControls::systemColor(int index) {
    // Recognisable values: 0x00AB00ii.
    return 0x00AB0000u | static_cast<std::uint32_t>(index);
}

std::intptr_t FakeCommonControls::answer(platform::WindowHandle window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
    const auto found = live.find(window);
    if (found == live.end()) return 0;
    FakeBar& bar = found->second;
    const auto w = static_cast<std::int32_t>(wParam);
    const auto previousRange =
        static_cast<std::intptr_t>((static_cast<std::uint32_t>(bar.max) & 0xFFFF) << 16 |
                                   (static_cast<std::uint32_t>(bar.min) & 0xFFFF));
    switch (message) {
        case platform::PBM_SETRANGE:
            bar.min = static_cast<std::int32_t>(lParam & 0xFFFF);
            bar.max = static_cast<std::int32_t>((lParam >> 16) & 0xFFFF);
            coerce(bar);
            return previousRange;
        case platform::PBM_SETRANGE32:
            bar.min = w;
            bar.max = static_cast<std::int32_t>(lParam);
            coerce(bar);
            return previousRange;
        case platform::PBM_GETRANGE:
            return wParam ? bar.min : bar.max;
        case platform::PBM_GETPOS:
            return bar.position;
        case platform::PBM_SETPOS: {
            if (bar.style & platform::PBS_MARQUEE) return 1;  // as the real control answers
            const std::int32_t previous = bar.position;
            bar.position = w;
            coerce(bar);
            return previous;
        }
        case platform::PBM_DELTAPOS: {
            const std::int32_t previous = bar.position;
            bar.position += w;
            coerce(bar);
            return previous;
        }
        case platform::PBM_SETSTEP: {
            const std::int32_t previous = bar.step;
            bar.step = w;
            return previous;
        }
        case platform::PBM_STEPIT: {
            const std::int32_t previous = bar.position;
            bar.position += bar.step;
            if (bar.position > bar.max) bar.position = bar.min;
            return previous;
        }
        case platform::PBM_SETSTATE: {
            const std::uint32_t previous = bar.state;
            bar.state = static_cast<std::uint32_t>(wParam);
            return previous;
        }
        case platform::PBM_SETBARCOLOR:
            bar.barColor = static_cast<std::uint32_t>(lParam);
            return 0;
        case platform::PBM_SETBKCOLOR:
            bar.backgroundColor = static_cast<std::uint32_t>(lParam);
            return 0;
        case platform::PBM_SETMARQUEE:
            bar.marquee = wParam != 0;
            bar.marqueeInterval = lParam;
            return bar.marquee;
        default:
            return 0;
    }
}

std::uint32_t FakeBarToolkit::registerWindowMessage(const std::u16string& name) {
    const auto found = registered_.find(name);
    if (found != registered_.end()) return found->second;
    const std::uint32_t number = 0xC000 + static_cast<std::uint32_t>(registered_.size());
    registered_.emplace(name, number);
    return number;
}

bool FakeBarToolkit::postMessage(platform::WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam) {
    std::string name = messageName(message);
    for (const auto& [text, number] : registered_)
        if (number == message) name = text::toUtf8(text);
    log_.push_back("post " + name + " " + std::to_string(wParam) + " " + std::to_string(lParam));
    if (!controls_.live.count(window)) return false;
    queue_.push_back({window, message, wParam, lParam});
    return true;
}

std::intptr_t FakeBarToolkit::sendMessage(platform::WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam) {
    const bool getter = message == platform::PBM_GETPOS || message == platform::PBM_GETRANGE ||
                        (message == platform::PBM_DELTAPOS && wParam == 0);
    if (!getter || logGetters) {
        log_.push_back(messageName(message) + " " +
                       std::to_string(static_cast<std::intptr_t>(wParam)) + " " +
                       (message == platform::PBM_SETRANGE || message == platform::PBM_SETBARCOLOR ||
                                message == platform::PBM_SETBKCOLOR
                            ? hex(static_cast<std::uint32_t>(lParam))
                            : std::to_string(lParam)));
    }
    return controls_.answer(window, message, wParam, lParam);
}

int FakeBarToolkit::deliverPosted() {
    int delivered = 0;
    while (!queue_.empty()) {
        const Posted posted = queue_.front();
        queue_.pop_front();
        const auto found = controls_.live.find(posted.window);
        if (found == controls_.live.end() || !found->second.handler) continue;
        found->second.handler->handleWindowMessage(posted.message, posted.wParam, posted.lParam);
        ++delivered;
    }
    return delivered;
}

platform::HResult FakeTaskbarObject::HrInit() {
    log_.push_back("HrInit");
    return hrInitResult;
}

platform::HResult FakeTaskbarObject::SetProgressValue(platform::WindowHandle window,
                                                      std::uint64_t completed,
                                                      std::uint64_t total) {
    log_.push_back("SetProgressValue " + hex(window) + " " + std::to_string(completed) + " " +
                   std::to_string(total));
    return progressResult;
}

platform::HResult FakeTaskbarObject::SetProgressState(platform::WindowHandle window, int flags) {
    log_.push_back("SetProgressState " + hex(window) + " " + stateName(flags));
    return progressResult;
}

platform::TaskbarCreation FakeTaskbar::createTaskbarList() {
    platform::TaskbarCreation creation;
    creation.result = creationResult;
    if (creationResult >= 0 && returnsObject) {
        auto object = std::make_unique<FakeTaskbarObject>(log_);
        object->list2 = list2;
        object->list3 = list3;
        object->hrInitResult = hrInitResult;
        object->progressResult = progressResult;
        creation.object = std::move(object);
    }
    return creation;
}

ProgressDisplayFakes::ProgressDisplayFakes()
    : previousControls_(platform::install<platform::CommonControls>(&controls)),
      previousToolkit_(platform::install<platform::Toolkit>(&toolkit)),
      previousTaskbar_(platform::install<platform::Taskbar>(&taskbar)) {}

ProgressDisplayFakes::~ProgressDisplayFakes() {
    platform::install<platform::CommonControls>(previousControls_);
    platform::install<platform::Toolkit>(previousToolkit_);
    platform::install<platform::Taskbar>(previousTaskbar_);
}

}  // namespace fakes
