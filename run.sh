#!/usr/bin/env bash
# Builds the program and runs it under Wine. With a usable $DISPLAY it runs
# there on Wine's shell desktop (taskbar and notification area); without one
# it runs on a private Xvfb and leaves screenshots in build/screenshots/.
#   RUN_DPI=144 ./run.sh   runs it at 144 DPI
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
# Wine converts file names and arguments with the locale's charset; the
# program's name is Chinese, so that must be UTF-8.
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi
cmake --preset windows >/dev/null
cmake --build --preset windows --target memory_arrange probe

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 130' INT TERM

dpi=${RUN_DPI:-96}
wine_prefixes_ensure "$dpi"
WINEPREFIX=$(wine_prefix_path "$dpi")
export WINEPREFIX
exe="build/windows/岚石阁内存整理.exe"

if display_usable; then
  echo "run: on $DISPLAY"
  "$WINE_CMD" "$exe"
  exit 0
fi

exec 8>"$WINE_ENV_ROOT/tests.lock"
if ! flock -n 8; then
  echo "run.sh: waiting for a test run to finish with the Wine prefixes"
  flock 8
fi
xvfb_start
# tests/e2e/run_screens.py waits for each window the way the e2e tests do,
# through their harness and probe.exe, and fails when one does not show.
export APP_EXE=$PWD/$exe PROBE_EXE=$PWD/build/windows/tests/probe.exe SCREENSHOT_DIR=$PWD/build/screenshots
export WINEPREFIX_144=$WINEPREFIX PYTHONDONTWRITEBYTECODE=1
python3 tests/e2e/run_screens.py take "$dpi"
