"""End-to-end test support: runs the program under Wine on the test desktop and
looks at it from outside, the way a person would (windows, pixels, mouse and
keys), through probe.exe, xdotool and ImageMagick.

Paths come from the environment that ctest and test.sh set up:
  APP_EXE, PROBE_EXE        the program and the probe (Unix paths)
  WINEPREFIX, WINEPREFIX_144  prefixes whose LogPixels are 96 and 144
  DISPLAY                   the private Xvfb
  SCREENSHOT_DIR            where screenshots go
  WINE_CMD                  what starts Wine (scripts/wine-run, the default)

Typical use:

    class MainWindowTest(harness.AppTestCase):
        def test_caption(self):
            app = self.launch()
            win = app.wait_window(cls="Lanshige.MainWindow", timeout=20)
            self.assertEqual(win["text"], " 岚石阁内存整理 v1.0")

Coordinates are screen pixels; the Wine desktop sits at the X screen's
origin, so they are also what xdotool and the screenshots use.
"""

import atexit
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

# Windows messages the tests send most.
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060

# Processes of a Wine session that are not the program's doing.
WINE_SYSTEM_EXES = {
    "services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
    "explorer.exe", "winemenubuilder.exe", "conhost.exe", "start.exe", "probe.exe",
    "wineboot.exe", "rundll32.exe", "tabtip.exe",
}

# Windows every process with a window gets from the system: the input
# method's (Windows and Wine 8: "IME"; Wine 10 adds "Wine IME").
SYSTEM_WINDOW_CLASSES = {"IME", "Wine IME"}

DEFAULT_TIMEOUT = 30.0

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


class HarnessError(AssertionError):
    """A step of the harness did not happen in time or went wrong."""


# --- environment --------------------------------------------------------------

def env_path(name, required=True):
    value = os.environ.get(name, "")
    if required and not value:
        raise unittest.SkipTest("%s is not set (run the tests through test.sh / ctest)" % name)
    return value


def wine_cmd():
    """The start of a command line that runs Wine: scripts/wine-run, which
    starts it without address-space randomisation (a randomised start fails
    now and then)."""
    return [os.environ.get("WINE_CMD") or os.path.join(REPO, "scripts", "wine-run")]


def prefix_for(dpi=96):
    return env_path("WINEPREFIX_144" if dpi == 144 else "WINEPREFIX")


def default_lang():
    """The inherited locale if it is a UTF-8 one, else C.UTF-8.

    Wine converts arguments and file names with the Unix locale's charset, so
    it must be UTF-8: with LANG=C the program's Chinese file name cannot even
    be opened."""
    current = os.environ.get("LC_ALL") or os.environ.get("LANG") or ""
    if "utf-8" in current.lower() or "utf8" in current.lower():
        return current
    return "C.UTF-8"


def wine_env(dpi=96, lang=None):
    """Environment for a Wine process on the test desktop; lang (e.g.
    de_DE.UTF-8) also sets the process's Windows user locale."""
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix_for(dpi)
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env["DISPLAY"] = env_path("DISPLAY")
    env["LANG"] = env["LC_ALL"] = lang or default_lang()
    return env


# The locale the last Wine process of each prefix ran under.
_prefix_lang = {}
# The DPI of the prefix the last program was started in (App.start).
_session_dpi = 96


def prepared_env(dpi=96, lang=None):
    """wine_env() for a process about to run, with the prefix's font links
    intact for that locale.

    Whenever a process starts under a locale whose ANSI or OEM code page
    differs from the previous one (en_US 1252/437, de_DE 1252/850, zh_CN 936),
    Wine resets the FontLink entries of Tahoma and Microsoft Sans Serif to its
    own defaults. regedit run under the new locale takes that reset first and
    then imports our settings again. With lang None the locale in use stays."""
    lang = lang or _prefix_lang.get(dpi) or default_lang()
    env = wine_env(dpi, lang)
    if _prefix_lang.get(dpi) != lang:
        reg = prefix_for(dpi).rstrip("/") + ".reg"
        if os.path.exists(reg):
            subprocess.run(wine_cmd() + ["regedit", "/S", reg], env=env, timeout=120, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _prefix_lang[dpi] = lang
    return env


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=0.2, what="condition"):
    """Calls predicate until it returns something truthy and returns that.

    Raises HarnessError after timeout seconds, naming what and the last value."""
    end = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= end:
            raise HarnessError("timed out after %.0f s waiting for %s (last: %r)" % (timeout, what, last))
        time.sleep(interval)


# --- probe ----------------------------------------------------------------------

def probe(*args, dpi=96, timeout=60, check=True):
    """Runs a probe.exe command with args; returns its JSON lines as a list of
    dicts.

    With check, a non-zero exit code raises HarnessError (the probe prints an
    {"error": ...} line then). The commands go to one probe per prefix that
    serves them one after another (a Wine start takes longer than most
    looks); it runs under the locale the prefix's processes last ran under."""
    return _probe_call(dpi, prepared_env(dpi), [str(a) for a in args], timeout, check)


class _ProbeGone(Exception):
    """The serving probe ended, or never answered that it had started."""


class _ProbeTimeout(Exception):
    pass


class _ProbeServer:
    """probe.exe serve: a command a line on its input (the words separated by
    tabs), its JSON lines and {"done": N, "rc": RC} back on its output."""

    START_TIMEOUT = 60.0

    def __init__(self, env):
        self.lang = env["LANG"]
        self.served = 0
        self._pending = b""
        self._lines = []
        self._err = tempfile.TemporaryFile()
        # A session of its own, so that a kill reaches the probe itself and
        # not only the start.exe that /usr/bin/wine may run it under.
        self.proc = subprocess.Popen(wine_cmd() + [env_path("PROBE_EXE"), "serve"], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._err,
                                     start_new_session=True)

    def wait_ready(self):
        """Waits for its first line, which says it has started."""
        deadline = time.monotonic() + self.START_TIMEOUT
        try:
            while True:
                line = self._line(deadline)
                if line is None:
                    raise _ProbeGone("it ended before it was ready (exit code %s)" % self.exit_code())
                if line.startswith("{") and json.loads(line).get("ready"):
                    return
        except _ProbeTimeout:
            raise _ProbeGone("it did not say it was ready within %.0f s" % self.START_TIMEOUT)

    def _line(self, deadline):
        """Its next line of output; None once it has gone."""
        fd = self.proc.stdout.fileno()
        while b"\n" not in self._pending:
            # The pipe may outlive the probe: a wineserver or desktop that the
            # probe's start brought up inherits it. So its end is its exit.
            gone = self.proc.poll() is not None
            wait = 0 if gone else max(0.0, min(deadline - time.monotonic(), 0.5))
            if select.select([fd], [], [], wait)[0]:
                data = os.read(fd, 65536)
                if not data:
                    return None
                self._pending += data
            elif gone:
                return None
            elif time.monotonic() >= deadline:
                raise _ProbeTimeout()
        line, _, self._pending = self._pending.partition(b"\n")
        text = line.decode("utf-8", "replace")
        self._lines = self._lines[-40:] + [text]
        return text

    def call(self, args, timeout):
        """Runs one command; returns (exit code, JSON lines)."""
        try:
            self.proc.stdin.write(("\t".join(args) + "\n").encode("utf-8"))
            self.proc.stdin.flush()
        except OSError as e:
            raise _ProbeGone("its input is closed (%s)" % e)
        self.served += 1
        deadline = time.monotonic() + timeout
        out = []
        while True:
            line = self._line(deadline)
            if line is None:
                raise _ProbeGone("it ended during the command (exit code %s)" % self.exit_code())
            if not line.startswith("{"):
                continue
            record = json.loads(line)
            if set(record) == {"done", "rc"}:
                if record["done"] != self.served:
                    raise _ProbeGone("it answered command %s for command %d" % (record["done"], self.served))
                return record["rc"], out
            out.append(record)

    def exit_code(self):
        """Its exit code, once its output has ended (None if it still runs)."""
        try:
            return self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            return None

    def output(self):
        """What it printed: the last lines of its output and of its errors."""
        self._err.seek(0)
        err = self._err.read().decode("utf-8", "replace")[-2000:]
        return "its output:\n%s\nits errors:\n%s" % ("\n".join(self._lines) or "(none)", err or "(none)")

    def stop(self, kill=False):
        """Ends it: the end of its input ends it, or else a kill."""
        if not kill:
            try:
                self.proc.stdin.close()
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                kill = True
        if kill:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait(timeout=30)
        for f in (self.proc.stdin, self.proc.stdout, self._err):
            try:
                f.close()
            except OSError:
                pass


_probes = {}  # dpi -> _ProbeServer


def _probe_call(dpi, env, args, timeout, check):
    for a in args:
        if "\t" in a or "\n" in a or "\r" in a:
            raise HarnessError("a probe argument holds a tab or a line break: %r" % a)
    what = " ".join(args)
    failures = []
    while True:
        server = _probes.get(dpi)
        if server is not None and server.lang != env["LANG"]:
            stop_probe(dpi)  # a process's locale is the one it started under
            server = None
        try:
            if server is None:
                # One session on the X screen at a time: the other prefix's
                # probe would keep its desktop up.
                for other in [d for d in _probes if d != dpi]:
                    stop_probe(other)
                server = _probes[dpi] = _ProbeServer(env)
                server.wait_ready()
            rc, out = server.call(args, timeout)
            break
        except _ProbeTimeout:
            said = server.output()
            stop_probe(dpi, kill=True)
            raise HarnessError("probe %s: no answer within %.0f s, so the probe was killed; %s" % (what, timeout, said))
        except _ProbeGone as e:
            failures.append("%s; %s" % (e, server.output()))
            stop_probe(dpi, kill=True)
            if len(failures) == 2:
                raise HarnessError("probe %s failed twice:\n1. %s\n2. %s" % (what, failures[0], failures[1]))
            print("\nprobe restarted: %s (dpi %d, command %s)\n%s" % (e, dpi, what, failures[0]), file=sys.stderr,
                  flush=True)
    if check and rc != 0:
        raise HarnessError("probe %s failed (%d): %s" % (what, rc, out))
    return out


def stop_probe(dpi, kill=False):
    """Ends the serving probe of a prefix, if one runs (its session can then end)."""
    server = _probes.pop(dpi, None)
    if server is not None:
        server.stop(kill)


def stop_probes():
    for dpi in list(_probes):
        stop_probe(dpi)


atexit.register(stop_probes)


def probe_one(*args, **kw):
    """probe() for commands that print one object."""
    lines = probe(*args, **kw)
    if not lines:
        raise HarnessError("probe %s printed nothing" % " ".join(map(str, args)))
    return lines[0]


def top_windows(dpi=96, pid=None, visible_only=False, cls=None):
    args = ["list"]
    if pid is not None:
        args += ["--pid", pid]
    if cls:
        args += ["--class", cls]
    wins = probe(*args, dpi=dpi)
    return [w for w in wins if w["visible"] or not visible_only]


def children(hwnd, dpi=96):
    """Child windows (all levels) with class, text, id, rect relative to the parent's client area."""
    return probe("children", hwnd, dpi=dpi)


def child_by_id(hwnd, ctrl_id, dpi=96):
    for c in children(hwnd, dpi=dpi):
        if c["id"] == ctrl_id:
            return c
    raise HarnessError("window %d has no child with id %d" % (hwnd, ctrl_id))


def send(hwnd, msg, wparam=0, lparam=0, dpi=96):
    """SendMessage from outside; returns the result."""
    return probe_one("send", hwnd, msg, wparam, lparam, dpi=dpi)["result"]


def post(hwnd, msg, wparam=0, lparam=0, dpi=96):
    return probe_one("post", hwnd, msg, wparam, lparam, dpi=dpi)["ok"]


def close_window(hwnd, dpi=96):
    """Posts WM_CLOSE."""
    return probe("close", hwnd, dpi=dpi, check=False)


def tooltips(dpi=96):
    return probe("tooltips", dpi=dpi)


def memstatus(dpi=96):
    return probe_one("memstatus", dpi=dpi)


def procmem(pid, dpi=96):
    """Memory counters of a Windows process. Wine 8 leaves private_usage at 0;
    pagefile_usage and working_set are real."""
    return probe_one("procmem", pid, dpi=dpi)


def processes(dpi=96):
    return probe("procs", dpi=dpi)


def tray_rect(dpi=96):
    return probe_one("tray-rect", dpi=dpi)


def tray_icon_center(index=0, dpi=96):
    """Centre of the index-th notification icon (0 = the first added, rightmost)."""
    l, t, r, b = tray_rect(dpi=dpi)["icon_slots"][index]
    return (l + r) // 2, (t + b) // 2


def broadcast_taskbar_created(dpi=96):
    """Tells every top-level window the shell has restarted."""
    return probe_one("broadcast-taskbar-created", dpi=dpi)


def sysinfo(dpi=96, lang=None):
    return _probe_call(dpi, prepared_env(dpi, lang), ["sysinfo"], 60, True)[0]


class MemoryClaim:
    """Holds `mb` megabytes of touched memory in a probe process for `seconds`,
    to move the machine's free-memory figures. Use as a context manager."""

    def __init__(self, mb, seconds=60, dpi=96):
        self._out = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(wine_cmd() + [env_path("PROBE_EXE"), "claim", str(mb), str(seconds)],
                                     env=prepared_env(dpi), stdin=subprocess.DEVNULL, stdout=self._out,
                                     stderr=subprocess.DEVNULL)

        def claimed():
            self._out.seek(0)
            line = self._out.readline().decode("utf-8", "replace")
            if line.endswith("\n"):
                return line
            if self.proc.poll() is not None:
                raise HarnessError("claim of %d MB ended early (%s)" % (mb, self.proc.returncode))
            return None

        line = wait_until(claimed, timeout=60, interval=0.1, what="the memory claim")
        if not line.startswith("{") or "error" in json.loads(line):
            self.release()
            raise HarnessError("claim of %d MB failed: %r" % (mb, line))
        self.info = json.loads(line)

    def release(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=30)
        self._out.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.release()


# --- X input --------------------------------------------------------------------

def _xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=wine_env(), check=True, timeout=30,
                   stdin=subprocess.DEVNULL)


def mouse_move(x, y):
    _xdotool("mousemove", int(x), int(y))


def click(x, y, button=1, repeat=1):
    """Moves to (x, y) and clicks; button 1 left, 2 middle, 3 right."""
    _xdotool("mousemove", int(x), int(y), "click", "--repeat", repeat, "--delay", 80, button)


def right_click(x, y):
    click(x, y, button=3)


def double_click(x, y):
    click(x, y, repeat=2)


def mouse_down(x, y, button=1):
    _xdotool("mousemove", int(x), int(y), "mousedown", button)


def mouse_up(x, y, button=1):
    _xdotool("mousemove", int(x), int(y), "mouseup", button)


def key(*names, dpi=None):
    """X key names, e.g. key("Escape"), key("alt+F4"), key("Down", "Return").

    They go to the foreground window of the session of the last program
    started (or of dpi), once X's keyboard focus is on it (see
    focus_keys_on_foreground)."""
    focus_keys_on_foreground(dpi)
    _xdotool("key", "--delay", 60, *names)


def x_focus():
    """The X window that has the keyboard focus, or None."""
    out = subprocess.run(["xdotool", "getwindowfocus"], env=wine_env(), capture_output=True, text=True, timeout=30,
                         stdin=subprocess.DEVNULL).stdout.strip()
    return int(out) if out.isdigit() else None


def focus_keys_on_foreground(dpi=None, timeout=1.0):
    """Makes sure X sends keys to the X window of Windows' foreground window.

    Wine names a window the foreground one at once and moves X's keyboard
    focus to its X window a moment later (10 ms or more): keys sent in
    between go to the window that had the focus, mostly the shell's, and are
    lost. And Wine dates its request for the focus from the message being
    handled, while X ignores a request dated before its last change of focus:
    a window shown by a posted message just after another was hidden was seen
    never to get the focus. After timeout this does what Wine's request would
    have done.

    While the foreground thread tracks a popup menu, the menu's X window is
    the one: Windows gives the keys to that thread, where the menu runs, even
    when the menu's owner is hidden. Wine 10 makes each top-level window an X
    window of its own and leaves the focus where a click put it (after a
    click on the notification area, the taskbar's), so keys for a menu must
    be sent to it. A hidden foreground window with no menu has no X window
    to get keys: then nothing is done."""
    dpi = dpi or _session_dpi

    def target():
        fg = probe("foreground", dpi=dpi)
        if not fg:
            return None
        menus = [w for w in probe("list", "--pid", fg[0]["pid"], "--class", "#32768", dpi=dpi)
                 if w["visible"] and w["tid"] == fg[0]["tid"] and w["x11_window"]]
        if menus:
            return menus[0]["x11_window"]
        return fg[0]["x11_window"] if fg[0]["visible"] and fg[0]["x11_window"] else None

    try:
        wait_until(lambda: target() in (None, x_focus()), timeout=timeout, interval=0.02,
                   what="X's keyboard focus on the foreground window")
        return
    except HarnessError:
        pass
    window, focus = target(), x_focus()
    if window in (None, focus):
        return
    print("\nkeys: X's keyboard focus stayed on X window %s, not the foreground window's %s: moved it there"
          % (focus, window), file=sys.stderr, flush=True)
    _xdotool("windowfocus", window)
    wait_until(lambda: target() in (None, x_focus()), timeout=5, interval=0.02,
               what="X's keyboard focus on X window %s" % window)


def type_text(text, dpi=None):
    focus_keys_on_foreground(dpi)
    _xdotool("type", "--delay", 40, text)



def click_client(win, x, y, button=1):
    """Clicks at (x, y) of a window's client area (a probe list record)."""
    ox, oy = win["client_origin"]
    click(ox + x, oy + y, button=button)


def click_child(child, button=1):
    """Clicks the middle of a child window (a probe children record)."""
    l, t, r, b = child["screen_rect"]
    click((l + r) // 2, (t + b) // 2, button=button)


# --- screenshots --------------------------------------------------------------

def _imagemagick(tool):
    # /usr/local/bin may hold stand-ins that only look like ImageMagick.
    for path in ("/usr/bin/" + tool, "/usr/bin/%s-im6.q16" % tool):
        if os.path.exists(path):
            return path
    found = shutil.which(tool)
    if not found:
        raise HarnessError("ImageMagick's %s is missing" % tool)
    return found


def screenshot_dir():
    d = os.environ.get("SCREENSHOT_DIR") or os.path.join(tempfile.gettempdir(), "lanshige-screenshots")
    os.makedirs(d, exist_ok=True)
    return d


class Screenshot:
    """The whole X screen at one moment, its pixels readable as (r, g, b)."""

    def __init__(self, name="shot"):
        self.path = os.path.join(screenshot_dir(), "%s.png" % name)
        subprocess.run([_imagemagick("import"), "-window", "root", self.path], env=wine_env(), check=True,
                       timeout=60, stdin=subprocess.DEVNULL)
        ppm = subprocess.run([_imagemagick("convert"), self.path, "-depth", "8", "ppm:-"], check=True,
                             timeout=60, stdout=subprocess.PIPE).stdout
        self.width, self.height, self._rgb = _parse_ppm(ppm)

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise HarnessError("pixel %d,%d is off the %dx%d screen" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 3
        return tuple(self._rgb[i:i + 3])

    def region(self, x, y, w, h):
        """Rows of (r, g, b) tuples."""
        return [[self.pixel(x + dx, y + dy) for dx in range(w)] for dy in range(h)]

    def colours(self, x, y, w, h):
        """How often each colour occurs in a region: {(r, g, b): count}."""
        counts = {}
        for row in self.region(x, y, w, h):
            for c in row:
                counts[c] = counts.get(c, 0) + 1
        return counts

    def count_near(self, x, y, w, h, colour, tolerance=24):
        """Pixels in the region within tolerance (per channel) of colour."""
        return sum(n for c, n in self.colours(x, y, w, h).items()
                   if all(abs(a - b) <= tolerance for a, b in zip(c, colour)))


def _parse_ppm(data):
    # P6 header: magic, width, height, maxval, each followed by whitespace.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise HarnessError("unexpected image format %r" % fields)
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def colour_close(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


# --- the program ----------------------------------------------------------------

def wineserver_wait(dpi=96, timeout=30):
    """Waits until the prefix's wineserver (and with it the desktop) has gone;
    kills it if it has not gone in time. True if it went by itself.

    The prefix's serving probe is ended first: it would keep the session up.
    (wineserver -w and -k start no Wine; they only wait for and signal the
    running server, so they need no wine-run.)"""
    stop_probe(dpi)
    env = wine_env(dpi)
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return True
    except subprocess.TimeoutExpired:
        subprocess.run(["wineserver", "-k"], env=env, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return False


# What start.exe prints when /usr/bin/wine (with wine32 installed) runs a
# 64-bit program through it and the program's own Wine start fails.
WINE_START_FAILED = "Application could not be started"


class _WineDidNotStart(HarnessError):
    pass


class App:
    """One run of the program (or another Windows exe) under Wine."""

    def __init__(self, exe=None, dpi=96, lang=None, args=(), log_name=None):
        self.exe = exe or env_path("APP_EXE")
        self.exe_name = os.path.basename(self.exe)
        self.dpi = dpi
        self.lang = lang
        self.args = list(args)
        self.log_path = os.path.join(screenshot_dir(), (log_name or "app") + ".log")
        self.proc = None
        self._pid = None

    # Starting and ending -----------------------------------------------------

    def start(self):
        # Each run gets a fresh desktop: the previous session's wineserver,
        # explorer and tray must have gone (and the other DPI's desktop too,
        # since both would draw on the same X screen).
        for d in (96, 144):
            if os.environ.get("WINEPREFIX_144" if d == 144 else "WINEPREFIX"):
                wineserver_wait(d, timeout=20)
        global _session_dpi
        _session_dpi = self.dpi
        self._log = open(self.log_path, "wb")
        # Probe calls made for this run keep its locale (see prepared_env).
        env = prepared_env(self.dpi, self.lang or default_lang())
        before = {p["pid"] for p in processes(self.dpi) if p["exe"] == self.exe_name}
        try:
            self._launch(env, before)
        except _WineDidNotStart as e:
            # Wine itself failed before the program ran (see scripts/wine-run).
            print("\nprogram restarted: %s" % e, file=sys.stderr, flush=True)
            self._log.write(b"\n--- restarted: Wine did not start it\n")
            self._launch(env, before)
        return self

    def _launch(self, env, before):
        self._log.flush()
        start = self._log.tell()
        self.proc = subprocess.Popen(wine_cmd() + [self.exe] + self.args, env=env,
                                     stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT)
        self.started_at = time.monotonic()

        def new_pid():
            ids = [p["pid"] for p in processes(self.dpi) if p["exe"] == self.exe_name and p["pid"] not in before]
            if ids:
                return ids[0]
            if self.proc.poll() is None:
                return None
            with open(self.log_path, "rb") as f:
                f.seek(start)
                said = f.read().decode("utf-8", "replace").strip()
            if self.proc.returncode == 1 and (not said or WINE_START_FAILED in said):
                raise _WineDidNotStart("%s: Wine exited 1 before the program ran (%r)" % (self.exe_name, said))
            raise HarnessError("%s exited at once with %s; see %s" % (self.exe_name, self.proc.returncode,
                                                                     self.log_path))

        self._pid = wait_until(new_pid, timeout=DEFAULT_TIMEOUT, interval=0.2, what="%s to start" % self.exe_name)

    @property
    def pid(self):
        """The Windows process id."""
        return self._pid

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the program to end by itself; returns its exit code."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError("%s still running after %.0f s" % (self.exe_name, timeout))

    def close(self, timeout=15):
        """WM_CLOSE to its visible top-level windows; True if it then ended."""
        if not self.running():
            return True
        for w in self.windows(visible_only=True):
            close_window(w["hwnd"], dpi=self.dpi)
        try:
            self.proc.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self):
        if self.running():
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait(timeout=30)

    def stray_processes(self):
        """Windows processes of this session that are neither Wine's own nor gone."""
        return [p for p in processes(self.dpi) if p["exe"].lower() not in WINE_SYSTEM_EXES]

    def stop(self):
        """Always ends the program: WM_CLOSE, then kill. Returns a list of
        problems (not closing on WM_CLOSE is not one; strays are)."""
        problems = []
        if self.proc is None:
            return problems
        try:
            if not self.close():
                self.kill()
        except Exception as e:  # the probe may fail when Wine is in trouble
            problems.append("closing failed: %s" % e)
            self.kill()
        try:
            strays = self.stray_processes()
            if strays:
                problems.append("stray processes: %s" % strays)
        except Exception as e:
            problems.append("listing processes failed: %s" % e)
        if not wineserver_wait(self.dpi, timeout=30):
            problems.append("the Wine session did not end by itself")
        self._log.close()
        self.proc = None
        return problems

    # Looking at it ------------------------------------------------------------

    def windows(self, visible_only=True, cls=None):
        return top_windows(self.dpi, pid=self._pid, visible_only=visible_only, cls=cls)

    def find_window(self, cls=None, title=None, visible_only=True):
        for w in self.windows(visible_only=visible_only, cls=cls):
            if title is None or w["text"] == title:
                return w
        return None

    def wait_window(self, cls=None, title=None, timeout=DEFAULT_TIMEOUT, visible_only=True):
        """Waits for a top-level window of the program; returns its probe record."""
        return wait_until(lambda: self.find_window(cls, title, visible_only), timeout=timeout,
                          what="a window class=%r title=%r of %s" % (cls, title, self.exe_name))

    def wait_no_window(self, cls=None, title=None, timeout=DEFAULT_TIMEOUT):
        wait_until(lambda: self.find_window(cls, title) is None, timeout=timeout,
                   what="window class=%r title=%r to go" % (cls, title))

    def children(self, hwnd):
        return children(hwnd, dpi=self.dpi)

    def memory(self):
        return procmem(self._pid, dpi=self.dpi)


class AppTestCase(unittest.TestCase):
    """Test case whose launch() is always cleaned up, with a check for strays."""

    dpi = 96

    def launch(self, exe=None, dpi=None, lang=None, args=()):
        app = App(exe=exe, dpi=dpi or self.dpi, lang=lang, args=args,
                  log_name="%s.%s" % (type(self).__name__, self._testMethodName))
        self.addCleanup(self._stop, app)
        return app.start()

    def _stop(self, app):
        problems = app.stop()
        if problems:
            self.fail("; ".join(problems))

    def screenshot(self, label=""):
        name = "%s.%s%s" % (type(self).__name__, self._testMethodName, "." + label if label else "")
        return Screenshot(name)
