// Built only while the program has no download run: the button then does nothing.
#include "app/Unit1.h"

void StartDownloadRun(RunWindow&) {}
