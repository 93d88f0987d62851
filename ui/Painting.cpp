// Drawing a form: its background, panels and lines, the fonts and brushes it
// owns, and labels measured to fit their text.
#include <algorithm>

#include "ui/Toolkit.h"

namespace ui {

namespace {

// What reaches DrawText and the static control alike: line feeds break
// lines, an ampersand is just an ampersand.
constexpr UINT kMeasureFormat = DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;

}  // namespace

void Form::FitToText(LiveControl& c) {
    HDC dc = GetDC(c.hwnd);
    RECT r{};
    {
        SelectScope font(dc, FontFor(c.design->font));
        DrawTextW(dc, c.text.c_str(), static_cast<int>(c.text.size()), &r, kMeasureFormat);
    }
    ReleaseDC(c.hwnd, dc);
    RECT now;
    GetWindowRect(c.hwnd, &now);
    if (now.right - now.left == r.right && now.bottom - now.top == r.bottom) return;
    SetWindowPos(c.hwnd, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Paint() {
    PaintScope paint(hwnd_);
    HDC dc = paint.dc();
    FillRect(dc, &paint.area(), BrushFor(design_.back));
    // Panels back to front, so the one listed first ends up on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        const ControlDesign& cs = *it->design;
        if (cs.kind != ControlKind::Panel) continue;
        const RECT r{TwipsToPixels(cs.left, dpi_), TwipsToPixels(cs.top, dpi_),
                     TwipsToPixels(cs.left, dpi_) + TwipsToPixels(cs.width, dpi_),
                     TwipsToPixels(cs.top, dpi_) + TwipsToPixels(cs.height, dpi_)};
        FillRect(dc, &r, BrushFor(cs.back));
    }
    for (const LineDesign& line : design_.lines) {
        const int width = std::max(1, MulDiv(line.widthPixels, static_cast<int>(dpi_), kDefaultDpi));
        UniquePen pen(CreatePen(PS_SOLID, width, line.colour));
        SelectScope selected(dc, pen.get());
        MoveToEx(dc, TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(dc, TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
    }
}

HFONT Form::FontFor(const FontDesign* design) {
    if (!design) design = &kDefaultFont;
    auto found = fonts_.find(design);
    if (found != fonts_.end()) return found->second.get();
    LOGFONTW lf{};
    lf.lfHeight = FontHeight(design->points, dpi_);
    lf.lfWeight = design->bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = design->charset;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, design->face, LF_FACESIZE);
    return fonts_.emplace(design, UniqueFont(CreateFontIndirectW(&lf))).first->second.get();
}

HBRUSH Form::BrushFor(COLORREF colour) {
    auto found = brushes_.find(colour);
    if (found != brushes_.end()) return found->second.get();
    return brushes_.emplace(colour, UniqueBrush(CreateSolidBrush(colour))).first->second.get();
}

}  // namespace ui
