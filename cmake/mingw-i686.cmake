# Cross build of the 32-bit Windows console program with Debian's MinGW-w64
# compiler (package g++-mingw-w64-i686-posix). Programs the build runs, the
# tests among them, run under wine, which needs a host that runs 32-bit x86
# programs (Debian: wine32 from the i386 architecture).
#
#   cmake --preset windows-i686
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LISTPOOL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE STRING "Runs the built Windows programs")
