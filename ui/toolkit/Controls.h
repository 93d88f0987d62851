// A form's controls as made from its design: each one with what it shows
// now, and the keyboard among them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/toolkit/Design.h"

namespace ui {

struct LiveControl {
    const ControlDesign* design;
    HWND hwnd;
    COLORREF fore;
    std::wstring text;
    double points;           // the size its font is at now
    int neighbourId = 0;     // FitLeftOf: the control to keep left of
    double minPoints = 0;
};

// The keyboard in a form: the tab order, the buttons Enter and Esc press,
// and the control that gets the focus back when the form does. Enter and Esc
// are the dialog manager's (IsDialogMessage): Enter presses the focused
// button, which looks the default (ShowAsDefault), or else the one the form
// names for DM_GETDEFID; Esc sends the form IDCANCEL.
class Keyboard {
public:
    explicit Keyboard(const std::vector<LiveControl>& controls) : controls_(controls) {}

    // Once the form's controls are made (the tab order is the buttons' tab
    // indexes); nullptr once its window is gone.
    void Attach(HWND form);
    bool PreTranslate(MSG& msg);  // the keys on their way through the loop
    HWND Flagged(unsigned flag) const;  // the button of kDefaultButton or kCancelButton
    void ShowAsDefault(HWND button) const;  // the default-button look, to it alone
    // WM_ACTIVATE going inactive, and WM_SETFOCUS.
    void Deactivated();
    void Refocus() const;

private:
    void MoveFocus(bool backwards) const;

    const std::vector<LiveControl>& controls_;  // the form's
    HWND form_ = nullptr;
    std::vector<HWND> tabOrder_;
    HWND lastFocus_ = nullptr;
};

// Focus rectangles and access-key underlines, hidden from a mouse user and
// shown once the keyboard is used. The dialog manager initialises a dialog's
// UI state when it makes it and clears the hidden flags when it sees Tab, an
// arrow or Alt; a form must do both itself, or its buttons draw their focus
// rectangle for everyone from the first show.
class FocusCues {
public:
    // At a window's first show: the system hides both cues if the last input
    // was the mouse's and shows them if it was the keyboard's; a user who
    // asked Windows always to show them sees them from the start.
    void Initialise(HWND window);
    // Tab, an arrow or Alt shows both cues for the rest of the window's life.
    static void KeyPressed(HWND window, const MSG& msg);

private:
    HWND initialisedFor_ = nullptr;  // a form's window can be made anew
};

}  // namespace ui
