# SPDX-License-Identifier: MIT
# How a program of Lintara is installed. Each install rule names the Debian
# package it belongs to by its component (see deb.cmake): "term" for
# lintara-term, "tray" for lintara.
include(GNUInstallDirs)

find_program(LINTARA_GZIP_COMMAND gzip)

# lintara_gzip(<input> <output>): a copy of <input> compressed as Debian
# wants its documentation: at the highest level, with no name or time stamp
# inside, so two builds give the same bytes. Redone when <input> changes.
function(lintara_gzip input output)
  if(NOT LINTARA_GZIP_COMMAND)
    message(FATAL_ERROR "Lintara: gzip is needed to compress ${input}")
  endif()
  get_filename_component(directory ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${directory})
  execute_process(COMMAND ${LINTARA_GZIP_COMMAND} -9nc ${input}
    OUTPUT_FILE ${output}
    COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()

# lintara_install_program(<target> <component>): the executable into bin, and
# its manual page, man/<target>.1.in, into section 1. Every installed program
# has a manual page, so a missing one stops the configuration.
function(lintara_install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  set_property(GLOBAL APPEND PROPERTY LINTARA_INSTALLED_PROGRAMS ${target})

  # strip keeps .comment, which only names the compiler of each object file;
  # Debian's packages leave it out. Only when the install strips, so that a
  # plain install keeps the binary as it was built.
  if(CMAKE_OBJCOPY)
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
          COMMAND_ERROR_IS_FATAL ANY)
      endif()"
      COMPONENT ${component})
  endif()

  set(source ${PROJECT_SOURCE_DIR}/man/${target}.1.in)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "Lintara: ${target} is installed but has no manual page (${source})")
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  configure_file(${source} ${page} @ONLY)
  lintara_gzip(${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
