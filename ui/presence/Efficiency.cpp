#include "ui/presence/Efficiency.h"

#include "ui/presence/Calls.h"

namespace presence {

namespace {

bool g_efficient = false, g_menuOpen = false;  // not at start: the start window shows at once

// ControlMask says which mechanism the process decides itself, StateMask
// whether it is on: execution speed on is EcoQoS, off the high level, and
// neither decided leaves it to the system. Before Windows 10 1709 the call
// fails and the process runs as the system decides, which is all there is.
constexpr ULONG kSpeed = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
void Throttle(ULONG control, ULONG state) {
    PROCESS_POWER_THROTTLING_STATE throttling{PROCESS_POWER_THROTTLING_CURRENT_VERSION, control, state};
    (void)System().setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &throttling, sizeof throttling);
}

void Apply() { Throttle(g_efficient ? kSpeed : 0, g_efficient ? kSpeed : 0); }

struct Sight { HWND main; bool shown; };

BOOL CALLBACK NoteShown(HWND window, LPARAM lParam) {
    auto& sight = *reinterpret_cast<Sight*>(lParam);
    if (window != sight.main && IsWindowVisible(window)) sight.shown = true;
    return !sight.shown;
}

}  // namespace

void FollowSight(HWND main, UINT msg, WPARAM wParam) {
    if (msg == WM_ENTERMENULOOP || msg == WM_EXITMENULOOP) g_menuOpen = msg == WM_ENTERMENULOOP;
    // WM_SHOWWINDOW comes before the window changes.
    Sight sight{main, g_menuOpen || (msg == WM_SHOWWINDOW ? wParam != FALSE : IsWindowVisible(main) != FALSE)};
    // The start window, the arrange window, a message box: all are this thread's.
    if (!sight.shown) EnumThreadWindows(GetCurrentThreadId(), &NoteShown, reinterpret_cast<LPARAM>(&sight));
    if (sight.shown == !g_efficient) return;
    g_efficient = !sight.shown;
    Apply();
}

FullSpeed::FullSpeed() { Throttle(kSpeed, 0); }
FullSpeed::~FullSpeed() { Apply(); }

}  // namespace presence
