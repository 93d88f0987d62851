// The keyboard in a form: the tab order, the buttons Enter and Esc press,
// and the control that gets the focus back when the form does.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/toolkit/Controls.h"

namespace ui {

class Keyboard {
public:
    explicit Keyboard(const std::vector<LiveControl>& controls) : controls_(controls) {}

    // Once the form's controls are made: the buttons, by their tab indexes.
    void Start(HWND form);
    // The form's window is gone.
    void Stop();
    // Tab, Enter and Esc on their way through the message loop.
    bool PreTranslate(MSG& msg);
    // IDOK (Enter) or IDCANCEL (Esc) as a command, from the dialog manager.
    void PressFor(UINT id);
    // Gives the default-button look to this button alone.
    void ShowAsDefault(HWND button) const;
    // WM_ACTIVATE going inactive, and WM_SETFOCUS.
    void Deactivated();
    void Refocus() const;

private:
    void MoveFocus(bool backwards) const;
    // The button Enter presses: the focused push button, otherwise the
    // default one; and the one Esc presses.
    const LiveControl* EnterButton() const;
    const LiveControl* CancelButton() const;
    void Press(const LiveControl* button) const;

    const std::vector<LiveControl>& controls_;  // the form's
    HWND form_ = nullptr;
    std::vector<HWND> tabOrder_;
    HWND lastFocus_ = nullptr;
};

}  // namespace ui
