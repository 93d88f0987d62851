// Fonts: which face a font design gets on this machine, and a form's fonts
// at its DPI with the measuring that fits labels to their text.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "ui/toolkit/Controls.h"
#include "ui/toolkit/Design.h"
#include "ui/toolkit/Handles.h"
#include "ui/toolkit/Monitors.h"

namespace ui {

bool FontInstalled(const wchar_t* face);  // for any character set
// The face to ask for: the design's, or its fallback where that is missing.
const wchar_t* FaceFor(const FontDesign& design, bool (*installed)(const wchar_t*) = &FontInstalled);

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
    // Clears evenDigits when the font's ten digits differ in width.
    SIZE TextSize(const LiveControl& c, double points, bool& evenDigits);

    UINT dpi_ = kDefaultDpi;
    Cache fonts_;
    UniqueMemoryDc measureDc_;  // holds none of fonts_ between measurements
};

}  // namespace ui
