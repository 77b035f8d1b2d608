// The services of the whole platform, installed by the back end's own function.
#include "app/Services.h"
#include "platform/Registry.h"
#include "platform/Taskbar.h"

std::unique_ptr<InstalledServices> InstallServices() {
    platform::installNativePlatform();
    return std::make_unique<InstalledServices>();
}

void SetApplicationWindow(platform::WindowHandle window) {
    if (platform::installed<platform::Taskbar>())
        platform::get<platform::Taskbar>().setApplicationWindow(window);
}
