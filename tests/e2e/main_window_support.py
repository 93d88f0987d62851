"""The main window as its design gives it, in the design's own units (twips,
0x00BBGGRR colours turned into RGB), and readers for what it shows: the main
label's figures and where a colour shows up in a screenshot.

Kept apart from the tests so that other end-to-end modules can find the main
window and its controls by the same names."""

import re
from typing import NamedTuple

MAIN_CLASS = "Lanshige.MainWindow"
MAIN_TITLE = " 岚石阁内存整理 v1.0"
CLIENT_TWIPS = (3975, 3510)

# Colours as a screenshot shows them, (r, g, b).
FORM_BACK = (192, 192, 192)    # 0x00C0C0C0
DARK_PANEL = (64, 64, 64)      # 0x00404040
GREY_PANEL = (128, 128, 128)   # 0x00808080
WHITE = (255, 255, 255)
BANDS = {
    "green": (0, 192, 0),      # 0x0000C000: 70 % free or more
    "orange": (255, 128, 0),   # 0x000080FF: 30 to 69
    "red": (255, 0, 0),        # 0x000000FF: below 30
}

# Messages the tests send to the progress bar; both answer in the result.
PBM_GETRANGE = 0x0407  # wParam TRUE: the low limit, FALSE: the high one
PBM_GETPOS = 0x0408

WS_THICKFRAME = 0x00040000
WS_CAPTION = 0x00C00000

MEGABYTE = 1 << 20


class Control(NamedTuple):
    name: str
    id: int
    cls: str
    caption: str      # None: set by the program at run time
    left: int         # twips in the window's client area
    top: int
    width: int
    height: int
    autosize: bool    # the label sizes itself to its text


# The child windows, front to back (z-order). The two panels lblBak1 and
# lblBak2 are drawn by the window itself and are not among them.
CONTROLS = [
    Control("cmdArrange", 101, "Button", "开始整理", 360, 2280, 3255, 495, False),
    Control("cmdHide", 102, "Button", "隐藏", 3000, 3000, 855, 375, False),
    Control("cmdAbout", 103, "Button", "关于", 2040, 3000, 855, 375, False),
    Control("cmdMemMsg", 104, "Button", "详细资料", 120, 3000, 1575, 375, False),
    Control("pgbMem", 105, "msctls_progress32", "", 2520, 120, 1095, 1455, False),
    Control("lblmsg1", 106, "Static", "当前共有", 360, 120, 915, 210, True),
    Control("lblMain", 107, "Static", None, 360, 380, 105, 375, True),
    Control("lblmsg2", 108, "Static", "的物理内存可供使用", 360, 1215, 2040, 210, True),
    Control("lblmsg3", 110, "Static", "强烈建议：整理前请关闭其他所有应用程序以达到最佳效果",
            360, 1800, 3255, 375, False),
]
BY_NAME = {c.name: c for c in CONTROLS}

# Panels: name, left, top, width, height (twips), colour. lblBak1 lies in
# front of lblBak2 where the two overlap (twips 1680 to 1695 down).
PANELS = [
    ("lblBak1", 120, 0, 3735, 1695, DARK_PANEL),
    ("lblBak2", 120, 1680, 3735, 1215, GREY_PANEL),
]

# Font sizes in points: the labels' own fonts.
LABEL_POINTS = {"lblmsg1": 10.5, "lblmsg2": 10.5, "lblMain": 15.0}


def exact_pixels(twips, dpi):
    """Twips as a (possibly fractional) pixel count at dpi: 15 twips a pixel
    at 96 DPI, 10 at 144. The program may round a half either way."""
    return twips * dpi / 1440.0


def em_pixels(points, dpi):
    return points * dpi / 72.0


def band_for(whole):
    """The colour band of a free-percent whole number."""
    if whole >= 70:
        return "green"
    if whole >= 30:
        return "orange"
    return "red"


class MainLabel(NamedTuple):
    percent: float   # 45.25 for "45.25%"
    whole: int       # its whole-number part
    megabytes: float


def parse_main_label(text, decimal="."):
    """The main label's two lines, "45.25%" LF "(115.84 MB)", written with the
    given decimal separator and no digit grouping; None if the text is not
    of that form."""
    sep = re.escape(decimal)
    m = re.fullmatch(r"(\d+)%s(\d\d)%%\n\((\d+)%s(\d\d) MB\)" % (sep, sep), text)
    if not m:
        return None
    return MainLabel(float("%s.%s" % (m.group(1), m.group(2))), int(m.group(1)),
                     float("%s.%s" % (m.group(3), m.group(4))))


def runs(flags):
    """Maximal runs of true values in a list, as (first, last) index pairs."""
    out, start = [], None
    for i, f in enumerate(flags + [False]):
        if f and start is None:
            start = i
        elif not f and start is not None:
            out.append((start, i - 1))
            start = None
    return out


def near(colour, target, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, target))
