#include "ui/toolkit/Timer.h"

#include "ui/toolkit/Form.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

using SetCoalescableTimerFn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);

void Arm(HWND hwnd, UINT_PTR id, UINT interval, ULONG tolerance) {
    // With the default tolerance SetCoalescableTimer is SetTimer.
    static const auto coalescable = UserProc<SetCoalescableTimerFn>("SetCoalescableTimer");
    if (tolerance != TIMERV_DEFAULT_COALESCING && coalescable && coalescable(hwnd, id, interval, nullptr, tolerance)) {
        return;
    }
    SetTimer(hwnd, id, interval, nullptr);
}

}  // namespace

Timer::Timer(Form& owner, UINT_PTR id, UINT intervalMs, ULONG toleranceMs)
    : owner_(owner), id_(id), interval_(intervalMs), tolerance_(toleranceMs) {
    owner_.timers_.push_back(this);
}

Timer::~Timer() {
    if (enabled_ && owner_.Hwnd()) KillTimer(owner_.Hwnd(), id_);
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    HWND hwnd = owner_.Hwnd();
    if (!hwnd) return;  // a design-time setting: it takes effect when the window is made
    if (enabled) {
        Arm(hwnd, id_, interval_, tolerance_);  // re-setting restarts the count
    } else {
        KillTimer(hwnd, id_);
    }
}

}  // namespace ui
