// Linux files: POSIX calls; an exclusive read takes a non-blocking flock, the nearest thing to
// Windows' share mode 0. The run's folder is one only the user can reach: the shared /tmp would
// let anyone plant a link or a file under the names the run writes and then starts. It is on
// disk (the user's cache), since an installer may be larger than a memory-backed folder.
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
#include <ctime>
#include <string>

#include "common/Text.h"
#include "platform/linux/FilesFolderChain.h"

namespace platform {
namespace {

std::u16string reasonText(int error) {
    return text::fromUtf8(std::string(std::strerror(error)) + ".");
}

// A regular file of this user's, opened without following a link (with onlyLink, one no other
// name shares); anything else is EPERM.
Files::Handle openOwnRegularFile(const std::u16string& path, int access, bool onlyLink,
                                 int& error) {
    const int fd = ::open(text::toUtf8(path).c_str(), access | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return Files::kInvalid;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (onlyLink && info.st_nlink != 1)) {
        error = EPERM;
        ::close(fd);
        return Files::kInvalid;
    }
    return fd;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
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

bool writeAll(int fd, const char* data, std::size_t size, int& error) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
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
    bool ok = writeAll(fd, bytes.data(), bytes.size(), error);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return true;
    ::unlink(name.c_str());
    errorText = reasonText(error);
    return false;
}

// A folder of ours for the run's files, created (with its parent) when missing; false when the
// name is held by something that is not our private folder.
bool ownFolderAt(const std::string& parent, const std::string& own) {
    ::mkdir(parent.c_str(), 0700);  // an existing parent is checked through its child below
    return (::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && claimOwnFolder(own);
}

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
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
        return openOwnRegularFile(path, O_RDONLY, false, error);
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


    // $XDG_CACHE_HOME/orvelle, else ~/.cache/orvelle; where neither can be ours,
    // <temp>/orvelle-<uid>, else a new folder beside that name when someone else holds it; /tmp
    // stands in for a temporary folder that sits where others can reach, and each folder on the
    // way must be safe (FolderChainIsSafe). Empty, with errno set, when none can be made.
    std::u16string temporaryFolder() override {
        std::string cache = absoluteVariable("XDG_CACHE_HOME");
        if (cache.empty() && !absoluteVariable("HOME").empty())
            cache = absoluteVariable("HOME") + "/.cache";
        while (cache.size() > 1 && cache.back() == '/') cache.pop_back();
        if (!cache.empty() && cache != "/" && ownFolderAt(cache, cache + "/orvelle") &&
            FolderChainIsSafe(cache + "/orvelle"))
            return text::fromUtf8(cache + "/orvelle/");
        std::string base = absoluteVariable("TMPDIR");  // never the current folder
        if (base.empty()) base = "/tmp";
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

    Handle createPart(const std::u16string& path, int& error) override {
        const int fd = ::open(text::toUtf8(path).c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) error = errno;
        return fd < 0 ? kInvalid : fd;
    }

    Handle reopenPart(const std::u16string& path, int& error) override {
        return openOwnRegularFile(path, O_RDWR, true, error);
    }

    bool write(Handle file, const void* data, std::size_t size, int& error) override {
        return writeAll(static_cast<int>(file), static_cast<const char*>(data), size, error);
    }

    bool truncate(Handle file, int& error) override {
        if (::ftruncate(static_cast<int>(file), 0) == 0 &&
            ::lseek(static_cast<int>(file), 0, SEEK_SET) == 0)
            return true;
        error = errno;
        return false;
    }

    bool rename(const std::u16string& from, const std::u16string& to, int& error) override {
        if (::rename(text::toUtf8(from).c_str(), text::toUtf8(to).c_str()) == 0) return true;
        error = errno;
        return false;
    }

    bool remove(const std::u16string& path) override {
        return ::unlink(text::toUtf8(path).c_str()) == 0;
    }

    std::vector<Entry> list(const std::u16string& folder, const std::u16string& mask) override {
        std::vector<Entry> entries;
        forEachMatch(
            folder, mask, [&](const std::string&, const dirent& entry, const struct stat& info) {
                entries.push_back(
                    {text::fromUtf8(entry.d_name), static_cast<std::int64_t>(std::time(nullptr)) -
                                                       static_cast<std::int64_t>(info.st_mtime)});
            });
        return entries;
    }

    void deleteByMask(const std::u16string& folder, const std::u16string& mask) override {
        forEachMatch(folder, mask, [](const std::string& full, const dirent&, const struct stat&) {
            ::unlink(full.c_str());  // a file that cannot go stays, silently
        });
    }

    char16_t separator() override { return u'/'; }

  private:
    // Calls visit with the full name, entry and status of each non-folder matching mask.
    template <class Visit>
    static void forEachMatch(const std::u16string& folder, const std::u16string& mask,
                             Visit visit) {
        const std::string dirName = text::toUtf8(folder);
        const std::string pattern = text::toUtf8(mask);
        DIR* dir = ::opendir(dirName.c_str());
        if (!dir) return;
        while (const dirent* entry = ::readdir(dir)) {
            if (::fnmatch(pattern.c_str(), entry->d_name, 0) != 0) continue;
            const std::string full = withSlash(dirName) + entry->d_name;
            struct stat info {};
            if (::lstat(full.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
            visit(full, *entry, info);
        }
        ::closedir(dir);
    }
};

}  // namespace

std::unique_ptr<Files> createNativeFiles() {
    return std::make_unique<LinuxFiles>();
}

}  // namespace platform
