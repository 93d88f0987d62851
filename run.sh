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
cmake --build --preset windows --target memory_arrange

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
  wine "$exe"
  exit 0
fi

xvfb_start
shots=build/screenshots
mkdir -p "$shots"
wine "$exe" >"$WINE_ENV_ROOT/run.log" 2>&1 &
app=$!
# The start window shows for a few seconds, then the main window.
for t in 1 3 6 8; do
  sleep $((t - ${last:-0}))
  last=$t
  import -window root "$shots/run-${t}s.png"
  echo "run: $shots/run-${t}s.png"
done
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
