#!/usr/bin/env python3
"""Prints the tags of an audio file as mutagen reads them, one "field=value" line each, in one
naming for every format, so tests compare what they wrote with what a library we did not write
sees. A field of several values prints them joined by "|". The cover is printed as its SHA-256
and MIME type."""
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
# The release's fields, named as MusicBrainz's tagger names them in each format.
RELEASE = ["albumartist", "discsubtitle", "originaldate", "label", "asin", "releasecountry",
           "releasetype", "releasestatus", "media", "artists", "artistsort", "albumartistsort",
           "script", "language", "mb_artist", "mb_albumartist", "mb_releasegroup",
           "mb_releasetrack"]
VORBIS_RELEASE = {f: f for f in RELEASE[:14]}
VORBIS_RELEASE.update({"mb_artist": "musicbrainz_artistid",
                       "mb_albumartist": "musicbrainz_albumartistid",
                       "mb_releasegroup": "musicbrainz_releasegroupid",
                       "mb_releasetrack": "musicbrainz_releasetrackid"})
VORBIS.update(VORBIS_RELEASE)
VORBIS.update({"disc": "discnumber", "disctotal": "disctotal"})
APE_RELEASE = {f: v.upper() for f, v in VORBIS_RELEASE.items()}
APE_RELEASE["albumartist"] = "Album Artist"
APE_RELEASE["releasestatus"] = "MUSICBRAINZ_ALBUMSTATUS"
APE_RELEASE["releasetype"] = "MUSICBRAINZ_ALBUMTYPE"
ID3_RELEASE = {"albumartist": "TPE2", "discsubtitle": "TSST", "originaldate": "TDOR",
               "label": "TPUB", "asin": "TXXX:ASIN",
               "releasecountry": "TXXX:MusicBrainz Album Release Country",
               "releasetype": "TXXX:MusicBrainz Album Type",
               "releasestatus": "TXXX:MusicBrainz Album Status", "media": "TMED",
               "artists": "TXXX:ARTISTS", "artistsort": "TSOP", "albumartistsort": "TSO2",
               "script": "TXXX:SCRIPT", "language": "TLAN",
               "mb_artist": "TXXX:MusicBrainz Artist Id",
               "mb_albumartist": "TXXX:MusicBrainz Album Artist Id",
               "mb_releasegroup": "TXXX:MusicBrainz Release Group Id",
               "mb_releasetrack": "TXXX:MusicBrainz Release Track Id",
               "mb_track_txxx": "TXXX:MusicBrainz Track Id"}
ASF_RELEASE = {"albumartist": "WM/AlbumArtist", "discsubtitle": "WM/SetSubTitle",
               "originaldate": "WM/OriginalReleaseTime", "label": "WM/Publisher",
               "asin": "ASIN", "releasecountry": "MusicBrainz/Album Release Country",
               "releasetype": "MusicBrainz/Album Type",
               "releasestatus": "MusicBrainz/Album Status", "media": "WM/Media",
               "artists": "WM/ARTISTS", "artistsort": "WM/ArtistSortOrder",
               "albumartistsort": "WM/AlbumArtistSortOrder", "script": "WM/Script",
               "language": "WM/Language", "mb_artist": "MusicBrainz/Artist Id",
               "mb_albumartist": "MusicBrainz/Album Artist Id",
               "mb_releasegroup": "MusicBrainz/Release Group Id",
               "mb_releasetrack": "MusicBrainz/Release Track Id"}
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
APE.update(APE_RELEASE)
ASF = {"title": "Title", "artist": "Author", "album": "WM/AlbumTitle", "date": "WM/Year",
       "genre": "WM/Genre", "comment": "Description", "track": "WM/TrackNumber",
       "total": "TotalTracks", "mb_album": "MusicBrainz/Album Id",
       "mb_disc": "MusicBrainz/Disc Id", "mb_track": "MusicBrainz/Track Id",
       "rg_track_gain": "REPLAYGAIN_TRACK_GAIN", "rg_track_peak": "REPLAYGAIN_TRACK_PEAK",
       "rg_album_gain": "REPLAYGAIN_ALBUM_GAIN", "rg_album_peak": "REPLAYGAIN_ALBUM_PEAK",
       "isrc": "WM/ISRC", "catalog": "WM/CatalogNo", "barcode": "WM/Barcode"}
ASF.update(ASF_RELEASE)
ID3_TEXT.update(ID3_RELEASE)


def joined(values):
    return "|".join(str(v) for v in values)


def cover(data, mime):
    return hashlib.sha256(data).hexdigest() + " " + mime


def utf16z(buf, pos):
    end = pos
    while buf[end:end + 2] != b"\0\0":
        end += 2
    return buf[pos:end].decode("utf-16-le"), end + 2


def split_track(out, text, number_field="track", total_field="total"):
    number, _, total = str(text).partition("/")
    out[number_field] = number
    if total:
        out[total_field] = total


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
                out[field] = joined(tags[key].text)
        if "TRCK" in tags:
            split_track(out, tags["TRCK"].text[0])
        if "TPOS" in tags:
            split_track(out, tags["TPOS"].text[0], "disc", "disctotal")
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
                out[field] = joined(str(tags[key]).split("\0"))
        if "Track" in tags:
            split_track(out, tags["Track"])
        if "Disc" in tags:
            split_track(out, tags["Disc"], "disc", "disctotal")
        if "Cover Art (Front)" in tags:
            value = tags["Cover Art (Front)"].value
            name, _, data = value.partition(b"\0")
            out["cover"] = cover(data, "image/png" if name.endswith(b".png") else "image/jpeg")
    elif isinstance(tags, ASFTags):
        for field, key in ASF.items():
            if key in tags:
                out[field] = joined(v.value for v in tags[key])
        if "WM/PartOfSet" in tags:
            split_track(out, tags["WM/PartOfSet"][0].value, "disc", "disctotal")
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
                out[field] = joined(tags[key])
        pictures = list(getattr(f, "pictures", []))
        for block in tags.get("metadata_block_picture", []):
            pictures.append(Picture(base64.b64decode(block)))
        pictures = [p for p in pictures if p.type == 3]
        if pictures:
            out["cover"] = cover(pictures[0].data, pictures[0].mime)
    return out


for line in sorted(dump(sys.argv[1]).items()):
    print("%s=%s" % line)
