// Text files as the run reads and writes them: the update manifest and the progress file.
// Bytes come from outside (a server, another program), so every read is bounds-checked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/DownloadRun.h"

// Decodes bytes as a text file (a byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE and is
// dropped; without one the system's ANSI code page) and splits it into lines ending with CR LF,
// LF or CR. A text that ends with a line break has no empty last line; no bytes, no lines.
void ReadLines(std::string_view bytes, std::vector<std::u16string>& lines, TextEncoding& encoding);

// Encodes lines, each ending with CR LF, with the byte-order mark of encoding (none for ANSI).
std::string WriteLines(const std::vector<std::u16string>& lines, TextEncoding encoding);

// key=value: the key is the text before the first "=", the value everything after it, both as
// they stand. False for a line without "=".
bool SplitKeyValue(const std::u16string& line, std::u16string& key, std::u16string& value);

// The value of the first line whose key equals key without regard to (ASCII) case.
bool FindValue(const std::vector<std::u16string>& lines, std::u16string_view key,
               std::u16string& value);

// Turns the manifest lines into the files to fetch into tempFolder; false when the manifest
// has no line or its first line is not key=value.
bool ItemsFromManifest(const std::vector<std::u16string>& lines, bool withSql,
                       const std::u16string& tempFolder, std::vector<tf>& items);

// Per item of ItemsFromManifest, the value of its line: installerKey for the installer,
// sqlKey for the MySQL installer, looked up after the first line as other keys are (the first
// line is the installer's own); nothing where there is no such line. Older downloaders ignore
// these lines.
std::vector<std::optional<std::u16string>> ItemLines(const std::vector<std::u16string>& lines,
                                                     std::size_t itemCount,
                                                     std::u16string_view installerKey,
                                                     std::u16string_view sqlKey);

// A hash line's value: exactly 64 hexadecimal digits (either case), nothing else.
bool ParseSha256(std::u16string_view hex, std::array<std::uint8_t, 32>& digest);

// A size line's value in bytes: decimal digits only, without a leading zero (but "0"), at most
// 2^63-1, nothing else.
bool ParseSize(std::u16string_view text, std::uint64_t& bytes);
// A serial line's value: written as a size, 1 to 2^63-1.
bool ParseSerial(std::u16string_view text, std::uint64_t& serial);
// An expires line's value: exactly YYYY-MM-DDTHH:MM:SSZ, a real date and time in UTC, as seconds
// since 1970-01-01T00:00:00Z.
bool ParseExpiry(std::u16string_view text, std::int64_t& unixSeconds);

// A detached ECDSA P-256 signature as openssl writes it (DER: a SEQUENCE of the INTEGERs r and
// s) turned into r and s of 32 bytes each, as the platform's verifier takes them. Strict DER:
// anything else (long or non-minimal lengths, a negative or oversized number, trailing bytes)
// is no signature.
bool ReadSignature(std::string_view der, std::string& rAndS);
