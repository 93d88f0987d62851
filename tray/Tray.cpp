#include "tray/Tray.h"

#include <commctrl.h>

#include <optional>
#include <vector>

#include "resources/resource.h"
#include "tray/Shell.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Monitors.h"
#include "ui/toolkit/Program.h"

namespace tray {

namespace {

// The module's state, held from the main window's load to the program's end.
struct State {
    ui::Form* frmTray = nullptr;
    HMENU mnuTray = nullptr;
    WNDPROC lpPrevWndProc = nullptr;
    NOTIFYICONDATAW nid{};
    std::wstring tipSent;      // the tip the shell last accepted
    bool live = false;         // from the add until the unload begins
    bool inShell = false;      // the shell took the icon the last time it was asked
    ULONGLONG nextAdd = 0;     // a failed add is tried again from then on
    UINT taskbarCreated = 0;
    UINT iconDpi = 0;
    ui::UniqueIcon icon;       // ours, not the window's: nid.hIcon
    // Icons the shell may still hold: destroyed once it has taken a newer one.
    std::vector<ui::UniqueIcon> replaced;
};

State state;

// The program's icon at the small-icon size for a DPI. LoadIconMetric would
// size it for the DPI the process started with, which a change of scale
// leaves behind; its sibling LoadIconWithScaleDown takes the size, and scales
// the next larger image down instead of a smaller one up. Both are in version
// 6 of the common controls (Vista and later), which the manifest selects.
HICON LoadSmallIcon(UINT dpi) {
    const int size = ui::SystemMetric(SM_CXSMICON, dpi);
    HICON icon = nullptr;
    if (FAILED(LoadIconWithScaleDown(ui::Instance(), MAKEINTRESOURCEW(IDI_APP), size, size, &icon))) return nullptr;
    return icon;
}

// Where the icon is on the screen; nothing when the shell cannot say.
std::optional<RECT> IconRect(HWND hwnd) {
    const NOTIFYICONIDENTIFIER icon{sizeof icon, hwnd, kIconId, {}};
    RECT rect{};
    if (FAILED(Shell().iconRect(&icon, &rect))) return std::nullopt;
    return rect;
}

// The shell draws the icon at the DPI of the monitor whose taskbar holds it,
// which need not be the main window's. Where the shell cannot say where the
// icon is (it has not got it yet) or Windows cannot say that monitor's DPI
// (before 8.1), the main window's it is.
UINT IconDpi() {
    if (const std::optional<RECT> rect = IconRect(state.frmTray->Hwnd())) {
        if (const std::optional<UINT> dpi = ui::Monitors().dpiAt(*rect)) return *dpi;
    }
    return state.frmTray->Dpi();
}

// Puts a freshly loaded icon in the record. The one it replaces stays alive:
// the shell draws from the handle it was given until it has taken another.
void ReloadIcon() {
    const UINT dpi = IconDpi();
    ui::UniqueIcon fresh(LoadSmallIcon(dpi));
    if (!fresh) return;  // the old one still draws
    state.iconDpi = dpi;
    if (state.icon) state.replaced.push_back(std::move(state.icon));
    state.icon = std::move(fresh);
    state.nid.hIcon = state.icon.get();
}

bool Notify(DWORD message) {
    const bool taken = Shell().notify(message, &state.nid) != FALSE;
    if (taken && (state.nid.uFlags & NIF_ICON)) state.replaced.clear();
    return taken;
}

// True when the unload ran while a call was with the shell: each call to
// another process can deliver a WM_ENDSESSION or WM_CLOSE sent meanwhile.
bool Gone() { return !state.live; }

// The shell has lost the icon: the next tip adds it back at once.
void Lost() {
    state.inShell = false;
    state.nextAdd = 0;
}

// A new icon where the DPI it is drawn at has changed.
void FollowIconDpi() {
    if (Gone() || IconDpi() == state.iconDpi) return;
    ReloadIcon();
    if (!state.inShell) return;  // the next add carries it
    state.nid.uFlags = NIF_ICON;
    if (!Notify(NIM_MODIFY) && !Gone()) Lost();
}

// Adds the icon with everything it carries; where the shell already has it
// (a restart notice for a shell that kept its icons) a modify does instead.
void Add() {
    if (Gone()) return;
    NOTIFYICONDATAW& nid = state.nid;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | (nid.szTip[0] ? NIF_TIP : 0);
    bool taken = Notify(NIM_ADD);
    if (!taken && !Gone()) taken = Notify(NIM_MODIFY);
    if (Gone()) {
        // The unload's delete ran inside the add and may have reached the
        // shell first: delete once more, so no icon outlives its window.
        if (taken) Shell().notify(NIM_DELETE, &nid);
        return;
    }
    state.inShell = taken;
    state.tipSent = taken ? nid.szTip : L"";
    // A shell that is not up yet (or busy at logon) is asked again, but not
    // on every tick: each call may wait seconds for it.
    if (!taken) state.nextAdd = Shell().now() + kAddRetryMs;
    // Only now can the shell say where the icon is.
    if (taken) FollowIconDpi();
}

void ShowPopup(HWND hWnd) {
    POINT pt{};
    GetCursorPos(&pt);
    // With the legacy icon version, Win+B and Enter or Shift+F10 on the icon
    // arrive as the same right-button release as a click. Then the pointer is
    // anywhere, perhaps on another monitor, and the menu belongs at the icon.
    const std::optional<RECT> iconRect = IconRect(hWnd);
    const bool fromKeyboard = iconRect && !PtInRect(&*iconRect, pt);
    TPMPARAMS around{};
    around.cbSize = sizeof around;
    UINT flags = TPM_RETURNCMD;
    if (fromKeyboard) {
        pt = {(iconRect->left + iconRect->right) / 2, (iconRect->top + iconRect->bottom) / 2};
        // Beside the icon, not over it: above a taskbar at the bottom.
        around.rcExclude = *iconRect;
        flags |= TPM_VERTICAL;
    }
    // The menu's window must be the foreground window, or the menu never
    // closes when the user clicks elsewhere.
    SetForegroundWindow(hWnd);
    const UINT command = static_cast<UINT>(
        TrackPopupMenuEx(state.mnuTray, flags, pt.x, pt.y, hWnd, fromKeyboard ? &around : nullptr));
    if (command) {
        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    } else if (fromKeyboard && !Gone()) {
        // Dismissed: the keyboard goes back where the user left it.
        Shell().notify(NIM_SETFOCUS, &state.nid);
    }
    // Without a message after the menu, the next menu flashes and vanishes.
    PostMessageW(hWnd, WM_NULL, 0, 0);
}

}  // namespace

void AddTrayIcon(ui::Form& frm, HMENU mnu) {
    state = State{};
    state.frmTray = &frm;
    state.mnuTray = mnu;
    HWND hwnd = frm.Hwnd();
    state.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // An elevated copy would otherwise never hear that the shell came back.
    ChangeWindowMessageFilterEx(hwnd, state.taskbarCreated, MSGFLT_ALLOW, nullptr);
    state.lpPrevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TrayWndProc)));
    state.live = true;
    NOTIFYICONDATAW& nid = state.nid;
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = kIconId;
    nid.uCallbackMessage = kCallbackMessage;
    ReloadIcon();
    // A failed add (no shell yet) is retried by the tip updates.
    Add();
}

void SetTrayTip(const std::wstring& tip) {
    if (Gone()) return;
    // The shell is another process: an unchanged tip is not worth the call.
    if (state.inShell && tip == state.tipSent) return;
    lstrcpynW(state.nid.szTip, tip.c_str(), ARRAYSIZE(state.nid.szTip));
    if (state.inShell) {
        state.nid.uFlags = NIF_TIP;
        if (Notify(NIM_MODIFY)) {
            state.tipSent = state.nid.szTip;
            return;
        }
        if (Gone()) return;
        Lost();  // added back now, then at the pace below
    }
    if (Shell().now() >= state.nextAdd) Add();
}

void RemoveTrayIcon() {
    if (!state.live) return;
    state.live = false;
    state.nid.uFlags = 0;
    Shell().notify(NIM_DELETE, &state.nid);  // nothing to do if the shell has lost it already
    SetWindowLongPtrW(state.nid.hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state.lpPrevWndProc));
    state.replaced.clear();
    state.icon.reset();
    state.nid.hIcon = nullptr;
}

LRESULT CALLBACK TrayWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kCallbackMessage && lParam == WM_RBUTTONUP) {
        ShowPopup(hWnd);
        return 0;
    }
    const WNDPROC previous = state.lpPrevWndProc;
    if (uMsg == state.taskbarCreated && state.taskbarCreated != 0 && !Gone()) {
        // The shell (re)started, or the primary monitor's scale changed, or a
        // remote session connected: the icon may be gone and its size stale.
        ReloadIcon();
        Add();
    }
    const LRESULT result = CallWindowProcW(previous, hWnd, uMsg, wParam, lParam);
    // After the window has taken its new DPI.
    if (uMsg == WM_DPICHANGED) FollowIconDpi();
    return result;
}

}  // namespace tray
