#!/usr/bin/env bash
# Every mutant of the real guard (each statement of its four sequences
# deleted, each two adjacent ones swapped) checked compiled and interpreted
# on the guard's default scenes: the two must give every mutant the same
# verdicts. Builds guard-mutants-check in the plain build (build/, or the
# folder given), whose build writes the mutants' C++ first; prints the
# table and how many mutants each verdict catches; exits 1 on any
# disagreement.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh relacy-dev
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target guard-mutants-check
"$build/tests/sim/guard-mutants-check"
