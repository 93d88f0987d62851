# shellcheck shell=bash
# Sourced by run.sh and test.sh: private Wine prefixes inside the build tree
# and a private Xvfb, both torn down again by wine_env_stop.
#
#   wine_prefixes_ensure DPI...  creates/refreshes build/wine/prefix-DPI (in parallel)
#   wine_prefix_path DPI     prints the prefix's path
#   xvfb_start [WxHxD]       starts Xvfb on a free display >= 90, exports DISPLAY
#   wine_test_env_start      both prefixes (96 and 144 DPI) exported as WINEPREFIX
#                            and WINEPREFIX_144, fresh wineservers, and an Xvfb
#   wine_env_stop            ends what we started: wineservers of our prefixes, Xvfb
#   $WINE_CMD                starts Wine: "$WINE_CMD" prog.exe (scripts/wine-run)
#
# Separate prefixes per DPI are needed: a new process reads LogPixels when it
# starts, but the shell desktop (explorer.exe, which owns the taskbar and the
# notification area) keeps the DPI it started with, and a prefix has one
# wineserver and so one desktop.

WINE_ENV_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE_ENV_REPO=$(cd "$WINE_ENV_SCRIPTS/.." && pwd)
: "${WINE_ENV_ROOT:=$WINE_ENV_REPO/build/wine}"
# Wine's own fonts (Debian's fonts-wine).
: "${WINE_ENV_FONTS:=/usr/share/wine/fonts}"

export WINEDEBUG=-all
# No prompts to download Mono or Gecko while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

WINE_ENV_PREFIXES=()
WINE_ENV_XVFB_PID=""

wine_env_log() { echo "wine-env: $*" >&2; }

# Every Wine start goes through scripts/wine-run ($WINE_CMD), which turns
# address-space randomisation off for it (see there). Some containers refuse
# that: then Wine starts as it is, and about one start in ten thousand fails.
WINE_CMD=$WINE_ENV_SCRIPTS/wine-run
if setarch -R true 2>/dev/null; then
  WINE_RUN_SETARCH=1
else
  WINE_RUN_SETARCH=0
  wine_env_log "setarch -R is refused here: Wine starts with address-space randomisation"
fi
export WINE_CMD WINE_RUN_SETARCH

# Whether this machine runs 32-bit x86 code: a kernel built or booted without
# IA-32 emulation refuses every i386 executable, Wine's 32-bit loader too.
# Then the x86 build cannot run here at all, and Wine starts through its
# 64-bit loader directly.
wine_env_runs_32bit() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
WINE_RUN_LOADER=wine
WINE_RUNS_32BIT=1
if ! wine_env_runs_32bit; then
  WINE_RUNS_32BIT=0
  if [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ]; then
    WINE_RUN_LOADER=/usr/lib/wine/wine64
    wine_env_log "this kernel runs no 32-bit code: Wine starts through $WINE_RUN_LOADER"
  fi
fi
export WINE_RUN_LOADER WINE_RUNS_32BIT

# Which loader starts Wine: Debian's wrapper runs the 32-bit one (which also
# starts 64-bit programs) once wine32:i386 is installed and runs, and wine64
# alone otherwise.  A prefix made by the other loader lacks the 32-bit half
# (or was set up for it) and fails with "could not load kernel32.dll", so a
# change of loader makes the prefix anew rather than refreshing it.
_wine_env_loader() {
  local w
  if [ "$WINE_RUN_LOADER" != wine ]; then echo "$WINE_RUN_LOADER"; return; fi
  for w in /usr/lib/wine/wine /usr/lib/wine/wine64; do
    if [ -x "$w" ]; then echo "$w"; return; fi
  done
  command -v wine
}

# The stamp changes whenever the settings or Wine itself change, so an
# existing prefix gets the settings imported again instead of a rebuild.
_wine_env_stamp() {
  local dpi=$1
  {
    wine --version 2>/dev/null
    python3 "$WINE_ENV_SCRIPTS/wineprefix.py" reg "$dpi" /dev/stdout | md5sum
  } | md5sum | cut -d' ' -f1
}

wine_prefix_path() { echo "$WINE_ENV_ROOT/prefix-${1:?DPI}"; }

# Runs in a subshell of its own (it may run in the background).
_wine_prefix_build() {
  local dpi=${1:?DPI}
  local prefix="$WINE_ENV_ROOT/prefix-$dpi"
  local log="$WINE_ENV_ROOT/prefix-$dpi.log"
  mkdir -p "$WINE_ENV_ROOT"
  (
    # Two scripts (say run.sh and test.sh) must not build the same prefix at once.
    exec 9>"$WINE_ENV_ROOT/prefix-$dpi.lock"
    flock 9
    local stamp
    stamp=$(_wine_env_stamp "$dpi")
    local loader
    loader=$(_wine_env_loader)
    if [ -f "$prefix/system.reg" ] && [ "$(cat "$prefix/.loader" 2>/dev/null)" != "$loader" ]; then
      wine_env_log "$prefix was made for another Wine loader than $loader: making it anew"
      WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
      rm -rf "$prefix"
    fi
    if [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$stamp" ] &&
       [ -f "$prefix/drive_c/windows/Fonts/marlett.ttf" ] &&
       python3 "$WINE_ENV_SCRIPTS/wineprefix.py" check "$prefix" "$dpi" 2>/dev/null; then
      exit 0
    fi
    export WINEPREFIX="$prefix"
    : >"$log"
    local start=$SECONDS
    if [ ! -f "$prefix/system.reg" ]; then
      wine_env_log "creating $prefix"
      rm -rf "$prefix"
      "$WINE_CMD" wineboot -i >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
    else
      wine_env_log "refreshing settings of $prefix"
    fi
    # Wine draws the caption buttons (close, minimise), menu check marks and
    # scroll arrows as glyphs of its own Marlett font. Debian's Wine 8 never
    # looks in its font folder (fonts-wine's /usr/share/wine/fonts: no Wine
    # process opens a path there), only in the prefix's Fonts folder and
    # fontconfig's, so without a copy the glyphs come from a fallback face
    # and the close button reads "r".
    cp -f "$WINE_ENV_FONTS/marlett.ttf" "$prefix/drive_c/windows/Fonts/" || exit 1
    python3 "$WINE_ENV_SCRIPTS/wineprefix.py" reg "$dpi" "$WINE_ENV_ROOT/prefix-$dpi.reg"
    "$WINE_CMD" regedit /S "$("$WINE_CMD" winepath -w "$WINE_ENV_ROOT/prefix-$dpi.reg" 2>/dev/null)" \
      >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
    # The registry files are written when the wineserver exits.
    wineserver -w
    if ! python3 "$WINE_ENV_SCRIPTS/wineprefix.py" check "$prefix" "$dpi"; then
      cat "$log" >&2
      exit 1
    fi
    echo "$loader" >"$prefix/.loader"
    echo "$stamp" >"$prefix/.stamp"
    wine_env_log "prefix-$dpi ready in $((SECONDS - start)) s"
  )
}

wine_prefixes_ensure() {
  local dpi pids=() rc=0 pid
  for dpi in "$@"; do
    WINE_ENV_PREFIXES+=("$(wine_prefix_path "$dpi")")
    _wine_prefix_build "$dpi" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || rc=1; done
  return $rc
}

_wine_env_display_free() {
  local n=$1
  [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]
}

xvfb_start() {
  local screen=${1:-1024x768x24}
  local n log
  log="$WINE_ENV_ROOT/xvfb.log"
  mkdir -p "$WINE_ENV_ROOT"
  for n in $(seq 90 140); do
    _wine_env_display_free "$n" || continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset >"$log" 2>&1 &
    local pid=$!
    local i
    for i in $(seq 100); do
      if ! kill -0 "$pid" 2>/dev/null; then break; fi   # lost a race for :$n
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        WINE_ENV_XVFB_PID=$pid
        export DISPLAY=":$n"
        wine_env_log "Xvfb on $DISPLAY (pid $pid)"
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wine_env_log "no free X display found"
  cat "$log" >&2
  return 1
}

wine_test_env_start() {
  wine_prefixes_ensure 96 144
  WINEPREFIX=$(wine_prefix_path 96)
  WINEPREFIX_144=$(wine_prefix_path 144)
  export WINEPREFIX WINEPREFIX_144
  # A wineserver left over from an earlier run would bring its old desktop along.
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
  WINEPREFIX=$WINEPREFIX_144 wineserver -k 2>/dev/null || true
  xvfb_start
}

# True when $DISPLAY names an X server that answers.
display_usable() {
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

wine_env_stop() {
  local p
  for p in "${WINE_ENV_PREFIXES[@]}"; do
    WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true
  done
  for p in "${WINE_ENV_PREFIXES[@]}"; do
    WINEPREFIX="$p" timeout 20 wineserver -w >/dev/null 2>&1 || true
  done
  if [ -n "$WINE_ENV_XVFB_PID" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    WINE_ENV_XVFB_PID=""
  fi
}
