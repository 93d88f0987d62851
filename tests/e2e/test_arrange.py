"""Arranging memory, from the main window's button and from the tray menu,
with real clicks."""

import time
import unittest

import harness
from app_support import (ARRANGE_CLASS, ARRANGE_DONE, ARRANGE_LABEL, ARRANGE_WAITING, CMD_ARRANGE, MAIN_CLASS,
                         MAIN_TITLE, MNU_ARRANGE, CMD_HIDE, centred, choose_from_tray_menu, command, icons_shown)

BLOCK_BYTES = 140_000_000
WS_CAPTION, WS_DISABLED = 0x00C00000, 0x08000000


class TestArrange(harness.AppTestCase):

    def start_program(self):
        app = self.launch()
        main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)
        time.sleep(1)
        return app, main

    def label(self, win):
        return harness.child_by_id(win["hwnd"], ARRANGE_LABEL)

    def watch_an_arrangement(self, app, asked_at):
        """From the arrange window's appearance to the main window's return."""
        before = app.memory()
        win = app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertEqual(self.label(win)["text"], ARRANGE_WAITING)
        self.assertTrue(win["style"] & WS_DISABLED, "the arrange window takes clicks while waiting")
        self.assertFalse(win["style"] & WS_CAPTION)
        self.assertTrue(centred(win["rect"], [0, 0, 800, 600]), win["rect"])
        self.assertIsNone(app.find_window(cls=MAIN_CLASS), "the main window stays up")
        self.screenshot("waiting")
        harness.click_client(win, 6, 6)  # disabled: ignored


        harness.wait_until(lambda: self.label(win)["text"] == ARRANGE_DONE, timeout=20, interval=0.05,
                           what="the done caption")
        took = time.monotonic() - asked_at
        self.assertGreater(took, 1.0, "done too soon: %.2f s" % took)
        self.assertLess(took, 1.5 + 6.0, "done too late: %.2f s" % took)
        after = app.memory()
        # The block was committed and written in full, then given back.
        rise = after["peak_working_set"] - before["peak_working_set"]
        # Other pages may leave the working set meanwhile (a few hundred KiB).
        self.assertGreaterEqual(after["peak_working_set"], before["working_set"] + BLOCK_BYTES * 0.99,
                                "peak working set rose by only %d bytes" % rise)
        self.assertLess(after["pagefile_usage"], before["pagefile_usage"] + BLOCK_BYTES // 4)
        self.assertLess(after["working_set"], before["working_set"] + BLOCK_BYTES // 4)
        win = app.find_window(cls=ARRANGE_CLASS)
        self.assertIsNotNone(win, "a click while waiting closed the window")
        self.assertFalse(win["style"] & WS_DISABLED)

        # A click on the label does nothing; one on the background goes back.
        harness.click_child(self.label(win))
        time.sleep(1)
        self.assertIsNotNone(app.find_window(cls=ARRANGE_CLASS), "a click on the label closed the window")
        self.assertIsNone(app.find_window(cls=MAIN_CLASS))
        harness.click_client(win, 6, 6)
        app.wait_no_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertIsNone(app.find_window(cls=ARRANGE_CLASS, visible_only=False), "hidden, not unloaded")
        app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=10)
        self.assertEqual(icons_shown(), 1)
        self.assertTrue(app.running())

    def test_from_the_button(self):
        app, main = self.start_program()
        button = harness.child_by_id(main["hwnd"], CMD_ARRANGE)
        asked_at = time.monotonic()
        harness.click_child(button)
        self.watch_an_arrangement(app, asked_at)

    def test_from_the_tray_menu_while_the_main_window_is_hidden(self):
        app, main = self.start_program()
        command(main["hwnd"], CMD_HIDE)
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)
        # With its window hidden the program cannot take the keyboard under
        # Wine, so the item is clicked.
        asked_at = time.monotonic()
        choose_from_tray_menu(app, 1)
        self.watch_an_arrangement(app, asked_at)

    def test_a_second_command_while_arranging_only_changes_visibility(self):
        app, main = self.start_program()
        command(main["hwnd"], MNU_ARRANGE)
        first = app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        command(main["hwnd"], MNU_ARRANGE)
        time.sleep(0.5)
        again = app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertEqual(first["hwnd"], again["hwnd"])
        self.assertEqual(len(app.windows(cls=ARRANGE_CLASS)), 1)
        harness.wait_until(lambda: self.label(again)["text"] == ARRANGE_DONE, timeout=20, what="done")


if __name__ == "__main__":
    unittest.main()
