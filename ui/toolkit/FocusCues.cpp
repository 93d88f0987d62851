// The keyboard cues of a window that is not a dialog. The dialog manager
// initialises a dialog's UI state when it makes it and clears the hidden
// flags when it sees Tab, an arrow or Alt; a form must do both itself, or its
// buttons draw their focus rectangle for everyone from the first show.
#include "ui/toolkit/FocusCues.h"

namespace ui {

namespace {

constexpr WORD kBothCues = UISF_HIDEFOCUS | UISF_HIDEACCEL;

bool ShowsCues(const MSG& msg) {
    if (msg.message == WM_SYSKEYDOWN) return msg.wParam == VK_MENU;
    if (msg.message != WM_KEYDOWN) return false;
    switch (msg.wParam) {
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
        return true;
    default:
        return false;
    }
}

bool SystemAlwaysShows() {
    BOOL always = FALSE;
    return SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always, 0) && always;
}

FocusCues::AlwaysShownSource g_alwaysShown = SystemAlwaysShows;

}  // namespace

void FocusCues::SetAlwaysShownSource(AlwaysShownSource source) {
    g_alwaysShown = source ? source : SystemAlwaysShows;
}

void FocusCues::Initialise(HWND window) {
    if (!window || window == initialisedFor_) return;
    initialisedFor_ = window;
    // The top-level window passes the state on to every child through
    // DefWindowProc's WM_UPDATEUISTATE.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(g_alwaysShown() ? UIS_CLEAR : UIS_INITIALIZE, kBothCues), 0);
}

void FocusCues::KeyPressed(HWND window, const MSG& msg) {
    // DefWindowProc sends nothing on when the state is already clear, so a
    // second Tab costs a message and no repaint.
    if (window && ShowsCues(msg)) SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, kBothCues), 0);
}

}  // namespace ui
