// orvelle-sql: reads its command line, runs the statements and commands through TMysqlClient in
// the order given and writes batch output (tab-separated values, one row per line).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sqlcli {

// Runs the tool with `arguments` (without the program name). Results go to `out`, failures as
// "ERROR <number>: <text>" to `err`. Exit code: 0 success, 1 a failed operation, 2 bad usage.
int run(const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sqlcli
