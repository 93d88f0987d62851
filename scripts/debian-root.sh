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
#
# The tree is bound into the root at /src, with build/ replaced by the root's
# own (so its build trees, Wine prefixes and downloads never meet this
# machine's). Every mount is made in a mount namespace of its own
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

: "${DEBIAN_MIRROR:=http://deb.debian.org/debian}"
roots=$repo/build/roots
root=$roots/$release
mkdir -p "$roots"

# A root is made by one run at a time, and never while another runs in it:
# the lock is exclusive while the root is checked and made, then shared for
# the run.
exec 7>"$roots/$release.lock"
flock 7

# A root is ready once debootstrap has finished and the stamp is written; a
# half-made one (an interrupted run) is made again. It is never removed while
# anything is mounted in it: the mounts live only in the namespaces below.
if [ ! -f "$root/.ready" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "debian-root: installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null ||
      { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null; }
  fi
  if grep -qs " $root/" /proc/mounts; then
    echo "debian-root: something is still mounted under $root; not touching it" >&2
    exit 1
  fi
  rm -rf "$root"
  echo "debian-root: making a $release root in $root"
  start=$SECONDS
  debootstrap --variant=minbase --include=ca-certificates,git "$release" "$root" "$DEBIAN_MIRROR" \
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

# --propagation private: nothing mounted here is seen outside, and the
# namespace's mounts vanish with its last process.
exec unshare -m --propagation private -- bash -c '
  set -e
  root=$1 repo=$2; shift 2
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --bind /tmp "$root/tmp"
  mount --bind "$repo" "$root/src"
  mount --bind "$root/var/lib/project-build" "$root/src/build"
  exec chroot "$root" /usr/bin/env -i "$@"
' debian-root "$root" "$repo" "${env_vars[@]}" bash -c 'cd /src && exec "$@"' run "$@"
