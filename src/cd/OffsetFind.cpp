#include "OffsetFind.h"

#include "RipReport.h"
#include "akrip32.h"

#include <algorithm>
#include <map>

namespace bw {

namespace {

constexpr int SamplesPerSector = CDSectorBytes / 4;
constexpr std::uint32_t ReadBlock = 26; // sectors a read; what every drive takes

// Reads `count` sectors from `start` with the given read offset into `out` as samples.
bool ReadSamples(int handle, int offset, int start, int count, std::vector<std::uint32_t>& out,
                 const std::atomic<bool>* cancel) {
    if (ModifyCDParms(handle, CDP_READ_OFFSET, offset) == 0) return false;
    for (int done = 0; done < count;) {
        if (cancel && *cancel) return false;
        auto n = static_cast<std::uint32_t>(std::min<int>(ReadBlock, count - done));
        TReadRequestBuffer buffer(n);
        buffer.Request()->StartSector = static_cast<std::uint32_t>(start + done);
        if (ReadCDAudioLBA(handle, buffer.Request()) != 1) return false;
        const std::uint8_t* p = buffer.ReturnedData();
        for (std::uint32_t i = 0; i < n * SamplesPerSector; ++i, p += 4)
            out.push_back(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24);
        done += static_cast<int>(n);
    }
    return true;
}

} // namespace

std::vector<std::uint32_t> SlidingChecksumsV1(const std::vector<std::uint32_t>& samples,
                                              std::uint64_t trackSamples, bool firstTrack,
                                              bool lastTrack, int maxShift) {
    // Positions a..b (from 1) enter the sum; at shift d position i holds samples[i-1+d+max].
    const std::uint64_t a = firstTrack ? AccurateRipSkippedSamples : 1;
    const std::uint64_t b = lastTrack ? trackSamples - AccurateRipSkippedSamples : trackSamples;
    std::vector<std::uint32_t> sums;
    if (b < a || samples.size() < trackSamples + 2 * std::uint64_t(maxShift)) return sums;
    auto at = [&](std::uint64_t position, int shift) {
        return samples[position - 1 + static_cast<std::uint64_t>(shift + maxShift)];
    };
    std::uint32_t v1 = 0, plain = 0;
    for (std::uint64_t i = a; i <= b; ++i) {
        v1 += static_cast<std::uint32_t>(i) * at(i, -maxShift);
        plain += at(i, -maxShift);
    }
    sums.push_back(v1);
    // One step on: every weight drops by one, the first sample leaves, the next one enters.
    for (int d = -maxShift; d < maxShift; ++d) {
        std::uint32_t leaving = at(a, d), entering = at(b + 1, d);
        v1 = v1 - static_cast<std::uint32_t>(a) * leaving +
             static_cast<std::uint32_t>(b + 1) * entering - (plain - leaving + entering);
        plain = plain - leaving + entering;
        sums.push_back(v1);
    }
    return sums;
}

TOffsetFindResult FindReadOffset(int handle, const TTOC& toc, const std::string& server,
                                 const THttpRequest& options,
                                 const std::function<void(const std::string&)>& progress,
                                 const std::atomic<bool>* cancel) {
    auto say = [&](const std::string& text) {
        if (progress) progress(text);
    };
    TOffsetFindResult result;
    TRipDisc disc = TRipDisc::FromTOC(toc);
    if (std::find(disc.IsAudio.begin(), disc.IsAudio.end(), true) == disc.IsAudio.end()) {
        result.Error = "the disc has no audio track";
        return result;
    }
    const TAccurateRipDiscId id = AccurateRipDiscId(disc.StartFrames, disc.IsAudio);
    say("Looking up disc " + AccurateRipIdText(id) + " in the AccurateRip database");
    TAccurateRipLookup lookup = LookUpAccurateRip(server, id, options, cancel);
    if (lookup.Kind == TAccurateRipLookup::TKind::NotInDatabase) {
        result.Error = "the disc is not in the AccurateRip database; try another disc";
        return result;
    }
    if (lookup.Kind != TAccurateRipLookup::TKind::Found) {
        result.Error = lookup.Error;
        return result;
    }

    // Offsets by the number of tracks that matched there, and their best confidence.
    std::map<int, std::pair<int, int>> votes;
    const int firstFrame = disc.StartFrames.front();
    for (int track = disc.FirstTrack; track < disc.FirstTrack + disc.TrackCount(); ++track) {
        if (cancel && *cancel) break;
        const int sectors = disc.TrackSectors(track);
        if (!disc.IsAudioTrack(track) || sectors < 8) continue;
        const std::size_t index = static_cast<std::size_t>(track - disc.FirstTrack);
        // The database's checksums of this track, with how many drives gave each.
        std::map<std::uint32_t, int> known;
        for (const auto& submission : lookup.Submissions) {
            const auto& d = submission.Disc;
            if (d.Id1 != id.Id1 || d.Id2 != id.Id2 || d.CddbId != id.CddbId ||
                index >= submission.Tracks.size() || submission.Tracks[index].Confidence == 0)
                continue;
            int& confidence = known[submission.Tracks[index].Crc];
            confidence = std::max(confidence, submission.Tracks[index].Confidence);
        }
        known.erase(0); // silence matches every offset
        if (known.empty()) continue;
        say("Reading track " + std::to_string(track));
        const int start = disc.StartFrames[index] - firstFrame;
        std::vector<std::uint32_t> samples;
        std::vector<std::uint32_t> tail;
        // The track from 2000 samples early, then its last sectors read 2000 samples late.
        if (!ReadSamples(handle, -OffsetSearchSamples, start, sectors, samples, cancel) ||
            !ReadSamples(handle, OffsetSearchSamples, start + sectors - 7, 7, tail, cancel)) {
            ModifyCDParms(handle, CDP_READ_OFFSET, 0);
            result.Error = cancel && *cancel ? "stopped"
                                             : "track " + std::to_string(track) + " cannot be read";
            return result;
        }
        const std::uint64_t trackSamples = std::uint64_t(sectors) * SamplesPerSector;
        // tail[k] is the sample at track position (sectors - 7) * 588 + k + 2000 (from 0).
        const std::uint64_t tailFrom =
            trackSamples - 7 * SamplesPerSector + 2 * OffsetSearchSamples;
        samples.resize(trackSamples + 2 * OffsetSearchSamples);
        for (std::uint64_t k = 0; k < tail.size(); ++k)
            if (tailFrom + k < samples.size() && tailFrom + k >= trackSamples)
                samples[tailFrom + k] = tail[k];
        auto sums = SlidingChecksumsV1(samples, trackSamples, disc.IsFirstAudioTrack(track),
                                       disc.IsLastAudioTrack(track), OffsetSearchSamples);
        for (std::size_t k = 0; k < sums.size(); ++k) {
            auto match = known.find(sums[k]);
            if (match == known.end()) continue;
            auto& vote = votes[static_cast<int>(k) - OffsetSearchSamples];
            vote.first += 1;
            vote.second = std::max(vote.second, match->second);
        }
        // Two tracks that agree settle it.
        auto best = std::max_element(votes.begin(), votes.end(), [](const auto& x, const auto& y) {
            return x.second < y.second;
        });
        if (best != votes.end() && best->second.first >= 2) break;
    }
    ModifyCDParms(handle, CDP_READ_OFFSET, 0);
    auto best = std::max_element(votes.begin(), votes.end(),
                                 [](const auto& x, const auto& y) { return x.second < y.second; });
    if (best == votes.end()) {
        result.Error = "no offset from -2000 to +2000 samples reads a track as the database "
                       "has it";
        return result;
    }
    result.Found = true;
    result.Offset = best->first;
    result.Tracks = best->second.first;
    result.Confidence = best->second.second;
    return result;
}

} // namespace bw
