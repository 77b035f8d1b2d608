// Makes this variant of the program trust the test publisher keys, as a build with
// ORVELLE_PUBLISHER_KEY="test-key.pem;other-key.pem" (tests/data/trust, their public halves)
// would: the current key and the next one, in place before main runs.
#include "TrustVectors.h"
#include "run/ManifestTrust.h"

namespace {

const bool keyInPlace = [] {
    static const std::string keys = trustvectors::kTestKey + trustvectors::kOtherKey;
    PublisherKey = keys;
    return true;
}();

}  // namespace
