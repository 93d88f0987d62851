// The tables a form is made from: its size, colours and fonts, and its
// controls and lines, all in twips.
#pragma once

#include <windows.h>

#include <span>

namespace ui {

struct FontDesign {
    const wchar_t* face;
    double points;
    bool bold = false;
    BYTE charset = GB2312_CHARSET;
    const wchar_t* fallback = nullptr;  // asked for where the face is missing; nullptr: GDI chooses
};

// The font of every control without a font of its own.
inline constexpr FontDesign kDefaultFont{L"SimSun", 9.0};

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
inline constexpr COLORREF kWhite = 0x00FFFFFF;
inline constexpr COLORREF kLightGrey = 0x00C0C0C0;
inline constexpr COLORREF kGrey = 0x00808080;
inline constexpr COLORREF kDarkGrey = 0x00404040;

inline constexpr WORD kCursorAppStarting = 32650;  // IDC_APPSTARTING, the arrow with an hourglass

struct ControlDesign {
    int id;
    ControlKind kind;
    const wchar_t* caption = nullptr;
    int left = 0, top = 0, width = 0, height = 0;  // twips, in the form's client area
    int tabIndex = -1;                             // buttons: their place in the tab order
    COLORREF fore = kNoColour;                     // labels: text colour
    COLORREF back = kNoColour;                     // labels and panels
    const FontDesign* font = &kDefaultFont;
    unsigned flags = kNoFlags;
};

// A straight line drawn by the form itself, from (x1, y1) to (x2, y2) in twips.
struct LineDesign {
    int x1, y1, x2, y2;
    COLORREF colour;
    int widthPixels;  // at 96 DPI
};

struct FormDesign {
    const wchar_t* className;
    const wchar_t* caption = L"";
    DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    int clientWidth, clientHeight;  // twips
    COLORREF back;
    std::span<const ControlDesign> controls = {};  // z-order, front to back
    std::span<const LineDesign> lines = {};
    WORD cursorId = 0;             // the system pointer over the whole window; 0: arrow
    int iconId = 0;                // 0: no icon
    bool centreAtLoad = false;     // otherwise centred at the first show
    bool createAfterLoad = false;  // the load handler runs before the window exists
    const wchar_t* accessibleName = nullptr;  // what screen readers call it; nullptr: its caption
};

}  // namespace ui
