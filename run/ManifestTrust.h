// Whether the manifest and the files it names are what the publisher released: the manifest's
// detached signature when a publisher key is built in, and each file's SHA-256 line.
#pragma once

#include <string>
#include <string_view>

#include "platform/Crypto.h"
#include "run/DownloadRun.h"

// The publisher's ECDSA P-256 public key (an uncompressed point, 65 bytes) built into this
// program, or empty. Process-wide, constant-initialised from the build setting
// ORVELLE_PUBLISHER_KEY, so in place before any code runs (tests put their own key here).
extern std::string_view PublisherKey;

// With a publisher key: fetches the manifest's signature by the manifest's own scheme and host
// and checks it over manifestBytes. A failure is shown (failure 14, or the stop) and clears
// RunOk. Without a key there is nothing to check.
void VerifyManifest(DownloadRun& run, const std::string& manifestBytes);

// Takes each item's hash line from the manifest's lines. With a publisher key every item must
// have one (failure 14 otherwise): the signature covers the files only through those lines.
void TakeFileHashes(DownloadRun& run);

// Compares the SHA-256 of the item at run.index, just received, with its hash line, if it has
// one. A mismatch is failure 13 and clears RunOk; the bytes must then never be saved.
void VerifyFile(DownloadRun& run, const platform::Crypto::Sha256Digest& actual);
