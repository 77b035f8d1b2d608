// The two system calls the Windows process starter makes, replaceable so that a test can give
// the answers Wine never gives (elevation required, the user declining the consent prompt).
#pragma once

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <memory>

#include "platform/Processes.h"

namespace platform {

struct ProcessCalls {
    decltype(&CreateProcessW) createProcess = &CreateProcessW;
    decltype(&ShellExecuteExW) shellExecute = &ShellExecuteExW;
};

// What createNativeProcesses gives, making its calls through `calls`.
std::unique_ptr<Processes> createWindowsProcesses(const ProcessCalls& calls);

}  // namespace platform
