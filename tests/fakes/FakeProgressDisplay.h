// Recording stand-ins for the progress display's platform: a toolkit, the common controls (with
// a small model of the progress bar that answers its PBM_* messages as the Windows control
// does) and the shell taskbar. All three write one shared log, so a test can assert the exact
// order of everything the control asked for.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/CommonControls.h"
#include "platform/Taskbar.h"
#include "platform/Toolkit.h"

namespace fakes {

using EventLog = std::vector<std::string>;

// The state of one fake progress bar window.
struct FakeBar {
    std::u16string className;
    platform::WindowHandle parent = 0;
    std::uint32_t style = 0;
    platform::Rect bounds;
    bool visible = false;
    platform::WindowMessageHandler* handler = nullptr;
    std::int32_t min = 0;
    std::int32_t max = 100;
    std::int32_t position = 0;
    std::int32_t step = 10;
    std::uint32_t state = 1;
    std::uint32_t barColor = platform::CLR_DEFAULT;
    std::uint32_t backgroundColor = platform::CLR_DEFAULT;
    bool marquee = false;
    std::intptr_t marqueeInterval = 0;
    bool enabled = true;
    std::u16string toolTip;
    bool tabStop = false;
    std::function<void(int, int)> onParentResize;
};

class FakeCommonControls final : public platform::CommonControls {
  public:
    explicit FakeCommonControls(EventLog& log) : log_(log) {}

    bool initCommonControlsEx(std::uint32_t classes) override;
    void initCommonControls() override;
    platform::WindowHandle createControl(const std::u16string& className,
                                         platform::WindowHandle parent, std::uint32_t style,
                                         const platform::Rect& bounds, bool visible,
                                         platform::WindowMessageHandler* handler) override;
    platform::WindowHandle createHostWindow(const std::u16string&, const platform::Rect&) override {
        return next_++;
    }
    void resizeHostWindow(platform::WindowHandle host, int width, int height) override;
    void destroyControl(platform::WindowHandle control) override;
    platform::Rect clientArea(platform::WindowHandle window) override;
    void watchParentSize(platform::WindowHandle control,
                         std::function<void(int, int)> onResize) override;
    void setBounds(platform::WindowHandle control, const platform::Rect& bounds) override;
    void setVisible(platform::WindowHandle control, bool visible) override;
    std::uint32_t controlStyle(platform::WindowHandle control) override;
    void setEnabled(platform::WindowHandle control, bool enabled) override;
    bool isEnabled(platform::WindowHandle control) override;
    void setToolTip(platform::WindowHandle control, const std::u16string& text) override;
    std::u16string toolTip(platform::WindowHandle control) override;
    void setTabStop(platform::WindowHandle control, bool tabStop) override;
    bool tabStop(platform::WindowHandle control) override;
    bool captureWindow(platform::WindowHandle, int&, int&, std::vector<std::uint32_t>&) override {
        return false;
    }
    std::uint32_t systemColor(int index) override;

    // The window's answer to a sent message (0 for unknown windows and messages).
    std::intptr_t answer(platform::WindowHandle window, std::uint32_t message,
                         std::uintptr_t wParam, std::intptr_t lParam);

    // Every watching child of parent hears of the new size (as after the parent's WM_SIZE).
    void resizeParent(platform::WindowHandle parent, int width, int height);

    bool extendedInitSucceeds = true;
    std::map<platform::WindowHandle, platform::Rect> parentAreas;  // client areas of parents
    std::map<platform::WindowHandle, FakeBar> live;
    platform::WindowHandle lastCreated = 0;
    int created = 0;

  private:
    EventLog& log_;
    platform::WindowHandle next_ = 0x100;
};

class FakeBarToolkit final : public platform::Toolkit {
  public:
    FakeBarToolkit(EventLog& log, FakeCommonControls& controls) : log_(log), controls_(controls) {}

    void processMessages() override { deliverPosted(); }
    int runMessageLoop() override { return 0; }
    void quitMessageLoop(int) override {}
    std::uint32_t registerWindowMessage(const std::u16string& name) override;
    bool postMessage(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) override;
    std::intptr_t sendMessage(platform::WindowHandle window, std::uint32_t message,
                              std::uintptr_t wParam, std::intptr_t lParam) override;
    void showMessage(platform::WindowHandle, const std::u16string&,
                     const std::u16string&) override {}
    void beep() override {}
    platform::PlatformVersion platformVersion() override { return version; }
    bool visualStylesEnabled() override { return visualStyles; }
    int verticalScrollArrowHeight() override { return 17; }

    // Hands every posted message to its window's handler, as the message loop would; messages
    // to windows destroyed meanwhile are dropped. Returns how many were delivered.
    int deliverPosted();
    std::size_t pending() const { return queue_.size(); }

    platform::PlatformVersion version{10, 0};
    bool visualStyles = true;
    bool logGetters = true;

  private:
    struct Posted {
        platform::WindowHandle window;
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    EventLog& log_;
    FakeCommonControls& controls_;
    std::map<std::u16string, std::uint32_t> registered_;
    std::deque<Posted> queue_;
};

class FakeTaskbarObject final : public platform::TaskbarObject {
  public:
    explicit FakeTaskbarObject(EventLog& log) : log_(log) {}

    bool hasTaskbarList2() override { return list2; }
    bool hasTaskbarList3() override { return list3; }
    platform::HResult HrInit() override;
    platform::HResult AddTab(platform::WindowHandle) override { return 0; }
    platform::HResult DeleteTab(platform::WindowHandle) override { return 0; }
    platform::HResult ActivateTab(platform::WindowHandle) override { return 0; }
    platform::HResult SetActiveAlt(platform::WindowHandle) override { return 0; }
    platform::HResult MarkFullscreenWindow(platform::WindowHandle, bool) override { return 0; }
    platform::HResult SetProgressValue(platform::WindowHandle window, std::uint64_t completed,
                                       std::uint64_t total) override;
    platform::HResult SetProgressState(platform::WindowHandle window, int flags) override;

    bool list2 = true;
    bool list3 = true;
    platform::HResult hrInitResult = 0;
    platform::HResult progressResult = 0;

  private:
    EventLog& log_;
};

class FakeTaskbar final : public platform::Taskbar {
  public:
    explicit FakeTaskbar(EventLog& log) : log_(log) {}

    platform::TaskbarCreation createTaskbarList() override;
    platform::WindowHandle applicationWindow() override { return application; }
    void setApplicationWindow(platform::WindowHandle window) override { application = window; }

    // What the next creation returns.
    platform::HResult creationResult = 0;
    bool returnsObject = true;
    bool list2 = true;
    bool list3 = true;
    platform::HResult hrInitResult = 0;
    platform::HResult progressResult = 0;
    platform::WindowHandle application = 0xA00;

  private:
    EventLog& log_;
};

// Installs the three fakes for one test and restores what was installed before.
class ProgressDisplayFakes {
  public:
    ProgressDisplayFakes();
    ~ProgressDisplayFakes();
    ProgressDisplayFakes(const ProgressDisplayFakes&) = delete;
    ProgressDisplayFakes& operator=(const ProgressDisplayFakes&) = delete;

    EventLog log;
    FakeCommonControls controls{log};
    FakeBarToolkit toolkit{log, controls};
    FakeTaskbar taskbar{log};

  private:
    platform::CommonControls* previousControls_;
    platform::Toolkit* previousToolkit_;
    platform::Taskbar* previousTaskbar_;
};

}  // namespace fakes
