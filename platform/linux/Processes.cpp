// Linux processes: the program is made executable for its owner (a download arrives without
// the bit), then started through a double fork so that it is never left as a zombie of ours
// and we never wait for it. The command line is split by the Windows rules, as the program's
// runtime there would read it; a failed exec reports its errno back through a close-on-exec
// pipe.
#include "platform/Processes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/Text.h"
#include "common/WindowsCommandLine.h"

namespace platform {
namespace {

bool isFile(const std::u16string& path) {
    struct stat info {};
    return ::stat(text::toUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// An unquoted program path with blanks is read as CreateProcess reads it: the shortest text up
// to a blank that names a file is the program, the rest its arguments.
std::vector<std::u16string> splitCommandLine(const std::u16string& line) {
    std::vector<std::u16string> words = commandline::split(line);
    const std::size_t begin = line.find_first_not_of(u" \t");
    if (words.empty() || line[begin] == u'"' || isFile(words.front())) return words;
    for (std::size_t end = line.find_first_of(u" \t", begin); end != std::u16string::npos;
         end = line.find_first_of(u" \t", end + 1)) {
        const std::u16string candidate = line.substr(begin, end - begin);
        if (candidate.find(u'"') != std::u16string::npos) break;
        if (isFile(candidate)) {
            std::vector<std::u16string> found{candidate};
            for (auto& word : commandline::splitArguments(line.substr(end))) {
                found.push_back(std::move(word));
            }
            return found;
        }
    }
    if (isFile(line.substr(begin)) && line.find(u'"') == std::u16string::npos) {
        return {line.substr(begin)};
    }
    return words;
}

std::vector<std::string> argumentList(const std::u16string& program,
                                      const std::u16string& arguments, bool quoteProgram) {
    std::vector<std::u16string> words;
    if (quoteProgram) {
        words.push_back(program);
        for (auto& word : commandline::splitArguments(arguments)) words.push_back(word);
    } else {
        words = splitCommandLine(program + arguments);
    }
    std::vector<std::string> converted;
    for (const auto& word : words) converted.push_back(text::toUtf8(word));
    return converted;
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
               const std::u16string& folder, bool quoteProgram, int& error) override {
        // Everything the children need is prepared before fork: after it only
        // async-signal-safe calls are allowed.
        std::vector<std::string> words = argumentList(program, arguments, quoteProgram);
        if (words.empty() || words.front().empty()) {
            error = ENOENT;
            return false;
        }
        const std::string path = words.front();
        const std::string directory = text::toUtf8(folder);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (info.st_mode & S_IXUSR) == 0) {
            ::chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR);
        }

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
