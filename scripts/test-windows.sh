#!/usr/bin/env bash
# Builds the Windows program with the MinGW-w64 cross compilers and runs the
# whole test suite on it under wine: the unit tests as .exe files and the
# end-to-end sessions, which then expect CR LF line ends.
#
# The program's own platform is 32-bit Windows: that build (preset
# windows-i686, build-windows/) is always made and its imports checked. Its
# tests need a host that runs 32-bit x86 programs, which not every x86-64
# kernel does, so a quick probe decides. Where they run, the suite runs on
# the 32-bit build under wine. Where they cannot, the same source is built
# for 64-bit Windows (preset windows-x86_64, build-windows-x64/) and the
# suite runs on that under wine64. LISTPOOL_FORCE_NO_32BIT=1 takes the second
# way on any host.
#
# Each build folder holds its own wine prefix, made only once.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

say() { echo "test-windows: $*"; }
fail() {
  echo "test-windows: $*" >&2
  exit 1
}

cleanup=()
run_cleanup() {
  local step
  for step in "${cleanup[@]}"; do
    eval "$step" || true
  done
}
trap run_cleanup EXIT

# Whether this host runs 32-bit x86 programs, found by running one: a static
# i386 ELF of 96 bytes that only makes the system call exit(7) through
# int 0x80. Where the kernel has no 32-bit support, exec fails with "Exec
# format error" instead. A shell script exiting 7 from the same folder shows
# first that the folder lets programs run at all, so that a refusal there is
# not taken for a missing 32-bit support.
mkdir -p build-windows
probe=$(mktemp -d "$root/build-windows/probe.XXXXXX")
cleanup+=("rm -rf '$probe'")
printf '#!/bin/sh\nexit 7\n' >"$probe/script"
# The ELF header: 32-bit, little-endian, an executable for the i386, entry at
# 0x08048054 (just past both headers), one program header at offset 52.
elf='\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0'
elf+='\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
# The program header: the whole file loaded at 0x08048000, readable and
# executable.
elf+='\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0'
# The code: mov eax, 1 (exit); mov ebx, 7; int 0x80.
elf+='\270\1\0\0\0\273\7\0\0\0\315\200'
# shellcheck disable=SC2059 # the octal escapes are for printf to decode
printf "$elf" >"$probe/i386"
chmod +x "$probe/script" "$probe/i386"
status=0
"$probe/script" >"$probe/script.log" 2>&1 </dev/null || status=$?
if [ "$status" -ne 7 ]; then
  cat "$probe/script.log" >&2
  fail "cannot tell whether this host runs 32-bit programs: a shell script in $probe" \
    "ended with status $status, not 7"
fi
status=0
"$probe/i386" >"$probe/i386.log" 2>&1 </dev/null || status=$?
if [ "$status" -eq 7 ]; then
  runs_32bit=yes
  why="this host runs 32-bit x86 programs (a static i386 test program exited with 7)"
else
  runs_32bit=no
  said=$(tr '\n' ' ' <"$probe/i386.log")
  said=${said% }
  why="this host cannot run 32-bit x86 programs (a static i386 test program ended with status $status${said:+: $said})"
fi
if [ -n "${LISTPOOL_FORCE_NO_32BIT:-}" ] && [ "$LISTPOOL_FORCE_NO_32BIT" != 0 ]; then
  runs_32bit=no
  why="LISTPOOL_FORCE_NO_32BIT=$LISTPOOL_FORCE_NO_32BIT, whatever the probe found: $why"
fi

# What is missing is installed first, quietly, so that the first line says
# what is tested; what the installation said is shown if it fails. A host
# that runs 32-bit programs may still get no wine32 from its mirror: then
# the 64-bit build is tested, as on a host that cannot.
status=0
"$root/scripts/windows-packages.sh" "$runs_32bit" >"$probe/packages" 2>build-windows/deps.log ||
  status=$?
if [ "$status" -ne 0 ]; then
  cat build-windows/deps.log >&2
  fail "$(tail -n 1 build-windows/deps.log)"
fi
if [ "$(head -n 1 "$probe/packages")" = 64 ] && [ "$runs_32bit" = yes ]; then
  runs_32bit=no
  why="$(sed -n 2p "$probe/packages"), though $why"
fi
if [ "$runs_32bit" = yes ]; then
  say "testing the 32-bit build, build-windows/listpool.exe, under wine: $why"
else
  say "testing the 64-bit build, build-windows-x64/listpool.exe, under wine64; the 32-bit" \
    "build is only built and its imports checked: $why"
fi
# What the package step had to say, such as indexes a mirror failed to give.
grep '^deps: ' build-windows/deps.log >&2 || true

# The program must run on a plain Windows: it may import system DLLs only.
check_imports() {
  local exe=$1 objdump=$2 imports foreign
  imports=$("$objdump" -p "$exe" | awk '/DLL Name:/ { print $3 }')
  foreign=$(grep -viE '^(kernel32|msvcrt)\.dll$' <<<"$imports" || true)
  if [ -n "$foreign" ]; then
    fail "$exe needs DLLs that Windows does not ship: ${foreign//$'\n'/ }"
  fi
  say "$exe imports only ${imports//$'\n'/ }"
}

# Starts wine for the configured build in folder $1, in that folder's prefix,
# with the settings its preset gives the build and the tests. One wine server
# serves the whole run, and wine's own services start here, before any test
# program runs (the build runs them to list their tests): started by a test,
# they would outlive it holding its output open, and each test would pay
# wine's start-up. Whatever wine says goes to $1/wine.log, shown if it fails.
start_wine() {
  local build=$1 emulator log status
  emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt")
  [ -n "$emulator" ] || fail "the configure of $build found no wine to run its programs"
  local -a wine
  IFS=';' read -ra wine <<<"$emulator"
  export WINEPREFIX="$root/$build/wine-prefix"
  export WINEDEBUG=-all
  # No Mono or Gecko: console programs need neither, and wine would ask for them.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  log="$root/$build/wine.log"
  mkdir -p "$WINEPREFIX"
  : >"$log"
  status=0
  wineserver -p </dev/null >>"$log" 2>&1 || status=$?
  cleanup+=("WINEPREFIX='$WINEPREFIX' wineserver -k >/dev/null 2>&1")
  if [ "$status" -eq 0 ]; then
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "${wine[@]}" wineboot -i </dev/null >>"$log" 2>&1 || status=$?
    else
      "${wine[@]}" wineboot </dev/null >>"$log" 2>&1 || status=$?
    fi
  fi
  # wineboot can end well without a working wine; a command whose status is
  # known shows that programs run in this prefix.
  if [ "$status" -eq 0 ]; then
    "${wine[@]}" cmd /c exit 7 </dev/null >>"$log" 2>&1 || status=$?
    [ "$status" -eq 7 ] && status=0
  fi
  if [ "$status" -ne 0 ]; then
    echo "--- what wine said ($log):" >&2
    cat "$log" >&2
    echo "---" >&2
    fail "wine ($emulator) does not run programs in $WINEPREFIX (status $status)"
  fi
  say "wine ($emulator) runs programs in $WINEPREFIX"
}

cmake --preset windows-i686
if [ "$runs_32bit" = yes ]; then
  start_wine build-windows
  cmake --build --preset windows-i686
  check_imports build-windows/listpool.exe i686-w64-mingw32-objdump
  ctest --preset windows-i686
  tested="the 32-bit build, build-windows/listpool.exe, under wine"
else
  # The program alone: building the tests would run them to list their tests.
  cmake --build --preset windows-i686 --target listpool
  check_imports build-windows/listpool.exe i686-w64-mingw32-objdump
  cmake --preset windows-x86_64
  # Debian's wine64 starts reliably only with address-space randomisation
  # off (cmake/mingw-x86_64.cmake says why); where setarch is refused, say so.
  if ! grep -q '^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=setarch;' build-windows-x64/CMakeCache.txt; then
    say "setarch -R is refused here, so wine64 runs with its address space randomised:" \
      "about one start in 2,500 may end with status 1 before the program runs"
  fi
  start_wine build-windows-x64
  cmake --build --preset windows-x86_64
  check_imports build-windows-x64/listpool.exe x86_64-w64-mingw32-objdump
  ctest --preset windows-x86_64
  tested="the 64-bit build, build-windows-x64/listpool.exe, under wine64"
fi
say "tested $tested in $((SECONDS - start)) s: $why"
