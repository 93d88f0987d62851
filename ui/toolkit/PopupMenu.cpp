#include "ui/toolkit/PopupMenu.h"

namespace ui {

PopupMenu::PopupMenu(std::span<const MenuItemDesign> items) : menu_(CreatePopupMenu()) {
    for (const MenuItemDesign& item : items) {
        if (!item.caption) {
            AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu_.get(), MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED), item.id,
                        item.caption);
        }
    }
}

void PopupMenu::SetEnabled(UINT id, bool enabled) {
    EnableMenuItem(menu_.get(), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool PopupMenu::Enabled(UINT id) const {
    const UINT state = GetMenuState(menu_.get(), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

}  // namespace ui
