#!/usr/bin/env python3
"""Writes a Nero NRG image (version 5.5 layout, as libcdio reads it) of raw CD audio.

    nrg_image.py AUDIO.bin OUT.nrg SECTORS...

AUDIO.bin holds the tracks' audio one after another (16-bit little-endian stereo); SECTORS are
the tracks' lengths. A silent 150-sector pregap goes before track 1, as a disc has it.
"""
import struct
import sys


def cuex_entry(track, index, lba):
    code = 0xAA if track == 0xAA else (track // 10) << 4 | track % 10
    return struct.pack(">BBBBi", 0x01, code, index, 0, lba)


def chunk(name, payload):
    return name + struct.pack(">I", len(payload)) + payload


def main():
    source, target, lengths = sys.argv[1], sys.argv[2], [int(n) for n in sys.argv[3:]]
    sector = 2352
    pregap = 150 * sector
    cuex = cuex_entry(0, 0, -150)
    daox = bytearray(struct.pack(">I", 0) + bytes(14) + struct.pack(">HBB", 0, 1, len(lengths)))
    start, offset = 0, pregap
    for number, length in enumerate(lengths, 1):
        cuex += cuex_entry(number, 0, start - 150 if number == 1 else start)
        cuex += cuex_entry(number, 1, start)
        end = offset + length * sector
        daox += bytes(12) + struct.pack(">HHH", sector, 0x0700, 1)
        daox += struct.pack(">QQQ", 0 if number == 1 else offset, offset, end)
        start, offset = start + length, end
    cuex += cuex_entry(0xAA, 1, start)
    daox[0:4] = struct.pack(">I", len(daox))
    with open(target, "wb") as out, open(source, "rb") as audio:
        out.write(bytes(pregap))
        while True:
            block = audio.read(1 << 20)
            if not block:
                break
            out.write(block)
        tail = chunk(b"CUEX", cuex) + chunk(b"DAOX", bytes(daox))
        tail += chunk(b"SINF", struct.pack(">I", 1)) + chunk(b"END!", b"")
        out.write(tail + b"NER5" + struct.pack(">Q", offset))


if __name__ == "__main__":
    main()
