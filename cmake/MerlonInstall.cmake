# Install rules shared by the tool's programs. A program comes with a German
# manual page; both go where a Linux desktop looks for them:
#   merlon_install_program(<target> MANUAL <page>.<section>.in)
# installs <target> into bin and the page, compressed as Debian wants it, into
# man/de/man<section>, with a link in man<section> so that the page is found
# whatever the reader's locale (the programs speak German only). The page is
# a template: @PROJECT_VERSION@ in it becomes the version in project(), so
# that every page names the version it came with.
include(GNUInstallDirs)
find_program(MERLON_GZIP gzip REQUIRED)

function(merlon_install_program target)
  cmake_parse_arguments(ARG "" "MANUAL" "" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT ARG_MANUAL)
    message(FATAL_ERROR "merlon_install_program(${target}): a MANUAL page is missing")
  endif()

  get_filename_component(template ${ARG_MANUAL} NAME)
  if(NOT template MATCHES "\\.[0-9]\\.in$")
    message(FATAL_ERROR "merlon_install_program(${target}): ${ARG_MANUAL} is not <page>.<section>.in")
  endif()
  string(REGEX REPLACE "\\.in$" "" page ${template})
  string(REGEX MATCH "[0-9]$" section ${page})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${page})
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/${ARG_MANUAL} ${source} @ONLY)
  # The build folder mirrors the installed layout, so that the link resolves
  # here too and the build tool sees it as up to date.
  set(work ${CMAKE_CURRENT_BINARY_DIR}/man)
  set(compressed ${work}/de/man${section}/${page}.gz)
  set(link ${work}/man${section}/${page}.gz)
  add_custom_command(OUTPUT ${compressed} ${link}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}/de/man${section} ${work}/man${section}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${work}/de/man${section}/${page}
    COMMAND ${MERLON_GZIP} -9nf ${work}/de/man${section}/${page}
    COMMAND ${CMAKE_COMMAND} -E create_symlink ../de/man${section}/${page}.gz ${link}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  add_custom_target(${target}-manual ALL DEPENDS ${compressed} ${link})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/de/man${section})
  install(FILES ${link} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
