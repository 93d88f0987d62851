#include "ui/toolkit/Timer.h"

#include "ui/toolkit/Form.h"

namespace ui {

Timer::Timer(Form& owner, UINT_PTR id, UINT intervalMs) : owner_(owner), id_(id), interval_(intervalMs) {
    owner_.AddTimer(*this);
}

Timer::~Timer() {
    if (enabled_ && owner_.Hwnd()) KillTimer(owner_.Hwnd(), id_);
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    HWND hwnd = owner_.Hwnd();
    if (!hwnd) return;  // a design-time setting: it takes effect when the window is made
    if (enabled) {
        SetTimer(hwnd, id_, interval_, nullptr);  // re-setting restarts the count
    } else {
        KillTimer(hwnd, id_);
    }
}

}  // namespace ui
