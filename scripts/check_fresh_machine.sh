#!/usr/bin/env bash
# The README's commands on a Debian 12 machine that has nothing but its base system: a minimal
# root made with debootstrap, this checkout's HEAD (or TABLORA_FRESH_REF) copied in, and inside it, as root and without a
# display: scripts/install_deps.sh, the README's run command (it must make sample-sheet.pdf),
# `tablora-cli --version`, then the release build and its whole test suite. A package that the
# scripts do not install fails here, whatever this machine has installed by hand.
#
# Kept between runs in TABLORA_FRESH_CACHE (default /var/cache/tablora-fresh), never inside the
# checkout:
#   base/        the debootstrap root as made, never run in; made again when missing or a week old
#   debs/, apt/  downloaded packages: debootstrap's and apt's inside the root
# The root's builds share this machine's ccache, so a warm cache compiles nothing twice.
#
# The root gets its own device nodes, proc and a private devpts instance, never a bind mount of
# the host's /dev (whose nodes a package's scripts could replace inside the root), and every mount
# under it is gone before anything under it is removed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

if [ "$(id -u)" -ne 0 ]; then
  echo "check_fresh_machine.sh: run as root (it makes a root with debootstrap and mounts in it)" >&2
  exit 2
fi

cache=${TABLORA_FRESH_CACHE:-/var/cache/tablora-fresh}
mirror=${TABLORA_FRESH_MIRROR:-http://deb.debian.org/debian}
ccache_dir=${CCACHE_DIR:-$HOME/.cache/ccache}
mkdir -p "$cache/debs" "$cache/apt/partial" "$cache/logs" "$ccache_dir"

started=$SECONDS
step_number=0
log=
say() { printf '== %s\n' "$*"; }

# Runs one named step with its output in $cache/logs/step-N.log (\$log); a failure names the step and shows
# the end of its log.
step() {
  local name=$1 t0=$SECONDS
  shift
  ((++step_number))
  log="$cache/logs/step-$step_number.log"
  say "$name"
  if "$@" >"$log" 2>&1; then
    say "$name: done in $((SECONDS - t0)) s"
  else
    echo "---- last lines of $log:" >&2
    tail -n 60 "$log" >&2
    local inner
    inner=$(grep -o 'the [a-z]* step failed' "$log" | tail -n 1 || true)
    echo "FAILED at step '$name'${inner:+ ($inner)} after $((SECONDS - t0)) s" >&2
    exit 1
  fi
}

if ! command -v debootstrap >/dev/null; then
  step "install debootstrap on this machine" bash -c \
    'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap'
fi

make_base() {
  local new="$cache/base.new"
  rm -rf --one-file-system "$new"
  debootstrap --variant=minbase --cache-dir="$cache/debs" bookworm "$new" "$mirror"
  # The suites a Debian 12 machine takes its updates from, so the root gets the versions this
  # machine has.
  printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb http://deb.debian.org/debian-security bookworm-security main\n' \
    "$mirror" "$mirror" >"$new/etc/apt/sources.list"
  # No package's maintainer script starts a service that would outlive the check in the root.
  printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
  chmod 755 "$new/usr/sbin/policy-rc.d"
  date -u +%FT%TZ >"$new/.made"
  rm -rf --one-file-system "$cache/base"
  mv "$new" "$cache/base"
}
if [ ! -f "$cache/base/.made" ] || [ -n "$(find "$cache/base/.made" -mtime +6)" ]; then
  step "make the Debian 12 root (debootstrap)" make_base
else
  say "Debian 12 root from $(cat "$cache/base/.made") reused"
fi

work=$(mktemp -d /var/tmp/tablora-fresh.XXXXXX)
root=$work/root

mounts_under() { awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/mounts | sort -r; }

cleanup() {
  local status=$?
  # Whatever the steps left running in the root holds its mounts.
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    if [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  done
  local m
  for m in $(mounts_under); do umount "$m" 2>/dev/null || umount -l "$m" || true; done
  if [ -n "$(mounts_under)" ]; then
    echo "check_fresh_machine.sh: still mounted under $root, left in place:" >&2
    mounts_under >&2
    exit 1
  fi
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

prepare_root() {
  cp -a "$cache/base" "$root"
  rm -rf --one-file-system "$root/dev"
  mkdir -p "$root/dev/pts" "$root/dev/shm"
  mknod -m 666 "$root/dev/null" c 1 3
  mknod -m 666 "$root/dev/zero" c 1 5
  mknod -m 666 "$root/dev/random" c 1 8
  mknod -m 666 "$root/dev/urandom" c 1 9
  mknod -m 666 "$root/dev/tty" c 5 0
  ln -s pts/ptmx "$root/dev/ptmx"
  ln -s /proc/self/fd "$root/dev/fd"
  ln -s /proc/self/fd/0 "$root/dev/stdin"
  ln -s /proc/self/fd/1 "$root/dev/stdout"
  ln -s /proc/self/fd/2 "$root/dev/stderr"
  mount -t proc proc "$root/proc"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mkdir -p "$root/var/cache/apt/archives" "$root/root/.cache/ccache"
  mount --bind "$cache/apt" "$root/var/cache/apt/archives"
  mount --bind "$ccache_dir" "$root/root/.cache/ccache"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mkdir -p "$root/root/tablora"
  git -C "$top" archive "${TABLORA_FRESH_REF:-HEAD}" | tar -x -C "$root/root/tablora"
}
step "copy the root and the checkout's ${TABLORA_FRESH_REF:-HEAD} into $root" prepare_root

# A login shell of a new machine: root, no display, none of this machine's environment.
inside() {
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/tablora && $1"
}

# The README's commands themselves, so the check and the README cannot drift apart.
readme_command() {
  awk -v heading="$1" '$0 == heading { on = 1; next } on && /^```sh/ { code = 1; next }
                       code && /^```/ { exit } code && NF { print; exit }' "$top/README.md"
}
run_command=$(readme_command "## Run it")
test_command=$(readme_command "## Test it")
if [ "$run_command" != "./scripts/run.sh" ] || [ "$test_command" != "./scripts/test.sh" ]; then
  echo "check_fresh_machine.sh: the README's commands are now '$run_command' and '$test_command'; teach this check them" >&2
  exit 1
fi

step "scripts/install_deps.sh" inside "./scripts/install_deps.sh"
step "README run command ($run_command)" inside "$run_command && head -c 5 sample-sheet.pdf | grep -q '%PDF-'"
step "tablora-cli --version" inside "build/src/cli/tablora-cli --version"
say "$(cat "$log")"
# The release half of the test command: the release build of everything and its whole suite.
step "README test command, release build and tests ($test_command release)" inside "$test_command release"
say "$(grep -E 'tests passed|tests failed' "$log" | tail -n 1)"
say "fresh machine check passed in $((SECONDS - started)) s"
