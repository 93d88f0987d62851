"""The main window seen from outside: its caption, size and place, every
control's caption and position, the colours it paints, and the memory figures
it shows, checked against GlobalMemoryStatusEx read by another process (the
probe) at about the same moment. At 96 and 144 DPI, and under a German locale.

Each launch costs about ten seconds (four of them the start window), so each
test checks everything one launch can show, as subtests."""

import sys
import unittest

import harness
from app_support import (ARRANGE_CLASS, BOX_CLASS, MNU_SHOW, command, follows_a_claim, icons_shown,
                         launch_to_main_window, message_box, wait_main_window)
from main_window_support import (BANDS, BY_NAME, CLIENT_TWIPS, CONTROLS, DARK_PANEL, FORM_BACK, GREY_PANEL,
                                 LABEL_POINTS, MAIN_CLASS, MAIN_TITLE, MEGABYTE, PBM_GETPOS, PBM_GETRANGE, WHITE,
                                 WS_CAPTION, WS_THICKFRAME, band_for, em_pixels, exact_pixels, near,
                                 parse_main_label, runs)

# The first tick fills the label one second after the window loads; the start
# window has been up for four by the time the main window shows.
FIRST_FIGURES_TIMEOUT = 20
# Memory moves between the program's reading and the probe's (other programs
# run on this machine): the figures may differ by this much.
MIN_SLACK_BYTES = 128 * MEGABYTE
SLACK_SHARE = 0.015
MIN_FIGURE_POINTS = 9.0


def log(text):
    print("  [main window] " + text, file=sys.stderr)


class MainWindowCase(harness.AppTestCase):

    # --- launching and reading -------------------------------------------------

    def open_main_window(self, dpi, lang=None, decimal="."):
        """Starts the program and waits for the main window with its first
        figures; returns (app, window record, children by id)."""
        app = self.launch(dpi=dpi, lang=lang)
        win = wait_main_window(app, timeout=40)

        def filled():
            kids = self.children_by_id(app, win)
            label = kids.get(BY_NAME["lblMain"].id)
            return kids if label and label["text"] else None

        kids = harness.wait_until(filled, timeout=FIRST_FIGURES_TIMEOUT, what="the first figures in lblMain")
        label = parse_main_label(kids[BY_NAME["lblMain"].id]["text"], decimal)
        if label is None:
            self.fail("lblMain shows %r, not the percentage and megabytes with %r as separator"
                      % (kids[BY_NAME["lblMain"].id]["text"], decimal))
        return app, win, kids

    def children_by_id(self, app, win):
        return {k["id"]: k for k in app.children(win["hwnd"])}

    def main_label(self, app, win, decimal="."):
        text = self.children_by_id(app, win)[BY_NAME["lblMain"].id]["text"]
        label = parse_main_label(text, decimal)
        self.assertIsNotNone(label, "lblMain shows %r" % text)
        return label

    # --- the window and its controls ---------------------------------------------

    def check_window(self, app, win, dpi):
        with self.subTest("caption and class"):
            self.assertEqual(win["text"], MAIN_TITLE)
            self.assertEqual(win["class"], MAIN_CLASS)
        with self.subTest("client size"):
            for got, twips in zip(win["client"], CLIENT_TWIPS):
                self.assertLessEqual(abs(got - exact_pixels(twips, dpi)), 0.5,
                                     "client %s at %d DPI, design %s twips" % (win["client"], dpi, CLIENT_TWIPS))
        with self.subTest("fixed border"):
            self.assertEqual(win["style"] & WS_CAPTION, WS_CAPTION)
            self.assertFalse(win["style"] & WS_THICKFRAME, "the window can be resized")
        with self.subTest("centred on the screen"):
            info = harness.sysinfo(dpi=dpi)
            l, t, r, b = win["rect"]
            self.assertLessEqual(abs(l - (info["screen_w"] - (r - l)) / 2), 1, win["rect"])
            self.assertLessEqual(abs(t - (info["screen_h"] - (b - t)) / 2), 1,
                                 "%s on a %dx%d screen" % (win["rect"], info["screen_w"], info["screen_h"]))

    def check_controls(self, win, kids_by_id, kids_in_order, dpi):
        with self.subTest("the children and their z-order"):
            # The bar's hidden label, which names it for screen readers, aside.
            self.assertEqual([k["id"] for k in kids_in_order if k["visible"]], [c.id for c in CONTROLS])
            self.assertTrue(all(k["parent"] == win["hwnd"] for k in kids_in_order))
        for c in CONTROLS:
            k = kids_by_id.get(c.id)
            with self.subTest(c.name):
                self.assertIsNotNone(k, "no child with id %d" % c.id)
                self.assertEqual(k["class"], c.cls)
                self.assertTrue(k["visible"] and k["enabled"])
                if c.caption is not None:
                    self.assertEqual(k["text"], c.caption)
                l, t, r, b = k["rect"]
                self.assertLessEqual(abs(l - exact_pixels(c.left, dpi)), 0.5, "left of %s" % k["rect"])
                self.assertLessEqual(abs(t - exact_pixels(c.top, dpi)), 0.5, "top of %s" % k["rect"])
                if not c.autosize:
                    self.assertLessEqual(abs(r - l - exact_pixels(c.width, dpi)), 0.5, "width of %s" % k["rect"])
                    self.assertLessEqual(abs(b - t - exact_pixels(c.height, dpi)), 0.5, "height of %s" % k["rect"])
                else:
                    self.check_fits_text(c.name, k, dpi)
        with self.subTest("the whole figure shows, left of the progress bar in front of it"):
            label, bar = kids_by_id[BY_NAME["lblMain"].id], kids_by_id[BY_NAME["pgbMem"].id]
            self.assertLess(label["rect"][2], bar["rect"][0], "lblMain %s reading %r, the bar %s"
                            % (label["rect"], label["text"], bar["rect"]))

    def check_fits_text(self, name, k, dpi):
        """A label that sizes itself is as large as its text in its own font
        at this DPI: not its design box, not the text in a 96 DPI font."""
        em = em_pixels(LABEL_POINTS[name], dpi)
        # A long figure steps its font down as far as 9 pt to stay left of the bar.
        least_em = em_pixels(MIN_FIGURE_POINTS, dpi) if name == "lblMain" else em
        l, t, r, b = k["rect"]
        lines = k["text"].split("\n")
        longest = max(len(line) for line in lines)
        if name == "lblMain":
            # Latin digits in a bold face: about 0.6 to 0.8 em each.
            low, high = 0.45 * longest * least_em, 1.0 * longest * em
        else:
            # CJK characters: one em each, a little more in bold.
            low, high = 0.95 * longest * em, 1.3 * longest * em
        self.assertTrue(low <= r - l <= high, "%s is %d px wide for %r at %d DPI (%.0f..%.0f)"
                        % (name, r - l, k["text"], dpi, low, high))
        self.assertTrue(len(lines) * least_em <= b - t <= len(lines) * 1.5 * em,
                        "%s is %d px high for %d line(s) of a %.0f px font" % (name, b - t, len(lines), em))

    # --- what it paints --------------------------------------------------------------

    def check_painting(self, shot, win, kids, dpi, label):
        ox, oy = win["client_origin"]

        def at(tx, ty):
            return shot.pixel(ox + int(exact_pixels(tx, dpi)), oy + int(exact_pixels(ty, dpi)))

        # Points away from every child window, in twips.
        for what, (tx, ty), colour in (
                ("form background", (60, 3450), FORM_BACK),
                ("form background right of the panels", (3915, 900), FORM_BACK),
                ("dark panel", (200, 60), DARK_PANEL),
                ("dark panel, right", (3800, 1500), DARK_PANEL),
                ("dark panel in front where the panels overlap", (200, 1685), DARK_PANEL),
                ("grey panel just below the overlap", (200, 1710), GREY_PANEL),
                ("grey panel", (200, 2850), GREY_PANEL),
                ("grey panel, right", (3800, 2000), GREY_PANEL)):
            with self.subTest(what):
                self.assertTrue(near(at(tx, ty), colour, 8), "%s at twips %d,%d" % (at(tx, ty), tx, ty))

        scale = (dpi / 96.0) ** 2
        for name, back in (("lblmsg1", DARK_PANEL), ("lblmsg2", DARK_PANEL), ("lblmsg3", GREY_PANEL)):
            with self.subTest("white text on its panel", label=name):
                l, t, r, b = kids[BY_NAME[name].id]["screen_rect"]
                counts = shot.colours(l, t, r - l, b - t)
                self.assertTrue(near(max(counts, key=counts.get), back, 8), "most common colour in %s" % name)
                self.assertGreater(shot.count_near(l, t, r - l, b - t, WHITE), 40 * scale)

        with self.subTest("lblMain's colour and its two lines"):
            l, t, r, b = kids[BY_NAME["lblMain"].id]["screen_rect"]
            # The progress bar lies in front of the label's right end.
            r = min(r, kids[BY_NAME["pgbMem"].id]["screen_rect"][0])
            band = band_for(label.whole)
            counts = shot.colours(l, t, r - l, b - t)
            self.assertTrue(near(max(counts, key=counts.get), DARK_PANEL, 8), "lblMain's background")
            found = {name: shot.count_near(l, t, r - l, b - t, rgb) for name, rgb in BANDS.items()}
            log("%d DPI: lblMain %s, %d px of %s %s, other bands %s" % (
                dpi, kids[BY_NAME["lblMain"].id]["rect"], found[band], band, BANDS[band],
                {k: v for k, v in found.items() if k != band}))
            self.assertGreater(found[band], 100 * scale, "%s for %.2f%%: %s" % (band, label.percent, found))
            for other in BANDS:
                if other != band:
                    self.assertLessEqual(found[other], 3, "%s pixels in lblMain: %s" % (other, found))
            rows = [any(near(shot.pixel(x, y), BANDS[band]) for x in range(l, r)) for y in range(t, b)]
            lines = runs(rows)
            self.assertEqual(len(lines), 2, "rows of %s text in lblMain: %s" % (band, lines))

    # --- the figures -------------------------------------------------------------------

    def read_figures(self, app, win, kids, decimal):
        """The label and the progress bar, between two GlobalMemoryStatusEx
        readings by the probe."""
        bar = kids[BY_NAME["pgbMem"].id]["hwnd"]
        before = harness.memstatus(dpi=app.dpi)
        label = self.main_label(app, win, decimal)
        low = harness.send(bar, PBM_GETRANGE, 1, 0, dpi=app.dpi)
        high = harness.send(bar, PBM_GETRANGE, 0, 0, dpi=app.dpi)
        pos = harness.send(bar, PBM_GETPOS, 0, 0, dpi=app.dpi)
        after = harness.memstatus(dpi=app.dpi)
        return before, label, (low, high, pos), after

    def check_figures(self, app, win, kids, decimal="."):
        before, label, (low, high, pos), after = self.read_figures(app, win, kids, decimal)
        total = before["total_phys"]
        slack = max(MIN_SLACK_BYTES, SLACK_SHARE * total)
        avail_low = min(before["avail_phys"], after["avail_phys"]) - slack
        avail_high = max(before["avail_phys"], after["avail_phys"]) + slack
        log("%d DPI: lblMain %.2f%% / %.2f MB; GlobalMemoryStatusEx %d of %d bytes free (%.2f%%); bar %d..%d at %d"
            % (app.dpi, label.percent, label.megabytes, before["avail_phys"], total,
               100.0 * before["avail_phys"] / total, low, high, pos))

        with self.subTest("megabytes agree with GlobalMemoryStatusEx"):
            self.assertTrue(avail_low <= label.megabytes * MEGABYTE <= avail_high,
                            "%.2f MB shown, %.2f..%.2f MB free" % (label.megabytes, before["avail_phys"] / MEGABYTE,
                                                                    after["avail_phys"] / MEGABYTE))
        with self.subTest("percentage agrees with GlobalMemoryStatusEx"):
            self.assertTrue(100.0 * avail_low / total <= label.percent <= 100.0 * avail_high / total,
                            "%.2f%% shown, %.2f%% free" % (label.percent, 100.0 * before["avail_phys"] / total))
        with self.subTest("percentage and megabytes come from one snapshot"):
            # The megabyte figure fixes the available bytes to 5 KiB, so the
            # percentage of the same snapshot is known to its last digit.
            self.assertLessEqual(abs(label.percent - 100.0 * label.megabytes * MEGABYTE / total), 0.0051 + 1e-6,
                                 "%.2f%% for %.2f MB of %d bytes" % (label.percent, label.megabytes, total))
        with self.subTest("progress bar range is the physical total"):
            self.assertEqual(low, 0)
            self.assertGreater(high, 0)
            # In whole units of some size: bytes, KiB, MiB, or thousands of them.
            units = [1 << k for k in range(0, 31)] + [10 ** k for k in range(0, 10)]
            self.assertTrue(any(abs(high * u - total) < u for u in units),
                            "range %d..%d for %d bytes" % (low, high, total))
        with self.subTest("progress bar value is the available share"):
            self.assertLessEqual(pos, high)
            self.assertTrue(avail_low <= total * pos / high <= avail_high,
                            "bar at %d of %d, %d of %d bytes free" % (pos, high, before["avail_phys"], total))
        return label


class TestMainWindowAt96Dpi(MainWindowCase):

    def test_matches_the_design_and_shows_the_memory_figures(self):
        app, win, kids = self.open_main_window(dpi=96)
        kids_in_order = app.children(win["hwnd"])
        kids = {k["id"]: k for k in kids_in_order}
        self.check_window(app, win, 96)
        self.check_controls(win, kids, kids_in_order, 96)
        label = self.check_figures(app, win, kids)
        self.check_painting(self.screenshot("main"), win, self.children_by_id(app, win), 96, label)

        with self.subTest("the label follows the memory"):
            self.check_follows_memory(app, win)

    def check_follows_memory(self, app, win):
        bar = self.children_by_id(app, win)[BY_NAME["pgbMem"].id]["hwnd"]

        def bar_agrees_with_the_label():
            # Both come from one tick. The label is read on both sides of the
            # bar, until no tick with other figures fell between: under a
            # claim and a busy machine one second can move hundreds of MB.
            def within_one_tick():
                shown = self.main_label(app, win).megabytes
                filled = harness.send(bar, PBM_GETPOS, 0, 0) / harness.send(bar, PBM_GETRANGE, 0, 0)
                return (shown, filled) if self.main_label(app, win).megabytes == shown else None
            shown, filled = harness.wait_until(within_one_tick, timeout=20, what="the label and the bar of one tick")
            self.assertAlmostEqual(filled * harness.memstatus()["total_phys"] / MEGABYTE, shown, delta=160)

        before, during, after = follows_a_claim(lambda: self.main_label(app, win).megabytes,
                                                while_claimed=bar_agrees_with_the_label)
        bar_agrees_with_the_label()
        log("96 DPI: %.2f MB before a 768 MB claim, %.2f MB under it, %.2f MB after it" % (before, during, after))


class TestMainWindowAt144Dpi(MainWindowCase):

    def test_everything_is_half_as_large_again(self):
        app, win, kids = self.open_main_window(dpi=144)
        kids_in_order = app.children(win["hwnd"])
        kids = {k["id"]: k for k in kids_in_order}
        self.check_window(app, win, 144)
        with self.subTest("client size is 1.5 times 265 x 234"):
            self.assertIn(win["client"][0], (397, 398))
            self.assertEqual(win["client"][1], 351)
        self.check_controls(win, kids, kids_in_order, 144)
        label = self.check_figures(app, win, kids)
        self.check_painting(self.screenshot("main"), win, self.children_by_id(app, win), 144, label)


class TestMainWindowInAGermanLocale(MainWindowCase):

    def test_figures_use_the_decimal_comma_and_no_grouping(self):
        # parse_main_label accepts only digits, one comma, two decimals: a dot,
        # a grouping separator or a "%" in the wrong place all fail it.
        app, win, kids = self.open_main_window(dpi=96, lang="de_DE.UTF-8", decimal=",")
        label = self.check_figures(app, win, kids, decimal=",")
        # The band comes from the whole part read back from "45,25%".
        self.check_painting(self.screenshot("main"), win, self.children_by_id(app, win), 96, label)


class TestMainWindowKeys(harness.AppTestCase):

    def test_enter_presses_the_focused_button_and_esc_hides(self):
        app, main = launch_to_main_window(self)

        def keys_to_main(*names):
            # Keys go to the active window: wait until the main window is it.
            harness.wait_until(lambda: (app.find_window(cls=MAIN_CLASS) or {}).get("foreground"), timeout=10,
                               what="the main window in front")
            harness.key(*names)

        def box_then_close(title, text_start):
            box = message_box(app)
            self.assertEqual(box["title"], title)
            self.assertTrue(box["text"].startswith(text_start), box["text"])
            self.assertIsNone(app.find_window(cls=ARRANGE_CLASS, visible_only=False), "an arrangement started")
            harness.key("Return")
            app.wait_no_window(cls=BOX_CLASS, timeout=10)

        def hidden_then_shown():
            app.wait_no_window(cls=MAIN_CLASS, timeout=10)
            self.assertIsNone(app.find_window(cls=ARRANGE_CLASS, visible_only=False), "an arrangement started")
            command(main["hwnd"], MNU_SHOW)
            app.wait_window(cls=MAIN_CLASS, timeout=10)

        # The focus starts on 开始整理; Tab follows the tab indexes.
        keys_to_main("Tab", "Return")  # 详细资料
        box_then_close("岚石阁内存整理", "** 本机内存详细资料 **")
        keys_to_main("Return")  # the focus is back on 详细资料 once its box has gone
        box_then_close("岚石阁内存整理", "** 本机内存详细资料 **")
        keys_to_main("Tab", "Return")  # 关于
        box_then_close("关于本软件", "<< 岚石阁内存整理 >>")
        keys_to_main("shift+Tab", "Escape")  # Esc on 详细资料 is still 隐藏
        hidden_then_shown()
        keys_to_main("Tab", "Tab", "Return")  # 关于, 隐藏
        hidden_then_shown()
        keys_to_main("Tab", "Return")  # round to 开始整理
        app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertEqual(icons_shown("keys"), 1)


if __name__ == "__main__":
    unittest.main()
