"""The two screenshots ./run.sh leaves without a display, taken and checked.

  run_screens.py take [DPI]        starts the program on the private Xvfb; saves
                                   run-start.png once the start window shows and
                                   run-main.png once the main window has taken
                                   its place, then ends it. Exits 1 when either
                                   window does not show (a screenshot of what
                                   showed instead is left under that name).
  run_screens.py check DIR [DPI]   exits 1 unless DIR/run-start.png shows the
                                   start window alone and DIR/run-main.png the
                                   main window alone, read from their pixels.

take reads the environment the e2e tests read (harness.py): APP_EXE,
PROBE_EXE, WINEPREFIX (and WINEPREFIX_144 at 144 DPI), DISPLAY and
SCREENSHOT_DIR. check needs only ImageMagick.
"""

import os
import subprocess
import sys
import time

import harness
from app_support import START_CLASS, wait_main_window
from main_window_support import BANDS, DARK_PANEL, FORM_BACK, GREY_PANEL, WHITE, exact_pixels, near, runs

SHOTS = ("run-start", "run-main")
# The Wine desktop, at the X screen's origin; both windows are centred on it.
DESKTOP = (800, 600)
# Twips: the start window (borderless, so its window is its client area), the
# main window's client area, and its dark panel, whose left edge is 120 twips in.
START_TWIPS = (3735, 1575)
CLIENT_TWIPS = (3975, 3510)
PANEL_TWIPS = (120, 0, 3735, 1695)
# Time for a window that has just shown to be painted.
PAINT_SECONDS = 1.0


def take(dpi):
    shots = harness.screenshot_dir()
    for name in SHOTS:
        if os.path.exists(os.path.join(shots, name + ".png")):
            os.remove(os.path.join(shots, name + ".png"))
    app = harness.App(dpi=dpi, log_name="run")
    try:
        for name, wait in (("run-start", lambda: app.start().wait_window(cls=START_CLASS, timeout=30)),
                           ("run-main", lambda: wait_main_window(app, timeout=30))):
            try:
                win = wait()
                harness.send(win["hwnd"], 0, dpi=dpi)  # WM_NULL: answered once it has shown
                time.sleep(PAINT_SECONDS)
            finally:
                print("run: %s" % harness.Screenshot(name).path, flush=True)
    except harness.HarnessError as e:
        print("run: %s" % e, file=sys.stderr)
        return 1
    finally:
        for problem in app.stop():
            print("run: after closing it: %s" % problem, file=sys.stderr)
    return 0


class Shot(harness.Screenshot):
    """A screenshot read back from its file."""

    def __init__(self, path):
        self.path = path
        ppm = subprocess.run([harness._imagemagick("convert"), path, "-depth", "8", "ppm:-"], check=True,
                             timeout=60, stdout=subprocess.PIPE).stdout
        self.width, self.height, self._rgb = harness._parse_ppm(ppm)


def dark_box(shot):
    """The largest box on the desktop whose four edges are dark grey all
    along, as (left, top, width, height), or None: the start window, or the
    main window's dark panel. Rows with text or a bar in them are not dark
    all along; the box's top and bottom margins and its sides are."""
    width, height = min(DESKTOP[0], shot.width), min(DESKTOP[1], shot.height)
    dark = [[near(shot.pixel(x, y), DARK_PANEL, 8) for x in range(width)] for y in range(height)]
    best = None
    for top in range(height):
        for left, right in runs(dark[top]):
            if right - left < 40 or (top > 0 and all(dark[top - 1][left:right + 1])):
                continue  # too narrow for either, or not a box's top edge
            bottom, y = top, top
            while y + 1 < height and dark[y + 1][left] and dark[y + 1][right]:
                y += 1
                if all(dark[y][left:right + 1]):
                    bottom = y
            box = (left, top, right - left + 1, bottom - top + 1)
            if best is None or box[2] * box[3] > best[2] * best[3]:
                best = box
    return best


def pixels(twips, dpi):
    """A length in twips as whole pixels: either rounding of a half."""
    exact = exact_pixels(twips, dpi)
    return {int(exact), int(exact + 0.5)}


def centred(first, length, total):
    return abs(first - (total - first - length)) <= 2


def check_start(shot, dpi):
    box = dark_box(shot)
    if box is None:
        return ["no dark grey box"]
    l, t, w, h = box
    problems = []
    if w not in pixels(START_TWIPS[0], dpi) or h not in pixels(START_TWIPS[1], dpi):
        problems.append("the dark grey box is %d x %d px, not the start window's %s x %s" % (
            w, h, sorted(pixels(START_TWIPS[0], dpi)), sorted(pixels(START_TWIPS[1], dpi))))
    if not (centred(l, w, DESKTOP[0]) and centred(t, h, DESKTOP[1])):
        problems.append("the box at %d,%d is not centred on the %d x %d desktop" % (l, t, *DESKTOP))
    white = shot.count_near(l, t, w, h, WHITE)
    if white < 400 * (dpi / 96.0) ** 2:
        problems.append("only %d white pixels of text in the box" % white)
    # The main window is loaded, hidden: none of its light grey shows.
    light = shot.count_near(0, 0, *DESKTOP, FORM_BACK, 8) - shot.count_near(l, t, w, h, FORM_BACK, 8)
    if light > 100:
        problems.append("%d light grey pixels outside the box: the main window shows too" % light)
    return problems


def check_main(shot, dpi):
    box = dark_box(shot)
    if box is None:
        return ["no dark grey panel"]
    l, t, w, h = box
    ox, oy = l - round(exact_pixels(PANEL_TWIPS[0], dpi)), t
    problems = []
    if w not in pixels(PANEL_TWIPS[2], dpi) or h not in pixels(PANEL_TWIPS[3], dpi):
        problems.append("the dark grey box is %d x %d px, not the main window's panel %s x %s" % (
            w, h, sorted(pixels(PANEL_TWIPS[2], dpi)), sorted(pixels(PANEL_TWIPS[3], dpi))))
        return problems
    cw, ch = (max(pixels(t, dpi)) for t in CLIENT_TWIPS)
    if not centred(ox, cw, DESKTOP[0]):
        problems.append("the client area at x %d is not centred on the desktop" % ox)
    # The client area's four corners, clear of every control, and the grey
    # panel below the dark one; in twips.
    for what, (tx, ty), colour in (("the form's top left", (15, 15), FORM_BACK),
                                   ("the form's top right", (3960, 15), FORM_BACK),
                                   ("the form's bottom left", (15, 3495), FORM_BACK),
                                   ("the form's bottom right", (3960, 3495), FORM_BACK),
                                   ("the grey panel", (200, 2850), GREY_PANEL)):
        x, y = ox + int(exact_pixels(tx, dpi)), oy + int(exact_pixels(ty, dpi))
        if not near(shot.pixel(x, y), colour, 8):
            problems.append("%s at %d,%d is %s, not %s" % (what, x, y, shot.pixel(x, y), colour))
    figure = max(shot.count_near(l, t, w, h, rgb) for rgb in BANDS.values())
    if figure < 100 * (dpi / 96.0) ** 2:
        problems.append("no coloured figure in the dark panel (%d pixels of one band's colour)" % figure)
    return problems


def check(folder, dpi):
    failed = 0
    for name, reader in zip(SHOTS, (check_start, check_main)):
        path = os.path.join(folder, name + ".png")
        problems = reader(Shot(path), dpi) if os.path.exists(path) else ["missing"]
        for p in problems:
            print("run screenshot %s: %s" % (path, p))
        if not problems:
            print("run screenshot %s: shows the %s window" % (path, "start" if name == SHOTS[0] else "main"))
        failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "take":
        sys.exit(take(int(sys.argv[2]) if len(sys.argv) > 2 else 96))
    if len(sys.argv) >= 3 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 96))
    sys.exit(__doc__)
