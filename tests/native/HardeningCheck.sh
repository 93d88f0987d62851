#!/usr/bin/env bash
# Checks the built program for the protections Windows gives a program that
# asks for them, and for the imports it is allowed to have.
#   HardeningCheck.sh EXE [MAIN_OBJECT]
# MAIN_OBJECT (main.cpp's object file, unstripped) defaults to the one next to
# EXE in the CMake build tree; wWinMain's first call is looked up in it.
set -euo pipefail
exe=${1:?usage: HardeningCheck.sh EXE [MAIN_OBJECT]}
obj=${2:-$(dirname "$exe")/CMakeFiles/memory_arrange.dir/main.cpp.obj}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok:   $*"; }

# The same checks for the x86-64 and the 32-bit x86 build, each read with its
# own binutils (the import libraries differ: x86 names carry _ and @N).
format=$(x86_64-w64-mingw32-objdump -f "$exe" | awk '/file format/ { print $NF }')
case "$format" in
  pei-x86-64) triplet=x86_64-w64-mingw32 flags="0x0020:HIGH_ENTROPY_VA 0x0040:DYNAMIC_BASE 0x0100:NX_COMPAT" ;;
  # High-entropy ASLR is a 64-bit feature; a 32-bit program instead asks for
  # the 4 GB address space it gets on 64-bit Windows.
  pei-i386) triplet=i686-w64-mingw32 flags="0x0040:DYNAMIC_BASE 0x0100:NX_COMPAT" ;;
  *) echo "FAIL: $exe is $format, not a pei-x86-64 or pei-i386 image"; exit 1 ;;
esac
objdump=$triplet-objdump
nm=$triplet-nm
libdir=/usr/$triplet/lib
echo "info: $format"

headers=$($objdump -p "$exe")

# --- address-space layout randomisation and no-execute data ----------------
chars=$(awk '$1 == "DllCharacteristics" { print $2 }' <<<"$headers")
[ -n "$chars" ] || { echo "FAIL: no DllCharacteristics in $exe"; exit 1; }
for flag in $flags; do
  bit=${flag%%:*} name=${flag#*:}
  if (( 0x$chars & bit )); then ok "$name set (DllCharacteristics 0x$chars)"
  else fail "$name not set (DllCharacteristics 0x$chars)"; fi
done
if [ "$format" = pei-i386 ]; then
  if grep -qx $'\tlarge address aware' <<<"$headers"; then ok "large address aware"
  else fail "not large address aware: the 32-bit program gets 2 GB instead of 4 GB"; fi
fi
# ASLR needs the relocations to stay in the file.
if grep -q "IMAGE_FILE_RELOCS_STRIPPED" <<<"$headers"; then
  fail "relocations stripped: the image cannot be moved"
else
  ok "relocations kept"
fi

# --- imports ----------------------------------------------------------------
# System DLLs the program may use; anything else would be searched for
# next to the program and could be planted there.
allowed="kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll msvcrt.dll advapi32.dll"
mapfile -t dlls < <(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")
[ "${#dlls[@]}" -gt 0 ] || fail "no imports found"
for dll in "${dlls[@]}"; do
  if [[ " $allowed " == *" $dll "* ]]; then ok "imports $dll"
  else fail "imports $dll, which is not a system DLL we expect"; fi
done

# Every function imported by name, as "dll function".
imports=$(awk '
  /DLL Name:/ { dll = tolower($3); next }
  dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }
  /^$/ && dll != "" { }
' <<<"$headers")
[ -n "$imports" ] || fail "no imported functions listed"

# An ANSI function imported where a wide one exists turns Chinese text into
# question marks on any system whose code page is not 936.
# On x86, GCC's start-up code (crtbegin.o, run before wWinMain) looks for
# libgcc_s_dw2-1.dll by its ASCII name to register unwind tables, with
# GetModuleHandleA and, only when that DLL is already loaded, LoadLibraryA.
# It passes no user text, so those it references are let through.
startup_ansi=""
if [ "$format" = pei-i386 ]; then
  startup_ansi=$($nm "$($triplet-g++ -print-file-name=crtbegin.o)" |
    awk '$1 == "U" { sub(/^__imp__/, "", $2); sub(/@[0-9]+$/, "", $2); print $2 }' | grep 'A$' || true)
fi
declare -A wide_names
while read -r dll fn; do
  case "$fn" in *A) ;; *) continue ;; esac
  if grep -qx "$fn" <<<"$startup_ansi"; then
    ok "$dll!$fn comes from GCC's start-up code (crtbegin.o), with no user text"
    continue
  fi
  lib="$libdir/lib${dll%.dll}.a"
  if [ -z "${wide_names[$dll]+x}" ]; then
    wide_names[$dll]=$($nm "$lib" 2>/dev/null |
      awk '$2 == "T" || $2 == "I" { sub(/^__imp_/, "", $3); if (x86) { sub(/^_/, "", $3); sub(/@[0-9]+$/, "", $3) }; print $3 }' \
          x86=$([ "$format" = pei-i386 ] && echo 1 || echo 0) | sort -u)
  fi
  if grep -qx "${fn%A}W" <<<"${wide_names[$dll]}"; then
    fail "$dll!$fn imported although ${fn%A}W exists"
  fi
done <<<"$imports"
ansi=$(grep -c 'A$' <<<"$imports" || true)
echo "info: $(wc -l <<<"$imports") functions imported by name, $ansi of them ending in A"

# --- the DLL search path ----------------------------------------------------
# SetDefaultDllDirectories is Windows 8's (7 has it only with an update), so it
# is looked up at run time, with SetDllDirectoryW("") where it is missing.
if grep -qx "kernel32.dll SetDefaultDllDirectories" <<<"$imports"; then
  fail "SetDefaultDllDirectories imported: Windows 7 without KB2533623 would refuse to start"
else
  ok "SetDefaultDllDirectories not imported"
fi
if grep -qx "kernel32.dll SetDllDirectoryW" <<<"$imports"; then
  ok "SetDllDirectoryW imported for the fallback"
else
  fail "SetDllDirectoryW not imported: no fallback for the search path"
fi
if grep -aq SetDefaultDllDirectories "$exe"; then
  ok "SetDefaultDllDirectories looked up by name"
else
  fail "the name SetDefaultDllDirectories is not in $exe: nothing looks it up"
fi
if [ -f "$obj" ]; then
  # wWinMain's calls in the order they are laid out: an import or function by
  # its (undecorated) name, or "pointer" for a call through a register. The
  # search path is restricted before the toolkit loads anything: the first
  # three are the look-up and the call through what it found, and nothing but
  # the fallback comes before the next.
  calls=$($objdump -dr --no-show-raw-insn "$obj" |
    awk -v x86=$([ "$format" = pei-i386 ] && echo 1 || echo 0) '
         /<_?wWinMain(@[0-9]+)?>:/ { on = 1; next }
         on && /^$/ { exit }
         on && /\tcall/ { if ($0 ~ /call +\*%/) print "pointer"; else want = 1; next }
         on && want && /IMAGE_REL_AMD64|R_X86_64|IMAGE_REL_I386|dir32|DISP32/ {
           name = $NF; sub(/^__imp_/, "", name)
           if (x86) { sub(/^_/, "", name); sub(/@[0-9]+$/, "", name) }
           print name; want = 0 }' | tr '\n' ' ')
  if [[ "$calls" == "GetModuleHandleW GetProcAddress pointer "* ]]; then
    ok "wWinMain looks up SetDefaultDllDirectories and calls it first"
  else
    fail "wWinMain's first calls are '${calls:0:80}', not GetModuleHandleW GetProcAddress and the pointer"
  fi
  read -r -a after <<<"${calls#GetModuleHandleW GetProcAddress pointer }"
  if [ "${#after[@]}" -gt 0 ] && [[ " ${after[*]} " == *" SetDllDirectoryW "* ]] &&
     [[ "${after[0]}" == SetDllDirectoryW || "${after[0]}" == *Startup* ]]; then
    ok "wWinMain falls back to SetDllDirectoryW before anything else"
  else
    fail "wWinMain has no SetDllDirectoryW fallback ahead of its other calls ('${calls:0:120}')"
  fi
else
  fail "no object file $obj to read wWinMain from"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures hardening check(s) failed for $exe"
  exit 1
fi
echo "all hardening checks passed for $exe"
