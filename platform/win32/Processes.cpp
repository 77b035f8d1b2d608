// Windows processes: CreateProcessW with the command line as one text; the new process and its
// main thread are released at once, the downloader never waits for them.
#include "platform/Processes.h"

#include <windows.h>

namespace platform {
namespace {

struct HandleCloser {
    HANDLE handle = nullptr;
    ~HandleCloser() {
        if (handle) CloseHandle(handle);
    }
};

class WindowsProcesses final : public Processes {
  public:
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
        const BOOL ok = CreateProcessW(
            nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
            folder.empty() ? nullptr : reinterpret_cast<const wchar_t*>(folder.c_str()), &startup,
            &created);
        if (!ok) {
            error = static_cast<int>(GetLastError());
            return false;
        }
        HandleCloser process{created.hProcess};
        HandleCloser thread{created.hThread};
        return true;
    }
};

}  // namespace

std::unique_ptr<Processes> createNativeProcesses() {
    return std::make_unique<WindowsProcesses>();
}

}  // namespace platform
