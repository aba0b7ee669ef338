# GRUB 2 for 64-bit UEFI, which a hard-disk install on a PC that starts
# Windows through UEFI puts into \EFI\kavel\ of the EFI system partition:
# grubx64.efi, made by scripts/build-grub-efi.sh from Debian's
# grub-efi-amd64-bin and grub-common into ${KAVEL_GRUB_EFI_DIR}, with its
# configuration (grub.cfg, for reading), GRUB's licence (COPYING), Debian's
# copyright file and the source package's name and version (source), for the
# release's efi-grub\ folder.
set(KAVEL_GRUB_EFI_LIB /usr/lib/grub/x86_64-efi CACHE PATH "grub-efi-amd64-bin's x86_64-efi folder")
set(KAVEL_GRUB_EFI_DIR ${CMAKE_BINARY_DIR}/grub-efi)

execute_process(COMMAND dpkg-query -W "-f=\${source:Package} \${source:Version}" grub-efi-amd64-bin
                OUTPUT_VARIABLE _grub_efi_source RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0 OR _grub_efi_source STREQUAL "" OR NOT EXISTS ${KAVEL_GRUB_EFI_LIB}/kernel.img)
  message(FATAL_ERROR "grub-efi-amd64-bin is not installed: run scripts/install-deps.sh")
endif()
# Rewritten only when the version changes, so that a new version rebuilds.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/grub-efi-version.txt CONTENT "${_grub_efi_source}\n")

set(KAVEL_GRUB_EFI_FILES grubx64.efi grub.cfg COPYING copyright source)
list(TRANSFORM KAVEL_GRUB_EFI_FILES PREPEND ${KAVEL_GRUB_EFI_DIR}/)
add_custom_command(
  OUTPUT ${KAVEL_GRUB_EFI_FILES}
  COMMAND ${CMAKE_COMMAND} -E env KAVEL_GRUB_EFI_LIB=${KAVEL_GRUB_EFI_LIB}
          ${PROJECT_SOURCE_DIR}/scripts/build-grub-efi.sh ${KAVEL_GRUB_EFI_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/build-grub-efi.sh ${PROJECT_SOURCE_DIR}/scripts/grub-image-lib.sh
          ${CMAKE_BINARY_DIR}/grub-efi-version.txt ${KAVEL_GRUB_EFI_LIB}/kernel.img
  COMMENT "Making grubx64.efi from Debian's ${_grub_efi_source}"
  VERBATIM)
add_custom_target(grub_efi ALL DEPENDS ${KAVEL_GRUB_EFI_FILES})
