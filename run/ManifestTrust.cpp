#include "run/ManifestTrust.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "net/HttpGet.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"
#include "platform/UserState.h"
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
              kBuiltInKey.size() == platform::Crypto::kP256PublicKeySize ||
              kBuiltInKey.size() == 2 * platform::Crypto::kP256PublicKeySize);

// A manifest is still taken for this long after its expiry: a grace for clocks set wrong.
constexpr std::int64_t kExpiryGraceSeconds = 24 * 60 * 60;

const char16_t kManifestNotVouched[] =
    u"Не вдалося отримати дані (14). Список файлів не підтверджено видавцем.";
const char16_t kFileAltered[] = u"Не вдалося отримати дані (13). Файл пошкоджено або підмінено.";
const char16_t kManifestStale[] = u"Не вдалося отримати дані (15). Список файлів застарів.";

void refuse(DownloadRun& run, const char16_t* message) {
    run.window.showMessage(message);
    run.RunOk = false;
}

bool signedByPublisher(std::string_view manifestBytes, std::string_view signature) {
    auto& crypto = platform::get<platform::Crypto>();
    constexpr std::size_t kKeySize = platform::Crypto::kP256PublicKeySize;
    for (std::size_t at = 0; at + kKeySize <= PublisherKey.size(); at += kKeySize) {
        if (crypto.verifyP256Sha256(PublisherKey.substr(at, kKeySize), manifestBytes, signature))
            return true;
    }
    return false;
}

// The serial and expires lines (after the first line, as other keys): both must parse exactly.
// The manifest must not be older than what this user accepted, nor expired beyond the grace.
void checkFreshness(DownloadRun& run) {
    const std::vector<std::u16string> rest(run.lines.begin() + 1, run.lines.end());
    std::u16string serialText;
    std::u16string expiresText;
    std::uint64_t serial = 0;
    std::int64_t expires = 0;
    if (!FindValue(rest, u"serial", serialText) || !ParseSerial(serialText, serial) ||
        !FindValue(rest, u"expires", expiresText) || !ParseExpiry(expiresText, expires)) {
        refuse(run, kManifestNotVouched);
        return;
    }
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    const auto highest = platform::get<platform::UserState>().highestSerial();
    if (now - kExpiryGraceSeconds > expires || (highest && serial < *highest)) {
        refuse(run, kManifestStale);
        return;
    }
    run.manifestSerial = serial;
}

}  // namespace

constinit std::string_view PublisherKey{kBuiltInKey.data(), kBuiltInKey.size()};

void VerifyManifest(DownloadRun& run, const std::string& manifestBytes) {
    if (PublisherKey.empty() || !run.RunOk) return;
    // Quietly: a missing signature is reported as what it means, not as a transfer failure.
    {
        const CappedAnswer capped(run, kSignatureCap);
        HttpGet(run, ApplyScheme(ManifestUrl() + u".sig", run.UseHttps), false, false);
    }
    if (!run.RunOk) {
        // A stop, or an answer too large, was already reported by the transfer.
        if (!StopRequested && run.failure != kTooLarge) refuse(run, kManifestNotVouched);
        return;
    }
    std::string signature;
    if (!ReadSignature(run.stream, signature) || !signedByPublisher(manifestBytes, signature)) {
        refuse(run, kManifestNotVouched);
        return;
    }
    run.stream = manifestBytes;
}

CappedAnswer::CappedAnswer(DownloadRun& run, std::uint64_t bytes) : run_(run) {
    run_.cap = {bytes, kTooLarge, u"Не вдалося отримати дані (16). Відповідь сервера завелика."};
}

CappedAnswer::~CappedAnswer() {
    run_.cap = {};
}

DownloadRun::Cap FileCap(const DownloadRun& run) {
    const auto index = static_cast<std::size_t>(run.index);
    if (index >= run.fileSizes.size() || !run.fileSizes[index]) return {};
    return {*run.fileSizes[index], 13, kFileAltered};
}

void TakeManifestLines(DownloadRun& run) {
    if (!run.RunOk) return;
    const std::size_t count = run.items.size();
    const auto hashes = ItemLines(run.lines, count, u"sha256", u"sql.sha256");
    const auto sizes = ItemLines(run.lines, count, u"size", u"sql.size");
    const bool keyed = !PublisherKey.empty();
    run.fileHashes.assign(count, {});
    run.fileSizes.assign(count, std::nullopt);
    for (std::size_t i = 0; i < count; ++i) {
        std::array<std::uint8_t, 32> digest{};
        std::uint64_t size = 0;
        // A line the run cannot read is a fault of the manifest, found before any file comes.
        if ((hashes[i] && !ParseSha256(*hashes[i], digest)) ||
            (sizes[i] && !ParseSize(*sizes[i], size)) || (keyed && (!hashes[i] || !sizes[i]))) {
            refuse(run, kManifestNotVouched);
            return;
        }
        if (hashes[i]) run.fileHashes[i] = *hashes[i];
        if (sizes[i]) run.fileSizes[i] = size;
    }
    // Without a key a serial or expiry means nothing: anyone on the way could change them.
    if (keyed) checkFreshness(run);
}

void RememberManifestSerial(const DownloadRun& run) {
    if (!run.RunOk || run.manifestSerial == 0) return;
    auto& state = platform::get<platform::UserState>();
    const auto highest = state.highestSerial();
    if (highest && *highest >= run.manifestSerial) return;
    // A serial that cannot be kept costs only the next run's rollback check; the files the
    // user asked for are whole and verified, so the run goes on.
    int error = 0;
    state.storeHighestSerial(run.manifestSerial, error);
}

void VerifyFile(DownloadRun& run, const platform::Crypto::Sha256Digest& actual) {
    const auto index = static_cast<std::size_t>(run.index);
    if (!run.RunOk || index >= run.fileHashes.size() || run.fileHashes[index].empty()) return;
    std::array<std::uint8_t, 32> expected{};
    if (!ParseSha256(run.fileHashes[index], expected) || actual != expected)
        refuse(run, kFileAltered);
}

namespace {

// The SHA-256 of what is left to read of the file, read in pieces: an installer of any size.
bool hashToEnd(platform::Files& files, platform::Files::Handle file,
               platform::Crypto::Sha256Digest& digest) {
    const auto hash = platform::get<platform::Crypto>().startSha256();
    if (!hash) return false;
    constexpr int kPiece = 1 << 20;
    std::vector<char> piece(kPiece);
    int error = 0;
    for (;;) {
        const int got = files.read(file, piece.data(), kPiece, error);
        if (got < 0) return false;
        if (got == 0) return hash->finish(digest);
        hash->update(piece.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace

void HeldFile::release() {
    if (handle != platform::Files::kInvalid) platform::get<platform::Files>().close(handle);
    handle = platform::Files::kInvalid;
}

void HoldVerifiedInstaller(DownloadRun& run, HeldFile& held) {
    if (!run.RunOk || run.items.empty() || run.fileHashes.empty() || run.fileHashes[0].empty())
        return;
    auto& files = platform::get<platform::Files>();
    const std::u16string& path = run.items.front().name;
    int error = 0;
    held.handle = files.openToStart(path, error);
    std::array<std::uint8_t, 32> expected{};
    platform::Crypto::Sha256Digest actual{};
    if (held.handle == platform::Files::kInvalid || !hashToEnd(files, held.handle, actual) ||
        !ParseSha256(run.fileHashes[0], expected) || actual != expected ||
        !files.stillNames(held.handle, path)) {
        held.release();
        refuse(run, kFileAltered);
    }
}
