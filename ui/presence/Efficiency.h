// How fast Windows runs the process. Windows gives a process whose windows
// are all hidden the low QoS level by itself, and an EcoQoS tag would keep it
// on efficient cores with its windows shown: the tag is asked for only while
// no window of ours shows, and the arrangement writes its 140 MB at the high level.
#pragma once

#include <windows.h>

namespace presence {

// The main window hands over its WM_SHOWWINDOW, WM_ENTERMENULOOP and
// WM_EXITMENULOOP (the tray's popup menu), and WM_NULL after a command that
// may have shown another window of its thread: EcoQoS while none shows.
void FollowSight(HWND main, UINT msg, WPARAM wParam);

// For its lifetime, the process runs at the high level; then as the windows say.
struct FullSpeed {
    FullSpeed();
    ~FullSpeed();
    FullSpeed(const FullSpeed&) = delete;
    FullSpeed& operator=(const FullSpeed&) = delete;
};

}  // namespace presence
