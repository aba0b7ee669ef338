# The loader pair a hard-disk install starts GRUB 2 through from the Windows
# boot manager (Vista to 11), or from NTLDR when grldr is not there:
# g2ldr.mbr and g2ldr, made by scripts/build-grub-loaders.sh from Debian's
# grub-pc-bin and grub-common into ${KAVEL_GRUB_DIR}, with GRUB's licence
# (COPYING), Debian's copyright file and the source package's name and
# version (source), for the release.
set(KAVEL_GRUB_LIB /usr/lib/grub/i386-pc CACHE PATH "grub-pc-bin's i386-pc folder")
set(KAVEL_GRUB_DIR ${CMAKE_BINARY_DIR}/grub)

include(${CMAKE_CURRENT_LIST_DIR}/grub-image.cmake)
kavel_grub_image(TARGET grub_loaders PACKAGE grub-pc-bin
                 LIB ${KAVEL_GRUB_LIB} LIB_VAR KAVEL_GRUB_LIB LIB_FILES g2ldr.mbr g2hdr.img
                 SCRIPT build-grub-loaders.sh OUT_DIR ${KAVEL_GRUB_DIR} VERSION_FILE grub-version.txt
                 FILES g2ldr g2ldr.mbr grub.cfg COPYING copyright source WHAT "g2ldr and g2ldr.mbr")
