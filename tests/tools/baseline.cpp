// baseline.exe: the least a Windows program with one window and a
// one-second timer can be. The benchmarks and the nothing-written test run it
// next to the program, so that Wine's own costs show up on both sides and the
// figures compare what the program itself adds.
//
//   baseline.exe          shows its window and ticks every 1000 ms doing nothing
//   baseline.exe hidden   the same with the window never shown
//   baseline.exe hidden-libs  hidden, having also loaded the DLLs the program
//                         imports and measured Chinese text in the fonts it
//                         uses: what any program with the same parts costs
#include <windows.h>

#include <cwchar>
#include <initializer_list>

namespace {

LRESULT CALLBACK BaselineProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"Lanshige.Baseline";
    if (!RegisterClassExW(&wc)) return 1;

    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"baseline", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 240, 160, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    SetTimer(hwnd, 1, 1000, nullptr);
    if (std::wcscmp(cmdLine, L"hidden-libs") == 0) {
        LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        HDC dc = GetDC(hwnd);
        for (const wchar_t* face : {L"SimSun", L"SimHei", L"Verdana"}) {
            HFONT font = CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, 0, 0, 0, 0, face);
            HGDIOBJ old = SelectObject(dc, font);
            SIZE size;
            GetTextExtentPoint32W(dc, L"当前共有的物理内存可供使用 98.25%", 18, &size);
            SelectObject(dc, old);
            DeleteObject(font);
        }
        ReleaseDC(hwnd, dc);
    } else if (std::wcscmp(cmdLine, L"hidden") != 0) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
