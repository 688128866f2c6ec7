// AccurateRip: the disc's database ids, the checksums of ripped tracks, the database file
// ("dBAR") as a pure parse, and the verdict per track. Other people's rips of the same
// pressing submit these checksums, so a match says the rip is bit-perfect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

constexpr int AccurateRipSamplesPerSector = 588;
// The first track's first and the last track's last five sectors are left out of the
// checksums, because drives with different read offsets cannot all read them.
constexpr int AccurateRipSkippedSamples = 5 * AccurateRipSamplesPerSector;

struct TAccurateRipDiscId {
    int TrackCount = 0; // audio tracks only
    std::uint32_t Id1 = 0;
    std::uint32_t Id2 = 0;
    std::uint32_t CddbId = 0;
};

// The ids of a disc from the start frames of every TOC track and then the lead-out
// (absolute frames: minute * 4500 + second * 75 + frame) and which tracks hold audio.
// Data tracks (an enhanced CD's last, a mixed-mode CD's first) are left out of the track
// count and of both sums; the sums end with the disc's real lead-out, and the CDDB id counts
// every track. Throws std::invalid_argument when there is no audio track or the sizes differ.
TAccurateRipDiscId AccurateRipDiscId(const std::vector<int>& startFrames,
                                     const std::vector<bool>& isAudio);

// "dBAR-NNN-XXXXXXXX-XXXXXXXX-XXXXXXXX.bin" and the same under its three-level folder
// ("c/b/a/dBAR-..." from the last three hex digits of Id1).
std::string AccurateRipFileName(const TAccurateRipDiscId& id);
std::string AccurateRipPath(const TAccurateRipDiscId& id);
// "NNN-XXXXXXXX-XXXXXXXX-XXXXXXXX", as logs show it.
std::string AccurateRipIdText(const TAccurateRipDiscId& id);

// Checksums v1 and v2 of one track, fed with its 16-bit stereo little-endian samples in
// pieces of any size. The track's sample count must be known at the start for the last
// track's exclusion; samples past it are ignored.
class TAccurateRipChecksum {
public:
    TAccurateRipChecksum(std::uint64_t trackSamples, bool firstTrack, bool lastTrack);

    void Add(const std::uint8_t* bytes, std::size_t size);
    std::uint32_t V1() const { return FV1; }
    std::uint32_t V2() const { return FV2; }
    std::uint64_t SamplesSeen() const { return FPosition; }

private:
    void AddSample(std::uint32_t sample);

    std::uint64_t FFrom, FTo; // positions counted from 1 that enter the sums
    std::uint64_t FPosition = 0;
    std::uint32_t FV1 = 0, FV2 = 0;
    std::uint8_t FPartial[4] = {};
    std::size_t FPartialSize = 0;
};

// One track of one submission in the database file.
struct TDbarTrack {
    int Confidence = 0;
    std::uint32_t Crc = 0;
    std::uint32_t OffsetFindCrc = 0;
};

// One submission ("chunk"): the disc it is for and a checksum per track. The database keeps
// v1 and v2 checksums in separate submissions.
struct TDbarSubmission {
    TAccurateRipDiscId Disc;
    std::vector<TDbarTrack> Tracks;
};

struct TDbarParse {
    bool Ok = false;
    std::vector<TDbarSubmission> Submissions; // when Ok
    std::string Error;                        // when not
};

// Parses a whole database file: submissions one after another, each a 13-byte header
// (track count, Id1, Id2, CDDB id, little-endian) and 9 bytes a track (confidence, checksum,
// offset-finding checksum). A file that ends inside a submission is damaged.
TDbarParse ParseDbar(std::string_view bytes);

enum class TAccurateRipStatus { Accurate, NotAccurate, NotInDatabase, NotChecked };

struct TAccurateRipResult {
    TAccurateRipStatus Status = TAccurateRipStatus::NotChecked;
    int Version = 0;    // 1 or 2 when Accurate
    int Confidence = 0; // when Accurate
    std::string Reason; // when NotChecked
    // When NotAccurate: our checksums and the database's most trusted one for the track.
    std::uint32_t OurV1 = 0, OurV2 = 0;
    std::uint32_t BestCrc = 0;
    int BestConfidence = 0;
};

// The verdict for the track at `index` (0-based position among the TOC's tracks, as the
// database files them) with its checksums, against the submissions for this disc.
TAccurateRipResult MatchAccurateRip(const std::vector<TDbarSubmission>& submissions,
                                    const TAccurateRipDiscId& disc, std::size_t index,
                                    std::uint32_t v1, std::uint32_t v2);

// "accurate (v2, confidence 12)", "not accurate (ours: v1 ..., v2 ...; the database's best
// match: ..., confidence 9)", "not in database", "not checked: why".
std::string AccurateRipResultText(const TAccurateRipResult& result);

} // namespace bw
