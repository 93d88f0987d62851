#!/usr/bin/env bash
# Builds and runs every test: the native unit tests (with sanitizers), then the
# Windows x86-64 and x86 builds, whose tests run under Wine on a private Xvfb,
# then the ARM64 build's checks and, where this machine can emulate aarch64,
# its tests under an arm64 Wine (scripts/arm64-tests.sh). ARM64_TESTS=0
# leaves the ARM64 build to another run, ARM64_TESTS=checks its tests under
# emulation (.ci/run runs those once, beside its other leg).
# Extra arguments go to every ctest run (e.g. ./test.sh -R e2e).
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
# Wine converts file names and arguments with the locale's charset; the
# program's name is Chinese, so that must be UTF-8.
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native --output-on-failure "$@"

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
echo "== windows x86 build"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 130' INT TERM

# One run at a time uses the prefixes: a prefix has one wineserver and so one
# desktop, which two runs would share (and fight over).
mkdir -p "$WINE_ENV_ROOT"
exec 8>"$WINE_ENV_ROOT/tests.lock"
if ! flock -n 8; then
  echo "test.sh: waiting for another run to finish with the Wine prefixes"
  flock 8
fi

echo "== wine prefixes and display"
wine_test_env_start

# Both builds' tests run even when the first has failures; the exit status
# says whether any failed.
rc=0
echo "== windows tests (Wine on $DISPLAY)"
ctest --preset windows --output-on-failure "$@" || rc=$?
if [ "$WINE_RUNS_32BIT" = 1 ]; then
  echo "== windows x86 tests (Wine on $DISPLAY)"
  ctest --preset windows-x86 --output-on-failure "$@" || rc=$?
else
  # The kernel refuses every i386 executable, Wine's 32-bit loader with them:
  # the x86 build is checked as a file, but cannot run here.
  echo "== windows x86 checks (this machine runs no 32-bit code: the x86 build's tests under Wine are left out)"
  ctest --preset windows-x86 --output-on-failure -LE '^wine$' "$@" || rc=$?
fi

if [ "${ARM64_TESTS:-1}" = 0 ]; then
  echo "== windows arm64 build and tests left out (ARM64_TESTS=0)"
  exit $rc
fi
echo "== windows arm64 build"
cmake --preset windows-arm64 >/dev/null
cmake --build --preset windows-arm64
echo "== windows arm64 checks"
ctest --preset windows-arm64 --output-on-failure -LE '^wine$' "$@" || rc=$?
# The arm64 root needs the superuser (debootstrap, mounts) and a kernel with
# binfmt_misc, through which qemu-user runs its programs.
if [ "${ARM64_TESTS:-1}" = checks ]; then
  echo "== windows arm64 tests under emulation left out (ARM64_TESTS=checks)"
elif ! grep -qw binfmt_misc /proc/filesystems; then
  echo "== windows arm64 tests left out (this kernel has no binfmt_misc to run aarch64 programs through qemu-user)"
elif [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
  echo "== windows arm64 tests left out (the arm64 root needs root or sudo)"
else
  echo "== windows arm64 tests (an arm64 Debian root, its Wine under qemu-user)"
  scripts/arm64-tests.sh "$@" || rc=$?
fi
exit $rc
