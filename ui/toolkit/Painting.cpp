// Drawing a form: its background, panels, lines and label colours, in the
// design's colours or, while the user has high contrast on, the user's.
#include "ui/toolkit/Form.h"

#include <algorithm>

namespace ui {

// In high contrast each text takes both colours from one system pair, to meet
// the contrast the user chose: the form is a button face with button text, as
// a dialog is, and a panel (with the labels on it) a window with window text.
COLORREF Form::Chosen(COLORREF design, int system) const { return highContrast_ ? GetSysColor(system) : design; }

void Form::PaintInto(HDC dc, const RECT* area) {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, area ? area : &client, BrushFor(Chosen(design_.back, COLOR_BTNFACE)));
    // Panels back to front, so the one listed first ends up on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        const ControlDesign& cs = *it->design;
        if (cs.kind != ControlKind::Panel) continue;
        const RECT r{TwipsToPixels(cs.left, dpi_), TwipsToPixels(cs.top, dpi_),
                     TwipsToPixels(cs.left, dpi_) + TwipsToPixels(cs.width, dpi_),
                     TwipsToPixels(cs.top, dpi_) + TwipsToPixels(cs.height, dpi_)};
        FillRect(dc, &r, BrushFor(Chosen(cs.back, COLOR_WINDOW)));
    }
    for (const LineDesign& line : design_.lines) {
        const int width = std::max(1, MulDiv(line.widthPixels, static_cast<int>(dpi_), kDefaultDpi));
        const COLORREF colour = Chosen(line.colour, COLOR_BTNTEXT);  // on the form
        const auto make = [&] { return UniquePen(CreatePen(PS_SOLID, width, colour)); };
        SelectScope pen(dc, Cached(pens_, {colour, width}, make));
        MoveToEx(dc, TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(dc, TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
    }
}

void Form::OnPaint() {
    PaintScope paint(hwnd_);
    PaintInto(paint.dc(), &paint.area());
}

HBRUSH Form::OnCtlColorStatic(HDC dc, HWND label) {
    const LiveControl* c = Find(0, label);
    if (!c || c->design->back == kNoColour) return nullptr;
    // The design's text colour is dropped too, even a meaningful one such as
    // the free-memory figure's: on a pair the user did not choose it may not
    // be readable. A label whose back is the form's own sits on the form.
    const bool onForm = c->design->back == design_.back;
    const COLORREF back = Chosen(c->design->back, onForm ? COLOR_BTNFACE : COLOR_WINDOW);
    SetTextColor(dc, Chosen(c->fore, onForm ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
    SetBkColor(dc, back);
    return BrushFor(back);
}

void Form::ColoursChanged(bool systemColours) {
    // The setting is the session's: read at the window's making, and again
    // on each change message it receives.
    highContrast_ = Accessibility().highContrast();
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
    return Cached(brushes_, colour, [&] { return UniqueBrush(CreateSolidBrush(colour)); });
}

}  // namespace ui
