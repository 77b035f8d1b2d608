// What the screen tests need to see from inside Wine, printed one fact per line:
//   screen-probe monitors                  each monitor's area and work area
//   screen-probe window TITLE [TEXT]       the window's rectangle, its client size and the
//                                          rectangle of its child control showing TEXT
//   screen-probe click TITLE TEXT          clicks the window's button named TEXT, wherever the
//                                          window is (the pointer cannot leave the monitors)
//   screen-probe dpi TITLE DPI [TEXT]      tells the window its DPI changed to DPI (as Windows
//                                          does when it moves to another monitor), then as window
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void print(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DWORD written = 0;
    if (length > 0)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written,
                  nullptr);
}

BOOL CALLBACK monitor(HMONITOR handle, HDC, LPRECT, LPARAM) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(handle, &info)) return TRUE;
    const RECT& m = info.rcMonitor;
    const RECT& w = info.rcWork;
    print("monitor %ld,%ld %ldx%ld work %ld,%ld %ldx%ld%s\n", m.left, m.top, m.right - m.left,
          m.bottom - m.top, w.left, w.top, w.right - w.left, w.bottom - w.top,
          (info.dwFlags & MONITORINFOF_PRIMARY) ? " primary" : "");
    return TRUE;
}

struct ChildSearch {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK findChild(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    wchar_t text[128] = {};
    GetWindowTextW(child, text, 128);
    if (wcscmp(text, search->text) != 0) return TRUE;
    search->found = child;
    return FALSE;
}

HWND childNamed(HWND window, const wchar_t* text) {
    ChildSearch search{text, nullptr};
    EnumChildWindows(window, findChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int describe(HWND window, const wchar_t* childText) {
    RECT frame;
    RECT client;
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    print("window %ld,%ld %ldx%ld client %ldx%ld\n", frame.left, frame.top,
          frame.right - frame.left, frame.bottom - frame.top, client.right, client.bottom);
    if (!childText) return 0;
    HWND child = childNamed(window, childText);
    if (!child) return 1;
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    print("child %ld,%ld %ldx%ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && wcscmp(argv[1], L"monitors") == 0) {
        EnumDisplayMonitors(nullptr, nullptr, monitor, 0);
        return 0;
    }
    if (argc < 3) return 2;
    HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    if (wcscmp(argv[1], L"window") == 0) return describe(window, argc > 3 ? argv[3] : nullptr);
    if (argc < 4) return 2;
    if (wcscmp(argv[1], L"click") == 0) {
        // Posted: what the click opens runs its own message loop.
        HWND button = childNamed(window, argv[3]);
        return button && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (wcscmp(argv[1], L"dpi") != 0) return 2;
    const int dpi = _wtoi(argv[3]);
    // The suggested rectangle keeps the window's place; the window chooses its own size. The
    // message carries a pointer that is not copied between processes, so the rectangle is
    // written into the window's process.
    RECT suggested;
    GetWindowRect(window, &suggested);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return 3;
    void* remote = VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr))
        return 3;
    SendMessageW(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(remote));
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return describe(window, argc > 4 ? argv[4] : nullptr);
}
