"""What the e2e tests know about the program's windows, and ways to look at
them from outside that several test modules share."""

import re
import time

import harness

MAIN_TITLE = " 岚石阁内存整理 v1.0"
MAIN_CLASS = "Lanshige.MainWindow"
START_CLASS = "Lanshige.StartWindow"
ARRANGE_CLASS = "Lanshige.ArrangeWindow"
MENU_CLASS = "#32768"
BOX_CLASS = "#32770"

CMD_ARRANGE, CMD_HIDE, CMD_ABOUT, CMD_MEM_MSG = 101, 102, 103, 104
LBL_MAIN = 107
MNU_SHOW, MNU_ARRANGE, MNU_QUIT = 201, 202, 203
ARRANGE_LABEL = 401
START_LABELS = (301, 302, 303)
# The message box's text, and its icon: 0x14 on Windows, 0x440 in Wine.
BOX_TEXT_ID = 0xFFFF
BOX_ICON_IDS = (0x14, 0x440)

ARRANGE_WAITING = "正在整理内存，请稍等..."
ARRANGE_DONE = "内存整理完毕！单击窗体返回"
TIP_PATTERN = re.compile(r"^岚石阁内存整理\n内存：[0-9]+[.,][0-9]{2}% 可用$")

WM_NULL = 0x0000
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202


def follows_a_claim(shown_mb, claim_mb=768, timeout=30, tolerance_mb=160, while_claimed=None):
    """Claims claim_mb of memory, then gives it back, and each time waits for
    shown_mb() (a free-memory figure of the program's, in MB) to change and
    to agree with the machine's own figure, read right after it.

    The machine's figure is the judge rather than a fixed fall from the
    reading before: other programs on the machine (a build, another test)
    move hundreds of megabytes too, in either direction. A figure that has
    stopped following cannot pass, as the claim moves the machine's figure
    away from it. while_claimed() runs once the figure has agreed under the
    claim. Returns the figures shown before, under and after the claim."""
    def agreeing(previous):
        def check():
            shown = shown_mb()
            machine = harness.memstatus()["avail_phys"] / (1 << 20)
            return shown if shown != previous and abs(shown - machine) <= tolerance_mb else None
        return check

    before = shown_mb()
    with harness.MemoryClaim(claim_mb, seconds=120):
        during = harness.wait_until(agreeing(before), timeout=timeout, interval=0.2,
                                    what="the figure to follow a %d MB claim (%.2f MB before it)" % (claim_mb, before))
        if while_claimed:
            while_claimed()
    after = harness.wait_until(agreeing(during), timeout=timeout, interval=0.2,
                               what="the figure to follow the claim's end (%.2f MB under it)" % during)
    return before, during, after


def command(hwnd, ident):
    """A menu command as the menu itself sends it (no control handle)."""
    harness.post(hwnd, harness.WM_COMMAND, ident, 0)


def label_text(main_hwnd, dpi=96):
    return harness.child_by_id(main_hwnd, LBL_MAIN, dpi=dpi)["text"]


def label_megabytes(text):
    m = re.search(r"\(([0-9]+[.,][0-9]{2}) MB\)", text)
    if not m:
        raise AssertionError("lblMain reads %r" % text)
    return float(m.group(1).replace(",", "."))


def icons_shown(name="tray-slots", shot=None):
    """How many notification-area slots hold an icon, read from the screen (a
    new screenshot, or shot): an empty slot is flat taskbar colour, an icon
    is not."""
    tray = harness.tray_rect()
    shot = shot or harness.Screenshot(name)
    count = 0
    for left, top, right, bottom in tray["icon_slots"]:
        inset = 3
        if len(shot.colours(left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset)) > 2:
            count += 1
    return count


def menu_windows(app):
    return [w for w in app.windows(visible_only=True) if w["class"] == MENU_CLASS]


def wait_main_window(app, timeout=30):
    """Waits for the main window to show; returns its record as it stands
    once the handler that showed it has returned. A message sent to the
    window is answered only then, and Wine may report the rectangle of the
    moment before the window was centred for a little while after it shows."""
    main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=timeout)
    harness.send(main["hwnd"], WM_NULL, dpi=app.dpi)
    return app.find_window(cls=MAIN_CLASS, title=MAIN_TITLE) or main


def launch_to_main_window(case, settle=0.0):
    """Starts the program, waits past the start window for the main window
    and lets it settle for `settle` seconds; returns (app, main window)."""
    app = case.launch()
    main = wait_main_window(app)
    time.sleep(settle)
    return app, main


def open_tray_menu(app):
    """A real right-click on the icon; returns the menu window's record."""
    x, y = harness.tray_icon_center()
    harness.right_click(x, y)

    # Keys go to the foreground window's thread: the program makes its
    # window the foreground one before it opens the menu, and only then
    # does a key reach the menu.
    def open_and_in_front():
        wins = app.windows(visible_only=False)
        menus = [w for w in wins if w["class"] == MENU_CLASS and w["visible"]]
        return menus[0] if menus and any(w["foreground"] for w in wins) else None

    return harness.wait_until(open_and_in_front, timeout=10, what="the tray menu to open, its window in front")


def wait_menu_closed(app, timeout=10, what="the tray menu to close"):
    harness.wait_until(lambda: not menu_windows(app), timeout=timeout, what=what)


def close_tray_menu(app):
    harness.key("Escape")
    try:
        wait_menu_closed(app)
    except harness.HarnessError as e:
        harness.Screenshot("menu-stuck")
        raise harness.HarnessError("%s; the program's windows then: %r" % (
            e, [(w["class"], w["text"], w["visible"], w["foreground"]) for w in app.windows(visible_only=False)]))


def shell_tip():
    """The text of the shell's visible tooltip, if one shows."""
    for t in harness.tooltips():
        if t["exe"].lower() == "explorer.exe" and t["text"]:
            return t["text"]
    return None


def hover_tip(timeout=30):
    """Brings the mouse onto the icon until the shell shows the icon's
    tooltip, and returns its text.

    The shell decides on a tooltip when the pointer comes to rest over an
    icon. An icon that has no tip yet (it is added without one, and the first
    tick gives it one) shows nothing, and nothing follows while the pointer
    stays: so each try leaves the icon, waits for any old tooltip to go, and
    comes back."""
    def hovered():
        try:
            hover_icon()
            return harness.wait_until(shell_tip, timeout=2, what="the icon's tooltip")
        except harness.HarnessError:
            return None

    return harness.wait_until(hovered, timeout=timeout, interval=0, what="the icon's tooltip, hovering again")


def hover_icon():
    """Moves the mouse off the icon, waits for its tooltip to go, and brings
    the mouse back to rest on the icon."""
    x, y = harness.tray_icon_center()
    harness.mouse_move(x - 40, y - 40)
    harness.wait_until(lambda: shell_tip() is None, timeout=5, what="the old tooltip to go")
    harness.mouse_move(x, y)


def message_box(app, timeout=10):
    """The program's message box: title, text and whether it has an icon."""
    box = app.wait_window(cls=BOX_CLASS, timeout=timeout)
    kids = harness.children(box["hwnd"])
    text = next((c["text"] for c in kids if c["id"] == BOX_TEXT_ID), None)
    return {"hwnd": box["hwnd"], "title": box["text"], "text": text, "icon": box_has_icon(kids), "rect": box["rect"]}


def box_has_icon(kids):
    """Whether a message box shows an icon: Wine keeps the icon's static
    control even when there is none, so ask the control for its icon."""
    STM_GETICON = 0x0171
    return any(c["id"] in BOX_ICON_IDS and c["visible"] and harness.send(c["hwnd"], STM_GETICON) != 0
               for c in kids)


def centred(rect, area, slack=1):
    l, t, r, b = rect
    al, at, ar, ab = area
    return (abs((l - al) - (ar - r)) <= slack + 1) and (abs((t - at) - (ab - b)) <= slack + 1)


def menu_item_centres(menu, name="menu-items"):
    """Screen centres of a popup menu's items, top to bottom, read from the
    screen: rows with text form bands several pixels tall, separators are
    lines one or two pixels high. Wine cannot read another process's menu."""
    l, t, r, b = menu["rect"]
    shot = harness.Screenshot(name)
    background = shot.pixel(l + 3, t + 3)
    rows = []
    for y in range(t + 2, b - 2):
        ink = sum(1 for x in range(l + 4, r - 4) if shot.pixel(x, y) != background)
        rows.append(ink > 0)
    bands, start = [], None
    for i, has_ink in enumerate(rows + [False]):
        if has_ink and start is None:
            start = i
        elif not has_ink and start is not None:
            if i - start >= 5:
                bands.append(((l + r) // 2, t + 2 + (start + i - 1) // 2))
            start = None
    return bands
