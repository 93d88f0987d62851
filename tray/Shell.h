// What the tray module asks of the shell and the clock: a table that starts
// out holding the system's calls, so that a test can stand in a shell that
// fails, hangs up or says where the icon is.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace tray {

struct ShellCalls {
    BOOL(WINAPI* notify)(DWORD message, PNOTIFYICONDATAW nid) = &Shell_NotifyIconW;
    HRESULT(WINAPI* iconRect)(const NOTIFYICONIDENTIFIER* icon, RECT* rect) = &Shell_NotifyIconGetRect;
    ULONGLONG(WINAPI* now)() = &GetTickCount64;
};

// The calls in use: the system's unless a test has stood its own in.
ShellCalls& Shell();

}  // namespace tray
