// Where a form's window goes on the screen.
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Monitors.h"

namespace ui {

void Form::CentreOn(HWND window) {
    Load();
    if (!hwnd_) return;
    const std::optional<MonitorArea> area = Monitors().ofWindow(window ? window : hwnd_, MONITOR_DEFAULTTOPRIMARY);
    if (!area) return;
    RECT rect;
    GetWindowRect(hwnd_, &rect);
    const POINT at = CentredIn(area->monitor, {rect.right - rect.left, rect.bottom - rect.top});
    SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    positioned_ = true;
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
    const POINT at = MovedOnto(rect, nearest->work);
    SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
