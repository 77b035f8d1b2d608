// The user's state in a file of their own: highest-serial in $XDG_STATE_HOME/orvelle (else
// ~/.local/state/orvelle), a folder only the user can reach, never read or written through a
// link. The serial is kept as 8 bytes, least significant first, as the registry keeps a QWORD.
#include "platform/UserState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

constexpr char kFileName[] = "highest-serial";
constexpr char kNewFileName[] = "highest-serial.new";

std::string stateBase() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state";
    return {};
}

// Creates the missing folders of path, each for the user alone, so no one else can read or swap
// the state; folders that exist are left as they are.
void createFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) return;
    }
}

// The orvelle folder, created when missing: ours, a real folder, closed to everybody else.
// -1 with errno otherwise.
int openStateFolder(bool create) {
    const std::string base = stateBase();
    if (base.empty()) {
        errno = ENOENT;
        return -1;
    }
    const std::string folder = base + "/orvelle";
    if (create) createFolders(folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid() ||
        ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

class LinuxUserState final : public UserState {
  public:
    std::optional<std::uint64_t> highestSerial() override {
        const int folder = openStateFolder(false);
        if (folder < 0) return std::nullopt;
        const int fd = ::openat(folder, kFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ::close(folder);
        if (fd < 0) return std::nullopt;
        unsigned char bytes[9] = {};
        struct stat info {};
        const bool whole = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                           info.st_uid == ::geteuid() && ::read(fd, bytes, sizeof bytes) == 8;
        ::close(fd);
        if (!whole) return std::nullopt;
        std::uint64_t serial = 0;
        for (int i = 7; i >= 0; --i) serial = serial << 8 | bytes[i];
        return serial;
    }

    bool storeHighestSerial(std::uint64_t serial, int& error) override {
        const int folder = openStateFolder(true);
        if (folder < 0) {
            error = errno;
            return false;
        }
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(serial >> (8 * i));
        ::unlinkat(folder, kNewFileName, 0);
        const int fd = ::openat(folder, kNewFileName,
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        bool ok = fd >= 0 && ::write(fd, bytes, sizeof bytes) == 8 && ::fsync(fd) == 0;
        error = ok ? 0 : (errno ? errno : EIO);
        if (fd >= 0 && ::close(fd) != 0 && ok) {
            ok = false;
            error = errno;
        }
        // The old serial stays whole until the new one replaces it in one step.
        if (ok && ::renameat(folder, kNewFileName, folder, kFileName) != 0) {
            ok = false;
            error = errno;
        }
        if (!ok) ::unlinkat(folder, kNewFileName, 0);
        ::close(folder);
        return ok;
    }
};

}  // namespace

std::unique_ptr<UserState> createNativeUserState() {
    return std::make_unique<LinuxUserState>();
}

}  // namespace platform
