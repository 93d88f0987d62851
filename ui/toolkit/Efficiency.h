// How fast Windows runs the process. A meter that wakes once a second needs
// no fast core: it asks for EcoQoS (Windows 11; power throttling on Windows 10
// from 1709), and lifts it while an arrangement writes its block, so that the
// 140 MB are written at full speed.
#pragma once

#include <windows.h>

namespace ui {

// SetProcessInformation(ProcessPowerThrottling) on this process, true when
// Windows took it; tests put theirs in place to see the calls in order.
// nullptr goes back to the system's call.
void UsePowerThrottlingCall(bool (*call)(const PROCESS_POWER_THROTTLING_STATE& state));

// At start: the process runs efficiently from here on, where Windows can.
void RunEfficiently();
bool RunningEfficiently();

// For its lifetime, the process runs at full speed (the high QoS level), then
// efficiently again; nothing where it does not run efficiently.
class FullSpeed {
public:
    FullSpeed();
    ~FullSpeed();
    FullSpeed(const FullSpeed&) = delete;
    FullSpeed& operator=(const FullSpeed&) = delete;

private:
    bool lifted_ = false;
};

}  // namespace ui
