// Fonts: a form's fonts at its DPI, each design asked for by a face this
// machine has, and the measuring that fits labels to their text.
#pragma once

#include <map>
#include <utility>

#include "ui/toolkit/Controls.h"
#include "ui/toolkit/Design.h"
#include "ui/toolkit/Handles.h"
#include "ui/toolkit/Monitors.h"

namespace ui {

class FormFonts {
public:
    using Cache = std::map<std::pair<const FontDesign*, double>, UniqueFont>;

    HFONT Get(const FontDesign* design, double points);
    // Fonts for another DPI from now on. The old ones are handed back, to live
    // until every control has been given its new one.
    [[nodiscard]] Cache ChangeDpi(UINT dpi);
    // Sizes an autosized label to its text (see Form::FitLeftOf).
    void Fit(LiveControl& c, const LiveControl* neighbour);

    static std::wstring DigitShape(std::wstring text);  // each digit as '0'

private:
    // evenDigits: cleared when the font's digits are not all of one width.
    SIZE TextSize(HDC dc, const LiveControl& c, double points, bool& evenDigits);

    UINT dpi_ = kDefaultDpi;
    Cache fonts_;
};

}  // namespace ui
