# The compiler and linker flags Debian builds its packages with, as
# dpkg-buildflags gives them (package dpkg-dev), with all of its hardening on:
# besides the defaults (PIE, stack protector, fortify, relro) that takes in
# bind-now. Flags the caller's DEB_BUILD_MAINT_OPTIONS or DEB_*FLAGS_* ask
# for are honoured. CMake reads no CPPFLAGS, so the preprocessor's flags go
# with the compiler's, as debhelper's cmake build does it.
find_program(LISTPOOL_DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags REQUIRED)
foreach(kind IN ITEMS CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
            "DEB_BUILD_MAINT_OPTIONS=hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}"
            ${LISTPOOL_DPKG_BUILDFLAGS_PROGRAM} --get ${kind}
    # Its -ffile-prefix-map names the folder it runs in: the sources'.
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE listpool_dpkg_${kind}
    OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
string(APPEND CMAKE_CXX_FLAGS " ${listpool_dpkg_CPPFLAGS} ${listpool_dpkg_CXXFLAGS}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${listpool_dpkg_LDFLAGS}")
message(STATUS "dpkg-buildflags: ${listpool_dpkg_CPPFLAGS} ${listpool_dpkg_CXXFLAGS}; ${listpool_dpkg_LDFLAGS}")
