#include "platform/linux/FilesFolderChain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {

bool FolderChainIsSafe(const std::string& folder) {
    char resolved[PATH_MAX];
    if (!::realpath(folder.c_str(), resolved)) return false;
    std::string path = resolved;
    for (;;) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
        const bool trustedOwner = info.st_uid == 0 || info.st_uid == ::geteuid();
        const bool othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        // In a sticky folder (like /tmp) others may add their own entries but never move ours.
        if (!trustedOwner || (othersMayWrite && !(info.st_mode & S_ISVTX))) return false;
        if (path == "/") return true;
        const std::size_t slash = path.find_last_of('/');
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

}  // namespace platform
