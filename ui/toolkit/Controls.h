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
    std::wstring fitShape{};  // the text it was last fitted to, its digits as '0'; empty: fit each new text
};

// The keyboard in a form, as in a dialog: the tab order, the focus cues, the
// control that gets the focus back when the form does, and Enter and Esc, the
// dialog manager's: Enter presses the focused button, which looks the default
// (ShowAsDefault), or else the one DefaultId names; Esc sends IDCANCEL.
class Keyboard {
public:
    explicit Keyboard(const std::vector<LiveControl>& controls) : controls_(controls) {}

    // Once the form's controls are made (the tab order is the buttons' tab
    // indexes); nullptr once its window is gone.
    void Attach(HWND form);
    bool PreTranslate(MSG& msg);  // the keys on their way through the loop
    LRESULT DefaultId() const;    // the answer to DM_GETDEFID
    const LiveControl* Flagged(unsigned flag) const;  // the button of kDefaultButton or kCancelButton
    void ShowAsDefault(HWND button) const;  // the default-button look, to it alone
    void Deactivated();    // WM_ACTIVATE going inactive
    void Refocus() const;  // WM_SETFOCUS
    // Focus rectangles and access-key underlines, hidden from a mouse user and
    // shown once the keyboard is used. The dialog manager sets a dialog's UI
    // state as it makes it and clears the hidden flags at Tab, an arrow or Alt;
    // a form must do both, or its buttons draw their focus rectangle from the
    // first show, where the system hides both after mouse input (unless the
    // user asked always to see them) and shows them after keys.
    void InitialiseCues();

private:
    void MoveFocus(bool backwards) const;

    const std::vector<LiveControl>& controls_;  // the form's
    HWND form_ = nullptr;
    std::vector<HWND> tabOrder_;
    HWND lastFocus_ = nullptr;
    bool cuesInitialised_ = false;  // for this window: a form's can be made anew
};

}  // namespace ui
