// The colour choice between the design and the user's high-contrast colours.
#include "ui/toolkit/Colours.h"

namespace ui {

namespace {

bool SystemHighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

// The setting is the whole session's, so one copy serves every form; each
// form reads it again on the change messages it receives.
HighContrastSource g_source = &SystemHighContrast;
bool g_read = false;
bool g_highContrast = false;

}  // namespace

void ReadHighContrast() {
    g_highContrast = g_source();
    g_read = true;
}

bool HighContrast() {
    if (!g_read) ReadHighContrast();
    return g_highContrast;
}

void SetHighContrastSource(HighContrastSource source) {
    g_source = source ? source : &SystemHighContrast;
    ReadHighContrast();
}

COLORREF FormColour(COLORREF designBack) { return HighContrast() ? GetSysColor(COLOR_BTNFACE) : designBack; }

COLORREF PanelColour(COLORREF designBack) { return HighContrast() ? GetSysColor(COLOR_WINDOW) : designBack; }

// Lines are drawn on the form.
COLORREF LineColour(COLORREF design) { return HighContrast() ? GetSysColor(COLOR_BTNTEXT) : design; }

TextColours LabelColours(COLORREF fore, COLORREF back, COLORREF formBack) {
    if (!HighContrast()) return {fore, back};
    // The design's text colour is dropped too, even a meaningful one such as
    // the free-memory figure's: on a pair the user did not choose it may not
    // be readable.
    if (back == formBack) return {GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNFACE)};
    return {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)};
}

}  // namespace ui
