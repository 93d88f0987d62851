#!/usr/bin/env bash
# Runs the ARM64 build's programs: builds the windows-arm64 preset here with
# Zig, then runs its tests labelled wine (the in-process tests, the DLL search
# check and the end-to-end smoke test with the ARM64 probe) in an arm64
# Debian root under its own Wine, emulated by qemu-user
# (scripts/debian-root.sh trixie-arm64: made on first use, about 4 min, and
# its Wine installed by scripts/deps.sh, about 7 min). Trixie's Wine 10:
# bookworm's arm64 Wine 8 under qemu cannot read its own process's memory.
# The checks of the built file run here, without Wine:
# ctest --preset windows-arm64 -LE '^wine$'.
#
#   scripts/arm64-tests.sh [CTEST ARGS...]    e.g. -R wine.TrayTest
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --in-root ]; then
  shift
  if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh
  trap wine_env_stop EXIT
  trap 'exit 130' INT TERM
  mkdir -p "$WINE_ENV_ROOT"
  exec 8>"$WINE_ENV_ROOT/tests.lock"
  flock 8
  start=$SECONDS
  wine_test_env_start
  echo "arm64-tests: Wine prefixes and display ready in $((SECONDS - start)) s"
  start=$SECONDS
  rc=0
  ctest --preset windows-arm64 --output-on-failure -L '^wine$' "$@" || rc=$?
  echo "arm64-tests: tests ran in $((SECONDS - start)) s"
  exit $rc
fi

total=$SECONDS
start=$SECONDS
cmake --preset windows-arm64 >/dev/null
cmake --build --preset windows-arm64
echo "arm64-tests: built in $((SECONDS - start)) s"
start=$SECONDS
scripts/debian-root.sh trixie-arm64 scripts/deps.sh
echo "arm64-tests: arm64 root ready in $((SECONDS - start)) s"
rc=0
scripts/debian-root.sh trixie-arm64 scripts/arm64-tests.sh --in-root "$@" || rc=$?
echo "arm64-tests: $((SECONDS - total)) s in all"
exit $rc
