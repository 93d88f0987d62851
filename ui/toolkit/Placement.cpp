// Where a form's window goes on the screen.
#include "ui/toolkit/Form.h"

namespace ui {

namespace {

SIZE SizeOf(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

void Form::MoveTo(POINT at) { SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }

void Form::CentreIn(const RECT& monitor) { MoveTo(CentredIn(monitor, SizeOf(hwnd_))); }

void Form::CentreOn(HWND window) {
    Load();
    if (!hwnd_) return;
    const std::optional<MonitorArea> area = Monitors().ofWindow(window ? window : hwnd_, MONITOR_DEFAULTTOPRIMARY);
    if (!area) return;
    CentreIn(area->monitor);
    positioned_ = true;
}

std::optional<RECT> Form::CentredOn() const {
    const std::optional<MonitorArea> area = Monitors().ofWindow(hwnd_, MONITOR_DEFAULTTONULL);
    RECT rect;
    GetWindowRect(hwnd_, &rect);
    if (!area) return std::nullopt;
    const POINT centred = CentredIn(area->monitor, SizeOf(hwnd_));
    if (centred.x != rect.left || centred.y != rect.top) return std::nullopt;
    return area->monitor;
}

void Form::KeepOnAMonitor() {
    // A window hidden on a monitor that has been unplugged since would come
    // back where nobody can see it or reach it.
    const MonitorCalls& monitors = Monitors();
    if (monitors.ofWindow(hwnd_, MONITOR_DEFAULTTONULL)) return;
    const std::optional<MonitorArea> nearest = monitors.ofWindow(hwnd_, MONITOR_DEFAULTTONEAREST);
    if (!nearest) return;
    RECT rect;
    GetWindowRect(hwnd_, &rect);
    MoveTo(MovedOnto(rect, nearest->work));
}

}  // namespace ui
