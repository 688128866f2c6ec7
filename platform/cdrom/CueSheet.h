// CUE sheets as rippers and burning tools write them: one data file for the disc or one per
// track, raw BINARY (or big-endian MOTOROLA) sectors or WAVE files, pregaps inside the files (INDEX
// 00) or as silence (PREGAP, POSTGAP), data tracks, and CD-Text titles and performers.
#pragma once

#include "DiscImage.h"

#include <string>
#include <string_view>

namespace bw {

// The disc that `text` describes. Data files are named relative to `folder` and looked
// into through `probe`; `name` (the sheet's file name) prefixes error texts. Throws
// EDiscImage naming the line that cannot be read, or the file that is missing.
TImageLayout ParseCueSheet(std::string_view text, const std::filesystem::path& folder,
                           const TImageFileProbe& probe, const std::string& name);

} // namespace bw
