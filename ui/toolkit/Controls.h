// A form's controls as made from its design: each one with what it shows
// now, and the tooltip over them.
#pragma once

#include <windows.h>

#include <string>

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
    // The text of the last fit with its digits as '0', when every font
    // measured for it drew all ten digits equally wide: another text of
    // this shape fits the same. Empty: the next text is measured.
    std::wstring fitShape{};
};

// A tooltip over some of a window's controls (the progress bar's).
class ControlTip {
public:
    void Add(HWND owner, HWND control, const wchar_t* text);
    // The message loop's mouse messages for the owner, which the tip needs.
    void Relay(const MSG& msg) const;
    // The owner window has been destroyed, and the tip with it.
    void Forget() { tip_ = nullptr; }

private:
    HWND tip_ = nullptr;  // owned by the owner window
};

}  // namespace ui
