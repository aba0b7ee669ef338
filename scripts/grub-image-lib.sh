# Shared by build-grub-loaders.sh (GRUB 2 for a BIOS, g2ldr) and
# build-grub-efi.sh (GRUB 2 for 64-bit UEFI, grubx64.efi), sourced: both make
# an image with grub-mkimage whose memdisk holds its configuration, from
# Debian's packages as installed, and ship it with the same licence files.
# The same packages give the same bytes: the memdisk's tar has fixed times
# and owners, and grub-mkimage adds nothing of its own.

# Ends the script with a message unless every FILE is there and not empty;
# PACKAGES says what to install.
grub_require() { # WHO PACKAGES FILE...
  local who=$1 packages=$2 f
  shift 2
  for f in "$@" /usr/share/common-licenses/GPL-3 /usr/share/doc/grub-common/copyright; do
    [ -s "$f" ] || { echo "$who: $f is missing: install $packages" >&2; exit 1; }
  done
  command -v grub-mkimage >/dev/null || { echo "$who: no grub-mkimage (grub-common)" >&2; exit 1; }
}

# The start of both configurations.
# The installer writes a menu.lst holding only its entry where there was
# none; without a timeout line GRUB's legacy menu would wait for a key
# forever, so a timeout is exported into it, and a menu.lst's own timeout
# line still wins. The serial port repeats the screen where there is one.
grub_cfg_start() {
  cat <<'CFG'
if serial --unit=0 --speed=115200; then
  terminal_input --append serial
  terminal_output --append serial
fi
set timeout=5
export timeout
CFG
}

# The memdisk: the configuration as boot/grub/grub.cfg, which the image's
# prefix (memdisk)/boot/grub names.
grub_memdisk_tar() { # GRUB_CFG WORK OUT_TAR
  local cfg=$1 work=$2 tar=$3
  rm -rf "$work/memdisk"
  mkdir -p "$work/memdisk/boot/grub"
  cp "$cfg" "$work/memdisk/boot/grub/grub.cfg"
  (cd "$work/memdisk" &&
     tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner --format=ustar \
       -cf "$tar" boot)
}

# A fresh folder WORK holding grub.cfg (grub_cfg_start, then the rest of the
# configuration from stdin), its memdisk.tar, and IMAGE, which grub-mkimage
# makes in FORMAT from the modules in LIB with that memdisk.
grub_image() { # WORK FORMAT LIB IMAGE MODULE... <REST_OF_GRUB_CFG
  local work=$1 format=$2 lib=$3 image=$4
  shift 4
  rm -rf "$work"
  mkdir -p "$work"
  { grub_cfg_start; cat; } >"$work/grub.cfg"
  grub_memdisk_tar "$work/grub.cfg" "$work" "$work/memdisk.tar"
  grub-mkimage -O "$format" -d "$lib" -o "$image" -m "$work/memdisk.tar" \
    -p '(memdisk)/boot/grub' "$@"
}

# What the release's licence text is made from:
#   COPYING     the GNU GPL, version 3, GRUB's licence
#   copyright   Debian's copyright file of grub-common (the same for every
#               binary package of the source package grub2)
#   source      "<source package> <version>" of PACKAGE
grub_licence_files() { # OUT PACKAGE
  cp /usr/share/common-licenses/GPL-3 "$1/COPYING"
  cp /usr/share/doc/grub-common/copyright "$1/copyright"
  dpkg-query -W -f='${source:Package} ${source:Version}\n' "$2" >"$1/source"
}
