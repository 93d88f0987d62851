"""The notification-area icon, driven as a person would: real clicks on the
icon in the Wine desktop's notification area, keys in its menu, the shell's
tooltip and the message boxes read back from outside."""

import time
import unittest

import harness
from app_support import (ARRANGE_CLASS, CMD_ABOUT, CMD_HIDE, CMD_MEM_MSG, MAIN_CLASS, MAIN_TITLE, MNU_SHOW,
                         TIP_PATTERN, choose_from_tray_menu, close_tray_menu, command, hover_tip, icons_shown, menu_windows, message_box,
                         open_tray_menu, shell_tip)

ABOUT_TEXT = ("<< 岚石阁内存整理 >>\n\n版本：1.0.0.104\n\n程序设计：岚石阁工作室\n\n"
              "版权所有 (C) 岚石阁工作室，保留所有权利。\n\n联系地址：岚石阁工作室，示例路 1 号，示例市\n\n"
              "E-mail：support@example.com")


def mb(n):
    return "%.2f" % round(n / 1048576.0 + 1e-9, 2)


class TrayCase(harness.AppTestCase):

    def start_program(self):
        app = self.launch()
        main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)
        time.sleep(0.5)
        return app, main["hwnd"]

    def assert_nothing_opens(self, app, main_visible):
        time.sleep(1)
        self.assertEqual(menu_windows(app), [])
        self.assertEqual(app.find_window(cls=MAIN_CLASS) is not None, main_visible)
        self.assertIsNone(app.find_window(cls="#32770"))


class TestMenu(TrayCase):

    def test_right_click_opens_the_menu_and_its_keys_run_the_commands(self):
        app, main = self.start_program()
        menu = open_tray_menu(app)
        x, y = harness.tray_icon_center()
        l, t, r, b = menu["rect"]
        # At the mouse: the menu's corner is there, pushed up and left to stay on screen.
        self.assertLessEqual(abs(r - x), r - l + 2)
        self.assertLessEqual(abs(b - y), b - t + 2)
        shot = self.screenshot("tray-menu")
        self.assertGreater(len(shot.colours(l, t, r - l, b - t)), 2)

        # Escape closes it; a second right-click opens it again (the menu
        # belongs to a foreground window, so it neither sticks nor flashes away).
        close_tray_menu(app)
        open_tray_menu(app)
        harness.click(400, 300)  # on the desktop, away from the menu
        harness.wait_until(lambda: not menu_windows(app), timeout=10, what="a click elsewhere to close the menu")

        # 整理内存(&R)
        open_tray_menu(app)
        harness.key("r")
        app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        self.assertIsNone(app.find_window(cls=MAIN_CLASS))

    def test_hide_show_and_quit(self):
        app, main = self.start_program()
        hide = harness.child_by_id(main, CMD_HIDE)
        harness.click_child(hide)
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)
        self.assertTrue(app.running())
        self.assertEqual(icons_shown("hidden"), 1)

        # 显示界面(&S), enabled now. With its window hidden the program cannot
        # take the keyboard under Wine, so the item is clicked.
        choose_from_tray_menu(app, 0)
        app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=10)
        # Disabled again while the window shows: its key does nothing.
        open_tray_menu(app)
        harness.key("s")
        time.sleep(0.5)
        close_tray_menu(app)
        command(main, MNU_SHOW)  # and the command itself keeps it shown
        app.wait_window(cls=MAIN_CLASS, timeout=10)

        # 退出程序(&Q)
        with harness.MemoryClaim(1, seconds=60):  # keeps the desktop up
            open_tray_menu(app)
            harness.key("q")
            self.assertEqual(app.wait_exit(timeout=20), 0)
            self.assertEqual(icons_shown("after-quit"), 0)

    def test_other_clicks_on_the_icon_do_nothing(self):
        app, main = self.start_program()
        x, y = harness.tray_icon_center()
        harness.mouse_down(x, y, button=3)
        self.assert_nothing_opens(app, main_visible=True)
        harness.mouse_up(x, y, button=3)  # the release is the menu's cue
        harness.wait_until(lambda: menu_windows(app), timeout=10, what="the menu on the release")
        close_tray_menu(app)
        command(main, CMD_HIDE)
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)
        harness.click(x, y)
        self.assert_nothing_opens(app, main_visible=False)
        harness.double_click(x, y)
        self.assert_nothing_opens(app, main_visible=False)


class TestTipAndBoxes(TrayCase):

    def test_tooltip_follows_the_figures_while_hidden(self):
        app, main = self.start_program()
        command(main, CMD_HIDE)
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)
        tip = hover_tip()
        self.assertRegex(tip, TIP_PATTERN)
        self.assertEqual(tip.count("\n"), 1)
        with harness.MemoryClaim(768, seconds=60):
            time.sleep(2.5)
            harness.mouse_move(300, 300)
            time.sleep(0.5)
            claimed = hover_tip()
        self.assertRegex(claimed, TIP_PATTERN)
        self.assertNotEqual(claimed, tip)
        harness.mouse_move(300, 300)

    def test_details_and_about_boxes(self):
        app, main = self.start_program()
        status = harness.memstatus()
        harness.click_child(harness.child_by_id(main, CMD_MEM_MSG))
        box = message_box(app)
        self.assertEqual(box["title"], "岚石阁内存整理")
        self.assertFalse(box["icon"])
        self.assertEqual(box["text"], "** 本机内存详细资料 **\n\n物理内存总量：%s MB\n\n虚拟内存总量：%s MB\n\n"
                                      "当前分页文件总量：%s MB" % (mb(status["total_phys"]), mb(status["total_virtual"]),
                                                               mb(status["total_pagefile"])))
        harness.key("Return")
        app.wait_no_window(cls="#32770", timeout=10)

        harness.click_child(harness.child_by_id(main, CMD_ABOUT))
        box = message_box(app)
        self.assertEqual((box["title"], box["text"], box["icon"]), ("关于本软件", ABOUT_TEXT, False))
        harness.key("Return")
        app.wait_no_window(cls="#32770", timeout=10)
        self.assertTrue(app.running())


class TestIconLifetime(TrayCase):

    def test_a_shell_restart_leaves_one_working_icon(self):
        app, main = self.start_program()
        self.assertEqual(icons_shown("before"), 1)
        harness.broadcast_taskbar_created()
        time.sleep(1)
        self.assertEqual(icons_shown("after"), 1)
        open_tray_menu(app)
        close_tray_menu(app)
        self.assertRegex(hover_tip(), TIP_PATTERN)

    def test_closing_while_hidden_removes_the_icon(self):
        app, main = self.start_program()
        command(main, CMD_HIDE)
        app.wait_no_window(cls=MAIN_CLASS, timeout=10)
        # Something else keeps the desktop up to look at it afterwards.
        with harness.MemoryClaim(1, seconds=60):
            harness.close_window(main)
            self.assertEqual(app.wait_exit(timeout=20), 0)
            self.assertEqual(icons_shown("after-close"), 0)
            self.assertIsNone(shell_tip())


if __name__ == "__main__":
    unittest.main()
