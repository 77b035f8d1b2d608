// Whether the manifest and the files it names are what the publisher released: the manifest's
// detached signature, serial and expiry when a publisher key is built in, and each file's
// SHA-256 and size lines.
#pragma once

#include <string>
#include <string_view>

#include "platform/Crypto.h"
#include "platform/Files.h"
#include "run/DownloadRun.h"

// The publisher's ECDSA P-256 public keys built into this program (each an uncompressed point of
// 65 bytes, one after the other: the current key and, while a publisher moves to a new one, the
// next), or empty. Process-wide, constant-initialised from the build setting
// ORVELLE_PUBLISHER_KEY, so in place before any code runs (tests put their own keys here).
extern std::string_view PublisherKey;

// With a publisher key: fetches the manifest's signature by the manifest's own scheme and host
// and checks it over manifestBytes; a signature by any of the keys vouches. A failure is shown
// (failure 14, or the stop) and clears RunOk. Without a key there is nothing to check.
void VerifyManifest(DownloadRun& run, const std::string& manifestBytes);

// Takes each item's hash and size lines from the manifest's lines, before any file is fetched.
// A line that does not parse exactly is failure 14 in every build. With a publisher key every
// item must have both (the signature covers the files only through them) and the manifest a
// serial and an expires line (failure 14 otherwise); a manifest expired more than a day ago or
// older than one this user accepted before is failure 15.
void TakeManifestLines(DownloadRun& run);

// The manifest and its signature are small: a larger answer is refused as it arrives (failure 16).
constexpr std::uint64_t kManifestCap = 64 * 1024;
constexpr std::uint64_t kSignatureCap = 1024;
constexpr std::int32_t kTooLarge = 16;
// Caps the run's transfers for as long as it lives.
class CappedAnswer {
  public:
    CappedAnswer(DownloadRun& run, std::uint64_t bytes);
    ~CappedAnswer();
    CappedAnswer(const CappedAnswer&) = delete;
    CappedAnswer& operator=(const CappedAnswer&) = delete;

  private:
    DownloadRun& run_;
};

// The cap of the item at run.index: its size line, if it has one; an answer that announces or
// brings more is failure 13.
DownloadRun::Cap FileCap(const DownloadRun& run);

// After the run's files were verified: keeps the manifest's serial as the highest this user has
// accepted, so that no older manifest is taken again.
void RememberManifestSerial(const DownloadRun& run);

// Compares the SHA-256 of the item at run.index, just received, with its hash line, if it has
// one. A mismatch is failure 13 and clears RunOk; the bytes must then never be saved.
void VerifyFile(DownloadRun& run, const platform::Crypto::Sha256Digest& actual);

// A file opened with Files::openToStart, so that it cannot change until it is let go.
class HeldFile {
  public:
    HeldFile() = default;
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void release();

    platform::Files::Handle handle = platform::Files::kInvalid;
};

// Right before the product installer (the first item) is started: opens it to start, hashes it
// once more against its hash line and keeps it held. A file that changed since it was verified,
// or was replaced, is failure 13 and clears RunOk. Without a hash line there is nothing to check.
void HoldVerifiedInstaller(DownloadRun& run, HeldFile& held);
