#!/usr/bin/env bash
# Builds the scanner's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for the given number of seconds
# (60 unless given), starting from the seed corpus. New inputs the fuzzer
# finds go to a working corpus in the build folder, not into the repository.
# The build folder is build-fuzz/ unless LISTPOOL_FUZZ_BUILD names another.
# Exits non-zero when the target crashes or the scanner and the reference
# disagree; the input that did it is left in the build folder as crash-*.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LISTPOOL_FUZZ_BUILD:-$root/build-fuzz}

"$root/scripts/deps.sh" clang libclang-rt-14-dev
(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" --target listpool_input_fuzzer

mkdir -p "$build/corpus"
log="$build/fuzz.log"
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1 detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1 print_stacktrace=1}
status=0
(cd "$build" && ./fuzz/listpool_input_fuzzer -max_total_time="$seconds" -print_final_stats=1 \
  corpus "$root/fuzz/corpus") >"$log" 2>&1 || status=$?
tail -n 25 "$log"
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz: ${runs:-?} executions in ${seconds} s, exit status $status (log: $log)"
exit "$status"
