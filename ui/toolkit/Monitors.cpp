#include "ui/toolkit/Monitors.h"

#include <shellscalingapi.h>

#include <algorithm>

#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);

std::optional<MonitorArea> SystemOfWindow(HWND window, DWORD flags) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    HMONITOR monitor = MonitorFromWindow(window, flags);
    if (!monitor || !GetMonitorInfoW(monitor, &mi)) return std::nullopt;
    return MonitorArea{mi.rcMonitor, mi.rcWork};
}

std::optional<UINT> SystemDpiAt(const RECT& rect) {
    // shcore.dll comes with Windows 8.1; Windows 7 has neither it nor the call.
    static const auto forMonitor = SystemDllProc<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);
    UINT x = 0;
    UINT y = 0;
    if (!forMonitor || !monitor || FAILED(forMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y)) || !y) {
        return std::nullopt;
    }
    return y;
}

}  // namespace

MonitorCalls SystemMonitors() {
    return {&SystemOfWindow, &SystemDpiAt, UserProc<EnableNonClientDpiScalingFn>("EnableNonClientDpiScaling")};
}

MonitorCalls& Monitors() {
    static MonitorCalls calls = SystemMonitors();
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

void EnableNonClientScaling(HWND window) {
    // It fails for a window of any other DPI awareness, harmlessly.
    if (const auto enable = Monitors().enableNonClientDpiScaling) enable(window);
}

}  // namespace ui
