#!/usr/bin/env bash
# Builds the 32-bit Windows program with the MinGW-w64 cross compiler and runs
# the whole test suite on it under wine: the unit tests as .exe files and the
# end-to-end sessions, which then expect CR LF line ends. The argument names
# the build folder (build-windows by default); the wine prefix lives in it and
# is made only once.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
start=$SECONDS

# wine32 comes from the i386 architecture; deps.sh updates the package lists
# whenever something is missing, so adding the architecture is enough here.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo dpkg --add-architecture i386
fi
scripts/deps.sh googletest g++-mingw-w64-i686-posix wine wine32:i386

mkdir -p "$build"
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko: console programs need neither, and wine would ask for them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
# One wine server for the whole run, with wine's own services started here,
# before any test: started by a test, they would outlive it holding its output
# open, and each test would pay wine's start-up.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
else
  wineboot </dev/null >/dev/null 2>&1
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"

# The program must run on a plain Windows: it may import system DLLs only.
imports=$(i686-w64-mingw32-objdump -p "$build/listpool.exe" | awk '/DLL Name:/ { print $3 }')
foreign=$(grep -viE '^(kernel32|msvcrt)\.dll$' <<<"$imports" || true)
if [ -n "$foreign" ]; then
  echo "listpool.exe needs DLLs that Windows does not ship:" $foreign >&2
  exit 1
fi

ctest --test-dir "$build" --output-on-failure -j 4 --timeout 300
echo "Windows build and tests: $((SECONDS - start)) s"
