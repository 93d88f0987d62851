#!/usr/bin/env bash
# Installs the Debian packages and locales the build and the Wine tests need.
# Cheap when everything is already there: dpkg-query decides, and apt-get only
# runs (with one update) when a package is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xdotool imagemagick
  fonts-wine fonts-wqy-microhei fonts-dejavu-core googletest libgtest-dev locales x11-utils python3 zip unzip
  # .ci/run's leg on the other Debian release runs in a root it makes.
  debootstrap
  # The ARM64 build's tests run in an arm64 root (scripts/arm64-tests.sh),
  # its programs through qemu-user's aarch64 emulator.
  qemu-user-static
  # The checks of the built executables read them with pefile (/usr/bin/python3).
  python3-pefile
)
# The 32-bit build runs under Debian's 32-bit Wine, an i386 package (multiarch).
# With it /usr/bin/wine starts the 32-bit loader, which starts 64-bit programs
# too; scripts/wine-env.sh makes prefixes of the other loader anew.
FOREIGN_PACKAGES=(wine32:i386)
# Installed without what they recommend.
PLAIN_PACKAGES=()
LOCALES=(en_US.UTF-8 de_DE.UTF-8 zh_CN.UTF-8)

# In an arm64 root (scripts/debian-root.sh trixie-arm64) the ARM64 build's
# tests run from the build tree the host made: only what runs them is
# installed, the root's own Wine, the display and the end-to-end harness's
# tools (xdotool, ImageMagick, xdpyinfo), no compiler and no i386 Wine. cmake
# is there for ctest; what it recommends is a compiler and make.
if [ "$(dpkg --print-architecture)" = arm64 ]; then
  PACKAGES=(wine xvfb xdotool imagemagick fonts-wine fonts-wqy-microhei fonts-dejavu-core locales x11-utils python3)
  FOREIGN_PACKAGES=()
  PLAIN_PACKAGES=(cmake)
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi

# One dpkg-query for all of them; unknown packages are simply absent from its output.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" "${PLAIN_PACKAGES[@]}" 2>/dev/null \
            | awk '$2 == "install" && $3 == "ok" && $4 == "installed" { print $1 }' || true)
missing=() plain_missing=()
for p in "${PACKAGES[@]}"; do
  if ! grep -qx -- "$p" <<<"$installed"; then missing+=("$p"); fi
done
for p in "${PLAIN_PACKAGES[@]}"; do
  if ! grep -qx -- "$p" <<<"$installed"; then plain_missing+=("$p"); fi
done
for p in "${FOREIGN_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -qx "install ok installed"; then missing+=("$p"); fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${SUDO[@]}" dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index (a size or hash mismatch) while
  # the rest arrive: the install below says whether what it needs was there.
  update_ok=1
  "${SUDO[@]}" apt-get update -q || update_ok=0
  # With recommends: Wine needs the X libraries, fonts-wine and fonts-liberation
  # it recommends to draw windows and text as on this machine.
  if ! "${SUDO[@]}" apt-get install -y -q "${missing[@]}"; then
    [ "$update_ok" = 0 ] || exit 1
    # Seen: the security pocket's i386 index refused while its amd64 one
    # arrived, so an i386 library can no longer match the version of its
    # amd64 twin. Both meet at the release's version with the security pocket
    # pinned below it, for this one install.
    echo "deps: apt-get update failed on some index; installing again with the security pocket pinned low"
    pins=$(mktemp -d)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pins/security-low.pref"
    "${SUDO[@]}" apt-get install -y -q -o Dir::Etc::PreferencesParts="$pins" "${missing[@]}"
    rm -rf "$pins"
  fi
fi
if [ ${#plain_missing[@]} -gt 0 ]; then
  echo "deps: installing ${plain_missing[*]} (without recommends)"
  export DEBIAN_FRONTEND=noninteractive
  [ ${#missing[@]} -gt 0 ] || "${SUDO[@]}" apt-get update -q || true
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${plain_missing[@]}"
fi

# locale -a spells them e.g. "de_DE.utf8".
have_locale() {
  local want
  want=$(printf '%s' "$1" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
  locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$want"
}

need_gen=0
for l in "${LOCALES[@]}"; do
  if ! have_locale "$l"; then
    need_gen=1
    if ! grep -qE "^[[:space:]]*${l//./\\.}[[:space:]]+UTF-8" /etc/locale.gen 2>/dev/null; then
      if grep -qE "^#[[:space:]]*${l//./\\.}[[:space:]]+UTF-8" /etc/locale.gen 2>/dev/null; then
        "${SUDO[@]}" sed -i -E "s/^#[[:space:]]*(${l//./\\.}[[:space:]]+UTF-8)/\\1/" /etc/locale.gen
      else
        echo "$l UTF-8" | "${SUDO[@]}" tee -a /etc/locale.gen >/dev/null
      fi
    fi
  fi
done
if [ "$need_gen" -eq 1 ]; then
  echo "deps: generating locales ${LOCALES[*]}"
  "${SUDO[@]}" locale-gen >/dev/null
fi
