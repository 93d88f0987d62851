#!/usr/bin/env bash
# Builds the program a second time from a copy of the source tree at another
# path, later, and checks that the two executables are the same bytes: no
# link time in the PE header, no build path anywhere.
#   ReproducibleCheck.sh EXE SOURCE_DIR TOOLCHAIN_FILE
# EXE is the program of a Release build tree of SOURCE_DIR made with
# TOOLCHAIN_FILE (a file under SOURCE_DIR/cmake).
set -euo pipefail
exe=${1:?usage: ReproducibleCheck.sh EXE SOURCE_DIR TOOLCHAIN_FILE}
src=$(cd "${2:?usage: ReproducibleCheck.sh EXE SOURCE_DIR TOOLCHAIN_FILE}" && pwd)
toolchain=${3:?usage: ReproducibleCheck.sh EXE SOURCE_DIR TOOLCHAIN_FILE}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok:   $*"; }

[ -f "$exe" ] || { echo "FAIL: no program at $exe"; exit 1; }
# A deeper, longer path than the original, so a leaked path changes the
# length of what holds it as well as its bytes.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/another/place/for/the/sources
mkdir -p "$copy"
tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
build=$copy/build/$(basename "$(dirname "$exe")")

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct 2>/dev/null || echo 0)}
if ! cmake -S "$copy" -B "$build" -G Ninja --toolchain "$copy/cmake/$(basename "$toolchain")" \
       -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >"$work/configure.log" 2>&1 ||
   ! cmake --build "$build" --target memory_arrange >"$work/build.log" 2>&1; then
  cat "$work/configure.log" "$work/build.log" 2>/dev/null | tail -40
  echo "FAIL: the second build did not finish"
  exit 1
fi
again=$build/$(basename "$exe")

# The link time is the classic difference; name it before comparing bytes.
stamp=$(x86_64-w64-mingw32-objdump -p "$exe" | awk -F'\t+' '$1 == "Time/Date" { print $2 }')
if [ "$stamp" = "Thu Jan  1 00:00:00 1970" ]; then ok "no link time in the PE header"
else fail "the PE header carries the link time $stamp"; fi

if cmp -s "$exe" "$again"; then
  ok "$(basename "$exe") built at $copy is byte for byte the one at $(dirname "$exe") ($(stat -c %s "$exe") bytes)"
else
  fail "the two builds differ ($(stat -c %s "$exe") and $(stat -c %s "$again") bytes); first differing bytes:"
  cmp -l "$exe" "$again" | head -10 | awk '{ printf "      offset 0x%x: %s vs %s (octal)\n", $1 - 1, $2, $3 }'
  for path in "$src" "$copy"; do
    if grep -qaF "$path" "$exe" "$again"; then fail "a build path ($path) is in an executable"; fi
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures reproducibility check(s) failed for $exe"
  exit 1
fi
echo "the build of $exe is reproducible"
