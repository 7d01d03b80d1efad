#!/usr/bin/env bash
# Makes sure the Debian packages the build and the tests need are installed:
#   scripts/deps.sh [PACKAGE...]
# Nothing is run when they all are. As root the missing ones are installed;
# anyone else is told what to install. This is the one place in the project
# that updates the package lists and installs packages.
#
# A mirror part-way through a sync fails some indexes of `apt-get update`
# for hours while the rest of the archive installs fine, so the update is
# tried a few times and then the lists at hand are used, with one line that
# names the indexes that failed. Only a failed `apt-get install` fails the
# script, with apt's own reason. LISTPOOL_APT_TRIES (3) and
# LISTPOOL_APT_PAUSE (seconds between tries, 10) tune the retries.
#
# An argument npm:NAME@VERSION is a package of the npm registry, for the
# pages' checks only, installed at that version by npm (Debian's, unless
# the machine's Node.js brings its own) into build-npm/
# (build-npm/node_modules/NAME), where the checks look for it, or into
# LISTPOOL_NPM_ROOT when set: npm keeps only the packages of one install in
# a folder, so a check that needs another package gives it a folder of its own.
set -euo pipefail
debian=()
npm=()
for argument in "$@"; do
  case $argument in
  npm:*) npm+=("${argument#npm:}") ;;
  *) debian+=("$argument") ;;
  esac
done
if ((${#npm[@]})); then
  "$0" ${debian[@]+"${debian[@]}"}
  command -v npm >/dev/null || "$0" npm
  root=${LISTPOOL_NPM_ROOT:-$(cd "$(dirname "$0")/.." && pwd)/build-npm}
  for package in "${npm[@]}"; do
    name=${package%@*}
    version=${package##*@}
    installed=$(node -p "require('$root/node_modules/$name/package.json').version" 2>/dev/null || true)
    [ "$installed" = "$version" ] ||
      npm install --prefix "$root" --no-save --no-audit --no-fund --ignore-scripts "$package" >&2
  done
  exit 0
fi
packages=(g++ cmake ninja-build libgtest-dev python3 ${debian[@]+"${debian[@]}"})
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
say() { echo "deps: $*" >&2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
tries=${LISTPOOL_APT_TRIES:-3}
pause=${LISTPOOL_APT_PAUSE:-10}
# Another apt run (an unattended upgrade, a second stage) may hold the lock
# for a while; waiting for it is better than failing.
apt=(-q -o DPkg::Lock::Timeout=300)

updated=no
for ((try = 1; try <= tries; try++)); do
  if apt-get "${apt[@]}" update </dev/null >"$log" 2>&1; then
    updated=yes
    break
  fi
  ((try == tries)) || sleep "$pause"
done
if [ "$updated" = no ]; then
  # apt names each index it could not fetch on a line of its own:
  # "E: Failed to fetch URL  reason"; anything else is shown as apt said it.
  failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' "$log" | paste -sd ';' -)
  failed=${failed//;/; }
  [ -n "$failed" ] || failed=$(grep '^E: ' "$log" | paste -sd ' ' - || true)
  say "apt-get update failed $tries times, going on with the package lists at hand;" \
    "failed: ${failed:-no reason given (status of apt-get update non-zero)}"
fi

if ! apt-get "${apt[@]}" install -y --no-install-recommends "${missing[@]}" </dev/null 2>&1 |
  tee "$log"; then
  reason=$(grep '^E: ' "$log" | paste -sd ' ' - || true)
  say "could not install ${missing[*]}: ${reason:-apt-get install failed}"
  exit 1
fi
