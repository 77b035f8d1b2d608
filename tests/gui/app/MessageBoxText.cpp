// Prints the text of the message box whose caption is the first argument (UTF-8, one line per
// text control), so that the window tests can read a Windows message box under Wine.
#include <windows.h>

#include <string>

namespace {

BOOL CALLBACK collect(HWND child, LPARAM out) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Static") != 0) return TRUE;
    const int length = GetWindowTextLengthW(child);
    if (length <= 0) return TRUE;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(child, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    *reinterpret_cast<std::wstring*>(out) += text + L"\n";
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HWND box = FindWindowW(L"#32770", argv[1]);
    if (!box) return 1;
    std::wstring text;
    EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&text));
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
    return 0;
}
