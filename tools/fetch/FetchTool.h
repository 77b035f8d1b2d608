// orvelle-fetch: the transfer engine on the command line, for support, tests and benchmarks. It
// fetches one URL through the proxy settings given as options into a part file that takes
// OUTFILE's name once whole; with --sha256 it prints the file's SHA-256 as a run computes it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace fetchtool {

// Runs the tool on its arguments (without the program name); progress, the lpr diagnostics and
// failure messages go to err as UTF-8, the SHA-256 line to out. Returns the exit code: 0
// success, 1 failure, 2 usage.
int run(const std::vector<std::u16string>& arguments, std::ostream& err, std::ostream& out);

}  // namespace fetchtool
