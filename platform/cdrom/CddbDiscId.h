// The CDDB disc id of a table of contents, by the standard CDDB algorithm.
#pragma once

#include <cstdint>
#include <vector>

namespace bw {

// startFrames: the start of each track and, last, the lead-out, as absolute frame
// addresses (minute * 4500 + second * 75 + frame, so the first track usually starts at
// 150). Needs at least one track.
std::uint32_t CddbDiscId(const std::vector<int>& startFrames);

} // namespace bw
