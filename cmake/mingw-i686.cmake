# Cross build of the 32-bit Windows console program with Debian's MinGW-w64
# compiler (package g++-mingw-w64-i686-posix; its posix thread model gives
# std::thread and std::mutex). Programs the build runs, the tests among them,
# run under wine.
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LISTPOOL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${LISTPOOL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LISTPOOL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LISTPOOL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the target's tree only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LISTPOOL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
