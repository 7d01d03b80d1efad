#!/usr/bin/env bash
# Builds the program with clang's thread-safety analysis, its warnings as
# errors (the thread-safety preset, in build-thread-safety/): which guard each
# field of the list and the pool needs, the pool's guard before the list's,
# and inside the guard, readerCount touched only under countMutex. Then checks
# that the analysis still rejects the faulty sources in tests/thread_safety/
# and accepts their control. The unit tests are not built here: they reach
# into the guard and the pool on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang
cmake --preset thread-safety >/dev/null
cmake --build --preset thread-safety
ctest --preset thread-safety
echo "thread-safety analysis: the program is clean and every faulty source is rejected"
