#!/usr/bin/env bash
# Cross-builds the program and its tests for 64-bit ARM Linux (preset arm64,
# build-arm64/) with Debian's cross compiler and runs the test suite on them
# under qemu's user-mode emulator: the unit tests, the stress tests, the
# simulator's tests and the end-to-end sessions; the searches labelled
# "large" are left out, as in the plain suite.
#
#   scripts/test-arm64.sh [CTEST ARGUMENTS...]
#
# The arguments go to ctest: `-E GuardSearch` leaves tests out by name,
# `-LE e2e` by label. Environment variables the tests read (such as
# LISTPOOL_SIM_SEEDS) reach them as in any build.
#
# Whether this host runs aarch64 programs under qemu is found by running one,
# built with the same cross compiler. Where it does not, or with
# LISTPOOL_FORCE_NO_QEMU=1, everything is still built (the tests list
# themselves only when run) and checked to be aarch64 code, and the first
# and last lines say that nothing ran and why.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
build="build-arm64"
root=/usr/aarch64-linux-gnu

say() { echo "test-arm64: $*"; }
fail() {
  echo "test-arm64: $*" >&2
  exit 1
}

mkdir -p "$build"
# What is missing is installed first, quietly, so that the first line says
# what is tested; what the installation said is shown if it fails.
if ! scripts/deps.sh googletest g++-aarch64-linux-gnu qemu-user >"$build/deps.log" 2>&1; then
  cat "$build/deps.log" >&2
  fail "could not install what the cross build and its tests need"
fi

# The probe: a C++ program of the target that prints a word and exits with
# 7, run under qemu with the target's libraries.
probe=$(mktemp -d "$PWD/$build/probe.XXXXXX")
trap 'rm -rf "$probe"' EXIT
printf '#include <cstdio>\nint main() {\n    std::puts("aarch64");\n    return 7;\n}\n' >"$probe/probe.cpp"
aarch64-linux-gnu-g++ -o "$probe/probe" "$probe/probe.cpp" ||
  fail "the cross compiler aarch64-linux-gnu-g++ cannot build a program"
status=0
qemu-aarch64 -L "$root" "$probe/probe" >"$probe/out" 2>&1 </dev/null || status=$?
said=$(tr '\n' ' ' <"$probe/out")
said=${said% }
if [ "$status" -eq 7 ] && [ "$said" = aarch64 ]; then
  runs=yes
  why="this host runs aarch64 programs under qemu-aarch64 (a test program printed its word and exited with 7)"
else
  runs=no
  why="this host cannot run aarch64 programs under qemu-aarch64 (a test program ended with status $status${said:+: $said})"
fi
if [ -n "${LISTPOOL_FORCE_NO_QEMU:-}" ] && [ "$LISTPOOL_FORCE_NO_QEMU" != 0 ]; then
  runs=no
  why="LISTPOOL_FORCE_NO_QEMU=$LISTPOOL_FORCE_NO_QEMU, whatever the probe found: $why"
fi

# Every program of the build is aarch64 code, and the platform layer's
# spin-wait hint is the aarch64 one: a yield in the program's mutex.
check_build() {
  local program machine
  for program in listpool sim/listpool-sim tests/listpool_tests tests/sim/listpool_sim_tests \
    tests/stress/listpool_stress_tests; do
    machine=$(readelf -h "$build/$program" | sed -n 's/^ *Machine: *//p')
    [ "$machine" = AArch64 ] || fail "$build/$program is for '$machine', not AArch64"
  done
  local yields
  yields=$(aarch64-linux-gnu-objdump -d "$build/listpool" | grep -cw yield || true)
  [ "$yields" -gt 0 ] ||
    fail "$build/listpool has no yield instruction: the aarch64 spin-wait hint was not compiled"
  say "every program in $build/ is AArch64 code; listpool spins with yield ($yields in all)"
}

if [ "$runs" = yes ]; then
  say "testing $build/ (aarch64) under qemu-aarch64: $why"
  # What the package step had to say, such as indexes a mirror failed to give.
  grep '^deps: ' "$build/deps.log" >&2 || true
  cmake --preset arm64 -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=POST_BUILD
  cmake --build --preset arm64
  check_build
  status=0
  ctest --preset arm64 "$@" | tee "$build/ctest.log" || status=$?
  [ "$status" -eq 0 ] || fail "tests failed under qemu-aarch64 (status $status)"
  counted=$(grep -E '^[0-9]+% tests passed' "$build/ctest.log" | tail -1)
  say "tested $build/ (aarch64) under qemu-aarch64 in $((SECONDS - start)) s, $counted: $why"
else
  say "building $build/ (aarch64) only, running nothing of it: $why"
  # What the package step had to say, such as indexes a mirror failed to give.
  grep '^deps: ' "$build/deps.log" >&2 || true
  # Test discovery would run the test programs at build time; at test time
  # instead, the build needs to run nothing.
  cmake --preset arm64 -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
  cmake --build --preset arm64
  check_build
  say "built $build/ (aarch64) in $((SECONDS - start)) s and checked its code; ran no test: $why"
fi
