#include "AccurateRip.h"

#include "CddbDiscId.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace bw {

namespace {
constexpr int LeadInFrames = 150; // the database counts sectors from the first track's index
constexpr std::size_t DbarHeaderBytes = 13;
constexpr std::size_t DbarTrackBytes = 9;

std::uint32_t ReadLe32(std::string_view bytes, std::size_t at) {
    auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(std::uint8_t(bytes[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}
} // namespace

TAccurateRipDiscId AccurateRipDiscId(const std::vector<int>& startFrames,
                                     const std::vector<bool>& isAudio) {
    if (startFrames.size() < 2 || isAudio.size() + 1 != startFrames.size())
        throw std::invalid_argument("a disc id needs each track's start and the lead-out");
    TAccurateRipDiscId id;
    for (std::size_t i = 0; i + 1 < startFrames.size(); ++i) {
        if (!isAudio[i]) continue;
        ++id.TrackCount;
        auto offset = static_cast<std::uint32_t>(std::max(startFrames[i] - LeadInFrames, 0));
        id.Id1 += offset;
        id.Id2 += std::max<std::uint32_t>(offset, 1) * static_cast<std::uint32_t>(id.TrackCount);
    }
    if (id.TrackCount == 0) throw std::invalid_argument("a disc id needs an audio track");
    auto leadOut = static_cast<std::uint32_t>(std::max(startFrames.back() - LeadInFrames, 0));
    id.Id1 += leadOut;
    id.Id2 += std::max<std::uint32_t>(leadOut, 1) * static_cast<std::uint32_t>(id.TrackCount + 1);
    id.CddbId = CddbDiscId(startFrames);
    return id;
}

std::string AccurateRipIdText(const TAccurateRipDiscId& id) {
    char text[40];
    std::snprintf(text, sizeof text, "%03d-%08x-%08x-%08x", id.TrackCount, id.Id1, id.Id2,
                  id.CddbId);
    return text;
}

std::string AccurateRipFileName(const TAccurateRipDiscId& id) {
    return "dBAR-" + AccurateRipIdText(id) + ".bin";
}

std::string AccurateRipPath(const TAccurateRipDiscId& id) {
    const char* hex = "0123456789abcdef";
    std::string path;
    for (int shift : {0, 4, 8}) {
        path += hex[(id.Id1 >> shift) & 0xf];
        path += '/';
    }
    return path + AccurateRipFileName(id);
}

TAccurateRipChecksum::TAccurateRipChecksum(std::uint64_t trackSamples, bool firstTrack,
                                           bool lastTrack)
    : FFrom(firstTrack ? AccurateRipSkippedSamples : 1),
      FTo(lastTrack
              ? (trackSamples > AccurateRipSkippedSamples ? trackSamples - AccurateRipSkippedSamples
                                                          : 0)
              : trackSamples) {}

void TAccurateRipChecksum::AddSample(std::uint32_t sample) {
    ++FPosition;
    if (FPosition < FFrom || FPosition > FTo) return;
    std::uint64_t product = std::uint64_t(sample) * FPosition;
    FV1 += static_cast<std::uint32_t>(product);
    FV2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
}

void TAccurateRipChecksum::Add(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0 && FPartialSize > 0) {
        FPartial[FPartialSize++] = *bytes++;
        --size;
        if (FPartialSize == 4) {
            AddSample(FPartial[0] | FPartial[1] << 8 | FPartial[2] << 16 |
                      std::uint32_t(FPartial[3]) << 24);
            FPartialSize = 0;
        }
    }
    // Whole samples: skip those before the first counted position, sum the counted ones in
    // a loop without branches (the bulk of the work), and pass over the rest.
    std::uint64_t count = size / 4;
    std::uint64_t skip = FFrom > FPosition + 1 ? std::min(count, FFrom - FPosition - 1) : 0;
    std::uint64_t first = FPosition + skip + 1; // position of the first sample summed
    std::uint64_t summed = first <= FTo ? std::min(count - skip, FTo - first + 1) : 0;
    const std::uint8_t* p = bytes + skip * 4;
    std::uint32_t v1 = 0, hi = 0;
    for (std::uint64_t i = 0; i < summed; ++i, p += 4) {
        std::uint32_t sample = p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
        std::uint64_t product = std::uint64_t(sample) * (first + i);
        v1 += static_cast<std::uint32_t>(product);
        hi += static_cast<std::uint32_t>(product >> 32);
    }
    FV1 += v1;
    FV2 += v1 + hi;
    FPosition += count;
    bytes += count * 4;
    size -= count * 4;
    for (; size > 0; --size)
        FPartial[FPartialSize++] = *bytes++;
}

TDbarParse ParseDbar(std::string_view bytes) {
    TDbarParse parse;
    auto damaged = [&parse](const char* why) {
        parse.Submissions.clear();
        parse.Error = why;
        return parse;
    };
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < DbarHeaderBytes) {
            return damaged("the database file ends inside a submission's header");
        }
        TDbarSubmission submission;
        submission.Disc.TrackCount = static_cast<std::uint8_t>(bytes[at]);
        submission.Disc.Id1 = ReadLe32(bytes, at + 1);
        submission.Disc.Id2 = ReadLe32(bytes, at + 5);
        submission.Disc.CddbId = ReadLe32(bytes, at + 9);
        at += DbarHeaderBytes;
        const auto tracks = static_cast<std::size_t>(submission.Disc.TrackCount);
        if (tracks == 0) {
            return damaged("the database file holds a submission without tracks");
        }
        if ((bytes.size() - at) / DbarTrackBytes < tracks) {
            return damaged("the database file ends inside a submission");
        }
        for (std::size_t t = 0; t < tracks; ++t, at += DbarTrackBytes) {
            TDbarTrack track;
            track.Confidence = static_cast<std::uint8_t>(bytes[at]);
            track.Crc = ReadLe32(bytes, at + 1);
            track.OffsetFindCrc = ReadLe32(bytes, at + 5);
            submission.Tracks.push_back(track);
        }
        parse.Submissions.push_back(std::move(submission));
    }
    parse.Ok = true;
    return parse;
}

TAccurateRipResult MatchAccurateRip(const std::vector<TDbarSubmission>& submissions,
                                    const TAccurateRipDiscId& disc, std::size_t index,
                                    std::uint32_t v1, std::uint32_t v2) {
    TAccurateRipResult result;
    result.Status = TAccurateRipStatus::NotInDatabase;
    bool known = false;
    for (const auto& submission : submissions) {
        const TAccurateRipDiscId& d = submission.Disc;
        // A file may hold submissions for other discs whose ids share the path.
        if (d.Id1 != disc.Id1 || d.Id2 != disc.Id2 || d.CddbId != disc.CddbId) continue;
        if (index >= submission.Tracks.size()) continue;
        const TDbarTrack& track = submission.Tracks[index];
        // A zero confidence is a slot without submissions (a track too short to check).
        if (track.Confidence == 0) continue;
        known = true;
        if (track.Confidence > result.BestConfidence) {
            result.BestConfidence = track.Confidence;
            result.BestCrc = track.Crc;
        }
        int version = track.Crc == v2 ? 2 : track.Crc == v1 ? 1 : 0;
        if (version == 0) continue;
        // The v2 match wins over v1 at equal trust: it is the stronger checksum.
        if (result.Status != TAccurateRipStatus::Accurate || track.Confidence > result.Confidence ||
            (track.Confidence == result.Confidence && version > result.Version)) {
            result.Status = TAccurateRipStatus::Accurate;
            result.Version = version;
            result.Confidence = track.Confidence;
        }
    }
    if (result.Status != TAccurateRipStatus::Accurate && known) {
        result.Status = TAccurateRipStatus::NotAccurate;
        result.OurV1 = v1;
        result.OurV2 = v2;
    }
    return result;
}

std::string AccurateRipResultText(const TAccurateRipResult& result) {
    switch (result.Status) {
    case TAccurateRipStatus::Accurate:
        return "accurate (v" + std::to_string(result.Version) + ", confidence " +
               std::to_string(result.Confidence) + ")";
    case TAccurateRipStatus::NotAccurate: {
        char text[128];
        std::snprintf(text, sizeof text,
                      "not accurate (ours: v1 %08X, v2 %08X; the database's best match: %08X, "
                      "confidence %d)",
                      result.OurV1, result.OurV2, result.BestCrc, result.BestConfidence);
        return text;
    }
    case TAccurateRipStatus::NotInDatabase:
        return "not in database";
    case TAccurateRipStatus::NotChecked:
        break;
    }
    return result.Reason.empty() ? "not checked" : "not checked: " + result.Reason;
}

} // namespace bw
