// The keyboard in a form: the tab order, Enter and Esc.
#include <algorithm>

#include "ui/Toolkit.h"

namespace ui {

void Form::MoveFocus(bool backwards) {
    if (tabOrder_.empty()) return;
    auto at = std::find(tabOrder_.begin(), tabOrder_.end(), GetFocus());
    std::size_t index = at == tabOrder_.end() ? 0 : static_cast<std::size_t>(at - tabOrder_.begin());
    const std::size_t n = tabOrder_.size();
    if (at != tabOrder_.end()) index = backwards ? (index + n - 1) % n : (index + 1) % n;
    SetFocus(tabOrder_[index]);
}

bool Form::PreTranslate(MSG& msg) {
    if (!hwnd_ || tabOrder_.empty()) return false;
    // The dialog manager would tab in z-order; ours follows the tab indexes.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB &&
        !(GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000)) {
        MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

}  // namespace ui
