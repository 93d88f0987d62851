"""What a screen reader hears from the program: the events it raises, caught
from another process by an out-of-context WinEvent hook (the probe's
winevents), as screen readers catch them."""

import json
import select
import subprocess
import unittest

import harness
from app_support import ARRANGE_CLASS, ARRANGE_DONE, ARRANGE_LABEL, CMD_ARRANGE, launch_to_main_window

EVENT_OBJECT_NAMECHANGE = 0x800C
EVENT_OBJECT_LIVEREGIONCHANGED = 0x8019
OBJID_WINDOW, OBJID_CLIENT = 0, -4
WM_GETOBJECT = 0x003D


class WinEvents:
    """A probe of its own listening to a process's name and live region
    changes for `seconds` while the test goes on with the serving probe."""

    def __init__(self, pid, seconds, dpi=96):
        self.proc = subprocess.Popen(
            harness.wine_cmd() + [harness.env_path("PROBE_EXE"), "winevents", str(pid), str(int(seconds * 1000))],
            env=harness.prepared_env(dpi), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.seconds = seconds
        ready, _, _ = select.select([self.proc.stdout], [], [], 60)
        first = self.proc.stdout.readline().decode("utf-8") if ready else "(nothing in 60 s)"
        if '"hooked":true' not in first:
            self.proc.kill()
            raise harness.HarnessError("the event probe did not start listening: %r" % first)

    def events(self):
        """Waits for the listening to end; the events in order."""
        out, _ = self.proc.communicate(timeout=self.seconds + 30)
        records = [json.loads(line) for line in out.decode("utf-8").splitlines() if line.startswith("{")]
        if self.proc.returncode != 0:
            raise harness.HarnessError("the event probe failed: %r" % records)
        return records


def described(events):
    return ["%s %s %s(%d, %d)" % (e["ms"], "name" if e["event"] == EVENT_OBJECT_NAMECHANGE else "live",
                                  e["class"], e["object"], e["child"]) for e in events]


def from_statics_themselves(event):
    """Windows raises a name change for any window whose text is set, labels
    included (Wine does not): that much is the system's, not ours."""
    return (event["event"] == EVENT_OBJECT_NAMECHANGE and event["class"] == "Static"
            and event["object"] == OBJID_WINDOW)


def ask_for_objects(hwnd):
    """What a screen reader's first AccessibleObjectFromWindow sends."""
    harness.send(hwnd, WM_GETOBJECT, 0, OBJID_CLIENT)


class TestAnnouncements(harness.AppTestCase):

    def arrange(self, app, main, ask):
        """Runs an arrangement to its done status, a client asking for the
        window's objects while it waits if `ask`; returns the status label."""
        harness.click_child(harness.child_by_id(main["hwnd"], CMD_ARRANGE))
        win = harness.wait_until(lambda: app.find_window(cls=ARRANGE_CLASS), timeout=10, interval=0.05,
                                 what="the arrange window")
        if ask:
            ask_for_objects(win["hwnd"])
        harness.wait_until(lambda: harness.child_by_id(win["hwnd"], ARRANGE_LABEL)["text"] == ARRANGE_DONE,
                           timeout=20, interval=0.05, what="the done caption")
        label = harness.child_by_id(win["hwnd"], ARRANGE_LABEL)["hwnd"]
        harness.click_client(win, 6, 6)
        harness.wait_until(lambda: app.find_window(cls=ARRANGE_CLASS) is None, timeout=10, interval=0.05,
                           what="the way back")
        return label

    def test_the_result_is_announced_once_and_only_to_a_client_that_looks(self):
        app, main = launch_to_main_window(self, settle=1)
        listening = WinEvents(app.pid, seconds=12)
        # The status label's live region, and no name change of the window
        # that holds the focus: a screen reader speaks both (NVDA's
        # liveRegionChange and nameChange), so the result would be heard twice.
        label = self.arrange(app, main, ask=True)
        # Nobody asked this time: oleacc stays unloaded and nothing is raised.
        self.arrange(app, main, ask=False)
        events = [e for e in listening.events() if not from_statics_themselves(e)]
        self.assertEqual([(e["event"], e["hwnd"], e["object"], e["child"]) for e in events],
                         [(EVENT_OBJECT_LIVEREGIONCHANGED, label, OBJID_CLIENT, 0)], described(events))

    def test_the_refresh_of_the_figures_is_never_announced(self):
        app, main = launch_to_main_window(self, settle=1)
        events = WinEvents(app.pid, seconds=4).events()
        self.assertEqual([e for e in events if not from_statics_themselves(e)], [], described(events))


if __name__ == "__main__":
    unittest.main()
