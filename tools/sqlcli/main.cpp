// orvelle-sql's entry point: installs the platform services the client needs and runs the tool.
#include <iostream>

#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "platform/Tls.h"
#include "tools/sqlcli/SqlCli.h"

int main() {
    const auto system = platform::createNativeSystem();
    const auto files = platform::createNativeFiles();
    const auto sockets = platform::createNativeSockets();
    const auto crypto = platform::createNativeCrypto();
    const auto tls = platform::createNativeTls();
    platform::install(system.get());
    platform::install(files.get());
    platform::install(sockets.get());
    platform::install(crypto.get());
    platform::install(tls.get());
    std::ios::sync_with_stdio(false);
    const int status = sqlcli::run(system->commandLineArguments(), std::cout, std::cerr);
    std::cout.flush();
    return status;
}
