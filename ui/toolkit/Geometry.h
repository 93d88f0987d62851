// Twips, points and pixels: forms are laid out from tables in twips,
// converted with the window's DPI, so that they are as crisp and as large (in
// inches) on every screen.
#pragma once

#include <windows.h>

namespace ui {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr UINT kDefaultDpi = 96;
// The DPIs a window can be given: Windows scales from 100 % to 500 %, and
// half of 96 leaves room for whatever a driver reports below that.
inline constexpr UINT kMinDpi = 96 / 2;
inline constexpr UINT kMaxDpi = 96 * 5;

// Twips to pixels at a DPI: 15 twips a pixel at 96 DPI, 10 at 144.
int TwipsToPixels(int twips, UINT dpi);
// A font size in points as a LOGFONT height (negative: the character height).
int FontHeight(double points, UINT dpi);
// The window's DPI; the system's where the per-window query is missing.
UINT WindowDpi(HWND hwnd);
// A system metric at a DPI; the system DPI's where the per-DPI query is missing.
int SystemMetric(int index, UINT dpi);

}  // namespace ui
