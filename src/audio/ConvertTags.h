// The tags a converted file takes from its source: titles, numbers, identifiers and the
// front cover, put into whatever tag layout the output format uses.
#pragma once

#include "ApplyOptions.h"
#include "FileTags.h"
#include "Loudness.h"

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

// The track gain and peak measured on the samples encoded, when [Tags] ReplayGain is on and
// there was something above the gate; else tags stay as they are.
void ApplyMeasuredGain(TFileTags& tags, const TLoudness* loudness);

// Writes the source's tags into the finished output file; fields the source leaves empty keep
// what the writer put there (the disc fields given for the conversion). The source's
// ReplayGain goes only into a lossless output, and the measured track gain (loudness, may be
// null) replaces the source's. Returns the fields written. Throws EFileTags when the output
// cannot be tagged.
TFileTags CarrySourceTags(const std::filesystem::path& output, const TFileTags& source, bool lossy,
                          const TLoudness* loudness);

// For a source without tags of its own (a WAV file): Writes the tags into output (which may still
// have a temporary name). disc: the fields a WAV source's file gets; ignored for tagged sources.
// Raises EFileTags when output cannot be tagged; a source whose tags cannot be read gives none.
void TagConvertedFile(const std::filesystem::path& input, const std::optional<TDiscTagFields>& disc,
                      const std::filesystem::path& output, const TLoudness* loudness);

} // namespace bw
