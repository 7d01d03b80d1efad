# What the two MinGW-w64 toolchain files share: Debian's cross compilers of
# the posix thread model (which gives std::thread and std::mutex), found by
# the triple that the including file sets in LISTPOOL_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

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
