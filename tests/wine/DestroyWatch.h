// What another window looked like at the moment a window was destroyed: the
// order of a hand-over, which no end result shows.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace testing_support {

class DestroyWatch {
public:
    DestroyWatch(HWND watched, HWND other) : other_(other) {
        SetWindowSubclass(watched, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    bool destroyed = false;
    bool otherVisible = false;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self) {
        auto* watch = reinterpret_cast<DestroyWatch*>(self);
        if (msg == WM_DESTROY) {
            watch->destroyed = true;
            watch->otherVisible = IsWindowVisible(watch->other_) != FALSE;
        } else if (msg == WM_NCDESTROY) {
            RemoveWindowSubclass(hwnd, &Proc, id);
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    HWND other_;
};

}  // namespace testing_support
