// The progress bar on the real controls of the platform (msctls_progress32 on Windows, the Qt
// widget on Linux): the answers the bar gives to its messages, the control's behaviour on top of
// it, posted update messages travelling through the real message queue, and a screenshot of a
// window showing the four states.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/CommonControls.h"
#include "platform/Registry.h"
#include "platform/Taskbar.h"
#include "platform/Toolkit.h"
#include "tests/fakes/FakeProgressDisplay.h"
#include "tests/gui/ui/PngFile.h"
#include "ui/tbProgressBar.h"

using namespace platform;

namespace {

// One toolkit for the whole process (one application object, one apartment).
struct NativeDisplay {
    std::unique_ptr<Toolkit> toolkit = createNativeToolkit();
    std::unique_ptr<CommonControls> controls = createNativeCommonControls();
};

NativeDisplay& native() {
    static NativeDisplay display;
    return display;
}

class RealProgressBarTest : public testing::Test {
  protected:
    RealProgressBarTest() {
        previousToolkit_ = install<Toolkit>(native().toolkit.get());
        previousControls_ = install<CommonControls>(native().controls.get());
        previousTaskbar_ = install<Taskbar>(&taskbar);
        host = native().controls->createHostWindow(u"Orvelle progress test", {40, 40, 360, 200});
    }
    ~RealProgressBarTest() override {
        native().controls->destroyControl(host);
        install<Toolkit>(previousToolkit_);
        install<CommonControls>(previousControls_);
        install<Taskbar>(previousTaskbar_);
    }

    std::intptr_t send(WindowHandle bar, std::uint32_t message, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0) {
        return native().toolkit->sendMessage(bar, message, wParam, lParam);
    }

    // Lets the window system draw and the animation run for a moment.
    void pump(int rounds) {
        for (int i = 0; i < rounds; ++i) {
            native().toolkit->processMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    fakes::EventLog taskbarLog;
    fakes::FakeTaskbar taskbar{taskbarLog};
    WindowHandle host = kNoWindow;

  private:
    Toolkit* previousToolkit_;
    CommonControls* previousControls_;
    Taskbar* previousTaskbar_;
};

std::intptr_t makeLong(int low, int high) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(high) & 0xFFFF) << 16 |
                                      (static_cast<std::uint32_t>(low) & 0xFFFF));
}

TEST_F(RealProgressBarTest, NativeBarAnswersItsMessagesAsTheWindowsControl) {
    ASSERT_TRUE(native().controls->initCommonControlsEx(ICC_PROGRESS_CLASS));
    const WindowHandle bar = native().controls->createControl(kProgressBarClass, host, PBS_SMOOTH,
                                                              {10, 10, 200, 20}, true, nullptr);
    ASSERT_NE(bar, kNoWindow);

    EXPECT_EQ(send(bar, PBM_GETRANGE, 1), 0);
    EXPECT_EQ(send(bar, PBM_GETRANGE, 0), 100);
    EXPECT_EQ(send(bar, PBM_SETRANGE32, 10, 200), makeLong(0, 100));
    PBRANGE range{-1, -1};
    EXPECT_EQ(send(bar, PBM_GETRANGE, 1, reinterpret_cast<std::intptr_t>(&range)), 10);
    EXPECT_EQ(range.iLow, 10);
    EXPECT_EQ(range.iHigh, 200);
    // The position follows the range, and positions outside it are kept inside.
    EXPECT_EQ(send(bar, PBM_GETPOS), 10);
    EXPECT_EQ(send(bar, PBM_SETPOS, 250), 10);
    EXPECT_EQ(send(bar, PBM_GETPOS), 200);
    EXPECT_EQ(send(bar, PBM_SETPOS, 50), 200);
    EXPECT_EQ(send(bar, PBM_DELTAPOS, 5), 50);
    EXPECT_EQ(send(bar, PBM_DELTAPOS, 0), 55);  // a zero delta reads the position
    EXPECT_EQ(send(bar, PBM_SETSTEP, 100), 10);
    EXPECT_EQ(send(bar, PBM_STEPIT), 55);
    EXPECT_EQ(send(bar, PBM_GETPOS), 155);
    // Past the maximum the step starts over from the minimum.
    EXPECT_EQ(send(bar, PBM_STEPIT), 155);
    const auto wrapped = send(bar, PBM_GETPOS);
    EXPECT_EQ(wrapped, (255 - 10) % (200 - 10) + 10);

    // The 16-bit range message packs both ends into lParam.
    EXPECT_EQ(send(bar, PBM_SETRANGE, 0, makeLong(0, 1000)), makeLong(10, 200));
    EXPECT_EQ(send(bar, PBM_GETRANGE, 0), 1000);

    EXPECT_EQ(static_cast<std::uint32_t>(send(bar, PBM_SETBARCOLOR, 0, 0x0000FF)), CLR_DEFAULT);
    EXPECT_EQ(static_cast<std::uint32_t>(send(bar, PBM_SETBARCOLOR, 0, CLR_DEFAULT)), 0x0000FFu);
    EXPECT_EQ(static_cast<std::uint32_t>(send(bar, PBM_SETBKCOLOR, 0, 0x00FF00)), CLR_DEFAULT);
    // A new bar is in the normal state. (Later answers are the previous state on Windows; Wine
    // answers PBST_NORMAL every time, so they are not compared here.)
    EXPECT_EQ(send(bar, PBM_SETSTATE, PBST_ERROR), static_cast<std::intptr_t>(PBST_NORMAL));
    send(bar, PBM_SETSTATE, PBST_NORMAL);
    native().controls->destroyControl(bar);
}

TEST_F(RealProgressBarTest, StyleBitsAreThoseOfCreation) {
    const WindowHandle marquee = native().controls->createControl(
        kProgressBarClass, host, PBS_MARQUEE | PBS_VERTICAL, {10, 40, 20, 100}, true, nullptr);
    ASSERT_NE(marquee, kNoWindow);
    EXPECT_EQ(native().controls->controlStyle(marquee) & 0xFF, PBS_MARQUEE | PBS_VERTICAL);
    EXPECT_EQ(send(marquee, PBM_SETMARQUEE, 1, 30), 1);
    native().controls->destroyControl(marquee);
}

TEST_F(RealProgressBarTest, PositionSurvivesEveryRecreationOfTheRealWindow) {
    TtbProgressBar bar(host);
    bar.SetBounds(10, 10, 300, 20);
    bar.setMax(120);
    bar.setMin(20);
    bar.setPosition(57);
    bar.Handle();
    EXPECT_EQ(bar.Position(), 57);
    EXPECT_EQ(bar.Min(), 20);  // read from the real window
    EXPECT_EQ(bar.Max(), 120);

    bar.setSmooth(true);
    EXPECT_EQ(bar.Position(), 57);
    EXPECT_EQ(native().controls->controlStyle(bar.Handle()) & PBS_SMOOTH, PBS_SMOOTH);
    bar.setProgressBarState(pbstMarquee);
    EXPECT_EQ(bar.Position(), 57);
    const bool marqueeStyle = native().toolkit->visualStylesEnabled() &&
                              atLeast(native().toolkit->platformVersion(), 5, 1);
    EXPECT_EQ((native().controls->controlStyle(bar.Handle()) & PBS_MARQUEE) != 0, marqueeStyle);
    bar.setProgressBarState(pbstNormal);
    EXPECT_EQ(native().controls->controlStyle(bar.Handle()) & PBS_MARQUEE, 0u);
    bar.setOrientation(pbVertical);
    EXPECT_EQ(bar.Position(), 57);
    RecordProperty("visual_styles", native().toolkit->visualStylesEnabled() ? "on" : "off");
}

TEST_F(RealProgressBarTest, GenericPropertiesHoldOnTheRealWindowAcrossRecreation) {
    TtbProgressBar bar(host);
    bar.SetBounds(10, 10, 300, 20);
    bar.setEnabled(false);
    bar.setTabStop(true);
    bar.setHint(u"Завантаження оновлення");
    bar.setShowHint(true);
    for (int window = 0; window < 2; ++window) {
        const WindowHandle handle = bar.Handle();
        EXPECT_FALSE(native().controls->isEnabled(handle));
        EXPECT_TRUE(native().controls->tabStop(handle));
        EXPECT_EQ(native().controls->toolTip(handle), u"Завантаження оновлення");
        bar.setSmooth(window == 0);  // the second pass looks at a new native window
    }
    bar.setEnabled(true);
    bar.setTabStop(false);
    bar.setShowHint(false);
    EXPECT_TRUE(native().controls->isEnabled(bar.Handle()));
    EXPECT_FALSE(native().controls->tabStop(bar.Handle()));
    EXPECT_EQ(native().controls->toolTip(bar.Handle()), u"");
}

// A click on the real window: on Linux a real pointer click from the X server (xdotool; the
// host window's client area starts at 40,40 on the screen), on Windows the button messages sent
// to the real window, through its subclass to the control.
TEST_F(RealProgressBarTest, ClickOnTheRealWindowRaisesTheMouseEvents) {
    const bool windows = std::string(ORVELLE_BACKEND_NAME) == "win32";
    TtbProgressBar bar(host);
    bar.SetBounds(10, 10, 300, 40);
    bar.Handle();
    std::vector<std::tuple<std::string, TShiftState, int, int>> seen;
    bar.OnMouseDown = [&](TtbTaskbarWinControl& sender, TMouseButton button, TShiftState shift,
                          int x, int y) {
        EXPECT_EQ(&sender, &bar);
        EXPECT_EQ(button, mbLeft);
        seen.emplace_back("down", shift, x, y);
    };
    bar.OnMouseUp = [&](TtbTaskbarWinControl&, TMouseButton button, TShiftState shift, int x,
                        int y) {
        EXPECT_EQ(button, mbLeft);
        seen.emplace_back("up", shift, x, y);
    };
    bool moved = false;
    bar.OnMouseMove = [&](TtbTaskbarWinControl&, TShiftState, int, int) { moved = true; };
    pump(5);
    if (windows) {
        send(bar.Handle(), input::kMouseMove, 0, makeLong(150, 20));
        send(bar.Handle(), input::kLeftButtonDown, input::kLeftButtonHeld, makeLong(150, 20));
        send(bar.Handle(), input::kLeftButtonUp, 0, makeLong(150, 20));
    } else {
        ASSERT_EQ(std::system("xdotool mousemove --sync 200 70 click 1"), 0);
        for (int round = 0; round < 200 && seen.size() < 2; ++round) pump(1);
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(moved);
    EXPECT_EQ(std::get<0>(seen[0]), "down");
    EXPECT_EQ(std::get<1>(seen[0]), ssLeft);
    EXPECT_EQ(std::get<0>(seen[1]), "up");
    EXPECT_EQ(std::get<1>(seen[1]), 0);
    for (const auto& [kind, shift, x, y] : seen) {
        EXPECT_EQ(x, 150) << kind;
        EXPECT_EQ(y, 20) << kind;
    }
}

TEST_F(RealProgressBarTest, AlignedBarFollowsTheRealParentsSize) {
    TtbProgressBar bar(host);
    bar.SetBounds(10, 10, 100, 20);
    bar.setAlign(alBottom);
    bar.Handle();
    auto shownSize = [&] {
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels;
        native().controls->captureWindow(bar.Handle(), width, height, pixels);
        return std::pair(width, height);
    };
    EXPECT_EQ(shownSize(), std::pair(360, 20));
    EXPECT_EQ(bar.Top(), 180);

    native().controls->resizeHostWindow(host, 420, 240);
    for (int round = 0; round < 100 && bar.Width() != 420; ++round) pump(1);
    EXPECT_EQ(native().controls->clientArea(host).width, 420);
    EXPECT_EQ(bar.Width(), 420);
    EXPECT_EQ(bar.Top(), 220);
    EXPECT_EQ(shownSize(), std::pair(420, 20));
}

TEST_F(RealProgressBarTest, PostedUpdatesReachTheMirrorThroughTheMessageQueue) {
    TtbProgressBar bar(host);
    bar.setShowInTaskbar(true);
    bar.setMax(120);
    bar.setMin(20);
    bar.setPosition(57);
    EXPECT_TRUE(taskbarLog.empty() || taskbarLog == fakes::EventLog{"HrInit"});
    taskbarLog.clear();
    pump(5);
    ASSERT_FALSE(taskbarLog.empty());
    EXPECT_EQ(taskbarLog.back(), "SetProgressValue 0xA00 37 100");
    const auto values = std::count(taskbarLog.begin(), taskbarLog.end(),
                                   std::string("SetProgressValue 0xA00 37 100"));
    EXPECT_GE(values, 4);  // creation's two posts, ShowInTaskbar, range, position
}

TEST_F(RealProgressBarTest, ToolkitRegistersOneNumberPerNameAndKeepsAnEarlyQuit) {
    Toolkit& toolkit = *native().toolkit;
    const std::uint32_t update = toolkit.registerWindowMessage(u"tb.Control.Update.Taskbar");
    EXPECT_GE(update, 0xC000u);
    EXPECT_LE(update, 0xFFFFu);
    EXPECT_EQ(toolkit.registerWindowMessage(u"tb.Control.Update.Taskbar"), update);
    EXPECT_EQ(toolkit.registerWindowMessage(u"TB.CONTROL.UPDATE.TASKBAR"), update);
    EXPECT_NE(toolkit.registerWindowMessage(u"Orvelle.Other.Message"), update);

    // A quit requested before the loop runs ends the loop at once with its code.
    toolkit.quitMessageLoop(7);
    EXPECT_EQ(toolkit.runMessageLoop(), 7);
}

TEST_F(RealProgressBarTest, PostedMessagesWaitForThePumpAndSentOnesArriveAtOnce) {
    struct Recorder final : WindowMessageHandler {
        void handleWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) override {
            if (message >= 0xC000) received.push_back({message, wParam, lParam});
        }
        std::vector<std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>> received;
    } recorder;
    const std::uint32_t message = native().toolkit->registerWindowMessage(u"Orvelle.Test.Post");
    const WindowHandle bar = native().controls->createControl(kProgressBarClass, host, 0,
                                                              {10, 10, 100, 20}, true, &recorder);
    ASSERT_TRUE(native().toolkit->postMessage(bar, message, 3, -4));
    EXPECT_TRUE(recorder.received.empty());
    pump(2);
    ASSERT_EQ(recorder.received.size(), 1u);
    EXPECT_EQ(recorder.received[0], std::make_tuple(message, std::uintptr_t{3}, std::intptr_t{-4}));

    send(bar, message, 5, 6);  // a sent registered message reaches the handler synchronously
    ASSERT_EQ(recorder.received.size(), 2u);
    EXPECT_EQ(std::get<1>(recorder.received[1]), 5u);

    // Messages still queued for a window destroyed meanwhile are not delivered.
    native().toolkit->postMessage(bar, message, 0, 0);
    native().controls->destroyControl(bar);
    pump(2);
    EXPECT_EQ(recorder.received.size(), 2u);
}

TEST_F(RealProgressBarTest, ShellTaskbarTakesTheMirrorsCalls) {
    const auto shell = createNativeTaskbar();
    TaskbarCreation creation = shell->createTaskbarList();
    ASSERT_GE(creation.result, 0);
    ASSERT_TRUE(creation.object);
    EXPECT_EQ(creation.object->HrInit(), 0);
    EXPECT_TRUE(creation.object->hasTaskbarList2());
    // The suite runs where a desktop session would: Wine's shell, or a session bus on Linux.
    ASSERT_TRUE(creation.object->hasTaskbarList3());
    EXPECT_EQ(creation.object->SetProgressState(host, platform::TBPF_NORMAL), 0);
    EXPECT_EQ(creation.object->SetProgressValue(host, 37, 100), 0);
    EXPECT_EQ(creation.object->SetProgressState(host, platform::TBPF_ERROR), 0);
    EXPECT_EQ(creation.object->SetProgressState(host, platform::TBPF_NOPROGRESS), 0);

    // The whole control on the real shell object: construction, mirroring, destruction.
    install<Taskbar>(shell.get());
    shell->setApplicationWindow(host);
    {
        TtbProgressBar bar(host);
        bar.setShowInTaskbar(true);
        bar.setPosition(57);
        EXPECT_NO_THROW(pump(2));
    }
    install<Taskbar>(&taskbar);
}

std::filesystem::path screenshotFolder() {
    if (const char* folder = std::getenv("ORVELLE_SCREENSHOT_DIR")) return folder;
    return ORVELLE_SCREENSHOT_DIR;
}

TEST_F(RealProgressBarTest, WindowShowsTheFourStates) {
    struct Shown {
        TtbProgressBarState state;
        int top;
    };
    const Shown shown[] = {
        {pbstMarquee, 20}, {pbstNormal, 60}, {pbstError, 100}, {pbstPaused, 140}};
    std::vector<std::unique_ptr<TtbProgressBar>> bars;
    for (const auto& [state, top] : shown) {
        auto bar = std::make_unique<TtbProgressBar>(host);
        bar->SetBounds(20, top, 320, 24);
        bar->setMarqueeEnabled(true);
        bar->setMarqueeInterval(20);
        bar->setSmooth(true);
        bar->setPosition(57);
        bar->setProgressBarState(state);
        bar->Handle();
        bars.push_back(std::move(bar));
    }
    pump(25);

    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(native().controls->captureWindow(host, width, height, pixels));
    EXPECT_EQ(width, 360);
    EXPECT_EQ(height, 200);
    std::filesystem::create_directories(screenshotFolder());
    const auto file = screenshotFolder() / ("progress-states-" ORVELLE_BACKEND_NAME ".png");
    ASSERT_TRUE(testsupport::writePng(file.string(), width, height, pixels));

    // The normal bar is filled from the left: its left end differs from its right end.
    const auto at = [&](int x, int y) {
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    };
    EXPECT_NE(at(30, 72), at(330, 72));
    for (auto& bar : bars) EXPECT_EQ(bar->Position(), 57);
}

}  // namespace
