// Full tags of a finished audio file, read and written with TagLib. The format is taken from
// the file's contents (its extension only breaks ties), so a caller never picks a tag layout:
// FLAC and Ogg (Vorbis, Opus, FLAC) get Vorbis comments, MP3 an ID3v2.4 tag (any ID3v1 block
// at the end is left exactly as it was), APE and WavPack an APEv2 tag, WMA ASF attributes,
// M4A MP4 atoms, WAV and AIFF an ID3v2 tag (WAV also a RIFF INFO list).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bw {

// All texts are UTF-8. An empty text or a zero number means "not set": writing leaves no field
// for it, and reading a file without the field gives it.
struct TFileTags {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;  // as written by the disc's data; usually four digits
    std::string Genre; // the genre's name
    std::string Comment;
    int TrackNumber = 0;
    int TrackTotal = 0;
    std::string AlbumArtist;
    int DiscNumber = 0;
    int DiscTotal = 0;

    // What a release says beyond those, under the names MusicBrainz's tagger uses.
    std::string Artists; // each credited name: the first here, the others in MoreValues
    std::string ArtistSort, AlbumArtistSort;
    std::string DiscSubtitle, OriginalDate, Label, Asin, ReleaseCountry, ReleaseType, ReleaseStatus,
        Media, Script, Language;
    std::string MusicBrainzArtistId; // several for several artists, as Artists
    std::string MusicBrainzAlbumArtistId;
    std::string MusicBrainzReleaseGroupId;
    std::string MusicBrainzReleaseTrackId;

    // Fields holding several values ("Björk" and "Sigur Rós" as two artists): the values after
    // the field's first, by the field's property name ("ARTIST", "GENRE", "ALBUMARTIST", ...).
    // Each format writes them its own way: several Vorbis fields, ID3v2.4 values separated by
    // a null, APEv2 and MP4 lists, several ASF attributes.
    std::map<std::string, std::vector<std::string>> MoreValues;

    // MusicBrainz identifiers: release (album), disc id and the track's recording (written in
    // ID3v2 both as TXXX and as the UFID frame).
    std::string MusicBrainzAlbumId;
    std::string MusicBrainzDiscId;
    std::string MusicBrainzTrackId;

    // ReplayGain 2.0: gains in dB against -18 LUFS, peaks as linear sample peaks (1.0 = full
    // scale).
    std::optional<double> TrackGain;
    std::optional<double> TrackPeak;
    std::optional<double> AlbumGain;
    std::optional<double> AlbumPeak;

    // The front cover: the image file's bytes and its MIME type ("image/jpeg", "image/png").
    std::vector<unsigned char> Cover;
    std::string CoverMimeType;

    // Disc identifiers of the track and of the release: a disc's MCN is its UPC/EAN barcode,
    // not the label's catalogue number.
    std::string Isrc;
    std::string CatalogNumber;
    std::string Barcode;

    bool operator==(const TFileTags&) const = default;
};

// A file that cannot be opened, is not a format TagLib knows, or cannot be saved.
class EFileTags : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces the file's tags with these fields (fields not set are removed; tags this program
// does not write are kept). Throws EFileTags with the file's name and the reason.
void WriteFileTags(const std::filesystem::path& FileName, const TFileTags& Tags);

// The fields of whatever tag the file carries (for MP3, ID3v2 first, then ID3v1). Throws
// EFileTags when the file cannot be opened or its format is unknown.
TFileTags ReadFileTags(const std::filesystem::path& FileName);

// Opus files carry gains as R128_TRACK_GAIN and R128_ALBUM_GAIN instead (RFC 7845): a
// signed Q7.8 number of dB against EBU R128's -23 LUFS, 5 dB below ReplayGain's -18 LUFS.
// No peaks and no REPLAYGAIN_* keys; reading an Opus file gives its R128 gains as ReplayGain.
constexpr double R128Offset = 5.0;
// round(256 x (ReplayGain - 5 dB)), kept within 16 bits.
int R128Gain(double ReplayGain);

// ReplayGain texts as ReplayGain 2.0 writes them: "-3.21 dB" and "0.988525".
std::string FormatReplayGain(double Gain);
std::string FormatReplayPeak(double Peak);
// Parses "-3.21 dB" (the unit and spaces are optional); empty when it is not a number.
std::optional<double> ParseReplayGain(const std::string& Text);

// "image/png" when the bytes begin with PNG's signature, "image/jpeg" for JPEG's, "image/gif"
// for GIF's, else empty.
std::string ImageMimeType(const std::vector<unsigned char>& Bytes);

} // namespace bw
