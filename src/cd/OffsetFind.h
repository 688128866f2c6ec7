// Finding a drive's read offset with a disc that the AccurateRip database knows: a track is
// read once with room on both sides, and its checksum is taken at every candidate offset
// (each from the one before, in constant time) until the database's checksums say which
// offset reads the disc as everyone else's drives do.
#pragma once

#include "AccurateRipLookup.h"
#include "CdRecords.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bw {

constexpr int OffsetSearchSamples = 2000; // candidates from -2000 to +2000 samples

// AccurateRip v1 checksums of one track at every shift from -maxShift to +maxShift: `samples`
// holds the track's samples (16-bit stereo, as 32-bit little-endian words) from maxShift
// samples before its start to maxShift after its end; trackSamples, firstTrack and lastTrack
// as for TAccurateRipChecksum. Result [k] is the checksum at shift k - maxShift.
std::vector<std::uint32_t> SlidingChecksumsV1(const std::vector<std::uint32_t>& samples,
                                              std::uint64_t trackSamples, bool firstTrack,
                                              bool lastTrack, int maxShift);

struct TOffsetFindResult {
    bool Found = false;
    int Offset = 0;
    int Tracks = 0;     // tracks whose checksum matched at that offset
    int Confidence = 0; // the best confidence among those matches
    std::string Error;  // when not found: why
};

// Reads the disc in the drive (handle open, TOC read with MSF addresses) and finds its read
// offset. `progress` gets a line of text per step; `cancel` stops the search.
TOffsetFindResult FindReadOffset(int handle, const TTOC& toc, const std::string& server,
                                 const THttpRequest& options,
                                 const std::function<void(const std::string&)>& progress = {},
                                 const std::atomic<bool>* cancel = nullptr);

} // namespace bw
