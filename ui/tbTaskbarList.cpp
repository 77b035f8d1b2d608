// The raising forms of the three taskbar methods the mirror calls.
#include "ui/tbTaskbarList.h"

#include "ui/tbErrors.h"

void ITaskbarList::HrInit() {
    OleCheck(object_->HrInit());
}

void ITaskbarList3::SetProgressValue(TTaskbarWindow hwnd, std::uint64_t ullCompleted,
                                     std::uint64_t ullTotal) {
    OleCheck(object_->SetProgressValue(hwnd, ullCompleted, ullTotal));
}

void ITaskbarList3::SetProgressState(TTaskbarWindow hwnd, TBPFLAG tbpFlags) {
    OleCheck(object_->SetProgressState(hwnd, tbpFlags));
}
