// floor.exe: the platform work the program's design demands, and nothing
// else, so that the benchmarks can say how far the program is above what any
// program with the same duties must cost.
//
// At start, as the program: the DLL search path, the single-instance mutex,
// the common controls, the icon and the notification-area icon before the
// first window shows, the fonts the program draws with. Each 1000 ms tick: the
// memory query, the tooltip in the program's text pattern (sent to the shell
// only when it changed) and one label set (only when its text changed).
//
// Its window is shown and given the focus once, as the program shows and
// focuses its start window and then its main window: the first focus of a
// thread's window costs what any program that shows a window pays (the input
// method's context, and under Wine the COM that its imm32 starts with it).
//
//   floor.exe          shows its window with the label
//   floor.exe hidden   the same, then hides the window (as the program's main
//                      window is hidden in the benchmarks)
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "resources/Texts.h"
#include "resources/resource.h"

namespace {

constexpr UINT kCallbackMessage = 2025;
HWND g_label;
NOTIFYICONDATAW g_nid;
wchar_t g_caption[64];

// The figures in hundredths, rounded half up (no 128-bit care needed here).
unsigned long long Hundredths(unsigned long long part, unsigned long long whole, unsigned scale) {
    return whole ? (part * 200ull * scale / whole + 1) / 2 : 0;
}

void Tick() {
    MEMORYSTATUSEX ex{};
    ex.dwLength = sizeof ex;
    if (!GlobalMemoryStatusEx(&ex)) return;
    const unsigned long long percent = Hundredths(ex.ullAvailPhys, ex.ullTotalPhys, 100);
    const unsigned long long mb = Hundredths(ex.ullAvailPhys, 1024 * 1024, 1);

    wchar_t tip[ARRAYSIZE(g_nid.szTip)];
    std::swprintf(tip, ARRAYSIZE(tip), L"%ls\n%ls%llu.%02llu%%%ls", texts::kProductName, texts::kTipMemoryLabel,
                  percent / 100, percent % 100, texts::kTipAvailable);
    if (std::wcscmp(tip, g_nid.szTip) != 0) {
        lstrcpynW(g_nid.szTip, tip, ARRAYSIZE(g_nid.szTip));
        g_nid.uFlags = NIF_TIP;
        Shell_NotifyIconW(NIM_MODIFY, &g_nid);
    }

    wchar_t caption[ARRAYSIZE(g_caption)];
    std::swprintf(caption, ARRAYSIZE(caption), L"%llu.%02llu%%\n(%llu.%02llu%ls)", percent / 100, percent % 100,
                  mb / 100, mb % 100, texts::kMegabyteUnit);
    if (std::wcscmp(caption, g_caption) != 0) {
        std::wcscpy(g_caption, caption);
        SetWindowTextW(g_label, caption);
    }
}

LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            Tick();
            return 0;
        case WM_DESTROY:
            g_nid.uFlags = 0;
            Shell_NotifyIconW(NIM_DELETE, &g_nid);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int) {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HANDLE running = CreateMutexW(nullptr, FALSE, L"Local\\Lanshige.Floor.Running");
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);

    const int small = GetSystemMetrics(SM_CXSMICON);
    HICON icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, small, small, LR_DEFAULTCOLOR));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"Lanshige.Floor";
    wc.hIconSm = icon;
    if (!RegisterClassExW(&wc)) return 1;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"floor", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    g_label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 280, 120, hwnd, nullptr, instance,
                              nullptr);

    // The faces the program draws with, each realised by measuring Chinese
    // text in it (as drawing would); the label shows its figures in the last.
    HFONT font = nullptr;
    HDC dc = GetDC(hwnd);
    for (const wchar_t* face : {L"SimHei", L"SimSun", L"Verdana"}) {
        font = CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, 0, 0, 0, 0, face);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size;
        GetTextExtentPoint32W(dc, texts::kLblMsg2, static_cast<int>(std::wcslen(texts::kLblMsg2)), &size);
        SelectObject(dc, old);
    }
    ReleaseDC(hwnd, dc);
    SendMessageW(g_label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    g_nid.cbSize = sizeof g_nid;
    g_nid.hWnd = hwnd;
    g_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    g_nid.uCallbackMessage = kCallbackMessage;
    g_nid.hIcon = icon;
    Shell_NotifyIconW(NIM_ADD, &g_nid);
    Tick();
    SetTimer(hwnd, 1, 1000, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    if (std::wcscmp(cmdLine, L"hidden") == 0) ShowWindow(hwnd, SW_HIDE);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CloseHandle(running);
    return static_cast<int>(msg.wParam);
}
