// The screen: twips, points and pixels at a DPI, and the monitors, which one
// holds a window and where a window goes on it. Forms are laid out in twips
// and converted with the window's DPI, to be as large (in inches) on every
// screen. Tests stand monitors of their own in the table: Wine has one.
#pragma once

#include <windows.h>

#include <optional>

namespace ui {

inline constexpr UINT kDefaultDpi = 96;
// The DPIs a window can be given: Windows scales from 100 % to 500 %, and
// half of 96 leaves room for whatever a driver reports below that.
inline constexpr UINT kMinDpi = 96 / 2;
inline constexpr UINT kMaxDpi = 96 * 5;

// 15 twips a pixel at 96 DPI, 10 at 144.
inline int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }
// A font size in points as a LOGFONT height (negative: the character height).
int FontHeight(double points, UINT dpi);
// The window's DPI; the system's where the per-window query is missing.
UINT WindowDpi(HWND hwnd);
// A system metric at a DPI; the system DPI's where the per-DPI query is missing.
int SystemMetric(int index, UINT dpi);

struct MonitorArea {
    RECT monitor;  // the whole screen
    RECT work;     // without the taskbar and the bars docked to its edges
};

struct MonitorCalls {
    // MonitorFromWindow with its flags; nothing when MONITOR_DEFAULTTONULL
    // finds no monitor.
    std::optional<MonitorArea> (*ofWindow)(HWND window, DWORD flags);
    // The effective DPI of the monitor under a rectangle; nothing where there
    // is none or Windows cannot say (before 8.1).
    std::optional<UINT> (*dpiAt)(const RECT& rect);
    // On WM_NCCREATE: a per-monitor (v1) window on Windows 10 1607 has its
    // caption and frame scaled only when it asks; v2 (later Windows) always.
    void (*scaleNonClient)(HWND window);
};
MonitorCalls& Monitors();  // the calls in use: the system's unless a test has stood its own in

POINT CentredIn(const RECT& area, SIZE size);
// Where a window goes to lie on an area, moved as little as it can be; one
// larger than the area keeps its top left corner on it.
POINT MovedOnto(const RECT& window, const RECT& area);

}  // namespace ui
