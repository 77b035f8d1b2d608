// Handing the downloaded product installer over: started directly with the proxy settings on
// its command line, or, for an update, run by the product's monitor service while the progress
// file is followed.
#pragma once

#include <cstdint>
#include <string>

#include "run/DownloadRun.h"
#include "run/ManifestTrust.h"
#include "settings/ProxySettings.h"

// "/proxy=<mode> /host=<host> /port=<port> /plogin=<login> /ppass=<password>"; a value with a
// blank or a double quote is quoted by the Windows command-line rules so it stays one argument.
std::u16string InstallerArgs(const TProxySettings& settings);

// Makes a query value arrive as it is: "%", "&", "+" and "#" would otherwise change the query's
// meaning on the way. Blanks and double quotes are left to the platform's own escaping.
std::u16string EscapeQueryValue(const std::u16string& value);

// The monitor service request for running installerPath silently with installerArgs.
std::u16string MonitorRequestUrl(std::int32_t monitorPort, const std::u16string& installerArgs,
                                 const std::u16string& logFile,
                                 const std::u16string& installerPath);

// Starts program + arguments in the program's folder; on failure shows
// "Не вдалося встановити (1)." with the system text and clears RunOk. Without quoteProgram,
// program is a whole command line (the monitor program's, as the installation wrote it).
bool StartProcess(DownloadRun& run, const std::u16string& program, const std::u16string& arguments,
                  bool quoteProgram);

// Runs with RunOk true and at least one item; its outcome is RunOk.
void HandOff(DownloadRun& run, std::u16string installerArgs);

// The silent update through the monitor service (update mode with quick install); the installer
// stays held until the service has answered.
void SilentUpdate(DownloadRun& run, const std::u16string& installerArgs, HeldFile& installer);

inline constexpr std::uint64_t kProgressWaitMilliseconds = 300000;
inline constexpr std::uint32_t kProgressPollMilliseconds = 100;
