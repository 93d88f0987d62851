// Message pumping, and reading a window's text, for tests that drive real
// windows in process.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/toolkit/Form.h"

namespace testing_support {

// Dispatches messages until pred holds or timeoutMs pass; true if it held.
// WM_QUIT (the last form going) is noted rather than ending anything.
inline bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, bool* sawQuit = nullptr) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (sawQuit) *sawQuit = true;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            ui::CollectRetired();
        }
        if (pred && pred()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms, bool* sawQuit = nullptr) { PumpUntil(nullptr, ms, sawQuit); }

inline std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

}  // namespace testing_support
