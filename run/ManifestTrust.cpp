#include "run/ManifestTrust.h"

#include <array>
#include <cstdint>

#include "net/HttpGet.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"
#include "run/Manifest.h"
#include "run/RunPaths.h"
#include "settings/ProxySettings.h"

namespace {

#ifndef ORVELLE_PUBLISHER_KEY_HEX
#define ORVELLE_PUBLISHER_KEY_HEX ""
#endif

// The build gives the key as hexadecimal text, checked by CMake; decoded at compile time so
// that the key is in place before any initialisation code runs.
constexpr std::string_view kBuiltInKeyHex = ORVELLE_PUBLISHER_KEY_HEX;
constexpr auto kBuiltInKey = [] {
    std::array<char, kBuiltInKeyHex.size() / 2> key{};
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<char>(nibble(kBuiltInKeyHex[2 * i]) << 4 |
                                   nibble(kBuiltInKeyHex[2 * i + 1]));
    return key;
}();
static_assert(kBuiltInKey.size() == 0 ||
              kBuiltInKey.size() == platform::Crypto::kP256PublicKeySize);

const char16_t kManifestNotVouched[] =
    u"Не вдалося отримати дані (14). Список файлів не підтверджено видавцем.";
const char16_t kFileAltered[] = u"Не вдалося отримати дані (13). Файл пошкоджено або підмінено.";

void refuse(DownloadRun& run, const char16_t* message) {
    run.window.showMessage(message);
    run.RunOk = false;
}

}  // namespace

constinit std::string_view PublisherKey{kBuiltInKey.data(), kBuiltInKey.size()};

void VerifyManifest(DownloadRun& run, const std::string& manifestBytes) {
    if (PublisherKey.empty() || !run.RunOk) return;
    // Quietly: a missing signature is reported as what it means, not as a transfer failure.
    HttpGet(run, ApplyScheme(ManifestUrl() + u".sig", run.UseHttps), false, false);
    if (!run.RunOk) {
        // A stop was already reported by the transfer.
        if (!StopRequested) refuse(run, kManifestNotVouched);
        return;
    }
    std::string signature;
    if (!ReadSignature(run.stream, signature) ||
        !platform::get<platform::Crypto>().verifyP256Sha256(PublisherKey, manifestBytes,
                                                            signature)) {
        refuse(run, kManifestNotVouched);
        return;
    }
    run.stream = manifestBytes;
}

void TakeFileHashes(DownloadRun& run) {
    if (!run.RunOk) return;
    run.fileHashes = FileHashes(run.lines, run.items.size());
    if (PublisherKey.empty()) return;
    for (const std::u16string& hash : run.fileHashes) {
        if (hash.empty()) {
            refuse(run, kManifestNotVouched);
            return;
        }
    }
}

void VerifyFile(DownloadRun& run, const platform::Crypto::Sha256Digest& actual) {
    const auto index = static_cast<std::size_t>(run.index);
    if (!run.RunOk || index >= run.fileHashes.size() || run.fileHashes[index].empty()) return;
    std::array<std::uint8_t, 32> expected{};
    if (!ParseSha256(run.fileHashes[index], expected) || actual != expected)
        refuse(run, kFileAltered);
}
