// Test entry point: the real System and Files are installed for every suite (they have no
// side effects of their own); suites install fakes of the other services themselves.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const auto system = platform::createNativeSystem();
    const auto files = platform::createNativeFiles();
    platform::install(system.get());
    platform::install(files.get());
    return RUN_ALL_TESTS();
}
