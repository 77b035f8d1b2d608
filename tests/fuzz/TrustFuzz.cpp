// Any bytes as a detached signature and as a manifest with hash, size, serial and expires lines:
// the readers stay inside the input, accept only what they promise, and the item lines follow
// the items.
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
    const auto hashes = ItemLines(lines, items.size(), u"sha256", u"sql.sha256");
    const auto sizes = ItemLines(lines, items.size(), u"size", u"sql.size");
    if (hashes.size() != items.size() || sizes.size() != items.size()) std::abort();
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::array<std::uint8_t, 32> digest{};
        std::uint64_t bytes = 0;
        if ((hashes[i] && ParseSha256(*hashes[i], digest) && hashes[i]->size() != 64) ||
            (sizes[i] && ParseSize(*sizes[i], bytes) && bytes >> 63))
            std::abort();
    }
    for (const auto& line : lines) {
        const std::u16string_view value = std::u16string_view(line).substr(line.find(u'=') + 1);
        std::uint64_t serial = 0;
        std::int64_t expires = 0;
        if ((ParseSerial(value, serial) && serial == 0) ||
            (ParseExpiry(value, expires) && (value.size() != 20 || expires > 253402300799)))
            std::abort();
    }
    return 0;
}
