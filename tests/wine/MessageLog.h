// Watches the messages of one kind that reach a window, through a subclass
// that goes with the log or with the window, whichever goes first.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <vector>

namespace testing_support {

class MessageLog {
public:
    // `at` runs as each one arrives: what another window looks like then is
    // the order of a hand-over, which no end result shows.
    MessageLog(HWND hwnd, UINT kind, std::function<void()> at = nullptr) : hwnd_(hwnd), kind_(kind), at_(at) {
        SetWindowSubclass(hwnd_, &Record, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageLog() {
        if (hwnd_) RemoveWindowSubclass(hwnd_, &Record, kSubclassId);
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // The wParam of each one, in order.
    std::vector<WPARAM> seen;

private:
    static constexpr UINT_PTR kSubclassId = 0x10C;
    static LRESULT CALLBACK Record(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        auto* log = reinterpret_cast<MessageLog*>(self);
        if (msg == log->kind_) {
            log->seen.push_back(wParam);
            if (log->at_) log->at_();
        }
        if (msg == WM_NCDESTROY) {
            RemoveWindowSubclass(hwnd, &Record, kSubclassId);
            log->hwnd_ = nullptr;
        }
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    HWND hwnd_;
    UINT kind_;
    std::function<void()> at_;
};

}  // namespace testing_support
