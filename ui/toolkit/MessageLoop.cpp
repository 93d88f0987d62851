// The message loop: each message to the form it is for, the keys by way of
// the form's keyboard, and the forms unloaded meanwhile freed after it.
#include "ui/toolkit/Form.h"

namespace ui {

int Run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Form* form = msg.hwnd ? Form::Of(GetAncestor(msg.hwnd, GA_ROOT)) : nullptr;
        if (!form || !form->PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        CollectRetired();
    }
    CollectRetired();
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
