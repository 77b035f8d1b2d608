// Windows files: CreateFileW with the share modes the program asks for, FindFirstFileW masks.
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

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

// WriteFile takes a DWORD count: large writes go in pieces.
DWORD writeAll(HANDLE file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    while (written < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - written, 1u << 30));
        DWORD n = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(file, bytes + written, chunk, &n, nullptr) || n == 0) return failureCode();
        written += n;
    }
    return ERROR_SUCCESS;
}

HANDLE toWindows(Files::Handle file) {
    return reinterpret_cast<HANDLE>(file);
}

// Every entry of folder matching mask that is not a folder.
template <typename Visit>
void forEachFile(const std::u16string& folder, const std::u16string& mask, Visit visit) {
    WIN32_FIND_DATAW found{};
    const std::u16string pattern = folder + mask;
    const HANDLE search = FindFirstFileW(wide(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) visit(found);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::int64_t ticksOf(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

// A part file is opened without following a link (the link itself would be opened), for reading
// and writing, with others allowed to read only.
HANDLE openPartFile(const std::u16string& path, DWORD disposition) {
    return CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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
        DWORD error = writeAll(file.handle, bytes.data(), bytes.size());
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

    Handle createPart(const std::u16string& path, int& error) override {
        // CREATE_NEW never opens what is there already, a link included.
        const HANDLE file = openPartFile(path, CREATE_NEW);
        if (file == INVALID_HANDLE_VALUE) {
            error = static_cast<int>(GetLastError());
            return kInvalid;
        }
        return reinterpret_cast<Handle>(file);
    }

    Handle reopenPart(const std::u16string& path, int& error) override {
        const HANDLE file = openPartFile(path, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            error = static_cast<int>(GetLastError());
            return kInvalid;
        }
        // Only a plain file with this one name: a link or a folder planted under the part's name
        // is never read or written through.
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file, &info)) {
            error = static_cast<int>(GetLastError());
            CloseHandle(file);
            return kInvalid;
        }
        if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
            info.nNumberOfLinks != 1) {
            error = ERROR_ACCESS_DENIED;
            CloseHandle(file);
            return kInvalid;
        }
        return reinterpret_cast<Handle>(file);
    }

    bool write(Handle file, const void* data, std::size_t size, int& error) override {
        const DWORD code = writeAll(toWindows(file), data, size);
        error = static_cast<int>(code);
        return code == ERROR_SUCCESS;
    }

    bool truncate(Handle file, int& error) override {
        const LARGE_INTEGER start{};
        if (!SetFilePointerEx(toWindows(file), start, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(toWindows(file))) {
            error = static_cast<int>(GetLastError());
            return false;
        }
        return true;
    }

    bool rename(const std::u16string& from, const std::u16string& to, int& error) override {
        if (!MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING)) {
            error = static_cast<int>(GetLastError());
            return false;
        }
        return true;
    }

    bool remove(const std::u16string& path) override { return DeleteFileW(wide(path)) != FALSE; }

    std::vector<Entry> list(const std::u16string& folder, const std::u16string& mask) override {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        constexpr std::int64_t kTicksPerSecond = 10000000;  // FILETIME counts 100 ns
        std::vector<Entry> entries;
        forEachFile(folder, mask, [&](const WIN32_FIND_DATAW& found) {
            entries.push_back(
                Entry{reinterpret_cast<const char16_t*>(found.cFileName),
                      (ticksOf(now) - ticksOf(found.ftLastWriteTime)) / kTicksPerSecond});
        });
        return entries;
    }

    void deleteByMask(const std::u16string& folder, const std::u16string& mask) override {
        forEachFile(folder, mask, [&](const WIN32_FIND_DATAW& found) {
            // Hidden and system files go too; one in use stays.
            DeleteFileW(wide(folder + reinterpret_cast<const char16_t*>(found.cFileName)));
        });
    }

    char16_t separator() override { return u'\\'; }
};

}  // namespace

std::unique_ptr<Files> createNativeFiles() {
    return std::make_unique<WindowsFiles>();
}

}  // namespace platform
