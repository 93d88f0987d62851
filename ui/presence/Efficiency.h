// How fast Windows runs the process. A process whose windows are all hidden
// gets the low QoS level from Windows by itself; an explicit EcoQoS tag would
// put it on efficient cores even while its windows show. So the tag is asked
// for only while nobody looks at a window of ours, released as one shows, and
// lifted to the high level while an arrangement writes its block, so that the
// 140 MB are written at full speed.
#pragma once

#include <windows.h>

namespace presence {

// The main window hands over its WM_SHOWWINDOW, WM_ENTERMENULOOP and
// WM_EXITMENULOOP (the tray's popup menu), and WM_NULL after a command that
// may have shown another window of its thread: EcoQoS while none shows.
void FollowSight(HWND main, UINT msg, WPARAM wParam);

// For its lifetime, the process runs at the high level; then as the windows say.
class FullSpeed {
public:
    FullSpeed();
    ~FullSpeed();
    FullSpeed(const FullSpeed&) = delete;
    FullSpeed& operator=(const FullSpeed&) = delete;
};

}  // namespace presence
