// CUE sheets as rippers and burning tools write them: one data file for the disc or one per
// track, raw BINARY (or big-endian MOTOROLA) sectors or WAVE files, pregaps inside the files (INDEX
// 00) or as silence (PREGAP, POSTGAP), data tracks, and CD-Text titles and performers.
#pragma once

#include "DiscImage.h"

#include <string>
#include <string_view>
#include <vector>

namespace bw {

// The disc that `text` describes. Data files are named relative to `folder` and looked
// into through `probe`; `name` (the sheet's file name) prefixes error texts. Throws
// EDiscImage naming the line that cannot be read, or the file that is missing.
TImageLayout ParseCueSheet(std::string_view text, const std::filesystem::path& folder,
                           const TImageFileProbe& probe, const std::string& name);

// The track each FILE line of a sheet holds: the one whose INDEX 01 lies in it (a pregap at
// the end of the file before does not count). A file holding the INDEX 01 of several tracks
// (a whole disc) gives track 0; a file holding none is left out. Names as the sheet writes
// them, in the sheet's order. Never throws: lines it cannot read are passed over.
struct TCueFileTrack {
    std::string File;
    int Track = 0;
};
std::vector<TCueFileTrack> CueSheetFileTracks(std::string_view text);

} // namespace bw
