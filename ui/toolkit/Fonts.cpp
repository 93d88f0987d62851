#include "ui/toolkit/Fonts.h"

#include <algorithm>

namespace ui {

namespace {

// What reaches DrawText and the static control alike: line feeds break
// lines, an ampersand is just an ampersand.
constexpr UINT kMeasureFormat = DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;

// A label kept left of a neighbour stops this far short of it (4 px at 96 DPI).
constexpr int kFitAirTwips = 60;
constexpr double kFitStepPoints = 0.5;

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

bool FontInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    UniqueScreenDc screen(GetDC(nullptr));
    EnumFontFamiliesExW(screen.get(), &lf, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Left to GDI, a missing face becomes whatever it maps the character set to,
// which for 黑体 on a Windows outside China is not a bold-looking face.
const wchar_t* FaceFor(const FontDesign& design) {
    return design.fallback && !FontInstalled(design.face) ? design.fallback : design.face;
}

}  // namespace

HFONT FormFonts::Get(const FontDesign* design, double points) {
    return Cached(fonts_, {design, points}, [&] {
        LOGFONTW lf{};
        lf.lfHeight = FontHeight(points, dpi_);
        lf.lfWeight = design->bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = design->charset;
        // The user's smoothing (ClearType, greyscale or none, and whatever a
        // remote session turns off) rather than ours.
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, FaceFor(*design), LF_FACESIZE);
        return UniqueFont(CreateFontIndirectW(&lf));
    });
}

FormFonts::Cache FormFonts::ChangeDpi(UINT dpi) {
    dpi_ = dpi;
    return std::exchange(fonts_, Cache{});
}

std::wstring FormFonts::DigitShape(std::wstring text) {
    std::replace_if(text.begin(), text.end(), [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; }, L'0');
    return text;
}

SIZE FormFonts::TextSize(HDC dc, const LiveControl& c, double points, bool& evenDigits) {
    RECT r{};
    SelectScope font(dc, Get(c.design->font, points));
    DrawTextW(dc, c.text.c_str(), static_cast<int>(c.text.size()), &r, kMeasureFormat);
    // Most faces draw their digits in one width, so that columns of figures
    // line up; a face that does not must measure every new figure.
    INT widths[10];
    if (evenDigits && (!GetCharWidth32W(dc, L'0', L'9', widths) ||
                       std::any_of(widths, widths + 10, [&](INT w) { return w != widths[0]; }))) {
        evenDigits = false;
    }
    return {r.right, r.bottom};
}

void FormFonts::Fit(LiveControl& c, const LiveControl* neighbour) {
    double points = c.points;
    // The font's height is in pixels already, so the screen's own resolution
    // does not enter.
    const UniqueScreenDc dc(GetDC(nullptr));
    bool evenDigits = true;
    SIZE size = TextSize(dc.get(), c, points, evenDigits);
    if (neighbour) {
        const int room = TwipsToPixels(neighbour->design->left - kFitAirTwips, dpi_) -
                         TwipsToPixels(c.design->left, dpi_);
        // From the size it is at, up while the next size still fits (the
        // design's size at most), then down while it does not: a figure that
        // changes by a digit costs a measurement or two.
        const double designPoints = c.design->font->points;
        while (points < designPoints) {
            const double larger = std::min(designPoints, points + kFitStepPoints);
            const SIZE s = TextSize(dc.get(), c, larger, evenDigits);
            if (s.cx > room) break;
            points = larger;
            size = s;
        }
        while (size.cx > room && points - kFitStepPoints >= c.minPoints) {
            points -= kFitStepPoints;
            size = TextSize(dc.get(), c, points, evenDigits);
        }
    }
    // Every size tried above would measure a text of the same shape the same,
    // so such a text would come to the very same fit. Under the bench the
    // hidden window's tick cost 1.37 times the floor's CPU with every changed
    // figure measured, 1.19 times without (a run's spread: 0.05); on Windows
    // the measuring, the text's shaping included, is saved as well.
    c.fitShape = evenDigits ? DigitShape(c.text) : std::wstring();
    if (points != c.points) {
        c.points = points;
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Get(c.design->font, points)), FALSE);
        InvalidateRect(c.hwnd, nullptr, TRUE);
    }
    SetWindowPos(c.hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
