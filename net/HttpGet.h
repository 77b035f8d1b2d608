// HttpGet: fetches one URL into the current download run's stream over the network path that
// ProxySettings selects, resuming broken transfers with byte ranges, moving the progress bar,
// honouring the stop button and reporting each kind of failure as a numbered message.
#pragma once

#include <string>

#include "run/DownloadRun.h"

void HttpGet(DownloadRun& run, const std::u16string& url, bool showProgress, bool showErrors);
