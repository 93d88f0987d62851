#include "tray/Shell.h"

namespace tray {

namespace {

class SystemShell final : public Shell {
public:
    bool Notify(DWORD message, NOTIFYICONDATAW& nid) override { return Shell_NotifyIconW(message, &nid) != FALSE; }

    std::optional<RECT> IconRect(HWND hwnd, UINT id) override {
        NOTIFYICONIDENTIFIER icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = hwnd;
        icon.uID = id;
        RECT rect{};
        if (FAILED(Shell_NotifyIconGetRect(&icon, &rect))) return std::nullopt;
        return rect;
    }

    ULONGLONG Now() override { return GetTickCount64(); }
};

SystemShell g_system;
Shell* g_current = &g_system;

}  // namespace

Shell& CurrentShell() { return *g_current; }

void UseShell(Shell* shell) { g_current = shell ? shell : &g_system; }

}  // namespace tray
