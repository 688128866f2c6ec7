// The tags a converted file takes from its source: titles, numbers, identifiers and the
// front cover, put into whatever tag layout the output format uses.
#pragma once

#include "FileTags.h"

#include <filesystem>
#include <optional>
#include <string>

namespace bw {

// The source's tags; none when it carries nothing or TagLib cannot read it (a WAV file
// without tags, a format TagLib does not know).
std::optional<TFileTags> SourceTags(const std::filesystem::path& input);

// True for the output extensions whose encoders change the samples (MP3, Ogg Vorbis, WMA,
// Opus): the source's ReplayGain does not describe them.
bool LossyExtension(const std::string& extension);

// Writes the source's tags into the finished output file; fields the source leaves empty keep
// what the writer put there (the disc fields given for the conversion), and ReplayGain the
// writer measured stays. The source's ReplayGain goes only into a lossless output.
// Throws EFileTags when the output cannot be tagged.
void CarrySourceTags(const std::filesystem::path& output, const TFileTags& source, bool lossy);

} // namespace bw
