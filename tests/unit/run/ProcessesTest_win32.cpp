// Windows: an installer that asks for administrator rights is started again through the shell's
// elevation path. Wine never refuses a start with ERROR_ELEVATION_REQUIRED, so the two system
// calls are played here; they keep the real calling convention, which a 32-bit build checks.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/ProcessCalls.h"

namespace {

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// What the played calls answer and what they were asked.
struct Played {
    DWORD createError = 0;
    DWORD shellError = 0;  // 0: the elevated start succeeds
    int createCalls = 0;
    std::wstring createdCommandLine;
    std::wstring createdFolder;
    int shellCalls = 0;
    std::wstring verb, file, parameters, folder;
    int show = -1;
};
Played played;

std::wstring orEmpty(const wchar_t* text) {
    return text ? text : L"";
}

BOOL WINAPI playedCreateProcess(LPCWSTR, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR folder,
                                LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    ++played.createCalls;
    played.createdCommandLine = orEmpty(commandLine);
    played.createdFolder = orEmpty(folder);
    SetLastError(played.createError);
    return FALSE;
}

BOOL WINAPI playedShellExecute(SHELLEXECUTEINFOW* info) {
    ++played.shellCalls;
    played.verb = orEmpty(info->lpVerb);
    played.file = orEmpty(info->lpFile);
    played.parameters = orEmpty(info->lpParameters);
    played.folder = orEmpty(info->lpDirectory);
    played.show = info->nShow;
    info->hProcess = nullptr;
    if (played.shellError == 0) return TRUE;
    SetLastError(played.shellError);
    return FALSE;
}

// Starts the installer the way the hand-off does: a path with a blank, quoted on the command line.
bool startInstaller(DWORD createError, DWORD shellError, int& error) {
    played = Played{};
    played.createError = createError;
    played.shellError = shellError;
    auto processes = platform::createWindowsProcesses({playedCreateProcess, playedShellExecute});
    error = 0;
    return processes->start(u"C:\\Program Files\\Orvelle\\setup.exe", u" /S /ppass=\"my pass\"",
                            u"C:\\Users\\Ann Lee\\Temp", true, error);
}

TEST(WindowsProcesses, InstallerThatNeedsElevationIsStartedThroughTheConsentPrompt) {
    int error = 0;
    EXPECT_TRUE(startInstaller(kElevationRequired, 0, error)) << error;
    EXPECT_EQ(played.createdCommandLine,
              L"\"C:\\Program Files\\Orvelle\\setup.exe\" /S /ppass=\"my pass\"");
    ASSERT_EQ(played.shellCalls, 1);
    EXPECT_EQ(played.verb, L"runas");
    EXPECT_EQ(played.file, L"C:\\Program Files\\Orvelle\\setup.exe");
    // The same argument text; the shell puts the blank between program and arguments itself.
    EXPECT_EQ(played.parameters, L"/S /ppass=\"my pass\"");
    EXPECT_EQ(played.folder, L"C:\\Users\\Ann Lee\\Temp");
    EXPECT_EQ(played.folder, played.createdFolder);
    EXPECT_EQ(played.show, SW_SHOW);

    // The user declines the prompt: a failure with the shell's own error.
    EXPECT_FALSE(startInstaller(kElevationRequired, ERROR_CANCELLED, error));
    EXPECT_EQ(error, 1223);
    EXPECT_EQ(played.shellCalls, 1);

    // Any other refusal is reported as it is, without the prompt.
    EXPECT_FALSE(startInstaller(ERROR_FILE_NOT_FOUND, 0, error));
    EXPECT_EQ(error, 2);
    EXPECT_EQ(played.createCalls, 1);
    EXPECT_EQ(played.shellCalls, 0);
}

}  // namespace
