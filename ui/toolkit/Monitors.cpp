#include "ui/toolkit/Monitors.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <cmath>

#include "ui/toolkit/Handles.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

std::optional<MonitorArea> SystemMonitorOf(HWND window, DWORD flags) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    HMONITOR monitor = MonitorFromWindow(window, flags);
    if (!monitor || !GetMonitorInfoW(monitor, &mi)) return std::nullopt;
    return MonitorArea{mi.rcMonitor, mi.rcWork};
}

std::optional<UINT> SystemDpiAt(const RECT& rect) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
    // shcore.dll comes with Windows 8.1; Windows 7 has neither it nor the call.
    static const auto forMonitor = SystemDllProc<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);
    UINT x = 0, y = 0;
    if (!forMonitor || !monitor || FAILED(forMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y)) || !y) return std::nullopt;
    return y;
}

void SystemScaleNonClient(HWND window) {
    static const auto enable = UserProc<BOOL(WINAPI*)(HWND)>("EnableNonClientDpiScaling");
    // It fails for a window of any other DPI awareness, harmlessly.
    if (enable) enable(window);
}

}  // namespace

int FontHeight(double points, UINT dpi) {
    return -static_cast<int>(std::lround(points * static_cast<double>(dpi) / 72.0));
}

UINT WindowDpi(HWND hwnd) {
    // The per-monitor DPI calls exist from Windows 10 1607 on.
    static const auto forWindow = UserProc<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (const UINT dpi = forWindow && hwnd ? forWindow(hwnd) : 0) return dpi;
    const UniqueScreenDc screen(GetDC(nullptr));
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int SystemMetric(int index, UINT dpi) {
    static const auto forDpi = UserProc<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

MonitorCalls& Monitors() {
    static MonitorCalls calls{&SystemMonitorOf, &SystemDpiAt, &SystemScaleNonClient};
    return calls;
}

POINT CentredIn(const RECT& area, SIZE size) {
    return {area.left + (area.right - area.left - size.cx) / 2, area.top + (area.bottom - area.top - size.cy) / 2};
}

POINT MovedOnto(const RECT& window, const RECT& area) {
    const auto along = [](LONG from, LONG extent, LONG low, LONG high) {
        return std::max(low, std::min(from, high - extent));
    };
    return {along(window.left, window.right - window.left, area.left, area.right),
            along(window.top, window.bottom - window.top, area.top, area.bottom)};
}

}  // namespace ui
