# syslinux.exe for the release kit, built from Debian's syslinux source
# package of the installed syslinux-common's version by
# scripts/build-syslinux.sh, with the Linux installer of the same boot code.
# The source package is kept in KAVEL_DOWNLOAD_DIR, the build in the build
# tree: both are reused while the version stays.
set(KAVEL_DOWNLOAD_DIR ${PROJECT_SOURCE_DIR}/build/downloads
    CACHE PATH "Downloaded packages, kept between builds")
set(KAVEL_SYSLINUX_DIR ${CMAKE_BINARY_DIR}/syslinux)

execute_process(COMMAND dpkg-query -W -f=\${source:Version} syslinux-common
                OUTPUT_VARIABLE _syslinux_version RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0 OR _syslinux_version STREQUAL "")
  message(FATAL_ERROR "syslinux-common is not installed: run scripts/install-deps.sh")
endif()
# Rewritten only when the version changes, so that a new version rebuilds.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/syslinux-version.txt CONTENT "${_syslinux_version}\n")

set(KAVEL_SYSLINUX_FILES syslinux.exe syslinux mbr.bin boot-code/ldlinux.bss boot-code/ldlinux.sys
    boot-code/ldlinux.c32 COPYING copyright source)
list(TRANSFORM KAVEL_SYSLINUX_FILES PREPEND ${KAVEL_SYSLINUX_DIR}/ OUTPUT_VARIABLE _outputs)
add_custom_command(
  OUTPUT ${_outputs}
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-syslinux.sh ${KAVEL_DOWNLOAD_DIR}/syslinux
          ${KAVEL_SYSLINUX_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/build-syslinux.sh
          ${PROJECT_SOURCE_DIR}/scripts/fetch-syslinux-source.sh
          ${CMAKE_BINARY_DIR}/syslinux-version.txt
  COMMENT "Building syslinux.exe from Debian's syslinux ${_syslinux_version} source package"
  VERBATIM)
add_custom_target(syslinux_build ALL DEPENDS ${_outputs})
