// The tables a form is made from: its size, colours and fonts, and its
// controls and lines, all in twips.
#pragma once

#include <windows.h>

#include <span>

namespace ui {

struct FontDesign {
    const wchar_t* face;
    double points;
    bool bold;
    BYTE charset;
    // Asked for instead when the face is not installed; nullptr: GDI chooses.
    const wchar_t* fallback = nullptr;
};

// A form's default font, which every control without a font of its own uses.
inline constexpr FontDesign kDefaultFont{L"SimSun", 9.0, false, GB2312_CHARSET};

enum class ControlKind { Label, Panel, Button, ProgressBar };

enum ControlFlags : unsigned {
    kNoFlags = 0,
    kAutoSize = 1 << 0,  // a label that sizes itself to its text
    kCentred = 1 << 1,   // a label whose text is centred in its box
    kDefaultButton = 1 << 2,
    kCancelButton = 1 << 3,
    kHidden = 1 << 4,  // never shown: a label that names the control after it
};

inline constexpr COLORREF kNoColour = CLR_INVALID;

// The system's arrow-with-hourglass pointer (IDC_APPSTARTING).
inline constexpr WORD kCursorAppStarting = 32650;

struct ControlDesign {
    int id;
    ControlKind kind;
    const wchar_t* caption;
    int left, top, width, height;  // twips, in the form's client area
    int tabIndex;                  // -1 for none
    COLORREF fore;                 // labels: text colour
    COLORREF back;                 // labels and panels
    const FontDesign* font;        // nullptr: the form's default font
    unsigned flags;
};

// A straight line drawn by the form itself, from (x1, y1) to (x2, y2) in twips.
struct LineDesign {
    int x1, y1, x2, y2;
    COLORREF colour;
    int widthPixels;  // at 96 DPI
};

struct FormDesign {
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    int clientWidth, clientHeight;  // twips
    COLORREF back;
    std::span<const ControlDesign> controls;  // z-order, front to back
    std::span<const LineDesign> lines;
    WORD cursorId;            // the system pointer over the whole window; 0: arrow
    int iconId;               // 0: no icon
    bool centreAtLoad;        // otherwise centred at the first show
    bool createAfterLoad;     // the load handler runs before the window exists
    // What screen readers call it, its caption left as it is; nullptr: its caption.
    const wchar_t* accessibleName = nullptr;
};

}  // namespace ui
