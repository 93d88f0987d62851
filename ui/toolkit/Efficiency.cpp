#include "ui/toolkit/Efficiency.h"

#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// Windows 8 has SetProcessInformation, but not this class of it before
// Windows 10 1709: there the call fails and the process runs as before.
bool SystemCall(const PROCESS_POWER_THROTTLING_STATE& state) {
    static const auto fn = SystemProc<SetProcessInformationFn>(L"kernel32.dll", "SetProcessInformation");
    PROCESS_POWER_THROTTLING_STATE copy = state;
    return fn && fn(GetCurrentProcess(), ProcessPowerThrottling, &copy, sizeof copy);
}

PowerThrottlingCall g_call = nullptr;
bool g_efficient = false;

// ControlMask says which mechanism the process decides itself; StateMask
// whether it is on. Execution speed on is EcoQoS; off is the high level.
bool SetExecutionSpeedThrottled(bool throttled) {
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
    state.StateMask = throttled ? PROCESS_POWER_THROTTLING_EXECUTION_SPEED : 0;
    return (g_call ? g_call : &SystemCall)(state);
}

}  // namespace

void UsePowerThrottlingCall(PowerThrottlingCall call) { g_call = call; }

void RunEfficiently() { g_efficient = SetExecutionSpeedThrottled(true); }

bool RunningEfficiently() { return g_efficient; }

FullSpeed::FullSpeed() {
    if (!g_efficient) return;
    lifted_ = SetExecutionSpeedThrottled(false);
    if (lifted_) g_efficient = false;
}

FullSpeed::~FullSpeed() {
    if (lifted_) g_efficient = SetExecutionSpeedThrottled(true);
}

}  // namespace ui
