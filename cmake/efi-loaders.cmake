# syslinux's UEFI loaders, taken from Debian's syslinux-efi (the loaders) and
# syslinux-common (the cores they load) into ${KAVEL_EFI_DIR}: the efi\ folder
# that goes beside the installer, whose files the installer puts into
# X:\EFI\BOOT\ of a removable drive.
set(KAVEL_SYSLINUX_EFI_DIR /usr/lib/SYSLINUX.EFI CACHE PATH "syslinux-efi's loaders")
set(KAVEL_SYSLINUX_MODULES_DIR /usr/lib/syslinux/modules CACHE PATH "syslinux-common's modules")
set(KAVEL_EFI_DIR ${CMAKE_BINARY_DIR}/efi)

# source, then the name it has in efi\
set(_efi_pairs
    ${KAVEL_SYSLINUX_EFI_DIR}/efi64/syslinux.efi BOOTX64.EFI
    ${KAVEL_SYSLINUX_MODULES_DIR}/efi64/ldlinux.e64 ldlinux.e64
    ${KAVEL_SYSLINUX_EFI_DIR}/efi32/syslinux.efi BOOTIA32.EFI
    ${KAVEL_SYSLINUX_MODULES_DIR}/efi32/ldlinux.e32 ldlinux.e32)
set(KAVEL_EFI_FILES)
set(_efi_sources)
set(_efi_commands)
while(_efi_pairs)
  list(POP_FRONT _efi_pairs _source _name)
  if(NOT EXISTS ${_source})
    message(FATAL_ERROR "${_source} is missing: install Debian's syslinux-efi and "
                        "syslinux-common (scripts/install-deps.sh)")
  endif()
  list(APPEND _efi_sources ${_source})
  list(APPEND KAVEL_EFI_FILES ${KAVEL_EFI_DIR}/${_name})
  list(APPEND _efi_commands COMMAND ${CMAKE_COMMAND} -E copy ${_source} ${KAVEL_EFI_DIR}/${_name})
endwhile()

add_custom_command(
  OUTPUT ${KAVEL_EFI_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVEL_EFI_DIR}
  ${_efi_commands}
  DEPENDS ${_efi_sources}
  COMMENT "Taking syslinux's UEFI loaders into efi/")
add_custom_target(efi_loaders ALL DEPENDS ${KAVEL_EFI_FILES})
