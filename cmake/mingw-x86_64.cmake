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
# Debian's wine64 has no preloader to keep the page of the shared user data
# (0x7ffe0000) free: the loader's heap starts at a random place above it,
# and about one start in 2,500 its heap already covers that page, so that
# wine ends with status 1 before the program runs. With the address space
# laid out without randomisation the heap starts right after the loader,
# far below that page. A container may refuse that personality, so it is
# tried first.
set(LISTPOOL_WINE64_PREFIX)
execute_process(COMMAND setarch ${CMAKE_HOST_SYSTEM_PROCESSOR} -R true
                RESULT_VARIABLE norandom OUTPUT_QUIET ERROR_QUIET)
if(norandom EQUAL 0)
  set(LISTPOOL_WINE64_PREFIX setarch ${CMAKE_HOST_SYSTEM_PROCESSOR} -R)
endif()
if(LISTPOOL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LISTPOOL_WINE64_PREFIX} ${LISTPOOL_WINE64}
      CACHE STRING "Runs the built Windows programs")
else()
  # Not cached, so that a configure after wine64 is installed finds it.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LISTPOOL_WINE64_PREFIX} wine64)
endif()
