// Which face a font design gets on this machine.
#pragma once

#include "ui/toolkit/Design.h"

namespace ui {

// Whether a font face is installed (for any character set).
bool FontInstalled(const wchar_t* face);
// The face to ask for: the design's, or its fallback where that is missing.
const wchar_t* FaceFor(const FontDesign& design, bool (*installed)(const wchar_t*) = &FontInstalled);

}  // namespace ui
