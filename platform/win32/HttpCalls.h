// The one WinHTTP call of the Windows back end a test replaces: setting an option on a new
// session, so that a system refusing the protocol option (older Windows) can be played.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <winhttp.h>

#include <memory>

#include "platform/Http.h"

namespace platform {

struct HttpCalls {
    decltype(&WinHttpSetOption) setSessionOption = &WinHttpSetOption;
};

// What createNativeHttp gives, setting the options of its sessions through `calls`.
std::unique_ptr<Http> createWindowsHttp(const HttpCalls& calls);

}  // namespace platform
