"""First end-to-end checks: the test desktop is what the other tests assume,
and the program starts, shows itself, and ends on WM_CLOSE."""

import os
import unittest

import harness

MAIN_TITLE = " 岚石阁内存整理 v1.0"
ADDR_NO_RANDOMIZE = 0x0040000  # a personality flag (linux/personality.h)


class TestDesktop(unittest.TestCase):
    """The prefixes and the display: if these fail, every other e2e test would
    fail for reasons that have nothing to do with the program."""

    def test_each_prefix_has_its_dpi_and_the_shell_desktop(self):
        for dpi, bar_height in ((96, 20), (144, 28)):
            with self.subTest(dpi=dpi):
                info = harness.sysinfo(dpi=dpi)
                self.assertEqual(info["dpi"], dpi)
                self.assertEqual((info["screen_w"], info["screen_h"]), (800, 600))
                tray = harness.tray_rect(dpi=dpi)
                # The taskbar runs along the bottom. (Wine 8's work area stops
                # above it, Wine 10's does not; the program centres on the
                # monitor and never reads the work area.)
                self.assertEqual(tray["taskbar_rect"], [0, 600 - bar_height, 800, 600])
                self.assertEqual(tray["icon_size"], bar_height)
                harness.wineserver_wait(dpi)

    def test_fonts_the_program_asks_for_are_replaced(self):
        for face in ("SimSun", "宋体", "SimHei", "黑体", "Microsoft YaHei"):
            with self.subTest(face=face):
                f = harness.probe_one("font", face, "岚石阁内存整理")
                self.assertIn("WenQuanYi", f["full_name"])
                self.assertEqual(f["missing_glyphs"], 0)
        f = harness.probe_one("font", "Verdana", "98.25%")
        self.assertEqual(f["full_name"], "DejaVu Sans")
        self.assertEqual(f["missing_glyphs"], 0)
        # Standard controls and message boxes draw CJK text through FontLink
        # (their own face may lack it: Wine 10 finds its own Tahoma).
        for face in ("MS Shell Dlg", "MS Shell Dlg 2", "Tahoma"):
            with self.subTest(face=face):
                self.assertEqual(harness.probe_one("font", face, "开始整理")["drawn_missing"], 0)
        # The title bar's close, minimise and maximise glyphs are Marlett's.
        for dpi in (96, 144):
            self.assertEqual(harness.probe_one("font", "Marlett", "r", dpi=dpi)["face"], "Marlett")

    def test_lang_sets_the_user_locale_and_keeps_the_font_links(self):
        for lang, locale, decimal in (("de_DE.UTF-8", "de-DE", ","), ("zh_CN.UTF-8", "zh-CN", "."),
                                      ("en_US.UTF-8", "en-US", ".")):
            with self.subTest(lang=lang):
                info = harness.sysinfo(lang=lang)
                self.assertEqual((info["locale"], info["decimal"]), (locale, decimal))
                # Wine resets these two on a change of code page; the harness restores them.
                for face in ("Tahoma", "Microsoft Sans Serif", "MS Shell Dlg"):
                    self.assertEqual(harness.probe_one("fontlink", face)["links"],
                                     ["wqy-microhei.ttc,WenQuanYi Micro Hei"], face)

    def test_screenshot_pixels_match_the_screen(self):
        # The desktop background is one flat colour away from the taskbar.
        def drawn():
            shot = harness.Screenshot("desktop")
            background = shot.pixel(400, 300)
            flat = shot.colours(380, 280, 40, 40) == {background: 1600}
            return shot if flat and shot.pixel(400, 590) != background else None

        # A Wine process keeps the desktop window up while the screen is
        # taken; the desktop draws itself a moment after that process starts.
        with harness.MemoryClaim(1, seconds=60):
            shot = harness.wait_until(drawn, timeout=20, what="the desktop and its taskbar on the screen")
        self.assertGreaterEqual((shot.width, shot.height), (800, 600))

    def tearDown(self):
        harness.wineserver_wait(96)
        harness.wineserver_wait(144)


class TestProbe(unittest.TestCase):
    """The probe's own answers, on windows and processes of known make-up."""

    def test_numbers_are_decimal_or_hex_and_junk_is_refused(self):
        with harness.MemoryClaim(1, seconds=60) as claim:  # also keeps the desktop up
            pid = claim.info["pid"]
            # A leading zero is not octal.
            for form in (str(pid), hex(pid), "0%d" % pid):
                with self.subTest(form=form):
                    self.assertEqual(harness.procmem(form)["pid"], pid)
            bar = harness.tray_rect()["taskbar"]
            self.assertEqual(harness.send(bar, "0x000E"), harness.send(bar, "14"))  # WM_GETTEXTLENGTH
            for junk in ("0x", "14abc", "", "--1"):
                with self.subTest(junk=junk):
                    out = harness.probe("send", bar, junk, 0, 0, check=False)
                    self.assertIn("error", out[0])

    def test_procmem_reads_another_process(self):
        with harness.MemoryClaim(256, seconds=60) as claim:
            mem = harness.procmem(claim.info["pid"])
        self.assertTrue(mem["running"])
        # Every page was touched, so all of it is committed and resident.
        self.assertGreaterEqual(mem["pagefile_usage"], 256 << 20)
        self.assertGreaterEqual(mem["working_set"], 256 << 20)
        self.assertGreaterEqual(mem["peak_working_set"], mem["working_set"])

    def test_wine_starts_without_address_space_randomisation(self):
        if os.environ.get("WINE_RUN_SETARCH") == "0":
            self.skipTest("this machine refuses setarch -R")
        harness.memstatus()  # the serving probe, started through wine-run
        with open("/proc/%d/personality" % harness._probes[96].proc.pid) as f:
            self.assertTrue(int(f.read(), 16) & ADDR_NO_RANDOMIZE)

    def test_screenshot_reader_handles_ppm_comments(self):
        data = b"P6\n# made by hand\n2 1\n255\n" + bytes([1, 2, 3, 250, 251, 252])
        self.assertEqual(harness._parse_ppm(data), (2, 1, bytes([1, 2, 3, 250, 251, 252])))

    def tearDown(self):
        harness.wineserver_wait(96)


class TestSmoke(harness.AppTestCase):

    def test_starts_shows_a_window_and_ends_on_close(self):
        app = self.launch()
        first = app.wait_window(timeout=30)
        self.assertEqual(first["pid"], app.pid)
        l, t, r, b = first["rect"]
        self.assertGreater(r - l, 50)
        self.assertGreater(b - t, 50)
        shot = self.screenshot("first-window")
        # Something is drawn there: more than the flat desktop background.
        self.assertGreater(len(shot.colours(l, t, r - l, b - t)), 2)

        main = app.wait_window(title=MAIN_TITLE, timeout=30)
        self.screenshot("main-window")
        harness.close_window(main["hwnd"])
        self.assertEqual(app.wait_exit(timeout=20), 0)


if __name__ == "__main__":
    unittest.main()
