// Linux processes: the program is made executable for its owner (a download arrives without
// the bit), then started through a double fork so that it is never left as a zombie of ours
// and we never wait for it. The argument text is split at blanks, as a Windows program would
// see its words; a failed exec reports its errno back through a close-on-exec pipe.
#include "platform/Processes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/Text.h"

namespace platform {
namespace {

std::vector<std::string> splitAtBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (c == ' ') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

[[noreturn]] void failChild(int reportFd, int code) {
    const ssize_t ignored = ::write(reportFd, &code, sizeof code);
    (void)ignored;
    ::_exit(127);
}

class LinuxProcesses final : public Processes {
  public:
    bool start(const std::u16string& program, const std::u16string& arguments,
               const std::u16string& folder, bool /*quoteProgram*/, int& error) override {
        const std::string path = text::toUtf8(program);
        const std::string directory = text::toUtf8(folder);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (info.st_mode & S_IXUSR) == 0) {
            ::chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR);
        }

        // Everything the children need is prepared before fork: after it only
        // async-signal-safe calls are allowed.
        std::vector<std::string> words = splitAtBlanks(text::toUtf8(arguments));
        words.insert(words.begin(), path);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);

        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            error = errno;
            return false;
        }
        Fd readEnd{pipeFds[0]};
        Fd writeEnd{pipeFds[1]};

        const pid_t child = ::fork();
        if (child < 0) {
            error = errno;
            return false;
        }
        if (child == 0) {
            const pid_t grandchild = ::fork();
            if (grandchild < 0) failChild(writeEnd.fd, errno);
            if (grandchild > 0) ::_exit(0);
            ::setsid();
            if (!directory.empty() && ::chdir(directory.c_str()) != 0)
                failChild(writeEnd.fd, errno);
            ::execv(path.c_str(), argv.data());
            failChild(writeEnd.fd, errno);
        }
        writeEnd.reset();
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int code = 0;
        ssize_t n;
        do {
            n = ::read(readEnd.fd, &code, sizeof code);
        } while (n < 0 && errno == EINTR);
        if (n == static_cast<ssize_t>(sizeof code)) {
            error = code;
            return false;
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<Processes> createNativeProcesses() {
    return std::make_unique<LinuxProcesses>();
}

}  // namespace platform
