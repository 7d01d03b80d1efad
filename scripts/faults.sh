#!/usr/bin/env bash
# Puts each hand-made fault of tests/faults/ into a scratch copy of the
# repository, one at a time, and shows which checks catch it: the test suite
# of the plain build and clang's thread-safety analysis of the program's
# sources. Prints a table and exits non-zero when a fault is caught by
# nothing, or a patch no longer applies or builds.
#
#   scripts/faults.sh [--all | --named] [--report] [FAULT...]
#
# By default every test but the end-to-end ones runs for each fault, plus
# the end-to-end cases that the patch's "Tests:" line names (they take real
# seconds). --all runs every test; --named only those the "Tests:" line
# names. --report always exits 0. FAULT picks patches by the start of their
# name (e.g. 05 or 05-guard).
#
# The copy holds the working tree's files (tracked, and untracked ones not
# ignored) in build-faults/src/ unless LISTPOOL_FAULTS_DIR names another
# folder; it is kept between runs, with its build in src/build/, so that each
# fault rebuilds only the files its patch touches.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${LISTPOOL_FAULTS_DIR:-$root/build-faults}
src=$scratch/src

mode=default
report=false
picked=()
for argument in "$@"; do
  case $argument in
    --all) mode=all ;;
    --named) mode=named ;;
    --report) report=true ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    -*)
      echo "unknown option $argument" >&2
      exit 2
      ;;
    *) picked+=("$argument") ;;
  esac
done

patches=()
for patch in "$root"/tests/faults/*.patch; do
  name=$(basename "$patch" .patch)
  if ((${#picked[@]})); then
    for start in "${picked[@]}"; do
      if [[ $name == "$start"* ]]; then
        patches+=("$patch")
        break
      fi
    done
  else
    patches+=("$patch")
  fi
done
if ((${#patches[@]} == 0)); then
  echo "no fault patch matches: ${picked[*]}" >&2
  exit 2
fi

"$root/scripts/deps.sh" clang

# Copies the files that differ, so that unchanged ones keep their times and
# are not rebuilt.
sync_copy() {
  mkdir -p "$src"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard) |
    while IFS= read -r -d '' file; do
      [ -f "$root/$file" ] || continue
      if ! cmp -s "$root/$file" "$src/$file"; then
        mkdir -p "$(dirname "$src/$file")"
        cp "$root/$file" "$src/$file"
      fi
    done
}

# The program's sources, as the thread-safety preset compiles them.
core_sources() {
  (cd "$src" && ls platform/posix.cpp streams/stream.cpp store/*.cpp workers/*.cpp console/*.cpp)
}

# Compiles the given sources with the analysis, warnings as errors; prints
# the analysis's first complaint and fails when there is one.
analysis() {
  local output status=0
  output=$(cd "$src" && printf '%s\n' "$@" | xargs -P 2 -n 1 clang++ -std=c++20 -fsyntax-only \
    -Wall -Wextra -Wpedantic -Werror -Wthread-safety -Wthread-safety-beta -I. 2>&1) || status=$?
  if ((status != 0)); then
    grep -m 1 'error:' <<<"$output" | sed 's/^[^ ]* error: //' || true
    return 1
  fi
}

# Runs ctest in the copy with the given arguments; prints the names of the
# tests that failed, one a line.
failed_tests() {
  local output
  output=$(cd "$src" && ctest --preset default "$@" 2>&1) || true
  if grep -q 'No tests were found' <<<"$output"; then
    return 0
  fi
  sed -n '/The following tests FAILED:/,$p' <<<"$output" |
    sed -n 's/^[[:space:]]*[0-9][0-9]* - \(.*\) ([^)]*)$/\1/p' | sed 's/  *#.*$//'
}

# The tests to run for a fault whose patch names the tests in $1.
run_tests() {
  local named=$1
  case $mode in
    all) failed_tests ;;
    named) failed_tests -R "$named" ;;
    default)
      failed_tests -E '^e2e\.'
      if grep -q 'e2e' <<<"$named"; then
        failed_tests -L e2e -R "$named"
      fi
      ;;
  esac
}

build() {
  (cd "$src" && cmake --build --preset default -j 2 >"$scratch/build.log" 2>&1)
}

sync_copy
# A patch left applied by an interrupted run is taken back first.
for patch in "${patches[@]}"; do
  (cd "$src" && patch -p1 -R --dry-run --fuzz=0 -s -f <"$patch" >/dev/null 2>&1 &&
    patch -p1 -R --fuzz=0 -s -f --no-backup-if-mismatch <"$patch" >/dev/null) || true
done
sync_copy

echo "faults: building the unpatched copy in $src"
(cd "$src" && cmake --preset default >"$scratch/configure.log" 2>&1) ||
  { cat "$scratch/configure.log"; exit 1; }
build || { tail -n 30 "$scratch/build.log"; exit 1; }
mapfile -t all_core < <(core_sources)
# The unpatched copy must pass every test that any fault is tried against.
union=$(for patch in "${patches[@]}"; do sed -n 's/^Tests: //p' "$patch" | head -n 1; done |
  paste -sd '|')
baseline=$(run_tests "$union")
if [ -n "$baseline" ]; then
  echo "the unpatched copy already fails these tests; mend them first:" >&2
  echo "$baseline" >&2
  exit 1
fi
if ! analysis "${all_core[@]}" >/dev/null; then
  echo "the unpatched copy fails the thread-safety analysis; run scripts/check-thread-safety.sh" >&2
  exit 1
fi
echo "faults: the unpatched copy passes; trying ${#patches[@]} faults ($mode tests)"

rows=()
tried=0
caught=0
broken=0
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  named=$(sed -n 's/^Tests: //p' "$patch" | head -n 1)
  started=$SECONDS
  tried=$((tried + 1))
  if ! (cd "$src" && patch -p1 --dry-run --fuzz=0 -s <"$patch" >/dev/null 2>&1); then
    rows+=("$name|PATCH DOES NOT APPLY|")
    broken=$((broken + 1))
    echo "  $name: the patch does not apply to this tree"
    continue
  fi
  (cd "$src" && patch -p1 --fuzz=0 -s --no-backup-if-mismatch <"$patch" >/dev/null)

  by=()
  mapfile -t touched < <(sed -n 's|^+++ b/||p' "$patch")
  checked=()
  for file in "${touched[@]}"; do
    case $file in
      *.h) checked=("${all_core[@]}") && break ;;
      platform/win32.cpp | tests/* | bench/* | fuzz/*) ;;
      *.cpp) checked+=("$file") ;;
    esac
  done
  if ((${#checked[@]})) && ! complaint=$(analysis "${checked[@]}"); then
    by+=("analysis: $complaint")
  fi

  if build; then
    mapfile -t failures < <(run_tests "$named")
    by+=("${failures[@]}")
    if ((${#by[@]})); then
      caught=$((caught + 1))
      verdict=yes
    else
      verdict=NO
    fi
  else
    verdict="DOES NOT BUILD"
    broken=$((broken + 1))
    tail -n 20 "$scratch/build.log"
  fi
  (cd "$src" && patch -p1 -R --fuzz=0 -s --no-backup-if-mismatch <"$patch" >/dev/null)

  joined=$(printf '%s; ' "${by[@]}")
  rows+=("$name|$verdict|${joined%; }")
  echo "  $name: $verdict ($((SECONDS - started)) s)"
done

echo
printf '%-32s %-8s %s\n' fault caught "caught by"
for row in "${rows[@]}"; do
  IFS='|' read -r name verdict by <<<"$row"
  printf '%-32s %-8s %s\n' "$name" "$verdict" "$by"
done
echo
echo "faults caught: $caught of $tried tried ($mode tests)"
if ! $report && ((caught < tried)); then
  exit 1
fi
