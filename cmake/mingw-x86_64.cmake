# Cross build of the same program for 64-bit Windows with Debian's MinGW-w64
# compiler (package g++-mingw-w64-x86-64-posix). Its programs run under
# wine's 64-bit loader, so they also run on a host that cannot run 32-bit
# x86 programs.
#
#   cmake --preset windows-x86_64
#   cmake -S . -B build-windows-x64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LISTPOOL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian's wine64 package keeps the loader out of PATH; the wine wrapper on
# PATH would pick the 32-bit loader whenever wine32 is installed too.
find_program(LISTPOOL_WINE64 wine64 PATHS /usr/lib/wine DOC "wine's 64-bit loader")
if(LISTPOOL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LISTPOOL_WINE64} CACHE STRING "Runs the built Windows programs")
else()
  # Not cached, so that a configure after wine64 is installed finds it.
  set(CMAKE_CROSSCOMPILING_EMULATOR wine64)
endif()
