// The download run that the main window's download button starts (its btnClick): from the
// running state through the manifest, the files and the hand-off, to the end of the process
// or back to idle.
#pragma once

#include "run/DownloadRun.h"

// Runs the whole run; returns only when it failed or was stopped (the window is idle again).
// After a successful hand-off it asks the window to end the process with exit code 0.
void RunDownload(RunWindow& window);
