// Full tags for a converted file: those of a tagged source (any format TagLib reads) or, for
// a WAV source, the disc fields; and the loudness measured while it was encoded.
#pragma once

#include "ApplyOptions.h"
#include "Loudness.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace bw {

// Writes the tags into output (which may still have a temporary name). disc: the fields a
// WAV source's file gets; ignored for tagged sources. Raises EFileTags when output cannot
// be tagged; a source whose tags cannot be read gives none.
void TagConvertedFile(const std::filesystem::path& input, const std::optional<TDiscTagFields>& disc,
                      const std::filesystem::path& output, const TLoudness* loudness);

} // namespace bw
