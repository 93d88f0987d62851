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


class TestAnnouncements(harness.AppTestCase):

    def test_the_done_status_is_announced_once(self):
        app, main = launch_to_main_window(self, settle=1)
        listening = WinEvents(app.pid, seconds=6)
        harness.click_child(harness.child_by_id(main["hwnd"], CMD_ARRANGE))
        win = harness.wait_until(lambda: app.find_window(cls=ARRANGE_CLASS), timeout=10, interval=0.05,
                                 what="the arrange window")
        harness.wait_until(lambda: harness.child_by_id(win["hwnd"], ARRANGE_LABEL)["text"] == ARRANGE_DONE,
                           timeout=20, interval=0.05, what="the done caption")
        events = listening.events()
        ours = [(e["event"], e["object"], e["child"]) for e in events if e["hwnd"] == win["hwnd"]]
        self.assertEqual(ours, [(EVENT_OBJECT_NAMECHANGE, OBJID_CLIENT, 0),
                                (EVENT_OBJECT_LIVEREGIONCHANGED, OBJID_CLIENT, 0)], described(events))
        others = [e for e in events if e["hwnd"] != win["hwnd"] and not from_statics_themselves(e)]
        self.assertEqual(others, [], described(others))

    def test_the_refresh_of_the_figures_is_never_announced(self):
        app, main = launch_to_main_window(self, settle=1)
        events = WinEvents(app.pid, seconds=4).events()
        self.assertEqual([e for e in events if not from_statics_themselves(e)], [], described(events))


if __name__ == "__main__":
    unittest.main()
