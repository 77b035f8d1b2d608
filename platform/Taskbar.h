// The shell's taskbar object (CLSID_TaskbarList) behind ITaskbarList/ITaskbarList2/ITaskbarList3:
// the program addresses a top-level window's taskbar button and sets its progress state and
// value. Results are HRESULTs (negative = failure), as the shell's own.
//
// Linux mirrors onto the launcher through the D-Bus signal com.canonical.Unity.LauncherEntry
// Update for "application://orvelle-downloader.desktop" on the session bus (KDE Plasma, GNOME
// docks). One launcher entry exists per application, so the entry window only matters on
// Windows. The states map as follows:
//   TBPF_NOPROGRESS    progress-visible false, urgent false
//   TBPF_INDETERMINATE progress-visible false, urgent false (the launcher has no animation)
//   TBPF_NORMAL        progress-visible true,  progress = completed/total, urgent false
//   TBPF_ERROR         progress-visible true,  progress = completed/total, urgent true
//   TBPF_PAUSED        progress-visible true,  progress = completed/total, urgent false
// As on Windows, SetProgressValue in the no-progress or indeterminate state switches to normal;
// progress is clamped into 0..1 and is 0 for a total of 0. Without a session bus the object
// offers no ITaskbarList3, which is how Windows before 7 behaves.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Toolkit.h"

namespace platform {

using HResult = std::int32_t;
constexpr HResult S_OK_RESULT = 0;

constexpr int TBPF_NOPROGRESS = 0;
constexpr int TBPF_INDETERMINATE = 1;
constexpr int TBPF_NORMAL = 2;
constexpr int TBPF_ERROR = 4;
constexpr int TBPF_PAUSED = 8;

// One instance of the shell's taskbar object.
class TaskbarObject {
  public:
    virtual ~TaskbarObject() = default;

    // Whether the object answered the query for ITaskbarList2 / ITaskbarList3.
    virtual bool hasTaskbarList2() = 0;
    virtual bool hasTaskbarList3() = 0;

    // ITaskbarList
    virtual HResult HrInit() = 0;
    virtual HResult AddTab(WindowHandle window) = 0;
    virtual HResult DeleteTab(WindowHandle window) = 0;
    virtual HResult ActivateTab(WindowHandle window) = 0;
    virtual HResult SetActiveAlt(WindowHandle window) = 0;
    // ITaskbarList2
    virtual HResult MarkFullscreenWindow(WindowHandle window, bool fullscreen) = 0;
    // ITaskbarList3 (only when hasTaskbarList3)
    virtual HResult SetProgressValue(WindowHandle window, std::uint64_t completed,
                                     std::uint64_t total) = 0;
    virtual HResult SetProgressState(WindowHandle window, int flags) = 0;
};

struct TaskbarCreation {
    HResult result = 0;                     // of the object-creation call
    std::unique_ptr<TaskbarObject> object;  // may be empty even on success
};

class Taskbar {
  public:
    virtual ~Taskbar() = default;

    // CoCreateInstance(CLSID_TaskbarList, no aggregation, CLSCTX_INPROC_SERVER |
    // CLSCTX_LOCAL_SERVER, IID_IUnknown).
    virtual TaskbarCreation createTaskbarList() = 0;

    // The window that represents the application on the taskbar (the one owning the program's
    // button); the program sets it once its main window exists. The same on every back end.
    virtual WindowHandle applicationWindow() { return applicationWindow_; }
    virtual void setApplicationWindow(WindowHandle window) { applicationWindow_ = window; }

  private:
    WindowHandle applicationWindow_ = kNoWindow;
};

std::unique_ptr<Taskbar> createNativeTaskbar();

}  // namespace platform
