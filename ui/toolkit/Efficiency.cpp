#include "ui/toolkit/Efficiency.h"

#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

// Windows 8 has SetProcessInformation, but not this class of it before
// Windows 10 1709: there the call fails and the process runs as before.
bool SystemCall(const PROCESS_POWER_THROTTLING_STATE& state) {
    static const auto fn = SystemProc<decltype(&SetProcessInformation)>(L"kernel32.dll", "SetProcessInformation");
    PROCESS_POWER_THROTTLING_STATE copy = state;
    return fn && fn(GetCurrentProcess(), ProcessPowerThrottling, &copy, sizeof copy);
}

bool (*g_call)(const PROCESS_POWER_THROTTLING_STATE&) = &SystemCall;
bool g_efficient = false;

// ControlMask says which mechanism the process decides itself; StateMask
// whether it is on. Execution speed on is EcoQoS; off is the high level.
bool Throttle(bool on) {
    return g_call({PROCESS_POWER_THROTTLING_CURRENT_VERSION, PROCESS_POWER_THROTTLING_EXECUTION_SPEED,
                   on ? PROCESS_POWER_THROTTLING_EXECUTION_SPEED : 0u});
}

}  // namespace

void UsePowerThrottlingCall(bool (*call)(const PROCESS_POWER_THROTTLING_STATE&)) {
    g_call = call ? call : &SystemCall;
}

void RunEfficiently() { g_efficient = Throttle(true); }

bool RunningEfficiently() { return g_efficient; }

FullSpeed::FullSpeed() : lifted_(g_efficient && Throttle(false)) {
    if (lifted_) g_efficient = false;
}

FullSpeed::~FullSpeed() {
    if (lifted_) g_efficient = Throttle(true);
}

}  // namespace ui
