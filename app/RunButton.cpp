#include "app/Unit1.h"
#include "run/Run.h"

void StartDownloadRun(RunWindow& window) {
    RunDownload(window);
}
