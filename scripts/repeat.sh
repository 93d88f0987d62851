#!/usr/bin/env bash
# Runs tests many times in a row and counts the failures of each test, to
# tell a flaky test from a steady one.
#
#   scripts/repeat.sh N test_tray [test_start ...]   e2e modules, N rounds, in a
#                                                    private build, prefix and
#                                                    display (scripts/e2e-one.sh)
#   scripts/repeat.sh N all                          ./test.sh N times
#
# Each round's output goes to /tmp/repeat-NAME/round-K.log (NAME: "all", or the
# first module's name, so that runs of different modules can go side by side);
# the summary at the end lists every test that did not pass every round.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:?usage: repeat.sh N all|MODULE...}
shift
[ $# -gt 0 ] || { echo "usage: repeat.sh N all|MODULE..." >&2; exit 2; }
name=${1%%.*}
logs=/tmp/repeat-$name
rm -rf "$logs"
mkdir -p "$logs"

failed_rounds=0
for k in $(seq "$rounds"); do
  start=$SECONDS
  if [ "$1" = all ]; then
    rc=0; ./test.sh >"$logs/round-$k.log" 2>&1 || rc=$?
  else
    rc=0; scripts/e2e-one.sh "repeat-$name" "$@" >"$logs/round-$k.log" 2>&1 || rc=$?
  fi
  [ "$rc" -eq 0 ] || failed_rounds=$((failed_rounds + 1))
  echo "repeat: round $k of $rounds exit $rc in $((SECONDS - start)) s"
done

python3 - "$logs" "$rounds" <<'EOF'
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
EOF
[ "$failed_rounds" -eq 0 ]
