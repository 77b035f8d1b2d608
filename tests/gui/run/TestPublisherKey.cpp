// Makes this variant of the program trust the test publisher key, as a build with
// ORVELLE_PUBLISHER_KEY=tests/data/trust/test-key.pem's public half would: the key is in place
// before main runs.
#include "TrustVectors.h"
#include "run/ManifestTrust.h"

namespace {

const bool keyInPlace = [] {
    static const std::string key = trustvectors::kTestKey;
    PublisherKey = key;
    return true;
}();

}  // namespace
