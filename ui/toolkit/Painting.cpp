// Drawing a form: its background, panels and lines, the fonts and brushes it
// owns, and labels measured to fit their text.
#include "ui/toolkit/Form.h"

#include <algorithm>

#include "ui/toolkit/Colours.h"
#include "ui/toolkit/Fonts.h"

namespace ui {

namespace {

// What reaches DrawText and the static control alike: line feeds break
// lines, an ampersand is just an ampersand.
constexpr UINT kMeasureFormat = DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;

// A label kept left of a neighbour stops this far short of it (4 px at 96 DPI).
constexpr int kFitAirTwips = 60;
constexpr double kFitStepPoints = 0.5;

}  // namespace

double Form::PointsOf(const FontDesign* design) { return (design ? design : &kDefaultFont)->points; }

std::wstring Form::DigitShape(const std::wstring& text) {
    std::wstring shape = text;
    for (wchar_t& ch : shape) {
        if (ch >= L'0' && ch <= L'9') ch = L'0';
    }
    return shape;
}

SIZE Form::TextSize(const LiveControl& c, double points, bool& evenDigits) {
    // One memory DC for the form's life: a self-sizing label measures itself
    // at every changed figure, and a window DC each time is a trip to the
    // window manager (under Wine to the wineserver and X). The font's height
    // is in pixels already, so the DC's own resolution does not enter.
    if (!measureDc_) measureDc_.reset(CreateCompatibleDC(nullptr));
    RECT r{};
    SelectScope font(measureDc_.get(), FontFor(c.design->font, points));
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

void Form::FitToText(LiveControl& c) {
    double points = c.points;
    bool evenDigits = true;
    SIZE size = TextSize(c, points, evenDigits);
    const LiveControl* neighbour = c.neighbourId ? Find(c.neighbourId) : nullptr;
    if (neighbour) {
        const int room = TwipsToPixels(neighbour->design->left - kFitAirTwips, dpi_) -
                         TwipsToPixels(c.design->left, dpi_);
        // From the size it is at, up while the next size still fits (the
        // design's size at most), then down while it does not: a figure that
        // changes by a digit costs a measurement or two.
        const double designPoints = PointsOf(c.design->font);
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
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.design->font, points)), FALSE);
        InvalidateRect(c.hwnd, nullptr, TRUE);
    }
    RECT now;
    GetWindowRect(c.hwnd, &now);
    if (now.right - now.left == size.cx && now.bottom - now.top == size.cy) return;
    SetWindowPos(c.hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::FitLeftOf(int id, int neighbourId, double minPoints) {
    LiveControl* c = Find(id);
    if (!c) return;
    c->neighbourId = neighbourId;
    c->minPoints = minPoints;
    if (c->hwnd && !c->text.empty()) FitToText(*c);
}

void Form::PaintInto(HDC dc, const RECT& area) {
    FillRect(dc, &area, BrushFor(FormColour(design_.back)));
    // Panels back to front, so the one listed first ends up on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        const ControlDesign& cs = *it->design;
        if (cs.kind != ControlKind::Panel) continue;
        const RECT r{TwipsToPixels(cs.left, dpi_), TwipsToPixels(cs.top, dpi_),
                     TwipsToPixels(cs.left, dpi_) + TwipsToPixels(cs.width, dpi_),
                     TwipsToPixels(cs.top, dpi_) + TwipsToPixels(cs.height, dpi_)};
        FillRect(dc, &r, BrushFor(PanelColour(cs.back)));
    }
    for (const LineDesign& line : design_.lines) {
        const int width = std::max(1, MulDiv(line.widthPixels, static_cast<int>(dpi_), kDefaultDpi));
        UniquePen pen(CreatePen(PS_SOLID, width, LineColour(line.colour)));
        SelectScope selected(dc, pen.get());
        MoveToEx(dc, TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(dc, TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
    }
}

void Form::ColoursChanged(bool systemColours) {
    ReadHighContrast();
    if (systemColours) {
        // Common controls keep copies of the system colours and hear of a
        // change only from their parent.
        for (const LiveControl& c : controls_) {
            if (c.hwnd) SendMessageW(c.hwnd, WM_SYSCOLORCHANGE, 0, 0);
        }
    }
    // Everything, children included: a label that keeps its old colours
    // until its text next changes may be unreadable meanwhile.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HFONT Form::FontFor(const FontDesign* design, double points) {
    if (!design) design = &kDefaultFont;
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

HBRUSH Form::BrushFor(COLORREF colour) {
    auto found = brushes_.find(colour);
    if (found != brushes_.end()) return found->second.get();
    return brushes_.emplace(colour, UniqueBrush(CreateSolidBrush(colour))).first->second.get();
}

}  // namespace ui
