#!/usr/bin/env bash
# The Windows stage's package step: installs the cross compilers and the wine
# that tests the build scripts/test-windows.sh is to test, and tells which
# build that is.
#
#   scripts/windows-packages.sh yes|no
#
# The argument says whether this host runs 32-bit x86 programs. With "yes"
# the 32-bit build is tested under wine32 (from the i386 architecture, added
# here if need be); where wine32 and its i386 libraries cannot be installed
# (a mirror whose i386 lists lag behind their amd64 twins cannot give both at
# one version), the 64-bit build is tested under wine64 instead, as on a host
# with "no". The first line of standard output is the build to test, 32 or
# 64; after a fallback a second line says why the 32-bit program is not run.
# What apt says goes to standard error. Fails only when not even the 64-bit
# build's packages can be installed, saying why on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

common=(googletest g++-mingw-w64-i686-posix wine)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# install PACKAGE...: deps.sh's output to standard error, and the reason
# for a failure (apt's last error, or else what deps.sh said last) left in
# $reason.
install() {
  reason=
  scripts/deps.sh "$@" 2>&1 | tee "$log" >&2 && return 0
  reason=$(grep '^E: ' "$log" | tail -n 1 || true)
  [ -n "$reason" ] || reason=$(tail -n 1 "$log")
  return 1
}

if [ "$1" = yes ]; then
  added=no
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "wine32 needs the i386 architecture; add it as root with:" >&2
      echo "  dpkg --add-architecture i386 && apt-get update" >&2
      exit 1
    fi
    dpkg --add-architecture i386
    added=yes
  fi
  if install "${common[@]}" wine32:i386; then
    echo 32
    exit 0
  fi
  why="wine32 and its i386 libraries cannot be installed here (apt-get said: $reason)"
  # Left in place, the architecture would have every later update fetch
  # indexes nothing here uses; nothing of it was installed.
  if [ "$added" = yes ]; then
    dpkg --remove-architecture i386 >&2 || true
  fi
fi
if ! install "${common[@]}" g++-mingw-w64-x86-64-posix wine64; then
  echo "cannot install wine64 and the 64-bit cross compiler: apt-get said: $reason" >&2
  exit 1
fi
echo 64
[ -z "${why:-}" ] || echo "$why"
