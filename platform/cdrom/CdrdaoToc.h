// cdrdao TOC files: tracks built from data file pieces (FILE, AUDIOFILE, DATAFILE), silence
// (SILENCE, ZERO, PREGAP) and the START of each track's index 1, with copy and emphasis
// flags, ISRC and catalogue numbers and CD_TEXT blocks.
#pragma once

#include "DiscImage.h"

#include <string>
#include <string_view>

namespace bw {

// The disc that `text` describes; data files are relative to `folder` and looked into
// through `probe`; `name` prefixes error texts. Throws EDiscImage naming the line that
// cannot be read, or the file that is missing.
TImageLayout ParseCdrdaoToc(std::string_view text, const std::filesystem::path& folder,
                            const TImageFileProbe& probe, const std::string& name);

} // namespace bw
