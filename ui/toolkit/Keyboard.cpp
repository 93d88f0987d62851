// The keyboard in a form: the tab order, Enter and Esc, the default button
// that moves with the focus, and the cues, as they are in a dialog.
#include "ui/toolkit/Controls.h"

#include <algorithm>

#include "ui/toolkit/Accessibility.h"

namespace ui {

constexpr WORD kBothCues = UISF_HIDEFOCUS | UISF_HIDEACCEL;

void Keyboard::Attach(HWND form) {
    form_ = form;
    tabOrder_.clear();
    lastFocus_ = nullptr;
    cuesInitialised_ = false;
    std::vector<const LiveControl*> tabbable;
    for (const LiveControl& c : controls_) {
        if (c.hwnd && c.design->kind == ControlKind::Button) tabbable.push_back(&c);
    }
    std::ranges::stable_sort(tabbable, {}, [](const LiveControl* c) { return c->design->tabIndex; });
    for (const LiveControl* c : tabbable) tabOrder_.push_back(c->hwnd);
}

void Keyboard::MoveFocus(bool backwards) const {
    auto at = std::find(tabOrder_.begin(), tabOrder_.end(), GetFocus());
    std::size_t index = at == tabOrder_.end() ? 0 : static_cast<std::size_t>(at - tabOrder_.begin());
    const std::size_t n = tabOrder_.size();
    if (at != tabOrder_.end()) index = backwards ? (index + n - 1) % n : (index + 1) % n;
    SetFocus(tabOrder_[index]);
}

LRESULT Keyboard::DefaultId() const {
    const LiveControl* button = Flagged(kDefaultButton);
    return button ? MAKELRESULT(button->design->id, DC_HASDEFID) : 0;
}

const LiveControl* Keyboard::Flagged(unsigned flag) const {
    for (const LiveControl& c : controls_) {
        if (c.hwnd && c.design->kind == ControlKind::Button && (c.design->flags & flag)) return &c;
    }
    return nullptr;
}

void Keyboard::ShowAsDefault(HWND button) const {
    for (const LiveControl& c : controls_) {
        if (!c.hwnd || c.design->kind != ControlKind::Button) continue;
        const LONG_PTR style = GetWindowLongPtrW(c.hwnd, GWL_STYLE);
        const LONG_PTR type = c.hwnd == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        if ((style & BS_TYPEMASK) == type) continue;
        // BM_SETSTYLE takes the whole low word of the style on Windows.
        SendMessageW(c.hwnd, BM_SETSTYLE, static_cast<WPARAM>((style & 0xFFFF & ~BS_TYPEMASK) | type), TRUE);
    }
}

void Keyboard::Deactivated() {
    HWND focus = GetFocus();
    if (focus && IsChild(form_, focus)) lastFocus_ = focus;
}

void Keyboard::Refocus() const {
    HWND target = lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : tabOrder_.empty() ? nullptr : tabOrder_.front();
    if (target) SetFocus(target);
}

bool Keyboard::PreTranslate(MSG& msg) {
    if (!form_ || tabOrder_.empty()) return false;
    const bool arrow = msg.wParam >= VK_LEFT && msg.wParam <= VK_DOWN;  // left, up, right, down
    const bool cueKey = msg.message == WM_SYSKEYDOWN ? msg.wParam == VK_MENU
                                                     : msg.message == WM_KEYDOWN && (msg.wParam == VK_TAB || arrow);
    // DefWindowProc sends nothing on when the state is already clear, so a
    // second Tab costs a message and no repaint.
    if (cueKey) SendMessageW(form_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, kBothCues), 0);
    // The dialog manager would tab in z-order; ours follows the tab indexes.
    const bool tab = msg.message == WM_KEYDOWN && msg.wParam == VK_TAB;
    if (tab && !(GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000)) {
        MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return IsDialogMessageW(form_, &msg) != FALSE;
}

void Keyboard::InitialiseCues() {
    if (!form_ || cuesInitialised_) return;
    cuesInitialised_ = true;
    // The top-level window passes the state on to every child through
    // DefWindowProc's WM_UPDATEUISTATE.
    const WORD action = Accessibility().alwaysShowsCues() ? UIS_CLEAR : UIS_INITIALIZE;
    SendMessageW(form_, WM_CHANGEUISTATE, MAKEWPARAM(action, kBothCues), 0);
}

}  // namespace ui
