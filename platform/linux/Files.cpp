// Linux files: POSIX calls; an exclusive read takes a non-blocking flock, the nearest thing to
// Windows' share mode 0.
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

#include "common/Text.h"

namespace platform {
namespace {

std::u16string reasonText(int error) {
    return text::fromUtf8(std::string(std::strerror(error)) + ".");
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

    bool writeWhole(const std::u16string& path, const std::string& bytes,
                    std::u16string& errorText) override {
        const std::string name = text::toUtf8(path);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            errorText = u"Cannot create file \"" + path + u"\". " + reasonText(errno);
            return false;
        }
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                errorText = reasonText(errno);
                ::close(fd);
                return false;
            }
            written += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) {
            errorText = reasonText(errno);
            return false;
        }
        return true;
    }

    std::u16string temporaryFolder() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = (tmp && *tmp) ? tmp : "/tmp";
        if (folder.back() != '/') folder.push_back('/');
        return text::fromUtf8(folder);
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

std::unique_ptr<Files> createNativeFiles() { return std::make_unique<LinuxFiles>(); }

}  // namespace platform
