"""The notification-area icon, driven as a person would: real clicks on the
icon in the Wine desktop's notification area, keys in its menu, the shell's
tooltip and the message boxes read back from outside.

Wine cannot read another process's menu, so the menu's items are judged by
how they look (three rows of text, the first grey while the main window
shows) and by what choosing them does. While the main window is hidden its
thread cannot take the keyboard under Wine (the menu's access keys go
nowhere, Escape included), so items are clicked then."""

import re
import time
import unittest

import harness
from app_support import (ARRANGE_CLASS, ARRANGE_DONE, ARRANGE_LABEL, BOX_CLASS, CMD_ABOUT, CMD_HIDE, CMD_MEM_MSG,
                         MAIN_CLASS, MAIN_TITLE, TIP_PATTERN, close_tray_menu, follows_a_claim, hover_tip, icons_shown,
                         launch_to_main_window, menu_windows, message_box, open_tray_menu, wait_menu_closed)
from tray_support import (MenuPicture, delete_icon, dismiss_box, distance, foreground, free_percent, icon_gone,
                          message_box_buttons, percent, program_windows)

PRODUCT = "岚石阁内存整理"
SHOW, ARRANGE, QUIT = 0, 1, 2  # the menu's rows of text, separators not counted
DESKTOP_SPOT = (100, 100)  # bare desktop, away from every window
WM_NULL, WM_DPICHANGED = 0x0000, 0x02E0


class TrayCase(harness.AppTestCase):

    def start_program(self):
        return launch_to_main_window(self, settle=0.5)

    def hide_with_the_button(self, app, main):
        harness.click_child(harness.child_by_id(main["hwnd"], CMD_HIDE))
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)

    def look_at_menu(self, app, label):
        menu = open_tray_menu(app)
        picture = MenuPicture(menu, self.id().rsplit(".", 1)[-1] + "." + label)
        self.assertEqual(len(picture.rows), 3, "rows of text in the menu: %r" % picture.rows)
        return menu, picture

    def assert_ends_leaving_no_icon(self, app, end):
        # Another Wine process keeps the desktop up to look at it afterwards.
        # Wine's shell also drops the icons of a window that is destroyed, so
        # this shows the end as a person sees it; that the program deletes its
        # icon itself is shown in process (TrayTest).
        with harness.MemoryClaim(1, seconds=60):
            end()
            self.assertEqual(app.wait_exit(timeout=20), 0)
            self.assertTrue(icon_gone(), "an icon or its tip is left in the notification area")


class TestMenu(TrayCase):

    def test_right_click_opens_the_menu_at_the_mouse_and_it_closes_again(self):
        app, main = self.start_program()
        # Something else in front first: the program must bring its own
        # window forward, or the menu would take no keys and never close.
        harness.click(*DESKTOP_SPOT)
        time.sleep(0.5)
        self.assertIsNone(foreground(app))

        x, y = harness.tray_icon_center()
        menu = open_tray_menu(app)
        self.assertEqual(menu["owner"], main["hwnd"])
        self.assertLessEqual(distance((x, y), menu["rect"]), harness.tray_rect()["icon_size"],
                             "the menu at %r, the mouse at %r" % (menu["rect"], (x, y)))
        self.assertEqual((foreground(app) or {}).get("hwnd"), main["hwnd"])
        picture = MenuPicture(menu, "TestMenu.open")
        self.assertEqual(picture.enabled(), [False, True, True], picture.rows)
        print("\n  the open tray menu: %s" % picture.save_for_readme())

        close_tray_menu(app)  # Escape
        # A second menu opens and stays (it neither sticks nor flashes away),
        # and a click elsewhere closes it.
        open_tray_menu(app)
        time.sleep(1)
        self.assertTrue(menu_windows(app), "the second menu vanished by itself")
        harness.click(*DESKTOP_SPOT)
        wait_menu_closed(app, what="a click elsewhere to close the menu")
        open_tray_menu(app)
        time.sleep(1)
        close_tray_menu(app)

        self.assertTrue(app.running())
        self.assertIsNotNone(app.find_window(cls=MAIN_CLASS, title=MAIN_TITLE))
        self.assertIsNone(app.find_window(cls=BOX_CLASS))

    def test_access_keys_arrange_and_quit(self):
        app, main = self.start_program()
        windows = program_windows(app)
        # 显示界面(&S) is disabled while the window shows: its key runs nothing.
        # (Wine closes the menu on it; an Escape now would reach the main
        # window and press its cancel button, 隐藏.)
        open_tray_menu(app)
        harness.key("s")
        time.sleep(1)
        if menu_windows(app):
            close_tray_menu(app)
        self.assertEqual(program_windows(app), windows)

        # 整理内存(&R)
        open_tray_menu(app)
        harness.key("r")
        arrange = app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertIsNone(app.find_window(cls=MAIN_CLASS))
        self.assertFalse(menu_windows(app))
        harness.wait_until(lambda: harness.child_by_id(arrange["hwnd"], ARRANGE_LABEL)["text"] == ARRANGE_DONE,
                           timeout=20, what="the arrangement to finish")
        harness.click_client(arrange, 6, 6)
        app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=10)

        # 退出程序(&Q)
        def quit_from_the_menu():
            open_tray_menu(app)
            harness.key("q")
        self.assert_ends_leaving_no_icon(app, quit_from_the_menu)

    def test_hide_then_show_from_the_menu_then_quit_from_it_while_hidden(self):
        app, main = self.start_program()
        where = app.find_window(cls=MAIN_CLASS)["rect"]
        self.hide_with_the_button(app, main)
        self.assertTrue(app.running())
        self.assertEqual(icons_shown("hidden"), 1)

        # The menu works with the window hidden, which is still brought in front.
        menu, picture = self.look_at_menu(app, "hidden")
        self.assertEqual(menu["owner"], main["hwnd"])
        self.assertEqual((foreground(app) or {}).get("hwnd"), main["hwnd"])
        self.assertEqual(picture.enabled(), [True, True, True], picture.rows)
        picture.click(SHOW)
        shown = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=10)
        self.assertEqual(shown["rect"], where)
        wait_menu_closed(app)

        # Disabled again now that the window shows.
        _, picture = self.look_at_menu(app, "shown-again")
        self.assertEqual(picture.enabled(), [False, True, True], picture.rows)
        close_tray_menu(app)

        self.hide_with_the_button(app, main)

        def quit_while_hidden():
            _, picture = self.look_at_menu(app, "hidden-again")
            picture.click(QUIT)
        self.assert_ends_leaving_no_icon(app, quit_while_hidden)

    def test_other_clicks_on_the_icon_do_nothing(self):
        app, main = self.start_program()
        x, y = harness.tray_icon_center()

        def assert_nothing_happens(what, windows):
            time.sleep(1)
            self.assertEqual(menu_windows(app), [], what)
            self.assertEqual(program_windows(app), windows, what)

        windows = program_windows(app)
        harness.mouse_down(x, y, button=3)
        assert_nothing_happens("right-button press", windows)
        harness.mouse_up(x, y, button=3)  # the release is the menu's cue
        harness.wait_until(lambda: menu_windows(app), timeout=10, what="the menu on the release")
        close_tray_menu(app)

        for hidden in (False, True):
            if hidden:
                self.hide_with_the_button(app, main)
                windows = program_windows(app)
            harness.click(x, y)
            assert_nothing_happens("left click, hidden=%s" % hidden, windows)
            harness.double_click(x, y)
            assert_nothing_happens("double-click, hidden=%s" % hidden, windows)
        self.assertTrue(app.running())


class TestTipAndBoxes(TrayCase):

    def test_tooltip_follows_the_figures_while_hidden_and_closing_then_removes_the_icon(self):
        app, main = self.start_program()
        tip = hover_tip()
        self.assertRegex(tip, TIP_PATTERN)
        self.assertEqual(tip.split("\n")[0], PRODUCT)
        self.assertAlmostEqual(percent(tip), free_percent(harness.memstatus()), delta=5)

        self.hide_with_the_button(app, main)
        total_mb = harness.memstatus()["total_phys"] / (1 << 20)
        follows_a_claim(lambda: percent(hover_tip()) / 100 * total_mb)
        self.assertRegex(hover_tip(), TIP_PATTERN)

        # WM_CLOSE while hidden ends it all too.
        self.assertIsNone(app.find_window(cls=MAIN_CLASS))
        self.assert_ends_leaving_no_icon(app, lambda: harness.close_window(main["hwnd"]))

    def test_details_and_about_boxes(self):
        app, main = self.start_program()
        status = harness.memstatus()
        harness.click_child(harness.child_by_id(main["hwnd"], CMD_MEM_MSG))
        box = message_box(app)
        self.assertEqual(box["title"], PRODUCT)
        self.assertFalse(box["icon"])
        self.assertEqual(len(message_box_buttons(box["hwnd"])), 1)
        m = re.fullmatch(r"\*\* 本机内存详细资料 \*\*\n\n物理内存总量：([0-9]+\.[0-9]{2}) MB\n\n"
                         r"虚拟内存总量：([0-9]+\.[0-9]{2}) MB\n\n当前分页文件总量：([0-9]+\.[0-9]{2}) MB", box["text"])
        self.assertIsNotNone(m, box["text"])
        physical, virtual, pagefile = (float(g) for g in m.groups())
        self.assertAlmostEqual(physical, status["total_phys"] / 1048576, delta=0.006)
        self.assertAlmostEqual(virtual, status["total_virtual"] / 1048576, delta=0.006)
        self.assertAlmostEqual(pagefile, status["total_pagefile"] / 1048576,
                               delta=status["total_pagefile"] / 1048576 / 100)
        self.assertIsNotNone(dismiss_box(app))

        harness.click_child(harness.child_by_id(main["hwnd"], CMD_ABOUT))
        box = message_box(app)
        self.assertEqual(box["title"], "关于本软件")
        self.assertFalse(box["icon"])
        self.assertEqual(len(message_box_buttons(box["hwnd"])), 1)
        self.assertEqual(box["text"], "<< 岚石阁内存整理 >>\n\n"
                                      "版本：1.0.0.104\n\n"
                                      "程序设计：岚石阁工作室\n\n"
                                      "版权所有 (C) 岚石阁工作室，保留所有权利。\n\n"
                                      "联系地址：岚石阁工作室，示例路 1 号，示例市\n\n"
                                      "E-mail：support@example.com")
        self.assertIsNotNone(dismiss_box(app))
        self.assertTrue(app.running())


class TestIconLifetime(TrayCase):

    def assert_one_working_icon(self, label):
        self.assertEqual(icons_shown(label), 1)
        self.assertRegex(hover_tip(), TIP_PATTERN)

    def test_shell_restarts_and_a_lost_icon_leave_one_working_icon(self):
        app, main = self.start_program()
        self.assert_one_working_icon("before")

        # Wine's shell keeps its icons over the notice: the program's re-add
        # must not make a second one, and the hook still opens the menu.
        for _ in range(2):
            harness.broadcast_taskbar_created()
        time.sleep(1.5)
        self.assert_one_working_icon("after-notice")
        open_tray_menu(app)
        close_tray_menu(app)

        # The shell loses the icon: the next tip that changes brings it back.
        self.assertTrue(delete_icon(main["hwnd"]))
        with harness.MemoryClaim(256, seconds=60):
            harness.wait_until(lambda: icons_shown("re-added") == 1, timeout=15, what="the icon to come back")
        self.assert_one_working_icon("re-added")

        # A shell that restarts for real loses it, then says so.
        self.assertTrue(delete_icon(main["hwnd"]))
        harness.broadcast_taskbar_created()
        harness.wait_until(lambda: icons_shown("restarted") == 1, timeout=15, what="the icon to come back")
        self.assert_one_working_icon("restarted")
        open_tray_menu(app)
        close_tray_menu(app)
        self.assertTrue(app.running())

    def test_the_icon_still_shows_after_a_dpi_change_and_a_shell_restart(self):
        app, main = self.start_program()
        self.assert_one_working_icon("before")
        # Sent, not posted: each returns once the program has handled it. The
        # notice goes out as a notify message, which the WM_NULL sent behind it
        # waits for.
        harness.send(main["hwnd"], WM_DPICHANGED, 144 | (144 << 16), 0)
        harness.broadcast_taskbar_created()
        harness.send(main["hwnd"], WM_NULL)
        harness.wait_until(lambda: icons_shown("after-dpi-and-notice") == 1, timeout=10,
                           what="the program's icon in its slot, not an empty one")
        self.assert_one_working_icon("after-dpi-and-notice")


if __name__ == "__main__":
    unittest.main()
