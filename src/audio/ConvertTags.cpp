#include "ConvertTags.h"

#include "ConvertSources.h"
#include "Global.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace bw {

namespace {

void Fill(std::string& field, const std::string& from) {
    if (field.empty()) field = from;
}

void Fill(int& field, int from) {
    if (field <= 0) field = from;
}

} // namespace

std::optional<TFileTags> SourceTags(const std::filesystem::path& input) {
    try {
        TFileTags tags = ReadFileTags(input);
        if (tags == TFileTags{}) return std::nullopt;
        return tags;
    } catch (const EFileTags&) {
        return std::nullopt;
    }
}

bool LossyExtension(const std::string& extension) {
    std::string ext = extension;
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    static const std::array<const char*, 4> lossy = {".mp3", ".ogg", ".wma", ".opus"};
    return std::find(lossy.begin(), lossy.end(), ext) != lossy.end();
}

void ApplyMeasuredGain(TFileTags& tags, const TLoudness* loudness) {
    if (!loudness || !Settings.ReplayGain) return;
    if (std::optional<double> gain = loudness->Gain()) {
        tags.TrackGain = gain;
        tags.TrackPeak = loudness->Peak();
    }
}

TFileTags CarrySourceTags(const std::filesystem::path& output, const TFileTags& source, bool lossy,
                          const TLoudness* loudness) {
    const TFileTags own = ReadFileTags(output);
    TFileTags tags = source;
    // The writer's own fields (the disc fields given for the conversion) fill what the
    // source leaves empty. An MP3 writer's own are read back from its ID3v1 block, which
    // holds Latin-1 only: the source's text must win over it.
    Fill(tags.Title, own.Title);
    Fill(tags.Artist, own.Artist);
    Fill(tags.Album, own.Album);
    Fill(tags.Year, own.Year);
    Fill(tags.Genre, own.Genre);
    Fill(tags.Comment, own.Comment);
    Fill(tags.TrackNumber, own.TrackNumber);
    Fill(tags.TrackTotal, own.TrackTotal);
    Fill(tags.AlbumArtist, own.AlbumArtist);
    Fill(tags.DiscNumber, own.DiscNumber);
    Fill(tags.DiscTotal, own.DiscTotal);
    if (tags.Cover.empty()) {
        tags.Cover = own.Cover;
        tags.CoverMimeType = own.CoverMimeType;
    }
    // The source's ReplayGain describes only a lossless copy; the gain measured on the samples
    // encoded describes the output itself, and so wins.
    if (lossy) tags.TrackGain = tags.TrackPeak = tags.AlbumGain = tags.AlbumPeak = std::nullopt;
    ApplyMeasuredGain(tags, loudness);
    WriteFileTags(output, tags);
    return tags;
}

namespace {

bool HasWaveExtension(const std::filesystem::path& file) {
    const std::string ext = LowerExtension(file);
    return ext == ".wav" || ext == ".wave";
}

} // namespace

void TagConvertedFile(const std::filesystem::path& input, const std::optional<TDiscTagFields>& disc,
                      const std::filesystem::path& output, const TLoudness* loudness) {
    // WAV files stay header and samples only: readers that take everything after the header
    // for audio would play tags as noise.
    if (HasWaveExtension(output)) return;
    TFileTags tags;
    if (!HasWaveExtension(input)) {
        try {
            tags = ReadFileTags(input);
        } catch (const EFileTags&) {
            // A source TagLib does not know carries nothing to pass on.
        }
        // Gains measured on the source no longer hold once it is encoded again.
        tags.TrackGain = tags.TrackPeak = tags.AlbumGain = tags.AlbumPeak = std::nullopt;
    } else if (disc) {
        tags.Artist = disc->Artist;
        tags.Album = disc->Album;
        tags.Year = disc->Year;
        tags.Genre = disc->Genre;
        tags.Comment = disc->Comment;
    }
    ApplyMeasuredGain(tags, loudness);
    WriteFileTags(output, tags);
}

} // namespace bw
