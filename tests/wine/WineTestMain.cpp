// The in-process tests run with the same start-up as the program, under
// their own instance name so a running copy of the program is no obstacle.
#include <gtest/gtest.h>

#include "ui/toolkit/Program.h"

namespace {

// A popup menu runs its own message loop until something closes it: a menu
// that a fault opens where no test expects one would hold the test until
// ctest's limit. Any menu of this thread still open after a few seconds (the
// tests close theirs within half a second) is closed, and the test fails.
constexpr UINT kMenuLimitMs = 5000;
UINT_PTR g_menuWatchdog = 0;

// A named CALLBACK: on 32-bit x86 a TIMERPROC is __stdcall.
void CALLBACK CloseTheForgottenMenu(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    g_menuWatchdog = 0;
    ADD_FAILURE() << "a popup menu was still open after " << kMenuLimitMs << " ms; closed it";
    EndMenu();
}

// Every menu loop of the thread tells its owner window that it starts and
// ends, whichever window and whichever code opened it.
LRESULT CALLBACK WatchMenuLoops(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent->message == WM_ENTERMENULOOP && !g_menuWatchdog) {
            g_menuWatchdog = SetTimer(nullptr, 0, kMenuLimitMs, CloseTheForgottenMenu);
        } else if (sent->message == WM_EXITMENULOOP && g_menuWatchdog) {
            KillTimer(nullptr, g_menuWatchdog);
            g_menuWatchdog = 0;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ui::Startup(GetModuleHandleW(nullptr), L"Local\\Lanshige.MemoryArrange.InProcessTests");
    // Lives as long as the process; nothing to unhook.
    SetWindowsHookExW(WH_CALLWNDPROC, &WatchMenuLoops, nullptr, GetCurrentThreadId());
    return RUN_ALL_TESTS();
}
