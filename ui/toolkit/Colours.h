// The colours a form paints with: the design's own, or, while the user has
// high contrast on, the user's system colours.
#pragma once

#include <windows.h>

namespace ui {

// Whether high contrast is on, as last read from the system. Read once, and
// again by ReadHighContrast when the system says the setting changed.
bool HighContrast();
void ReadHighContrast();

// Where the setting is read from: tests turn high contrast on and off through
// this (and it is read again at once); nullptr: the system's own setting.
using HighContrastSource = bool (*)();
void SetHighContrastSource(HighContrastSource source);

struct TextColours {
    COLORREF text;
    COLORREF back;
};

// In high contrast each text takes both colours from one system pair, so it
// meets the contrast the user chose: the form is a button face with button
// text, as a dialog is, and a panel (with the labels on it) a window with
// window text. A label whose back is the form's own sits on the form.
COLORREF FormColour(COLORREF designBack);
COLORREF PanelColour(COLORREF designBack);
COLORREF LineColour(COLORREF design);
TextColours LabelColours(COLORREF fore, COLORREF back, COLORREF formBack);

}  // namespace ui
