# What `cmake --install` puts where, and the packages CPack makes from it:
# on Linux a Debian package with the program and its manual page, for
# Windows a .zip with listpool.exe and a short readme. Nothing of the tests
# is installed.
include(GNUInstallDirs)

if(WIN32)
  # A folder to unpack anywhere: the program and its readme side by side,
  # the readme with Windows line ends.
  install(TARGETS listpool RUNTIME DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/docs/README-windows.txt.in
                 ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
else()
  install(TARGETS listpool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Manual pages are installed compressed, as Debian's policy asks: gzip -n
  # leaves the name and time out, so the same page gives the same bytes.
  find_program(LISTPOOL_GZIP gzip REQUIRED)
  set(listpool_man_page ${PROJECT_BINARY_DIR}/listpool.1.gz)
  add_custom_command(
    OUTPUT ${listpool_man_page}
    COMMAND ${LISTPOOL_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/docs/listpool.1 > ${listpool_man_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/listpool.1
    COMMENT "Compressing the manual page listpool(1)"
    VERBATIM)
  add_custom_target(listpool_man_page ALL DEPENDS ${listpool_man_page})
  install(FILES ${listpool_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Packages only for a build of this project itself, not for one that embeds it.
if(NOT CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
  return()
endif()

set(CPACK_PACKAGE_NAME listpool)
set(CPACK_PACKAGE_VENDOR "listpool maintainers")
set(CPACK_PACKAGE_CONTACT
    "listpool maintainers <maintainers@users.noreply.c-seed-3ca79cd6.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "An interactive console program that keeps a singly linked list of integers
in a fixed pool of five records. One-letter commands insert, delete and dump
the pool at once; printing, finding and collecting the pool run on background
threads that share the list through a reader-writer guard, write their
reports to log files in the current folder and announce completion on
standard error. See listpool(1).")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()

# listpool_<version>_<architecture>.deb, as Debian names its packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries it links, with their versions, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
