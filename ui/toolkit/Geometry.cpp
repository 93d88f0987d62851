#include "ui/toolkit/Geometry.h"

#include <cmath>

#include "ui/toolkit/Handles.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

int FontHeight(double points, UINT dpi) {
    return -static_cast<int>(std::lround(points * static_cast<double>(dpi) / 72.0));
}

UINT WindowDpi(HWND hwnd) {
    // The per-monitor DPI calls exist from Windows 10 1607 on.
    static const auto forWindow = UserProc<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow && hwnd) {
        if (UINT dpi = forWindow(hwnd)) return dpi;
    }
    const UniqueScreenDc screen(GetDC(nullptr));
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int SystemMetric(int index, UINT dpi) {
    static const auto forDpi = UserProc<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

}  // namespace ui
