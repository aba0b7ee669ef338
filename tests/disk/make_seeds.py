#!/usr/bin/env python3
"""Writes seed inputs for the partition walk fuzz target into a folder: the
shapes whose ends matter (long chains, loops, runs of empty EBRs), so that
mutation starts near them. Input layout: see partition_walk_fuzz.cpp."""
import os
import struct
import sys


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


if __name__ == "__main__":
    main()
