// A disc as the CUETools database (CTDB) sees it: the TOC string its lookups send, its TOC
// id, and where on the disc its CRCs and recovery data begin and end. Positions are stereo
// samples from sector 0 of the disc (the first track's pregap included).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bw {

constexpr int CtdbSectorSamples = 588;
// One row of the recovery data's matrix: 10 sectors.
constexpr int CtdbStrideSamples = 10 * CtdbSectorSamples;
constexpr int CtdbStrideWords = 2 * CtdbStrideSamples;
// The farthest read offset the database's offset search tries, either way.
constexpr int CtdbMaxOffset = CtdbStrideSamples - 1;

struct TCtdbToc {
    std::vector<int> Starts; // every track's first sector (its index 01), in disc order
    std::vector<bool> IsAudio;
    int LeadOut = 0; // the sector after the last track

    // From the start sectors of every track and then the lead-out, all audio.
    static TCtdbToc Audio(std::vector<int> startsThenLeadOut);
    int AudioTrackCount() const;
    // The first audio track's start (the pregap before it is ignored) and the end of the
    // last audio track; a data track after the audio loses its 11400-sector session gap.
    int AudioStart() const;
    int AudioEnd() const;
};

// "33:933:2133:3633:4333:6833": every start (a data track's with '-'), then the lead-out.
std::string CtdbTocString(const TCtdbToc& toc);
// The id logs print ("[CTDB TOCID: <id>] found."): the SHA-1 of the audio tracks' relative
// starts, URL-safe Base64.
std::string CtdbTocId(const TCtdbToc& toc);

// The ranges the disc's CRCs and recovery data cover, in samples.
struct TCtdbLayout {
    std::int64_t Start = 0;                // after the pregap
    std::int64_t End = 0;                  // the audio's end
    std::vector<std::int64_t> TrackStarts; // audio tracks
    // Throws std::invalid_argument for a disc shorter than three rows (30 sectors).
    explicit TCtdbLayout(const TCtdbToc& toc);
    TCtdbLayout() = default;

    std::int64_t Samples() const { return End - Start; }
    // The last 10 to 19.99 sectors, which neither the CRC nor the recovery data cover.
    std::int64_t TailSamples() const { return CtdbStrideSamples + Samples() % CtdbStrideSamples; }
    // The rows the recovery data covers (1..Rows); row 0 is the first 10 sectors.
    int Rows() const { return static_cast<int>(Samples() / CtdbStrideSamples) - 2; }
    std::pair<std::int64_t, std::int64_t> DiscRange() const {
        return {Start + CtdbStrideSamples, End - TailSamples()};
    }
    // A track's CRC range (index from 0): first and last lose the disc range's ends.
    std::pair<std::int64_t, std::int64_t> TrackRange(std::size_t index) const;
    int TrackCount() const { return static_cast<int>(TrackStarts.size()); }
    // The track (from 0) holding a sample.
    std::size_t TrackOf(std::int64_t sample) const;
};

// "MM:SS:FF" of a sector.
std::string CtdbSectorTime(std::int64_t sector);

} // namespace bw
