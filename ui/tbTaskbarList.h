// The shell's taskbar interfaces ITaskbarList, ITaskbarList2 and ITaskbarList3 as the program
// sees them, methods in the platform's order. HrInit, SetProgressValue and SetProgressState
// raise EOleSysError for a failing result; the others return the result code. The tab and
// thumbnail methods that follow SetProgressState in ITaskbarList3 are not declared: nothing
// here uses them.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Taskbar.h"

constexpr char16_t CLSID_TaskbarList[] = u"{56FDF344-FD6D-11D0-958A-006097C9A090}";
constexpr char16_t IID_ITaskbarList2[] = u"{602D4995-B13A-429B-A66E-1935E44F4317}";
constexpr char16_t IID_ITaskbarList3[] = u"{EA1AFB91-9E28-4B86-90E9-9E9F8A5EEFAF}";

using HRESULT_T = std::int32_t;
using TTaskbarWindow = platform::WindowHandle;

enum TBPFLAG : int {
    TBPF_NOPROGRESS = platform::TBPF_NOPROGRESS,
    TBPF_INDETERMINATE = platform::TBPF_INDETERMINATE,
    TBPF_NORMAL = platform::TBPF_NORMAL,
    TBPF_ERROR = platform::TBPF_ERROR,
    TBPF_PAUSED = platform::TBPF_PAUSED,
};

class ITaskbarList {
  public:
    explicit ITaskbarList(std::shared_ptr<platform::TaskbarObject> object)
        : object_(std::move(object)) {}
    virtual ~ITaskbarList() = default;

    void HrInit();
    HRESULT_T AddTab(TTaskbarWindow hwnd) { return object_->AddTab(hwnd); }
    HRESULT_T DeleteTab(TTaskbarWindow hwnd) { return object_->DeleteTab(hwnd); }
    HRESULT_T ActivateTab(TTaskbarWindow hwnd) { return object_->ActivateTab(hwnd); }
    HRESULT_T SetActiveAlt(TTaskbarWindow hwnd) { return object_->SetActiveAlt(hwnd); }

  protected:
    std::shared_ptr<platform::TaskbarObject> object_;
};

class ITaskbarList2 : public ITaskbarList {
  public:
    using ITaskbarList::ITaskbarList;
    HRESULT_T MarkFullscreenWindow(TTaskbarWindow hwnd, bool fFullscreen) {
        return object_->MarkFullscreenWindow(hwnd, fFullscreen);
    }
};

class ITaskbarList3 : public ITaskbarList2 {
  public:
    using ITaskbarList2::ITaskbarList2;
    void SetProgressValue(TTaskbarWindow hwnd, std::uint64_t ullCompleted, std::uint64_t ullTotal);
    void SetProgressState(TTaskbarWindow hwnd, TBPFLAG tbpFlags);
};
