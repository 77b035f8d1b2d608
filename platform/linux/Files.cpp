// Linux files: POSIX calls; an exclusive read takes a non-blocking flock, the nearest thing to
// Windows' share mode 0. The temporary folder is one only the user can reach: the shared /tmp
// would let anyone plant a link or a file under the names the run writes and then starts.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Text.h"
#include "platform/linux/FilesFolderChain.h"

namespace platform {
namespace {

std::u16string reasonText(int error) {
    return text::fromUtf8(std::string(std::strerror(error)) + ".");
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

// Ours, a real folder (not a link to one) and closed to everybody else.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Our own folder of that name, closed to others if it was not; false when it is missing, a
// link, not a folder or someone else's.
bool claimOwnFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const bool ours = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
                      ((info.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    return ours;
}

bool writeAll(int fd, const std::string& bytes, int& error) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the bytes to the file just opened and closes it; a write cut short removes the file, so
// that a truncated installer never stays behind looking whole.
bool writeAndClose(int fd, const std::string& name, const std::string& bytes,
                   std::u16string& errorText) {
    int error = 0;
    bool ok = writeAll(fd, bytes, error);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return true;
    ::unlink(name.c_str());
    errorText = reasonText(error);
    return false;
}

class LinuxFiles final : public Files {
  public:
    Handle openRead(const std::u16string& path, bool exclusive, int& error) override {
        const int fd = ::open(text::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return kInvalid;
        }
        if (exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            ::close(fd);
            return kInvalid;
        }
        return fd;
    }

    int read(Handle file, void* buffer, int size, int& error) override {
        for (;;) {
            const ssize_t n = ::read(static_cast<int>(file), buffer, static_cast<size_t>(size));
            if (n >= 0) return static_cast<int>(n);
            if (errno == EINTR) continue;
            error = errno;
            return -1;
        }
    }

    void close(Handle file) override {
        if (file != kInvalid) ::close(static_cast<int>(file));
    }

    Handle openToStart(const std::u16string& path, int& error) override {
        const int fd = ::open(text::toUtf8(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return kInvalid;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            error = EPERM;
            ::close(fd);
            return kInvalid;
        }
        return fd;
    }

    bool stillNames(Handle file, const std::u16string& path) override {
        struct stat open {};
        struct stat named {};
        return ::fstat(static_cast<int>(file), &open) == 0 &&
               ::lstat(text::toUtf8(path).c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
               open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    }

    bool writeWhole(const std::u16string& path, const std::string& bytes,
                    std::u16string& errorText) override {
        const std::string name = text::toUtf8(path);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            errorText = u"Cannot create file \"" + path + u"\". " + reasonText(errno);
            return false;
        }
        return writeAndClose(fd, name, bytes, errorText);
    }

    bool writeNew(const std::u16string& path, const std::string& bytes,
                  std::u16string& errorText) override {
        const std::string name = text::toUtf8(path);
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            errorText = u"Cannot create file \"" + path + u"\". " + reasonText(errno);
            return false;
        }
        return writeAndClose(fd, name, bytes, errorText);
    }

    // $XDG_RUNTIME_DIR when it is private, else <temp>/orvelle-<uid>, else a new folder beside
    // that name when someone else holds it; /tmp stands in for a temporary folder that sits
    // where others can reach, and each folder on the way must be safe (FolderChainIsSafe).
    // Empty, with errno set, when none can be made.
    std::u16string temporaryFolder() override {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime && runtime[0] == '/' && isPrivateFolder(runtime) &&
            FolderChainIsSafe(runtime)) {
            return text::fromUtf8(withSlash(runtime));
        }
        const char* tmp = std::getenv("TMPDIR");
        std::string base = (tmp && tmp[0] == '/') ? tmp : "/tmp";  // never the current folder
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        // Beneath a folder someone else controls, ours could be swapped after any check.
        if (!FolderChainIsSafe(base)) base = "/tmp";
        if (!FolderChainIsSafe(base)) {
            errno = EACCES;
            return {};
        }
        const std::string own =
            (base == "/" ? "" : base) + "/orvelle-" + std::to_string(::geteuid());
        if ((::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && claimOwnFolder(own)) {
            return text::fromUtf8(withSlash(own));
        }
        std::string fresh = own + "-XXXXXX";
        if (::mkdtemp(fresh.data())) return text::fromUtf8(withSlash(fresh));
        return {};
    }

    void deleteByMask(const std::u16string& folder, const std::u16string& mask) override {
        const std::string dirName = text::toUtf8(folder);
        const std::string pattern = text::toUtf8(mask);
        DIR* dir = ::opendir(dirName.c_str());
        if (!dir) return;
        while (const dirent* entry = ::readdir(dir)) {
            if (::fnmatch(pattern.c_str(), entry->d_name, 0) != 0) continue;
            std::string full = dirName;
            if (!full.empty() && full.back() != '/') full.push_back('/');
            full += entry->d_name;
            struct stat info {};
            if (::lstat(full.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
            ::unlink(full.c_str());  // a file that cannot go stays, silently
        }
        ::closedir(dir);
    }

    char16_t separator() override { return u'/'; }
};

}  // namespace

std::unique_ptr<Files> createNativeFiles() {
    return std::make_unique<LinuxFiles>();
}

}  // namespace platform
