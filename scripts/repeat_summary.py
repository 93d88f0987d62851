#!/usr/bin/env python3
"""Counts, over the round-K.log files of scripts/repeat.sh, how often each test
ran and failed, and lists the tests that did not pass every round.

usage: repeat_summary.py LOG_DIR ROUNDS
"""
import collections, glob, re, sys
logs, rounds = sys.argv[1], int(sys.argv[2])
# unittest -v: "test_x (module.Class.test_x) ... ok"; ctest: "1/13 Test  #1: name ....   Passed"
unit = re.compile(r"^(test\w*) \(([\w.]+?)(?:\.\1)?\)(?: \.\.\.|$)")
# A test that prints puts its verdict on a line of its own.
verdict = re.compile(r"(?:\.\.\. |^)(ok|FAIL|ERROR|skipped.*|expected failure)$")
ctest = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) \.+\s*(\*+)?\s*(Passed|Failed|Timeout|Exception|Not Run)")
runs, bad = collections.Counter(), collections.defaultdict(list)
for path in sorted(glob.glob(logs + "/round-*.log")):
    k = path.rsplit("-", 1)[1][:-4]
    pending = None
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        m = ctest.match(line)
        if m:
            runs[m.group(1)] += 1
            if m.group(3) != "Passed":
                bad[m.group(1)].append(k)
            continue
        m = unit.match(line)
        if m:
            pending = "%s.%s" % (m.group(2), m.group(1))
        v = verdict.search(line)
        if pending and v:
            runs[pending] += 1
            if v.group(1) in ("FAIL", "ERROR"):
                bad[pending].append(k)
            pending = None
print("repeat: %d rounds, %d tests seen" % (rounds, len(runs)))
for name in sorted(runs):
    if bad[name]:
        print("  %-90s failed %d of %d (rounds %s)" % (name, len(bad[name]), runs[name], ",".join(bad[name])))
if not any(bad.values()):
    print("  every test passed every round it ran in")
