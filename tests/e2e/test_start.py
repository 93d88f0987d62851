"""The start window, and the rule that only one copy of the program runs."""

import subprocess
import time
import unittest

import harness
from app_support import (BOX_CLASS, box_has_icon, MAIN_CLASS, MAIN_TITLE, MNU_QUIT, START_CLASS, START_LABELS, TIP_PATTERN,
                         centred, command, hover_tip, icons_shown, open_tray_menu)

START_CAPTIONS = {301: "欢迎使用 ----", 302: "岚石阁内存整理", 303: "正在加载程序运行所必须的文件..."}
WS_CAPTION, WS_POPUP = 0x00C00000, 0x80000000


class TestStartWindow(harness.AppTestCase):

    def test_shows_for_four_seconds_then_gives_way_to_the_centred_main_window(self):
        app = self.launch()
        start = app.wait_window(cls=START_CLASS, timeout=20)
        seen_at = time.monotonic() - app.started_at
        # Wine may report the rectangle of the moment before the move for a
        # few milliseconds after the window shows; the screen has it centred.
        time.sleep(0.3)
        shot = self.screenshot("start-window")
        start = app.find_window(cls=START_CLASS)
        self.assertTrue(start["style"] & WS_POPUP and not start["style"] & WS_CAPTION, "bordered: %x" % start["style"])
        self.assertTrue(centred(start["rect"], [0, 0, 800, 600]), start["rect"])
        l, t, r, b = start["rect"]
        self.assertEqual(shot.pixel(l + 2, b - 2), (64, 64, 64), "the window is not drawn where it says it is")
        kids = {c["id"]: c for c in app.children(start["hwnd"])}
        for ident in START_LABELS:
            self.assertEqual(kids[ident]["text"], START_CAPTIONS[ident])
            self.assertTrue(kids[ident]["visible"])

        # The main window is loaded already (its icon and tip are there) but hidden.
        self.assertIsNone(app.find_window(cls=MAIN_CLASS))
        self.assertIsNotNone(app.find_window(cls=MAIN_CLASS, visible_only=False))
        self.assertEqual(icons_shown("start-icon"), 1)
        self.assertRegex(hover_tip(), TIP_PATTERN)
        self.assertLess(time.monotonic() - app.started_at, seen_at + 3.5, "icon and tip came late")

        main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=20)
        shown_at = time.monotonic() - app.started_at
        # Four seconds after the start window's load; launching under Wine and
        # our polling add some, never take any away.
        self.assertGreater(shown_at - seen_at, 2.5)
        self.assertLess(shown_at, seen_at + 4.0 + 5.0)
        self.assertIsNone(app.find_window(cls=START_CLASS, visible_only=False))
        self.assertTrue(centred(main["rect"], [0, 0, 800, 600]), main["rect"])

    def test_quitting_from_the_icon_during_the_start_window_ends_everything(self):
        app = self.launch()
        app.wait_window(cls=START_CLASS, timeout=20)
        with harness.MemoryClaim(1, seconds=60):  # keeps the desktop up
            open_tray_menu(app)
            harness.key("q")
            self.assertEqual(app.wait_exit(timeout=20), 0)
            self.assertEqual(icons_shown("after-quit"), 0)
            self.assertEqual(app.windows(visible_only=False), [])


class TestSingleInstance(harness.AppTestCase):

    def second_copy(self):
        return subprocess.Popen(["wine", harness.env_path("APP_EXE")], env=harness.prepared_env(96,
                                                                                            harness.default_lang()),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def copies_running(self, app):
        return [p for p in harness.processes() if p["exe"] == app.exe_name]

    def test_a_second_copy_says_so_and_ends_leaving_the_first_alone(self):
        app = self.launch()
        main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)
        proc = self.second_copy()
        self.addCleanup(lambda: proc.poll() is None and proc.kill())

        def box_of_the_second():
            for w in harness.top_windows(visible_only=True, cls=BOX_CLASS):
                if w["pid"] != app.pid and w["exe"] == app.exe_name:
                    return w
            return None

        box = harness.wait_until(box_of_the_second, timeout=30, what="the second copy's message box")
        second_pid = box["pid"]
        kids = harness.children(box["hwnd"])
        self.assertEqual(box["text"], "非法操作")
        self.assertEqual([c["text"] for c in kids if c["id"] == 0xFFFF], ["程序已经启动！"])
        self.assertTrue(box_has_icon(kids), "no stop icon")
        # Nothing else of the second copy's: no window, no icon.
        others = [w for w in harness.top_windows(pid=second_pid, visible_only=False)
                  if w["class"] not in (BOX_CLASS, "IME", "tooltips_class32")]
        self.assertEqual(others, [])
        self.assertEqual(icons_shown("two-copies"), 1)

        harness.key("Return")
        self.assertEqual(proc.wait(timeout=20), 0)
        self.assertEqual([p["pid"] for p in self.copies_running(app)], [app.pid])
        self.assertIsNotNone(app.find_window(cls=MAIN_CLASS, title=MAIN_TITLE))
        self.assertEqual(main["hwnd"], app.find_window(cls=MAIN_CLASS)["hwnd"])
        self.assertEqual(icons_shown("after-second"), 1)

    def test_eight_copies_started_at_once_leave_one_running(self):
        # The session's desktop first, so that all eight really start together.
        with harness.MemoryClaim(1, seconds=120):
            env = harness.prepared_env(96, harness.default_lang())
            procs = [subprocess.Popen(["wine", harness.env_path("APP_EXE")], env=env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(8)]
            try:
                exe = "岚石阁内存整理.exe"

                def settled():
                    boxes = harness.top_windows(visible_only=True, cls=BOX_CLASS)
                    boxes = [b for b in boxes if b["exe"] == exe]
                    starts = [w for w in harness.top_windows(visible_only=False) if w["exe"] == exe and
                              w["class"] in (START_CLASS, MAIN_CLASS)]
                    return (boxes, starts) if len(boxes) == 7 and starts else None

                boxes, windows = harness.wait_until(settled, timeout=60, what="seven boxes and one program")
                self.assertEqual(len({w["pid"] for w in windows}), 1)
                runner = windows[0]["pid"]
                self.assertNotIn(runner, {b["pid"] for b in boxes})
                for b in boxes:
                    harness.close_window(b["hwnd"])
                harness.wait_until(lambda: sum(p.poll() is not None for p in procs) == 7, timeout=30,
                                   what="seven copies to end")
                self.assertEqual([p["pid"] for p in harness.processes() if p["exe"] == exe], [runner])
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
