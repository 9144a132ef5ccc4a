# How a program of Brimwick+ is installed: into <libdir>/brimwick beside ChipInfo.chip, with
# a link in <bindir> and its manual page.
#
#   brimwick_install_program(<target> [MANUAL_FROM_HELP <one-line description>])
#
# The manual page is desktop/<target>.1, written by hand, installed gzipped in <mandir>/man1.
# A program without one may ask for MANUAL_FROM_HELP: help2man makes <target>.1 from the
# program's --help (run at build time; it must exit 0 and print a usage text). Without
# help2man that page is left out with a warning.

find_program(BRIMWICK_HELP2MAN help2man)
find_program(BRIMWICK_GZIP gzip)

function(brimwick_install_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MANUAL_FROM_HELP" "")
  install(TARGETS ${target} RUNTIME DESTINATION ${BRIMWICK_INSTALL_DIR})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\")
    get_filename_component(folder \"\${link}\" DIRECTORY)
    file(MAKE_DIRECTORY \"\${folder}\")
    file(CREATE_LINK ../${BRIMWICK_INSTALL_DIR}/${target} \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link}\")
  ")
  if(EXISTS ${BRIMWICK_MANUAL_SOURCE_DIR}/${target}.1)
    brimwick_manual(${target})
  elseif(arg_MANUAL_FROM_HELP)
    brimwick_manual_from_help(${target} "${arg_MANUAL_FROM_HELP}")
  endif()
endfunction()

set(BRIMWICK_MANUAL_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(brimwick_manual target)
  if(NOT BRIMWICK_GZIP)
    message(WARNING "gzip not found: no manual page for ${target}")
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${BRIMWICK_GZIP} -9nc ${BRIMWICK_MANUAL_SOURCE_DIR}/${target}.1 > ${page}
    DEPENDS ${BRIMWICK_MANUAL_SOURCE_DIR}/${target}.1
    VERBATIM)
  add_custom_target(${target}_manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

function(brimwick_manual_from_help target description)
  if(NOT BRIMWICK_HELP2MAN OR NOT BRIMWICK_GZIP)
    message(WARNING "help2man or gzip not found: no manual page for ${target}")
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${BRIMWICK_HELP2MAN} --no-info --section=1 --help-option=--help
            --version-string=${PROJECT_VERSION} --name=${description}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${BRIMWICK_GZIP} -9nf ${page}
    DEPENDS ${target}
    COMMENT "Building the manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_manual ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
