"""The start window, and the rule that only one copy of the program runs."""

import subprocess
import time
import unittest

import harness
from app_support import (BOX_CLASS, BOX_ICON_IDS, BOX_TEXT_ID, MAIN_CLASS, MAIN_TITLE, MNU_QUIT, START_CLASS,
                         START_LABELS, TIP_PATTERN, box_has_icon, centred, command, hover_tip, icons_shown,
                         open_tray_menu, wait_main_window)

START_CAPTIONS = {301: "欢迎使用 ----", 302: "岚石阁内存整理", 303: "正在加载程序运行所必须的文件..."}
WS_CAPTION, WS_THICKFRAME, WS_POPUP = 0x00C00000, 0x00040000, 0x80000000
SCREEN = [0, 0, 800, 600]
# The start window's client area at 96 DPI: 3735 x 1575 twips.
START_SIZE = (249, 105)
START_BACK = (64, 64, 64)
SHOW_DELAY = 4.0
EXE_NAME = "岚石阁内存整理.exe"


def program_processes():
    return [p for p in harness.processes() if p["exe"] == EXE_NAME]


def start_copy():
    """Another copy of the program, started the plain way."""
    return subprocess.Popen(harness.wine_cmd() + [harness.env_path("APP_EXE")], env=harness.prepared_env(96),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def red_pixels(shot, rect):
    l, t, r, b = rect
    # Red with as much blue as green: orange has next to no blue.
    return sum(n for (red, green, blue), n in shot.colours(l, t, r - l, b - t).items()
               if red > 180 and green < 110 and blue < 110 and abs(green - blue) < 30)


class TestStartWindow(harness.AppTestCase):

    def test_shows_for_four_seconds_then_gives_way_to_the_centred_main_window(self):
        app = self.launch()
        app.wait_window(cls=START_CLASS, timeout=20)
        seen_at = time.monotonic() - app.started_at

        # All that is looked at while the start window shows comes from one
        # list of windows and one screenshot: the window goes four seconds
        # after it came, and a loaded machine makes each look slow.
        by_class = {w["class"]: w for w in app.windows(visible_only=False)}
        shot = harness.Screenshot("start-window")
        start = by_class[START_CLASS]
        self.assertTrue(start["visible"])
        self.assertTrue(start["style"] & WS_POPUP and not start["style"] & (WS_CAPTION | WS_THICKFRAME),
                        "bordered: %x" % start["style"])
        self.assertEqual(tuple(start["client"]), START_SIZE)
        self.assertTrue(centred(start["rect"], SCREEN), start["rect"])
        l, t, r, b = start["rect"]
        self.assertEqual(shot.pixel(l + 2, b - 2), START_BACK, "the window is not drawn where it says it is")
        # The main window's load has run already: it is there, hidden, and
        # its icon is in the notification area.
        self.assertIn(MAIN_CLASS, by_class, "the main window is not loaded")
        self.assertFalse(by_class[MAIN_CLASS]["visible"], "the main window shows during the start window")
        self.assertEqual(icons_shown(shot=shot), 1)
        kids = {c["id"]: c for c in app.children(start["hwnd"])}
        for ident in START_LABELS:
            self.assertEqual(kids[ident]["text"], START_CAPTIONS[ident])
            self.assertTrue(kids[ident]["visible"])

        # The first tick, a second after the main window's load, gives the
        # icon its tip. When the hover saw it only bounds that from above.
        tip = hover_tip()
        tip_at = time.monotonic() - app.started_at
        harness.mouse_move(400, 100)
        self.assertRegex(tip, TIP_PATTERN)
        print("\n  start window seen %.2f s after launch, the icon's tip %.2f s" % (seen_at, tip_at))
        self.assertLess(tip_at, seen_at + SHOW_DELAY + 2.0, "the icon's tip came late")

        # Then the hand-over: the main window shows and the start window goes,
        # both in the one tick. A message sent to the main window is answered
        # only once that tick's handler has returned.
        main = wait_main_window(app, timeout=20)
        shown_at = time.monotonic() - app.started_at
        print("  main window seen %.2f s after launch" % shown_at)
        self.assertEqual(app.windows(visible_only=False, cls=START_CLASS), [], "the start window outlived the tick")
        # Four seconds after the start window's load, which comes after the
        # launch; our polling only adds to that.
        self.assertGreater(shown_at, SHOW_DELAY - 0.1)
        self.assertLess(shown_at, seen_at + SHOW_DELAY + 5.0)
        self.assertEqual(main["text"], MAIN_TITLE)
        self.assertTrue(centred(main["rect"], SCREEN), main["rect"])
        self.assertEqual(icons_shown("handed-over"), 1)

    def test_quitting_from_the_icon_during_the_start_window_ends_everything(self):
        app = self.launch()
        app.wait_window(cls=START_CLASS, timeout=20)
        with harness.MemoryClaim(1, seconds=60):  # keeps the desktop up
            open_tray_menu(app)
            self.assertIsNotNone(app.find_window(cls=START_CLASS), "too late: the start window went")
            harness.key("q")  # 退出程序(&Q)
            key_at = time.monotonic() - app.started_at
            self.assertEqual(app.wait_exit(timeout=20), 0)
            ended_at = time.monotonic() - app.started_at
            print("\n  quit at %.2f s after launch, ended at %.2f s" % (key_at, ended_at))
            # At once, not when the start window's tick would have come.
            if key_at < SHOW_DELAY - 1.0:
                self.assertLess(ended_at, SHOW_DELAY, "the program only ended at the start window's tick")
            self.assertEqual(program_processes(), [])
            self.assertEqual(harness.top_windows(pid=app.pid), [])
            self.assertEqual(icons_shown("after-quit"), 0)


    def test_a_close_during_the_four_seconds_hands_over_at_once(self):
        app = self.launch()
        start = app.wait_window(cls=START_CLASS, timeout=20)
        harness.close_window(start["hwnd"])  # what Alt+F4 sends
        closed_at = time.monotonic() - app.started_at
        app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=20)
        shown_at = time.monotonic() - app.started_at
        print("\n  start window closed %.2f s after launch, main window seen at %.2f s" % (closed_at, shown_at))
        self.assertIsNone(app.find_window(cls=START_CLASS, visible_only=False))
        if closed_at < SHOW_DELAY - 1.0:
            self.assertLess(shown_at, SHOW_DELAY, "the main window came only at the start window's tick")
        self.assertEqual(icons_shown("start-closed"), 1)


class TestSingleInstance(harness.AppTestCase):

    def test_a_second_copy_says_so_and_ends_leaving_the_first_alone(self):
        app = self.launch()
        main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)
        proc = start_copy()
        self.addCleanup(lambda: proc.poll() is None and proc.kill())

        def box_of_the_second():
            return next((w for w in harness.top_windows(visible_only=True, cls=BOX_CLASS)
                         if w["pid"] != app.pid and w["exe"] == EXE_NAME), None)

        box = harness.wait_until(box_of_the_second, timeout=30, what="the second copy's message box")
        second_pid = box["pid"]
        kids = harness.children(box["hwnd"])
        self.assertEqual(box["text"], "非法操作")
        self.assertEqual([c["text"] for c in kids if c["id"] == BOX_TEXT_ID], ["程序已经启动！"])
        self.assertEqual([c["text"] for c in kids if c["class"] == "Button"], ["OK"])
        self.assertTrue(box_has_icon(kids), "no icon")
        # The stop icon is the red one (warning is yellow, information and
        # question blue).
        time.sleep(0.3)
        shot = harness.Screenshot("second-copy")
        icon = next(c for c in kids if c["id"] in BOX_ICON_IDS)
        self.assertGreater(red_pixels(shot, icon["screen_rect"]), 150, "not the stop icon")
        # Nothing else of the second copy's: no window, no icon.
        others = [w for w in harness.top_windows(pid=second_pid, visible_only=False)
                  if w["class"] != BOX_CLASS and w["class"] not in harness.SYSTEM_WINDOW_CLASSES]
        self.assertEqual(others, [])
        self.assertEqual(icons_shown("two-copies"), 1)

        harness.key("Return")
        self.assertEqual(proc.wait(timeout=20), 0)
        self.assertEqual([p["pid"] for p in program_processes()], [app.pid])
        still = app.find_window(cls=MAIN_CLASS, title=MAIN_TITLE)
        self.assertIsNotNone(still, "the first copy's main window went")
        self.assertEqual(still["hwnd"], main["hwnd"])
        self.assertEqual(icons_shown("after-second"), 1)

    def test_eight_copies_started_at_once_leave_one_running(self):
        # The session's desktop first, so that all eight really start together.
        with harness.MemoryClaim(1, seconds=120):
            procs = [start_copy() for _ in range(8)]
            try:
                def settled():
                    boxes = [b for b in harness.top_windows(visible_only=True, cls=BOX_CLASS) if b["exe"] == EXE_NAME]
                    runners = [w for w in harness.top_windows(visible_only=False) if w["exe"] == EXE_NAME and
                               w["class"] in (START_CLASS, MAIN_CLASS)]
                    return (boxes, runners) if len(boxes) == 7 and runners else None

                boxes, windows = harness.wait_until(settled, timeout=60, what="seven boxes and one program")
                self.assertEqual(len({w["pid"] for w in windows}), 1)
                runner = windows[0]["pid"]
                self.assertNotIn(runner, {b["pid"] for b in boxes})
                self.assertEqual(len({b["pid"] for b in boxes}), 7)
                for b in boxes:
                    harness.close_window(b["hwnd"])
                harness.wait_until(lambda: sum(p.poll() is not None for p in procs) == 7, timeout=30,
                                   what="seven copies to end")
                self.assertEqual([p["pid"] for p in program_processes()], [runner])
                self.assertEqual(icons_shown("eight-copies"), 1)
                main = harness.wait_until(
                    lambda: next((w for w in harness.top_windows(pid=runner, visible_only=False)
                                  if w["class"] == MAIN_CLASS), None), timeout=20, what="the main window")
                command(main["hwnd"], MNU_QUIT)
                harness.wait_until(lambda: all(p.poll() is not None for p in procs), timeout=30,
                                   what="every copy to end")
                self.assertEqual([p.returncode for p in procs], [0] * 8)
            finally:
                for p in procs:
                    if p.poll() is None:
                        p.kill()


if __name__ == "__main__":
    unittest.main()
