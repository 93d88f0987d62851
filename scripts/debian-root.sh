#!/usr/bin/env bash
# Runs a command of this tree inside a Debian root of another release, made
# with debootstrap and kept under build/roots/, as on a fresh machine of that
# release: the root has only its base system, git and ca-certificates until
# the command installs what it needs.
#
#   scripts/debian-root.sh RELEASE COMMAND...    e.g. trixie ./test.sh
#   scripts/debian-root.sh other COMMAND...      the release this machine is not:
#                                                trixie on bookworm, bookworm on trixie
#   scripts/debian-root.sh RELEASE --name        prints the codename and exits
#   scripts/debian-root.sh trixie-arm64 COMMAND... a root of another architecture
#                                                (RELEASE-ARCH), run through qemu-user
#
# The tree is bound into the root at /src, with build/ replaced by the root's
# own (so its build trees, Wine prefixes and downloads never meet this
# machine's). A root of another architecture builds nothing: it runs what
# this machine built, so the tree is bound whole at its own path (a build
# tree's CTestTestfile.cmake names its programs by absolute paths), and only
# the Wine prefixes are the root's own (WINE_ENV_ROOT). Its programs run
# through Debian's qemu-user-static, registered with binfmt_misc for that
# architecture alone. Every mount is made in a mount namespace of its own
# (unshare -m), so nothing stays mounted when the command ends, however it
# ends. The root shares this machine's /tmp: X display numbers are global
# (abstract sockets) while their lock files are in /tmp, so an Xvfb in a root
# with a /tmp of its own takes numbers that are busy outside.
# Needs root (debootstrap, chroot and mounts); run as another user it goes
# through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

release=${1:?usage: debian-root.sh RELEASE|other COMMAND...}
shift
if [ "$release" = other ]; then
  here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  case "$here" in
    bookworm) release=trixie ;;
    trixie) release=bookworm ;;
    *) echo "debian-root: this machine is '${here:-unknown}', neither bookworm nor trixie" >&2; exit 2 ;;
  esac
fi
if [ "${1:-}" = --name ]; then echo "$release"; exit 0; fi
[ $# -gt 0 ] || { echo "usage: debian-root.sh RELEASE|other COMMAND..." >&2; exit 2; }

if [ "$(id -u)" -ne 0 ]; then exec sudo -E "$0" "$release" "$@"; fi

codename=${release%%-*}
arch=$(dpkg --print-architecture)
if [ "$codename" != "$release" ]; then arch=${release#*-}; fi
foreign=0
if [ "$arch" != "$(dpkg --print-architecture)" ]; then foreign=1; fi

host_install() {
  command -v "$1" >/dev/null && return
  echo "debian-root: installing $2"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$2" >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$2" >/dev/null; }
}

# The emulator for the root's architecture, registered from the package's
# own description with the F flag: the kernel opens the interpreter at
# registration, so it needs no copy inside the root. Only this one handler:
# binfmt-support's update-binfmts would switch on every other one it knows
# (jar, python, i386...).
binfmt_register() {
  local qemu_arch=$1 dir=/proc/sys/fs/binfmt_misc line
  host_install "qemu-$qemu_arch-static" qemu-user-static
  [ -e "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir"
  if [ -e "$dir/qemu-$qemu_arch" ]; then
    if ! grep -q '^flags:.*F' "$dir/qemu-$qemu_arch"; then
      echo "debian-root: qemu-$qemu_arch is registered without the F flag: it cannot run inside a root" >&2
      exit 1
    fi
    return
  fi
  line=$(grep -v '^#' "/usr/lib/binfmt.d/qemu-$qemu_arch.conf")
  case ${line##*:} in *F*) ;; *) line+=F ;; esac
  printf '%s\n' "$line" >"$dir/register"
  echo "debian-root: registered qemu-$qemu_arch with binfmt_misc"
}
: "${DEBIAN_MIRROR:=http://deb.debian.org/debian}"
roots=$repo/build/roots
root=$roots/$release
mkdir -p "$roots"

# A root is made by one run at a time, and never while another runs in it:
# the lock is exclusive while the root is checked and made, then shared for
# the run.
exec 7>"$roots/$release.lock"
flock 7
if [ "$foreign" = 1 ]; then
  case $arch in
    arm64) binfmt_register aarch64 ;;
    *) echo "debian-root: no emulator known for $arch" >&2; exit 2 ;;
  esac
fi

# A root is ready once debootstrap has finished and the stamp is written; a
# half-made one (an interrupted run) is made again. It is never removed while
# anything is mounted in it: the mounts live only in the namespaces below.
if [ ! -f "$root/.ready" ]; then
  host_install debootstrap debootstrap
  if grep -qs " $root/" /proc/mounts; then
    echo "debian-root: something is still mounted under $root; not touching it" >&2
    exit 1
  fi
  rm -rf "$root"
  echo "debian-root: making a $release root in $root"
  start=$SECONDS
  debootstrap --arch="$arch" --variant=minbase --include=ca-certificates,git "$codename" "$root" "$DEBIAN_MIRROR" \
    >"$roots/$release.debootstrap.log" 2>&1 ||
    { tail -20 "$roots/$release.debootstrap.log" >&2; exit 1; }
  mkdir -p "$root/var/lib/project-build"
  touch "$root/.ready"
  echo "debian-root: $release root made in $((SECONDS - start)) s"
fi
flock -s 7
cp -f /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mkdir -p "$root/src" "$root/var/lib/project-build"

# The command runs with a plain environment, as a login on that machine
# would have; CI and the locale pass through.
env_vars=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
          TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive)
for v in CI LANG LC_ALL RUN_DPI; do
  if [ -n "${!v:-}" ]; then env_vars+=("$v=${!v}"); fi
done
workdir=/src
if [ "$foreign" = 1 ]; then
  workdir=$repo
  # qemu's default CPU has instructions Wine 10's wineboot dies on again and
  # again (it loops on illegal instructions); a Cortex-A53 has none of them.
  env_vars+=(QEMU_CPU=cortex-a53 WINE_ENV_ROOT=/var/lib/project-build/wine)
fi

# --propagation private: nothing mounted here is seen outside, and the
# namespace's mounts vanish with its last process.
exec unshare -m --propagation private -- bash -c '
  set -e
  root=$1 repo=$2 workdir=$3 zig_home=$4; shift 4
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --bind /tmp "$root/tmp"
  if [ "$workdir" = /src ]; then
    mount --bind "$repo" "$root/src"
    mount --bind "$root/var/lib/project-build" "$root/src/build"
    # The Zig that scripts/zig.sh installs (its SHA-256 checked before each
    # use) and the run-time it builds into the same folder are shared with
    # this machine, as /tmp is: a download and a cache keyed by content.
    mkdir -p "$zig_home" "$root/root/.cache/lanshige-zig"
    mount --bind "$zig_home" "$root/root/.cache/lanshige-zig"
  else
    mkdir -p "$root$workdir"
    mount --bind "$repo" "$root$workdir"
  fi
  exec chroot "$root" /usr/bin/env -i "$@"
' debian-root "$root" "$repo" "$workdir" "${LANSHIGE_ZIG_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/lanshige-zig}" "${env_vars[@]}" bash -c 'cd "$0" && exec "$@"' "$workdir" "$@"
