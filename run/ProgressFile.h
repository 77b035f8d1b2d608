// The progress file Orvelle_Install.ini that an update installation keeps up to date in the
// program folder: writing its first state, reading it without sharing, and finding the newest
// usable value in it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "run/DownloadRun.h"

inline constexpr std::u16string_view kProgressKey = u"Orvelle_Install";
inline constexpr std::u16string_view kMonitorProgram = u"ORVL_Monitor.exe";
// A progress file is two short lines; anything beyond this is not one and is not read.
inline constexpr std::size_t kMaxProgressFileBytes = 1u << 20;

std::u16string ProgressFilePath();  // program folder + "Orvelle_Install.ini"
std::u16string LogFilePath();       // program folder + "Orvelle_Install.log"

// "[Update]" and "Orvelle_Install=0", each ending with CR LF, in encoding; replaces the file.
bool WriteProgressFile(const std::u16string& path, TextEncoding encoding,
                       std::u16string& errorText);

// Reads the whole file, opened so that nobody else may open it meanwhile. False (and no lines)
// when it cannot be opened or read, or is larger than kMaxProgressFileBytes.
bool ReadProgressFile(const std::u16string& path, std::vector<std::u16string>& lines);

struct ProgressReading {
    enum Kind { Nothing, Number, MonitorPath } kind = Nothing;
    std::int32_t number = 0;
    std::u16string monitorPath;
};

// Scans from the last line to the first for a line holding the key; its value is what follows
// the key and one more character (the "="). A value naming the monitor program or an integer
// ends the scan; afterPassedLine runs after every other line.
ProgressReading ScanProgress(const std::vector<std::u16string>& lines,
                             const std::function<void()>& afterPassedLine);
