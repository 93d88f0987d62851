// The keyboard in a form: the tab order, Enter and Esc, and the default
// button that moves with the focus as it does in a dialog.
#include "ui/toolkit/Form.h"

#include <algorithm>

namespace ui {

void Form::MoveFocus(bool backwards) {
    if (tabOrder_.empty()) return;
    auto at = std::find(tabOrder_.begin(), tabOrder_.end(), GetFocus());
    std::size_t index = at == tabOrder_.end() ? 0 : static_cast<std::size_t>(at - tabOrder_.begin());
    const std::size_t n = tabOrder_.size();
    if (at != tabOrder_.end()) index = backwards ? (index + n - 1) % n : (index + 1) % n;
    SetFocus(tabOrder_[index]);
}

const Form::LiveControl* Form::EnterButton() {
    const LiveControl* focused = FindByHwnd(GetFocus());
    if (focused && focused->design->kind == ControlKind::Button) return focused;
    for (const LiveControl& c : controls_) {
        if (c.design->flags & kDefaultButton) return &c;
    }
    return nullptr;
}

const Form::LiveControl* Form::CancelButton() const {
    for (const LiveControl& c : controls_) {
        if (c.design->flags & kCancelButton) return &c;
    }
    return nullptr;
}

void Form::Press(const LiveControl* button) {
    if (!button || !button->hwnd || !IsWindowEnabled(button->hwnd)) return;
    // Exactly what a click sends, so that the key and the mouse are one
    // command to everything that sees the window's messages.
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(button->design->id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button->hwnd));
}

void Form::ShowAsDefault(HWND button) {
    for (const LiveControl& c : controls_) {
        if (!c.hwnd || c.design->kind != ControlKind::Button) continue;
        const LONG_PTR style = GetWindowLongPtrW(c.hwnd, GWL_STYLE);
        const LONG_PTR type = c.hwnd == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        if ((style & BS_TYPEMASK) == type) continue;
        // BM_SETSTYLE takes the whole low word of the style on Windows.
        SendMessageW(c.hwnd, BM_SETSTYLE, static_cast<WPARAM>((style & 0xFFFF & ~BS_TYPEMASK) | type), TRUE);
    }
}

bool Form::PreTranslate(MSG& msg) {
    if (!hwnd_ || tabOrder_.empty()) return false;
    FocusCues::KeyPressed(hwnd_, msg);
    if (msg.message == WM_KEYDOWN) {
        switch (msg.wParam) {
        case VK_TAB:
            // The dialog manager would tab in z-order; ours follows the tab indexes.
            if ((GetKeyState(VK_CONTROL) & 0x8000) || (GetKeyState(VK_MENU) & 0x8000)) break;
            MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
            return true;
        case VK_RETURN:
            // The dialog manager presses the focused button only while it
            // looks like the default, and otherwise turns Enter into IDOK.
            Press(EnterButton());
            return true;
        case VK_ESCAPE:
            Press(CancelButton());
            return true;
        default:
            break;
        }
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

}  // namespace ui
