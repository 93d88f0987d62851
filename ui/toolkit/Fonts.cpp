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

}  // namespace

bool FontInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    UniqueScreenDc screen(GetDC(nullptr));
    EnumFontFamiliesExW(screen.get(), &lf, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

const wchar_t* FaceFor(const FontDesign& design, bool (*installed)(const wchar_t*)) {
    // Left to GDI, a missing face becomes whatever it maps the character set
    // to, which for 黑体 on a Windows outside China is not a bold-looking face.
    return design.fallback && !installed(design.face) ? design.fallback : design.face;
}

HFONT FormFonts::Get(const FontDesign* design, double points) {
    const auto key = std::make_pair(design, points);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second.get();
    LOGFONTW lf{};
    lf.lfHeight = FontHeight(points, dpi_);
    lf.lfWeight = design->bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = design->charset;
    // The user's smoothing (ClearType, greyscale or none, and whatever a
    // remote session turns off) rather than ours.
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, FaceFor(*design), LF_FACESIZE);
    return fonts_.emplace(key, UniqueFont(CreateFontIndirectW(&lf))).first->second.get();
}

FormFonts::Cache FormFonts::ChangeDpi(UINT dpi) {
    dpi_ = dpi;
    return std::exchange(fonts_, Cache{});
}

std::wstring FormFonts::DigitShape(std::wstring text) {
    std::replace_if(text.begin(), text.end(), [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; }, L'0');
    return text;
}

SIZE FormFonts::TextSize(const LiveControl& c, double points, bool& evenDigits) {
    // One memory DC for the form's life: a self-sizing label measures itself
    // at every changed figure, and a window DC each time is a trip to the
    // window manager (under Wine to the wineserver and X). The font's height
    // is in pixels already, so the DC's own resolution does not enter.
    if (!measureDc_) measureDc_.reset(CreateCompatibleDC(nullptr));
    RECT r{};
    SelectScope font(measureDc_.get(), Get(c.design->font, points));
    DrawTextW(measureDc_.get(), c.text.c_str(), static_cast<int>(c.text.size()), &r, kMeasureFormat);
    // Most faces draw their digits in one width, so that columns of figures
    // line up; a face that does not must measure every new figure.
    INT widths[10];
    if (evenDigits && (!GetCharWidth32W(measureDc_.get(), L'0', L'9', widths) ||
                       std::any_of(widths, widths + 10, [&](INT w) { return w != widths[0]; }))) {
        evenDigits = false;
    }
    return {r.right, r.bottom};
}

void FormFonts::Fit(LiveControl& c, const LiveControl* neighbour) {
    double points = c.points;
    bool evenDigits = true;
    SIZE size = TextSize(c, points, evenDigits);
    if (neighbour) {
        const int room = TwipsToPixels(neighbour->design->left - kFitAirTwips, dpi_) -
                         TwipsToPixels(c.design->left, dpi_);
        // From the size it is at, up while the next size still fits (the
        // design's size at most), then down while it does not: a figure that
        // changes by a digit costs a measurement or two.
        const double designPoints = c.design->font->points;
        while (points < designPoints) {
            const double larger = std::min(designPoints, points + kFitStepPoints);
            const SIZE s = TextSize(c, larger, evenDigits);
            if (s.cx > room) break;
            points = larger;
            size = s;
        }
        while (size.cx > room && points - kFitStepPoints >= c.minPoints) {
            points -= kFitStepPoints;
            size = TextSize(c, points, evenDigits);
        }
    }
    // Every size tried above would measure a text of the same shape the same,
    // so such a text would come to the very same fit.
    c.fitShape = evenDigits ? DigitShape(c.text) : std::wstring();
    if (points != c.points) {
        c.points = points;
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Get(c.design->font, points)), FALSE);
        InvalidateRect(c.hwnd, nullptr, TRUE);
    }
    RECT now;
    GetWindowRect(c.hwnd, &now);
    if (now.right - now.left == size.cx && now.bottom - now.top == size.cy) return;
    SetWindowPos(c.hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
