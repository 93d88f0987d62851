// Focus rectangles and access-key underlines, hidden from a mouse user and
// shown once the keyboard is used, as the dialog manager does for dialogs.
#pragma once

#include <windows.h>

namespace ui {

class FocusCues {
public:
    // At a window's first show: the system hides both cues if the last input
    // was the mouse's and shows them if it was the keyboard's.
    void Initialise(HWND window);
    // A key on its way through the message loop: Tab, an arrow or Alt shows
    // both cues for the rest of the window's life.
    static void KeyPressed(HWND window, const MSG& msg);

private:
    HWND initialisedFor_ = nullptr;  // a form's window can be made anew
};

}  // namespace ui
