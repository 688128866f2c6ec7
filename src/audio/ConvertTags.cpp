#include "ConvertTags.h"

#include "FileTags.h"
#include "Global.h"

namespace bw {

namespace {

bool IsWave(const std::filesystem::path& input) {
    std::string ext = input.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav" || ext == ".wave";
}

} // namespace

void TagConvertedFile(const std::filesystem::path& input, const std::optional<TDiscTagFields>& disc,
                      const std::filesystem::path& output, const TLoudness* loudness) {
    // WAV files stay header and samples only: readers that take everything after the header
    // for audio would play tags as noise.
    if (IsWave(output)) return;
    TFileTags tags;
    if (!IsWave(input)) {
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
    if (loudness && Settings.ReplayGain) {
        tags.TrackGain = loudness->Gain();
        if (tags.TrackGain) tags.TrackPeak = loudness->Peak();
    }
    WriteFileTags(output, tags);
}

} // namespace bw
