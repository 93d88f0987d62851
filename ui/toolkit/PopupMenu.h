// A popup menu built from a table; its commands reach the owner window as
// WM_COMMAND.
#pragma once

#include <windows.h>

#include <span>

#include "ui/toolkit/Handles.h"

namespace ui {

struct MenuItemDesign {
    UINT id;                 // 0 for a separator
    const wchar_t* caption;  // nullptr for a separator
    bool enabled;
};

class PopupMenu {
public:
    explicit PopupMenu(std::span<const MenuItemDesign> items) : menu_(CreatePopupMenu()) {
        for (const MenuItemDesign& item : items) {
            const UINT flags = !item.caption ? MF_SEPARATOR : MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
            AppendMenuW(menu_.get(), flags, item.id, item.caption);
        }
    }
    HMENU Handle() const { return menu_.get(); }
    void SetEnabled(UINT id, bool enabled) {
        EnableMenuItem(menu_.get(), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }

private:
    UniqueMenu menu_;
};

}  // namespace ui
