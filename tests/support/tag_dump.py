#!/usr/bin/env python3
"""Prints the tags of an audio file as mutagen reads them, one "field=value" line each, in one
naming for every format, so tests compare what they wrote with what a library we did not write
sees. The cover is printed as its SHA-256 and MIME type."""
import base64
import hashlib
import sys

import mutagen
from mutagen.apev2 import APEv2
from mutagen.asf import ASFTags
from mutagen.flac import FLAC, Picture
from mutagen.id3 import ID3
from mutagen.mp4 import MP4Tags

FIELDS = ["title", "artist", "album", "date", "genre", "comment", "track", "total",
          "mb_album", "mb_disc", "mb_track", "rg_track_gain", "rg_track_peak",
          "rg_album_gain", "rg_album_peak", "isrc", "catalog", "barcode", "r128_track_gain",
          "r128_album_gain"]
VORBIS = {"title": "title", "artist": "artist", "album": "album", "date": "date",
          "genre": "genre", "comment": "comment", "track": "tracknumber", "total": "tracktotal",
          "mb_album": "musicbrainz_albumid", "mb_disc": "musicbrainz_discid",
          "mb_track": "musicbrainz_trackid", "rg_track_gain": "replaygain_track_gain",
          "rg_track_peak": "replaygain_track_peak", "rg_album_gain": "replaygain_album_gain",
          "rg_album_peak": "replaygain_album_peak", "isrc": "isrc", "catalog": "catalognumber",
          "barcode": "barcode", "r128_track_gain": "r128_track_gain",
          "r128_album_gain": "r128_album_gain"}
ID3_TEXT = {"title": "TIT2", "artist": "TPE1", "album": "TALB", "date": "TDRC", "genre": "TCON",
            "mb_album": "TXXX:MusicBrainz Album Id", "mb_disc": "TXXX:MusicBrainz Disc Id",
            "rg_track_gain": "TXXX:REPLAYGAIN_TRACK_GAIN",
            "rg_track_peak": "TXXX:REPLAYGAIN_TRACK_PEAK",
            "rg_album_gain": "TXXX:REPLAYGAIN_ALBUM_GAIN",
            "rg_album_peak": "TXXX:REPLAYGAIN_ALBUM_PEAK", "isrc": "TSRC",
            "catalog": "TXXX:CATALOGNUMBER", "barcode": "TXXX:BARCODE"}
APE = {"title": "Title", "artist": "Artist", "album": "Album", "date": "Year", "genre": "Genre",
       "comment": "Comment", "mb_album": "MUSICBRAINZ_ALBUMID", "mb_disc": "MUSICBRAINZ_DISCID",
       "mb_track": "MUSICBRAINZ_TRACKID", "rg_track_gain": "REPLAYGAIN_TRACK_GAIN",
       "rg_track_peak": "REPLAYGAIN_TRACK_PEAK", "rg_album_gain": "REPLAYGAIN_ALBUM_GAIN",
       "rg_album_peak": "REPLAYGAIN_ALBUM_PEAK", "isrc": "ISRC", "catalog": "CATALOGNUMBER",
       "barcode": "BARCODE"}
ASF = {"title": "Title", "artist": "Author", "album": "WM/AlbumTitle", "date": "WM/Year",
       "genre": "WM/Genre", "comment": "Description", "track": "WM/TrackNumber",
       "total": "TotalTracks", "mb_album": "MusicBrainz/Album Id",
       "mb_disc": "MusicBrainz/Disc Id", "mb_track": "MusicBrainz/Track Id",
       "rg_track_gain": "REPLAYGAIN_TRACK_GAIN", "rg_track_peak": "REPLAYGAIN_TRACK_PEAK",
       "rg_album_gain": "REPLAYGAIN_ALBUM_GAIN", "rg_album_peak": "REPLAYGAIN_ALBUM_PEAK",
       "isrc": "WM/ISRC", "catalog": "WM/CatalogNo", "barcode": "WM/Barcode"}


def cover(data, mime):
    return hashlib.sha256(data).hexdigest() + " " + mime


def utf16z(buf, pos):
    end = pos
    while buf[end:end + 2] != b"\0\0":
        end += 2
    return buf[pos:end].decode("utf-16-le"), end + 2


def split_track(out, text):
    number, _, total = str(text).partition("/")
    out["track"] = number
    if total:
        out["total"] = total


def dump(path):
    f = mutagen.File(path)
    if f is None:
        raise SystemExit("mutagen does not know " + path)
    tags, out = f.tags, {}
    if tags is None:
        return out
    if isinstance(tags, ID3):
        out["id3version"] = "2.%d" % tags.version[1]
        for field, key in ID3_TEXT.items():
            if key in tags:
                out[field] = str(tags[key].text[0])
        if "TRCK" in tags:
            split_track(out, tags["TRCK"].text[0])
        comments = tags.getall("COMM")
        if comments:
            out["comment"] = str(comments[0].text[0])
        ufid = tags.get("UFID:http://musicbrainz.org")
        if ufid:
            out["mb_track"] = ufid.data.decode()
        pictures = [p for p in tags.getall("APIC") if p.type == 3]
        if pictures:
            out["cover"] = cover(pictures[0].data, pictures[0].mime)
    elif isinstance(tags, APEv2):
        for field, key in APE.items():
            if key in tags:
                out[field] = str(tags[key])
        if "Track" in tags:
            split_track(out, tags["Track"])
        if "Cover Art (Front)" in tags:
            value = tags["Cover Art (Front)"].value
            name, _, data = value.partition(b"\0")
            out["cover"] = cover(data, "image/png" if name.endswith(b".png") else "image/jpeg")
    elif isinstance(tags, ASFTags):
        for field, key in ASF.items():
            if key in tags:
                out[field] = str(tags[key][0].value)
        if "WM/Picture" in tags:
            raw = tags["WM/Picture"][0].value
            # WM/Picture: type, size, MIME (UTF-16, NUL-ended), description, data.
            kind, size = raw[0], int.from_bytes(raw[1:5], "little")
            mime, pos = utf16z(raw, 5)
            _, pos = utf16z(raw, pos)
            if kind == 3:
                out["cover"] = cover(raw[pos:pos + size], mime)
    elif isinstance(tags, MP4Tags):
        for field, key in {"title": "\xa9nam", "artist": "\xa9ART", "album": "\xa9alb",
                           "date": "\xa9day", "genre": "\xa9gen", "comment": "\xa9cmt"}.items():
            if key in tags:
                out[field] = str(tags[key][0])
        if "trkn" in tags:
            out["track"], out["total"] = map(str, tags["trkn"][0])
        if "covr" in tags:
            art = tags["covr"][0]
            out["cover"] = cover(bytes(art), "image/png" if art.imageformat == art.FORMAT_PNG
                                 else "image/jpeg")
    else:  # Vorbis comments: FLAC, Ogg Vorbis, Opus
        for field, key in VORBIS.items():
            if key in tags:
                out[field] = tags[key][0]
        pictures = list(getattr(f, "pictures", []))
        for block in tags.get("metadata_block_picture", []):
            pictures.append(Picture(base64.b64decode(block)))
        pictures = [p for p in pictures if p.type == 3]
        if pictures:
            out["cover"] = cover(pictures[0].data, pictures[0].mime)
    return out


for line in sorted(dump(sys.argv[1]).items()):
    print("%s=%s" % line)
