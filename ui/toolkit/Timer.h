// A timer of a form: raises the form's OnTimer(id) every interval while
// enabled; enabling it starts the count from zero.
#pragma once

#include <windows.h>

namespace ui {

class Form;

class Timer {
public:
    Timer(Form& owner, UINT_PTR id, UINT intervalMs);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    UINT Interval() const { return interval_; }
    UINT_PTR Id() const { return id_; }

private:
    Form& owner_;
    UINT_PTR id_;
    UINT interval_;
    bool enabled_ = false;
};

}  // namespace ui
