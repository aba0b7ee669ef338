# The loader pair a hard-disk install starts GRUB 2 through from the Windows
# boot manager (Vista to 11), or from NTLDR when grldr is not there:
# g2ldr.mbr and g2ldr, made by scripts/build-grub-loaders.sh from Debian's
# grub-pc-bin and grub-common into ${KAVEL_GRUB_DIR}, with GRUB's licence
# (COPYING), Debian's copyright file and the source package's name and
# version (source), for the release.
set(KAVEL_GRUB_LIB /usr/lib/grub/i386-pc CACHE PATH "grub-pc-bin's i386-pc folder")
set(KAVEL_GRUB_DIR ${CMAKE_BINARY_DIR}/grub)

execute_process(COMMAND dpkg-query -W "-f=\${source:Package} \${source:Version}" grub-pc-bin
                OUTPUT_VARIABLE _grub_source RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0 OR _grub_source STREQUAL "" OR NOT EXISTS ${KAVEL_GRUB_LIB}/g2ldr.mbr)
  message(FATAL_ERROR "grub-pc-bin is not installed: run scripts/install-deps.sh")
endif()
# Rewritten only when the version changes, so that a new version rebuilds.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/grub-version.txt CONTENT "${_grub_source}\n")

set(KAVEL_GRUB_FILES g2ldr g2ldr.mbr grub.cfg COPYING copyright source)
list(TRANSFORM KAVEL_GRUB_FILES PREPEND ${KAVEL_GRUB_DIR}/)
add_custom_command(
  OUTPUT ${KAVEL_GRUB_FILES}
  COMMAND ${CMAKE_COMMAND} -E env KAVEL_GRUB_LIB=${KAVEL_GRUB_LIB}
          ${PROJECT_SOURCE_DIR}/scripts/build-grub-loaders.sh ${KAVEL_GRUB_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/build-grub-loaders.sh ${PROJECT_SOURCE_DIR}/scripts/grub-image-lib.sh
          ${CMAKE_BINARY_DIR}/grub-version.txt
          ${KAVEL_GRUB_LIB}/g2ldr.mbr ${KAVEL_GRUB_LIB}/g2hdr.img
  COMMENT "Making g2ldr and g2ldr.mbr from Debian's ${_grub_source}"
  VERBATIM)
add_custom_target(grub_loaders ALL DEPENDS ${KAVEL_GRUB_FILES})
