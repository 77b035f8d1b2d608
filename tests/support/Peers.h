// The real peers of the integration tests (scripts/services): the folder they keep their files
// in, and what a test does when its peer is missing: it skips when run by hand, and fails where
// every peer is required (ORVELLE_REQUIRE_SERVICES, as scripts/test sets it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace testpeers {

inline bool required() {
    const char* value = std::getenv("ORVELLE_REQUIRE_SERVICES");
    return value && *value;
}

#ifdef ORVELLE_SOURCE_DIR
// Where scripts/services runs the peers (ORVELLE_SERVICES_DIR, else build/services).
inline std::string servicesFolder() {
    const char* folder = std::getenv("ORVELLE_SERVICES_DIR");
    return folder ? folder : ORVELLE_SOURCE_DIR "/build/services";
}
#endif

}  // namespace testpeers

// Ends the test when `available` is false: a failure where peers are required, else a skip.
#define REQUIRE_PEER(available, what)                    \
    do {                                                 \
        if (!(available)) {                              \
            if (::testpeers::required()) FAIL() << what; \
            GTEST_SKIP() << what;                        \
        }                                                \
    } while (false)
