"""The running program under abuse: random messages from another process, many
arrangements and shell restarts in a row, and a whole session that must leave
the Wine prefix as it found it."""

import hashlib
import os
import re
import time
import unittest

import harness

from app_support import (ARRANGE_CLASS, ARRANGE_DONE, ARRANGE_LABEL, CMD_ABOUT, CMD_HIDE, CMD_MEM_MSG, MAIN_CLASS,
                         MAIN_TITLE, MNU_ARRANGE, MNU_QUIT, MNU_SHOW, WM_LBUTTONDOWN, WM_LBUTTONUP, close_tray_menu,
                         command, follows_a_claim, icons_shown, label_megabytes, label_text, launch_to_main_window, open_tray_menu)


class RunningProgram(harness.AppTestCase):
    """Starts the program and waits for its main window to show."""

    def start_program(self):
        app, main = launch_to_main_window(self)
        return app, main["hwnd"]

    def assert_menu_opens_from_the_icon(self, app):
        open_tray_menu(app)
        close_tray_menu(app)

    def assert_refreshing(self, app, main):
        """The label follows a claim of memory down and its release back up."""
        follows_a_claim(lambda: label_megabytes(label_text(main)))

    def arrange_once(self, app, main):
        command(main, MNU_ARRANGE)
        win = app.wait_window(cls=ARRANGE_CLASS, timeout=10)
        harness.wait_until(lambda: harness.child_by_id(win["hwnd"], ARRANGE_LABEL)["text"] == ARRANGE_DONE,
                           timeout=15, what="the arrange window to report done")
        # A click on the background: the label starts well below and right of (4, 4).
        label = harness.child_by_id(win["hwnd"], ARRANGE_LABEL)
        self.assertGreater(min(label["rect"][0], label["rect"][1]), 4)
        lparam = (4 << 16) | 4
        harness.post(win["hwnd"], WM_LBUTTONDOWN, 1, lparam)
        harness.post(win["hwnd"], WM_LBUTTONUP, 0, lparam)
        app.wait_no_window(cls=ARRANGE_CLASS, timeout=10)
        app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=10)


class TestHostileMessages(RunningProgram):

    def test_random_posts_leave_it_running_refreshing_and_answering_the_icon(self):
        app, main = self.start_program()
        out = harness.probe_one("fuzz", main, 100000, 20261207, timeout=600)
        self.assertTrue(out["ok"], out)
        self.assertGreater(out["posted"], 99000)
        # Whatever the random commands did (hide, arrange, a box), close it
        # again so the checks below look at the program itself.
        for w in app.windows(visible_only=True):
            if w["class"] in ("#32770", "#32768"):
                harness.close_window(w["hwnd"])
        time.sleep(1)
        self.assertTrue(app.running(), "the program ended under random messages")
        self.assertIsNotNone(app.find_window(cls=MAIN_CLASS, visible_only=False))
        self.assert_refreshing(app, main)
        self.assertEqual(icons_shown(), 1)
        self.assert_menu_opens_from_the_icon(app)
        command(main, MNU_QUIT)
        self.assertEqual(app.wait_exit(timeout=20), 0)


class TestRepetition(RunningProgram):

    def test_fifty_arrangements_and_twenty_shell_restarts(self):
        app, main = self.start_program()
        self.arrange_once(app, main)
        time.sleep(1)
        settled = app.memory()["pagefile_usage"]
        for _ in range(49):
            self.arrange_once(app, main)
        time.sleep(1)
        grown = app.memory()["pagefile_usage"] - settled
        self.assertLess(grown, 256 * 1024, "private memory grew by %d bytes over 49 arrangements" % grown)

        for _ in range(20):
            harness.broadcast_taskbar_created()
            time.sleep(0.2)
        time.sleep(1)
        self.assertEqual(icons_shown(), 1)
        grown = app.memory()["pagefile_usage"] - settled
        self.assertLess(grown, 256 * 1024, "private memory grew by %d bytes" % grown)
        self.assert_menu_opens_from_the_icon(app)
        self.assert_refreshing(app, main)
        harness.close_window(main)
        self.assertEqual(app.wait_exit(timeout=20), 0)


# --- nothing written ------------------------------------------------------------

REG_FILES = ("system.reg", "user.reg", "userdef.reg")


def registry_values(path):
    """{key: set of value lines} of a Wine registry file, without the
    timestamps Wine stamps on every key it saves."""
    keys, current = {}, None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^\[(.*)\](?: \d+)?$", line)
            if m:
                current = keys.setdefault(m.group(1), set())
            elif current is not None and line and not line.startswith("#"):
                current.add(line)
    return keys


def prefix_state(prefix):
    """Files of the prefix (size and content hash; symlinks not followed) and
    its registry values."""
    files = {}
    for root, dirs, names in os.walk(prefix):
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]
        for name in names:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, prefix)
            if os.path.islink(path) or rel in REG_FILES or rel == ".stamp":
                continue
            with open(path, "rb") as f:
                files[rel] = hashlib.sha1(f.read()).hexdigest()
    registry = {}
    for name in REG_FILES:
        for key, values in registry_values(os.path.join(prefix, name)).items():
            registry["%s:%s" % (name, key)] = values
    return files, registry


# Device keys Wine's display driver rewrites (with the time of day) whenever a
# process asks about monitors; the program does, the baseline does not.
# Wine 8 writes them under CurrentControlSet, Wine 10 under ControlSet001
# (which CurrentControlSet links to, as on Windows).
WINE_DEVICE_KEYS = tuple(
    r"system.reg:System\\%s\\%s" % (control_set, key)
    for control_set in ("CurrentControlSet", "ControlSet001")
    for key in (r"Control\\Class\\", r"Enum\\", r"Control\\Video\\")
) + (r"system.reg:Hardware\\DeviceMap\\Video",)


def changes(before, after):
    files_b, reg_b = before
    files_a, reg_a = after
    found = set()
    for rel in set(files_b) | set(files_a):
        if files_b.get(rel) != files_a.get(rel):
            found.add("file " + rel)
    for key in set(reg_b) | set(reg_a):
        if key.startswith(WINE_DEVICE_KEYS):
            continue
        for value in reg_b.get(key, set()) ^ reg_a.get(key, set()):
            found.add("value [%s] %s" % (key, value))
    return found


class TestNothingWritten(RunningProgram):

    def session_changes(self, run):
        prefix = harness.prefix_for(96)
        harness.wineserver_wait(96, timeout=30)
        before = prefix_state(prefix)
        run()
        # Wine writes the registry out when its server ends.
        self.assertTrue(harness.wineserver_wait(96, timeout=30))
        return changes(before, prefix_state(prefix))

    def baseline_session(self):
        baseline = harness.env_path("BASELINE_EXE")
        app = harness.App(exe=baseline, log_name="TestNothingWritten.baseline")
        app.start()
        try:
            win = app.wait_window(title="baseline", timeout=30)
            time.sleep(5)
            harness.close_window(win["hwnd"])
            app.wait_exit(timeout=20)
        finally:
            app.stop()

    def program_session(self):
        app = harness.App(log_name="TestNothingWritten.program")
        app.start()
        try:
            main = app.wait_window(cls=MAIN_CLASS, title=MAIN_TITLE, timeout=30)["hwnd"]
            self.assert_menu_opens_from_the_icon(app)
            for ident in (CMD_MEM_MSG, CMD_ABOUT):
                command(main, ident)
                box = app.wait_window(cls="#32770", timeout=10)
                harness.close_window(box["hwnd"])
                harness.wait_until(lambda: app.find_window(cls="#32770") is None, timeout=10,
                                   what="the message box to close")
            self.arrange_once(app, main)
            command(main, CMD_HIDE)
            harness.wait_until(lambda: app.find_window(cls=MAIN_CLASS) is None, timeout=10, what="hide")
            command(main, MNU_SHOW)
            app.wait_window(cls=MAIN_CLASS, timeout=10)
            command(main, MNU_QUIT)
            self.assertEqual(app.wait_exit(timeout=20), 0)
        finally:
            problems = app.stop()
        self.assertEqual(problems, [])

    def test_a_whole_session_writes_no_more_than_the_baseline_program(self):
        # Wine's own bookkeeping (its window and device keys, for one) changes
        # with any program; what the baseline changes is that noise.
        noise = self.session_changes(self.baseline_session) | self.session_changes(self.baseline_session)
        ours = self.session_changes(self.program_session)
        self.assertEqual(sorted(ours - noise), [])


if __name__ == "__main__":
    unittest.main()
