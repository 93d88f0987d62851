#!/usr/bin/python3
"""Starts the program under Wine with its loader and relay traces on, and
checks what it does rather than how its code reads: the DLL search is
restricted to the system folder (SetDefaultDllDirectories with
LOAD_LIBRARY_SEARCH_SYSTEM32) as the program's own code starts, before any
DLL is loaded at run time. What loads before is the image's import closure
and what those DLLs load while they start, which no code of ours can precede.

    dll_search_check.py EXE

WINEPREFIX and DISPLAY come from test.sh (scripts/wine-env.sh).
"""

import os
import re
import signal
import subprocess
import sys
import threading
import time

exe = os.path.abspath(sys.argv[1])
if not os.environ.get("WINEPREFIX") or not os.environ.get("DISPLAY"):
    print("dll search: WINEPREFIX and DISPLAY are not set (run it through test.sh / ctest)")
    sys.exit(1)

LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
WINE_RUN = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-run")

# Wine's debugstr_w writes a character beyond ASCII as \\xxxx.
name = "".join(c if ord(c) < 128 else "\\%04x" % ord(c) for c in os.path.basename(exe))
OWN_IMAGE = re.compile(r'^([0-9a-f]+):trace:loaddll:\w+ Loaded L".*\\%s" at ([0-9A-Fa-f]+): native'
                       % re.escape(name))
LOADED = re.compile(r':trace:loaddll:\w+ Loaded L"([^"]*)"')
CALL = re.compile(r':Call \w+\.SetDefaultDllDirectories\(([0-9a-f]+)\)')
RETURN = re.compile(r':Ret  \w+\.SetDefaultDllDirectories\(\) retval=([0-9a-f]+)')


TLS_CALLBACK = re.compile(r":Call TLS callback \(.*module=([0-9A-Fa-f]+)")


def own_code_starts(line, base):
    """The first code of the image runs: its TLS callbacks, or else the
    process's first thread at the entry point."""
    callback = TLS_CALLBACK.search(line)
    return "Starting thread proc" in line or (callback is not None and int(callback.group(1), 16) == base)


env = dict(os.environ, WINEDEBUG="+loaddll,+relay", WINEDLLOVERRIDES="mscoree,mshtml=")
lang = env.get("LC_ALL") or env.get("LANG") or ""
if "utf-8" not in lang.lower() and "utf8" not in lang.lower():
    env["LANG"] = env["LC_ALL"] = "C.UTF-8"   # the Chinese file name needs a UTF-8 locale
# The Wine session is started untraced first: its services' start would
# take the traced run half a minute, and the session outlives a short command
# by some seconds.
subprocess.run([os.environ.get("WINE_CMD") or WINE_RUN, "cmd", "/c", "exit"], env=dict(env, WINEDEBUG="-all"),
               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
# A session of its own: a kill reaches Wine's processes that it starts too.
proc = subprocess.Popen([os.environ.get("WINE_CMD") or WINE_RUN, exe], env=env, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True,
                        errors="replace")



def kill():
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


# The program runs until it is ended: a minute and a half is plenty to read
# its start, which ends the reading sooner.
watchdog = threading.Timer(90, kill)
watchdog.start()
thread = base = None
started = False
early, later = [], []     # loaded after our code started: before the call, after it
flags = result = None
try:
    for line in proc.stderr:
        if result is not None and time.monotonic() > stop_at:
            break
        if thread is None:
            own = OWN_IMAGE.match(line)
            if own:
                thread, base = own.group(1), int(own.group(2), 16)
            continue
        if not line.startswith(thread + ":"):
            continue
        loaded = LOADED.search(line)
        if not started:
            started = own_code_starts(line, base)
        elif loaded:
            (early if result is None else later).append(loaded.group(1))
            if later:
                break
        elif flags is None and CALL.search(line):
            flags = int(CALL.search(line).group(1), 16)
        elif flags is not None and result is None and RETURN.search(line):
            result = int(RETURN.search(line).group(1), 16)
            stop_at = time.monotonic() + 10   # to name the next load, if one comes
finally:
    watchdog.cancel()
    kill()
    proc.wait(timeout=30)
    # Leave no session behind for the next test: it starts a desktop of its own.
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=30)
    except subprocess.TimeoutExpired:
        subprocess.run(["wineserver", "-k"], env=env, timeout=30)

faults = []
if thread is None:
    faults.append("the trace never showed %s loaded" % os.path.basename(exe))
elif not started:
    faults.append("the trace never showed the program's own code start")
elif flags is None:
    faults.append("SetDefaultDllDirectories was never called%s"
                  % (" (loaded first: %s)" % ", ".join(early) if early else ""))
else:
    if early:
        faults.append("loaded before SetDefaultDllDirectories: %s" % ", ".join(early))
    if flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
        faults.append("SetDefaultDllDirectories(0x%x), not LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)" % flags)
    if not result:
        faults.append("SetDefaultDllDirectories failed (returned %s)" % result)
for fault in faults:
    print("FAIL " + fault)
if not faults:
    print("ok   SetDefaultDllDirectories(0x800) is the program's first step: nothing loaded before it; "
          "the first load after it: %s" % (later[0] if later else "none within the trace read"))
print("dll search: %d faults" % len(faults))
sys.exit(1 if faults else 0)
