// Focus rectangles and access-key underlines, hidden from a mouse user and
// shown once the keyboard is used, as the dialog manager does for dialogs.
#pragma once

#include <windows.h>

namespace ui {

class FocusCues {
public:
    // At a window's first show: the system hides both cues if the last input
    // was the mouse's and shows them if it was the keyboard's; a user who
    // asked Windows always to show them sees them from the start.
    void Initialise(HWND window);
    // A key on its way through the message loop: Tab, an arrow or Alt shows
    // both cues for the rest of the window's life.
    static void KeyPressed(HWND window, const MSG& msg);

    // Where "always show the keyboard cues" is read: tests set it through
    // this; nullptr: the system's setting (SPI_GETKEYBOARDCUES).
    using AlwaysShownSource = bool (*)();
    static void SetAlwaysShownSource(AlwaysShownSource source);

private:
    HWND initialisedFor_ = nullptr;  // a form's window can be made anew
};

}  // namespace ui
