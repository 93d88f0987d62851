// Several monitors: which one holds a window or a rectangle, where a window
// goes on it, and each one's DPI. The system calls go through a table that
// tests can fill with monitors of their own, since Wine has only one.
#pragma once

#include <windows.h>

#include <optional>

namespace ui {

struct MonitorArea {
    RECT monitor;  // the whole screen
    RECT work;     // without the taskbar and the bars docked to its edges
};

struct MonitorCalls {
    // MonitorFromWindow with its flags, and the monitor's areas; nothing when
    // MONITOR_DEFAULTTONULL finds no monitor.
    std::optional<MonitorArea> (*ofWindow)(HWND window, DWORD flags);
    // The effective DPI of the monitor a rectangle of the screen lies on;
    // nothing where there is no such monitor or Windows cannot say (before 8.1).
    std::optional<UINT> (*dpiAt)(const RECT& rect);
    // EnableNonClientDpiScaling; nullptr before Windows 10 1607.
    BOOL(WINAPI* enableNonClientDpiScaling)(HWND window);
};

// The calls in use: the system's unless a test has replaced them.
MonitorCalls& Monitors();
// The system's own, for a test to put back.
MonitorCalls SystemMonitors();

// Where a window of that size goes to be centred on an area.
POINT CentredIn(const RECT& area, SIZE size);
// Where a window goes to lie on an area, moved as little as it can be; one
// larger than the area keeps its top left corner on it.
POINT MovedOnto(const RECT& window, const RECT& area);

// On WM_NCCREATE: a per-monitor (v1) window on Windows 10 1607 has its caption
// and frame scaled with its DPI only when it asks for that there. Per-monitor
// v2, which later Windows gives the program, scales them anyway.
void EnableNonClientScaling(HWND window);

}  // namespace ui
