#include "ApplyOptions.h"

#include "FLACOut.h"
#include "Genres.h"
#include "Global.h"
#include "MACOut.h"
#include "MP3Out.h"
#include "OpusOut.h"
#include "VorbisOut.h"
#include "WMAOut.h"

#include <array>
#include <optional>

namespace bw {

namespace {

// The Ogg bitrate list of the options: 0 "Default", then 45 .. 320 kbit/s. An index outside
// the list selects nothing.
std::optional<TVorbisBitRate> OggBitRateOfIndex(int index) {
    using B = TVorbisBitRate;
    static const std::array<B, 15> list = {B::brAutoSelect, B::br45,  B::br48,  B::br56,  B::br64,
                                           B::br80,         B::br96,  B::br112, B::br128, B::br144,
                                           B::br160,        B::br192, B::br224, B::br256, B::br320};
    if (index < 0 || index >= int(list.size())) return std::nullopt;
    return list[index];
}

} // namespace

TDiscTagFields DiscTagFieldsOf(const TDiscFields& fields) {
    TDiscTagFields disc{fields.Artist, fields.Album, fields.Year, {}, fields.Comment};
    if (fields.GenreIndex >= 0 && fields.GenreIndex < GenreListCount)
        disc.Genre = std::string(GenreListEntries[fields.GenreIndex]);
    if (disc.Genre.empty()) disc.Genre = fields.Genre;
    return disc;
}

std::string DiscGenreTagText(const TDiscFields& fields) {
    if (fields.GenreIndex > 0)
        return std::string(Id3v1GenreName(GenreCodeOfListIndex(fields.GenreIndex)));
    return fields.Genre;
}

void ApplyMP3Options(TMP3Out& out) {
    const TAppSettings& s = Settings;
    out.SetDelay(16 - 5 * s.Mp3CPU);
    using B = TMP3BitRate;
    static const std::array<B, 9> constant = {B::br48,  B::br56,  B::br64,  B::br80, B::br96,
                                              B::br128, B::br192, B::br256, B::br320};
    if (s.ConstantBitRate >= 0 && s.ConstantBitRate < int(constant.size()))
        out.BitRate = constant[s.ConstantBitRate];
    out.EnableVBR = s.IsSelectVBR;
    out.WriteVBRHeader = s.IsVBRHead;
    out.Mode = static_cast<TMP3Mode>(s.StereoMode);
    out.VBRMinBitrate = s.Mp3BitRate;
    out.VBRMaxBitrate = s.Mp3MaxBitRate;
    if (s.VBRQuality >= 0 && s.VBRQuality <= 9)
        out.VBRQuality = static_cast<TMP3Quality>(s.VBRQuality);
}

void FillVorbisTags(TVorbisTags& tags, const TDiscTagFields& disc) {
    tags.Clear();
    if (!disc.Artist.empty()) tags.SetArtist(disc.Artist);
    if (!disc.Album.empty()) tags.SetAlbum(disc.Album);
    if (!disc.Year.empty()) tags.SetDate(disc.Year);
    if (!disc.Genre.empty()) tags.SetGenre(disc.Genre);
    if (!disc.Comment.empty()) tags.SetTitle(disc.Comment);
}

void ApplyVorbisOptions(TVorbisOut& out, const TDiscTagFields& disc) {
    const TAppSettings& s = Settings;
    if (s.IsUseCompress) {
        out.Compression = static_cast<float>(s.CompressPosition - 10) / 100.0f;
        out.SetDesiredMaximumBitrate(TVorbisBitRate::brAutoSelect);
        out.SetDesiredNominalBitrate(TVorbisBitRate::brAutoSelect);
        out.SetMinimumBitrate(TVorbisBitRate::brAutoSelect);
    } else {
        // The order matters: the setters keep minimum <= nominal <= maximum.
        if (auto v = OggBitRateOfIndex(s.OggMaxBitRate)) out.SetDesiredMaximumBitrate(*v);
        if (auto v = OggBitRateOfIndex(s.OggNomalBitRate)) out.SetDesiredNominalBitrate(*v);
        if (auto v = OggBitRateOfIndex(s.OggMinBitRate)) out.SetMinimumBitrate(*v);
        out.Compression = 0.2f;
    }
    FillVorbisTags(out.Comments(), disc);
}

void ApplyFLACOptions(TFLACOut& out, const TDiscTagFields& disc) {
    out.SetCompressionLevel(Settings.FLACCompression);
    FillVorbisTags(out.Tags(), disc);
}

void ApplyWMAOptions(TWMAOut& out) {
    out.VBR = Settings.WMAVBR;
    out.CodecIndex = Settings.CodecIndex;
    out.FormatIndex = static_cast<std::uint32_t>(Settings.FormatIndex);
    // A stored VBR choice whose codec has no VBR formats (as with FFmpeg's encoders) would
    // fail every job: its CBR formats serve instead, as the options dialog shows.
    if (out.VBR && out.Formats(out.CodecIndex).empty()) out.VBR = false;
}

void ApplyAPEOptions(TMACOut& out) {
    out.SetDelay(16 - 5 * Settings.APECPU);
    out.SetCompressionLevel(Settings.APECompression);
}

void ApplyOpusOptions(TOpusOut& out, const TDiscTagFields& disc) {
    out.Bitrate = Settings.OpusBitrate;
    out.Mode = static_cast<TOpusMode>(Settings.OpusMode);
    out.Complexity = Settings.OpusComplexity;
    TVorbisTags& tags = out.Comments();
    FillVorbisTags(tags, disc);
    // Opus files carry the track title; the disc comment keeps a field of its own.
    if (!disc.Comment.empty()) {
        tags.SetTitle({});
        tags.AddKey("comment");
        tags.SetValue("comment", disc.Comment);
    }
}

} // namespace bw
