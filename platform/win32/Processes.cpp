// Windows processes: CreateProcessW with the command line as one text; the new process and its
// main thread are released at once, the downloader never waits for them.
#include "platform/Processes.h"

#include "common/WindowsCommandLine.h"
#include "platform/win32/ProcessCalls.h"

namespace platform {
namespace {

// ERROR_ELEVATION_REQUIRED; not every SDK's headers name it under WIN32_LEAN_AND_MEAN.
constexpr int kElevationRequired = 740;

struct HandleCloser {
    HANDLE handle = nullptr;
    ~HandleCloser() {
        if (handle) CloseHandle(handle);
    }
};

class WindowsProcesses final : public Processes {
  public:
    explicit WindowsProcesses(const ProcessCalls& calls) : calls_(calls) {}

    bool start(const std::u16string& program, const std::u16string& arguments,
               const std::u16string& folder, bool quoteProgram, int& error) override {
        std::u16string commandLine = program;
        if (quoteProgram && program.find(u' ') != std::u16string::npos &&
            program.find(u'"') == std::u16string::npos) {
            commandLine = u"\"" + program + u"\"";
        }
        commandLine += arguments;
        // CreateProcessW may write into the command line, so it gets its own buffer.
        std::wstring buffer(reinterpret_cast<const wchar_t*>(commandLine.c_str()),
                            commandLine.size());

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
        startup.wShowWindow = SW_SHOW;
        PROCESS_INFORMATION created{};
        const BOOL ok = calls_.createProcess(
            nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
            folder.empty() ? nullptr : reinterpret_cast<const wchar_t*>(folder.c_str()), &startup,
            &created);
        if (!ok) {
            error = static_cast<int>(GetLastError());
            // A program that asks for administrator rights (most installers do) cannot be
            // created directly; the shell's elevation path shows the consent prompt instead.
            if (error == kElevationRequired) return startElevated(commandLine, folder, error);
            return false;
        }
        HandleCloser process{created.hProcess};
        HandleCloser thread{created.hThread};
        return true;
    }

  private:
    ProcessCalls calls_;

    bool startElevated(const std::u16string& commandLine, const std::u16string& folder,
                       int& error) {
        const commandline::ProgramAndArguments split = commandline::splitProgram(commandLine);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpVerb = L"runas";
        info.lpFile = reinterpret_cast<const wchar_t*>(split.program.c_str());
        info.lpParameters = split.arguments.empty()
                                ? nullptr
                                : reinterpret_cast<const wchar_t*>(split.arguments.c_str());
        info.lpDirectory =
            folder.empty() ? nullptr : reinterpret_cast<const wchar_t*>(folder.c_str());
        info.nShow = SW_SHOW;
        if (!calls_.shellExecute(&info)) {
            error = static_cast<int>(GetLastError());  // ERROR_CANCELLED when the user declines
            return false;
        }
        HandleCloser process{info.hProcess};
        return true;
    }
};

}  // namespace

std::unique_ptr<Processes> createWindowsProcesses(const ProcessCalls& calls) {
    return std::make_unique<WindowsProcesses>(calls);
}

std::unique_ptr<Processes> createNativeProcesses() {
    return createWindowsProcesses(ProcessCalls{});
}

}  // namespace platform
