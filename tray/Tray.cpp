#include "tray/Tray.h"

#include <shellapi.h>

#include "ui/Toolkit.h"

namespace tray {

namespace {

// The module's state, held from the main window's load to the program's end.
struct State {
    ui::Form* frmTray = nullptr;
    HMENU mnuTray = nullptr;
    WNDPROC lpPrevWndProc = nullptr;
    NOTIFYICONDATAW nid{};
    std::wstring tipSent;   // the tip the shell last accepted
    bool hooked = false;
    UINT taskbarCreated = 0;
};

State& S() {
    static State state;
    return state;
}

void CopyTip(const std::wstring& tip) {
    NOTIFYICONDATAW& nid = S().nid;
    lstrcpynW(nid.szTip, tip.c_str(), ARRAYSIZE(nid.szTip));
}

// Adds the icon with everything it carries; where the shell already has it
// (a restart notice for a shell that kept its icons) a modify does instead.
bool AddWithTip() {
    NOTIFYICONDATAW& nid = S().nid;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | (nid.szTip[0] ? NIF_TIP : 0);
    if (Shell_NotifyIconW(NIM_ADD, &nid)) return true;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void ShowPopup(HWND hWnd) {
    State& s = S();
    POINT pt{};
    GetCursorPos(&pt);
    // The menu's window must be the foreground window, or the menu never
    // closes when the user clicks elsewhere.
    SetForegroundWindow(hWnd);
    TrackPopupMenuEx(s.mnuTray, 0, pt.x, pt.y, hWnd, nullptr);
    // Without a message after the menu, the next menu flashes and vanishes.
    PostMessageW(hWnd, WM_NULL, 0, 0);
}

}  // namespace

void AddTrayIcon(ui::Form& frm, HMENU mnu) {
    State& s = S();
    s.frmTray = &frm;
    s.mnuTray = mnu;
    HWND hwnd = frm.Hwnd();
    s.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // An elevated copy would otherwise never hear that the shell came back.
    ChangeWindowMessageFilterEx(hwnd, s.taskbarCreated, MSGFLT_ALLOW, nullptr);
    s.lpPrevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TrayWndProc)));
    s.hooked = true;

    NOTIFYICONDATAW& nid = s.nid;
    nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = kIconId;
    nid.hIcon = frm.SmallIcon();
    nid.uCallbackMessage = kCallbackMessage;
    nid.uFlags = NIF_MESSAGE | NIF_ICON;
    // A failed add (no shell yet) is retried by the next tip update.
    Shell_NotifyIconW(NIM_ADD, &nid);
    s.tipSent.clear();
}

void SetTrayTip(const std::wstring& tip) {
    State& s = S();
    if (!s.hooked) return;
    // The shell is another process: an unchanged tip is not worth the call.
    if (tip == s.tipSent) return;
    CopyTip(tip);
    s.nid.uFlags = NIF_TIP;
    if (Shell_NotifyIconW(NIM_MODIFY, &s.nid) || AddWithTip()) {
        s.tipSent = s.nid.szTip;
    } else {
        s.tipSent.clear();
    }
}

void RemoveTrayIcon() {
    State& s = S();
    if (!s.hooked) return;
    s.nid.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &s.nid);  // nothing to do if the shell has lost it already
    if (s.frmTray && s.frmTray->Hwnd()) {
        SetWindowLongPtrW(s.frmTray->Hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.lpPrevWndProc));
    }
    s.hooked = false;
    s.tipSent.clear();
}

LRESULT CALLBACK TrayWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    State& s = S();
    if (uMsg == kCallbackMessage && lParam == WM_RBUTTONUP) {
        ShowPopup(hWnd);
        return 0;
    }
    if (uMsg == s.taskbarCreated && s.taskbarCreated != 0) {
        // The shell (re)started and has no icon of ours.
        if (AddWithTip()) s.tipSent = s.nid.szTip;
    }
    return CallWindowProcW(s.lpPrevWndProc, hWnd, uMsg, wParam, lParam);
}

WNDPROC PreviousWndProc() { return S().lpPrevWndProc; }

const std::wstring& TipSent() { return S().tipSent; }

}  // namespace tray
