# GRUB 2 for 64-bit UEFI, which a hard-disk install on a PC that starts
# Windows through UEFI puts into \EFI\kavel\ of the EFI system partition:
# grubx64.efi, made by scripts/build-grub-efi.sh from Debian's
# grub-efi-amd64-bin and grub-common into ${KAVEL_GRUB_EFI_DIR}, with its
# configuration (grub.cfg, for reading), GRUB's licence (COPYING), Debian's
# copyright file and the source package's name and version (source), for the
# release's efi-grub\ folder.
set(KAVEL_GRUB_EFI_LIB /usr/lib/grub/x86_64-efi CACHE PATH "grub-efi-amd64-bin's x86_64-efi folder")
set(KAVEL_GRUB_EFI_DIR ${CMAKE_BINARY_DIR}/grub-efi)

include(${CMAKE_CURRENT_LIST_DIR}/grub-image.cmake)
kavel_grub_image(TARGET grub_efi PACKAGE grub-efi-amd64-bin
                 LIB ${KAVEL_GRUB_EFI_LIB} LIB_VAR KAVEL_GRUB_EFI_LIB LIB_FILES kernel.img
                 SCRIPT build-grub-efi.sh OUT_DIR ${KAVEL_GRUB_EFI_DIR} VERSION_FILE grub-efi-version.txt
                 FILES grubx64.efi grub.cfg COPYING copyright source WHAT grubx64.efi)
