// The MusicBrainz disc id of a table of contents, through libdiscid, and the TOC text the
// web service takes for a lookup by TOC.
#pragma once

#include <optional>
#include <string>

#include "CdRecords.h"

namespace bw {

struct TMusicBrainzDisc {
    std::string Id;  // 28 characters
    std::string Toc; // "first last lead-out offset1 offset2 ..." in frames, blank-separated
    int FirstTrack = 0;
    int LastTrack = 0; // the last audio track: data tracks after it do not count
};

// From a TOC read with minute/second/frame addresses. Trailing data tracks (a CD-Extra
// session) are left out, the audio ending 11400 frames before the data track as on such a
// disc. Empty when the TOC holds no audio track or libdiscid refuses it.
std::optional<TMusicBrainzDisc> MusicBrainzDiscOf(const TTOC& toc);

} // namespace bw
