// The notification-area icon and the hook on its window that opens the popup
// menu. Knows nothing of memory: the tip arrives ready-made.
#pragma once

#include <windows.h>

#include <string>

namespace ui {
class Form;
}

namespace tray {

// The message the shell sends for mouse activity over the icon.
inline constexpr UINT kCallbackMessage = 2025;
inline constexpr UINT kIconId = 0;
// A failed add is tried again at most this often.
inline constexpr ULONGLONG kAddRetryMs = 5000;

// Adds the icon for frm and hooks frm's window procedure; mnu is the menu a
// right-button release over the icon opens.
void AddTrayIcon(ui::Form& frm, HMENU mnu);

// Gives the icon its tooltip; adds the icon again if the shell has lost it or
// an earlier add failed.
void SetTrayTip(const std::wstring& tip);

// Deletes the icon and puts the window's own procedure back.
void RemoveTrayIcon();

// The hook: opens the menu on a right-button release over the icon and hands
// every other message, unchanged, to the window's previous procedure.
LRESULT CALLBACK TrayWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

}  // namespace tray
