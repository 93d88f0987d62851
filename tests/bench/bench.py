"""Benchmarks of the program under the same Wine and Xvfb in one run: next to
floor.exe (only the platform work the design demands), hidden, paused and at
start-up; next to baseline.exe (one window and a 1000 ms timer) for the share
of a core and the growth over many ticks; and in process (tick_bench.exe,
arrange_bench.exe). Prints Markdown tables, one figure in one place; it never
fails on a figure.

Run through scripts/bench.sh, which builds everything and prepares Wine.
Environment: APP_EXE, PROBE_EXE, BASELINE_EXE, ARRANGE_BENCH_EXE, WINEPREFIX,
DISPLAY (as for the e2e tests); IDLE_SECONDS (default 60); BENCH_ONLY=floor or
paused for those rows alone.
"""

import json
import os
import platform
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

MAIN_CLASS = "Lanshige.MainWindow"
START_CLASS = "Lanshige.StartWindow"
CMD_HIDE, MNU_QUIT = 102, 203
WM_TIMER = 0x0113
REFRESH_TIMER_ID = 1
WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 0x02B1, 7, 8
# The notice names the session it is about, and the program follows only its
# own: Wine puts every process in session 1 (ProcessIdToSessionId, seen on Wine 8).
PROGRAM_SESSION = 1
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll", "msvcrt.dll",
                "advapi32.dll"}


def log(*args):
    print("bench:", *args, file=sys.stderr, flush=True)


# --- Unix side: CPU time of a Wine process -----------------------------------------

def unix_pids_of(exe_name, arg=None):
    """Unix processes of our prefix running a Windows exe of that name (Wine
    keeps the Windows path as the process's first argument)."""
    prefix = ("WINEPREFIX=" + harness.prefix_for(96)).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv = f.read().split(b"\0")
        except OSError:
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if prefix not in f.read().split(b"\0"):
                    continue
        except OSError:
            continue
        first = argv[0].decode("utf-8", "replace").replace("\\", "/")
        if arg is not None and (len(argv) < 2 or argv[1].decode() != arg):
            continue
        if first.lower().endswith("/" + exe_name.lower()) or first.lower() == exe_name.lower():
            found.append(int(entry))
    return found


def schedstat(unix_pid, field):
    """A field of /proc/.../schedstat added up over every thread of a process:
    0 is the time on a CPU in nanoseconds, 2 how often a thread was put on a
    CPU (each wake-up of the program, a timer's or a reply's, is one)."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % unix_pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (unix_pid, tid)) as f:
                total += int(f.read().split()[field])
        except (OSError, ValueError, IndexError):
            pass
    return total


def cpu_ns(unix_pid):
    return schedstat(unix_pid, 0)


def wake_ups(unix_pid):
    return schedstat(unix_pid, 2)


def the_unix_pid(exe_name, arg=None):
    pids = harness.wait_until(lambda: unix_pids_of(exe_name, arg), timeout=30,
                              what="the Unix process of " + exe_name)
    if len(pids) != 1:
        raise harness.HarnessError("%d Unix processes run %s" % (len(pids), exe_name))
    return pids[0]


# --- figures ---------------------------------------------------------------------------

def size_and_imports(exe):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True,
                         check=True).stdout
    dlls = sorted({line.split()[-1] for line in out.splitlines() if "DLL Name:" in line}, key=str.lower)
    return os.path.getsize(exe), dlls


def arrange_timing():
    exe = harness.env_path("ARRANGE_BENCH_EXE")
    out = subprocess.run(harness.wine_cmd() + [exe, "9"], env=harness.wine_env(96), capture_output=True, timeout=300,
                         check=True).stdout.decode()
    return json.loads(out.strip().splitlines()[-1])


def tick_parts():
    exe = harness.env_path("TICK_BENCH_EXE")
    out = subprocess.run(harness.wine_cmd() + [exe], env=harness.wine_env(96), capture_output=True, timeout=300,
                         check=True).stdout.decode()
    return json.loads(out.strip().splitlines()[-1])


def winpath(path):
    return subprocess.run(harness.wine_cmd() + ["winepath", "-w", path], env=harness.wine_env(96), capture_output=True,
                          text=True, check=True).stdout.strip()


def end_program(pid, exe):
    name = os.path.basename(exe)
    if name == os.path.basename(harness.env_path("APP_EXE")):
        main = harness.wait_until(lambda: [w for w in harness.top_windows(pid=pid) if w["class"] == MAIN_CLASS],
                                  timeout=30, what="the main window")[0]
        harness.post(main["hwnd"], harness.WM_COMMAND, MNU_QUIT, 0)
    else:
        for w in harness.top_windows(pid=pid, visible_only=True):
            harness.close_window(w["hwnd"])
    harness.wait_until(lambda: not [p for p in harness.processes() if p["pid"] == pid], timeout=30,
                       what="%s to end" % name)


def idle_and_memory(seconds):
    """Runs the program (main window hidden) and the baseline side by side
    for the given time; CPU and private memory of both."""
    app = harness.App(log_name="bench.program")
    base = harness.App(exe=harness.env_path("BASELINE_EXE"), args=["hidden"], log_name="bench.baseline")
    app.start()
    try:
        main = app.wait_window(cls=MAIN_CLASS, timeout=30)["hwnd"]
        harness.post(main, harness.WM_COMMAND, CMD_HIDE, 0)
        # The baselines start into the program's session (same desktop).
        base_pids, base_procs = [], []
        for mode in ("hidden", "hidden-libs"):
            known = {p["pid"] for p in harness.processes()}
            base_procs.append(subprocess.Popen(harness.wine_cmd() + [base.exe, mode], env=harness.wine_env(96),
                                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            base_pids.append(harness.wait_until(
                lambda: next((p["pid"] for p in harness.processes()
                              if p["exe"] == base.exe_name and p["pid"] not in known), None),
                timeout=30, what="the baseline to start"))
        base_pid, libs_pid = base_pids
        app_unix = the_unix_pid(app.exe_name)
        base_unix = the_unix_pid(base.exe_name, "hidden")
        time.sleep(5)  # past the start window and the first ticks
        samples = {"app": [], "base": [], "libs": []}

        def sample():
            samples["app"].append(app.memory()["pagefile_usage"])
            samples["base"].append(harness.procmem(base_pid)["pagefile_usage"])
            samples["libs"].append(harness.procmem(libs_pid)["pagefile_usage"])

        t0 = time.monotonic()
        c0 = cpu_ns(app_unix), cpu_ns(base_unix)
        while time.monotonic() - t0 < seconds:
            sample()
            time.sleep(max(0.0, 5 - (time.monotonic() - t0) % 5))
        elapsed = time.monotonic() - t0
        c1 = cpu_ns(app_unix), cpu_ns(base_unix)
        sample()

        # A thousand ticks driven at once, as the timer would give them.
        before = app.memory()["pagefile_usage"]
        harness.probe_one("repeat", main, WM_TIMER, REFRESH_TIMER_ID, 0, 1000, timeout=300)
        time.sleep(1)
        growth = app.memory()["pagefile_usage"] - before

        harness.post(main, harness.WM_COMMAND, MNU_QUIT, 0)
        app.wait_exit(timeout=30)
        for pid in base_pids:
            for w in harness.top_windows(pid=pid):
                harness.close_window(w["hwnd"])
        for p in base_procs:
            p.wait(timeout=30)
    finally:
        for p in [app.proc] + base_procs:
            if p is not None and p.poll() is None:
                p.kill()
        harness.wineserver_wait(96)
    ticks = elapsed  # one refresh a second
    return {
        "seconds": elapsed,
        "app_cpu_ms": (c1[0] - c0[0]) / 1e6,
        "base_cpu_ms": (c1[1] - c0[1]) / 1e6,
        "app_us_per_tick": (c1[0] - c0[0]) / 1e3 / ticks,
        "base_us_per_tick": (c1[1] - c0[1]) / 1e3 / ticks,
        "app_private_steady": samples["app"][-1],
        "app_private_peak": max(samples["app"]),
        "base_private_steady": samples["base"][-1],
        "base_private_peak": max(samples["base"]),
        "libs_private_steady": samples["libs"][-1],
        "growth_1000_ticks": growth,
    }


# --- against the floor: floor.exe does only the platform work the design demands ---------

FLOOR_CLASS = "Lanshige.Floor"


def start_process(exe, *args):
    """Starts a Windows program into the running session; its Wine pid."""
    known = {p["pid"] for p in harness.processes()}
    proc = subprocess.Popen(harness.wine_cmd() + [exe] + list(args), env=harness.wine_env(96), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    name = os.path.basename(exe)
    pid = harness.wait_until(lambda: next((p["pid"] for p in harness.processes()
                                           if p["exe"] == name and p["pid"] not in known), None),
                             timeout=30, what=name + " to start")
    return proc, pid


def next_to_floor(app_exe, floor_exe, seconds, locked=False):
    """One run of the program (main window hidden) next to floor.exe hidden:
    CPU, wake-ups and private memory of each over the same time. `locked`: the
    program is told its session is locked, as Windows tells it, while the
    floor ticks every second whatever happens."""
    app = harness.App(exe=app_exe, log_name="bench.floor-program")
    app.start()
    floor_proc = None
    try:
        main = app.wait_window(cls=MAIN_CLASS, timeout=30)["hwnd"]
        harness.post(main, harness.WM_COMMAND, CMD_HIDE, 0)
        floor_proc, floor_pid = start_process(floor_exe, "hidden")
        pids = the_unix_pid(app.exe_name), the_unix_pid(os.path.basename(floor_exe))
        time.sleep(5)  # past the start window and the first ticks
        if locked:
            harness.send(main, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, PROGRAM_SESSION)
            time.sleep(1)
        t0 = time.monotonic()
        c0, w0 = [cpu_ns(p) for p in pids], [wake_ups(p) for p in pids]
        time.sleep(seconds)
        elapsed = time.monotonic() - t0
        c1, w1 = [cpu_ns(p) for p in pids], [wake_ups(p) for p in pids]
        result = {"seconds": elapsed, "app_private": app.memory()["pagefile_usage"],
                  "floor_private": harness.procmem(floor_pid)["pagefile_usage"]}
        for k, who in enumerate(("app", "floor")):
            # Each wineserver request the thread sleeps for is a wake-up.
            result[who + "_us_per_tick"] = (c1[k] - c0[k]) / 1e3 / elapsed
            result[who + "_wakeups_per_tick"] = (w1[k] - w0[k]) / elapsed
            result[who + "_wakeups_per_min"] = (w1[k] - w0[k]) * 60.0 / elapsed
            result[who + "_cpu_ms_per_min"] = (c1[k] - c0[k]) / 1e6 * 60.0 / elapsed
        if locked:
            harness.send(main, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, PROGRAM_SESSION)
        harness.post(main, harness.WM_COMMAND, MNU_QUIT, 0)
        app.wait_exit(timeout=30)
        for w in harness.top_windows(pid=floor_pid):
            harness.close_window(w["hwnd"])
        floor_proc.wait(timeout=30)
    finally:
        for p in (app.proc, floor_proc):
            if p is not None and p.poll() is None:
                p.kill()
        harness.wineserver_wait(96)
    return result


def start_up_next_to_floor(app_exe, floor_exe, rounds):
    ours, floor = [], []
    for _ in range(rounds):
        for exe, cls, into in ((app_exe, START_CLASS, ours), (floor_exe, FLOOR_CLASS, floor)):
            harness.wineserver_wait(96)
            with harness.MemoryClaim(1, seconds=120):
                r = harness.probe_one("startup", winpath(exe), cls, timeout=120)
                into.append(r["us"] / 1000.0)
                end_program(r["pid"], exe)
    return ours, floor


def against_floor(arch, app_exe, floor_exe, rounds, seconds):
    """Medians over `rounds` runs of each figure and of its program/floor ratio."""
    log("%s against the floor: %d idle runs of %.0f s" % (arch, rounds, seconds))
    runs = [next_to_floor(app_exe, floor_exe, seconds) for _ in range(rounds)]
    log("%s against the floor: paused (session locked), %.0f s" % (arch, seconds))
    paused = next_to_floor(app_exe, floor_exe, seconds, locked=True)
    log("%s against the floor: start-up" % arch)
    ours, floor = start_up_next_to_floor(app_exe, floor_exe, max(rounds, 5))
    med = statistics.median
    return {
        "paused": paused,
        "idle": (med(r["app_us_per_tick"] for r in runs), med(r["floor_us_per_tick"] for r in runs),
                 med(r["app_us_per_tick"] / r["floor_us_per_tick"] for r in runs)),
        "wakeups": (med(r["app_wakeups_per_tick"] for r in runs), med(r["floor_wakeups_per_tick"] for r in runs),
                    med(r["app_wakeups_per_tick"] / r["floor_wakeups_per_tick"] for r in runs)),
        "private": (med(r["app_private"] for r in runs), med(r["floor_private"] for r in runs),
                    med(r["app_private"] / r["floor_private"] for r in runs)),
        "start": (med(ours), med(floor), med(a / b for a, b in zip(ours, floor))),
        "runs": runs, "start_ms": [ours, floor],
    }


def paused_rows(arch, p):
    """The rows of a paused run: the floor ticks 60 times a minute whatever
    happens, the program not at all while nobody can see it."""
    return "\n".join([
        "| Wake-ups per minute while paused (session locked; the floor's 60 ticks) | %s | %.0f | %.0f | %s | "
        "no refresh ticks |" % (arch, p["app_wakeups_per_min"], p["floor_wakeups_per_min"],
                                ratio(p["app_wakeups_per_min"], p["floor_wakeups_per_min"])),
        "| Idle CPU while paused, per minute | %s | %.1f ms | %.1f ms | %s | |"
        % (arch, p["app_cpu_ms_per_min"], p["floor_cpu_ms_per_min"],
           ratio(p["app_cpu_ms_per_min"], p["floor_cpu_ms_per_min"])),
    ])


def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, %d CPUs, %s %s, %s, Xvfb" % (cpu, os.cpu_count(), platform.system(), platform.release(), wine)


def ratio(a, b):
    return "%.2f" % (a / b) if b else "n/a"


def paused_only():
    """BENCH_ONLY=paused: the paused rows alone, for each build there is."""
    seconds = float(os.environ.get("FLOOR_SECONDS", "20"))
    for arch, app_var, floor_var in (("x64", "APP_EXE", "FLOOR_EXE"), ("x86", "APP_EXE_X86", "FLOOR_EXE_X86")):
        if os.environ.get(app_var) and os.environ.get(floor_var):
            log("%s paused next to the floor, %.0f s" % (arch, seconds))
            p = next_to_floor(os.environ[app_var], os.environ[floor_var], seconds, locked=True)
            print(paused_rows(arch, p))
            print("Raw: " + json.dumps(p))


def print_floor_table(floors, rounds, floor_seconds):
    if not floors:
        return
    kib = 1024.0
    print("Against the floor (floor.exe: the same DLLs, manifest, icon and fonts, its window shown and focused "
          "once; each tick the memory query, the tip and one label; medians of %d runs of %.0f s side by side, "
          "start-up of %d):" % (rounds, floor_seconds, max(rounds, 5)))
    print()
    print("| Figure | Build | Program | Floor | Ratio | Target |")
    print("|---|---|---|---|---|---|")
    for arch, f in floors.items():
        for label, key, unit, scale, target in (
                ("Idle CPU per refresh tick, main window hidden", "idle", "µs", 1.0, "≤ 1.10"),
                ("Wake-ups per refresh tick, main window hidden", "wakeups", "", 1.0, ""),
                ("Private memory, steady", "private", "KiB", kib, "≤ 1.10"),
                ("Start-up to first visible window", "start", "ms", 1.0, "≤ 1.10")):
            program, floor, r = f[key]
            fmt = "%.1f" if key == "wakeups" else "%.0f"
            print(("| %s | %s | " + fmt + " %s | " + fmt + " %s | %.2f | %s |")
                  % (label, arch, program / scale, unit, floor / scale, unit, r, target))
        print(paused_rows(arch, f["paused"]))
    print()


def main():
    if os.environ.get("BENCH_ONLY") == "paused":
        paused_only()
        return
    rounds = int(os.environ.get("FLOOR_ROUNDS", "3"))
    floor_seconds = float(os.environ.get("FLOOR_SECONDS", "20"))
    if os.environ.get("BENCH_ONLY") == "floor":
        print("Machine: %s\n" % machine())
        print_floor_table({"x64": against_floor("x64", harness.env_path("APP_EXE"), harness.env_path("FLOOR_EXE"),
                                                 rounds, floor_seconds)}, rounds, floor_seconds)
        return
    seconds = float(os.environ.get("IDLE_SECONDS", "60"))
    app_exe = harness.env_path("APP_EXE")
    log("size and imports")
    size, dlls = size_and_imports(app_exe)
    log("arrange timing")
    arrange = arrange_timing()
    log("parts of a tick")
    parts = tick_parts()
    log("idle cost and memory over %.0f s" % seconds)
    idle = idle_and_memory(seconds)
    floors = {}
    for arch, app_var, floor_var in (("x64", "APP_EXE", "FLOOR_EXE"), ("x86", "APP_EXE_X86", "FLOOR_EXE_X86")):
        if os.environ.get(app_var) and os.environ.get(floor_var):
            floors[arch] = against_floor(arch, os.environ[app_var], os.environ[floor_var], rounds, floor_seconds)

    kib = 1024.0
    print("Machine: %s" % machine())
    print()
    print_floor_table(floors, rounds, floor_seconds)
    rows = [
        ("Idle CPU, main window hidden (share of one core)", "%.3f %%" % (100.0 * idle["app_cpu_ms"] / (idle["seconds"] * 1000.0)),
         "≤ 0.05 %"),
        ("Growth of private memory over 1,000 refresh ticks", "%+.0f KiB" % (idle["growth_1000_ticks"] / kib), "< 64 KiB"),
        ("Arrange tick against a memset of 140,000,000 bytes (median of 9)",
         "%.1f / %.1f ms = %s" % (arrange["tick_ms_median"], arrange["memset_ms_median"],
                                  ratio(arrange["tick_ms_median"], arrange["memset_ms_median"])), "≤ 1.10"),
        ("One tick in process, figures unchanged / a new caption / a new tip (tick_bench.exe, mean of 500)",
         "%.0f / %.0f / %.0f µs" % (parts["tick_us"], parts["changed_caption_us"], parts["changed_tip_us"]), ""),
        ("Executable size, x64", "%.0f KiB" % (size / kib), "< 400 KiB"),
        ("Imports", ", ".join(dlls),
         "system DLLs only" if all(d.lower() in ALLOWED_DLLS for d in dlls) else "NOT system DLLs only"),
    ]
    if "main_window_load_ms" in parts:
        rows.append(("Loading the hidden main window in process", "%.1f ms, %+.0f KiB" % (
            parts["main_window_load_ms"], parts["main_window_load_kib"]), ""))
    print("| Figure | Program | Target |")
    print("|---|---|---|")
    for r in rows:
        print("| %s |" % " | ".join(r))
    print()
    print("Raw: " + json.dumps({"idle": idle, "arrange": arrange, "tick_parts": parts,
                                "size": size, "floors": floors}))


if __name__ == "__main__":
    main()
