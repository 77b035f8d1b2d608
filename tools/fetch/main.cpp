// orvelle-fetch's entry point: installs the platform services the engine needs and runs the tool.
#include <iostream>

#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "tools/fetch/FetchTool.h"

int main() {
    const auto system = platform::createNativeSystem();
    const auto files = platform::createNativeFiles();
    const auto http = platform::createNativeHttp();
    const auto crypto = platform::createNativeCrypto();
    platform::install(system.get());
    platform::install(crypto.get());
    platform::install(files.get());
    platform::install(http.get());
    const int status = fetchtool::run(system->commandLineArguments(), std::cerr, std::cout);
    std::cout.flush();
    std::cerr.flush();
    return status;
}
