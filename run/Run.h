// The download run that the main window's download button starts (its btnClick): from the
// running state through the manifest, the files and the hand-off, to the end of the process
// or back to idle.
#pragma once

#include <string>
#include <vector>

#include "run/DownloadRun.h"

// Runs the whole run; returns only when it failed or was stopped (the window is idle again).
// After a successful hand-off it asks the window to end the process with exit code 0.
void RunDownload(RunWindow& window);

// Turns the manifest lines into the files to fetch into tempFolder; false when the manifest
// has no line or its first line is not key=value.
bool ItemsFromManifest(const std::vector<std::u16string>& lines, bool withSql,
                       const std::u16string& tempFolder, std::vector<tf>& items);
