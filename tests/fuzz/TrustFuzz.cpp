// Any bytes as a detached signature and as a manifest with hash lines: the readers stay inside
// the input, accept only what they promise, and the hash lines follow the items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Registry.h"
#include "platform/System.h"
#include "run/Manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<platform::System> system = [] {
        auto native = platform::createNativeSystem();
        platform::install(native.get());
        return native;
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::string rAndS;
    if (ReadSignature(bytes, rAndS)) {
        // A P-256 DER signature is 8 to 72 bytes and always yields 64.
        if (rAndS.size() != 64 || size < 8 || size > 72 || bytes[0] != '\x30') std::abort();
    }

    std::vector<std::u16string> lines;
    TextEncoding encoding;
    ReadLines(bytes, lines, encoding);
    std::vector<tf> items;
    ItemsFromManifest(lines, true, u"T/", items);
    const std::vector<std::u16string> hashes = FileHashes(lines, items.size());
    if (hashes.size() != items.size()) std::abort();
    for (const auto& hash : hashes) {
        std::array<std::uint8_t, 32> digest{};
        if (ParseSha256(hash, digest) && hash.size() != 64) std::abort();
    }
    return 0;
}
