// The tray's popup menu as its window sees it open on a right-button release
// over the icon, closed unchosen from a timer inside the menu's loop.
#pragma once

#include "tests/wine/MessageLog.h"
#include "tray/Tray.h"

namespace testing_support {

// A named CALLBACK: on 32-bit x86 a TIMERPROC is __stdcall.
inline void CALLBACK CloseTheMenu(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), EndMenu(); }

// Its handle, from the WM_INITMENUPOPUP the window gets.
inline HMENU OpenedTrayMenu(HWND window) {
    MessageLog opened(window, WM_INITMENUPOPUP);
    SetTimer(nullptr, 0, 100, &CloseTheMenu);
    SendMessageW(window, tray::kCallbackMessage, tray::kIconId, WM_RBUTTONUP);
    return opened.seen.empty() ? nullptr : reinterpret_cast<HMENU>(opened.seen.front());
}

inline bool Offered(HMENU menu, UINT id) { return !(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED); }

}  // namespace testing_support
