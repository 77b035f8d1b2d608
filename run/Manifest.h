// Text files as the run reads and writes them: the update manifest and the progress file.
// Bytes come from outside (a server, another program), so every read is bounds-checked.
#pragma once

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
