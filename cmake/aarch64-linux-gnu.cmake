# Cross build for 64-bit ARM Linux with Debian's cross compiler (package
# g++-aarch64-linux-gnu). Programs the build runs, the tests among them, run
# under qemu's user-mode emulator (package qemu-user) with the target's C and
# C++ libraries from /usr/aarch64-linux-gnu.
#
#   cmake --preset arm64
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(LISTPOOL_CROSS_ROOT /usr/aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Headers and libraries come from the target's tree only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH ${LISTPOOL_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${LISTPOOL_CROSS_ROOT}
    CACHE STRING "Runs the built aarch64 programs")
