// Copies the encoder options of Settings into an encoder just before it starts, and, for the
// encoders that carry Vorbis comments, fills the comments from the disc fields.
#pragma once

#include <string>

namespace bw {

class TMP3Out;
class TVorbisOut;
class TFLACOut;
class TMACOut;
class TWMAOut;
class TOpusOut;
class TVorbisTags;

// The disc fields as the main window shows them (the genre as its shown name).
struct TDiscTagFields {
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Genre;
    std::string Comment;
};

struct TDiscFields;
// The main window's disc fields with the genre list's entry as its shown name (empty for no
// selection or an index outside the list).
TDiscTagFields DiscTagFieldsOf(const TDiscFields& fields);
// The genre a ripped file's tags and name get: a list entry by its ID3v1 name, a genre typed
// that the list does not hold as typed.
std::string DiscGenreTagText(const TDiscFields& fields);

void ApplyMP3Options(TMP3Out& out);
void ApplyVorbisOptions(TVorbisOut& out, const TDiscTagFields& disc);
void ApplyFLACOptions(TFLACOut& out, const TDiscTagFields& disc);
// The codec, format and VBR choice only; the jobs fill the tags themselves.
void ApplyWMAOptions(TWMAOut& out);
// The pause between blocks from the CPU setting and the compression level; no tags.
void ApplyAPEOptions(TMACOut& out);

// Bitrate, mode and complexity as stored (a run refuses a value outside its range), and the
// disc fields as OpusTags, the disc comment as COMMENT.
void ApplyOpusOptions(TOpusOut& out, const TDiscTagFields& disc);

// Clears the tags, then sets each one whose disc field is not empty. The disc comment goes
// to the title entry: the track title itself is not passed to these encoders.
void FillVorbisTags(TVorbisTags& tags, const TDiscTagFields& disc);

} // namespace bw
