include_guard(GLOBAL)

# The rule that makes a GRUB image of the release: scripts/SCRIPT makes FILES
# in OUT_DIR from Debian's PACKAGE, whose folder LIB (LIB_VAR in the script's
# environment) holds LIB_FILES, the first showing that PACKAGE is installed;
# a new version of it rewrites VERSION_FILE and so rebuilds. The target TARGET
# builds by default; WHAT names the files in the build's message.
function(kavel_grub_image)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;PACKAGE;LIB;LIB_VAR;SCRIPT;OUT_DIR;VERSION_FILE;WHAT"
                        "FILES;LIB_FILES")
  execute_process(COMMAND dpkg-query -W "-f=\${source:Package} \${source:Version}" ${arg_PACKAGE}
                  OUTPUT_VARIABLE _source RESULT_VARIABLE _rc)
  list(GET arg_LIB_FILES 0 _installed)
  if(NOT _rc EQUAL 0 OR _source STREQUAL "" OR NOT EXISTS ${arg_LIB}/${_installed})
    message(FATAL_ERROR "${arg_PACKAGE} is not installed: run scripts/install-deps.sh")
  endif()
  # Rewritten only when the version changes, so that a new version rebuilds.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/${arg_VERSION_FILE} CONTENT "${_source}\n")

  set(_files ${arg_FILES})
  list(TRANSFORM _files PREPEND ${arg_OUT_DIR}/)
  set(_lib_files ${arg_LIB_FILES})
  list(TRANSFORM _lib_files PREPEND ${arg_LIB}/)
  add_custom_command(
    OUTPUT ${_files}
    COMMAND ${CMAKE_COMMAND} -E env ${arg_LIB_VAR}=${arg_LIB}
            ${PROJECT_SOURCE_DIR}/scripts/${arg_SCRIPT} ${arg_OUT_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/${arg_SCRIPT} ${PROJECT_SOURCE_DIR}/scripts/grub-image-lib.sh
            ${CMAKE_BINARY_DIR}/${arg_VERSION_FILE} ${_lib_files}
    COMMENT "Making ${arg_WHAT} from Debian's ${_source}"
    VERBATIM)
  add_custom_target(${arg_TARGET} ALL DEPENDS ${_files})
endfunction()
