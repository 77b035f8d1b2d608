// Drives a progress bar with the real toolkit and the real taskbar back end through the states
// the launcher should show; launcher-mirror-test.py watches the session bus meanwhile.
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/CommonControls.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/Taskbar.h"
#include "platform/Toolkit.h"
#include "ui/tbProgressBar.h"

namespace {

void pump(platform::Toolkit& toolkit) {
    for (int i = 0; i < 5; ++i) {
        toolkit.processMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

int main() {
    const auto system = platform::createNativeSystem();
    const auto toolkit = platform::createNativeToolkit();
    const auto controls = platform::createNativeCommonControls();
    const auto taskbar = platform::createNativeTaskbar();
    platform::install(system.get());
    platform::install(toolkit.get());
    platform::install(controls.get());
    platform::install(taskbar.get());
    try {
        auto bar = std::make_unique<TtbProgressBar>();
        // The program names its main window as the taskbar entry before any progress shows;
        // here the bar's own window stands in for it.
        taskbar->setApplicationWindow(bar->Handle());
        bar->setShowInTaskbar(true);
        bar->setMax(120);
        bar->setMin(20);
        bar->setPosition(57);
        pump(*toolkit);
        bar->setProgressBarState(pbstError);
        pump(*toolkit);
        bar->setProgressBarState(pbstPaused);
        pump(*toolkit);
        bar->setMarqueeEnabled(true);
        bar->setProgressBarState(pbstMarquee);
        pump(*toolkit);
        bar->setProgressBarState(pbstNormal);
        bar->setPosition(120);
        pump(*toolkit);
        bar.reset();  // clears the launcher's progress
        pump(*toolkit);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
    std::puts("done");
    return 0;
}
