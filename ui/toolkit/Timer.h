// A timer of a form: raises the form's OnTimer(id) every interval while
// enabled; enabling it starts the count from zero. A timer with a tolerance
// lets Windows 8 and later run each tick up to that many milliseconds late,
// together with other wake-ups (SetCoalescableTimer); Windows 7 has only the
// exact timer.
#pragma once

#include <windows.h>

namespace ui {

class Form;

class Timer {
public:
    Timer(Form& owner, UINT_PTR id, UINT intervalMs, ULONG toleranceMs = TIMERV_DEFAULT_COALESCING);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    UINT Interval() const { return interval_; }
    ULONG Tolerance() const { return tolerance_; }
    UINT_PTR Id() const { return id_; }

private:
    Form& owner_;
    UINT_PTR id_;
    UINT interval_;
    ULONG tolerance_;
    bool enabled_ = false;
};

}  // namespace ui
