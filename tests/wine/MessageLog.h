// Records the messages of one kind that reach a window, through a subclass
// that goes again with the log.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace testing_support {

class MessageLog {
public:
    MessageLog(HWND hwnd, UINT kind) : hwnd_(hwnd), kind_(kind) {
        SetWindowSubclass(hwnd_, &Record, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageLog() { RemoveWindowSubclass(hwnd_, &Record, kSubclassId); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // The wParam of each one, in order.
    std::vector<WPARAM> seen;

private:
    static constexpr UINT_PTR kSubclassId = 0x10C;
    static LRESULT CALLBACK Record(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        auto* log = reinterpret_cast<MessageLog*>(self);
        if (msg == log->kind_) log->seen.push_back(wParam);
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    HWND hwnd_;
    UINT kind_;
};

}  // namespace testing_support
