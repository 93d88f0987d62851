#!/usr/bin/env bash
# Checks that the built program can start on Windows 7 SP1: its header asks
# for no newer system, and every function it imports is one that Windows 7
# has (tests/native/windows7-imports.txt, from Microsoft's documentation).
# Works for the x86-64 and the 32-bit x86 build alike.
#   Windows7Check.sh EXE [LIST]
set -euo pipefail
exe=${1:?usage: Windows7Check.sh EXE [LIST]}
list=${2:-$(dirname "$0")/windows7-imports.txt}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok:   $*"; }

# The x86-64 binutils read both image formats; imports print alike.
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
format=$(awk '/file format/ { print $NF; exit }' <<<"$headers")
case "$format" in
  pei-x86-64 | pei-i386) echo "info: $format" ;;
  *) echo "FAIL: $exe is ${format:-unreadable}, not a pei-x86-64 or pei-i386 image"; exit 1 ;;
esac

# --- the header ---------------------------------------------------------------
# Windows refuses an image whose subsystem version is above its own; below it,
# the image claims systems it was never made for.
for field in Subsystem OSystem; do
  version=$(awk -v f="$field" '$1 == "Major" f "Version" { major = $2 } $1 == "Minor" f "Version" { minor = $2 }
                              END { print major "." minor }' <<<"$headers")
  if [ "$version" = "6.1" ]; then ok "${field} version 6.1 (Windows 7)"
  else fail "${field} version $version, want 6.1 (Windows 7)"; fi
done

# --- the imports --------------------------------------------------------------
declare -A since
while read -r dll fn version _; do
  case "$dll" in '' | '#'*) continue ;; esac
  case "$version" in
    2000 | XP | XP-SP1 | Vista | 7) since["${dll,,} $fn"]=$version ;;
    *) fail "$dll!$fn is listed for Windows $version, which is newer than 7" ;;
  esac
done <"$list"

imports=$(awk '
  /DLL Name:/ { dll = tolower($3); next }
  dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }
  dll != "" && /<none>|Ordinal/ { print dll, "ordinal:" $0 }
' <<<"$headers")
[ -n "$imports" ] || fail "no imported functions listed"
count=0
while read -r dll fn; do
  count=$((count + 1))
  if [ -n "${since["$dll $fn"]+x}" ]; then continue; fi
  case "$fn" in
    ordinal:*) fail "$dll imports by ordinal, which no list can vouch for: ${fn#ordinal:}" ;;
    *) fail "$dll!$fn is not on the list of functions Windows 7 SP1 has; look it up at run time, or add it with its documented minimum version" ;;
  esac
done <<<"$imports"
echo "info: $count imported functions, ${#since[@]} on the list"

if [ "$failures" -gt 0 ]; then
  echo "$failures Windows 7 check(s) failed for $exe"
  exit 1
fi
echo "all Windows 7 checks passed for $exe"
