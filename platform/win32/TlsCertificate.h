// The server certificate checks of the Schannel TLS client: the chain against a CA file (or
// the system's roots) and the host name or address, done by us so that a CA file works without
// touching the user's certificate stores.
#pragma once

#include <windows.h>
// windows.h first: wincrypt.h needs its types.
#include <wincrypt.h>

#include <string>

#include "platform/Tls.h"

namespace platform::schannel {

// True when `certificate` passes the checks `options` asks for; else false with the reason.
bool checkServerCertificate(PCCERT_CONTEXT certificate, const Tls::Options& options,
                            std::string& error);

}  // namespace platform::schannel
