// Windows: the shell's taskbar object through COM (ITaskbarList, ITaskbarList2, ITaskbarList3).
#include "platform/Taskbar.h"
// then the system headers (TBPF_* are macros there)
#include <windows.h>
// after windows.h
#include <objbase.h>
#include <shobjidl.h>

namespace platform {
namespace {

// Owns one COM interface reference.
template <class Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    Interface** put() {
        reset();
        return &pointer_;
    }
    void reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

  private:
    Interface* pointer_ = nullptr;
};

template <class Interface>
void query(IUnknown* object, REFIID iid, ComPtr<Interface>& into) {
    // A refusal leaves the reference empty; that is not an error.
    if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(into.put())))) into.reset();
}

HWND hwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

class Win32TaskbarObject final : public TaskbarObject {
  public:
    explicit Win32TaskbarObject(IUnknown* object) {
        query(object, IID_ITaskbarList, list_);
        query(object, IID_ITaskbarList2, list2_);
        query(object, IID_ITaskbarList3, list3_);
    }

    bool usable() const { return static_cast<bool>(list_); }
    bool hasTaskbarList2() override { return static_cast<bool>(list2_); }
    bool hasTaskbarList3() override { return static_cast<bool>(list3_); }

    HResult HrInit() override { return list_->HrInit(); }
    HResult AddTab(WindowHandle window) override { return list_->AddTab(hwnd(window)); }
    HResult DeleteTab(WindowHandle window) override { return list_->DeleteTab(hwnd(window)); }
    HResult ActivateTab(WindowHandle window) override { return list_->ActivateTab(hwnd(window)); }
    HResult SetActiveAlt(WindowHandle window) override { return list_->SetActiveAlt(hwnd(window)); }
    HResult MarkFullscreenWindow(WindowHandle window, bool fullscreen) override {
        if (!list2_) return E_NOINTERFACE;
        return list2_->MarkFullscreenWindow(hwnd(window), fullscreen ? TRUE : FALSE);
    }
    HResult SetProgressValue(WindowHandle window, std::uint64_t completed,
                             std::uint64_t total) override {
        if (!list3_) return E_NOINTERFACE;
        return list3_->SetProgressValue(hwnd(window), completed, total);
    }
    HResult SetProgressState(WindowHandle window, int flags) override {
        if (!list3_) return E_NOINTERFACE;
        return list3_->SetProgressState(hwnd(window), static_cast<TBPFLAG>(flags));
    }

  private:
    ComPtr<ITaskbarList> list_;
    ComPtr<ITaskbarList2> list2_;
    ComPtr<ITaskbarList3> list3_;
};

class Win32Taskbar final : public Taskbar {
  public:
    TaskbarCreation createTaskbarList() override {
        TaskbarCreation creation;
        ComPtr<IUnknown> object;
        creation.result =
            CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(object.put()));
        if (FAILED(creation.result) || !object) return creation;
        // The methods are called through a queried ITaskbarList rather than the IUnknown
        // pointer itself: COM does not promise that the two share one vtable.
        auto wrapped = std::make_unique<Win32TaskbarObject>(object.get());
        if (wrapped->usable()) creation.object = std::move(wrapped);
        return creation;
    }
};

}  // namespace

std::unique_ptr<Taskbar> createNativeTaskbar() {
    return std::make_unique<Win32Taskbar>();
}

}  // namespace platform
