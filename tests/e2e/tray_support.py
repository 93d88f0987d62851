"""Looking at the notification icon, its popup menu and the program's message
boxes from outside: what test_tray needs beyond app_support."""

import os
import re
import subprocess
import time

import harness
from app_support import BOX_CLASS, MAIN_CLASS, hover_icon, icons_shown, menu_windows, shell_tip

ICON_ID = 0
# The README's picture of the open menu: the desktop's bottom-right corner.
README_CROP = (540, 400, 260, 200)


def percent(tip):
    """The free share a tip reads, as a number."""
    m = re.search(r"([0-9]+[.,][0-9]{2})%", tip)
    if not m:
        raise AssertionError("the tip reads %r" % tip)
    return float(m.group(1).replace(",", "."))


def free_percent(status):
    return 100.0 * status["avail_phys"] / status["total_phys"]


def distance(point, rect):
    """Pixels from a point to the nearest point of a rectangle (0 inside it)."""
    x, y = point
    l, t, r, b = rect
    dx = max(l - x, 0, x - (r - 1))
    dy = max(t - y, 0, y - (b - 1))
    return max(dx, dy)


def foreground(app):
    """The program's window that is the foreground window, or None."""
    return next((w for w in app.windows(visible_only=False) if w["foreground"]), None)


def program_windows(app):
    """What a person sees of the program: its visible top-level windows, but
    for a tooltip, which comes and goes with the pointer wherever it rests
    (over the bar when the window opened under it)."""
    return sorted((w["class"], w["text"], tuple(w["rect"])) for w in app.windows(visible_only=True)
                  if w["class"] != "tooltips_class32")


def delete_icon(hwnd):
    """Takes the program's icon out of the shell, as a restarting shell loses it."""
    return harness.probe_one("tray-delete", hwnd, ICON_ID)["ok"]


def icon_gone():
    """No icon in the notification area and no tip over its place: with the
    program ended, another Wine process must keep the desktop up meanwhile."""
    hover_icon()
    time.sleep(1.5)  # the time a tooltip would take to come up
    return icons_shown("no-icon") == 0 and shell_tip() is None


class MenuPicture:
    """The open menu as it looks: its rows of text, top to bottom, each with
    the centre a click would aim at and whether it is drawn enabled (black
    text) or disabled (grey). Separators are lines too thin to count."""

    def __init__(self, menu, name):
        # Off the icon, or the shell's tooltip comes up over the menu; beside
        # the menu, not on it, so that no item is highlighted.
        l, t, r, b = menu["rect"]
        harness.mouse_move(l - 40, (t + b) // 2)
        time.sleep(0.5)
        self.shot = harness.Screenshot(name)
        self.rect = (l, t, r, b)
        background = self.shot.pixel(l + 3, t + 3)
        self.rows = []
        start, darkest = None, 255
        for y in range(t + 2, b - 1):
            ink = [min(self.shot.pixel(x, y)) for x in range(l + 4, r - 4) if self.shot.pixel(x, y) != background]
            if ink and y < b - 2:
                start = y if start is None else start
                darkest = min(darkest, min(ink))
            elif start is not None:
                if y - start >= 5:
                    self.rows.append({"centre": ((l + r) // 2, (start + y - 1) // 2), "darkest": darkest})
                start, darkest = None, 255

    def enabled(self):
        """Per row: True for black text, False for grey."""
        return [row["darkest"] < 64 for row in self.rows]

    def click(self, index):
        harness.click(*self.rows[index]["centre"])

    def save_for_readme(self, name="tray-menu"):
        """The desktop's bottom-right corner with the menu open, as
        SCREENSHOT_DIR/name.png; returns its path."""
        x, y, w, h = README_CROP
        path = os.path.join(harness.screenshot_dir(), name + ".png")
        subprocess.run([harness._imagemagick("convert"), self.shot.path, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                        "+repage", path], check=True, timeout=60)
        return path


def message_box_buttons(box_hwnd):
    return [c["text"] for c in harness.children(box_hwnd) if c["class"] == "Button" and c["visible"]]


def dismiss_box(app):
    harness.key("Return")
    app.wait_no_window(cls=BOX_CLASS, timeout=10)
    return app.find_window(cls=MAIN_CLASS)
