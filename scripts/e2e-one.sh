#!/usr/bin/env bash
# Runs end-to-end test modules against a build of its own, with Wine prefixes
# and an Xvfb of its own, so that several people (or sessions) can work on
# e2e tests side by side without sharing a wineserver or a build tree.
#
#   scripts/e2e-one.sh NAME test_tray [test_tray.TestMenu.test_quit ...]
#
# NAME picks the private tree: /tmp/e2e-NAME/{build,wine}. Arguments after it
# go to python3 -m unittest, run in tests/e2e.
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?usage: e2e-one.sh NAME unittest-args...}
shift
root=/tmp/e2e-$name
build=$root/build
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

cmake -S . -B "$build" -G Ninja --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" >/dev/null

export WINE_ENV_ROOT=$root/wine
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_test_env_start

export APP_EXE=$build/岚石阁内存整理.exe PROBE_EXE=$build/tests/probe.exe
export BASELINE_EXE=$build/tests/baseline.exe
export SCREENSHOT_DIR=$root/screenshots PYTHONDONTWRITEBYTECODE=1
mkdir -p "$SCREENSHOT_DIR"
cd tests/e2e
python3 -m unittest -v "$@"
