// What the tray module asks of the shell and the clock. An interface, so that
// tests can stand in a shell that fails, hangs up or reports an icon's place
// on demand; the program uses the system's.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>

namespace tray {

class Shell {
public:
    virtual ~Shell() = default;
    // Shell_NotifyIconW: true when the shell took the call.
    virtual bool Notify(DWORD message, NOTIFYICONDATAW& nid) = 0;
    // Where the icon is on the screen; empty when the shell cannot say.
    virtual std::optional<RECT> IconRect(HWND hwnd, UINT id) = 0;
    // Milliseconds since some fixed moment.
    virtual ULONGLONG Now() = 0;
};

// The system's shell, unless a test has put its own in place.
Shell& CurrentShell();
// Puts a stand-in in place; nullptr goes back to the system's.
void UseShell(Shell* shell);

}  // namespace tray
