#!/usr/bin/env bash
# Makes sure the Debian packages the build and the tests need are installed.
# Nothing is run when they all are. As root the missing ones are installed;
# anyone else is told what to install.
set -euo pipefail
packages=(g++ cmake ninja-build libgtest-dev python3 "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
((${#missing[@]})) || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages; install them as root with:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
