#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for the given number of seconds
# (60 unless given), starting from its seed corpus: the scanner's
# (fuzz/run.sh 60), or the guard texts' reader's (fuzz/run.sh 30 guard_text,
# seeds in fuzz/guard_corpus/). New inputs the fuzzer
# finds go to a working corpus in the build folder, not into the repository.
# The build folder is build-fuzz/ unless LISTPOOL_FUZZ_BUILD names another.
# Exits non-zero when the target crashes or the scanner and the reference
# disagree; the input that did it is left in the build folder as crash-*.
set -euo pipefail
seconds=${1:-60}
target=${2:-input}
case $target in
  input) seeds=corpus ;;
  guard_text) seeds=guard_corpus ;;
  *) echo "fuzz/run.sh: no target $target (input, guard_text)" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LISTPOOL_FUZZ_BUILD:-$root/build-fuzz}

"$root/scripts/deps.sh" clang libclang-rt-14-dev
(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" --target "listpool_${target}_fuzzer"

mkdir -p "$build/corpus-$target"
log="$build/fuzz-$target.log"
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1 detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1 print_stacktrace=1}
status=0
(cd "$build" && "./fuzz/listpool_${target}_fuzzer" -max_total_time="$seconds" \
  -print_final_stats=1 "corpus-$target" "$root/fuzz/$seeds") >"$log" 2>&1 || status=$?
tail -n 25 "$log"
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz: ${runs:-?} executions in ${seconds} s, exit status $status (log: $log)"
exit "$status"
