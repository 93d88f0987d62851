#!/usr/bin/env bash
# Runs tests many times in a row and counts the failures of each test, to
# tell a flaky test from a steady one.
#
#   scripts/repeat.sh N test_tray [test_start ...]   e2e modules, N rounds, in a
#                                                    private build, prefix and
#                                                    display (scripts/e2e-one.sh)
#   scripts/repeat.sh N all                          ./test.sh N times, in this tree
#   scripts/repeat.sh N fresh                        .ci/run N times, each in a fresh
#                                                    clone of HEAD, as CI runs it
#
# Each round's output goes to /tmp/repeat-NAME/round-K.log (NAME: "all", or the
# first module's name, so that runs of different modules can go side by side);
# the summary at the end lists every test that did not pass every round.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:?usage: repeat.sh N all|fresh|MODULE...}
shift
[ $# -gt 0 ] || { echo "usage: repeat.sh N all|fresh|MODULE..." >&2; exit 2; }
name=${1%%.*}
head=$(git rev-parse HEAD)
logs=/tmp/repeat-$name
rm -rf "$logs"
mkdir -p "$logs"

failed_rounds=0
for k in $(seq "$rounds"); do
  start=$SECONDS
  if [ "$1" = all ]; then
    rc=0; ./test.sh >"$logs/round-$k.log" 2>&1 || rc=$?
  elif [ "$1" = fresh ]; then
    clone=/tmp/repeat-fresh-clone
    rm -rf "$clone"
    git clone -q . "$clone" && git -C "$clone" checkout -q "$head"
    rc=0; (cd "$clone" && CI=true bash .ci/run </dev/null) >"$logs/round-$k.log" 2>&1 || rc=$?
    rm -rf "$clone"
  else
    rc=0; scripts/e2e-one.sh "repeat-$name" "$@" >"$logs/round-$k.log" 2>&1 || rc=$?
  fi
  [ "$rc" -eq 0 ] || failed_rounds=$((failed_rounds + 1))
  echo "repeat: round $k of $rounds exit $rc in $((SECONDS - start)) s"
done

python3 scripts/repeat_summary.py "$logs" "$rounds"
[ "$failed_rounds" -eq 0 ]
