#pragma once
// BitLocker: GRUB cannot read an encrypted volume, so a hard-disk install
// refuses one. Windows shows an unlocked volume decrypted, so the sign is
// looked for where the volume starts on the physical disk, not in the volume.
// Called by the worker thread, when it checks a hard-disk target.

// Whether the 512-byte `sector`, the first of a partition, carries the
// signature an encrypted volume has in place of its file system's name.
bool sector_is_bitlocker(const unsigned char* sector);

// Whether the partition behind drive `letter` is encrypted with BitLocker.
// False when that cannot be told: the volume's place or the disk cannot be
// read (then the partition cannot be named either, and the run fails there).
bool drive_is_bitlocker(char letter);
