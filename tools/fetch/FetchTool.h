// orvelle-fetch: the transfer engine on the command line, for support and for tests. It fetches
// one URL through the proxy settings given as options and writes the file whole on success.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace fetchtool {

// Runs the tool on its arguments (without the program name); progress, the lpr diagnostics and
// failure messages go to err as UTF-8. Returns the exit code: 0 success, 1 failure, 2 usage.
int run(const std::vector<std::u16string>& arguments, std::ostream& err);

}  // namespace fetchtool
