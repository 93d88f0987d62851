// A popup menu built from a table; its commands reach the owner window as
// WM_COMMAND.
#pragma once

#include <windows.h>

#include <span>

#include "ui/toolkit/Handles.h"

namespace ui {

struct MenuItemDesign {
    UINT id;               // 0 for a separator
    const wchar_t* caption;  // nullptr for a separator
    bool enabled;
};

class PopupMenu {
public:
    explicit PopupMenu(std::span<const MenuItemDesign> items);
    HMENU Handle() const { return menu_.get(); }
    void SetEnabled(UINT id, bool enabled);
    bool Enabled(UINT id) const;

private:
    UniqueMenu menu_;
};

}  // namespace ui
