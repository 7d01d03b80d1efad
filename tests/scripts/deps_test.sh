#!/usr/bin/env bash
# Checks scripts/deps.sh and the Windows stage's package step
# (scripts/windows-packages.sh) against stand-ins for apt-get, dpkg and
# dpkg-query (stand_in/): a mirror that fails an index on every update, one
# whose wine32 cannot be installed, and a package that does not exist.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$here/stand_in:$PATH" LISTPOOL_APT_PAUSE=0
failed=0

# run NAME COMMAND...: runs COMMAND on a fresh package state, with the
# variables the caller set for the stand-ins; its status goes to $status,
# its streams to $work/NAME.out and .err.
run() {
  name=$1
  export STATE=$work/$name
  mkdir -p "$STATE"
  status=0
  "${@:2}" >"$work/$name.out" 2>"$work/$name.err" || status=$?
}

# check WHAT CONDITION...: fails the case with WHAT unless CONDITION holds.
check() {
  "${@:2}" && return
  echo "FAIL: $name: $1" >&2
  sed 's/^/  | /' "$work/$name.out" "$work/$name.err" >&2
  failed=1
}
# shellcheck disable=SC2317 # the conditions run through check
not() { ! "$@"; }
installed() { grep -qx -- "$1" "$STATE/installed" 2>/dev/null; }
updates() { [ "$(grep -c ' update$' "$STATE/calls")" -eq "$1" ]; }
said() { grep -q -- "$1" "$work/$name.${2:-err}"; }
said_last() { tail -n 1 "$work/$name.err" | grep -q -- "$1"; }

UPDATE_FAILS=all run index-fails-always "$scripts/deps.sh" spin
check "a failed index must not fail the script" [ "$status" -eq 0 ]
check "the update is tried three times" updates 3
check "the packages are installed from the lists at hand" installed spin
check "the failed index is named on one line" \
  [ "$(grep -c 'binary-i386/Packages.xz (File has unexpected size' "$work/$name.err")" -eq 1 ]

UPDATE_FAILS=1 run index-fails-once "$scripts/deps.sh" spin
check "a second try that works is enough" [ "$status" -eq 0 ]
check "no try after one that works" updates 2
check "nothing is said of an update that worked in the end" not said 'update failed'

run no-such-package "$scripts/deps.sh" spin no-such-package
check "a package that does not exist fails the script" [ "$status" -ne 0 ]
check "with apt's reason" said 'could not install .*E: Unable to locate package no-such-package'

run nothing-missing "$scripts/deps.sh"
run nothing-missing "$scripts/deps.sh"
check "nothing is run when everything is installed" [ "$(grep -c install "$STATE/calls")" -eq 1 ]

run windows-32 "$scripts/windows-packages.sh" yes
check "a host that runs 32-bit programs tests the 32-bit build" [ "$(cat "$work/$name.out")" = 32 ]
check "wine32 is installed from the i386 architecture" installed wine32:i386

UPDATE_FAILS=all INSTALL_BREAKS=':i386$' run windows-no-wine32 "$scripts/windows-packages.sh" yes
check "without wine32 the stage falls back, not fails" [ "$status" -eq 0 ]
check "to the 64-bit build" [ "$(head -n 1 "$work/$name.out")" = 64 ]
check "saying why the 32-bit one is not run" said 'wine32 .*cannot be installed.*pkgProblemResolver' out
check "with wine64 installed" installed wine64
check "and the i386 architecture it added removed again" not grep -q i386 "$STATE/archs"

INSTALL_BREAKS='^wine' run windows-no-wine "$scripts/windows-packages.sh" yes
check "with no wine64 either the stage fails" [ "$status" -ne 0 ]
check "saying so on its last line" said_last 'cannot install wine64.*pkgProblemResolver'

run windows-64 "$scripts/windows-packages.sh" no
check "a host without 32-bit programs tests the 64-bit build, with no more to say" \
  [ "$(cat "$work/$name.out")" = 64 ]
check "and never adds the i386 architecture" not grep -q add-architecture "$STATE/calls"
exit "$failed"
