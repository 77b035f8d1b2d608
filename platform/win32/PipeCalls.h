// The two system calls that open the local channel's named pipe, replaceable so that a test can
// see how the pipe is opened (Wine reports the same impersonation level whatever the client
// asks) and play a server whose instances stay busy.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/Sockets.h"

namespace platform {

struct PipeCalls {
    decltype(&CreateFileA) createFile = &CreateFileA;
    decltype(&WaitNamedPipeA) waitNamedPipe = &WaitNamedPipeA;
};

// What createNativeSockets gives, opening the pipe through `calls`.
std::unique_ptr<Sockets> createWindowsSockets(const PipeCalls& calls);

}  // namespace platform
