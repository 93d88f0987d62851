// How the start window and the main window reach each other: small
// functions, so that neither form's header depends on the other's.
#pragma once

namespace ui {

// Defined with the main window.
void LoadMainWindow();
void ShowMainWindow();

// Defined with the start window.
void UnloadStartWindow();

}  // namespace ui
