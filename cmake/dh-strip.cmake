# Run by CPack on the staged files before it makes the Debian package: strips
# the programs (CPACK_LISTPOOL_PROGRAMS, below the install prefix) as
# debhelper's dh_strip does, of their symbols and of the compiler's .comment
# and .note sections, which nothing reads at run time.
foreach(program IN LISTS CPACK_LISTPOOL_PROGRAMS)
  set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${program})
  if(NOT EXISTS ${staged})
    message(FATAL_ERROR "${staged} is not staged: nothing to strip")
  endif()
  execute_process(
    COMMAND ${CPACK_LISTPOOL_STRIP} --remove-section=.comment --remove-section=.note ${staged}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
