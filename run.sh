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
shots=build/screenshots
mkdir -p "$shots"
probe() { "$WINE_CMD" build/windows/tests/probe.exe "$@"; }
hwnd_of() { sed -n 's/^{"hwnd":\([0-9]*\),.*/\1/p' | head -1; }
shot() { import -window root "$shots/run-$1.png"; echo "run: $shots/run-$1.png"; }

"$WINE_CMD" "$exe" >"$WINE_ENV_ROOT/run.log" 2>&1 &
app=$!
# The start window shows for a few seconds, then the main window.
probe find --exe "$(basename "$exe")" --timeout-ms 30000 >/dev/null || true
sleep 1
shot start
main=$(probe find --exe "$(basename "$exe")" --title " 岚石阁内存整理 v1.0" --timeout-ms 20000 | hwnd_of)
sleep 1
shot main
sleep 2
shot main-later
if [ -n "$main" ]; then probe close "$main" >/dev/null; fi
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
