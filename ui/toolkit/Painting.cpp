// Drawing a form: its background, panels and lines, and the brushes it owns.
#include "ui/toolkit/Form.h"

#include <algorithm>

#include "ui/toolkit/Colours.h"

namespace ui {

void Form::PaintInto(HDC dc, const RECT* area) {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, area ? area : &client, BrushFor(FormColour(design_.back)));
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

HBRUSH Form::BrushFor(COLORREF colour) {
    auto found = brushes_.find(colour);
    if (found != brushes_.end()) return found->second.get();
    return brushes_.emplace(colour, UniqueBrush(CreateSolidBrush(colour))).first->second.get();
}

}  // namespace ui
