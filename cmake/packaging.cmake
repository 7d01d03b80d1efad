# What `cmake --install` puts where, and the packages CPack makes from it:
# on Linux a Debian package with the program, its manual page, its changelog
# and copyright file, for Windows a .zip with listpool.exe and a short
# readme. Nothing of the tests is installed.
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
  # Manual pages and changelogs are installed compressed, as Debian's policy
  # asks: gzip -n leaves the name and time out, so the same text gives the
  # same bytes.
  find_program(LISTPOOL_GZIP gzip REQUIRED)
  function(listpool_gzipped source destination)
    get_filename_component(name ${source} NAME)
    set(gzipped ${PROJECT_BINARY_DIR}/${name}.gz)
    add_custom_command(
      OUTPUT ${gzipped}
      COMMAND ${LISTPOOL_GZIP} -9 -n -c ${source} > ${gzipped}
      DEPENDS ${source}
      COMMENT "Compressing ${name}"
      VERBATIM)
    add_custom_target(listpool_${name}_gz ALL DEPENDS ${gzipped})
    install(FILES ${gzipped} DESTINATION ${destination})
  endfunction()
  listpool_gzipped(${PROJECT_SOURCE_DIR}/docs/listpool.1 ${CMAKE_INSTALL_MANDIR}/man1)

  # The package's changelog is Debian's kind; its newest entry is this
  # version.
  file(STRINGS ${PROJECT_SOURCE_DIR}/docs/changelog listpool_newest LIMIT_COUNT 1)
  string(REPLACE "." "\\." listpool_version_pattern ${PROJECT_VERSION})
  if(NOT listpool_newest MATCHES "^listpool \\(${listpool_version_pattern}\\) ")
    message(FATAL_ERROR "docs/changelog begins with '${listpool_newest}', "
                        "not with an entry for version ${PROJECT_VERSION}")
  endif()
  listpool_gzipped(${PROJECT_SOURCE_DIR}/docs/changelog ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
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

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
else()
  set(CPACK_GENERATOR DEB)
  # Stripped as dh_strip does it, which a plain strip (CPACK_STRIP_FILES)
  # does not quite.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/dh-strip.cmake)
  set(CPACK_LISTPOOL_STRIP ${CMAKE_STRIP})
  set(CPACK_LISTPOOL_PROGRAMS ${CMAKE_INSTALL_BINDIR}/listpool)
endif()

# listpool_<version>_<architecture>.deb, as Debian names its packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries it links, with their versions, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
