// Whether a folder, and every folder above it, is beyond the reach of other users.
#pragma once

#include <string>

namespace platform {

// True when folder (its real path, links resolved) and every folder above it up to the root are
// owned by root or by the user and, unless sticky, writable by nobody else. Only then can nobody
// else rename, swap or empty a folder on the way to what the run saves and later starts.
bool FolderChainIsSafe(const std::string& folder);

}  // namespace platform
