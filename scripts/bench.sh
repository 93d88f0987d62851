#!/usr/bin/env bash
# Builds the program, the baseline and the benchmark helpers, and prints the
# benchmark table (Markdown) on a private Wine prefix and Xvfb.
#   IDLE_SECONDS=60 FLOOR_ROUNDS=3 FLOOR_SECONDS=20 scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --target memory_arrange floor >/dev/null

# A root of its own, so a benchmark never shares a desktop with a test run.
export WINE_ENV_ROOT=$PWD/build/bench-wine
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_prefixes_ensure 96
WINEPREFIX=$(wine_prefix_path 96)
export WINEPREFIX
WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
xvfb_start

out=build/windows
export APP_EXE=$PWD/$out/岚石阁内存整理.exe PROBE_EXE=$PWD/$out/tests/probe.exe
export BASELINE_EXE=$PWD/$out/tests/baseline.exe ARRANGE_BENCH_EXE=$PWD/$out/tests/arrange_bench.exe
export TICK_BENCH_EXE=$PWD/$out/tests/tick_bench.exe
# Both builds against floor.exe, each with the x64 probe.
export FLOOR_EXE=$PWD/$out/tests/floor.exe
if [ "$WINE_RUNS_32BIT" = 1 ]; then
  export APP_EXE_X86=$PWD/build/windows-x86/岚石阁内存整理.exe FLOOR_EXE_X86=$PWD/build/windows-x86/tests/floor.exe
else
  echo "bench: this machine runs no 32-bit code: the x86 build is not measured" >&2
fi
export SCREENSHOT_DIR=$PWD/build/bench-wine/logs PYTHONDONTWRITEBYTECODE=1
mkdir -p "$SCREENSHOT_DIR"
python3 tests/bench/bench.py
