// A form's controls: made from the design, laid out at the window's DPI,
// and their texts, colours and tips.
#include "ui/toolkit/Form.h"

#include <commctrl.h>

#include "ui/toolkit/Program.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

void Form::LoadIcons() {
    if (!design_.iconId) return;
    const auto load = [this](int metric) {
        const int size = SystemMetric(metric, dpi_);
        return UniqueIcon(static_cast<HICON>(
            LoadImageW(Instance(), MAKEINTRESOURCEW(design_.iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    };
    // The window keeps drawing its old icons until it has the new ones, so
    // those are destroyed only after WM_SETICON.
    UniqueIcon big = load(SM_CXICON), small = load(SM_CXSMICON);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    bigIcon_ = std::move(big);
    smallIcon_ = std::move(small);
}

void Form::CreateControls() {
    controls_.reserve(design_.controls.size());
    // Children made first sit on top, so the table's front-to-back order is
    // the creation order.
    for (const ControlDesign& cs : design_.controls) {
        LiveControl live{&cs, nullptr, cs.fore == kNoColour ? GetSysColor(COLOR_WINDOWTEXT) : cs.fore,
                         cs.caption ? cs.caption : L"", cs.font->points};
        const wchar_t* cls = nullptr;
        // Clipped by their siblings, so that overlapping controls keep the
        // design's z-order when they repaint.
        DWORD style = WS_CHILD | ((cs.flags & kHidden) ? 0 : WS_VISIBLE) | WS_CLIPSIBLINGS;
        switch (cs.kind) {
        case ControlKind::Panel:
            controls_.push_back(std::move(live));  // painted by the form itself
            continue;
        case ControlKind::Label:
            cls = WC_STATICW;
            // SS_NOTIFY: a label takes its own clicks instead of letting them
            // fall through to the form underneath.
            style |= SS_NOTIFY | SS_NOPREFIX;
            style |= (cs.flags & kCentred) ? SS_CENTER : (cs.flags & kAutoSize) ? SS_LEFTNOWORDWRAP : SS_LEFT;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            // BS_NOTIFY: the form hears of the focus arriving, to move the
            // default-button look along with it.
            style |= WS_TABSTOP | BS_NOTIFY | ((cs.flags & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::ProgressBar:
            cls = PROGRESS_CLASSW;
            style |= PBS_VERTICAL | PBS_SMOOTH;
            break;
        }
        live.hwnd = CreateWindowExW(0, cls, live.text.c_str(), style, 0, 0, 0, 0, hwnd_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(cs.id)), Instance(), nullptr);
        controls_.push_back(std::move(live));
    }
}

void Form::Layout() {
    // A new DPI wants new fonts; the old ones live until every control has
    // been given its new one.
    const FormFonts::Cache oldFonts = fonts_.ChangeDpi(dpi_);
    RECT frame{0, 0, TwipsToPixels(design_.clientWidth, dpi_), TwipsToPixels(design_.clientHeight, dpi_)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    static const auto forDpi = UserProc<decltype(&AdjustWindowRectExForDpi)>("AdjustWindowRectExForDpi");
    forDpi ? forDpi(&frame, style, FALSE, exStyle, dpi_) : AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (LiveControl& c : controls_) {
        if (!c.hwnd) continue;
        const ControlDesign& cs = *c.design;
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.Get(cs.font, c.points)), FALSE);
        SetWindowPos(c.hwnd, nullptr, TwipsToPixels(cs.left, dpi_), TwipsToPixels(cs.top, dpi_),
                     TwipsToPixels(cs.width, dpi_), TwipsToPixels(cs.height, dpi_),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if ((cs.flags & kAutoSize) && !c.text.empty()) Fit(c);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

LiveControl* Form::Find(int id, HWND hwnd) const {
    for (const LiveControl& c : controls_) {
        if (hwnd ? c.hwnd == hwnd : c.design->id == id) return const_cast<LiveControl*>(&c);
    }
    return nullptr;
}

void Form::SetCaption(int id, const std::wstring& text) {
    LiveControl* c = Find(id);
    if (!c || c->text == text) return;
    c->text = text;
    if (!c->hwnd) return;
    SetWindowTextW(c->hwnd, c->text.c_str());
    // A figure that changed only its digits keeps its size and font.
    if ((c->design->flags & kAutoSize) && (c->fitShape.empty() || c->fitShape != FormFonts::DigitShape(c->text))) {
        Fit(*c);
    }
}

void Form::SetForeColour(int id, COLORREF colour) {
    LiveControl* c = Find(id);
    if (!c || c->fore == colour) return;
    c->fore = colour;
    if (c->hwnd) InvalidateRect(c->hwnd, nullptr, TRUE);
}

void Form::FitLeftOf(int id, int neighbourId, double minPoints) {
    LiveControl* c = Find(id);
    if (!c) return;
    c->neighbourId = neighbourId;
    c->minPoints = minPoints;
    if (c->hwnd && !c->text.empty()) Fit(*c);
}

void Form::SetControlTip(int id, const wchar_t* text) {
    if (!Control(id)) return;
    if (!tip_) {
        // Owned by the form, so it goes when the form is destroyed.
        tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               Instance(), nullptr);
    }
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    // The loop hands the tooltip its mouse messages (RelayToTip) rather than
    // TTF_SUBCLASS, which would put a subclass chain in front of every message
    // to the control: the bar takes a new position nearly every second, and
    // under the bench the hidden window's tick woke 8.8 times with it and 6.3
    // without (the floor: 5.3 and 5.4), where Windows pays nothing for either.
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(Control(id));
    ti.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Form::RelayToTip(const MSG& msg) const {
    if (tip_ && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
        SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
}

}  // namespace ui
