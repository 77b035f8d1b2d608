// The platform services the program installs at start-up, and the taskbar's application window.
#pragma once

#include <memory>

#include "platform/Toolkit.h"

// Keeps the installed services alive; destroying it removes them.
class InstalledServices {
  public:
    virtual ~InstalledServices() = default;
};

std::unique_ptr<InstalledServices> InstallServices();

// Tells the taskbar which window carries the program's button (when the build has a taskbar).
void SetApplicationWindow(platform::WindowHandle window);
