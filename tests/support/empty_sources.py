#!/usr/bin/env python3
"""Writes, into the folder given, audio files that hold no audio in the shapes found in tag
libraries' test data: a FLAC whose STREAMINFO (taken from the FLAC given) announces samples
but whose only other block is an APPLICATION block, an APE file of nothing but its 128-byte
header (one frame of no blocks), and an MP3 of an ID3v2 tag and no frames."""
import random
import struct
import sys

folder, flac = sys.argv[1], open(sys.argv[2], "rb").read()

# fLaC, then STREAMINFO (block type 0, 34 bytes) as the source has it.
streaminfo = flac[8:8 + 34]
random.seed(7)
application = b"test" + bytes(random.getrandbits(8) for _ in range(13000))
with open(folder + "/application.flac", "wb") as out:
    out.write(b"fLaC" + bytes([0]) + len(streaminfo).to_bytes(3, "big") + streaminfo)
    out.write(bytes([0x80 | 2]) + len(application).to_bytes(3, "big") + application)

# Monkey's Audio 3.99: descriptor, header, an 8-byte seek table and the WAV header.
wav = b"RIFF" + struct.pack("<I", 36) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 2, 48000,
                                                                   192000, 4, 16)
wav += b"data" + struct.pack("<I", 0)
descriptor = b"MAC " + struct.pack("<HHIIIIIII", 3990, 0, 52, 24, 8, len(wav), 0, 0, 0) + bytes(16)
header = struct.pack("<HHIIIHHI", 2000, 0, 73728, 0, 1, 16, 2, 48000)
with open(folder + "/header.ape", "wb") as out:
    out.write(descriptor + header + bytes(8) + wav)

# ID3v2.4 with one title frame, padded as taggers leave it, and an ID3v1 block.
title = b"\x03Only a tag"
frame = b"TIT2" + bytes([0, 0, 0, len(title)]) + b"\x00\x00" + title
body = frame + bytes(1024 - len(frame))
with open(folder + "/tags.mp3", "wb") as out:
    out.write(b"ID3\x04\x00\x00" + bytes([0, 0, (len(body) >> 7) & 0x7F, len(body) & 0x7F]) + body)
    out.write(b"TAG" + b"Only a tag".ljust(30, b"\x00") + bytes(95))
