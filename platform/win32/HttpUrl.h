// URL splitting with WinINet, kept apart because wininet.h and winhttp.h clash in one unit.
#pragma once

#include <string>

#include "platform/Http.h"

namespace platform {

bool crackUrlWithWinInet(const std::u16string& url, UrlParts& parts);

}  // namespace platform
