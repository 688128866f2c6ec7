#include "MusicBrainzDiscId.h"

#include <array>
#include <discid/discid.h>
#include <memory>

#include "akrip32.h"

namespace bw {

namespace {

struct TDiscIdDeleter {
    void operator()(DiscId* disc) const { discid_free(disc); }
};

// The gap a multi-session disc leaves between its audio and its data session.
constexpr int DataSessionGapFrames = 11400;

} // namespace

std::optional<TMusicBrainzDisc> MusicBrainzDiscOf(const TTOC& toc) {
    const int entries = TOCEntryCount(toc);
    int lastAudio = -1; // entry index
    for (int i = 0; i + 1 < entries; ++i)
        if (IsAudioEntry(toc.Tracks[i])) lastAudio = i;
    if (lastAudio < 0) return std::nullopt;
    const bool dataFollows = lastAudio + 2 < entries;
    const int leadOut = dataFollows ? FramesOf(toc.Tracks[lastAudio + 1]) - DataSessionGapFrames
                                    : FramesOf(toc.Tracks[lastAudio + 1]);

    std::array<int, 100> offsets{};
    offsets[0] = leadOut;
    const int first = toc.FirstTrack;
    const int last = first + lastAudio;
    if (first < 1 || last > 99) return std::nullopt;
    for (int t = first; t <= last; ++t)
        offsets[t] = FramesOf(toc.Tracks[t - first]);

    std::unique_ptr<DiscId, TDiscIdDeleter> disc(discid_new());
    if (!disc || !discid_put(disc.get(), first, last, offsets.data())) return std::nullopt;
    TMusicBrainzDisc result;
    result.Id = discid_get_id(disc.get());
    result.Toc = discid_get_toc_string(disc.get());
    result.FirstTrack = first;
    result.LastTrack = last;
    return result;
}

} // namespace bw
