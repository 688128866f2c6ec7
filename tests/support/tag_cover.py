#!/usr/bin/env python3
"""Puts a front cover (and, with a third argument, a ReplayGain track gain) into an audio file
the way mutagen's users tag their libraries, whatever the format: tests make tagged sources of
every kind without our own tag writer."""
import base64
import sys

import mutagen
from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.asf import ASFByteArrayAttribute
from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, ID3
from mutagen.mp4 import MP4Cover

path, image = sys.argv[1], open(sys.argv[2], "rb").read()
f = mutagen.File(path)
if f is None:
    raise SystemExit("mutagen does not know " + path)
if f.tags is None:
    f.add_tags()
tags = f.tags
if isinstance(tags, ID3):
    tags.add(APIC(encoding=3, mime="image/jpeg", type=3, desc="", data=image))
elif isinstance(tags, APEv2):
    tags["Cover Art (Front)"] = APEValue(b"cover.jpg\0" + image, BINARY)
elif type(tags).__name__ == "ASFTags":
    size = len(image).to_bytes(4, "little")
    mime = "image/jpeg".encode("utf-16-le") + b"\0\0"
    tags["WM/Picture"] = [ASFByteArrayAttribute(b"\x03" + size + mime + b"\0\0" + image)]
elif type(tags).__name__ == "MP4Tags":
    tags["covr"] = [MP4Cover(image, imageformat=MP4Cover.FORMAT_JPEG)]
else:
    picture = Picture()
    picture.type, picture.mime, picture.data = 3, "image/jpeg", image
    if isinstance(f, FLAC):
        f.add_picture(picture)
    else:
        tags["metadata_block_picture"] = [base64.b64encode(picture.write()).decode()]
f.save()
