// A form's or control's accessible name: what a screen reader calls it,
// given without touching its window text, and the announcement of a status
// that changed while nobody had the focus on it.
#pragma once

#include <windows.h>

namespace ui {

// Screen readers call the window (its frame and its client area alike)
// `name`, a text that lives as long as the program; its window text, a
// caption nobody sees or none at all, stays as it is.
void SetAccessibleName(HWND hwnd, const wchar_t* name);

// The same, with the name being whatever `label` reads at the time.
void NameAfterLabel(HWND hwnd, HWND label);

// Has screen readers speak the window's name now, once: its status changed.
// A live region on Windows 8 and later, a name change everywhere.
void AnnounceName(HWND hwnd);

}  // namespace ui
