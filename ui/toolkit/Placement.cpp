// Where a form's window goes on the screen.
#include "ui/toolkit/Form.h"

namespace ui {

void Form::CentreOnScreen() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int w = window.right - window.left;
    const int h = window.bottom - window.top;
    const RECT& screen = mi.rcMonitor;
    SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - w) / 2,
                 screen.top + (screen.bottom - screen.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
