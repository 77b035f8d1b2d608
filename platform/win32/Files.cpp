// Windows files: CreateFileW with the share modes the program asks for, FindFirstFileW masks.
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string systemReason(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (n && buffer) text.assign(reinterpret_cast<const char16_t*>(buffer), n);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    return text;
}

// GetLastError right after a failure; a write that stopped short without one still failed.
DWORD failureCode() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
}

DWORD writeAll(HANDLE file, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD n = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0)
            return failureCode();
        written += n;
    }
    return ERROR_SUCCESS;
}

struct HandleCloser {
    HANDLE handle;
    ~HandleCloser() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

class WindowsFiles final : public Files {
  public:
    Handle openRead(const std::u16string& path, bool exclusive, int& error) override {
        const HANDLE file = CreateFileW(wide(path), GENERIC_READ, exclusive ? 0 : FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = static_cast<int>(GetLastError());
            return kInvalid;
        }
        return reinterpret_cast<Handle>(file);
    }

    int read(Handle file, void* buffer, int size, int& error) override {
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(size), &got,
                      nullptr)) {
            error = static_cast<int>(GetLastError());
            return -1;
        }
        return static_cast<int>(got);
    }

    void close(Handle file) override {
        if (file != kInvalid) CloseHandle(reinterpret_cast<HANDLE>(file));
    }

    // Others may read it (the system does, to start it) but neither write, rename nor delete it.
    Handle openToStart(const std::u16string& path, int& error) override {
        return openRead(path, false, error);
    }

    bool stillNames(Handle, const std::u16string&) override { return true; }

    bool writeWhole(const std::u16string& path, const std::string& bytes,
                    std::u16string& errorText) override {
        HandleCloser file{CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.handle == INVALID_HANDLE_VALUE) {
            errorText = u"Cannot create file \"" + path + u"\". " + systemReason(GetLastError());
            return false;
        }
        DWORD error = writeAll(file.handle, bytes);
        // Closing flushes what the system still holds; a failure there loses data as well.
        const HANDLE handle = file.handle;
        file.handle = INVALID_HANDLE_VALUE;
        if (!CloseHandle(handle) && error == ERROR_SUCCESS) error = failureCode();
        if (error == ERROR_SUCCESS) return true;
        // A truncated installer must not stay behind looking like a download.
        DeleteFileW(wide(path));
        errorText = systemReason(error);
        return false;
    }

    // Empty, with the system's error as the thread's last error, when the system cannot tell:
    // never the current folder.
    std::u16string temporaryFolder() override {
        std::wstring buffer(MAX_PATH + 1, L'\0');
        // The path may grow between the calls (another thread changing TMP); ask again then.
        for (int attempt = 0; attempt < 4; ++attempt) {
            const DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
            if (n == 0) return {};
            if (n < buffer.size()) {
                std::u16string folder(reinterpret_cast<const char16_t*>(buffer.data()), n);
                if (folder.back() != u'\\') folder.push_back(u'\\');
                return folder;
            }
            buffer.assign(static_cast<std::size_t>(n) + 1, L'\0');
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return {};
    }

    void deleteByMask(const std::u16string& folder, const std::u16string& mask) override {
        WIN32_FIND_DATAW found{};
        const std::u16string pattern = folder + mask;
        const HANDLE search = FindFirstFileW(wide(pattern), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            const std::u16string full = folder + reinterpret_cast<const char16_t*>(found.cFileName);
            DeleteFileW(wide(full));  // hidden and system files go too; one in use stays
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

    char16_t separator() override { return u'\\'; }
};

}  // namespace

std::unique_ptr<Files> createNativeFiles() {
    return std::make_unique<WindowsFiles>();
}

}  // namespace platform
