#!/usr/bin/env python3
"""Writes seed inputs for the partition walk fuzz target into a folder: the
shapes whose ends matter (long chains, loops, runs of empty EBRs; GUID
partition tables whole, damaged, and at their bounds), so that mutation starts
near them. Input layout: see partition_walk_fuzz.cpp."""
import os
import struct
import sys
import zlib


def table(entries=(), signed=True):
    """Bytes 446..511 of a sector: up to four (type, first, length) entries."""
    out = b""
    for i in range(4):
        if i < len(entries) and entries[i]:
            t, first, length = entries[i]
            out += struct.pack("<B3sB3sII", 0x80, b"\xfe" * 3, t, b"\xff" * 3, first, length)
        else:
            out += bytes(16)
    return out + (b"\x55\xaa" if signed else b"\x00\x00")


def chain(kinds, links=None):
    """MBR with an extended partition at sector 1, then one EBR per kind in
    consecutive sectors: 'p' holds a partition, 'e' is empty, 'l' has a link
    in its first entry. links[i] overrides EBR i's link (offset from sector 1)."""
    links = links or {}
    sectors = [table([(0x05, 1, len(kinds) + 10)])]
    for i, kind in enumerate(kinds):
        nxt = links.get(i, i + 1 if i + 1 < len(kinds) else None)
        first = {"p": (0x83, 0, 1), "e": None, "l": (0x05, nxt or 0, 1)}[kind]
        second = (0x05, nxt, 1) if nxt else None
        sectors.append(table([first, second]))
    return sectors


def write(folder, name, sectors, repeats=0, wanted=255, open_number=4):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes([repeats, wanted, open_number]) + b"".join(sectors))


WHOLE_SECTORS = 2
SEAL = 4


def gpt_header(lba, alternate, entries_lba, first, last, count, array):
    fields = struct.pack("<8sIIIIQQQQ16sQIII", b"EFI PART", 0x00010000, 92, 0, 0, lba, alternate,
                         first, last, b"\x6b" * 16, entries_lba, count, 128, zlib.crc32(array))
    crc = zlib.crc32(fields)
    fields = fields[:16] + struct.pack("<I", crc) + fields[20:]
    return fields + bytes(512 - len(fields))


def gpt_disk(sectors, entries, count=4):
    """Whole sectors of a disk with a GUID partition table of `count` entries
    of 128 bytes; entries: {slot: (first, last)}."""
    array = bytearray(count * 128)
    for slot, (first, last) in entries.items():
        array[slot * 128:slot * 128 + 48] = (b"\xaf\x3d\xc6\x0f" + bytes(12) + bytes([slot]) * 16
                                             + struct.pack("<QQ", first, last))
    array = bytes(array)
    array_sectors = (len(array) + 511) // 512
    padded = array + bytes(array_sectors * 512 - len(array))
    last_lba = sectors - 1
    first_usable, last_usable = 2 + array_sectors, last_lba - 1 - array_sectors
    mbr = bytes(446) + table([(0xEE, 1, min(last_lba, 0xFFFFFFFF))])[:64] + b"\x55\xaa"
    disk = bytearray(sectors * 512)
    disk[0:512] = mbr
    disk[512:1024] = gpt_header(1, last_lba, 2, first_usable, last_usable, count, array)
    disk[1024:1024 + len(padded)] = padded
    backup_array = (last_lba - array_sectors) * 512
    disk[backup_array:backup_array + len(padded)] = padded
    disk[last_lba * 512:] = gpt_header(last_lba, 1, last_lba - array_sectors, first_usable,
                                       last_usable, count, array)
    return disk


def write_gpt(folder, name, disk, shape=WHOLE_SECTORS, wanted=255, open_number=2):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes([shape, wanted, open_number]) + bytes(disk))


def gpt_seeds(folder):
    entries = {0: (4, 5), 2: (8, 9), 3: (6, 7)}
    whole = gpt_disk(14, entries)
    write_gpt(folder, "gpt_whole", whole, wanted=3)
    bad_header = bytearray(whole)
    bad_header[512 + 60] ^= 1
    write_gpt(folder, "gpt_bad_header", bad_header, wanted=2)
    write_gpt(folder, "gpt_bad_header_repeating", bad_header, shape=WHOLE_SECTORS | 1)
    bad_array = bytearray(whole)
    bad_array[1024 + 100] ^= 1
    write_gpt(folder, "gpt_bad_array", bad_array, open_number=3)
    write_gpt(folder, "gpt_sealed", whole, shape=WHOLE_SECTORS | SEAL, wanted=0)
    write_gpt(folder, "gpt_32_entries", gpt_disk(38, {1: (12, 14), 31: (20, 28)}, count=32),
              shape=WHOLE_SECTORS | SEAL, wanted=31)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(folder, "primaries", [table([(0x07, 63, 100), None, (0x83, 300, 50)])], wanted=2, open_number=2)
    write(folder, "three_logicals", chain("ppp"), wanted=5)
    write(folder, "empty_middle", chain("pep"), wanted=5, open_number=5)
    write(folder, "logicals_251", chain("p" * 251), wanted=254, open_number=29)
    write(folder, "logicals_256", chain("p" * 256), wanted=200)
    write(folder, "empties_40", chain("e" * 40 + "p"), wanted=4)
    write(folder, "links_40", chain("l" * 40 + "p"), wanted=4)
    write(folder, "loop_3", chain("ppp", {2: 1}), wanted=7)
    write(folder, "loop_150", chain("p" * 150, {149: 1}), wanted=250)
    write(folder, "repeating", chain("pp", {1: 3}), repeats=1, wanted=9)
    gpt_seeds(folder)


if __name__ == "__main__":
    main()
