// Prints the check boxes and radio buttons of the visible top-level windows, one line each:
// the window's caption, the control's rectangle in that window's client area (left top right
// bottom) and its text, tab-separated, in UTF-8. The DPI test compares the rectangles with the
// screenshots to find texts cut off at the control's edge.
#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

std::wstring textOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

BOOL CALLBACK listControl(HWND child, LPARAM out) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Button") != 0 || !IsWindowVisible(child)) return TRUE;
    const LONG type = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
    const bool mark = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                      type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    if (!mark) return TRUE;
    HWND top = GetAncestor(child, GA_ROOT);
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
    auto& lines = *reinterpret_cast<std::string*>(out);
    lines += utf8(textOf(top)) + "\t" + std::to_string(rect.left) + " " + std::to_string(rect.top) +
             " " + std::to_string(rect.right) + " " + std::to_string(rect.bottom) + "\t" +
             utf8(textOf(child)) + "\n";
    return TRUE;
}

BOOL CALLBACK listWindow(HWND window, LPARAM out) {
    if (IsWindowVisible(window)) EnumChildWindows(window, listControl, out);
    return TRUE;
}

}  // namespace

int main() {
    std::string lines;
    EnumWindows(listWindow, reinterpret_cast<LPARAM>(&lines));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), lines.data(), static_cast<DWORD>(lines.size()),
              &written, nullptr);
    return lines.empty() ? 1 : 0;
}
